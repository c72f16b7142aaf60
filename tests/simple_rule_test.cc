// The rule record: construction, statistics, score distribution, and the
// ownership of split variables and values across copies and assignment.

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

namespace KtZembra_940 {
namespace {

std::string SplitText(const ScoreSplitVar* split) {
  std::ostringstream os;
  split->Display(os);
  return os.str();
}

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

TEST(SimpleRule, CopyClonesSplitsAndValues) {
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
  source.AddValuePercent(new StringValue("no"), 0.25);

  SimpleRule copy(source);
  EXPECT_EQ(copy.GetRuleID(), "R1");
  EXPECT_EQ(copy.GetRuleLabel(), "label");
  EXPECT_EQ(copy.GetScoreValue(), "yes");
  EXPECT_EQ(copy.GetTargetVariableName(), "risk");
  EXPECT_EQ(copy.GetRecordCount(), 12);
  EXPECT_EQ(copy.GetnbCorrect(), 3);
  EXPECT_EQ(copy.GetRuleConfidence(), 0.5);
  EXPECT_EQ(copy.GetRuleWeight(), 2.0);
  EXPECT_TRUE(copy.IsDisabled());
  EXPECT_EQ(copy.GetSearchDirection(), SimpleRule::down);

  ASSERT_EQ(copy.GetSplitVar().size(), 3u);
  EXPECT_EQ(copy.GetSplitVar()[1], nullptr);
  for (size_t k : {0u, 2u}) {
    ASSERT_NE(copy.GetSplitVar()[k], nullptr);
    EXPECT_NE(copy.GetSplitVar()[k], source.GetSplitVar()[k]);
    EXPECT_EQ(SplitText(copy.GetSplitVar()[k]), SplitText(source.GetSplitVar()[k]));
  }
  ASSERT_EQ(copy.GetAllValuePercent().size(), 2u);
  EXPECT_NE(copy.GetAllValuePercent()[0].first, source.GetAllValuePercent()[0].first);
  EXPECT_EQ(copy.GetAllValuePercent()[0].first->GetString(), "yes");
  EXPECT_EQ(copy.GetAllValuePercent()[1].first->GetString(), "no");
  EXPECT_EQ(copy.GetAllValuePercent()[1].second, 0.25);
  // Both records delete what they own when they go (sanitizer build).
}

TEST(SimpleRule, AssignmentReplacesWhatWasHeld) {
  ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  SimpleRule target("T");
  std::vector<ScoreSplitVar*> old{MakeSplit(&colour, {"a"}), MakeSplit(&colour, {"b"}),
                                  MakeSplit(&colour, {"c"})};
  target.SetSplitVar(old);
  target.AddValuePercent(new StringValue("x"), 0.1);
  target.AddValuePercent(new StringValue("y"), 0.2);
  target.AddValuePercent(new StringValue("z"), 0.3);

  SimpleRule source("S");
  std::vector<ScoreSplitVar*> fresh{nullptr, MakeSplit(&colour, {"red"})};
  source.SetSplitVar(fresh);
  source.AddValuePercent(new NumericValue(4), 0.5);
  source.SetScoreValue("four");

  target = source;
  EXPECT_EQ(target.GetRuleID(), "S");
  EXPECT_EQ(target.GetScoreValue(), "four");
  ASSERT_EQ(target.GetSplitVar().size(), 2u);
  EXPECT_EQ(target.GetSplitVar()[0], nullptr);
  ASSERT_NE(target.GetSplitVar()[1], nullptr);
  EXPECT_NE(target.GetSplitVar()[1], source.GetSplitVar()[1]);
  EXPECT_EQ(SplitText(target.GetSplitVar()[1]), SplitText(source.GetSplitVar()[1]));
  ASSERT_EQ(target.GetAllValuePercent().size(), 1u);
  EXPECT_EQ(target.GetAllValuePercent()[0].first->GetDouble(), 4.0);
  EXPECT_EQ(target.GetAllValuePercent()[0].second, 0.5);

  // Self-assignment keeps everything, the owned objects included.
  const ScoreSplitVar* held = target.GetSplitVar()[1];
  SimpleRule& alias = target;
  target = alias;
  ASSERT_EQ(target.GetSplitVar().size(), 2u);
  EXPECT_EQ(target.GetSplitVar()[1], held);
  EXPECT_EQ(SplitText(held), SplitText(source.GetSplitVar()[1]));
  EXPECT_EQ(target.GetAllValuePercent().size(), 1u);
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
  EXPECT_FALSE(SplitText(kept).empty());

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
  for (const ScoreSplitVar* split : splits) texts.push_back(split ? SplitText(split) : "null");
  std::ostringstream before;
  rule.Display(before);

  auto expectSame = [&texts](const SimpleRule& r) {
    const std::vector<ScoreSplitVar*>& got = r.GetSplitVar();
    ASSERT_EQ(got.size(), texts.size());
    for (size_t k = 0; k < got.size(); ++k) {
      EXPECT_EQ(got[k] ? SplitText(got[k]) : "null", texts[k]) << k;
    }
    EXPECT_EQ(&r.GetSplitVar(), &got);  // made once
  };
  rule.PackSplits();
  std::ostringstream packed;
  rule.Display(packed);
  EXPECT_EQ(packed.str(), before.str());
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
  std::ostringstream after;
  rule.Display(after);
  EXPECT_EQ(after.str(), before.str());
}

}  // namespace
}  // namespace KtZembra_940
