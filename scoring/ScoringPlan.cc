#include "scoring/ScoringPlan.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

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

// Identity of a simple or set condition: two conditions with the same key
// give the same answer for every record.
std::string ConditionKey(const Condition& c, int32_t var) {
  std::string key;
  const char kind = c.isSimple ? 's' : 'S';
  key.push_back(kind);
  AppendBytes(key, &var, sizeof var);
  if (c.isSimple) {
    AppendBytes(key, &c.simpleOperator, sizeof c.simpleOperator);
    AppendBytes(key, &c.value, sizeof c.value);
  } else {
    AppendBytes(key, &c.setOperator, sizeof c.setOperator);
    for (double v : c.setValues) AppendBytes(key, &v, sizeof v);
  }
  return key;
}

}  // namespace

// Flattens the rules of one model into items and the per-item lists of the
// rules that require them.
class ScoringPlan::Builder {
 public:
  explicit Builder(ModelPlan& plan) : plan_(plan) {}

  // Adds rule r; its items are appended to plan_.ruleItems. Returns false
  // when the rule can never fire.
  bool AddRule(const Rule& rule) {
    ruleItems_.clear();
    bool alive = true;
    if (rule.fixedResult != 0) {
      alive = rule.fixedResult == 1;
    } else if (rule.boolOperator == 1) {
      alive = FlattenAnd(rule);
    } else {
      plan_.rules.push_back(rule);
      Require(ItemKind::kRule, -1, static_cast<int32_t>(plan_.rules.size() - 1));
    }
    if (alive) plan_.ruleItems.insert(plan_.ruleItems.end(), ruleItems_.begin(), ruleItems_.end());
    plan_.ruleItemBegin.push_back(static_cast<int32_t>(plan_.ruleItems.size()));
    return alive;
  }

  // Builds the kill lists once every rule is in.
  void Finish() {
    const int32_t n = plan_.ruleCount;
    const size_t itemCount = plan_.items.size();
    std::vector<int32_t> counts(itemCount, 0);
    for (int32_t item : plan_.ruleItems) ++counts[static_cast<size_t>(item)];
    int32_t sparseTotal = 0;
    int32_t denseCount = 0;
    for (size_t i = 0; i < itemCount; ++i) {
      // A bit set costs `words` words; a list four bytes per rule. Take the
      // smaller, so that the plan never holds more than the rule lists.
      if (counts[i] > 2 * plan_.words) {
        plan_.items[i].denseMask = denseCount++ * plan_.words;
      } else {
        plan_.items[i].killBegin = sparseTotal;
        sparseTotal += counts[i];
        plan_.items[i].killEnd = plan_.items[i].killBegin;
      }
    }
    plan_.denseMasks.assign(static_cast<size_t>(denseCount) * static_cast<size_t>(plan_.words), 0);
    plan_.killRules.assign(static_cast<size_t>(sparseTotal), 0);
    for (int32_t r = 0; r < n; ++r) {
      for (int32_t k = plan_.ruleItemBegin[static_cast<size_t>(r)];
           k < plan_.ruleItemBegin[static_cast<size_t>(r) + 1]; ++k) {
        Item& item = plan_.items[static_cast<size_t>(plan_.ruleItems[static_cast<size_t>(k)])];
        if (item.denseMask >= 0) {
          plan_.denseMasks[static_cast<size_t>(item.denseMask) + static_cast<size_t>(r / 64)] |=
              uint64_t{1} << (r % 64);
        } else {
          plan_.killRules[static_cast<size_t>(item.killEnd++)] = r;
        }
      }
    }
    plan_.stamp.assign(itemCount, 0);
    plan_.outcome.assign(itemCount, 0);
    plan_.alive.assign(static_cast<size_t>(plan_.words), 0);
  }

 private:
  // An "and" over the members of `node` holds exactly when every member
  // holds; a member whose outcome is fixed is either dropped (true, or an
  // unknown code after the first member, which keeps the running result) or
  // makes the whole node false. Returns false when the node can never hold.
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
      Require(ItemKind::kCompound, -1, static_cast<int32_t>(plan_.compounds.size() - 1));
    }
    const std::vector<int32_t> vars = eval::ConditionVariables(node);
    for (size_t i = 0; i < node.conditions.size(); ++i) {
      const Condition& c = node.conditions[i];
      const bool wasFirst = first;
      first = false;
      if (eval::ReadsRecord(c)) {
        std::string key = ConditionKey(c, vars[i]);
        auto found = conditionIds_.find(key);
        if (found != conditionIds_.end()) {
          RequireExisting(found->second);
        } else {
          plan_.conditions.push_back(c);
          const int32_t id = Require(ItemKind::kCondition, vars[i],
                                     static_cast<int32_t>(plan_.conditions.size() - 1));
          conditionIds_.emplace(std::move(key), id);
        }
        continue;
      }
      const eval::Outcome outcome = eval::ConstantOutcome(c);
      if (outcome == eval::Outcome::kFalse) return false;
      // Nothing said: the running result stays; it is still false before
      // the first member, which ends the "and".
      if (outcome == eval::Outcome::kNone && wasFirst) return false;
    }
    return true;
  }

  int32_t Require(ItemKind kind, int32_t var, int32_t source) {
    Item item;
    item.kind = kind;
    item.var = var;
    item.source = source;
    plan_.items.push_back(item);
    const int32_t id = static_cast<int32_t>(plan_.items.size() - 1);
    ruleItems_.push_back(id);
    return id;
  }

  void RequireExisting(int32_t id) {
    if (std::find(ruleItems_.begin(), ruleItems_.end(), id) == ruleItems_.end()) {
      ruleItems_.push_back(id);
    }
  }

  ModelPlan& plan_;
  std::unordered_map<std::string, int32_t> conditionIds_;
  std::vector<int32_t> ruleItems_;
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
    auto plan = std::make_unique<ModelPlan>();
    plan->ruleCount = n;
    plan->words = (n + 63) / 64;
    plan->initialAlive.assign(static_cast<size_t>(plan->words), 0);
    plan->ruleItemBegin.push_back(0);
    Builder builder(*plan);
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

bool ScoringPlan::Evaluate(ModelPlan& plan, int32_t id, const double* values) {
  const size_t i = static_cast<size_t>(id);
  if (plan.stamp[i] == plan.epoch) return plan.outcome[i] != 0;
  const Item& item = plan.items[i];
  const eval::Record record{values, isString.size(), &isString};
  bool holds;
  switch (item.kind) {
    case ItemKind::kCondition:
      holds = eval::EvaluateOn(plan.conditions[static_cast<size_t>(item.source)], item.var,
                               record) == eval::Outcome::kTrue;
      break;
    case ItemKind::kCompound:
      holds = eval::EvaluateCompound(plan.compounds[static_cast<size_t>(item.source)], record);
      break;
    default:
      holds = eval::Combine(plan.rules[static_cast<size_t>(item.source)], record);
      break;
  }
  plan.stamp[i] = plan.epoch;
  plan.outcome[i] = holds ? 1 : 0;
  return holds;
}

void ScoringPlan::FiredRules(int m, const double* values, bool firstOnly,
                             std::vector<int32_t>& fired) {
  fired.clear();
  if (m < 0 || static_cast<size_t>(m) >= models.size() || !models[static_cast<size_t>(m)]) return;
  ModelPlan& plan = *models[static_cast<size_t>(m)];
  if (++plan.epoch == 0) {
    std::fill(plan.stamp.begin(), plan.stamp.end(), 0);
    plan.epoch = 1;
  }
  uint64_t* alive = plan.alive.data();
  std::memcpy(alive, plan.initialAlive.data(), plan.initialAlive.size() * sizeof(uint64_t));
  const int32_t words = plan.words;
  for (int32_t w = 0; w < words; ++w) {
    while (alive[w] != 0) {
      const int32_t r = w * 64 + __builtin_ctzll(alive[w]);
      bool holds = true;
      for (int32_t k = plan.ruleItemBegin[static_cast<size_t>(r)];
           k < plan.ruleItemBegin[static_cast<size_t>(r) + 1]; ++k) {
        const int32_t id = plan.ruleItems[static_cast<size_t>(k)];
        if (Evaluate(plan, id, values)) continue;
        holds = false;
        // Every rule that requires this item is out, this one included.
        const Item& item = plan.items[static_cast<size_t>(id)];
        if (item.denseMask >= 0) {
          const uint64_t* mask = plan.denseMasks.data() + item.denseMask;
          for (int32_t j = w; j < words; ++j) alive[j] &= ~mask[j];
        } else {
          for (int32_t j = item.killBegin; j < item.killEnd; ++j) {
            const int32_t dead = plan.killRules[static_cast<size_t>(j)];
            alive[dead / 64] &= ~(uint64_t{1} << (dead % 64));
          }
        }
        break;
      }
      alive[w] &= ~(uint64_t{1} << (r % 64));
      if (holds) {
        fired.push_back(r);
        if (firstOnly) return;
      }
    }
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
             plan->items.size() * (sizeof(Item) + 5) + plan->denseMasks.size() * 8 +
             plan->killRules.size() * 4 + plan->conditions.size() * sizeof(Condition) +
             plan->compounds.size() * sizeof(Compound) + plan->rules.size() * sizeof(Rule);
    for (const Condition& c : plan->conditions) bytes += c.setValues.size() * 8;
  }
  return bytes;
}

}  // namespace KtZembra_940
