// Reading the misclassification cost table and the matrix the model builds
// from it.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TranslatedDocument.h"
#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/ScoreModel.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

class RuleSetTranslatorTestPeer {
 public:
  static void SetTargetVariable(RuleSetTranslator& translator, const ScoreDictVar* var) {
    translator.targetVariable = var;
  }
  static const xercesc::DOMNodeList* Find(const RuleSetTranslator& translator,
                                          const xercesc::DOMElement* root) {
    return translator.FindMisclassificationCosts(root);
  }
  static void Parse(RuleSetTranslator& translator, const xercesc::DOMNodeList* costs,
                    RuleSetTranslator::CostTable& table) {
    translator.ParseMisclassificationCosts(costs, table);
  }
};

namespace {

using CostTable = RuleSetTranslator::CostTable;
using Matrix = std::vector<std::vector<double>>;

// One cost element; an empty `type` leaves the type attribute out.
std::string Cost(const std::string& a, const std::string& b, const std::string& cost,
                 const std::string& type = "A", const std::string& tag = "MisclassificationCost") {
  auto category = [&](const std::string& text) {
    std::string attr = type.empty() ? "" : " type=\"" + type + "\"";
    return "<Category" + attr + ">" + text + "</Category>";
  };
  return "<" + tag + ">" + category(a) + category(b) + "<Cost>" + cost + "</Cost></" + tag + ">";
}

std::string Extension(const std::string& content) {
  return "<Extension name=\"costs\">" + content + "</Extension>";
}

// A document whose target risk is a string field with categories a and b,
// or a numeric one with categories 1 and 2. `extensions` go inside the
// RuleSetModel element.
std::string Document(const std::string& extensions, bool numericTarget = false,
                     const std::string& algorithm = "RuleSet") {
  const std::string targetField =
      numericTarget ? R"(<DataField name="risk" optype="categorical" dataType="integer">
                           <Value value="1"/><Value value="2"/></DataField>)"
                    : R"(<DataField name="risk" optype="categorical" dataType="string">
                           <Value value="a"/><Value value="b"/></DataField>)";
  const std::string defaultScore = numericTarget ? "1" : "a";
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4">
  <DataDictionary>)" +
         targetField + R"(
    <DataField name="age" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification" algorithmName=")" +
         algorithm + R"(">
    <MiningSchema>
      <MiningField name="risk" usageType="predicted"/><MiningField name="age"/>
    </MiningSchema>)" +
         extensions + R"(
    <RuleSet defaultScore=")" +
         defaultScore + R"(" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedSum"/>
      <SimpleRule id="R1" score=")" +
         defaultScore + R"(" weight="1">
        <SimplePredicate field="age" operator="greaterThan" value="3"/>
        <Extension name="label" value="first"/>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>)";
}

using Translated = testing_support::TranslatedDocument;
using Failure = testing_support::TranslationFailure;

std::unique_ptr<Translated> Translate(const std::string& pmml) {
  return testing_support::TranslateDocument(pmml, "costs.pmml");
}

Failure FailureOf(const std::string& pmml) {
  return testing_support::TranslationFailureOf(pmml, "costs.pmml");
}

struct TableCase {
  const char* name;
  std::string extensions;
  CostTable table;
  Matrix matrix;
};

TEST(MisclassificationCost, TableAndMatrixOfAStringTarget) {
  const TableCase cases[] = {
      {"one pair: row is the chosen category", Extension(Cost("a", "b", "5.0")),
       {{"a", {{"b", 5.0}}}}, {{0.0, 5.0}, {1.0, 0.0}}},
      {"a pair given twice keeps the first cost",
       Extension(Cost("a", "b", "5") + Cost("a", "b", "7")), {{"a", {{"b", 5.0}}}},
       {{0.0, 5.0}, {1.0, 0.0}}},
      {"the diagonal stays zero", Extension(Cost("b", "b", "9") + Cost("b", "a", "2")),
       {{"b", {{"b", 9.0}, {"a", 2.0}}}}, {{0.0, 1.0}, {2.0, 0.0}}},
      {"a row that names no category is dropped",
       Extension(Cost("zzz", "a", "4") + Cost("b", "zzz", "3")), {{"b", {{"zzz", 3.0}}}},
       {{0.0, 1.0}, {1.0, 0.0}}},
      {"the current tag wins over the older one",
       Extension(Cost("a", "b", "9", "A", "MisClassificationCost") + Cost("b", "a", "5")),
       {{"b", {{"a", 5.0}}}}, {{0.0, 1.0}, {5.0, 0.0}}},
      {"the older tag alone is read",
       Extension(Cost("a", "b", "9", "A", "MisClassificationCost")), {{"a", {{"b", 9.0}}}},
       {{0.0, 9.0}, {1.0, 0.0}}},
      {"costs deep inside an Extension are found",
       Extension("<Group><Inner>" + Cost("b", "a", "4") + "</Inner></Group>"),
       {{"b", {{"a", 4.0}}}}, {{0.0, 1.0}, {4.0, 0.0}}},
      {"an Extension nested in another is searched after its parent",
       Extension("<Note/>" + Extension(Cost("a", "b", "6"))), {{"a", {{"b", 6.0}}}},
       {{0.0, 6.0}, {1.0, 0.0}}},
      {"the first Extension holding costs is used",
       Extension("<Note>none here</Note>") + Extension(Cost("a", "b", "3")) +
           Extension(Cost("b", "a", "8")),
       {{"a", {{"b", 3.0}}}}, {{0.0, 3.0}, {1.0, 0.0}}},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Translated> t = Translate(Document(c.extensions));
    ASSERT_NE(t->model, nullptr);
    EXPECT_EQ(t->model->GetMisclassificationCost(), c.table);
    EXPECT_EQ(t->model->GetCostMatrix(), c.matrix);
  }
}

TEST(MisclassificationCost, NumericCategoryTypes) {
  // Row keys must be category texts; the column keys show the conversion.
  const std::string costs = Cost("1.0", "2", "3.5", "D") + Cost("1", "2.50", "1", "D") +
                            Cost("1", "1e6", "1", "D") + Cost("1", "1234567", "1", "D") +
                            Cost("1", "0.0001", "1", "D") + Cost("1", "0.00001", "1", "D") +
                            Cost("+2", "1", "6", "J") + Cost("2", " 7 ", "1", "J");
  std::unique_ptr<Translated> t = Translate(Document(Extension(costs), true));
  ASSERT_NE(t->model, nullptr);
  const CostTable expected = {
      {"1",
       {{"2", 3.5}, {"2.5", 1.0}, {"1e+06", 1.0}, {"1.23457e+06", 1.0}, {"0.0001", 1.0},
        {"1e-05", 1.0}}},
      {"2", {{"1", 6.0}, {"7", 1.0}}},
  };
  EXPECT_EQ(t->model->GetMisclassificationCost(), expected);
  EXPECT_EQ(t->model->GetCostMatrix(), (Matrix{{0.0, 3.5}, {6.0, 0.0}}));
}

// Numeric keys name the category of equal value, however either is
// spelt: across magnitudes, with a fraction, negative, as D or as J.
TEST(MisclassificationCost, NumericKeysCompareByValue) {
  std::string pmml = Document(Extension(
      Cost("1e-1", "1E5", "2", "D") + Cost("1000000", "1000001", "3", "D") +
      Cost("-3.0", "0.10", "4", "D") + Cost("1000001", "1000000", "5", "J") +
      Cost("100000", "-3", "6", "J") + Cost("1e6", "0.1000", "7", "D") +
      Cost("+100000.0", "1.000001e6", "8", "D")), true);
  const std::string field = pmml.substr(pmml.find("<DataField name=\"risk\""));
  pmml.replace(pmml.find("<DataField name=\"risk\""), field.find("</DataField>") + 12,
               R"(<DataField name="risk" optype="categorical" dataType="double">
                    <Value value="0.1"/><Value value="100000"/><Value value="1e6"/>
                    <Value value="1000001"/><Value value="-3"/></DataField>)");
  std::unique_ptr<Translated> t = Translate(pmml);
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->model->GetNumbOfCategories(), 5);
  EXPECT_EQ(t->model->GetCostMatrix(), (Matrix{{0, 2, 1, 1, 1},
                                               {1, 0, 1, 8, 6},
                                               {7, 1, 0, 3, 1},
                                               {1, 1, 5, 0, 1},
                                               {4, 1, 1, 1, 0}}));
}

TEST(MisclassificationCost, NoTableWithoutCostElements) {
  for (const std::string& extensions :
       {std::string(), Extension("<Note>x</Note>"), Extension("")}) {
    std::unique_ptr<Translated> t = Translate(Document(extensions));
    ASSERT_NE(t->model, nullptr);
    EXPECT_TRUE(t->model->GetCostMatrix().empty());
    EXPECT_TRUE(t->model->GetMisclassificationCost().empty());
  }
}

TEST(MisclassificationCost, DecisionListGetsNoMatrix) {
  std::unique_ptr<Translated> t =
      Translate(Document(Extension(Cost("a", "b", "5")), false, "DecisionList"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_TRUE(t->model->GetCostMatrix().empty());
}

struct ErrorCase {
  const char* name;
  std::string extensions;
  bool numericTarget;
  int code;
  std::vector<std::string> args;
};

TEST(MisclassificationCost, Errors) {
  const ErrorCase cases[] = {
      {"text type on a numeric target", Extension(Cost("1", "2", "5", "A")), true,
       ErrorCode::kCostType, {"A", "type", "risk"}},
      {"unknown type", Extension(Cost("a", "b", "5", "X")), false, ErrorCode::kInvalidValue,
       {"X", "type"}},
      {"type in lower case", Extension(Cost("a", "b", "5", "a")), false,
       ErrorCode::kInvalidValue, {"a", "type"}},
      {"no type", Extension(Cost("a", "b", "5", "")), false, ErrorCode::kInvalidValue,
       {"", "type"}},
      {"cost that is no number", Extension(Cost("a", "b", "five")), false,
       ErrorCode::kNotANumber, {"five"}},
      {"integer type with a fraction", Extension(Cost("1", "2.5", "1", "J")), true,
       ErrorCode::kNotAnInteger, {"2.5"}},
      {"missing cost child",
       Extension("<MisclassificationCost><C type=\"A\">a</C><C type=\"A\">b</C>"
                 "</MisclassificationCost>"),
       false, ErrorCode::kBadCostElement, {"MisclassificationCost", "third child element"}},
      {"no children",
       Extension("<MisClassificationCost>a b 5</MisClassificationCost>"), false,
       ErrorCode::kBadCostElement, {"MisClassificationCost", "first child element"}},
      {"category without text",
       Extension("<MisclassificationCost><C type=\"A\"/><C type=\"A\">b</C><V>1</V>"
                 "</MisclassificationCost>"),
       false, ErrorCode::kBadCostElement,
       {"MisclassificationCost", "text of the first child element"}},
      {"cost without text",
       Extension("<MisclassificationCost><C type=\"A\">a</C><C type=\"A\">b</C><V></V>"
                 "</MisclassificationCost>"),
       false, ErrorCode::kBadCostElement,
       {"MisclassificationCost", "text of the third child element"}},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    Failure failure = FailureOf(Document(c.extensions, c.numericTarget));
    EXPECT_EQ(failure.code, c.code);
    EXPECT_EQ(failure.args, c.args);
  }
}

// Without a target variable there are no categories to key rows by: the
// table stays empty and no element is converted.
TEST(MisclassificationCost, NoTargetVariableLeavesTheTableEmpty) {
  XmlPlatform platform;
  const std::string pmml = Document(Extension(Cost("a", "b", "5") + Cost("a", "b", "1", "X")));
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "costs.pmml");
  RuleSetTranslator translator;
  RuleSetTranslatorTestPeer::SetTargetVariable(translator, nullptr);
  const xercesc::DOMNodeList* costs =
      RuleSetTranslatorTestPeer::Find(translator, document->GetDocument()->getDocumentElement());
  ASSERT_NE(costs, nullptr);
  EXPECT_EQ(costs->getLength(), 2u);
  CostTable table;
  RuleSetTranslatorTestPeer::Parse(translator, costs, table);
  EXPECT_TRUE(table.empty());
}

}  // namespace
}  // namespace KtZembra_940
