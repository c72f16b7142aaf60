// A value of a field, a category or a predicate: numeric or text.
#ifndef RULESCORE_HOST_SCOREVALUE_H_
#define RULESCORE_HOST_SCOREVALUE_H_

#include <string>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ScoreValue {
 public:
  // Value type codes, shared with ScoreDictVar::GetValueType.
  enum ValueType { kNumeric = 0, kString = 1 };

  virtual ~ScoreValue();

  virtual int GetValueType() const = 0;
  // The value as a number. A text that is no number gives the
  // system-missing value (NumericValue::GetSysmisValue).
  virtual double GetDouble() const = 0;
  // The value as text. Numbers are written in the shortest form that reads
  // back to the same double.
  virtual std::string GetString() const = 0;
  // A new copy owned by the caller.
  virtual ScoreValue* Clone() const = 0;

  // Numeric values compare by number (system-missing equals itself), text
  // values by exact bytes; a numeric and a text value compare by text.
  bool operator==(const ScoreValue& other) const;
  bool operator!=(const ScoreValue& other) const { return !(*this == other); }

 protected:
  ScoreValue() = default;
  ScoreValue(const ScoreValue&) = default;
  ScoreValue& operator=(const ScoreValue&) = default;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREVALUE_H_
