// The tool's CSV reader: RFC 4180 quoting, line ends, the byte-order mark,
// recovery from faulty records and the caps that bound memory.
#include "cli/CsvReader.h"

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace rulescore {
namespace cli {
namespace {

// Hands out its text `step` bytes per read, as a pipe may.
class TrickleBuffer : public std::streambuf {
 public:
  TrickleBuffer(std::string text, size_t step) : text_(std::move(text)), step_(step) {}

 protected:
  std::streamsize xsgetn(char* out, std::streamsize n) override {
    const size_t left = text_.size() - pos_;
    const size_t take = std::min({left, step_, static_cast<size_t>(n)});
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

struct ExpectedRow {
  long line;
  std::vector<std::string> fields;
  std::string error;  // empty: a clean row; else the exact error text
  size_t errorField;
};

struct Case {
  const char* name;
  std::string input;
  std::vector<ExpectedRow> rows;
  char delimiter = ',';
  CsvLimits limits = CsvLimits();
  bool keepBlankLines = false;  // told that an empty line is a record
};

std::vector<Case> Cases() {
  using S = std::string;
  return {
      {"Plain", "a,b\n1,2\n", {{1, {"a", "b"}, "", 0}, {2, {"1", "2"}, "", 0}}},
      {"CrLf", "a,b\r\n1,2\r\n", {{1, {"a", "b"}, "", 0}, {2, {"1", "2"}, "", 0}}},
      {"CrOnly", "a,b\rc,d\r", {{1, {"a", "b"}, "", 0}, {2, {"c", "d"}, "", 0}}},
      {"NoFinalLineEnd", "a,b\n1,2", {{1, {"a", "b"}, "", 0}, {2, {"1", "2"}, "", 0}}},
      {"ByteOrderMark", "\xEF\xBB\xBF" "a,b\n1,2\n", {{1, {"a", "b"}, "", 0}, {2, {"1", "2"}, "", 0}}},
      {"MarkOnlyAtStart", "a\n\xEF\xBB\xBF" "b\n", {{1, {"a"}, "", 0}, {2, {"\xEF\xBB\xBF" "b"}, "", 0}}},
      {"QuotedDelimiter", "\"x,y\",z\n", {{1, {"x,y", "z"}, "", 0}}},
      {"DoubledQuotes", "\"say \"\"hi\"\"\",2\n", {{1, {"say \"hi\"", "2"}, "", 0}}},
      {"QuotedLineBreak", "\"l1\nl2\",b\nc,d\n", {{1, {"l1\nl2", "b"}, "", 0}, {3, {"c", "d"}, "", 0}}},
      {"QuotedCrLfKept", "\"l1\r\nl2\",b\r\n", {{1, {"l1\r\nl2", "b"}, "", 0}}},
      {"EmptyCells", ",,\n", {{1, {"", "", ""}, "", 0}}},
      {"EmptyQuoted", "\"\",a\n", {{1, {"", "a"}, "", 0}}},
      {"TrailingDelimiter", "a,\n", {{1, {"a", ""}, "", 0}}},
      {"BlankLinesSkipped", "a\n\n\r\n\nb\n", {{1, {"a"}, "", 0}, {5, {"b"}, "", 0}}},
      {"QuoteInsideUnquoted", "a\"b,c\n", {{1, {"a\"b", "c"}, "", 0}}},
      {"Semicolon", "a;\"b;c\"\n", {{1, {"a", "b;c"}, "", 0}}, ';'},
      {"Tab", "a\tb,c\n", {{1, {"a", "b,c"}, "", 0}}, '\t'},
      {"TextAfterClosingQuote",
       "\"ab\"c,d\nx,y\n",
       {{1, {"abc", "d"}, "text after the closing quote", 1}, {2, {"x", "y"}, "", 0}}},
      {"UnclosedQuoteAtEnd",
       "x,\"open\nnext,row\n",
       {{1, {"x", "open"}, "quoted cell is not closed", 2}, {2, {"next", "row"}, "", 0}}},
      {"StrayQuoteCostsOneRow",
       "a,\"b\nc\"d,e\nf,g\n",
       {{1, {"a", "b"}, "text after the closing quote", 2},
        {2, {"c\"d", "e"}, "", 0},
        {3, {"f", "g"}, "", 0}}},
      {"StrayQuoteWithCrLineEnds",
       "a,\"b\rc,d\re,f\r",
       {{1, {"a", "b"}, "quoted cell is not closed", 2},
        {2, {"c", "d"}, "", 0},
        {3, {"e", "f"}, "", 0}}},
      {"QuotedCrBreakCountsLines", "\"x\ry\",1\rz\r", {{1, {"x\ry", "1"}, "", 0}, {3, {"z"}, "", 0}}},
      {"InvalidUtf8", "a,\xff\nb,c\n", {{1, {"a", "\xff"}, "cell is not valid UTF-8", 2}, {2, {"b", "c"}, "", 0}}},
      {"OverlongUtf8", "\xC0\xAF\n", {{1, {"\xC0\xAF"}, "cell is not valid UTF-8", 1}}},
      {"Utf8Accepted", "\xC3\xA9t\xC3\xA9,\xE2\x82\xAC\n", {{1, {"\xC3\xA9t\xC3\xA9", "\xE2\x82\xAC"}, "", 0}}},
      {"NulByte", S("a,b\0c\n", 6), {{1, {"a", S("b\0c", 3)}, "cell holds a NUL byte", 2}}},
      {"FieldCap",
       "abcdefghij,x\nnext\n",
       {{1, {"abcdefgh"}, "cell longer than 8 bytes", 1}, {2, {"next"}, "", 0}},
       ',',
       CsvLimits{8, 1000, 100}},
      {"QuotedFieldCap",
       "\"abcdefghij\",x\nnext\n",
       {{1, {"abcdefgh"}, "quoted cell longer than 8 bytes", 1}, {2, {"next"}, "", 0}},
       ',',
       CsvLimits{8, 1000, 100}},
      {"FieldAtCapAccepted", "abcdefgh\n", {{1, {"abcdefgh"}, "", 0}}, ',', CsvLimits{8, 1000, 100}},
      {"RowCap",
       "aaaa,bbbb,cccc,dddd,eeee\nz\n",
       {{1, {"aaaa", "bbbb", "cccc", "d"}, "record longer than 16 bytes", 0}, {2, {"z"}, "", 0}},
       ',',
       CsvLimits{100, 16, 100}},
      {"CellCountCap",
       "a,b,c,d\nz\n",
       {{1, {"a", "b", "c"}, "more than 3 cells", 0}, {2, {"z"}, "", 0}},
       ',',
       CsvLimits{100, 1000, 3}},
      {"Empty", "", {}},
      {"OnlyBlankLines", "\n\n", {}},
      {"OnlyMark", "\xEF\xBB\xBF", {}},
      {"ShorterAfterLonger", "a,b,c\nd\n", {{1, {"a", "b", "c"}, "", 0}, {2, {"d"}, "", 0}}},
      // A one-column file: one empty cell for each empty line, whatever the
      // line end; the line end of a record is no blank line of its own.
      {"KeepLf", "a\n\nb\n", {{1, {"a"}, "", 0}, {2, {""}, "", 0}, {3, {"b"}, "", 0}}, ',', {}, true},
      {"KeepMixed", "a\n\r\n\r\rb",
       {{1, {"a"}, "", 0}, {2, {""}, "", 0}, {3, {""}, "", 0}, {4, {""}, "", 0}, {5, {"b"}, "", 0}},
       ',', {}, true},
      {"KeepTrailingBlank", "a\n\n", {{1, {"a"}, "", 0}, {2, {""}, "", 0}}, ',', {}, true},
      {"KeepNoBlank", "a\nb\n", {{1, {"a"}, "", 0}, {2, {"b"}, "", 0}}, ',', {}, true},
      {"KeepQuotedEmptyAlike", "\"\"\n\n", {{1, {""}, "", 0}, {2, {""}, "", 0}}, ',', {}, true},
  };
}

std::vector<CsvRow> ReadAll(std::istream& in, const Case& c, uint64_t* bytes) {
  CsvReader reader(in, c.delimiter, c.limits);
  reader.KeepBlankLines(c.keepBlankLines);
  std::vector<CsvRow> rows;
  CsvRow row;
  while (reader.ReadRow(&row)) {
    CsvRow copy;
    copy.fields.assign(row.fields.begin(), row.fields.begin() + static_cast<long>(row.count));
    copy.count = row.count;
    copy.line = row.line;
    copy.error = row.error;
    copy.errorField = row.errorField;
    rows.push_back(copy);
    if (rows.size() > 100) break;  // a reader that loops would never end
  }
  *bytes = reader.GetBytesRead();
  return rows;
}

void ExpectRows(const Case& c, const std::vector<CsvRow>& rows, const std::string& how) {
  ASSERT_EQ(rows.size(), c.rows.size()) << c.name << " " << how;
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(std::string(c.name) + " " + how + " row " + std::to_string(i));
    EXPECT_EQ(rows[i].line, c.rows[i].line);
    EXPECT_EQ(rows[i].fields, c.rows[i].fields);
    EXPECT_EQ(rows[i].error, c.rows[i].error);
    EXPECT_EQ(rows[i].errorField, c.rows[i].errorField);
  }
}

// Every row of the table read whole, and handed out a few bytes per read as
// a pipe may.
TEST(CsvReader, Table) {
  for (const Case& c : Cases()) {
    uint64_t bytes = 0;
    std::istringstream whole(c.input);
    ExpectRows(c, ReadAll(whole, c, &bytes), "whole");
    EXPECT_EQ(bytes, c.input.size()) << c.name;
    for (size_t step : {size_t{1}, size_t{2}, size_t{5}}) {
      TrickleBuffer buffer(c.input, step);
      std::istream in(&buffer);
      ExpectRows(c, ReadAll(in, c, &bytes), "step " + std::to_string(step));
    }
  }
}

// Restarted on bytes taken from another reader, a reader reads on from the
// stream only when the stream has not been read to its end.
TEST(CsvReader, RestartReadsOnFromTheStreamUnlessItEnded) {
  for (const bool ended : {true, false}) {
    std::istringstream in("x\ny\n");
    CsvReader reader(in, ',');
    reader.Restart("p\nq", 5, ended);
    EXPECT_EQ(reader.StreamEnded(), ended);
    std::string rows;
    CsvRow row;
    while (reader.ReadRow(&row)) rows += std::to_string(row.line) + ":" + row.fields[0] + " ";
    EXPECT_EQ(rows, ended ? "5:p 6:q " : "5:p 6:qx 7:y ") << ended;
  }
}

// The default caps: a cell under 1 MiB is read, a longer one costs its row.
TEST(CsvReader, DefaultCapsCostOneRow) {
  const std::string fits(900 * 1024, 'x');
  const std::string past(3 * 1024 * 1024, 'y');
  const Case c{"DefaultCaps",
               "a,b\n\"" + fits + "\",2\n" + past + ",2\n3,4\n",
               {{1, {"a", "b"}, "", 0},
                {2, {fits, "2"}, "", 0},
                {3, {past.substr(0, 1048576)}, "cell longer than 1048576 bytes", 1},
                {4, {"3", "4"}, "", 0}}};
  std::istringstream in(c.input);
  uint64_t bytes = 0;
  ExpectRows(c, ReadAll(in, c, &bytes), "whole");
}

}  // namespace
}  // namespace cli
}  // namespace rulescore
