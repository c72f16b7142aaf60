#include "host/ScoreCaseRecord.h"

namespace KtZembra_940 {

ScoreCaseRecord::ScoreCaseRecord() = default;

ScoreCaseRecord::ScoreCaseRecord(const std::vector<std::string>& fieldNames) {
  SetLayout(fieldNames);
}

ScoreCaseRecord::~ScoreCaseRecord() = default;

void ScoreCaseRecord::SetLayout(const std::vector<std::string>& fieldNames) {
  names_ = fieldNames;
  kinds_.assign(fieldNames.size(), Kind::kNone);
  numbers_.assign(fieldNames.size(), NumericValue(0.0));
  texts_.assign(fieldNames.size(), StringValue(std::string()));
  positions_.clear();
  positions_.reserve(fieldNames.size());
  for (size_t i = 0; i < fieldNames.size(); ++i) {
    positions_.emplace(fieldNames[i], static_cast<int>(i));  // first one wins
  }
}

int ScoreCaseRecord::GetPosition(const std::string& name) const {
  const auto found = positions_.find(name);
  return found == positions_.end() ? -1 : found->second;
}

const std::string& ScoreCaseRecord::GetFieldName(int position) const {
  static const std::string kNone;
  if (position < 0 || static_cast<size_t>(position) >= names_.size()) return kNone;
  return names_[static_cast<size_t>(position)];
}

const ScoreValue* ScoreCaseRecord::GetValue(int position) const {
  if (position < 0 || static_cast<size_t>(position) >= kinds_.size()) return nullptr;
  const size_t at = static_cast<size_t>(position);
  switch (kinds_[at]) {
    case Kind::kNumber:
      return &numbers_[at];
    case Kind::kText:
      return &texts_[at];
    case Kind::kNone:
      break;
  }
  return nullptr;
}

void ScoreCaseRecord::SetText(int position, std::string_view text) {
  if (position < 0 || static_cast<size_t>(position) >= kinds_.size()) return;
  const size_t at = static_cast<size_t>(position);
  kinds_[at] = Kind::kText;
  texts_[at].SetText(text);
}

void ScoreCaseRecord::SetMissing(int position) {
  if (position < 0 || static_cast<size_t>(position) >= kinds_.size()) return;
  kinds_[static_cast<size_t>(position)] = Kind::kNone;
}

void ScoreCaseRecord::Clear() {
  for (Kind& kind : kinds_) kind = Kind::kNone;
}

}  // namespace KtZembra_940
