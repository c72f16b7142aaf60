// Derived fields beyond what a scenario row can write: a text above the
// regular-expression bound, the order in which the dump lists a chain, and
// an expression nested too deep. Every expression kind, built-in function
// and whole document with its values is a row of
// tests/data/scenarios/derived_values.txt; the documents refused at load
// time are rows of derived_fields.txt.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "model/DerivedFieldProgram.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::ScoreWith;
using testing_support::TestRecord;
using testing_support::TranslateDocument;

// A document whose one rule fires when the derived field d is not missing.
std::string Document(const std::string& fields, const std::string& ruleField = "d") {
  return std::string(R"(<?xml version="1.0"?><PMML version="4.4"><DataDictionary>
    <DataField name="x" optype="continuous" dataType="double"/>
    <DataField name="s" optype="categorical" dataType="string"/>
    <DataField name="out" optype="categorical" dataType="string"/></DataDictionary>
    <TransformationDictionary>)") + fields + R"(</TransformationDictionary>
    <RuleSetModel functionName="classification"><MiningSchema><MiningField name="x"/>
    <MiningField name="s"/><MiningField name="out" usageType="predicted"/></MiningSchema>
    <RuleSet defaultScore="no"><RuleSelectionMethod criterion="firstHit"/>
    <SimpleRule id="R1" score="yes"><SimplePredicate field=")" + ruleField +
         R"(" operator="isNotMissing"/></SimpleRule></RuleSet></RuleSetModel></PMML>)";
}

// A text above the bound is not searched: invalid, and the defaultValue
// takes its place; one within the bound is searched.
TEST(DerivedFields, RegexBoundLeavesLongTextsToTheDefault) {
  auto doc = TranslateDocument(
      Document(R"(<DerivedField name="d" optype="categorical" dataType="boolean"><Apply function="matches" defaultValue="true"><FieldRef field="s"/><Constant>b</Constant></Apply></DerivedField>)"),
      "regex.pmml");
  ASSERT_NE(doc->model, nullptr);
  const DerivedFieldProgram* program = doc->model->GetDerivedFieldProgram();
  TestRecord record({"x", "s"});
  ScoreResult* result = nullptr;
  for (const size_t length : {DerivedFieldProgram::kMaxRegexInput + 1, DerivedFieldProgram::kMaxRegexInput}) {
    SCOPED_TRACE(length);
    const std::string text(length, 'a');
    EXPECT_EQ(ScoreWith(*doc->model, record.Clear().Text("s", text).Get(), result).prediction, "yes");
    const DerivedFieldProgram::Value& value = program->GetOutput(program->FieldOf("d"));
    ASSERT_EQ(value.kind, DerivedFieldProgram::kNumber);
    EXPECT_EQ(value.number, length > DerivedFieldProgram::kMaxRegexInput ? 1.0 : 0.0);
  }
  delete result;
}

// Declared last-needed first, the fields are dumped in the order they run.
TEST(DerivedFields, DumpListsAChainInTheOrderItRuns) {
  auto doc = TranslateDocument(Document(R"(
      <DerivedField name="d3" optype="continuous" dataType="double"><Apply function="*"><FieldRef field="d2"/><Constant>10</Constant></Apply></DerivedField>
      <DerivedField name="d2" optype="continuous" dataType="double"><Apply function="+"><FieldRef field="d1"/><FieldRef field="x"/></Apply></DerivedField>
      <DerivedField name="d1" optype="continuous" dataType="double"><Apply function="-"><FieldRef field="x"/><Constant>1</Constant></Apply></DerivedField>)",
                                        "d3"),
                               "chain.pmml");
  ASSERT_NE(doc->model, nullptr);
  std::ostringstream dump;
  doc->model->Display(dump);
  EXPECT_NE(dump.str().find("derived field d1 (double): -(x, 1)\nderived field d2 (double): +(d1, x)\n"
                            "derived field d3 (double): *(d2, 10)\n"),
            std::string::npos)
      << dump.str();
}

TEST(DerivedFields, DeepExpressionsAreRefusedBeforeRecursing) {
  std::string expression = R"(<FieldRef field="x"/>)";
  for (int i = 0; i < 600; ++i) expression = "<Apply function=\"abs\">" + expression + "</Apply>";
  const testing_support::TranslationFailure failure = testing_support::TranslationFailureOf(
      Document(R"(<DerivedField name="d" optype="continuous" dataType="double">)" + expression +
               "</DerivedField>"),
      "deep.pmml");
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
}

}  // namespace
}  // namespace KtZembra_940
