// Rule reading: each SimpleRule of a RuleSet becomes a SimpleRule record,
// its predicates go to the model for compilation and its split variables are
// built from the same predicate elements. Rules nested in CompoundRules are
// read in document order among the others, each predicate joined by and to
// the predicates of the CompoundRules around it.

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include "host/CompoundPredicate.h"
#include "host/ErrorCodes.h"
#include "host/FalsePredicate.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScorePredicate.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/StringValue.h"
#include "host/TruePredicate.h"
#include "host/XmlText.h"
#include "host/XmlDocument.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

namespace {

// An optional attribute: an empty text counts as absent.
const XMLCh* OptionalAttribute(const xercesc::DOMElement* element, const XMLCh* name) {
  const XMLCh* text = BaseTranslator::GetAttribute(element, name);
  return text == nullptr || text[0] == 0 ? nullptr : text;
}

bool IsPredicateTag(const XMLCh* tag) {
  return BaseTranslator::IsEqual(tag, XML_ELE_PREDICATE) ||
         BaseTranslator::IsEqual(tag, XML_ELE_COMPOUNDPREDICATE) ||
         BaseTranslator::IsEqual(tag, XML_ELE_SETPREDICATE) ||
         BaseTranslator::IsEqual(tag, XML_ELE_TRUE) || BaseTranslator::IsEqual(tag, XML_ELE_FALSE);
}

// The one predicate child of a CompoundRule; a CompoundRule with none or
// with several has no defined meaning and is refused.
const xercesc::DOMElement* CompoundRulePredicate(const xercesc::DOMElement* compoundRule) {
  const xercesc::DOMElement* predicate = nullptr;
  int count = 0;
  for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(compoundRule);
       child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
    if (!IsPredicateTag(child->getTagName())) continue;
    if (++count == 1) predicate = child;
  }
  if (count != 1) {
    ThrowZb(ErrorCode::kCompoundRulePredicate, compoundRule->getTagName(), count);
  }
  return predicate;
}

// Nesting levels of CompoundPredicate in a parsed predicate: 0 for a simple,
// set or constant predicate. Walked with an explicit stack.
int CompoundDepth(const ScorePredicate* predicate) {
  int deepest = 0;
  std::vector<std::pair<const ScorePredicate*, int>> stack;
  stack.emplace_back(predicate, 1);
  while (!stack.empty()) {
    const auto [current, depth] = stack.back();
    stack.pop_back();
    if (current == nullptr || current->GetPredType() != ScorePredicate::kCompound) continue;
    deepest = std::max(deepest, depth);
    for (const ScorePredicate* member :
         static_cast<const CompoundPredicate*>(current)->GetPredicates()) {
      stack.emplace_back(member, depth + 1);
    }
  }
  return deepest;
}

// A SimpleRule holds one SimplePredicate, CompoundPredicate or
// SimpleSetPredicate at most.
[[noreturn]] void RefuseSecondPredicate(const xercesc::DOMElement* rule) {
  ThrowZb(ErrorCode::kSecondPredicate, XML_ELE_PREDICATE, rule->getTagName());
}

// Deletes the split variables of a rule being read unless they were handed
// to the rule.
struct SplitListGuard {
  RuleSetTranslator::SplitList list;
  SplitListGuard() = default;
  SplitListGuard(const SplitListGuard&) = delete;
  SplitListGuard& operator=(const SplitListGuard&) = delete;
  ~SplitListGuard() {
    for (ScoreSplitVar* split : list) delete split;
  }
};

}  // namespace

bool RuleSetTranslator::ParseRules(int ruleSetIndex, const xercesc::DOMElement* ruleSet,
                                   RuleSetModel** model) {
  // The rule tables take the rules at this level at once (those nested in
  // CompoundRules, rarer, are added as they come).
  size_t simpleRules = 0;
  for (const xercesc::DOMElement* child = GetFirstChildElt(ruleSet); child != nullptr;
       child = GetNextSiblingElt(child)) {
    if (IsEqual(child->getTagName(), XML_ELE_RULESET_RULE_SIMPLE)) ++simpleRules;
  }
  (*model)->ReserveRules(ruleSetIndex, simpleRules);
  bool result = true;
  for (const xercesc::DOMElement* child = GetFirstChildElt(ruleSet); child != nullptr && result;
       child = GetNextSiblingElt(child)) {
    const XMLCh* tag = child->getTagName();
    if (IsEqual(tag, XML_ELE_RULESET_RULE_SIMPLE)) {
      result = ParseSimpleRule(child, ruleSetIndex, model);
    } else if (IsEqual(tag, XML_ELE_RULESET_RULE_COMP)) {
      result = ParseCompoundRule(child, ruleSetIndex, model);
    }
    // Anything else is a setting of the rule set, read before the rules.
  }
  return result;
}

bool RuleSetTranslator::ParseSimpleRule(const xercesc::DOMElement* element, int ruleSetIndex,
                                        RuleSetModel** model) {
  return ReadSimpleRule(element, ruleSetIndex, model, PredicateList());
}

bool RuleSetTranslator::ReadSimpleRule(const xercesc::DOMElement* element, int ruleSetIndex,
                                       RuleSetModel** model, const PredicateList& enclosing) {
  try {
    return ReadOneSimpleRule(element, ruleSetIndex, model, enclosing);
  } catch (ZbException& e) {
    // A failure names the rule: its id, or its place in its rule set.
    const XMLCh* id = GetAttribute(element, XML_ATT_SIMPLERULE_ID);
    if (id != nullptr && id[0] != 0) {
      e.AddRule("rule " + Transcoder().transcodeTo(id));
    } else {
      const auto& stored = (*model)->GetSimpleRules();
      const size_t before = ruleSetIndex >= 0 && static_cast<size_t>(ruleSetIndex) < stored.size()
                                ? stored[static_cast<size_t>(ruleSetIndex)].size()
                                : 0;
      e.AddRule("rule #" + std::to_string(before + 1));
    }
    e.AddLine(XmlDocument::GetLine(element));
    throw;
  }
}

bool RuleSetTranslator::ReadOneSimpleRule(const xercesc::DOMElement* element, int ruleSetIndex,
                                          RuleSetModel** model, const PredicateList& enclosing) {
  // CreateSimpleRule hands the rule over before it reads the score, so a
  // failure there leaves a rule to delete.
  SimpleRule* created = nullptr;
  bool ok = false;
  try {
    ok = CreateSimpleRule(element, &created);
  } catch (...) {
    delete created;
    throw;
  }
  std::unique_ptr<SimpleRule> rule(created);
  if (!ok || rule == nullptr) return ok;
  // A rule without an identifier is named by its 1-based position in its
  // rule set ("#3"), so that every list of rule identifiers can name it.
  if (rule->GetRuleID().empty()) {
    const auto& stored = (*model)->GetSimpleRules();
    const size_t before = ruleSetIndex >= 0 && static_cast<size_t>(ruleSetIndex) < stored.size()
                              ? stored[static_cast<size_t>(ruleSetIndex)].size()
                              : 0;
    rule->SetRuleID("#" + std::to_string(before + 1));
  }

  SplitListGuard splits;
  // The predicates of the CompoundRules around the rule come first in its
  // summary, outermost first. They are shown only: one the summary cannot
  // express is left out rather than refusing a rule that scores.
  for (const xercesc::DOMElement* predicate : enclosing) {
    const size_t before = splits.list.size();
    try {
      AddEnclosingSplits(predicate, splits.list);
    } catch (const ZbException&) {
      for (size_t k = before; k < splits.list.size(); ++k) delete splits.list[k];
      splits.list.resize(before);
    }
  }
  bool predicateRead = false;
  bool success = true;
  for (const xercesc::DOMElement* child = GetFirstChildElt(element); child != nullptr;
       child = GetNextSiblingElt(child)) {
    const XMLCh* tag = child->getTagName();
    std::unique_ptr<ScorePredicate> predicate;
    if (IsEqual(tag, XML_ELE_COMPOUNDPREDICATE)) {
      predicate.reset(ParseCompoundPredicate(child, dictionary, derivedFields, false));
      if (predicateRead) RefuseSecondPredicate(element);
      predicateRead = true;
      success = ParseCompoundSplits(child, splits.list);
    } else if (IsEqual(tag, XML_ELE_PREDICATE)) {
      predicate.reset(ParsePredicate(child, dictionary, derivedFields, false));
      if (predicateRead) RefuseSecondPredicate(element);
      predicateRead = true;
      const XMLCh* field = GetAttributeForced(child, XML_ATT_FIELD);
      // The rule element is the parent: every SimplePredicate child on the
      // field merges into one split.
      success = ParsePredicateSplit(field, element, static_cast<int>(splits.list.size()),
                                    splits.list);
    } else if (IsEqual(tag, XML_ELE_SETPREDICATE)) {
      predicate.reset(ParseSetPredicate(child, dictionary, derivedFields));
      if (predicateRead) RefuseSecondPredicate(element);
      predicateRead = true;
      const XMLCh* field = GetAttributeForced(child, XML_ATT_FIELD);
      success = ParseSetPredicateSplit(field, child, static_cast<int>(splits.list.size()),
                                       splits.list);
    } else if (IsEqual(tag, XML_ELE_TRUE)) {
      // Constants may stand beside another predicate: they neither test nor
      // set the predicate flag.
      predicate = std::make_unique<TruePredicate>();
    } else if (IsEqual(tag, XML_ELE_FALSE)) {
      predicate = std::make_unique<FalsePredicate>();
    } else if (IsEqual(tag, XML_ELE_SCOREDISTRIBUTION)) {
      ParseScoreDistribution(rule.get(), child);
    } else if (IsEqual(tag, XML_ELE_EXTENSION)) {
      ParseRuleExtension(rule.get(), child);
    }

    if (predicate != nullptr) {
      // A split builder's false result counts only when no predicate came.
      ScorePredicate* compiled = enclosing.empty()
                                     ? predicate.release()
                                     : ConjoinEnclosing(enclosing, predicate.release());
      if (compiled != nullptr) {
        success = (*model)->AddPredicateToRule(ruleSetIndex, rule.get(), compiled);
      }
    }
    // The rule is not in the model yet: the guards destroy it and its splits.
    if (!success) return false;
  }

  RuleSetTranslator::SplitList owned;
  owned.swap(splits.list);
  rule->SetSplitVar(owned);
  // A large model holds many rules: their summaries are kept packed.
  rule->PackSplits();
  rule->SetTargetVariableName(targetName);

  // A rule set without an entry in the model's tables does not take the
  // rule; it is destroyed here rather than lost.
  RuleSetModel* target = *model;
  target->AddSimpleRule(rule.get(), ruleSetIndex);
  const auto& stored = target->GetSimpleRules();
  if (ruleSetIndex >= 0 && static_cast<size_t>(ruleSetIndex) < stored.size() &&
      !stored[ruleSetIndex].empty() && stored[ruleSetIndex].back() == rule.get()) {
    rule.release();
  }
  return true;
}

bool RuleSetTranslator::CreateSimpleRule(const xercesc::DOMElement* element, SimpleRule** rule) {
  *rule = new SimpleRule(Transcoder().transcodeTo(GetAttribute(element, XML_ATT_SIMPLERULE_ID)));
  SimpleRule* r = *rule;
  r->SetScoreValue(Transcoder().transcodeTo(GetAttributeForced(element, XML_ATT_SCORE)));
  // A regression rule predicts its score as a number.
  if (regressionTarget) VerifyDouble(r->GetScoreValue());
  if (const XMLCh* text = OptionalAttribute(element, XML_ATT_RULESET_RECOUNT)) {
    r->SetRecordCount(VerifyDouble(text));
  }
  if (const XMLCh* text = OptionalAttribute(element, XML_ATT_RULESET_NBCORRECT)) {
    r->SetnbCorrect(VerifyDouble(text));
  }
  // Without a confidence or weight the rule contributes nothing natively:
  // 0.0, not the record's "unset" value. PMML's schema gives both the
  // default 1.
  const double absent = semantics == RuleSetModel::pmml ? 1.0 : 0.0;
  const XMLCh* confidence = OptionalAttribute(element, XML_ATT_SIMPLERULE_CONF);
  r->SetRuleConfidence(confidence == nullptr ? absent : VerifyDouble(confidence));
  const XMLCh* weight = OptionalAttribute(element, XML_ATT_SIMPLERULE_WEIGHT);
  r->SetRuleWeight(weight == nullptr ? absent : VerifyDouble(weight));
  return true;
}

bool RuleSetTranslator::ParseCompoundRule(const xercesc::DOMElement* element, int ruleSetIndex,
                                          RuleSetModel** model) {
  // The CompoundRules open around the current element, walked with an
  // explicit stack: enclosing[k] is the predicate of the k-th open one and
  // nextChild[k] the next of its children to read.
  PredicateList enclosing;
  std::vector<const xercesc::DOMElement*> nextChild;
  auto open = [&](const xercesc::DOMElement* compoundRule) {
    if (static_cast<int>(enclosing.size()) >= kMaxPredicateDepth) {
      ThrowZb(ErrorCode::kNestingTooDeep, XML_ELE_RULESET_RULE_COMP, kMaxPredicateDepth);
    }
    enclosing.push_back(CompoundRulePredicate(compoundRule));
    nextChild.push_back(GetFirstChildElt(compoundRule));
  };

  open(element);
  while (!nextChild.empty()) {
    const xercesc::DOMElement* child = nextChild.back();
    if (child == nullptr) {
      nextChild.pop_back();
      enclosing.pop_back();
      continue;
    }
    nextChild.back() = GetNextSiblingElt(child);
    const XMLCh* tag = child->getTagName();
    if (IsEqual(tag, XML_ELE_RULESET_RULE_SIMPLE)) {
      if (!ReadSimpleRule(child, ruleSetIndex, model, enclosing)) return false;
    } else if (IsEqual(tag, XML_ELE_RULESET_RULE_COMP)) {
      open(child);
    }
    // The CompoundRule's own predicate and its extensions are passed over.
  }
  return true;
}

void RuleSetTranslator::AddEnclosingSplits(const xercesc::DOMElement* predicate,
                                           SplitList& splits) {
  const XMLCh* tag = predicate->getTagName();
  if (IsEqual(tag, XML_ELE_COMPOUNDPREDICATE)) {
    ParseCompoundSplits(predicate, splits);
  } else if (IsEqual(tag, XML_ELE_PREDICATE)) {
    // The CompoundRule holds this one predicate: its element is the parent
    // whose SimplePredicate children on the field merge.
    const xercesc::DOMNode* parent = predicate->getParentNode();
    if (parent == nullptr || parent->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) return;
    ParsePredicateSplit(GetAttributeForced(predicate, XML_ATT_FIELD),
                        static_cast<const xercesc::DOMElement*>(parent),
                        static_cast<int>(splits.size()), splits);
  } else if (IsEqual(tag, XML_ELE_SETPREDICATE)) {
    ParseSetPredicateSplit(GetAttributeForced(predicate, XML_ATT_FIELD), predicate,
                           static_cast<int>(splits.size()), splits);
  }
  // True and False say nothing about a field.
}

ScorePredicate* RuleSetTranslator::ParsePredicateElement(const xercesc::DOMElement* element) {
  const XMLCh* tag = element->getTagName();
  if (IsEqual(tag, XML_ELE_PREDICATE)) return ParsePredicate(element, dictionary, derivedFields, false);
  if (IsEqual(tag, XML_ELE_COMPOUNDPREDICATE)) {
    return ParseCompoundPredicate(element, dictionary, derivedFields, false);
  }
  if (IsEqual(tag, XML_ELE_SETPREDICATE)) return ParseSetPredicate(element, dictionary, derivedFields);
  if (IsEqual(tag, XML_ELE_TRUE)) return new TruePredicate();
  if (IsEqual(tag, XML_ELE_FALSE)) return new FalsePredicate();
  return nullptr;
}

ScorePredicate* RuleSetTranslator::ConjoinEnclosing(const PredicateList& enclosing,
                                                    ScorePredicate* own) {
  std::unique_ptr<ScorePredicate> ownHeld(own);
  // Each nested rule compiles its own copy: the model destroys every
  // predicate it compiles.
  std::vector<std::unique_ptr<ScorePredicate>> members;
  members.reserve(enclosing.size() + 1);
  for (const xercesc::DOMElement* element : enclosing) {
    members.emplace_back(ParsePredicateElement(element));
    // Like a rule's own predicate that the host does not build: nothing is
    // compiled.
    if (members.back() == nullptr) return nullptr;
  }
  members.push_back(std::move(ownHeld));

  int deepest = 0;
  for (const auto& member : members) deepest = std::max(deepest, CompoundDepth(member.get()));
  if (deepest + 1 > kMaxPredicateDepth) {
    ThrowZb(ErrorCode::kNestingTooDeep, XML_ELE_RULESET_RULE_COMP, kMaxPredicateDepth);
  }

  std::vector<ScorePredicate*> raw;
  raw.reserve(members.size());
  for (const auto& member : members) raw.push_back(member.get());
  auto conjunction = std::make_unique<CompoundPredicate>(CompoundPredicate::kAnd, raw);
  for (auto& member : members) member.release();
  return conjunction.release();
}

bool RuleSetTranslator::ParseScoreDistribution(SimpleRule* rule,
                                               const xercesc::DOMElement* element) {
  if (rule == nullptr || element == nullptr) return false;
  const double count = VerifyDouble(GetAttributeForced(element, XML_ATT_RECORDCOUNT));
  const std::string text = Transcoder().transcodeTo(GetAttributeForced(element, XML_ATT_VALUE));

  // The counts are shares of the rule's own record count, a whole number
  // kept as a double so that counts past the int range divide correctly. A
  // rule without one (or with one below 1) keeps the counts as they stand,
  // so no share is ever negative or a division by zero.
  double divisor = std::trunc(rule->GetRecordCountValue());
  if (!(divisor >= 1.0)) divisor = 1.0;
  const double percent = count / divisor;

  // The target's value type decides the kind of value. Without a known
  // target the text decides: a number becomes a numeric value, anything
  // else a text value.
  std::unique_ptr<ScoreValue> value;
  bool numeric = false;
  if (targetVariable != nullptr) {
    numeric = targetVariable->GetValueType() == ScoreDictVar::kNumeric;
  } else {
    double ignored = 0.0;
    numeric = NumberText::ParseDouble(text, &ignored);
  }
  if (numeric) {
    value = std::make_unique<NumericValue>(VerifyDouble(text));
  } else {
    value = std::make_unique<StringValue>(text);
  }
  rule->AddValuePercent(value.release(), percent);
  return true;
}

bool RuleSetTranslator::ParseRuleExtension(SimpleRule* rule, const xercesc::DOMElement* element) {
  if (rule == nullptr || element == nullptr) return false;
  const XMLCh* name = GetAttribute(element, XML_ATT_EXT_NAME);
  const XMLCh* value = GetAttribute(element, XML_ATT_EXT_VALUE);
  if (IsEqual(name, XML_ATT_EXT_NAME_VALUE_LABEL)) {
    // The label changes; the identifier stays.
    if (value != nullptr && value[0] != 0) rule->SetRuleLabel(Transcoder().transcodeTo(value));
  } else if (IsEqual(name, XML_ATT_EXT_NAME_VALUE_DISABLED)) {
    if (IsEqual(value, XML_ATT_EXT_VALUE_VALUE_TRUE)) rule->SetDisabled(true);
  } else if (IsEqual(name, XML_ATT_EXT_NAME_VALUE_DIRECTION)) {
    if (IsEqual(value, XML_ATT_EXT_VALUE_VALUE_DIRECTION_DOWN)) {
      rule->SetSearchDirection(SimpleRule::down);
    } else if (IsEqual(value, XML_ATT_EXT_VALUE_VALUE_DIRECTION_UP)) {
      rule->SetSearchDirection(SimpleRule::up);
    }
  }
  return true;
}

}  // namespace KtZembra_940
