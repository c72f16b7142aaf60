// The pmml semantics' treatment of a record's values per MiningField, after
// the record is encoded and before any rule is tried: a value the field
// declares invalid (not a number for a numeric field, not among the valid
// Values, outside every Interval, or declared invalid) is returned as an
// error, kept, made missing or replaced; a continuous value outside
// lowValue..highValue is kept, made missing or moved to the bound; a missing
// value (also one made missing here) takes the field's replacement.
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
  if (semantics != pmml || fieldTreatments.empty()) return;
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
    // Outliers exist only on a continuous numeric scale.
    if (!isString && var->GetMeasureLevel() == ScoreDictVar::kContinuous) {
      step.outliers = t.outliers;
      step.lowValue = t.hasLowValue ? t.lowValue : -std::numeric_limits<double>::infinity();
      step.highValue = t.hasHighValue ? t.highValue : std::numeric_limits<double>::infinity();
    }
    treatSteps.push_back(step);
  }
}

bool RuleSetModel::ApplyFieldTreatments(const ScoreCaseRecord* record, std::string* field,
                                        std::string* value) {
  const double sysmis = NumericValue::GetSysmisValue();
  for (const TreatStep& step : treatSteps) {
    const size_t i = static_cast<size_t>(step.index);
    if (i >= predVarValues.size() || i >= encodeSteps.size()) continue;
    const bool isString = i < predVarIsString.size() && predVarIsString[i];
    const double missing = isString ? -1.0 : sysmis;
    double x = predVarValues[i];
    bool isMissing = x == missing;

    const EncodeStep& read = encodeSteps[i];
    const ScoreValue* cell = read.var != nullptr ? record->GetValue(read.position) : nullptr;
    if (cell != nullptr && step.checkValid) {
      bool invalid = false;
      if (!isString && cell->GetValueType() != ScoreValue::kNumeric) {
        // A text where a number belongs (encoded as missing) is invalid,
        // unless the field declares it missing.
        invalid = !read.var->IsMissingValue(*cell);
      } else if (!isMissing) {
        invalid = (!isString && std::isnan(cell->GetDouble())) || !read.var->IsValidValue(*cell);
      }
      if (invalid) {
        isMissing = false;
        switch (step.invalidTreatment) {
          case returnInvalid:
            *field = read.var->Name();
            *value = ValueText(cell);
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
    predVarValues[i] = x;
  }
  return true;
}

}  // namespace KtZembra_940
