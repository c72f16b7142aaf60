#include "cli/ScoreJob.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

#include "cli/ChunkQueue.h"
#include "cli/CsvChunker.h"
#include "cli/CsvReader.h"
#include "cli/ExitStatus.h"
#include "cli/ModelOutline.h"
#include "cli/ModelSession.h"
#include "cli/OutputFile.h"
#include "cli/Progress.h"
#include "cli/RecordScorer.h"
#include "cli/RowScore.h"
#include "cli/WorkerPool.h"

namespace rulescore {
namespace cli {

namespace {

// The size a chunk is cut to: big enough that handing it to a thread costs
// little next to scoring it, small enough that the threads finish close
// together at the end of the input.
constexpr size_t kChunkBytes = size_t{256} << 10;
// Output gathered by a serial read before it is written.
constexpr size_t kSerialOutputBytes = size_t{256} << 10;
// Cell buffers that grew past this for one huge row are given back.
constexpr size_t kKeptCellCapacity = size_t{64} << 10;

// Scored rows formatted for output, with their messages, in input order.
struct Batch {
  std::string output;
  std::string messages;
  uint64_t rows = 0;
  bool invalid = false;
  std::string failure;  // set when scoring threw

  void Clear() {
    output.clear();
    messages.clear();
    rows = 0;
    invalid = false;
    failure.clear();
  }
};

// One chunk on its way through a scoring thread.
struct Slot {
  CsvChunk chunk;
  Batch batch;
  bool overran = false;
  long endLine = 0;
};

// Rows read before they are scored together: enough that the model's
// columnar entry pays its set-up rarely, few enough to stay in the cache.
constexpr size_t kBlockRows = 256;

// What reading, scoring and formatting rows needs: the rows read and not
// yet scored, and their scores.
struct RowContext {
  RowContext(RecordScorer* rowScorer, const OutputWriter* rowWriter, size_t cells,
             const std::string* input)
      : scorer(rowScorer), writer(rowWriter), width(cells), inputName(input),
        rows(kBlockRows), scores(kBlockRows) {}
  RecordScorer* scorer;
  const OutputWriter* writer;
  size_t width;
  const std::string* inputName;
  std::vector<CsvRow> rows;
  std::vector<RowScore> scores;
  size_t pending = 0;  // rows read and not yet scored
};

// Drops the buffers of `row` that grew past kKeptCellCapacity; out of line,
// for NextRow's test to stay small.
[[gnu::noinline]] void ReleaseLargeCells(CsvRow* row) {
  for (std::string& field : row->fields) {
    if (field.capacity() > kKeptCellCapacity) std::string().swap(field);
  }
  if (row->plainLine.capacity() > kKeptCellCapacity) std::string().swap(row->plainLine);
  if (row->cellEnds.capacity() > kKeptCellCapacity) std::vector<uint32_t>().swap(row->cellEnds);
}

// The row the next record is to be read into.
CsvRow* NextRow(RowContext* context) {
  CsvRow* row = &context->rows[context->pending];
  // A row read as a plain line left `fields` as the read before it did, and
  // that read's large cells were released before this one.
  if (!row->plain || row->plainLine.capacity() > kKeptCellCapacity ||
      row->cellEnds.capacity() > kKeptCellCapacity) {
    ReleaseLargeCells(row);
  }
  return row;
}

// Scores the rows read in `context` and formats them onto `batch`.
void ScorePending(RowContext* context, Batch* batch) {
  const size_t count = context->pending;
  context->pending = 0;
  context->scorer->ScoreRows(context->rows.data(), count, context->scores.data());
  for (size_t i = 0; i < count; ++i) {
    const RowScore& score = context->scores[i];
    context->writer->AppendRow(context->rows[i], context->width, score, &batch->output);
    if (!score.ok) {
      batch->invalid = true;
      batch->messages += "rulescore: " + *context->inputName + ": " + score.error + "\n";
    }
  }
  batch->rows += count;
}

// A scoring thread's work on one chunk: read its records, score them and
// format them into the slot's batch.
void ScoreChunk(char delimiter, bool keepBlankLines, RowContext* context, Slot* slot) {
  slot->batch.Clear();
  slot->overran = false;
  try {
    CsvReader reader(slot->chunk.bytes, slot->chunk.next, slot->chunk.firstLine, delimiter);
    reader.KeepBlankLines(keepBlankLines);
    reader.KeepPlainLines(true);
    context->pending = 0;
    for (;;) {
      if (!reader.ReadRow(NextRow(context)) || reader.Overran()) break;
      if (++context->pending == kBlockRows) ScorePending(context, &slot->batch);
    }
    ScorePending(context, &slot->batch);
    slot->overran = reader.Overran();
    slot->endLine = reader.GetLine();
  } catch (const std::bad_alloc&) {
    slot->batch.failure = "out of memory while scoring";
  } catch (const std::exception& e) {
    slot->batch.failure = std::string("scoring failed: ") + e.what();
  } catch (...) {
    slot->batch.failure = "scoring failed";
  }
}

}  // namespace

void ScoreJob::Message(const std::string& text) const {
  std::fputs(text.c_str(), messages_);
  std::fputc('\n', messages_);
  std::fflush(messages_);
}

int ScoreJob::Run() {
  chunksReadAgain_ = 0;
  const int threads = options_.threads < 1 ? 1 : options_.threads;

  // Declared first so that it goes last: scorers hold results whose code is
  // in the plug-in the session keeps loaded.
  ModelSession session;
  session.SetTranslatorOption("semantics", options_.semantics);
  std::string error;
  if (!session.Load(options_.modelPath, ModelSession::FindPlugin(options_.pluginPath), threads,
                    &error)) {
    Message(error);
    return kExitModel;
  }

  const bool fromStdin = options_.inputPath.empty() || options_.inputPath == "-";
  const std::string inputName = fromStdin ? std::string("standard input") : options_.inputPath;
  std::ifstream file;
  if (!fromStdin) {
    struct stat info;
    if (stat(options_.inputPath.c_str(), &info) != 0) {
      Message("rulescore: " + inputName + ": cannot open the input: " + std::strerror(errno));
      return kExitUsage;
    }
    if (S_ISDIR(info.st_mode)) {
      Message("rulescore: " + inputName + ": cannot open the input: it is a directory");
      return kExitUsage;
    }
    file.open(options_.inputPath, std::ios::in | std::ios::binary);
    if (!file) {
      Message("rulescore: " + inputName + ": cannot open the input: " + std::strerror(errno));
      return kExitUsage;
    }
  }
  std::istream& in = fromStdin ? std::cin : file;
  CsvReader reader(in, options_.delimiter);

  CsvRow headerRow;
  if (!reader.ReadRow(&headerRow)) {
    Message("rulescore: " + inputName + ": the input is empty; a header row naming the columns is needed");
    return kExitInvalidRows;
  }
  if (!headerRow.error.empty()) {
    std::string text = "rulescore: " + inputName + ": line " + std::to_string(headerRow.line) +
                       ": header";
    if (headerRow.errorField > 0) text += " column " + std::to_string(headerRow.errorField);
    Message(text + ": " + headerRow.error);
    return kExitInvalidRows;
  }
  const std::vector<std::string> header(headerRow.fields.begin(),
                                        headerRow.fields.begin() + static_cast<long>(headerRow.count));
  // In a one-column file an empty line is a record whose one cell is empty
  // (a missing value). With more columns it is skipped: a record of the
  // header's width holds a delimiter.
  const bool keepBlankLines = header.size() == 1;
  reader.KeepBlankLines(keepBlankLines);
  reader.KeepPlainLines(true);
  {
    std::unordered_map<std::string, size_t> seen;
    for (size_t i = 0; i < header.size(); ++i) {
      const auto inserted = seen.emplace(header[i], i);
      if (!inserted.second) {
        Message("rulescore: " + inputName + ": line " + std::to_string(headerRow.line) +
                ": column name " + QuoteForMessage(header[i]) + " is used twice (columns " +
                std::to_string(inserted.first->second + 1) + " and " + std::to_string(i + 1) + ")");
        return kExitInvalidRows;
      }
    }
  }

  const ModelOutline outline(session.GetDocument());
  const std::vector<std::string>& fields = outline.GetRecordFields();
  {
    std::unordered_map<std::string, bool> columns;
    for (const std::string& name : header) columns.emplace(name, true);
    for (const std::string& name : fields) {
      if (columns.count(name) == 0) {
        Message("rulescore: warning: " + inputName + " has no column " + QuoteForMessage(name) +
                "; the field is missing in every record");
      }
    }
  }

  std::vector<std::unique_ptr<RecordScorer>> scorers;
  for (int i = 0; i < threads; ++i) {
    scorers.push_back(std::make_unique<RecordScorer>(session.GetModel(i), header, fields));
    scorers.back()->SetTextsReachTheModel(options_.semantics == "pmml");
  }

  OutputFile output;
  if (!output.Open(options_.outputPath, &error)) {
    Message(error);
    return kExitUsage;
  }
  OutputWriter writer(options_.format, options_.delimiter);
  writer.SetOutputColumns(outline.GetOutputFields());
  {
    std::string text;
    writer.AppendHeader(header, &text);
    output.Write(text);
  }

  uint64_t totalBytes = 0;
  const bool showProgress =
      !options_.quiet && !fromStdin && Progress::ShouldShow(options_.inputPath.c_str(), &totalBytes);
  Progress progress(showProgress, totalBytes);

  bool invalid = false;
  uint64_t rowsDone = 0;
  // Writes a batch in input order; false (after the message) when its
  // scoring failed.
  const auto writeBatch = [&](const Batch& batch) {
    if (!batch.failure.empty()) {
      progress.Clear();
      Message("rulescore: " + inputName + ": " + batch.failure);
      return false;
    }
    output.Write(batch.output);
    if (!batch.messages.empty()) {
      progress.Clear();
      std::fputs(batch.messages.c_str(), messages_);
      std::fflush(messages_);
    }
    invalid = invalid || batch.invalid;
    rowsDone += batch.rows;
    return true;
  };

  CsvChunker chunker(in, options_.delimiter, CsvLimits(), kChunkBytes);
  const auto bytesRead = [&] { return reader.GetBytesRead() + chunker.GetBytesRead(); };

  // Reads, scores and writes rows on this thread with the first scorer,
  // until the reader stands at a record start at least `minBytes` on from
  // where it began (or at the end of the input). False when scoring failed.
  RowContext serial(scorers[0].get(), &writer, header.size(), &inputName);
  Batch serialBatch;
  const auto readSerially = [&](uint64_t minBytes) {
    const uint64_t from = reader.GetPosition();
    serial.pending = 0;
    for (;;) {
      bool stop = true;
      try {
        const bool more = reader.ReadRow(NextRow(&serial));
        if (more) ++serial.pending;
        stop = !more || (reader.AtRecordStart() && reader.GetPosition() - from >= minBytes);
        if (stop || serial.pending == kBlockRows) ScorePending(&serial, &serialBatch);
      } catch (const std::bad_alloc&) {
        serialBatch.failure = "out of memory while scoring";
      } catch (const std::exception& e) {
        serialBatch.failure = std::string("scoring failed: ") + e.what();
      } catch (...) {
        serialBatch.failure = "scoring failed";
      }
      if (stop || !serialBatch.failure.empty() || serialBatch.output.size() >= kSerialOutputBytes) {
        const bool ok = writeBatch(serialBatch);
        serialBatch.Clear();
        if (!ok) return false;
        progress.Update(rowsDone, bytesRead());
      }
      if (stop) return true;
    }
  };

  if (threads == 1 || !reader.AtRecordStart()) {
    if (!readSerially(UINT64_MAX)) return kExitModel;
  } else {
    // The records go in chunks to `threads` - 1 scoring threads and this
    // one, which cuts the chunks, reading ahead while they are scored, and
    // writes the results in input order; while the oldest chunk is still
    // being scored it scores queued chunks itself rather than wait, so that
    // `threads` threads do all the work. The slots keep every scoring
    // thread busy with a few chunks cut ahead of them.
    const size_t slotCount = static_cast<size_t>(threads) + std::min<size_t>(threads, 8) + 2;
    std::vector<Slot> slots(slotCount);
    ChunkQueue queue(slotCount);
    bool failed = false;

    // Takes the input back from the reader and cuts on from there.
    const auto restartChunker = [&] {
      std::string rest;
      reader.TakeBuffered(&rest);
      chunker.Restart(std::move(rest), reader.GetLine(), reader.StreamEnded());
    };
    const auto drive = [&] {
      restartChunker();
      uint64_t head = 0;  // the oldest chunk not yet written
      uint64_t tail = 0;  // the next chunk to cut
      bool suspect = false;
      bool ended = false;
      for (;;) {
        while (!suspect && !ended && tail - head < slotCount) {
          const size_t s = static_cast<size_t>(tail % slotCount);
          const CsvChunker::Cut cut = chunker.Next(&slots[s].chunk);
          if (!slots[s].chunk.bytes.empty()) {
            queue.Push(s);
            ++tail;
          }
          suspect = cut == CsvChunker::Cut::kSuspect;
          ended = cut == CsvChunker::Cut::kEnd;
        }
        if (head == tail) {
          if (ended) return true;
          // A record the chunker cannot cut around: read it here.
          std::string rest;
          long line;
          bool streamEnded;
          chunker.TakeRest(&rest, &line, &streamEnded);
          reader.Restart(rest, line, streamEnded);
          if (!readSerially(1)) return false;
          restartChunker();
          suspect = false;
          continue;
        }
        const size_t s = static_cast<size_t>(head % slotCount);
        for (size_t t; queue.PopUntilDone(s, &t);) {
          ScoreChunk(options_.delimiter, keepBlankLines, &serial, &slots[t]);
          queue.Finish(t);
        }
        Slot& slot = slots[s];
        if (slot.batch.failure.empty() &&
            (slot.overran || slot.endLine != slot.chunk.endLine)) {
          // The chunk did not end at a record boundary: drop it and the
          // chunks cut after it, and read from its start here until past it.
          ++chunksReadAgain_;
          std::string again = slot.chunk.bytes;
          for (uint64_t later = head + 1; later < tail; ++later) {
            const size_t t = static_cast<size_t>(later % slotCount);
            queue.WaitDone(t);
            again += slots[t].chunk.bytes;
          }
          std::string rest;
          long line;
          bool streamEnded;
          chunker.TakeRest(&rest, &line, &streamEnded);
          again += rest;
          reader.Restart(again, slot.chunk.firstLine, streamEnded);
          const uint64_t past = slot.chunk.bytes.size();
          head = tail;
          if (!readSerially(past)) return false;
          restartChunker();
          suspect = false;
          ended = false;
          continue;
        }
        if (!writeBatch(slot.batch)) return false;
        ++head;
        progress.Update(rowsDone, bytesRead());
      }
    };

    WorkerPool pool(threads);
    pool.Run([&](int index) {
      if (index > 0) {
        RowContext context(scorers[static_cast<size_t>(index)].get(), &writer, header.size(),
                           &inputName);
        size_t s;
        while (queue.Pop(&s)) {
          ScoreChunk(options_.delimiter, keepBlankLines, &context, &slots[s]);
          queue.Finish(s);
        }
        return;
      }
      try {
        failed = !drive();
      } catch (const std::bad_alloc&) {
        progress.Clear();
        Message("rulescore: " + inputName + ": out of memory while reading");
        failed = true;
      } catch (...) {
        progress.Clear();
        Message("rulescore: " + inputName + ": reading failed");
        failed = true;
      }
      queue.Close();
    });
    if (failed) return kExitModel;
  }
  if (fromStdin ? std::cin.bad() : file.bad()) {
    progress.Clear();
    Message("rulescore: " + inputName + ": read error");
    return kExitUsage;
  }
  progress.Clear();

  if (!output.Commit(&error)) {
    Message(error);
    return kExitUsage;
  }
  return invalid ? kExitInvalidRows : kExitOk;
}

}  // namespace cli
}  // namespace rulescore
