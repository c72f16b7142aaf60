// The top of a decision diagram unfolded, along its ordinary branches,
// into a complete binary tree: from a slot, x > above goes right and
// atLeast <= x <= above left, so the next slot is computed, not loaded, and
// a record's walk is not a chain of dependent loads. Any other x (NaN, the
// system-missing value) leaves the ordinary branches; such a record is
// walked through the diagram from its root instead, where every node is
// decided in full. A node that always needs the full decision (equality
// where it matters, a set or compound node) is carried down to the bottom
// of the tree, where the walk goes on from it in the diagram.
//
// Below an ordinary branch the variable is known to be an ordinary number
// within bounds, which settles later comparisons of it: those are passed
// over, so a rule set cut from a tree unfolds to about the tree's own
// depth. The tree holds at most two paths per diagram node (and a few
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
// cost nothing more than the others. Several records are walked side by
// side (WalkRows), so that the loads of one hide behind those of the
// others.
//
// Laid out for the caches: the levels are cut into bands of three (the top
// band may have fewer), and each band into the subtrees of its levels
// below one slot: seven thresholds and their seven variables, one byte
// each, in one aligned 64-byte block (two bytes each in 128 bytes for a
// record of more than 256 variables), so that a band costs a record one
// cache line where a heap-ordered tree would cost one a level. The bottom
// level holds only the node each path reaches, four bytes a path (sixteen
// with a value attached to each leaf), after the blocks in the same
// buffer; a large buffer sits on huge pages. Where what a band leads to
// outgrows the nearest caches, the walk asks for the lines it may need
// next as it enters the band.
#ifndef RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_
#define RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "scoring/AlignedBuffer.h"

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

// What a caller attaches to a leaf, kept beside the leaf at the bottom of
// the unfolded tree so that a walk that ends there has it without another
// load (for a first-hit rule set: the rule's category and confidence).
struct LeafValue {
  double value = 0.0;
  int32_t tag = 0;
};

class UnfoldedDiagram {
 public:
  // Unfolds the diagram of `steps` (one per node) from node `root`, down to
  // the depth its size allows. With `leafValues` (one per leaf, indexed by
  // leaf) each leaf at the bottom carries its value.
  void Build(const std::vector<DiagramStep>& steps, int32_t root,
             const std::vector<LeafValue>* leafValues = nullptr);

  bool empty() const { return buffer_.data() == nullptr; }

  // Walks the record `values` down the tree: a negative result is the leaf
  // reached (~leaf); otherwise the diagram node from which the record's
  // walk goes on: the root when it left the ordinary branches, else the
  // node at the bottom of the tree. When the walk ends on a leaf that
  // carries a value, that value goes into *value and true into *attached
  // (else false).
  // REQUIRES: !empty().
  int32_t Walk(const double* values, LeafValue* value, bool* attached) const {
    unsigned ordinary = 1;
    const size_t q = wide_ ? PathOf<WideBlock>(values, ordinary) : PathOf<Block>(values, ordinary);
    *attached = false;
    if (ordinary == 0) return root_;
    const char* exit = BottomAt(q);
    const int32_t node = NodeAt(q);
    if (valued_ && node < 0) {
      std::memcpy(&value->tag, exit + kTagAt, sizeof value->tag);
      std::memcpy(&value->value, exit + kValueAt, sizeof value->value);
      *attached = true;
    }
    return node;
  }

  // For `count` records, record i at rows + i * width: into nodes[i] what
  // Walk gives for record i.
  // REQUIRES: !empty(); width covers every variable the diagram reads.
  void WalkRows(const double* rows, size_t width, size_t count, int32_t* nodes) const;

  size_t MemoryBytes() const { return buffer_.reserved() + bands_.size() * sizeof(Band); }

 private:
  // The subtree of a band below one slot, in heap order: from slot j, left
  // is 2j + 1 and right 2j + 2. An ordinary step: x > above[j] goes right,
  // else left; x below lowest_ (or NaN) leaves the ordinary branches. A
  // leaf, or a node decided in full, above the bottom always goes left, to
  // a copy of itself, down to the bottom: its bound is infinite and its
  // variable that of the comparison above it, an ordinary number on any
  // path that reaches it. A top band of fewer levels uses the first slots.
  struct alignas(64) Block {
    using Var = uint8_t;
    double above[7];
    uint8_t var[7];
  };
  struct alignas(128) WideBlock {
    using Var = uint16_t;
    double above[7];
    uint16_t var[7];
  };
  static constexpr int kBandLevels = 3;
  static constexpr unsigned kBlockSlots = 7;

  // A band of levels: its blocks, one per slot of the level above it, in
  // the order of those slots, from block `first` on. When what follows the
  // band (the next band's blocks, or the bottom level) is too large to stay
  // in the nearest caches (askAhead), the walk asks for the `unit` bytes a
  // block may lead to, from byte next + path * unit of the buffer, as it
  // enters the block: those loads then overlap the block's comparisons.
  struct Band {
    size_t first = 0;
    int levels = 0;
    size_t next = 0;
    size_t unit = 0;
    bool askAhead = false;
  };
  static constexpr size_t kLine = 64;
  // What follows a band is asked for ahead from this size on.
  static constexpr size_t kAheadFrom = size_t{64} << 10;

  // While building: a slot of the tree in heap order.
  struct Slot {
    double above = std::numeric_limits<double>::quiet_NaN();
    int32_t var = 0;
    int32_t node = -1;  // the diagram node it stands for, or ~leaf
  };

  struct Bounds {
    double lo = -std::numeric_limits<double>::infinity();  // x > lo
    double hi = std::numeric_limits<double>::infinity();   // x <= hi
    bool known = false;  // x is an ordinary number within them
  };

  // Deepest the unfolded tree may be (levels below the root); it has at
  // most kPathsPerNode paths per diagram node, or 2^kSmallDepth.
  static constexpr int kMaxDepth = 18;
  static constexpr int kSmallDepth = 11;
  static constexpr size_t kPathsPerNode = 2;
  // A large tree is not unfolded down to a level where fewer than one path
  // in kSparse still has a comparison to make: the few records that reach
  // one go on through the diagram, and the tree stays half the size.
  static constexpr size_t kSparse = 8;

  // The path of the record down to the bottom level, numbered within it;
  // clears `ordinary` if the record leaves the ordinary branches.
  template <class B>
  size_t PathOf(const double* values, unsigned& ordinary) const {
    const char* base = static_cast<const char*>(buffer_.data());
    const B* blocks = reinterpret_cast<const B*>(base);
    size_t q = 0;  // the path so far: the slot reached, numbered within its level
    for (const Band& band : bands_) {
      if (band.askAhead) {
        const char* next = base + band.next + q * band.unit;
        // What is asked for lies within the buffer: a wrong address would
        // cost a miss for nothing, and no result would show it.
        assert(band.next + (q + 1) * band.unit <= buffer_.size());
        for (size_t at = 0; at < band.unit; at += kLine) __builtin_prefetch(next + at);
      }
      const B& block = blocks[band.first + q];
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
    return q;
  }

  // `levels` levels of one block, level by level along the path: the block
  // is one cache line, so after its first load the others wait on nothing
  // but the comparison above. Comparing all seven slots first and picking
  // the path from the outcomes shortens that chain, but costs a small tree
  // a quarter more time per record for a few percent on a tree of 2^17
  // paths. Clears `ordinary` when the path leaves the ordinary branches;
  // returns where the path leaves the block (0 to 2^levels - 1, left to
  // right).
  template <int levels, class B>
  unsigned Step(const B& block, const double* values, unsigned& ordinary) const {
    constexpr unsigned kSlots = (1u << levels) - 1;
    const double lowest = lowest_;
    unsigned j = 0;
    for (int level = 0; level < levels; ++level) {
      const double x = values[block.var[j]];
      ordinary &= static_cast<unsigned>(x >= lowest);
      j = 2 * j + 1 + static_cast<unsigned>(x > block.above[j]);
    }
    return j - kSlots;
  }

  // The bottom level's entry for path q: its node, then with leaf values
  // the leaf's tag and value.
  const char* BottomAt(size_t q) const {
    return static_cast<const char*>(buffer_.data()) + bottomAt_ + (q << exitShift_);
  }
  int32_t NodeAt(size_t q) const {
    int32_t node;
    std::memcpy(&node, BottomAt(q), sizeof node);
    return node;
  }
  static constexpr size_t kTagAt = 4;
  static constexpr size_t kValueAt = 8;

  template <class B>
  void WalkRowsOf(const double* rows, size_t width, size_t count, int32_t* nodes) const;
  // Lays the tree built in heap order out in bands of blocks.
  template <class B>
  void Pack(const std::vector<Slot>& heap, const std::vector<LeafValue>* leafValues);

  // The node the record reaches from n without a test the bounds leave open.
  int32_t Settle(const std::vector<DiagramStep>& steps, int32_t n) const;
  // Places node n at the slot numbered q on level `level` and what follows
  // it on its ordinary branches, down to level limit_; with `heap` null
  // only measures the depth.
  void Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t q, int level, std::vector<Slot>* heap);

  // The blocks, then the bottom level.
  AlignedBuffer buffer_;
  size_t bottomAt_ = 0;      // the byte in buffer_ where the bottom level, an entry per path, begins
  int exitShift_ = 2;        // log2 of a bottom entry's size: 4 bytes, 16 with leaf values
  bool valued_ = false;      // the bottom's leaves carry values
  bool wide_ = false;         // WideBlock (more than 256 variables), else Block
  std::vector<Band> bands_;   // from the top; their levels add up to the depth
  int32_t root_ = 0;
  // The lower bound of ordinary comparisons (the packed diagram has one: a
  // node with another is decided in full).
  double lowest_ = std::numeric_limits<double>::quiet_NaN();
  int depth_ = 0;  // levels above the bottom: every walk takes that many steps
  // While building: per variable, what the branches taken say of it.
  std::vector<Bounds> bounds_;
  std::vector<size_t> tests_;  // per level, the slots that hold a comparison
  int deepest_ = 0;
  int limit_ = 0;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_UNFOLDEDDIAGRAM_H_
