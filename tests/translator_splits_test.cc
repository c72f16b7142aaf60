// Split variables built while rules are read: ranges of continuous fields,
// members of nominal and ordinal fields, compound walks and their limits.

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

std::vector<std::string> Members(const DiscreteSplit* split) {
  std::vector<std::string> members;
  for (const ScoreValue* value : split->GetValues()) members.push_back(value->GetString());
  return members;
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

// --- continuous fields ------------------------------------------------------

struct ScaleCase {
  const char* name;
  std::string predicate;
  const char* range;
  int missval;
};

TEST(ScaleSplit, MergesBoundsOfOneField) {
  const ScaleCase cases[] = {
      {"and of two bounds",
       Compound("and", Simple("age", "greaterThan", "3") + Simple("age", "lessOrEqual", "7")),
       "(3, 7]", ScoreSplitVar::kMissvalUnset},
      {"first closed lower bound stays",
       Compound("and",
                Simple("age", "greaterOrEqual", "3") + Simple("age", "greaterThan", "3")),
       "[3, inf)", ScoreSplitVar::kMissvalUnset},
      {"first open lower bound stays",
       Compound("and",
                Simple("age", "greaterThan", "3") + Simple("age", "greaterOrEqual", "3")),
       "(3, inf)", ScoreSplitVar::kMissvalUnset},
      {"first closed upper bound stays",
       Compound("and", Simple("age", "lessOrEqual", "7") + Simple("age", "lessThan", "7")),
       "(-inf, 7]", ScoreSplitVar::kMissvalUnset},
      {"equal", Simple("age", "equal", "5"), "[5, 5]", ScoreSplitVar::kMissvalUnset},
      {"notEqual leaves the full range", Simple("age", "notEqual", "5"), "(-inf, inf)",
       ScoreSplitVar::kMissvalUnset},
      {"or: the union, as a list of ranges",
       Compound("or", Simple("age", "lessThan", "2") + Simple("age", "greaterThan", "5")),
       "(-inf, 2) or (5, inf)", ScoreSplitVar::kMissvalUnset},
      {"xor: the union as well",
       Compound("xor", Simple("age", "greaterThan", "5") + Simple("age", "lessThan", "2")),
       "(-inf, 2) or (5, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: overlapping ranges become one",
       Compound("or", Simple("age", "lessThan", "5") + Simple("age", "greaterThan", "3")),
       "(-inf, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: ranges meeting at a bound one holds become one",
       Compound("or", Simple("age", "lessThan", "3") + Simple("age", "equal", "3") +
                          Simple("age", "greaterThan", "8") + Simple("age", "lessOrEqual", "1")),
       "(-inf, 3] or (8, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: ranges meeting at a bound neither holds stay apart",
       Compound("or", Simple("age", "lessThan", "3") + Simple("age", "greaterThan", "3")),
       "(-inf, 3) or (3, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: points and a bound",
       Compound("or", Simple("age", "equal", "1") + Simple("age", "equal", "4") +
                          Simple("age", "greaterOrEqual", "9")),
       "[1, 1] or [4, 4] or [9, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: notEqual holds all but its point",
       Compound("or", Simple("age", "notEqual", "5") + Simple("age", "lessThan", "0")),
       "(-inf, 5) or (5, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: isNotMissing holds every number",
       Compound("or", Simple("age", "isNotMissing", nullptr) + Simple("age", "lessThan", "0")),
       "(-inf, inf)", ScoreSplitVar::kMissvalUnset},
      {"or: isMissing beside a range",
       Compound("or", Simple("age", "isMissing", nullptr) + Simple("age", "lessThan", "0")),
       "(-inf, 0)", 0},
      {"isMissing maps missing values here", Simple("age", "isMissing", nullptr),
       "(-inf, inf)", 0},
      {"equal to an empty value maps missing values here", Simple("age", "equal", ""),
       "(-inf, inf)", 0},
      {"isNotMissing ends the field, both ends open",
       Compound("and", Simple("age", "greaterOrEqual", "3") +
                           Simple("age", "isNotMissing", nullptr) +
                           Simple("age", "lessThan", "1")),
       "(3, inf)", -2},
  };
  for (const ScaleCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Translated> t = Translate(Document(c.predicate));
    ASSERT_NE(t->model, nullptr);
    ASSERT_EQ(t->Splits().size(), 1u);
    const ScoreSplitVar* split = t->Splits()[0];
    EXPECT_EQ(split->GetSplitVar()->GetName(), "age");
    EXPECT_EQ(RangesText(split), c.range);
    EXPECT_EQ(split->GetMissvalMap(), c.missval);
  }
}

// --- nominal and ordinal fields ---------------------------------------------

struct DiscreteCase {
  const char* name;
  std::string predicate;
  std::vector<std::string> members;
  int start;
  int end;
  int missval;
};

TEST(DiscreteSplit, MembersRangesAndMissingValues) {
  const int unset = ScoreSplitVar::kMissvalUnset;
  const DiscreteCase cases[] = {
      {"isIn keeps the array order", SetPredicate("colour", "isIn", "string", "red green"),
       {"red", "green"}, -1, -1, unset},
      {"isNotIn gives the other values", SetPredicate("colour", "isNotIn", "string", "green"),
       {"red", "blue"}, -1, -1, unset},
      {"int array", SetPredicate("code", "isIn", "int", "3 1"), {"3", "1"}, -1, -1, unset},
      {"nominal equal", Simple("colour", "equal", "red"), {"red"}, -1, -1, unset},
      {"nominal notEqual puts its value", Simple("colour", "notEqual", "red"), {"red"}, -1, -1,
       unset},
      {"ordinal greaterThan", Simple("grade", "greaterThan", "low"), {"mid", "high"}, 1, 2,
       unset},
      {"ordinal between",
       Compound("and",
                Simple("grade", "greaterThan", "low") + Simple("grade", "lessThan", "high")),
       {"mid"}, 1, 1, unset},
      {"ordinal equal", Simple("grade", "equal", "mid"), {"mid"}, 1, 1, unset},
      {"ordinal notEqual keeps the whole range", Simple("grade", "notEqual", "mid"),
       {"low", "mid", "high"}, 0, 2, unset},
      {"ordinal crossed bounds give no member",
       Compound("and",
                Simple("grade", "greaterThan", "mid") + Simple("grade", "lessThan", "mid")),
       {}, 2, 0, unset},
      {"ordinal isMissing: no range, no members", Simple("grade", "isMissing", nullptr), {}, -1,
       -1, 0},
      {"ordinal isNotMissing keeps the range", Simple("grade", "isNotMissing", nullptr),
       {"low", "mid", "high"}, 0, 2, -2},
      {"numeric ordinal", Simple("level", "greaterOrEqual", "20"), {"20", "30"}, 1, 2, unset},
      {"empty value on a numeric field is missing", Simple("code", "equal", ""), {}, -1, -1, 0},
      {"empty value that is a category", Simple("tag", "equal", ""), {""}, -1, -1, unset},
      {"ordinal field without categories", Simple("bare", "isNotMissing", nullptr), {}, 0, -1,
       -2},
  };
  for (const DiscreteCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<Translated> t = Translate(Document(c.predicate));
    ASSERT_NE(t->model, nullptr);
    ASSERT_EQ(t->Splits().size(), 1u);
    const auto* split = dynamic_cast<const DiscreteSplit*>(t->Splits()[0]);
    ASSERT_NE(split, nullptr);
    EXPECT_EQ(Members(split), c.members);
    EXPECT_EQ(split->GetStartIndex(), c.start);
    EXPECT_EQ(split->GetEndIndex(), c.end);
    EXPECT_EQ(split->GetMissvalMap(), c.missval);
    for (int index : split->GetSplitIndices()) EXPECT_EQ(index, 0);
  }
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
}

TEST(DiscreteSplit, SetPredicateOnContinuousFieldBuildsNoSplit) {
  std::unique_ptr<Translated> t = Translate(Document(SetPredicate("age", "isIn", "int", "1 2")));
  ASSERT_NE(t->model, nullptr);
  ASSERT_EQ(t->model->GetSimpleRules().at(0).size(), 1u);
  EXPECT_TRUE(t->Splits().empty());
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

TEST(CompoundSplits, NestedCompoundMergesSeparately) {
  std::unique_ptr<Translated> t = Translate(Document(Compound(
      "and", Simple("age", "greaterThan", "3") +
                 Compound("or", Simple("age", "lessThan", "10") + Simple("size", "equal", "2")) +
                 Simple("age", "lessThan", "50"))));
  ASSERT_EQ(t->Splits().size(), 3u);
  EXPECT_EQ(RangesText(t->Splits()[0]), "(3, 50)");
  EXPECT_EQ(RangesText(t->Splits()[1]), "(-inf, 10)");
  EXPECT_EQ(RangesText(t->Splits()[2]), "[2, 2]");
  EXPECT_EQ(t->Splits()[2]->GetSplitVar()->GetName(), "size");
}

TEST(CompoundSplits, SetThenSimpleOnOneFieldGivesTwoSplits) {
  std::unique_ptr<Translated> t = Translate(Document(Compound(
      "or", SetPredicate("colour", "isIn", "string", "red") + Simple("colour", "equal", "blue"))));
  ASSERT_EQ(t->Splits().size(), 2u);
  EXPECT_EQ(Members(dynamic_cast<const DiscreteSplit*>(t->Splits()[0])),
            std::vector<std::string>{"red"});
  EXPECT_EQ(Members(dynamic_cast<const DiscreteSplit*>(t->Splits()[1])),
            std::vector<std::string>{"blue"});
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

// --- failures ---------------------------------------------------------------------

struct ErrorCase {
  const char* name;
  std::string body;
  int code;
  std::vector<std::string> args;
};

TEST(SplitErrors, ExactCodesAndArguments) {
  const ErrorCase cases[] = {
      {"and range that is empty",
       Compound("and", Simple("age", "lessThan", "2") + Simple("age", "greaterThan", "5")),
       ErrorCode::kEmptySelection, {"age"}},
      {"comparison with an empty value", Simple("age", "greaterThan", ""), ErrorCode::kEmptyValue,
       {"operator", "equal"}},
      {"isMissing with a value", Simple("age", "isMissing", "3"), ErrorCode::kValueNotAllowed,
       {"value", "isMissing"}},
      {"isNotMissing with a value", Simple("age", "isNotMissing", "3"),
       ErrorCode::kValueNotAllowed, {"value", "isNotMissing"}},
      {"compound with one predicate", Compound("and", Simple("age", "lessThan", "2") + "<True/>"),
       ErrorCode::kTooFewPredicates, {"SimplePredicate", "CompoundPredicate"}},
      {"nested compound with one predicate",
       Compound("and", Simple("age", "lessThan", "2") +
                           Compound("or", Simple("size", "equal", "1") + "<False/>")),
       ErrorCode::kTooFewPredicates, {"SimplePredicate", "CompoundPredicate"}},
      {"unknown operator on a sibling predicate",
       Simple("age", "greaterThan", "3") + Simple("age", "near", "4"), ErrorCode::kUnsupported,
       {"near", "operator", "SimplePredicate"}},
      {"set predicate after a simple one on its field",
       Compound("and", Simple("colour", "equal", "red") +
                           SetPredicate("colour", "isIn", "string", "green")),
       ErrorCode::kSecondPredicate, {"colour", "SimpleRule"}},
      {"two values on a nominal field",
       Compound("or", Simple("colour", "equal", "red") + Simple("colour", "equal", "blue")),
       ErrorCode::kEmptySelection, {"colour"}},
      {"nominal value that is not declared", Simple("colour", "equal", "purple"),
       ErrorCode::kInvalidValue, {"purple", "value"}},
      {"nominal empty value with notEqual", Simple("colour", "notEqual", ""),
       ErrorCode::kEmptyValue, {"operator", "equal"}},
      {"isMissing with a value on an ordinal field", Simple("grade", "isMissing", "low"),
       ErrorCode::kValueNotAllowed, {"value", "isMissing"}},
      {"ordinal comparison that selects nothing", Simple("grade", "greaterThan", "high"),
       ErrorCode::kOrdinalNoCategory, {"greaterThan", "grade"}},
      {"ordinal value that is not a category", Simple("grade", "equal", "top"),
       ErrorCode::kOrdinalValue, {"top", "grade"}},
      {"ordinal field without categories", Simple("bare", "equal", "x"),
       ErrorCode::kOrdinalValue, {"x", "bare"}},
      {"isIn item that is not declared", SetPredicate("colour", "isIn", "string", "red purple"),
       ErrorCode::kInvalidValue, {"purple", "value"}},
      {"array type outside string, real, int", SetPredicate("colour", "isIn", "date", "red"),
       ErrorCode::kUnsupported, {"date", "type", "colour"}},
      // A comparison without a value, met on a sibling the host has not
      // parsed yet, names the missing attribute on every kind of field.
      {"nominal comparison without a value",
       Simple("colour", "equal", "red") + Simple("colour", "notEqual", nullptr),
       ErrorCode::kMissingAttribute, {"SimplePredicate", "value"}},
      {"continuous comparison without a value",
       Simple("age", "greaterThan", "3") + Simple("age", "lessThan", nullptr),
       ErrorCode::kMissingAttribute, {"SimplePredicate", "value"}},
      {"ordinal comparison without a value",
       Simple("grade", "greaterThan", "low") + Simple("grade", "lessThan", nullptr),
       ErrorCode::kMissingAttribute, {"SimplePredicate", "value"}},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    Failure failure = FailureOf(Document(c.body));
    EXPECT_EQ(failure.code, c.code);
    EXPECT_EQ(failure.args, c.args);
  }
}

}  // namespace
}  // namespace KtZembra_940
