// A field of a dictionary: its name, value type, measurement level, declared
// values and the position the field takes in the records being scored.
#ifndef RULESCORE_HOST_SCOREDICTVAR_H_
#define RULESCORE_HOST_SCOREDICTVAR_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/HostExport.h"
#include "host/ScoreValueCoder.h"

namespace KtZembra_940 {

class ScoreValue;

class RULESCORE_HOST_API ScoreDictVar {
 public:
  // Value type codes: 0 numeric, 1 string.
  enum ValueType { kNumeric = 0, kString = 1 };
  // Measurement level codes: 0 continuous (scale), 1 ordinal, 2 nominal.
  enum MeasureLevel { kContinuous = 0, kOrdinal = 1, kNominal = 2 };

  // The PMML dataType behind the value type: integer, float, double and
  // boolean fields are numeric; a boolean holds 1 (true) or 0 (false).
  enum DataType { kDataString = 0, kDataInteger, kDataFloat, kDataDouble, kDataBoolean };

  ScoreDictVar(std::string name, int valueType, int measureLevel);
  virtual ~ScoreDictVar();
  ScoreDictVar(const ScoreDictVar&) = delete;
  ScoreDictVar& operator=(const ScoreDictVar&) = delete;

  // A deep copy (values, coder, intervals, case index) owned by the caller.
  virtual ScoreDictVar* Clone() const;

  std::string GetName() const { return name_; }
  const std::string& Name() const { return name_; }
  int GetValueType() const { return valueType_; }
  int GetMeasureLevel() const { return measureLevel_; }
  int GetDataType() const { return dataType_; }
  bool IsBoolean() const { return dataType_ == kDataBoolean; }
  // Building: the value type follows (string for kDataString, else numeric).
  void SetDataType(int dataType);

  // A text as this field's number: for a boolean "true"/"false" or "1"/"0"
  // in any letter case (with surrounding XML white space); for any other
  // field the number rule of NumberText. False when the text is none.
  bool ParseNumber(std::string_view text, double* out) const;

  // Number of declared valid values.
  int GetNumberOfCategories() const { return static_cast<int>(labels_.size()); }
  // The declared valid values in document order, or null when the field
  // declares none.
  const std::vector<ScoreValue*>* GetValueLabelSet() const;

  // True when the value is one the field accepts: one of the declared valid
  // values when there are any (texts by exact bytes, numbers by number);
  // otherwise any value of the field's type inside its Intervals (when it
  // has some) that is not declared missing or invalid.
  bool IsValidValue(const ScoreValue& value) const;
  // True when the field declares valid or invalid Values or Intervals, so
  // that a value of its type may be invalid.
  bool DeclaresValidity() const {
    return !labels_.empty() || !invalid_.empty() || !intervals_.empty();
  }
  // True when the value is one of the field's declared missing values, or a
  // numeric system-missing value.
  bool IsMissingValue(const ScoreValue& value) const;
  // True when the field declares missing values of its own (without them
  // only the numeric system-missing value is missing).
  bool HasMissingValues() const { return !missing_.empty(); }

  // Position of the field in the record layout (-1: not in the layout).
  void SetCaseIndex(int index) { caseIndex_ = index; }
  int GetCaseIndex() const { return caseIndex_; }

  // Text to code (a target's label codes are label-list positions).
  const ScoreValueCoder* GetLabelCoder() const { return &coder_; }
  // Value to code (records and predicates use the same codes).
  const ScoreValueCoder* GetValueCoder() const { return &coder_; }
  // Translation only: lets the predicate parser code undeclared texts.
  ScoreValueCoder* GetMutableCoder() { return &coder_; }

  // Building, used by the dictionary parser. The variable owns the values.
  // A valid value of a string field also receives its code.
  void AddValidValue(ScoreValue* value);
  void AddMissingValue(ScoreValue* value);
  void AddInvalidValue(ScoreValue* value);
  // An Interval of a numeric field; either end may be infinite.
  void AddInterval(double low, double high, bool lowClosed, bool highClosed);

 private:
  struct Interval {
    double low;
    double high;
    bool lowClosed;
    bool highClosed;
  };

  std::string name_;
  int valueType_;
  int measureLevel_;
  int dataType_;
  int caseIndex_ = -1;
  std::vector<ScoreValue*> labels_;    // owned; valid values in order
  std::vector<ScoreValue*> missing_;   // owned
  std::vector<ScoreValue*> invalid_;   // owned
  std::vector<Interval> intervals_;
  ScoreValueCoder coder_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_SCOREDICTVAR_H_
