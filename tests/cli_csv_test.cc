// The tool's CSV reader (RFC 4180 quoting, line ends, the byte-order mark,
// recovery from faulty records, the caps that bound memory) and the chunker
// that cuts the input into whole records: every cut must be a record
// boundary of the sequential reader, with the line count right, so that
// chunks read on their own give exactly the rows (cells, lines, errors) of
// one reader over the whole input. The cases are tests/data/csv/cases.txt.
#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/CsvChunker.h"
#include "cli/CsvReader.h"
#include "tests/support/CaseFile.h"

namespace rulescore {
namespace cli {
namespace {

// A row as compared: line, cells, error and the cell it is in.
struct Row {
  long line = 0;
  std::vector<std::string> fields;
  std::string error;
  size_t errorField = 0;
  bool operator==(const Row& o) const {
    return line == o.line && fields == o.fields && error == o.error && errorField == o.errorField;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  out << "line " << row.line << " [";
  for (const std::string& f : row.fields) out << "<" << f << ">";
  return out << "] " << row.error << " @" << row.errorField;
}

Row Copy(const CsvRow& row) {
  return {row.line, std::vector<std::string>(row.fields.begin(), row.fields.begin() + static_cast<long>(row.count)),
          row.error, row.errorField};
}

struct Case {
  std::string name;
  std::string input;
  std::vector<Row> rows;
  char delimiter = ',';
  CsvLimits limits;
  bool keep = false;
  bool suspect = false;
  bool chunkOnly = false;
};

using KtZembra_940::testing_support::Unescaped;

std::vector<Case> Cases() {
  std::ifstream file(std::string(RULESCORE_TEST_DATA_DIR) + "/csv/cases.txt");
  std::vector<Case> cases;
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("case ", 0) == 0) {
      std::istringstream words(line.substr(5));
      cases.emplace_back();
      words >> cases.back().name;
      for (std::string flag; words >> flag;) {
        Case& c = cases.back();
        if (flag.rfind("delimiter=", 0) == 0) c.delimiter = Unescaped(flag.substr(10))[0];
        if (flag.rfind("caps=", 0) == 0) {
          std::replace(flag.begin(), flag.end(), ',', ' ');
          std::istringstream(flag.substr(5)) >> c.limits.maxFieldBytes >> c.limits.maxRowBytes >> c.limits.maxFields;
        }
        c.keep = c.keep || flag == "keep";
        c.suspect = c.suspect || flag == "suspect";
        c.chunkOnly = c.chunkOnly || flag == "chunk";
      }
    } else if (line.rfind("in ", 0) == 0) {
      cases.back().input = Unescaped(line.substr(3));
    } else if (line.rfind("row ", 0) == 0) {
      Row row;
      size_t at = 0;
      row.line = std::stol(line.substr(4), &at);
      std::string rest = line.substr(std::min(line.size(), 4 + at + 1));
      const size_t bang = rest.find(" ! ");
      if (bang != std::string::npos) {
        const size_t cell = rest.rfind(" @");
        row.error = rest.substr(bang + 3, cell - bang - 3);
        row.errorField = std::stoul(rest.substr(cell + 2));
        rest.resize(bang);
      }
      for (size_t from = 0;;) {
        const size_t bar = rest.find('|', from);
        row.fields.push_back(Unescaped(rest.substr(from, bar - from)));
        if (bar == std::string::npos) break;
        from = bar + 1;
      }
      cases.back().rows.push_back(row);
    }
  }
  EXPECT_GE(cases.size(), 60u);
  return cases;
}

// Hands out its text `step` bytes per read, as a pipe may.
class TrickleBuffer : public std::streambuf {
 public:
  TrickleBuffer(std::string text, size_t step) : text_(std::move(text)), step_(step) {}

 protected:
  std::streamsize xsgetn(char* out, std::streamsize n) override {
    const size_t take = std::min({text_.size() - pos_, step_, static_cast<size_t>(n)});
    std::copy_n(text_.data() + pos_, take, out);
    pos_ += take;
    return static_cast<std::streamsize>(take);
  }
  int_type underflow() override {
    return pos_ < text_.size() ? traits_type::to_int_type(text_[pos_]) : traits_type::eof();
  }

 private:
  std::string text_;
  size_t step_;
  size_t pos_ = 0;
};

std::vector<Row> ReadAll(std::istream& in, const Case& c, uint64_t* bytes = nullptr) {
  CsvReader reader(in, c.delimiter, c.limits);
  reader.KeepBlankLines(c.keep);
  std::vector<Row> rows;
  CsvRow row;
  // A reader that loops would never end.
  while (reader.ReadRow(&row) && rows.size() <= 100000) rows.push_back(Copy(row));
  if (bytes != nullptr) *bytes = reader.GetBytesRead();
  return rows;
}

void ExpectSameRows(const std::vector<Row>& want, const std::vector<Row>& got, const std::string& how) {
  ASSERT_EQ(got.size(), want.size()) << how;
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << how << " row " << i;
}

// Every case read whole, and handed out a few bytes per read as a pipe may.
TEST(CsvReader, Cases) {
  for (const Case& c : Cases()) {
    if (c.chunkOnly) continue;
    uint64_t bytes = 0;
    std::istringstream whole(c.input);
    ExpectSameRows(c.rows, ReadAll(whole, c, &bytes), c.name + " whole");
    EXPECT_EQ(bytes, c.input.size()) << c.name;
    for (size_t step : {size_t{1}, size_t{2}, size_t{5}}) {
      TrickleBuffer buffer(c.input, step);
      std::istream in(&buffer);
      uint64_t trickled = 0;
      ExpectSameRows(c.rows, ReadAll(in, c, &trickled), c.name + " step " + std::to_string(step));
      EXPECT_EQ(trickled, c.input.size()) << c.name << " step " << step;
    }
  }
}

// The default caps: a cell under 1 MiB is read, a longer one costs its row.
TEST(CsvReader, DefaultCapsCostOneRow) {
  const std::string fits(900 * 1024, 'x');
  const std::string past(3 * 1024 * 1024, 'y');
  Case c;
  c.input = "a,b\n\"" + fits + "\",2\n" + past + ",2\n3,4\n";
  std::istringstream in(c.input);
  ExpectSameRows({{1, {"a", "b"}, "", 0},
                  {2, {fits, "2"}, "", 0},
                  {3, {past.substr(0, 1048576)}, "cell longer than 1048576 bytes", 1},
                  {4, {"3", "4"}, "", 0}},
                 ReadAll(in, c), "default caps");
}

struct ChunkedRead {
  std::vector<Row> rows;
  size_t chunks = 0;    // chunks holding records
  size_t serial = 0;    // records the chunker left to a stream reader
  size_t overruns = 0;  // chunks that did not end at a record boundary
  std::vector<std::pair<long, size_t>> cuts;  // chunks cut at a target: first line, bytes
  uint64_t bytesRead = 0;  // taken from the stream by the reader and the chunker
};

// Reads the first record with a stream reader (as the tool reads the
// header), then the rest in chunks of about `target` bytes, each with its
// own reader; records the chunker stops at are read by the stream reader.
ChunkedRead ReadInChunks(const std::string& input, char delimiter, CsvLimits limits, size_t target) {
  ChunkedRead result;
  std::istringstream in(input);
  CsvReader reader(in, delimiter, limits);
  CsvChunker chunker(in, delimiter, limits, target);
  CsvRow row;
  do {
    if (!reader.ReadRow(&row)) {
      result.bytesRead = reader.GetBytesRead();
      return result;
    }
    result.rows.push_back(Copy(row));
  } while (!reader.AtRecordStart());
  const auto restart = [&] {
    std::string rest;
    reader.TakeBuffered(&rest);
    chunker.Restart(rest, reader.GetLine(), reader.StreamEnded());
  };
  restart();
  CsvChunk chunk;
  for (int guard = 0; guard < 100000; ++guard) {
    const CsvChunker::Cut cut = chunker.Next(&chunk);
    if (!chunk.bytes.empty()) {
      ++result.chunks;
      CsvReader part(chunk.bytes, chunk.next, chunk.firstLine, delimiter, limits);
      while (part.ReadRow(&row) && !part.Overran()) result.rows.push_back(Copy(row));
      if (part.Overran() || part.GetLine() != chunk.endLine) ++result.overruns;
      if (chunk.last) {
        EXPECT_EQ(chunk.next, CsvReader::kEndOfInput);
      }
    }
    if (cut == CsvChunker::Cut::kChunk) result.cuts.emplace_back(chunk.firstLine, chunk.bytes.size());
    if (cut == CsvChunker::Cut::kEnd) {
      result.bytesRead = reader.GetBytesRead() + chunker.GetBytesRead();
      return result;
    }
    if (cut == CsvChunker::Cut::kSuspect) {
      std::string rest;
      long line;
      bool ended;
      chunker.TakeRest(&rest, &line, &ended);
      reader.Restart(rest, line, ended);
      const uint64_t from = reader.GetPosition();
      while (reader.ReadRow(&row)) {
        result.rows.push_back(Copy(row));
        ++result.serial;
        if (reader.AtRecordStart() && reader.GetPosition() > from) break;
      }
      restart();
    }
  }
  ADD_FAILURE() << "the chunker made no progress";
  return result;
}

TEST(CsvChunker, ChunksGiveTheRowsOfOneSequentialRead) {
  for (const Case& c : Cases()) {
    std::istringstream whole(c.input);
    const std::vector<Row> want = ReadAll(whole, Case{c.name, c.input, {}, c.delimiter, c.limits});
    for (size_t target : {1, 2, 3, 5, 8, 13, 1000}) {
      const std::string how = c.name + " target " + std::to_string(target);
      const ChunkedRead got = ReadInChunks(c.input, c.delimiter, c.limits, target);
      ExpectSameRows(want, got.rows, how);
      EXPECT_EQ(got.overruns, 0u) << how;
      EXPECT_EQ(got.serial > 0, c.suspect) << how;
      EXPECT_EQ(got.bytesRead, c.input.size()) << how;
      // Small targets cut between records wherever the chunker can (after a
      // first record that reads cleanly).
      if (target == 1 && !c.suspect && want.size() > 2 && want[0].error.empty()) {
        EXPECT_GE(got.chunks, 2u) << how;
      }
    }
  }
}

// Many records of every kind, with faults now and then: chunk boundaries
// fall everywhere, and the stream reader takes over and hands back often.
TEST(CsvChunker, MixedInputAtManyChunkSizes) {
  const char* const cells[] = {"plain", "\"quoted, with delimiter\"", "\"two\nlines\"",
                               "\"crlf\r\ninside\"", "\"say \"\"hi\"\"\"", "a\"b", "", "\"\"",
                               "\xC3\xA9t\xC3\xA9", "\xff", "\"ab\"c"};
  const char* const ends[] = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n"};
  std::string input = "\xEF\xBB\xBF" "k,v,w\n";
  unsigned state = 12345;
  const auto next = [&state](unsigned n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  for (int i = 0; i < 3000; ++i) {
    input += std::to_string(i);
    for (unsigned k = 0, count = 1 + next(3); k < count; ++k) input += std::string(",") + cells[next(11)];
    if (i % 97 == 13) input += ",\"stray\nquote\"x";  // lines read again
    if (i % 331 == 7) input += std::string(200, 'L');  // past the small caps
    input += ends[next(5)];
  }
  for (const CsvLimits limits : {CsvLimits(), CsvLimits{150, 400, 50}}) {
    Case c;
    c.limits = limits;
    std::istringstream whole(input);
    const std::vector<Row> want = ReadAll(whole, c);
    ASSERT_GT(want.size(), 3000u);
    for (size_t target : {size_t{1}, size_t{7}, size_t{64}, size_t{1000}, size_t{4096}, size_t{1} << 20}) {
      const std::string how = "cap " + std::to_string(limits.maxFieldBytes) + " target " + std::to_string(target);
      const ChunkedRead got = ReadInChunks(input, ',', limits, target);
      ExpectSameRows(want, got.rows, how);
      EXPECT_EQ(got.overruns, 0u) << how;
      EXPECT_GT(got.serial, 0u) << how;
      if (target <= 4096) {
        EXPECT_GT(got.chunks, 10u) << how;
      }
    }
  }
}

// Long runs of plain LF records, which the chunker counts 64 bytes at a
// time: records of every length from 3 to 155 bytes, so that record ends
// fall at every offset of a block and blocks hold none or many. Now and
// then a quote or a CR interrupts the run, some of them at a record's
// start, where a quoted line break must not end the record. Under each cap
// exactly the records whose line end lies half the smallest cap or more
// past their start are read serially, and every chunk ends at the first
// record end at or past its target.
TEST(CsvChunker, PlainRecordsOfEveryLength) {
  std::string input = "k,v\n";
  std::map<long, size_t> startOf;  // a record's first line: where it starts
  std::vector<size_t> ends;        // the byte after each record
  std::vector<size_t> lineEnds;    // each record's line end, from its start
  long line = 2;
  for (int i = 0; i < 4000; ++i) {
    const bool quoted = i % 37 == 5;
    std::string record = quoted ? "\"a\nb\",x" : std::to_string(i) + "," + std::string(1 + (i * 7919) % 150, 'a');
    if (i % 500 == 250) record += i % 1000 == 250 ? ",\"q\"" : ",x\r";
    startOf[line] = input.size();
    lineEnds.push_back(record.size() - (record.back() == '\r' ? 1 : 0));
    input += record + "\n";
    ends.push_back(input.size());
    line += quoted ? 2 : 1;
  }
  for (const CsvLimits limits : {CsvLimits(), CsvLimits{300, 1000, 200}, CsvLimits{100, 1000, 100}}) {
    Case c;
    c.limits = limits;
    std::istringstream whole(input);
    const std::vector<Row> want = ReadAll(whole, c);
    ASSERT_EQ(want.size(), 4001u);
    const size_t bound = std::min({limits.maxFieldBytes, limits.maxRowBytes, limits.maxFields}) / 2;
    const size_t serial = static_cast<size_t>(
        std::count_if(lineEnds.begin(), lineEnds.end(), [bound](size_t at) { return at >= bound; }));
    for (size_t target : {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{1000}, size_t{4096}, size_t{1} << 20}) {
      const std::string how = "bound " + std::to_string(bound) + " target " + std::to_string(target);
      const ChunkedRead got = ReadInChunks(input, ',', limits, target);
      ExpectSameRows(want, got.rows, how);
      EXPECT_EQ(got.overruns, 0u) << how;
      EXPECT_EQ(got.serial, serial) << how;
      EXPECT_EQ(got.bytesRead, input.size()) << how;
      for (const std::pair<long, size_t>& cut : got.cuts) {
        const size_t from = startOf.at(cut.first);
        ASSERT_EQ(from + cut.second, *std::lower_bound(ends.begin(), ends.end(), from + target))
            << how << " chunk from line " << cut.first;
      }
    }
  }
}

// CRLF records long enough that the chunker's reads end between a CR and
// its LF: the pair still ends one record. With headers of one to three
// bytes one of the inputs puts a CR last in a read, whatever the readers'
// buffer sizes.
TEST(CsvChunker, CrLfSplitBetweenReads) {
  for (size_t header = 1; header <= 3; ++header) {
    std::string input = std::string(header, 'k') + "\r\n";
    for (int i = 0; i < 90000; ++i) input += "7\r\n";
    Case c;
    std::istringstream whole(input);
    const std::vector<Row> want = ReadAll(whole, c);
    ASSERT_EQ(want.size(), 90001u);
    for (size_t target : {size_t{1000}, size_t{1} << 20}) {
      const std::string how = "header " + std::to_string(header) + " target " + std::to_string(target);
      const ChunkedRead got = ReadInChunks(input, ',', CsvLimits(), target);
      ExpectSameRows(want, got.rows, how);
      EXPECT_EQ(got.overruns, 0u) << how;
    }
  }
}

// A chunk reader given a chunk that was not cut at a record boundary says
// so, rather than taking the chunk's end for the input's: every row of
// tests/data/cases/csv_cuts.txt.
TEST(CsvChunker, ChunkReaderReportsACutInsideARecord) {
  for (const KtZembra_940::testing_support::CaseLine& c : KtZembra_940::testing_support::ReadDataCases("csv_cuts.txt")) {
    SCOPED_TRACE(c.where + " " + c.fields[0]);
    const std::string& next = c.fields[2];
    CsvReader reader(c.fields[1], next == "end" ? CsvReader::kEndOfInput : next == "unread" ? CsvReader::kNotRead : next[0],
                     1, ',');
    CsvRow row;
    while (reader.ReadRow(&row)) {
    }
    EXPECT_EQ(reader.Overran(), c.fields[3] == "overran");
    if (!reader.Overran()) {
      EXPECT_EQ(reader.GetLine(), std::stol(c.fields[4]));
    }
  }
}

}  // namespace
}  // namespace cli
}  // namespace rulescore
