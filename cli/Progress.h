// One updating status line on standard error while a file is scored: rows
// done, rows per second and percent of the input read. Shown only when
// enabled (standard error a terminal, the input a regular file, no
// --quiet); otherwise every call does nothing.
#ifndef RULESCORE_CLI_PROGRESS_H_
#define RULESCORE_CLI_PROGRESS_H_

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace rulescore {
namespace cli {

class Progress {
 public:
  // `totalBytes` is the input's size (0 when unknown: no percentage).
  Progress(bool enabled, uint64_t totalBytes, std::FILE* stream = stderr);
  // Clears the line if one is shown.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // Redraws the line, at most about five times a second.
  void Update(uint64_t rows, uint64_t bytesRead);
  // Removes the line, so that a message can be written; the next Update
  // draws it again.
  void Clear();

  // True when standard error is a terminal and `inputPath` names a regular
  // file (not standard input); `totalBytes` receives its size.
  static bool ShouldShow(const char* inputPath, uint64_t* totalBytes);

 private:
  bool enabled_;
  uint64_t totalBytes_;
  std::FILE* stream_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_PROGRESS_H_
