// A model's scoring plan: built once from the compiled rule sets, it finds
// the rules that fire for one record while testing each distinct condition
// at most once, and dropping every rule that needs a condition as soon as
// that condition is known to be false. The rules it reports, and their
// order, are exactly those of the rule-by-rule walk.
//
// Per model: ModelPlan flattens the rules into shared items; LazyWalk walks
// them with a bit set of the rules still alive (and per-variable region
// masks); DecisionDiagram unrolls that walk, on the first record of each
// kind (first hit, all fired), into a diagram with one branch per test
// when that stays small, and UnfoldedDiagram lays the top of a diagram out
// as a complete tree, in blocks of cache lines, for ordinary numbers.
// Records take the most direct of these that was built.
//
// Not thread-safe: FiredRules writes per-record scratch (one model scores
// one record at a time).
#ifndef RULESCORE_SCORING_SCORINGPLAN_H_
#define RULESCORE_SCORING_SCORINGPLAN_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/RuleSetModel.h"
#include "scoring/DecisionDiagram.h"
#include "scoring/LazyWalk.h"
#include "scoring/ModelPlan.h"

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
  // order; with `firstOnly` only the first of them. The first call of each
  // kind may build the decision diagram; after that nothing is allocated
  // once `fired` has grown to its largest size.
  void FiredRules(int m, const double* values, bool firstOnly, std::vector<int32_t>& fired);
  // The position of the first rule of model m that fires, or -1: what
  // FiredRules gives with `firstOnly`, without a list.
  int32_t FirstFiredRule(int m, const double* values);
  // FirstFiredRule, and when the rule's value (attached with
  // AttachFirstHitValues) came with the walk, that value into *value and
  // true into *attached; else *attached is false.
  int32_t FirstFiredRule(int m, const double* values, LeafValue* value, bool* attached);
  // Per rule of model m, a value the first-hit walk hands back with the
  // rule, from the bottom of the unfolded tree where the walk ends (no
  // load of a table of its own). Before the first record.
  void AttachFirstHitValues(int m, std::vector<LeafValue> values);

  // For `count` encoded records, record i at rows + i * width (width at
  // least the number of variables): into first[i] what FirstFiredRule gives
  // for record i. Walks several records side by side where the diagram
  // allows.
  void FirstFiredRules(int m, const double* rows, size_t width, size_t count, int32_t* first);

  // How records find their rules: kBest takes the unfolded diagram, else the
  // diagram, else the lazy walk, whichever is built first; kDiagram never
  // unfolds; kLazy always walks lazily (with the region masks). For tests
  // and benchmarks that compare them; set before the first record.
  enum class Walk { kBest, kDiagram, kLazy };
  void SetWalk(Walk way) { walk = way; }

  // Number of distinct items of model m (for tests and benchmarks).
  int ItemCount(int m) const;
  // Approximate bytes held by the plan.
  size_t MemoryBytes() const;

 private:
  // One model's flattened rules and the walks over them.
  struct Model {
    Model(const std::vector<RuleSetModel::ST_Rule>& rules, int32_t n, const std::vector<bool>& isString)
        : plan(rules, n, isString), lazy(plan) {}
    ModelPlan plan;
    LazyWalk lazy;
    DecisionDiagram dags[2];  // [all fired, first hit]
    std::vector<LeafValue> firstValues;  // per rule, until the first-hit diagram is built
  };

  // The model's walks when it can fire anything, else null.
  Model* ModelOf(int m);
  // Builds the model's first-hit diagram unless built.
  void BuildFirstHit(Model& model);

  std::vector<std::unique_ptr<Model>> models;  // null for a model without rules
  std::vector<bool> isString;
  Walk walk = Walk::kBest;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_SCORINGPLAN_H_
