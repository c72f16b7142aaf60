// Dictionaries read from PMML, variables, value coding, the case record and
// the model base's hold on its dictionaries (refusals of data fields are rows
// of tests/data/scenarios/refusals.txt).
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <xercesc/dom/DOMElement.hpp>

#include <gtest/gtest.h>

#include "host/BaseDictionary.h"
#include "host/BaseModel.h"
#include "host/BaseTranslator.h"
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
#include "tests/support/AllocationCount.h"
#include "tests/support/CaseFile.h"
#include "tests/support/ToolRun.h"

namespace KtZembra_940 {
namespace {

class DictionaryReader : public PMMLTranslator {
 public:
  DictionaryReader() : PMMLTranslator("test") {}
  ScoreModel* ParseFromTree(xercesc::DOMDocument*, const std::string&) override { return nullptr; }
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

std::string Labels(const ScoreDictVar* var) {
  std::string texts;
  const std::vector<ScoreValue*>* labels = var->GetValueLabelSet();
  if (labels == nullptr) return "-";
  for (const ScoreValue* label : *labels) texts += (texts.empty() ? "" : ",") + label->GetString();
  return "[" + texts + "]";
}

// Each variable as "name type level labels", type 0 numeric or 1 text; the
// code of each text label is checked to be its position.
std::string Describe(const ScoreDictionary& dictionary) {
  std::ostringstream os;
  for (const ScoreDictVar* var : dictionary.GetAllVars()) {
    os << var->GetName() << " " << var->GetValueType() << " " << var->GetMeasureLevel() << " "
       << Labels(var) << ";";
    EXPECT_EQ(var->GetNumberOfCategories(),
              var->GetValueLabelSet() != nullptr ? static_cast<int>(var->GetValueLabelSet()->size()) : 0);
    if (var->GetValueType() != ScoreDictVar::kString || var->GetValueLabelSet() == nullptr) continue;
    for (size_t k = 0; k < var->GetValueLabelSet()->size(); ++k) {
      const std::string text = var->GetValueLabelSet()->at(k)->GetString();
      EXPECT_EQ(var->GetLabelCoder()->GetCode(text), static_cast<int>(k)) << text;
      EXPECT_EQ(var->GetValueCoder()->GetCode(StringValue(text)), static_cast<int>(k)) << text;
    }
  }
  return os.str();
}

// The fields of tests/data/models/dictionary.pmml.
const std::string kDictionary =
    testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/dictionary.pmml");

std::string Pmml(const std::string& fields) {
  return "<PMML version=\"4.4\"><DataDictionary>" + fields + "</DataDictionary></PMML>";
}

// Types 0 numeric, 1 text; levels 0 continuous, 1 ordinal, 2 nominal (the
// defaults of optype and dataType included); numeric labels keep document
// order; a repeated text keeps its first place; lenient reading passes over
// a numeric Value that is no number.
TEST(ParseDictionary, TypesLevelsLabelsAndCodes) {
  const struct {
    std::string pmml;
    bool strict;
    std::string described;
  } cases[] = {
      {kDictionary, true,
       "colour 1 2 [red,green,blue];size 1 1 [S,M,L];age 0 0 -;income 0 0 -;a 1 2 -;b 0 0 -;"
       "c 0 0 -;d 1 2 -;e 0 1 [3,1];f 1 2 -;"},
      {Pmml("<DataField name=\"g\" optype=\"categorical\" dataType=\"string\"><Value value=\"x\"/>"
       "<Value value=\"y\"/><Value value=\"x\"/><Value value=\"z\"/></DataField>"),
       true, "g 1 2 [x,y,z];"},
      {Pmml("<DataField name=\"n\" optype=\"ordinal\" dataType=\"double\"><Value value=\"many\"/>"
       "<Value value=\"2\"/></DataField>"),
       false, "n 0 1 [2];"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.described);
    Parsed parsed(c.pmml);
    std::unique_ptr<ScoreDictionary> dictionary = parsed.Dictionary(c.strict);
    ASSERT_NE(dictionary, nullptr);
    EXPECT_EQ(Describe(*dictionary), c.described);
    EXPECT_EQ(dictionary->GetVar("nothing"), nullptr);
  }
}

// Every row of tests/data/cases/dictionary_values.txt.
TEST(ParseDictionary, ValidAndMissingTests) {
  Parsed parsed(kDictionary);
  std::unique_ptr<ScoreDictionary> dictionary = parsed.Dictionary();
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("dictionary_values.txt")) {
    SCOPED_TRACE(c.where);
    const ScoreDictVar* var = dictionary->GetVar(c.fields[0]);
    ASSERT_NE(var, nullptr);
    std::unique_ptr<ScoreValue> value;
    if (c.fields[1] == "number") {
      value = std::make_unique<NumericValue>(c.fields[2] == "sysmis" ? NumericValue::GetSysmisValue()
                                                                      : std::stod(c.fields[2]));
    } else {
      value = std::make_unique<StringValue>(c.fields[2]);
    }
    EXPECT_EQ(var->IsValidValue(*value), c.fields[3] == "valid");
    EXPECT_EQ(var->IsMissingValue(*value), c.fields[4] == "missing");
  }
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
  EXPECT_EQ(Describe(*derived), "band 1 2 -;ratio 0 0 -;");
  EXPECT_FALSE(derived->IsDerivedCaseRecordReady());
  derived->SetUpDerivedCaseRecord();
  derived->SetUpDerivedCaseRecord();
  EXPECT_TRUE(derived->IsDerivedCaseRecordReady());
  EXPECT_EQ(derived->GetVar("band")->GetCaseIndex(), 2);
  EXPECT_EQ(derived->GetVar("ratio")->GetCaseIndex(), 3);
  EXPECT_EQ(parsed.reader.HandleTransformationDictionary(nullptr, base.get()), nullptr);
  // Local fields are added to a dictionary; without either nothing happens.
  parsed.reader.AddDerivedFields(nullptr, derived.get());
  parsed.reader.AddDerivedFields(BaseTranslator::GetChildByTag(parsed.Root(), XML_ELE_TRANSFORMATION), nullptr);
  EXPECT_EQ(derived->GetVarCount(), 2);
}

// ---- variables and coders ------------------------------------------------------

TEST(ScoreDictVar, AddVarAndDeepClones) {
  BaseDictionary dictionary;
  auto* first = new ScoreDictVar("x", ScoreDictVar::kNumeric, ScoreDictVar::kContinuous);
  EXPECT_TRUE(dictionary.AddVar("x", first));
  // The refused variable is deleted by AddVar (the sanitizer build sees a
  // leak otherwise).
  EXPECT_FALSE(dictionary.AddVar("x", new ScoreDictVar("x", ScoreDictVar::kString, ScoreDictVar::kNominal)));
  EXPECT_FALSE(dictionary.AddVar("y", nullptr));
  EXPECT_EQ(dictionary.GetVarCount(), 1);
  EXPECT_EQ(dictionary.GetVar("x"), first);

  auto var = std::make_unique<ScoreDictVar>("colour", ScoreDictVar::kString, ScoreDictVar::kNominal);
  var->AddValidValue(new StringValue("red"));
  var->AddValidValue(new StringValue("green"));
  var->AddMissingValue(new StringValue("?"));
  var->GetMutableCoder()->AddCode("violet");
  var->SetCaseIndex(4);
  std::unique_ptr<ScoreDictVar> copy(var->Clone());
  var->GetMutableCoder()->AddCode("black");
  var.reset();  // the copy owns its own values and coder
  EXPECT_EQ(copy->GetName(), "colour");
  EXPECT_EQ(copy->GetCaseIndex(), 4);
  EXPECT_EQ(Labels(copy.get()), "[red,green]");
  EXPECT_TRUE(copy->IsMissingValue(StringValue("?")));
  EXPECT_EQ(copy->GetValueCoder()->GetCode("violet"), 2);
  EXPECT_EQ(copy->GetValueCoder()->GetCode("black"), ScoreValueCoder::kNoCode);
  // A boolean field's texts are rows of tests/data/scenarios/field_types.txt.
  ScoreDictVar flag("b", ScoreDictVar::kNumeric, ScoreDictVar::kNominal);
  flag.SetDataType(ScoreDictVar::kDataBoolean);
  EXPECT_TRUE(std::unique_ptr<ScoreDictVar>(flag.Clone())->IsBoolean());
}

TEST(ScoreValueCoder, CodesAreFirstComeStableAndLookedUpWithoutAllocating) {
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
  coder.AddCode("only in the original");
  for (const ScoreValueCoder* c : {&copy, &assigned}) {
    EXPECT_EQ(c->GetCodeCount(), 1003);
    EXPECT_EQ(c->GetCode("a"), 1);
    EXPECT_EQ(c->GetCode("zzz"), ScoreValueCoder::kNoCode);
    EXPECT_EQ(c->GetCode("only in the original"), ScoreValueCoder::kNoCode);
  }

  const std::string longText(200, 'q');
  coder.AddCode(longText);
  const StringValue value(longText);
  int byView = 0;
  int byValue = 0;
  EXPECT_EQ(testing_support::AllocationsIn([&] {
              byView = coder.GetCode(std::string_view(longText));
              byValue = coder.GetCode(value);
            }),
            0);
  EXPECT_EQ(byView, 1004);
  EXPECT_EQ(byValue, 1004);
}

// ---- case record -----------------------------------------------------------------

// Each position as "n<number>", "t<text>" or "-".
std::string Values(const ScoreCaseRecord& record) {
  std::string out;
  for (int p = -1; p <= record.GetFieldCount(); ++p) {
    const ScoreValue* v = record.GetValue(p);
    out += v == nullptr ? "-"
           : v->GetValueType() == ScoreValue::kNumeric ? "n" + v->GetString()
                                                     : "t" + v->GetString();
    out += " ";
  }
  return out;
}

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
  EXPECT_EQ(Values(record), "- - - - - ");
  record.SetNumber(0, 42.5);
  record.SetText(1, "red");
  record.SetNumber(9, 1.0);  // outside: ignored
  record.SetText(-1, "x");
  EXPECT_EQ(Values(record), "- n42.5 tred - - ");
  record.SetMissing(0);
  EXPECT_EQ(Values(record), "- - tred - - ");
  record.SetText(0, "now text");
  EXPECT_EQ(Values(record), "- tnow text tred - - ");
  record.Clear();
  EXPECT_EQ(Values(record), "- - - - - ");

  record.SetLayout({"x"});
  EXPECT_EQ(record.GetFieldCount(), 1);
  EXPECT_EQ(record.GetPosition("age"), -1);
  EXPECT_EQ(record.GetPosition("x"), 0);
  record.SetLayout({});
  EXPECT_FALSE(record.IsReady());

  // Refilling a record whose slots have grown allocates nothing.
  ScoreCaseRecord refilled({"a", "b", "c"});
  const std::string longText(100, 'w');
  refilled.SetText(1, longText);
  EXPECT_EQ(testing_support::AllocationsIn([&] {
              for (int row = 0; row < 50; ++row) {
                refilled.Clear();
                refilled.SetNumber(0, row);
                refilled.SetText(1, std::string_view(longText).substr(0, static_cast<size_t>(row)));
                refilled.SetMissing(2);
                (void)refilled.GetValue(0);
                (void)refilled.GetValue(1);
              }
            }),
            0);
  EXPECT_EQ(refilled.GetValue(1)->GetString(), longText.substr(0, 49));
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

// Roles and the target; what the model is given it owns unless told
// otherwise (the sanitizer build reports a leak or a double free).
TEST(BaseModel, RolesTargetAndOwnership) {
  {
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
    model.SetResultScoreDictionary(new BaseDictionary());
    model.SetVersionInfo(new ScoreVersionInfo("4.4", "tests"));
    model.SetVersionInfo(new ScoreVersionInfo("4.3", "tests"));
    EXPECT_EQ(model.GetVersionInfo()->GetPMMLVersion(), "4.3");
  }
  {
    // Replacing an owned dictionary releases the old one.
    PlainModel model;
    model.SetScoreDictionary(TwoFields());
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
