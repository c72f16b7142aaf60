// The translator: its frame (trace lines, reuse, the fate of half-built
// models; what it reads of each RuleSetModel element is rows of
// tests/data/scenarios/models.txt), split variables where a scenario row cannot show them (member value
// types, split indices over many fields, the compound walk's own nesting
// bound; the rest are rows of tests/data/scenarios/splits.txt), and the
// element index the readers ask instead of the DOM; and the text dump of a
// model in the parts no document reaches.

#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/DiscreteSplit.h"
#include "host/ErrorCodes.h"
#include "host/PMMLModelTags.h"
#include "host/PMMLTranslator.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreModel.h"
#include "host/ScoreValue.h"
#include "host/ScoringLog.h"
#include "host/TransformationDictionary.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/XmlText.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"
#include "tests/support/Displayed.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TraceCapture.h"
#include "tests/support/TranslatedDocument.h"
#include "tests/support/TranslatorPeer.h"
#include "translator/ElementIndex.h"

namespace KtZembra_940 {
namespace {

using Peer = RuleSetTranslatorTestPeer;
using testing_support::Displayed;
using testing_support::TraceCapture;

constexpr char kEnterFrame[] = "Enter:KtZembra_940::RuleSetTranslator::ParseFromTree\n";
constexpr char kExitFrame[] = "Exit:KtZembra_940::RuleSetTranslator::ParseFromTree\n";
constexpr char kEnterRuleSet[] = "Enter:KtZembra_940::RuleSetTranslator::ParseRuleSetToModel\n";
constexpr char kExitRuleSet[] = "Exit:KtZembra_940::RuleSetTranslator::ParseRuleSetToModel\n";

// The body after a dictionary of the target risk (a, b) and age.
std::string Pmml(const std::string& body) {
  return R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4"><DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string"><Value value="a"/><Value value="b"/></DataField>
    <DataField name="age" optype="continuous" dataType="double"/></DataDictionary>)" + body + "</PMML>";
}

const char kFields[] = R"(<MiningField name="risk" usageType="predicted"/><MiningField name="age"/>)";
const char kRuleSet[] = R"(<RuleSet defaultScore="b" defaultConfidence="0.5"><RuleSelectionMethod criterion="firstHit"/>
    <SimpleRule id="R1" score="a" weight="1"><SimplePredicate field="age" operator="greaterThan" value="60"/></SimpleRule></RuleSet>)";

// One RuleSetModel element with its mining fields and RuleSet.
std::string OneModel(const std::string& fields = kFields, const std::string& ruleSet = kRuleSet) {
  return Pmml("<RuleSetModel functionName=\"classification\"><MiningSchema>" + fields + "</MiningSchema>" + ruleSet +
              "</RuleSetModel>");
}

// --- frame --------------------------------------------------------------------

// The trace frame: the entry and exit of the parse and of each rule set; a
// failure writes no exit line. An empty text stands for no document at all.
// One translator reads every document, twice over: nothing of an earlier
// parse, failed or not, leaks into the next (a failure before a good model,
// a target before a model without one).
TEST(ParseFromTree, TracesItsFrameAndIsReusable) {
  const std::string enter = kEnterFrame;
  const std::string whole = enter + kEnterRuleSet + kExitRuleSet + kExitFrame;
  const struct {
    std::string pmml;
    std::string trace;
    const char* target;  // null: no model
  } cases[] = {
      {"", enter + kExitFrame, nullptr},
      {Pmml(""), enter + kExitFrame, nullptr},
      {OneModel(kFields, R"(<RuleSet defaultConfidence="-1"/>)"), enter + kEnterRuleSet, nullptr},
      {OneModel(), whole, "risk"},
      {OneModel(R"(<MiningField name="age"/>)"), whole, ""},
  };
  XmlPlatform platform;
  RuleSetTranslator translator;
  for (int round = 0; round < 2; ++round) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.pmml);
      std::unique_ptr<XmlDocument> document;
      if (!c.pmml.empty()) document = XmlDocument::ParseBuffer(c.pmml.data(), c.pmml.size(), "t");
      TraceCapture trace;
      std::unique_ptr<ScoreModel> model;
      try {
        model.reset(translator.ParseFromTree(document ? document->GetDocument() : nullptr, "UTF-8"));
      } catch (const ZbException&) {
      }
      EXPECT_EQ(trace.Text(), c.trace);
      ASSERT_EQ(model != nullptr, c.target != nullptr);
      if (model == nullptr) continue;
      EXPECT_EQ(Peer::TargetName(translator), c.target);
      EXPECT_EQ(Peer::TargetVariable(translator),
                *c.target == 0 ? nullptr : model->GetDictionary()->GetVar(c.target));
    }
  }
}

// A stream buffer that fails like an exhausted heap once `lines` lines have
// been written; the trace line of the first rule set is written after the
// model exists, so the failure strikes a half-built model.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(int lines) : lines_(lines) {}

 protected:
  int overflow(int c) override {
    if (c == '\n' && --lines_ < 0) throw std::bad_alloc();
    return c;
  }

 private:
  int lines_;
};

TEST(ParseFromTree, OtherExceptionsPassUnchangedAndFreeTheModel) {
  XmlPlatform platform;
  const std::string pmml = OneModel();
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "model.pmml");
  RuleSetTranslator translator;
  // After the frame's entry line, the first rule set's; after that, its
  // exit line: both strike with the model half built.
  for (int lines : {1, 2}) {
    SCOPED_TRACE(lines);
    FailingBuffer buffer(lines);
    std::ostream stream(&buffer);
    stream.exceptions(std::ios::badbit);
    TraceCapture trace(1, &stream);
    EXPECT_THROW(translator.ParseFromTree(document->GetDocument(), ""), std::bad_alloc);
  }
}

// --- split variables -----------------------------------------------------------

std::string Simple(const std::string& field, const std::string& op, const std::string& value) {
  return "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\" value=\"" + value + "\"/>";
}

std::string And(const std::string& members) {
  return "<CompoundPredicate booleanOperator=\"and\">" + members + "</CompoundPredicate>";
}

// tests/data/models/forty_fields.pmml: a document over the target risk, the
// continuous fields f0 ... f39 and the integer category code, with one rule
// holding `predicate`.
std::string Document(const std::string& predicate) {
  std::string text = testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/forty_fields.pmml");
  return text.replace(text.find("$PREDICATE"), 10, predicate);
}

// Lower bounds in one order, upper bounds in the reverse one: one split per
// field in order of first appearance, each merging every predicate on its
// field, with its own index; members of an integer field are numbers.
TEST(CompoundSplits, ManyFieldsMergeInOrderOfFirstAppearance) {
  constexpr int kMany = 40;
  std::string members;
  std::vector<int> order;
  for (int k = 0; k < kMany; ++k) {
    order.push_back((k * 13) % kMany);
    members += Simple("f" + std::to_string(order.back()), "greaterThan", std::to_string(order.back()));
  }
  for (int k = kMany - 1; k >= 0; --k) {
    members += Simple("f" + std::to_string(k), "lessOrEqual", std::to_string(k + 100));
  }
  members += "<SimpleSetPredicate field=\"code\" booleanOperator=\"isIn\"><Array type=\"int\">2</Array>"
             "</SimpleSetPredicate>";
  std::unique_ptr<testing_support::TranslatedDocument> t =
      testing_support::TranslateDocument(Document(And(members)), "test.pmml");
  ASSERT_EQ(t->Splits().size(), static_cast<size_t>(kMany + 1));
  for (size_t i = 0; i < static_cast<size_t>(kMany); ++i) {
    const int field = order[i];
    EXPECT_EQ(Displayed(*t->Splits()[i]), "f" + std::to_string(field) + ": (" + std::to_string(field) + ", " +
                                         std::to_string(field + 100) + "]\n");
    const auto* scale = dynamic_cast<const ScaleSplit*>(t->Splits()[i]);
    ASSERT_NE(scale, nullptr);
    EXPECT_EQ(scale->GetSplitIndices(), std::vector<int>{static_cast<int>(i)});
  }
  const auto* code = dynamic_cast<const DiscreteSplit*>(t->Splits()[kMany]);
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
      EXPECT_EQ(Displayed(*splits[static_cast<size_t>(depth - 1)]), "f0: (-inf, 9)\n");
      EXPECT_EQ(Displayed(*splits[static_cast<size_t>(depth)]), "f1: [1, 1]\n");
    } else {
      EXPECT_EQ(code, ErrorCode::kNestingTooDeep);
      EXPECT_EQ(args, (std::vector<std::string>{"CompoundPredicate", "500"}));
    }
    for (ScoreSplitVar* split : splits) delete split;
    RuleSetTranslatorTestPeer::SetDictionary(translator, nullptr);
  }
}

// --- element index ---------------------------------------------------------------

const std::u16string kA = u"A";
const std::u16string kB = u"B";
const std::u16string kC = u"C";

std::vector<const xercesc::DOMElement*> FromDom(const xercesc::DOMNodeList* list) {
  std::vector<const xercesc::DOMElement*> elements;
  for (XMLSize_t i = 0; i < list->getLength(); ++i) {
    elements.push_back(static_cast<const xercesc::DOMElement*>(list->item(i)));
  }
  return elements;
}

std::vector<const xercesc::DOMElement*> FromIndex(const ElementIndex::Span& span) {
  std::vector<const xercesc::DOMElement*> elements;
  for (const ElementIndex::Entry& entry : span) elements.push_back(entry.element);
  return elements;
}

// Many element names that are not looked for, more than the index
// remembers by pointer, mixed with the looked-for ones.
std::string ManyNames() {
  std::string text = "<A>";
  for (int k = 0; k < 150; ++k) {
    text += "<n" + std::to_string(k) + ">";
    if (k % 7 == 0) text += "<B/>";
    if (k % 11 == 0) text += "<A><C/></A>";
    text += "</n" + std::to_string(k) + ">";
  }
  return text + "<C/></A>";
}

std::string DeepChain(int depth) {
  std::string text;
  for (int k = 0; k < depth; ++k) text += k % 3 == 0 ? "<A>" : (k % 3 == 1 ? "<x>" : "<B>");
  text += "<C/>";
  for (int k = depth - 1; k >= 0; --k) text += k % 3 == 0 ? "</A>" : (k % 3 == 1 ? "</x>" : "</B>");
  return text;
}

TEST(ElementIndex, AnswersAsTheDomDoes) {
  const std::string documents[] = {
      "<r/>",
      "<A/>",
      "<r>text only</r>",
      // Tags nested in themselves and in each other, with text between.
      "<r> <A>x<A><B/><C>t</C></A><B><A/>y</B></A> <B><C><A/></C></B><A/> </r>",
      // The root is a looked-for element.
      "<A><A/><B><A><A/></A></B></A>",
      // Looked-for elements only under elements that are not.
      "<r><x><y><B/></y><C/></x><z/><x><A><y><B/></y></A></x></r>",
      // Names that only start like a looked-for one.
      "<r><AB/><A/><Ba/><B/><c/><C/></r>",
      ManyNames(),
      DeepChain(300),
  };
  XmlPlatform platform;
  for (const std::string& text : documents) {
    SCOPED_TRACE(text.substr(0, 80));
    std::unique_ptr<XmlDocument> parsed = XmlDocument::ParseBuffer(text.data(), text.size(), "t");
    xercesc::DOMDocument* document = parsed->GetDocument();
    const XMLCh* tags[] = {kA.c_str(), kB.c_str(), kC.c_str()};

    const ElementIndex index(document, {tags[0], tags[1], tags[2]});
    EXPECT_EQ(index.Scope(), document);
    for (size_t t = 0; t < 3; ++t) {
      EXPECT_EQ(FromIndex(index.All(t)), FromDom(document->getElementsByTagName(tags[t])));
      // Inside every indexed element, for every tag.
      for (const ElementIndex::Entry& outer : index.All(t)) {
        for (size_t inner = 0; inner < 3; ++inner) {
          EXPECT_EQ(FromIndex(index.Within(outer, inner)),
                    FromDom(outer.element->getElementsByTagName(tags[inner])));
        }
      }
    }
    // An element scope leaves the element itself out, like the element's
    // own search.
    for (const xercesc::DOMElement* scope : FromDom(document->getElementsByTagName(u"*"))) {
      const ElementIndex own(scope, {tags[0], tags[1], tags[2]});
      for (size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(FromIndex(own.All(t)), FromDom(scope->getElementsByTagName(tags[t])));
      }
    }
    // A position without a tag has no elements.
    EXPECT_TRUE(index.All(3).empty());
  }
  // Nor has a null scope.
  EXPECT_TRUE(ElementIndex(nullptr, {kA.c_str()}).All(0).empty());
}

// --- the model's dump ------------------------------------------------------------

// A full dump of a translated model is a golden file of the tool's show
// command; here the parts no document reaches: a model left at its defaults,
// a null rule, the weightedSum name and a method the switch does not know
// (firstHit, the default, is in the golden dumps).
TEST(ModelDisplay, EveryModelInOrderWithDefaults) {
  RuleSetModel model;
  model.SetNumberOfModels(2);
  model.SetAllRuleSelectionMethods({RuleSetModel::weightedSum}, 0);
  // 3 is no selection method (the enumeration's range still holds it): the
  // next item continues the line.
  model.SetAllRuleSelectionMethods({static_cast<RuleSetModel::RuleSetMethod>(3)}, 1);
  model.SetDefaultScore("no", 1);
  model.AddSimpleRule(nullptr, 0);  // skipped
  const std::string defaults = "Default confidence: 0\nTotal number of Records: -1\nnbCorrect: -1\n";
  EXPECT_EQ(Displayed(model), "Start RuleSetModel Display\nThere are total 2 models\nModel information is: \n"
                         "******   model 1 ****** \nRule Selection method used in scoring :weightedSum\n"
                         "Default Score: \n" + defaults +
                         "******   model 2 ****** \nRule Selection method used in scoring :Default Score: no\n" +
                         defaults);
}

}  // namespace
}  // namespace KtZembra_940
