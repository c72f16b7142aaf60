// The scoring driver: record encoding, the result object handed in and out,
// the vote across rule sets, decision lists and the error statuses.
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <memory>
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
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "tests/support/AllocationCount.h"
#include "tests/support/CaseFile.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::AllocationsIn;
using testing_support::ModelBuilder;
using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;
using testing_support::TraceCapture;

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

// A record without a layout cannot bind the model: no result, and the
// set-up is tried again (and runs) with a record that has one; a model
// without a dictionary never binds. A null record is an error that leaves
// the result as it was. Each error traces its code.
TEST(ScoringDriver, RefusedRecordsLeaveTheResult) {
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
  TestRecord record({"age"});
  Scored s = ScoreWith(b->Model(), record.Number("age", 70).Get(), result);
  EXPECT_EQ(s.code, 0);
  EXPECT_TRUE(b->Model().IsDictVarIndexReady());
  ScoreResult* before = result;
  {
    TraceCapture trace;
    KtScore::KtStatus status = b->Model().GetScore(nullptr, result, false);
    EXPECT_TRUE(status.IsError());
    EXPECT_EQ(status.GetErrorCode(), 90029);
    EXPECT_EQ(trace.Text(), "KtStatus error code is :90029\n");
  }
  ASSERT_EQ(result, before);
  auto* rules = static_cast<RuleSetResult*>(result);
  EXPECT_EQ(rules->GetPrediction()->GetString(), "high");
  EXPECT_DOUBLE_EQ(rules->GetConfidence(), 0.6);
  EXPECT_EQ(rules->GetRuleIDFire(), (std::vector<std::string>{"R1", "R2"}));
  delete result;

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

  // Later records are read at the positions of the first layout.
  TestRecord other({"other", "age"});
  Scored s = ScoreWith(b->Model(), other.Number("other", 99).Number("age", 1).Get(), result);
  EXPECT_EQ(b->Var("age")->GetCaseIndex(), 0);
  EXPECT_EQ(s.fired, (std::vector<std::string>{"R1", "R2"}));
  delete result;
}

// Words split by blanks.
std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Every row of tests/data/cases/record_encoding.txt: how a record's cells
// become the values the rules read, and what fires on them.
TEST(ScoringDriver, RecordEncoding) {
  const auto number = [](const std::string& text) {
    return text == "sysmis" ? NumericValue::GetSysmisValue() : std::strtod(text.c_str(), nullptr);
  };
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("record_encoding.txt")) {
    SCOPED_TRACE(c.where + " " + c.fields[0]);
    const bool numbersOnly = c.fields[1] == "numbers";
    ModelBuilder b;
    if (numbersOnly) {
      b.Numeric("a").Numeric("b").TextTarget("y", {"A", "B"});
    } else {
      b.Numeric("n").Text("s", {"a", "b", "c"}).TextTarget("y", {"A", "B"});
      b.Var("n")->AddMissingValue(new NumericValue(-99.0));
    }
    b.Start(1);
    b.Settings(0, RuleSetModel::firstHit, "B", 0.1);
    ASSERT_TRUE(b.Rule(0, "r1", "A", 1, 0.9,
                       numbersOnly ? b.Simple("a", SimplePredicate::kLessThan, 3.0)
                                   : b.Simple("n", SimplePredicate::kEqual, 1)));
    ASSERT_TRUE(b.Rule(0, "r2", "A", 1, 0.8,
                       numbersOnly ? b.Simple("b", SimplePredicate::kGreaterThan, 3.0)
                                   : b.SimpleText("s", SimplePredicate::kEqual, "a")));
    TestRecord record(Words(c.fields[2]));
    for (const std::string& cell : Words(c.fields[3])) {
      const std::string name = cell.substr(0, cell.find('='));
      const std::string value = cell.substr(name.size() + 1);
      if (value[0] == '\'') {
        record.Text(name, value.substr(1, value.size() - 2));
      } else {
        record.Number(name, number(value));
      }
    }
    ScoreResult* result = nullptr;
    const Scored scored = ScoreWith(b.Model(), record.Get(), result);
    EXPECT_EQ(scored.code, 0);
    EXPECT_EQ(scored.fired, Words(c.fields[5]));
    const std::vector<double>& encoded = b.Model().GetPredVarValues();
    const std::vector<std::string> expected = Words(c.fields[4]);
    ASSERT_EQ(encoded.size(), expected.size());
    for (size_t i = 0; i < encoded.size(); ++i) {
      const double want = number(expected[i]);
      EXPECT_TRUE(encoded[i] == want || (std::isnan(encoded[i]) && std::isnan(want))) << i;
    }
    delete result;
  }
}

// A record whose predictors are all number cells at their layout positions,
// scored by one first-hit rule set with nothing to treat, takes a short way
// through the driver. Every document of tests/data/models/short_way.txt is
// scored three ways: into a RuleSetResult (the short way where it applies),
// into a class derived from it (always the general way), and with the
// rule-by-rule walk. Everything a call leaves behind must agree for every
// record of that file, the ones at the edges of the short way included;
// each model reuses its result from record to record.
class DerivedResult : public RuleSetResult {
 public:
  using RuleSetResult::RuleSetResult;
};

// Everything a scoring call leaves behind, as text: code, prediction,
// confidence, fired and winning rules, error text, output fields, encoded
// values (numbers in full, every NaN alike) and trace lines.
std::string ScoreFully(RuleSetModel& model, const ScoreCaseRecord* record, ScoreResult*& result, Scored* scored) {
  TraceCapture trace;
  *scored = ScoreWith(model, record, result);
  std::ostringstream text;
  text.precision(17);
  const auto number = [&text](double v) -> std::ostream& { return std::isnan(v) ? text << "nan" : text << v; };
  text << "code " << scored->code << (scored->hasPrediction ? " " + scored->prediction : " none") << " ";
  number(scored->confidence) << " fired";
  for (const std::string& id : scored->fired) text << " " << id;
  text << " winning '" << scored->winning << "'";
  if (const auto* rules = dynamic_cast<const RuleSetResult*>(result)) {
    text << " error '" << rules->GetErrorText() << "' outputs";
    for (const std::string& name : rules->GetOutputNames()) text << " " << name;
    for (const RuleSetResult::OutputValue& v : rules->GetOutputValues()) {
      text << " " << v.kind << ":";
      number(v.number) << ":" << v.text;
    }
    text << " encoded";
    for (double v : model.GetPredVarValues()) number(v) << " ";
  }
  return text.str() + " trace '" + trace.Text() + "'";
}

TEST(ScoringDriver, NumberRecordsScoreAlikeTheShortAndTheGeneralWay) {
  std::istringstream file(testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/short_way.txt"));
  std::vector<std::string> records;
  std::vector<std::pair<std::string, std::string>> documents;  // "semantics name", text
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("record ", 0) == 0) records.push_back(line);
    if (line.rfind("== ", 0) == 0) documents.emplace_back(line.substr(3), "");
    if (line[0] != '#' && line.rfind("record ", 0) != 0 && line.rfind("== ", 0) != 0) documents.back().second += line + "\n";
  }
  ASSERT_EQ(records.size(), 16u);
  ASSERT_EQ(documents.size(), 15u);
  TestRecord full({"a", "b", "s"});
  TestRecord shorter({"a"});
  TestRecord plain({"a", "b", "s"});
  plain.Number("a", 2).Number("b", 9);
  for (const auto& d : documents) {
    SCOPED_TRACE(d.first);
    const std::string semantics = d.first.substr(0, d.first.find(' '));
    auto exact = testing_support::TranslateDocument(d.second, "short.pmml", semantics);
    auto derived = testing_support::TranslateDocument(d.second, "general.pmml", semantics);
    auto walked = testing_support::TranslateDocument(d.second, "walked.pmml", semantics);
    ASSERT_NE(exact->model, nullptr);
    walked->model->SetUseReferenceWalk(true);
    ScoreResult* exactResult = nullptr;
    ScoreResult* derivedResult = new DerivedResult(nullptr);
    ScoreResult* walkedResult = nullptr;
    for (const std::string& line : records) {
      SCOPED_TRACE(line);
      std::istringstream cells(line.substr(7));
      TestRecord& record = line.rfind("record a ", 0) == 0 ? shorter : full;
      record.Clear();
      for (std::string cell; cells >> cell;) {
        if (cell.find('=') == std::string::npos) continue;  // the layout word
        const std::string field = cell.substr(0, cell.find('=')), value = cell.substr(field.size() + 1);
        if (value == "?") {
          record.Missing(field);
        } else if (value[0] == '\'') {
          record.Text(field, value.substr(1, value.size() - 2));
        } else {
          record.Number(field, value == "sysmis" ? NumericValue::GetSysmisValue() : std::stod(value));
        }
      }
      // The row, then a plain record that takes the short way where there
      // is one: nothing of the row may stay behind in the model or result.
      for (const TestRecord* scored : {&record, &plain}) {
        SCOPED_TRACE(scored == &plain ? "the plain record after it" : "the row");
        Scored a, b, c;
        const std::string shortWay = ScoreFully(*exact->model, scored->Get(), exactResult, &a);
        EXPECT_EQ(ScoreFully(*derived->model, scored->Get(), derivedResult, &b), shortWay) << " (general way)";
        EXPECT_EQ(ScoreFully(*walked->model, scored->Get(), walkedResult, &c), shortWay) << " (rule-by-rule walk)";
        ASSERT_NE(dynamic_cast<DerivedResult*>(derivedResult), nullptr);
        // Not agreement on nothing: the plain record fires r1 everywhere.
        if (scored == &plain) {
          EXPECT_EQ(a.code, 0);
          ASSERT_FALSE(a.fired.empty());
          EXPECT_EQ(a.fired[0], "r1");
        }
      }
    }
    delete exactResult;
    delete derivedResult;
    delete walkedResult;
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

// A category index past the table: the set-up ran again after a rule took
// the index of a category the scores made, and dropped those categories.
TEST(ScoringDriver, NoCategoryGivesNoPrediction) {
  const struct {
    const char* name;
    int models;
    bool decisionList;
    std::vector<std::string> categories;
    bool rule;  // rule set 0 has a rule that always fires
    bool redo;  // categories from scores, dropped by a second set-up
  } cases[] = {
      {"no rule sets", 0, false, {"A", "B"}, false, false},
      {"only rule set without rules", 1, false, {"A", "B"}, false, false},
      {"decision list whose last rule set has no rules", 2, true, {"A", "B"}, true, false},
      {"target without categories", 1, false, {}, true, false},
      {"category index past the table", 1, false, {}, true, true},
  };
  TestRecord record({"x"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ModelBuilder b;
    b.Numeric("x").TextTarget("y", c.categories);
    b.Start(c.models);
    if (c.decisionList) b.Model().SetModelType(ScoreModel::kDecisionListModel);
    if (c.models > 0) {
      b.Settings(0, c.redo ? RuleSetModel::firstHit : RuleSetModel::weightedSum,
                 c.categories.empty() ? "A" : "B", 0.7);
    }
    if (c.redo) b.Model().SetCategoriesFromScores({"B", "A"});
    if (c.rule) b.Rule(0, "r0", "A", 1, 0.9, ModelBuilder::True());
    if (c.redo) b.Model().SetUp();
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
      KtScore::KtStatus status;
      const long made = AllocationsIn([&] {
        status = b.Model().GetScore(record.Get(), result, false);
        // Reading the fired identifiers writes them out; that reuses buffers too.
        if (auto* rules = dynamic_cast<RuleSetResult*>(result)) fired += rules->GetFiredRuleIds().size();
      });
      // The first records may size the result and its buffers.
      if (i >= 1000) allocations += made;
      ASSERT_FALSE(status.IsError());
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_GT(fired, 20000u);
    delete result;
  }
}

}  // namespace
}  // namespace KtZembra_940
