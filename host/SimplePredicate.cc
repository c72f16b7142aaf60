#include "host/SimplePredicate.h"

#include <utility>

#include "host/DiscreteSplit.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"

namespace KtZembra_940 {

namespace {

struct OperatorName {
  const char* text;
  SimplePredicate::SimplePredOperator op;
};

constexpr OperatorName kOperators[] = {
    {"equal", SimplePredicate::kEqual},
    {"notEqual", SimplePredicate::kNotEqual},
    {"lessThan", SimplePredicate::kLessThan},
    {"lessOrEqual", SimplePredicate::kLessOrEqual},
    {"greaterThan", SimplePredicate::kGreaterThan},
    {"greaterOrEqual", SimplePredicate::kGreaterOrEqual},
    {"isMissing", SimplePredicate::kIsMissing},
    {"isNotMissing", SimplePredicate::kIsNotMissing},
};

}  // namespace

// The split only names the field the predicate tests; the rule reader builds
// the splits that carry ranges and members.
SimplePredicate::SimplePredicate(const ScoreDictVar* var, SimplePredOperator op, double value,
                                 std::string valueText, bool hasValue)
    : var_(var), op_(op), value_(value), valueText_(std::move(valueText)), hasValue_(hasValue) {
  if (var_ == nullptr) return;
  if (var_->GetMeasureLevel() == ScoreDictVar::kContinuous) {
    split_ = std::make_unique<ScaleSplit>(var_);
  } else {
    split_ = std::make_unique<DiscreteSplit>(var_);
  }
}

SimplePredicate::~SimplePredicate() = default;

const ScoreSplitVar* SimplePredicate::GetSplit() const { return split_.get(); }

bool SimplePredicate::OperatorFromText(const std::string& text, SimplePredOperator* op) {
  for (const OperatorName& entry : kOperators) {
    if (text == entry.text) {
      if (op != nullptr) *op = entry.op;
      return true;
    }
  }
  return false;
}

}  // namespace KtZembra_940
