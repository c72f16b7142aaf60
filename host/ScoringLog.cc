#include "host/ScoringLog.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace KtZembra_940 {

ScoringLog& ScoringLog::GetInstance() {
  static ScoringLog log;
  return log;
}

void ScoringLog::SetLevel(int level) { level_.store(level, std::memory_order_relaxed); }

void ScoringLog::SetStream(std::ostream* os) {
  std::lock_guard<std::mutex> lock(mutex_);
  stream_ = os;
}

void ScoringLog::TraceText(int level, const char* format, ...) {
  // The cheap test first: a log that is off costs one atomic load.
  if (level <= 0 || level > GetLevel() || format == nullptr) return;

  char small[256];
  std::vector<char> large;
  const char* text = small;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(length) >= sizeof small) {
    large.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(large.data(), large.size(), format, again);
    text = large.data();
  }
  va_end(again);

  std::lock_guard<std::mutex> lock(mutex_);
  if (stream_ == nullptr) return;
  stream_->write(text, length);
  stream_->put('\n');
}

}  // namespace KtZembra_940
