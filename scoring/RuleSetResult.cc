#include "scoring/RuleSetResult.h"

#include <utility>

namespace KtZembra_940 {

// The prediction points at one of the model's category values and the target
// at a dictionary variable; neither belongs to the result.
RuleSetResult::~RuleSetResult() = default;

void RuleSetResult::SetPrediction(ScoreValue* value) { prediction = value; }

const ScoreValue* RuleSetResult::GetPrediction() const { return prediction; }

const ScoreDictVar* RuleSetResult::GetTarget() const { return target; }

void RuleSetResult::SetConfidence(double value) { confidence = value; }

double RuleSetResult::GetConfidence() const { return confidence; }

ScoreResult::ResultType RuleSetResult::GetScoreResultType() const { return kRuleSetResult; }

bool RuleSetResult::AddValuePercent(ScoreValue*, double) { return false; }

double RuleSetResult::GetPercent(const ScoreValue*) const { return -1.0; }

const std::vector<ScoreClsResult::ValuePercent>& RuleSetResult::GetAllValuePercent() const {
  return valuePercents;
}

void RuleSetResult::SetRuleIDFire(const std::string& ruleId) {
  if (spareIds.empty()) {
    ruleIds.push_back(ruleId);
    return;
  }
  // Moving a string hands over its buffer; assigning into it reuses that
  // buffer whenever it is large enough.
  ruleIds.push_back(std::move(spareIds.back()));
  spareIds.pop_back();
  ruleIds.back().assign(ruleId);
}

void RuleSetResult::RemoveRuleIDs() {
  for (std::string& id : ruleIds) spareIds.push_back(std::move(id));
  ruleIds.clear();
}

}  // namespace KtZembra_940
