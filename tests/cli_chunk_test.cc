// Cutting the input into chunks of whole records: every cut the chunker
// makes must be a record boundary of the sequential reader, with the line
// count right, so that chunks read on their own give exactly the rows (cells,
// lines, errors) of one reader over the whole input.
#include "cli/CsvChunker.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/CsvReader.h"

namespace rulescore {
namespace cli {
namespace {

struct Row {
  long line;
  std::vector<std::string> fields;
  std::string error;
  size_t errorField;

  bool operator==(const Row& other) const {
    return line == other.line && fields == other.fields && error == other.error &&
           errorField == other.errorField;
  }
};

Row Copy(const CsvRow& row) {
  return {row.line,
          std::vector<std::string>(row.fields.begin(), row.fields.begin() + static_cast<long>(row.count)),
          row.error, row.errorField};
}

std::ostream& operator<<(std::ostream& out, const Row& row) {
  out << "line " << row.line << " [";
  for (const std::string& f : row.fields) out << "<" << f << ">";
  return out << "] " << row.error << " @" << row.errorField;
}

std::vector<Row> ReadSequentially(const std::string& input, char delimiter, CsvLimits limits) {
  std::istringstream in(input);
  CsvReader reader(in, delimiter, limits);
  std::vector<Row> rows;
  CsvRow row;
  while (reader.ReadRow(&row)) rows.push_back(Copy(row));
  return rows;
}

struct ChunkedRead {
  std::vector<Row> rows;
  size_t chunks = 0;      // chunks holding records
  size_t serial = 0;      // records the chunker left to a stream reader
  size_t overruns = 0;    // chunks that did not end at a record boundary
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
  if (!reader.ReadRow(&row)) return result;
  result.rows.push_back(Copy(row));
  while (!reader.AtRecordStart()) {
    if (!reader.ReadRow(&row)) return result;
    result.rows.push_back(Copy(row));
  }
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
    if (cut == CsvChunker::Cut::kEnd) return result;
    if (cut == CsvChunker::Cut::kSuspect) {
      std::string rest;
      long line;
      bool ended;
      chunker.TakeRest(&rest, &line, &ended);
      reader.Restart(rest, line, ended);
      const uint64_t from = reader.GetPosition();
      bool more = true;
      do {
        more = reader.ReadRow(&row);
        if (more) {
          result.rows.push_back(Copy(row));
          ++result.serial;
        }
      } while (more && !(reader.AtRecordStart() && reader.GetPosition() > from));
      restart();
    }
  }
  ADD_FAILURE() << "the chunker made no progress";
  return result;
}

struct Case {
  const char* name;
  std::string input;
  bool suspect;  // holds a record the chunker must leave to a stream reader
  char delimiter = ',';
  CsvLimits limits = CsvLimits();
};

std::vector<Case> Cases() {
  using S = std::string;
  return {
      {"Plain", "a,b\n1,2\n3,4\n5,6\n", false},
      {"CrLf", "a,b\r\n1,2\r\n3,4\r\n5,6\r\n", false},
      {"CrOnly", "a,b\r1,2\r3,4\r5,6\r", false},
      {"MixedLineEnds", "a,b\n1,2\r\n3,4\r5,6\n\r\n7,8", false},
      {"ByteOrderMark", "\xEF\xBB\xBF" "a,b\n1,2\n3,4\n", false},
      {"MarkLaterIsText", "a\n\xEF\xBB\xBF" "b\nc\n", false},
      {"NoFinalLineEnd", "a,b\n1,2\n3,4", false},
      {"BlankLines", "a\n\n\nb\r\n\r\nc\r\r\rd\n", false},
      {"QuotedLf", "h,n\n1,\"x\ny\"\n2,\"p\n\nq\"\n3,z\n", false},
      {"QuotedCrLf", "h,n\r\n1,\"x\r\ny\"\r\n2,\"p\r\n\r\nq\"\r\n3,z\r\n", false},
      {"QuotedCr", "h,n\r1,\"x\ry\"\r2,z\r", false},
      {"QuotedDelimiterAndQuotes", "h,n\n\"a,b\",\"say \"\"hi\"\"\"\n\"\"\"\",\"\n\"\"\n\"\n", false},
      {"QuoteInsideUnquoted", "h,n\na\"b,c\nd,e\"\nf,\"g\nh\"\n", false},
      {"TextAfterQuoteOnOneLine", "h,n\n\"ab\"c,d\"e\nx,y\n", false},
      {"EmptyCellsAndQuoted", "a,b,c\n,,\n\"\",\"\",\"\"\n,\"\n\",\n", false},
      {"InvalidUtf8AndNul", S("h,n\na,\xff\nb,c") + S(1, '\0') + "d\ne,f\n", false},
      {"Tab", "a\tb\n\"x\ty\"\t1\nz\t\"w\n\"\n", false, '\t'},
      {"Semicolon", "a;b\n\"x;y\";1\nz;\"w\nv\"\n", false, ';'},
      {"StrayQuoteRecovery", "a,b\n1,\"x\n2\"y,3\n4,5\n6,7\n", true},
      {"StrayQuoteCr", "a,b\r1,\"x\r2\"y,3\r4,5\r", true},
      {"UnclosedQuoteAtEnd", "a,b\n1,2\n3,\"open\n4,5\n6,7\n", false},
      {"UnclosedQuoteLinesReadAgain", "a,b\n1,\"x\n2,\"y\n3\"z,4\n5,6\n", true},
      {"LongRecordAgainstCaps", "a,b\n1,2\nabcdefghijk,x\n3,4\n\"abcdefghij\"\n5,6\n", true, ',',
       CsvLimits{8, 1000, 100}},
      {"CellCap", "a,b\n1,2\na,b,c,d,e,f\n3,4\n", true, ',', CsvLimits{100, 1000, 3}},
      {"RowCap", "a\n1\n\"aaaa\nbbbb\ncccc\"\n2\n", true, ',', CsvLimits{100, 12, 100}},
  };
}

void ExpectSameRows(const std::vector<Row>& want, const std::vector<Row>& got, const std::string& how) {
  ASSERT_EQ(got.size(), want.size()) << how;
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << how << " row " << i;
}

TEST(CsvChunker, ChunksGiveTheRowsOfOneSequentialRead) {
  for (const Case& c : Cases()) {
    const std::vector<Row> want = ReadSequentially(c.input, c.delimiter, c.limits);
    for (size_t target : {1, 2, 3, 5, 8, 13, 1000}) {
      const std::string how = std::string(c.name) + " target " + std::to_string(target);
      const ChunkedRead got = ReadInChunks(c.input, c.delimiter, c.limits, target);
      ExpectSameRows(want, got.rows, how);
      EXPECT_EQ(got.overruns, 0u) << how;
      EXPECT_EQ(got.serial > 0, c.suspect) << how;
      // Small targets cut between records wherever the chunker can.
      if (target == 1 && !c.suspect && want.size() > 2) {
        EXPECT_GE(got.chunks, 2u) << how;
      }
    }
  }
}

// Many records of every kind, with faults now and then: chunk boundaries
// fall everywhere, and the stream reader takes over and hands back often.
std::string Mixed(int rows) {
  const char* const cells[] = {"plain", "\"quoted, with delimiter\"", "\"two\nlines\"",
                               "\"crlf\r\ninside\"", "\"say \"\"hi\"\"\"", "a\"b", "", "\"\"",
                               "\xC3\xA9t\xC3\xA9", "\xff", "\"ab\"c"};
  const char* const ends[] = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n"};
  std::string text = "\xEF\xBB\xBF" "k,v,w\n";
  unsigned state = 12345;
  const auto next = [&state](unsigned n) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) % n;
  };
  for (int i = 0; i < rows; ++i) {
    text += std::to_string(i);
    const unsigned count = 1 + next(3);
    for (unsigned k = 0; k < count; ++k) {
      text += ",";
      text += cells[next(sizeof cells / sizeof cells[0])];
    }
    if (i % 97 == 13) text += ",\"stray\nquote\"x";  // lines read again
    if (i % 331 == 7) text += std::string(200, 'L');  // past the small caps
    text += ends[next(sizeof ends / sizeof ends[0])];
  }
  return text;
}

TEST(CsvChunker, MixedInputAtManyChunkSizes) {
  const std::string input = Mixed(3000);
  for (const CsvLimits limits : {CsvLimits(), CsvLimits{150, 400, 50}}) {
    const std::vector<Row> want = ReadSequentially(input, ',', limits);
    ASSERT_GT(want.size(), 3000u);
    for (size_t target : {size_t{1}, size_t{7}, size_t{64}, size_t{1000}, size_t{4096}, size_t{1} << 20}) {
      const std::string how = "cap " + std::to_string(limits.maxFieldBytes) + " target " +
                              std::to_string(target);
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

// A chunk reader given a chunk that was not cut at a record boundary says
// so, rather than taking the chunk's end for the input's.
TEST(CsvChunker, ChunkReaderReportsACutInsideARecord) {
  struct Cut {
    const char* name;
    std::string chunk;
    int next;
    bool overran;
    long endLine;
  };
  const Cut cuts[] = {
      {"AfterLf", "a,b\n", 'c', false, 2},
      {"AfterLoneCr", "a,b\r", 'c', false, 2},
      {"BetweenCrAndLf", "a,b\r", '\n', true, 2},
      {"BlankCrBeforeLf", "a,b\n\r", '\n', true, 3},
      {"InsideCell", "a,b", ',', true, 1},
      {"InsideQuotedCell", "a,\"b\n", 'c', true, 2},
      {"CrInsideQuotedCellBeforeLf", "a,\"b\r", '\n', true, 1},
      {"NextNotRead", "a,b", CsvReader::kNotRead, true, 1},
      {"LastChunkEndsTheInput", "a,\"b\nc", CsvReader::kEndOfInput, false, 2},
      {"LastChunkWithoutLineEnd", "a,b", CsvReader::kEndOfInput, false, 1},
  };
  for (const Cut& c : cuts) {
    CsvReader reader(c.chunk, c.next, 1, ',');
    CsvRow row;
    while (reader.ReadRow(&row)) {
    }
    EXPECT_EQ(reader.Overran(), c.overran) << c.name;
    if (!c.overran) {
      EXPECT_EQ(reader.GetLine(), c.endLine) << c.name;
    }
  }
}

}  // namespace
}  // namespace cli
}  // namespace rulescore
