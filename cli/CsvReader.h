// A streaming reader of comma-separated records (RFC 4180): quoted fields
// with embedded delimiters, doubled quotes and line breaks, CRLF, LF or CR
// line ends, and a UTF-8 byte-order mark at the start, which is skipped.
//
// The input is untrusted. Memory stays bounded whatever it holds: a field, a
// record and the number of cells each have a cap (CsvLimits); a record that
// passes one is reported as a row error and reading goes on with the next
// line. A quoted field that never closes (end of input or the cap reached)
// ends its record at the first line break inside it, and the lines after
// that break are read again as records of their own, so one stray quote
// costs one row rather than the rest of the file. Every field is checked to
// be UTF-8 without NUL bytes. Blank lines between records are skipped.
#ifndef RULESCORE_CLI_CSVREADER_H_
#define RULESCORE_CLI_CSVREADER_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace rulescore {
namespace cli {

struct CsvLimits {
  size_t maxFieldBytes = size_t{1} << 20;  // decoded bytes of one field
  size_t maxRowBytes = size_t{4} << 20;    // raw bytes of one record
  size_t maxFields = size_t{1} << 16;      // cells of one record
};

// One record. The field strings are kept from row to row so that reading
// reuses their capacity; only the first `count` belong to the current row.
struct CsvRow {
  std::vector<std::string> fields;
  size_t count = 0;
  // Physical line (1-based) on which the record starts.
  long line = 0;
  // Empty when the record was read cleanly; otherwise why it was not. The
  // cells read before the fault are kept.
  std::string error;
  // 1-based cell the error concerns; 0 when it concerns the whole record.
  size_t errorField = 0;

  const std::string& Field(size_t i) const { return fields[i]; }
};

class CsvReader {
 public:
  // `in` must outlive the reader. `delimiter` must not be '"', CR or LF.
  CsvReader(std::istream& in, char delimiter, CsvLimits limits = CsvLimits());
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Reads the next record into `row`. False at the end of the input (and
  // then `row` holds nothing of use). A faulty record is still returned,
  // with `row->error` set.
  bool ReadRow(CsvRow* row);

  // Bytes taken from the stream so far.
  uint64_t GetBytesRead() const { return bytesRead_; }

 private:
  enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted, kAfterQuoted };

  int Get();
  int Peek();
  bool Fill();
  // Begins a new cell; null when the record already holds maxFields cells.
  std::string* StartField(CsvRow* row);
  // Consumes the rest of the physical line, quotes not considered.
  void SkipToLineEnd();
  // Ends a quoted field that failed: keeps its text up to its first line
  // break and arranges for the lines after the break to be read again.
  void RecoverQuotedField(std::string* field);
  static void SetError(CsvRow* row, size_t field, std::string message);
  static void ValidateFields(CsvRow* row);

  std::istream& in_;
  char delimiter_;
  CsvLimits limits_;
  std::vector<char> buffer_;
  size_t bufferPos_ = 0;
  size_t bufferEnd_ = 0;
  bool eof_ = false;
  bool started_ = false;
  uint64_t bytesRead_ = 0;
  long line_ = 1;

  // Bytes to read again before the stream (after a failed quoted field).
  // While any remain, a quoted field may not span lines, which keeps the
  // re-reading linear in the size of the input.
  std::string pending_;
  size_t pendingPos_ = 0;
  bool lastFromPending_ = false;

  // Raw bytes read since the first line break inside the current quoted
  // field, and where that field's text stood at that break.
  bool capturing_ = false;
  std::string raw_;
  bool sawBreak_ = false;
  size_t lengthAtBreak_ = 0;
  long lineAfterBreak_ = 0;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_CSVREADER_H_
