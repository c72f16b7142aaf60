#include "host/NumericValue.h"

#include <limits>

#include "host/NumberText.h"

namespace KtZembra_940 {

NumericValue::NumericValue(double value) : value_(value) {}

NumericValue::NumericValue(const std::string& text) : value_(GetSysmisValue()) {
  double number = 0.0;
  if (NumberText::ParseDouble(text, &number)) value_ = number;
}

NumericValue::~NumericValue() = default;

std::string NumericValue::GetString() const {
  char buffer[40];
  return std::string(NumberText::FormatShortest(value_, buffer, sizeof buffer));
}

ScoreValue* NumericValue::Clone() const { return new NumericValue(value_); }

}  // namespace KtZembra_940
