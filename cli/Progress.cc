#include "cli/Progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace rulescore {
namespace cli {

Progress::Progress(bool enabled, uint64_t totalBytes, std::FILE* stream)
    : enabled_(enabled),
      totalBytes_(totalBytes),
      stream_(stream),
      start_(std::chrono::steady_clock::now()),
      last_(start_ - std::chrono::seconds(1)) {}

Progress::~Progress() { Clear(); }

bool Progress::ShouldShow(const char* inputPath, uint64_t* totalBytes) {
  *totalBytes = 0;
  if (inputPath == nullptr || std::strcmp(inputPath, "-") == 0) return false;
  if (isatty(STDERR_FILENO) != 1) return false;
  struct stat info;
  if (stat(inputPath, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *totalBytes = static_cast<uint64_t>(info.st_size);
  return true;
}

void Progress::Update(uint64_t rows, uint64_t bytesRead) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(200)) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const double rate = seconds > 0.0 ? static_cast<double>(rows) / seconds : 0.0;
  if (totalBytes_ > 0) {
    const uint64_t done = bytesRead > totalBytes_ ? totalBytes_ : bytesRead;
    std::fprintf(stream_, "\r\033[K%llu rows  %.0f rows/s  %3u%%",
                 static_cast<unsigned long long>(rows), rate,
                 static_cast<unsigned>(done * 100 / totalBytes_));
  } else {
    std::fprintf(stream_, "\r\033[K%llu rows  %.0f rows/s", static_cast<unsigned long long>(rows),
                 rate);
  }
  std::fflush(stream_);
  shown_ = true;
}

void Progress::Clear() {
  if (!enabled_ || !shown_) return;
  std::fputs("\r\033[K", stream_);
  std::fflush(stream_);
  shown_ = false;
}

}  // namespace cli
}  // namespace rulescore
