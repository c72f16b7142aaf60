#include "cli/ScoreJob.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <new>
#include <unordered_map>
#include <vector>

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

// A round reads at most this much per thread before scoring it, which keeps
// memory bounded by the thread count rather than by the input.
constexpr size_t kRowsPerSlice = 512;
constexpr size_t kBytesPerSlice = size_t{1} << 20;
// Cell buffers that grew past this for one huge row are given back.
constexpr size_t kKeptCellCapacity = size_t{64} << 10;

// One thread's share of a round.
struct Slice {
  std::vector<CsvRow> rows;  // reused from round to round
  size_t count = 0;
  std::vector<RowScore> scores;
  std::string output;
  std::string messages;
  bool invalid = false;
  std::string failure;  // set when scoring the slice threw
};

size_t RowBytes(const CsvRow& row) {
  size_t bytes = 0;
  for (size_t i = 0; i < row.count; ++i) bytes += row.fields[i].size() + 1;
  return bytes;
}

void ReleaseLargeCells(CsvRow* row) {
  for (std::string& field : row->fields) {
    if (field.capacity() > kKeptCellCapacity) std::string().swap(field);
  }
}

}  // namespace

void ScoreJob::Message(const std::string& text) const {
  std::fputs(text.c_str(), messages_);
  std::fputc('\n', messages_);
  std::fflush(messages_);
}

int ScoreJob::Run() {
  const int threads = options_.threads < 1 ? 1 : options_.threads;

  // Declared first so that it goes last: scorers hold results whose code is
  // in the plug-in the session keeps loaded.
  ModelSession session;
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
  const std::vector<std::string>& fields = outline.GetPredictors();
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
  }

  OutputFile output;
  if (!output.Open(options_.outputPath, &error)) {
    Message(error);
    return kExitUsage;
  }
  const OutputWriter writer(options_.format, options_.delimiter);
  {
    std::string text;
    writer.AppendHeader(header, &text);
    output.Write(text);
  }

  uint64_t totalBytes = 0;
  const bool showProgress =
      !options_.quiet && !fromStdin && Progress::ShouldShow(options_.inputPath.c_str(), &totalBytes);
  Progress progress(showProgress, totalBytes);

  std::vector<Slice> slices(static_cast<size_t>(threads));
  WorkerPool pool(threads);
  const auto scoreSlice = [&](int index) {
    Slice& slice = slices[static_cast<size_t>(index)];
    slice.output.clear();
    slice.messages.clear();
    slice.invalid = false;
    try {
      if (slice.scores.size() < slice.count) slice.scores.resize(slice.count);
      RecordScorer& scorer = *scorers[static_cast<size_t>(index)];
      for (size_t r = 0; r < slice.count; ++r) {
        const CsvRow& row = slice.rows[r];
        RowScore& score = slice.scores[r];
        scorer.Score(row, &score);
        writer.AppendRow(row, header.size(), score, &slice.output);
        if (!score.ok) {
          slice.invalid = true;
          slice.messages += "rulescore: " + inputName + ": " + score.error + "\n";
        }
      }
    } catch (const std::bad_alloc&) {
      slice.failure = "out of memory while scoring";
    } catch (const std::exception& e) {
      slice.failure = std::string("scoring failed: ") + e.what();
    } catch (...) {
      slice.failure = "scoring failed";
    }
  };

  bool invalid = false;
  bool more = true;
  uint64_t rowsDone = 0;
  while (more) {
    for (Slice& slice : slices) slice.count = 0;
    for (Slice& slice : slices) {
      size_t bytes = 0;
      while (slice.count < kRowsPerSlice && bytes < kBytesPerSlice) {
        if (slice.rows.size() == slice.count) slice.rows.emplace_back();
        CsvRow& row = slice.rows[slice.count];
        ReleaseLargeCells(&row);
        if (!reader.ReadRow(&row)) {
          more = false;
          break;
        }
        ++slice.count;
        bytes += RowBytes(row);
      }
      if (!more) break;
    }
    if (slices[0].count == 0) break;

    pool.Run(scoreSlice);

    for (Slice& slice : slices) {
      if (!slice.failure.empty()) {
        progress.Clear();
        Message("rulescore: " + inputName + ": " + slice.failure);
        return kExitModel;
      }
      if (slice.count == 0) continue;
      output.Write(slice.output);
      if (!slice.messages.empty()) {
        progress.Clear();
        std::fputs(slice.messages.c_str(), messages_);
        std::fflush(messages_);
      }
      invalid = invalid || slice.invalid;
      rowsDone += slice.count;
    }
    progress.Update(rowsDone, reader.GetBytesRead());
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
