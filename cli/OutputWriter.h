// Formats scored rows as CSV (the input's cells followed by prediction,
// confidence, winning_rule, fired_rules and the model's output fields) or as
// JSON Lines (one object per row).
// Formatting appends to a caller's string, so rows can be formatted on
// several threads and written in input order by one.
#ifndef RULESCORE_CLI_OUTPUTWRITER_H_
#define RULESCORE_CLI_OUTPUTWRITER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CsvReader.h"
#include "cli/RowScore.h"

namespace rulescore {
namespace cli {

class OutputWriter {
 public:
  enum class Format { kCsv, kJsonLines };

  OutputWriter(Format format, char delimiter);
  // The names of the model's output fields: columns (CSV) or members
  // (JSON Lines) after the standard ones, one per RowScore output.
  void SetOutputColumns(const std::vector<std::string>& names) { outputColumns_ = names; }

  // The header line (CSV only; JSON Lines has none).
  void AppendHeader(const std::vector<std::string>& columns, std::string* out) const;
  // One output line for `row`. CSV writes exactly `width` input cells:
  // a short row is padded with empty cells, cells past the header dropped
  // (such a row is an error row anyway).
  void AppendRow(const CsvRow& row, size_t width, const RowScore& score, std::string* out) const;

  // A CSV field, quoted (inner quotes doubled) when it holds the
  // delimiter, a quote, CR or LF.
  static void AppendCsvField(std::string_view text, char delimiter, std::string* out);
  // A JSON string literal with its quotes. Bytes that are not UTF-8 become
  // U+FFFD so that the output is always valid JSON.
  static void AppendJsonString(std::string_view text, std::string* out);
  // A double in its shortest round-trip form; null unless finite.
  static void AppendJsonNumber(double value, std::string* out);

 private:
  // A CSV row none of whose texts needs quotes, written in one piece;
  // false, with nothing written, when one does.
  bool AppendPlainCsvRow(const CsvRow& row, size_t width, const RowScore& score,
                         std::string* out) const;

  Format format_;
  char delimiter_;
  std::vector<std::string> outputColumns_;
  bool special_[256] = {};  // the bytes that make a CSV field quoted
  uint64_t specialBits_[4] = {};  // the same, a bit per byte value
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_OUTPUTWRITER_H_
