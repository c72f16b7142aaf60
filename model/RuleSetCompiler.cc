// Adding rules to the model and compiling their predicates into the flat
// condition structures the scoring evaluates. Each variable a predicate tests
// is registered once, in order of first use, and addressed by that position
// (its variable index) from then on.
#include <cstddef>
#include <memory>

#include "host/CompoundPredicate.h"
#include "host/FalsePredicate.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"
#include "host/ScorePredicate.h"
#include "host/ScoreSplitVar.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "host/TruePredicate.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {

namespace {

// Marks the varIndices entry of a constant member, which tests no variable.
constexpr int32_t kNoVariable = -1;

// A predicate's kind is only trusted together with its class: a predicate
// that reports a kind its class does not have is treated as unrecognised.
template <class Kind>
const Kind* As(const ScorePredicate* predicate) {
  return dynamic_cast<const Kind*>(predicate);
}

}  // namespace

bool RuleSetModel::AddPredicateToRule(int32_t m, SimpleRule* rule, ScorePredicate* predicate) {
  if (m < 0 || rule == nullptr || predicate == nullptr) return false;
  // From here on the predicate is ours, whatever the outcome.
  std::unique_ptr<ScorePredicate> owned(predicate);

  const size_t mi = static_cast<size_t>(m);
  if (ruleSets.size() <= mi) ruleSets.resize(mi + 1, nullptr);
  if (ruleSets[mi] == nullptr) ruleSets[mi] = new ST_RuleSet();
  ST_RuleSet* ruleSet = ruleSets[mi];

  ST_Rule compiled;
  compiled.ruleId = rule->GetRuleID();
  compiled.boolOperator = 1;

  bool ok = false;
  switch (predicate->GetPredType()) {
    case ScorePredicate::kCompound: {
      const CompoundPredicate* compound = As<CompoundPredicate>(predicate);
      if (compound == nullptr) break;
      compiled.compConditions.emplace_back();
      ok = FillComPredToComp(compound, ruleSet, compiled.compConditions.back());
      break;
    }
    case ScorePredicate::kSimple:
      ok = FillSimPredToRule(As<SimplePredicate>(predicate), ruleSet, compiled);
      break;
    case ScorePredicate::kSet:
      ok = FillSetPredToRule(As<SetPredicate>(predicate), ruleSet, compiled);
      break;
    case ScorePredicate::kTrue:
      compiled.fixedResult = 1;
      ok = true;
      break;
    case ScorePredicate::kFalse:
      compiled.fixedResult = 2;
      ok = true;
      break;
    default:
      break;
  }

  if (ok) {
    // A score that names no category counts as category 0, for a string
    // target as for a numeric one: the index stays inside the per-category
    // tables.
    int32_t index = 0;
    const std::string score = rule->GetScoreValue();
    const bool named = CategoryOfScoreText(score, &index) || (regression && AddScoreCategory(score, &index));
    compiled.scoreIndex = named ? index : 0;
    compiled.confidence = rule->GetRuleConfidence();
    compiled.weight = rule->GetRuleWeight();
    ruleSet->rules.push_back(std::move(compiled));
  }
  return ok;
}

void RuleSetModel::AddSimpleRule(SimpleRule* rule, int32_t m) {
  if (m < 0 || static_cast<size_t>(m) >= simpleRules.size()) return;
  simpleRules[static_cast<size_t>(m)].push_back(rule);
}

void RuleSetModel::ReserveRules(int32_t m, size_t count) {
  if (m < 0 || static_cast<size_t>(m) >= simpleRules.size() || count == 0) return;
  const size_t mi = static_cast<size_t>(m);
  simpleRules[mi].reserve(simpleRules[mi].size() + count);
  if (ruleSets.size() <= mi) ruleSets.resize(mi + 1, nullptr);
  if (ruleSets[mi] == nullptr) ruleSets[mi] = new ST_RuleSet();
  ruleSets[mi]->rules.reserve(ruleSets[mi]->rules.size() + count);
}

bool RuleSetModel::IsNewPredVar(const ScoreDictVar* var) const {
  if (var == nullptr) return false;
  return predVarIndex.find(var) == predVarIndex.end();
}

int32_t RuleSetModel::GetRulePredVar(bool isNew, const ScoreDictVar* var) {
  if (isNew) return static_cast<int32_t>(predVars.size());
  const auto found = predVarIndex.find(var);
  if (found != predVarIndex.end()) return found->second;
  // A variable that was never registered answers the last position, as a
  // search through the list that finds nothing ends there.
  return predVars.empty() ? 0 : static_cast<int32_t>(predVars.size() - 1);
}

int32_t RuleSetModel::FindPredicateVar(const ScorePredicate* pred, ST_RuleSet* ruleSet) {
  const ScoreSplitVar* split = pred->GetSplit();
  const ScoreDictVar* var = split != nullptr ? split->GetSplitVar() : nullptr;
  // Without a variable there is nothing the condition could be tested on;
  // the predicate is refused so that no condition ever addresses a variable
  // index that was not registered for it.
  if (var == nullptr) return kNoVariable;

  const bool isString = var->GetValueType() == ScoreDictVar::kString;
  const bool isNew = IsNewPredVar(var);
  const int32_t index = GetRulePredVar(isNew, var);
  if (isNew) {
    SetVarRole(var, kPredictorRole);
    ruleSet->newVarIndices.push_back(index);
    predVarIsString.push_back(isString);
    predVars.push_back(var);
    predVarIndex.emplace(var, index);
  }
  return index;
}

namespace {

// The simple and set compilers do the same work for a rule's top level and
// for a compound; only the structure receiving the condition differs.
template <class Target>
void AppendCondition(int32_t op, double value, int32_t index, Target& target) {
  RuleSetModel::ST_SIM_Condition condition;
  condition.isSimple = true;
  condition.value = value;
  condition.simpleOperator = op;
  target.conditions.push_back(std::move(condition));
  target.varIndices.push_back(index);
}

// The missing value of a string variable is encoded as -1, below every
// label code, so "lessThan" and "lessOrEqual" would hold for it; they are
// compiled as the and of the comparison and "greaterThan -1", which is
// false (or, three-valued, UNKNOWN) for the missing value alone. Numbers
// need no such guard: the comparisons exclude the system-missing value.
bool NeedsMissingGuard(const SimplePredicate* pred) {
  const ScoreDictVar* var = pred->GetVar();
  const SimplePredicate::SimplePredOperator op = pred->GetPredicateOperator();
  return var != nullptr && var->GetValueType() == ScoreDictVar::kString &&
         (op == SimplePredicate::kLessThan || op == SimplePredicate::kLessOrEqual);
}

void AppendGuarded(const SimplePredicate* pred, int32_t index, RuleSetModel::ST_Rule& rule) {
  AppendCondition(static_cast<int32_t>(pred->GetPredicateOperator()), pred->GetPredValueByDouble(),
                  index, rule);
  AppendCondition(SimplePredicate::kGreaterThan, -1.0, index, rule);
}

void AppendGuarded(const SimplePredicate* pred, int32_t index,
                   RuleSetModel::ST_COMP_Condition& comp) {
  RuleSetModel::ST_COMP_Condition* target = &comp;
  if (comp.boolOperator != CompoundPredicate::kAnd) {
    comp.compConditions.emplace_back();
    target = &comp.compConditions.back();
    target->boolOperator = CompoundPredicate::kAnd;
  }
  AppendCondition(static_cast<int32_t>(pred->GetPredicateOperator()), pred->GetPredValueByDouble(),
                  index, *target);
  AppendCondition(SimplePredicate::kGreaterThan, -1.0, index, *target);
}

template <class Target>
void AppendSimple(const SimplePredicate* pred, int32_t index, Target& target) {
  if (NeedsMissingGuard(pred)) {
    AppendGuarded(pred, index, target);
    return;
  }
  AppendCondition(static_cast<int32_t>(pred->GetPredicateOperator()), pred->GetPredValueByDouble(),
                  index, target);
}

template <class Target>
void AppendSet(const SetPredicate* pred, int32_t index, Target& target) {
  RuleSetModel::ST_SIM_Condition condition;
  condition.isSet = true;
  condition.value = NumericValue::GetSysmisValue();
  condition.setValues = pred->GetArrayData();
  condition.setOperator = static_cast<int32_t>(pred->GetPredicateOperator());
  target.conditions.push_back(std::move(condition));
  target.varIndices.push_back(index);
}

// A constant member kept as a condition of its own; it takes no variable.
void AppendConstant(bool value, RuleSetModel::ST_COMP_Condition& comp) {
  RuleSetModel::ST_SIM_Condition condition;
  condition.isTrue = value;
  condition.isFalse = !value;
  comp.conditions.push_back(std::move(condition));
  comp.varIndices.push_back(kNoVariable);
}

}  // namespace

bool RuleSetModel::FillSimPredToRule(const SimplePredicate* pred, ST_RuleSet* ruleSet,
                                     ST_Rule& rule) {
  if (pred == nullptr || ruleSet == nullptr) return false;
  const int32_t index = FindPredicateVar(pred, ruleSet);
  if (index == kNoVariable) return false;
  AppendSimple(pred, index, rule);
  return true;
}

bool RuleSetModel::FillSimPredToComp(const SimplePredicate* pred, ST_RuleSet* ruleSet,
                                     ST_COMP_Condition& comp) {
  if (pred == nullptr || ruleSet == nullptr) return false;
  const int32_t index = FindPredicateVar(pred, ruleSet);
  if (index == kNoVariable) return false;
  AppendSimple(pred, index, comp);
  return true;
}

bool RuleSetModel::FillSetPredToRule(const SetPredicate* pred, ST_RuleSet* ruleSet,
                                     ST_Rule& rule) {
  if (pred == nullptr || ruleSet == nullptr) return false;
  const int32_t index = FindPredicateVar(pred, ruleSet);
  if (index == kNoVariable) return false;
  AppendSet(pred, index, rule);
  return true;
}

bool RuleSetModel::FillSetPredToComp(const SetPredicate* pred, ST_RuleSet* ruleSet,
                                     ST_COMP_Condition& comp) {
  if (pred == nullptr || ruleSet == nullptr) return false;
  const int32_t index = FindPredicateVar(pred, ruleSet);
  if (index == kNoVariable) return false;
  AppendSet(pred, index, comp);
  return true;
}

bool RuleSetModel::FillComPredToComp(const CompoundPredicate* pred, ST_RuleSet* ruleSet,
                                     ST_COMP_Condition& comp, int depth) {
  if (pred == nullptr || ruleSet == nullptr) return false;
  // The host's parser never builds deeper trees; the bound keeps the
  // recursion here (and in scoring and destruction) within the stack.
  if (depth > kMaxConditionDepth) return false;
  comp.boolOperator = pred->GetBoolOperator();
  // The members of a surrogate are tried in document order, so each one
  // is kept as a nested compound of its own: the nested compounds are
  // evaluated in order, before any simple member.
  const bool ordered = comp.boolOperator == CompoundPredicate::kSurrogate;
  // Room for exactly the members, so that a model of many rules carries no
  // spare capacity in its conditions.
  size_t flatMembers = 0;
  size_t nestedMembers = 0;
  for (const ScorePredicate* member : pred->GetPredicates()) {
    if (member == nullptr) continue;
    if (ordered || member->GetPredType() == ScorePredicate::kCompound) {
      ++nestedMembers;
    } else {
      ++flatMembers;
    }
  }
  comp.conditions.reserve(comp.conditions.size() + flatMembers);
  comp.varIndices.reserve(comp.varIndices.size() + flatMembers);
  comp.compConditions.reserve(comp.compConditions.size() + nestedMembers);

  bool droppedNeutral = false;
  for (const ScorePredicate* member : pred->GetPredicates()) {
    if (member == nullptr) continue;
    bool ok = true;
    if (ordered && member->GetPredType() != ScorePredicate::kCompound) {
      comp.compConditions.emplace_back();
      ST_COMP_Condition& single = comp.compConditions.back();
      single.boolOperator = CompoundPredicate::kAnd;
      switch (member->GetPredType()) {
        case ScorePredicate::kSimple:
          ok = FillSimPredToComp(As<SimplePredicate>(member), ruleSet, single);
          break;
        case ScorePredicate::kSet:
          ok = FillSetPredToComp(As<SetPredicate>(member), ruleSet, single);
          break;
        case ScorePredicate::kTrue:
          single.fixedResult = 1;
          break;
        case ScorePredicate::kFalse:
          single.fixedResult = 2;
          break;
        default:
          // A member of a kind the compile does not know is passed over.
          comp.compConditions.pop_back();
          break;
      }
      if (!ok) return false;
      continue;
    }
    switch (member->GetPredType()) {
      case ScorePredicate::kCompound: {
        const CompoundPredicate* nested = As<CompoundPredicate>(member);
        if (nested == nullptr) {
          ok = false;
          break;
        }
        comp.compConditions.emplace_back();
        ok = FillComPredToComp(nested, ruleSet, comp.compConditions.back(), depth + 1);
        break;
      }
      case ScorePredicate::kSimple:
        ok = FillSimPredToComp(As<SimplePredicate>(member), ruleSet, comp);
        break;
      case ScorePredicate::kSet:
        ok = FillSetPredToComp(As<SetPredicate>(member), ruleSet, comp);
        break;
      case ScorePredicate::kTrue: {
        const size_t before = comp.conditions.size();
        const int32_t fixedBefore = comp.fixedResult;
        ok = FillTruePredToComp(As<TruePredicate>(member), ruleSet, comp);
        droppedNeutral = droppedNeutral ||
                         (comp.conditions.size() == before && comp.fixedResult == fixedBefore);
        break;
      }
      case ScorePredicate::kFalse: {
        const size_t before = comp.conditions.size();
        const int32_t fixedBefore = comp.fixedResult;
        ok = FillFalsePredToComp(As<FalsePredicate>(member), ruleSet, comp);
        droppedNeutral = droppedNeutral ||
                         (comp.conditions.size() == before && comp.fixedResult == fixedBefore);
        break;
      }
      default:
        // A member of a kind the compile does not know is passed over.
        break;
    }
    if (!ok) return false;
  }

  // A compound whose every member was a neutral constant ("and" of Trues,
  // "or" of Falses) keeps the value of those members: an empty compound
  // would otherwise evaluate false.
  if (droppedNeutral && comp.fixedResult == 0 && comp.conditions.empty() &&
      comp.compConditions.empty()) {
    comp.fixedResult = comp.boolOperator == CompoundPredicate::kAnd ? 1 : 2;
  }
  return true;
}

// Constant members as their operator means them: a True decides an "or"
// (always true) and changes nothing in an "and", where it is dropped; under
// any other operator (xor, surrogate) it is kept as a constant condition.
bool RuleSetModel::FillTruePredToComp(const TruePredicate* /*pred*/, ST_RuleSet* /*ruleSet*/,
                                      ST_COMP_Condition& comp) {
  switch (comp.boolOperator) {
    case CompoundPredicate::kOr:
      if (comp.fixedResult == 0) comp.fixedResult = 1;
      break;
    case CompoundPredicate::kAnd:
      break;
    default:
      AppendConstant(true, comp);
      break;
  }
  return true;
}

// A False decides an "and" (always false), is dropped from an "or", and is
// kept as a constant condition under any other operator.
bool RuleSetModel::FillFalsePredToComp(const FalsePredicate* /*pred*/, ST_RuleSet* /*ruleSet*/,
                                       ST_COMP_Condition& comp) {
  switch (comp.boolOperator) {
    case CompoundPredicate::kAnd:
      if (comp.fixedResult == 0) comp.fixedResult = 2;
      break;
    case CompoundPredicate::kOr:
      break;
    default:
      AppendConstant(false, comp);
      break;
  }
  return true;
}

}  // namespace KtZembra_940
