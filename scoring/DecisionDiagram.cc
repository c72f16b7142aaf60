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
  Builder(const ModelPlan& plan, bool firstOnly, bool unfold, const std::vector<LeafValue>* leafValues,
          DecisionDiagram& dag)
      : plan_(plan),
        firstOnly_(firstOnly),
        unfold_(unfold),
        leafValues_(leafValues),
        dag_(dag),
        known_(plan.items.size(), 0) {
    // Room for a few nodes per item and rule: a rule set cut from a tree
    // needs about three per leaf; unrelated rules under an all-fired walk
    // would need exponentially many and are left to the lazy walk.
    const size_t size = plan.items.size() + static_cast<size_t>(plan.ruleCount);
    budget_ = std::min<size_t>(kMaxNodes, 4 * size + 64);
    // Steps of work in proportion to the plan, so that a rule set the
    // diagram does not suit costs its first record a bounded multiple of
    // what building the plan cost, before the lazy walk takes over.
    workBudget_ = std::min<size_t>(kMaxWork, kWorkPerEntry * (size + plan.ruleItems.size()) + (size_t{1} << 16));
    if (plan.ruleCount <= kMaxRules) BuildRanges();
  }

  // Rule sets past these sizes are left to the lazy walk. A node costs the
  // build its own changes to the live rules (undone on the way back), not
  // a copy of them, and O(1) per item it looks at; the work bound caps what
  // an adversarial rule set can make the first record pay. A rule set cut
  // from a tree takes about five steps per entry of the plan.
  static constexpr int32_t kMaxRules = int32_t{1} << 18;
  static constexpr size_t kMaxNodes = size_t{1} << 21;
  static constexpr size_t kMaxWork = size_t{1} << 27;
  static constexpr size_t kWorkPerEntry = 32;

  void Build() {
    dag_.nodes_.clear();
    dag_.leafBegin_.assign(1, 0);
    dag_.leafRules_.clear();
    failed_ = plan_.ruleCount > kMaxRules;
    if (!failed_) {
      Start();
      dag_.root_ = Explore(0, 0);
    }
    dag_.usable_ = !failed_;
    dag_.firstOnly_ = firstOnly_;
    if (!failed_) {
      Pack();
      if (unfold_) dag_.unfolded_.Build(dag_.steps_, dag_.root_, leafValues_);
      if (firstOnly_) dag_.leafBegin_.clear();
      const size_t leaves = firstOnly_ ? 0 : dag_.leafBegin_.size() - 1;
      dag_.leafFirst_.assign(leaves, -1);
      for (size_t leaf = 0; leaf < leaves; ++leaf) {
        const int32_t begin = dag_.leafBegin_[leaf];
        if (begin < dag_.leafBegin_[leaf + 1]) dag_.leafFirst_[leaf] = dag_.leafRules_[static_cast<size_t>(begin)];
      }
      dag_.nodes_.shrink_to_fit();
      dag_.leafBegin_.shrink_to_fit();
      dag_.leafRules_.shrink_to_fit();
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
  // itemPoint_ of an item whose variable is not followed, and of one
  // compared with NaN (unordered against every x).
  static constexpr int32_t kNotFollowed = -2;
  static constexpr int32_t kUnordered = -1;

  // Where a variable may still lie: the samples [lo, hi) of its sorted
  // list, and NaN when `nan`.
  struct Range {
    int32_t lo = 0;
    int32_t hi = 0;
    bool nan = true;
  };
  // A variable's range before a narrowing (var -1: nothing was narrowed).
  struct Saved {
    int32_t var = -1;
    Range range;
  };

  // Comparisons on one variable constrain each other: once "x <= 3" is
  // known true, "x > 3" is known false, and so is "x = 5". The values the
  // comparisons of a variable name cut the ordered doubles into regions
  // (the system-missing value, each value, the open stretches between
  // them; NaN apart), on each of which every such comparison has one
  // outcome. Sorted, one sample per region, they give each comparison an
  // outcome that changes only at its own value's sample and at the
  // system-missing value's. Each variable keeps the stretch of samples x
  // may still lie in: an item whose outcome is the same over all of it
  // needs no test. A narrowing that leaves a gap ("x != 3" true) keeps the
  // whole stretch around it, so what is kept may be more than x can be,
  // never less: only outcomes that follow for every double are taken, and
  // the diagram stays exact.
  void BuildRanges() {
    int32_t topVar = -1;
    for (const Item& item : plan_.items) {
      if (item.code <= ModelPlan::kIsNot) topVar = std::max(topVar, item.var);
    }
    const size_t vars = static_cast<size_t>(topVar + 1);
    std::vector<std::vector<double>> samples(vars);
    for (const Item& item : plan_.items) {
      if (item.code <= ModelPlan::kIsNot && item.value == item.value) {
        samples[static_cast<size_t>(item.var)].push_back(item.value);
      }
    }
    ranges_.assign(vars, Range());
    sysmisAt_.assign(vars, -1);
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> sample;
    for (size_t v = 0; v < vars; ++v) {
      std::vector<double>& p = samples[v];
      if (p.empty()) continue;
      p.push_back(eval::kSysmis);
      std::sort(p.begin(), p.end());
      // -0.0 and 0.0 compare equal: one point.
      p.erase(std::unique(p.begin(), p.end(), [](double a, double b) { return a == b; }), p.end());
      sample.clear();
      if (-inf < p.front()) sample.push_back(-inf);
      for (size_t k = 0; k < p.size(); ++k) {
        sample.push_back(p[k]);
        const double above = std::nextafter(p[k], inf);
        if (k + 1 < p.size() ? above < p[k + 1] : above > p[k]) sample.push_back(above);
      }
      p.swap(sample);
      ranges_[v].hi = static_cast<int32_t>(p.size());
      sysmisAt_[v] = At(p, eval::kSysmis);
    }
    itemPoint_.assign(plan_.items.size(), kNotFollowed);
    for (size_t i = 0; i < plan_.items.size(); ++i) {
      const Item& item = plan_.items[i];
      if (item.code > ModelPlan::kIsNot) continue;
      const size_t v = static_cast<size_t>(item.var);
      if (sysmisAt_[v] < 0) continue;
      itemPoint_[i] = item.value == item.value ? At(samples[v], item.value) : kUnordered;
    }
  }

  // The index of `x` (one of them) in the sorted `sample`.
  static int32_t At(const std::vector<double>& sample, double x) {
    return static_cast<int32_t>(std::lower_bound(sample.begin(), sample.end(), x) - sample.begin());
  }

  // Calls visit(first, end, outcome) for each stretch [first, end) of the
  // samples of `r` over which item `id` has one outcome: the outcome
  // changes only at the item's value and at the system-missing value.
  template <class Visit>
  void Stretches(int32_t id, const Range& r, Visit visit) const {
    const Item& item = plan_.items[static_cast<size_t>(id)];
    const int32_t point = itemPoint_[static_cast<size_t>(id)];
    const int32_t sysmis = sysmisAt_[static_cast<size_t>(item.var)];
    const uint8_t mask = ComparisonMask(item.code);
    int32_t cuts[6] = {r.lo, r.hi, point, point + 1, sysmis, sysmis + 1};
    for (int32_t& cut : cuts) cut = std::min(std::max(cut, r.lo), r.hi);
    std::sort(cuts, cuts + 6);
    for (int k = 0; k + 1 < 6; ++k) {
      const int32_t first = cuts[k];
      if (first == cuts[k + 1]) continue;
      const unsigned relation = point < 0 ? 3u : first < point ? 0u : first == point ? 1u : 2u;
      visit(first, cuts[k + 1], ((mask >> (relation + 4u * (first == sysmis))) & 1u) != 0);
    }
  }

  // The outcome of item `id` for x NaN.
  bool NanOutcome(int32_t id) const {
    return ((ComparisonMask(plan_.items[static_cast<size_t>(id)].code) >> 3) & 1u) != 0;
  }

  // 1: the item holds wherever x may still be; 2: it fails everywhere; 0:
  // it depends on the record.
  uint8_t Implied(int32_t id) const {
    if (itemPoint_.empty() || itemPoint_[static_cast<size_t>(id)] == kNotFollowed) return 0;
    const Range& r = ranges_[static_cast<size_t>(plan_.items[static_cast<size_t>(id)].var)];
    bool canHold = false;
    bool canFail = false;
    if (r.nan) (NanOutcome(id) ? canHold : canFail) = true;
    Stretches(id, r, [&](int32_t, int32_t, bool holds) { (holds ? canHold : canFail) = true; });
    if (canHold && !canFail) return 1;
    if (canFail && !canHold) return 2;
    return 0;
  }

  // Narrows the variable's range to where item `id` has `outcome`; returns
  // what it was, for Restore.
  Saved Narrow(int32_t id, bool outcome) {
    Saved saved;
    if (itemPoint_.empty() || itemPoint_[static_cast<size_t>(id)] == kNotFollowed) return saved;
    saved.var = plan_.items[static_cast<size_t>(id)].var;
    Range& r = ranges_[static_cast<size_t>(saved.var)];
    saved.range = r;
    int32_t first = r.hi;
    int32_t end = r.lo;
    Stretches(id, saved.range, [&](int32_t from, int32_t to, bool holds) {
      if (holds != outcome) return;
      first = std::min(first, from);
      end = std::max(end, to);
    });
    if (first >= end) first = end = saved.range.lo;
    r.lo = first;
    r.hi = end;
    r.nan = saved.range.nan && NanOutcome(id) == outcome;
    return saved;
  }

  void Restore(const Saved& saved) {
    if (saved.var >= 0) ranges_[static_cast<size_t>(saved.var)] = saved.range;
  }

  int32_t Leaf() {
    work_ += fired_.size() + 1;
    if (firstOnly_) return ~(fired_.empty() ? 0 : fired_.front() + 1);
    dag_.leafRules_.insert(dag_.leafRules_.end(), fired_.begin(), fired_.end());
    dag_.leafBegin_.push_back(static_cast<int32_t>(dag_.leafRules_.size()));
    return ~static_cast<int32_t>(dag_.leafBegin_.size() - 2);
  }

  // The live rules: bits_ holds a bit per rule in words [0, words_), then a
  // summary bit per word in words [words_, ...): a word whose summary bit
  // is clear holds no live rule, whatever its bits say; one whose summary
  // bit is set holds at least one. Clearing a long run of an item's rules
  // clears summary bits, 64 words at a time, so that a false item near the
  // root of a tree costs its run / 64, and finding the next live rule skips
  // 64 dead words at a time. Every change is logged for Undo.
  void Start() {
    words_ = plan_.initialAlive.size();
    const size_t summary = (words_ + 63) / 64;
    bits_.assign(words_ + summary, 0);
    std::copy(plan_.initialAlive.begin(), plan_.initialAlive.end(), bits_.begin());
    for (size_t w = 0; w < words_; ++w) {
      if (bits_[w] != 0) bits_[words_ + w / 64] |= uint64_t{1} << (w % 64);
    }
    undo_.clear();
    // Per dense item, its longest run of words whose every rule requires it.
    runFirst_.assign(plan_.items.size(), 0);
    runEnd_.assign(plan_.items.size(), 0);
    for (size_t i = 0; i < plan_.items.size(); ++i) {
      const Item& item = plan_.items[i];
      if (item.mask < 0) continue;
      const uint64_t* mask = plan_.denseMasks.data() + item.mask;
      int32_t from = 0;
      for (int32_t j = 0; j <= item.maskWords; ++j) {
        if (j < item.maskWords && mask[j] == ~uint64_t{0}) continue;
        if (j - from > runEnd_[i] - runFirst_[i]) {
          runFirst_[i] = item.maskFirst + from;
          runEnd_[i] = item.maskFirst + j;
        }
        from = j + 1;
      }
    }
  }
  bool Live(size_t w) const { return ((bits_[words_ + w / 64] >> (w % 64)) & 1u) != 0; }
  void Set(size_t index, uint64_t value) {
    undo_.push_back({index, bits_[index]});
    bits_[index] = value;
  }
  // The first word from `w` on that holds a live rule, or words_.
  size_t NextLive(size_t w) {
    if (w >= words_) return words_;
    size_t s = w / 64;
    uint64_t summary = bits_[words_ + s] & (~uint64_t{0} << (w % 64));
    const size_t summaryWords = bits_.size() - words_;
    while (summary == 0) {
      ++work_;
      if (++s == summaryWords) return words_;
      summary = bits_[words_ + s];
    }
    return s * 64 + static_cast<size_t>(__builtin_ctzll(summary));
  }
  // Clears `bits` of word `w` of the live rules.
  void Clear(size_t w, uint64_t bits) {
    if (!Live(w)) return;
    const uint64_t word = bits_[w];
    if ((word & bits) == 0) return;
    Set(w, word & ~bits);
    if (bits_[w] == 0) ClearWords(w, w + 1);
  }
  // Clears every rule of the words [first, end).
  void ClearWords(size_t first, size_t end) {
    while (first < end) {
      const size_t s = first / 64;
      const size_t to = std::min(end, s * 64 + 64);
      const unsigned span = static_cast<unsigned>(to - first);
      const uint64_t run = (span == 64 ? ~uint64_t{0} : (uint64_t{1} << span) - 1) << (first % 64);
      const uint64_t summary = bits_[words_ + s];
      if ((summary & run) != 0) Set(words_ + s, summary & ~run);
      ++work_;
      first = to;
    }
  }
  // What ModelPlan::Kill does to the live rules.
  void Kill(size_t id) {
    const Item& item = plan_.items[id];
    if (item.mask >= 0) {
      const uint64_t* mask = plan_.denseMasks.data() + item.mask;
      const int32_t end = item.maskFirst + item.maskWords;
      work_ += static_cast<size_t>(item.maskWords - (runEnd_[id] - runFirst_[id]));
      for (int32_t j = item.maskFirst; j < end; ++j) {
        if (j == runFirst_[id] && j < runEnd_[id]) {
          ClearWords(static_cast<size_t>(j), static_cast<size_t>(runEnd_[id]));
          j = runEnd_[id] - 1;
          continue;
        }
        Clear(static_cast<size_t>(j), mask[j - item.maskFirst]);
      }
    } else {
      work_ += static_cast<size_t>(item.killEnd - item.killBegin);
      for (int32_t j = item.killBegin; j < item.killEnd; ++j) {
        const int32_t dead = plan_.killRules[static_cast<size_t>(j)];
        Clear(static_cast<size_t>(dead / 64), uint64_t{1} << (dead % 64));
      }
    }
  }
  // Puts the live rules back as they were when the log held `mark` changes.
  void Undo(size_t mark) {
    while (undo_.size() > mark) {
      bits_[undo_.back().word] = undo_.back().value;
      undo_.pop_back();
    }
  }

  // Explores from the live rules, none of which lies in a word before
  // `firstWord`, and leaves them as it found them.
  int32_t Explore(size_t firstWord, int depth) {
    if (failed_ || depth > kMaxDepth || dag_.nodes_.size() + dag_.leafBegin_.size() > budget_ ||
        work_ > workBudget_) {
      failed_ = true;
      return 0;
    }
    const size_t firedBefore = fired_.size();
    const size_t mark = undo_.size();
    int32_t result = 0;
    for (;;) {
      firstWord = NextLive(firstWord);
      ++work_;
      if (firstWord == words_) {
        result = Leaf();
        break;
      }
      const int32_t r = static_cast<int32_t>(firstWord * 64) + __builtin_ctzll(bits_[firstWord]);
      int32_t untested = -1;
      int32_t impliedFalse = -1;
      bool holds = true;
      for (int32_t k = plan_.ruleItemBegin[static_cast<size_t>(r)];
           k < plan_.ruleItemBegin[static_cast<size_t>(r) + 1]; ++k) {
        ++work_;
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
        Clear(static_cast<size_t>(r / 64), uint64_t{1} << (r % 64));
        if (impliedFalse >= 0) {
          // What the lazy walk would learn by testing it: every rule that
          // requires the item is out.
          Kill(static_cast<size_t>(impliedFalse));
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
      Saved saved = Narrow(untested, true);
      const int32_t onTrue = Explore(firstWord, depth + 1);
      Restore(saved);
      known_[static_cast<size_t>(untested)] = 2;
      saved = Narrow(untested, false);
      Kill(static_cast<size_t>(untested));
      Clear(static_cast<size_t>(r / 64), uint64_t{1} << (r % 64));
      const int32_t onFalse = Explore(firstWord, depth + 1);
      Restore(saved);
      known_[static_cast<size_t>(untested)] = 0;
      if (failed_) break;
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
    Undo(mark);
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
  const std::vector<LeafValue>* leafValues_;  // per leaf, for the unfolded tree; may be null
  DecisionDiagram& dag_;
  std::vector<uint8_t> known_;  // per item: 0 untested, 1 true, 2 false
  // Per variable, where x may still lie, and the index of the
  // system-missing value among its samples (-1: the variable is not
  // followed); per comparison item, the index of its value (kNotFollowed,
  // kUnordered).
  std::vector<Range> ranges_;
  std::vector<int32_t> sysmisAt_;
  std::vector<int32_t> itemPoint_;
  std::vector<int32_t> fired_;
  // The live rules of the path being explored, and the log of the words
  // changed along it.
  struct Change {
    size_t word;
    uint64_t value;
  };
  std::vector<uint64_t> bits_;
  size_t words_ = 0;
  std::vector<Change> undo_;
  // Per item with a mask, its run of full words [runFirst_, runEnd_).
  std::vector<int32_t> runFirst_;
  std::vector<int32_t> runEnd_;
  size_t work_ = 0;
  size_t workBudget_ = 0;
  size_t budget_ = 0;
  bool failed_ = false;
};

bool DecisionDiagram::Decide(const ModelPlan& plan, const Node& d, const double* values) const {
  // Equal, unordered (NaN) or system-missing: the outcome mask.
  if (d.simple) return (d.mask >> RelationBit(values[d.var], d.value)) & 1u;
  return plan.Test(plan.items[static_cast<size_t>(d.item)], values);
}

int32_t DecisionDiagram::Walk(const ModelPlan& plan, const double* values) const {
  LeafValue unused;
  bool attached = false;
  return Walk(plan, values, &unused, &attached);
}

int32_t DecisionDiagram::Walk(const ModelPlan& plan, const double* values, LeafValue* value,
                              bool* attached) const {
  // A node that reads no variable still loads one: give it a cell when the
  // record has none.
  const double none = 0.0;
  if (plan.isString.empty()) values = &none;
  *attached = false;
  const int32_t n = unfolded_.empty() ? root_ : unfolded_.Walk(values, value, attached);
  return n < 0 ? ~n : Continue(plan, n, values);
}

int32_t DecisionDiagram::Continue(const ModelPlan& plan, int32_t n, const double* values) const {
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
  // The records that left the ordinary branches (the few with a missing or
  // NaN value where it mattered), or reached the bottom of the unfolded
  // tree on a node, go on through the diagram.
  for (size_t i = 0; i < count; ++i) {
    const int32_t n = leaves[i];
    leaves[i] = n < 0 ? ~n : Continue(plan, n, rows + i * width);
  }
}

void DecisionDiagram::Build(const ModelPlan& plan, bool firstOnly, bool unfold,
                            const std::vector<LeafValue>* leafValues) {
  Builder(plan, firstOnly, unfold, leafValues, *this).Build();
}

size_t DecisionDiagram::MemoryBytes() const {
  return nodes_.size() * (sizeof(Node) + sizeof(DiagramStep)) + unfolded_.MemoryBytes() +
         leafBegin_.size() * 8 + leafRules_.size() * 4;
}

}  // namespace KtZembra_940
