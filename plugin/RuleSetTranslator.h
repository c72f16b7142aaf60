// The plug-in's translator: reads a parsed PMML document holding
// RuleSetModel elements into one RuleSetModel.
//
// The model-level readers, the rule readers, the split builders and the
// cost-table reader are private members; their bodies live under
// translator/ (one source per area), the frame in plugin/.
#ifndef RULESCORE_PLUGIN_RULESETTRANSLATOR_H_
#define RULESCORE_PLUGIN_RULESETTRANSLATOR_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/PMMLTranslator.h"
#include "model/RuleSetModel.h"

namespace KtZembra_940 {

class RuleSetModel;
class ScoreDictVar;
class ScoreDictionary;
class ScoreModel;
class ScorePredicate;
class ScoreSplitVar;
class DiscreteSplit;
class ElementIndex;
class SimpleRule;

class RuleSetTranslator : public PMMLTranslator {
 public:
  RuleSetTranslator();
  ~RuleSetTranslator() override;

  // A new model (the caller owns it) or null when the document holds no
  // usable rule-set model. Validation failures are thrown as ZbException.
  ScoreModel* ParseFromTree(xercesc::DOMDocument* document, const std::string& encoding) override;
  // One option: "semantics", "native" (the default) or "pmml"; the models
  // parsed afterwards are read and scored under it.
  bool SetOption(const std::string& name, const std::string& value) override;

  using CostTable = std::map<std::string, std::map<std::string, double>>;
  using SplitList = std::vector<ScoreSplitVar*>;

 private:
  // Tests reach the split and cost readers directly through this peer.
  friend class RuleSetTranslatorTestPeer;

  // --- frame ---------------------------------------------------------------
  // Whether a pmml translator reads the document into a model.
  static bool AcceptedUnderPmml(xercesc::DOMDocument* document, const std::string& encoding);
  bool ParseDataDictionary(xercesc::DOMDocument* document, RuleSetModel* model);
  bool ParseTransformationDictionary(xercesc::DOMDocument* document, RuleSetModel* model);

  // --- model level ----------------------------------------------------------
  // The tags of the document index, by position.
  enum IndexedTag : size_t {
    kRuleSetModelTag,
    kMiningSchemaTag,
    kRuleSetTag,
    kMiningFieldTag,
    kRuleSelectionMethodTag,
    kExtensionTag,
    kCostTag,
    kOldCostTag,
  };
  // An index of the IndexedTag elements below `scope` (a document or an
  // element, see ElementIndex).
  static std::unique_ptr<ElementIndex> IndexElements(const xercesc::DOMNode* scope);
  bool ParseRuleSetModels(xercesc::DOMDocument* document, RuleSetModel* model);
  bool ParseRuleSetToModel(int ruleSetIndex, const xercesc::DOMElement* ruleSet,
                           RuleSetModel* model);
  // `index` is the document's index (see documentIndex).
  bool ParseMiningSchemas(const ElementIndex& index, RuleSetModel* model);
  bool ParseRuleSetAttributes(int ruleSetIndex, const xercesc::DOMElement* ruleSet,
                              RuleSetModel* model);
  bool ParseRuleSelectionMethods(int ruleSetIndex, const xercesc::DOMElement* ruleSet,
                                 RuleSetModel* model);
  // The invalid, missing and outlier treatments of a MiningField (pmml).
  RuleSetModel::ST_FieldTreatment ReadFieldTreatment(const xercesc::DOMElement* field);

  // --- misclassification costs ----------------------------------------------
  bool ReadMisclassificationCost(const xercesc::DOMElement* root, RuleSetModel* model);
  const xercesc::DOMNodeList* FindMisclassificationCosts(const xercesc::DOMElement* root) const;
  void ParseMisclassificationCosts(const xercesc::DOMNodeList* costs, CostTable& table);
  std::string ConvertCostCategory(const XMLCh* category, const XMLCh* costType);
  // While ParseMisclassificationCosts runs on a target that is not a string
  // field: the text of each of its categories by value, so that a numeric
  // cost key names the category of equal value whatever its spelling.
  std::map<double, std::string> categoryTextByValue;

  // --- rules ----------------------------------------------------------------
  bool ParseRules(int ruleSetIndex, const xercesc::DOMElement* ruleSet, RuleSetModel** model);
  bool ParseSimpleRule(const xercesc::DOMElement* element, int ruleSetIndex,
                       RuleSetModel** model);
  bool CreateSimpleRule(const xercesc::DOMElement* element, SimpleRule** rule);
  bool ParseCompoundRule(const xercesc::DOMElement* element, int ruleSetIndex,
                         RuleSetModel** model);
  bool ParseScoreDistribution(SimpleRule* rule, const xercesc::DOMElement* element);
  bool ParseRuleExtension(SimpleRule* rule, const xercesc::DOMElement* element);

  // --- split variables: continuous fields -------------------------------------
  bool ParseCompoundSplits(const xercesc::DOMElement* compound, SplitList& splits);
  // The split variables of a CompoundRule's predicate, for the summary of a
  // rule nested in it.
  void AddEnclosingSplits(const xercesc::DOMElement* predicate, SplitList& splits);
  // `fieldPredicates`, when given, lists the parent's SimplePredicate
  // children on the field in document order, so that a compound with many
  // fields is not walked once per field.
  using PredicateList = std::vector<const xercesc::DOMElement*>;
  // A run of predicate elements held elsewhere: [first, last).
  struct PredicateSpan {
    const xercesc::DOMElement* const* first;
    const xercesc::DOMElement* const* last;
  };
  bool ParsePredicateSplit(const XMLCh* fieldName, const xercesc::DOMElement* parent,
                           int splitIndex, SplitList& splits,
                           const PredicateSpan* fieldPredicates = nullptr);
  void BuildScaleSplit(SplitList& splits, const xercesc::DOMElement* parent,
                       const ScoreDictVar* var, int splitIndex, const XMLCh* fieldName,
                       const PredicateSpan* fieldPredicates = nullptr);
  void GetPredicateBounds(const XMLCh* valueText, const XMLCh* operatorText, double& low,
                          double& high, bool& closed);

  // --- split variables: nominal and ordinal fields ------------------------------
  bool ParseSetPredicateSplit(const XMLCh* fieldName, const xercesc::DOMElement* setPredicate,
                              int splitIndex, SplitList& splits);
  void BuildSetSplit(SplitList& splits, const xercesc::DOMElement* setPredicate,
                     const ScoreDictVar* var, int splitIndex);
  void BuildDiscreteSplit(SplitList& splits, const xercesc::DOMElement* parent,
                          const ScoreDictVar* var, int splitIndex, const XMLCh* fieldName,
                          const PredicateSpan* fieldPredicates = nullptr);
  int GetOrdinalIndexRange(const xercesc::DOMElement* simplePredicate, const ScoreDictVar* var,
                           int& lowIndex, int& highIndex);
  void PutCategoryValue(const ScoreDictVar* var, DiscreteSplit* split, const XMLCh* value,
                        int splitIndex);

  // --- rules nested in CompoundRules ---------------------------------------------
  // Reads one SimpleRule. `enclosing` holds the predicate elements of the
  // CompoundRules around it, outermost first; it is empty for a rule that
  // stands directly in its RuleSet. Each predicate of a nested rule is
  // compiled as the and of the enclosing predicates and its own.
  bool ReadSimpleRule(const xercesc::DOMElement* element, int ruleSetIndex,
                      RuleSetModel** model, const PredicateList& enclosing);
  // ReadSimpleRule without naming the rule in a failure.
  bool ReadOneSimpleRule(const xercesc::DOMElement* element, int ruleSetIndex,
                         RuleSetModel** model, const PredicateList& enclosing);
  // A new predicate (caller owns) parsed from a SimplePredicate,
  // CompoundPredicate, SimpleSetPredicate, True or False element; null for
  // any other element.
  ScorePredicate* ParsePredicateElement(const xercesc::DOMElement* element);
  // The and of fresh copies of the enclosing predicates and `own` (taken
  // over), or null when the host builds no copy of one of them; throws
  // kNestingTooDeep when the and would nest deeper than the predicate limit.
  ScorePredicate* ConjoinEnclosing(const PredicateList& enclosing, ScorePredicate* own);

  // The semantics the next parse gives its model (RuleSetModel::Semantics).
  int semantics = 0;
  // Under pmml, when the target is a regression's continuous field.
  bool regressionTarget = false;
  // Writes no trace lines (a trial translation).
  bool quiet = false;

  // Per-parse working state.
  // The document's RuleSetModel, MiningSchema, RuleSet, MiningField,
  // RuleSelectionMethod, Extension and cost elements, found in one walk
  // while the model level is read; null otherwise.
  std::unique_ptr<ElementIndex> documentIndex;
  std::string targetName;
  ScoreDictionary* dictionary = nullptr;      // not owned: handed to the model
  // The derived fields' variables, searched after `dictionary`; not owned:
  // handed to the model. Null when the document has no derived fields.
  ScoreDictionary* derivedFields = nullptr;
  // The variable of a field name: a data field, else a derived field; null
  // when neither is known.
  const ScoreDictVar* FindField(const std::string& name) const;
  const ScoreDictVar* targetVariable = nullptr;  // not owned
};

}  // namespace KtZembra_940

#endif  // RULESCORE_PLUGIN_RULESETTRANSLATOR_H_
