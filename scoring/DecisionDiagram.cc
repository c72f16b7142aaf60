#include "scoring/DecisionDiagram.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "scoring/ConditionEvaluator.h"

namespace KtZembra_940 {

namespace {

using Item = ModelPlan::Item;
using TestCode = ModelPlan::TestCode;
namespace eval = ConditionEvaluator;

// The bit of a comparison's outcome mask that applies to x against v: the
// relation (0 less, 1 equal, 2 greater, 3 unordered: a NaN on either side),
// plus 4 when x is the system-missing value.
inline unsigned RelationBit(double x, double v) {
  const unsigned relation = std::isunordered(x, v)
                                ? 3u
                                : static_cast<unsigned>(x == v) + 2u * static_cast<unsigned>(x > v);
  return relation + 4u * static_cast<unsigned>(x == eval::kSysmis);
}

}  // namespace

// Unrolls the lazy walk: the same choice of the next item to test (the
// first untested item of the first live rule), with both outcomes followed.
// Gives up, leaving the diagram unusable, when it grows past its budget or
// a path grows deeper than the recursion may go.
class DecisionDiagram::Builder {
 public:
  Builder(const ModelPlan& plan, bool firstOnly, bool unfold, DecisionDiagram& dag)
      : plan_(plan), firstOnly_(firstOnly), unfold_(unfold), dag_(dag), known_(plan.items.size(), 0) {
    // Room for a few nodes per item and rule: a rule set cut from a tree
    // needs about three per leaf; unrelated rules under an all-fired walk
    // would need exponentially many and are left to the lazy walk.
    const size_t size = plan.items.size() + static_cast<size_t>(plan.ruleCount);
    budget_ = std::min<size_t>(kMaxNodes, 4 * size + 64);
    if (plan.ruleCount <= kMaxRules) BuildRegions();
  }

  // Large rule sets are left to the lazy walk: unrolling them would cost
  // the first record too much.
  static constexpr int32_t kMaxRules = 4096;
  static constexpr size_t kMaxNodes = size_t{1} << 17;

  void Build() {
    dag_.nodes_.clear();
    dag_.leafBegin_.assign(1, 0);
    dag_.leafRules_.clear();
    failed_ = plan_.ruleCount > kMaxRules;
    if (!failed_) dag_.root_ = Explore(plan_.initialAlive, 0);
    dag_.usable_ = !failed_;
    if (!failed_) {
      Pack();
      if (unfold_) dag_.unfolded_.Build(dag_.steps_, dag_.root_);
      const size_t leaves = dag_.leafBegin_.size() - 1;
      dag_.leafFirst_.assign(leaves, -1);
      for (size_t leaf = 0; leaf < leaves; ++leaf) {
        const int32_t begin = dag_.leafBegin_[leaf];
        if (begin < dag_.leafBegin_[leaf + 1]) dag_.leafFirst_[leaf] = dag_.leafRules_[static_cast<size_t>(begin)];
      }
    }
    if (failed_) {
      dag_.unfolded_ = UnfoldedDiagram();
      dag_.steps_ = std::vector<DiagramStep>();
      dag_.nodes_ = std::vector<Node>();
      dag_.leafBegin_ = std::vector<int32_t>();
      dag_.leafRules_ = std::vector<int32_t>();
      dag_.leafFirst_ = std::vector<int32_t>();
    }
    dag_.built_ = true;
  }

 private:
  static constexpr int kMaxDepth = 400;
  // Bound on the words of region sets the analysis may hold.
  static constexpr size_t kMaxRegionWords = size_t{1} << 20;

  // Comparisons on one variable constrain each other: once "x <= 3" is
  // known true, "x > 3" is known false, and so is "x = 5". The values the
  // comparisons of a variable name cut the doubles into regions (NaN, the
  // system-missing value, each value, the open stretches between them), on
  // each of which every such comparison has one outcome. Each variable
  // keeps the set of regions x may still lie in; an item whose outcome is
  // the same over all of them needs no test. Only outcomes that follow for
  // every double are taken, so the diagram stays exact.
  void BuildRegions() {
    int32_t topVar = -1;
    for (const Item& item : plan_.items) {
      if (item.code <= ModelPlan::kIsNot) topVar = std::max(topVar, item.var);
    }
    const size_t vars = static_cast<size_t>(topVar + 1);
    std::vector<std::vector<double>> points(vars);
    for (const Item& item : plan_.items) {
      if (item.code <= ModelPlan::kIsNot && item.value == item.value) {
        points[static_cast<size_t>(item.var)].push_back(item.value);
      }
    }
    regionFirst_.assign(vars, 0);
    regionWords_.assign(vars, 0);
    std::vector<std::vector<double>> samples(vars);
    size_t total = 0;
    for (size_t v = 0; v < vars; ++v) {
      std::vector<double>& p = points[v];
      if (p.empty()) continue;
      p.push_back(eval::kSysmis);
      std::sort(p.begin(), p.end());
      // -0.0 and 0.0 compare equal: one point.
      p.erase(std::unique(p.begin(), p.end(), [](double a, double b) { return a == b; }), p.end());
      std::vector<double>& sample = samples[v];
      sample.push_back(std::numeric_limits<double>::quiet_NaN());
      const double inf = std::numeric_limits<double>::infinity();
      if (-inf < p.front()) sample.push_back(-inf);
      for (size_t k = 0; k < p.size(); ++k) {
        sample.push_back(p[k]);
        const double above = std::nextafter(p[k], inf);
        if (k + 1 < p.size() ? above < p[k + 1] : above > p[k]) sample.push_back(above);
      }
      regionFirst_[v] = total;
      regionWords_[v] = (sample.size() + 63) / 64;
      total += regionWords_[v];
    }
    size_t needed = total;
    for (const Item& item : plan_.items) {
      if (item.code <= ModelPlan::kIsNot) needed += regionWords_[static_cast<size_t>(item.var)];
    }
    if (needed > kMaxRegionWords) {
      // Too many distinct values to follow: no implications, and the
      // diagram is likely to outgrow its budget and leave it to the lazy walk.
      regionWords_.assign(vars, 0);
      return;
    }
    possible_.assign(total, 0);
    truth_.clear();
    truthFirst_.assign(plan_.items.size(), -1);
    for (size_t v = 0; v < vars; ++v) {
      for (size_t k = 0; k < samples[v].size(); ++k) {
        possible_[regionFirst_[v] + k / 64] |= uint64_t{1} << (k % 64);
      }
    }
    for (size_t i = 0; i < plan_.items.size(); ++i) {
      const Item& item = plan_.items[i];
      if (item.code > ModelPlan::kIsNot) continue;
      const size_t v = static_cast<size_t>(item.var);
      if (regionWords_[v] == 0) continue;
      truthFirst_[i] = static_cast<int32_t>(truth_.size());
      truth_.resize(truth_.size() + regionWords_[v], 0);
      const uint8_t mask = ComparisonMask(item.code);
      for (size_t k = 0; k < samples[v].size(); ++k) {
        if (Outcome(mask, samples[v][k], item.value)) {
          truth_[static_cast<size_t>(truthFirst_[i]) + k / 64] |= uint64_t{1} << (k % 64);
        }
      }
    }
  }

  // 1: the item holds wherever x may still be; 2: it fails everywhere; 0:
  // it depends on the record.
  uint8_t Implied(int32_t id) const {
    const int32_t t = truthFirst_.empty() ? -1 : truthFirst_[static_cast<size_t>(id)];
    if (t < 0) return 0;
    const size_t v = static_cast<size_t>(plan_.items[static_cast<size_t>(id)].var);
    bool canHold = false;
    bool canFail = false;
    for (size_t w = 0; w < regionWords_[v]; ++w) {
      const uint64_t may = possible_[regionFirst_[v] + w];
      const uint64_t holds = truth_[static_cast<size_t>(t) + w];
      canHold = canHold || (may & holds) != 0;
      canFail = canFail || (may & ~holds) != 0;
    }
    if (canHold && !canFail) return 1;
    if (canFail && !canHold) return 2;
    return 0;
  }

  // Narrows the variable's regions to those where item `id` has `outcome`;
  // returns what they were, for Restore.
  std::vector<uint64_t> Narrow(int32_t id, bool outcome) {
    const int32_t t = truthFirst_.empty() ? -1 : truthFirst_[static_cast<size_t>(id)];
    if (t < 0) return {};
    const size_t v = static_cast<size_t>(plan_.items[static_cast<size_t>(id)].var);
    const auto first = possible_.begin() + static_cast<long>(regionFirst_[v]);
    std::vector<uint64_t> saved(first, first + static_cast<long>(regionWords_[v]));
    for (size_t w = 0; w < regionWords_[v]; ++w) {
      const uint64_t holds = truth_[static_cast<size_t>(t) + w];
      possible_[regionFirst_[v] + w] &= outcome ? holds : ~holds;
    }
    return saved;
  }

  void Restore(int32_t id, const std::vector<uint64_t>& saved) {
    if (saved.empty()) return;
    const size_t v = static_cast<size_t>(plan_.items[static_cast<size_t>(id)].var);
    std::copy(saved.begin(), saved.end(), possible_.begin() + static_cast<long>(regionFirst_[v]));
  }

  int32_t Leaf() {
    dag_.leafRules_.insert(dag_.leafRules_.end(), fired_.begin(), fired_.end());
    dag_.leafBegin_.push_back(static_cast<int32_t>(dag_.leafRules_.size()));
    return ~static_cast<int32_t>(dag_.leafBegin_.size() - 2);
  }

  int32_t Explore(std::vector<uint64_t> alive, int depth) {
    if (failed_ || depth > kMaxDepth || dag_.nodes_.size() + dag_.leafBegin_.size() > budget_) {
      failed_ = true;
      return 0;
    }
    const size_t firedBefore = fired_.size();
    int32_t result = 0;
    for (;;) {
      int32_t r = -1;
      for (size_t w = 0; w < alive.size(); ++w) {
        if (alive[w] != 0) {
          r = static_cast<int32_t>(w * 64) + __builtin_ctzll(alive[w]);
          break;
        }
      }
      if (r < 0) {
        result = Leaf();
        break;
      }
      int32_t untested = -1;
      int32_t impliedFalse = -1;
      bool holds = true;
      for (int32_t k = plan_.ruleItemBegin[static_cast<size_t>(r)];
           k < plan_.ruleItemBegin[static_cast<size_t>(r) + 1]; ++k) {
        const int32_t id = plan_.ruleItems[static_cast<size_t>(k)];
        uint8_t state = known_[static_cast<size_t>(id)];
        if (state == 0) state = Implied(id);
        if (state == 1) continue;
        if (state == 2) {
          holds = false;
          impliedFalse = id;
          break;
        }
        untested = id;
        break;
      }
      if (untested < 0) {
        alive[static_cast<size_t>(r / 64)] &= ~(uint64_t{1} << (r % 64));
        if (impliedFalse >= 0) {
          // What the lazy walk would learn by testing it: every rule that
          // requires the item is out.
          plan_.Kill(plan_.items[static_cast<size_t>(impliedFalse)], 0, alive.data());
        }
        if (!holds) continue;
        fired_.push_back(r);
        if (firstOnly_) {
          result = Leaf();
          break;
        }
        continue;
      }
      const Item& item = plan_.items[static_cast<size_t>(untested)];
      const int32_t node = static_cast<int32_t>(dag_.nodes_.size());
      dag_.nodes_.emplace_back();
      known_[static_cast<size_t>(untested)] = 1;
      std::vector<uint64_t> saved = Narrow(untested, true);
      const int32_t onTrue = Explore(alive, depth + 1);
      Restore(untested, saved);
      known_[static_cast<size_t>(untested)] = 2;
      saved = Narrow(untested, false);
      plan_.Kill(item, 0, alive.data());
      alive[static_cast<size_t>(r / 64)] &= ~(uint64_t{1} << (r % 64));
      const int32_t onFalse = Explore(std::move(alive), depth + 1);
      Restore(untested, saved);
      known_[static_cast<size_t>(untested)] = 0;
      if (failed_) return 0;
      Node& d = dag_.nodes_[static_cast<size_t>(node)];
      d.item = untested;
      d.var = item.var;
      d.value = item.value;
      d.next[0] = onFalse;
      d.next[1] = onTrue;
      d.mask = ComparisonMask(item.code);
      d.simple = item.code <= ModelPlan::kIsNot;
      d.nextGreater = d.next[(d.mask >> 2) & 1u];
      d.nextLess = d.next[d.mask & 1u];
      result = node;
      break;
    }
    fired_.resize(firedBefore);
    return result;
  }

  // The walk's view of each node. A comparison whose outcome for x equal
  // to its value is that of the values below it tests x > value; one where
  // it is that of the values above tests x > the double just below the
  // value (x >= value). Either way the lower branch takes x from the least
  // double above the system-missing value up; what is left (NaN, the
  // system-missing value, minus infinity, and every other kind of node) is
  // decided in full.
  void Pack() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double aboveMissing = std::nextafter(eval::kSysmis, inf);
    dag_.steps_.assign(dag_.nodes_.size(), DiagramStep());
    for (size_t k = 0; k < dag_.nodes_.size(); ++k) {
      const Node& d = dag_.nodes_[k];
      DiagramStep& step = dag_.steps_[k];
      step.above = nan;
      step.atLeast = nan;
      step.nextGreater = d.nextGreater;
      step.nextLess = d.nextLess;
      if (!d.simple) continue;
      step.var = d.var;
      const bool less = d.mask & 1u;
      const bool equal = (d.mask >> 1) & 1u;
      const bool greater = (d.mask >> 2) & 1u;
      double above = nan;
      if (equal == less) {
        above = d.value;
      } else if (equal == greater) {
        above = std::nextafter(d.value, -inf);
      }
      // A NaN value, or one at the very bottom, is decided in full.
      if (!(above >= eval::kSysmis)) continue;
      step.above = above;
      step.atLeast = aboveMissing;
    }
  }

  static bool Outcome(uint8_t mask, double x, double v) {
    return (mask >> RelationBit(x, v)) & 1u;
  }

  // Outcome bits by relation (0 less, 1 equal, 2 greater, 3 unordered),
  // plus 4 when x is the system-missing value.
  static uint8_t ComparisonMask(TestCode code) {
    constexpr uint8_t kLessBits = 0x01, kEqualBits = 0x22, kGreaterBits = 0x44;
    switch (code) {
      case ModelPlan::kEqual:
      case ModelPlan::kIs:
        return kEqualBits;
      case ModelPlan::kNotEqual:
      case ModelPlan::kIsNot:
        return static_cast<uint8_t>(~kEqualBits);
      case ModelPlan::kLess:
        return kLessBits;  // never for the system-missing value
      case ModelPlan::kLessEqual:
        return kLessBits | 0x02;
      case ModelPlan::kGreater:
        return kGreaterBits;
      case ModelPlan::kGreaterEqual:
        return kGreaterBits | kEqualBits;
      default:
        return 0;
    }
  }

  const ModelPlan& plan_;
  const bool firstOnly_;
  const bool unfold_;
  DecisionDiagram& dag_;
  std::vector<uint8_t> known_;  // per item: 0 untested, 1 true, 2 false
  // Regions of each variable: words [regionFirst_[v], + regionWords_[v])
  // of possible_ (none when the variable has no comparison); per
  // comparison item, the regions where it holds, from truth_[truthFirst_].
  std::vector<size_t> regionFirst_;
  std::vector<size_t> regionWords_;
  std::vector<uint64_t> possible_;
  std::vector<uint64_t> truth_;
  std::vector<int32_t> truthFirst_;
  std::vector<int32_t> fired_;
  size_t budget_ = 0;
  bool failed_ = false;
};

bool DecisionDiagram::Decide(const ModelPlan& plan, const Node& d, const double* values) const {
  // Equal, unordered (NaN) or system-missing: the outcome mask.
  if (d.simple) return (d.mask >> RelationBit(values[d.var], d.value)) & 1u;
  return plan.Test(plan.items[static_cast<size_t>(d.item)], values);
}

int32_t DecisionDiagram::Walk(const ModelPlan& plan, const double* values) const {
  // A node that reads no variable still loads one: give it a cell when the
  // record has none.
  const double none = 0.0;
  if (plan.isString.empty()) values = &none;
  int32_t n = root_;
  if (!unfolded_.empty()) {
    n = unfolded_.Walk(values);
    if (n < 0) return ~n;
    // Off the ordinary branches: on through the folded diagram.
    const Node& d = nodes_[static_cast<size_t>(n)];
    n = d.next[Decide(plan, d, values) ? 1 : 0];
  }
  const DiagramStep* steps = steps_.data();
  while (n >= 0) {
    const DiagramStep& step = steps[n];
    const double x = values[step.var];
    if (x > step.above) {
      n = step.nextGreater;
    } else if (x >= step.atLeast) {
      n = step.nextLess;
    } else {
      const Node& d = nodes_[static_cast<size_t>(n)];
      n = d.next[Decide(plan, d, values) ? 1 : 0];
    }
  }
  return ~n;
}

void DecisionDiagram::WalkRows(const ModelPlan& plan, const double* rows, size_t width, size_t count,
                               int32_t* leaves) const {
  if (unfolded_.empty() || plan.isString.empty()) {
    for (size_t i = 0; i < count; ++i) leaves[i] = Walk(plan, rows + i * width);
    return;
  }
  unfolded_.WalkRows(rows, width, count, leaves);
  // The records that left the ordinary branches, the few with a missing
  // or NaN value where it mattered.
  for (size_t i = 0; i < count; ++i) {
    if (leaves[i] < 0) leaves[i] = Walk(plan, rows + i * width);
  }
}

void DecisionDiagram::Build(const ModelPlan& plan, bool firstOnly, bool unfold) {
  Builder(plan, firstOnly, unfold, *this).Build();
}

size_t DecisionDiagram::MemoryBytes() const {
  return nodes_.size() * (sizeof(Node) + sizeof(DiagramStep)) + unfolded_.MemoryBytes() +
         leafBegin_.size() * 8 + leafRules_.size() * 4;
}

}  // namespace KtZembra_940
