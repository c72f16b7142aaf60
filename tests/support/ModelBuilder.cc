#include "tests/support/ModelBuilder.h"

#include <utility>

#include "host/BaseDictionary.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/StringValue.h"
#include "host/TruePredicate.h"
#include "model/SimpleRule.h"
#include "scoring/RuleSetResult.h"

namespace KtZembra_940 {
namespace testing_support {

ModelBuilder::ModelBuilder() : dictionary_(new BaseDictionary()) {}

ModelBuilder::~ModelBuilder() {
  model_.reset();
  delete dictionary_;
}

ModelBuilder& ModelBuilder::Numeric(const std::string& name) {
  dictionary_->AddVar(name, new ScoreDictVar(name, ScoreDictVar::kNumeric,
                                             ScoreDictVar::kContinuous));
  return *this;
}

ModelBuilder& ModelBuilder::Text(const std::string& name, const std::vector<std::string>& values) {
  auto* var = new ScoreDictVar(name, ScoreDictVar::kString, ScoreDictVar::kNominal);
  for (const std::string& v : values) var->AddValidValue(new StringValue(v));
  dictionary_->AddVar(name, var);
  return *this;
}

ModelBuilder& ModelBuilder::TextTarget(const std::string& name,
                                       const std::vector<std::string>& categories) {
  Text(name, categories);
  targetName_ = name;
  return *this;
}

RuleSetModel& ModelBuilder::Start(int numberOfModels, RuleSetModel::Semantics semantics) {
  model_.reset(new RuleSetModel());
  model_->SetSemantics(semantics);
  model_->SetScoreDictionary(dictionary_, true);
  dictionary_ = nullptr;
  if (!targetName_.empty()) model_->SetVarRole(targetName_, ScoreModel::kTargetRole);
  model_->SetNumberOfModels(numberOfModels);
  for (int m = 0; m < numberOfModels; ++m) model_->SetTargetVarNameForModel(m, targetName_);
  model_->SetUp();
  return *model_;
}

void ModelBuilder::Settings(int m, RuleSetModel::RuleSetMethod method,
                            const std::string& defaultScore, double defaultConfidence) {
  model_->SetAllRuleSelectionMethods({method}, m);
  model_->SetDefaultScore(defaultScore, m);
  model_->SetDefaultConfidence(defaultConfidence, m);
}

void ModelBuilder::Costs(const std::map<std::string, std::map<std::string, double>>& costs) {
  model_->SetMisclassificationCost(costs);
}

bool ModelBuilder::Rule(int m, const std::string& id, const std::string& score, double weight,
                        double confidence, ScorePredicate* predicate) {
  auto* rule = new SimpleRule(id);
  rule->SetScoreValue(score);
  rule->SetTargetVariableName(targetName_);
  rule->SetRuleWeight(weight);
  rule->SetRuleConfidence(confidence);
  const bool ok = model_->AddPredicateToRule(m, rule, predicate);
  if (ok) {
    model_->AddSimpleRule(rule, m);
  } else {
    delete rule;
  }
  return ok;
}

ScoreDictVar* ModelBuilder::Var(const std::string& name) const {
  if (dictionary_ != nullptr) return dictionary_->GetVar(name);
  return model_ != nullptr && model_->GetDictionary() != nullptr
             ? model_->GetDictionary()->GetVar(name)
             : nullptr;
}

ScorePredicate* ModelBuilder::Simple(const std::string& field,
                                     SimplePredicate::SimplePredOperator op, double value) {
  return new SimplePredicate(Var(field), op, value, NumericValue(value).GetString(), true);
}

ScorePredicate* ModelBuilder::SimpleText(const std::string& field,
                                         SimplePredicate::SimplePredOperator op,
                                         const std::string& text) {
  ScoreDictVar* var = Var(field);
  const int code = var->GetMutableCoder()->AddCode(text);
  return new SimplePredicate(var, op, static_cast<double>(code), text, true);
}

ScorePredicate* ModelBuilder::SetText(const std::string& field, SetPredicate::SetPredOperator op,
                                      const std::vector<std::string>& members) {
  ScoreDictVar* var = Var(field);
  std::vector<double> codes;
  for (const std::string& text : members) {
    codes.push_back(static_cast<double>(var->GetMutableCoder()->AddCode(text)));
  }
  return new SetPredicate(var, op, codes, members);
}

ScorePredicate* ModelBuilder::Compound(int boolOperator, std::vector<ScorePredicate*> members) {
  return new CompoundPredicate(boolOperator, std::move(members));
}

ScorePredicate* ModelBuilder::True() { return new TruePredicate(); }

Scored ScoreWith(RuleSetModel& model, const ScoreCaseRecord* record, ScoreResult*& result) {
  Scored scored;
  scored.code = model.GetScore(record, result, false).GetErrorCode();
  const auto* rules = result != nullptr && result->GetScoreResultType() == ScoreResult::kRuleSetResult
                          ? static_cast<const RuleSetResult*>(result)
                          : nullptr;
  if (rules == nullptr) return scored;
  scored.hasPrediction = rules->GetPrediction() != nullptr;
  if (scored.hasPrediction) scored.prediction = rules->GetPrediction()->GetString();
  scored.confidence = rules->GetConfidence();
  scored.fired = rules->GetRuleIDFire();
  scored.winning = rules->GetWinningRuleID();
  return scored;
}

TestRecord& TestRecord::Number(const std::string& name, double value) {
  record_.SetNumber(record_.GetPosition(name), value);
  return *this;
}

TestRecord& TestRecord::Text(const std::string& name, const std::string& text) {
  record_.SetText(record_.GetPosition(name), text);
  return *this;
}

TestRecord& TestRecord::Missing(const std::string& name) {
  record_.SetMissing(record_.GetPosition(name));
  return *this;
}

TestRecord& TestRecord::Clear() {
  record_.Clear();
  return *this;
}

}  // namespace testing_support
}  // namespace KtZembra_940
