#include "scoring/LazyWalk.h"

#include <algorithm>
#include <cstring>

#include "scoring/ConditionEvaluator.h"

namespace KtZembra_940 {

namespace {

using Item = ModelPlan::Item;
namespace eval = ConditionEvaluator;

// Epochs run up to this value, then every stamp is cleared; a stamp holds
// the epoch shifted left by one.
constexpr uint32_t kLastEpoch = 0x7fffffffu;

// Bounds on the region masks of one model: words of rows, and condition
// tests and mask words spent filling them.
constexpr size_t kMaxMaskWords = size_t{1} << 20;
constexpr size_t kMaxMaskWork = size_t{1} << 26;

}  // namespace

LazyWalk::LazyWalk(ModelPlan& plan)
    : plan_(plan), alive_(static_cast<size_t>(plan.words), 0), stamp_(plan.items.size(), 0) {}

int32_t LazyWalk::Walk(const double* values, std::vector<int32_t>* fired) {
  const ModelPlan& plan = plan_;
  const int32_t words = plan.words;
  if (!covered_) CoverVariables();
  if (++epoch_ > kLastEpoch) {
    std::fill(stamp_.begin(), stamp_.end(), 0);
    epoch_ = 1;
  }
  const uint32_t known = epoch_ << 1;
  uint32_t* stamp = stamp_.data();
  const Item* items = plan.items.data();
  const int32_t* ruleItemBegin = plan.ruleItemBegin.data();
  const int32_t* ruleItems = plan.ruleItems.data();
  uint64_t* alive = alive_.data();
  const int32_t* ruleTestEnd = ruleTestEnd_.data();
  std::memcpy(alive, plan.initialAlive.data(), static_cast<size_t>(words) * sizeof(uint64_t));
  const size_t slots = rows_.size();
  const uint64_t** rows = rows_.data();
  if (slots != 0) regions_.Select(values, rows);

  for (int32_t w = 0; w < words; ++w) {
    // The rules no condition on a covered variable rules out.
    uint64_t survivors = alive[w];
    for (size_t s = 0; s < slots; ++s) survivors &= rows[s][w];
    alive[w] = survivors;
    while (alive[w] != 0) {
      const int32_t r = w * 64 + __builtin_ctzll(alive[w]);
      alive[w] &= alive[w] - 1;
      bool holds = true;
      for (int32_t k = ruleItemBegin[r]; k < ruleTestEnd[r]; ++k) {
        const int32_t id = ruleItems[k];
        // Each item is tested at most once per record; later rules that
        // require it read the remembered outcome.
        const uint32_t seen = stamp[id];
        if ((seen & ~1u) == known) {
          if (seen & 1u) continue;
          holds = false;  // not for a live rule: it went with the item
          break;
        }
        const Item& item = items[id];
        if (plan.Test(item, values)) {
          stamp[id] = known | 1u;
          continue;
        }
        stamp[id] = known;
        holds = false;
        plan.Kill(item, w, alive);
        break;
      }
      if (holds) {
        if (fired == nullptr) return r;
        fired->push_back(r);
      }
    }
  }
  return -1;
}

void LazyWalk::CoverVariables() {
  ModelPlan& plan = plan_;
  const int32_t n = plan.ruleCount;
  covered_ = true;
  ruleTestEnd_.assign(plan.ruleItemBegin.begin() + 1, plan.ruleItemBegin.end());
  // The values each variable is compared with, and its items.
  int32_t topVar = -1;
  for (const Item& item : plan.items) {
    if (item.code <= ModelPlan::kNotIn) topVar = std::max(topVar, item.var);
  }
  if (topVar < 0) return;
  const size_t vars = static_cast<size_t>(topVar) + 1;
  std::vector<std::vector<double>> points(vars);
  std::vector<std::vector<int32_t>> itemsOf(vars);
  std::vector<size_t> killCost(vars, 0);
  for (size_t i = 0; i < plan.items.size(); ++i) {
    const Item& item = plan.items[i];
    if (item.code > ModelPlan::kNotIn || item.var < 0) continue;
    const size_t v = static_cast<size_t>(item.var);
    itemsOf[v].push_back(static_cast<int32_t>(i));
    killCost[v] += static_cast<size_t>(item.mask >= 0 ? item.maskWords : item.killEnd - item.killBegin);
    if (item.code == ModelPlan::kIn || item.code == ModelPlan::kNotIn) {
      for (int32_t k = item.source; k < item.sourceEnd; ++k) {
        points[v].push_back(plan.setValues[static_cast<size_t>(k)]);
      }
    } else {
      points[v].push_back(item.value);
    }
  }
  std::vector<size_t> order;
  for (size_t v = 0; v < vars; ++v) {
    if (itemsOf[v].empty()) continue;
    std::vector<double>& p = points[v];
    // A NaN value compares false with every x: the outcome is the same in
    // every region and cuts nothing. The system-missing value is always a
    // cut, so that no stretch holds it together with ordinary values.
    p.erase(std::remove_if(p.begin(), p.end(), [](double x) { return x != x; }), p.end());
    p.push_back(eval::kSysmis);
    std::sort(p.begin(), p.end());
    // -0.0 and 0.0 compare equal: one value.
    p.erase(std::unique(p.begin(), p.end(), [](double a, double b) { return a == b; }), p.end());
    order.push_back(v);
  }
  // The cheapest tables first, while the budget lasts: memory for the rows,
  // and the work of filling them.
  regions_ = RegionMasks(plan.words);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return points[a].size() < points[b].size() || (points[a].size() == points[b].size() && a < b);
  });
  const size_t sizeBudget = std::min<size_t>(
      kMaxMaskWords, std::max<size_t>(size_t{1} << 14, 32 * (static_cast<size_t>(n) + plan.items.size())));
  size_t usedWords = 0;
  size_t usedWork = 0;
  std::vector<uint8_t> covered(plan.items.size(), 0);
  std::vector<double> values(plan.isString.size() > vars ? plan.isString.size() : vars, 0.0);
  for (size_t v : order) {
    const size_t rowWords = regions_.RowWords(points[v].size());
    const size_t work = RegionMasks::RegionsFor(points[v].size()) * (killCost[v] + itemsOf[v].size());
    if (usedWords + rowWords > sizeBudget || usedWork + work > kMaxMaskWork) continue;
    usedWords += rowWords;
    usedWork += work;
    const int32_t slot = regions_.Add(static_cast<int32_t>(v), points[v]);
    for (int32_t region = 0; region < regions_.RegionCount(slot); ++region) {
      double x = 0.0;
      if (!regions_.Sample(slot, region, x)) continue;  // no record lands there
      values[v] = x;
      uint64_t* row = regions_.Row(slot, region);
      for (int32_t id : itemsOf[v]) {
        const Item& item = plan.items[static_cast<size_t>(id)];
        if (!plan.Test(item, values.data())) plan.Kill(item, 0, row);
      }
    }
    for (int32_t id : itemsOf[v]) covered[static_cast<size_t>(id)] = 1;
  }
  rows_.assign(static_cast<size_t>(regions_.SlotCount()), nullptr);
  // Per rule, the items left to test first; the covered ones after them
  // (their outcome is known for every rule the masks keep).
  for (int32_t r = 0; r < n; ++r) {
    auto begin = plan.ruleItems.begin() + plan.ruleItemBegin[static_cast<size_t>(r)];
    auto end = plan.ruleItems.begin() + plan.ruleItemBegin[static_cast<size_t>(r) + 1];
    auto mid = std::stable_partition(begin, end, [&](int32_t id) { return covered[static_cast<size_t>(id)] == 0; });
    ruleTestEnd_[static_cast<size_t>(r)] = static_cast<int32_t>(mid - plan.ruleItems.begin());
  }
}

size_t LazyWalk::MemoryBytes() const {
  return alive_.size() * 8 + stamp_.size() * sizeof(uint32_t) + ruleTestEnd_.size() * 4 +
         regions_.MemoryBytes() + rows_.size() * 8;
}

}  // namespace KtZembra_940
