// The status a model's scoring call returns.
#ifndef RULESCORE_HOST_KTSTATUS_H_
#define RULESCORE_HOST_KTSTATUS_H_

#include "host/HostExport.h"

namespace KtZembra_940 {
namespace KtScore {

class RULESCORE_HOST_API KtStatus {
 public:
  // Success.
  KtStatus() = default;
  // A status with a code; `isWarning` false makes it an error.
  KtStatus(long code, bool isWarning) : code_(code), warning_(isWarning) {}

  bool IsError() const { return code_ != 0 && !warning_; }
  long GetErrorCode() const { return code_; }

 private:
  long code_ = 0;
  bool warning_ = false;
};

}  // namespace KtScore
}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_KTSTATUS_H_
