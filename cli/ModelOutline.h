// What a rule-set document declares, read from its parsed DOM for the
// summary of `check` and for the list of fields the model reads: the rule
// sets with their rules and selection criteria, the mining schemas'
// predictors and target, and whether a cost table is present. Reading the
// document does not involve the plug-in; what the translated model itself
// reports (target categories, model kind) comes from the host interface.
#ifndef RULESCORE_CLI_MODELOUTLINE_H_
#define RULESCORE_CLI_MODELOUTLINE_H_

#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>

namespace rulescore {
namespace cli {

struct RuleOutline {
  std::string id;
  std::string score;
  bool disabled = false;
};

struct RuleSetOutline {
  std::vector<RuleOutline> rules;  // the SimpleRule children, in order
  int compoundRules = 0;           // CompoundRule elements, at any depth
  // The first RuleSelectionMethod's criterion; empty when there is none
  // (the engine then uses firstHit).
  std::string criterion;
  bool hasDefaultScore = false;
  std::string defaultScore;
  std::string defaultConfidence;  // as written; empty when absent
};

// A derived field and the kind of its expression ("Discretize", "Apply /").
struct DerivedFieldOutline {
  std::string name;
  std::string kind;
};

class ModelOutline {
 public:
  // REQUIRES: `document` is a parsed PMML document.
  explicit ModelOutline(const xercesc::DOMDocument* document);

  int GetRuleSetModelCount() const { return ruleSetModels_; }
  const std::vector<RuleSetOutline>& GetRuleSets() const { return ruleSets_; }
  // Target of the first mining schema (the model's target); empty if none.
  const std::string& GetTargetName() const { return target_; }
  // Active fields of every mining schema, each name once, in first-seen
  // order: the fields the model reads from a record.
  const std::vector<std::string>& GetPredictors() const { return predictors_; }
  // Every DerivedField of the document, in document order.
  const std::vector<DerivedFieldOutline>& GetDerivedFields() const { return derived_; }
  // The fields a record must supply: the predictors that are no derived
  // field, then the other fields that derived fields read, each once.
  const std::vector<std::string>& GetRecordFields() const { return recordFields_; }
  // True when an Extension holds misclassification cost elements.
  bool HasCostTable() const { return costTable_; }
  // Names of the first RuleSetModel's output fields that are final
  // results, in document order: the result columns after the standard ones.
  const std::vector<std::string>& GetOutputFields() const { return outputFields_; }

 private:
  void ReadDerivedFields(const xercesc::DOMDocument* document);

  int ruleSetModels_ = 0;
  std::vector<RuleSetOutline> ruleSets_;
  std::string target_;
  std::vector<std::string> predictors_;
  bool costTable_ = false;
  std::vector<DerivedFieldOutline> derived_;
  std::vector<std::string> recordFields_;
  std::vector<std::string> outputFields_;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_MODELOUTLINE_H_
