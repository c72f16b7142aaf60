// The rule-by-rule evaluation of compiled rules against the encoded record:
// the reference that every faster way of finding the fired rules must match.
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

}  // namespace KtZembra_940
