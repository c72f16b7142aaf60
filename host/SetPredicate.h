// Membership of one field's value in a list (PMML SimpleSetPredicate).
#ifndef RULESCORE_HOST_SETPREDICATE_H_
#define RULESCORE_HOST_SETPREDICATE_H_

#include <memory>
#include <string>
#include <vector>

#include "host/HostExport.h"
#include "host/ScorePredicate.h"

namespace KtZembra_940 {

class ScoreDictVar;

class RULESCORE_HOST_API SetPredicate : public ScorePredicate {
 public:
  enum SetPredOperator { kIsIn = 0, kIsNotIn = 1 };

  // `members` are encoded like SimplePredicate values, in array order.
  SetPredicate(const ScoreDictVar* var, SetPredOperator op,
               std::vector<double> members, std::vector<std::string> items);
  ~SetPredicate() override;

  int GetPredType() const override { return kSet; }
  const ScoreSplitVar* GetSplit() const override;

  SetPredOperator GetPredicateOperator() const { return op_; }
  const std::vector<double>& GetArrayData() const { return members_; }
  // The array items as texts, in order.
  const std::vector<std::string>& GetArrayItems() const { return items_; }
  const ScoreDictVar* GetVar() const { return var_; }

 private:
  const ScoreDictVar* var_;
  SetPredOperator op_;
  std::vector<double> members_;
  std::vector<std::string> items_;
  std::unique_ptr<ScoreSplitVar> split_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SETPREDICATE_H_
