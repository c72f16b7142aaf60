// Fuzz target for the CSV reader, in two modes chosen by the first byte.
//
// Raw mode: the remaining bytes are the input, read with small limits so
// that every cap is reached. Whatever the bytes, the reader must end, keep
// its caps, number records on strictly increasing lines, and never hand out
// a clean row whose cells are not UTF-8 or hold a NUL.
//
// Round-trip mode: the bytes describe a table of UTF-8 cells, which is
// written out as RFC 4180 text (quoting only where needed, with LF, CRLF or
// CR record ends) and read back. Every row must come back clean, with the
// same cells, on the physical line where it was written (LF, CRLF and a
// lone CR each end a line, inside quoted cells too).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "cli/CsvReader.h"

namespace {

using rulescore::cli::CsvLimits;
using rulescore::cli::CsvReader;
using rulescore::cli::CsvRow;

// Names the broken property before stopping, so that a crash file says
// what went wrong.
#define CHECK(condition)                                                          \
  do {                                                                            \
    if (!(condition)) {                                                           \
      std::fprintf(stderr, "fuzz_csv.cc:%d: check failed: %s\n", __LINE__, #condition); \
      std::abort();                                                               \
    }                                                                             \
  } while (false)

// Strict UTF-8: no overlong forms, surrogates or code points past U+10FFFF;
// NUL refused as well.
bool IsCleanUtf8(const std::string& s) {
  size_t i = 0;
  while (i < s.size()) {
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 == 0) return false;
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    size_t n;
    unsigned int cp;
    if ((b0 & 0xE0) == 0xC0) {
      n = 2;
      cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
      n = 3;
      cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
      n = 4;
      cp = b0 & 0x07;
    } else {
      return false;
    }
    if (i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k) {
      const unsigned char b = static_cast<unsigned char>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    if ((n == 2 && cp < 0x80) || (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000)) return false;
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

char PickDelimiter(uint8_t b) {
  static const char kDelimiters[] = {',', ';', '\t', '|', ' ', 'a', '\0', '\x80'};
  return kDelimiters[b % sizeof kDelimiters];
}

void RawMode(FuzzedDataProvider& provider) {
  const char delimiter = PickDelimiter(provider.ConsumeIntegral<uint8_t>());
  CsvLimits limits;
  limits.maxFieldBytes = provider.ConsumeIntegralInRange<size_t>(1, 64);
  limits.maxRowBytes = provider.ConsumeIntegralInRange<size_t>(1, 256);
  limits.maxFields = provider.ConsumeIntegralInRange<size_t>(1, 16);
  const std::string text = provider.ConsumeRemainingBytesAsString();

  std::istringstream in(text);
  CsvReader reader(in, delimiter, limits);
  CsvRow row;
  long lastLine = 0;
  size_t rows = 0;
  while (reader.ReadRow(&row)) {
    ++rows;
    // Each record takes at least one byte, and a byte is read at most twice
    // (once more after a failed quoted cell).
    CHECK(rows <= 2 * text.size() + 2);
    CHECK(row.line > lastLine);
    lastLine = row.line;
    CHECK(row.count <= row.fields.size());
    CHECK(row.count <= limits.maxFields);
    CHECK(row.errorField <= row.count);
    for (size_t i = 0; i < row.count; ++i) CHECK(row.Field(i).size() <= limits.maxFieldBytes);
    if (row.error.empty()) {
      for (size_t i = 0; i < row.count; ++i) CHECK(IsCleanUtf8(row.Field(i)));
    }
  }
  CHECK(reader.GetBytesRead() <= text.size());
  CHECK(!reader.ReadRow(&row));
}

// Pieces cells are made of: plain text, every delimiter, quotes, line
// breaks and multi-byte characters, the byte-order mark among them.
const char* const kPieces[] = {"a", "7", " ", ",", ";", "\t", "|", "\"", "\"\"", "\n", "\r", "\r\n",
                               "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBB\xBF", "x y"};

bool NeedsQuotes(const std::string& cell, char delimiter, bool firstOfInput) {
  if (cell.empty()) return true;  // an empty line would be skipped as blank
  if (firstOfInput && cell.compare(0, 3, "\xEF\xBB\xBF") == 0) return true;
  if (cell[0] == '"') return true;
  for (char c : cell) {
    if (c == delimiter || c == '"' || c == '\n' || c == '\r') return true;
  }
  return false;
}

void RoundTripMode(FuzzedDataProvider& provider) {
  static const char kSafeDelimiters[] = {',', ';', '\t', '|'};
  const char delimiter = kSafeDelimiters[provider.ConsumeIntegral<uint8_t>() % 4];
  std::vector<std::vector<std::string>> table;
  std::vector<long> lines;
  std::string text;
  long line = 1;
  const size_t records = provider.ConsumeIntegralInRange<size_t>(0, 24);
  for (size_t r = 0; r < records && provider.remaining_bytes() > 0; ++r) {
    std::vector<std::string> cells(provider.ConsumeIntegralInRange<size_t>(1, 8));
    lines.push_back(line);
    for (size_t c = 0; c < cells.size(); ++c) {
      const size_t pieces = provider.ConsumeIntegralInRange<size_t>(0, 6);
      for (size_t p = 0; p < pieces; ++p) {
        cells[c] += kPieces[provider.ConsumeIntegralInRange<size_t>(
            0, sizeof kPieces / sizeof kPieces[0] - 1)];
      }
      if (c > 0) text.push_back(delimiter);
      if (NeedsQuotes(cells[c], delimiter, text.empty())) {
        text.push_back('"');
        const std::string& cell = cells[c];
        for (size_t k = 0; k < cell.size(); ++k) {
          if (cell[k] == '"') text.push_back('"');
          // A physical line inside a quoted cell: LF, or CR not before LF.
          if (cell[k] == '\n' || (cell[k] == '\r' && (k + 1 == cell.size() || cell[k + 1] != '\n'))) {
            ++line;
          }
          text.push_back(cell[k]);
        }
        text.push_back('"');
      } else {
        text += cells[c];
      }
    }
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};
    const bool last = r + 1 == records || provider.remaining_bytes() == 0;
    if (!last || provider.ConsumeBool()) {
      text += kEnds[provider.ConsumeIntegralInRange<int>(0, 2)];
      ++line;
    }
    table.push_back(std::move(cells));
  }

  std::istringstream in(text);
  CsvReader reader(in, delimiter);
  CsvRow row;
  size_t r = 0;
  while (reader.ReadRow(&row)) {
    CHECK(r < table.size());
    CHECK(row.error.empty());
    CHECK(row.line == lines[r]);
    CHECK(row.count == table[r].size());
    for (size_t c = 0; c < row.count; ++c) CHECK(row.Field(c) == table[r][c]);
    ++r;
  }
  CHECK(r == table.size());
  CHECK(reader.GetBytesRead() == text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider provider(data + 1, size - 1);
  if (data[0] & 1) {
    RoundTripMode(provider);
  } else {
    RawMode(provider);
  }
  return 0;
}
