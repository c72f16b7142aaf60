// Split variables where a scenario row cannot show them: member value types,
// split indices, many fields, and the nesting limits of the compound walk
// (ranges, members, index ranges, missing-value maps and refusals are rows of
// tests/data/scenarios/splits.txt).

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TranslatedDocument.h"
#include "host/DiscreteSplit.h"
#include "host/ErrorCodes.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/Range.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/ScoreSplitVar.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

// Reaches the compound walk directly, to check its own nesting bound apart
// from the host's predicate parser.
class RuleSetTranslatorTestPeer {
 public:
  static void SetDictionary(RuleSetTranslator& translator, ScoreDictionary* dictionary) {
    translator.dictionary = dictionary;
  }
  static bool ParseCompoundSplits(RuleSetTranslator& translator,
                                  const xercesc::DOMElement* compound,
                                  RuleSetTranslator::SplitList& splits) {
    return translator.ParseCompoundSplits(compound, splits);
  }
};

namespace {

const char kDictionary[] = R"(
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="size" optype="continuous" dataType="double"/>
    <DataField name="colour" optype="categorical" dataType="string">
      <Value value="red"/><Value value="green"/><Value value="blue"/>
    </DataField>
    <DataField name="code" optype="categorical" dataType="integer">
      <Value value="1"/><Value value="2"/><Value value="3"/>
    </DataField>
    <DataField name="tag" optype="categorical" dataType="string">
      <Value value="x"/><Value value=""/>
    </DataField>
    <DataField name="grade" optype="ordinal" dataType="string">
      <Value value="low"/><Value value="mid"/><Value value="high"/>
    </DataField>
    <DataField name="level" optype="ordinal" dataType="integer">
      <Value value="10"/><Value value="20"/><Value value="30"/>
    </DataField>
    <DataField name="bare" optype="ordinal" dataType="string"/>
  </DataDictionary>)";

// A document with one rule whose body (predicates) is given.
std::string Document(const std::string& ruleBody) {
  return std::string(R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4">)") +
         kDictionary + R"(
  <RuleSetModel functionName="classification" algorithmName="RuleSet">
    <MiningSchema>
      <MiningField name="risk" usageType="predicted"/>
      <MiningField name="age"/><MiningField name="size"/><MiningField name="colour"/>
      <MiningField name="code"/><MiningField name="tag"/><MiningField name="grade"/>
      <MiningField name="level"/><MiningField name="bare"/>
    </MiningSchema>
    <RuleSet defaultScore="low" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="R1" score="high" confidence="0.9" weight="1">)" +
         ruleBody + R"(</SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>)";
}

using Translated = testing_support::TranslatedDocument;
using Failure = testing_support::TranslationFailure;

std::unique_ptr<Translated> Translate(const std::string& pmml) {
  return testing_support::TranslateDocument(pmml, "test.pmml");
}

Failure FailureOf(const std::string& pmml) {
  return testing_support::TranslationFailureOf(pmml, "test.pmml");
}

std::string Bound(double value) {
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  std::ostringstream os;
  os << value;
  return os.str();
}

// "(3, 7]" for each range of a scale split, joined with " or ".
std::string RangesText(const ScoreSplitVar* split) {
  const auto* scale = dynamic_cast<const ScaleSplit*>(split);
  if (scale == nullptr) return "<not a scale split>";
  std::string text;
  for (const Range* range : scale->GetRanges()) {
    if (!text.empty()) text += " or ";
    text += range->IsLowClosed() ? "[" : "(";
    text += Bound(range->GetLow()->GetDouble()) + ", " + Bound(range->GetHigh()->GetDouble());
    text += range->IsHighClosed() ? "]" : ")";
  }
  return text;
}

std::string Simple(const std::string& field, const std::string& op, const char* value) {
  std::string text = "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\"";
  if (value != nullptr) text += std::string(" value=\"") + value + "\"";
  return text + "/>";
}

std::string Compound(const std::string& booleanOperator, const std::string& members) {
  return "<CompoundPredicate booleanOperator=\"" + booleanOperator + "\">" + members +
         "</CompoundPredicate>";
}

std::string SetPredicate(const std::string& field, const std::string& op,
                         const std::string& type, const std::string& items) {
  return "<SimpleSetPredicate field=\"" + field + "\" booleanOperator=\"" + op +
         "\"><Array type=\"" + type + "\">" + items + "</Array></SimpleSetPredicate>";
}

TEST(DiscreteSplit, MemberTypesFollowTheArrayAndTheField) {
  std::unique_ptr<Translated> t = Translate(
      Document(Compound("and", SetPredicate("code", "isIn", "int", "2") +
                                   Simple("level", "lessOrEqual", "10"))));
  ASSERT_EQ(t->Splits().size(), 2u);
  for (const ScoreSplitVar* split : t->Splits()) {
    const auto* discrete = dynamic_cast<const DiscreteSplit*>(split);
    ASSERT_NE(discrete, nullptr);
    ASSERT_EQ(discrete->GetValues().size(), 1u);
    EXPECT_EQ(discrete->GetValues()[0]->GetValueType(), ScoreValue::kNumeric);
  }
  // An empty value that is a category is a member (it displays as "{}").
  t = Translate(Document(Simple("tag", "equal", "")));
  ASSERT_EQ(t->Splits().size(), 1u);
  const auto* tag = dynamic_cast<const DiscreteSplit*>(t->Splits()[0]);
  ASSERT_NE(tag, nullptr);
  ASSERT_EQ(tag->GetValues().size(), 1u);
  EXPECT_EQ(tag->GetValues()[0]->GetString(), "");
}

// --- compound walks -------------------------------------------------------------

TEST(CompoundSplits, OneSplitPerFieldInDocumentOrder) {
  std::unique_ptr<Translated> t = Translate(Document(Compound(
      "and", Simple("size", "lessThan", "9") + Simple("age", "greaterThan", "3") +
                 Simple("size", "greaterThan", "1"))));
  ASSERT_EQ(t->Splits().size(), 2u);
  EXPECT_EQ(t->Splits()[0]->GetSplitVar()->GetName(), "size");
  EXPECT_EQ(RangesText(t->Splits()[0]), "(1, 9)");
  EXPECT_EQ(t->Splits()[1]->GetSplitVar()->GetName(), "age");
  for (int i = 0; i < 2; ++i) {
    const auto* scale = dynamic_cast<const ScaleSplit*>(t->Splits()[i]);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->GetSplitIndices(), std::vector<int>{i});
  }
}

// A compound over many fields, each tested more than once and out of
// order: one split per field in order of first appearance, each merging
// every predicate on its field.
TEST(CompoundSplits, ManyFieldsMergeInOrderOfFirstAppearance) {
  constexpr int kFields = 40;
  std::string dictionary = "<DataDictionary>";
  dictionary += R"(<DataField name="risk" optype="categorical" dataType="string">
                     <Value value="high"/><Value value="low"/></DataField>)";
  dictionary += R"(<DataField name="cat" optype="categorical" dataType="string">
                     <Value value="p"/><Value value="q"/></DataField>)";
  std::string fields = R"(<MiningField name="risk" usageType="predicted"/>)";
  for (int k = 0; k < kFields; ++k) {
    const std::string name = "f" + std::to_string(k);
    dictionary += "<DataField name=\"" + name + "\" optype=\"continuous\" dataType=\"double\"/>";
    fields += "<MiningField name=\"" + name + "\"/>";
  }
  dictionary += "</DataDictionary>";
  auto document = [&](const std::string& predicate) {
    return R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4">)" + dictionary +
           R"(<RuleSetModel functionName="classification"><MiningSchema>)" + fields +
           R"(<MiningField name="cat"/></MiningSchema><RuleSet defaultScore="low">
             <RuleSelectionMethod criterion="firstHit"/>
             <SimpleRule id="R1" score="high">)" +
           predicate + "</SimpleRule></RuleSet></RuleSetModel></PMML>";
  };

  // Lower bounds in one order, upper bounds in the reverse one.
  std::string members;
  std::vector<std::string> order;
  for (int k = 0; k < kFields; ++k) {
    const int field = (k * 13) % kFields;
    order.push_back("f" + std::to_string(field));
    members += Simple(order.back(), "greaterThan", std::to_string(field).c_str());
  }
  for (int k = kFields - 1; k >= 0; --k) {
    members += Simple("f" + std::to_string(k), "lessOrEqual", std::to_string(k + 100).c_str());
  }
  std::unique_ptr<Translated> t = Translate(document(Compound("and", members)));
  ASSERT_EQ(t->Splits().size(), static_cast<size_t>(kFields));
  for (int i = 0; i < kFields; ++i) {
    SCOPED_TRACE(i);
    const std::string& name = order[static_cast<size_t>(i)];
    EXPECT_EQ(t->Splits()[static_cast<size_t>(i)]->GetSplitVar()->GetName(), name);
    const int field = std::stoi(name.substr(1));
    EXPECT_EQ(RangesText(t->Splits()[static_cast<size_t>(i)]),
              "(" + std::to_string(field) + ", " + std::to_string(field + 100) + "]");
  }

  // With many fields already met, a set predicate on a field a simple one
  // has tested is still refused.
  std::string many;
  for (int k = 0; k < 20; ++k) many += Simple("f" + std::to_string(k), "greaterThan", "0");
  Failure failure = FailureOf(document(Compound(
      "and", many + Simple("cat", "equal", "p") + SetPredicate("cat", "isIn", "string", "q"))));
  EXPECT_EQ(failure.code, ErrorCode::kSecondPredicate);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"cat", "SimpleRule"}));
}

// A chain of `depth` CompoundPredicates, each testing age beside the next;
// the innermost tests age and size.
std::string NestedCompounds(int depth) {
  std::string open;
  std::string close;
  for (int i = 1; i < depth; ++i) {
    open += "<CompoundPredicate booleanOperator=\"and\">" + Simple("age", "greaterThan", "1");
    close += "</CompoundPredicate>";
  }
  return open + Compound("and", Simple("age", "lessThan", "9") + Simple("size", "equal", "1")) +
         close;
}

TEST(CompoundSplits, NestingUpToTheLimitIsRead) {
  const int depth = PMMLTranslator::kMaxPredicateDepth;
  std::unique_ptr<Translated> t = Translate(Document(NestedCompounds(depth)));
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->Splits().size(), static_cast<size_t>(depth + 1));
  EXPECT_EQ(RangesText(t->Splits()[depth - 1]), "(-inf, 9)");
  EXPECT_EQ(t->Splits()[depth]->GetSplitVar()->GetName(), "size");
}

TEST(CompoundSplits, NestingBeyondTheLimitIsRefused) {
  Failure failure = FailureOf(Document(NestedCompounds(PMMLTranslator::kMaxPredicateDepth + 1)));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
}

// The walk's own bound, on an element the host's predicate parser never saw.
TEST(CompoundSplits, WalkRefusesNestingBeyondTheLimitByItself) {
  for (int depth : {PMMLTranslator::kMaxPredicateDepth, PMMLTranslator::kMaxPredicateDepth + 1}) {
    SCOPED_TRACE(depth);
    XmlPlatform platform;
    const std::string pmml = Document(NestedCompounds(depth));
    std::unique_ptr<XmlDocument> document =
        XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "test.pmml");
    RuleSetTranslator translator;
    xercesc::DOMDocument* dom = document->GetDocument();
    std::unique_ptr<ScoreDictionary> dictionary(translator.ParseDictionary(
        static_cast<xercesc::DOMElement*>(
            dom->getElementsByTagName(XML_ELE_DATADICTIONARY)->item(0)),
        false));
    RuleSetTranslatorTestPeer::SetDictionary(translator, dictionary.get());
    const auto* outermost = static_cast<const xercesc::DOMElement*>(
        dom->getElementsByTagName(XML_ELE_COMPOUNDPREDICATE)->item(0));

    RuleSetTranslator::SplitList splits;
    int code = 0;
    std::vector<std::string> args;
    bool result = false;
    try {
      result = RuleSetTranslatorTestPeer::ParseCompoundSplits(translator, outermost, splits);
    } catch (const ZbException& e) {
      code = e.GetErrorCode();
      args = e.GetArguments();
    }
    if (depth == PMMLTranslator::kMaxPredicateDepth) {
      EXPECT_EQ(code, 0);
      EXPECT_TRUE(result);
      EXPECT_EQ(splits.size(), static_cast<size_t>(depth + 1));
    } else {
      EXPECT_EQ(code, ErrorCode::kNestingTooDeep);
      EXPECT_EQ(args, (std::vector<std::string>{"CompoundPredicate", "500"}));
    }
    for (ScoreSplitVar* split : splits) delete split;
    RuleSetTranslatorTestPeer::SetDictionary(translator, nullptr);
  }
}

}  // namespace
}  // namespace KtZembra_940
