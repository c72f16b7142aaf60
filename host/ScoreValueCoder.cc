#include "host/ScoreValueCoder.h"

#include "host/ScoreValue.h"
#include "host/StringValue.h"

namespace KtZembra_940 {

ScoreValueCoder::ScoreValueCoder() = default;

ScoreValueCoder::~ScoreValueCoder() = default;

ScoreValueCoder::ScoreValueCoder(const ScoreValueCoder& other) : texts_(other.texts_) {
  Reindex();
}

ScoreValueCoder& ScoreValueCoder::operator=(const ScoreValueCoder& other) {
  if (this != &other) {
    texts_ = other.texts_;
    Reindex();
  }
  return *this;
}

void ScoreValueCoder::Reindex() {
  codes_.clear();
  codes_.reserve(texts_.size());
  for (size_t i = 0; i < texts_.size(); ++i) {
    codes_.emplace(std::string_view(texts_[i]), static_cast<int>(i));
  }
}

int ScoreValueCoder::GetCode(std::string_view text) const {
  const auto found = codes_.find(text);
  return found == codes_.end() ? kNoCode : found->second;
}

int ScoreValueCoder::GetCode(const ScoreValue& value) const {
  // A text value is looked up in place; any other value by its text form.
  if (const auto* text = dynamic_cast<const StringValue*>(&value)) {
    return GetCode(std::string_view(text->GetText()));
  }
  const std::string form = value.GetString();
  return GetCode(std::string_view(form));
}

int ScoreValueCoder::AddCode(std::string_view text) {
  const int known = GetCode(text);
  if (known != kNoCode) return known;
  const int code = static_cast<int>(texts_.size());
  texts_.emplace_back(text);
  codes_.emplace(std::string_view(texts_.back()), code);
  return code;
}

const std::string& ScoreValueCoder::GetText(int code) const {
  static const std::string kNone;
  if (code < 0 || static_cast<size_t>(code) >= texts_.size()) return kNone;
  return texts_[static_cast<size_t>(code)];
}

}  // namespace KtZembra_940
