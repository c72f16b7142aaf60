// The result of a classification: a predicted category value with its
// confidence, and optionally a distribution over values.
#ifndef RULESCORE_HOST_SCORECLSRESULT_H_
#define RULESCORE_HOST_SCORECLSRESULT_H_

#include <utility>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreResult.h"

namespace KtZembra_940 {

class ScoreDictVar;
class ScoreValue;

class RULESCORE_HOST_API ScoreClsResult : public ScoreResult {
 public:
  using ValuePercent = std::pair<ScoreValue*, double>;

  ~ScoreClsResult() override;

  virtual void SetPrediction(ScoreValue* value) = 0;
  virtual const ScoreValue* GetPrediction() const = 0;
  virtual const ScoreDictVar* GetTarget() const = 0;
  virtual void SetConfidence(double confidence) = 0;
  virtual double GetConfidence() const = 0;
  virtual bool AddValuePercent(ScoreValue* value, double percent) = 0;
  virtual double GetPercent(const ScoreValue* value) const = 0;
  virtual const std::vector<ValuePercent>& GetAllValuePercent() const = 0;

 protected:
  ScoreClsResult() = default;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCORECLSRESULT_H_
