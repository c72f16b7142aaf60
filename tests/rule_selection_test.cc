// Choosing one rule set's category and confidence: first hit, weighted sum,
// weighted maximum, the defaults, and the misclassification-cost decision.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ScoreDictVar.h"
#include "host/StringValue.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"

namespace KtZembra_940 {
namespace {

using testing_support::ModelBuilder;
using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;

// One rule of a test rule set: it fires when `fires` is set (x >= 0 against
// the record's x = 1) and predicts `score` with its weight and confidence.
struct RuleSpec {
  const char* id;
  const char* score;
  double weight;
  double confidence;
  bool fires;
};

struct Expect {
  std::string prediction;
  double confidence;
  std::vector<std::string> fired;
};

// Categories A (index 0), B (1), C (2); default score C with 0.05.
Scored ScoreRules(RuleSetModel::RuleSetMethod method, const std::vector<RuleSpec>& rules,
                  const std::map<std::string, std::map<std::string, double>>* costs = nullptr,
                  bool referenceWalk = true) {
  ModelBuilder b;
  b.Numeric("x").TextTarget("y", {"A", "B", "C"});
  b.Start(1);
  b.Settings(0, method, "C", 0.05);
  for (const RuleSpec& r : rules) {
    ScorePredicate* p = b.Simple("x", r.fires ? SimplePredicate::kGreaterOrEqual
                                              : SimplePredicate::kLessThan, 0.0);
    EXPECT_TRUE(b.Rule(0, r.id, r.score, r.weight, r.confidence, p));
  }
  if (costs != nullptr) b.Costs(*costs);
  b.Model().SetUseReferenceWalk(referenceWalk);
  TestRecord record({"x"});
  ScoreResult* result = nullptr;
  Scored s = ScoreWith(b.Model(), record.Number("x", 1).Get(), result);
  delete result;
  return s;
}

void Check(const Scored& s, const Expect& e) {
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.prediction, e.prediction);
  EXPECT_DOUBLE_EQ(s.confidence, e.confidence);
  EXPECT_EQ(s.fired, e.fired);
}

TEST(FirstHit, TakesTheFirstFiringRuleOnly) {
  Check(ScoreRules(RuleSetModel::firstHit, {{"r1", "A", 1, 0.9, false},
                                            {"r2", "B", 1, 0.6, true},
                                            {"r3", "A", 5, 0.8, true}}),
        {"B", 0.6, {"r2"}});
}

TEST(FirstHit, NoRuleFiresGivesTheDefault) {
  Check(ScoreRules(RuleSetModel::firstHit, {{"r1", "A", 1, 0.9, false}}), {"C", 0.05, {}});
}

TEST(WeightedMax, Cases) {
  struct Case {
    const char* name;
    std::vector<RuleSpec> rules;
    Expect expect;
  } cases[] = {
      {"equal weight keeps the first",
       {{"r1", "A", 0.3, 0.1, true}, {"r2", "B", 0.7, 0.2, true}, {"r3", "C", 0.7, 0.3, true}},
       {"B", 0.2, {"r1", "r2", "r3"}}},
      {"a single negative weight is chosen", {{"r1", "B", -1, 0.4, true}}, {"B", 0.4, {"r1"}}},
      {"rules that do not fire are not weighed",
       {{"r1", "A", 9, 0.9, false}, {"r2", "B", 0.1, 0.3, true}},
       {"B", 0.3, {"r2"}}},
      {"nothing fires", {{"r1", "A", 9, 0.9, false}}, {"C", 0.05, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Check(ScoreRules(RuleSetModel::weightedMax, c.rules), c.expect);
  }
}

TEST(WeightedSum, Cases) {
  struct Case {
    const char* name;
    std::vector<RuleSpec> rules;
    Expect expect;
  } cases[] = {
      {"greatest sum over the number fired",
       {{"r1", "A", 0.6, 1, true}, {"r2", "B", 0.5, 1, true}, {"r3", "B", 0.5, 1, true}},
       {"B", 1.0 / 3, {"r1", "r2", "r3"}}},
      {"rules that do not fire count nowhere",
       {{"r1", "A", 0.6, 1, true}, {"r2", "B", 5, 1, false}, {"r3", "B", 0.5, 1, true}},
       {"A", 0.6 / 2, {"r1", "r3"}}},
      // The final sums decide: A ends at 0.5, B at 1.
      {"negative weights: the greatest final sum",
       {{"r1", "A", 2, 1, true}, {"r2", "A", -1.5, 1, true}, {"r3", "B", 1, 1, true}},
       {"B", 1.0 / 3, {"r1", "r2", "r3"}}},
      {"all weights zero: the category of a fired rule",
       {{"r1", "B", 0, 1, true}, {"r2", "C", 0, 1, true}},
       {"B", 0.0, {"r1", "r2"}}},
      {"equal sums: the one reached first",
       {{"r1", "B", 0.5, 1, true}, {"r2", "A", 0.25, 1, true}, {"r3", "A", 0.25, 1, true}},
       {"B", 0.5 / 3, {"r1", "r2", "r3"}}},
      {"equal sums: the lower index when reached first",
       {{"r1", "A", 0.5, 1, true}, {"r2", "B", 0.5, 1, true}},
       {"A", 0.25, {"r1", "r2"}}},
      // A reaches 1 first but leaves it; it holds 1 again only after B.
      {"equal sums: reached means held from then on",
       {{"r1", "A", 1, 1, true}, {"r2", "B", 1, 1, true}, {"r3", "A", -1, 1, true},
        {"r4", "A", 1, 1, true}},
       {"B", 0.25, {"r1", "r2", "r3", "r4"}}},
      {"the winner need not be the first fired rule's category",
       {{"r1", "B", 0.2, 1, true}, {"r2", "A", 0.5, 1, true}},
       {"A", 0.25, {"r1", "r2"}}},
      {"all negative: the least negative",
       {{"r1", "A", -2, 1, true}, {"r2", "B", -1, 1, true}},
       {"B", -0.5, {"r1", "r2"}}},
      {"nothing fires", {{"r1", "A", 1, 1, false}}, {"C", 0.05, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Check(ScoreRules(RuleSetModel::weightedSum, c.rules), c.expect);
  }
}

// The rule that decided: the first fired rule of the chosen category under
// a weighted sum, the chosen rule otherwise, none when a default decided.
// Both ways of walking the rules name the same one.
TEST(WinningRule, Cases) {
  const std::map<std::string, std::map<std::string, double>> noCosts;
  // Choosing A costs 5 x 1, choosing B 1 x 3: B wins the cost decision.
  const std::map<std::string, std::map<std::string, double>> toB = {{"A", {{"B", 5}}},
                                                                      {"B", {{"A", 1}}}};
  // C made cheap: chosen with no fired rule behind it.
  const std::map<std::string, std::map<std::string, double>> toC = {
      {"C", {{"A", 0.1}, {"B", 0.1}}}, {"A", {{"B", 9}}}, {"B", {{"A", 9}}}};
  struct Case {
    const char* name;
    RuleSetModel::RuleSetMethod method;
    std::vector<RuleSpec> rules;
    const std::map<std::string, std::map<std::string, double>>* costs;
    const char* winning;
  } cases[] = {
      {"first hit: the first firing rule", RuleSetModel::firstHit,
       {{"r1", "A", 1, 0.9, false}, {"r2", "B", 1, 0.6, true}, {"r3", "A", 5, 0.8, true}},
       &noCosts, "r2"},
      {"first hit: nothing fires", RuleSetModel::firstHit, {{"r1", "A", 1, 0.9, false}}, &noCosts,
       ""},
      {"weighted max: the first of the greatest weight", RuleSetModel::weightedMax,
       {{"r1", "A", 0.3, 0.1, true}, {"r2", "B", 0.7, 0.2, true}, {"r3", "C", 0.7, 0.3, true}},
       &noCosts, "r2"},
      {"weighted max: nothing fires", RuleSetModel::weightedMax, {{"r1", "A", 9, 0.9, false}},
       &noCosts, ""},
      {"weighted sum: the first fired rule of the chosen category", RuleSetModel::weightedSum,
       {{"r1", "A", 0.6, 1, true}, {"r2", "B", 0.5, 1, false}, {"r3", "B", 0.5, 1, true},
        {"r4", "B", 0.5, 1, true}},
       &noCosts, "r3"},
      {"weighted sum: not the heaviest rule", RuleSetModel::weightedSum,
       {{"r1", "B", 0.1, 1, true}, {"r2", "A", 0.9, 1, true}, {"r3", "B", 0.9, 1, true}},
       &noCosts, "r1"},
      {"weighted sum: the cost decision's category", RuleSetModel::weightedSum,
       {{"r1", "A", 3, 1, true}, {"r2", "B", 1, 1, true}}, &toB, "r2"},
      {"weighted sum: a category no fired rule predicts", RuleSetModel::weightedSum,
       {{"r1", "A", 3, 1, true}, {"r2", "B", 1, 1, true}}, &toC, ""},
      {"weighted sum: nothing fires", RuleSetModel::weightedSum, {{"r1", "A", 1, 1, false}},
       &noCosts, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (bool reference : {true, false}) {
      const Scored s = ScoreRules(c.method, c.rules, c.costs, reference);
      EXPECT_EQ(s.code, 0);
      EXPECT_EQ(s.winning, c.winning) << (reference ? "rule by rule" : "plan");
    }
  }
}

TEST(WinningRule, VoteNamesTheFirstRuleSetThatChoseTheWinner) {
  ModelBuilder b;
  b.Numeric("x").TextTarget("y", {"A", "B"});
  b.Start(3);
  b.Settings(0, RuleSetModel::firstHit, "B", 0.9);  // the default: B 0.9
  b.Settings(1, RuleSetModel::firstHit, "A", 0.0);
  b.Settings(2, RuleSetModel::firstHit, "A", 0.0);
  ASSERT_TRUE(b.Rule(0, "s0", "B", 1, 1, b.Simple("x", SimplePredicate::kLessThan, 0)));
  ASSERT_TRUE(b.Rule(1, "s1", "A", 1, 0.2, b.Simple("x", SimplePredicate::kGreaterThan, 0)));
  ASSERT_TRUE(b.Rule(2, "s2", "B", 1, 0.3, b.Simple("x", SimplePredicate::kGreaterThan, 0)));
  TestRecord record({"x"});
  ScoreResult* result = nullptr;
  // B wins 1.2 to 0.2; rule set 0 chose B by its default, so rule set 2's
  // rule is the one named.
  Scored s = ScoreWith(b.Model(), record.Number("x", 1).Get(), result);
  EXPECT_EQ(s.prediction, "B");
  EXPECT_EQ(s.fired, (std::vector<std::string>{"s1", "s2"}));
  EXPECT_EQ(s.winning, "s2");
  // Only defaults: B 0.9 against A 0 and A 0; no rule decided.
  s = ScoreWith(b.Model(), record.Number("x", 0).Get(), result);
  EXPECT_EQ(s.prediction, "B");
  EXPECT_EQ(s.winning, "");
  delete result;
}

TEST(RuleSets, WithoutRulesChoosesNothingWithRulesTheDefault) {
  ModelBuilder b;
  b.Numeric("x").TextTarget("y", {"A", "B"});
  b.Start(2);
  b.Settings(0, RuleSetModel::weightedSum, "B", 0.3);
  b.Settings(1, RuleSetModel::weightedSum, "A", 0.9);
  ASSERT_TRUE(b.Rule(1, "r", "A", 1, 1, b.Simple("x", SimplePredicate::kLessThan, -100)));
  TestRecord record({"x"});
  ScoreResult* result = nullptr;
  // Rule set 0 has no compiled rules and chooses nothing; rule set 1 falls
  // back on its default A 0.9, which wins the vote with 0.9 / 0.9.
  Scored s = ScoreWith(b.Model(), record.Number("x", 1).Get(), result);
  EXPECT_EQ(s.prediction, "A");
  EXPECT_DOUBLE_EQ(s.confidence, 1.0);
  EXPECT_TRUE(s.fired.empty());
  delete result;
}

TEST(CostDecision, MovesTheWeightedSumChoice) {
  // Sums A 3, B 1 from two fired rules. Costs of choosing A: cost[A][B] x 1;
  // of choosing B: cost[B][A] x 3.
  const std::vector<RuleSpec> rules = {{"r1", "A", 3, 1, true}, {"r2", "B", 1, 1, true}};
  struct Case {
    const char* name;
    std::map<std::string, std::map<std::string, double>> costs;
    Expect expect;
  } cases[] = {
      {"default costs: A costs 1, B costs 3", {}, {"A", 3.0 / 2, {"r1", "r2"}}},
      {"symmetric costs keep A", {{"A", {{"B", 1}}}, {"B", {{"A", 1}}}}, {"A", 1.5, {"r1", "r2"}}},
      {"A costs 5, B costs 3: B", {{"A", {{"B", 5}}}, {"B", {{"A", 1}}}}, {"B", 0.5, {"r1", "r2"}}},
      // C has no evidence: choosing it costs 1 x 3 + 1 x 1 = 4 by default;
      // made cheap, it wins with a sum of 0.
      {"a category without fired rules can win",
       {{"C", {{"A", 0.1}, {"B", 0.1}}}, {"A", {{"B", 9}}}, {"B", {{"A", 9}}}},
       {"C", 0.0, {"r1", "r2"}}},
      {"equal costs keep the lower index", {{"A", {{"B", 3}}}, {"B", {{"A", 1}}}}, {"A", 1.5, {"r1", "r2"}}},
      {"costs for unknown categories are ignored", {{"Z", {{"A", 100}}}}, {"A", 1.5, {"r1", "r2"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Check(ScoreRules(RuleSetModel::weightedSum, rules, &c.costs), c.expect);
  }
}

TEST(CostDecision, LeavesFirstHitAndWeightedMaxAlone) {
  const std::map<std::string, std::map<std::string, double>> costs = {{"A", {{"B", 100}}}};
  const std::vector<RuleSpec> rules = {{"r1", "A", 3, 0.7, true}, {"r2", "B", 1, 0.2, true}};
  Check(ScoreRules(RuleSetModel::firstHit, rules, &costs), {"A", 0.7, {"r1"}});
  Check(ScoreRules(RuleSetModel::weightedMax, rules, &costs), {"A", 0.7, {"r1", "r2"}});
}

TEST(CostDecision, MatrixWithFewerRowsThanCategoriesChangesNothing) {
  // The matrix is built for two categories; the target then gains a third
  // and the category set-up runs again, so the matrix no longer fits and
  // the choice stays with the greater sum (B would win with the matrix).
  ModelBuilder b;
  b.Numeric("x").TextTarget("y", {"A", "B"});
  b.Start(1);
  b.Settings(0, RuleSetModel::weightedSum, "B", 0.0);
  ASSERT_TRUE(b.Rule(0, "r1", "A", 3, 1, b.Simple("x", SimplePredicate::kGreaterThan, 0)));
  ASSERT_TRUE(b.Rule(0, "r2", "B", 1, 1, b.Simple("x", SimplePredicate::kGreaterThan, 0)));
  b.Costs({{"A", {{"B", 5}}}, {"B", {{"A", 1}}}});
  ASSERT_EQ(b.Model().GetCostMatrix().size(), 2u);
  b.Var("y")->AddValidValue(new StringValue("C"));
  b.Model().SetUp();
  ASSERT_EQ(b.Model().GetNumbOfCategories(), 3);
  TestRecord record({"x"});
  ScoreResult* result = nullptr;
  Scored s = ScoreWith(b.Model(), record.Number("x", 1).Get(), result);
  EXPECT_EQ(s.prediction, "A");
  EXPECT_DOUBLE_EQ(s.confidence, 1.5);
  delete result;
}

}  // namespace
}  // namespace KtZembra_940
