// The settings a RuleSet element carries for its whole rule set: record
// count, number correct, default score and confidence, and the rule
// selection methods.

#include <memory>
#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/XmlDocument.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"
#include "translator/ElementIndex.h"

namespace KtZembra_940 {

namespace {

// An optional attribute: an empty text counts as absent.
const XMLCh* OptionalAttribute(const xercesc::DOMElement* element, const XMLCh* name) {
  const XMLCh* text = BaseTranslator::GetAttribute(element, name);
  return text == nullptr || text[0] == 0 ? nullptr : text;
}

}  // namespace

bool RuleSetTranslator::ParseRuleSetAttributes(int ruleSetIndex,
                                               const xercesc::DOMElement* ruleSet,
                                               RuleSetModel* model) {
  if (const XMLCh* text = OptionalAttribute(ruleSet, XML_ATT_RULESET_RECOUNT)) {
    model->SetRecordCount(VerifyDouble(text), ruleSetIndex);
  }
  if (const XMLCh* text = OptionalAttribute(ruleSet, XML_ATT_RULESET_NBCORRECT)) {
    model->SetnbCorrect(VerifyDouble(text), ruleSetIndex);
  }
  if (const XMLCh* text = OptionalAttribute(ruleSet, XML_ATT_RULESET_DEFAULTSCORE)) {
    model->SetDefaultScore(Transcoder().transcodeTo(text), ruleSetIndex);
  }
  if (const XMLCh* text = OptionalAttribute(ruleSet, XML_ATT_RULESET_DEFAULTCONF)) {
    const double confidence = VerifyDouble(text);
    if (confidence < 0.0) {
      ThrowZb(ErrorCode::kNegativeConfidence, ToString(text), XML_ATT_RULESET_DEFAULTCONF);
    }
    model->SetDefaultConfidence(confidence, ruleSetIndex);
  }
  return true;
}

bool RuleSetTranslator::ParseRuleSelectionMethods(int ruleSetIndex,
                                                  const xercesc::DOMElement* ruleSet,
                                                  RuleSetModel* model) {
  if (ruleSet == nullptr) return false;
  // Rule set k of the document has its entry in the document index; a rule
  // set met otherwise has its own subtree indexed.
  std::unique_ptr<ElementIndex> own;
  const ElementIndex* index = documentIndex.get();
  const ElementIndex::Entry* entry = nullptr;
  if (index != nullptr && ruleSetIndex >= 0) {
    const ElementIndex::Span ruleSets = index->All(kRuleSetTag);
    const size_t k = static_cast<size_t>(ruleSetIndex);
    if (k < ruleSets.size() && ruleSets[k].element == ruleSet) entry = &ruleSets[k];
  }
  if (entry == nullptr) {
    own = IndexElements(ruleSet);
    index = own.get();
  }
  const ElementIndex::Span elements =
      entry != nullptr ? index->Within(*entry, kRuleSelectionMethodTag)
                       : index->All(kRuleSelectionMethodTag);

  std::vector<RuleSetModel::RuleSetMethod> methods;
  for (const ElementIndex::Entry& method : elements) {
    const XMLCh* criterion = GetAttribute(method.element, XML_ATT_RULESET_RULESELECMETHOD);
    // The criterion is compared exactly: a different letter case is no
    // method.
    if (IsEqual(criterion, XML_VAL_RULECRITERION_FIRSTHIT)) {
      methods.push_back(RuleSetModel::firstHit);
    } else if (IsEqual(criterion, XML_VAL_RULECRITERION_WSUM)) {
      methods.push_back(RuleSetModel::weightedSum);
    } else if (IsEqual(criterion, XML_VAL_RULECRITERION_WMAX)) {
      methods.push_back(RuleSetModel::weightedMax);
    } else {
      ZbException e(gErrorFormater);
      e.PutErrorMessage(ErrorCode::kUnsupported, ToString(criterion),
                        XML_ATT_RULESET_RULESELECMETHOD, XML_ELE_RULESET_RULESELECMETHOD);
      e.AddLine(XmlDocument::GetLine(method.element));
      throw e;
    }
  }
  // PMML defines no weighted sum of numbers.
  if (model->IsRegression() && !methods.empty() && methods.front() == RuleSetModel::weightedSum) {
    ThrowZb(ErrorCode::kRegressionWeightedSum, XML_VAL_RULECRITERION_WSUM, targetName);
  }
  model->SetAllRuleSelectionMethods(methods, ruleSetIndex);
  return true;
}

}  // namespace KtZembra_940
