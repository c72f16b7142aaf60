#include "host/ScoreDictVar.h"

#include <memory>
#include <utility>

#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreValue.h"

namespace KtZembra_940 {

namespace {

// Whether a value stands for a declared one. A declared number matches any
// value that reads as that number (a record's text "5.0" is the number 5);
// a declared text matches by exact bytes.
bool Matches(const ScoreValue& declared, const ScoreValue& value) {
  if (declared.GetValueType() == ScoreValue::kNumeric) {
    const double number = value.GetDouble();
    return !NumericValue::IsSystemMissingValue(number) && number == declared.GetDouble();
  }
  return declared.GetString() == value.GetString();
}

bool MatchesAny(const std::vector<ScoreValue*>& declared, const ScoreValue& value) {
  for (const ScoreValue* d : declared) {
    if (d != nullptr && Matches(*d, value)) return true;
  }
  return false;
}

std::vector<ScoreValue*> CloneAll(const std::vector<ScoreValue*>& values) {
  std::vector<ScoreValue*> copies;
  copies.reserve(values.size());
  for (const ScoreValue* v : values) copies.push_back(v != nullptr ? v->Clone() : nullptr);
  return copies;
}

void DeleteAll(std::vector<ScoreValue*>* values) {
  for (ScoreValue* v : *values) delete v;
  values->clear();
}

}  // namespace

ScoreDictVar::ScoreDictVar(std::string name, int valueType, int measureLevel)
    : name_(std::move(name)),
      valueType_(valueType),
      measureLevel_(measureLevel),
      dataType_(valueType == kString ? kDataString : kDataDouble) {}

void ScoreDictVar::SetDataType(int dataType) {
  dataType_ = dataType;
  valueType_ = dataType == kDataString ? kString : kNumeric;
}

bool ScoreDictVar::ParseNumber(std::string_view text, double* out) const {
  if (dataType_ != kDataBoolean) return NumberText::ParseDouble(text, out);
  auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && space(text.front())) text.remove_prefix(1);
  while (!text.empty() && space(text.back())) text.remove_suffix(1);
  auto same = [&text](const char* word) {
    size_t i = 0;
    for (; word[i] != 0; ++i) {
      if (i >= text.size()) return false;
      const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a')
                                                      : text[i];
      if (c != word[i]) return false;
    }
    return i == text.size();
  };
  if (same("true") || same("1")) {
    *out = 1.0;
    return true;
  }
  if (same("false") || same("0")) {
    *out = 0.0;
    return true;
  }
  return false;
}

ScoreDictVar::~ScoreDictVar() {
  DeleteAll(&labels_);
  DeleteAll(&missing_);
  DeleteAll(&invalid_);
}

ScoreDictVar* ScoreDictVar::Clone() const {
  auto copy = std::make_unique<ScoreDictVar>(name_, valueType_, measureLevel_);
  copy->dataType_ = dataType_;
  copy->caseIndex_ = caseIndex_;
  copy->labels_ = CloneAll(labels_);
  copy->missing_ = CloneAll(missing_);
  copy->invalid_ = CloneAll(invalid_);
  copy->intervals_ = intervals_;
  copy->coder_ = coder_;
  return copy.release();
}

const std::vector<ScoreValue*>* ScoreDictVar::GetValueLabelSet() const {
  return labels_.empty() ? nullptr : &labels_;
}

bool ScoreDictVar::IsValidValue(const ScoreValue& value) const {
  if (!labels_.empty()) return MatchesAny(labels_, value);
  if (MatchesAny(missing_, value) || MatchesAny(invalid_, value)) return false;
  if (valueType_ != kNumeric) return true;
  const double number = value.GetDouble();
  if (NumericValue::IsSystemMissingValue(number)) return false;
  if (intervals_.empty()) return true;
  for (const Interval& in : intervals_) {
    const bool aboveLow = in.lowClosed ? number >= in.low : number > in.low;
    const bool belowHigh = in.highClosed ? number <= in.high : number < in.high;
    if (aboveLow && belowHigh) return true;
  }
  return false;
}

bool ScoreDictVar::IsMissingValue(const ScoreValue& value) const {
  if (value.GetValueType() == ScoreValue::kNumeric &&
      NumericValue::IsSystemMissingValue(value.GetDouble())) {
    return true;
  }
  return MatchesAny(missing_, value);
}

void ScoreDictVar::AddValidValue(ScoreValue* value) {
  if (value == nullptr) return;
  labels_.push_back(value);
  if (valueType_ == kString) coder_.AddCode(value->GetString());
}

void ScoreDictVar::AddMissingValue(ScoreValue* value) {
  if (value != nullptr) missing_.push_back(value);
}

void ScoreDictVar::AddInvalidValue(ScoreValue* value) {
  if (value != nullptr) invalid_.push_back(value);
}

void ScoreDictVar::AddInterval(double low, double high, bool lowClosed, bool highClosed) {
  intervals_.push_back(Interval{low, high, lowClosed, highClosed});
}

}  // namespace KtZembra_940
