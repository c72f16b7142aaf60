// Scoring one record from a program of your own: load the plug-in through
// the host library, translate a document, score, read the result.
//
// Built with the project as build/rulescore_embed; by hand:
//   g++ -std=c++17 -I<source dir> embed.cpp -L<build dir> -lrulescore_host
//       -lxerces-c -Wl,-rpath,<build dir> -o embed
//   ./embed <build dir>/librulescore_plugin.so credit_risk.pmml
#include <iostream>
#include <memory>

#include "host/PluginLoader.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "scoring/RuleSetResult.h"

using namespace KtZembra_940;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: embed PLUGIN.so MODEL.pmml\n";
    return 2;
  }
  XmlPlatform xml;      // Xerces up for the life of the program
  PluginLoader plugin;  // declared before every object that comes from it
  std::string error;
  if (!plugin.Open(argv[1], &error)) {
    std::cerr << error << "\n";
    return 1;
  }
  try {
    std::unique_ptr<XmlDocument> document = XmlDocument::ParseFile(argv[2]);
    std::unique_ptr<ScoreTranslator> translator(plugin.CreateTranslator());
    std::unique_ptr<ScoreModel> model(
        translator->ParseFromTree(document->GetDocument(), document->GetEncoding()));
    if (!model) return 1;

    // The record's layout names the fields; unset slots are missing values.
    ScoreCaseRecord record({"age", "income", "debt_ratio", "employment", "region"});
    record.SetNumber(0, 22);
    record.SetNumber(1, 18000);
    record.SetNumber(2, 0.55);
    record.SetText(3, "unemployed");
    record.SetText(4, "south");

    ScoreResult* result = nullptr;  // the model creates it; we own it
    if (model->GetScore(&record, result, false).IsError()) return 1;
    std::unique_ptr<ScoreResult> owned(result);
    if (result->GetScoreResultType() == ScoreResult::kRuleSetResult) {
      const auto* rules = static_cast<const RuleSetResult*>(result);
      const ScoreValue* prediction = rules->GetPrediction();
      std::cout << "prediction " << (prediction ? prediction->GetString() : "none") << " confidence "
                << rules->GetConfidence() << " rules";
      for (const std::string& id : rules->GetFiredRuleIds()) std::cout << " " << id;
      std::cout << "\n";
    }
  } catch (const ZbException& e) {
    std::cerr << "error " << e.GetErrorCode() << ": " << e.GetMessage() << "\n";
    return 1;
  }
  return 0;
}
