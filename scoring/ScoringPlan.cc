#include "scoring/ScoringPlan.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>
#include <utility>

#include "scoring/ConditionEvaluator.h"

namespace KtZembra_940 {

namespace {

using Condition = RuleSetModel::ST_SIM_Condition;
using Compound = RuleSetModel::ST_COMP_Condition;
using Rule = RuleSetModel::ST_Rule;
namespace eval = ConditionEvaluator;

// Epochs run up to this value, then every stamp is cleared; a stamp holds
// the epoch shifted left by one.
constexpr uint32_t kLastEpoch = 0x7fffffffu;

// Bounds on the region masks of one model: words of rows, and condition
// tests and mask words spent filling them.
constexpr size_t kMaxMaskWords = size_t{1} << 20;
constexpr size_t kMaxMaskWork = size_t{1} << 26;

// The bit of a comparison's outcome mask that applies to x against v: the
// relation (0 less, 1 equal, 2 greater, 3 unordered: a NaN on either side),
// plus 4 when x is the system-missing value.
inline unsigned RelationBit(double x, double v) {
  const unsigned relation = std::isunordered(x, v)
                                ? 3u
                                : static_cast<unsigned>(x == v) + 2u * static_cast<unsigned>(x > v);
  return relation + 4u * static_cast<unsigned>(x == eval::kSysmis);
}

void AppendBytes(std::string& key, const void* data, size_t size) {
  key.append(static_cast<const char*>(data), size);
}

}  // namespace

// Flattens the rules of one model into items and the per-item lists of the
// rules that require them.
class ScoringPlan::Builder {
 public:
  Builder(ModelPlan& plan, const std::vector<bool>& isString) : plan_(plan), isString_(isString) {}

  // Adds the next rule; its items are appended to plan_.ruleItems. Returns
  // false when the rule can never fire.
  bool AddRule(const Rule& rule) {
    ruleItems_.clear();
    ++ruleStamp_;
    bool alive = true;
    if (rule.fixedResult != 0) {
      alive = rule.fixedResult == 1;
    } else if (rule.boolOperator == 1) {
      alive = FlattenAnd(rule);
    } else {
      plan_.rules.push_back(rule);
      Item item;
      item.code = kRule;
      item.source = static_cast<int32_t>(plan_.rules.size() - 1);
      Require(NewItem(item));
    }
    if (alive) plan_.ruleItems.insert(plan_.ruleItems.end(), ruleItems_.begin(), ruleItems_.end());
    plan_.ruleItemBegin.push_back(static_cast<int32_t>(plan_.ruleItems.size()));
    return alive;
  }

  // Builds the kill masks and lists once every rule is in.
  void Finish() {
    const int32_t n = plan_.ruleCount;
    const size_t itemCount = plan_.items.size();
    std::vector<int32_t> counts(itemCount, 0);
    std::vector<int32_t> firstRule(itemCount, -1);
    std::vector<int32_t> lastRule(itemCount, -1);
    for (int32_t r = 0; r < n; ++r) {
      for (int32_t k = plan_.ruleItemBegin[static_cast<size_t>(r)];
           k < plan_.ruleItemBegin[static_cast<size_t>(r) + 1]; ++k) {
        const size_t i = static_cast<size_t>(plan_.ruleItems[static_cast<size_t>(k)]);
        ++counts[i];
        if (firstRule[i] < 0) firstRule[i] = r;
        lastRule[i] = r;
      }
    }
    // Within a rule, the items shared by the most rules come first: for a
    // rule set cut from a tree that is the path from the root down, so a
    // false item drops the largest group of rules as early as possible.
    // The order of the items of an "and" does not change its outcome.
    // Ties keep the rule's own order.
    std::vector<std::pair<int32_t, int32_t>> order;  // (-count, position)
    for (int32_t r = 0; r < n; ++r) {
      const int32_t begin = plan_.ruleItemBegin[static_cast<size_t>(r)];
      const int32_t end = plan_.ruleItemBegin[static_cast<size_t>(r) + 1];
      order.clear();
      for (int32_t k = begin; k < end; ++k) {
        const int32_t id = plan_.ruleItems[static_cast<size_t>(k)];
        order.emplace_back(-counts[static_cast<size_t>(id)], k);
      }
      std::sort(order.begin(), order.end());
      std::vector<int32_t>& sorted = sortScratch_;
      sorted.clear();
      for (const auto& entry : order) sorted.push_back(plan_.ruleItems[static_cast<size_t>(entry.second)]);
      std::copy(sorted.begin(), sorted.end(), plan_.ruleItems.begin() + begin);
    }
    size_t denseTotal = 0;
    int32_t sparseTotal = 0;
    for (size_t i = 0; i < itemCount; ++i) {
      Item& item = plan_.items[i];
      if (counts[i] == 0) continue;
      const int32_t first = firstRule[i] / 64;
      const int32_t span = lastRule[i] / 64 - first + 1;
      // A mask costs eight bytes a word of its span, a list four bytes a
      // rule; take the smaller, which is also the quicker to apply.
      if (counts[i] > 2 * span) {
        item.mask = static_cast<int32_t>(denseTotal);
        item.maskFirst = first;
        item.maskWords = span;
        denseTotal += static_cast<size_t>(span);
      } else {
        item.killBegin = sparseTotal;
        item.killEnd = sparseTotal;
        sparseTotal += counts[i];
      }
    }
    plan_.denseMasks.assign(denseTotal, 0);
    plan_.killRules.assign(static_cast<size_t>(sparseTotal), 0);
    for (int32_t r = 0; r < n; ++r) {
      for (int32_t k = plan_.ruleItemBegin[static_cast<size_t>(r)];
           k < plan_.ruleItemBegin[static_cast<size_t>(r) + 1]; ++k) {
        Item& item = plan_.items[static_cast<size_t>(plan_.ruleItems[static_cast<size_t>(k)])];
        if (item.mask >= 0) {
          plan_.denseMasks[static_cast<size_t>(item.mask + r / 64 - item.maskFirst)] |=
              uint64_t{1} << (r % 64);
        } else {
          plan_.killRules[static_cast<size_t>(item.killEnd++)] = r;
        }
      }
    }
    plan_.stamp.assign(itemCount, 0);
    plan_.alive.assign(static_cast<size_t>(plan_.words), 0);
  }

 private:
  // An "and" over the members of `node` holds exactly when every member
  // holds, so its members become requirements of the rule: nested "and"
  // compounds are flattened in turn, other compounds are kept whole, and a
  // member whose outcome is the same for every record is dropped when true
  // or makes the node false. A member that says nothing (an unknown code)
  // keeps the running result: false when it comes first, which ends the
  // "and", true otherwise. Returns false when the node can never hold.
  template <class Node>
  bool FlattenAnd(const Node& node) {
    if (node.compConditions.empty() && node.conditions.empty()) return false;
    bool first = true;
    for (const Compound& member : node.compConditions) {
      first = false;
      if (member.fixedResult != 0) {
        if (member.fixedResult != 1) return false;
        continue;
      }
      if (member.boolOperator == 1) {
        if (!FlattenAnd(member)) return false;
        continue;
      }
      plan_.compounds.push_back(member);
      Item item;
      item.code = kCompound;
      item.source = static_cast<int32_t>(plan_.compounds.size() - 1);
      Require(NewItem(item));
    }
    const std::vector<int32_t> vars = eval::ConditionVariables(node);
    for (size_t i = 0; i < node.conditions.size(); ++i) {
      const Condition& c = node.conditions[i];
      const bool wasFirst = first;
      first = false;
      eval::Outcome fixed = eval::ConstantOutcome(c);
      if (eval::ReadsRecord(c)) {
        const int32_t var = vars[i];
        if (var >= 0 && static_cast<size_t>(var) < isString_.size()) {
          if (!RequireCondition(c, var)) return false;
          continue;
        }
        // A variable the record does not hold reads as missing for every
        // record: the outcome is known now.
        const eval::Record none{nullptr, 0, &isString_};
        fixed = eval::EvaluateOn(c, -1, none);
      }
      if (fixed == eval::Outcome::kFalse) return false;
      if (fixed == eval::Outcome::kNone && wasFirst) return false;
    }
    return true;
  }

  // Adds the item for a simple or set condition on a registered variable,
  // shared with every other rule that tests the same thing.
  bool RequireCondition(const Condition& c, int32_t var) {
    Item item;
    item.var = var;
    const bool stringVar = isString_[static_cast<size_t>(var)];
    std::string key;
    if (c.isSimple) {
      switch (c.simpleOperator) {
        case SimplePredicate::kEqual: item.code = kEqual; break;
        case SimplePredicate::kNotEqual: item.code = kNotEqual; break;
        case SimplePredicate::kLessThan: item.code = kLess; break;
        case SimplePredicate::kLessOrEqual: item.code = kLessEqual; break;
        case SimplePredicate::kGreaterThan: item.code = kGreater; break;
        case SimplePredicate::kGreaterOrEqual: item.code = kGreaterEqual; break;
        case SimplePredicate::kIsMissing: item.code = kIs; break;
        default: item.code = kIsNot; break;
      }
      item.value = item.code == kIs || item.code == kIsNot ? (stringVar ? -1.0 : eval::kSysmis)
                                                           : c.value;
    } else {
      item.code = c.setOperator == SetPredicate::kIsIn ? kIn : kNotIn;
    }
    key.push_back(static_cast<char>(item.code));
    AppendBytes(key, &var, sizeof var);
    if (item.code == kIn || item.code == kNotIn) {
      for (double v : c.setValues) AppendBytes(key, &v, sizeof v);
    } else {
      AppendBytes(key, &item.value, sizeof item.value);
    }
    auto found = conditionIds_.find(key);
    if (found != conditionIds_.end()) {
      Require(found->second);
      return true;
    }
    if (item.code == kIn || item.code == kNotIn) {
      item.source = static_cast<int32_t>(plan_.setValues.size());
      plan_.setValues.insert(plan_.setValues.end(), c.setValues.begin(), c.setValues.end());
      item.sourceEnd = static_cast<int32_t>(plan_.setValues.size());
    }
    const int32_t id = NewItem(item);
    conditionIds_.emplace(std::move(key), id);
    Require(id);
    return true;
  }

  int32_t NewItem(const Item& item) {
    plan_.items.push_back(item);
    seenInRule_.push_back(0);
    return static_cast<int32_t>(plan_.items.size() - 1);
  }

  // Notes that the current rule requires item `id` (once, however often the
  // rule repeats the condition).
  void Require(int32_t id) {
    uint32_t& seen = seenInRule_[static_cast<size_t>(id)];
    if (seen == ruleStamp_) return;
    seen = ruleStamp_;
    ruleItems_.push_back(id);
  }

  ModelPlan& plan_;
  const std::vector<bool>& isString_;
  std::unordered_map<std::string, int32_t> conditionIds_;
  std::vector<int32_t> ruleItems_;
  std::vector<uint32_t> seenInRule_;  // per item, the last rule (stamp) that required it
  std::vector<int32_t> sortScratch_;
  uint32_t ruleStamp_ = 0;
};

ScoringPlan::ScoringPlan(const std::vector<RuleSetModel::ST_RuleSet*>& ruleSets,
                         const std::vector<int32_t>& ruleCount,
                         const std::vector<bool>& predVarIsString)
    : isString(predVarIsString) {
  models.resize(ruleCount.size());
  for (size_t m = 0; m < ruleCount.size(); ++m) {
    if (m >= ruleSets.size() || ruleSets[m] == nullptr) continue;
    const std::vector<Rule>& rules = ruleSets[m]->rules;
    const int32_t n = std::max<int32_t>(
        0, std::min<int32_t>(ruleCount[m], static_cast<int32_t>(rules.size())));
    if (n == 0) continue;
    auto plan = std::make_unique<ModelPlan>();
    plan->ruleCount = n;
    plan->words = (n + 63) / 64;
    plan->initialAlive.assign(static_cast<size_t>(plan->words), 0);
    plan->ruleItemBegin.push_back(0);
    Builder builder(*plan, isString);
    for (int32_t r = 0; r < n; ++r) {
      if (builder.AddRule(rules[static_cast<size_t>(r)])) {
        plan->initialAlive[static_cast<size_t>(r / 64)] |= uint64_t{1} << (r % 64);
      }
    }
    builder.Finish();
    models[m] = std::move(plan);
  }
}

ScoringPlan::~ScoringPlan() = default;

inline bool ScoringPlan::Test(const ModelPlan& plan, const Item& item, const double* values) const {
  switch (item.code) {
    case kEqual:
      return values[item.var] == item.value;
    case kNotEqual:
      return !(values[item.var] == item.value);
    // The "less" tests exclude the system-missing value, which lies below
    // everything; the "greater" tests need no such care.
    case kLess: {
      const double x = values[item.var];
      return x < item.value && x != eval::kSysmis;
    }
    case kLessEqual: {
      const double x = values[item.var];
      return x <= item.value && x != eval::kSysmis;
    }
    case kGreater:
      return values[item.var] > item.value;
    case kGreaterEqual:
      return values[item.var] >= item.value;
    case kIs:
      return values[item.var] == item.value;
    case kIsNot:
      return !(values[item.var] == item.value);
    case kIn:
    case kNotIn: {
      const double x = values[item.var];
      bool member = false;
      for (int32_t k = item.source; k < item.sourceEnd; ++k) {
        if (plan.setValues[static_cast<size_t>(k)] == x) {
          member = true;
          break;
        }
      }
      return member == (item.code == kIn);
    }
    case kCompound: {
      const eval::Record record{values, isString.size(), &isString};
      return eval::EvaluateCompound(plan.compounds[static_cast<size_t>(item.source)], record);
    }
    default: {
      const eval::Record record{values, isString.size(), &isString};
      return eval::Combine(plan.rules[static_cast<size_t>(item.source)], record);
    }
  }
}

void ScoringPlan::Kill(const ModelPlan& plan, const Item& item, int32_t from, uint64_t* alive) {
  if (item.mask >= 0) {
    const uint64_t* mask = plan.denseMasks.data() + item.mask;
    const int32_t to = item.maskFirst + item.maskWords;
    for (int32_t j = std::max(from, item.maskFirst); j < to; ++j) {
      alive[j] &= ~mask[j - item.maskFirst];
    }
  } else {
    for (int32_t j = item.killBegin; j < item.killEnd; ++j) {
      const int32_t dead = plan.killRules[static_cast<size_t>(j)];
      alive[dead / 64] &= ~(uint64_t{1} << (dead % 64));
    }
  }
}

// Unrolls the lazy walk: the same choice of the next item to test (the
// first untested item of the first live rule), with both outcomes followed.
// Gives up, leaving the diagram unusable, when it grows past its budget or
// a path grows deeper than the recursion may go.
class ScoringPlan::DagBuilder {
 public:
  DagBuilder(const ModelPlan& plan, bool firstOnly, bool unfold, Dag& dag)
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
    dag_.nodes.clear();
    dag_.leafBegin.assign(1, 0);
    dag_.leafRules.clear();
    failed_ = plan_.ruleCount > kMaxRules;
    if (!failed_) dag_.root = Explore(plan_.initialAlive, 0);
    dag_.usable = !failed_;
    if (!failed_) {
      Pack();
      if (unfold_) Unfold();
      const size_t leaves = dag_.leafBegin.size() - 1;
      dag_.leafFirst.assign(leaves, -1);
      for (size_t leaf = 0; leaf < leaves; ++leaf) {
        const int32_t begin = dag_.leafBegin[leaf];
        if (begin < dag_.leafBegin[leaf + 1]) dag_.leafFirst[leaf] = dag_.leafRules[static_cast<size_t>(begin)];
      }
    }
    if (failed_) {
      dag_.heap = std::vector<HeapStep>();
      dag_.steps = std::vector<DagStep>();
      dag_.nodes = std::vector<DagNode>();
      dag_.leafBegin = std::vector<int32_t>();
      dag_.leafRules = std::vector<int32_t>();
      dag_.leafFirst = std::vector<int32_t>();
    }
    dag_.built = true;
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
      if (item.code <= kIsNot) topVar = std::max(topVar, item.var);
    }
    const size_t vars = static_cast<size_t>(topVar + 1);
    std::vector<std::vector<double>> points(vars);
    for (const Item& item : plan_.items) {
      if (item.code <= kIsNot && item.value == item.value) {
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
      if (item.code <= kIsNot) needed += regionWords_[static_cast<size_t>(item.var)];
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
      if (item.code > kIsNot) continue;
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
    dag_.leafRules.insert(dag_.leafRules.end(), fired_.begin(), fired_.end());
    dag_.leafBegin.push_back(static_cast<int32_t>(dag_.leafRules.size()));
    return ~static_cast<int32_t>(dag_.leafBegin.size() - 2);
  }

  int32_t Explore(std::vector<uint64_t> alive, int depth) {
    if (failed_ || depth > kMaxDepth || dag_.nodes.size() + dag_.leafBegin.size() > budget_) {
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
          Kill(plan_, plan_.items[static_cast<size_t>(impliedFalse)], 0, alive.data());
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
      const int32_t node = static_cast<int32_t>(dag_.nodes.size());
      dag_.nodes.emplace_back();
      known_[static_cast<size_t>(untested)] = 1;
      std::vector<uint64_t> saved = Narrow(untested, true);
      const int32_t onTrue = Explore(alive, depth + 1);
      Restore(untested, saved);
      known_[static_cast<size_t>(untested)] = 2;
      saved = Narrow(untested, false);
      Kill(plan_, item, 0, alive.data());
      alive[static_cast<size_t>(r / 64)] &= ~(uint64_t{1} << (r % 64));
      const int32_t onFalse = Explore(std::move(alive), depth + 1);
      Restore(untested, saved);
      known_[static_cast<size_t>(untested)] = 0;
      if (failed_) return 0;
      DagNode& d = dag_.nodes[static_cast<size_t>(node)];
      d.item = untested;
      d.var = item.var;
      d.value = item.value;
      d.next[0] = onFalse;
      d.next[1] = onTrue;
      d.mask = ComparisonMask(item.code);
      d.simple = item.code <= kIsNot;
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
    dag_.steps.assign(dag_.nodes.size(), DagStep());
    for (size_t k = 0; k < dag_.nodes.size(); ++k) {
      const DagNode& d = dag_.nodes[k];
      DagStep& step = dag_.steps[k];
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

  // Deepest the unfolded tree may be (levels below the root): 2^12 - 1 slots.
  static constexpr int kMaxHeapDepth = 11;

  // Unfolds the diagram along its ordinary branches. Below such a branch
  // the variable is known to be an ordinary number (not NaN, not the
  // system-missing value) within bounds, which settles later comparisons
  // of it: those are passed over, so the tree stays about as deep as the
  // tree the rules were cut from. Records that leave the ordinary
  // branches continue in the folded diagram.
  void Unfold() {
    dag_.heap.clear();
    int32_t vars = 0;
    for (const DagStep& step : dag_.steps) vars = std::max(vars, step.var + 1);
    bounds_.assign(static_cast<size_t>(vars), Bounds());
    deepest_ = 0;
    if (!Visit(dag_.root, 0, 0, false)) return;
    dag_.heap.assign((size_t{2} << deepest_) - 1, HeapStep());
    Visit(dag_.root, 0, 0, true);
  }

  struct Bounds {
    double lo = -std::numeric_limits<double>::infinity();  // x > lo
    double hi = std::numeric_limits<double>::infinity();   // x <= hi
    bool known = false;  // x is an ordinary number within them
  };

  // The node the record reaches from n without a test the bounds leave open.
  int32_t Settle(int32_t n) const {
    while (n >= 0) {
      const DagStep& step = dag_.steps[static_cast<size_t>(n)];
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

  // Places node n at `slot` (on heap level `level`) and what follows it on
  // its ordinary branches; with `write` false only measures the depth.
  // False when the tree gets too deep.
  bool Visit(int32_t n, size_t slot, int level, bool write) {
    n = Settle(n);
    deepest_ = std::max(deepest_, level);
    if (write) dag_.heap[slot].node = n;
    if (n < 0) return true;
    const DagStep& packed = dag_.steps[static_cast<size_t>(n)];
    HeapStep* step = write ? &dag_.heap[slot] : nullptr;
    if (step != nullptr) {
      step->var = packed.var;
      step->above = packed.above;
      step->atLeast = packed.atLeast;
    }
    if (!(packed.above == packed.above)) return true;  // always decided in full
    if (level >= kMaxHeapDepth) return false;
    Bounds& b = bounds_[static_cast<size_t>(packed.var)];
    const Bounds saved = b;
    b.known = true;
    b.hi = std::min(b.hi, packed.above);
    const bool less = Visit(packed.nextLess, 2 * slot + 1, level + 1, write);
    b = saved;
    b.known = true;
    b.lo = std::max(b.lo, packed.above);
    const bool greater = less && Visit(packed.nextGreater, 2 * slot + 2, level + 1, write);
    b = saved;
    return greater;
  }

  static bool Outcome(uint8_t mask, double x, double v) {
    return (mask >> RelationBit(x, v)) & 1u;
  }

  // Outcome bits by relation (0 less, 1 equal, 2 greater, 3 unordered),
  // plus 4 when x is the system-missing value.
  static uint8_t ComparisonMask(TestCode code) {
    constexpr uint8_t kLessBits = 0x01, kEqualBits = 0x22, kGreaterBits = 0x44;
    switch (code) {
      case kEqual:
      case kIs:
        return kEqualBits;
      case kNotEqual:
      case kIsNot:
        return static_cast<uint8_t>(~kEqualBits);
      case kLess:
        return kLessBits;  // never for the system-missing value
      case kLessEqual:
        return kLessBits | 0x02;
      case kGreater:
        return kGreaterBits;
      case kGreaterEqual:
        return kGreaterBits | kEqualBits;
      default:
        return 0;
    }
  }

  const ModelPlan& plan_;
  const bool firstOnly_;
  const bool unfold_;
  Dag& dag_;
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
  std::vector<Bounds> bounds_;  // per variable, while unfolding
  int deepest_ = 0;
  size_t budget_ = 0;
  bool failed_ = false;
};

ScoringPlan::ModelPlan* ScoringPlan::PlanOf(int m) {
  if (m < 0 || static_cast<size_t>(m) >= models.size()) return nullptr;
  ModelPlan* plan = models[static_cast<size_t>(m)].get();
  return plan != nullptr && plan->words != 0 ? plan : nullptr;
}

bool ScoringPlan::Decide(const ModelPlan& plan, const DagNode& d, const double* values) const {
  // Equal, unordered (NaN) or system-missing: the outcome mask.
  if (d.simple) return (d.mask >> RelationBit(values[d.var], d.value)) & 1u;
  return Test(plan, plan.items[static_cast<size_t>(d.item)], values);
}

int32_t ScoringPlan::WalkDag(const ModelPlan& plan, const Dag& dag, const double* values) const {
  // A node that reads no variable still loads one: give it a cell when the
  // record has none.
  const double none = 0.0;
  if (isString.empty()) values = &none;
  int32_t n = dag.root;
  if (!dag.heap.empty()) {
    const HeapStep* heap = dag.heap.data();
    size_t k = 0;
    for (;;) {
      const HeapStep& step = heap[k];
      if (step.node < 0) return ~step.node;
      const double x = values[step.var];
      if (x > step.above) {
        k = 2 * k + 2;
      } else if (x >= step.atLeast) {
        k = 2 * k + 1;
      } else {
        // Off the ordinary branches: on through the folded diagram.
        const DagNode& d = dag.nodes[static_cast<size_t>(step.node)];
        n = d.next[Decide(plan, d, values) ? 1 : 0];
        break;
      }
    }
  }
  const DagStep* steps = dag.steps.data();
  while (n >= 0) {
    const DagStep& step = steps[n];
    const double x = values[step.var];
    if (x > step.above) {
      n = step.nextGreater;
    } else if (x >= step.atLeast) {
      n = step.nextLess;
    } else {
      const DagNode& d = dag.nodes[static_cast<size_t>(n)];
      n = d.next[Decide(plan, d, values) ? 1 : 0];
    }
  }
  return ~n;
}

void ScoringPlan::FiredRules(int m, const double* values, bool firstOnly,
                             std::vector<int32_t>& fired) {
  fired.clear();
  ModelPlan* plan = PlanOf(m);
  if (plan == nullptr) return;
  if (firstOnly) {
    const int32_t first = FirstFiredRule(m, values);
    if (first >= 0) fired.push_back(first);
    return;
  }
  Dag& dag = plan->dags[0];
  if (walk != Walk::kLazy && !dag.built) DagBuilder(*plan, false, walk == Walk::kBest, dag).Build();
  if (walk == Walk::kLazy || !dag.usable) {
    WalkLazily(*plan, values, &fired);
    return;
  }
  const size_t leaf = static_cast<size_t>(WalkDag(*plan, dag, values));
  fired.insert(fired.end(), dag.leafRules.begin() + dag.leafBegin[leaf],
               dag.leafRules.begin() + dag.leafBegin[leaf + 1]);
}

int32_t ScoringPlan::FirstFiredRule(int m, const double* values) {
  ModelPlan* plan = PlanOf(m);
  if (plan == nullptr) return -1;
  Dag& dag = plan->dags[1];
  if (walk != Walk::kLazy && !dag.built) DagBuilder(*plan, true, walk == Walk::kBest, dag).Build();
  if (walk == Walk::kLazy || !dag.usable) return WalkLazily(*plan, values, nullptr);
  return dag.leafFirst[static_cast<size_t>(WalkDag(*plan, dag, values))];
}

int32_t ScoringPlan::WalkLazily(ModelPlan& plan, const double* values,
                                std::vector<int32_t>* fired) {
  const int32_t words = plan.words;
  if (!plan.covered) CoverVariables(plan);
  if (++plan.epoch > kLastEpoch) {
    std::fill(plan.stamp.begin(), plan.stamp.end(), 0);
    plan.epoch = 1;
  }
  const uint32_t known = plan.epoch << 1;
  uint32_t* stamp = plan.stamp.data();
  const Item* items = plan.items.data();
  const int32_t* ruleItemBegin = plan.ruleItemBegin.data();
  const int32_t* ruleItems = plan.ruleItems.data();
  uint64_t* alive = plan.alive.data();
  const int32_t* ruleTestEnd = plan.ruleTestEnd.data();
  std::memcpy(alive, plan.initialAlive.data(), static_cast<size_t>(words) * sizeof(uint64_t));
  const size_t slots = plan.rows.size();
  const uint64_t** rows = plan.rows.data();
  if (slots != 0) plan.regions.Select(values, rows);

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
        if (Test(plan, item, values)) {
          stamp[id] = known | 1u;
          continue;
        }
        stamp[id] = known;
        holds = false;
        Kill(plan, item, w, alive);
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

void ScoringPlan::CoverVariables(ModelPlan& plan) const {
  const int32_t n = plan.ruleCount;
  plan.covered = true;
  plan.ruleTestEnd.assign(plan.ruleItemBegin.begin() + 1, plan.ruleItemBegin.end());
  // The values each variable is compared with, and its items.
  int32_t topVar = -1;
  for (const Item& item : plan.items) {
    if (item.code <= kNotIn) topVar = std::max(topVar, item.var);
  }
  if (topVar < 0) return;
  const size_t vars = static_cast<size_t>(topVar) + 1;
  std::vector<std::vector<double>> points(vars);
  std::vector<std::vector<int32_t>> itemsOf(vars);
  std::vector<size_t> killCost(vars, 0);
  for (size_t i = 0; i < plan.items.size(); ++i) {
    const Item& item = plan.items[i];
    if (item.code > kNotIn || item.var < 0) continue;
    const size_t v = static_cast<size_t>(item.var);
    itemsOf[v].push_back(static_cast<int32_t>(i));
    killCost[v] += static_cast<size_t>(item.mask >= 0 ? item.maskWords : item.killEnd - item.killBegin);
    if (item.code == kIn || item.code == kNotIn) {
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
  plan.regions = RegionMasks(plan.words);
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return points[a].size() < points[b].size() || (points[a].size() == points[b].size() && a < b);
  });
  const size_t sizeBudget = std::min<size_t>(
      kMaxMaskWords, std::max<size_t>(size_t{1} << 14, 32 * (static_cast<size_t>(n) + plan.items.size())));
  size_t usedWords = 0;
  size_t usedWork = 0;
  std::vector<uint8_t> covered(plan.items.size(), 0);
  std::vector<double> values(isString.size() > vars ? isString.size() : vars, 0.0);
  for (size_t v : order) {
    const size_t rowWords = plan.regions.RowWords(points[v].size());
    const size_t work = RegionMasks::RegionsFor(points[v].size()) * (killCost[v] + itemsOf[v].size());
    if (usedWords + rowWords > sizeBudget || usedWork + work > kMaxMaskWork) continue;
    usedWords += rowWords;
    usedWork += work;
    const int32_t slot = plan.regions.Add(static_cast<int32_t>(v), points[v]);
    for (int32_t region = 0; region < plan.regions.RegionCount(slot); ++region) {
      double x = 0.0;
      if (!plan.regions.Sample(slot, region, x)) continue;  // no record lands there
      values[v] = x;
      uint64_t* row = plan.regions.Row(slot, region);
      for (int32_t id : itemsOf[v]) {
        const Item& item = plan.items[static_cast<size_t>(id)];
        if (!Test(plan, item, values.data())) Kill(plan, item, 0, row);
      }
    }
    for (int32_t id : itemsOf[v]) covered[static_cast<size_t>(id)] = 1;
  }
  plan.rows.assign(static_cast<size_t>(plan.regions.SlotCount()), nullptr);
  // Per rule, the items left to test first; the covered ones after them
  // (their outcome is known for every rule the masks keep).
  for (int32_t r = 0; r < n; ++r) {
    auto begin = plan.ruleItems.begin() + plan.ruleItemBegin[static_cast<size_t>(r)];
    auto end = plan.ruleItems.begin() + plan.ruleItemBegin[static_cast<size_t>(r) + 1];
    auto mid = std::stable_partition(begin, end, [&](int32_t id) { return covered[static_cast<size_t>(id)] == 0; });
    plan.ruleTestEnd[static_cast<size_t>(r)] = static_cast<int32_t>(mid - plan.ruleItems.begin());
  }
}

int ScoringPlan::ItemCount(int m) const {
  if (m < 0 || static_cast<size_t>(m) >= models.size() || !models[static_cast<size_t>(m)]) return 0;
  return static_cast<int>(models[static_cast<size_t>(m)]->items.size());
}

size_t ScoringPlan::MemoryBytes() const {
  size_t bytes = sizeof(*this) + isString.size() / 8;
  for (const auto& plan : models) {
    if (!plan) continue;
    bytes += sizeof(ModelPlan) + plan->initialAlive.size() * 8 * 2 +
             plan->ruleItemBegin.size() * 4 + plan->ruleItems.size() * 4 +
             plan->items.size() * (sizeof(Item) + sizeof(uint32_t)) + plan->setValues.size() * 8 +
             plan->denseMasks.size() * 8 + plan->killRules.size() * 4 +
             plan->compounds.size() * sizeof(Compound) + plan->rules.size() * sizeof(Rule) +
             plan->ruleTestEnd.size() * 4 + plan->regions.MemoryBytes() + plan->rows.size() * 8;
    for (const Dag& dag : plan->dags) {
      bytes += dag.nodes.size() * (sizeof(DagNode) + sizeof(DagStep)) +
               dag.heap.size() * sizeof(HeapStep) + dag.leafBegin.size() * 8 +
               dag.leafRules.size() * 4;
    }
  }
  return bytes;
}

}  // namespace KtZembra_940
