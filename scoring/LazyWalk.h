// The lazy walk over one model's flattened rules: a bit set holds the
// rules still alive for the record; the walk takes the first alive rule,
// tests its items (each at most once per record) and, when one is false,
// clears at once every rule that requires it. For a rule set made from a
// decision tree this tests about as many conditions as the tree's depth.
//
// Before it tests anything, the walk drops the rules that the record's
// region of each covered variable rules out (RegionMasks: one lookup per
// variable instead of a test per condition); the conditions those masks
// stand for are not tested again. The masks are built on the first record.
//
// Not thread-safe: each record's walk writes the walk's scratch.
#ifndef RULESCORE_SCORING_LAZYWALK_H_
#define RULESCORE_SCORING_LAZYWALK_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scoring/ModelPlan.h"
#include "scoring/RegionMasks.h"

namespace KtZembra_940 {

class LazyWalk {
 public:
  // REQUIRES: `plan` outlives the walk. Covering the variables (on the
  // first record) moves, within each rule's list of `plan`, the items the
  // masks stand for behind the ones the walk tests.
  explicit LazyWalk(ModelPlan& plan);
  LazyWalk(const LazyWalk&) = delete;
  LazyWalk& operator=(const LazyWalk&) = delete;

  // Collects into `fired` every rule that fires for the encoded record
  // `values`, in rule order, or, with null, finds the first one and returns
  // its position (-1 for none).
  int32_t Walk(const double* values, std::vector<int32_t>* fired);

  size_t MemoryBytes() const;

 private:
  // Builds the region masks of the variables whose tables fit the budget,
  // and moves the items they stand for behind the ones the walk tests.
  void CoverVariables();

  ModelPlan& plan_;
  // Per rule, the end of the items the walk tests: those the region masks
  // do not stand for come first in the rule's list.
  std::vector<int32_t> ruleTestEnd_;
  // The rules that survive each region of the covered variables.
  RegionMasks regions_;
  bool covered_ = false;
  // Per-record scratch: the rules still alive, the record's row of each
  // covered variable, and per item the record (epoch) its outcome was last
  // found for, times two, plus the outcome.
  std::vector<uint64_t> alive_;
  std::vector<const uint64_t*> rows_;
  std::vector<uint32_t> stamp_;
  uint32_t epoch_ = 0;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_LAZYWALK_H_
