// The plug-in as the host sees it: a shared library opened at run time that
// exports nothing but its factory, translating, refusing and scoring through
// the host's interfaces.

#include <algorithm>
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
#include "tests/support/ToolRun.h"

namespace KtZembra_940 {
namespace {

using testing_support::ReadFile;

// What translating tests/data/models/plugin.pmml with the criterion and
// default confidence given, and scoring age 70 (an empty record when
// `layout` is false), gave: "error <code> <first argument>", or the target, the
// prediction and confidence or the scoring status, and whether the dump
// names R1.
std::string TranslateAndScore(PluginLoader& loader, const std::string& criterion, const std::string& confidence,
                const std::string& option, const std::string& encoding, bool layout) {
  std::string pmml = ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/plugin.pmml");
  pmml.replace(pmml.find("$C"), 2, criterion);
  pmml.replace(pmml.find("$D"), 2, confidence);
  std::unique_ptr<XmlDocument> document = XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "plugin.pmml");
  std::unique_ptr<ScoreTranslator> translator(loader.CreateTranslator());
  if (translator == nullptr) return "no translator";
  // Options in turn, split by "|"; a refused one leaves the option as it was.
  std::string refused;
  for (size_t from = 0; from < option.size();) {
    const size_t bar = std::min(option.find('|', from), option.size());
    const std::string value = option.substr(from, bar - from);
    if (!translator->SetOption("semantics", value)) refused += "refused " + value + " ";
    from = bar + 1;
  }
  std::unique_ptr<ScoreModel> model;
  try {
    model.reset(translator->ParseFromTree(document->GetDocument(),
                                          encoding.empty() ? document->GetEncoding() : encoding));
  } catch (const ZbException& e) {
    return "error " + std::to_string(e.GetErrorCode()) + " " + e.GetArguments().at(0);
  }
  // The model outlives the translator that made it.
  translator.reset();
  if (model == nullptr || model->GetModelType() != ScoreModel::kRuleSetModel) return "no model";
  ScoreCaseRecord record;
  if (layout) {
    record.SetLayout({"age"});
    record.SetNumber(0, 70.0);
  }
  ScoreResult* result = nullptr;
  const KtScore::KtStatus status = model->GetScore(&record, result, false);
  std::unique_ptr<ScoreResult> owned(result);
  std::ostringstream os;
  os << refused << model->GetTargetVar()->GetName() << " ";
  if (status.IsError() || result == nullptr) {
    os << "status " << status.GetErrorCode() << (result == nullptr ? " no result" : " result");
    os << " null record " << model->GetScore(nullptr, result, false).GetErrorCode();
    owned.reset(result);
  } else {
    const auto* classified = static_cast<const ScoreClsResult*>(result);
    os << (result->GetScoreResultType() == ScoreResult::kRuleSetResult ? "" : "other ")
       << classified->GetPrediction()->GetString() << " " << classified->GetConfidence();
  }
  std::ostringstream dump;
  model->Display(dump);
  return os.str() + (dump.str().find("R1") != std::string::npos ? " shown" : "");
}

// Declared first, so that every object made by the library is gone before
// the loader closes it, and every Xerces object before the platform ends.
struct Loaded {
  XmlPlatform platform;
  PluginLoader loader;
};

TEST(Plugin, TranslatesRefusesAndScoresThroughTheHostsInterfaces) {
  Loaded loaded;
  std::string error;
  ASSERT_TRUE(loaded.loader.Open(RULESCORE_PLUGIN_PATH, &error)) << error;
  ASSERT_NE(loaded.loader.GetFactory(), nullptr);
  const struct {
    const char* criterion;
    const char* confidence;
    const char* option;
    const char* encoding;
    bool layout;
    std::string outcome;
  } cases[] = {
      {"weightedSum", "0.5", "", "", true, "risk high 0.6 shown"},
      {"firstHit", "0.5", "native", "", true, "risk high 0 shown"},
      // Read under pmml, a first-hit rule without a confidence has confidence 1.
      {"firstHit", "0.5", "pmml", "", true, "risk high 1 shown"},
      {"firstHit", "0.5", "PMML", "", true, "refused PMML risk high 0 shown"},
      {"firstHit", "0.5", "pmml|other", "", true, "refused other risk high 1 shown"},
      {"firstHit", "-1", "", "", true, "error " + std::to_string(ErrorCode::kNegativeConfidence) + " -1"},
      {"firstHit", "0.5", "", "x-no-such-encoding", true,
       "error " + std::to_string(ErrorCode::kTranscoder) + " x-no-such-encoding"},
      // A record without a layout is refused by status, with no result.
      {"firstHit", "0.5", "", "", false,
       "risk status " + std::to_string(ErrorCode::kNotScorable) + " no result null record 90029 shown"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.outcome);
    EXPECT_EQ(TranslateAndScore(loaded.loader, c.criterion, c.confidence, c.option, c.encoding, c.layout), c.outcome);
  }
  std::unique_ptr<ScoreTranslator> translator(loaded.loader.CreateTranslator());
  EXPECT_EQ(translator->ParseFromTree(nullptr, ""), nullptr);
  // Only the one option.
  EXPECT_FALSE(translator->SetOption("semantic", "pmml"));
  EXPECT_FALSE(translator->SetOption("", ""));
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
    std::string address, type, name;
    if (!(fields >> address >> type >> name) || kLinkerSymbols.count(name) != 0) continue;
    ours.insert(name);
    if (name == "GiveMyTranslator") factoryType = type;
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_EQ(ours, std::set<std::string>{"GiveMyTranslator"});
  EXPECT_EQ(factoryType, "T");
}

}  // namespace
}  // namespace KtZembra_940
