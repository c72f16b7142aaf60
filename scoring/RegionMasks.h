// Per-variable rule masks: the values a rule set compares one variable with
// cut the doubles into regions (each value, the open stretches between
// them, NaN) on each of which every comparison of that variable has one
// outcome. For every region the table keeps the rules that survive it: those
// none of whose conditions on the variable fails there. Scoring a record is
// then a lookup of each variable's region and an "and" of the rows found,
// with no branch that depends on the record.
//
// The table is filled by its owner, which knows the conditions: it adds a
// variable with its values, asks for each region's sample value and clears,
// in the region's row, the rules whose condition fails on that sample.
#ifndef RULESCORE_SCORING_REGIONMASKS_H_
#define RULESCORE_SCORING_REGIONMASKS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace KtZembra_940 {

class RegionMasks {
 public:
  explicit RegionMasks(int32_t words = 0) : words_(words) {}

  // Regions of a variable with `points` distinct values: below, at and
  // between them, above them, and NaN.
  static size_t RegionsFor(size_t points) { return 2 * points + 2; }

  // Adds variable `var` cut at `points` (distinct, sorted, no NaN, at least
  // one); every row starts with every rule alive. Returns the variable's slot.
  int32_t Add(int32_t var, const std::vector<double>& points);

  int32_t SlotCount() const { return static_cast<int32_t>(slots_.size()); }
  int32_t RegionCount(int32_t slot) const {
    return static_cast<int32_t>(RegionsFor(static_cast<size_t>(slots_[static_cast<size_t>(slot)].count)));
  }
  // A value lying in the region; false when no double does (two adjacent
  // doubles have nothing between them).
  bool Sample(int32_t slot, int32_t region, double& x) const;
  // The row of a region: `words` words, one bit per rule.
  uint64_t* Row(int32_t slot, int32_t region) {
    return rows_.data() + RowOffset(slots_[static_cast<size_t>(slot)], region);
  }

  // For the record `values`, the row of each slot's region, in slot order.
  void Select(const double* values, const uint64_t** rows) const {
    for (const Slot& slot : slots_) {
      rows[&slot - slots_.data()] = rows_.data() + RowOffset(slot, Region(slot, values[slot.var]));
    }
  }

  size_t MemoryBytes() const {
    return slots_.size() * sizeof(Slot) + points_.size() * sizeof(double) + rows_.size() * 8;
  }
  // Words of rows a variable with `points` values costs.
  size_t RowWords(size_t points) const { return RegionsFor(points) * static_cast<size_t>(words_); }

 private:
  struct Slot {
    int32_t var = 0;
    int32_t count = 0;  // values
    size_t pointBegin = 0;  // into points_, followed by a NaN sentinel
    size_t rowBegin = 0;    // into rows_
  };

  size_t RowOffset(const Slot& slot, int32_t region) const {
    return slot.rowBegin + static_cast<size_t>(region) * static_cast<size_t>(words_);
  }

  // Region 2i + 1 is the value points[i]; region 2i the stretch below it
  // (above points[i - 1]); region 2n the stretch above every value; 2n + 1
  // NaN. The search takes the same steps for every x.
  int32_t Region(const Slot& slot, double x) const {
    const double* p = points_.data() + slot.pointBegin;
    size_t below;  // values less than x
    if (slot.count <= kLinearSearch) {
      below = 0;
      for (int32_t k = 0; k < slot.count; ++k) below += p[k] < x;
    } else {
      const double* base = p;
      size_t n = static_cast<size_t>(slot.count);
      while (n > 1) {
        const size_t half = n / 2;
        base = base[half] < x ? base + half : base;
        n -= half;
      }
      below = static_cast<size_t>(base - p) + (*base < x);
    }
    // The sentinel after the last value is NaN, equal to nothing.
    const int32_t region = static_cast<int32_t>(2 * below) + (p[below] == x);
    return x == x ? region : 2 * slot.count + 1;
  }

  static constexpr int32_t kLinearSearch = 8;

  int32_t words_;
  std::vector<Slot> slots_;
  std::vector<double> points_;
  std::vector<uint64_t> rows_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_REGIONMASKS_H_
