// The names and values of output fields a result carries. The features
// refused at load time are rows of tests/data/scenarios/output_fields.txt;
// every feature's values, transformedValue expressions among them, and
// `check` of a ModelVerification table are golden runs
// (tests/data/tool/outputs*.pmml).
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ScoreCaseRecord.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "support/ToolRun.h"
#include "tests/support/AllocationCount.h"
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

  // The rules' shares behind a probability are worked out once: a record
  // scored again allocates nothing.
  auto probability = K::testing_support::TranslateDocument(
      Model(R"(<Output><OutputField name="p" feature="probability" value="high"/></Output>)"), "p.pmml");
  ASSERT_FALSE(probability->model->GetScore(&record, result, false).IsError());
  EXPECT_EQ(K::testing_support::AllocationsIn([&] { probability->model->GetScore(&record, result, false); }), 0);
  delete result;
}

}  // namespace
