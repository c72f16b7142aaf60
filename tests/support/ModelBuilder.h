// Builds small rule-set models for the tests through the model's own
// building operations (the ones the translator uses), and scores records
// against them.
#ifndef RULESCORE_TESTS_SUPPORT_MODELBUILDER_H_
#define RULESCORE_TESTS_SUPPORT_MODELBUILDER_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/CompoundPredicate.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreResult.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"

namespace KtZembra_940 {

class BaseDictionary;
class ScoreDictVar;
class ScorePredicate;
class ScoreResult;

namespace testing_support {

// Declare the fields first, then Start() the model, then add settings and
// rules. The model owns the dictionary once started; field pointers stay
// valid as long as the model lives.
class ModelBuilder {
 public:
  ModelBuilder();
  ~ModelBuilder();
  ModelBuilder(const ModelBuilder&) = delete;
  ModelBuilder& operator=(const ModelBuilder&) = delete;

  // A continuous numeric predictor field.
  ModelBuilder& Numeric(const std::string& name);
  // A nominal string predictor field with declared values (codes 0, 1, ...).
  ModelBuilder& Text(const std::string& name, const std::vector<std::string>& values);
  // A nominal string target with its categories in order.
  ModelBuilder& TextTarget(const std::string& name, const std::vector<std::string>& categories);

  // Creates the model with `numberOfModels` rule sets under `semantics`,
  // gives it the dictionary and the target, and builds its category table.
  RuleSetModel& Start(int numberOfModels, RuleSetModel::Semantics semantics = RuleSetModel::native);
  RuleSetModel& Model() { return *model_; }

  // Selection method, default score and default confidence of rule set m.
  void Settings(int m, RuleSetModel::RuleSetMethod method, const std::string& defaultScore,
                double defaultConfidence);
  // Cost table keyed [chosen category][true category].
  void Costs(const std::map<std::string, std::map<std::string, double>>& costs);

  // Compiles `predicate` as the predicate of a new rule of rule set m and
  // stores the rule; returns what the compile answered.
  bool Rule(int m, const std::string& id, const std::string& score, double weight,
            double confidence, ScorePredicate* predicate);

  // Predicates on the declared fields. A text value gets the field's code
  // for it (a new code when the field does not declare it).
  ScorePredicate* Simple(const std::string& field, SimplePredicate::SimplePredOperator op,
                         double value);
  ScorePredicate* SimpleText(const std::string& field, SimplePredicate::SimplePredOperator op,
                             const std::string& text);
  ScorePredicate* SetText(const std::string& field, SetPredicate::SetPredOperator op,
                          const std::vector<std::string>& members);
  static ScorePredicate* Compound(int boolOperator, std::vector<ScorePredicate*> members);
  static ScorePredicate* True();

  ScoreDictVar* Var(const std::string& name) const;

 private:
  BaseDictionary* dictionary_;  // owned until Start hands it to the model
  std::unique_ptr<RuleSetModel> model_;
  std::string targetName_;
};

// What one scoring call gave, in a form tests compare at once.
struct Scored {
  long code = 0;
  bool hasPrediction = false;
  std::string prediction;
  double confidence = 0.0;
  std::vector<std::string> fired;
  std::string winning;  // the rule that decided; empty when a default did
};

// Scores `record` with `result` in and out and reads the result back (a
// result that is no RuleSetResult reads as no prediction).
Scored ScoreWith(RuleSetModel& model, const ScoreCaseRecord* record, ScoreResult*& result);

// A record over the given field names, filled by name.
class TestRecord {
 public:
  explicit TestRecord(const std::vector<std::string>& fieldNames) : record_(fieldNames) {}
  TestRecord& Number(const std::string& name, double value);
  TestRecord& Text(const std::string& name, const std::string& text);
  TestRecord& Missing(const std::string& name);
  TestRecord& Clear();
  const ScoreCaseRecord* Get() const { return &record_; }

 private:
  ScoreCaseRecord record_;
};

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_MODELBUILDER_H_
