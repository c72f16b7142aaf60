// Output fields as the model computes them: the features it refuses at load
// time, and the names and values a result carries. Every feature's values,
// transformedValue expressions among them, and `check` of a
// ModelVerification table are golden runs (tests/data/tool/outputs*.pmml).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/ScoreCaseRecord.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "support/ToolRun.h"
#include "support/TranslatedDocument.h"

namespace {

namespace K = KtZembra_940;

// tests/data/tool/outputs.pmml (first hit over risk {high, low}, every
// feature in its Output) without its verification records; its Output
// replaced by `output` unless that is null.
std::string Model(const char* output = nullptr) {
  std::string text = K::testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/tool/outputs.pmml");
  const auto cut = [&text](const std::string& from, const std::string& to, const std::string& with) {
    const size_t begin = text.find(from);
    const size_t end = text.find(to, begin);
    EXPECT_NE(end, std::string::npos) << to;
    text.replace(begin, end + to.size() - begin, with);
  };
  cut("<ModelVerification", "</ModelVerification>", "");
  if (output != nullptr) cut("<Output>", "</Output>", output);
  return text;
}

struct Refusal {
  const char* output;
  int code;
  std::vector<std::string> args;
};

TEST(OutputFieldsTranslation, RefusesWhatItCannotCompute) {
  const Refusal cases[] = {
      {R"(<OutputField name="t" feature="transformedValue"><Apply function="vendorScore"><FieldRef field="age"/></Apply></OutputField>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its expression calls the unknown function \"vendorScore\""}},
      {R"(<OutputField name="t" feature="transformedValue"><Apply function="+"><FieldRef field="age"/></Apply></OutputField>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its expression: Apply calls + with 1 argument"}},
      {R"(<OutputField name="t" feature="transformedValue"><FieldRef field="later"/></OutputField><OutputField name="later"/>)",
       K::ErrorCode::kUnknownField,
       {"later", "FieldRef"}},
      {R"(<OutputField name="t" feature="transformedValue"/>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its transformedValue has no expression"}},
      {R"(<OutputField name="t" feature="transformedValue" dataType="decimal"><Constant>1</Constant></OutputField>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its dataType \"decimal\" is not known"}},
      {R"(<OutputField name="a" feature="ruleValue" ruleFeature="antecedent"/>)",
       K::ErrorCode::kOutputFeature,
       {"a", "ruleValue/antecedent"}},
      {R"(<OutputField name="x" feature="residual"/>)", K::ErrorCode::kOutputFeature, {"x", "residual"}},
      {R"(<OutputField name="p"/><OutputField name="p" feature="probability"/>)",
       K::ErrorCode::kBadOutputField,
       {"p", "it is declared more than once"}},
      {R"(<OutputField name="p" targetField="age"/>)",
       K::ErrorCode::kBadOutputField,
       {"p", "its targetField \"age\" is not the model's target"}},
      {R"(<OutputField feature="confidence"/>)", K::ErrorCode::kMissingAttribute, {"OutputField", "name"}},
  };
  for (const Refusal& c : cases) {
    const auto failure = K::testing_support::TranslationFailureOf(
        Model((std::string("<Output>") + c.output + "</Output>").c_str()), "output.pmml");
    EXPECT_EQ(failure.code, c.code) << c.output;
    EXPECT_EQ(failure.args, c.args) << c.output;
  }
  // The model's own target named is accepted.
  EXPECT_EQ(K::testing_support::TranslationFailureOf(
                Model(R"(<Output><OutputField name="p" targetField="risk"/></Output>)"), "output.pmml")
                .code,
            0);
}

TEST(OutputFieldsTranslation, ResultCarriesNamesAndDropsThemForAModelWithout) {
  auto with = K::testing_support::TranslateDocument(Model(), "with.pmml");
  auto without = K::testing_support::TranslateDocument(Model(""), "without.pmml");
  K::ScoreCaseRecord record;
  record.SetLayout({"age", "job"});
  record.SetNumber(0, 70);
  record.SetText(1, "a");
  K::ScoreResult* result = nullptr;
  ASSERT_FALSE(with->model->GetScore(&record, result, false).IsError());
  auto* rules = static_cast<K::RuleSetResult*>(result);
  const std::vector<std::string> names{"pred", "shown", "conf",   "p_high", "p_low", "rule",   "entity",
                                       "note", "conf_low", "pct", "tag",     "scaled", "band", "letter", "twice"};
  EXPECT_EQ(rules->GetOutputNames(), names);
  ASSERT_EQ(rules->GetOutputValues().size(), names.size());
  EXPECT_EQ(rules->GetOutputValues()[3].kind, K::RuleSetResult::OutputValue::kNumber);
  EXPECT_DOUBLE_EQ(rules->GetOutputValues()[3].number, 0.8);
  EXPECT_EQ(rules->GetOutputValues()[7].kind, K::RuleSetResult::OutputValue::kMissing);

  // The names outlive the model that wrote them.
  with.reset();
  EXPECT_EQ(rules->GetOutputNames(), names);

  ASSERT_FALSE(without->model->GetScore(&record, result, false).IsError());
  EXPECT_TRUE(static_cast<K::RuleSetResult*>(result)->GetOutputNames().empty());
  EXPECT_TRUE(static_cast<K::RuleSetResult*>(result)->GetOutputValues().empty());
  delete result;
}

}  // namespace
