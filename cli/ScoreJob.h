// The `score` command: reads CSV records from a file or standard input,
// scores each against the model and writes one output row per input row, in
// input order, as CSV or JSON Lines.
//
// With several threads the document is translated once per thread (a model
// scores one record at a time). The calling thread cuts the input into
// chunks of whole records (CsvChunker) and the scoring threads each read,
// score and format whole chunks; the calling thread writes the chunks'
// output in input order and cuts the next ones meanwhile, a fixed number in
// flight. A record the chunker cannot cut around safely is read by the
// calling thread, so the output bytes do not depend on the thread count.
#ifndef RULESCORE_CLI_SCOREJOB_H_
#define RULESCORE_CLI_SCOREJOB_H_

#include <cstdio>
#include <string>

#include "cli/OutputWriter.h"

namespace rulescore {
namespace cli {

struct ScoreOptions {
  std::string modelPath;
  std::string inputPath;   // empty or "-": standard input
  std::string outputPath;  // empty or "-": standard output
  std::string pluginPath;  // empty: ModelSession::FindPlugin's search
  std::string semantics = "native";  // the translator's "semantics" option
  OutputWriter::Format format = OutputWriter::Format::kCsv;
  int threads = 1;
  char delimiter = ',';
  bool quiet = false;
};

class ScoreJob {
 public:
  // Messages go to `messages` (standard error in the tool).
  explicit ScoreJob(const ScoreOptions& options, std::FILE* messages = stderr)
      : options_(options), messages_(messages) {}
  ScoreJob(const ScoreJob&) = delete;
  ScoreJob& operator=(const ScoreJob&) = delete;

  // Runs the command; returns the exit status (ExitStatus).
  int Run();
  // Chunks of the last run that did not end at their record boundary when
  // read, and were read again on the calling thread.
  int ChunksReadAgain() const { return chunksReadAgain_; }

 private:
  void Message(const std::string& text) const;

  ScoreOptions options_;
  std::FILE* messages_;
  int chunksReadAgain_ = 0;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_SCOREJOB_H_
