#include "host/ScorePredicate.h"

namespace KtZembra_940 {

ScorePredicate::~ScorePredicate() = default;

const ScoreSplitVar* ScorePredicate::GetSplit() const { return nullptr; }

}  // namespace KtZembra_940
