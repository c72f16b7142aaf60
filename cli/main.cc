// rulescore: scores CSV records with a PMML rule-set model, dumps a model
// or checks one. The model is always reached through the host library: the
// plug-in is loaded with the host's loader and driven through the host's
// translator and model interfaces.
#include <cstdio>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/ExitStatus.h"
#include "cli/ModelCheck.h"
#include "cli/ModelOutline.h"
#include "cli/ModelSession.h"
#include "cli/ModelVerifier.h"
#include "cli/OutputWriter.h"
#include "cli/ScoreJob.h"
#include "cli/SemanticsCheck.h"
#include "host/ScoringLog.h"

namespace {

using rulescore::cli::ExitStatus;

// The delimiter option: one byte, or "tab" / "\t" for a tab. The quote and
// line-end characters cannot delimit cells.
bool ParseDelimiter(const std::string& text, char* delimiter) {
  if (text == "tab" || text == "\\t") {
    *delimiter = '\t';
    return true;
  }
  if (text.size() != 1) return false;
  const char c = text[0];
  if (c == '"' || c == '\r' || c == '\n') return false;
  *delimiter = c;
  return true;
}

// Loads the model for `show` and `check`, printing the refusal when it fails.
bool LoadOne(rulescore::cli::ModelSession& session, const std::string& modelPath,
             const std::string& pluginPath, const std::string& semantics) {
  session.SetTranslatorOption("semantics", semantics);
  std::string error;
  if (session.Load(modelPath, rulescore::cli::ModelSession::FindPlugin(pluginPath), 1, &error)) {
    return true;
  }
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

int Show(const std::string& modelPath, const std::string& pluginPath,
         const std::string& semantics) {
  rulescore::cli::ModelSession session;
  if (!LoadOne(session, modelPath, pluginPath, semantics)) return ExitStatus::kExitModel;
  session.GetModel(0)->Display(std::cout);
  std::cout.flush();
  return std::cout ? ExitStatus::kExitOk : ExitStatus::kExitUsage;
}

int Check(const std::string& modelPath, const std::string& pluginPath,
          const std::string& semantics) {
  rulescore::cli::ModelSession session;
  if (!LoadOne(session, modelPath, pluginPath, semantics)) return ExitStatus::kExitModel;
  const rulescore::cli::ModelOutline outline(session.GetDocument());
  rulescore::cli::ModelCheck check(*session.GetModel(0), outline);
  // Natively, the reasons why the document would score otherwise under pmml.
  if (semantics == "native") {
    check.AddWarnings(rulescore::cli::SemanticsCheck(session.GetDocument()).GetWarnings());
  }
  std::cout << check.Report(modelPath);
  // The document's own verification records, when it has any: a record
  // that differs fails the check.
  const rulescore::cli::ModelVerifier verifier(session.GetDocument(), outline);
  size_t failed = 0;
  if (verifier.HasRecords()) {
    std::string report;
    failed = verifier.Run(session.GetModel(0), &report);
    std::cout << report;
  }
  std::cout.flush();
  if (!std::cout) return ExitStatus::kExitUsage;
  return failed == 0 ? ExitStatus::kExitOk : ExitStatus::kExitModel;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Scores CSV records with a PMML RuleSetModel, shows or checks a model.",
               "rulescore"};
  app.require_subcommand(1);
  app.fallthrough();
  app.set_version_flag("--version", "rulescore 0.1.0");
  std::string pluginPath;
  app.add_option("--plugin", pluginPath,
                 "The plug-in library to load (default: beside the tool, then the installed one)");

  rulescore::cli::ScoreOptions options;
  std::string inputPath = "-";
  std::string format = "csv";
  std::string delimiter = ",";
  bool trace = false;
  CLI::App* score = app.add_subcommand("score", "Score CSV records; one output row per input row");
  score->add_option("MODEL", options.modelPath, "The PMML document")->required();
  score->add_option("DATA", inputPath, "CSV input with a header row; - or nothing: standard input");
  score->add_option("-o,--output", options.outputPath, "Output file (default: standard output)");
  score->add_option("--format", format, "Output format")
      ->check(CLI::IsMember({"csv", "jsonl"}))
      ->default_str("csv");
  score->add_option("--threads", options.threads, "Models scoring in parallel; output stays in order")
      ->check(CLI::Range(1, 256))
      ->default_str("1");
  score->add_option("--delimiter", delimiter, "Cell delimiter of input and CSV output (tab: \"tab\")")
      ->default_str(",");
  score->add_flag("--trace", trace, "Write the host's trace log (level 1) to standard error");
  score->add_flag("--quiet", options.quiet, "No progress line");
  const char* semanticsHelp =
      "How the document is read and scored: native (default) or pmml (PMML 4.4 as written)";
  score->add_option("--semantics", options.semantics, semanticsHelp)
      ->check(CLI::IsMember({"native", "pmml"}))
      ->default_str("native");

  std::string modelPath;
  std::string semantics = "native";
  CLI::App* show = app.add_subcommand("show", "Write the model dump to standard output");
  show->add_option("MODEL", modelPath, "The PMML document")->required();
  show->add_option("--semantics", semantics, semanticsHelp)
      ->check(CLI::IsMember({"native", "pmml"}))
      ->default_str("native");
  CLI::App* check = app.add_subcommand("check", "Translate the model and summarise it");
  check->add_option("MODEL", modelPath, "The PMML document")->required();
  check->add_option("--semantics", semantics, semanticsHelp)
      ->check(CLI::IsMember({"native", "pmml"}))
      ->default_str("native");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? ExitStatus::kExitOk : ExitStatus::kExitUsage;
  }

  if (*score) {
    if (!ParseDelimiter(delimiter, &options.delimiter)) {
      std::fprintf(stderr,
                   "rulescore: --delimiter: one character is needed (not a quote or a line end), "
                   "or \"tab\"\n");
      return ExitStatus::kExitUsage;
    }
    options.format = format == "jsonl" ? rulescore::cli::OutputWriter::Format::kJsonLines
                                       : rulescore::cli::OutputWriter::Format::kCsv;
    options.inputPath = inputPath;
    options.pluginPath = pluginPath;
    if (trace) {
      KtZembra_940::ScoringLog& log = KtZembra_940::ScoringLog::GetInstance();
      log.SetStream(&std::cerr);
      log.SetLevel(1);
    }
    rulescore::cli::ScoreJob job(options);
    const int status = job.Run();
    KtZembra_940::ScoringLog::GetInstance().SetStream(nullptr);
    return status;
  }
  if (*show) return Show(modelPath, pluginPath, semantics);
  if (*check) return Check(modelPath, pluginPath, semantics);
  return ExitStatus::kExitUsage;
}
