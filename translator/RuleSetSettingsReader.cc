// The settings a RuleSet element carries for its whole rule set: record
// count, number correct, default score and confidence, and the rule
// selection methods.

#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

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
  const xercesc::DOMNodeList* elements =
      GetElementsByTagName(ruleSet, XML_ELE_RULESET_RULESELECMETHOD);
  if (elements == nullptr) return false;

  std::vector<RuleSetModel::RuleSetMethod> methods;
  const XMLSize_t n = elements->getLength();
  for (XMLSize_t i = 0; i < n; ++i) {
    const xercesc::DOMNode* node = elements->item(i);
    if (node == nullptr || node->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) continue;
    const XMLCh* criterion = GetAttribute(static_cast<const xercesc::DOMElement*>(node),
                                          XML_ATT_RULESET_RULESELECMETHOD);
    // The criterion is compared exactly: a different letter case is no
    // method.
    if (IsEqual(criterion, XML_VAL_RULECRITERION_FIRSTHIT)) {
      methods.push_back(RuleSetModel::firstHit);
    } else if (IsEqual(criterion, XML_VAL_RULECRITERION_WSUM)) {
      methods.push_back(RuleSetModel::weightedSum);
    } else if (IsEqual(criterion, XML_VAL_RULECRITERION_WMAX)) {
      methods.push_back(RuleSetModel::weightedMax);
    } else {
      ThrowZb(ErrorCode::kUnsupported, ToString(criterion), XML_ATT_RULESET_RULESELECMETHOD,
              XML_ELE_RULESET_RULESELECMETHOD);
    }
  }
  model->SetAllRuleSelectionMethods(methods, ruleSetIndex);
  return true;
}

}  // namespace KtZembra_940
