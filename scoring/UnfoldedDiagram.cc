#include "scoring/UnfoldedDiagram.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace KtZembra_940 {

void UnfoldedDiagram::Build(const std::vector<DiagramStep>& steps, int32_t root,
                            const std::vector<LeafValue>* leafValues) {
  buffer_ = AlignedBuffer();
  bands_.clear();
  bottomAt_ = 0;
  root_ = root;
  int32_t vars = 0;
  for (const DiagramStep& step : steps) vars = std::max(vars, step.var + 1);
  wide_ = vars > 256;
  bounds_.assign(static_cast<size_t>(vars), Bounds());
  lowest_ = std::numeric_limits<double>::quiet_NaN();
  for (const DiagramStep& step : steps) {
    if (step.atLeast == step.atLeast) {
      lowest_ = step.atLeast;
      break;
    }
  }
  deepest_ = 0;
  limit_ = kSmallDepth;
  while (limit_ < kMaxDepth && (size_t{2} << limit_) <= kPathsPerNode * steps.size()) ++limit_;
  tests_.assign(static_cast<size_t>(limit_) + 1, 0);
  Visit(steps, root, 0, 0, nullptr);
  depth_ = deepest_;
  while (depth_ > kSmallDepth && tests_[static_cast<size_t>(depth_ - 1)] * kSparse < (size_t{1} << (depth_ - 1))) {
    --depth_;
  }
  limit_ = depth_;
  // The tree in heap order, the bottom level included: level l's slot q at
  // 2^l - 1 + q.
  std::vector<Slot> heap((size_t{2} << depth_) - 1);
  Visit(steps, root, 0, 0, &heap);
  // Every record walks depth_ levels: a leaf, or a node decided in full
  // (a NaN bound, as is every slot no node was placed in), above the
  // bottom passes any number on to its left child, which becomes a copy of
  // it. A NaN leaves the ordinary branches there, which only sends the
  // record through the diagram.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (int level = 0; level < depth_; ++level) {
    const size_t begin = (size_t{1} << level) - 1;
    for (size_t q = 0; q < (size_t{1} << level); ++q) {
      Slot& slot = heap[begin + q];
      if (slot.node >= 0 && slot.above == slot.above) continue;
      slot.var = level == 0 ? 0 : heap[(begin - 1) / 2 + q / 2].var;
      slot.above = inf;
      Slot& left = heap[2 * begin + 1 + 2 * q];
      left.node = slot.node;
      left.above = nan;
    }
  }
  // Leaf values only when every leaf at the bottom has one.
  const size_t paths = size_t{1} << depth_;
  for (size_t q = 0; leafValues != nullptr && q < paths; ++q) {
    const int32_t node = heap[paths - 1 + q].node;
    if (node < 0 && static_cast<size_t>(~node) >= leafValues->size()) leafValues = nullptr;
  }
  if (wide_) {
    Pack<WideBlock>(heap, leafValues);
  } else {
    Pack<Block>(heap, leafValues);
  }
  bounds_ = std::vector<Bounds>();
  tests_ = std::vector<size_t>();
}

template <class B>
void UnfoldedDiagram::Pack(const std::vector<Slot>& heap, const std::vector<LeafValue>* leafValues) {
  // Bands under a top band of what is left over, so that only the root's
  // block may be partly used.
  size_t blocks = 0;
  for (int level = 0; level < depth_;) {
    Band band;
    band.first = blocks;
    band.levels = level == 0 && depth_ % kBandLevels != 0 ? depth_ % kBandLevels : kBandLevels;
    blocks += size_t{1} << level;
    bands_.push_back(band);
    level += band.levels;
  }
  bottomAt_ = blocks * sizeof(B);
  valued_ = leafValues != nullptr;
  exitShift_ = valued_ ? 4 : 2;
  const size_t bottomBytes = size_t{1} << depth_ << exitShift_;
  buffer_ = AlignedBuffer(bottomAt_ + bottomBytes);
  for (size_t b = 0; b < bands_.size(); ++b) {
    Band& band = bands_[b];
    const bool last = b + 1 == bands_.size();
    const size_t next = last ? bottomAt_ : bands_[b + 1].first * sizeof(B);
    const size_t end = last || b + 2 == bands_.size() ? bottomAt_ + (last ? bottomBytes : 0)
                                                        : bands_[b + 2].first * sizeof(B);
    band.next = next;
    band.unit = (last ? size_t{1} << exitShift_ : sizeof(B)) << band.levels;
    band.askAhead = end - next >= kAheadFrom;
  }
  B* out = static_cast<B*>(buffer_.data());
  for (size_t b = 0; b < blocks; ++b) new (out + b) B();
  int top = 0;
  for (const Band& band : bands_) {
    for (int l = 0; l < band.levels; ++l) {
      const size_t width = size_t{1} << (top + l);
      const size_t within = size_t{1} << l;  // slots of this level in one block
      for (size_t q = 0; q < width; ++q) {
        const Slot& slot = heap[width - 1 + q];
        B& block = out[band.first + q / within];
        const size_t j = within - 1 + q % within;
        block.above[j] = slot.above;
        block.var[j] = static_cast<typename B::Var>(slot.var);
      }
    }
    top += band.levels;
  }
  char* bottom = static_cast<char*>(buffer_.data()) + bottomAt_;
  const size_t paths = size_t{1} << depth_;
  for (size_t q = 0; q < paths; ++q) {
    char* exit = bottom + (q << exitShift_);
    const int32_t node = heap[paths - 1 + q].node;
    std::memcpy(exit, &node, sizeof node);
    if (valued_ && node < 0) {
      const LeafValue& leaf = (*leafValues)[static_cast<size_t>(~node)];
      std::memcpy(exit + kTagAt, &leaf.tag, sizeof leaf.tag);
      std::memcpy(exit + kValueAt, &leaf.value, sizeof leaf.value);
    }
  }
}

namespace {

// One band of the block walk for `lanes` records side by side: from the
// block of path q[k] of the band at `first`, record k (at base + k * width)
// takes the band's levels one by one. The band is a compile-time constant,
// so that the loops unroll, and inlined, so that q and ordinary stay in
// registers.
template <int levels, size_t lanes, class B>
inline void BandRows(const B* first, const double* base, size_t width, double lowest, size_t* q,
                     bool* ordinary) {
  const B* block[lanes];
  unsigned j[lanes];
  for (size_t k = 0; k < lanes; ++k) {
    block[k] = first + q[k];
    j[k] = 0;
  }
  for (int level = 0; level < levels; ++level) {
    for (size_t k = 0; k < lanes; ++k) {
      const B& b = *block[k];
      const double x = base[k * width + static_cast<size_t>(b.var[j[k]])];
      ordinary[k] &= x >= lowest;
      j[k] = 2 * j[k] + 1 + static_cast<unsigned>(x > b.above[j[k]]);
    }
  }
  for (size_t k = 0; k < lanes; ++k) q[k] = (q[k] << levels) + (j[k] - ((1u << levels) - 1));
}

}  // namespace

void UnfoldedDiagram::WalkRows(const double* rows, size_t width, size_t count, int32_t* nodes) const {
  if (wide_) {
    WalkRowsOf<WideBlock>(rows, width, count, nodes);
  } else {
    WalkRowsOf<Block>(rows, width, count, nodes);
  }
}

template <class B>
void UnfoldedDiagram::WalkRowsOf(const double* rows, size_t width, size_t count, int32_t* nodes) const {
  // Lanes records at a time: their walks are independent, so the loads of
  // one lane overlap those of the others.
  constexpr size_t kLanes = 8;
  const B* blocks = static_cast<const B*>(buffer_.data());
  const double lowest = lowest_;
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const double* base = rows + i * width;
    size_t q[kLanes];
    bool ordinary[kLanes];
    for (size_t k = 0; k < kLanes; ++k) {
      q[k] = 0;
      ordinary[k] = true;
    }
    for (const Band& band : bands_) {
      const B* first = blocks + band.first;
      switch (band.levels) {
        case 1:
          BandRows<1, kLanes>(first, base, width, lowest, q, ordinary);
          break;
        case 2:
          BandRows<2, kLanes>(first, base, width, lowest, q, ordinary);
          break;
        default:
          BandRows<3, kLanes>(first, base, width, lowest, q, ordinary);
          break;
      }
    }
    for (size_t k = 0; k < kLanes; ++k) nodes[i + k] = ordinary[k] ? NodeAt(q[k]) : root_;
  }
  for (; i < count; ++i) {
    unsigned ordinary = 1;
    const size_t q = PathOf<B>(rows + i * width, ordinary);
    nodes[i] = ordinary != 0 ? NodeAt(q) : root_;
  }
}

int32_t UnfoldedDiagram::Settle(const std::vector<DiagramStep>& steps, int32_t n) const {
  while (n >= 0) {
    const DiagramStep& step = steps[static_cast<size_t>(n)];
    if (!(step.above == step.above)) return n;
    const Bounds& b = bounds_[static_cast<size_t>(step.var)];
    if (!b.known) return n;
    if (b.lo >= step.above) {
      n = step.nextGreater;
    } else if (b.hi <= step.above) {
      n = step.nextLess;
    } else {
      return n;
    }
  }
  return n;
}

void UnfoldedDiagram::Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t q, int level,
                            std::vector<Slot>* heap) {
  n = Settle(steps, n);
  deepest_ = std::max(deepest_, level);
  Slot* slot = heap != nullptr ? &(*heap)[(size_t{1} << level) - 1 + q] : nullptr;
  if (slot != nullptr) slot->node = n;
  if (n < 0 || (slot != nullptr && level == depth_)) return;
  const DiagramStep& packed = steps[static_cast<size_t>(n)];
  // A node whose lower bound is not lowest_ is decided in full.
  const bool full = !(packed.above == packed.above) || !(packed.atLeast == lowest_);
  if (slot != nullptr) {
    slot->var = packed.var;
    slot->above = full ? std::numeric_limits<double>::quiet_NaN() : packed.above;
  }
  if (full) return;
  if (slot == nullptr) ++tests_[static_cast<size_t>(level)];
  if (level >= limit_) return;  // the walk goes on from n in the diagram
  Bounds& b = bounds_[static_cast<size_t>(packed.var)];
  const Bounds saved = b;
  b.known = true;
  b.hi = std::min(b.hi, packed.above);
  Visit(steps, packed.nextLess, 2 * q, level + 1, heap);
  b = saved;
  b.known = true;
  b.lo = std::max(b.lo, packed.above);
  Visit(steps, packed.nextGreater, 2 * q + 1, level + 1, heap);
  b = saved;
}

}  // namespace KtZembra_940
