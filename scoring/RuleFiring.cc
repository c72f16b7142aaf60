// The rule-by-rule evaluation of compiled rules against the encoded record:
// the reference that every faster way of finding the fired rules must match.
#include <algorithm>

#include "model/RuleSetModel.h"
#include "scoring/ConditionEvaluator.h"

namespace KtZembra_940 {

bool RuleSetModel::IsFiredRule(const ST_Rule& rule) const {
  const ConditionEvaluator::Record record{predVarValues.data(), predVarValues.size(),
                                          &predVarIsString};
  return ConditionEvaluator::Combine(rule, record);
}

bool RuleSetModel::IsCompoundPredFiredRule(const ST_COMP_Condition& comp) const {
  const ConditionEvaluator::Record record{predVarValues.data(), predVarValues.size(),
                                          &predVarIsString};
  return ConditionEvaluator::EvaluateCompound(comp, record);
}

bool RuleSetModel::IsTrueRule(const ST_Rule& rule) const {
  const ConditionEvaluator::Record record{predVarValues.data(), predVarValues.size(),
                                          &predVarIsString};
  return ConditionEvaluator::TruthOf(rule, record) == ConditionEvaluator::Truth::kTrue;
}

bool RuleSetModel::HasMissingPredictor() const {
  const size_t n = std::min(predVarValues.size(), predVarIsString.size());
  for (size_t i = 0; i < n; ++i) {
    const double x = predVarValues[i];
    if (predVarIsString[i] ? x == -1.0 : x == ConditionEvaluator::kSysmis) return true;
  }
  return false;
}

}  // namespace KtZembra_940
