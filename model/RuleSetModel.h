// The in-memory PMML rule-set model: one or more rule sets ("models",
// numbered from 0), their per-model settings, the target's category table and
// every rule's predicate compiled into flat structures that compare doubles.
// Building is done by the translator; scoring runs one record at a time.
#ifndef RULESCORE_MODEL_RULESETMODEL_H_
#define RULESCORE_MODEL_RULESETMODEL_H_

#include <cstdint>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/BaseModel.h"
#include "host/KtStatus.h"
#include "scoring/RuleOutcomes.h"

namespace KtZembra_940 {

class CompoundPredicate;
class DerivedFieldProgram;
class FalsePredicate;
class OutputFields;
class RuleSetResult;
class ScoreCaseRecord;
class ScoreDictVar;
class ScoreDictionary;
class ScorePredicate;
class ScoreResult;
class ScoreValue;
class ScoreValueCoder;
class ScoringPlan;
class SetPredicate;
class SimplePredicate;
class SimpleRule;
class TruePredicate;

class RuleSetModel : public BaseModel {
 public:
  enum RuleSetMethod { firstHit = 0, weightedSum = 1, weightedMax = 2 };

  // How the document is read and scored. `native` is the model's own
  // reading; `pmml` follows the PMML 4.4 RuleSet and MiningSchema chapters
  // (schema defaults, three-valued predicates, per-field treatment of
  // invalid and missing input, no prediction without a default score).
  // Fixed before translation; translation and scoring read it.
  enum Semantics { native = 0, pmml = 1 };
  // How a field's invalid and outlying values are treated under pmml (a
  // MiningField's invalidValueTreatment and outliers).
  enum InvalidTreatment { returnInvalid = 0, invalidAsIs = 1, invalidAsMissing = 2, invalidAsValue = 3 };
  enum OutlierTreatment { outliersAsIs = 0, outliersAsMissing = 1, outliersAsExtreme = 2 };
  // One MiningField's treatments, as the document gives them (absent
  // attributes keep PMML's defaults). Replacement texts are read like a
  // record's cell of the field.
  struct ST_FieldTreatment {
    int32_t invalidTreatment = returnInvalid;
    bool hasInvalidReplacement = false;
    std::string invalidReplacement;
    bool hasMissingReplacement = false;
    std::string missingReplacement;
    int32_t outliers = outliersAsIs;
    bool hasLowValue = false;
    double lowValue = 0.0;
    bool hasHighValue = false;
    double highValue = 0.0;
  };

  // The option text of a semantics ("native", "pmml"), and back; false for
  // any other text.
  static const char* SemanticsName(Semantics semantics);
  static bool SemanticsFromName(const std::string& name, Semantics* semantics);

  // Deepest nesting of compound conditions the compile accepts, counted from
  // the outermost compound (level 1). Twice the host parser's bound on
  // CompoundPredicate nesting and some room: a parsed predicate fits even
  // when it is wrapped in the conjunctions of enclosing rules. Deeper trees
  // are refused (AddPredicateToRule answers false) rather than recursed
  // into, which bounds the recursion of compile, scoring and destruction.
  static constexpr int kMaxConditionDepth = 1024;

  // One simple, set or constant condition; exactly one flag is set. A
  // constant member (isTrue/isFalse) is kept only where it decides nothing
  // by itself (under xor and operators other than or/and); its entry in the
  // owner's varIndices is -1 and is never read.
  struct ST_SIM_Condition {
    bool isTrue = false;
    bool isFalse = false;
    bool isSet = false;
    bool isSimple = false;
    double value = 0.0;
    std::vector<double> setValues;
    int32_t simpleOperator = 0;
    int32_t setOperator = 0;
  };

  // One compound predicate: nested compounds are evaluated before the simple
  // and set members. varIndices[k] belongs to conditions[k] (-1 for a
  // constant member).
  struct ST_COMP_Condition {
    std::vector<ST_SIM_Condition> conditions;
    std::vector<ST_COMP_Condition> compConditions;
    int32_t boolOperator = 0;
    std::vector<int32_t> varIndices;
    int32_t fixedResult = 0;  // 0 evaluate, 1 always true, 2 always false
  };

  // One rule with its predicate compiled; the top level is an and.
  // scoreIndex is the category index of the rule's score, 0 when the score
  // text names no category; it never lies outside 0..categories-1 when the
  // target has categories.
  struct ST_Rule {
    std::string ruleId;
    int32_t scoreIndex = 0;
    double confidence = 0.0;
    double weight = 0.0;
    std::vector<int32_t> varIndices;
    std::vector<ST_SIM_Condition> conditions;
    std::vector<ST_COMP_Condition> compConditions;
    int32_t boolOperator = 1;
    int32_t fixedResult = 0;  // 0 evaluate, 1 always fires, 2 never fires
  };

  // One model's compiled rules, in compile order.
  struct ST_RuleSet {
    std::vector<ST_Rule> rules;
    std::vector<int32_t> newVarIndices;
  };

  RuleSetModel();
  ~RuleSetModel() override;
  RuleSetModel(const RuleSetModel&) = delete;
  RuleSetModel& operator=(const RuleSetModel&) = delete;

  // --- host model interface -------------------------------------------
  void SetPredictionOnly(bool predictionOnly) override;
  ScoreDictionary* GetVarsOfRole(VarRole role) const override;
  KtScore::KtStatus GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                             bool flag) override;
  ModelType GetModelType() const override;
  bool GetPredictionOnly() const override;
  void Display(std::ostream& os) const override;
  // Columnar scoring (scoring/BatchScoring.cc).
  size_t ScoreBatch(const ColumnBatch& columns, size_t begin, size_t end,
                    BatchScores& scores) override;
  std::vector<const ScoreValue*> GetBatchCategories() const override;
  std::vector<std::string> GetBatchRuleIds() const override;
  size_t GetMaxFiredPerRecord() const override;
  std::vector<BatchOutputField> GetBatchOutputs() const override;

  // --- building (translator) -------------------------------------------
  // Only before the first rule is added.
  void SetSemantics(Semantics value) { semantics = value; }
  Semantics GetSemantics() const { return semantics; }
  // The treatments of a predictor field, applied to each record under pmml
  // only (a field without an entry takes its values as they come). A later
  // entry for the same field replaces an earlier one.
  // A regression rule set (pmml): the target is continuous and each
  // distinct numeric score of a rule or default becomes a category of its
  // own, so that the chosen rule's score is the prediction. Set before the
  // first score is mapped.
  void SetRegression(bool value) { regression = value; }
  bool IsRegression() const { return regression; }
  void SetFieldTreatment(const std::string& field, const ST_FieldTreatment& treatment) {
    fieldTreatments[field] = treatment;
  }
  const std::map<std::string, ST_FieldTreatment>& GetFieldTreatments() const {
    return fieldTreatments;
  }
  // Sizes every per-model table; only while no rule has been added and n >= 1.
  void SetNumberOfModels(int32_t n);
  // Caches the target and builds the category table; false without a target.
  bool SetUp();
  // For a target that declares no categories (or no target at all): the
  // categories are these score texts, each once, in the order given. A
  // numeric target takes the texts that are numbers, as numbers (a boolean
  // one as "true"/"false"); otherwise the categories are texts. Does
  // nothing once the model has categories.
  void SetCategoriesFromScores(const std::vector<std::string>& texts);
  void SetDefaultScore(const std::string& text, int32_t m);
  void SetMisclassificationCost(const std::map<std::string, std::map<std::string, double>>& costs);
  // Compiles `predicate` as the predicate of `rule` into model m and appends
  // one compiled rule; always consumes the predicate.
  bool AddPredicateToRule(int32_t m, SimpleRule* rule, ScorePredicate* predicate);
  // Takes ownership of `rule` when 0 <= m < number of models.
  void AddSimpleRule(SimpleRule* rule, int32_t m);
  // Room for `count` more rules in model m (0 <= m < number of models), so
  // that the rule tables of a large rule set are sized once, without spare.
  void ReserveRules(int32_t m, size_t count);
  // Takes ownership of the compiled derived fields, which are computed from
  // each record before its predictors are encoded; before any scoring.
  void SetDerivedFieldProgram(DerivedFieldProgram* program);
  const DerivedFieldProgram* GetDerivedFieldProgram() const { return derivedFields; }

  // --- queries and per-model settings ------------------------------------
  const SimpleRule* GetSimpleRule(const std::string& ruleId) const;
  const std::vector<std::vector<SimpleRule*>>& GetSimpleRules() const;
  int GetNumbOfModels() const;
  std::string GetTargetNameFromModel(int m) const;
  void SetTargetVarNameForModel(int m, const std::string& name);
  std::vector<std::string> GetPredictorNameFromModel(int m) const;
  void SetPredictorNameForModel(int m, const std::vector<std::string>& names);
  bool IsPredictorInModel(const std::string& name, int m) const;
  int GetRuleSelectionMethodUsedInModel(int m) const;
  const std::vector<RuleSetMethod>& GetRuleSelectionMethodUsed() const;
  void SetRuleSelectionMethodToUse(const std::vector<RuleSetMethod>& methods);
  const std::vector<std::vector<RuleSetMethod>>& GetAllRuleSelectionMethods() const;
  void SetAllRuleSelectionMethods(const std::vector<RuleSetMethod>& methods, int m);
  const std::vector<std::string>& GetDefaultScore() const;
  const std::vector<double>& GetDefaultConfidence() const;
  void SetDefaultConfidence(double confidence, int m);
  const std::vector<double>& GetRecordCount() const;
  void SetRecordCount(double count, int m);
  const std::vector<double>& GetnbCorrect() const;
  void SetnbCorrect(double value, int m);
  void SetModelType(ModelType type);
  // The declared output fields, computed after each record (owned; null
  // when the document declares none).
  void SetOutputFields(std::unique_ptr<OutputFields> fields);
  const OutputFields* GetOutputFields() const { return outputFields.get(); }

  // --- read-only views for tests, the scoring plan and tools ---------------
  const std::vector<ST_RuleSet*>& GetCompiledRuleSets() const { return ruleSets; }
  const std::vector<const ScoreDictVar*>& GetPredVars() const { return predVars; }
  const std::vector<bool>& GetPredVarIsString() const { return predVarIsString; }
  const std::vector<ScoreValue*>& GetCategoryValues() const { return categoryValues; }
  // Per rule set, the default score's category index; -1 when the default
  // score names no category (or, under pmml, when there is none).
  const std::vector<int32_t>& GetDefaultScoreIndex() const { return defaultScoreIndex; }
  const std::vector<int32_t>& GetCategoryCodes() const { return categoryCodes; }
  const std::map<double, int32_t>& GetCategoryIndex() const { return categoryIndex; }
  const std::vector<std::vector<double>>& GetCostMatrix() const { return costMatrix; }
  const std::map<std::string, std::map<std::string, double>>& GetMisclassificationCost() const {
    return misclassificationCost;
  }
  int32_t GetNumbOfCategories() const { return numbOfCategories; }
  bool IsTargetString() const { return targetIsString; }
  const std::vector<int32_t>& GetRuleCount() const { return ruleCount; }
  bool IsDictVarIndexReady() const { return dictVarIndexReady; }
  const std::vector<double>& GetPredVarValues() const { return predVarValues; }

  // Scores with the straightforward rule-by-rule walk instead of the scoring
  // plan, and treats every value of a record the long way (the reference
  // the fast paths are checked against). Default: plan.
  void SetUseReferenceWalk(bool useReference) { useReferenceWalk = useReference; }

 private:
  // --- compilation --------------------------------------------------------
  bool FillSimPredToRule(const SimplePredicate* pred, ST_RuleSet* ruleSet, ST_Rule& rule);
  bool FillSimPredToComp(const SimplePredicate* pred, ST_RuleSet* ruleSet, ST_COMP_Condition& comp);
  bool FillSetPredToRule(const SetPredicate* pred, ST_RuleSet* ruleSet, ST_Rule& rule);
  bool FillSetPredToComp(const SetPredicate* pred, ST_RuleSet* ruleSet, ST_COMP_Condition& comp);
  // `depth` is the nesting level of `comp`, 1 for an outermost compound.
  bool FillComPredToComp(const CompoundPredicate* pred, ST_RuleSet* ruleSet, ST_COMP_Condition& comp,
                         int depth = 1);
  bool FillTruePredToComp(const TruePredicate* pred, ST_RuleSet* ruleSet, ST_COMP_Condition& comp);
  bool FillFalsePredToComp(const FalsePredicate* pred, ST_RuleSet* ruleSet, ST_COMP_Condition& comp);
  bool IsNewPredVar(const ScoreDictVar* var) const;
  int32_t GetRulePredVar(bool isNew, const ScoreDictVar* var);
  // The variable index of a simple or set predicate's variable, registering
  // the variable on first use; -1 when the predicate names no variable.
  int32_t FindPredicateVar(const ScorePredicate* pred, ST_RuleSet* ruleSet);
  // The category index a score text names; false when it names none.
  bool CategoryOfScoreText(const std::string& text, int32_t* index) const;
  // A regression's category for a numeric score text, added when new;
  // false when the text is no number.
  bool AddScoreCategory(const std::string& text, int32_t* index);
  // Lookups the compile makes once per predicate or rule, kept beside the
  // tables they index so that they cost the same however many variables or
  // categories there are: each registered variable's index, and for a
  // string target the first category index of each label code (both
  // rebuilt with their tables).
  std::unordered_map<const ScoreDictVar*, int32_t> predVarIndex;
  std::unordered_map<int, int32_t> categoryOfCode;

  // --- scoring ----------------------------------------------------------------
  void SetUpDictVarIndex(const ScoreCaseRecord* record);
  // Scores the common record of the common model the short way: every
  // predictor a number cell, nothing to treat, one first-hit rule set, a
  // RuleSetResult passed in. False, with no result written, otherwise.
  bool ScoreNumberRecord(const ScoreCaseRecord& record, ScoreResult*& result);
  // One first-hit rule set (singleFirstHitCount set): its choice into the
  // result, as the general way makes it.
  void ScoreSingleFirstHit();
  void ProcessScoreCase(const ScoreCaseRecord* record, bool& flag);
  void SetUpScoreResult(ScoreResult*& result);
  KtScore::KtStatus ScoreAllRuleSetModels(const ScoreCaseRecord* record, ScoreResult*& result);
  void FillRuleSetScoreResult(int categoryIndex, double confidence, double total,
                              ScoreResult*& result);
  bool IsFiredRule(const ST_Rule& rule) const;
  bool IsCompoundPredFiredRule(const ST_COMP_Condition& comp) const;
  // Under pmml: the rule's predicate is TRUE in three-valued logic.
  bool IsTrueRule(const ST_Rule& rule) const;
  // Under pmml: whether the encoded record has a missing predictor, which
  // sends it to the three-valued walk.
  bool HasMissingPredictor() const;
  // Under pmml: sets up one treatment step per predictor that has a
  // treatment (at record set-up), and applies them to the encoded record.
  // False when a value is invalid under returnInvalid; `field` and `value`
  // then name it.
  void SetUpFieldTreatments();
  bool ApplyFieldTreatments(const ScoreCaseRecord* record, std::string* field,
                            std::string* value);
  struct TreatStep;
  // One value of predictor step.index through its treatments: `cell` is the
  // value as given (null when absent), *x its encoding, which becomes the
  // treated encoding. False when the value is invalid under returnInvalid
  // (*x is then unchanged).
  bool TreatValue(const TreatStep& step, const ScoreValue* cell, double* x) const;
  void ScoreOneRuleSetModel(int m, int& categoryIndex, double& confidence, ScoreResult*& result);
  bool ComputeXMiscClassCost(const std::vector<double>& weights, int& categoryIndex,
                             double& confidence) const;
  void PickupMaxWeightedOfCate(const std::vector<double>& weights, int& categoryIndex,
                               double& bestWeight) const;
  void GetRuleSetScoreResult(const std::vector<double>& weights, int& categoryIndex,
                             double& bestWeight) const;

  // Fields, in declaration order.
  Semantics semantics = native;
  const ScoreDictVar* targetVar = nullptr;
  std::vector<std::vector<std::string>> predictorNames;
  std::vector<std::string> targetNames;
  std::vector<std::vector<SimpleRule*>> simpleRules;  // owned
  ModelType modelType = kRuleSetModel;
  int32_t numbOfModels = 0;
  std::vector<std::string> defaultScore;
  std::vector<double> recordCount;
  std::vector<double> nbCorrect;
  std::vector<double> defaultConfidence;
  std::vector<RuleSetMethod> ruleSelectionMethodUsed;
  std::vector<std::vector<RuleSetMethod>> allRuleSelectionMethods;
  std::map<std::string, std::map<std::string, double>> misclassificationCost;
  std::vector<std::vector<double>> costMatrix;
  int32_t numbOfCategories = 0;
  bool targetIsString = false;
  const ScoreValueCoder* targetLabels = nullptr;
  std::vector<int32_t> defaultScoreIndex;
  std::vector<int32_t> categoryCodes;
  std::vector<ScoreValue*> categoryValues;  // not owned, unless also in ownCategoryValues
  std::map<double, int32_t> categoryIndex;
  // Category values the model made itself (categories from score texts, a
  // boolean target's "true"/"false"); owned.
  std::vector<ScoreValue*> ownCategoryValues;
  // Categories from score texts on a text target: the index of each text.
  std::unordered_map<std::string, int32_t> categoryOfText;
  std::vector<double> ruleSetScores;
  std::vector<double> modelScores;
  std::vector<int32_t> ruleCount;
  std::vector<ST_RuleSet*> ruleSets;  // owned
  std::vector<bool> predVarIsString;
  std::vector<const ScoreDictVar*> predVars;
  bool dictVarIndexReady = false;
  int32_t numbOfPredVars = 0;
  std::vector<double> predVarValues;
  RuleSetResult* result = nullptr;  // not owned

  // Scoring plan built at record set-up from the compiled rule sets; owned.
  // How each predictor is read from a record: a number, or a text's code,
  // taken straight from the cell when the field declares no missing values
  // of its own; anything else by the general path (EncodeCell).
  // A derived field is read from the derived-field program's output
  // (position: its field number); a numeric one the program writes into
  // the value table itself (kReadDerivedDirect), and encoding skips it.
  enum EncodeKind : uint8_t { kReadNumber, kReadText, kReadGeneral, kReadDerived, kReadDerivedDirect };
  struct EncodeStep {
    const ScoreDictVar* var = nullptr;
    const ScoreValueCoder* coder = nullptr;
    int32_t position = -1;  // in the record layout
    EncodeKind kind = kReadGeneral;
  };
  std::vector<EncodeStep> encodeSteps;
  bool allNumbers = false;  // every step reads a number or is written directly
  bool anyDirect = false;   // some step is kReadDerivedDirect
  // Every step reads a number cell at a position of the layout or is a
  // derived value written in place: a record whose cells are all inside the
  // layout and numbers may take the short way, without a bounds test per
  // cell. numberCellsNeeded: the fewest cells it then needs.
  bool shortWay = false;
  size_t numberCellsNeeded = 0;
  double EncodeCell(const ScoreCaseRecord* record, size_t i) const;
  // What predictor i's value encodes to; null stands for an absent value.
  double EncodeValue(const ScoreValue* value, size_t i) const;
  // Every predictor of the record, cell by cell.
  void EncodeCells(const ScoreCaseRecord* record);
  // Per rule set, what its counted rules give when they fire.
  std::vector<RuleOutcomes> outcomes;
  // The identifiers of the counted rules of every rule set, built at the
  // record set-up and never changed after; shared with the results, which
  // point into it and may outlive the model.
  std::shared_ptr<const std::vector<std::string>> ruleIdTable;
  // Per rule set, for the current record: the category it chose and the
  // identifier of the rule that decided it (null when a default did).
  struct ST_RuleSetChoice {
    int32_t category = -1;
    const std::string* winningRule = nullptr;
  };
  std::vector<ST_RuleSetChoice> ruleSetChoices;
  // A model of one first-hit rule set that the plan scores: the first
  // singleFirstHitCount rules may decide (0: the general way serves).
  // Set at the record set-up.
  size_t singleFirstHitCount = 0;
  // Rule set m's default: its category (-1: none) and confidence.
  void RuleSetDefault(size_t m, int& category, double& confidence) const;

  std::unique_ptr<OutputFields> outputFields;

  ScoringPlan* plan = nullptr;
  DerivedFieldProgram* derivedFields = nullptr;  // owned
  bool useReferenceWalk = false;
  // The current record is scored by the three-valued walk (pmml only).
  bool threeValuedRecord = false;
  std::map<std::string, ST_FieldTreatment> fieldTreatments;
  bool regression = false;
  std::vector<ScoreValue*> scoreCategories;  // owned: a regression's categories
  // What a record's value of predictor `index` goes through under pmml.
  struct TreatStep {
    int32_t index = -1;       // into predVarValues and encodeSteps
    bool checkValid = false;  // the field declares what is valid
    int32_t invalidTreatment = returnInvalid;
    double invalidValue = 0.0;  // encoded replacement (asValue)
    bool hasMissingValue = false;
    double missingValue = 0.0;  // encoded replacement of a missing value
    int32_t outliers = outliersAsIs;
    double lowValue = 0.0;   // -inf and +inf unless outliers are treated
    double highValue = 0.0;
    // A present number of a numeric field read from a number cell needs
    // nothing when it lies in lowValue..highValue: the field declares no
    // valid or invalid Values and no Intervals. Lets the common record pass
    // with one comparison per field.
    bool numbersPass = false;
  };
  std::vector<TreatStep> treatSteps;
  // Under pmml, when every predictor is a plain number and no field declares
  // Values or Intervals: per predictor the bounds inside which a present
  // value needs no treatment (-inf..inf without outlier treatment); empty
  // otherwise. A record whose values all lie inside them has no missing
  // predictor and nothing to treat.
  std::vector<double> treatLow;
  std::vector<double> treatHigh;
  // Whether every predictor of the encoded record is present and inside
  // treatLow..treatHigh (false when there are no bounds).
  bool NeedsNoTreatment() const;
  // The last record's predictors were all read from number cells.
  bool recordAllNumbers = false;
  // Positions of the rules of one model that fired for the current record;
  // keeps its capacity from record to record.
  std::vector<int32_t> firedScratch;
  // Per category index, the position in firedScratch from which the
  // category's weight sum has held its current value (-1: no fired rule
  // predicts it); decides weighted-sum ties. Sized with ruleSetScores.
  std::vector<int32_t> scoreSince;

  // Columnar scoring's bindings and working tables, made on its first
  // call; owned.
  class BatchState;
  BatchState* batchState = nullptr;
  static void DeleteBatchState(BatchState* state);
};

}  // namespace KtZembra_940

#endif  // RULESCORE_MODEL_RULESETMODEL_H_
