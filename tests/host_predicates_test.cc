// The host's predicate parsers, Array splitting, Remove, and the split
// variables with their display.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include <gtest/gtest.h>

#include "host/BaseTranslator.h"
#include "host/CompoundPredicate.h"
#include "host/DiscreteSplit.h"
#include "host/ErrorCodes.h"
#include "host/FalsePredicate.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/PMMLTranslator.h"
#include "host/Range.h"
#include "host/ScaleSplit.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValueCoder.h"
#include "host/SetPredicate.h"
#include "host/SimplePredicate.h"
#include "host/StringValue.h"
#include "host/TruePredicate.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"

namespace KtZembra_940 {
namespace {

class PredicateReader : public PMMLTranslator {
 public:
  PredicateReader() : PMMLTranslator("test") {}
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override {
    return nullptr;
  }
};

const char kDictionary[] =
    "<DataDictionary>"
    "<DataField name=\"age\" optype=\"continuous\" dataType=\"double\"/>"
    "<DataField name=\"colour\" optype=\"categorical\" dataType=\"string\">"
    "<Value value=\"red\"/><Value value=\"green\"/><Value value=\"blue\"/></DataField>"
    "<DataField name=\"size\" optype=\"ordinal\" dataType=\"integer\">"
    "<Value value=\"1\"/><Value value=\"2\"/><Value value=\"3\"/></DataField>"
    "</DataDictionary>";

// A document holding the dictionary and one predicate element (the first
// element after the dictionary), read with a fresh reader.
class Fixture {
 public:
  explicit Fixture(const std::string& predicate) {
    const std::string text = std::string("<PMML>") + kDictionary + predicate + "</PMML>";
    document_ = XmlDocument::ParseBuffer(text.data(), text.size(), "pred.pmml");
    root_ = document_->GetDocument()->getDocumentElement();
    dictionary_.reset(reader_.ParseDictionary(
        BaseTranslator::GetChildByTag(root_, XML_ELE_DATADICTIONARY), true));
    element_ = BaseTranslator::GetNextSiblingElt(BaseTranslator::GetFirstChildElt(root_));
  }

  std::unique_ptr<ScorePredicate> Parse() {
    return std::unique_ptr<ScorePredicate>(
        reader_.ParsePredicate(element_, dictionary_.get(), nullptr, false));
  }
  ScoreDictVar* Var(const std::string& name) const { return dictionary_->GetVar(name); }
  PredicateReader& Reader() { return reader_; }
  const xercesc::DOMElement* Element() const { return element_; }
  ScoreDictionary* Dictionary() const { return dictionary_.get(); }

 private:
  XmlPlatform platform_;
  std::unique_ptr<XmlDocument> document_;
  PredicateReader reader_;
  xercesc::DOMElement* root_ = nullptr;
  std::unique_ptr<ScoreDictionary> dictionary_;
  const xercesc::DOMElement* element_ = nullptr;
};

struct Failure {
  int code = 0;
  std::vector<std::string> args;
};

Failure ParseFailure(const std::string& predicate) {
  Fixture f(predicate);
  try {
    f.Parse();
  } catch (const ZbException& e) {
    return Failure{e.GetErrorCode(), e.GetArguments()};
  }
  return Failure{};
}

std::string Simple(const std::string& field, const std::string& op, const char* value) {
  std::string text = "<SimplePredicate field=\"" + field + "\" operator=\"" + op + "\"";
  if (value != nullptr) text += std::string(" value=\"") + value + "\"";
  return text + "/>";
}

const double kSysmis = NumericValue::GetSysmisValue();

TEST(ParsePredicate, EveryOperatorOnANumericField) {
  const struct {
    const char* op;
    const char* value;
    int code;
    double encoded;
  } cases[] = {
      {"equal", "5", SimplePredicate::kEqual, 5},
      {"notEqual", "5", SimplePredicate::kNotEqual, 5},
      {"lessThan", "-2.5", SimplePredicate::kLessThan, -2.5},
      {"lessOrEqual", " 7 ", SimplePredicate::kLessOrEqual, 7},
      {"greaterThan", "+60", SimplePredicate::kGreaterThan, 60},
      {"greaterOrEqual", "1e3", SimplePredicate::kGreaterOrEqual, 1000},
      {"isMissing", nullptr, SimplePredicate::kIsMissing, kSysmis},
      {"isNotMissing", nullptr, SimplePredicate::kIsNotMissing, kSysmis},
      // Built for the rule reader's own checks to refuse.
      {"equal", "", SimplePredicate::kEqual, kSysmis},
      {"isMissing", "3", SimplePredicate::kIsMissing, 3},
      {"isNotMissing", "junk", SimplePredicate::kIsNotMissing, kSysmis},
  };
  EXPECT_EQ(SimplePredicate::kEqual, 0);
  EXPECT_EQ(SimplePredicate::kIsNotMissing, 7);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.op) + " " + (c.value != nullptr ? c.value : "(none)"));
    Fixture f(Simple("age", c.op, c.value));
    std::unique_ptr<ScorePredicate> p = f.Parse();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetPredType(), ScorePredicate::kSimple);
    const auto* simple = dynamic_cast<const SimplePredicate*>(p.get());
    ASSERT_NE(simple, nullptr);
    EXPECT_EQ(simple->GetPredicateOperator(), c.code);
    EXPECT_EQ(simple->GetPredValueByDouble(), c.encoded);
    EXPECT_EQ(simple->HasPredValue(), c.value != nullptr);
    EXPECT_EQ(simple->GetPredValueText(), c.value != nullptr ? c.value : "");
    EXPECT_EQ(simple->GetVar(), f.Var("age"));
    ASSERT_NE(p->GetSplit(), nullptr);
    EXPECT_EQ(p->GetSplit()->GetSplitVar(), f.Var("age"));
    EXPECT_NE(dynamic_cast<const ScaleSplit*>(p->GetSplit()), nullptr);
  }
}

TEST(ParsePredicate, StringValuesAreLabelCodes) {
  Fixture f(Simple("colour", "equal", "blue"));
  std::unique_ptr<ScorePredicate> p = f.Parse();
  EXPECT_EQ(static_cast<SimplePredicate*>(p.get())->GetPredValueByDouble(), 2.0);
  EXPECT_NE(dynamic_cast<const DiscreteSplit*>(p->GetSplit()), nullptr);

  // An undeclared text takes the next free code, once.
  ScoreDictVar* colour = f.Var("colour");
  const std::string purple = Simple("colour", "notEqual", "purple");
  Fixture g(purple);
  std::unique_ptr<ScorePredicate> first = g.Parse();
  std::unique_ptr<ScorePredicate> second = g.Parse();
  EXPECT_EQ(static_cast<SimplePredicate*>(first.get())->GetPredValueByDouble(), 3.0);
  EXPECT_EQ(static_cast<SimplePredicate*>(second.get())->GetPredValueByDouble(), 3.0);
  EXPECT_EQ(g.Var("colour")->GetValueCoder()->GetCodeCount(), 4);
  // Codes are the label positions, and the label list is unchanged.
  EXPECT_EQ(g.Var("colour")->GetNumberOfCategories(), 3);
  EXPECT_EQ(colour->GetValueCoder()->GetCodeCount(), 3);

  // A missing test never compares its value: an undeclared one gets no code.
  Fixture h(Simple("colour", "isMissing", "teal"));
  std::unique_ptr<ScorePredicate> missing = h.Parse();
  EXPECT_EQ(static_cast<SimplePredicate*>(missing.get())->GetPredValueByDouble(), kSysmis);
  EXPECT_EQ(h.Var("colour")->GetValueCoder()->GetCode("teal"), ScoreValueCoder::kNoCode);
}

TEST(ParsePredicate, ConstantsAndOtherElements) {
  Fixture t("<True/>");
  std::unique_ptr<ScorePredicate> p = t.Parse();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->GetPredType(), ScorePredicate::kTrue);
  EXPECT_EQ(p->GetSplit(), nullptr);
  Fixture f("<False/>");
  EXPECT_EQ(f.Parse()->GetPredType(), ScorePredicate::kFalse);
  Fixture other("<Extension name=\"x\"/>");
  EXPECT_EQ(other.Parse(), nullptr);
  EXPECT_EQ(other.Reader().ParsePredicate(nullptr, other.Dictionary(), nullptr, false), nullptr);
}

TEST(ParsePredicate, SecondDictionaryIsSearchedAfterTheFirst) {
  Fixture f(Simple("age", "equal", "4"));
  PredicateReader& reader = f.Reader();
  std::unique_ptr<ScorePredicate> p(
      reader.ParsePredicate(f.Element(), nullptr, f.Dictionary(), false));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<SimplePredicate*>(p.get())->GetVar(), f.Var("age"));
}

TEST(ParseSetPredicate, MembersItemsAndOperatorCodes) {
  const struct {
    std::string element;
    int op;
    std::vector<std::string> items;
    std::vector<double> members;
  } cases[] = {
      {"<SimpleSetPredicate field=\"colour\" booleanOperator=\"isIn\">"
       "<Array n=\"2\" type=\"string\">blue red</Array></SimpleSetPredicate>",
       SetPredicate::kIsIn, {"blue", "red"}, {2, 0}},
      {"<SimpleSetPredicate field=\"colour\" booleanOperator=\"isNotIn\">"
       "<Array type=\"string\">\"sky blue\" green</Array></SimpleSetPredicate>",
       SetPredicate::kIsNotIn, {"sky blue", "green"}, {3, 1}},
      // n is not trusted: the items decide.
      {"<SimpleSetPredicate field=\"size\" booleanOperator=\"isIn\">"
       "<Array n=\"1000000000\" type=\"int\">3 1</Array></SimpleSetPredicate>",
       SetPredicate::kIsIn, {"3", "1"}, {3, 1}},
      {"<SimpleSetPredicate field=\"age\" booleanOperator=\"isIn\">"
       "<Array type=\"real\"></Array></SimpleSetPredicate>",
       SetPredicate::kIsIn, {}, {}},
  };
  EXPECT_EQ(SetPredicate::kIsIn, 0);
  EXPECT_EQ(SetPredicate::kIsNotIn, 1);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.element);
    Fixture f(c.element);
    std::unique_ptr<ScorePredicate> p = f.Parse();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetPredType(), ScorePredicate::kSet);
    const auto* set = static_cast<const SetPredicate*>(p.get());
    EXPECT_EQ(set->GetPredicateOperator(), c.op);
    EXPECT_EQ(set->GetArrayItems(), c.items);
    EXPECT_EQ(set->GetArrayData(), c.members);
    ASSERT_NE(set->GetSplit(), nullptr);
    EXPECT_EQ(set->GetSplit()->GetSplitVar(), set->GetVar());
  }
}

TEST(ParseCompoundPredicate, KindsOperatorsAndMembers) {
  EXPECT_EQ(CompoundPredicate::kOr, 0);
  EXPECT_EQ(CompoundPredicate::kAnd, 1);
  EXPECT_EQ(CompoundPredicate::kXor, 2);
  EXPECT_FALSE(CompoundPredicate::kSurrogate >= 0 && CompoundPredicate::kSurrogate <= 2);
  const struct {
    const char* op;
    int code;
  } operators[] = {{"or", CompoundPredicate::kOr},
                   {"and", CompoundPredicate::kAnd},
                   {"xor", CompoundPredicate::kXor},
                   {"surrogate", CompoundPredicate::kSurrogate}};
  for (const auto& o : operators) {
    SCOPED_TRACE(o.op);
    Fixture f(std::string("<CompoundPredicate booleanOperator=\"") + o.op + "\">" +
              Simple("age", "lessThan", "3") + "<Extension name=\"note\"/>" +
              "<SimpleSetPredicate field=\"colour\" booleanOperator=\"isIn\">"
              "<Array type=\"string\">red</Array></SimpleSetPredicate>"
              "<CompoundPredicate booleanOperator=\"and\"><True/><False/></CompoundPredicate>"
              "</CompoundPredicate>");
    std::unique_ptr<ScorePredicate> p = f.Parse();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->GetPredType(), ScorePredicate::kCompound);
    EXPECT_EQ(p->GetSplit(), nullptr);
    const auto* compound = static_cast<const CompoundPredicate*>(p.get());
    EXPECT_EQ(compound->GetBoolOperator(), o.code);
    ASSERT_EQ(compound->GetCount(), 3);
    EXPECT_EQ(compound->GetPredicates()[0]->GetPredType(), ScorePredicate::kSimple);
    EXPECT_EQ(compound->GetPredicates()[1]->GetPredType(), ScorePredicate::kSet);
    const auto* inner = static_cast<const CompoundPredicate*>(compound->GetPredicates()[2]);
    ASSERT_EQ(inner->GetPredType(), ScorePredicate::kCompound);
    EXPECT_EQ(inner->GetBoolOperator(), CompoundPredicate::kAnd);
    ASSERT_EQ(inner->GetCount(), 2);
    EXPECT_EQ(inner->GetPredicates()[0]->GetPredType(), ScorePredicate::kTrue);
    EXPECT_EQ(inner->GetPredicates()[1]->GetPredType(), ScorePredicate::kFalse);
  }
  // Fewer than two members are built; the rule reader refuses them.
  Fixture empty("<CompoundPredicate booleanOperator=\"xor\"/>");
  std::unique_ptr<ScorePredicate> none = empty.Parse();
  EXPECT_EQ(static_cast<const CompoundPredicate*>(none.get())->GetCount(), 0);
}

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<CompoundPredicate booleanOperator=\"and\"><True/>";
  for (int i = 0; i < depth; ++i) text += "</CompoundPredicate>";
  return text;
}

TEST(ParseCompoundPredicate, NestingIsBounded) {
  {
    Fixture f(Nested(PMMLTranslator::kMaxPredicateDepth));
    std::unique_ptr<ScorePredicate> p = f.Parse();
    int depth = 0;
    for (const ScorePredicate* q = p.get(); q != nullptr && q->GetPredType() == ScorePredicate::kCompound;) {
      ++depth;
      const auto* c = static_cast<const CompoundPredicate*>(q);
      q = c->GetCount() == 2 ? c->GetPredicates()[1] : nullptr;
    }
    EXPECT_EQ(depth, PMMLTranslator::kMaxPredicateDepth);
  }
  const Failure failure = ParseFailure(Nested(PMMLTranslator::kMaxPredicateDepth + 1));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundPredicate", "500"}));
}

TEST(CompoundPredicate, DeepTreeIsDeletedWithoutRecursion) {
  // Far deeper than any stack would take one frame per level.
  ScorePredicate* tree = new TruePredicate();
  for (int i = 0; i < 300000; ++i) {
    tree = new CompoundPredicate(CompoundPredicate::kAnd, {new FalsePredicate(), tree});
  }
  delete tree;
  int op = -1;
  EXPECT_TRUE(CompoundPredicate::OperatorFromText("surrogate", &op));
  EXPECT_EQ(op, CompoundPredicate::kSurrogate);
  EXPECT_FALSE(CompoundPredicate::OperatorFromText("AND", &op));
  EXPECT_FALSE(CompoundPredicate::OperatorFromText(nullptr, &op));
}

// ---- arrays ------------------------------------------------------------------------

std::vector<std::string> Items(const std::string& arrayText) {
  Fixture f("<Array type=\"string\">" + arrayText + "</Array>");
  return f.Reader().GetArrayElements(f.Element(), u"string", nullptr);
}

TEST(GetArrayElements, SplitsAndUnquotes) {
  const struct {
    std::string text;
    std::vector<std::string> items;
  } cases[] = {
      {"a b c", {"a", "b", "c"}},
      {"  a\t\tb\n c  ", {"a", "b", "c"}},
      {"", {}},
      {"   ", {}},
      {"\"a b\" c", {"a b", "c"}},
      {"\"\"", {""}},
      {"\"say \\\"hi\\\"\"", {"say \"hi\""}},
      {"\"back\\\\slash\"", {"back\\slash"}},
      {"\"keep \\n as is\"", {"keep \\n as is"}},
      {"a\\b", {"a\\b"}},
      {"&lt;x&gt; &amp;", {"<x>", "&"}},
      {"caf\xc3\xa9 \"na\xc3\xafve one\"", {"caf\xc3\xa9", "na\xc3\xafve one"}},
      {"<![CDATA[p q]]> r", {"p", "q", "r"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Items(c.text), c.items);
  }
}

TEST(GetArrayElements, MalformedArraysAreRefused) {
  const struct {
    std::string text;
    std::string reason;
  } cases[] = {
      {"\"open", "unterminated quote"},
      {"a \"b c", "unterminated quote"},
      {"\"ends with escape\\\"", "unterminated quote"},
      {"\"a\"b", "text after a closing quote"},
      {"a\"b\"", "quote inside an unquoted item"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      Items(c.text);
      ADD_FAILURE() << "accepted";
    } catch (const ZbException& e) {
      EXPECT_EQ(e.GetErrorCode(), ErrorCode::kMalformedArray);
      ASSERT_EQ(e.GetArguments().size(), 2u);
      EXPECT_EQ(e.GetArguments()[1], c.reason);
    }
  }
  // A long array is cut short in the message.
  try {
    Items("\"" + std::string(10000, 'x'));
    ADD_FAILURE() << "accepted";
  } catch (const ZbException& e) {
    EXPECT_LT(e.GetArguments()[0].size(), 100u);
  }
}

TEST(Remove, LeavesTheDeclaredValuesNotListed) {
  Fixture f("<True/>");
  PredicateReader& reader = f.Reader();
  EXPECT_EQ(reader.Remove(f.Var("colour"), {"green"}), (std::vector<std::string>{"red", "blue"}));
  EXPECT_EQ(reader.Remove(f.Var("colour"), {"blue", "red", "green"}), std::vector<std::string>{});
  EXPECT_EQ(reader.Remove(f.Var("colour"), {"Green", "purple"}),
            (std::vector<std::string>{"red", "green", "blue"}));
  // Numbers compare by number.
  EXPECT_EQ(reader.Remove(f.Var("size"), {"2.0", "+3"}), std::vector<std::string>{"1"});
  EXPECT_EQ(reader.Remove(f.Var("age"), {"1"}), std::vector<std::string>{});
  EXPECT_EQ(reader.Remove(nullptr, {"1"}), std::vector<std::string>{});
}

// ---- splits --------------------------------------------------------------------------

std::string Shown(const ScoreSplitVar& split) {
  std::ostringstream os;
  split.Display(os);
  return os.str();
}

std::string Shown(const Range& range) {
  std::ostringstream os;
  range.Display(os);
  return os.str();
}

TEST(Range, DisplayForms) {
  const double inf = NumericValue::GetInfinity();
  const struct {
    double low;
    double high;
    bool lowClosed;
    bool highClosed;
    const char* text;
  } cases[] = {
      {3, 7, false, true, "(3, 7]"},
      {5, 5, true, true, "[5, 5]"},
      {-inf, inf, false, false, "(-inf, inf)"},
      {0.25, 1e21, true, false, "[0.25, 1e+21)"},
      {5, 2, false, false, "(5, 2)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Range range(new NumericValue(c.low), new NumericValue(c.high), c.lowClosed,
                      c.highClosed);
    EXPECT_EQ(Shown(range), c.text);
    const Range copy(range);
    EXPECT_NE(copy.GetLow(), range.GetLow());
    EXPECT_EQ(Shown(copy), c.text);
  }
}

TEST(ScaleSplit, DisplayCloneAndMissingMap) {
  const ScoreDictVar age("age", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  auto split = std::make_unique<ScaleSplit>(&age);
  split->PutSplit(new Range(new NumericValue(3), new NumericValue(7), false, true), 0);
  EXPECT_EQ(Shown(*split), "age: (3, 7]\n");
  split->PutSplit(
      new Range(new NumericValue(10), new NumericValue(NumericValue::GetInfinity()), true, false),
      2);
  EXPECT_EQ(Shown(*split), "age: (3, 7] or [10, inf)\n");
  EXPECT_EQ(split->GetSplitIndices(), (std::vector<int>{0, 2}));
  split->SetMissvalMap(1);
  EXPECT_EQ(Shown(*split), "age: (3, 7] or [10, inf) | missing\n");
  split->SetMissvalMap(-2);
  EXPECT_EQ(Shown(*split), "age: (3, 7] or [10, inf) | not missing\n");

  std::unique_ptr<ScoreSplitVar> copy(split->Clone());
  const auto* scale = dynamic_cast<const ScaleSplit*>(copy.get());
  ASSERT_NE(scale, nullptr);
  EXPECT_NE(scale->GetRanges()[0], split->GetRanges()[0]);
  split.reset();  // the copy owns its own ranges
  EXPECT_EQ(Shown(*copy), "age: (3, 7] or [10, inf) | not missing\n");
  EXPECT_EQ(copy->GetMissvalMap(), -2);
  EXPECT_EQ(scale->GetSplitIndices(), (std::vector<int>{0, 2}));
}

TEST(DiscreteSplit, DisplayCloneAndOrdinalRange) {
  const ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  auto split = std::make_unique<DiscreteSplit>(&colour);
  EXPECT_EQ(Shown(*split), "colour: {}\n");
  split->PutSplit(new StringValue("red"), 0);
  split->PutSplit(new StringValue("green"), 0);
  EXPECT_EQ(Shown(*split), "colour: {red, green}\n");
  split->SetMissvalMap(0);
  EXPECT_EQ(Shown(*split), "colour: {red, green} | missing\n");

  const ScoreDictVar size("size", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal);
  DiscreteSplit ordinal(&size);
  ordinal.PutSplit(new NumericValue(2), 1);
  ordinal.PutSplit(new NumericValue(3), 1);
  ordinal.SetStartAndEndIndex(1, 2);
  EXPECT_EQ(Shown(ordinal), "size: {2, 3} [1..2]\n");

  std::unique_ptr<ScoreSplitVar> copy(split->Clone());
  const auto* discrete = dynamic_cast<const DiscreteSplit*>(copy.get());
  ASSERT_NE(discrete, nullptr);
  EXPECT_NE(discrete->GetValues()[0], split->GetValues()[0]);
  split.reset();
  EXPECT_EQ(Shown(*copy), "colour: {red, green} | missing\n");
  std::unique_ptr<ScoreSplitVar> ordinalCopy(ordinal.Clone());
  EXPECT_EQ(static_cast<const DiscreteSplit*>(ordinalCopy.get())->GetStartIndex(), 1);
  EXPECT_EQ(Shown(*ordinalCopy), "size: {2, 3} [1..2]\n");
}

}  // namespace
}  // namespace KtZembra_940
