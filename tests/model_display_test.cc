// The text dump of a model and of its rule records, byte for byte.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/DiscreteSplit.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"
#include "host/StringValue.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {
namespace {

template <class T>
std::string Dump(const T& object) {
  std::ostringstream os;
  object.Display(os);
  return os.str();
}

// A full dump of a translated model is a golden file of the tool's show command.
TEST(ModelDisplay, ModelWithoutRuleSetsWritesThreeLines) {
  RuleSetModel model;
  EXPECT_EQ(Dump(model),
            "Start RuleSetModel Display\n"
            "There are total 0 models\n"
            "Model information is: \n");
}

TEST(ModelDisplay, EveryModelInOrderWithDefaults) {
  RuleSetModel model;
  model.SetNumberOfModels(2);
  model.SetAllRuleSelectionMethods({RuleSetModel::weightedSum}, 1);
  model.AddSimpleRule(nullptr, 1);  // skipped
  model.AddSimpleRule(new SimpleRule("B"), 1);
  EXPECT_EQ(Dump(model),
            "Start RuleSetModel Display\n"
            "There are total 2 models\n"
            "Model information is: \n"
            "******   model 1 ****** \n"
            "Rule Selection method used in scoring :firstHit\n"
            "Default Score: \n"
            "Default confidence: 0\n"
            "Total number of Records: -1\n"
            "nbCorrect: -1\n"
            "******   model 2 ****** \n"
            "Rule Selection method used in scoring :weightedSum\n"
            "Default Score: \n"
            "Default confidence: 0\n"
            "Total number of Records: -1\n"
            "nbCorrect: -1\n"
            "Rule ID: B\n"
            "Rule Label: B\n"
            "Target variable name: \n"
            "Score: \n"
            "recoredCount: -1\n"
            "nbCorrect: -1\n"
            "confidence: -1\n"
            "weight: -1\n"
            "target variable name: \n"
            "There are 0 split variables: \n"
            "Score Value distribution:\n"
            "End of SimpleRule\n"
            "\n");
}

TEST(ModelDisplay, UnknownSelectionMethodContinuesTheLine) {
  RuleSetModel model;
  model.SetNumberOfModels(1);
  model.SetDefaultScore("no", 0);
  // 3 is no selection method (the enumeration's range still holds it).
  model.SetRuleSelectionMethodToUse({static_cast<RuleSetModel::RuleSetMethod>(3)});
  const std::string dump = Dump(model);
  EXPECT_NE(dump.find("****** \nRule Selection method used in scoring :Default Score: no\n"),
            std::string::npos)
      << dump;
}

TEST(SimpleRuleDisplay, SplitsAndDistribution) {
  ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  auto* split = new DiscreteSplit(&colour);
  split->PutSplit(new StringValue("red"), 0);
  const std::string splitText = Dump(*split);
  ASSERT_FALSE(splitText.empty());

  SimpleRule rule("");
  rule.SetRuleLabel("first rule");
  rule.SetScoreValue("1");
  rule.SetRecordCount(2.5);
  rule.SetnbCorrect(0.125);
  rule.SetRuleConfidence(1e-7);
  rule.SetRuleWeight(123456789);
  std::vector<ScoreSplitVar*> splits{split, nullptr};
  rule.SetSplitVar(splits);
  rule.AddValuePercent(new NumericValue(1), 0.25);
  rule.AddValuePercent(new StringValue("b"), 0.5);
  EXPECT_EQ(Dump(rule), "Rule ID: \n"
                        "Rule Label: first rule\n"
                        "Target variable name: \n"
                        "Score: 1\n"
                        "recoredCount: 2.5\n"
                        "nbCorrect: 0.125\n"
                        "confidence: 1e-07\n"
                        "weight: 1.23457e+08\n"
                        "target variable name: \n"
                        "There are 2 split variables: \n" +
                            splitText +
                            "Score Value distribution:\n"
                            "1: 0.25\n"
                            "b: 0.5\n"
                            "End of SimpleRule\n"
                            "\n");
}

}  // namespace
}  // namespace KtZembra_940
