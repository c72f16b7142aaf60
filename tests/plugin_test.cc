// The plug-in as the host sees it: a shared library opened at run time that
// exports nothing but its factory.

#include <cstdio>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/PluginLoader.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreClsResult.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreTranslator.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"

namespace KtZembra_940 {
namespace {

const char kPmml[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema>
      <MiningField name="risk" usageType="predicted"/><MiningField name="age"/>
    </MiningSchema>
    <RuleSet defaultScore="low" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedSum"/>
      <SimpleRule id="R1" score="high" weight="0.8">
        <SimplePredicate field="age" operator="greaterThan" value="60"/>
      </SimpleRule>
      <SimpleRule id="R2" score="high" weight="0.4"><True/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>)";

// Declared first in each test, so that every object made by the library is
// gone before the loader closes it, and every Xerces object before the
// platform ends.
struct Loaded {
  XmlPlatform platform;
  PluginLoader loader;
};

TEST(Plugin, TranslatesAndScoresThroughTheHostsInterfaces) {
  Loaded loaded;
  std::string error;
  ASSERT_TRUE(loaded.loader.Open(RULESCORE_PLUGIN_PATH, &error)) << error;
  ASSERT_NE(loaded.loader.GetFactory(), nullptr);

  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(kPmml, sizeof kPmml - 1, "plugin.pmml");
  {
    std::unique_ptr<ScoreTranslator> translator(loaded.loader.CreateTranslator());
    ASSERT_NE(translator, nullptr);
    std::unique_ptr<ScoreModel> model(
        translator->ParseFromTree(document->GetDocument(), document->GetEncoding()));
    // The model outlives the translator that made it.
    translator.reset();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->GetModelType(), ScoreModel::kRuleSetModel);
    ASSERT_NE(model->GetTargetVar(), nullptr);
    EXPECT_EQ(model->GetTargetVar()->GetName(), "risk");

    ScoreCaseRecord record({"age"});
    record.SetNumber(0, 70.0);
    ScoreResult* result = nullptr;
    EXPECT_EQ(model->GetScore(&record, result, false).GetErrorCode(), 0);
    std::unique_ptr<ScoreResult> owned(result);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(result->GetScoreResultType(), ScoreResult::kRuleSetResult);
    const auto* classified = static_cast<const ScoreClsResult*>(result);
    ASSERT_NE(classified->GetPrediction(), nullptr);
    EXPECT_EQ(classified->GetPrediction()->GetString(), "high");
    EXPECT_DOUBLE_EQ(classified->GetConfidence(), 0.6);
    owned.reset();

    std::ostringstream dump;
    model->Display(dump);
    EXPECT_NE(dump.str().find("R1"), std::string::npos);
  }
}

TEST(Plugin, FailuresReachTheHostAsZbException) {
  Loaded loaded;
  std::string error;
  ASSERT_TRUE(loaded.loader.Open(RULESCORE_PLUGIN_PATH, &error)) << error;
  std::string pmml = kPmml;
  pmml.replace(pmml.find("defaultConfidence=\"0.5\""), 23, "defaultConfidence=\"-1\"");
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "plugin.pmml");
  std::unique_ptr<ScoreTranslator> translator(loaded.loader.CreateTranslator());
  ASSERT_NE(translator, nullptr);
  int code = 0;
  try {
    std::unique_ptr<ScoreModel> model(translator->ParseFromTree(document->GetDocument(), ""));
  } catch (const ZbException& e) {
    code = e.GetErrorCode();
  }
  EXPECT_EQ(code, ErrorCode::kNegativeConfidence);
  EXPECT_EQ(translator->ParseFromTree(nullptr, ""), nullptr);
}

// The translator takes the option semantics=native|pmml and nothing else; a
// refused value leaves the option as it was.
TEST(Plugin, TakesOnlyTheSemanticsOption) {
  Loaded loaded;
  std::string error;
  ASSERT_TRUE(loaded.loader.Open(RULESCORE_PLUGIN_PATH, &error)) << error;
  const char* const cases[][3] = {{"semantics", "native", "1"}, {"semantics", "pmml", "1"},
                                  {"semantics", "PMML", "0"},   {"semantics", "", "0"},
                                  {"semantic", "pmml", "0"},    {"", "", "0"}};
  for (const auto& c : cases) {
    std::unique_ptr<ScoreTranslator> translator(loaded.loader.CreateTranslator());
    EXPECT_EQ(translator->SetOption(c[0], c[1]), c[2][0] == '1') << c[0] << "=" << c[1];
  }
  std::unique_ptr<ScoreTranslator> translator(loaded.loader.CreateTranslator());
  ASSERT_TRUE(translator->SetOption("semantics", "pmml"));
  EXPECT_FALSE(translator->SetOption("semantics", "other"));
  // Read under pmml, a first-hit rule without a confidence has confidence 1
  // (natively 0).
  std::string pmml = kPmml;
  pmml.replace(pmml.find("weightedSum"), 11, "firstHit");
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "plugin.pmml");
  std::unique_ptr<ScoreModel> model(
      translator->ParseFromTree(document->GetDocument(), document->GetEncoding()));
  ScoreCaseRecord record({"age"});
  record.SetNumber(0, 70.0);
  ScoreResult* result = nullptr;
  model->GetScore(&record, result, false);
  std::unique_ptr<ScoreResult> owned(result);
  EXPECT_DOUBLE_EQ(static_cast<const ScoreClsResult*>(result)->GetConfidence(), 1.0);
}

// Symbols the static linker defines in every shared object; none is ours.
const std::set<std::string> kLinkerSymbols = {"_init", "_fini", "__bss_start", "_edata", "_end"};

TEST(Plugin, ExportsOnlyTheFactory) {
  const std::string command = std::string("nm -D --defined-only '") + RULESCORE_PLUGIN_PATH + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> ours;
  std::string factoryType;
  char line[4096];
  while (fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string address;
    std::string type;
    std::string name;
    if (!(fields >> address >> type >> name)) continue;
    if (kLinkerSymbols.count(name) != 0) continue;
    ours.insert(name);
    if (name == "GiveMyTranslator") factoryType = type;
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(ours, std::set<std::string>{"GiveMyTranslator"});
  EXPECT_EQ(factoryType, "T");
}

}  // namespace
}  // namespace KtZembra_940
