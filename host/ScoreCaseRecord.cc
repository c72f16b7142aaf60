#include "host/ScoreCaseRecord.h"

namespace KtZembra_940 {

ScoreCaseRecord::ScoreCaseRecord() = default;

ScoreCaseRecord::ScoreCaseRecord(const std::vector<std::string>& fieldNames) {
  SetLayout(fieldNames);
}

ScoreCaseRecord::~ScoreCaseRecord() = default;

void ScoreCaseRecord::SetLayout(const std::vector<std::string>& fieldNames) {
  names_ = fieldNames;
  slots_.clear();
  slots_.resize(fieldNames.size());
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
  if (position < 0 || static_cast<size_t>(position) >= slots_.size()) return nullptr;
  const Slot& slot = slots_[static_cast<size_t>(position)];
  switch (slot.kind) {
    case Kind::kNumber:
      return &slot.number;
    case Kind::kText:
      return &slot.text;
    case Kind::kNone:
      break;
  }
  return nullptr;
}

void ScoreCaseRecord::SetNumber(int position, double value) {
  if (position < 0 || static_cast<size_t>(position) >= slots_.size()) return;
  Slot& slot = slots_[static_cast<size_t>(position)];
  slot.kind = Kind::kNumber;
  slot.number.SetDouble(value);
}

void ScoreCaseRecord::SetText(int position, std::string_view text) {
  if (position < 0 || static_cast<size_t>(position) >= slots_.size()) return;
  Slot& slot = slots_[static_cast<size_t>(position)];
  slot.kind = Kind::kText;
  slot.text.SetText(text);
}

void ScoreCaseRecord::SetMissing(int position) {
  if (position < 0 || static_cast<size_t>(position) >= slots_.size()) return;
  slots_[static_cast<size_t>(position)].kind = Kind::kNone;
}

void ScoreCaseRecord::Clear() {
  for (Slot& slot : slots_) slot.kind = Kind::kNone;
}

}  // namespace KtZembra_940
