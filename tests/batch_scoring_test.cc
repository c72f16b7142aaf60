// Columnar scoring of a small document: the rows a batch refuses, absent
// columns, NaN, and the absence of per-row allocation (random documents
// against GetScore are in plan_differential_test).
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/BatchScoreColumns.h"
#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "model/RuleSetModel.h"
#include "tests/support/AllocationCount.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::AllocationsIn;
using testing_support::TranslateDocument;

// Result columns whose predictions start as -7, so that a row the entry
// leaves unwritten shows.
struct Output : BatchScoreColumns {
  explicit Output(size_t n) : BatchScoreColumns(n, 0) { prediction.assign(n, -7); }
};

// Risk (high, low) by age and region: a weighted sum of R1 (age > 60), R2
// (always) and R3 (region missing).
std::unique_ptr<testing_support::TranslatedDocument> Small() {
  const std::string path = std::string(RULESCORE_TEST_DATA_DIR) + "/models/small.pmml";
  return TranslateDocument(testing_support::ReadFile(path), path);
}

TEST(BatchScoring, AbsentColumnIsMissingInEveryRowAndNanFollowsTheFlag) {
  auto doc = Small();
  const std::vector<double> age{70.0, std::nan(""), 30.0};
  ColumnBatch withNan(3);
  withNan.AddNumbers("age", age.data(), nullptr, true);
  Output out(3);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(withNan, 0, 3, scores), 3u);
  EXPECT_EQ(doc->model->GetMaxFiredPerRecord(), 3u);
  // No region column: R3 fires in every row. Row 1's NaN is missing.
  EXPECT_EQ(out.firedCount, (std::vector<int32_t>{3, 2, 2}));
  EXPECT_EQ(out.fired, (std::vector<int32_t>{0, 1, 2, 1, 2, 1, 2}));
  EXPECT_EQ(out.prediction, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(out.winningRule, (std::vector<int32_t>{0, 1, 1}));
  EXPECT_DOUBLE_EQ(out.confidence[0], 1.2 / 3);
  EXPECT_DOUBLE_EQ(out.confidence[1], 0.4 / 2);
  EXPECT_EQ(out.status, (std::vector<int32_t>{0, 0, 0}));
}

// Many columns, so that the predictors are bound through a map of names.
TEST(BatchScoring, CodePastItsTextsRefusesTheRowOnly) {
  auto doc = Small();
  const std::vector<double> age{70.0, 70.0, 70.0};
  const std::vector<int32_t> region{0, 5, -1};
  ColumnBatch columns(3);
  columns.AddNumbers("age", age.data());
  columns.AddCodes("region", region.data(), {"north"});
  for (int k = 0; k < 17; ++k) columns.AddNumbers("c" + std::to_string(k), age.data());
  Output out(3);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(columns, 0, 3, scores), 3u);
  EXPECT_EQ(out.status, (std::vector<int32_t>{0, BatchScores::kCodeOutOfRange, 0}));
  EXPECT_EQ(out.errorColumn, (std::vector<int32_t>{-1, 1, -1}));
  EXPECT_EQ(out.prediction[1], -1);
  EXPECT_TRUE(std::isnan(out.confidence[1]));
  EXPECT_EQ(out.firedCount, (std::vector<int32_t>{2, 0, 3}));
}

// A pmml model built without the translator has no field treatments: the
// batch looks for missing cells itself, over whole blocks of rows, and walks
// those rows three-valued (x > 1 on a missing x is unknown: the default).
TEST(BatchScoring, PmmlWithoutTreatmentsFindsMissingCellsInWholeBlocks) {
  testing_support::ModelBuilder b;
  b.Numeric("x").TextTarget("y", {"A", "B"});
  b.Start(1, RuleSetModel::pmml);
  b.Settings(0, RuleSetModel::firstHit, "B", 0.5);
  ASSERT_TRUE(b.Rule(0, "r1", "A", 1, 1, b.Simple("x", SimplePredicate::kGreaterThan, 1)));
  const size_t n = 256;
  std::vector<double> x(n);
  std::vector<uint8_t> missing(n);
  for (size_t r = 0; r < n; ++r) {
    x[r] = r % 2 == 0 ? 0.0 : 5.0;
    missing[r] = r % 3 == 0 ? 1 : 0;
  }
  ColumnBatch columns(n);
  columns.AddNumbers("x", x.data(), missing.data());
  Output out(n);
  BatchScores scores = out.Scores();
  ASSERT_EQ(b.Model().ScoreBatch(columns, 0, n, scores), n);
  for (size_t r = 0; r < n; ++r) {
    EXPECT_EQ(out.prediction[r], missing[r] == 0 && x[r] > 1 ? 0 : 1) << r;
  }
}

// Derived fields read the rows through a record; a field they read with no
// column is missing in every row (x - 1 and the chain after it: missing).
TEST(BatchScoring, DerivedFieldsOverAnAbsentColumn) {
  const std::string path = std::string(RULESCORE_TEST_DATA_DIR) + "/tool/chain.pmml";
  auto doc = TranslateDocument(testing_support::ReadFile(path), path);
  const std::vector<double> other{1.0, 2.0};
  ColumnBatch columns(2);
  columns.AddNumbers("other", other.data());
  Output out(2);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(columns, 0, 2, scores), 2u);
  EXPECT_EQ(out.prediction, (std::vector<int32_t>{1, 1}));
  EXPECT_EQ(out.status, (std::vector<int32_t>{0, 0}));
}

TEST(BatchScoring, RowsAllocateNothingOnceWarm) {
  auto doc = Small();
  const size_t n = 5000;
  std::vector<double> age(n);
  std::vector<int32_t> region(n);
  for (size_t r = 0; r < n; ++r) {
    age[r] = static_cast<double>(r % 100);
    region[r] = static_cast<int32_t>(r % 3) - 1;
  }
  ColumnBatch columns(n);
  columns.AddNumbers("age", age.data());
  columns.AddCodes("region", region.data(), {"north", "south"});
  Output out(n);
  out.fired.reserve(3 * n);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(columns, 0, n, scores), n);  // warm
  long counts[2];
  const size_t sizes[2] = {10, n};
  for (int k = 0; k < 2; ++k) {
    out.fired.clear();
    counts[k] = AllocationsIn([&] { doc->model->ScoreBatch(columns, 0, sizes[k], scores); });
  }
  // What a call allocates (its bindings) does not grow with its rows.
  EXPECT_EQ(counts[0], counts[1]);
}


}  // namespace
}  // namespace KtZembra_940
