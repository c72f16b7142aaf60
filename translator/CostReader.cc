// The misclassification cost table: found in the document's Extension
// elements, its category texts normalised by their declared type so that
// they compare equal to the target's own category texts.

#include <charconv>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"
#include "translator/ElementIndex.h"

namespace KtZembra_940 {

namespace {

// The text a child of a cost element carries: the value of its first child
// node. A child without one is refused, naming the cost element and what it
// lacks.
const XMLCh* CostChildText(const xercesc::DOMElement* cost, const xercesc::DOMElement* child,
                           const char* position) {
  const xercesc::DOMNode* text = child->getFirstChild();
  const XMLCh* value = text == nullptr ? nullptr : text->getNodeValue();
  if (value == nullptr) {
    ThrowZb(ErrorCode::kBadCostElement, cost->getTagName(),
            std::string("text of the ") + position + " child element");
  }
  return value;
}

const xercesc::DOMElement* RequireCostChild(const xercesc::DOMElement* cost,
                                            const xercesc::DOMElement* child,
                                            const char* position) {
  if (child == nullptr) {
    ThrowZb(ErrorCode::kBadCostElement, cost->getTagName(),
            std::string(position) + " child element");
  }
  return child;
}

}  // namespace

bool RuleSetTranslator::ReadMisclassificationCost(const xercesc::DOMElement* root,
                                                  RuleSetModel* model) {
  if (root == nullptr || model == nullptr) return false;
  const xercesc::DOMNodeList* costs = FindMisclassificationCosts(root);
  if (costs == nullptr) return false;
  CostTable table;
  ParseMisclassificationCosts(costs, table);
  model->SetMisclassificationCost(table);
  return true;
}

const xercesc::DOMNodeList* RuleSetTranslator::FindMisclassificationCosts(
    const xercesc::DOMElement* root) const {
  if (root == nullptr) return nullptr;
  // The document's index answers for its document element; any other root
  // has its own subtree indexed. Either way the root itself is no candidate.
  std::unique_ptr<ElementIndex> own;
  const ElementIndex* index = documentIndex.get();
  const xercesc::DOMNode* scope = index != nullptr ? index->Scope() : nullptr;
  if (scope == nullptr || scope->getNodeType() != xercesc::DOMNode::DOCUMENT_NODE ||
      static_cast<const xercesc::DOMDocument*>(scope)->getDocumentElement() != root) {
    own = IndexElements(root);
    index = own.get();
  }
  for (const ElementIndex::Entry& extension : index->All(kExtensionTag)) {
    if (extension.element == root) continue;
    // Rule extensions carry no elements; skipping them spares a node list
    // per rule in large documents.
    if (GetFirstChildElt(extension.element) == nullptr) continue;
    // Within one Extension the current tag wins over the older one. The
    // index tells whether one holds any; the list handed on is the DOM's.
    if (!index->Within(extension, kCostTag).empty()) {
      return GetElementsByTagName(extension.element, XML_ELE_MISCLASSIFICATIONCOST);
    }
    if (!index->Within(extension, kOldCostTag).empty()) {
      return GetElementsByTagName(extension.element, XML_ELE_MISCLASSIFICATIONCOST_OLD);
    }
  }
  return nullptr;
}

void RuleSetTranslator::ParseMisclassificationCosts(const xercesc::DOMNodeList* costs,
                                                    CostTable& table) {
  // Without a target there are no categories to key the table by.
  if (costs == nullptr || targetVariable == nullptr) return;

  // Numbers are compared by value: 1e6, 1000000 and 1e+06 name one
  // category. The first category of a value gives its text.
  categoryTextByValue.clear();
  if (targetVariable->GetValueType() != ScoreDictVar::kString) {
    if (const std::vector<ScoreValue*>* labels = targetVariable->GetValueLabelSet()) {
      for (const ScoreValue* label : *labels) {
        if (label == nullptr || std::isnan(label->GetDouble())) continue;
        categoryTextByValue.emplace(label->GetDouble(), label->GetString());
      }
    }
  }

  // Entries grouped by row key, in document order; emplace keeps the first
  // cost of a pair that comes twice.
  CostTable byRow;
  const XMLSize_t n = costs->getLength();
  for (XMLSize_t i = 0; i < n; ++i) {
    const xercesc::DOMNode* node = costs->item(i);
    if (node == nullptr || node->getNodeType() != xercesc::DOMNode::ELEMENT_NODE) continue;
    const auto* cost = static_cast<const xercesc::DOMElement*>(node);
    // A failure names the line of the cost element.
    try {
      const xercesc::DOMElement* first = RequireCostChild(cost, GetFirstChildElt(cost), "first");
      const xercesc::DOMElement* second =
          RequireCostChild(cost, GetNextSiblingElt(first), "second");
      const xercesc::DOMElement* third =
          RequireCostChild(cost, GetNextSiblingElt(second), "third");

      std::string row = ConvertCostCategory(CostChildText(cost, first, "first"),
                                            GetAttribute(first, XML_ATT_COST_TYPE));
      std::string column = ConvertCostCategory(CostChildText(cost, second, "second"),
                                               GetAttribute(second, XML_ATT_COST_TYPE));
      const double value = VerifyDouble(CostChildText(cost, third, "third"));
      byRow[std::move(row)].emplace(std::move(column), value);
    } catch (ZbException& e) {
      e.AddLine(XmlDocument::GetLine(cost));
      throw;
    }
  }
  categoryTextByValue.clear();

  // Only rows that name a category of the target are kept; of two labels
  // with the same text the first one's row stays.
  const std::vector<ScoreValue*>* labels = targetVariable->GetValueLabelSet();
  if (labels == nullptr) return;
  for (const ScoreValue* label : *labels) {
    if (label == nullptr) continue;
    std::string text = label->GetString();
    if (table.count(text) != 0) continue;
    auto found = byRow.find(text);
    if (found == byRow.end() || found->second.empty()) continue;
    table.emplace(std::move(text), found->second);
  }
}

std::string RuleSetTranslator::ConvertCostCategory(const XMLCh* category, const XMLCh* costType) {
  if (IsEqual(costType, u"A")) {
    if (targetVariable == nullptr || targetVariable->GetValueType() != ScoreDictVar::kString) {
      ThrowZb(ErrorCode::kCostType, ToString(costType), XML_ATT_COST_TYPE,
              targetVariable == nullptr ? std::string() : targetVariable->GetName());
    }
    return Transcoder().transcodeTo(category);
  }
  if (IsEqual(costType, u"D")) {
    const double value = VerifyDouble(category);
    const auto known = categoryTextByValue.find(value);
    if (!std::isnan(value) && known != categoryTextByValue.end()) return known->second;
    // A value no category has: the general format with six significant
    // digits (2.50 -> 2.5, 1e6 -> 1e+06); to_chars writes it without
    // consulting the locale.
    char buffer[64];
    const std::to_chars_result written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, written.ptr);
  }
  if (IsEqual(costType, u"J")) {
    const int value = VerifyInt(category);
    const auto known = categoryTextByValue.find(static_cast<double>(value));
    if (known != categoryTextByValue.end()) return known->second;
    return std::to_string(value);
  }
  ThrowZb(ErrorCode::kInvalidValue, ToString(costType), XML_ATT_COST_TYPE);
}

}  // namespace KtZembra_940
