// The output fields a model declares (its Output element): named results
// computed from each record's prediction, in document order, after the
// record is scored. Each field has one feature: the predicted value or its
// display text, the confidence, the probability of one category, the
// identifier of the rule that decided, or the warnings of the record.
//
// The values are written into the RuleSetResult, which shares the table of
// names, so a caller names its result columns after them.
#ifndef RULESCORE_MODEL_OUTPUTFIELDS_H_
#define RULESCORE_MODEL_OUTPUTFIELDS_H_

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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
  };

  struct Field {
    std::string name;
    Feature feature = kPredictedValue;
    // The category a probability or confidence is asked for; none: the
    // predicted one.
    bool hasValue = false;
    std::string value;
  };

  OutputFields() = default;
  OutputFields(const OutputFields&) = delete;
  OutputFields& operator=(const OutputFields&) = delete;

  // Appends a field; its name must not be taken yet.
  void Add(Field field);
  // The display text of a target category (from its Value's displayValue).
  void SetDisplayValue(const std::string& category, const std::string& display);

  const std::vector<Field>& GetFields() const { return fields; }
  const std::shared_ptr<const std::vector<std::string>>& GetNames() const { return names; }
  bool HasField(const std::string& name) const;

  // Writes every field's value for the record `model` has just scored into
  // `result`. Never throws but for lack of memory. The first call reads
  // the model's rules and categories; a model scores one record at a time.
  void Evaluate(const RuleSetModel& model, RuleSetResult* result);

  // The feature's name as a document writes it.
  static const char* FeatureName(Feature feature);

 private:
  // Looks up what the rules and categories give once, on first use.
  void Prepare(const RuleSetModel& model);
  // The category index of a text, -1 when it names none.
  int CategoryOf(const RuleSetModel& model, const std::string& text) const;
  // The probability of category `category` for the current record.
  double Probability(int category, int predicted, const std::vector<double>* shares) const;

  std::vector<Field> fields;
  std::shared_ptr<const std::vector<std::string>> names =
      std::make_shared<const std::vector<std::string>>();
  std::map<std::string, std::string> displayValues;

  bool prepared = false;
  std::vector<int> fieldCategory;  // per field: the category of its value, -1 none
  // Per rule identifier, the share of each category in its
  // ScoreDistribution; rules without one are absent.
  std::unordered_map<std::string, std::vector<double>> ruleShares;
  std::string warnings;  // scratch
};

}  // namespace KtZembra_940

#endif  // RULESCORE_MODEL_OUTPUTFIELDS_H_
