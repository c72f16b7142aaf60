// A predicate of a rule as the host parses it from PMML. The kind codes are
// fixed: 0 compound, 1 simple, 2 set, 3 True, 4 False.
#ifndef RULESCORE_HOST_SCOREPREDICATE_H_
#define RULESCORE_HOST_SCOREPREDICATE_H_

#include "host/HostExport.h"

namespace KtZembra_940 {

class ScoreSplitVar;

class RULESCORE_HOST_API ScorePredicate {
 public:
  enum PredType { kCompound = 0, kSimple = 1, kSet = 2, kTrue = 3, kFalse = 4 };

  virtual ~ScorePredicate();
  ScorePredicate(const ScorePredicate&) = delete;
  ScorePredicate& operator=(const ScorePredicate&) = delete;

  virtual int GetPredType() const = 0;
  // The split naming the field a simple or set predicate tests (its
  // GetSplitVar is the field's variable); null for the other kinds.
  virtual const ScoreSplitVar* GetSplit() const;

 protected:
  ScorePredicate() = default;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREPREDICATE_H_
