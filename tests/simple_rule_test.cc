// The rule record: its score distribution, and the ownership of split
// variables and values across copies, assignment and packing.

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/DiscreteSplit.h"
#include "host/NumericValue.h"
#include "host/Range.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"
#include "host/StringValue.h"
#include "model/SimpleRule.h"
#include "tests/support/Displayed.h"

namespace KtZembra_940 {
namespace {

using testing_support::Displayed;

// A split of `var` holding the given member texts.
ScoreSplitVar* MakeSplit(const ScoreDictVar* var, const std::vector<std::string>& members) {
  auto* split = new DiscreteSplit(var);
  int index = 0;
  for (const std::string& m : members) split->PutSplit(new StringValue(m), index++);
  return split;
}

// The distribution takes values over (a null one is refused) and answers
// the percent of the first value equal to the one asked for.
TEST(SimpleRule, PercentOfFirstEqualValue) {
  SimpleRule rule("R");
  StringValue a("A");
  EXPECT_EQ(rule.GetPercent(&a), -1.0);  // empty distribution
  EXPECT_FALSE(rule.AddValuePercent(nullptr, 0.5));
  EXPECT_TRUE(rule.GetAllValuePercent().empty());

  auto* first = new StringValue("A");
  EXPECT_TRUE(rule.AddValuePercent(first, 0.25));
  EXPECT_EQ(rule.GetAllValuePercent()[0].first, first);  // taken over, not copied
  rule.AddValuePercent(new StringValue("B"), 0.75);
  rule.AddValuePercent(new StringValue("A"), 0.9);
  rule.AddValuePercent(new NumericValue(2), 0.1);
  const StringValue b("B"), c("C"), lowerA("a"), two("2");
  const NumericValue numericTwo(2.0), three(3.0);
  const struct {
    const ScoreValue* value;
    double percent;
  } cases[] = {
      {&a, 0.25}, {&b, 0.75}, {&c, -1.0}, {&lowerA, -1.0}, {nullptr, -1.0},
      {&numericTwo, 0.1}, {&two, 0.1}, {&three, -1.0},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(rule.GetPercent(row.value), row.percent)
        << (row.value != nullptr ? row.value->GetString() : "null");
  }
}

// A copy, and an assignment over a record that held other splits and
// values, answer as the source does and own clones of its splits and values
// (every record deletes what it owns when it goes: sanitizer build); so does
// a self-assignment, which keeps the very objects.
TEST(SimpleRule, CopyAndAssignmentCloneSplitsAndValues) {
  ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  SimpleRule source("R1");
  source.SetRuleLabel("label");
  source.SetScoreValue("yes");
  source.SetTargetVariableName("risk");
  source.SetRecordCount(12.5);
  source.SetnbCorrect(3);
  source.SetRuleConfidence(0.5);
  source.SetRuleWeight(2);
  source.SetDisabled(true);
  source.SetSearchDirection(SimpleRule::down);
  std::vector<ScoreSplitVar*> splits{MakeSplit(&colour, {"red"}), nullptr,
                                     MakeSplit(&colour, {"green", "blue"})};
  source.SetSplitVar(splits);
  source.AddValuePercent(new StringValue("yes"), 0.75);
  source.AddValuePercent(new NumericValue(4), 0.25);
  const std::string shown = Displayed(source);
  ASSERT_NE(shown.find("green"), std::string::npos);

  SimpleRule copy(source);
  SimpleRule assigned("T");
  std::vector<ScoreSplitVar*> old{MakeSplit(&colour, {"a"}), MakeSplit(&colour, {"b"}),
                                  MakeSplit(&colour, {"c"}), MakeSplit(&colour, {"d"})};
  assigned.SetSplitVar(old);
  assigned.AddValuePercent(new StringValue("x"), 0.1);
  assigned = source;
  for (const SimpleRule* rule : {&copy, &assigned}) {
    EXPECT_EQ(Displayed(*rule), shown);
    EXPECT_TRUE(rule->IsDisabled());
    EXPECT_EQ(rule->GetSearchDirection(), SimpleRule::down);
    ASSERT_EQ(rule->GetSplitVar().size(), 3u);
    EXPECT_EQ(rule->GetSplitVar()[1], nullptr);
    EXPECT_NE(rule->GetSplitVar()[0], splits[0]);
    EXPECT_NE(rule->GetSplitVar()[2], splits[2]);
    ASSERT_EQ(rule->GetAllValuePercent().size(), 2u);
    EXPECT_NE(rule->GetAllValuePercent()[1].first, source.GetAllValuePercent()[1].first);
  }
  const ScoreSplitVar* held = assigned.GetSplitVar()[2];
  SimpleRule& alias = assigned;
  assigned = alias;
  EXPECT_EQ(assigned.GetSplitVar()[2], held);
  EXPECT_EQ(Displayed(assigned), shown);
}

TEST(SimpleRule, SetSplitVarTakesOverAndReleasesTheRest) {
  ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  SimpleRule rule("R");
  ScoreSplitVar* kept = MakeSplit(&colour, {"a"});
  std::vector<ScoreSplitVar*> first{kept, MakeSplit(&colour, {"b"})};
  rule.SetSplitVar(first);
  EXPECT_EQ(rule.GetSplitVar(), first);

  // A split handed over again stays alive; the one left out is deleted.
  std::vector<ScoreSplitVar*> second{MakeSplit(&colour, {"c"}), kept};
  rule.SetSplitVar(second);
  EXPECT_EQ(rule.GetSplitVar(), second);
  EXPECT_FALSE(Displayed(*kept).empty());

  // The record's own list changes nothing.
  rule.SetSplitVar(const_cast<std::vector<ScoreSplitVar*>&>(rule.GetSplitVar()));
  EXPECT_EQ(rule.GetSplitVar(), second);
}

// Packed splits answer what the objects did: the dump, the split texts and
// indices, null entries in place, other kinds kept as the same objects; a
// copy, an assignment and a new list work on a packed rule as on any other.
TEST(SimpleRule, PackedSplitsAnswerAsTheObjects) {
  ScoreDictVar age("age", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  auto scale = [&age](std::vector<Range*> ranges, int index, int missval) {
    auto* split = new ScaleSplit(&age);
    for (Range* range : ranges) split->PutSplit(range, index);
    split->SetMissvalMap(missval);
    return split;
  };
  auto range = [](double low, double high, bool lowClosed, bool highClosed) {
    return new Range(new NumericValue(low), new NumericValue(high), lowClosed, highClosed);
  };
  const double inf = std::numeric_limits<double>::infinity();
  ScoreSplitVar* other = MakeSplit(&colour, {"red", "blue"});
  std::vector<ScoreSplitVar*> splits{
      scale({range(3, 7.25, false, true)}, 4, 4), nullptr, other,
      scale({range(-inf, 1, false, false), range(5, inf, true, false)}, 2, -2),
      scale({range(-inf, inf, true, true)}, 0, ScoreSplitVar::kMissvalUnset)};
  SimpleRule rule("R");
  rule.SetSplitVar(splits);
  std::vector<std::string> texts;
  for (const ScoreSplitVar* split : splits) texts.push_back(split ? Displayed(*split) : "null");
  const std::string before = Displayed(rule);

  auto expectSame = [&texts](const SimpleRule& r) {
    const std::vector<ScoreSplitVar*>& got = r.GetSplitVar();
    ASSERT_EQ(got.size(), texts.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k] ? Displayed(*got[k]) : "null", texts[k]) << k;
    }
    EXPECT_EQ(&r.GetSplitVar(), &got);  // made once
  };
  rule.PackSplits();
  EXPECT_EQ(Displayed(rule), before);
  expectSame(rule);
  EXPECT_EQ(rule.GetSplitVar()[2], other);
  const auto* first = dynamic_cast<const ScaleSplit*>(rule.GetSplitVar()[0]);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetSplitIndices(), std::vector<int>{4});
  EXPECT_EQ(first->GetMissvalMap(), 4);

  SimpleRule copy(rule);
  expectSame(copy);
  EXPECT_NE(copy.GetSplitVar()[2], other);
  SimpleRule assigned("A");
  assigned = copy;
  expectSame(assigned);
  // Handing a packed rule its own list keeps the splits, now as objects.
  rule.SetSplitVar(const_cast<std::vector<ScoreSplitVar*>&>(rule.GetSplitVar()));
  expectSame(rule);
  EXPECT_EQ(rule.GetSplitVar()[2], other);
  EXPECT_EQ(Displayed(rule), before);
}

}  // namespace
}  // namespace KtZembra_940
