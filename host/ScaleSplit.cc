#include "host/ScaleSplit.h"

#include "host/Range.h"
#include "host/ScoreDictVar.h"

namespace KtZembra_940 {

ScaleSplit::ScaleSplit(const ScoreDictVar* var) : ScoreSplitVar(var) {}

ScaleSplit::ScaleSplit(const ScaleSplit& other) : ScoreSplitVar(other), indices_(other.indices_) {
  ranges_.reserve(other.ranges_.size());
  for (const Range* range : other.ranges_) {
    ranges_.push_back(range != nullptr ? new Range(*range) : nullptr);
  }
}

ScaleSplit::~ScaleSplit() {
  for (Range* range : ranges_) delete range;
}

ScoreSplitVar* ScaleSplit::Clone() const { return new ScaleSplit(*this); }

void ScaleSplit::Display(std::ostream& os) const {
  os << (GetSplitVar() != nullptr ? GetSplitVar()->Name() : std::string()) << ':';
  const char* separator = " ";
  for (const Range* range : ranges_) {
    if (range == nullptr) continue;
    os << separator;
    range->Display(os);
    separator = " or ";
  }
  DisplayMissval(os);
  os << '\n';
}

void ScaleSplit::PutSplit(Range* range, int splitIndex) {
  ranges_.push_back(range);
  indices_.push_back(splitIndex);
}

}  // namespace KtZembra_940
