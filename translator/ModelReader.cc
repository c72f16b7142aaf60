// The model-level reader: finds the document's RuleSetModel elements, sizes
// the model for them, has their mining schemas read, applies the model-wide
// settings of the first one and reads every RuleSet in document order.

#include <cctype>
#include <limits>
#include <string>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ScoringLog.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

namespace {

constexpr char kParseRuleSetToModel[] = "KtZembra_940::RuleSetTranslator::ParseRuleSetToModel";

// A node list's length as a model count. No document can hold more elements
// than fit, but the conversion must not wrap.
int32_t CountOf(const xercesc::DOMNodeList* list) {
  if (list == nullptr) return 0;
  const XMLSize_t length = list->getLength();
  const auto limit = static_cast<XMLSize_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(length > limit ? limit : length);
}

const xercesc::DOMElement* ElementAt(const xercesc::DOMNodeList* list, int32_t i) {
  const xercesc::DOMNode* node = list->item(static_cast<XMLSize_t>(i));
  if (node == nullptr || node->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) return nullptr;
  return static_cast<const xercesc::DOMElement*>(node);
}

}  // namespace

bool RuleSetTranslator::ParseRuleSetModels(xercesc::DOMDocument* document, RuleSetModel* model) {
  const xercesc::DOMNodeList* ruleSetModels = GetElementsByTagName(document, XML_ELE_RULESETMODEL);
  const int32_t n = CountOf(ruleSetModels);
  if (n < 1) return false;
  model->SetNumberOfModels(n);

  // Rule set i belongs to the i-th MiningSchema of the whole document, so
  // the counts must agree (another model's schema counts as well).
  const xercesc::DOMNodeList* schemas = GetElementsByTagName(document, XML_ELE_MININGSCHEMA);
  if (CountOf(schemas) != n) {
    ThrowZb(ErrorCode::kSchemaCount, XML_ELE_MININGSCHEMA, XML_ELE_RULESETMODEL);
  }

  // The target's category table must exist before any score text is mapped.
  if (!ParseMiningSchemas(ruleSetModels, model)) return false;

  // Only the first RuleSetModel element carries the model-wide settings.
  const xercesc::DOMElement* first = ElementAt(ruleSetModels, 0);
  if (IsEqual(GetAttribute(first, XML_ATT_MODELALGO), XML_ATT_DL_ALGNAME)) {
    model->SetModelType(ScoreModel::kDecisionListModel);
  }
  std::string scorable = Transcoder().transcodeTo(GetAttribute(first, XML_ATT_RM_IS_SCORABLE));
  if (!scorable.empty()) {
    for (char& c : scorable) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scorable == "false") {
      ThrowZb(ErrorCode::kNotScorableModel, XML_ATT_RM_IS_SCORABLE, XML_ELE_PMML);
    }
  }

  const xercesc::DOMNodeList* ruleSets = GetElementsByTagName(document, XML_ELE_RULESET);
  const int32_t ruleSetCount = CountOf(ruleSets);
  bool ok = true;
  for (int32_t i = 0; i < ruleSetCount; ++i) {
    ok = ParseRuleSetToModel(i, ElementAt(ruleSets, i), model);
    if (!ok) break;
  }

  // The cost table is shared by every rule set; decision lists use none.
  if (model->GetModelType() != ScoreModel::kDecisionListModel) {
    ReadMisclassificationCost(document->getDocumentElement(), model);
  }
  return ok;
}

bool RuleSetTranslator::ParseRuleSetToModel(int ruleSetIndex, const xercesc::DOMElement* ruleSet,
                                            RuleSetModel* model) {
  ScoringLog::GetInstance().TraceText(1, "Enter:%s", kParseRuleSetToModel);
  ParseRuleSetAttributes(ruleSetIndex, ruleSet, model);
  ParseRuleSelectionMethods(ruleSetIndex, ruleSet, model);
  const bool ok = ParseRules(ruleSetIndex, ruleSet, &model);
  ScoringLog::GetInstance().TraceText(1, "Exit:%s", kParseRuleSetToModel);
  return ok;
}

}  // namespace KtZembra_940
