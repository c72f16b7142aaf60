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

// A full dump of a translated model is a golden file of the tool's show
// command; here the parts no document reaches: a model left at its defaults,
// a null rule, the weightedSum name and a method the switch does not know.
TEST(ModelDisplay, EveryModelInOrderWithDefaults) {
  RuleSetModel model;
  model.SetNumberOfModels(3);
  model.SetAllRuleSelectionMethods({RuleSetModel::weightedSum}, 1);
  // 3 is no selection method (the enumeration's range still holds it): the
  // next item continues the line.
  model.SetAllRuleSelectionMethods({static_cast<RuleSetModel::RuleSetMethod>(3)}, 2);
  model.SetDefaultScore("no", 2);
  model.AddSimpleRule(nullptr, 1);  // skipped
  const std::string defaults =
      "Default confidence: 0\n"
      "Total number of Records: -1\n"
      "nbCorrect: -1\n";
  EXPECT_EQ(Dump(model),
            "Start RuleSetModel Display\n"
            "There are total 3 models\n"
            "Model information is: \n"
            "******   model 1 ****** \n"
            "Rule Selection method used in scoring :firstHit\n"
            "Default Score: \n" + defaults +
            "******   model 2 ****** \n"
            "Rule Selection method used in scoring :weightedSum\n"
            "Default Score: \n" + defaults +
            "******   model 3 ****** \n"
            "Rule Selection method used in scoring :Default Score: no\n" + defaults);
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
