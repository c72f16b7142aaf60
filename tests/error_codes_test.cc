// Every refusal the loading road can give, one small document each: the
// exact code, arguments and message, with the half-built model gone (the
// sanitizer build reports any leak) and the translator's exit not traced.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoringLog.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {
namespace {

const char kFields[] = R"(
<DataField name="risk" optype="categorical" dataType="string"><Value value="high"/><Value value="low"/></DataField>
<DataField name="n" optype="categorical" dataType="integer"><Value value="0"/><Value value="1"/></DataField>
<DataField name="age" optype="continuous" dataType="double"/>
<DataField name="colour" optype="categorical" dataType="string">
  <Value value="red"/><Value value="green"/><Value value="blue"/></DataField>
<DataField name="grade" optype="ordinal" dataType="string">
  <Value value="low"/><Value value="mid"/><Value value="high"/></DataField>)";

std::string Document(const std::string& models, const std::string& fields = kFields) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PMML version=\"4.4\"><DataDictionary>" +
         fields + "</DataDictionary>" + models + "</PMML>";
}

struct ModelParts {
  std::string rules;
  std::string ruleSetAttributes = "defaultScore=\"low\"";
  std::string modelAttributes;
  std::string extension;
  std::string target = "risk";
};

std::string Model(const ModelParts& p) {
  return "<RuleSetModel functionName=\"classification\" " + p.modelAttributes + ">" + p.extension +
         "<MiningSchema><MiningField name=\"" + p.target +
         "\" usageType=\"predicted\"/><MiningField name=\"age\"/><MiningField name=\"colour\"/>"
         "<MiningField name=\"grade\"/></MiningSchema><RuleSet " +
         p.ruleSetAttributes + ">" + p.rules + "</RuleSet></RuleSetModel>";
}

std::string WithRules(const std::string& rules) {
  ModelParts parts;
  parts.rules = rules;
  return Document(Model(parts));
}

// One rule holding `body`.
std::string WithRule(const std::string& body) {
  return WithRules("<SimpleRule id=\"r\" score=\"high\">" + body + "</SimpleRule>");
}

std::string Simple(const std::string& field, const std::string& op, const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value +
         "\"/>";
}

std::string Costs(const std::string& elements, const std::string& target = "risk") {
  ModelParts parts;
  parts.target = target;
  parts.ruleSetAttributes = target == "risk" ? "defaultScore=\"low\"" : "defaultScore=\"0\"";
  parts.extension = "<Extension>" + elements + "</Extension>";
  return Document(Model(parts));
}

struct Outcome {
  int code = 0;
  std::vector<std::string> args;
  std::string message;
  std::string trace;
};

// Parses and translates with the trace log on; the model, if any, is
// destroyed at once.
Outcome Translate(const std::string& pmml, const std::string& encoding = "") {
  XmlPlatform platform;
  std::ostringstream trace;
  ScoringLog& log = ScoringLog::GetInstance();
  log.SetStream(&trace);
  log.SetLevel(1);
  Outcome outcome;
  try {
    std::unique_ptr<XmlDocument> document =
        XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "test.pmml");
    RuleSetTranslator translator;
    std::unique_ptr<ScoreModel> model(translator.ParseFromTree(
        document->GetDocument(), encoding.empty() ? document->GetEncoding() : encoding));
  } catch (const ZbException& e) {
    outcome.code = e.GetErrorCode();
    outcome.args = e.GetArguments();
    outcome.message = e.GetMessage();
  }
  log.SetLevel(0);
  log.SetStream(nullptr);
  outcome.trace = trace.str();
  return outcome;
}

// The second line of a native refusal that the pmml semantics reads.
const std::string kPmmlReads =
    "\nThe document is accepted under the semantics pmml (option semantics=pmml).";

struct ErrorCase {
  const char* name;
  std::string pmml;
  int code;
  std::vector<std::string> args;
  std::string message;
};

std::vector<ErrorCase> TranslationCases() {
  ModelParts unscorable;
  unscorable.modelAttributes = "isScorable=\"False\"";
  ModelParts continuousTarget;
  continuousTarget.target = "age";
  ModelParts negativeDefault;
  negativeDefault.ruleSetAttributes = "defaultConfidence=\"-0.5\"";
  ModelParts countText;
  countText.ruleSetAttributes = "recordCount=\"many\"";
  ModelParts caseOfCriterion;
  caseOfCriterion.rules = "<RuleSelectionMethod criterion=\"WeightedSum\"/>";
  std::string deepRules;
  for (int i = 0; i < 501; ++i) deepRules += "<CompoundRule><True/>";
  for (int i = 0; i < 501; ++i) deepRules += "</CompoundRule>";

  return {
      // The rule-set translation's own codes.
      {"schema count", Document(Model(ModelParts()) + "<RuleSetModel functionName=\"classification\"/>"),
       ErrorCode::kSchemaCount, {"MiningSchema", "RuleSetModel"},
       "The number of MiningSchema elements differs from the number of RuleSetModel elements"},
      {"ordinal value", WithRule(Simple("grade", "greaterThan", "top")), ErrorCode::kOrdinalValue,
       {"top", "grade"}, "\"top\" is not a category of the ordinal field grade"},
      {"set item not a value",
       WithRule("<SimpleSetPredicate field=\"colour\" booleanOperator=\"isIn\">"
                "<Array type=\"string\">red purple</Array></SimpleSetPredicate>"),
       ErrorCode::kInvalidValue, {"purple", "value"}, "\"purple\" is not a valid value of value"},
      {"unknown cost type",
       Costs("<MisclassificationCost><C type=\"Q\">high</C><C type=\"A\">low</C><V>1</V>"
             "</MisclassificationCost>"),
       ErrorCode::kInvalidValue, {"Q", "type"}, "\"Q\" is not a valid value of type"},
      {"criterion case", Document(Model(caseOfCriterion)), ErrorCode::kUnsupported,
       {"WeightedSum", "criterion", "RuleSelectionMethod"},
       "Unsupported text \"WeightedSum\" in criterion of RuleSelectionMethod"},
      {"array type",
       WithRule("<SimpleSetPredicate field=\"colour\" booleanOperator=\"isIn\">"
                "<Array type=\"float\">red</Array></SimpleSetPredicate>"),
       ErrorCode::kUnsupported, {"float", "type", "colour"},
       "Unsupported text \"float\" in type of colour"},
      {"empty range",
       WithRule("<CompoundPredicate booleanOperator=\"and\">" + Simple("age", "lessThan", "2") +
                Simple("age", "greaterThan", "5") + "</CompoundPredicate>"),
       ErrorCode::kEmptySelection, {"age"}, "The predicates on field age select no value" + kPmmlReads},
      {"two values on a nominal field",
       WithRule("<CompoundPredicate booleanOperator=\"and\">" + Simple("colour", "equal", "red") +
                Simple("colour", "equal", "blue") + "</CompoundPredicate>"),
       ErrorCode::kEmptySelection, {"colour"}, "The predicates on field colour select no value" + kPmmlReads},
      {"empty value", WithRule(Simple("age", "greaterThan", "")), ErrorCode::kEmptyValue,
       {"operator", "equal"}, "An empty value is accepted only with operator equal"},
      {"one-member compound",
       WithRule("<CompoundPredicate booleanOperator=\"xor\">" + Simple("age", "lessThan", "2") +
                "<True/></CompoundPredicate>"),
       ErrorCode::kTooFewPredicates, {"SimplePredicate", "CompoundPredicate"},
       "CompoundPredicate holds fewer than two predicates (SimplePredicate and its kinds)" +
           kPmmlReads},
      {"empty compound", WithRule("<CompoundPredicate booleanOperator=\"or\"/>"),
       ErrorCode::kTooFewPredicates, {"SimplePredicate", "CompoundPredicate"},
       "CompoundPredicate holds fewer than two predicates (SimplePredicate and its kinds)"},
      {"negative default confidence", Document(Model(negativeDefault)),
       ErrorCode::kNegativeConfidence, {"-0.5", "defaultConfidence"},
       "Negative value \"-0.5\" of defaultConfidence"},
      {"isMissing with a value", WithRule(Simple("age", "isMissing", "3")),
       ErrorCode::kValueNotAllowed, {"value", "isMissing"},
       "Attribute value is not allowed with operator isMissing"},
      {"ordinal beyond the last", WithRule(Simple("grade", "greaterThan", "high")),
       ErrorCode::kOrdinalNoCategory, {"greaterThan", "grade"},
       "Operator greaterThan selects no category of the ordinal field grade" + kPmmlReads},
      {"text cost on a numeric target",
       Costs("<MisclassificationCost><C type=\"A\">0</C><C type=\"A\">1</C><V>1</V>"
             "</MisclassificationCost>",
             "n"),
       ErrorCode::kCostType, {"A", "type", "n"},
       "Cost type \"A\" requires a string target; n is not one"},
      {"second predicate",
       WithRule(Simple("age", "lessThan", "2") + Simple("age", "greaterThan", "1")),
       ErrorCode::kSecondPredicate, {"SimplePredicate", "SimpleRule"},
       "A second predicate on SimplePredicate in SimpleRule"},
      {"set predicate on a field already split",
       WithRule("<CompoundPredicate booleanOperator=\"and\">" + Simple("colour", "equal", "red") +
                "<SimpleSetPredicate field=\"colour\" booleanOperator=\"isIn\">"
                "<Array type=\"string\">red</Array></SimpleSetPredicate></CompoundPredicate>"),
       ErrorCode::kSecondPredicate, {"colour", "SimpleRule"},
       "A second predicate on colour in SimpleRule"},
      {"not scorable", Document(Model(unscorable)), ErrorCode::kNotScorableModel,
       {"isScorable", "PMML"}, "The model is marked as not scorable (isScorable of PMML)"},
      {"continuous target", Document(Model(continuousTarget)), ErrorCode::kScaleTarget, {"age"},
       "Target field age is continuous; a rule set needs a categorical target"},

      // The host's codes on the same road.
      {"rule without score", WithRules("<SimpleRule id=\"r\"><True/></SimpleRule>"),
       ErrorCode::kMissingAttribute, {"SimpleRule", "score"},
       "Element SimpleRule lacks the required attribute score"},
      {"no data dictionary", "<PMML version=\"4.4\"><RuleSetModel/></PMML>",
       ErrorCode::kMissingChild, {"PMML", "DataDictionary"},
       "Element PMML lacks the required child element DataDictionary"},
      {"count not a number", Document(Model(countText)), ErrorCode::kNotANumber, {"many"},
       "\"many\" is not a number"},
      {"integer cost category",
       Costs("<MisclassificationCost><C type=\"J\">1.5</C><C type=\"J\">0</C><V>1</V>"
             "</MisclassificationCost>",
             "n"),
       ErrorCode::kNotAnInteger, {"1.5"}, "\"1.5\" is not a 32-bit integer"},
      {"unknown field", WithRule(Simple("nope", "equal", "1")), ErrorCode::kUnknownField,
       {"nope", "SimplePredicate"}, "Field \"nope\" in SimplePredicate is not in the dictionary"},
      {"unterminated array quote",
       WithRule("<SimpleSetPredicate field=\"colour\" booleanOperator=\"isIn\">"
                "<Array type=\"string\">red \"green</Array></SimpleSetPredicate>"),
       ErrorCode::kMalformedArray, {"red \"green", "unterminated quote"},
       "Malformed Array \"red \"green\": unterminated quote"},
      {"unknown operator", WithRule(Simple("age", "above", "1")), ErrorCode::kUnknownOperator,
       {"above", "operator", "SimplePredicate"},
       "Unknown operator \"above\" in attribute operator of SimplePredicate"},
      {"unknown boolean operator",
       WithRule("<CompoundPredicate booleanOperator=\"nand\">" + Simple("age", "lessThan", "2") +
                Simple("age", "greaterThan", "1") + "</CompoundPredicate>"),
       ErrorCode::kUnknownOperator, {"nand", "booleanOperator", "CompoundPredicate"},
       "Unknown operator \"nand\" in attribute booleanOperator of CompoundPredicate"},
      {"duplicate field",
       Document(Model(ModelParts()),
                std::string(kFields) + "<DataField name=\"age\" optype=\"continuous\"/>"),
       ErrorCode::kDuplicateField, {"age"}, "Field \"age\" is defined more than once"},
      {"compound rules too deep", WithRules(deepRules), ErrorCode::kNestingTooDeep,
       {"CompoundRule", "500"}, "CompoundRule nests deeper than 500 levels"},
      {"cost element without its cost",
       Costs("<MisclassificationCost><C type=\"A\">high</C><C type=\"A\">low</C>"
             "</MisclassificationCost>"),
       ErrorCode::kBadCostElement, {"MisclassificationCost", "third child element"},
       "Malformed MisclassificationCost: third child element"},
      {"cost child without text",
       Costs("<MisclassificationCost><C type=\"A\"/><C type=\"A\">low</C><V>1</V>"
             "</MisclassificationCost>"),
       ErrorCode::kBadCostElement, {"MisclassificationCost", "text of the first child element"},
       "Malformed MisclassificationCost: text of the first child element"},
      {"compound rule without predicate",
       WithRules("<CompoundRule><SimpleRule id=\"r\" score=\"high\"><True/></SimpleRule>"
                 "</CompoundRule>"),
       ErrorCode::kCompoundRulePredicate, {"CompoundRule", "0"},
       "CompoundRule must hold exactly one predicate, found 0"},
      {"bad optype",
       Document(Model(ModelParts()),
                std::string(kFields) + "<DataField name=\"w\" optype=\"weird\"/>"),
       ErrorCode::kBadFieldDefinition, {"w", "optype", "weird"},
       "Field \"w\": invalid optype \"weird\""},

      // The loader's codes.
      {"DOCTYPE", "<!DOCTYPE PMML>\n<PMML/>", ErrorCode::kDoctypeRefused, {"test.pmml", "1", "10"},
       "test.pmml:1:10: DOCTYPE not accepted"},
      {"no root", "", ErrorCode::kNoRoot, {"test.pmml"}, "test.pmml: the document has no root element"},
  };
}

TEST(ErrorCodes, EachRefusalHasItsCodeArgumentsAndMessage) {
  for (const ErrorCase& c : TranslationCases()) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Translate(c.pmml);
    EXPECT_EQ(outcome.code, c.code);
    EXPECT_EQ(outcome.args, c.args);
    EXPECT_EQ(outcome.message, c.message);
    // A refused translation never reports a normal exit.
    EXPECT_EQ(outcome.trace.find("Exit:KtZembra_940::RuleSetTranslator::ParseFromTree"),
              std::string::npos);
  }
}

TEST(ErrorCodes, TranslationStartsTracingBeforeItFails) {
  const Outcome outcome = Translate(WithRule(Simple("nope", "equal", "1")));
  EXPECT_EQ(outcome.code, ErrorCode::kUnknownField);
  EXPECT_EQ(outcome.trace.rfind("Enter:KtZembra_940::RuleSetTranslator::ParseFromTree\n", 0), 0u);
}

TEST(ErrorCodes, LoaderRefusalsNameTheFileAndPlace) {
  std::string deep = "<PMML>";
  for (int i = 0; i < XmlDocument::kMaxElementDepth; ++i) deep += "<a>";
  const Outcome tooDeep = Translate(deep);
  EXPECT_EQ(tooDeep.code, ErrorCode::kXmlTooDeep);
  ASSERT_EQ(tooDeep.args.size(), 4u);
  EXPECT_EQ(tooDeep.message, "test.pmml:1:" + tooDeep.args[2] + ": elements nest deeper than " +
                                 std::to_string(XmlDocument::kMaxElementDepth) + " levels");

  const Outcome broken = Translate("<PMML>\n  <DataDictionary>\n</PMML>");
  EXPECT_EQ(broken.code, ErrorCode::kXmlParse);
  ASSERT_EQ(broken.args.size(), 4u);
  EXPECT_EQ(broken.args[0], "test.pmml");
  EXPECT_EQ(broken.args[1], "3");
  EXPECT_EQ(broken.message,
            "test.pmml:3:" + broken.args[2] + ": " + broken.args[3]);
  EXPECT_FALSE(broken.args[3].empty());

  XmlPlatform platform;
  int code = 0;
  std::string message;
  try {
    XmlDocument::ParseFile("/nonexistent/dir/model.pmml");
  } catch (const ZbException& e) {
    code = e.GetErrorCode();
    message = e.GetMessage();
  }
  EXPECT_EQ(code, ErrorCode::kFileUnreadable);
  EXPECT_EQ(message, "/nonexistent/dir/model.pmml: cannot read the file: No such file or directory");
}

TEST(ErrorCodes, UnknownEncodingNameIsRefusedByTheTranscoder) {
  const Outcome outcome = Translate(WithRule("<True/>"), "x-no-such-encoding");
  EXPECT_EQ(outcome.code, ErrorCode::kTranscoder);
  ASSERT_FALSE(outcome.args.empty());
  EXPECT_EQ(outcome.args[0], "x-no-such-encoding");
  EXPECT_EQ(outcome.message.rfind("No transcoder for the encoding \"x-no-such-encoding\": ", 0), 0u);
}

TEST(ErrorCodes, ScoringARecordWithoutLayoutIsRefusedByStatus) {
  XmlPlatform platform;
  const std::string pmml = WithRule("<True/>");
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "test.pmml");
  RuleSetTranslator translator;
  std::unique_ptr<ScoreModel> model(
      translator.ParseFromTree(document->GetDocument(), document->GetEncoding()));
  ASSERT_NE(model, nullptr);
  ScoreCaseRecord empty;
  ScoreResult* result = nullptr;
  const KtScore::KtStatus status = model->GetScore(&empty, result, false);
  EXPECT_TRUE(status.IsError());
  EXPECT_EQ(status.GetErrorCode(), ErrorCode::kNotScorable);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(model->GetScore(nullptr, result, false).GetErrorCode(), 90029);
  delete result;
}

}  // namespace
}  // namespace KtZembra_940
