// The model-level reader: finds the document's RuleSetModel elements, sizes
// the model for them, has their mining schemas read, applies the model-wide
// settings of the first one and reads every RuleSet in document order.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include "host/ErrorCodes.h"
#include "host/LumoTranscoder.h"
#include "host/PMMLModelTags.h"
#include "host/ScoringLog.h"
#include "host/XmlDocument.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"
#include "translator/ElementIndex.h"
#include "translator/OutputFieldReader.h"

namespace KtZembra_940 {

namespace {

constexpr char kParseRuleSetToModel[] = "KtZembra_940::RuleSetTranslator::ParseRuleSetToModel";

// A count of index entries as a model count. No document can hold more
// elements than fit, but the conversion must not wrap.
int32_t CountOf(const ElementIndex::Span& span) {
  const size_t limit = static_cast<size_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(span.size() > limit ? limit : span.size());
}

// The score texts of a document's rule sets in document order, each rule
// set's rules (nested ones included) before its default score.
std::vector<std::string> CollectScoreTexts(const ElementIndex::Span& ruleSets,
                                           const LumoTranscoder& transcoder) {
  std::vector<std::string> texts;
  std::vector<const xercesc::DOMElement*> pending;
  for (const ElementIndex::Entry& entry : ruleSets) {
    const xercesc::DOMElement* ruleSet = entry.element;
    // Depth first with an explicit stack: CompoundRules may nest deeply.
    for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(ruleSet);
         child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
      pending.push_back(child);
    }
    std::reverse(pending.begin(), pending.end());
    while (!pending.empty()) {
      const xercesc::DOMElement* element = pending.back();
      pending.pop_back();
      const XMLCh* tag = element->getTagName();
      if (BaseTranslator::IsEqual(tag, XML_ELE_RULESET_RULE_SIMPLE)) {
        const XMLCh* score = BaseTranslator::GetAttribute(element, XML_ATT_SCORE);
        if (score != nullptr) texts.push_back(transcoder.transcodeTo(score));
      } else if (BaseTranslator::IsEqual(tag, XML_ELE_RULESET_RULE_COMP)) {
        const size_t first = pending.size();
        for (const xercesc::DOMElement* child = BaseTranslator::GetFirstChildElt(element);
             child != nullptr; child = BaseTranslator::GetNextSiblingElt(child)) {
          pending.push_back(child);
        }
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
      }
    }
    const XMLCh* defaultScore = BaseTranslator::GetAttribute(ruleSet, XML_ATT_RULESET_DEFAULTSCORE);
    if (defaultScore != nullptr && defaultScore[0] != 0) {
      texts.push_back(transcoder.transcodeTo(defaultScore));
    }
  }
  return texts;
}

}  // namespace

std::unique_ptr<ElementIndex> RuleSetTranslator::IndexElements(const xercesc::DOMNode* scope) {
  return std::make_unique<ElementIndex>(
      scope, std::initializer_list<const XMLCh*>{
                 XML_ELE_RULESETMODEL, XML_ELE_MININGSCHEMA, XML_ELE_RULESET, XML_ELE_MININGFIELD,
                 XML_ELE_RULESET_RULESELECMETHOD, XML_ELE_EXTENSION, XML_ELE_MISCLASSIFICATIONCOST,
                 XML_ELE_MISCLASSIFICATIONCOST_OLD});
}

bool RuleSetTranslator::ParseRuleSetModels(xercesc::DOMDocument* document, RuleSetModel* model) {
  if (document == nullptr) return false;
  // Every question below about elements anywhere in the document (or in a
  // whole model or rule set) is answered from one walk: asking the DOM
  // walks the whole tree again for each, which dominates a large document.
  documentIndex = IndexElements(document);
  const ElementIndex& index = *documentIndex;
  const ElementIndex::Span ruleSetModels = index.All(kRuleSetModelTag);
  const int32_t n = CountOf(ruleSetModels);
  if (n < 1) return false;
  model->SetNumberOfModels(n);

  // Rule set i belongs to the i-th MiningSchema of the whole document, so
  // the counts must agree (another model's schema counts as well).
  if (CountOf(index.All(kMiningSchemaTag)) != n) {
    // The line of the first model without exactly one schema of its own.
    const xercesc::DOMElement* at = ruleSetModels[0].element;
    for (const ElementIndex::Entry& entry : ruleSetModels) {
      if (index.Within(entry, kMiningSchemaTag).size() != 1) {
        at = entry.element;
        break;
      }
    }
    ZbException e(gErrorFormater);
    e.PutErrorMessage(ErrorCode::kSchemaCount, XML_ELE_MININGSCHEMA, XML_ELE_RULESETMODEL);
    e.AddLine(XmlDocument::GetLine(at));
    throw e;
  }

  // The target's category table must exist before any score text is mapped.
  if (!ParseMiningSchemas(index, model)) return false;
  // A target that lists no categories (or no target at all) predicts the
  // texts the rules and the defaults score.
  if (model->GetNumbOfCategories() == 0) {
    model->SetCategoriesFromScores(CollectScoreTexts(index.All(kRuleSetTag), Transcoder()));
  }

  // Only the first RuleSetModel element carries the model-wide settings.
  const xercesc::DOMElement* first = ruleSetModels[0].element;
  if (IsEqual(GetAttribute(first, XML_ATT_MODELALGO), XML_ATT_DL_ALGNAME)) {
    model->SetModelType(ScoreModel::kDecisionListModel);
  }
  std::string scorable = Transcoder().transcodeTo(GetAttribute(first, XML_ATT_RM_IS_SCORABLE));
  if (!scorable.empty()) {
    for (char& c : scorable) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (scorable == "false") {
      ZbException e(gErrorFormater);
      e.PutErrorMessage(ErrorCode::kNotScorableModel, XML_ATT_RM_IS_SCORABLE, XML_ELE_PMML);
      e.AddLine(XmlDocument::GetLine(first));
      throw e;
    }
  }

  const ElementIndex::Span ruleSets = index.All(kRuleSetTag);
  const int32_t ruleSetCount = CountOf(ruleSets);
  // PMML's schema requires a RuleSet in every RuleSetModel.
  if (semantics == RuleSetModel::pmml) {
    for (const ElementIndex::Entry& entry : ruleSetModels) {
      if (index.Within(entry, kRuleSetTag).size() == 0) {
        ZbException e(gErrorFormater);
        e.PutErrorMessage(ErrorCode::kMissingChild, XML_ELE_RULESETMODEL, XML_ELE_RULESET);
        e.AddLine(XmlDocument::GetLine(entry.element));
        throw e;
      }
    }
  }
  bool ok = true;
  for (int32_t i = 0; i < ruleSetCount; ++i) {
    ok = ParseRuleSetToModel(i, ruleSets[static_cast<size_t>(i)].element, model);
    if (!ok) break;
  }

  // The cost table is shared by every rule set; decision lists use none.
  if (model->GetModelType() != ScoreModel::kDecisionListModel) {
    ReadMisclassificationCost(document->getDocumentElement(), model);
  }
  // The first RuleSetModel's output fields are the model's.
  if (ok) {
    model->SetOutputFields(OutputFieldReader::Read(first, model->GetTargetVar(), Transcoder(),
                                                   dictionary, derivedFields));
  }
  return ok;
}

bool RuleSetTranslator::ParseRuleSetToModel(int ruleSetIndex, const xercesc::DOMElement* ruleSet,
                                            RuleSetModel* model) {
  if (!quiet) ScoringLog::GetInstance().TraceText(1, "Enter:%s", kParseRuleSetToModel);
  bool ok = false;
  try {
    ParseRuleSetAttributes(ruleSetIndex, ruleSet, model);
    ParseRuleSelectionMethods(ruleSetIndex, ruleSet, model);
    ok = ParseRules(ruleSetIndex, ruleSet, &model);
  } catch (ZbException& e) {
    e.AddLine(XmlDocument::GetLine(ruleSet));
    throw;
  }
  if (!quiet) ScoringLog::GetInstance().TraceText(1, "Exit:%s", kParseRuleSetToModel);
  return ok;
}

}  // namespace KtZembra_940
