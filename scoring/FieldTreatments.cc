// The pmml semantics' treatment of a record's values per MiningField, after
// the record is encoded and before any rule is tried: a value the field
// declares invalid (not a number for a numeric field, not among the valid
// Values, outside every Interval, or declared invalid) is returned as an
// error, kept, made missing or replaced; a continuous value outside
// lowValue..highValue is kept, made missing or moved to the bound; a missing
// value (also one made missing here) takes the field's replacement.
#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"
#include "host/ScoreValueCoder.h"
#include "host/StringValue.h"
#include "model/DerivedFieldProgram.h"
#include "model/RuleSetModel.h"

namespace KtZembra_940 {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A replacement text encoded as a record's cell of the variable would be: a
// number (NaN when the text is none) or a text's label code (NaN for a
// text the field does not know).
double EncodeText(const ScoreDictVar* var, bool isString, const std::string& text) {
  if (!isString) {
    double number = 0.0;
    return NumberText::ParseDouble(text, &number) ? number : kNaN;
  }
  const ScoreValueCoder* coder = var->GetValueCoder();
  const int code = coder != nullptr ? coder->GetCode(text) : ScoreValueCoder::kNoCode;
  return code == ScoreValueCoder::kNoCode ? kNaN : static_cast<double>(code);
}

// The value as a message shows it: its text, or the shortest text of a
// number.
std::string ValueText(const ScoreValue* value) {
  if (value == nullptr) return std::string();
  if (value->GetValueType() == ScoreValue::kNumeric) {
    char buffer[64];
    const std::string_view text = NumberText::FormatShortest(value->GetDouble(), buffer, sizeof buffer);
    return std::string(text);
  }
  return value->GetString();
}

}  // namespace

void RuleSetModel::SetUpFieldTreatments() {
  treatSteps.clear();
  treatLow.clear();
  treatHigh.clear();
  if (semantics != pmml || fieldTreatments.empty()) return;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  for (size_t i = 0; i < predVars.size(); ++i) {
    const ScoreDictVar* var = predVars[i];
    if (var == nullptr) continue;
    const auto found = fieldTreatments.find(var->Name());
    if (found == fieldTreatments.end()) continue;
    const ST_FieldTreatment& t = found->second;
    const bool isString = i < predVarIsString.size() && predVarIsString[i];
    TreatStep step;
    step.index = static_cast<int32_t>(i);
    // A field that declares nothing about its values still refuses a text
    // in place of a number; every other check is the dictionary's.
    step.checkValid = true;
    step.invalidTreatment = t.invalidTreatment;
    if (t.invalidTreatment == invalidAsValue) {
      step.invalidValue = EncodeText(var, isString, t.invalidReplacement);
    }
    step.hasMissingValue = t.hasMissingReplacement;
    if (t.hasMissingReplacement) step.missingValue = EncodeText(var, isString, t.missingReplacement);
    step.lowValue = -kInfinity;
    step.highValue = kInfinity;
    // Outliers exist only on a continuous numeric scale.
    if (!isString && var->GetMeasureLevel() == ScoreDictVar::kContinuous) {
      step.outliers = t.outliers;
      if (t.outliers != outliersAsIs) {
        if (t.hasLowValue) step.lowValue = t.lowValue;
        if (t.hasHighValue) step.highValue = t.highValue;
      }
    }
    const bool derived = i < encodeSteps.size() && (encodeSteps[i].kind == kReadDerived ||
                                                 encodeSteps[i].kind == kReadDerivedDirect);
    step.numbersPass = !isString && !derived && !var->DeclaresValidity();
    treatSteps.push_back(step);
  }
  bool bounded = allNumbers;
  for (const TreatStep& step : treatSteps) bounded = bounded && step.numbersPass;
  if (!bounded) return;
  // The lower bound lies above the missing value (the lowest double), so
  // that one comparison refuses both; -infinity then takes the long way.
  const double aboveMissing = std::nextafter(NumericValue::GetSysmisValue(), 0.0);
  treatLow.assign(predVarValues.size(), aboveMissing);
  treatHigh.assign(predVarValues.size(), kInfinity);
  for (const TreatStep& step : treatSteps) {
    const size_t i = static_cast<size_t>(step.index);
    if (i >= treatLow.size()) continue;
    treatLow[i] = std::max(step.lowValue, aboveMissing);
    treatHigh[i] = step.highValue;
  }
}

bool RuleSetModel::NeedsNoTreatment() const {
  const size_t n = treatLow.size();
  if (n == 0 || n != predVarValues.size()) return false;
  const double* x = predVarValues.data();
  const double* low = treatLow.data();
  const double* high = treatHigh.data();
  // Two values at a time, one branch at the end: a NaN fails both
  // comparisons, so it needs treatment like any value out of bounds.
  size_t i = 0;
#if defined(__SSE2__)
  __m128d inside = _mm_castsi128_pd(_mm_set1_epi32(-1));
  for (; i + 2 <= n; i += 2) {
    const __m128d v = _mm_loadu_pd(x + i);
    inside = _mm_and_pd(inside, _mm_and_pd(_mm_cmpge_pd(v, _mm_loadu_pd(low + i)),
                                           _mm_cmple_pd(v, _mm_loadu_pd(high + i))));
  }
  bool all = _mm_movemask_pd(inside) == 3;
#else
  bool all = true;
#endif
  for (; i < n; ++i) all = all && x[i] >= low[i] && x[i] <= high[i];
  return all;
}

bool RuleSetModel::TreatValue(const TreatStep& step, const ScoreValue* cell, double* out) const {
  const size_t i = static_cast<size_t>(step.index);
  const bool isString = i < predVarIsString.size() && predVarIsString[i];
  const double missing = isString ? -1.0 : NumericValue::GetSysmisValue();
  double x = *out;
  bool isMissing = x == missing;
  const ScoreDictVar* var = i < encodeSteps.size() ? encodeSteps[i].var : nullptr;
  if (var == nullptr) cell = nullptr;
  if (cell != nullptr && step.checkValid) {
    bool invalid = false;
    if (!isString && cell->GetValueType() != ScoreValue::kNumeric) {
      // A text where a number belongs (encoded as missing) is invalid,
      // unless the field declares it missing.
      invalid = !var->IsMissingValue(*cell);
    } else if (!isMissing) {
      invalid = (!isString && std::isnan(cell->GetDouble())) || !var->IsValidValue(*cell);
    }
    if (invalid) {
      isMissing = false;
      switch (step.invalidTreatment) {
        case returnInvalid:
          return false;
        case invalidAsMissing:
          x = missing;
          isMissing = true;
          break;
        case invalidAsValue:
          x = step.invalidValue;
          isMissing = x == missing;
          break;
        default:
          // asIs: a text where a number belongs compares as no number.
          if (!isString && cell->GetValueType() != ScoreValue::kNumeric) x = kNaN;
          break;
      }
    } else if (!isMissing && !isString && step.outliers != outliersAsIs &&
               (x < step.lowValue || x > step.highValue)) {
      if (step.outliers == outliersAsMissing) {
        x = missing;
        isMissing = true;
      } else {
        x = x < step.lowValue ? step.lowValue : step.highValue;
      }
    }
  }
  if (isMissing && step.hasMissingValue) x = step.missingValue;
  *out = x;
  return true;
}

bool RuleSetModel::ApplyFieldTreatments(const ScoreCaseRecord* record, std::string* field,
                                        std::string* value) {
  const double sysmis = NumericValue::GetSysmisValue();
  const ScoreCaseRecord::Slots slots = record->GetSlots();
  for (const TreatStep& step : treatSteps) {
    const size_t i = static_cast<size_t>(step.index);
    if (i >= predVarValues.size() || i >= encodeSteps.size()) continue;
    double& x = predVarValues[i];
    const EncodeStep& read = encodeSteps[i];
    // The common case: a number cell holding a present number inside the
    // bounds, of a field that declares nothing about its values.
    if (step.numbersPass && x != sysmis && x >= step.lowValue && x <= step.highValue) {
      const size_t at = static_cast<size_t>(read.position);  // -1 wraps past count
      if (at < slots.count && slots.kinds[at] == ScoreCaseRecord::Kind::kNumber) continue;
    }
    const ScoreValue* cell = nullptr;
    NumericValue derivedNumber(0.0);
    StringValue derivedText{std::string()};
    if (read.kind == kReadDerived || read.kind == kReadDerivedDirect) {
      // A derived field's position is its place in the program, not in the
      // record: the cell judged is the value the program gave it (an
      // invalid one counts as missing, as it encodes).
      const DerivedFieldProgram::Value& given = derivedFields->GetOutput(read.position);
      const bool isString = i < predVarIsString.size() && predVarIsString[i];
      if (given.kind == DerivedFieldProgram::kNumber && !isString) {
        derivedNumber.SetDouble(given.number);
        cell = &derivedNumber;
      } else if (given.kind == DerivedFieldProgram::kText ||
                 (given.kind == DerivedFieldProgram::kNumber && isString)) {
        derivedText.SetText(given.text);
        cell = &derivedText;
      }
    } else if (read.var != nullptr) {
      cell = record->GetValue(read.position);
    }
    if (!TreatValue(step, cell, &x)) {
      *field = read.var->Name();
      *value = ValueText(cell);
      return false;
    }
  }
  return true;
}

}  // namespace KtZembra_940
