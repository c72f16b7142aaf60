#include "host/StringValue.h"

#include <utility>

#include "host/NumberText.h"
#include "host/NumericValue.h"

namespace KtZembra_940 {

StringValue::StringValue(std::string text) : text_(std::move(text)) {}

StringValue::~StringValue() = default;

double StringValue::GetDouble() const {
  double number = 0.0;
  return NumberText::ParseDouble(text_, &number) ? number : NumericValue::GetSysmisValue();
}

ScoreValue* StringValue::Clone() const { return new StringValue(text_); }

}  // namespace KtZembra_940
