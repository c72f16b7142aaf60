// Derived fields: every expression kind and built-in function with present,
// missing and out-of-domain inputs, mapMissingTo and defaultValue; chains
// of fields, defined functions, fields in rule and CompoundRule guards, the
// treatments of a derived predictor. The documents refused at load time are
// scenario rows (tests/data/scenarios/derived_fields.txt).
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/NumberText.h"
#include "model/DerivedFieldProgram.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;
using testing_support::TranslateDocument;
using testing_support::TranslatedDocument;
using testing_support::TranslationFailure;
using testing_support::TranslationFailureOf;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

const char kDataFields[] = R"(<DataDictionary>
    <DataField name="x" optype="continuous" dataType="double"/>
    <DataField name="y" optype="continuous" dataType="double"/>
    <DataField name="s" optype="categorical" dataType="string"/>
    <DataField name="t" optype="categorical" dataType="string"/>
    <DataField name="out" optype="categorical" dataType="string"/>
  </DataDictionary>)";

const char kMiningSchema[] = R"(<MiningSchema>
    <MiningField name="x"/><MiningField name="y"/><MiningField name="s"/><MiningField name="t"/>
    <MiningField name="out" usageType="predicted"/></MiningSchema>)";

// A document with the given transformations, whose one rule fires when
// `field` is not missing.
std::string Document(const std::string& transformations, const std::string& field = "d",
                     const std::string& local = "") {
  return std::string(R"(<?xml version="1.0"?><PMML version="4.4">)") + kDataFields +
         transformations + R"(<RuleSetModel functionName="classification">)" + kMiningSchema +
         local + R"(<RuleSet defaultScore="no"><RuleSelectionMethod criterion="firstHit"/>
           <SimpleRule id="R1" score="yes"><SimplePredicate field=")" +
         field + R"(" operator="isNotMissing"/></SimpleRule></RuleSet></RuleSetModel></PMML>)";
}

std::string OneField(const std::string& dataType, const std::string& expression) {
  const char* optype = dataType == "string" || dataType == "boolean" ? "categorical" : "continuous";
  return std::string(R"(<TransformationDictionary><DerivedField name="d" optype=")") + optype +
         "\" dataType=\"" + dataType + "\">" + expression + "</DerivedField></TransformationDictionary>";
}

// A field's value after scoring: "missing", a number in its shortest form,
// or a text in quotes.
std::string Shown(const DerivedFieldProgram::Value& value) {
  if (value.kind == DerivedFieldProgram::kMissing) return "missing";
  if (value.kind == DerivedFieldProgram::kText) return "\"" + value.text + "\"";
  if (value.kind == DerivedFieldProgram::kInvalid) return "invalid";
  char buffer[64];
  return std::string(NumberText::FormatShortest(value.number, buffer, sizeof buffer));
}

struct Row {
  double x = kNone;
  double y = kNone;
  const char* s = nullptr;
  const char* t = nullptr;
  const char* xText = nullptr;  // a text in x's cell instead of a number
};

TestRecord& Fill(TestRecord& record, const Row& row) {
  record.Clear();
  if (row.xText != nullptr) record.Text("x", row.xText);
  else if (std::isnan(row.x)) record.Missing("x"); else record.Number("x", row.x);
  if (std::isnan(row.y)) record.Missing("y"); else record.Number("y", row.y);
  if (row.s == nullptr) record.Missing("s"); else record.Text("s", row.s);
  if (row.t == nullptr) record.Missing("t"); else record.Text("t", row.t);
  return record;
}

// Scores the row and returns the named field's value and the prediction
// ("error CODE" when the record is refused).
std::string ValueOf(TranslatedDocument& doc, const Row& row, const std::string& name = "d",
                    std::string* prediction = nullptr) {
  TestRecord record({"x", "y", "s", "t"});
  ScoreResult* result = nullptr;
  const Scored scored = ScoreWith(*doc.model, Fill(record, row).Get(), result);
  delete result;
  if (prediction != nullptr) {
    *prediction = scored.code == 0 ? scored.prediction : "error " + std::to_string(scored.code);
  }
  const DerivedFieldProgram* program = doc.model->GetDerivedFieldProgram();
  return Shown(program->GetOutput(program->FieldOf(name)));
}

struct Case {
  const char* dataType;
  std::string expression;
  Row row;
  const char* expected;
};

std::string Apply(const std::string& function, const std::string& arguments,
                  const std::string& attributes = "") {
  return "<Apply function=\"" + function + "\" " + attributes + ">" + arguments + "</Apply>";
}

const std::string kX = R"(<FieldRef field="x"/>)";
const std::string kY = R"(<FieldRef field="y"/>)";
const std::string kS = R"(<FieldRef field="s"/>)";
const std::string kT = R"(<FieldRef field="t"/>)";
std::string Constant(const std::string& text, const std::string& type = "") {
  return "<Constant" + (type.empty() ? std::string() : " dataType=\"" + type + "\"") + ">" + text +
         "</Constant>";
}

const char kNorm[] = R"(<LinearNorm orig="0" norm="0"/><LinearNorm orig="10" norm="1"/><LinearNorm orig="20" norm="3"/>)";
const char kBins[] = R"(
  <DiscretizeBin binValue="neg"><Interval closure="openOpen" rightMargin="0"/></DiscretizeBin>
  <DiscretizeBin binValue="low"><Interval closure="closedClosed" leftMargin="0" rightMargin="10"/></DiscretizeBin>
  <DiscretizeBin binValue="high"><Interval closure="openOpen" leftMargin="20"/></DiscretizeBin>)";
const char kTable[] = R"(<FieldColumnPair field="s" column="in"/><FieldColumnPair field="x" column="n"/>
  <InlineTable><row><in>red</in><n>1</n><out>warm</out></row><row><in>blue</in><n>1</n><out>cold</out></row>
  <row><in>blue</in><n>2.0</n><out>deep</out></row><row><in>grey</in><out>lost</out></row></InlineTable>)";

std::vector<Case> ExpressionCases() {
  const Row none;
  return {
      // Constant
      {"double", Constant("3"), none, "3"},
      {"string", Constant("abc", "string"), none, "\"abc\""},
      {"double", R"(<Constant missing="true">1</Constant>)", none, "missing"},
      {"boolean", Constant("TRUE", "boolean"), none, "1"},
      // FieldRef
      {"double", kX, Row{2}, "2"},
      {"double", kX, none, "missing"},
      {"double", R"(<FieldRef field="x" mapMissingTo="7"/>)", none, "7"},
      {"string", kS, Row{kNone, kNone, "red"}, "\"red\""},
      {"double", kS, Row{kNone, kNone, "red"}, "missing"},
      {"string", kX, Row{0.5}, "\"0.5\""},
      {"integer", kX, Row{2.7}, "2"},
      // NormContinuous
      {"double", std::string(R"(<NormContinuous field="x">)") + kNorm + "</NormContinuous>", Row{5}, "0.5"},
      {"double", std::string(R"(<NormContinuous field="x">)") + kNorm + "</NormContinuous>", Row{15}, "2"},
      {"double", std::string(R"(<NormContinuous field="x">)") + kNorm + "</NormContinuous>", Row{30}, "5"},
      {"double", std::string(R"(<NormContinuous field="x">)") + kNorm + "</NormContinuous>", Row{-10}, "-1"},
      {"double", std::string(R"(<NormContinuous field="x" outliers="asMissingValues">)") + kNorm + "</NormContinuous>", Row{30}, "missing"},
      {"double", std::string(R"(<NormContinuous field="x" outliers="asExtremeValues">)") + kNorm + "</NormContinuous>", Row{-3}, "0"},
      {"double", std::string(R"(<NormContinuous field="x" outliers="asExtremeValues">)") + kNorm + "</NormContinuous>", Row{99}, "3"},
      {"double", std::string(R"(<NormContinuous field="x">)") + kNorm + "</NormContinuous>", none, "missing"},
      {"double", std::string(R"(<NormContinuous field="x" mapMissingTo="-1">)") + kNorm + "</NormContinuous>", none, "-1"},
      // NormDiscrete
      {"double", R"(<NormDiscrete field="s" value="red"/>)", Row{kNone, kNone, "red"}, "1"},
      {"double", R"(<NormDiscrete field="s" value="red"/>)", Row{kNone, kNone, "blue"}, "0"},
      {"double", R"(<NormDiscrete field="x" value="2"/>)", Row{2.0}, "1"},
      {"double", R"(<NormDiscrete field="s" value="red"/>)", none, "missing"},
      {"double", R"(<NormDiscrete field="s" value="red" mapMissingTo="0.5"/>)", none, "0.5"},
      // Discretize
      {"string", std::string(R"(<Discretize field="x">)") + kBins + "</Discretize>", Row{-1}, "\"neg\""},
      {"string", std::string(R"(<Discretize field="x">)") + kBins + "</Discretize>", Row{0}, "\"low\""},
      {"string", std::string(R"(<Discretize field="x">)") + kBins + "</Discretize>", Row{10}, "\"low\""},
      {"string", std::string(R"(<Discretize field="x">)") + kBins + "</Discretize>", Row{15}, "missing"},
      {"string", std::string(R"(<Discretize field="x" defaultValue="mid">)") + kBins + "</Discretize>", Row{15}, "\"mid\""},
      {"string", std::string(R"(<Discretize field="x">)") + kBins + "</Discretize>", Row{25}, "\"high\""},
      {"string", std::string(R"(<Discretize field="x" defaultValue="mid">)") + kBins + "</Discretize>", none, "missing"},
      {"string", std::string(R"(<Discretize field="x" mapMissingTo="unknown" defaultValue="mid">)") + kBins + "</Discretize>", none, "\"unknown\""},
      // MapValues
      {"string", std::string(R"(<MapValues outputColumn="out">)") + kTable + "</MapValues>", Row{1, kNone, "red"}, "\"warm\""},
      {"string", std::string(R"(<MapValues outputColumn="out">)") + kTable + "</MapValues>", Row{2, kNone, "blue"}, "\"deep\""},
      {"string", std::string(R"(<MapValues outputColumn="out">)") + kTable + "</MapValues>", Row{3, kNone, "blue"}, "missing"},
      {"string", std::string(R"(<MapValues outputColumn="out" defaultValue="other">)") + kTable + "</MapValues>", Row{3, kNone, "blue"}, "\"other\""},
      {"string", std::string(R"(<MapValues outputColumn="out" defaultValue="other">)") + kTable + "</MapValues>", Row{1}, "missing"},
      {"string", std::string(R"(<MapValues outputColumn="out" mapMissingTo="none">)") + kTable + "</MapValues>", Row{1}, "\"none\""},
  };
}

std::vector<Case> FunctionCases() {
  const Row none;
  const Row two{6, 3};
  const Row onlyX{6};
  const std::string xy = kX + kY;
  return {
      {"double", Apply("+", xy), two, "9"},
      {"double", Apply("-", xy), two, "3"},
      {"double", Apply("*", xy), two, "18"},
      {"double", Apply("/", xy), two, "2"},
      {"double", Apply("+", xy), onlyX, "missing"},
      {"double", Apply("+", xy, R"(mapMissingTo="-1")"), onlyX, "-1"},
      {"double", Apply("/", kX + Constant("0")), onlyX, "missing"},
      {"double", Apply("/", kX + Constant("0"), R"(defaultValue="99")"), onlyX, "99"},
      {"double", Apply("/", kX + Constant("0"), R"(defaultValue="99" mapMissingTo="-1")"), none, "-1"},
      // An input under constant operations only: the short form.
      {"double", Apply("+", Apply("*", kX + Constant("2")) + Constant("1")), two, "13"},
      {"double", Apply("/", Apply("-", kX + Constant("2.5")) + Constant("0.5")), two, "7"},
      {"double", Apply("+", Apply("*", kX + Constant("1e308")) + Constant("1")), two, "missing"},
      {"double", Apply("+", Apply("*", kX + Constant("2")) + Constant("1")), none, "missing"},
      {"double", Apply("min", xy + Constant("4")), two, "3"},
      {"double", Apply("max", xy + Constant("4")), two, "6"},
      {"double", Apply("sum", xy + Constant("4")), two, "13"},
      {"double", Apply("avg", xy + Constant("3")), two, "4"},
      {"double", Apply("product", xy + Constant("2")), two, "36"},
      {"double", Apply("sum", xy), onlyX, "missing"},
      {"double", Apply("log10", Constant("1000")), none, "3"},
      {"double", Apply("log10", kX), Row{-1}, "missing"},
      {"double", Apply("log10", kX, R"(defaultValue="0")"), Row{-1}, "0"},
      {"double", Apply("ln", Constant("1")), none, "0"},
      {"double", Apply("ln", kX, R"(defaultValue="-9")"), Row{0}, "-9"},
      {"double", Apply("sqrt", kX), Row{16}, "4"},
      {"double", Apply("sqrt", kX, R"(defaultValue="0")"), Row{-4}, "0"},
      {"double", Apply("abs", kX), Row{-2.5}, "2.5"},
      {"double", Apply("abs", kX, R"(mapMissingTo="0")"), none, "0"},
      {"double", Apply("exp", Constant("0")), none, "1"},
      {"double", Apply("exp", kX, R"(defaultValue="-1")"), Row{1e6}, "-1"},
      {"double", Apply("pow", xy), Row{2, 10}, "1024"},
      {"double", Apply("threshold", xy), two, "1"},
      {"double", Apply("threshold", xy), Row{3, 3}, "0"},
      {"double", Apply("floor", kX), Row{-1.5}, "-2"},
      {"double", Apply("ceil", kX), Row{-1.5}, "-1"},
      {"double", Apply("round", kX), Row{2.5}, "3"},
      {"double", Apply("round", kX), none, "missing"},
      {"boolean", Apply("equal", kX + Constant("6")), two, "1"},
      {"boolean", Apply("equal", kS + Constant("red")), Row{kNone, kNone, "red"}, "1"},
      {"boolean", Apply("equal", kS + kT), Row{kNone, kNone, "a", "b"}, "0"},
      {"boolean", Apply("equal", kS + kT), Row{kNone, kNone, "a"}, "missing"},
      {"boolean", Apply("equal", kS + kT, R"(mapMissingTo="false")"), Row{kNone, kNone, "a"}, "0"},
      {"boolean", Apply("notEqual", xy), two, "1"},
      {"boolean", Apply("lessThan", xy), two, "0"},
      {"boolean", Apply("lessOrEqual", kY + kX), two, "1"},
      {"boolean", Apply("greaterThan", xy), two, "1"},
      {"boolean", Apply("greaterOrEqual", kX + Constant("7")), two, "0"},
      {"boolean", Apply("lessThan", kS + kT), Row{kNone, kNone, "apple", "banana"}, "1"},
      {"boolean", Apply("and", Apply("greaterThan", xy) + Apply("lessThan", xy)), two, "0"},
      {"boolean", Apply("or", Apply("greaterThan", xy) + Apply("lessThan", xy)), two, "1"},
      {"boolean", Apply("and", Apply("greaterThan", xy) + Apply("lessThan", xy)), onlyX, "missing"},
      {"boolean", Apply("not", Apply("greaterThan", xy)), two, "0"},
      {"boolean", Apply("isIn", kS + Constant("a") + Constant("b")), Row{kNone, kNone, "b"}, "1"},
      {"boolean", Apply("isIn", kX + Constant("1") + Constant("6")), two, "1"},
      {"boolean", Apply("isNotIn", kS + Constant("a") + Constant("b")), Row{kNone, kNone, "c"}, "1"},
      {"boolean", Apply("isNotIn", kS + Constant("a")), none, "missing"},
      {"double", Apply("if", Apply("greaterThan", xy) + kX + kY), two, "6"},
      {"double", Apply("if", Apply("lessThan", xy) + kX + kY), two, "3"},
      {"double", Apply("if", Apply("lessThan", xy) + kX), two, "missing"},
      {"double", Apply("if", Apply("greaterThan", kX + Constant("0")) + kX + kY), onlyX, "6"},
      {"double", Apply("if", Apply("greaterThan", xy) + kX + kY), Row{kNone, 3}, "missing"},
      {"double", Apply("if", Apply("greaterThan", xy) + kX + kY, R"(mapMissingTo="0")"), Row{kNone, 3}, "0"},
      {"boolean", Apply("isMissing", kX), none, "1"},
      {"boolean", Apply("isMissing", kX), onlyX, "0"},
      {"boolean", Apply("isNotMissing", kS), Row{kNone, kNone, ""}, "1"},
      {"string", Apply("uppercase", kS), Row{kNone, kNone, "MiXed é"}, "\"MIXED é\""},
      {"string", Apply("lowercase", kS), Row{kNone, kNone, "MiXed"}, "\"mixed\""},
      {"string", Apply("lowercase", kS, R"(mapMissingTo="none")"), none, "\"none\""},
      {"string", Apply("substring", kS + Constant("2") + Constant("3")), Row{kNone, kNone, "abcdef"}, "\"bcd\""},
      {"string", Apply("substring", kS + Constant("2") + Constant("9")), Row{kNone, kNone, "aéc"}, "\"éc\""},
      {"string", Apply("substring", kS + Constant("0") + Constant("1"), R"(defaultValue="bad")"), Row{kNone, kNone, "abc"}, "\"bad\""},
      {"string", Apply("trimBlanks", kS), Row{kNone, kNone, "  a b \t"}, "\"a b\""},
      {"string", Apply("concat", kS + Constant("-") + kX), Row{2.5, kNone, "id"}, "\"id-2.5\""},
      {"string", Apply("concat", kS + kX), Row{kNone, kNone, "id"}, "missing"},
      {"string", Apply("replace", kS + Constant("[0-9]+") + Constant("#")), Row{kNone, kNone, "a12b3"}, "\"a#b#\""},
      {"boolean", Apply("matches", kS + Constant("^[A-Z]{2}[0-9]+$")), Row{kNone, kNone, "AB12"}, "1"},
      {"boolean", Apply("matches", kS + Constant("^[A-Z]{2}[0-9]+$")), Row{kNone, kNone, "ab12"}, "0"},
      {"boolean", Apply("matches", kS + Constant("b")), none, "missing"},
      {"string", Apply("formatNumber", kX + Constant("%05.1f")), Row{3.14159}, "\"003.1\""},
      {"string", Apply("formatNumber", kX + Constant("%d items")), Row{7.9}, "\"7 items\""},
      {"string", Apply("formatNumber", kX + Constant("%d"), R"(mapMissingTo="n/a")"), none, "\"n/a\""},
  };
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    auto doc = TranslateDocument(Document(OneField(c.dataType, c.expression)), "d.pmml");
    ASSERT_NE(doc->model, nullptr) << c.expression;
    std::string prediction;
    EXPECT_EQ(ValueOf(*doc, c.row, "d", &prediction), c.expected) << c.expression;
    // The rule reads the derived field like any other.
    EXPECT_EQ(prediction, std::string(c.expected) == "missing" ? "no" : "yes") << c.expression;
  }
}

TEST(DerivedFields, EveryExpressionKind) { RunCases(ExpressionCases()); }

TEST(DerivedFields, EveryBuiltInFunction) { RunCases(FunctionCases()); }

// Whole documents: a field, the value it takes and the prediction it leads
// to for each row (null: not looked at).
struct Probe {
  Row row;
  const char* field;
  const char* value;
  const char* prediction;
};

struct DocumentCase {
  const char* name;
  std::string pmml;
  const char* semantics;
  std::vector<Probe> probes;
};

std::vector<DocumentCase> DocumentCases(const std::string& longText) {
  const char* kDouble = R"(optype="continuous" dataType="double")";
  const auto field = [](const std::string& name, const std::string& type, const std::string& expression) {
    return "<DerivedField name=\"" + name + "\" " + type + ">" + expression + "</DerivedField>";
  };
  const auto rules = [](const std::string& schema, const std::string& body) {
    return std::string(R"(<RuleSetModel functionName="classification">)") + schema +
           R"(<RuleSet defaultScore="none"><RuleSelectionMethod criterion="firstHit"/>)" + body +
           "</RuleSet></RuleSetModel></PMML>";
  };
  const std::string head = std::string(R"(<?xml version="1.0"?><PMML version="4.4">)") + kDataFields;
  return {
      // Declared last-needed first: the order of evaluation comes from the references.
      {"chain", Document("<TransformationDictionary>" + field("d3", kDouble, Apply("*", R"(<FieldRef field="d2"/>)" + Constant("10"))) +
                             field("d2", kDouble, Apply("+", R"(<FieldRef field="d1"/>)" + kY)) +
                             field("d1", kDouble, Apply("-", kX + Constant("1"))) + "</TransformationDictionary>", "d3"),
       "native", {{Row{5, 2}, "d3", "60", "yes"}, {Row{5, 2}, "d1", "4", "yes"}, {Row{5}, "d3", "missing", "no"}}},
      // scaled(4, twice(3)) = 4 * (3 * 2 + 1) + 1.
      {"functions", Document(R"(<TransformationDictionary>
      <DefineFunction name="scaled" optype="continuous" dataType="double">
        <ParameterField name="a"/><ParameterField name="b"/>
        <Apply function="+"><Apply function="*"><FieldRef field="a"/><FieldRef field="b"/></Apply><Constant>1</Constant></Apply>
      </DefineFunction>
      <DefineFunction name="twice" optype="continuous" dataType="double">
        <ParameterField name="v"/><Apply function="scaled"><FieldRef field="v"/><Constant>2</Constant></Apply>
      </DefineFunction>)" + field("d", kDouble, R"(<Apply function="scaled" mapMissingTo="-1"><FieldRef field="x"/><Apply function="twice"><FieldRef field="y"/></Apply></Apply>)") +
                                 "</TransformationDictionary>"),
       "native", {{Row{4, 3}, "d", "29", "yes"}, {Row{4}, "d", "-1", "yes"}}},
      {"local string field", head + rules(kMiningSchema + std::string(R"(<LocalTransformations>)") +
           field("size", R"(optype="categorical" dataType="string")", R"(<Discretize field="x">
             <DiscretizeBin binValue="small"><Interval closure="openOpen" rightMargin="10"/></DiscretizeBin>
             <DiscretizeBin binValue="big"><Interval closure="closedOpen" leftMargin="10"/></DiscretizeBin></Discretize>)") +
           "</LocalTransformations>", R"(
           <SimpleRule id="R1" score="large"><SimplePredicate field="size" operator="equal" value="big"/></SimpleRule>
           <SimpleRule id="R2" score="little"><SimpleSetPredicate field="size" booleanOperator="isIn"><Array type="string">small</Array></SimpleSetPredicate></SimpleRule>)"),
       "native", {{Row{3}, "size", "\"small\"", "little"}, {Row{10}, "size", "\"big\"", "large"}, {Row{}, "size", "missing", "none"}}},
      {"CompoundRule guard", head + "<TransformationDictionary>" +
           field("ratio", kDouble, Apply("/", kX + kY, R"(defaultValue="0")")) + "</TransformationDictionary>" +
           rules(kMiningSchema, R"(
           <CompoundRule><SimplePredicate field="ratio" operator="greaterThan" value="2"/>
             <SimpleRule id="R1" score="steep"><SimplePredicate field="s" operator="equal" value="a"/></SimpleRule>
             <SimpleRule id="R2" score="high"><True/></SimpleRule>
           </CompoundRule>
           <SimpleRule id="R3" score="flat"><SimplePredicate field="ratio" operator="equal" value="0"/></SimpleRule>)"),
       "native", {{Row{9, 3, "a"}, "ratio", "3", "steep"}, {Row{9, 3, "b"}, "ratio", "3", "high"},
                  {Row{4, 2, "a"}, "ratio", "2", "none"}, {Row{4, 0, "a"}, "ratio", "0", "flat"},
                  {Row{kNone, 2, "a"}, "ratio", "missing", "none"}}},
      {"unused fields", Document("<TransformationDictionary>" + field("d", kDouble, kX) + field("idle", kDouble, kY) +
                                 "</TransformationDictionary>"),
       "native", {{Row{1, 2}, "d", "1", "yes"}, {Row{1, 2}, "idle", "missing", "yes"}}},
      // A text above the bound is not searched: invalid, and the defaultValue takes its place.
      {"regex bound", Document(OneField("boolean", Apply("matches", kS + Constant("b"), R"(defaultValue="true")"))),
       "native", {{Row{kNone, kNone, longText.c_str()}, "d", "1", "yes"}, {Row{kNone, kNone, "aaa"}, "d", "0", "yes"}}},
      // Under pmml a derived field named in the MiningSchema takes its treatments on its own value,
      // not on the record's cell that shares its number; x, which it does not read, keeps its own.
      {"treated derived field", head + "<TransformationDictionary>" + field("d", kDouble, Apply("*", kY + Constant("2"))) +
           "</TransformationDictionary>" + rules(R"(<MiningSchema>
             <MiningField name="x" invalidValueTreatment="asMissing"/><MiningField name="y"/>
             <MiningField name="d" outliers="asExtremeValues" lowValue="0" highValue="50" missingValueReplacement="100"/>
             <MiningField name="out" usageType="predicted"/></MiningSchema>)", R"(
             <SimpleRule id="R1" score="capped"><SimplePredicate field="d" operator="equal" value="50"/></SimpleRule>
             <SimpleRule id="R2" score="replaced"><SimplePredicate field="d" operator="greaterThan" value="60"/></SimpleRule>
             <SimpleRule id="R3" score="nox"><SimplePredicate field="x" operator="isMissing"/></SimpleRule>)"),
       "pmml", {{Row{5, 10}, "d", "20", "none"}, {Row{5, 30}, "d", "60", "capped"},
                {Row{kNone, 30}, "d", "60", "capped"}, {Row{kNone, 10, nullptr, nullptr, "abc"}, "d", "20", "nox"},
                {Row{5}, "d", "missing", "replaced"}, {Row{kNone, kNone, nullptr, nullptr, "abc"}, "d", "missing", "replaced"}}},
  };
}

TEST(DerivedFields, DocumentsScoreTheirRows) {
  const std::string longText(DerivedFieldProgram::kMaxRegexInput + 1, 'a');
  for (const DocumentCase& c : DocumentCases(longText)) {
    auto doc = TranslateDocument(c.pmml, "doc.pmml", c.semantics);
    ASSERT_NE(doc->model, nullptr) << c.name;
    for (const Probe& p : c.probes) {
      std::string prediction;
      EXPECT_EQ(ValueOf(*doc, p.row, p.field, &prediction), p.value) << c.name << ": " << p.field;
      EXPECT_EQ(prediction, p.prediction) << c.name << ": " << p.field;
    }
    if (std::string(c.name) != "chain") continue;
    // The dump lists the fields in the order they run.
    std::ostringstream dump;
    doc->model->Display(dump);
    EXPECT_NE(dump.str().find("derived field d1 (double): -(x, 1)\nderived field d2 (double): +(d1, y)\n"
                              "derived field d3 (double): *(d2, 10)\n"),
              std::string::npos)
        << dump.str();
  }
}

TEST(DerivedFields, DeepExpressionsAreRefusedBeforeRecursing) {
  std::string expression = kX;
  for (int i = 0; i < 600; ++i) expression = Apply("abs", expression);
  const TranslationFailure failure =
      TranslationFailureOf(Document(OneField("double", expression)), "deep.pmml");
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
}

}  // namespace
}  // namespace KtZembra_940
