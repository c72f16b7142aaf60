// The result of scoring one record.
#ifndef RULESCORE_HOST_SCORERESULT_H_
#define RULESCORE_HOST_SCORERESULT_H_

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ScoreResult {
 public:
  // Result kinds; a model recognises its own kind by this code.
  enum ResultType { kGenericResult = 0, kClassificationResult = 1, kRuleSetResult = 15 };

  virtual ~ScoreResult();
  virtual ResultType GetScoreResultType() const = 0;

 protected:
  ScoreResult() = default;
  ScoreResult(const ScoreResult&) = default;
  ScoreResult& operator=(const ScoreResult&) = default;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORERESULT_H_
