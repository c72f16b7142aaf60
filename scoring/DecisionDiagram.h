// The lazy walk of one model unrolled, for one way of collecting (first
// hit or all fired), into a decision diagram: each node tests one item and
// names the node that follows for either outcome; a leaf (a negative
// index, ~leaf) lists the rules that fire. Walking it tests the items the
// lazy walk would test, in the same order, with no per-record bookkeeping:
// one branch per test, like a hand-written tree.
//
// The unrolling follows both outcomes of every item the lazy walk would
// test, using what comparisons on one variable imply for each other
// ("x <= 3" true makes "x > 3" false). It gives up when the diagram grows
// past its budget (unrelated rules under an all-fired walk would need
// exponentially many nodes); the lazy walk serves then. A rule set cut
// from a tree gives about the tree itself. The top of the diagram, as deep
// as its size allows, is also unfolded into a complete tree
// (UnfoldedDiagram).
#ifndef RULESCORE_SCORING_DECISIONDIAGRAM_H_
#define RULESCORE_SCORING_DECISIONDIAGRAM_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scoring/ModelPlan.h"
#include "scoring/UnfoldedDiagram.h"

namespace KtZembra_940 {

class DecisionDiagram {
 public:
  DecisionDiagram() = default;
  DecisionDiagram(const DecisionDiagram&) = delete;
  DecisionDiagram& operator=(const DecisionDiagram&) = delete;

  // Unrolls the lazy walk of `plan`: with `firstOnly` each leaf holds the
  // first rule that fires, else every one; with `unfold` the unfolded
  // tree is built too where it fits, its leaves carrying `leafValues`
  // (indexed by leaf) when given.
  void Build(const ModelPlan& plan, bool firstOnly, bool unfold,
             const std::vector<LeafValue>* leafValues = nullptr);

  bool built() const { return built_; }
  // False when the diagram outgrew its budget (nothing is kept then).
  bool usable() const { return usable_; }

  // The leaf the encoded record `values` reaches.
  // REQUIRES: usable(), and `plan` the plan it was built from.
  int32_t Walk(const ModelPlan& plan, const double* values) const;
  // Walk, and the value attached to the leaf reached, when the unfolded
  // tree had it at hand: then *attached is true.
  int32_t Walk(const ModelPlan& plan, const double* values, LeafValue* value, bool* attached) const;

  // For `count` encoded records, record i at rows + i * width: the leaf
  // each reaches, as Walk gives it.
  // REQUIRES: as for Walk; width covers every variable of `plan`.
  void WalkRows(const ModelPlan& plan, const double* rows, size_t width, size_t count,
                int32_t* leaves) const;

  // The first rule of a leaf, or -1. A first-hit diagram's leaf is its
  // rule plus one (0: none fires), so that a record's walk ends without a
  // load of a leaf table.
  int32_t LeafFirst(int32_t leaf) const {
    return firstOnly_ ? leaf - 1 : leafFirst_[static_cast<size_t>(leaf)];
  }
  // Appends the rules of a leaf, in rule order.
  void AppendLeafRules(int32_t leaf, std::vector<int32_t>& fired) const {
    if (firstOnly_) {
      if (leaf > 0) fired.push_back(leaf - 1);
      return;
    }
    fired.insert(fired.end(), leafRules_.begin() + leafBegin_[static_cast<size_t>(leaf)],
                 leafRules_.begin() + leafBegin_[static_cast<size_t>(leaf) + 1]);
  }

  size_t MemoryBytes() const;

 private:
  struct Node {
    double value = 0.0;
    int32_t var = 0;
    int32_t item = 0;
    int32_t next[2] = {0, 0};  // [outcome false, outcome true]
    // For a comparison: the node that follows when x > value, and when x <
    // value and x is not the system-missing value; the common cases, taken
    // on one test each like a hand-written tree.
    int32_t nextGreater = 0;
    int32_t nextLess = 0;
    // A comparison of one variable: the outcome for each relation of x to
    // value (bit rel + 4 * missing; rel 0 less, 1 equal, 2 greater,
    // 3 unordered; missing: x is the system-missing value).
    uint8_t mask = 0;
    bool simple = false;
  };

  class Builder;

  // The outcome of `node` for the record, decided in full.
  bool Decide(const ModelPlan& plan, const Node& node, const double* values) const;
  // The leaf the record reaches from node n (a leaf already when negative).
  int32_t Continue(const ModelPlan& plan, int32_t n, const double* values) const;

  bool built_ = false;
  bool usable_ = false;
  bool firstOnly_ = false;
  int32_t root_ = 0;
  UnfoldedDiagram unfolded_;        // empty when the unfolded tree is too deep
  std::vector<DiagramStep> steps_;  // one per node
  std::vector<Node> nodes_;
  // All fired: leaves + 1 offsets into leafRules_, and per leaf its first
  // rule or -1. First hit: empty.
  std::vector<int32_t> leafBegin_;
  std::vector<int32_t> leafRules_;
  std::vector<int32_t> leafFirst_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_DECISIONDIAGRAM_H_
