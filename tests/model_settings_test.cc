// The model's per-model tables, the target's category table, default scores,
// the misclassification cost matrix and the model's queries.

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/BaseDictionary.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/SimplePredicate.h"
#include "host/StringValue.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {
namespace {

using Method = RuleSetModel::RuleSetMethod;
using CostTable = std::map<std::string, std::map<std::string, double>>;

// A string field with the given declared values.
ScoreDictVar* StringVar(const std::string& name, const std::vector<std::string>& values) {
  auto* var = new ScoreDictVar(name, ScoreDictVar::kString, ScoreDictVar::kNominal);
  for (const std::string& v : values) var->AddValidValue(new StringValue(v));
  return var;
}

// The first positive sizing is final; on a model sized 0 (or negative) and on one
// sized 2, every setter given a model number outside the tables changes
// nothing and keeps no rule, and the queries answer nothing for it.
TEST(RuleSetModelSettings, ModelNumbersOutsideTheTablesChangeNothing) {
  for (const int size : {0, 2}) {
    for (const int bad : {-1, size, 1000}) {
      SCOPED_TRACE("size " + std::to_string(size) + ", model " + std::to_string(bad));
      RuleSetModel model;
      model.SetNumberOfModels(size);
      model.SetNumberOfModels(size == 0 ? -4 : 5);  // a negative size, or one after the first
      const auto unsized = static_cast<size_t>(size);
      model.SetTargetVarNameForModel(bad, "x");
      model.SetPredictorNameForModel(bad, {"x"});
      model.SetAllRuleSelectionMethods({RuleSetModel::weightedMax}, bad);
      model.SetDefaultConfidence(0.9, bad);
      model.SetRecordCount(9.0, bad);
      model.SetnbCorrect(9.0, bad);
      model.SetDefaultScore("x", bad);
      auto* rule = new SimpleRule("R1");
      model.AddSimpleRule(rule, bad);  // not stored: the caller keeps it
      EXPECT_EQ(model.GetSimpleRule("R1"), nullptr);
      delete rule;
      EXPECT_EQ(model.GetNumbOfModels(), size);
      EXPECT_EQ(model.GetSimpleRules().size(), unsized);
      EXPECT_EQ(model.GetTargetNameFromModel(bad), "");
      EXPECT_TRUE(model.GetPredictorNameFromModel(bad).empty());
      EXPECT_FALSE(model.IsPredictorInModel("x", bad));
      EXPECT_EQ(model.GetRuleSelectionMethodUsedInModel(bad), -1);
      EXPECT_EQ(model.GetDefaultConfidence(), std::vector<double>(unsized, 0.0));
      EXPECT_EQ(model.GetRecordCount(), std::vector<double>(unsized, -1.0));
      EXPECT_EQ(model.GetnbCorrect(), std::vector<double>(unsized, -1.0));
      EXPECT_EQ(model.GetDefaultScore(), std::vector<std::string>(unsized, ""));
      EXPECT_EQ(model.GetAllRuleSelectionMethods(), std::vector<std::vector<Method>>(unsized));
      EXPECT_EQ(model.GetRuleSelectionMethodUsed(), std::vector<Method>(unsized, RuleSetModel::firstHit));
      if (size == 0) continue;
      // In range they store, each in its own model (the translator's rows
      // show the other settings); names compare exactly.
      model.SetPredictorNameForModel(0, {"age"});
      EXPECT_TRUE(model.IsPredictorInModel("age", 0));
      EXPECT_FALSE(model.IsPredictorInModel("Age", 0));
      EXPECT_FALSE(model.IsPredictorInModel("age", 1));
    }
  }
}

TEST(RuleSetModelSetUp, NoTargetVariable) {
  RuleSetModel model;
  model.SetNumberOfModels(1);
  EXPECT_FALSE(model.SetUp());
  EXPECT_EQ(model.GetNumbOfCategories(), 0);
  EXPECT_FALSE(model.IsTargetString());

  // With no categories the cost matrix is empty but the table is kept.
  CostTable costs{{"a", {{"b", 5.0}}}};
  model.SetMisclassificationCost(costs);
  EXPECT_TRUE(model.GetCostMatrix().empty());
  EXPECT_EQ(model.GetMisclassificationCost(), costs);
}

// Copies of the target, and of the predictors once a rule reads one; the
// dictionary outlives the model.
TEST(RuleSetModelSetUp, VarsOfRole) {
  ScoreDictVar* target = StringVar("risk", {"high", "low"});
  auto* age = new ScoreDictVar("age", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  BaseDictionary dictionary;
  for (ScoreDictVar* var : {target, age, StringVar("colour", {"red"})}) dictionary.AddVar(var->GetName(), var);
  auto model = std::make_unique<RuleSetModel>();
  model->SetScoreDictionary(&dictionary, false);
  model->SetNumberOfModels(1);
  model->SetVarRole("risk", ScoreModel::kTargetRole);
  // Before SetUp there is no target: no answer.
  EXPECT_EQ(model->GetVarsOfRole(ScoreModel::kTargetRole), nullptr);
  ASSERT_TRUE(model->SetUp());

  std::unique_ptr<ScoreDictionary> targets(model->GetVarsOfRole(ScoreModel::kTargetRole));
  ASSERT_NE(targets, nullptr);
  ASSERT_EQ(targets->GetVarCount(), 1);
  const ScoreDictVar* copy = targets->GetVar("risk");
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, target);
  EXPECT_EQ(copy->GetNumberOfCategories(), 2);

  // No variable is a predictor yet: no dictionary, nothing leaked.
  EXPECT_EQ(model->GetVarsOfRole(ScoreModel::kPredictorRole), nullptr);

  auto* rule = new SimpleRule("R1");
  ASSERT_TRUE(model->AddPredicateToRule(
      0, rule, new SimplePredicate(age, SimplePredicate::kGreaterThan, 60.0, "60", true)));
  model->AddSimpleRule(rule, 0);
  std::unique_ptr<ScoreDictionary> predictors(model->GetVarsOfRole(ScoreModel::kPredictorRole));
  ASSERT_NE(predictors, nullptr);
  ASSERT_EQ(predictors->GetVarCount(), 1);
  ASSERT_NE(predictors->GetVar("age"), nullptr);
  EXPECT_NE(predictors->GetVar("age"), age);
  EXPECT_EQ(predictors->GetVar("colour"), nullptr);
}

TEST(RuleSetModelRules, LookupByIdentifier) {
  RuleSetModel model;
  model.SetNumberOfModels(2);
  auto* first = new SimpleRule("R1");
  auto* second = new SimpleRule("R1");
  auto* other = new SimpleRule("R2");
  model.AddSimpleRule(nullptr, 0);  // stored like any other, skipped by lookups
  model.AddSimpleRule(second, 1);
  model.AddSimpleRule(first, 0);
  model.AddSimpleRule(other, 1);
  EXPECT_EQ(model.GetSimpleRule("R1"), first);  // the lower model number wins
  EXPECT_EQ(model.GetSimpleRule("R2"), other);
  EXPECT_EQ(model.GetSimpleRule("R"), nullptr);
  EXPECT_EQ(model.GetSimpleRule("R1 "), nullptr);
  EXPECT_EQ(model.GetSimpleRule(""), nullptr);
  ASSERT_EQ(model.GetSimpleRules().size(), 2u);
  EXPECT_EQ(model.GetSimpleRules()[0], (std::vector<SimpleRule*>{nullptr, first}));
  EXPECT_EQ(model.GetSimpleRules()[1], (std::vector<SimpleRule*>{second, other}));
}

}  // namespace
}  // namespace KtZembra_940
