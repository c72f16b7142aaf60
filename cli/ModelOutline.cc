#include "cli/ModelOutline.h"

#include <algorithm>

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "cli/XmlAttributes.h"
#include "host/PMMLModelTags.h"
#include "host/XmlText.h"

namespace rulescore {
namespace cli {

namespace K = KtZembra_940;
using xercesc::DOMElement;
using xercesc::DOMNode;
using xercesc::DOMNodeList;

namespace {

bool IsTag(const DOMNode* node, const XMLCh* tag) {
  return K::XmlText::Equal(node->getNodeName(), tag);
}

template <typename Visit>
void ForEachChildElement(const DOMElement* parent, Visit visit) {
  for (const DOMNode* node = parent->getFirstChild(); node != nullptr; node = node->getNextSibling()) {
    if (node->getNodeType() == DOMNode::ELEMENT_NODE) visit(static_cast<const DOMElement*>(node));
  }
}

void ReadRules(const DOMElement* parent, RuleSetOutline& outline);

RuleSetOutline ReadRuleSet(const DOMElement* ruleSet) {
  RuleSetOutline outline;
  outline.hasDefaultScore = HasAttribute(ruleSet, K::XML_ATT_RULESET_DEFAULTSCORE) &&
                            !Attribute(ruleSet, K::XML_ATT_RULESET_DEFAULTSCORE).empty();
  outline.defaultScore = Attribute(ruleSet, K::XML_ATT_RULESET_DEFAULTSCORE);
  outline.defaultConfidence = Attribute(ruleSet, K::XML_ATT_RULESET_DEFAULTCONF);
  const DOMNodeList* methods = ruleSet->getElementsByTagName(K::XML_ELE_RULESET_RULESELECMETHOD);
  if (methods != nullptr && methods->getLength() > 0) {
    outline.criterion = Attribute(static_cast<const DOMElement*>(methods->item(0)),
                                  K::XML_ATT_RULESET_RULESELECMETHOD);
  }
  ReadRules(ruleSet, outline);
  return outline;
}

// The rules of a rule set in document order, those nested in CompoundRules
// included (the model has already been translated, so the nesting is
// within the translator's bound).
void ReadRules(const DOMElement* parent, RuleSetOutline& outline) {
  ForEachChildElement(parent, [&](const DOMElement* child) {
    if (IsTag(child, K::XML_ELE_RULESET_RULE_COMP)) {
      ++outline.compoundRules;
      ReadRules(child, outline);
      return;
    }
    if (!IsTag(child, K::XML_ELE_RULESET_RULE_SIMPLE)) return;
    RuleOutline rule;
    rule.id = Attribute(child, K::XML_ATT_SIMPLERULE_ID);
    rule.score = Attribute(child, K::XML_ATT_SCORE);
    ForEachChildElement(child, [&](const DOMElement* extension) {
      if (IsTag(extension, K::XML_ELE_EXTENSION) &&
          K::XmlText::Equal(extension->getAttribute(K::XML_ATT_EXT_NAME),
                            K::XML_ATT_EXT_NAME_VALUE_DISABLED) &&
          K::XmlText::Equal(extension->getAttribute(K::XML_ATT_EXT_VALUE),
                            K::XML_ATT_EXT_VALUE_VALUE_TRUE)) {
        rule.disabled = true;
      }
    });
    outline.rules.push_back(std::move(rule));
  });
}

// Every `field` attribute at any depth below `element`.
void CollectFieldNames(const DOMElement* element, std::vector<std::string>* names) {
  const DOMNodeList* all = element->getElementsByTagName(u"*");
  const XMLSize_t count = all == nullptr ? 0 : all->getLength();
  for (XMLSize_t i = 0; i < count; ++i) {
    const auto* child = static_cast<const DOMElement*>(all->item(i));
    if (HasAttribute(child, K::XML_ATT_FIELD)) names->push_back(Attribute(child, K::XML_ATT_FIELD));
  }
}

}  // namespace

void ModelOutline::ReadDerivedFields(const xercesc::DOMDocument* document) {
  std::vector<std::string> read;  // names the derived fields and functions read
  std::vector<std::string> local;  // names that need no column
  const DOMNodeList* fields = document->getElementsByTagName(K::XML_ELE_DERIVEDFIELD);
  const XMLSize_t count = fields == nullptr ? 0 : fields->getLength();
  for (XMLSize_t i = 0; i < count; ++i) {
    const auto* field = static_cast<const DOMElement*>(fields->item(i));
    DerivedFieldOutline outline;
    outline.name = Attribute(field, K::XML_ATT_NAME);
    ForEachChildElement(field, [&](const DOMElement* child) {
      if (!outline.kind.empty() || IsTag(child, K::XML_ELE_EXTENSION)) return;
      outline.kind = K::XmlText::ToUtf8(child->getNodeName());
      if (IsTag(child, K::XML_ELE_APPLY)) outline.kind += " " + Attribute(child, K::XML_ATT_FUNCTION);
    });
    local.push_back(outline.name);
    derived_.push_back(std::move(outline));
    CollectFieldNames(field, &read);
  }
  const DOMNodeList* functions = document->getElementsByTagName(K::XML_ELE_DEFINEFUNCTION);
  const XMLSize_t functionCount = functions == nullptr ? 0 : functions->getLength();
  for (XMLSize_t i = 0; i < functionCount; ++i) {
    const auto* function = static_cast<const DOMElement*>(functions->item(i));
    CollectFieldNames(function, &read);
    ForEachChildElement(function, [&](const DOMElement* child) {
      if (IsTag(child, K::XML_ELE_PARAMETERFIELD)) local.push_back(Attribute(child, K::XML_ATT_NAME));
    });
  }
  auto add = [&](const std::string& name) {
    if (std::find(local.begin(), local.end(), name) != local.end()) return;
    if (std::find(recordFields_.begin(), recordFields_.end(), name) != recordFields_.end()) return;
    recordFields_.push_back(name);
  };
  for (const std::string& name : predictors_) add(name);
  for (const std::string& name : read) add(name);
}

ModelOutline::ModelOutline(const xercesc::DOMDocument* document) {
  if (document == nullptr) return;
  const DOMNodeList* models = document->getElementsByTagName(K::XML_ELE_RULESETMODEL);
  ruleSetModels_ = models == nullptr ? 0 : static_cast<int>(models->getLength());

  const DOMNodeList* schemas = document->getElementsByTagName(K::XML_ELE_MININGSCHEMA);
  const XMLSize_t schemaCount = schemas == nullptr ? 0 : schemas->getLength();
  for (XMLSize_t s = 0; s < schemaCount; ++s) {
    const auto* schema = static_cast<const DOMElement*>(schemas->item(s));
    const DOMNodeList* fields = schema->getElementsByTagName(K::XML_ELE_MININGFIELD);
    const XMLSize_t fieldCount = fields == nullptr ? 0 : fields->getLength();
    for (XMLSize_t f = 0; f < fieldCount; ++f) {
      const auto* field = static_cast<const DOMElement*>(fields->item(f));
      const std::string name = Attribute(field, K::XML_ATT_MININGFIELD_NAME);
      const XMLCh* usage = field->getAttribute(K::XML_ATT_MININGFIELD_USAGETYPE);
      const bool active = usage == nullptr || *usage == 0 ||
                          K::XmlText::Equal(usage, K::XML_ATT_MF_FUT_ACTIVE);
      const bool target = K::XmlText::Equal(usage, K::XML_ATT_MF_FUT_PREDICTED) ||
                          K::XmlText::Equal(usage, K::XML_ATT_MF_FUT_TARGET);
      if (target && s == 0) target_ = name;
      if (active && std::find(predictors_.begin(), predictors_.end(), name) == predictors_.end()) {
        predictors_.push_back(name);
      }
    }
  }

  const DOMNodeList* ruleSets = document->getElementsByTagName(K::XML_ELE_RULESET);
  const XMLSize_t ruleSetCount = ruleSets == nullptr ? 0 : ruleSets->getLength();
  for (XMLSize_t r = 0; r < ruleSetCount; ++r) {
    ruleSets_.push_back(ReadRuleSet(static_cast<const DOMElement*>(ruleSets->item(r))));
  }

  ReadDerivedFields(document);

  const DOMNodeList* extensions = document->getElementsByTagName(K::XML_ELE_EXTENSION);
  const XMLSize_t extensionCount = extensions == nullptr ? 0 : extensions->getLength();
  for (XMLSize_t e = 0; e < extensionCount && !costTable_; ++e) {
    const auto* extension = static_cast<const DOMElement*>(extensions->item(e));
    const DOMNodeList* current = extension->getElementsByTagName(K::XML_ELE_MISCLASSIFICATIONCOST);
    const DOMNodeList* older = extension->getElementsByTagName(K::XML_ELE_MISCLASSIFICATIONCOST_OLD);
    costTable_ = (current != nullptr && current->getLength() > 0) ||
                 (older != nullptr && older->getLength() > 0);
  }

  // The output fields shown as result columns: those of the first
  // RuleSetModel's Output that are final results.
  if (ruleSetModels_ > 0) {
    ForEachChildElement(static_cast<const DOMElement*>(models->item(0)), [&](const DOMElement* child) {
      if (!IsTag(child, u"Output")) return;
      ForEachChildElement(child, [&](const DOMElement* field) {
        if (!IsTag(field, u"OutputField") ||
            K::XmlText::Equal(field->getAttribute(u"isFinalResult"), u"false")) {
          return;
        }
        outputFields_.push_back(Attribute(field, K::XML_ATT_NAME));
      });
    });
  }
}

}  // namespace cli
}  // namespace rulescore
