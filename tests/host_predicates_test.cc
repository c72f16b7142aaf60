// The host's predicate parsers, Array splitting, Remove, and the split
// variables' display and copies (the splits of whole rules are rows of
// tests/data/scenarios/splits.txt).
#include <memory>
#include <sstream>
#include <string>
#include <vector>

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
#include "tests/support/CaseFile.h"
#include "tests/support/Displayed.h"
#include "tests/support/ToolRun.h"

namespace KtZembra_940 {
namespace {

class PredicateReader : public PMMLTranslator {
 public:
  PredicateReader() : PMMLTranslator("test") {}
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
};

// tests/data/models/predicate_fields.pmml (age, colour: red, green, blue,
// size: 1, 2, 3) with one element after its dictionary, read with a fresh
// reader.
class Fixture {
 public:
  explicit Fixture(const std::string& element) {
    std::string text = testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/predicate_fields.pmml");
    text.replace(text.find("$ELEMENT"), 8, element);
    document_ = XmlDocument::ParseBuffer(text.data(), text.size(), "pred.pmml");
    const xercesc::DOMElement* root = document_->GetDocument()->getDocumentElement();
    dictionary_.reset(reader_.ParseDictionary(
        BaseTranslator::GetChildByTag(root, XML_ELE_DATADICTIONARY), true));
    element_ = BaseTranslator::GetNextSiblingElt(BaseTranslator::GetFirstChildElt(root));
  }
  // Parsed with the dictionary first, or second when `second` is set.
  std::unique_ptr<ScorePredicate> Parse(bool second = false) {
    return std::unique_ptr<ScorePredicate>(reader_.ParsePredicate(
        element_, second ? nullptr : dictionary_.get(), second ? dictionary_.get() : nullptr, false));
  }
  ScoreDictVar* Var(const std::string& name) const { return dictionary_->GetVar(name); }
  PredicateReader& Reader() { return reader_; }
  const xercesc::DOMElement* Element() const { return element_; }

 private:
  XmlPlatform platform_;
  std::unique_ptr<XmlDocument> document_;
  PredicateReader reader_;
  std::unique_ptr<ScoreDictionary> dictionary_;
  const xercesc::DOMElement* element_ = nullptr;
};

template <class T>
std::string Join(const std::vector<T>& items) {
  std::ostringstream os;
  for (size_t i = 0; i < items.size(); ++i) os << (i == 0 ? "" : ",") << items[i];
  return os.str();
}

// A parsed predicate as text: its kind, operator code, field, value (its
// code for a text), value text, and split kind; members in brackets.
std::string Describe(const ScorePredicate* p) {
  if (p == nullptr) return "null";
  std::ostringstream os;
  const ScoreSplitVar* split = p->GetSplit();
  const std::string splitKind = split == nullptr                                 ? ""
                                : dynamic_cast<const ScaleSplit*>(split) != nullptr ? " scale"
                                                                                    : " discrete";
  const ScoreDictVar* splitVar = split != nullptr ? split->GetSplitVar() : nullptr;
  switch (p->GetPredType()) {
    case ScorePredicate::kTrue: return "true" + splitKind;
    case ScorePredicate::kFalse: return "false" + splitKind;
    case ScorePredicate::kSimple: {
      const auto* s = static_cast<const SimplePredicate*>(p);
      const double v = s->GetPredValueByDouble();
      os << "simple " << s->GetPredicateOperator() << " " << s->GetVar()->GetName() << " "
         << (NumericValue::IsSystemMissingValue(v) ? std::string("sysmis") : std::to_string(v))
         << (s->HasPredValue() ? " '" + s->GetPredValueText() + "'" : " -") << splitKind;
      break;
    }
    case ScorePredicate::kSet: {
      const auto* s = static_cast<const SetPredicate*>(p);
      os << "set " << s->GetPredicateOperator() << " " << s->GetVar()->GetName() << " ["
         << Join(s->GetArrayItems()) << "] [" << Join(s->GetArrayData()) << "]" << splitKind;
      break;
    }
    case ScorePredicate::kCompound: {
      const auto* c = static_cast<const CompoundPredicate*>(p);
      std::vector<std::string> members;
      for (const ScorePredicate* m : c->GetPredicates()) members.push_back(Describe(m));
      os << "compound " << c->GetBoolOperator() << " (" << Join(members) << ")" << splitKind;
      break;
    }
    default: os << "kind " << p->GetPredType();
  }
  const ScoreDictVar* var = p->GetPredType() == ScorePredicate::kSimple
                               ? static_cast<const SimplePredicate*>(p)->GetVar()
                           : p->GetPredType() == ScorePredicate::kSet
                               ? static_cast<const SetPredicate*>(p)->GetVar()
                               : nullptr;
  if (splitVar != var) os << " (split on another field)";
  return os.str();
}

// Every row of tests/data/cases/predicates.txt.
TEST(ParsePredicate, ElementsAsParsed) {
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("predicates.txt")) {
    SCOPED_TRACE(c.where);
    Fixture f(c.fields[0]);
    EXPECT_EQ(Describe(f.Parse().get()), c.fields[1]);
    // The second dictionary is searched when the first is absent.
    EXPECT_EQ(Describe(f.Parse(true).get()), c.fields[1]);
  }
  EXPECT_EQ(Fixture("<True/>").Reader().ParsePredicate(nullptr, nullptr, nullptr, false), nullptr);

  // An undeclared text gets its code once; the label list is unchanged, and
  // a missing test's value gets none.
  Fixture purple("<SimplePredicate field=\"colour\" operator=\"notEqual\" value=\"purple\"/>");
  purple.Parse();
  EXPECT_EQ(Describe(purple.Parse().get()), "simple 1 colour 3.000000 'purple' discrete");
  EXPECT_EQ(purple.Var("colour")->GetValueCoder()->GetCodeCount(), 4);
  EXPECT_EQ(purple.Var("colour")->GetNumberOfCategories(), 3);
  Fixture teal("<SimplePredicate field=\"colour\" operator=\"isMissing\" value=\"teal\"/>");
  teal.Parse();
  EXPECT_EQ(teal.Var("colour")->GetValueCoder()->GetCode("teal"), ScoreValueCoder::kNoCode);
  int op = -1;
  EXPECT_TRUE(CompoundPredicate::OperatorFromText("surrogate", &op));
  EXPECT_EQ(op, CompoundPredicate::kSurrogate);
  EXPECT_FALSE(CompoundPredicate::OperatorFromText("AND", &op));
  EXPECT_FALSE(CompoundPredicate::OperatorFromText(nullptr, &op));
}

// The nesting bound is a row of hostile_input_test; a tree far deeper than
// any stack would take one frame per level is deleted without recursion.
TEST(CompoundPredicate, DeepTreesAreDeletedWithoutRecursion) {
  ScorePredicate* tree = new TruePredicate();
  for (int i = 0; i < 300000; ++i) {
    tree = new CompoundPredicate(CompoundPredicate::kAnd, {new FalsePredicate(), tree});
  }
  delete tree;
}

// Every row of tests/data/cases/arrays.txt: the items joined by "|", or
// "error: <reason>" for a refused array.
TEST(GetArrayElements, SplitsUnquotesOrRefuses) {
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("arrays.txt")) {
    SCOPED_TRACE(c.where);
    Fixture f("<Array type=\"string\">" + c.fields[0] + "</Array>");
    std::string got;
    try {
      const std::vector<std::string> items = f.Reader().GetArrayElements(f.Element(), u"string", nullptr);
      for (size_t i = 0; i < items.size(); ++i) got += (i == 0 ? "" : "|") + items[i];
      if (c.fields[0] == "\"\"") {
        EXPECT_EQ(items.size(), 1u);
      }
    } catch (const ZbException& e) {
      EXPECT_EQ(e.GetErrorCode(), ErrorCode::kMalformedArray);
      ASSERT_EQ(e.GetArguments().size(), 2u);
      got = "error: " + e.GetArguments()[1];
    }
    EXPECT_EQ(got, c.fields[1]);
  }
  // A long array is cut short in the message.
  Fixture f("<Array type=\"string\">\"" + std::string(10000, 'x') + "</Array>");
  try {
    f.Reader().GetArrayElements(f.Element(), u"string", nullptr);
    ADD_FAILURE() << "accepted";
  } catch (const ZbException& e) {
    EXPECT_LT(e.GetArguments()[0].size(), 100u);
  }
}

// The declared values not listed; numbers compare by number.
TEST(Remove, LeavesTheDeclaredValuesNotListed) {
  Fixture f("<True/>");
  const struct {
    const char* field;
    std::vector<std::string> listed;
    std::vector<std::string> left;
  } cases[] = {
      {"colour", {"green"}, {"red", "blue"}},
      {"colour", {"blue", "red", "green"}, {}},
      {"colour", {"Green", "purple"}, {"red", "green", "blue"}},
      {"size", {"2.0", "+3"}, {"1"}},
      {"age", {"1"}, {}},
      {"", {"1"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(f.Reader().Remove(*c.field == 0 ? nullptr : f.Var(c.field), c.listed), c.left);
  }
}

// Display forms the rule rows do not reach (a missing map of -2, an empty
// value list, bounds of other sizes), and copies that own their own values.
TEST(SplitVars, DisplayAndDeepCopies) {
  const ScoreDictVar age("age", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  const ScoreDictVar colour("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  const ScoreDictVar size("size", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal);
  auto scale = std::make_unique<ScaleSplit>(&age);
  scale->PutSplit(new Range(new NumericValue(3), new NumericValue(7), false, true), 0);
  scale->PutSplit(new Range(new NumericValue(0.25), new NumericValue(1e21), true, false), 2);
  scale->SetMissvalMap(-2);
  EXPECT_EQ(scale->GetSplitIndices(), (std::vector<int>{0, 2}));
  auto discrete = std::make_unique<DiscreteSplit>(&colour);
  auto ordinal = std::make_unique<DiscreteSplit>(&size);
  EXPECT_EQ(testing_support::Displayed(*discrete), "colour: {}\n");
  discrete->PutSplit(new StringValue("red"), 0);
  discrete->PutSplit(new StringValue("green"), 0);
  discrete->SetMissvalMap(0);
  ordinal->PutSplit(new NumericValue(2), 1);
  ordinal->PutSplit(new NumericValue(3), 1);
  ordinal->SetStartAndEndIndex(1, 2);
  const std::string shown[] = {"age: (3, 7] or [0.25, 1e+21) | not missing\n",
                               "colour: {red, green} | missing\n", "size: {2, 3} [1..2]\n"};
  std::unique_ptr<ScoreSplitVar> originals[] = {std::move(scale), std::move(discrete), std::move(ordinal)};
  for (int k = 0; k < 3; ++k) {
    EXPECT_EQ(testing_support::Displayed(*originals[k]), shown[k]);
    std::unique_ptr<ScoreSplitVar> copy(originals[k]->Clone());
    originals[k].reset();  // the copy owns its own ranges and values
    EXPECT_EQ(testing_support::Displayed(*copy), shown[k]);
    EXPECT_EQ(copy->GetMissvalMap(), k == 0 ? -2 : k == 1 ? 0 : -1);
  }
}

}  // namespace
}  // namespace KtZembra_940
