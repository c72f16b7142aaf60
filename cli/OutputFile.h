// Where the scored rows go: standard output, or a named output.
//
// A named output that is a regular file, or that does not exist yet, appears
// only when the run completes: it is written under a temporary name beside
// the file it finally names (through any symbolic links, which stay links)
// and renamed over it by Commit, so a failed or interrupted run never leaves
// a partial file behind. Anything else (a character device, a FIFO,
// /dev/stdout and the like) is written straight into, since replacing it
// would destroy what the user meant to write through.
//
// While a temporary file exists, SIGINT, SIGTERM and SIGHUP remove it before
// the signal ends the process as it would have without the handler. One
// OutputFile at a time may hold a temporary file.
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
  // Flushes, closes and renames into place. False with a message when any
  // write, the flush, the close or the rename failed.
  bool Commit(std::string* error);

 private:
  // Removes the temporary file and takes the signal handlers out.
  void Discard();

  std::FILE* file_ = nullptr;
  bool toStdout_ = false;
  bool failed_ = false;
  bool committed_ = false;
  int errorNumber_ = 0;
  std::string path_;       // as given
  std::string finalPath_;  // the file the temporary one is renamed over
  std::string tempPath_;   // empty when writing straight
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_OUTPUTFILE_H_
