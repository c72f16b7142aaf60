#include "scoring/UnfoldedDiagram.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace KtZembra_940 {

void UnfoldedDiagram::Build(const std::vector<DiagramStep>& steps, int32_t root) {
  slots_.clear();
  bands_.clear();
  bottom_.clear();
  int32_t vars = 0;
  for (const DiagramStep& step : steps) vars = std::max(vars, step.var + 1);
  bounds_.assign(static_cast<size_t>(vars), Bounds());
  lowest_ = std::numeric_limits<double>::quiet_NaN();
  for (const DiagramStep& step : steps) {
    if (step.atLeast == step.atLeast) {
      lowest_ = step.atLeast;
      break;
    }
  }
  deepest_ = 0;
  depth_ = -1;  // not known while measuring
  limit_ = kSmallDepth;
  while (limit_ < kMaxDepth && (size_t{4} << limit_) - 1 <= kSlotsPerNode * steps.size()) ++limit_;
  Visit(steps, root, 0, 0, false);
  depth_ = deepest_;
  // Bands under a top band of what is left over, so that only the root's
  // block may be partly used; each band's blocks start on a whole block.
  const int height = depth_ > kCachedDepth ? 3 : 2;
  bandOf_.assign(static_cast<size_t>(depth_), 0);
  size_t slots = 0;
  for (int level = 0; level < depth_;) {
    Band band;
    band.first = slots;
    band.top = level;
    band.levels = level == 0 && depth_ % height != 0 ? depth_ % height : height;
    for (int l = level; l < level + band.levels; ++l) bandOf_[static_cast<size_t>(l)] = static_cast<int>(bands_.size());
    slots += ((size_t{1} << level << band.levels) + 7) / 8 * 8;
    bands_.push_back(band);
    level += band.levels;
  }
  constexpr size_t kAlign = 128;
  slots_.assign(slots + kAlign / sizeof(Slot), Slot());
  const size_t address = reinterpret_cast<uintptr_t>(slots_.data());
  start_ = address % sizeof(Slot) == 0 ? (kAlign - address % kAlign) % kAlign / sizeof(Slot) : 0;
  bottom_.assign(size_t{1} << depth_, -1);
  Visit(steps, root, 0, 0, true);
  // Every record walks depth_ levels: a leaf, or a node decided in full
  // (a NaN bound, as is every slot no node was placed in), above the
  // bottom passes any number on to its left child, which becomes a copy of
  // it. A NaN leaves the ordinary branches there, which only sends it to
  // Descend.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (int level = 0; level < depth_; ++level) {
    for (size_t q = 0; q < (size_t{1} << level); ++q) {
      Slot& slot = SlotAt(level, q);
      if (slot.node >= 0 && slot.above == slot.above) continue;
      slot.var = level == 0 ? 0 : SlotAt(level - 1, q / 2).var;
      slot.above = inf;
      if (level + 1 == depth_) {
        bottom_[2 * q] = slot.node;
      } else {
        Slot& left = SlotAt(level + 1, 2 * q);
        left.node = slot.node;
        left.above = nan;
      }
    }
  }
  bounds_ = std::vector<Bounds>();
  bandOf_ = std::vector<int>();
}

UnfoldedDiagram::Slot& UnfoldedDiagram::SlotAt(int level, size_t q) {
  const Band& band = bands_[static_cast<size_t>(bandOf_[static_cast<size_t>(level)])];
  const int j = level - band.top;
  const size_t within = size_t{1} << j;
  const size_t slot = band.first + ((q >> j) << band.levels) + within - 1 + (q & (within - 1));
  return slots_[start_ + slot];
}

int32_t UnfoldedDiagram::Descend(const double* values) const {
  const Slot* slots = slots_.data() + start_;
  size_t q = 0;
  for (const Band& band : bands_) {
    const Slot* block = slots + band.first + (q << band.levels);
    unsigned j = 0;
    for (int level = 0; level < band.levels; ++level) {
      const Slot& step = block[j];
      if (step.node < 0) return step.node;
      const double x = values[step.var];
      if (x > step.above) {
        j = 2 * j + 2;
      } else if (x >= lowest_) {
        j = 2 * j + 1;
      } else {
        return step.node;
      }
    }
    q = (q << band.levels) + (j - ((1u << band.levels) - 1));
  }
  return bottom_[q];
}

namespace {

// One band of the block walk for `lanes` records side by side: from the
// block of path q[k] of the band at `first`, record k (at base + k * width)
// takes the band's levels one by one. The band is a compile-time constant,
// so that the loops unroll, and inlined, so that q and ordinary stay in
// registers.
template <int levels, size_t lanes, class Slot>
inline void BandRows(const Slot* first, const double* base, size_t width, double lowest, size_t* q,
                     bool* ordinary) {
  const Slot* block[lanes];
  unsigned j[lanes];
  for (size_t k = 0; k < lanes; ++k) {
    block[k] = first + (q[k] << levels);
    j[k] = 0;
  }
  for (int level = 0; level < levels; ++level) {
    for (size_t k = 0; k < lanes; ++k) {
      const Slot& step = block[k][j[k]];
      const double x = base[k * width + static_cast<size_t>(step.var)];
      ordinary[k] &= x >= lowest;
      j[k] = 2 * j[k] + 1 + static_cast<unsigned>(x > step.above);
    }
  }
  for (size_t k = 0; k < lanes; ++k) q[k] = (q[k] << levels) + (j[k] - ((1u << levels) - 1));
}

}  // namespace

void UnfoldedDiagram::WalkRows(const double* rows, size_t width, size_t count, int32_t* nodes) const {
  // Lanes records at a time: their walks are independent, so the loads of
  // one lane overlap those of the others.
  constexpr size_t kLanes = 8;
  const Slot* slots = slots_.data() + start_;
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
      const Slot* first = slots + band.first;
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
    for (size_t k = 0; k < kLanes; ++k) {
      nodes[i + k] = ordinary[k] ? bottom_[q[k]] : Descend(base + k * width);
    }
  }
  for (; i < count; ++i) nodes[i] = Walk(rows + i * width);
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

void UnfoldedDiagram::Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t q, int level, bool write) {
  n = Settle(steps, n);
  deepest_ = std::max(deepest_, level);
  if (write && level == depth_) {
    bottom_[q] = n;
    return;
  }
  if (write) SlotAt(level, q).node = n;
  if (n < 0) return;
  const DiagramStep& packed = steps[static_cast<size_t>(n)];
  // A node whose lower bound is not lowest_ is decided in full.
  const bool full = !(packed.above == packed.above) || !(packed.atLeast == lowest_);
  if (write) {
    Slot& step = SlotAt(level, q);
    step.var = packed.var;
    step.above = full ? std::numeric_limits<double>::quiet_NaN() : packed.above;
  }
  if (full) return;
  if (level >= limit_) return;  // the walk goes on from n in the diagram
  Bounds& b = bounds_[static_cast<size_t>(packed.var)];
  const Bounds saved = b;
  b.known = true;
  b.hi = std::min(b.hi, packed.above);
  Visit(steps, packed.nextLess, 2 * q, level + 1, write);
  b = saved;
  b.known = true;
  b.lo = std::max(b.lo, packed.above);
  Visit(steps, packed.nextGreater, 2 * q + 1, level + 1, write);
  b = saved;
}

}  // namespace KtZembra_940
