#include "scoring/UnfoldedDiagram.h"

#include <algorithm>

namespace KtZembra_940 {

void UnfoldedDiagram::Build(const std::vector<DiagramStep>& steps, int32_t root) {
  heap_.clear();
  int32_t vars = 0;
  for (const DiagramStep& step : steps) vars = std::max(vars, step.var + 1);
  bounds_.assign(static_cast<size_t>(vars), Bounds());
  deepest_ = 0;
  depth_ = 0;
  limit_ = kSmallDepth;
  while (limit_ < kMaxDepth && (size_t{4} << limit_) - 1 <= kSlotsPerNode * steps.size()) ++limit_;
  Visit(steps, root, 0, 0, false);
  heap_.assign((size_t{2} << deepest_) - 1, Slot());
  Visit(steps, root, 0, 0, true);
  depth_ = deepest_;
  // Every record walks depth_ levels: a leaf above the bottom passes any
  // number on to its left child, a copy of itself. A NaN leaves the
  // ordinary branches there, which only sends it to Descend.
  const double inf = std::numeric_limits<double>::infinity();
  const size_t inner = (size_t{1} << depth_) - 1;  // slots above the bottom level
  for (size_t k = 0; k < inner; ++k) {
    Slot& slot = heap_[k];
    if (slot.node >= 0) continue;
    slot.var = 0;
    slot.above = inf;
    slot.atLeast = -inf;
    heap_[2 * k + 1].node = slot.node;
  }
  bounds_ = std::vector<Bounds>();
}

int32_t UnfoldedDiagram::Descend(const double* values) const {
  const Slot* heap = heap_.data();
  size_t k = 0;
  for (int level = 0;; ++level) {
    const Slot& step = heap[k];
    if (step.node < 0 || level == depth_) return step.node;
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

void UnfoldedDiagram::WalkRows(const double* rows, size_t width, size_t count, int32_t* nodes) const {
  // Lanes records at a time: their walks are independent, so the loads of
  // one lane overlap those of the others.
  constexpr size_t kLanes = 8;
  const Slot* heap = heap_.data();
  const int depth = depth_;
  size_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const double* base = rows + i * width;
    size_t k[kLanes];
    bool ordinary[kLanes];
    for (size_t j = 0; j < kLanes; ++j) {
      k[j] = 0;
      ordinary[j] = true;
    }
    for (int level = 0; level < depth; ++level) {
      for (size_t j = 0; j < kLanes; ++j) {
        const Slot& step = heap[k[j]];
        const double x = base[j * width + static_cast<size_t>(step.var)];
        ordinary[j] &= x >= step.atLeast;
        k[j] = 2 * k[j] + 1 + static_cast<size_t>(x > step.above);
      }
    }
    for (size_t j = 0; j < kLanes; ++j) {
      nodes[i + j] = ordinary[j] ? heap[k[j]].node : Descend(base + j * width);
    }
  }
  for (; i < count; ++i) {
    const double* values = rows + i * width;
    size_t k = 0;
    bool ordinary = true;
    for (int level = 0; level < depth; ++level) {
      const Slot& step = heap[k];
      const double x = values[step.var];
      ordinary &= x >= step.atLeast;
      k = 2 * k + 1 + static_cast<size_t>(x > step.above);
    }
    nodes[i] = ordinary ? heap[k].node : Descend(values);
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

void UnfoldedDiagram::Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t slot, int level,
                            bool write) {
  n = Settle(steps, n);
  deepest_ = std::max(deepest_, level);
  if (write) heap_[slot].node = n;
  if (n < 0) return;
  const DiagramStep& packed = steps[static_cast<size_t>(n)];
  if (write) {
    Slot& step = heap_[slot];
    step.var = packed.var;
    step.above = packed.above;
    step.atLeast = packed.atLeast;
  }
  if (!(packed.above == packed.above)) return;  // always decided in full
  if (level >= limit_) return;  // the walk goes on from n in the diagram
  Bounds& b = bounds_[static_cast<size_t>(packed.var)];
  const Bounds saved = b;
  b.known = true;
  b.hi = std::min(b.hi, packed.above);
  Visit(steps, packed.nextLess, 2 * slot + 1, level + 1, write);
  b = saved;
  b.known = true;
  b.lo = std::max(b.lo, packed.above);
  Visit(steps, packed.nextGreater, 2 * slot + 2, level + 1, write);
  b = saved;
}

}  // namespace KtZembra_940
