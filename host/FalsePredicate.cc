#include "host/FalsePredicate.h"

namespace KtZembra_940 {

FalsePredicate::FalsePredicate() = default;

FalsePredicate::~FalsePredicate() = default;

}  // namespace KtZembra_940
