// End to end: the built rulescore tool run as a child process. The runs
// listed in tests/data/tool/cases.txt are checked byte for byte against
// golden files; the tests below generate their input, or look at what the
// tool did to the file system and how it ends.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/Progress.h"
#include "cli/ScoreJob.h"
#include "tests/support/ToolRun.h"

namespace KtZembra_940 {
namespace testing_support {
namespace {

namespace fs = std::filesystem;

const std::string kData = RULESCORE_TEST_DATA_DIR;

TEST(ToolGolden, EveryListedRunGivesItsGoldenBytes) {
  std::ifstream cases(kData + "/tool/cases.txt");
  int runs = 0;
  for (std::string line; std::getline(cases, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string golden;
    int status = -1;
    words >> golden >> status;
    std::vector<std::string> args;
    std::vector<std::string> env;  // NAME=VALUE words before the arguments
    std::string input;
    for (std::string word; words >> word;) {
      if (word[0] == '<') {
        input = ReadFile(kData + "/tool/" + word.substr(1));
      } else if (args.empty() && word.find('=') != std::string::npos) {
        env.push_back(word);
      } else {
        args.push_back(word == "''" ? "" : word);
      }
    }
    SCOPED_TRACE(line);
    for (const std::string& e : env) setenv(e.substr(0, e.find('=')).c_str(), e.substr(e.find('=') + 1).c_str(), 1);
    const ToolResult r = RunTool(args, input, kData + "/tool");
    for (const std::string& e : env) unsetenv(e.substr(0, e.find('=')).c_str());
    EXPECT_EQ(r.status, status) << r.err;
    if (golden == "-") continue;
    ExpectGolden(kData, golden + ".out", r.out);
    ExpectGolden(kData, golden + ".err", r.err);
    ++runs;
  }
  EXPECT_GT(runs, 60);
}

class ToolTest : public ::testing::Test {
 protected:
  std::string Put(const std::string& name, const std::string& text) { return scratch_.Put(name, text); }

  const std::string kRiskModel = ReadFile(kData + "/tool/risk.pmml");
  const std::string kRiskInput = ReadFile(kData + "/tool/risk.csv");
  ScratchDir scratch_;
  const std::string dir_ = scratch_.path();
};

// What an in-process run of the score command gave.
struct JobResult {
  int status = -1;
  std::string out;
  std::string err;
  int chunksReadAgain = -1;
};

JobResult RunJob(const std::string& model, const std::string& input, const std::string& output,
                 int threads, const std::string& semantics = "native") {
  rulescore::cli::ScoreOptions options;
  options.modelPath = model;
  options.inputPath = input;
  options.outputPath = output;
  options.pluginPath = RULESCORE_PLUGIN_PATH;
  options.threads = threads;
  options.semantics = semantics;
  options.quiet = true;
  char* text = nullptr;
  size_t size = 0;
  std::FILE* messages = open_memstream(&text, &size);
  JobResult result;
  {
    rulescore::cli::ScoreJob job(options, messages);
    result.status = job.Run();
    result.chunksReadAgain = job.ChunksReadAgain();
  }
  std::fclose(messages);
  result.err.assign(text, size);
  std::free(text);
  result.out = ReadFile(output);
  return result;
}

// Every row, missing and faulty cells included, scores as it does in a file
// of fewer rows than are scored together, whichever rows share its block;
// with two threads the input goes in chunks that each end at their own
// record boundary, none read again, and the bytes are the same.
TEST_F(ToolTest, EveryRowScoresAsInASmallFile) {
  const std::string model = Put("risk.pmml", kRiskModel);
  std::string input = "id,age,job\n";
  for (int i = 0; i < 60000; ++i) {
    input += std::to_string(i) + ",";
    if (i % 997 == 0) {
      input += "old";  // an error row now and then
    } else if (i % 5 != 0) {
      input += std::to_string((i * 37) % 100);
    }
    input += i % 3 == 0 ? ",b\n" : ",a\n";
  }
  ASSERT_GT(input.size(), size_t{2} << 18);  // several chunks
  const std::string data = Put("many.csv", input);
  const JobResult one = RunJob(model, data, dir_ + "/one.csv", 1);
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(Count(one.out, "\n"), 60001u);
  EXPECT_EQ(Count(one.err, "is not a number"), 61u);
  const JobResult two = RunJob(model, data, dir_ + "/two.csv", 2);
  EXPECT_EQ(two.status, 3);
  EXPECT_EQ(two.chunksReadAgain, 0);
  EXPECT_TRUE(two.out == one.out) << "two threads: the output differs";
  EXPECT_EQ(two.err, one.err);
  // A translator option the plug-in refuses stops the job before any row.
  const JobResult refused = RunJob(model, data, dir_ + "/refused.csv", 2, "strict");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "rulescore: the plug-in " RULESCORE_PLUGIN_PATH " does not take the option semantics=strict\n");

  std::istringstream rows(input);
  std::string row;
  std::getline(rows, row);
  std::map<std::string, std::string> alone;  // a row past its id: its output line
  while (std::getline(rows, row)) alone.emplace(row.substr(row.find(',')), std::string());
  std::string reference = "id,age,job\n";
  for (const auto& entry : alone) reference += "0" + entry.first + "\n";
  ASSERT_LT(alone.size(), 256u);
  std::istringstream few(RunTool({"score", model, Put("few.csv", reference)}).out);
  std::getline(few, row);
  for (auto& entry : alone) std::getline(few, entry.second);
  std::istringstream scored(one.out);
  std::getline(scored, row);
  rows.clear();
  rows.seekg(0);
  std::getline(rows, row);
  for (int i = 0; std::getline(rows, row); ++i) {
    std::string line;
    std::getline(scored, line);
    const std::string& expected = alone[row.substr(row.find(','))];
    ASSERT_EQ(line.substr(line.find(',')), expected.substr(expected.find(','))) << "row " << i;
  }
}

// Several megabytes, so that the input is cut into many chunks: CR LF line
// ends, quoted line breaks, a record longer than a chunk's safe bound, a
// stray quote whose lines are read again, and error rows whose line numbers
// count every physical line before them. In a one-column file an empty
// line is a record with a missing value: no row is lost; that file has
// enough plain lines for the cutting thread to fill every slot ahead of
// the scoring threads.
TEST_F(ToolTest, ThreadCountsGiveTheSameBytesOverManyChunks) {
  const std::string model = Put("risk.pmml", kRiskModel);
  std::string input = "\xEF\xBB\xBF" "id,age,job,note\r\n";
  long line = 2;
  std::vector<std::string> expectedErrors;
  int records = 0;
  for (int i = 0; i < 60000; ++i) {
    std::string note = "plain note text for row " + std::to_string(i);
    long lines = 1;
    if (i % 7 == 0) {
      note = "\"two\r\nlines, \"\"quoted\"\"\"";
      lines = 2;
    } else if (i == 20000) {
      note = std::string(40000, 'x');
    }
    std::string age = std::to_string((i * 37) % 100);
    if (i % 1009 == 0) {
      age = "old";
      expectedErrors.push_back("line " + std::to_string(line) + ": column \"age\": \"old\" is not a number");
    }
    if (i == 30001) {
      // Closes on the next line and runs on: the lines after its break are
      // read again as records of their own.
      note = "\"stray\r\n30001b\"x,70,a,tail";
      lines = 2;
      ++records;
      expectedErrors.push_back("line " + std::to_string(line) +
                               ": column 4 (\"note\"): text after the closing quote");
    }
    input += std::to_string(i) + "," + age + "," + (i % 3 == 0 ? "b" : "a") + "," + note + "\r\n";
    ++records;
    line += lines;
  }
  ASSERT_GT(input.size(), size_t{2} << 20);  // about ten chunks
  std::string oneColumn = "age\n\n";
  std::string oneColumnOut = "age,prediction,confidence,winning_rule,fired_rules\n,high,0.25,R2,R2\n";
  for (int i = 0; i < 700000; ++i) {
    const int age = 50 + i % 20;
    oneColumn += i % 4 != 0 ? std::to_string(age) + "\n" : i % 8 == 0 ? "\r\n" : "\n";
    oneColumnOut += i % 4 == 0 ? ",high,0.25,R2,R2\n"
                               : std::to_string(age) + (age > 60 ? ",high,0.5,R1,R1;R2\n" : ",high,0.25,R2,R2\n");
  }
  const std::string data = Put("chunks.csv", input);
  const std::string one = Put("one.csv", oneColumn);
  const ToolResult serial = RunTool({"score", model, data, "--threads", "1"});
  EXPECT_EQ(serial.status, 3);
  EXPECT_EQ(Count(serial.out, "\n"), static_cast<size_t>(records) + 1 + 60000 / 7 + 1);
  EXPECT_EQ(Count(serial.err, "\n"), expectedErrors.size());
  for (const std::string& error : expectedErrors) {
    EXPECT_EQ(Count(serial.err, ": " + error + "\n"), 1u) << error;
  }
  for (const char* threads : {"1", "2", "3"}) {
    if (*threads != '1') {
      const ToolResult many = RunTool({"score", model, data, "--threads", threads});
      EXPECT_EQ(many.status, 3) << threads;
      EXPECT_TRUE(many.out == serial.out) << threads << " threads: the output differs";
      EXPECT_EQ(many.err, serial.err) << threads;
    }
    const ToolResult column = RunTool({"score", model, one, "--threads", threads});
    EXPECT_EQ(column.status, 0) << threads << ": " << column.err;
    EXPECT_TRUE(column.out == oneColumnOut) << threads << " threads: the one-column output differs";
  }
  const ToolResult piped = RunTool({"score", model, "--threads", "2"}, input);
  EXPECT_TRUE(piped.out == serial.out) << "standard input: the output differs";
  const ToolResult jsonOne = RunTool({"score", model, data, "--threads", "1", "--format", "jsonl"});
  const ToolResult jsonThree = RunTool({"score", model, data, "--threads", "3", "--format", "jsonl"});
  EXPECT_EQ(Count(jsonOne.out, "\n"), static_cast<size_t>(records));
  EXPECT_TRUE(jsonThree.out == jsonOne.out) << "jsonl: the output differs";
}

// The status line on a terminal: rows, rows per second and the share of
// the input read (none when its size is unknown), redrawn after a clear,
// cleared once; nothing when not enabled.
TEST(Progress, LineText) {
  const std::string clear = "\r\033\\[K";
  const struct {
    bool enabled;
    uint64_t total;
    std::string pattern;
  } cases[] = {
      {true, 1000, clear + "5 rows  [0-9]+ rows/s   50%" + clear + clear + "7 rows  [0-9]+ rows/s  100%" + clear},
      {true, 0, clear + "5 rows  [0-9]+ rows/s" + clear + clear + "7 rows  [0-9]+ rows/s" + clear},
      {false, 1000, ""},
  };
  for (const auto& c : cases) {
    char* text = nullptr;
    size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    {
      rulescore::cli::Progress progress(c.enabled, c.total, stream);
      progress.Update(5, 500);
      progress.Clear();
      progress.Update(7, 2000);
      progress.Clear();
      progress.Clear();
    }
    std::fclose(stream);
    const std::string shown(text, size);
    std::free(text);
    EXPECT_TRUE(std::regex_match(shown, std::regex(c.pattern))) << ::testing::PrintToString(shown);
  }
}

// On a terminal the tool shows the rows scored so far and clears the line
// at the end.
TEST_F(ToolTest, ProgressShownOnATerminalThenCleared) {
  std::string csv = "age,region\n";
  for (int i = 0; i < 3000; ++i) csv += std::to_string(20 + i % 60) + ",north\n";
  const std::string input = Put("terminal.csv", csv);
  const std::string output = input + ".out";
  const std::string model = kData + "/models/small.pmml";
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) GTEST_SKIP() << "no pseudo-terminal here";
  if (pid == 0) {
    execl(RULESCORE_TOOL_PATH, "rulescore", "score", model.c_str(), input.c_str(), "-o", output.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<size_t>(n));
  int status = -1;
  waitpid(pid, &status, 0);
  close(terminal);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(std::regex_match(shown, std::regex("(\r\033\\[K3000 rows  [0-9]+ rows/s  100%)+\r\033\\[K")))
      << ::testing::PrintToString(shown);
}

// The kind of file at `path` without following a link: 'l' link, 'f'
// regular file, 'c' character device, 'p' FIFO, 'd' directory, '-' none.
char KindOf(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return '-';
  if (S_ISLNK(info.st_mode)) return 'l';
  if (S_ISREG(info.st_mode)) return 'f';
  if (S_ISCHR(info.st_mode)) return 'c';
  if (S_ISFIFO(info.st_mode)) return 'p';
  if (S_ISDIR(info.st_mode)) return 'd';
  return '?';
}

// Names in `dir` that look like a temporary output file.
std::vector<std::string> TemporaryFiles(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.find(".tmp-") != std::string::npos) names.push_back(name);
  }
  return names;
}

// A failed run leaves no output file. A symbolic link is written through:
// its final target gets the output (made when it does not exist yet) and
// the link stays a link; a link to an open descriptor (what /dev/stdout is)
// is written into. A FIFO is written into, never replaced: its reader,
// opened first without waiting, gets the rows.
TEST_F(ToolTest, OutputThroughLinksAndIntoAFifo) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const std::string expected = RunTool({"score", model, data}).out;
  ToolResult r = RunTool({"score", Put("broken.pmml", "<PMML><DataDictionary>"), data, "-o", dir_ + "/scored.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(KindOf(dir_ + "/scored.csv"), '-');
  EXPECT_TRUE(TemporaryFiles(dir_).empty());

  ASSERT_EQ(fs::create_directory(dir_ + "/sub"), true);
  const std::string real = Put("sub/real.csv", "old contents, longer than nothing\n");
  ASSERT_EQ(symlink("sub/real.csv", (dir_ + "/link").c_str()), 0);
  ASSERT_EQ(symlink("link", (dir_ + "/link2").c_str()), 0);
  ASSERT_EQ(symlink("sub/missing.csv", (dir_ + "/dangling").c_str()), 0);
  ASSERT_EQ(symlink("/proc/self/fd/1", (dir_ + "/stdout").c_str()), 0);
  ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  const int reader = open((dir_ + "/fifo").c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const struct {
    const char* target;
    const char* written;  // the file that gets the output ("" standard output)
    const char* kinds;    // of target, link, sub/real.csv, sub/missing.csv, fifo afterwards
  } cases[] = {
      {"link2", "sub/real.csv", "llf-p"},
      {"dangling", "sub/missing.csv", "llffp"},
      {"stdout", "", "llffp"},
      {"fifo", "fifo", "plffp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    r = RunTool({"score", model, data, "-o", dir_ + "/" + c.target});
    EXPECT_EQ(r.status, 0) << r.err;
    std::string received = r.out;
    if (std::string(c.target) == "fifo") {
      char buffer[4096];
      for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) received.append(buffer, static_cast<size_t>(n));
    } else if (*c.written != 0) {
      received = ReadFile(dir_ + "/" + c.written);
    }
    EXPECT_EQ(received, expected);
    std::string kinds;
    for (const char* path : {c.target, "link", "sub/real.csv", "sub/missing.csv", "fifo"}) {
      kinds += KindOf(dir_ + "/" + path);
    }
    EXPECT_EQ(kinds, c.kinds);
    EXPECT_TRUE(TemporaryFiles(dir_).empty());
    EXPECT_TRUE(TemporaryFiles(dir_ + "/sub").empty());
  }
  close(reader);
  r = RunTool({"score", model, data, "-o", dir_ + "/sub"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "rulescore: " + dir_ + "/sub: cannot create the output: Is a directory\n");
  // A /proc path is opened as it stands; one that is not there is refused.
  r = RunTool({"score", model, data, "-o", "/proc/self/no-such-entry"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "rulescore: /proc/self/no-such-entry: cannot open the output: No such file or directory\n");
  EXPECT_EQ(r.out, "");
}

// Character devices are written into. As root the tool could replace a
// device node, so the test makes its own nodes in the scratch directory;
// otherwise it uses the system's, which it then has no right to replace.
TEST_F(ToolTest, OutputIntoCharacterDevices) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  std::string null = "/dev/null";
  std::string full = "/dev/full";
  if (geteuid() == 0) {
    null = dir_ + "/null";
    full = dir_ + "/full";
    if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
      GTEST_SKIP() << "cannot make device nodes";
    }
    const int probe = open(full.c_str(), O_WRONLY);
    if (probe < 0) GTEST_SKIP() << "device nodes cannot be opened here";
    close(probe);
  } else if (access("/dev", W_OK) == 0) {
    GTEST_SKIP() << "/dev is writable: the system's nodes are not safe to test on";
  }
  ASSERT_EQ(KindOf(null), 'c');
  ASSERT_EQ(KindOf(full), 'c');

  ToolResult r = RunTool({"score", model, data, "-o", null});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(KindOf(null), 'c');

  for (const char* format : {"csv", "jsonl"}) {
    r = RunTool({"score", model, data, "-o", full, "--format", format});
    EXPECT_EQ(r.status, 2) << format;
    EXPECT_EQ(r.err, "rulescore: " + full + ": cannot write the output: No space left on device\n");
    EXPECT_EQ(KindOf(full), 'c');
  }
  if (geteuid() == 0) {
    EXPECT_TRUE(TemporaryFiles(dir_).empty());
  }
}

// A run ended by SIGINT, SIGTERM or SIGHUP removes its temporary file and
// ends by that signal; the output file never appears.
TEST_F(ToolTest, SignalRemovesTheTemporaryFile) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string target = dir_ + "/scored.csv";
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signalNumber);
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const std::string err = dir_ + "/stderr.txt";
    const pid_t pid = fork();
    if (pid == 0) {
      // A test runner may have these ignored; the tool gets them as usual.
      for (const int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
      const int fdErr = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fdErr < 0) _exit(126);
      dup2(input[0], 0);
      dup2(fdErr, 2);
      close(input[1]);
      execl(RULESCORE_TOOL_PATH, RULESCORE_TOOL_PATH, "score", model.c_str(), "-", "-o",
            target.c_str(), "--threads", "1", static_cast<char*>(nullptr));
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    close(input[0]);
    // More than the tool's read buffer takes at once, so that it starts
    // scoring; then it waits for the rest with its temporary file open.
    std::string rows = "id,age,job\n";
    for (int i = 0; i < 100000; ++i) rows += std::to_string(i) + ",70,a\n";
    size_t written = 0;
    while (written < rows.size()) {
      const ssize_t n = write(input[1], rows.data() + written, rows.size() - written);
      ASSERT_GT(n, 0);
      written += static_cast<size_t>(n);
    }
    for (int wait = 0; wait < 1000 && TemporaryFiles(dir_).empty(); ++wait) usleep(10000);
    EXPECT_EQ(TemporaryFiles(dir_).size(), 1u);
    kill(pid, signalNumber);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    close(input[1]);
    EXPECT_TRUE(WIFSIGNALED(status)) << "status " << status << ": " << ReadFile(err);
    EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, signalNumber);
    EXPECT_TRUE(TemporaryFiles(dir_).empty());
    EXPECT_EQ(KindOf(target), '-');
  }
}

}  // namespace
}  // namespace testing_support
}  // namespace KtZembra_940
