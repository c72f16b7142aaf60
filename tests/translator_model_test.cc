// The translator's frame and the model-level readers: dictionaries, the
// RuleSetModel elements, mining schemas and the target's categories, the
// settings of each RuleSet, trace lines and the fate of half-built models.

#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TranslatedDocument.h"
#include "host/ErrorCodes.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreModel.h"
#include "host/ScoreValue.h"
#include "host/ScoringLog.h"
#include "host/TransformationDictionary.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {

class RuleSetTranslatorTestPeer {
 public:
  static const std::string& TargetName(const RuleSetTranslator& t) { return t.targetName; }
  static const ScoreDictVar* TargetVariable(const RuleSetTranslator& t) {
    return t.targetVariable;
  }
};

namespace {

using Peer = RuleSetTranslatorTestPeer;

constexpr char kEnterFrame[] = "Enter:KtZembra_940::RuleSetTranslator::ParseFromTree\n";
constexpr char kExitFrame[] = "Exit:KtZembra_940::RuleSetTranslator::ParseFromTree\n";
constexpr char kEnterRuleSet[] = "Enter:KtZembra_940::RuleSetTranslator::ParseRuleSetToModel\n";
constexpr char kExitRuleSet[] = "Exit:KtZembra_940::RuleSetTranslator::ParseRuleSetToModel\n";

// risk: string target a, b; num: numeric target 0, 1; amount: continuous.
const char kDictionary[] = R"(
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="a"/><Value value="b"/>
    </DataField>
    <DataField name="num" optype="categorical" dataType="integer">
      <Value value="0"/><Value value="1"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="size" optype="continuous" dataType="double"/>
    <DataField name="amount" optype="continuous" dataType="double"/>
  </DataDictionary>)";

std::string Pmml(const std::string& body, const std::string& dictionary = kDictionary) {
  return R"(<?xml version="1.0" encoding="UTF-8"?><PMML version="4.4">)" + dictionary + body +
         "</PMML>";
}

// A RuleSetModel element: its attributes, its mining fields and its RuleSet.
std::string ModelElement(const std::string& attributes, const std::string& fields,
                         const std::string& ruleSet) {
  return "<RuleSetModel functionName=\"classification\" " + attributes + "><MiningSchema>" +
         fields + "</MiningSchema>" + ruleSet + "</RuleSetModel>";
}

const char kFields[] =
    R"(<MiningField name="risk" usageType="predicted"/><MiningField name="age"/>)";
const char kRuleSet[] = R"(<RuleSet defaultScore="b" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="R1" score="a" weight="1">
        <SimplePredicate field="age" operator="greaterThan" value="60"/>
      </SimpleRule></RuleSet>)";

std::string OneModel(const std::string& attributes = "", const std::string& fields = kFields,
                     const std::string& ruleSet = kRuleSet) {
  return Pmml(ModelElement(attributes, fields, ruleSet));
}

using Translated = testing_support::TranslatedDocument;
using Failure = testing_support::TranslationFailure;

std::unique_ptr<Translated> Translate(const std::string& pmml) {
  return testing_support::TranslateDocument(pmml, "model.pmml");
}

Failure FailureOf(const std::string& pmml) {
  return testing_support::TranslationFailureOf(pmml, "model.pmml");
}

// Sends the host's trace log to a string while it lives.
class TraceCapture {
 public:
  explicit TraceCapture(std::ostream* stream = nullptr) {
    ScoringLog::GetInstance().SetStream(stream != nullptr ? stream : &text_);
    ScoringLog::GetInstance().SetLevel(1);
  }
  ~TraceCapture() {
    ScoringLog::GetInstance().SetLevel(0);
    ScoringLog::GetInstance().SetStream(nullptr);
  }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;
  std::string Text() const { return text_.str(); }

 private:
  std::ostringstream text_;
};

std::vector<std::string> Texts(const std::vector<ScoreValue*>& values) {
  std::vector<std::string> texts;
  for (const ScoreValue* value : values) texts.push_back(value->GetString());
  return texts;
}

// --- frame --------------------------------------------------------------------

TEST(ParseFromTree, NullDocumentWritesExactlyTheTwoTraceLines) {
  XmlPlatform platform;
  RuleSetTranslator translator;
  TraceCapture trace;
  EXPECT_EQ(translator.ParseFromTree(nullptr, "UTF-8"), nullptr);
  EXPECT_EQ(trace.Text(), std::string(kEnterFrame) + kExitFrame);
}

TEST(ParseFromTree, TracesTheFrameAroundEachRuleSet) {
  std::string text;
  {
    TraceCapture trace;
    std::unique_ptr<Translated> t = Translate(OneModel());
    ASSERT_NE(t->model, nullptr);
    text = trace.Text();
  }
  EXPECT_EQ(text, std::string(kEnterFrame) + kEnterRuleSet + kExitRuleSet + kExitFrame);
}

TEST(ParseFromTree, FailureSkipsTheExitLine) {
  std::string text;
  {
    TraceCapture trace;
    Failure failure = FailureOf(OneModel("", kFields, R"(<RuleSet defaultConfidence="-1"/>)"));
    EXPECT_EQ(failure.code, ErrorCode::kNegativeConfidence);
    text = trace.Text();
  }
  EXPECT_EQ(text, std::string(kEnterFrame) + kEnterRuleSet);
}

TEST(ParseFromTree, MissingDataDictionaryIsTheHostsFailure) {
  Failure failure = FailureOf(Pmml(ModelElement("", kFields, kRuleSet), ""));
  EXPECT_EQ(failure.code, ErrorCode::kMissingChild);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"PMML", "DataDictionary"}));
}

TEST(ParseFromTree, NoRuleSetModelGivesNull) {
  std::string text;
  {
    TraceCapture trace;
    std::unique_ptr<Translated> t = Translate(Pmml(""));
    EXPECT_EQ(t->model, nullptr);
    text = trace.Text();
  }
  EXPECT_EQ(text, std::string(kEnterFrame) + kExitFrame);
}

TEST(ParseFromTree, TransformationDictionaryIsOptional) {
  std::unique_ptr<Translated> plain = Translate(OneModel());
  ASSERT_NE(plain->model, nullptr);
  EXPECT_NE(plain->model->GetDictionary(), nullptr);
  EXPECT_EQ(plain->model->GetTransformationDictionary(), nullptr);

  const std::string derived = std::string(kDictionary) + R"(
    <TransformationDictionary>
      <DerivedField name="older" optype="continuous" dataType="double"><FieldRef field="age"/></DerivedField>
    </TransformationDictionary>)";
  std::unique_ptr<Translated> t =
      Translate(Pmml(ModelElement("", kFields, kRuleSet), derived));
  ASSERT_NE(t->model, nullptr);
  const TransformationDictionary* transformation = t->model->GetTransformationDictionary();
  ASSERT_NE(transformation, nullptr);
  EXPECT_TRUE(transformation->IsDerivedCaseRecordReady());
  EXPECT_NE(transformation->GetVar("older"), nullptr);
}

// One translator reads document after document; nothing of an earlier
// parse, failed or not, leaks into the next.
TEST(ParseFromTree, TranslatorIsReusable) {
  XmlPlatform platform;
  RuleSetTranslator translator;
  const std::string bad = OneModel("", kFields, R"(<RuleSet defaultConfidence="-1"/>)");
  const std::string good = OneModel();
  const std::string noTarget = OneModel("", R"(<MiningField name="age"/>)");
  for (int round = 0; round < 2; ++round) {
    std::unique_ptr<XmlDocument> first = XmlDocument::ParseBuffer(bad.data(), bad.size(), "b");
    EXPECT_THROW(translator.ParseFromTree(first->GetDocument(), ""), ZbException);

    std::unique_ptr<XmlDocument> second = XmlDocument::ParseBuffer(good.data(), good.size(), "g");
    std::unique_ptr<ScoreModel> model(translator.ParseFromTree(second->GetDocument(), ""));
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(Peer::TargetName(translator), "risk");
    ASSERT_NE(Peer::TargetVariable(translator), nullptr);
    EXPECT_EQ(Peer::TargetVariable(translator), model->GetDictionary()->GetVar("risk"));
    model.reset();

    std::unique_ptr<XmlDocument> third =
        XmlDocument::ParseBuffer(noTarget.data(), noTarget.size(), "n");
    model.reset(translator.ParseFromTree(third->GetDocument(), ""));
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(Peer::TargetName(translator), "");
    EXPECT_EQ(Peer::TargetVariable(translator), nullptr);
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
    TraceCapture trace(&stream);
    EXPECT_THROW(translator.ParseFromTree(document->GetDocument(), ""), std::bad_alloc);
  }
}

// --- RuleSetModel elements ------------------------------------------------------

TEST(RuleSetModels, OneModelElement) {
  std::unique_ptr<Translated> t = Translate(OneModel());
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetNumbOfModels(), 1);
  EXPECT_EQ(t->model->GetModelType(), ScoreModel::kRuleSetModel);
  ASSERT_EQ(t->model->GetSimpleRules().size(), 1u);
  EXPECT_EQ(t->model->GetSimpleRules()[0].size(), 1u);
}

TEST(RuleSetModels, EveryMiningSchemaOfTheDocumentIsCounted) {
  const std::vector<std::string> expected = {"MiningSchema", "RuleSetModel"};
  const std::string twoModelsOneSchema =
      Pmml(ModelElement("", kFields, kRuleSet) +
           R"(<RuleSetModel functionName="classification"><RuleSet/></RuleSetModel>)");
  const std::string otherModel =
      Pmml(ModelElement("", kFields, kRuleSet) +
           "<TreeModel functionName=\"classification\"><MiningSchema>" + kFields +
           "</MiningSchema></TreeModel>");
  for (const std::string& pmml : {twoModelsOneSchema, otherModel}) {
    Failure failure = FailureOf(pmml);
    EXPECT_EQ(failure.code, ErrorCode::kSchemaCount);
    EXPECT_EQ(failure.args, expected);
  }
}

TEST(RuleSetModels, ScorableFlag) {
  struct Case {
    const char* attribute;
    bool refused;
  };
  const Case cases[] = {
      {R"(isScorable="FALSE")", true}, {R"(isScorable="False")", true},
      {R"(isScorable="false")", true}, {R"(isScorable="no")", false},
      {R"(isScorable="0")", false},    {R"(isScorable="")", false},
      {"", false},                     {R"(isScorable="true")", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.attribute);
    Failure failure = FailureOf(OneModel(c.attribute));
    if (c.refused) {
      EXPECT_EQ(failure.code, ErrorCode::kNotScorableModel);
      EXPECT_EQ(failure.args, (std::vector<std::string>{"isScorable", "PMML"}));
    } else {
      EXPECT_EQ(failure.code, 0);
    }
  }
}

TEST(RuleSetModels, OnlyTheFirstElementNamesTheAlgorithm) {
  std::unique_ptr<Translated> first = Translate(OneModel(R"(algorithmName="DecisionList")"));
  ASSERT_NE(first->model, nullptr);
  EXPECT_EQ(first->model->GetModelType(), ScoreModel::kDecisionListModel);

  const std::string second =
      Pmml(ModelElement("", kFields, kRuleSet) +
           ModelElement(R"(algorithmName="DecisionList")", kFields, kRuleSet));
  std::unique_ptr<Translated> t = Translate(second);
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetNumbOfModels(), 2);
  EXPECT_EQ(t->model->GetModelType(), ScoreModel::kRuleSetModel);
}

TEST(RuleSetModels, DecisionListNeverGetsCosts) {
  const std::string costs = R"(<Extension><MisclassificationCost>
      <Category type="A">a</Category><Category type="A">b</Category><Cost>5</Cost>
    </MisclassificationCost></Extension>)";
  std::unique_ptr<Translated> plain = Translate(OneModel("", std::string(kFields) + costs));
  ASSERT_NE(plain->model, nullptr);
  EXPECT_EQ(plain->model->GetCostMatrix(),
            (std::vector<std::vector<double>>{{0.0, 5.0}, {1.0, 0.0}}));

  std::unique_ptr<Translated> list =
      Translate(OneModel(R"(algorithmName="DecisionList")", std::string(kFields) + costs));
  ASSERT_NE(list->model, nullptr);
  EXPECT_TRUE(list->model->GetCostMatrix().empty());
}

TEST(RuleSetModels, NoRuleSetGivesAModelWithoutRules) {
  std::unique_ptr<Translated> t = Translate(Pmml(ModelElement("", kFields, "")));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetNumbOfModels(), 1);
  ASSERT_EQ(t->model->GetSimpleRules().size(), 1u);
  EXPECT_TRUE(t->model->GetSimpleRules()[0].empty());
  EXPECT_TRUE(t->model->GetCompiledRuleSets().empty());
}

// --- mining schemas -----------------------------------------------------------------

TEST(MiningSchemas, UsageTypes) {
  const std::string fields = R"(
      <MiningField name="age"/>
      <MiningField name="risk" usageType="predicted"/>
      <MiningField name="amount" usageType="supplementary"/>
      <MiningField name="size" usageType="active"/>
      <MiningField name="num" usageType=""/>)";
  std::unique_ptr<Translated> t = Translate(OneModel("", fields));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetTargetNameFromModel(0), "risk");
  EXPECT_EQ(t->model->GetPredictorNameFromModel(0),
            (std::vector<std::string>{"age", "size", "num"}));
  EXPECT_FALSE(t->model->IsPredictorInModel("amount", 0));
  EXPECT_EQ(t->model->GetVarRole("risk"), ScoreModel::kTargetRole);
}

TEST(MiningSchemas, LaterTargetFieldWins) {
  const std::string fields = R"(
      <MiningField name="risk" usageType="predicted"/>
      <MiningField name="num" usageType="target"/>)";
  std::unique_ptr<Translated> t = Translate(OneModel("", fields));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetTargetNameFromModel(0), "num");
  EXPECT_EQ(Peer::TargetName(*t->translator), "num");
  ASSERT_NE(Peer::TargetVariable(*t->translator), nullptr);
  EXPECT_EQ(Peer::TargetVariable(*t->translator)->GetName(), "num");
  EXPECT_FALSE(t->model->IsTargetString());
  EXPECT_EQ(Texts(t->model->GetCategoryValues()), (std::vector<std::string>{"0", "1"}));
}

TEST(MiningSchemas, ScaleTargetIsRefused) {
  const std::string fields = R"(<MiningField name="amount" usageType="predicted"/>)";
  Failure failure = FailureOf(OneModel("", fields));
  EXPECT_EQ(failure.code, ErrorCode::kScaleTarget);
  EXPECT_EQ(failure.args, std::vector<std::string>{"amount"});
}

TEST(MiningSchemas, DerivedScaleTargetIsRefused) {
  const std::string derived = std::string(kDictionary) + R"(
    <TransformationDictionary>
      <DerivedField name="ratio" optype="continuous" dataType="double"><FieldRef field="age"/></DerivedField>
    </TransformationDictionary>)";
  Failure failure = FailureOf(Pmml(
      ModelElement("", R"(<MiningField name="ratio" usageType="target"/>)", kRuleSet), derived));
  EXPECT_EQ(failure.code, ErrorCode::kScaleTarget);
  EXPECT_EQ(failure.args, std::vector<std::string>{"ratio"});
}

TEST(MiningSchemas, UnknownTargetIsAccepted) {
  std::unique_ptr<Translated> t =
      Translate(OneModel("", R"(<MiningField name="nowhere" usageType="predicted"/>)"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetTargetNameFromModel(0), "nowhere");
  EXPECT_EQ(Peer::TargetVariable(*t->translator), nullptr);
  // Nothing declares the categories: the rule score, then the default.
  ASSERT_EQ(t->model->GetNumbOfCategories(), 2);
  EXPECT_EQ(t->model->GetCategoryValues()[0]->GetString(), "a");
  EXPECT_EQ(t->model->GetCategoryValues()[1]->GetString(), "b");
}

TEST(MiningSchemas, FieldWithoutNameIsTheHostsFailure) {
  Failure failure = FailureOf(OneModel("", R"(<MiningField usageType="active"/>)"));
  EXPECT_EQ(failure.code, ErrorCode::kMissingAttribute);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"MiningField", "name"}));
}

TEST(MiningSchemas, FirstSchemaFixesTheTarget) {
  const std::string second = ModelElement(
      "", R"(<MiningField name="num" usageType="predicted"/><MiningField name="size"/>)",
      kRuleSet);
  std::unique_ptr<Translated> t = Translate(Pmml(ModelElement("", kFields, kRuleSet) + second));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetTargetNameFromModel(0), "risk");
  EXPECT_EQ(t->model->GetTargetNameFromModel(1), "num");
  EXPECT_EQ(t->model->GetPredictorNameFromModel(1), std::vector<std::string>{"size"});
  EXPECT_EQ(Peer::TargetName(*t->translator), "risk");
  EXPECT_EQ(t->model->GetVarRole("risk"), ScoreModel::kTargetRole);
  EXPECT_NE(t->model->GetVarRole("num"), ScoreModel::kTargetRole);
  EXPECT_TRUE(t->model->IsTargetString());
  EXPECT_EQ(Texts(t->model->GetCategoryValues()), (std::vector<std::string>{"a", "b"}));
}

TEST(MiningSchemas, NumericLabelsKeepTheirFirstIndex) {
  const std::string dictionary = R"(<DataDictionary>
      <DataField name="grade" optype="categorical" dataType="integer">
        <Value value="1"/><Value value="2"/><Value value="2"/>
      </DataField>
      <DataField name="age" optype="continuous" dataType="double"/>
    </DataDictionary>)";
  std::unique_ptr<Translated> t = Translate(Pmml(
      ModelElement("", R"(<MiningField name="grade" usageType="predicted"/>)", "<RuleSet/>"),
      dictionary));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(Texts(t->model->GetCategoryValues()), (std::vector<std::string>{"1", "2", "2"}));
  EXPECT_EQ(t->model->GetCategoryIndex(), (std::map<double, int32_t>{{1.0, 0}, {2.0, 1}}));
  EXPECT_TRUE(t->model->GetCategoryCodes().empty());
}

TEST(MiningSchemas, StringLabelsGetTheirCodes) {
  std::unique_ptr<Translated> t = Translate(OneModel());
  ASSERT_NE(t->model, nullptr);
  EXPECT_TRUE(t->model->IsTargetString());
  EXPECT_EQ(t->model->GetNumbOfCategories(), 2);
  EXPECT_EQ(t->model->GetCategoryCodes(), (std::vector<int32_t>{0, 1}));
  EXPECT_TRUE(t->model->GetCategoryIndex().empty());
}

// Fields count at any depth inside their RuleSetModel element, and only
// there: a field in a later model's schema, or one standing outside every
// model, belongs to no earlier model.
TEST(MiningSchemas, FieldsAtAnyDepthOfTheirOwnModel) {
  const std::string first = ModelElement(
      "", R"(<MiningField name="risk" usageType="predicted"/>
             <Extension><Wrapper><MiningField name="size"/></Wrapper></Extension>
             <MiningField name="age"/>)",
      kRuleSet);
  const std::string second = ModelElement(
      "", R"(<MiningField name="num" usageType="predicted"/><MiningField name="amount"/>)",
      "<RuleSet/>");
  const std::string outside = R"(<Extension><MiningField name="num"/></Extension>)";
  std::unique_ptr<Translated> t = Translate(Pmml(outside + first + second));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetPredictorNameFromModel(0),
            (std::vector<std::string>{"size", "age"}));
  EXPECT_EQ(t->model->GetPredictorNameFromModel(1), std::vector<std::string>{"amount"});
  EXPECT_EQ(t->model->GetTargetNameFromModel(1), "num");
}

// --- rule-set settings ------------------------------------------------------------

TEST(RuleSetSettings, AbsentAttributesKeepTheSizingValues) {
  std::unique_ptr<Translated> t = Translate(OneModel("", kFields, "<RuleSet/>"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetRecordCount(), std::vector<double>{-1.0});
  EXPECT_EQ(t->model->GetnbCorrect(), std::vector<double>{-1.0});
  EXPECT_EQ(t->model->GetDefaultConfidence(), std::vector<double>{0.0});
  EXPECT_EQ(t->model->GetDefaultScore(), std::vector<std::string>{""});
  EXPECT_EQ(t->model->GetDefaultScoreIndex(), std::vector<int32_t>{0});
  EXPECT_TRUE(t->model->GetAllRuleSelectionMethods().at(0).empty());
  EXPECT_EQ(t->model->GetRuleSelectionMethodUsedInModel(0), RuleSetModel::firstHit);
}

TEST(RuleSetSettings, AttributesAreStored) {
  std::unique_ptr<Translated> t = Translate(OneModel(
      "", kFields,
      R"(<RuleSet recordCount="120" nbCorrect="97.5" defaultScore="b" defaultConfidence="0"/>)"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetRecordCount(), std::vector<double>{120.0});
  EXPECT_EQ(t->model->GetnbCorrect(), std::vector<double>{97.5});
  EXPECT_EQ(t->model->GetDefaultConfidence(), std::vector<double>{0.0});
  EXPECT_EQ(t->model->GetDefaultScore(), std::vector<std::string>{"b"});
  EXPECT_EQ(t->model->GetDefaultScoreIndex(), std::vector<int32_t>{1});
}

TEST(RuleSetSettings, EmptyAttributesCountAsAbsent) {
  std::unique_ptr<Translated> t = Translate(OneModel(
      "", kFields,
      R"(<RuleSet recordCount="" nbCorrect="" defaultScore="" defaultConfidence=""/>)"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetRecordCount(), std::vector<double>{-1.0});
  EXPECT_EQ(t->model->GetDefaultConfidence(), std::vector<double>{0.0});
}

TEST(RuleSetSettings, NumericDefaultScoreMapsToItsCategory) {
  const std::string fields = R"(<MiningField name="num" usageType="predicted"/>)";
  struct Case {
    const char* score;
    int32_t index;
  };
  for (const Case& c : {Case{"1", 1}, Case{"0", 0}, Case{"7", -1}, Case{"1.0", 1}}) {
    SCOPED_TRACE(c.score);
    std::unique_ptr<Translated> t = Translate(
        OneModel("", fields, std::string("<RuleSet defaultScore=\"") + c.score + "\"/>"));
    ASSERT_NE(t->model, nullptr);
    EXPECT_EQ(t->model->GetDefaultScore(), std::vector<std::string>{c.score});
    EXPECT_EQ(t->model->GetDefaultScoreIndex(), std::vector<int32_t>{c.index});
  }
}

TEST(RuleSetSettings, NegativeDefaultConfidenceIsRefused) {
  Failure failure = FailureOf(OneModel("", kFields, R"(<RuleSet defaultConfidence="-0.5"/>)"));
  EXPECT_EQ(failure.code, ErrorCode::kNegativeConfidence);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"-0.5", "defaultConfidence"}));
}

TEST(RuleSetSettings, NumberTextsGoThroughTheHost) {
  for (const char* attribute : {R"(recordCount="many")", R"(defaultConfidence="NaN")",
                                R"(nbCorrect="1e400")"}) {
    SCOPED_TRACE(attribute);
    Failure failure =
        FailureOf(OneModel("", kFields, std::string("<RuleSet ") + attribute + "/>"));
    EXPECT_EQ(failure.code, ErrorCode::kNotANumber);
  }
}

TEST(RuleSetSettings, SelectionMethodsInDocumentOrder) {
  std::unique_ptr<Translated> t = Translate(OneModel("", kFields, R"(<RuleSet>
      <RuleSelectionMethod criterion="weightedSum"/>
      <RuleSelectionMethod criterion="firstHit"/>
      <RuleSelectionMethod criterion="weightedMax"/></RuleSet>)"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetAllRuleSelectionMethods().at(0),
            (std::vector<RuleSetModel::RuleSetMethod>{
                RuleSetModel::weightedSum, RuleSetModel::firstHit, RuleSetModel::weightedMax}));
  EXPECT_EQ(t->model->GetRuleSelectionMethodUsedInModel(0), RuleSetModel::weightedSum);
}

TEST(RuleSetSettings, CriterionIsComparedExactly) {
  struct Case {
    const char* element;
    std::string text;
  };
  const Case cases[] = {
      {R"(<RuleSelectionMethod criterion="WeightedSum"/>)", "WeightedSum"},
      {R"(<RuleSelectionMethod criterion="weightedsum"/>)", "weightedsum"},
      {R"(<RuleSelectionMethod criterion=""/>)", ""},
      {R"(<RuleSelectionMethod/>)", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.element);
    Failure failure = FailureOf(OneModel(
        "", kFields,
        std::string("<RuleSet><RuleSelectionMethod criterion=\"firstHit\"/>") + c.element +
            "</RuleSet>"));
    EXPECT_EQ(failure.code, ErrorCode::kUnsupported);
    EXPECT_EQ(failure.args, (std::vector<std::string>{c.text, "criterion", "RuleSelectionMethod"}));
  }
}

TEST(RuleSetSettings, EachRuleSetFillsItsOwnEntry) {
  const std::string pmml =
      Pmml(ModelElement("", kFields, R"(<RuleSet defaultScore="a" defaultConfidence="0.25">
               <RuleSelectionMethod criterion="weightedMax"/></RuleSet>)") +
           ModelElement("", kFields, R"(<RuleSet defaultScore="b" recordCount="9"/>)"));
  std::unique_ptr<Translated> t = Translate(pmml);
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetDefaultScore(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(t->model->GetDefaultScoreIndex(), (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(t->model->GetDefaultConfidence(), (std::vector<double>{0.25, 0.0}));
  EXPECT_EQ(t->model->GetRecordCount(), (std::vector<double>{-1.0, 9.0}));
  EXPECT_EQ(t->model->GetRuleSelectionMethodUsedInModel(0), RuleSetModel::weightedMax);
  EXPECT_EQ(t->model->GetRuleSelectionMethodUsedInModel(1), RuleSetModel::firstHit);
}

// A rule set's selection methods are those inside it at any depth, in
// document order; another rule set's never mix in.
TEST(RuleSetSettings, SelectionMethodsAtAnyDepthOfTheirOwnRuleSet) {
  const std::string pmml =
      Pmml(ModelElement("", kFields, R"(<RuleSet>
               <RuleSelectionMethod criterion="weightedMax"/>
               <Extension><RuleSelectionMethod criterion="firstHit"/></Extension>
             </RuleSet>)") +
           ModelElement("", kFields, R"(<RuleSet>
               <RuleSelectionMethod criterion="weightedSum"/></RuleSet>)"));
  std::unique_ptr<Translated> t = Translate(pmml);
  ASSERT_NE(t->model, nullptr);
  const std::vector<std::vector<RuleSetModel::RuleSetMethod>> expected = {
      {RuleSetModel::weightedMax, RuleSetModel::firstHit}, {RuleSetModel::weightedSum}};
  EXPECT_EQ(t->model->GetAllRuleSelectionMethods(), expected);
}

// A RuleSet beyond the RuleSetModel elements has no entry: its settings go
// nowhere and the model stays sound.
TEST(RuleSetSettings, RuleSetWithoutEntryIsIgnored) {
  std::unique_ptr<Translated> t = Translate(OneModel(
      "", kFields,
      R"(<RuleSet defaultScore="a"/><RuleSet defaultScore="b" defaultConfidence="0.9">
           <RuleSelectionMethod criterion="weightedSum"/></RuleSet>)"));
  ASSERT_NE(t->model, nullptr);
  EXPECT_EQ(t->model->GetNumbOfModels(), 1);
  EXPECT_EQ(t->model->GetDefaultScore(), std::vector<std::string>{"a"});
  EXPECT_EQ(t->model->GetDefaultConfidence(), std::vector<double>{0.0});
  EXPECT_EQ(t->model->GetAllRuleSelectionMethods().size(), 1u);
}

}  // namespace
}  // namespace KtZembra_940
