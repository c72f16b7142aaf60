// Whether one compiled rule fires: every operator with present, absent,
// missing, unknown-text and not-a-number values, set membership, compound
// operators and constant predicates.
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/CompoundPredicate.h"
#include "host/NumericValue.h"
#include "host/ScoreDictVar.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "model/RuleSetModel.h"
#include "tests/support/ModelBuilder.h"

namespace KtZembra_940 {
namespace {

using testing_support::ModelBuilder;
using testing_support::Scored;
using testing_support::ScoreWith;
using testing_support::TestRecord;
using Op = SimplePredicate::SimplePredOperator;
using PredicateMaker = std::function<ScorePredicate*(ModelBuilder&)>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// What the record holds: a number for x (or nothing, or the field's declared
// missing value -99) and a text for s (or nothing).
struct Input {
  enum { kAbsent, kValue } x;
  double xValue;
  const char* s;  // null: absent
};

Input X(double v) { return {Input::kValue, v, nullptr}; }
Input S(const char* s) { return {Input::kAbsent, 0, s}; }
const Input kNothing = {Input::kAbsent, 0, nullptr};

struct Case {
  const char* name;
  PredicateMaker predicate;
  Input input;
  bool fires;
};

PredicateMaker Num(Op op, double v) {
  return [op, v](ModelBuilder& b) { return b.Simple("x", op, v); };
}
PredicateMaker Txt(Op op, const char* text) {
  return [op, text](ModelBuilder& b) { return b.SimpleText("s", op, text); };
}
PredicateMaker MissingX(bool isMissing) {
  return [isMissing](ModelBuilder& b) { return b.Missing("x", isMissing); };
}
PredicateMaker MissingS(bool isMissing) {
  return [isMissing](ModelBuilder& b) { return b.Missing("s", isMissing); };
}
PredicateMaker NumSet(SetPredicate::SetPredOperator op, std::vector<double> members) {
  return [op, members](ModelBuilder& b) { return b.Set("x", op, members); };
}
PredicateMaker TxtSet(SetPredicate::SetPredOperator op, std::vector<std::string> members) {
  return [op, members](ModelBuilder& b) { return b.SetText("s", op, members); };
}
PredicateMaker Comp(int op, std::vector<PredicateMaker> members) {
  return [op, members](ModelBuilder& b) {
    std::vector<ScorePredicate*> built;
    for (const PredicateMaker& m : members) built.push_back(m(b));
    return ModelBuilder::Compound(op, built);
  };
}
PredicateMaker Always() {
  return [](ModelBuilder&) { return ModelBuilder::True(); };
}
PredicateMaker Never() {
  return [](ModelBuilder&) { return ModelBuilder::False(); };
}

// Builds a one-rule first-hit model around the predicate, scores the input
// with the reference walk and tells whether the rule fired.
bool Fires(const PredicateMaker& predicate, const Input& input) {
  ModelBuilder b;
  b.Numeric("x").Text("s", {"a", "b", "c"}).TextTarget("y", {"yes", "no"});
  b.Var("x")->AddMissingValue(new NumericValue(-99.0));
  b.Start(1);
  b.Settings(0, RuleSetModel::firstHit, "no", 0.1);
  EXPECT_TRUE(b.Rule(0, "R", "yes", 1.0, 0.9, predicate(b)));
  b.Model().SetUseReferenceWalk(true);
  TestRecord record({"x", "s"});
  if (input.x == Input::kValue) record.Number("x", input.xValue);
  if (input.s != nullptr) record.Text("s", input.s);
  ScoreResult* result = nullptr;
  Scored s = ScoreWith(b.Model(), record.Get(), result);
  delete result;
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.prediction, s.fired.empty() ? "no" : "yes");
  return !s.fired.empty();
}

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Fires(c.predicate, c.input), c.fires);
  }
}

TEST(RuleFiring, NumericOperators) {
  const double sysmis = NumericValue::GetSysmisValue();
  RunCases({
      {"equal, same", Num(SimplePredicate::kEqual, 3), X(3), true},
      {"equal, other", Num(SimplePredicate::kEqual, 3), X(4), false},
      {"equal, absent", Num(SimplePredicate::kEqual, 3), kNothing, false},
      {"equal, NaN", Num(SimplePredicate::kEqual, 3), X(kNaN), false},
      {"notEqual, same", Num(SimplePredicate::kNotEqual, 3), X(3), false},
      {"notEqual, other", Num(SimplePredicate::kNotEqual, 3), X(4), true},
      {"notEqual, absent", Num(SimplePredicate::kNotEqual, 3), kNothing, true},
      {"notEqual, NaN", Num(SimplePredicate::kNotEqual, 3), X(kNaN), true},
      {"lessThan, below", Num(SimplePredicate::kLessThan, 10), X(5), true},
      {"lessThan, equal", Num(SimplePredicate::kLessThan, 10), X(10), false},
      {"lessThan, absent", Num(SimplePredicate::kLessThan, 10), kNothing, false},
      {"lessThan, declared missing", Num(SimplePredicate::kLessThan, 10), X(-99), false},
      {"lessThan, system-missing", Num(SimplePredicate::kLessThan, 10), X(sysmis), false},
      {"lessThan, NaN", Num(SimplePredicate::kLessThan, 10), X(kNaN), false},
      {"lessOrEqual, equal", Num(SimplePredicate::kLessOrEqual, 10), X(10), true},
      {"lessOrEqual, above", Num(SimplePredicate::kLessOrEqual, 10), X(10.5), false},
      {"lessOrEqual, absent", Num(SimplePredicate::kLessOrEqual, 10), kNothing, false},
      {"greaterThan, above", Num(SimplePredicate::kGreaterThan, -5), X(0), true},
      {"greaterThan, equal", Num(SimplePredicate::kGreaterThan, -5), X(-5), false},
      {"greaterThan, absent", Num(SimplePredicate::kGreaterThan, -5), kNothing, false},
      {"greaterThan, declared missing", Num(SimplePredicate::kGreaterThan, -1000), X(-99), false},
      {"greaterThan, NaN", Num(SimplePredicate::kGreaterThan, -5), X(kNaN), false},
      {"greaterOrEqual, equal", Num(SimplePredicate::kGreaterOrEqual, 5), X(5), true},
      {"greaterOrEqual, below", Num(SimplePredicate::kGreaterOrEqual, 5), X(4.99), false},
      {"greaterOrEqual, absent", Num(SimplePredicate::kGreaterOrEqual, 5), kNothing, false},
      {"isMissing, absent", MissingX(true), kNothing, true},
      {"isMissing, declared missing", MissingX(true), X(-99), true},
      {"isMissing, present", MissingX(true), X(3), false},
      {"isMissing, NaN is a number", MissingX(true), X(kNaN), false},
      {"isNotMissing, absent", MissingX(false), kNothing, false},
      {"isNotMissing, declared missing", MissingX(false), X(-99), false},
      {"isNotMissing, present", MissingX(false), X(0), true},
  });
}

TEST(RuleFiring, StringOperators) {
  // The texts a, b, c have the codes 0, 1, 2; an absent text encodes as
  // -1, a text the field does not know as NaN (present, equal to nothing).
  RunCases({
      {"equal, same", Txt(SimplePredicate::kEqual, "a"), S("a"), true},
      {"equal, other", Txt(SimplePredicate::kEqual, "a"), S("b"), false},
      {"equal, absent", Txt(SimplePredicate::kEqual, "a"), kNothing, false},
      {"equal, unknown text", Txt(SimplePredicate::kEqual, "a"), S("zz"), false},
      {"equal, case matters", Txt(SimplePredicate::kEqual, "a"), S("A"), false},
      {"notEqual, absent", Txt(SimplePredicate::kNotEqual, "c"), kNothing, true},
      {"notEqual, same", Txt(SimplePredicate::kNotEqual, "c"), S("c"), false},
      {"notEqual, other", Txt(SimplePredicate::kNotEqual, "c"), S("a"), true},
      {"lessThan compares codes", Txt(SimplePredicate::kLessThan, "b"), S("a"), true},
      {"lessThan, later code", Txt(SimplePredicate::kLessThan, "b"), S("c"), false},
      // An absent text encodes as -1, below every code, yet it is missing:
      // the "less" tests are false for it, as for a missing number.
      {"lessThan, absent", Txt(SimplePredicate::kLessThan, "b"), kNothing, false},
      {"lessOrEqual, absent", Txt(SimplePredicate::kLessOrEqual, "b"), kNothing, false},
      {"lessOrEqual, first code", Txt(SimplePredicate::kLessOrEqual, "a"), S("a"), true},
      {"greaterOrEqual, absent", Txt(SimplePredicate::kGreaterOrEqual, "a"), kNothing, false},
      {"isMissing, absent", MissingS(true), kNothing, true},
      {"isMissing, unknown text", MissingS(true), S("zz"), false},
      {"isNotMissing, unknown text", MissingS(false), S("zz"), true},
      {"notEqual, unknown text", Txt(SimplePredicate::kNotEqual, "c"), S("zz"), true},
      {"lessThan, unknown text", Txt(SimplePredicate::kLessThan, "b"), S("zz"), false},
      {"isMissing, first code", MissingS(true), S("a"), false},
      {"isNotMissing, absent", MissingS(false), kNothing, false},
      {"isNotMissing, present", MissingS(false), S("b"), true},
  });
}

TEST(RuleFiring, SetMembership) {
  RunCases({
      {"isIn, member", NumSet(SetPredicate::kIsIn, {1, 2, 5}), X(2), true},
      {"isIn, not member", NumSet(SetPredicate::kIsIn, {1, 2, 5}), X(3), false},
      {"isIn, absent", NumSet(SetPredicate::kIsIn, {1, 2, 5}), kNothing, false},
      {"isIn, NaN matches nothing", NumSet(SetPredicate::kIsIn, {1, kNaN}), X(kNaN), false},
      {"isIn, empty set", NumSet(SetPredicate::kIsIn, {}), X(1), false},
      {"isNotIn, not member", NumSet(SetPredicate::kIsNotIn, {1, 2, 5}), X(3), true},
      {"isNotIn, member", NumSet(SetPredicate::kIsNotIn, {1, 2, 5}), X(2), false},
      {"isNotIn, absent", NumSet(SetPredicate::kIsNotIn, {1, 2, 5}), kNothing, true},
      {"isNotIn, NaN", NumSet(SetPredicate::kIsNotIn, {1, 2, 5}), X(kNaN), true},
      {"text isIn, member", TxtSet(SetPredicate::kIsIn, {"a", "c"}), S("c"), true},
      {"text isIn, other", TxtSet(SetPredicate::kIsIn, {"a", "c"}), S("b"), false},
      {"text isIn, absent", TxtSet(SetPredicate::kIsIn, {"a", "c"}), kNothing, false},
      {"text isNotIn, absent", TxtSet(SetPredicate::kIsNotIn, {"a", "c"}), kNothing, true},
      {"text isNotIn, member", TxtSet(SetPredicate::kIsNotIn, {"a", "c"}), S("a"), false},
  });
}

TEST(RuleFiring, Compounds) {
  const int kOr = CompoundPredicate::kOr;
  const int kAnd = CompoundPredicate::kAnd;
  const int kXor = CompoundPredicate::kXor;
  const int kSurrogate = CompoundPredicate::kSurrogate;
  // With x = 5 and s = "a": yes and no are a holding and a failing member.
  const PredicateMaker yes = Num(SimplePredicate::kGreaterThan, 1);
  const PredicateMaker no = Num(SimplePredicate::kLessThan, 1);
  const PredicateMaker yesText = Txt(SimplePredicate::kEqual, "a");
  const Input in = {Input::kValue, 5, "a"};
  RunCases({
      {"or without members", Comp(kOr, {}), in, false},
      {"and without members", Comp(kAnd, {}), in, false},
      {"xor without members", Comp(kXor, {}), in, false},
      {"or, one holds", Comp(kOr, {no, yesText}), in, true},
      {"or, none holds", Comp(kOr, {no, no}), in, false},
      {"and, all hold", Comp(kAnd, {yes, yesText}), in, true},
      {"and, one fails", Comp(kAnd, {yes, no}), in, false},
      {"xor of three that hold", Comp(kXor, {yes, yesText, yes}), in, true},
      {"xor of two that hold", Comp(kXor, {yes, yesText}), in, false},
      {"xor of two that hold and one that fails", Comp(kXor, {yes, no, yesText}), in, false},
      {"xor over nested compounds", Comp(kXor, {Comp(kAnd, {yes}), no, Comp(kOr, {no})}), in, true},
      {"and stops at a false compound member",
       Comp(kAnd, {yes, Comp(kOr, {no})}), in, false},
      {"or: compound members first",
       Comp(kOr, {no, Comp(kAnd, {yes, yesText})}), in, true},
      // A surrogate: the first member whose inputs are not missing decides,
      // in document order; all missing: false.
      {"surrogate: the first member decides (holds)",
       Comp(kSurrogate, {yes, Comp(kAnd, {no})}), in, true},
      {"surrogate: the first member decides (fails)",
       Comp(kSurrogate, {no, Comp(kAnd, {yes})}), in, false},
      {"surrogate: a nested compound first decides",
       Comp(kSurrogate, {Comp(kAnd, {yes}), no}), in, true},
      {"surrogate: a member on a missing value passes on",
       Comp(kSurrogate, {Num(SimplePredicate::kGreaterThan, 5), yesText}), S("a"), true},
      {"surrogate: a missing text passes on",
       Comp(kSurrogate, {Txt(SimplePredicate::kEqual, "b"), no}), X(0), true},
      {"surrogate: every member on a missing value",
       Comp(kSurrogate, {Num(SimplePredicate::kNotEqual, 5), Txt(SimplePredicate::kNotEqual, "b")}),
       kNothing, false},
      {"nested and/or",
       Comp(kAnd, {yes, Comp(kOr, {Txt(SimplePredicate::kEqual, "b"),
                                   NumSet(SetPredicate::kIsIn, {2, 5})})}),
       in, true},
      {"nested and/or, inner fails",
       Comp(kAnd, {yes, Comp(kOr, {Txt(SimplePredicate::kEqual, "b"),
                                   NumSet(SetPredicate::kIsIn, {2, 6})})}),
       in, false},
  });
}

TEST(RuleFiring, Constants) {
  const int kOr = CompoundPredicate::kOr;
  const int kAnd = CompoundPredicate::kAnd;
  const int kXor = CompoundPredicate::kXor;
  const PredicateMaker yes = Num(SimplePredicate::kGreaterThan, 1);
  const PredicateMaker no = Num(SimplePredicate::kLessThan, 1);
  const Input in = {Input::kValue, 5, "a"};
  RunCases({
      {"True rule fires on anything", Always(), kNothing, true},
      {"True rule fires on a value", Always(), X(1), true},
      {"False rule never fires", Never(), X(1), false},
      {"or with True holds whatever else", Comp(kOr, {no, Always()}), in, true},
      {"and with False fails whatever else", Comp(kAnd, {yes, Never()}), in, false},
      {"and with True decides by the rest", Comp(kAnd, {Always(), yes}), in, true},
      {"and with True decides by the rest (fails)", Comp(kAnd, {Always(), no}), in, false},
      {"or with False decides by the rest", Comp(kOr, {Never(), yes}), in, true},
      // Under xor a constant counts like any member, and the members after
      // it still test their own variables.
      {"xor True with a holding member", Comp(kXor, {Always(), yes}), in, false},
      {"xor True with a failing member", Comp(kXor, {Always(), no}), in, true},
      {"xor False, then a text member", Comp(kXor, {Never(), Txt(SimplePredicate::kEqual, "a")}),
       in, true},
  });
}

TEST(RuleFiring, DeepNestingScores) {
  // 500 levels of "and" around one comparison.
  auto nested = [](ModelBuilder& b) {
    ScorePredicate* p = b.Simple("x", SimplePredicate::kGreaterThan, 1);
    for (int level = 0; level < 500; ++level) {
      p = ModelBuilder::Compound(CompoundPredicate::kAnd, {p});
    }
    return p;
  };
  EXPECT_TRUE(Fires(nested, X(2)));
  EXPECT_FALSE(Fires(nested, X(0)));
}

TEST(RuleFiring, SeveralVariablesKeepTheirIndices) {
  // Rules over x and s in both orders: each condition reads its own
  // variable, whatever order the variables were first used in.
  ModelBuilder b;
  b.Numeric("x").Text("s", {"a", "b"}).Numeric("z").TextTarget("y", {"yes", "no"});
  b.Start(1);
  b.Settings(0, RuleSetModel::weightedMax, "no", 0.0);
  ASSERT_TRUE(b.Rule(0, "z", "yes", 1, 1, b.Simple("z", SimplePredicate::kEqual, 7)));
  ASSERT_TRUE(b.Rule(0, "sx", "yes", 1, 1,
                     ModelBuilder::Compound(CompoundPredicate::kAnd,
                                            {b.SimpleText("s", SimplePredicate::kEqual, "b"),
                                             b.Simple("x", SimplePredicate::kEqual, 3)})));
  ASSERT_TRUE(b.Rule(0, "x", "yes", 1, 1, b.Simple("x", SimplePredicate::kEqual, 7)));
  b.Model().SetUseReferenceWalk(true);
  TestRecord record({"z", "x", "s"});
  ScoreResult* result = nullptr;
  Scored s = ScoreWith(b.Model(), record.Number("z", 7).Number("x", 3).Text("s", "b").Get(), result);
  EXPECT_EQ(s.fired, (std::vector<std::string>{"z", "sx"}));
  s = ScoreWith(b.Model(), record.Clear().Number("x", 7).Text("s", "b").Get(), result);
  EXPECT_EQ(s.fired, (std::vector<std::string>{"x"}));
  delete result;
}

}  // namespace
}  // namespace KtZembra_940
