#include "host/ErrorFormatter.h"

#include <cstdio>

#include "host/ErrorCodes.h"
#include "host/Utf8Text.h"

namespace KtZembra_940 {

const ErrorFormatter gErrorFormater;

namespace {

struct Message {
  int code;
  const char* text;
};

// %N stands for argument N. Every text names what it is about, so that a
// user can find the offending place in the document.
constexpr Message kMessages[] = {
    {ErrorCode::kMissingAttribute, "Element %1 lacks the required attribute %2"},
    {ErrorCode::kMissingChild, "Element %1 lacks the required child element %2"},
    {ErrorCode::kNotANumber, "\"%1\" is not a number"},
    {ErrorCode::kNotAnInteger, "\"%1\" is not a 32-bit integer"},
    {ErrorCode::kUnknownField, "Field \"%1\" in %2 is not in the dictionary"},
    {ErrorCode::kMalformedArray, "Malformed Array \"%1\": %2"},
    {ErrorCode::kUnknownOperator, "Unknown operator \"%1\" in attribute %2 of %3"},
    {ErrorCode::kDuplicateField, "Field \"%1\" is defined more than once"},
    {ErrorCode::kXmlParse, "%1:%2:%3: %4"},
    {ErrorCode::kXmlTooDeep, "%1:%2:%3: elements nest deeper than %4 levels"},
    {ErrorCode::kDoctypeRefused, "%1:%2:%3: DOCTYPE not accepted"},
    {ErrorCode::kDocumentTooLarge, "%1: the document size %2 exceeds the limit of %3 bytes"},
    {ErrorCode::kNestingTooDeep, "%1 nests deeper than %2 levels"},
    {ErrorCode::kBadCostElement, "Malformed %1: %2"},
    {ErrorCode::kCompoundRulePredicate, "%1 must hold exactly one predicate, found %2"},
    {ErrorCode::kFileUnreadable, "%1: cannot read the file: %2"},
    {ErrorCode::kNoRoot, "%1: the document has no root element"},
    {ErrorCode::kBadFieldDefinition, "Field \"%1\": invalid %2 \"%3\""},
    {ErrorCode::kTranscoder, "No transcoder for the encoding \"%1\": %2"},
    {ErrorCode::kNotScorable, "The model cannot score: %1"},
    {ErrorCode::kUnknownFunction, "Derived field \"%1\" calls the unknown function \"%2\""},
    {ErrorCode::kBadExpression, "Derived field \"%1\": %2 %3"},
    {ErrorCode::kDerivedFieldCycle, "Derived fields depend on each other in a circle: %1"},
    {ErrorCode::kInvalidInput, "Field %1: the value \"%2\" is invalid"},

    {ErrorCode::kSchemaCount, "The number of %1 elements differs from the number of %2 elements"},
    {ErrorCode::kOrdinalValue, "\"%1\" is not a category of the ordinal field %2"},
    {ErrorCode::kInvalidValue, "\"%1\" is not a valid value of %2"},
    {ErrorCode::kUnsupported, "Unsupported text \"%1\" in %2 of %3"},
    {ErrorCode::kEmptySelection, "The predicates on field %1 select no value"},
    {ErrorCode::kEmptyValue, "An empty value is accepted only with %1 %2"},
    {ErrorCode::kTooFewPredicates, "%2 holds fewer than two predicates (%1 and its kinds)"},
    {ErrorCode::kNegativeConfidence, "Negative value \"%1\" of %2"},
    {ErrorCode::kValueNotAllowed, "Attribute %1 is not allowed with operator %2"},
    {ErrorCode::kOrdinalNoCategory, "Operator %1 selects no category of the ordinal field %2"},
    {ErrorCode::kCostType, "Cost %2 \"%1\" requires a string target; %3 is not one"},
    {ErrorCode::kSecondPredicate, "A second predicate on %1 in %2"},
    {ErrorCode::kNotScorableModel, "The model is marked as not scorable (%1 of %2)"},
    {ErrorCode::kScaleTarget, "Target field %1 is continuous; a rule set needs a categorical target"},
    {ErrorCode::kRegressionWeightedSum,
     "Criterion %1 is not defined for the continuous target %2 of a regression rule set; "
     "use firstHit or weightedMax"},

    {ErrorCode::kOutputFeature, "Output field \"%1\": the feature \"%2\" is not supported"},
    {ErrorCode::kBadOutputField, "Output field \"%1\": %2"},
};

// Appends an argument with control characters and bytes that are no UTF-8
// written as \xNN, so that input echoed in a message cannot disturb a
// terminal or a log.
void AppendEscaped(const std::string& text, std::string* out) {
  const size_t n = text.size();
  size_t i = 0;
  auto escape = [out](unsigned char c) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned>(c));
    out->append(buffer);
  };
  while (i < n) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      if (b0 < 0x20 || b0 == 0x7F) {
        escape(b0);
      } else {
        out->push_back(static_cast<char>(b0));
      }
      ++i;
      continue;
    }
    char32_t cp = 0;
    const size_t length = Utf8Text::SequenceLength(text, i, &cp);
    // C1 control characters are as unsafe as C0 ones.
    const bool good = length > 0 && (cp < 0x80 || cp > 0x9F);
    if (!good) {
      escape(b0);
      ++i;
      continue;
    }
    out->append(text, i, length);
    i += length;
  }
}

}  // namespace

ErrorFormatter::ErrorFormatter() = default;

std::string ErrorFormatter::GetTemplate(int code) const {
  for (const Message& m : kMessages) {
    if (m.code == code) return m.text;
  }
  return std::string();
}

std::string ErrorFormatter::Format(int code, const std::vector<std::string>& args) const {
  const std::string pattern = GetTemplate(code);
  std::string out;
  if (pattern.empty()) {
    out = "error " + std::to_string(code);
    for (size_t k = 0; k < args.size(); ++k) {
      out += k == 0 ? ": " : ", ";
      AppendEscaped(args[k], &out);
    }
    return out;
  }
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      const size_t index = static_cast<size_t>(pattern[i + 1] - '1');
      // An argument the raiser did not give leaves its place empty.
      if (index < args.size()) AppendEscaped(args[index], &out);
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

}  // namespace KtZembra_940
