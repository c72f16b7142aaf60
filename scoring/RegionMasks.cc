#include "scoring/RegionMasks.h"

#include <cmath>
#include <limits>

namespace KtZembra_940 {

int32_t RegionMasks::Add(int32_t var, const std::vector<double>& points) {
  Slot slot;
  slot.var = var;
  slot.count = static_cast<int32_t>(points.size());
  slot.pointBegin = points_.size();
  slot.rowBegin = rows_.size();
  points_.insert(points_.end(), points.begin(), points.end());
  points_.push_back(std::numeric_limits<double>::quiet_NaN());
  rows_.resize(rows_.size() + RowWords(points.size()), ~uint64_t{0});
  slots_.push_back(slot);
  return static_cast<int32_t>(slots_.size() - 1);
}

bool RegionMasks::Sample(int32_t slotIndex, int32_t region, double& x) const {
  const Slot& slot = slots_[static_cast<size_t>(slotIndex)];
  const double* p = points_.data() + slot.pointBegin;
  const int32_t n = slot.count;
  const double inf = std::numeric_limits<double>::infinity();
  if (region == 2 * n + 1) {
    x = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (region % 2 == 1) {
    x = p[region / 2];
    return true;
  }
  const int32_t i = region / 2;  // the stretch below p[i], or above all when i == n
  if (i == n) {
    x = inf;
    return p[n - 1] < inf;
  }
  if (i == 0) {
    x = -inf;
    return -inf < p[0];
  }
  x = std::nextafter(p[i - 1], inf);
  return x < p[i];
}

}  // namespace KtZembra_940
