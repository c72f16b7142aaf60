#include "host/SetPredicate.h"

#include <utility>

#include "host/DiscreteSplit.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"

namespace KtZembra_940 {

SetPredicate::SetPredicate(const ScoreDictVar* var, SetPredOperator op,
                           std::vector<double> members, std::vector<std::string> items)
    : var_(var), op_(op), members_(std::move(members)), items_(std::move(items)) {
  if (var_ == nullptr) return;
  if (var_->GetMeasureLevel() == ScoreDictVar::kContinuous) {
    split_ = std::make_unique<ScaleSplit>(var_);
  } else {
    split_ = std::make_unique<DiscreteSplit>(var_);
  }
}

SetPredicate::~SetPredicate() = default;

const ScoreSplitVar* SetPredicate::GetSplit() const { return split_.get(); }

}  // namespace KtZembra_940
