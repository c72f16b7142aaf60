#include "host/Range.h"

#include "host/NumberText.h"
#include "host/NumericValue.h"

namespace KtZembra_940 {

namespace {

void WriteBound(std::ostream& os, const NumericValue* bound) {
  if (bound == nullptr) {
    os << '?';
    return;
  }
  char buffer[40];
  os << NumberText::FormatShortest(bound->GetDouble(), buffer, sizeof buffer);
}

}  // namespace

Range::Range(NumericValue* low, NumericValue* high, bool lowClosed, bool highClosed)
    : low_(low), high_(high), lowClosed_(lowClosed), highClosed_(highClosed) {}

Range::Range(const Range& other)
    : low_(other.low_ != nullptr ? new NumericValue(other.low_->GetDouble()) : nullptr),
      high_(other.high_ != nullptr ? new NumericValue(other.high_->GetDouble()) : nullptr),
      lowClosed_(other.lowClosed_),
      highClosed_(other.highClosed_) {}

Range::~Range() {
  delete low_;
  delete high_;
}

void Range::Display(std::ostream& os) const {
  os << (lowClosed_ ? '[' : '(');
  WriteBound(os, low_);
  os << ", ";
  WriteBound(os, high_);
  os << (highClosed_ ? ']' : ')');
}

}  // namespace KtZembra_940
