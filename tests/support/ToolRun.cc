#include "tests/support/ToolRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace KtZembra_940 {
namespace testing_support {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

ScratchDir::ScratchDir() {
  char pattern[] = "/tmp/rulescore_test_XXXXXX";
  if (mkdtemp(pattern) == nullptr) ADD_FAILURE() << "cannot make a scratch directory";
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Put(const std::string& name, const std::string& text) const {
  const std::string path = path_ + "/" + name;
  WriteFile(path, text);
  return path;
}

ToolResult RunToolAt(const std::string& tool, const std::vector<std::string>& args,
                     const std::string& input, const std::string& cwd) {
  const ScratchDir io;
  const std::string in = io.Put("stdin", input);
  const std::string out = io.path() + "/stdout";
  const std::string err = io.path() + "/stderr";
  std::vector<std::string> argv{tool};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(&a[0]);
  cargv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fdIn = open(in.c_str(), O_RDONLY);
    const int fdOut = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fdIn < 0 || fdOut < 0 || fdErr < 0) _exit(126);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    dup2(fdIn, 0);
    dup2(fdOut, 1);
    dup2(fdErr, 2);
    execv(cargv[0], cargv.data());
    _exit(127);
  }
  ToolResult result;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
    result.status = WEXITSTATUS(status);
  }
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

void ExpectGolden(const std::string& dataDir, const std::string& name, const std::string& actual) {
  const std::string path = dataDir + "/golden/" + name;
  if (std::getenv("RULESCORE_UPDATE_GOLDEN") != nullptr) {
    std::error_code ignored;
    if (actual.empty()) {
      std::filesystem::remove(path, ignored);
    } else {
      WriteFile(path, actual);
    }
    return;
  }
  EXPECT_TRUE(actual == ReadFile(path)) << "differs from golden/" << name << ":\n" << actual;
}

}  // namespace testing_support
}  // namespace KtZembra_940
