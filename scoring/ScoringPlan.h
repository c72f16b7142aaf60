// A model's scoring plan: built once from the compiled rule sets, it finds
// the rules that fire for one record while testing each distinct condition
// at most once, and dropping every rule that needs a condition as soon as
// that condition is known to be false. The rules it reports, and their
// order, are exactly those of the rule-by-rule walk.
//
// How: every rule whose top level is an "and" (all compiled rules) is
// flattened into the list of conditions it requires: its simple and set
// conditions, and those of nested "and" compounds, become shared items
// (one per distinct variable, operator and value); "or", "xor" and other
// compounds stay whole and are evaluated as one item. A bit set holds the
// rules still alive for the record; the walk takes the first alive rule,
// tests its items (each at most once per record) and, when one is false,
// clears at once every rule that requires it. For a rule set made from a
// decision tree this tests about as many conditions as the tree's depth.
#ifndef RULESCORE_SCORING_SCORINGPLAN_H_
#define RULESCORE_SCORING_SCORINGPLAN_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/RuleSetModel.h"

namespace KtZembra_940 {

class ScoringPlan {
 public:
  // `ruleSets` and `ruleCount` as the model holds them after its record
  // set-up: model m sees the first ruleCount[m] rules of ruleSets[m] (a
  // missing or null slot has none). `predVarIsString` tells, per variable
  // index, whether the variable is a string one (missing is -1.0 there).
  // The plan keeps copies of what it evaluates: rules compiled later do not
  // disturb it.
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

  // Number of distinct items of model m (for tests and benchmarks).
  int ItemCount(int m) const;
  // Approximate bytes held by the plan.
  size_t MemoryBytes() const;

 private:
  enum class ItemKind : uint8_t { kCondition, kCompound, kRule };

  struct Item {
    ItemKind kind = ItemKind::kCondition;
    int32_t var = -1;     // kCondition: the variable index tested
    int32_t source = 0;   // index into the matching store below
    int32_t denseMask = -1;  // offset into denseMasks, or -1: sparse list
    int32_t killBegin = 0;   // sparse: range of killRules
    int32_t killEnd = 0;
  };

  struct ModelPlan {
    int32_t ruleCount = 0;
    int32_t words = 0;
    std::vector<uint64_t> initialAlive;
    std::vector<int32_t> ruleItemBegin;  // ruleCount + 1 offsets into ruleItems
    std::vector<int32_t> ruleItems;
    std::vector<Item> items;
    std::vector<RuleSetModel::ST_SIM_Condition> conditions;
    std::vector<RuleSetModel::ST_COMP_Condition> compounds;
    std::vector<RuleSetModel::ST_Rule> rules;
    std::vector<uint64_t> denseMasks;
    std::vector<int32_t> killRules;
    // Per-record scratch.
    std::vector<uint64_t> alive;
    std::vector<uint32_t> stamp;
    std::vector<uint8_t> outcome;
    uint32_t epoch = 0;
  };

  class Builder;

  bool Evaluate(ModelPlan& plan, int32_t item, const double* values);

  std::vector<std::unique_ptr<ModelPlan>> models;  // null for a model without rules
  std::vector<bool> isString;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_SCORINGPLAN_H_
