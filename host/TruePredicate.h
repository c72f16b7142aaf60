// The constant predicate PMML True.
#ifndef RULESCORE_HOST_TRUEPREDICATE_H_
#define RULESCORE_HOST_TRUEPREDICATE_H_

#include "host/HostExport.h"
#include "host/ScorePredicate.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API TruePredicate : public ScorePredicate {
 public:
  TruePredicate();
  ~TruePredicate() override;
  int GetPredType() const override { return kTrue; }
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_TRUEPREDICATE_H_
