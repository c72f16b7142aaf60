// The host's model interface: what the host asks of every scoring model.
#ifndef RULESCORE_HOST_SCOREMODEL_H_
#define RULESCORE_HOST_SCOREMODEL_H_

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "host/BatchScores.h"
#include "host/HostExport.h"
#include "host/KtStatus.h"

namespace KtZembra_940 {

class ColumnBatch;
class ScoreCaseRecord;
class ScoreDictionary;
class ScoreDictVar;
class ScoreResult;
class ScoreValue;
class ScoreVersionInfo;
class TransformationDictionary;

class RULESCORE_HOST_API ScoreModel {
 public:
  enum ModelType { kUnknownModel = 0, kRuleSetModel = 23, kDecisionListModel = 24 };
  enum VarRole { kNoRole = 0, kTargetRole = 1, kPredictorRole = 2 };
  enum MVPolicy { kAsIs = 0, kAsMissing = 1 };

  virtual ~ScoreModel();
  ScoreModel(const ScoreModel&) = delete;
  ScoreModel& operator=(const ScoreModel&) = delete;

  virtual void SetScoreDictionary(ScoreDictionary* dictionary) = 0;
  virtual void SetTransformationScoreDictionary(TransformationDictionary* dictionary) = 0;
  virtual void SetResultScoreDictionary(ScoreDictionary* dictionary) = 0;
  virtual void SetVarRole(const std::string& name, VarRole role) = 0;
  virtual void SetVarRole(const ScoreDictVar* var, VarRole role) = 0;
  virtual void SetMissingValuePolicy(MVPolicy policy) = 0;
  virtual void SetVersionInfo(ScoreVersionInfo* info) = 0;
  virtual void SetPredictionOnly(bool predictionOnly) = 0;
  virtual VarRole GetVarRole(const std::string& name) const = 0;
  virtual VarRole GetVarRole(const ScoreDictVar* var) const = 0;
  virtual const ScoreVersionInfo* GetVersionInfo() const = 0;
  // A new dictionary of copies of the variables with that role, owned by the
  // caller, or null.
  virtual ScoreDictionary* GetVarsOfRole(VarRole role) const = 0;
  virtual const ScoreDictVar* GetTargetVar() const = 0;
  virtual ScoreDictionary* GetDictionary() const = 0;
  virtual TransformationDictionary* GetTransformationDictionary() const = 0;
  virtual ScoreDictionary* GetResultDictionary() const = 0;
  // Scores one record. `result` is in and out: null (a result is created and
  // handed back, the caller owns it) or a result this model handed out.
  // Never throws.
  virtual KtScore::KtStatus GetScore(const ScoreCaseRecord* record, ScoreResult*& result,
                                     bool flag) = 0;
  // Scores rows [begin, end) of `columns` into the same rows of `scores`,
  // binding columns to fields by name (a field without a column is missing
  // in every row). Gives exactly what GetScore gives for each row filled
  // into a record, except that a text in a numeric field that is neither a
  // number nor a declared missing value makes the row invalid. Returns the
  // number of rows scored (end - begin, or 0 for a model that cannot score
  // columns). Never throws; one call at a time per model.
  virtual size_t ScoreBatch(const ColumnBatch& columns, size_t begin, size_t end,
                            BatchScores& scores) = 0;
  // What the indices of a batch stand for: the predictable categories, and
  // the rule identifiers; empty for a model that cannot score columns.
  virtual std::vector<const ScoreValue*> GetBatchCategories() const = 0;
  virtual std::vector<std::string> GetBatchRuleIds() const = 0;
  // The most rules one record can report as fired.
  virtual size_t GetMaxFiredPerRecord() const = 0;
  // The output fields a batch writes for each row (BatchScores::outputs),
  // in order; empty for a model that declares none.
  virtual std::vector<BatchOutputField> GetBatchOutputs() const = 0;
  virtual MVPolicy GetMissingValuePolicy() const = 0;
  virtual ModelType GetModelType() const = 0;
  virtual bool GetPredictionOnly() const = 0;
  virtual void Display(std::ostream& os) const = 0;
  // With `own` false the model does not delete the dictionary.
  virtual void SetScoreDictionary(ScoreDictionary* dictionary, bool own) = 0;
  virtual void SetTransformationScoreDictionary(TransformationDictionary* dictionary,
                                                bool own) = 0;

 protected:
  ScoreModel() = default;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREMODEL_H_
