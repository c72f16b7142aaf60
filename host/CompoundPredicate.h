// A boolean combination of predicates (PMML CompoundPredicate). Owns its
// members.
#ifndef RULESCORE_HOST_COMPOUNDPREDICATE_H_
#define RULESCORE_HOST_COMPOUNDPREDICATE_H_

#include <vector>

#include "host/HostExport.h"
#include "host/ScorePredicate.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API CompoundPredicate : public ScorePredicate {
 public:
  // or 0, and 1, xor 2; surrogate has a code outside 0-2.
  enum CompoundBoolOperator { kOr = 0, kAnd = 1, kXor = 2, kSurrogate = 3 };

  // Takes ownership of the members.
  CompoundPredicate(int boolOperator, std::vector<ScorePredicate*> members);
  // Deletes the members without recursion, so that a deep tree cannot
  // exhaust the stack.
  ~CompoundPredicate() override;

  int GetPredType() const override { return kCompound; }
  int GetBoolOperator() const { return boolOperator_; }
  const std::vector<ScorePredicate*>& GetPredicates() const { return members_; }
  int GetCount() const { return static_cast<int>(members_.size()); }

  // Operator code for a PMML booleanOperator text; false when unknown.
  static bool OperatorFromText(const char* text, int* op);

 private:
  int boolOperator_;
  std::vector<ScorePredicate*> members_;  // owned
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_COMPOUNDPREDICATE_H_
