// The scoring driver: record encoding, the result object handed in and out,
// the vote across rule sets, decision lists and the error statuses.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/NumericValue.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreResult.h"
#include "host/ScoringLog.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "tests/support/CountingHeap.h"
#include "tests/support/ModelBuilder.h"

// Counts every allocation made while `gCountAllocations` is set, so a test
// can tell that scoring a record allocates nothing.
namespace {
bool gCountAllocations = false;
long gAllocations = 0;
}  // namespace

void NoteAllocation() {
  if (gCountAllocations) ++gAllocations;
}

namespace KtZembra_940 {
namespace {

using testing_support::ModelBuilder;
using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;

// Collects the host's trace lines for the lifetime of the object.
class TraceCapture {
 public:
  TraceCapture() {
    ScoringLog::GetInstance().SetStream(&lines_);
    ScoringLog::GetInstance().SetLevel(1);
  }
  ~TraceCapture() {
    ScoringLog::GetInstance().SetLevel(0);
    ScoringLog::GetInstance().SetStream(nullptr);
  }
  std::string Text() const { return lines_.str(); }

 private:
  std::ostringstream lines_;
};

// The model of the worked example: target risk (high, low), predictor age,
// one weighted-sum rule set with default low 0.5, R1 "age > 60" and R2 True.
std::unique_ptr<ModelBuilder> RiskModel() {
  auto b = std::make_unique<ModelBuilder>();
  b->Numeric("age").TextTarget("risk", {"high", "low"});
  b->Start(1);
  b->Settings(0, RuleSetModel::weightedSum, "low", 0.5);
  EXPECT_TRUE(b->Rule(0, "R1", "high", 0.8, 0.9, b->Simple("age", SimplePredicate::kGreaterThan, 60)));
  EXPECT_TRUE(b->Rule(0, "R2", "high", 0.4, 0.7, ModelBuilder::True()));
  return b;
}

// Several first-hit rule sets over categories A and B, rule set m choosing
// choices[m] with confidence confidences[m] through one always-firing rule.
std::unique_ptr<ModelBuilder> VoteModel(const std::vector<std::string>& choices,
                                        const std::vector<double>& confidences) {
  auto b = std::make_unique<ModelBuilder>();
  b->Numeric("x").TextTarget("y", {"A", "B"});
  b->Start(static_cast<int>(choices.size()));
  for (size_t m = 0; m < choices.size(); ++m) {
    const int mi = static_cast<int>(m);
    b->Settings(mi, RuleSetModel::firstHit, "B", 0.0);
    EXPECT_TRUE(b->Rule(mi, "r" + std::to_string(m), choices[m], 1.0, confidences[m],
                        ModelBuilder::True()));
  }
  return b;
}

// A result of some other model kind, telling when it is destroyed.
class ForeignResult : public ScoreResult {
 public:
  ForeignResult(ResultType type, bool* destroyed) : type_(type), destroyed_(destroyed) {}
  ~ForeignResult() override { *destroyed_ = true; }
  ResultType GetScoreResultType() const override { return type_; }

 private:
  ResultType type_;
  bool* destroyed_;
};

TEST(ScoringDriver, ForeignResultKindsAreReplaced) {
  // A classification result, and one that claims the rule-set kind without
  // being one: both are destroyed and replaced by a fresh RuleSetResult.
  for (ScoreResult::ResultType type :
       {ScoreResult::kClassificationResult, ScoreResult::kRuleSetResult}) {
    SCOPED_TRACE(type);
    auto b = RiskModel();
    bool destroyed = false;
    ScoreResult* result = new ForeignResult(type, &destroyed);
    TestRecord record({"age"});
    Scored s = ScoreWith(b->Model(), record.Number("age", 70).Get(), result);
    EXPECT_TRUE(destroyed);
    ASSERT_NE(result, nullptr);
    EXPECT_NE(dynamic_cast<RuleSetResult*>(result), nullptr);
    EXPECT_EQ(s.prediction, "high");
    EXPECT_EQ(s.fired, (std::vector<std::string>{"R1", "R2"}));
    delete result;
  }
}

TEST(ScoringDriver, NullRecordIsAnErrorAndLeavesTheResult) {
  auto b = RiskModel();
  TestRecord record({"age"});
  ScoreResult* result = nullptr;
  ScoreWith(b->Model(), record.Number("age", 70).Get(), result);
  ScoreResult* before = result;

  TraceCapture trace;
  KtScore::KtStatus status = b->Model().GetScore(nullptr, result, false);
  EXPECT_TRUE(status.IsError());
  EXPECT_EQ(status.GetErrorCode(), 90029);
  EXPECT_EQ(trace.Text(), "KtStatus error code is :90029\n");
  ASSERT_EQ(result, before);
  auto* rules = static_cast<RuleSetResult*>(result);
  EXPECT_EQ(rules->GetPrediction()->GetString(), "high");
  EXPECT_DOUBLE_EQ(rules->GetConfidence(), 0.6);
  EXPECT_EQ(rules->GetRuleIDFire(), (std::vector<std::string>{"R1", "R2"}));
  delete result;
}

TEST(ScoringDriver, RecordThatCannotBindTheModelIsNotScored) {
  auto b = RiskModel();
  ScoreCaseRecord noLayout;
  ScoreResult* result = nullptr;
  {
    TraceCapture trace;
    KtScore::KtStatus status = b->Model().GetScore(&noLayout, result, false);
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(status.GetErrorCode(), ErrorCode::kNotScorable);
    EXPECT_EQ(trace.Text(), "KtStatus error code is :260020\n");
  }
  EXPECT_EQ(result, nullptr);
  EXPECT_FALSE(b->Model().IsDictVarIndexReady());

  // The set-up is tried again, and runs, with a record that has a layout.
  TestRecord record({"age"});
  Scored s = ScoreWith(b->Model(), record.Number("age", 70).Get(), result);
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(b->Model().IsDictVarIndexReady());
  EXPECT_DOUBLE_EQ(s.confidence, 0.6);
  delete result;

  // A model without a dictionary never binds.
  RuleSetModel bare;
  ScoreResult* none = nullptr;
  EXPECT_EQ(bare.GetScore(record.Get(), none, false).GetErrorCode(), ErrorCode::kNotScorable);
  EXPECT_EQ(none, nullptr);
}

TEST(ScoringDriver, SetUpRunsOnceForTheFirstLayout) {
  auto b = RiskModel();
  TestRecord first({"age"});
  ScoreResult* result = nullptr;
  ScoreWith(b->Model(), first.Number("age", 70).Get(), result);
  EXPECT_EQ(b->Var("age")->GetCaseIndex(), 0);
  EXPECT_EQ(b->Model().GetRuleCount(), std::vector<int32_t>{2});

  // Later records are read at the positions of the first layout.
  TestRecord other({"other", "age"});
  Scored s = ScoreWith(b->Model(), other.Number("other", 99).Number("age", 1).Get(), result);
  EXPECT_EQ(b->Var("age")->GetCaseIndex(), 0);
  EXPECT_EQ(s.fired, (std::vector<std::string>{"R1", "R2"}));
  delete result;
}

TEST(ScoringDriver, RecordEncoding) {
  ModelBuilder b;
  b.Numeric("n").Text("s", {"a", "b", "c"}).TextTarget("y", {"A", "B"});
  b.Var("n")->AddMissingValue(new NumericValue(-99.0));
  b.Start(1);
  b.Settings(0, RuleSetModel::weightedSum, "A", 0.1);
  ASSERT_TRUE(b.Rule(0, "r1", "A", 1, 1, b.Simple("n", SimplePredicate::kEqual, 1)));
  ASSERT_TRUE(b.Rule(0, "r2", "A", 1, 1, b.SimpleText("s", SimplePredicate::kEqual, "a")));
  const double sysmis = NumericValue::GetSysmisValue();
  struct Case {
    const char* name;
    bool hasN;
    double n;
    const char* s;  // null: absent
    std::vector<double> encoded;
  } cases[] = {
      {"both present", true, 3.5, "c", {3.5, 2.0}},
      {"both absent", false, 0, nullptr, {sysmis, -1.0}},
      {"declared missing number, unknown text", true, -99.0, "zz",
       {sysmis, std::numeric_limits<double>::quiet_NaN()}},
      {"system-missing number, first label", true, sysmis, "a", {sysmis, 0.0}},
  };
  ScoreResult* result = nullptr;
  TestRecord record({"s", "n"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    record.Clear();
    if (c.hasN) record.Number("n", c.n);
    if (c.s != nullptr) record.Text("s", c.s);
    ASSERT_EQ(ScoreWith(b.Model(), record.Get(), result).code, 0);
    const std::vector<double>& encoded = b.Model().GetPredVarValues();
    ASSERT_EQ(encoded.size(), c.encoded.size());
    for (size_t i = 0; i < encoded.size(); ++i) {
      if (std::isnan(c.encoded[i])) {
        EXPECT_TRUE(std::isnan(encoded[i])) << i;
      } else {
        EXPECT_EQ(encoded[i], c.encoded[i]) << i;
      }
    }
  }
  delete result;
}

// A model whose predictors are all numbers reads cells in bulk; every cell
// that is not a number must still encode as the general rules say.
TEST(ScoringDriver, NumberOnlyModelEncodesEveryKindOfCell) {
  const double sysmis = NumericValue::GetSysmisValue();
  struct Case {
    const char* name;
    std::vector<std::string> layout;
    const char* aText;  // null: a number (2.5) or nothing, as aNumber says
    bool aNumber;
    bool bNumber;
    std::vector<double> encoded;  // a, b
  } cases[] = {
      {"both numbers", {"a", "b"}, nullptr, true, true, {2.5, 4.0}},
      {"a number text", {"b", "a"}, "7.5", false, true, {7.5, 4.0}},
      {"a text that is no number", {"a", "b"}, "x", false, true, {sysmis, 4.0}},
      {"b absent", {"a", "b"}, nullptr, true, false, {2.5, sysmis}},
      {"b not in the layout", {"a"}, nullptr, true, false, {2.5, sysmis}},
      {"neither in the layout", {"c"}, nullptr, false, false, {sysmis, sysmis}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModelBuilder b;
    b.Numeric("a").Numeric("b").TextTarget("y", {"A", "B"});
    b.Start(1);
    b.Settings(0, RuleSetModel::firstHit, "B", 0.1);
    ASSERT_TRUE(b.Rule(0, "r1", "A", 1, 0.9, b.Simple("a", SimplePredicate::kLessThan, 3.0)));
    ASSERT_TRUE(b.Rule(0, "r2", "A", 1, 0.8, b.Simple("b", SimplePredicate::kGreaterThan, 3.0)));
    TestRecord record(c.layout);
    if (c.aText != nullptr) record.Text("a", c.aText);
    if (c.aNumber) record.Number("a", 2.5);
    if (c.bNumber) record.Number("b", 4.0);
    ScoreResult* result = nullptr;
    const Scored scored = ScoreWith(b.Model(), record.Get(), result);
    EXPECT_EQ(scored.code, 0);
    EXPECT_EQ(b.Model().GetPredVarValues(), c.encoded);
    // The rules see the same values: r1 needs a < 3 (not missing), r2 b > 3.
    const bool r1 = c.encoded[0] != sysmis && c.encoded[0] < 3.0;
    const bool r2 = c.encoded[1] > 3.0;
    EXPECT_EQ(scored.fired, r1 ? std::vector<std::string>{"r1"}
                               : r2 ? std::vector<std::string>{"r2"} : std::vector<std::string>{});
    delete result;
  }
}

// The caller owns the result it passes: a fresh one of its own receives the
// target and everything scored, and is reused (its list emptied first) when
// passed again. The fired identifiers come from the model's own copy made at
// the record set-up: rules added later neither move nor join them, and they
// stay readable after the model is deleted; a second model can write into
// the same result.
TEST(ScoringDriver, ResultBelongsToTheCaller) {
  ScoreResult* result = new RuleSetResult(nullptr);
  const ScoreResult* own = result;
  TestRecord record({"age"});
  {
    auto b = RiskModel();
    Scored s = ScoreWith(b->Model(), record.Number("age", 30).Get(), result);
    EXPECT_EQ(result, own);
    EXPECT_EQ(static_cast<RuleSetResult*>(result)->GetTarget(), b->Var("risk"));
    EXPECT_EQ(s.prediction, "high");
    EXPECT_DOUBLE_EQ(s.confidence, 0.4);
    EXPECT_EQ(s.fired, (std::vector<std::string>{"R2"}));
    s = ScoreWith(b->Model(), record.Number("age", 70).Get(), result);
    EXPECT_EQ(result, own);
    EXPECT_EQ(s.fired, (std::vector<std::string>{"R1", "R2"}));
    // Many more rules: the compiled rule list grows and moves.
    for (int k = 0; k < 200; ++k) {
      ASSERT_TRUE(b->Rule(0, "late" + std::to_string(k), "low", 1, 1, ModelBuilder::True()));
    }
    EXPECT_EQ(static_cast<RuleSetResult*>(result)->GetFiredRuleIds(),
              (std::vector<std::string>{"R1", "R2"}));
    // Not counted at the set-up, the late rules do not fire.
    EXPECT_EQ(ScoreWith(b->Model(), record.Number("age", 61).Get(), result).fired,
              (std::vector<std::string>{"R1", "R2"}));
  }
  auto* rules = static_cast<RuleSetResult*>(result);
  EXPECT_EQ(rules->GetFiredRuleIds(), (std::vector<std::string>{"R1", "R2"}));
  EXPECT_EQ(rules->GetWinningRuleID(), "R1");
  EXPECT_DOUBLE_EQ(rules->GetConfidence(), 0.6);
  rules->SetRuleIDFire("mine");
  EXPECT_EQ(rules->GetRuleIDFire(), (std::vector<std::string>{"R1", "R2", "mine"}));
  EXPECT_EQ(rules->GetFirstRuleID(), "R1");
  {
    auto b = RiskModel();
    const Scored s = ScoreWith(b->Model(), record.Number("age", 30).Get(), result);
    EXPECT_EQ(s.fired, (std::vector<std::string>{"R2"}));
    EXPECT_EQ(s.winning, "R2");
    EXPECT_EQ(result, own);
  }
  EXPECT_EQ(rules->GetFirstRuleID(), "R2");
  rules->RemoveRuleIDs();
  EXPECT_TRUE(rules->GetFiredRuleIds().empty());
  EXPECT_EQ(rules->GetFirstRuleID(), "");
  delete result;
}

// The vote is rows of tests/data/scenarios/vote.txt; a negative total (no
// document has negative confidences) is not divided.
TEST(ScoringDriver, VoteAcrossRuleSets) {
  auto b = VoteModel({"A", "B"}, {-0.3, 0.1});
  b->Model().SetUseReferenceWalk(true);
  TestRecord record({"x"});
  ScoreResult* result = nullptr;
  const Scored s = ScoreWith(b->Model(), record.Get(), result);
  EXPECT_EQ(s.prediction, "B");
  EXPECT_DOUBLE_EQ(s.confidence, 0.1);
  EXPECT_EQ(s.fired, (std::vector<std::string>{"r0", "r1"}));
  delete result;
}

// A decision list shows no confidence (its vote is rows of
// tests/data/scenarios/vote.txt), also in a result that served an ordinary
// model before.
TEST(ScoringDriver, DecisionListTakesTheLastRuleSet) {
  auto b = VoteModel({"A", "A", "B"}, {0.9, 0.9, 0.2});
  b->Model().SetModelType(ScoreModel::kDecisionListModel);
  TestRecord record({"x"});
  auto ordinary = VoteModel({"A"}, {0.9});
  ScoreResult* shared = nullptr;
  EXPECT_DOUBLE_EQ(ScoreWith(ordinary->Model(), record.Get(), shared).confidence, 0.9);
  const Scored s = ScoreWith(b->Model(), record.Get(), shared);
  EXPECT_EQ(s.prediction, "B");
  EXPECT_DOUBLE_EQ(s.confidence, -1.0);
  delete shared;
}

TEST(ScoringDriver, NoCategoryGivesNoPrediction) {
  const struct {
    const char* name;
    int models;
    bool decisionList;
    std::vector<std::string> categories;
    bool rule;  // rule set 0 has a rule that always fires
  } cases[] = {
      {"no rule sets", 0, false, {"A", "B"}, false},
      {"only rule set without rules", 1, false, {"A", "B"}, false},
      {"decision list whose last rule set has no rules", 2, true, {"A", "B"}, true},
      {"target without categories", 1, false, {}, true},
  };
  TestRecord record({"x"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ModelBuilder b;
    b.Numeric("x").TextTarget("y", c.categories);
    b.Start(c.models);
    if (c.decisionList) b.Model().SetModelType(ScoreModel::kDecisionListModel);
    if (c.models > 0) b.Settings(0, RuleSetModel::weightedSum, c.categories.empty() ? "A" : "B", 0.7);
    if (c.rule) b.Rule(0, "r0", "A", 1, 0.9, ModelBuilder::True());
    ScoreResult* result = nullptr;
    const Scored s = ScoreWith(b.Model(), record.Get(), result);
    EXPECT_EQ(s.code, 0);
    EXPECT_FALSE(s.hasPrediction);
    EXPECT_DOUBLE_EQ(s.confidence, 0.0);
    delete result;
  }
}

TEST(ScoringDriver, NoAllocationPerRecord) {
  for (bool reference : {true, false}) {
    SCOPED_TRACE(reference ? "reference walk" : "scoring plan");
    ModelBuilder b;
    b.Numeric("a").Numeric("c").Text("s", {"red", "green", "blue"}).TextTarget("y", {"A", "B", "C"});
    b.Start(3);
    b.Settings(0, RuleSetModel::weightedSum, "A", 0.1);
    b.Settings(1, RuleSetModel::weightedMax, "B", 0.1);
    b.Settings(2, RuleSetModel::firstHit, "C", 0.1);
    const std::string longId = "a-rule-identifier-far-beyond-any-short-string-";
    for (int m = 0; m < 3; ++m) {
      for (int k = 0; k < 8; ++k) {
        const char* score = k % 3 == 0 ? "A" : (k % 3 == 1 ? "B" : "C");
        ScorePredicate* p = ModelBuilder::Compound(
            k % 2 == 0 ? CompoundPredicate::kAnd : CompoundPredicate::kOr,
            {b.Simple("a", SimplePredicate::kGreaterThan, k * 10.0),
             b.SetText("s", SetPredicate::kIsIn, {k % 2 ? "red" : "blue", "green"}),
             b.Simple("c", SimplePredicate::kLessOrEqual, 50.0 - k)});
        ASSERT_TRUE(b.Rule(m, longId + std::to_string(m * 8 + k), score, 0.1 * k, 0.5, p));
      }
    }
    b.Model().SetUseReferenceWalk(reference);
    TestRecord record({"a", "c", "s"});
    ScoreResult* result = nullptr;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> value(-10.0, 100.0);
    const char* texts[] = {"red", "green", "blue", "purple"};
    long allocations = 0;
    size_t fired = 0;
    for (int i = 0; i < 20000; ++i) {
      record.Clear();
      if (i % 7 != 0) record.Number("a", value(rng));
      record.Number("c", value(rng));
      if (i % 5 != 0) record.Text("s", texts[i % 4]);
      // The first records may size the result and its buffers.
      gAllocations = 0;
      gCountAllocations = i >= 1000;
      KtScore::KtStatus status = b.Model().GetScore(record.Get(), result, false);
      // Reading the fired identifiers writes them out; that reuses buffers too.
      if (auto* rules = dynamic_cast<RuleSetResult*>(result)) fired += rules->GetFiredRuleIds().size();
      gCountAllocations = false;
      allocations += gAllocations;
      ASSERT_FALSE(status.IsError());
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(fired, 20000u);
    delete result;
  }
}

}  // namespace
}  // namespace KtZembra_940
