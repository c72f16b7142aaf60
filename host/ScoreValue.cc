#include "host/ScoreValue.h"

namespace KtZembra_940 {

ScoreValue::~ScoreValue() = default;

bool ScoreValue::operator==(const ScoreValue& other) const {
  if (GetValueType() == kNumeric && other.GetValueType() == kNumeric) {
    return GetDouble() == other.GetDouble();
  }
  return GetString() == other.GetString();
}

}  // namespace KtZembra_940
