// Runs the built rulescore tool as a child process and reads what it wrote;
// a scratch directory for the files a test hands it; golden files compared
// byte for byte.
#ifndef RULESCORE_TESTS_SUPPORT_TOOLRUN_H_
#define RULESCORE_TESTS_SUPPORT_TOOLRUN_H_

#include <string>
#include <vector>

namespace KtZembra_940 {
namespace testing_support {

struct ToolResult {
  int status = -1;  // the exit status; -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
// Occurrences of `part` in `text`.
size_t Count(const std::string& text, const std::string& part);

// A fresh directory under /tmp, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `text` to the file `name` in the directory; returns its path.
  std::string Put(const std::string& name, const std::string& text) const;

 private:
  std::string path_;
};

// Runs `tool` with `args` in the directory `cwd` (the current one when
// empty), `input` on its standard input.
ToolResult RunToolAt(const std::string& tool, const std::vector<std::string>& args,
                     const std::string& input, const std::string& cwd);
#ifdef RULESCORE_TOOL_PATH
inline ToolResult RunTool(const std::vector<std::string>& args, const std::string& input = "",
                          const std::string& cwd = "") {
  return RunToolAt(RULESCORE_TOOL_PATH, args, input, cwd);
}
#endif

// Compares `actual` with the golden file tests/data/golden/`name`, byte for
// byte (an absent file is empty). With RULESCORE_UPDATE_GOLDEN set in the
// environment the file is written instead, for review in the diff.
void ExpectGolden(const std::string& dataDir, const std::string& name, const std::string& actual);

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_TOOLRUN_H_
