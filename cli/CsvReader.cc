#include "cli/CsvReader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "host/Utf8Text.h"

namespace rulescore {
namespace cli {

namespace {

constexpr size_t kBufferSize = size_t{64} << 10;

// Index of the first byte of text[0, n) that is not 0x01..0x7F, or n.
size_t AsciiPrefix(const char* text, size_t n) {
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    // A byte with its top bit set, or a zero byte, ends the run.
    if (((word | ((word - kOnes) & ~word)) & kHigh) != 0) break;
  }
  while (i < n && static_cast<unsigned char>(text[i] - 1) < 0x7F) ++i;
  return i;
}

}  // namespace

CsvReader::CsvReader(std::istream& in, char delimiter, CsvLimits limits)
    : in_(&in), delimiter_(delimiter), limits_(limits), buffer_(kBufferSize) {
  data_ = buffer_.data();
  SetUpPlainBytes();
}

CsvReader::CsvReader(std::string_view chunk, int next, long firstLine, char delimiter,
                     CsvLimits limits)
    : in_(nullptr), delimiter_(delimiter), limits_(limits) {
  data_ = chunk.data();
  end_ = chunk.size();
  delivered_ = chunk.size();
  started_ = true;
  line_ = firstLine;
  next_ = next;
  SetUpPlainBytes();
}

void CsvReader::SetUpPlainBytes() {
  for (int c = 0; c < 256; ++c) plain_[c] = c >= 0x01 && c <= 0x7F ? 0 : 2;
  plain_[static_cast<unsigned char>('"')] = 2;
  plain_[static_cast<unsigned char>('\r')] = 2;
  plain_[static_cast<unsigned char>('\n')] = 2;
  plain_[static_cast<unsigned char>(delimiter_)] = 1;
}

bool CsvReader::ReadPlainLine(CsvRow* row) {
  if (pendingPos_ < pending_.size() || capturing_) return false;
  const char* start = data_ + pos_;
  const size_t available = end_ - pos_;
  // Longer lines could meet a cap; they take the full reading.
  const size_t longest = std::min({available, limits_.maxFieldBytes, limits_.maxRowBytes - 1});
  const void* found = std::memchr(start, '\n', longest);
  if (found == nullptr) return false;
  const size_t n = static_cast<size_t>(static_cast<const char*>(found) - start);
  if (n == 0) return false;

  // Where the cells end: eight bytes at a time, each word refused when it
  // holds a quote, a CR, a NUL or a byte past 0x7F.
  std::vector<uint32_t>& ends = row->cellEnds;
  ends.clear();
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  constexpr uint64_t kLow = 0x7F7F7F7F7F7F7F7FULL;
  // The top bit of each byte of `word` equal to the byte of `pattern`.
  const auto equal = [](uint64_t word, uint64_t pattern) {
    const uint64_t x = word ^ pattern;
    return ~(((x & kLow) + kLow) | x | kLow);
  };
  const uint64_t delimiters = kOnes * static_cast<unsigned char>(delimiter_);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, start + i, sizeof word);
    if (((word & kHigh) | equal(word, 0) | equal(word, kOnes * '"') | equal(word, kOnes * '\r')) !=
        0) {
      return false;
    }
    for (uint64_t at = equal(word, delimiters); at != 0; at &= at - 1) {
      ends.push_back(static_cast<uint32_t>(i + (static_cast<unsigned>(__builtin_ctzll(at)) >> 3)));
    }
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(start);
  for (; i < n; ++i) {
    const unsigned char kind = plain_[bytes[i]];
    if (kind == 0) continue;
    if (kind == 2) return false;
    ends.push_back(static_cast<uint32_t>(i));
  }
  ends.push_back(static_cast<uint32_t>(n));
  if (ends.size() > limits_.maxFields) return false;

  const size_t count = ends.size();
  if (keepPlainLines_) {
    row->plain = true;
    row->plainLine.assign(start, n);
  } else {
    if (row->fields.size() < count) row->fields.resize(count);
    size_t begin = 0;
    for (size_t c = 0; c < count; ++c) {
      row->fields[c].assign(start + begin, ends[c] - begin);
      begin = ends[c] + 1;
    }
  }
  row->count = count;
  row->line = line_;
  ++line_;
  pos_ += n + 1;
  lastFromPending_ = false;
  return true;
}

bool CsvReader::Fill() {
  if (in_ == nullptr) {
    // The end of a chunk is the end of the input only for the last one.
    if (inRecord_ && next_ != kEndOfInput) overran_ = true;
    return false;
  }
  if (eof_) return false;
  // A restart may have left a large buffer behind; give it back.
  if (buffer_.size() != kBufferSize) std::vector<char>(kBufferSize).swap(buffer_);
  data_ = buffer_.data();
  pos_ = 0;
  end_ = 0;
  std::streambuf* buf = in_->rdbuf();
  if (buf == nullptr) {
    eof_ = true;
    return false;
  }
  const std::streamsize got = buf->sgetn(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
  if (got <= 0) {
    eof_ = true;
    return false;
  }
  end_ = static_cast<size_t>(got);
  bytesRead_ += end_;
  delivered_ += end_;
  return true;
}

int CsvReader::Get() {
  int c;
  if (pendingPos_ < pending_.size()) {
    c = static_cast<unsigned char>(pending_[pendingPos_++]);
    lastFromPending_ = true;
    if (pendingPos_ == pending_.size()) {
      pending_.clear();
      pendingPos_ = 0;
    }
  } else {
    if (pos_ == end_ && !Fill()) return -1;
    c = static_cast<unsigned char>(data_[pos_++]);
    lastFromPending_ = false;
  }
  if (capturing_) raw_.push_back(static_cast<char>(c));
  return c;
}

int CsvReader::Peek() {
  if (pendingPos_ < pending_.size()) return static_cast<unsigned char>(pending_[pendingPos_]);
  if (pos_ == end_) {
    // A chunk reader looks at the byte after the chunk without taking it.
    if (in_ == nullptr) return next_ >= 0 ? next_ : -1;
    if (!Fill()) return -1;
  }
  return static_cast<unsigned char>(data_[pos_]);
}

void CsvReader::SkipLineFeed() {
  if (Peek() == '\n') {
    // Past a chunk's end the LF belongs to this line end but lies in the
    // next chunk: the chunk was cut between CR and LF.
    if (in_ == nullptr && pendingPos_ >= pending_.size() && pos_ == end_) {
      overran_ = true;
      return;
    }
    Get();
  }
}

size_t CsvReader::TakeRun(std::string* field, size_t room, bool quoted) {
  if (pendingPos_ < pending_.size() || capturing_) return 0;
  const char* start = data_ + pos_;
  const size_t limit = std::min(end_ - pos_, room);
  const char stop = quoted ? '"' : delimiter_;
  size_t n = 0;
  while (n < limit) {
    const char c = start[n];
    if (c == stop || c == '\n' || c == '\r') break;
    ++n;
  }
  if (n > 0) {
    field->append(start, n);
    pos_ += n;
    lastFromPending_ = false;
  }
  return n;
}

void CsvReader::TakeBuffered(std::string* out) {
  out->append(data_ + pos_, end_ - pos_);
  pos_ = end_;
}

void CsvReader::Restart(std::string_view bytes, long line, bool streamEnded) {
  buffer_.assign(bytes.begin(), bytes.end());
  data_ = buffer_.data();
  pos_ = 0;
  end_ = buffer_.size();
  delivered_ += bytes.size();
  line_ = line;
  started_ = true;
  if (streamEnded) eof_ = true;
}

std::string* CsvReader::StartField(CsvRow* row) {
  if (row->count >= limits_.maxFields) return nullptr;
  if (row->count < row->fields.size()) {
    row->fields[row->count].clear();
  } else {
    row->fields.emplace_back();
  }
  return &row->fields[row->count++];
}

void CsvReader::SkipToLineEnd() {
  for (;;) {
    const int c = Get();
    if (c < 0) return;
    if (c == '\n') {
      ++line_;
      return;
    }
    if (c == '\r') {
      SkipLineFeed();
      ++line_;
      return;
    }
  }
}

void CsvReader::RecoverQuotedField(std::string* field) {
  capturing_ = false;
  if (sawBreak_) {
    field->resize(lengthAtBreak_);
    // Lines after the break come back first; anything still pending (there
    // is none while a field spans lines, see Get) would follow them.
    std::string again = std::move(raw_);
    again.append(pending_, pendingPos_, std::string::npos);
    pending_ = std::move(again);
    pendingPos_ = 0;
    raw_.clear();
    line_ = lineAfterBreak_;
    sawBreak_ = false;
  } else {
    SkipToLineEnd();
  }
}

void CsvReader::SetError(CsvRow* row, size_t field, std::string message) {
  if (!row->error.empty()) return;
  row->error = std::move(message);
  row->errorField = field;
}

void CsvReader::ValidateFields(CsvRow* row) {
  for (size_t f = 0; f < row->count; ++f) {
    const std::string& text = row->fields[f];
    for (size_t i = AsciiPrefix(text.data(), text.size()); i < text.size();) {
      // NUL is well-formed UTF-8 but no cell may hold it.
      const size_t length = text[i] == '\0' ? 0 : KtZembra_940::Utf8Text::SequenceLength(text, i);
      if (length == 0) {
        SetError(row, f + 1, text[i] == '\0' ? "cell holds a NUL byte" : "cell is not valid UTF-8");
        return;
      }
      i += length;
    }
  }
}

bool CsvReader::ReadRow(CsvRow* row) {
  row->count = 0;
  row->plain = false;
  row->error.clear();
  row->errorField = 0;

  if (!started_) {
    started_ = true;
    // The byte-order mark may straddle reads of a pipe: gather three bytes.
    if (Fill()) {
      while (end_ < 3 && !eof_) {
        const std::streamsize got = in_->rdbuf()->sgetn(
            buffer_.data() + end_, static_cast<std::streamsize>(buffer_.size() - end_));
        if (got <= 0) break;
        end_ += static_cast<size_t>(got);
        bytesRead_ += static_cast<uint64_t>(got);
        delivered_ += static_cast<uint64_t>(got);
      }
      if (end_ >= 3 && static_cast<unsigned char>(buffer_[0]) == 0xEF &&
          static_cast<unsigned char>(buffer_[1]) == 0xBB &&
          static_cast<unsigned char>(buffer_[2]) == 0xBF) {
        pos_ = 3;
      }
    }
  }

  if (ReadPlainLine(row)) return true;
  int c;
  for (;;) {
    c = Get();
    if (c < 0) return false;
    if (keepBlankLines_) break;
    if (c == '\n') {
      ++line_;
      continue;
    }
    if (c == '\r') {
      SkipLineFeed();
      ++line_;
      continue;
    }
    break;
  }

  inRecord_ = true;
  ReadFields(row, c);
  inRecord_ = false;
  return true;
}

void CsvReader::ReadFields(CsvRow* row, int c) {
  row->line = line_;
  size_t rowBytes = 1;
  const auto next = [&]() {
    const int ch = Get();
    if (ch >= 0) ++rowBytes;
    return ch;
  };
  std::string* field = StartField(row);
  State state = State::kFieldStart;
  bool readNext = false;

  for (;;) {
    if (readNext) c = next();
    readNext = true;
    if (rowBytes > limits_.maxRowBytes) {
      SetError(row, 0, "record longer than " + std::to_string(limits_.maxRowBytes) + " bytes");
      if (state == State::kQuoted || state == State::kQuoteInQuoted) {
        RecoverQuotedField(field);
      } else if (c != '\n' && c != '\r' && c >= 0) {
        SkipToLineEnd();
      } else if (c == '\n') {
        ++line_;
      } else if (c == '\r') {
        SkipLineFeed();
        ++line_;
      }
      return;
    }

    switch (state) {
      case State::kFieldStart:
        if (c == '"') {
          state = State::kQuoted;
          sawBreak_ = false;
          continue;
        }
        state = State::kUnquoted;
        [[fallthrough]];
      case State::kUnquoted:
      case State::kAfterQuoted:
        if (c < 0) {
          ValidateFields(row);
          return;
        }
        if (c == delimiter_) {
          field = StartField(row);
          if (field == nullptr) {
            SetError(row, 0, "more than " + std::to_string(limits_.maxFields) + " cells");
            SkipToLineEnd();
            return;
          }
          state = State::kFieldStart;
          continue;
        }
        if (c == '\n' || c == '\r') {
          if (c == '\r') SkipLineFeed();
          ++line_;
          ValidateFields(row);
          return;
        }
        if (state == State::kAfterQuoted) SetError(row, row->count, "text after the closing quote");
        if (field->size() >= limits_.maxFieldBytes) {
          SetError(row, row->count,
                   "cell longer than " + std::to_string(limits_.maxFieldBytes) + " bytes");
          SkipToLineEnd();
          return;
        }
        field->push_back(static_cast<char>(c));
        if (state == State::kUnquoted) {
          rowBytes += TakeRun(field, std::min(limits_.maxFieldBytes - field->size(),
                                              limits_.maxRowBytes - rowBytes), false);
        }
        continue;
      case State::kQuoted:
        if (c < 0) {
          SetError(row, row->count, "quoted cell is not closed");
          RecoverQuotedField(field);
          return;
        }
        if (c == '"') {
          state = State::kQuoteInQuoted;
          continue;
        }
        // A line break inside the cell: LF, or a CR not followed by LF (a
        // CR before LF is kept as text and the LF counts the line).
        if (c == '\n' || (c == '\r' && Peek() != '\n')) {
          ++line_;
          if (lastFromPending_) {
            // Lines read again after a failed quoted cell never let a quoted
            // cell run on: that keeps the recovery linear in the input.
            SetError(row, row->count, "quoted cell is not closed on its line");
            capturing_ = false;
            return;
          }
          if (!sawBreak_) {
            sawBreak_ = true;
            lengthAtBreak_ = field->size();
            lineAfterBreak_ = line_;
            raw_.clear();
            capturing_ = true;
          }
        }
        if (field->size() >= limits_.maxFieldBytes) {
          SetError(row, row->count,
                   "quoted cell longer than " + std::to_string(limits_.maxFieldBytes) + " bytes");
          RecoverQuotedField(field);
          return;
        }
        field->push_back(static_cast<char>(c));
        rowBytes += TakeRun(field, std::min(limits_.maxFieldBytes - field->size(),
                                            limits_.maxRowBytes - rowBytes), true);
        continue;
      case State::kQuoteInQuoted:
        if (c == '"') {
          if (field->size() >= limits_.maxFieldBytes) {
            SetError(row, row->count,
                     "quoted cell longer than " + std::to_string(limits_.maxFieldBytes) + " bytes");
            RecoverQuotedField(field);
            return;
          }
          field->push_back('"');
          state = State::kQuoted;
          continue;
        }
        if (sawBreak_ && c >= 0 && c != delimiter_ && c != '\n' && c != '\r') {
          // A quote that closes a cell spanning lines and is followed by
          // text was most likely a stray one: end the record at the break.
          SetError(row, row->count, "text after the closing quote");
          RecoverQuotedField(field);
          return;
        }
        capturing_ = false;
        sawBreak_ = false;
        raw_.clear();
        state = State::kAfterQuoted;
        readNext = false;
        continue;
    }
  }
}

}  // namespace cli
}  // namespace rulescore
