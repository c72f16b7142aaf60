// The host's common model base: holds the dictionaries (owned unless handed
// over with own = false), the roles of the variables, the version info and
// the missing-value policy.
#ifndef RULESCORE_HOST_BASEMODEL_H_
#define RULESCORE_HOST_BASEMODEL_H_

#include <string>
#include <unordered_map>

#include "host/HostExport.h"
#include "host/ScoreModel.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API BaseModel : public ScoreModel {
 public:
  ~BaseModel() override;

  void SetScoreDictionary(ScoreDictionary* dictionary) override;
  void SetTransformationScoreDictionary(TransformationDictionary* dictionary) override;
  void SetResultScoreDictionary(ScoreDictionary* dictionary) override;
  // Roles are kept by variable name; a later role replaces an earlier one.
  void SetVarRole(const std::string& name, VarRole role) override;
  void SetVarRole(const ScoreDictVar* var, VarRole role) override;
  void SetMissingValuePolicy(MVPolicy policy) override;
  // Takes ownership.
  void SetVersionInfo(ScoreVersionInfo* info) override;
  VarRole GetVarRole(const std::string& name) const override;
  VarRole GetVarRole(const ScoreDictVar* var) const override;
  const ScoreVersionInfo* GetVersionInfo() const override;
  // The variable holding the target role: looked up in the score dictionary,
  // then in the transformation dictionary; null when none.
  const ScoreDictVar* GetTargetVar() const override;
  ScoreDictionary* GetDictionary() const override;
  TransformationDictionary* GetTransformationDictionary() const override;
  ScoreDictionary* GetResultDictionary() const override;
  // A model without a columnar entry scores no rows.
  size_t ScoreBatch(const ColumnBatch& columns, size_t begin, size_t end,
                    BatchScores& scores) override;
  std::vector<const ScoreValue*> GetBatchCategories() const override;
  std::vector<std::string> GetBatchRuleIds() const override;
  size_t GetMaxFiredPerRecord() const override;
  std::vector<BatchOutputField> GetBatchOutputs() const override;
  MVPolicy GetMissingValuePolicy() const override;
  void SetScoreDictionary(ScoreDictionary* dictionary, bool own) override;
  void SetTransformationScoreDictionary(TransformationDictionary* dictionary,
                                        bool own) override;

 protected:
  BaseModel();

 private:
  ScoreDictionary* dictionary_ = nullptr;
  bool ownDictionary_ = false;
  TransformationDictionary* transformation_ = nullptr;
  bool ownTransformation_ = false;
  ScoreDictionary* resultDictionary_ = nullptr;  // owned
  ScoreVersionInfo* versionInfo_ = nullptr;      // owned
  MVPolicy policy_ = kAsIs;
  std::unordered_map<std::string, VarRole> roles_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_BASEMODEL_H_
