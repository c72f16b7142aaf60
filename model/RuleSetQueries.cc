// The model's queries and per-model settings. Every operation taking a model
// number ignores (setters) or answers the empty value for (getters) a number
// without an entry in the table concerned.
#include <cstddef>
#include <memory>
#include <utility>

#include "host/BaseDictionary.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "model/OutputFields.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {

namespace {

template <class Table>
bool HasEntry(const Table& table, int m) {
  return m >= 0 && static_cast<size_t>(m) < table.size();
}

}  // namespace

ScoreDictionary* RuleSetModel::GetVarsOfRole(VarRole role) const {
  const ScoreDictionary* dictionary = GetDictionary();
  if (targetVar == nullptr || dictionary == nullptr) return nullptr;
  std::unique_ptr<ScoreDictionary> vars(new BaseDictionary());
  if (role == kTargetRole) {
    vars->AddVar(targetVar->GetName(), targetVar->Clone());
    return vars.release();
  }
  bool added = false;
  for (const ScoreDictVar* var : dictionary->GetAllVars()) {
    if (var == nullptr || GetVarRole(var) != role) continue;
    added = vars->AddVar(var->GetName(), var->Clone()) || added;
  }
  return added ? vars.release() : nullptr;
}

const SimpleRule* RuleSetModel::GetSimpleRule(const std::string& ruleId) const {
  for (const std::vector<SimpleRule*>& rules : simpleRules) {
    for (const SimpleRule* rule : rules) {
      if (rule != nullptr && rule->GetRuleID() == ruleId) return rule;
    }
  }
  return nullptr;
}

const std::vector<std::vector<SimpleRule*>>& RuleSetModel::GetSimpleRules() const {
  return simpleRules;
}

int RuleSetModel::GetNumbOfModels() const { return numbOfModels; }

std::string RuleSetModel::GetTargetNameFromModel(int m) const {
  return HasEntry(targetNames, m) ? targetNames[static_cast<size_t>(m)] : std::string();
}

void RuleSetModel::SetTargetVarNameForModel(int m, const std::string& name) {
  if (HasEntry(targetNames, m)) targetNames[static_cast<size_t>(m)] = name;
}

std::vector<std::string> RuleSetModel::GetPredictorNameFromModel(int m) const {
  return HasEntry(predictorNames, m) ? predictorNames[static_cast<size_t>(m)]
                                     : std::vector<std::string>();
}

void RuleSetModel::SetPredictorNameForModel(int m, const std::vector<std::string>& names) {
  if (HasEntry(predictorNames, m)) predictorNames[static_cast<size_t>(m)] = names;
}

bool RuleSetModel::IsPredictorInModel(const std::string& name, int m) const {
  if (!HasEntry(predictorNames, m)) return false;
  for (const std::string& predictor : predictorNames[static_cast<size_t>(m)]) {
    if (predictor == name) return true;
  }
  return false;
}

int RuleSetModel::GetRuleSelectionMethodUsedInModel(int m) const {
  return HasEntry(ruleSelectionMethodUsed, m) ? ruleSelectionMethodUsed[static_cast<size_t>(m)]
                                              : -1;
}

const std::vector<RuleSetModel::RuleSetMethod>& RuleSetModel::GetRuleSelectionMethodUsed() const {
  return ruleSelectionMethodUsed;
}

void RuleSetModel::SetRuleSelectionMethodToUse(const std::vector<RuleSetMethod>& methods) {
  if (&methods != &ruleSelectionMethodUsed) ruleSelectionMethodUsed = methods;
}

const std::vector<std::vector<RuleSetModel::RuleSetMethod>>&
RuleSetModel::GetAllRuleSelectionMethods() const {
  return allRuleSelectionMethods;
}

void RuleSetModel::SetAllRuleSelectionMethods(const std::vector<RuleSetMethod>& methods, int m) {
  if (!HasEntry(allRuleSelectionMethods, m)) return;
  const size_t mi = static_cast<size_t>(m);
  // Copy first: `methods` may be this model's own entry.
  const std::vector<RuleSetMethod> copy = methods;
  allRuleSelectionMethods[mi] = copy;
  if (!copy.empty() && mi < ruleSelectionMethodUsed.size()) {
    ruleSelectionMethodUsed[mi] = copy.front();
  }
}

const std::vector<std::string>& RuleSetModel::GetDefaultScore() const { return defaultScore; }

const std::vector<double>& RuleSetModel::GetDefaultConfidence() const { return defaultConfidence; }

void RuleSetModel::SetDefaultConfidence(double confidence, int m) {
  if (HasEntry(simpleRules, m) && HasEntry(defaultConfidence, m)) {
    defaultConfidence[static_cast<size_t>(m)] = confidence;
  }
}

const std::vector<double>& RuleSetModel::GetRecordCount() const { return recordCount; }

void RuleSetModel::SetRecordCount(double count, int m) {
  if (HasEntry(simpleRules, m) && HasEntry(recordCount, m)) {
    recordCount[static_cast<size_t>(m)] = count;
  }
}

const std::vector<double>& RuleSetModel::GetnbCorrect() const { return nbCorrect; }

void RuleSetModel::SetnbCorrect(double value, int m) {
  if (HasEntry(nbCorrect, m)) nbCorrect[static_cast<size_t>(m)] = value;
}

void RuleSetModel::SetModelType(ModelType type) { modelType = type; }

void RuleSetModel::SetOutputFields(std::unique_ptr<OutputFields> fields) {
  outputFields = std::move(fields);
}

}  // namespace KtZembra_940
