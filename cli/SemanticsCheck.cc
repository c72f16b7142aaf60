#include "cli/SemanticsCheck.h"

#include <algorithm>
#include <set>

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

constexpr char kUnderPmml[] = "under --semantics pmml ";

// Every element of a tag below `scope`, in document order.
template <typename Visit>
void ForEach(const DOMElement* scope, const XMLCh* tag, Visit visit) {
  const DOMNodeList* list = scope->getElementsByTagName(tag);
  for (XMLSize_t i = 0; list != nullptr && i < list->getLength(); ++i) {
    visit(static_cast<const DOMElement*>(list->item(i)));
  }
}

// Names in first-seen order, each once.
void AddName(std::vector<std::string>& names, const std::string& name) {
  if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

std::string Join(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) out += (i > 0 ? ", " : "") + names[i];
  return out;
}

bool IsPredictor(const DOMElement* field) {
  if (!HasAttribute(field, K::XML_ATT_MININGFIELD_USAGETYPE)) return true;
  return K::XmlText::Equal(field->getAttribute(K::XML_ATT_MININGFIELD_USAGETYPE),
                           K::XML_ATT_MF_FUT_ACTIVE);
}

}  // namespace

SemanticsCheck::SemanticsCheck(const xercesc::DOMDocument* document) {
  const DOMElement* root = document != nullptr ? document->getDocumentElement() : nullptr;
  if (root == nullptr) return;

  // Declared Values (valid or invalid) and Intervals, per data field.
  std::set<std::string> declaring;
  ForEach(root, K::XML_ELE_DATAFIELD, [&](const DOMElement* field) {
    bool declares = field->getElementsByTagName(K::XML_ELE_INTERVAL)->getLength() > 0;
    ForEach(field, K::XML_ELE_VALUE, [&](const DOMElement* value) {
      declares = declares || !K::XmlText::Equal(value->getAttribute(K::XML_ATT_PROPERTY),
                                                K::XML_VAL_MISSING);
    });
    if (declares) declaring.insert(Attribute(field, K::XML_ATT_NAME));
  });

  std::vector<std::string> bounded;
  std::vector<std::string> treated;
  std::set<std::string> replaced;
  std::set<std::string> predictors;
  ForEach(root, K::XML_ELE_MININGFIELD, [&](const DOMElement* field) {
    if (!IsPredictor(field)) return;
    const std::string name = Attribute(field, K::XML_ATT_MININGFIELD_NAME);
    predictors.insert(name);
    if (declaring.count(name) != 0) AddName(bounded, name);
    const bool treats = HasAttribute(field, K::XML_ATT_MF_INVALIDTREATMENT) ||
                        HasAttribute(field, K::XML_ATT_MF_MISSINGREPLACEMENT) ||
                        HasAttribute(field, K::XML_ATT_MF_OUTLIERS);
    if (treats) AddName(treated, name);
    if (HasAttribute(field, K::XML_ATT_MF_MISSINGREPLACEMENT)) replaced.insert(name);
  });

  int unweighted = 0;
  ForEach(root, K::XML_ELE_RULESET_RULE_SIMPLE, [&](const DOMElement* rule) {
    if (!HasAttribute(rule, K::XML_ATT_SIMPLERULE_WEIGHT) ||
        !HasAttribute(rule, K::XML_ATT_SIMPLERULE_CONF)) {
      ++unweighted;
    }
  });

  // Comparisons and set tests whose field may be missing (no replacement).
  std::vector<std::string> comparedMissing;
  auto compared = [&](const DOMElement* predicate) {
    const std::string op = Attribute(predicate, K::XML_ATT_OPERATOR);
    if (op == "isMissing" || op == "isNotMissing") return;
    const std::string field = Attribute(predicate, K::XML_ATT_FIELD);
    if (replaced.count(field) == 0) AddName(comparedMissing, field);
  };
  ForEach(root, K::XML_ELE_PREDICATE, compared);
  ForEach(root, K::XML_ELE_SETPREDICATE, compared);

  std::vector<std::string> noDefault;
  int ruleSetNumber = 0;
  ForEach(root, K::XML_ELE_RULESET, [&](const DOMElement* ruleSet) {
    ++ruleSetNumber;
    if (Attribute(ruleSet, K::XML_ATT_RULESET_DEFAULTSCORE).empty()) {
      noDefault.push_back(std::to_string(ruleSetNumber));
    }
  });

  bool regression = false;
  ForEach(root, K::XML_ELE_RULESETMODEL, [&](const DOMElement* model) {
    regression = regression || K::XmlText::Equal(model->getAttribute(K::XML_ATT_FUNCTIONNAME),
                                                 K::XML_VAL_REGRESSION);
  });

  if (unweighted > 0) {
    warnings_.push_back(std::string(kUnderPmml) + "an absent weight or confidence is 1, not 0 (" +
                        std::to_string(unweighted) + (unweighted == 1 ? " rule lacks" : " rules lack") +
                        " one)");
  }
  if (!bounded.empty()) {
    warnings_.push_back(std::string(kUnderPmml) + "a value outside the declared Values or Intervals of " +
                        Join(bounded) + " is invalid (invalidValueTreatment, by default returnInvalid)");
  }
  if (!treated.empty()) {
    warnings_.push_back(std::string(kUnderPmml) + "the MiningField treatments of " + Join(treated) +
                        " are applied (they are not read here)");
  }
  if (!comparedMissing.empty()) {
    warnings_.push_back(std::string(kUnderPmml) +
                        "a comparison on a missing value is UNKNOWN, not true or false (fields " +
                        Join(comparedMissing) + ")");
  }
  if (!noDefault.empty()) {
    warnings_.push_back(std::string(kUnderPmml) + "a rule set without defaultScore predicts nothing " +
                        "when no rule fires, not its first category (rule set" +
                        (noDefault.size() == 1 ? " " : "s ") + Join(noDefault) + ")");
  }
  if (regression) {
    warnings_.push_back(std::string(kUnderPmml) +
                        "functionName regression predicts the chosen rule's score as a number");
  }
}

}  // namespace cli
}  // namespace rulescore
