// Message codes of ZbException. The host's own failures use the range below
// 260115; the rule-set translation raises 260115 to 260299.
#ifndef RULESCORE_HOST_ERRORCODES_H_
#define RULESCORE_HOST_ERRORCODES_H_

namespace KtZembra_940 {
namespace ErrorCode {

// Host failures. Arguments in brackets.
constexpr int kMissingAttribute = 260001;   // [element, attribute]
constexpr int kMissingChild = 260002;       // [element, child tag]
constexpr int kNotANumber = 260003;         // [text]
constexpr int kNotAnInteger = 260004;       // [text]
constexpr int kUnknownField = 260005;       // [field name, element]
constexpr int kMalformedArray = 260006;     // [array text, reason]
constexpr int kUnknownOperator = 260007;    // [operator text, attribute, element]
constexpr int kDuplicateField = 260008;     // [field name]
constexpr int kXmlParse = 260009;           // [file, line, column, message]
constexpr int kXmlTooDeep = 260010;         // [file, line, column, limit]
constexpr int kDoctypeRefused = 260011;     // [file, line, column]
constexpr int kDocumentTooLarge = 260012;   // [file, size, limit]
constexpr int kNestingTooDeep = 260013;     // [element, limit]
constexpr int kBadCostElement = 260014;     // [element, what is missing]
constexpr int kCompoundRulePredicate = 260015;  // [element, count found]
constexpr int kFileUnreadable = 260016;     // [file, reason]
constexpr int kNoRoot = 260017;             // [file]
constexpr int kBadFieldDefinition = 260018; // [field name, attribute, text]
constexpr int kTranscoder = 260019;         // [encoding, reason]
constexpr int kNotScorable = 260020;        // [reason]: scoring before record set-up
constexpr int kUnknownFunction = 260041;    // [derived field, function]
constexpr int kBadExpression = 260042;      // [derived field, element, reason]
constexpr int kDerivedFieldCycle = 260043;  // [fields in the circle]
constexpr int kInvalidInput = 260024;       // [field name, value]: returnInvalid on a record

// Rule-set translation.
constexpr int kSchemaCount = 260115;
constexpr int kOrdinalValue = 260127;
constexpr int kInvalidValue = 260152;
constexpr int kUnsupported = 260153;
constexpr int kEmptySelection = 260157;
constexpr int kEmptyValue = 260171;
constexpr int kTooFewPredicates = 260176;
constexpr int kNegativeConfidence = 260183;
constexpr int kValueNotAllowed = 260212;
constexpr int kOrdinalNoCategory = 260224;
constexpr int kCostType = 260253;
constexpr int kSecondPredicate = 260272;
constexpr int kNotScorableModel = 260281;
constexpr int kScaleTarget = 260299;
constexpr int kRegressionWeightedSum = 260298;  // [criterion, target name]

// Output fields.
constexpr int kOutputFeature = 260230;   // [output field, feature]
constexpr int kBadOutputField = 260231;  // [output field, reason]

}  // namespace ErrorCode
}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_ERRORCODES_H_
