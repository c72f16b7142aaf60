// A model's scoring plan: built once from the compiled rule sets, it finds
// the rules that fire for one record while testing each distinct condition
// at most once, and dropping every rule that needs a condition as soon as
// that condition is known to be false. The rules it reports, and their
// order, are exactly those of the rule-by-rule walk.
#ifndef RULESCORE_SCORING_SCORINGPLAN_H_
#define RULESCORE_SCORING_SCORINGPLAN_H_

#include <cstdint>
#include <vector>

#include "model/RuleSetModel.h"

namespace KtZembra_940 {

class ScoringPlan {
 public:
  // `ruleSets` and `ruleCount` as the model holds them after its record
  // set-up: model m sees the first ruleCount[m] rules of ruleSets[m] (a
  // missing or null slot has none). `predVarIsString` tells, per variable
  // index, whether the variable is a string one (missing is -1.0 there).
  ScoringPlan(const std::vector<RuleSetModel::ST_RuleSet*>& ruleSets,
              const std::vector<int32_t>& ruleCount, const std::vector<bool>& predVarIsString);
  ~ScoringPlan();
  ScoringPlan(const ScoringPlan&) = delete;
  ScoringPlan& operator=(const ScoringPlan&) = delete;

  // Replaces `fired` with the positions (in model m's rule list) of the
  // rules of model m that fire for the encoded record `values`, in rule
  // order; with `firstOnly` only the first of them. Allocates nothing once
  // `fired` has grown to its largest size.
  void FiredRules(int m, const double* values, bool firstOnly, std::vector<int32_t>& fired);
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_SCORINGPLAN_H_
