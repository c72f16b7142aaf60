#include "host/DiscreteSplit.h"

#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"

namespace KtZembra_940 {

DiscreteSplit::DiscreteSplit(const ScoreDictVar* var) : ScoreSplitVar(var) {}

DiscreteSplit::DiscreteSplit(const DiscreteSplit& other)
    : ScoreSplitVar(other), indices_(other.indices_), start_(other.start_), end_(other.end_) {
  values_.reserve(other.values_.size());
  for (const ScoreValue* value : other.values_) {
    values_.push_back(value != nullptr ? value->Clone() : nullptr);
  }
}

DiscreteSplit::~DiscreteSplit() {
  for (ScoreValue* value : values_) delete value;
}

ScoreSplitVar* DiscreteSplit::Clone() const { return new DiscreteSplit(*this); }

void DiscreteSplit::Display(std::ostream& os) const {
  os << (GetSplitVar() != nullptr ? GetSplitVar()->Name() : std::string()) << ": {";
  const char* separator = "";
  for (const ScoreValue* value : values_) {
    if (value == nullptr) continue;
    os << separator << value->GetString();
    separator = ", ";
  }
  os << '}';
  if (start_ >= 0 || end_ >= 0) os << " [" << start_ << ".." << end_ << ']';
  DisplayMissval(os);
  os << '\n';
}

void DiscreteSplit::PutSplit(ScoreValue* value, int splitIndex) {
  values_.push_back(value);
  indices_.push_back(splitIndex);
}

void DiscreteSplit::SetStartAndEndIndex(int start, int end) {
  start_ = start;
  end_ = end;
}

}  // namespace KtZembra_940
