#include "scoring/RuleSetResult.h"


namespace KtZembra_940 {

// The prediction points at one of the model's category values and the target
// at a dictionary variable; neither belongs to the result.
RuleSetResult::~RuleSetResult() = default;

const ScoreDictVar* RuleSetResult::GetTarget() const { return target; }

ScoreResult::ResultType RuleSetResult::GetScoreResultType() const { return kRuleSetResult; }

bool RuleSetResult::AddValuePercent(ScoreValue*, double) { return false; }

double RuleSetResult::GetPercent(const ScoreValue*) const { return -1.0; }

const std::vector<ScoreClsResult::ValuePercent>& RuleSetResult::GetAllValuePercent() const {
  return valuePercents;
}

void RuleSetResult::SetRuleIDFire(const std::string& ruleId) {
  // A deque keeps the copies where they are as it grows.
  ownedIds.push_back(ruleId);
  AddFiredRuleId(&ownedIds.back());
}

}  // namespace KtZembra_940
