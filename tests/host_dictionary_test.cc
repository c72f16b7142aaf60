// Dictionaries read from PMML, variables, value coding, the case record and
// the model base's hold on its dictionaries.
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include <gtest/gtest.h>

#include "host/BaseDictionary.h"
#include "host/BaseModel.h"
#include "host/BaseTranslator.h"
#include "host/ErrorCodes.h"
#include "host/NumericValue.h"
#include "host/PMMLModelTags.h"
#include "host/PMMLTranslator.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreDictionary.h"
#include "host/ScoreValueCoder.h"
#include "host/ScoreVersionInfo.h"
#include "host/StringValue.h"
#include "host/TransformationDictionary.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "tests/support/CountingHeap.h"

// Counts the allocations of this thread while `gCounting` is set, so that a
// test can show that some code allocates nothing.
namespace {
thread_local bool gCounting = false;
thread_local long gAllocations = 0;
}  // namespace

void NoteAllocation() {
  if (gCounting) ++gAllocations;
}

namespace KtZembra_940 {
namespace {

// The host's shared translator with no model kind of its own.
class DictionaryReader : public PMMLTranslator {
 public:
  DictionaryReader() : PMMLTranslator("test") {}
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override {
    return nullptr;
  }
};

// A parsed document and the reader; the platform outlives both.
struct Parsed {
  XmlPlatform platform;
  std::unique_ptr<XmlDocument> document;
  DictionaryReader reader;

  explicit Parsed(const std::string& text)
      : document(XmlDocument::ParseBuffer(text.data(), text.size(), "dict.pmml")) {}
  xercesc::DOMElement* Root() const { return document->GetDocument()->getDocumentElement(); }
  std::unique_ptr<ScoreDictionary> Dictionary(bool strict = true) {
    return std::unique_ptr<ScoreDictionary>(reader.ParseDictionary(
        BaseTranslator::GetChildByTagForced(Root(), XML_ELE_DATADICTIONARY), strict));
  }
};

std::string Pmml(const std::string& fields) {
  return "<PMML version=\"4.4\"><DataDictionary>" + fields + "</DataDictionary></PMML>";
}

std::vector<std::string> Labels(const ScoreDictVar* var) {
  std::vector<std::string> texts;
  const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();
  if (labels == nullptr) return texts;
  for (const ScoreValue* label : *labels) texts.push_back(label->GetString());
  return texts;
}

const char kFields[] =
    "<DataField name=\"colour\" optype=\"categorical\" dataType=\"string\">"
    "  <Value value=\"red\"/><Value value=\"green\"/><Value value=\"blue\"/>"
    "</DataField>"
    "<DataField name=\"size\" optype=\"ordinal\" dataType=\"string\">"
    "  <Value value=\"S\"/><Value value=\"M\"/><Value value=\"L\"/>"
    "</DataField>"
    "<DataField name=\"age\" optype=\"continuous\" dataType=\"integer\">"
    "  <Interval closure=\"closedClosed\" leftMargin=\"0\" rightMargin=\"120\"/>"
    "</DataField>"
    "<DataField name=\"income\" optype=\"continuous\" dataType=\"double\">"
    "  <Value value=\"-1\" property=\"missing\"/><Value value=\"N/A\" property=\"missing\"/>"
    "  <Value value=\"-2\" property=\"invalid\"/>"
    "</DataField>"
    // Defaults of optype and dataType.
    "<DataField name=\"a\" dataType=\"string\"/>"
    "<DataField name=\"b\" dataType=\"double\"/>"
    "<DataField name=\"c\" optype=\"continuous\"/>"
    "<DataField name=\"d\" optype=\"categorical\"/>"
    "<DataField name=\"e\" optype=\"ordinal\" dataType=\"integer\">"
    "<Value value=\"3\"/><Value value=\"1\"/></DataField>"
    "<DataField name=\"f\"/>";

TEST(ParseDictionary, TypesLevelsLabelsAndCodes) {
  Parsed parsed(Pmml(kFields));
  std::unique_ptr<ScoreDictionary> dictionary = parsed.Dictionary();
  ASSERT_NE(dictionary, nullptr);
  ASSERT_EQ(dictionary->GetVarCount(), 10);
  const std::vector<ScoreDictVar*>& all = dictionary->GetAllVars();
  EXPECT_EQ(all[0]->GetName(), "colour");
  EXPECT_EQ(all[9]->GetName(), "f");

  const struct {
    const char* name;
    int valueType;
    int level;
    std::vector<std::string> labels;
  } expected[] = {
      {"colour", ScoreDictVar::kString, ScoreDictVar::kNominal, {"red", "green", "blue"}},
      {"size", ScoreDictVar::kString, ScoreDictVar::kOrdinal, {"S", "M", "L"}},
      {"age", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous, {}},
      {"income", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous, {}},
      {"a", ScoreDictVar::kString, ScoreDictVar::kNominal, {}},
      {"b", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous, {}},
      {"c", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous, {}},
      {"d", ScoreDictVar::kString, ScoreDictVar::kNominal, {}},
      // Numeric labels keep document order.
      {"e", ScoreDictVar::kNumeric, ScoreDictVar::kOrdinal, {"3", "1"}},
      {"f", ScoreDictVar::kString, ScoreDictVar::kNominal, {}},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.name);
    const ScoreDictVar* var = dictionary->GetVar(e.name);
    ASSERT_NE(var, nullptr);
    EXPECT_EQ(var->GetValueType(), e.valueType);
    EXPECT_EQ(var->GetMeasureLevel(), e.level);
    EXPECT_EQ(var->GetNumberOfCategories(), static_cast<int>(e.labels.size()));
    EXPECT_EQ(Labels(var), e.labels);
    EXPECT_EQ(var->GetValueLabelSet() == nullptr, e.labels.empty());
    // A text label's code is its position in the label list.
    for (size_t k = 0; e.valueType == ScoreDictVar::kString && k < e.labels.size(); ++k) {
      EXPECT_EQ(var->GetLabelCoder()->GetCode(e.labels[k]), static_cast<int>(k));
      EXPECT_EQ(var->GetValueCoder()->GetCode(StringValue(e.labels[k])), static_cast<int>(k));
    }
  }
  EXPECT_EQ(dictionary->GetVar("colour")->GetLabelCoder()->GetCode("Red"), ScoreValueCoder::kNoCode);
  EXPECT_EQ(dictionary->GetVar("nothing"), nullptr);
}

TEST(ParseDictionary, ValidAndMissingTests) {
  Parsed parsed(Pmml(kFields));
  std::unique_ptr<ScoreDictionary> dictionary = parsed.Dictionary();
  const ScoreDictVar* colour = dictionary->GetVar("colour");
  const ScoreDictVar* age = dictionary->GetVar("age");
  const ScoreDictVar* income = dictionary->GetVar("income");
  const ScoreDictVar* ordinal = dictionary->GetVar("e");
  const double sysmis = NumericValue::GetSysmisValue();
  const struct {
    const ScoreDictVar* var;
    std::unique_ptr<ScoreValue> value;
    bool valid;
    bool missing;
  } cases[] = {
      {colour, std::make_unique<StringValue>("green"), true, false},
      {colour, std::make_unique<StringValue>("Green"), false, false},
      {colour, std::make_unique<StringValue>("purple"), false, false},
      {age, std::make_unique<NumericValue>(0.0), true, false},
      {age, std::make_unique<NumericValue>(120.0), true, false},
      {age, std::make_unique<NumericValue>(120.5), false, false},
      {age, std::make_unique<NumericValue>(-1.0), false, false},
      {age, std::make_unique<StringValue>("30"), true, false},
      {age, std::make_unique<StringValue>("thirty"), false, false},
      {age, std::make_unique<NumericValue>(sysmis), false, true},
      {income, std::make_unique<NumericValue>(1e9), true, false},
      {income, std::make_unique<NumericValue>(-1.0), false, true},
      {income, std::make_unique<StringValue>("-1.0"), false, true},  // read as the number
      {income, std::make_unique<StringValue>("N/A"), false, true},
      {income, std::make_unique<StringValue>("n/a"), false, false},
      {income, std::make_unique<NumericValue>(-2.0), false, false},  // declared invalid
      {ordinal, std::make_unique<StringValue>("1.0"), true, false},  // labels compare by number
      {ordinal, std::make_unique<NumericValue>(2.0), false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.var->GetName() + " " + c.value->GetString());
    EXPECT_EQ(c.var->IsValidValue(*c.value), c.valid);
    EXPECT_EQ(c.var->IsMissingValue(*c.value), c.missing);
  }
}

TEST(ParseDictionary, RepeatedValidTextKeepsItsFirstPlace) {
  Parsed parsed(Pmml("<DataField name=\"g\" optype=\"categorical\" dataType=\"string\">"
                     "<Value value=\"x\"/><Value value=\"y\"/><Value value=\"x\"/>"
                     "<Value value=\"z\"/></DataField>"));
  std::unique_ptr<ScoreDictionary> dictionary = parsed.Dictionary();
  const ScoreDictVar* g = dictionary->GetVar("g");
  EXPECT_EQ(Labels(g), (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(g->GetLabelCoder()->GetCode("z"), 2);
}

// Refusals of data fields are rows of tests/data/scenarios/refusals.txt.
TEST(ParseDictionary, LenientReadingPassesOverValuesThatAreNoNumbers) {
  // Without strict checking a numeric Value that is no number is passed over.
  Parsed lenient(Pmml("<DataField name=\"n\" optype=\"ordinal\" dataType=\"double\">"
                      "<Value value=\"many\"/><Value value=\"2\"/></DataField>"));
  std::unique_ptr<ScoreDictionary> dictionary = lenient.Dictionary(false);
  EXPECT_EQ(Labels(dictionary->GetVar("n")), std::vector<std::string>{"2"});
}

TEST(TransformationDictionary, NamesTypesAndRecordPositions) {
  Parsed parsed("<PMML><DataDictionary><DataField name=\"a\" optype=\"continuous\"/>"
                "<DataField name=\"b\" optype=\"categorical\"/></DataDictionary>"
                "<TransformationDictionary>"
                "<DerivedField name=\"band\" optype=\"categorical\" dataType=\"string\"/>"
                "<DerivedField name=\"ratio\" optype=\"continuous\" dataType=\"double\"/>"
                "</TransformationDictionary></PMML>");
  std::unique_ptr<ScoreDictionary> base = parsed.Dictionary();
  std::unique_ptr<TransformationDictionary> derived(parsed.reader.HandleTransformationDictionary(
      BaseTranslator::GetChildByTag(parsed.Root(), XML_ELE_TRANSFORMATION), base.get()));
  ASSERT_NE(derived, nullptr);
  ASSERT_EQ(derived->GetVarCount(), 2);
  EXPECT_EQ(derived->GetVar("band")->GetValueType(), ScoreDictVar::kString);
  EXPECT_EQ(derived->GetVar("ratio")->GetMeasureLevel(), ScoreDictVar::kContinuous);
  EXPECT_FALSE(derived->IsDerivedCaseRecordReady());
  derived->SetUpDerivedCaseRecord();
  derived->SetUpDerivedCaseRecord();
  EXPECT_TRUE(derived->IsDerivedCaseRecordReady());
  EXPECT_EQ(derived->GetVar("band")->GetCaseIndex(), 2);
  EXPECT_EQ(derived->GetVar("ratio")->GetCaseIndex(), 3);
  EXPECT_EQ(parsed.reader.HandleTransformationDictionary(nullptr, base.get()), nullptr);
}

// ---- variables and coders ------------------------------------------------------

TEST(ScoreDictionary, AddVarRefusesADuplicateName) {
  BaseDictionary dictionary;
  auto* first = new ScoreDictVar("x", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  EXPECT_TRUE(dictionary.AddVar("x", first));
  // The refused variable is deleted by AddVar (the sanitizer build sees a
  // leak otherwise).
  EXPECT_FALSE(dictionary.AddVar(
      "x", new ScoreDictVar("x", ScoreDictVar::kString, ScoreDictVar::kNominal)));
  EXPECT_FALSE(dictionary.AddVar("y", nullptr));
  EXPECT_EQ(dictionary.GetVarCount(), 1);
  EXPECT_EQ(dictionary.GetVar("x"), first);
}

TEST(ScoreDictVar, CloneIsDeep) {
  ScoreDictVar var("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  var.AddValidValue(new StringValue("red"));
  var.AddValidValue(new StringValue("green"));
  var.AddMissingValue(new StringValue("?"));
  var.GetMutableCoder()->AddCode("violet");
  var.SetCaseIndex(4);
  std::unique_ptr<ScoreDictVar> copy(var.Clone());
  EXPECT_EQ(copy->GetName(), "colour");
  EXPECT_EQ(copy->GetCaseIndex(), 4);
  EXPECT_EQ(Labels(copy.get()), (std::vector<std::string>{"red", "green"}));
  EXPECT_NE(copy->GetValueLabelSet()->at(0), var.GetValueLabelSet()->at(0));
  EXPECT_TRUE(copy->IsMissingValue(StringValue("?")));
  EXPECT_EQ(copy->GetValueCoder()->GetCode("violet"), 2);
  // The copy codes on its own.
  copy->GetMutableCoder()->AddCode("black");
  EXPECT_EQ(var.GetValueCoder()->GetCode("black"), ScoreValueCoder::kNoCode);
  var.SetCaseIndex(0);
  EXPECT_EQ(copy->GetCaseIndex(), 4);
}

TEST(ScoreValueCoder, CodesAreFirstComeAndStable) {
  ScoreValueCoder coder;
  EXPECT_EQ(coder.GetCodeCount(), 0);
  EXPECT_EQ(coder.AddCode("b"), 0);
  EXPECT_EQ(coder.AddCode("a"), 1);
  EXPECT_EQ(coder.AddCode("b"), 0);
  // Many more texts: earlier codes and their lookups survive the growth.
  for (int i = 0; i < 1000; ++i) coder.AddCode("t" + std::to_string(i));
  EXPECT_EQ(coder.GetCode("b"), 0);
  EXPECT_EQ(coder.GetCode("a"), 1);
  EXPECT_EQ(coder.GetCode("t999"), 1001);
  EXPECT_EQ(coder.GetText(1001), "t999");
  EXPECT_EQ(coder.GetText(-1), "");
  EXPECT_EQ(coder.GetText(5000), "");
  EXPECT_EQ(coder.GetCode(""), ScoreValueCoder::kNoCode);
  EXPECT_EQ(coder.GetCode(NumericValue(3.0)), ScoreValueCoder::kNoCode);
  coder.AddCode("3");
  EXPECT_EQ(coder.GetCode(NumericValue(3.0)), 1002);  // a number by its text

  ScoreValueCoder copy(coder);
  ScoreValueCoder assigned;
  assigned.AddCode("zzz");
  assigned = coder;
  for (const ScoreValueCoder* c : {&copy, &assigned}) {
    EXPECT_EQ(c->GetCodeCount(), 1003);
    EXPECT_EQ(c->GetCode("a"), 1);
    EXPECT_EQ(c->GetCode("zzz"), ScoreValueCoder::kNoCode);
  }
  coder.AddCode("only in the original");
  EXPECT_EQ(copy.GetCode("only in the original"), ScoreValueCoder::kNoCode);
}

TEST(ScoreValueCoder, LookupAllocatesNothing) {
  ScoreValueCoder coder;
  const std::string longText(200, 'q');
  coder.AddCode(longText);
  const StringValue value(longText);
  gAllocations = 0;
  gCounting = true;
  const int byView = coder.GetCode(std::string_view(longText));
  const int byValue = coder.GetCode(value);
  gCounting = false;
  EXPECT_EQ(byView, 0);
  EXPECT_EQ(byValue, 0);
  EXPECT_EQ(gAllocations, 0);
}

// ---- case record -----------------------------------------------------------------

TEST(ScoreCaseRecord, LayoutPositionsAndValues) {
  ScoreCaseRecord empty;
  EXPECT_FALSE(empty.IsReady());
  EXPECT_EQ(empty.GetValue(0), nullptr);

  ScoreCaseRecord record({"age", "colour", "age"});
  EXPECT_TRUE(record.IsReady());
  EXPECT_EQ(record.GetPosition("age"), 0);  // the first of two
  EXPECT_EQ(record.GetPosition("colour"), 1);
  EXPECT_EQ(record.GetPosition("size"), -1);
  EXPECT_EQ(record.GetFieldName(1), "colour");
  EXPECT_EQ(record.GetFieldName(7), "");
  for (int p : {-1, 0, 1, 2, 3}) EXPECT_EQ(record.GetValue(p), nullptr);

  record.SetNumber(0, 42.5);
  record.SetText(1, "red");
  record.SetNumber(9, 1.0);  // outside: ignored
  record.SetText(-1, "x");
  ASSERT_NE(record.GetValue(0), nullptr);
  EXPECT_EQ(record.GetValue(0)->GetValueType(), ScoreValue::kNumeric);
  EXPECT_EQ(record.GetValue(0)->GetDouble(), 42.5);
  ASSERT_NE(record.GetValue(1), nullptr);
  EXPECT_EQ(record.GetValue(1)->GetValueType(), ScoreValue::kString);
  EXPECT_EQ(record.GetValue(1)->GetString(), "red");
  EXPECT_EQ(record.GetValue(2), nullptr);

  record.SetMissing(0);
  EXPECT_EQ(record.GetValue(0), nullptr);
  record.SetText(0, "now text");
  EXPECT_EQ(record.GetValue(0)->GetValueType(), ScoreValue::kString);
  record.Clear();
  EXPECT_EQ(record.GetValue(0), nullptr);
  EXPECT_EQ(record.GetValue(1), nullptr);

  record.SetLayout({"x"});
  EXPECT_EQ(record.GetFieldCount(), 1);
  EXPECT_EQ(record.GetPosition("age"), -1);
  EXPECT_EQ(record.GetPosition("x"), 0);
  record.SetLayout({});
  EXPECT_FALSE(record.IsReady());
}

TEST(ScoreCaseRecord, RefillingAllocatesNothing) {
  ScoreCaseRecord record({"a", "b", "c"});
  const std::string longText(100, 'w');
  record.SetText(1, longText);  // the slot grows once
  record.Clear();
  gAllocations = 0;
  gCounting = true;
  for (int row = 0; row < 50; ++row) {
    record.Clear();
    record.SetNumber(0, row);
    record.SetText(1, std::string_view(longText).substr(0, static_cast<size_t>(row)));
    record.SetMissing(2);
    (void)record.GetValue(0);
    (void)record.GetValue(1);
  }
  gCounting = false;
  EXPECT_EQ(gAllocations, 0);
  EXPECT_EQ(record.GetValue(1)->GetString(), longText.substr(0, 49));
}

// ---- the model base ------------------------------------------------------------------

// The smallest model over the host's base: answers nothing of its own.
class PlainModel : public BaseModel {
 public:
  void SetPredictionOnly(bool) override {}
  ScoreDictionary* GetVarsOfRole(VarRole) const override { return nullptr; }
  KtScore::KtStatus GetScore(const ScoreCaseRecord*, ScoreResult*&, bool) override {
    return KtScore::KtStatus();
  }
  ModelType GetModelType() const override { return kUnknownModel; }
  bool GetPredictionOnly() const override { return false; }
  void Display(std::ostream&) const override {}
};

BaseDictionary* TwoFields() {
  auto* dictionary = new BaseDictionary();
  dictionary->AddVar("a", new ScoreDictVar("a", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous));
  dictionary->AddVar("t", new ScoreDictVar("t", ScoreDictVar::kString, ScoreDictVar::kNominal));
  return dictionary;
}

TEST(BaseModel, RolesAndTargetLookup) {
  PlainModel model;
  EXPECT_EQ(model.GetTargetVar(), nullptr);
  BaseDictionary* dictionary = TwoFields();
  model.SetScoreDictionary(dictionary);
  EXPECT_EQ(model.GetTargetVar(), nullptr);

  model.SetVarRole("t", ScoreModel::kTargetRole);
  model.SetVarRole(dictionary->GetVar("a"), ScoreModel::kPredictorRole);
  model.SetVarRole(static_cast<const ScoreDictVar*>(nullptr), ScoreModel::kTargetRole);
  EXPECT_EQ(model.GetVarRole("t"), ScoreModel::kTargetRole);
  EXPECT_EQ(model.GetVarRole(dictionary->GetVar("a")), ScoreModel::kPredictorRole);
  EXPECT_EQ(model.GetVarRole("unknown"), ScoreModel::kNoRole);
  EXPECT_EQ(model.GetTargetVar(), dictionary->GetVar("t"));

  // A later role replaces an earlier one.
  model.SetVarRole("t", ScoreModel::kPredictorRole);
  EXPECT_EQ(model.GetTargetVar(), nullptr);

  // A target known only to the transformation dictionary is found there.
  auto* derived = new TransformationDictionary(dictionary);
  derived->AddVar("band", new ScoreDictVar("band", ScoreDictVar::kString, ScoreDictVar::kNominal));
  model.SetTransformationScoreDictionary(derived);
  model.SetVarRole("band", ScoreModel::kTargetRole);
  EXPECT_EQ(model.GetTargetVar(), derived->GetVar("band"));
}

TEST(BaseModel, OwnsWhatItIsGivenUnlessToldOtherwise) {
  // Owned: the model deletes both dictionaries and the version info (the
  // sanitizer build reports a leak or a double free otherwise).
  {
    PlainModel model;
    BaseDictionary* dictionary = TwoFields();
    model.SetScoreDictionary(dictionary);
    model.SetTransformationScoreDictionary(new TransformationDictionary(dictionary));
    model.SetResultScoreDictionary(new BaseDictionary());
    model.SetVersionInfo(new ScoreVersionInfo("4.4", "tests"));
    model.SetVersionInfo(new ScoreVersionInfo("4.3", "tests"));
    EXPECT_EQ(model.GetVersionInfo()->GetPMMLVersion(), "4.3");
    // Replacing an owned dictionary releases the old one.
    model.SetScoreDictionary(TwoFields());
  }
  // Not owned: the dictionary outlives the model.
  std::unique_ptr<BaseDictionary> kept(TwoFields());
  std::unique_ptr<TransformationDictionary> keptDerived(new TransformationDictionary(kept.get()));
  {
    PlainModel model;
    model.SetScoreDictionary(kept.get(), false);
    model.SetTransformationScoreDictionary(keptDerived.get(), false);
    model.SetScoreDictionary(kept.get(), false);
  }
  EXPECT_EQ(kept->GetVarCount(), 2);
  EXPECT_EQ(keptDerived->GetBaseDictionary(), kept.get());
}

}  // namespace
}  // namespace KtZembra_940
