// Derived fields beyond what a scenario row can write: a text above the
// regular-expression bound and an expression nested too deep (the dump of a
// chain, in the order it runs, is the golden run show_chain). Every expression kind, built-in function
// and whole document with its values is a row of
// tests/data/scenarios/derived_values.txt; the documents refused at load
// time are rows of derived_fields.txt.
#include <string>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "model/DerivedFieldProgram.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::ScoreWith;
using testing_support::TestRecord;
using testing_support::TranslateDocument;

// tests/data/models/derived_d.pmml with `fields` as its derived fields.
std::string Document(const std::string& fields) {
  std::string text = testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/derived_d.pmml");
  return text.replace(text.find("FIELDS"), 6, fields);
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

// Fields whose every step is a number (numeric inputs and constants,
// arithmetic, comparisons, and/or/not, NormContinuous) run as number code;
// a text anywhere, or a function outside those, keeps the general way.
TEST(DerivedFields, NumberExpressionsRunAsNumberCode) {
  const struct {
    const char* type;
    const char* expression;
    bool numeric;
  } cases[] = {
      {"double", R"(<FieldRef field="x"/>)", true},
      {"double", R"(<Apply function="*"><FieldRef field="x"/><Constant>10</Constant></Apply>)", true},
      {"boolean", R"(<Apply function="and"><Apply function="lessThan"><FieldRef field="x"/><Constant>1</Constant></Apply><Apply function="not"><FieldRef field="x"/></Apply></Apply>)", true},
      {"double", R"(<NormContinuous field="x"><LinearNorm orig="0" norm="0"/><LinearNorm orig="10" norm="1"/></NormContinuous>)", true},
      {"double", R"(<Apply function="+"><NormContinuous field="x"><LinearNorm orig="0" norm="0"/><LinearNorm orig="10" norm="1"/></NormContinuous><Constant>1</Constant></Apply>)", true},
      {"double", R"(<Apply function="abs"><FieldRef field="x"/></Apply>)", true},
      {"double", R"(<Apply function="if"><FieldRef field="x"/><Constant>1</Constant><Constant>2</Constant></Apply>)", false},
      {"double", R"(<FieldRef field="s"/>)", false},
      {"string", R"(<FieldRef field="x"/>)", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expression);
    const std::string type = c.type;
    const std::string optype = type == "double" ? "continuous" : "categorical";
    auto doc = TranslateDocument(Document(R"(<DerivedField name="d" optype=")" + optype + R"(" dataType=")" + type +
                                          R"(">)" + c.expression + "</DerivedField>"),
                                 "numeric.pmml");
    ASSERT_NE(doc->model, nullptr);
    const DerivedFieldProgram* program = doc->model->GetDerivedFieldProgram();
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(program->IsNumericField(program->FieldOf("d")), c.numeric);
  }
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
