// The output fields a model declares (its Output element): named results
// computed from each record's prediction, in document order, after the
// record is scored. Each field has one feature: the predicted value or its
// display text, the confidence, the probability of one category, the
// identifier of the rule that decided, the warnings of the record, or a
// value transformed by an expression over the record's fields and the
// output fields before it (computed by a DerivedFieldProgram).
//
// The values are written into the RuleSetResult, which shares the table of
// names, so a caller names its result columns after them.
#ifndef RULESCORE_MODEL_OUTPUTFIELDS_H_
#define RULESCORE_MODEL_OUTPUTFIELDS_H_

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/ScoreCaseRecord.h"
#include "model/DerivedFieldProgram.h"
#include "scoring/RuleSetResult.h"

namespace KtZembra_940 {

class RuleSetModel;

class OutputFields {
 public:
  enum Feature {
    kPredictedValue,
    kPredictedDisplayValue,
    kConfidence,
    kProbability,
    kEntityId,
    kRuleId,
    kWarning,
    kTransformedValue,
  };

  struct Field {
    std::string name;
    Feature feature = kPredictedValue;
    // The category a probability or confidence is asked for; none: the
    // predicted one.
    bool hasValue = false;
    std::string value;
    // A field that is no final result only feeds the expressions of other
    // fields: it has no column.
    bool shown = true;
    // transformedValue: the ScoreDictVar data type its value converts to,
    // -1 for none (a number or a text, as computed).
    int dataType = -1;
    // Its field in the program (every output field has one when there is
    // a program), -1 otherwise.
    int32_t slot = -1;
  };

  OutputFields() = default;
  OutputFields(const OutputFields&) = delete;
  OutputFields& operator=(const OutputFields&) = delete;

  // Appends a field; its name must not be taken yet.
  void Add(Field field);
  // The program of the fields' values: each field's slot is its field, and
  // transformedValue fields have code. Set after the last Add.
  void SetProgram(std::unique_ptr<DerivedFieldProgram> program);
  // Binds the program to the record layout (the data fields' case indices
  // set) and adds to `derivedUsed` the fields of `derived` (the model's
  // derived fields, may be null) that the expressions read.
  void Bind(const DerivedFieldProgram* derived, std::vector<int32_t>* derivedUsed);
  // Whether an expression reads a cell of the record.
  bool ReadsRecord() const { return program != nullptr && program->GetInputCount() != 0; }
  bool ReadsInput(const ScoreDictVar* var) const {
    return program != nullptr && program->ReadsInput(var);
  }
  // The display text of a target category (from its Value's displayValue).
  void SetDisplayValue(const std::string& category, const std::string& display);

  const std::vector<Field>& GetFields() const { return fields; }
  const std::shared_ptr<const std::vector<std::string>>& GetNames() const { return names; }
  bool HasField(const std::string& name) const;

  // Writes every field's value for `record`, which `model` has just scored,
  // into `result`. Never throws but for lack of memory. The first call
  // reads the model's rules and categories; a model scores one record at a
  // time. A null record reads as one with every cell missing.
  void Evaluate(const RuleSetModel& model, const ScoreCaseRecord* record, RuleSetResult* result);

  // The feature's name as a document writes it.
  static const char* FeatureName(Feature feature);

 private:
  // Looks up what the rules and categories give once, on first use.
  void Prepare(const RuleSetModel& model);
  // The category index of a text, -1 when it names none.
  int CategoryOf(const RuleSetModel& model, const std::string& text) const;
  // The probability of category `category` for the current record.
  double Probability(int category, int predicted, const std::vector<double>* shares) const;
  // The program's expressions from the values given to it.
  void EvaluateProgram(const RuleSetModel& model, const ScoreCaseRecord* record,
                       std::vector<RuleSetResult::OutputValue>& values);

  std::vector<Field> fields;
  std::shared_ptr<const std::vector<std::string>> names =
      std::make_shared<const std::vector<std::string>>();
  std::map<std::string, std::string> displayValues;
  std::vector<int32_t> columns;  // per field: its value's index in the result, -1 none
  std::unique_ptr<DerivedFieldProgram> program;
  bool bound = false;
  // Given fields of the program that stand for derived fields of the
  // model: (slot, field of the model's program).
  std::vector<std::pair<int32_t, int32_t>> derivedCopies;

  bool prepared = false;
  std::vector<int> fieldCategory;  // per field: the category of its value, -1 none
  // Per rule identifier, the share of each category in its
  // ScoreDistribution; rules without one are absent.
  std::unordered_map<std::string, std::vector<double>> ruleShares;
  std::string warnings;  // scratch
  RuleSetResult::OutputValue hidden;  // scratch: a field without a column
  DerivedFieldProgram::Value given;   // scratch
};

}  // namespace KtZembra_940

#endif  // RULESCORE_MODEL_OUTPUTFIELDS_H_
