#include "scoring/UnfoldedDiagram.h"

#include <algorithm>

namespace KtZembra_940 {

void UnfoldedDiagram::Build(const std::vector<DiagramStep>& steps, int32_t root) {
  heap_.clear();
  int32_t vars = 0;
  for (const DiagramStep& step : steps) vars = std::max(vars, step.var + 1);
  bounds_.assign(static_cast<size_t>(vars), Bounds());
  deepest_ = 0;
  if (Visit(steps, root, 0, 0, false)) {
    heap_.assign((size_t{2} << deepest_) - 1, Slot());
    Visit(steps, root, 0, 0, true);
  }
  bounds_ = std::vector<Bounds>();
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

bool UnfoldedDiagram::Visit(const std::vector<DiagramStep>& steps, int32_t n, size_t slot, int level,
                            bool write) {
  n = Settle(steps, n);
  deepest_ = std::max(deepest_, level);
  if (write) heap_[slot].node = n;
  if (n < 0) return true;
  const DiagramStep& packed = steps[static_cast<size_t>(n)];
  if (write) {
    Slot& step = heap_[slot];
    step.var = packed.var;
    step.above = packed.above;
    step.atLeast = packed.atLeast;
  }
  if (!(packed.above == packed.above)) return true;  // always decided in full
  if (level >= kMaxDepth) return false;
  Bounds& b = bounds_[static_cast<size_t>(packed.var)];
  const Bounds saved = b;
  b.known = true;
  b.hi = std::min(b.hi, packed.above);
  const bool less = Visit(steps, packed.nextLess, 2 * slot + 1, level + 1, write);
  b = saved;
  b.known = true;
  b.lo = std::max(b.lo, packed.above);
  const bool greater = less && Visit(steps, packed.nextGreater, 2 * slot + 2, level + 1, write);
  b = saved;
  return greater;
}

}  // namespace KtZembra_940
