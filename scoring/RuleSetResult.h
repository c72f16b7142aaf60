// The result a rule-set model hands out for one record: the predicted
// category value, its confidence, the target and the identifiers of the
// rules that fired, in firing order.
//
// The accessors of the fired-rule list are inline so that a host program that
// loads the plug-in at run time can read them without linking against it.
#ifndef RULESCORE_SCORING_RULESETRESULT_H_
#define RULESCORE_SCORING_RULESETRESULT_H_

#include <string>
#include <vector>

#include "host/ScoreClsResult.h"

namespace KtZembra_940 {

class ScoreDictVar;
class ScoreValue;

class RuleSetResult : public ScoreClsResult {
 public:
  explicit RuleSetResult(const ScoreDictVar* forTarget) : target(forTarget) {}
  ~RuleSetResult() override;

  void SetPrediction(ScoreValue* value) override;
  const ScoreValue* GetPrediction() const override;
  const ScoreDictVar* GetTarget() const override;
  void SetConfidence(double value) override;
  double GetConfidence() const override;
  ResultType GetScoreResultType() const override;
  // This result never carries a distribution.
  bool AddValuePercent(ScoreValue* value, double percent) override;
  double GetPercent(const ScoreValue* value) const override;
  const std::vector<ValuePercent>& GetAllValuePercent() const override;

  std::string GetFirstRuleID() const {
    return ruleIds.empty() ? std::string() : ruleIds.front();
  }
  std::vector<std::string> GetRuleIDFire() const { return ruleIds; }
  // The fired identifiers without a copy.
  const std::vector<std::string>& GetFiredRuleIds() const { return ruleIds; }
  // Appends one identifier at the end.
  void SetRuleIDFire(const std::string& ruleId);
  // Empties the list. The strings' buffers are kept aside and reused by the
  // next appends, so scoring record after record allocates nothing for the
  // list once its buffers have grown to the identifiers' lengths.
  void RemoveRuleIDs();
  void SetTarget(const ScoreDictVar* newTarget) { target = newTarget; }

 private:
  double confidence = -1.0;
  const ScoreDictVar* target;       // not owned
  ScoreValue* prediction = nullptr;  // not owned: one of the model's categories
  std::vector<ValuePercent> valuePercents;
  std::vector<std::string> ruleIds;
  std::vector<std::string> spareIds;  // emptied strings kept for their buffers
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_RULESETRESULT_H_
