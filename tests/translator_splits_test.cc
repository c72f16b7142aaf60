// Split variables where a scenario row cannot show them: member value types,
// split indices over many fields, and the compound walk's own nesting bound
// (ranges, members, index ranges, missing-value maps and refusals are rows
// of tests/data/scenarios/splits.txt).

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/DiscreteSplit.h"
#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/PMMLTranslator.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "plugin/RuleSetTranslator.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {

// Reaches the compound walk directly, to check its own nesting bound apart
// from the host's predicate parser.
class RuleSetTranslatorTestPeer {
 public:
  static void SetDictionary(RuleSetTranslator& translator, ScoreDictionary* dictionary) {
    translator.dictionary = dictionary;
  }
  static bool ParseCompoundSplits(RuleSetTranslator& translator, const xercesc::DOMElement* compound,
                                  RuleSetTranslator::SplitList& splits) {
    return translator.ParseCompoundSplits(compound, splits);
  }
};

namespace {

std::string Simple(const std::string& field, const std::string& op, const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value + "\"/>";
}

std::string And(const std::string& members) {
  return "<CompoundPredicate booleanOperator=\"and\">" + members + "</CompoundPredicate>";
}

// A document over the target risk, the continuous fields f0 ... f39 and the
// integer category code, with one rule holding `predicate`.
std::string Document(const std::string& predicate) {
  std::string dictionary = R"(<DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/></DataField>
      <DataField name="code" optype="categorical" dataType="integer"><Value value="1"/><Value value="2"/></DataField>)";
  std::string fields = R"(<MiningField name="risk" usageType="predicted"/><MiningField name="code"/>)";
  for (int k = 0; k < 40; ++k) {
    const std::string name = "f" + std::to_string(k);
    dictionary += "<DataField name=\"" + name + "\" optype=\"continuous\" dataType=\"double\"/>";
    fields += "<MiningField name=\"" + name + "\"/>";
  }
  return R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4"><DataDictionary>)" + dictionary +
         R"(</DataDictionary><RuleSetModel functionName="classification"><MiningSchema>)" + fields +
         R"(</MiningSchema><RuleSet defaultScore="low"><RuleSelectionMethod criterion="firstHit"/>
         <SimpleRule id="R1" score="high">)" + predicate + "</SimpleRule></RuleSet></RuleSetModel></PMML>";
}

std::string Shown(const ScoreSplitVar* split) {
  std::ostringstream os;
  split->Display(os);
  return os.str();
}

// Lower bounds in one order, upper bounds in the reverse one: one split per
// field in order of first appearance, each merging every predicate on its
// field, with its own index; members of an integer field are numbers.
TEST(CompoundSplits, ManyFieldsMergeInOrderOfFirstAppearance) {
  constexpr int kFields = 40;
  std::string members;
  std::vector<int> order;
  for (int k = 0; k < kFields; ++k) {
    order.push_back((k * 13) % kFields);
    members += Simple("f" + std::to_string(order.back()), "greaterThan", std::to_string(order.back()));
  }
  for (int k = kFields - 1; k >= 0; --k) {
    members += Simple("f" + std::to_string(k), "lessOrEqual", std::to_string(k + 100));
  }
  members += "<SimpleSetPredicate field=\"code\" booleanOperator=\"isIn\"><Array type=\"int\">2</Array>"
             "</SimpleSetPredicate>";
  std::unique_ptr<testing_support::TranslatedDocument> t =
      testing_support::TranslateDocument(Document(And(members)), "test.pmml");
  ASSERT_EQ(t->Splits().size(), static_cast<size_t>(kFields + 1));
  for (size_t i = 0; i < static_cast<size_t>(kFields); ++i) {
    const int field = order[i];
    EXPECT_EQ(Shown(t->Splits()[i]), "f" + std::to_string(field) + ": (" + std::to_string(field) + ", " +
                                         std::to_string(field + 100) + "]\n");
    const auto* scale = dynamic_cast<const ScaleSplit*>(t->Splits()[i]);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->GetSplitIndices(), std::vector<int>{static_cast<int>(i)});
  }
  const auto* code = dynamic_cast<const DiscreteSplit*>(t->Splits()[kFields]);
  ASSERT_NE(code, nullptr);
  ASSERT_EQ(code->GetValues().size(), 1u);
  EXPECT_EQ(code->GetValues()[0]->GetValueType(), ScoreValue::kNumeric);

  // With many fields already met, a set predicate on a field a simple one
  // has tested is still refused.
  std::string many;
  for (int k = 0; k < 20; ++k) many += Simple("f" + std::to_string(k), "greaterThan", "0");
  const testing_support::TranslationFailure failure = testing_support::TranslationFailureOf(
      Document(And(many + Simple("code", "equal", "1") +
                   "<SimpleSetPredicate field=\"code\" booleanOperator=\"isIn\"><Array type=\"int\">2</Array>"
                   "</SimpleSetPredicate>")),
      "test.pmml");
  EXPECT_EQ(failure.code, ErrorCode::kSecondPredicate);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"code", "SimpleRule"}));
}

// The walk's own bound, on an element the host's predicate parser never
// saw: a chain of CompoundPredicates, each testing f0 beside the next.
TEST(CompoundSplits, WalkRefusesNestingBeyondTheLimitByItself) {
  for (int depth : {PMMLTranslator::kMaxPredicateDepth, PMMLTranslator::kMaxPredicateDepth + 1}) {
    SCOPED_TRACE(depth);
    std::string open;
    std::string close;
    for (int i = 1; i < depth; ++i) {
      open += "<CompoundPredicate booleanOperator=\"and\">" + Simple("f0", "greaterThan", "1");
      close += "</CompoundPredicate>";
    }
    XmlPlatform platform;
    const std::string pmml =
        Document(open + And(Simple("f0", "lessThan", "9") + Simple("f1", "equal", "1")) + close);
    std::unique_ptr<XmlDocument> document = XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "test.pmml");
    RuleSetTranslator translator;
    xercesc::DOMDocument* dom = document->GetDocument();
    std::unique_ptr<ScoreDictionary> dictionary(translator.ParseDictionary(
        static_cast<xercesc::DOMElement*>(dom->getElementsByTagName(XML_ELE_DATADICTIONARY)->item(0)),
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
      ASSERT_EQ(splits.size(), static_cast<size_t>(depth + 1));
      EXPECT_EQ(Shown(splits[static_cast<size_t>(depth - 1)]), "f0: (-inf, 9)\n");
      EXPECT_EQ(Shown(splits[static_cast<size_t>(depth)]), "f1: [1, 1]\n");
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
