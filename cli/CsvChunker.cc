#include "cli/CsvChunker.h"

#include <algorithm>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rulescore {
namespace cli {

namespace {

constexpr size_t kReadBytes = size_t{128} << 10;

enum ByteClass : unsigned char { kPlain, kDelimiter, kQuote, kCr, kLf };

// Bits set in `x`, without relying on a popcount instruction.
inline long CountBits(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555u);
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
  return static_cast<long>((x * 0x0101010101010101u) >> 56);
}

}  // namespace

CsvChunker::CsvChunker(std::istream& in, char delimiter, CsvLimits limits, size_t targetBytes)
    : in_(in), delimiter_(delimiter), targetBytes_(targetBytes < 1 ? 1 : targetBytes) {
  // A record no longer than every cap cannot reach one: a cell holds at most
  // the record's bytes and a record of n bytes at most n cells. Half of that
  // leaves a margin; longer records are rare enough to be read serially.
  const size_t smallest = std::min({limits.maxFieldBytes, limits.maxRowBytes, limits.maxFields});
  longRecordBytes_ = std::max<size_t>(smallest / 2, 1);
  std::fill(std::begin(classes_), std::end(classes_), kPlain);
  classes_[static_cast<unsigned char>(delimiter_)] = kDelimiter;
  classes_[static_cast<unsigned char>('"')] = kQuote;
  classes_[static_cast<unsigned char>('\r')] = kCr;
  classes_[static_cast<unsigned char>('\n')] = kLf;
}

void CsvChunker::Restart(std::string bytes, long line, bool streamEnded) {
  buffer_ = std::move(bytes);
  filled_ = buffer_.size();
  scanPos_ = 0;
  state_ = State::kFieldStart;
  sawBreak_ = false;
  line_ = line;
  startLine_ = line;
  recordStart_ = 0;
  quoteAt_ = 0;
  crAt_ = 0;
  cut_ = 0;
  cutLine_ = line;
  eof_ = streamEnded;
}

void CsvChunker::ReadMore() {
  if (eof_) return;
  std::streambuf* buf = in_.rdbuf();
  if (buffer_.size() < filled_ + kReadBytes) buffer_.resize(filled_ + kReadBytes);
  const std::streamsize got =
      buf == nullptr ? 0 : buf->sgetn(&buffer_[filled_], static_cast<std::streamsize>(kReadBytes));
  const size_t taken = got > 0 ? static_cast<size_t>(got) : 0;
  filled_ += taken;
  bytesRead_ += taken;
  if (taken == 0) eof_ = true;
}

void CsvChunker::SkimLines(size_t clear, size_t target, size_t* pos, long* line,
                           size_t* suspectAt) {
#if defined(__SSE2__)
  // Inside a block every record is shorter than the block, so no more than
  // its first record end needs checking against the long-record bound.
  if (longRecordBytes_ < 64) return;
  const char* text = buffer_.data();
  const __m128i lf = _mm_set1_epi8('\n');
  size_t at = *pos;
  size_t start = recordStart_;  // where the record at `at` starts
  size_t limit = *suspectAt;
  long lines = *line;
  while (clear - at >= 64) {
    uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + 16 * k));
      mask |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
              << (16 * k);
    }
    // Without a line end the block's end stands in for the first one.
    const size_t first = at + static_cast<size_t>(__builtin_ctzll(mask | (uint64_t{1} << 63)));
    const size_t end = mask != 0 ? at + 64 - static_cast<size_t>(__builtin_clzll(mask)) : start;
    if (first >= limit || end >= target) break;
    lines += CountBits(mask);
    start = end;
    limit = start + longRecordBytes_;
    at += 64;
  }
  if (start != recordStart_) {
    recordStart_ = start;
    cut_ = start;
    cutLine_ = lines;
  }
  *pos = at;
  *line = lines;
  *suspectAt = limit;
#else
  (void)clear;
  (void)target;
  (void)pos;
  (void)line;
  (void)suspectAt;
#endif
}

size_t CsvChunker::Find(char c, size_t pos, size_t* at) const {
  const size_t size = filled_;
  if (*at < pos) *at = pos;
  if (*at < size && buffer_[*at] == c) return *at;
  if (*at >= size) return *at = size;
  const void* found = std::memchr(buffer_.data() + *at, c, size - *at);
  *at = found == nullptr ? size : static_cast<size_t>(static_cast<const char*>(found) - buffer_.data());
  return *at;
}

void CsvChunker::Forget(size_t n) {
  quoteAt_ = quoteAt_ > n ? quoteAt_ - n : 0;
  crAt_ = crAt_ > n ? crAt_ - n : 0;
}

CsvChunker::Scan CsvChunker::ScanTo(size_t target) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buffer_.data());
  const char* text = buffer_.data();
  const size_t size = filled_;
  size_t pos = scanPos_;
  State state = state_;
  long line = line_;
  Scan result;
  for (;;) {
    // Past this the current record is too long to cut around safely.
    size_t suspectAt = recordStart_ + longRecordBytes_;
    if (state == State::kFieldStart || state == State::kUnquoted) {
      // Up to the next quote or CR, every LF ends a record: find them
      // without looking at the bytes between.
      const size_t clear = std::min(Find('"', pos, &quoteAt_), Find('\r', pos, &crAt_));
      if (clear - pos >= 64) {
        const size_t from = pos;
        SkimLines(clear, target, &pos, &line, &suspectAt);
        if (pos != from) {
          const unsigned char before = classes_[bytes[pos - 1]];
          state = before == kDelimiter || before == kLf ? State::kFieldStart : State::kUnquoted;
        }
      }
      while (pos < clear) {
        const void* lf = std::memchr(text + pos, '\n', clear - pos);
        if (lf == nullptr) break;
        const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - text);
        if (end >= suspectAt) break;
        pos = end + 1;
        ++line;
        state = State::kFieldStart;
        recordStart_ = pos;
        cut_ = pos;
        cutLine_ = line;
        suspectAt = recordStart_ + longRecordBytes_;
        if (pos >= target) {
          result = Scan::kCut;
          goto done;
        }
      }
      // The rest before the quote or CR holds no line end.
      const size_t stop = std::min(clear, suspectAt);
      if (pos < stop) {
        state = classes_[bytes[stop - 1]] == kDelimiter ? State::kFieldStart : State::kUnquoted;
        pos = stop;
      }
    }
    const size_t limit = std::min(size, suspectAt);
    if (state == State::kUnquoted) {
      // Quotes inside an unquoted cell are text.
      while (pos < limit && (classes_[bytes[pos]] == kPlain || classes_[bytes[pos]] == kQuote)) ++pos;
    } else if (state == State::kQuoted) {
      while (pos < limit && (classes_[bytes[pos]] == kPlain || classes_[bytes[pos]] == kDelimiter)) {
        ++pos;
      }
    }
    if (pos >= suspectAt) {
      result = Scan::kSuspect;
      break;
    }
    if (pos >= size) {
      result = Scan::kNeedMore;
      break;
    }
    const unsigned char cls = classes_[bytes[pos]];
    // Whether a CR ends a line depends on the byte after it.
    if (cls == kCr && pos + 1 >= size && !eof_) {
      result = Scan::kNeedMore;
      break;
    }
    bool recordEnd = false;
    switch (state) {
      case State::kFieldStart:
        if (cls == kQuote) {
          state = State::kQuoted;
          sawBreak_ = false;
        } else if (cls == kCr || cls == kLf) {
          recordEnd = true;
        } else if (cls == kPlain) {
          state = State::kUnquoted;
        }
        break;
      case State::kUnquoted:
        if (cls == kDelimiter) {
          state = State::kFieldStart;
        } else if (cls == kCr || cls == kLf) {
          recordEnd = true;
        }
        break;
      case State::kQuoted:
        if (cls == kQuote) {
          state = State::kQuoteInQuoted;
        } else if (cls == kLf || (cls == kCr && (pos + 1 >= size || bytes[pos + 1] != '\n'))) {
          // A CR before LF is text; the LF ends the line.
          ++line;
          sawBreak_ = true;
        }
        break;
      case State::kQuoteInQuoted:
        if (cls == kQuote) {
          state = State::kQuoted;
        } else if (cls == kDelimiter) {
          state = State::kFieldStart;
        } else if (cls == kCr || cls == kLf) {
          recordEnd = true;
        } else if (sawBreak_) {
          // Text after a quoted cell spanning lines: the reader reads the
          // lines after its break again.
          result = Scan::kSuspect;
          goto done;
        } else {
          state = State::kUnquoted;
        }
        break;
    }
    ++pos;
    if (recordEnd) {
      if (cls == kCr && pos < size && bytes[pos] == '\n') ++pos;
      ++line;
      state = State::kFieldStart;
      recordStart_ = pos;
      cut_ = pos;
      cutLine_ = line;
      if (pos >= target) {
        result = Scan::kCut;
        break;
      }
    }
  }
done:
  scanPos_ = pos;
  state_ = state;
  line_ = line;
  return result;
}

void CsvChunker::Emit(size_t n, bool last, CsvChunk* chunk) {
  chunk->firstLine = startLine_;
  chunk->endLine = n == cut_ ? cutLine_ : line_;
  chunk->last = last;
  if (n < filled_) {
    chunk->next = static_cast<unsigned char>(buffer_[n]);
  } else {
    chunk->next = last ? CsvReader::kEndOfInput : CsvReader::kNotRead;
  }
  // The chunk takes the buffer, and its previous string, its length kept,
  // becomes the buffer: only the bytes after the cut are copied.
  const size_t rest = filled_ - n;
  chunk->bytes.swap(buffer_);
  if (buffer_.size() < rest) buffer_.resize(rest);
  if (rest > 0) std::memcpy(&buffer_[0], chunk->bytes.data() + n, rest);
  chunk->bytes.resize(n);
  filled_ = rest;
  Forget(n);
  startLine_ = chunk->endLine;
  scanPos_ -= n;
  recordStart_ -= n;
  cut_ -= n;
}

CsvChunker::Cut CsvChunker::Next(CsvChunk* chunk) {
  for (;;) {
    const Scan scan = ScanTo(targetBytes_);
    if (scan == Scan::kCut) {
      Emit(cut_, false, chunk);
      return Cut::kChunk;
    }
    if (scan == Scan::kSuspect) {
      Emit(recordStart_, false, chunk);
      return Cut::kSuspect;
    }
    if (!eof_) {
      ReadMore();
      continue;
    }
    Emit(filled_, true, chunk);
    return Cut::kEnd;
  }
}

void CsvChunker::TakeRest(std::string* bytes, long* line, bool* streamEnded) {
  buffer_.resize(filled_);
  *bytes = std::move(buffer_);
  buffer_.clear();
  filled_ = 0;
  *line = startLine_;
  *streamEnded = eof_;
  scanPos_ = 0;
  recordStart_ = 0;
  quoteAt_ = 0;
  crAt_ = 0;
  cut_ = 0;
}

}  // namespace cli
}  // namespace rulescore
