// The host's process-wide trace log. Off by default; the host's user turns it
// on at a level and sends it to a stream. Writing is serialised, so models
// scoring on several threads may trace.
#ifndef RULESCORE_HOST_SCORINGLOG_H_
#define RULESCORE_HOST_SCORINGLOG_H_

#include <atomic>
#include <mutex>
#include <ostream>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ScoringLog {
 public:
  static ScoringLog& GetInstance();

  // Lines at or below `level` are written; 0 turns the log off.
  void SetLevel(int level);
  int GetLevel() const { return level_.load(std::memory_order_relaxed); }
  // The stream the lines go to (not owned); null turns the log off.
  void SetStream(std::ostream* os);

  // Writes one line (the formatted text and '\n') when `level` is enabled.
  void TraceText(int level, const char* format, ...)
      __attribute__((format(printf, 3, 4)));

  ScoringLog(const ScoringLog&) = delete;
  ScoringLog& operator=(const ScoringLog&) = delete;

 private:
  ScoringLog() = default;
  std::atomic<int> level_{0};
  std::mutex mutex_;
  std::ostream* stream_ = nullptr;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORINGLOG_H_
