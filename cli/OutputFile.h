// Where the scored rows go: standard output, or a named file that appears
// only when the run completes. A named file is written under a temporary
// name in the same directory and renamed over the target by Commit, so an
// interrupted or failed run never leaves a partial file behind.
#ifndef RULESCORE_CLI_OUTPUTFILE_H_
#define RULESCORE_CLI_OUTPUTFILE_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace rulescore {
namespace cli {

class OutputFile {
 public:
  OutputFile() = default;
  // Removes the temporary file unless Commit succeeded.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // `path` empty or "-": standard output. False with a message otherwise.
  bool Open(const std::string& path, std::string* error);
  // False once any write has failed (the failure is kept).
  bool Write(std::string_view data);
  // Flushes, closes and renames into place. False with a message.
  bool Commit(std::string* error);

 private:
  std::FILE* file_ = nullptr;
  bool toStdout_ = false;
  bool failed_ = false;
  bool committed_ = false;
  int errorNumber_ = 0;
  std::string path_;
  std::string tempPath_;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_OUTPUTFILE_H_
