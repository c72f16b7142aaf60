// The constant predicate PMML False.
#ifndef RULESCORE_HOST_FALSEPREDICATE_H_
#define RULESCORE_HOST_FALSEPREDICATE_H_

#include "host/HostExport.h"
#include "host/ScorePredicate.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API FalsePredicate : public ScorePredicate {
 public:
  FalsePredicate();
  ~FalsePredicate() override;
  int GetPredType() const override { return kFalse; }
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_FALSEPREDICATE_H_
