#include "scoring/ModelPlan.h"

#include <algorithm>
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

void AppendBytes(std::string& key, const void* data, size_t size) {
  key.append(static_cast<const char*>(data), size);
}

}  // namespace

// Flattens the rules of one model into items and the per-item lists of the
// rules that require them.
class ModelPlan::Builder {
 public:
  explicit Builder(ModelPlan& plan) : plan_(plan), isString_(plan.isString) {}

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

ModelPlan::ModelPlan(const std::vector<Rule>& ruleList, int32_t n, const std::vector<bool>& predVarIsString)
    : isString(predVarIsString), ruleCount(n), words((n + 63) / 64) {
  initialAlive.assign(static_cast<size_t>(words), 0);
  ruleItemBegin.push_back(0);
  Builder builder(*this);
  for (int32_t r = 0; r < n; ++r) {
    if (builder.AddRule(ruleList[static_cast<size_t>(r)])) {
      initialAlive[static_cast<size_t>(r / 64)] |= uint64_t{1} << (r % 64);
    }
  }
  builder.Finish();
}

bool ModelPlan::Test(const Item& item, const double* values) const {
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
        if (setValues[static_cast<size_t>(k)] == x) {
          member = true;
          break;
        }
      }
      return member == (item.code == kIn);
    }
    case kCompound: {
      const eval::Record record{values, isString.size(), &isString};
      return eval::EvaluateCompound(compounds[static_cast<size_t>(item.source)], record);
    }
    default: {
      const eval::Record record{values, isString.size(), &isString};
      return eval::Combine(rules[static_cast<size_t>(item.source)], record);
    }
  }
}

void ModelPlan::Kill(const Item& item, int32_t from, uint64_t* alive) const {
  if (item.mask >= 0) {
    const uint64_t* mask = denseMasks.data() + item.mask;
    const int32_t to = item.maskFirst + item.maskWords;
    for (int32_t j = std::max(from, item.maskFirst); j < to; ++j) {
      alive[j] &= ~mask[j - item.maskFirst];
    }
  } else {
    for (int32_t j = item.killBegin; j < item.killEnd; ++j) {
      const int32_t dead = killRules[static_cast<size_t>(j)];
      alive[dead / 64] &= ~(uint64_t{1} << (dead % 64));
    }
  }
}

size_t ModelPlan::MemoryBytes() const {
  return sizeof(*this) + initialAlive.size() * 8 + ruleItemBegin.size() * 4 + ruleItems.size() * 4 +
         items.size() * sizeof(Item) + setValues.size() * 8 + denseMasks.size() * 8 +
         killRules.size() * 4 + compounds.size() * sizeof(Compound) + rules.size() * sizeof(Rule);
}

}  // namespace KtZembra_940
