// The top of a decision diagram unfolded, along its ordinary branches,
// into a tree stored as a heap: from slot k, x > above goes to slot 2k + 2
// and atLeast <= x <= above to 2k + 1, so the next slot is computed, not
// loaded, and a record's walk is not a chain of dependent loads. Any other
// x (NaN, the system-missing value, equality where it matters, a set or
// compound node) leaves the heap at the diagram node the slot stands for,
// to be decided in full there.
//
// Below an ordinary branch the variable is known to be an ordinary number
// within bounds, which settles later comparisons of it: those are passed
// over, so a rule set cut from a tree unfolds to about the tree's own
// depth. The heap holds at most a few slots per diagram node (and a few
// thousand for a small diagram): a diagram deeper than that is unfolded
// down to the depth that fits, and the walk of a record that reaches the
// bottom of the heap on a node goes on from that node in the diagram.
//
// The walk takes no branch that depends on the record: every record goes
// down the same number of levels (a leaf above the bottom is repeated down
// its left side), each step adding the outcome of its comparison to the
// slot number, and one flag notes whether the record left the ordinary
// branches on the way. Records of real data take unpredictable turns,
// which cost a mispredicted branch each in a walk that branches; here they
// cost nothing more than the others. Only a record that left the ordinary
// branches is walked again, branch by branch, to find the node where it
// did. Several records are walked side by side (WalkRows), so that the
// loads of one hide behind those of the others.
#ifndef RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_
#define RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

namespace KtZembra_940 {

// What a record's walk reads of a diagram node, packed: x > above goes to
// nextGreater, else x >= atLeast to nextLess, else the node is decided in
// full (equality, NaN, the system-missing value, a compound or set). A
// node that always needs the full decision has NaN bounds. A leaf is a
// negative index, ~leaf.
struct DiagramStep {
  double above = 0.0;
  double atLeast = 0.0;
  int32_t var = 0;
  int32_t nextGreater = 0;
  int32_t nextLess = 0;
};

class UnfoldedDiagram {
 public:
  // Unfolds the diagram of `steps` (one per node) from node `root`, down to
  // the depth its size allows.
  void Build(const std::vector<DiagramStep>& steps, int32_t root);

  bool empty() const { return heap_.empty(); }

  // Walks the record `values` down the tree: a negative result is the leaf
  // reached (~leaf); otherwise the diagram node from which the record's
  // walk goes on: the one at which it leaves the ordinary branches (to be
  // decided in full), or the one at the bottom of the heap.
  // REQUIRES: !empty().
  int32_t Walk(const double* values) const {
    const Slot* heap = heap_.data();
    size_t k = 0;
    unsigned ordinary = 1;
    int level = 0;
    // Two levels a step: one record's walk is a chain of loads, and each
    // step waits for one round of them instead of two.
    for (; level + 2 <= depth_; level += 2) k = Step<2>(heap, values, k, ordinary);
    if (level < depth_) k = Step<1>(heap, values, k, ordinary);
    const int32_t node = heap[k].node;
    return ordinary != 0 ? node : Descend(values);
  }

  // For `count` records, record i at rows + i * width: into nodes[i] what
  // Walk gives for record i.
  // REQUIRES: !empty(); width covers every variable the diagram reads.
  void WalkRows(const double* rows, size_t width, size_t count, int32_t* nodes) const;

  size_t MemoryBytes() const { return heap_.size() * sizeof(Slot); }

 private:
  // An ordinary step of the walk: x > above goes right, else left; x below
  // atLeast (or NaN) leaves the ordinary branches. A leaf above the bottom
  // always goes left (to a copy of itself), leaving for NaN only; a node
  // decided in full always leaves (its atLeast is NaN).
  struct Slot {
    double above = 0.0;
    double atLeast = 0.0;
    int32_t var = 0;
    int32_t node = -1;  // the diagram node it stands for, or ~leaf
  };

  struct Bounds {
    double lo = -std::numeric_limits<double>::infinity();  // x > lo
    double hi = std::numeric_limits<double>::infinity();   // x <= hi
    bool known = false;  // x is an ordinary number within them
  };

  // Deepest the unfolded tree may be (levels below the root): 2^19 - 1
  // slots, for a diagram of at least 2^17 nodes; a smaller one may have
  // four slots a node, or 2^12 - 1 slots.
  static constexpr int kMaxDepth = 18;
  static constexpr int kSmallDepth = 11;
  static constexpr size_t kSlotsPerNode = 4;

  // `levels` levels of the walk from slot k at once: every slot of the
  // subtree below k down to that depth is compared (their loads do not
  // wait for each other), then the path is picked from the outcomes. A
  // step waits for one round of loads where one level a step would wait
  // for `levels`. Clears `ordinary` when the path leaves the ordinary
  // branches; returns the slot reached.
  template <int levels>
  static size_t Step(const Slot* heap, const double* values, size_t k, unsigned& ordinary) {
    constexpr unsigned kSlots = (1u << levels) - 1;
    unsigned right = 0;  // bit j: slot j of the subtree (in heap order) goes right
    unsigned ok = 0;     // bit j: slot j's value is an ordinary number
    unsigned j = 0;
    for (int level = 0; level < levels; ++level) {
      const size_t first = ((k + 1) << level) - 1;
      for (size_t i = 0; i < (size_t{1} << level); ++i, ++j) {
        const Slot& step = heap[first + i];
        const double x = values[step.var];
        right |= static_cast<unsigned>(x > step.above) << j;
        ok |= static_cast<unsigned>(x >= step.atLeast) << j;
      }
    }
    j = 0;
    for (int level = 0; level < levels; ++level) {
      ordinary &= ok >> j;
      j = 2 * j + 1 + ((right >> j) & 1u);
    }
    return ((k + 1) << levels) - 1 + (j - kSlots);
  }

  // The walk branch by branch: the leaf, or the node where the record
  // leaves the ordinary branches or reaches the bottom.
  int32_t Descend(const double* values) const;

  // The node the record reaches from n without a test the bounds leave open.
  int32_t Settle(const std::vector<DiagramStep>& steps, int32_t n) const;
  // Places node n at `slot` (on heap level `level`) and what follows it on
  // its ordinary branches, down to level limit_; with `write` false only
  // measures the depth.
  void Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t slot, int level, bool write);

  std::vector<Slot> heap_;
  int depth_ = 0;  // levels below the root: every walk takes that many steps
  // While building: per variable, what the branches taken say of it.
  std::vector<Bounds> bounds_;
  int deepest_ = 0;
  int limit_ = 0;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_
