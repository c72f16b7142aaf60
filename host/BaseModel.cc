#include "host/BaseModel.h"

#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreVersionInfo.h"
#include "host/TransformationDictionary.h"

namespace KtZembra_940 {

BaseModel::BaseModel() = default;

size_t BaseModel::ScoreBatch(const ColumnBatch& /*columns*/, size_t /*begin*/, size_t /*end*/,
                             BatchScores& /*scores*/) {
  return 0;
}

std::vector<const ScoreValue*> BaseModel::GetBatchCategories() const { return {}; }

std::vector<std::string> BaseModel::GetBatchRuleIds() const { return {}; }

size_t BaseModel::GetMaxFiredPerRecord() const { return 0; }

std::vector<BatchOutputField> BaseModel::GetBatchOutputs() const { return {}; }

BaseModel::~BaseModel() {
  // The transformation dictionary may point at the data dictionary: it goes
  // first.
  if (ownTransformation_) delete transformation_;
  if (ownDictionary_) delete dictionary_;
  delete resultDictionary_;
  delete versionInfo_;
}

void BaseModel::SetScoreDictionary(ScoreDictionary* dictionary) {
  SetScoreDictionary(dictionary, true);
}

void BaseModel::SetScoreDictionary(ScoreDictionary* dictionary, bool own) {
  if (dictionary != dictionary_ && ownDictionary_) delete dictionary_;
  dictionary_ = dictionary;
  ownDictionary_ = own && dictionary != nullptr;
}

void BaseModel::SetTransformationScoreDictionary(TransformationDictionary* dictionary) {
  SetTransformationScoreDictionary(dictionary, true);
}

void BaseModel::SetTransformationScoreDictionary(TransformationDictionary* dictionary,
                                                 bool own) {
  if (dictionary != transformation_ && ownTransformation_) delete transformation_;
  transformation_ = dictionary;
  ownTransformation_ = own && dictionary != nullptr;
}

void BaseModel::SetResultScoreDictionary(ScoreDictionary* dictionary) {
  if (dictionary != resultDictionary_) delete resultDictionary_;
  resultDictionary_ = dictionary;
}

void BaseModel::SetVarRole(const std::string& name, VarRole role) { roles_[name] = role; }

void BaseModel::SetVarRole(const ScoreDictVar* var, VarRole role) {
  if (var != nullptr) SetVarRole(var->Name(), role);
}

void BaseModel::SetMissingValuePolicy(MVPolicy policy) { policy_ = policy; }

void BaseModel::SetVersionInfo(ScoreVersionInfo* info) {
  if (info != versionInfo_) delete versionInfo_;
  versionInfo_ = info;
}

ScoreModel::VarRole BaseModel::GetVarRole(const std::string& name) const {
  const auto found = roles_.find(name);
  return found == roles_.end() ? kNoRole : found->second;
}

ScoreModel::VarRole BaseModel::GetVarRole(const ScoreDictVar* var) const {
  return var != nullptr ? GetVarRole(var->Name()) : kNoRole;
}

const ScoreVersionInfo* BaseModel::GetVersionInfo() const { return versionInfo_; }

const ScoreDictVar* BaseModel::GetTargetVar() const {
  // Walking the dictionaries in field order makes the answer the same on
  // every run should several fields hold the target role.
  const ScoreDictionary* dictionaries[] = {dictionary_, transformation_};
  for (const ScoreDictionary* dictionary : dictionaries) {
    if (dictionary == nullptr) continue;
    for (const ScoreDictVar* var : dictionary->GetAllVars()) {
      if (var != nullptr && GetVarRole(var->Name()) == kTargetRole) return var;
    }
  }
  return nullptr;
}

ScoreDictionary* BaseModel::GetDictionary() const { return dictionary_; }

TransformationDictionary* BaseModel::GetTransformationDictionary() const {
  return transformation_;
}

ScoreDictionary* BaseModel::GetResultDictionary() const { return resultDictionary_; }

ScoreModel::MVPolicy BaseModel::GetMissingValuePolicy() const { return policy_; }

}  // namespace KtZembra_940
