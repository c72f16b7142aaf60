// Compiling predicates the translator never hands over: odd kinds, missing
// variables, many categories, constant members, nesting bounds
// and the ownership of the predicates (compiled documents are rows of
// tests/data/scenarios/compile.txt and rules.txt).

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "host/BaseDictionary.h"
#include "host/CompoundPredicate.h"
#include "host/FalsePredicate.h"
#include "host/NumericValue.h"
#include "host/PMMLTranslator.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "host/StringValue.h"
#include "host/TruePredicate.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "tests/support/CaseFile.h"

namespace KtZembra_940 {
namespace {

static_assert(RuleSetModel::kMaxConditionDepth >= PMMLTranslator::kMaxPredicateDepth,
              "every predicate the host parser builds must compile");

using Rule = RuleSetModel::ST_Rule;
using Comp = RuleSetModel::ST_COMP_Condition;
using Sim = RuleSetModel::ST_SIM_Condition;

// Counts destructions so that tests can see a predicate being consumed.
class CountedTrue : public TruePredicate {
 public:
  explicit CountedTrue(int* deaths) : deaths_(deaths) {}
  ~CountedTrue() override { ++*deaths_; }

 private:
  int* deaths_;
};

// A predicate of a kind the compile does not know.
class OddPredicate : public ScorePredicate {
 public:
  OddPredicate(int type, int* deaths) : type_(type), deaths_(deaths) {}
  ~OddPredicate() override { ++*deaths_; }
  int GetPredType() const override { return type_; }

 private:
  int type_;
  int* deaths_;
};

// A simple predicate that has no split to name its variable.
class SplitlessSimple : public SimplePredicate {
 public:
  explicit SplitlessSimple(const ScoreDictVar* var)
      : SimplePredicate(var, kGreaterThan, 1.0, "1", true) {}
  const ScoreSplitVar* GetSplit() const override { return nullptr; }
};

class Compile : public ::testing::Test {
 protected:
  Compile() {
    risk = Add(new ScoreDictVar("risk", ScoreDictVar::kString, ScoreDictVar::kNominal));
    risk->AddValidValue(new StringValue("high"));
    risk->AddValidValue(new StringValue("low"));
    age = Add(new ScoreDictVar("age", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous));
    a = Add(new ScoreDictVar("a", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous));
    b = Add(new ScoreDictVar("b", ScoreDictVar::kString, ScoreDictVar::kNominal));
    b->AddValidValue(new StringValue("w"));
    b->AddValidValue(new StringValue("x"));
    c = Add(new ScoreDictVar("c", ScoreDictVar::kNumeric, ScoreDictVar::kNominal));
    Reset();
  }

  // A fresh model of two rule sets over the fixture's dictionary.
  void Reset() {
    model.reset(new RuleSetModel());
    model->SetScoreDictionary(dictionary.get(), false);
    model->SetNumberOfModels(2);
    model->SetVarRole("risk", ScoreModel::kTargetRole);
    model->SetUp();
  }

  ScoreDictVar* Add(ScoreDictVar* var) {
    dictionary->AddVar(var->GetName(), var);
    return var;
  }

  // A rule record that the test keeps (the compile only reads it).
  SimpleRule* MakeRule(const std::string& id, const std::string& score) {
    rules.emplace_back(new SimpleRule(id));
    rules.back()->SetScoreValue(score);
    return rules.back().get();
  }

  bool AddTo(int m, ScorePredicate* predicate, const std::string& score = "high") {
    return model->AddPredicateToRule(m, MakeRule("R" + std::to_string(rules.size()), score),
                                     predicate);
  }

  const std::vector<Rule>& Rules(size_t m = 0) const {
    return model->GetCompiledRuleSets().at(m)->rules;
  }

  static SimplePredicate* Greater(const ScoreDictVar* var, double v) {
    return new SimplePredicate(var, SimplePredicate::kGreaterThan, v, std::to_string(v), true);
  }
  static ScorePredicate* Compound(int op, std::vector<ScorePredicate*> members) {
    return new CompoundPredicate(op, std::move(members));
  }

  std::unique_ptr<ScoreDictionary> dictionary{new BaseDictionary()};
  ScoreDictVar* risk;
  ScoreDictVar* age;
  ScoreDictVar* a;
  ScoreDictVar* b;
  ScoreDictVar* c;
  std::vector<std::unique_ptr<SimpleRule>> rules;
  std::unique_ptr<RuleSetModel> model;
};

// A string target with many categories: each score text finds its own
// category, also after the category table is built a second time.
TEST(CompileManyCategories, ScoreTextsFindTheirCategories) {
  BaseDictionary dictionary;
  auto* y = new ScoreDictVar("y", ScoreDictVar::kString, ScoreDictVar::kNominal);
  for (int k = 0; k < 200; ++k) y->AddValidValue(new StringValue("c" + std::to_string(k)));
  dictionary.AddVar("y", y);
  RuleSetModel model;
  model.SetScoreDictionary(&dictionary, false);
  model.SetNumberOfModels(1);
  model.SetVarRole("y", ScoreModel::kTargetRole);
  ASSERT_TRUE(model.SetUp());
  ASSERT_TRUE(model.SetUp());
  ASSERT_EQ(model.GetNumbOfCategories(), 200);
  SimpleRule rule("R1");
  for (int k : {0, 1, 117, 199}) {
    rule.SetScoreValue("c" + std::to_string(k));
    ASSERT_TRUE(model.AddPredicateToRule(0, &rule, new TruePredicate()));
    EXPECT_EQ(model.GetCompiledRuleSets()[0]->rules.back().scoreIndex, k);
  }
  for (const char* unknown : {"c200", "C1", ""}) {
    rule.SetScoreValue(unknown);
    ASSERT_TRUE(model.AddPredicateToRule(0, &rule, new TruePredicate()));
    EXPECT_EQ(model.GetCompiledRuleSets()[0]->rules.back().scoreIndex, 0) << unknown;
  }
  model.SetDefaultScore("c42", 0);
  EXPECT_EQ(model.GetDefaultScoreIndex(), std::vector<int32_t>{42});
}

TEST_F(Compile, FirstPredicateOfALaterModelLeavesEarlierSlotsEmpty) {
  ASSERT_TRUE(AddTo(1, new FalsePredicate()));
  ASSERT_EQ(model->GetCompiledRuleSets().size(), 2u);
  EXPECT_EQ(model->GetCompiledRuleSets()[0], nullptr);
  ASSERT_EQ(Rules(1).size(), 1u);
  EXPECT_EQ(Rules(1)[0].fixedResult, 2);
  EXPECT_TRUE(Rules(1)[0].conditions.empty());
  EXPECT_TRUE(model->GetPredVars().empty());
}

TEST_F(Compile, InvalidArgumentsLeaveThePredicateToTheCaller) {
  int deaths = 0;
  auto* predicate = new CountedTrue(&deaths);
  SimpleRule* rule = MakeRule("R1", "high");
  EXPECT_FALSE(model->AddPredicateToRule(-1, rule, predicate));
  EXPECT_FALSE(model->AddPredicateToRule(0, nullptr, predicate));
  EXPECT_FALSE(model->AddPredicateToRule(0, rule, nullptr));
  EXPECT_EQ(deaths, 0);
  EXPECT_TRUE(model->GetCompiledRuleSets().empty());
  delete predicate;
  EXPECT_EQ(deaths, 1);
}

// Every predicate handed over is consumed, whether it compiles or not (a
// compound's members with it). A kind the compile does not know, or one that
// does not match its class, is refused at the top and in a compound; an
// unknown member kind (or a null member) is passed over; a predicate without
// a variable is refused, and in a compound takes the whole rule, the
// variables of members compiled before it staying registered.
TEST_F(Compile, EachPredicateIsConsumedOnce) {
  int deaths = 0;
  const struct {
    const char* name;
    std::function<ScorePredicate*()> make;
    bool compiles;
    int deaths;
    size_t rules;                      // rules of rule set 0 afterwards
    std::vector<int32_t> varIndices;   // of the rule's first compound, when it compiles
    std::vector<const ScoreDictVar*> predVars;
  } cases[] = {
      {"True", [&] { return new CountedTrue(&deaths); }, true, 1, 1, {}, {}},
      {"unknown kind", [&] { return new OddPredicate(9, &deaths); }, false, 1, 0, {}, {}},
      {"xor of two Trues", [&] { return Compound(CompoundPredicate::kXor, {new CountedTrue(&deaths), new CountedTrue(&deaths)}); },
       true, 2, 1, {-1, -1}, {}},
      {"compound kind, not its class", [&] { return new OddPredicate(ScorePredicate::kCompound, &deaths); }, false, 1, 0, {}, {}},
      {"simple kind, not its class", [&] { return new OddPredicate(ScorePredicate::kSimple, &deaths); }, false, 1, 0, {}, {}},
      {"set kind in a compound", [&] { return Compound(CompoundPredicate::kAnd, {new OddPredicate(ScorePredicate::kSet, &deaths)}); },
       false, 1, 0, {}, {}},
      {"unknown member kind and a null member",
       [&] { return Compound(CompoundPredicate::kOr, {new OddPredicate(8, &deaths), Greater(a, 1), nullptr}); }, true, 1, 1,
       {0}, {a}},
      {"simple without a split", [&] { return new SplitlessSimple(b); }, false, 0, 0, {}, {}},
      {"simple without a variable", [&] { return Greater(nullptr, 1); }, false, 0, 0, {}, {}},
      {"set without a variable", [&] { return new SetPredicate(nullptr, SetPredicate::kIsIn, {1}, {"1"}); }, false, 0, 0, {}, {}},
      {"compound failing in its middle",
       [&] { return Compound(CompoundPredicate::kAnd, {Greater(c, 2), new SplitlessSimple(b), Greater(age, 1)}); }, false, 0, 0,
       {}, {c}},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    Reset();
    deaths = 0;
    EXPECT_EQ(AddTo(0, row.make()), row.compiles);
    EXPECT_EQ(deaths, row.deaths);
    const std::vector<RuleSetModel::ST_RuleSet*>& sets = model->GetCompiledRuleSets();
    ASSERT_EQ(sets.empty() || sets[0] == nullptr ? 0 : Rules().size(), row.rules);
    if (row.rules == 1 && !Rules()[0].compConditions.empty()) {
      EXPECT_EQ(Rules()[0].compConditions[0].varIndices, row.varIndices);
    }
    EXPECT_EQ(model->GetPredVars(), row.predVars);
    EXPECT_EQ(model->GetVarRole(b), ScoreModel::kNoRole);
  }
}

// The constant members compile as they mean: every row of
// tests/data/cases/constant_members.txt.
TEST_F(Compile, ConstantMembers) {
  for (const testing_support::CaseLine& row : testing_support::ReadDataCases("constant_members.txt")) {
    SCOPED_TRACE(row.where + " " + row.fields[0]);
    const int op = row.fields[1] == "or"    ? CompoundPredicate::kOr
                   : row.fields[1] == "and" ? CompoundPredicate::kAnd
                                            : CompoundPredicate::kXor;
    std::vector<ScorePredicate*> members;
    for (const char kind : row.fields[2]) {
      if (kind == 'T') members.push_back(new TruePredicate());
      if (kind == 'F') members.push_back(new FalsePredicate());
      if (kind == 's') members.push_back(Greater(a, 1));
    }
    ASSERT_TRUE(AddTo(0, Compound(op, members)));
    const Comp& k = Rules().back().compConditions.at(0);
    EXPECT_EQ(k.boolOperator, op);
    EXPECT_EQ(k.fixedResult, std::stoi(row.fields[3]));
    std::string kinds;
    std::string vars;
    for (size_t i = 0; i < k.conditions.size(); ++i) {
      const Sim& s = k.conditions[i];
      EXPECT_EQ(s.isSimple + s.isSet + s.isTrue + s.isFalse, 1);
      kinds += std::string(i == 0 ? "" : " ") + (s.isSimple ? "s" : s.isTrue ? "T" : s.isFalse ? "F" : "?");
      vars += (i == 0 ? "" : " ") + std::to_string(k.varIndices.at(i));
    }
    EXPECT_EQ(kinds, row.fields[4]);
    EXPECT_EQ(vars, row.fields[5]);
    EXPECT_EQ(k.varIndices.size(), k.conditions.size());
  }
  EXPECT_EQ(model->GetPredVars(), std::vector<const ScoreDictVar*>{a});
}

// and(and(...and(a > 1)...)) with `depth` compounds.
ScorePredicate* Chain(int depth, const ScoreDictVar* var) {
  ScorePredicate* inner = new SimplePredicate(var, SimplePredicate::kGreaterThan, 1, "1", true);
  for (int level = 0; level < depth; ++level) {
    inner = new CompoundPredicate(level % 2 == 0 ? CompoundPredicate::kAnd : CompoundPredicate::kOr,
                                  {inner});
  }
  return inner;
}

// Up to the bound a chain compiles whole (the model's destruction releases
// the deep trees: sanitizer build); one level more is refused.
TEST_F(Compile, NestingIsBounded) {
  for (int depth : {PMMLTranslator::kMaxPredicateDepth, RuleSetModel::kMaxConditionDepth}) {
    ASSERT_TRUE(AddTo(0, Chain(depth, a))) << depth;
    const Comp* k = &Rules().back().compConditions.at(0);
    int levels = 1;
    while (!k->compConditions.empty()) {
      k = &k->compConditions[0];
      ++levels;
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(k->varIndices, std::vector<int32_t>{0});
  }
  EXPECT_FALSE(AddTo(0, Chain(RuleSetModel::kMaxConditionDepth + 1, a)));
  EXPECT_EQ(Rules().size(), 2u);
}

}  // namespace
}  // namespace KtZembra_940
