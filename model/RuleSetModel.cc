// Construction, destruction and the building operations that fix the model's
// shape: the per-model tables, the target's category table, the default
// scores and the misclassification cost matrix.
#include "model/RuleSetModel.h"

#include <cmath>
#include <cstddef>
#include <memory>

#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"
#include "host/ScoreValueCoder.h"
#include "host/StringValue.h"
#include "model/DerivedFieldProgram.h"
#include "model/OutputFields.h"
#include "model/SimpleRule.h"
#include "scoring/ScoringPlan.h"

namespace KtZembra_940 {

RuleSetModel::RuleSetModel() = default;

const char* RuleSetModel::SemanticsName(Semantics value) {
  return value == pmml ? "pmml" : "native";
}

bool RuleSetModel::SemanticsFromName(const std::string& name, Semantics* value) {
  if (name == "native") {
    *value = native;
  } else if (name == "pmml") {
    *value = pmml;
  } else {
    return false;
  }
  return true;
}

RuleSetModel::~RuleSetModel() {
  for (std::vector<SimpleRule*>& rules : simpleRules) {
    for (SimpleRule*& rule : rules) {
      delete rule;
      rule = nullptr;
    }
  }
  for (ST_RuleSet*& ruleSet : ruleSets) {
    delete ruleSet;
    ruleSet = nullptr;
  }
  delete plan;
  plan = nullptr;
  DeleteBatchState(batchState);
  batchState = nullptr;
  delete derivedFields;
  derivedFields = nullptr;
  for (ScoreValue*& value : ownCategoryValues) {
    delete value;
    value = nullptr;
  }
  for (ScoreValue*& value : scoreCategories) {
    delete value;
    value = nullptr;
  }
}

ScoreModel::ModelType RuleSetModel::GetModelType() const { return modelType; }

bool RuleSetModel::GetPredictionOnly() const { return false; }

// The model always scores fully; the host's prediction-only switch has no
// meaning for it.
void RuleSetModel::SetPredictionOnly(bool /*predictionOnly*/) {}

void RuleSetModel::SetNumberOfModels(int32_t n) {
  // The first sizing is final: a later call must not drop rules or settings.
  if (n <= 0 || !simpleRules.empty()) return;
  const size_t count = static_cast<size_t>(n);
  allRuleSelectionMethods.assign(count, {});
  ruleSelectionMethodUsed.assign(count, firstHit);
  simpleRules.assign(count, {});
  defaultScore.assign(count, std::string());
  // Without a default score the first category is the default natively;
  // under pmml there is none (-1: no prediction).
  defaultScoreIndex.assign(count, semantics == pmml ? -1 : 0);
  defaultConfidence.assign(count, 0.0);
  recordCount.assign(count, -1.0);
  nbCorrect.assign(count, -1.0);
  targetNames.assign(count, std::string());
  predictorNames.assign(count, {});
  ruleCount.assign(count, 0);
  numbOfModels = n;
}

bool RuleSetModel::SetUp() {
  const ScoreDictVar* target = GetTargetVar();
  if (target == nullptr) return false;
  targetVar = target;

  // The category table is built from scratch, so that calling this twice
  // cannot duplicate categories.
  categoryValues.clear();
  categoryCodes.clear();
  categoryOfCode.clear();
  categoryIndex.clear();
  categoryOfText.clear();
  targetIsString = false;
  targetLabels = nullptr;

  if (targetVar->GetValueType() == ScoreDictVar::kString) {
    targetIsString = true;
    targetLabels = targetVar->GetLabelCoder();
  }

  const std::vector<ScoreValue*>* labels = targetVar->GetValueLabelSet();
  if (labels != nullptr) {
    for (ScoreValue* value : *labels) {
      // A label without a value takes no position: every category index
      // stays below the number of categories and so inside the
      // per-category tables.
      if (value == nullptr) continue;
      const int32_t position = static_cast<int32_t>(categoryValues.size());
      if (targetVar->IsBoolean()) {
        // A boolean target predicts the words, not the numbers it is
        // compared by.
        ownCategoryValues.push_back(new StringValue(value->GetDouble() != 0.0 ? "true" : "false"));
        categoryValues.push_back(ownCategoryValues.back());
      } else {
        categoryValues.push_back(value);
      }
      if (targetIsString && targetLabels != nullptr) {
        const int code = targetLabels->GetCode(value->GetString());
        categoryCodes.push_back(code);
        // The first category of a code keeps it.
        categoryOfCode.emplace(code, position);
      } else {
        const double number = value->GetDouble();
        // A NaN key would break the map's ordering; such a label can never
        // be matched by an exact lookup anyway.
        if (!std::isnan(number)) categoryIndex.emplace(number, position);
      }
    }
  }
  numbOfCategories = static_cast<int32_t>(categoryValues.size());
  return true;
}

void RuleSetModel::SetCategoriesFromScores(const std::vector<std::string>& texts) {
  if (numbOfCategories > 0 || !categoryValues.empty()) return;
  const bool numeric = targetVar != nullptr && targetVar->GetValueType() == ScoreDictVar::kNumeric;
  for (const std::string& text : texts) {
    const int32_t position = static_cast<int32_t>(categoryValues.size());
    if (numeric) {
      double number = 0.0;
      // A text that is no number can name no category of a numeric target.
      if (!targetVar->ParseNumber(text, &number)) continue;
      if (!categoryIndex.emplace(number, position).second) continue;
      if (targetVar->IsBoolean()) {
        ownCategoryValues.push_back(new StringValue(number != 0.0 ? "true" : "false"));
      } else {
        ownCategoryValues.push_back(new NumericValue(number));
      }
    } else {
      if (!categoryOfText.emplace(text, position).second) continue;
      ownCategoryValues.push_back(new StringValue(text));
      targetIsString = true;
      targetLabels = nullptr;
    }
    categoryValues.push_back(ownCategoryValues.back());
  }
  numbOfCategories = static_cast<int32_t>(categoryValues.size());
}

bool RuleSetModel::CategoryOfScoreText(const std::string& text, int32_t* index) const {
  if (!categoryOfText.empty()) {
    const auto found = categoryOfText.find(text);
    if (found == categoryOfText.end()) return false;
    *index = found->second;
    return true;
  }
  if (targetIsString && targetLabels != nullptr) {
    const int code = targetLabels->GetCode(text);
    if (code < 0) return false;
    // A string category's index is its label code, which the host makes
    // the label's position; the lookup through the codes keeps the index
    // right even when a label without a value was left out.
    const auto found = categoryOfCode.find(code);
    if (found == categoryOfCode.end()) return false;
    *index = found->second;
    return true;
  }
  double number = 0.0;
  const bool isNumber = targetVar != nullptr ? targetVar->ParseNumber(text, &number)
                                             : NumberText::ParseDouble(text, &number);
  if (!isNumber) return false;
  const auto found = categoryIndex.find(number);
  if (found == categoryIndex.end()) return false;
  *index = found->second;
  return true;
}

bool RuleSetModel::AddScoreCategory(const std::string& text, int32_t* index) {
  double number = 0.0;
  if (!NumberText::ParseDouble(text, &number) || std::isnan(number)) return false;
  const auto found = categoryIndex.find(number);
  if (found != categoryIndex.end()) {
    *index = found->second;
    return true;
  }
  auto value = std::make_unique<NumericValue>(number);
  scoreCategories.push_back(value.get());
  value.release();
  const int32_t position = static_cast<int32_t>(categoryValues.size());
  categoryValues.push_back(scoreCategories.back());
  categoryIndex.emplace(number, position);
  numbOfCategories = static_cast<int32_t>(categoryValues.size());
  *index = position;
  return true;
}

void RuleSetModel::SetDefaultScore(const std::string& text, int32_t m) {
  if (m < 0 || static_cast<size_t>(m) >= simpleRules.size()) return;
  const size_t mi = static_cast<size_t>(m);
  defaultScore[mi] = text;
  // A text that names no category predicts nothing (-1), for a string
  // target as for a numeric one; it must not stand for another category.
  int32_t index = 0;
  const bool named = CategoryOfScoreText(text, &index) || (regression && AddScoreCategory(text, &index));
  defaultScoreIndex[mi] = named ? index : -1;
}

void RuleSetModel::SetMisclassificationCost(
    const std::map<std::string, std::map<std::string, double>>& costs) {
  misclassificationCost = costs;
  const size_t m = numbOfCategories > 0 ? static_cast<size_t>(numbOfCategories) : 0;
  std::vector<std::string> names(m);
  for (size_t r = 0; r < m && r < categoryValues.size(); ++r) {
    if (categoryValues[r] != nullptr) names[r] = categoryValues[r]->GetString();
  }
  costMatrix.assign(m, std::vector<double>(m, 1.0));
  for (size_t r = 0; r < m; ++r) {
    costMatrix[r][r] = 0.0;
    const auto row = misclassificationCost.find(names[r]);
    if (row == misclassificationCost.end()) continue;
    for (size_t c = 0; c < m; ++c) {
      if (c == r) continue;
      const auto cell = row->second.find(names[c]);
      if (cell != row->second.end()) costMatrix[r][c] = cell->second;
    }
  }
}

void RuleSetModel::SetDerivedFieldProgram(DerivedFieldProgram* program) {
  if (program == derivedFields) return;
  delete derivedFields;
  derivedFields = program;
}

}  // namespace KtZembra_940
