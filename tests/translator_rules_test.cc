// Reading rules where a scenario row cannot show it: the displayed count of a
// rule past the int range, and CompoundRule nesting at its limits (the
// attributes, distributions, extensions, compiled rules and refusals of rules
// are rows of tests/data/scenarios/rules.txt).

#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/TranslatedDocument.h"
#include "host/ErrorCodes.h"
#include "host/PMMLTranslator.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"

namespace KtZembra_940 {
namespace {

const char kDictionary[] = R"(
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="num" optype="categorical" dataType="integer">
      <Value value="1"/><Value value="2"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="size" optype="continuous" dataType="double"/>
    <DataField name="colour" optype="categorical" dataType="string">
      <Value value="red"/><Value value="green"/><Value value="blue"/>
    </DataField>
  </DataDictionary>)";

const char kRiskTarget[] = R"(<MiningField name="risk" usageType="predicted"/>)";
const char kPredictors[] =
    R"(<MiningField name="age"/><MiningField name="size"/><MiningField name="colour"/>)";

// A document with one rule-set model; `rules` is the body of its RuleSet.
std::string Document(const std::string& rules, const std::string& criterion = "firstHit",
                     const std::string& target = kRiskTarget,
                     const std::string& ruleSetAttributes = R"(defaultScore="low")") {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4">)") +
         kDictionary + R"(<RuleSetModel functionName="classification"><MiningSchema>)" + target +
         kPredictors + "</MiningSchema><RuleSet " + ruleSetAttributes +
         "><RuleSelectionMethod criterion=\"" + criterion + "\"/>" + rules +
         "</RuleSet></RuleSetModel></PMML>";
}

std::string Simple(const std::string& field, const std::string& op, const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value +
         "\"/>";
}

std::string Rule(const std::string& id, const std::string& score, const std::string& body,
                 const std::string& attributes = "") {
  return "<SimpleRule id=\"" + id + "\" score=\"" + score + "\" " + attributes + ">" + body +
         "</SimpleRule>";
}

std::string CompoundRule(const std::string& predicate, const std::string& rules) {
  return "<CompoundRule>" + predicate + rules + "</CompoundRule>";
}

using Translated = testing_support::TranslatedDocument;
using Failure = testing_support::TranslationFailure;

std::unique_ptr<Translated> Translate(const std::string& pmml) {
  return testing_support::TranslateDocument(pmml, "rules.pmml");
}

Failure FailureOf(const std::string& pmml) {
  return testing_support::TranslationFailureOf(pmml, "rules.pmml");
}

// Counts past the int range are shares of the whole count, as shown.
TEST(ScoreDistribution, LargeCountsKeepTheirShares) {
  std::unique_ptr<Translated> t = Translate(Document(Rule(
      "R1", "high",
      R"(<True/><ScoreDistribution value="high" recordCount="1.5e9"/>
         <ScoreDistribution value="low" recordCount="1.5e9"/>)",
      R"(recordCount="3e9")")));
  ASSERT_NE(t->model, nullptr);
  std::ostringstream dump;
  t->Rules()[0]->Display(dump);
  EXPECT_NE(dump.str().find("recoredCount: 3e+09\n"), std::string::npos) << dump.str();
  EXPECT_NE(dump.str().find("Score Value distribution:\nhigh: 0.5\nlow: 0.5\n"), std::string::npos)
      << dump.str();
}

std::string And(const std::string& members) {
  return "<CompoundPredicate booleanOperator=\"and\">" + members + "</CompoundPredicate>";
}

std::string NestedCompoundRules(int depth, const std::string& innermost) {
  std::string open;
  std::string close;
  for (int i = 0; i < depth; ++i) {
    open += "<CompoundRule>" + Simple("age", "greaterThan", std::to_string(i));
    close += "</CompoundRule>";
  }
  return open + innermost + close;
}

TEST(CompoundRule, NestingUpToTheLimit) {
  const int limit = PMMLTranslator::kMaxPredicateDepth;
  std::unique_ptr<Translated> t = Translate(
      Document(NestedCompoundRules(limit, Rule("R1", "high", Simple("size", "lessThan", "5")))));
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->Compiled().rules.size(), 1u);
  const RuleSetModel::ST_Rule& rule = t->Compiled().rules[0];
  ASSERT_EQ(rule.compConditions.size(), 1u);
  EXPECT_EQ(rule.compConditions[0].conditions.size(), static_cast<size_t>(limit + 1));
  EXPECT_EQ(rule.compConditions[0].conditions[limit - 1].value, limit - 1.0);

  Failure failure = FailureOf(Document(
      NestedCompoundRules(limit + 1, Rule("R1", "high", Simple("size", "lessThan", "5")))));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundRule", "500"}));
}

// The and around a nested rule's predicate is one more level of nesting.
TEST(CompoundRule, ConjunctionStaysWithinThePredicateLimit) {
  auto deepPredicate = [](int depth) {
    std::string open;
    std::string close;
    for (int i = 1; i < depth; ++i) {
      open += "<CompoundPredicate booleanOperator=\"and\">" + Simple("age", "greaterThan", "1");
      close += "</CompoundPredicate>";
    }
    return open + And(Simple("age", "lessThan", "9") + Simple("size", "equal", "1")) + close;
  };
  const int limit = PMMLTranslator::kMaxPredicateDepth;
  std::unique_ptr<Translated> t = Translate(Document(CompoundRule(
      "<True/>", Rule("R1", "high", deepPredicate(limit - 1)))));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->Compiled().rules.size(), 1u);

  Failure failure = FailureOf(
      Document(CompoundRule("<True/>", Rule("R1", "high", deepPredicate(limit)))));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundRule", "500"}));
}

}  // namespace
}  // namespace KtZembra_940
