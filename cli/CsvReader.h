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
// be UTF-8 without NUL bytes. Blank lines between records are skipped,
// unless the reader is told that an empty line is a record (KeepBlankLines):
// in a one-column file it is one empty cell, and no record may vanish.
//
// A reader works on a stream, or on one chunk of the input held in memory
// (CsvChunker cuts them), so that chunks can be read on several threads. A
// chunk reader behaves exactly as the stream reader would from the chunk's
// start, and says when a record ran past the chunk's end (Overran), since
// then the chunk was not cut at a record boundary.
#ifndef RULESCORE_CLI_CSVREADER_H_
#define RULESCORE_CLI_CSVREADER_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
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

  // A reader told to keep plain lines whole (KeepPlainLines) leaves a line
  // that needs no unquoting in `plainLine`, with the end of each cell in it,
  // instead of copying its cells into `fields`. Cell reads either form.
  bool plain = false;
  std::string plainLine;
  std::vector<uint32_t> cellEnds;

  const std::string& Field(size_t i) const { return fields[i]; }
  std::string_view Cell(size_t i) const {
    if (!plain) return fields[i];
    const size_t begin = i == 0 ? 0 : cellEnds[i - 1] + 1;
    return std::string_view(plainLine).substr(begin, cellEnds[i] - begin);
  }
};

class CsvReader {
 public:
  // For a chunk's `next`: the chunk ends the input, or the byte after it is
  // not known yet.
  static constexpr int kEndOfInput = -1;
  static constexpr int kNotRead = -2;

  // `in` must outlive the reader. `delimiter` must not be '"', CR or LF.
  CsvReader(std::istream& in, char delimiter, CsvLimits limits = CsvLimits());
  // Reads the records of `chunk`, which must outlive the reader, starts at a
  // record start and is read as lines `firstLine` on; no byte-order mark is
  // looked for. `next` is the byte that follows the chunk in the input, or
  // kEndOfInput, or kNotRead.
  CsvReader(std::string_view chunk, int next, long firstLine, char delimiter,
            CsvLimits limits = CsvLimits());
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // Reads the next record into `row`. False at the end of the input (and
  // then `row` holds nothing of use). A faulty record is still returned,
  // with `row->error` set.
  bool ReadRow(CsvRow* row);

  // From now on an empty line is read as a record of one empty cell rather
  // than skipped.
  void KeepBlankLines(bool keep) { keepBlankLines_ = keep; }
  // From now on a plain line is kept whole in its row (CsvRow::plain).
  void KeepPlainLines(bool keep) { keepPlainLines_ = keep; }

  // Bytes taken from the stream so far.
  uint64_t GetBytesRead() const { return bytesRead_; }
  // The line the next record would start on, blank lines aside.
  long GetLine() const { return line_; }
  // Chunk readers: true once a record needed bytes past the chunk's end;
  // that record and the line count are then not to be trusted.
  bool Overran() const { return overran_; }

  // True between records when nothing read earlier is due to be read again,
  // so that the reader's state is that of a new reader at this point.
  bool AtRecordStart() const { return pendingPos_ >= pending_.size() && !capturing_; }
  // Bytes of the input consumed so far (at a record start, exact).
  uint64_t GetPosition() const { return delivered_ - (end_ - pos_); }
  // True once the stream has reported its end.
  bool StreamEnded() const { return eof_; }

  // Stream readers, REQUIRES AtRecordStart(): appends to `out` the bytes
  // taken from the stream but not consumed yet, and forgets them.
  void TakeBuffered(std::string* out);
  // Stream readers, REQUIRES AtRecordStart(): the input goes on with
  // `bytes` (taken from the stream by someone else) and then the rest of
  // the stream, at line `line`; `streamEnded` when the stream is known to
  // be at its end.
  void Restart(std::string_view bytes, long line, bool streamEnded);

 private:
  enum class State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted, kAfterQuoted };

  int Get();
  int Peek();
  bool Fill();
  // Reads, at a record start, a line that needs none of the quoting,
  // validation or caps logic: it ends in LF within the bytes at hand and
  // holds only bytes 0x01..0x7F other than '"' and CR. Splits it at the
  // delimiters into `row` exactly as ReadFields would; false (with the read
  // position unchanged) for any other line.
  bool ReadPlainLine(CsvRow* row);
  void SetUpPlainBytes();
  // Consumes the LF of a CR LF line end.
  void SkipLineFeed();
  // The record after its first byte `c`; ReadRow has skipped the blank
  // lines it skips.
  void ReadFields(CsvRow* row, int c);
  // Appends to `field` the run of at most `room` plain bytes at the read
  // position (no delimiter, CR or LF; in a quoted cell no quote, CR or LF),
  // exactly as the per-byte loop would, and returns its length. Takes
  // nothing while bytes are due to be read again or captured.
  size_t TakeRun(std::string* field, size_t room, bool quoted);
  // Begins a new cell; null when the record already holds maxFields cells.
  std::string* StartField(CsvRow* row);
  // Consumes the rest of the physical line, quotes not considered.
  void SkipToLineEnd();
  // Ends a quoted field that failed: keeps its text up to its first line
  // break and arranges for the lines after the break to be read again.
  void RecoverQuotedField(std::string* field);
  static void SetError(CsvRow* row, size_t field, std::string message);
  static void ValidateFields(CsvRow* row);

  std::istream* in_;  // null for a chunk reader
  char delimiter_;
  CsvLimits limits_;
  std::vector<char> buffer_;
  // The bytes being read: the buffer, or the chunk.
  const char* data_ = nullptr;
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  bool started_ = false;
  uint64_t bytesRead_ = 0;
  uint64_t delivered_ = 0;  // bytes ever placed at data_
  long line_ = 1;
  bool keepBlankLines_ = false;
  bool keepPlainLines_ = false;
  // Per byte, for ReadPlainLine: 0 text, 1 the delimiter, 2 a byte that
  // needs the full reading.
  unsigned char plain_[256];

  // Chunk readers: the byte after the chunk, and whether a record is being
  // read (running out of bytes then is an overrun, not the end).
  int next_ = kEndOfInput;
  bool inRecord_ = false;
  bool overran_ = false;

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
