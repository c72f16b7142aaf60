// A decision diagram unfolded, along its ordinary branches, into a tree
// stored as a heap: from slot k, x > above goes to slot 2k + 2 and atLeast
// <= x <= above to 2k + 1, so the next slot is computed, not loaded, and a
// record's walk is not a chain of dependent loads. Any other x (NaN, the
// system-missing value, equality where it matters, a set or compound node)
// leaves the heap at the diagram node the slot stands for, to be decided
// in full there.
//
// Below an ordinary branch the variable is known to be an ordinary number
// within bounds, which settles later comparisons of it: those are passed
// over, so a rule set cut from a tree unfolds to about the tree's own
// depth. Built only when the unfolded tree is shallow enough.
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
  // Unfolds the diagram of `steps` (one per node) from node `root`; leaves
  // the tree empty when it would be deeper than allowed.
  void Build(const std::vector<DiagramStep>& steps, int32_t root);

  bool empty() const { return heap_.empty(); }

  // Walks the record `values` down the tree: a negative result is the leaf
  // reached (~leaf); otherwise the diagram node at which the record leaves
  // the ordinary branches, whose outcome is to be decided in full.
  // REQUIRES: !empty().
  int32_t Walk(const double* values) const {
    const Slot* heap = heap_.data();
    size_t k = 0;
    for (;;) {
      const Slot& step = heap[k];
      if (step.node < 0) return step.node;
      const double x = values[step.var];
      if (x > step.above) {
        k = 2 * k + 2;
      } else if (x >= step.atLeast) {
        k = 2 * k + 1;
      } else {
        return step.node;
      }
    }
  }

  size_t MemoryBytes() const { return heap_.size() * sizeof(Slot); }

 private:
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

  // Deepest the unfolded tree may be (levels below the root): 2^12 - 1 slots.
  static constexpr int kMaxDepth = 11;

  // The node the record reaches from n without a test the bounds leave open.
  int32_t Settle(const std::vector<DiagramStep>& steps, int32_t n) const;
  // Places node n at `slot` (on heap level `level`) and what follows it on
  // its ordinary branches; with `write` false only measures the depth.
  // False when the tree gets too deep.
  bool Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t slot, int level, bool write);

  std::vector<Slot> heap_;
  // While building: per variable, what the branches taken say of it.
  std::vector<Bounds> bounds_;
  int deepest_ = 0;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_
