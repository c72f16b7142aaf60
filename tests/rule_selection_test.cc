// The cost decision when the target gains a category after the matrix was
// built (the selection rules themselves are rows of
// tests/data/scenarios/rule_selection.txt).
#include <gtest/gtest.h>

#include "host/ScoreDictVar.h"
#include "host/SimplePredicate.h"
#include "host/StringValue.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"

namespace KtZembra_940 {
namespace {

using testing_support::ModelBuilder;
using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;

// The matrix is built for two categories; the target then gains a third and
// the category set-up runs again, so the matrix no longer fits and the
// choice stays with the greater sum (B would win with the matrix).
TEST(CostDecision, MatrixWithFewerRowsThanCategoriesChangesNothing) {
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
