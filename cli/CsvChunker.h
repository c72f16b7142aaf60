// Cuts a CSV stream into chunks of whole records, so that the chunks can be
// read (CsvReader's chunk form), scored and formatted on several threads.
//
// The chunker follows the reader's quoting (a quote opens a cell only at
// the cell's start; a doubled quote inside one is text) and cuts only after
// a line end that ends a record: an LF, or a CR whose next byte is known and
// is not LF. A quoted line break therefore never splits a record. It counts
// lines as the reader does (LF, CR LF and a lone CR each end one), so every
// chunk knows the line its first record starts on.
//
// What the reader does to a faulty record it cannot follow cheaply: a cap
// (CsvLimits) may cut a record short and skip the rest of its line, and a
// quoted cell spanning lines that is followed by text has the lines after
// its first break read again. So a record longer than a safe bound, or such
// a quoted cell, stops the chunker: it hands out the records before it
// (kSuspect) and the caller reads on with a stream reader, from TakeRest,
// until that reader stands at a record start again, then restarts the
// chunker there.
#ifndef RULESCORE_CLI_CSVCHUNKER_H_
#define RULESCORE_CLI_CSVCHUNKER_H_

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>

#include "cli/CsvReader.h"

namespace rulescore {
namespace cli {

// Whole records cut from the input.
struct CsvChunk {
  std::string bytes;  // kept from chunk to chunk so that its capacity is reused
  long firstLine = 0;
  // The line after the chunk: where the next chunk's first record starts.
  long endLine = 0;
  // The byte after the chunk (CsvReader::kEndOfInput for the last chunk).
  int next = CsvReader::kEndOfInput;
  bool last = false;
};

class CsvChunker {
 public:
  enum class Cut {
    kChunk,    // a chunk of whole records; more follow
    kSuspect,  // the records before a record to be read serially (may be none)
    kEnd,      // the last chunk (may be empty)
  };

  // `in` must outlive the chunker. A chunk holds at least `targetBytes`
  // unless it is the last or stops before a suspect record.
  CsvChunker(std::istream& in, char delimiter, CsvLimits limits, size_t targetBytes);
  CsvChunker(const CsvChunker&) = delete;
  CsvChunker& operator=(const CsvChunker&) = delete;

  // Starts at a record start on line `line`: the input is `bytes` (already
  // taken from the stream) followed by the rest of the stream.
  void Restart(std::string bytes, long line, bool streamEnded);

  // Cuts the next chunk into `chunk`. After kSuspect, TakeRest and Restart
  // before calling again; after kEnd there is nothing more.
  Cut Next(CsvChunk* chunk);

  // Hands out the bytes taken from the stream and not yet in a chunk, and
  // the line they start on.
  void TakeRest(std::string* bytes, long* line, bool* streamEnded);

  uint64_t GetBytesRead() const { return bytesRead_; }

 private:
  enum class State : unsigned char { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted };

  // Reads more of the stream onto buffer_; sets eof_ at its end.
  void ReadMore();
  // Moves buffer_[0, n) into `chunk`.
  void Emit(size_t n, bool last, CsvChunk* chunk);
  // Scans from scanPos_ and stops at the first record end at or past
  // `target`, at a suspect record, or at the end of what is buffered.
  enum class Scan { kCut, kSuspect, kNeedMore };
  Scan ScanTo(size_t target);

  // Counts the lines of records that end in plain LFs from `*pos`, 64
  // bytes at a time, up to before `clear` (no quote or CR before it), and
  // stops before a block whose record ends would need a closer look: the
  // cut at `target` or a record growing past `*suspectAt`.
  void SkimLines(size_t clear, size_t target, size_t* pos, long* line, size_t* suspectAt);
  // Position of the next `c` at or after `pos` in buffer_, or filled_;
  // `*at` remembers the last answer so that no byte is searched twice.
  size_t Find(char c, size_t pos, size_t* at) const;
  // Shifts the remembered positions after n bytes were handed out.
  void Forget(size_t n);

  std::istream& in_;
  char delimiter_;
  size_t targetBytes_;
  size_t longRecordBytes_;
  unsigned char classes_[256];

  // buffer_[0, filled_) holds the bytes taken from the stream and not yet
  // handed out. The string is kept longer than that, so that reading into
  // it does not fill the space with zeros first on every read.
  std::string buffer_;
  size_t filled_ = 0;
  size_t scanPos_ = 0;  // buffer_[0, scanPos_) has been scanned
  State state_ = State::kFieldStart;
  bool sawBreak_ = false;  // the open quoted cell holds a line break
  long line_ = 1;          // line at scanPos_
  long startLine_ = 1;     // line at buffer_[0]
  size_t recordStart_ = 0;
  size_t quoteAt_ = 0;
  size_t crAt_ = 0;
  size_t cut_ = 0;       // the last record end found
  long cutLine_ = 1;
  bool eof_ = false;
  uint64_t bytesRead_ = 0;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_CSVCHUNKER_H_
