#include "host/TruePredicate.h"

namespace KtZembra_940 {

TruePredicate::TruePredicate() = default;

TruePredicate::~TruePredicate() = default;

}  // namespace KtZembra_940
