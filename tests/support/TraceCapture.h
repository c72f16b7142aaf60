// Sends the host's trace log to a string (or to a stream of the test's own)
// while it lives, and turns the log off again whatever the test did.
#ifndef RULESCORE_TESTS_SUPPORT_TRACECAPTURE_H_
#define RULESCORE_TESTS_SUPPORT_TRACECAPTURE_H_

#include <ostream>
#include <sstream>
#include <string>

#include "host/ScoringLog.h"

namespace KtZembra_940 {
namespace testing_support {

class TraceCapture {
 public:
  explicit TraceCapture(int level = 1, std::ostream* stream = nullptr) {
    ScoringLog::GetInstance().SetStream(stream != nullptr ? stream : &text_);
    ScoringLog::GetInstance().SetLevel(level);
  }
  ~TraceCapture() {
    ScoringLog::GetInstance().SetLevel(0);
    ScoringLog::GetInstance().SetStream(nullptr);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
};

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_TRACECAPTURE_H_
