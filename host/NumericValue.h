// A numeric value, and the host's constants for missing and unbounded numbers.
#ifndef RULESCORE_HOST_NUMERICVALUE_H_
#define RULESCORE_HOST_NUMERICVALUE_H_

#include <limits>
#include <string>

#include "host/HostExport.h"
#include "host/ScoreValue.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API NumericValue : public ScoreValue {
 public:
  explicit NumericValue(double value);
  // From numeric text (leading/trailing XML white space and a leading '+'
  // accepted). A text that is no finite number gives the system-missing
  // value; it never throws.
  explicit NumericValue(const std::string& text);
  ~NumericValue() override;

  int GetValueType() const override { return kNumeric; }
  double GetDouble() const override { return value_; }
  std::string GetString() const override;
  ScoreValue* Clone() const override;

  void SetDouble(double value) { value_ = value; }

  // The system-missing value: the lowest finite double. It lies below every
  // value a predicate can compare with, so greaterThan/greaterOrEqual are
  // false for a missing value without a test of their own.
  static constexpr double GetSysmisValue() { return std::numeric_limits<double>::lowest(); }
  static constexpr bool IsSystemMissingValue(double value) { return value == GetSysmisValue(); }
  // Positive infinity; its negation is the open lower end of a range.
  static constexpr double GetInfinity() { return std::numeric_limits<double>::infinity(); }
  // The number itself, without a virtual call.
  double Number() const { return value_; }

 private:
  double value_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_NUMERICVALUE_H_
