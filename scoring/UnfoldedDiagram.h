// The top of a decision diagram unfolded, along its ordinary branches,
// into a complete binary tree: from a slot, x > above goes right and
// atLeast <= x <= above left, so the next slot is computed, not loaded, and
// a record's walk is not a chain of dependent loads. Any other x (NaN, the
// system-missing value, equality where it matters, a set or compound node)
// leaves the tree at the diagram node the slot stands for, to be decided
// in full there.
//
// Below an ordinary branch the variable is known to be an ordinary number
// within bounds, which settles later comparisons of it: those are passed
// over, so a rule set cut from a tree unfolds to about the tree's own
// depth. The tree holds at most a few slots per diagram node (and a few
// thousand for a small diagram): a diagram deeper than that is unfolded
// down to the depth that fits, and the walk of a record that reaches the
// bottom of the tree on a node goes on from that node in the diagram.
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
//
// Laid out for the caches: the levels are cut into bands of two (three for
// a tree too large for the caches; the top band may have fewer), and each
// band into the subtrees of its levels below one slot, stored together in
// one aligned block of 64 or 128 bytes, so that a step of a band waits for
// one cache line (or the pair the processor fetches together) where a
// heap-ordered tree would wait for a line per level. The bottom level
// holds only the node each path reaches, four bytes a slot.
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

  bool empty() const { return bottom_.empty(); }

  // Walks the record `values` down the tree: a negative result is the leaf
  // reached (~leaf); otherwise the diagram node from which the record's
  // walk goes on: the one at which it leaves the ordinary branches (to be
  // decided in full), or the one at the bottom of the tree.
  // REQUIRES: !empty().
  int32_t Walk(const double* values) const {
    const Slot* slots = slots_.data() + start_;
    size_t q = 0;  // the path so far: the slot reached, numbered within its level
    unsigned ordinary = 1;
    for (const Band& band : bands_) {
      const Slot* block = slots + band.first + (q << band.levels);
      unsigned exit = 0;
      switch (band.levels) {
        case 1:
          exit = Step<1>(block, values, ordinary);
          break;
        case 2:
          exit = Step<2>(block, values, ordinary);
          break;
        default:
          exit = Step<3>(block, values, ordinary);
          break;
      }
      q = (q << band.levels) + exit;
    }
    return ordinary != 0 ? bottom_[q] : Descend(values);
  }

  // For `count` records, record i at rows + i * width: into nodes[i] what
  // Walk gives for record i.
  // REQUIRES: !empty(); width covers every variable the diagram reads.
  void WalkRows(const double* rows, size_t width, size_t count, int32_t* nodes) const;

  size_t MemoryBytes() const { return slots_.size() * sizeof(Slot) + bottom_.size() * sizeof(int32_t); }

 private:
  // An ordinary step of the walk: x > above goes right, else left; x below
  // lowest_ (or NaN) leaves the ordinary branches. A leaf, or a node to be
  // decided in full, above the bottom always goes left, to a copy of
  // itself, down to the bottom: its bound is infinite and its variable that
  // of the comparison above it, an ordinary number on any path that
  // reaches it.
  struct Slot {
    double above = std::numeric_limits<double>::quiet_NaN();
    int32_t var = 0;
    int32_t node = -1;  // the diagram node it stands for, or ~leaf
  };
  // A band of levels: its subtrees, one per slot of the level above it, in
  // the order of those slots, from slot `first` on, 2^levels slots apart;
  // each in heap order (from local slot j, left is 2j + 1 and right
  // 2j + 2), its last slot a pad.
  struct Band {
    size_t first = 0;
    int top = 0;  // its first level
    int levels = 0;
  };

  struct Bounds {
    double lo = -std::numeric_limits<double>::infinity();  // x > lo
    double hi = std::numeric_limits<double>::infinity();   // x <= hi
    bool known = false;  // x is an ordinary number within them
  };

  // Deepest the unfolded tree may be (levels below the root), for a
  // diagram of at least 2^17 nodes; a smaller one may have four slots a
  // node, or 2^12 - 1 slots.
  static constexpr int kMaxDepth = 18;
  static constexpr int kSmallDepth = 11;
  static constexpr size_t kSlotsPerNode = 4;
  // Bands of three levels for a tree deeper than this, of two otherwise.
  static constexpr int kCachedDepth = 12;

  // `levels` levels of one block at once: every slot is compared (their
  // loads do not wait for each other), then the path is picked from the
  // outcomes. Clears `ordinary` when the path leaves the ordinary
  // branches; returns where the path leaves the block (0 to 2^levels - 1,
  // left to right).
  template <int levels>
  unsigned Step(const Slot* block, const double* values, unsigned& ordinary) const {
    constexpr unsigned kSlots = (1u << levels) - 1;
    const double lowest = lowest_;
    unsigned right = 0;  // bit j: slot j goes right
    unsigned ok = 0;     // bit j: slot j's value is an ordinary number
    for (unsigned j = 0; j < kSlots; ++j) {
      const Slot& step = block[j];
      const double x = values[step.var];
      right |= static_cast<unsigned>(x > step.above) << j;
      ok |= static_cast<unsigned>(x >= lowest) << j;
    }
    unsigned j = 0;
    for (int level = 0; level < levels; ++level) {
      ordinary &= ok >> j;
      j = 2 * j + 1 + ((right >> j) & 1u);
    }
    return j - kSlots;
  }

  // The walk branch by branch: the leaf, or the node where the record
  // leaves the ordinary branches or reaches the bottom.
  int32_t Descend(const double* values) const;

  // The slot of the path numbered `q` on level `level` (above the bottom).
  Slot& SlotAt(int level, size_t q);
  // The node the record reaches from n without a test the bounds leave open.
  int32_t Settle(const std::vector<DiagramStep>& steps, int32_t n) const;
  // Places node n at the slot numbered q on level `level` and what follows
  // it on its ordinary branches, down to level limit_; with `write` false
  // only measures the depth.
  void Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t q, int level, bool write);

  // The slots from start_ on, which begins on a 128-byte boundary (when the
  // allocation allows) so that every band's blocks do.
  std::vector<Slot> slots_;
  size_t start_ = 0;
  std::vector<Band> bands_;     // from the top; their levels add up to the depth
  std::vector<int32_t> bottom_;  // per path to the bottom level, its node
  // The lower bound of ordinary comparisons (the packed diagram has one: a
  // node with another is decided in full).
  double lowest_ = std::numeric_limits<double>::quiet_NaN();
  int depth_ = 0;  // levels above the bottom: every walk takes that many steps
  // While building: per variable, what the branches taken say of it; per
  // level above the bottom, its band.
  std::vector<Bounds> bounds_;
  std::vector<int> bandOf_;
  int deepest_ = 0;
  int limit_ = 0;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_
