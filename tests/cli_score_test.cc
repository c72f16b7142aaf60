// End to end: the built rulescore tool run as a child process on small
// models and CSV files written to a scratch directory, with its exact
// output bytes, messages and exit status checked.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

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

// The worked example: weighted sum over risk {high, low}; R1 on age, R2
// always, R3 on the string field job.
const char kRiskModel[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <DataDictionary numberOfFields="3">
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="job" optype="categorical" dataType="string">
      <Value value="a"/><Value value="b"/>
    </DataField>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema>
      <MiningField name="risk" usageType="predicted"/>
      <MiningField name="age"/>
      <MiningField name="job" usageType="active"/>
    </MiningSchema>
    <RuleSet defaultScore="low" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedSum"/>
      <SimpleRule id="R1" score="high" weight="0.75" confidence="0.8">
        <SimplePredicate field="age" operator="greaterThan" value="60"/>
      </SimpleRule>
      <SimpleRule id="R2" score="high" weight="0.25"><True/></SimpleRule>
      <SimpleRule id="R3" score="low" weight="1">
        <SimplePredicate field="job" operator="equal" value="b"/>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

// A first-hit decision list: no confidence is reported.
const char kDecisionList[] = R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="y" optype="categorical" dataType="string"><Value value="yes"/><Value value="no"/></DataField>
    <DataField name="x" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification" algorithmName="DecisionList">
    <MiningSchema><MiningField name="y" usageType="target"/><MiningField name="x"/></MiningSchema>
    <RuleSet defaultScore="no" defaultConfidence="0.9">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="D1" score="yes" confidence="0.7"><SimplePredicate field="x" operator="lessThan" value="0"/></SimpleRule>
      <SimpleRule id="D2" score="no" confidence="0.6"><True/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

// Weights whose sum is no short decimal: 0.1 + 0.2 over two fired rules.
const char kSumModel[] = R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="y" optype="categorical" dataType="string"><Value value="p"/><Value value="q"/></DataField>
    <DataField name="x" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema><MiningField name="y" usageType="predicted"/><MiningField name="x"/></MiningSchema>
    <RuleSet defaultScore="q" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedSum"/>
      <SimpleRule id="A" score="p" weight="0.1"><True/></SimpleRule>
      <SimpleRule id="B" score="p" weight="0.2"><SimplePredicate field="x" operator="greaterOrEqual" value="1e-3"/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

// The dump's own example: one weightedMax rule set and one rule.
const char kShowModel[] = R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string"><Value value="yes"/><Value value="no"/></DataField>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema><MiningField name="risk" usageType="predicted"/></MiningSchema>
    <RuleSet defaultScore="no" defaultConfidence="0.5" recordCount="100" nbCorrect="80">
      <RuleSelectionMethod criterion="weightedMax"/>
      <SimpleRule id="R1" score="yes" recordCount="40" nbCorrect="30" confidence="0.75" weight="2">
        <True/>
        <ScoreDistribution value="yes" recordCount="30"/>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

// Translates, but with what check warns about.
const char kDoubtfulModel[] = R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string"><Value value="high"/><Value value="low"/></DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema><MiningField name="risk" usageType="predicted"/><MiningField name="age"/></MiningSchema>
    <RuleSet defaultScore="medium">
      <SimpleRule id="R1" score="hgh"><SimplePredicate field="age" operator="lessThan" value="30"/></SimpleRule>
      <SimpleRule id="R2" score="low">
        <Extension name="disabled" value="true"/>
        <True/>
      </SimpleRule>
      <CompoundRule><True/><SimpleRule id="C1" score="low"><True/></SimpleRule></CompoundRule>
      <SimpleRule score="hgh"><True/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

const char kRiskInput[] =
    "id,age,job,note\r\n"
    "1,70,a,plain\r\n"
    "2,30,b,\"x, \"\"y\"\"\"\r\n"
    "3,,zzz,\"two\nlines\"\r\n";

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rulescore_cli_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Put(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    WriteFile(path, text);
    return path;
  }

  // Runs the tool with `args`, `input` on its standard input.
  RunResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    const std::string in = Put("stdin.txt", input);
    const std::string out = dir_ + "/stdout.txt";
    const std::string err = dir_ + "/stderr.txt";
    std::vector<std::string> argv{RULESCORE_TOOL_PATH};
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
      dup2(fdIn, 0);
      dup2(fdOut, 1);
      dup2(fdErr, 2);
      execv(cargv[0], cargv.data());
      _exit(127);
    }
    RunResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
      result.status = WEXITSTATUS(status);
    }
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  std::string dir_;
};

TEST_F(ToolTest, ScoresCsvWithQuotedCells) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const RunResult r = Run({"score", model, data});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "id,age,job,note,prediction,confidence,winning_rule,fired_rules\n"
            "1,70,a,plain,high,0.5,R1,R1;R2\n"
            "2,30,b,\"x, \"\"y\"\"\",low,0.5,R3,R2;R3\n"
            "3,,zzz,\"two\nlines\",high,0.25,R2,R2\n");
}

TEST_F(ToolTest, ScoresJsonLines) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const RunResult r = Run({"score", model, data, "--format", "jsonl"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"prediction\": \"high\", \"confidence\": 0.5, \"winning_rule\": \"R1\", "
            "\"fired_rules\": [\"R1\", \"R2\"]}\n"
            "{\"prediction\": \"low\", \"confidence\": 0.5, \"winning_rule\": \"R3\", "
            "\"fired_rules\": [\"R2\", \"R3\"]}\n"
            "{\"prediction\": \"high\", \"confidence\": 0.25, \"winning_rule\": \"R2\", "
            "\"fired_rules\": [\"R2\"]}\n");
}

TEST_F(ToolTest, StandardInputGivesTheSameBytes) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const RunResult fromFile = Run({"score", model, data});
  const RunResult dash = Run({"score", model, "-"}, kRiskInput);
  const RunResult none = Run({"score", model}, std::string("\xEF\xBB\xBF") + kRiskInput);
  EXPECT_EQ(dash.status, 0) << dash.err;
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_EQ(dash.out, fromFile.out);
  EXPECT_EQ(none.out, fromFile.out);
}

TEST_F(ToolTest, InvalidNumericCellKeepsTheRow) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("bad.csv", "id,age,job\n1,abc,a\n2,70,a\n3,1e999,b\n");
  const RunResult csv = Run({"score", model, data});
  EXPECT_EQ(csv.status, 3);
  EXPECT_EQ(csv.out,
            "id,age,job,prediction,confidence,winning_rule,fired_rules\n"
            "1,abc,a,,,,\n"
            "2,70,a,high,0.5,R1,R1;R2\n"
            "3,1e999,b,,,,\n");
  EXPECT_EQ(csv.err,
            "rulescore: " + data + ": line 2: column \"age\": \"abc\" is not a number\n"
            "rulescore: " + data + ": line 4: column \"age\": \"1e999\" is not a number\n");

  const RunResult json = Run({"score", model, data, "--format", "jsonl"});
  EXPECT_EQ(json.status, 3);
  EXPECT_EQ(json.out,
            "{\"prediction\": null, \"confidence\": null, \"winning_rule\": null, \"fired_rules\": [], "
            "\"error\": \"line 2: column \\\"age\\\": \\\"abc\\\" is not a number\"}\n"
            "{\"prediction\": \"high\", \"confidence\": 0.5, \"winning_rule\": \"R1\", "
            "\"fired_rules\": [\"R1\", \"R2\"]}\n"
            "{\"prediction\": null, \"confidence\": null, \"winning_rule\": null, \"fired_rules\": [], "
            "\"error\": "
            "\"line 4: column \\\"age\\\": \\\"1e999\\\" is not a number\"}\n");
}

TEST_F(ToolTest, RaggedAndBrokenRowsAreKept) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data =
      Put("ragged.csv", "id,age,job\n1,70\n2,70,a,extra\n3,\xff,a\n4,\"7\"0,a\n5,70,b\n");
  const RunResult r = Run({"score", model, data});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out,
            "id,age,job,prediction,confidence,winning_rule,fired_rules\n"
            "1,70,,,,,\n"
            "2,70,a,,,,\n"
            "3,\xff,a,,,,\n"
            "4,70,a,,,,\n"
            "5,70,b,high,0.3333333333333333,R1,R1;R2;R3\n");
  EXPECT_EQ(r.err,
            "rulescore: " + data + ": line 2: 2 cells where the header has 3\n"
            "rulescore: " + data + ": line 3: 4 cells where the header has 3\n"
            "rulescore: " + data + ": line 4: column 2 (\"age\"): cell is not valid UTF-8\n"
            "rulescore: " + data + ": line 5: column 2 (\"age\"): text after the closing quote\n");
}

TEST_F(ToolTest, MissingColumnWarnsOnce) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("nojob.csv", "age\n70\n30\n\n10\n");
  const RunResult r = Run({"score", model, data});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "rulescore: warning: " + data +
                       " has no column \"job\"; the field is missing in every record\n");
  EXPECT_EQ(r.out,
            "age,prediction,confidence,winning_rule,fired_rules\n"
            "70,high,0.5,R1,R1;R2\n"
            "30,high,0.25,R2,R2\n"
            ",high,0.25,R2,R2\n"
            "10,high,0.25,R2,R2\n");
}

// In a one-column file an empty line is a record with a missing value: no
// row is lost, read serially or in chunks. With more columns a blank line
// holds no record.
TEST_F(ToolTest, OneColumnFileKeepsEmptyLines) {
  const std::string model = Put("risk.pmml", kRiskModel);
  std::string input = "age\n\n";
  std::string expected = "age,prediction,confidence,winning_rule,fired_rules\n,high,0.25,R2,R2\n";
  for (int i = 0; i < 400000; ++i) {
    if (i % 4 == 0) {
      input += i % 8 == 0 ? "\r\n" : "\n";
      expected += ",high,0.25,R2,R2\n";
    } else {
      input += std::to_string(50 + i % 20) + "\n";
      expected += std::to_string(50 + i % 20) +
                  (50 + i % 20 > 60 ? ",high,0.5,R1,R1;R2\n" : ",high,0.25,R2,R2\n");
    }
  }
  ASSERT_GT(input.size(), size_t{1} << 20);  // several chunks
  const std::string data = Put("one.csv", input);
  for (const char* threads : {"1", "2", "3"}) {
    const RunResult r = Run({"score", model, data, "--threads", threads});
    EXPECT_EQ(r.status, 0) << threads << ": " << r.err;
    EXPECT_TRUE(r.out == expected) << threads << " threads: the output differs";
  }
  const RunResult wide = Run({"score", model, Put("two.csv", "age,job\n70,a\n\n30,b\n\r\n")});
  EXPECT_EQ(wide.status, 0) << wide.err;
  EXPECT_EQ(wide.out,
            "age,job,prediction,confidence,winning_rule,fired_rules\n"
            "70,a,high,0.5,R1,R1;R2\n"
            "30,b,low,0.5,R3,R2;R3\n");
}

TEST_F(ToolTest, TwoThreadsGiveTheSameBytesAsOne) {
  const std::string model = Put("risk.pmml", kRiskModel);
  std::string input = "id,age,job\n";
  for (int i = 0; i < 6000; ++i) {
    input += std::to_string(i) + ",";
    if (i % 997 == 0) {
      input += "old";  // an error row now and then
    } else if (i % 5 != 0) {
      input += std::to_string((i * 37) % 100);
    }
    input += i % 3 == 0 ? ",b\n" : ",a\n";
  }
  const std::string data = Put("many.csv", input);
  const RunResult one = Run({"score", model, data, "--threads", "1"});
  const RunResult two = Run({"score", model, data, "--threads", "2"});
  const RunResult jsonOne = Run({"score", model, data, "--threads", "1", "--format", "jsonl"});
  const RunResult jsonTwo = Run({"score", model, data, "--threads", "2", "--format", "jsonl"});
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(two.status, 3);
  EXPECT_EQ(Count(one.out, "\n"), 6001u);
  EXPECT_EQ(Count(one.err, "is not a number"), 7u);
  EXPECT_EQ(one.out, two.out);
  EXPECT_EQ(one.err, two.err);
  EXPECT_EQ(jsonOne.out, jsonTwo.out);
  EXPECT_EQ(Count(jsonOne.out, "\n"), 6000u);
}

// Several megabytes, so that the input is cut into many chunks: CR LF line
// ends, quoted line breaks, a record longer than a chunk's safe bound, a
// stray quote whose lines are read again, and error rows whose line numbers
// count every physical line before them.
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
  const std::string data = Put("chunks.csv", input);
  const RunResult one = Run({"score", model, data, "--threads", "1"});
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(Count(one.out, "\n"), static_cast<size_t>(records) + 1 + 60000 / 7 + 1);
  EXPECT_EQ(Count(one.err, "\n"), expectedErrors.size());
  for (const std::string& error : expectedErrors) {
    EXPECT_EQ(Count(one.err, ": " + error + "\n"), 1u) << error;
  }
  for (const char* threads : {"2", "3"}) {
    const RunResult many = Run({"score", model, data, "--threads", threads});
    EXPECT_EQ(many.status, 3) << threads;
    EXPECT_TRUE(many.out == one.out) << threads << " threads: the output differs";
    EXPECT_EQ(many.err, one.err) << threads;
  }
  const RunResult piped = Run({"score", model, "--threads", "2"}, input);
  EXPECT_TRUE(piped.out == one.out) << "standard input: the output differs";
  const RunResult jsonOne = Run({"score", model, data, "--threads", "1", "--format", "jsonl"});
  const RunResult jsonThree = Run({"score", model, data, "--threads", "3", "--format", "jsonl"});
  EXPECT_EQ(Count(jsonOne.out, "\n"), static_cast<size_t>(records));
  EXPECT_TRUE(jsonThree.out == jsonOne.out) << "jsonl: the output differs";
}

TEST_F(ToolTest, OutputFileMatchesStandardOutput) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const std::string target = dir_ + "/scored.csv";
  const RunResult toFile = Run({"score", model, data, "-o", target});
  const RunResult toStdout = Run({"score", model, data});
  EXPECT_EQ(toFile.status, 0) << toFile.err;
  EXPECT_EQ(toFile.out, "");
  EXPECT_EQ(ReadFile(target), toStdout.out);
}

TEST_F(ToolTest, FailedRunLeavesNoOutputFile) {
  const std::string model = Put("broken.pmml", "<PMML><DataDictionary>");
  const std::string data = Put("in.csv", kRiskInput);
  const std::string target = dir_ + "/scored.csv";
  const RunResult r = Run({"score", model, data, "-o", target});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("rulescore: " + model + ": error 260009: ", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists(target));
  for (const auto& entry : fs::directory_iterator(dir_)) {
    EXPECT_EQ(entry.path().filename().string().find("scored.csv"), std::string::npos);
  }
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

// A symbolic link is written through: its final target gets the output
// (made when it does not exist yet) and the link stays a link.
TEST_F(ToolTest, OutputThroughSymbolicLinks) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const std::string expected = Run({"score", model, data}).out;
  ASSERT_EQ(fs::create_directory(dir_ + "/sub"), true);
  const std::string real = Put("sub/real.csv", "old contents, longer than nothing\n");
  ASSERT_EQ(symlink("sub/real.csv", (dir_ + "/link").c_str()), 0);
  ASSERT_EQ(symlink("link", (dir_ + "/link2").c_str()), 0);
  ASSERT_EQ(symlink("sub/missing.csv", (dir_ + "/dangling").c_str()), 0);

  RunResult r = Run({"score", model, data, "-o", dir_ + "/link2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(KindOf(dir_ + "/link2"), 'l');
  EXPECT_EQ(KindOf(dir_ + "/link"), 'l');
  EXPECT_EQ(KindOf(real), 'f');
  EXPECT_EQ(ReadFile(real), expected);

  r = Run({"score", model, data, "-o", dir_ + "/dangling"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(KindOf(dir_ + "/dangling"), 'l');
  EXPECT_EQ(KindOf(dir_ + "/sub/missing.csv"), 'f');
  EXPECT_EQ(ReadFile(dir_ + "/sub/missing.csv"), expected);
  EXPECT_TRUE(TemporaryFiles(dir_).empty());
  EXPECT_TRUE(TemporaryFiles(dir_ + "/sub").empty());

  // A link to an open descriptor (what /dev/stdout is) is written into, not
  // replaced: the output lands on the tool's standard output.
  ASSERT_EQ(symlink("/proc/self/fd/1", (dir_ + "/stdout").c_str()), 0);
  r = Run({"score", model, data, "-o", dir_ + "/stdout"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(KindOf(dir_ + "/stdout"), 'l');
  EXPECT_EQ(r.out, expected);

  r = Run({"score", model, data, "-o", dir_ + "/sub"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "rulescore: " + dir_ + "/sub: cannot create the output: Is a directory\n");
}

// A FIFO is written into, never replaced: its reader gets the rows. The
// reading end is opened first, without waiting, and the output is small
// enough to wait in the pipe until the tool has ended.
TEST_F(ToolTest, OutputIntoAFifo) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const std::string expected = Run({"score", model, data}).out;
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const RunResult r = Run({"score", model, data, "-o", fifo});
  std::string received;
  char buffer[4096];
  for (ssize_t n; (n = read(reader, buffer, sizeof buffer)) > 0;) {
    received.append(buffer, static_cast<size_t>(n));
  }
  close(reader);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(received, expected);
  EXPECT_EQ(KindOf(fifo), 'p');
  EXPECT_TRUE(TemporaryFiles(dir_).empty());
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

  RunResult r = Run({"score", model, data, "-o", null});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(KindOf(null), 'c');

  for (const char* format : {"csv", "jsonl"}) {
    r = Run({"score", model, data, "-o", full, "--format", format});
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

// One model in three encodings. Its texts are written here in UTF-8 and
// hold only characters of Latin-1 (ü, ö, ß).
const char kGermanModel[] = R"(<?xml version="1.0" encoding="ENCODING"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="urteil" optype="categorical" dataType="string"><Value value="ja"/><Value value="übel"/></DataField>
    <DataField name="farbe" optype="categorical" dataType="string"><Value value="grün"/><Value value="rot"/></DataField>
    <DataField name="größe" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema>
      <MiningField name="urteil" usageType="predicted"/>
      <MiningField name="farbe"/><MiningField name="größe" usageType="active"/>
    </MiningSchema>
    <RuleSet defaultScore="übel" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="grün" score="ja" confidence="0.9"><SimplePredicate field="farbe" operator="equal" value="grün"/></SimpleRule>
      <SimpleRule id="groß" score="übel" confidence="0.8"><SimplePredicate field="größe" operator="greaterThan" value="10"/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

// The code points of a UTF-8 text of at most two-byte sequences.
std::vector<unsigned> CodePoints(const std::string& utf8) {
  std::vector<unsigned> out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out.push_back(b);
    } else {
      out.push_back(((b & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu));
      ++i;
    }
  }
  return out;
}

// Every encoding of one model gives the same scores, identifiers and dump,
// all in UTF-8: the records are UTF-8 and match the model's texts.
TEST_F(ToolTest, DocumentEncodingsScoreAlike) {
  const std::string model = kGermanModel;
  const size_t at = model.find("ENCODING");
  std::string utf8 = model;
  utf8.replace(at, 8, "UTF-8");
  std::string latin = model;
  latin.replace(at, 8, "ISO-8859-1");
  std::string latinBytes;
  for (unsigned c : CodePoints(latin)) latinBytes.push_back(static_cast<char>(c));
  std::string wide = model;
  wide.replace(at, 8, "UTF-16");
  std::string wideBytes = "\xFF\xFE";
  for (unsigned c : CodePoints(wide)) {
    wideBytes.push_back(static_cast<char>(c & 0xFF));
    wideBytes.push_back(static_cast<char>(c >> 8));
  }
  ASSERT_NE(latinBytes.find("gr\xFCn"), std::string::npos);

  const std::string data = Put("in.csv", "farbe,größe\ngrün,5\nrot,20\ngrün,20\n,\n");
  const std::string expected =
      "farbe,größe,prediction,confidence,winning_rule,fired_rules\n"
      "grün,5,ja,0.9,grün,grün\n"
      "rot,20,übel,0.8,groß,groß\n"
      "grün,20,ja,0.9,grün,grün\n"
      ",,übel,0.5,,\n";
  std::string firstDump;
  for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"utf8.pmml", utf8},
                                    {"latin1.pmml", latinBytes},
                                    {"utf16.pmml", wideBytes}}) {
    SCOPED_TRACE(name);
    const std::string path = Put(name, bytes);
    const RunResult r = Run({"score", path, data});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected);
    const RunResult dump = Run({"show", path});
    EXPECT_EQ(dump.status, 0) << dump.err;
    EXPECT_NE(dump.out.find("Rule ID: grün\n"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("Default Score: übel\n"), std::string::npos) << dump.out;
    if (firstDump.empty()) firstDump = dump.out;
    EXPECT_EQ(dump.out, firstDump);
  }
}

TEST_F(ToolTest, DecisionListHasNoConfidence) {
  const std::string model = Put("list.pmml", kDecisionList);
  const std::string data = Put("x.csv", "x\n-1\n5\n");
  const RunResult csv = Run({"score", model, data});
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out, "x,prediction,confidence,winning_rule,fired_rules\n-1,yes,,D1,D1\n5,no,,D2,D2\n");
  const RunResult json = Run({"score", model, data, "--format", "jsonl"});
  EXPECT_EQ(json.out,
            "{\"prediction\": \"yes\", \"confidence\": null, \"winning_rule\": \"D1\", "
            "\"fired_rules\": [\"D1\"]}\n"
            "{\"prediction\": \"no\", \"confidence\": null, \"winning_rule\": \"D2\", "
            "\"fired_rules\": [\"D2\"]}\n");
}

TEST_F(ToolTest, NumbersReadBackToTheSameDouble) {
  const std::string model = Put("sum.pmml", kSumModel);
  const std::string data = Put("x.csv", "x\n2\n0\n");
  const RunResult r = Run({"score", model, data, "--format", "jsonl"});
  EXPECT_EQ(r.status, 0) << r.err;
  // (0.1 + 0.2) / 2 and 0.1 / 1, written in their shortest exact forms.
  EXPECT_EQ(r.out,
            "{\"prediction\": \"p\", \"confidence\": 0.15000000000000002, \"winning_rule\": \"A\", "
            "\"fired_rules\": [\"A\", \"B\"]}\n"
            "{\"prediction\": \"p\", \"confidence\": 0.1, \"winning_rule\": \"A\", "
            "\"fired_rules\": [\"A\"]}\n");
}

TEST_F(ToolTest, OtherDelimiter) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", "age;job;note\n70;a;\"x;y\"\n");
  const RunResult r = Run({"score", model, data, "--delimiter", ";"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "age;job;note;prediction;confidence;winning_rule;fired_rules\n"
            "70;a;\"x;y\";high;0.5;R1;\"R1;R2\"\n");
}

TEST_F(ToolTest, HeaderOnlyAndEmptyInput) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const RunResult header = Run({"score", model, Put("h.csv", "age,job\n")});
  EXPECT_EQ(header.status, 0);
  EXPECT_EQ(header.out, "age,job,prediction,confidence,winning_rule,fired_rules\n");
  const RunResult empty = Run({"score", model, "-"}, "");
  EXPECT_EQ(empty.status, 3);
  EXPECT_EQ(empty.out, "");
  EXPECT_EQ(empty.err,
            "rulescore: standard input: the input is empty; a header row naming the columns is "
            "needed\n");
  const RunResult twice = Run({"score", model, "-"}, "age,job,age\n1,a,2\n");
  EXPECT_EQ(twice.status, 3);
  EXPECT_EQ(twice.out, "");
  EXPECT_EQ(twice.err,
            "rulescore: standard input: line 1: column name \"age\" is used twice (columns 1 and "
            "3)\n");
}

TEST_F(ToolTest, TraceWritesTheHostLog) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const RunResult r = Run({"score", model, "--trace"}, "age,job\n1,a\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Count(r.err, "Enter:KtZembra_940::RuleSetTranslator::ParseFromTree\n"), 1u) << r.err;
  EXPECT_EQ(Count(r.err, "Exit:KtZembra_940::RuleSetTranslator::ParseFromTree\n"), 1u);
  const RunResult quiet = Run({"score", model}, "age,job\n1,a\n");
  EXPECT_EQ(quiet.err, "");
}

TEST_F(ToolTest, UsageErrors) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string data = Put("in.csv", kRiskInput);
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"score"},
      {"frobnicate", model},
      {"score", model, data, "--format", "xml"},
      {"score", model, data, "--threads", "0"},
      {"score", model, data, "--threads", "many"},
      {"score", model, data, "--delimiter", "\""},
      {"score", model, data, "--delimiter", ";;"},
      {"score", model, data, "--bogus"},
      {"score", model, dir_ + "/absent.csv"},
      {"score", model, dir_},
      {"score", model, data, "-o", dir_ + "/no/such/dir/out.csv"},
      {"score", model, data, "--semantics", "strict"},
      {"check", model, "--semantics", ""},
  };
  for (const auto& args : cases) {
    const RunResult r = Run(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined << "\n" << r.err;
    EXPECT_EQ(r.out.find("prediction"), std::string::npos) << joined;
    EXPECT_FALSE(r.err.empty()) << joined;
  }
  EXPECT_EQ(Run({"--help"}).status, 0);
}

TEST_F(ToolTest, ShowWritesTheDump) {
  const std::string model = Put("show.pmml", kShowModel);
  const RunResult r = Run({"show", model});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "Start RuleSetModel Display\n"
            "There are total 1 models\n"
            "Model information is: \n"
            "******   model 1 ****** \n"
            "Rule Selection method used in scoring :weightedMax\n"
            "Default Score: no\n"
            "Default confidence: 0.5\n"
            "Total number of Records: 100\n"
            "nbCorrect: 80\n"
            "Rule ID: R1\n"
            "Rule Label: R1\n"
            "Target variable name: risk\n"
            "Score: yes\n"
            "recoredCount: 40\n"
            "nbCorrect: 30\n"
            "confidence: 0.75\n"
            "weight: 2\n"
            "target variable name: risk\n"
            "There are 0 split variables: \n"
            "Score Value distribution:\n"
            "yes: 0.75\n"
            "End of SimpleRule\n\n");
}

TEST_F(ToolTest, CheckSummarisesAValidModel) {
  const std::string model = Put("risk.pmml", kRiskModel);
  const std::string summary = "model: " + model + "\n"
                              "type: rule set\n"
                              "rule sets: 1\n"
                              "  rule set 1: 3 rules, selection method weightedSum\n"
                              "target: risk (string), 2 categories: high, low\n"
                              "predictors: age, job\n"
                              "cost matrix: none\n";
  const RunResult pmml = Run({"check", model, "--semantics", "pmml"});
  EXPECT_EQ(pmml.status, 0) << pmml.err;
  EXPECT_EQ(pmml.out, summary + "warnings: none\n");
  // Natively, each reason why pmml would score the document otherwise.
  const RunResult native = Run({"check", model});
  EXPECT_EQ(native.status, 0) << native.err;
  EXPECT_EQ(native.out,
            summary +
                "warning: under --semantics pmml an absent weight or confidence is 1, not 0 "
                "(2 rules lack one)\n"
                "warning: under --semantics pmml a value outside the declared Values or Intervals "
                "of job is invalid (invalidValueTreatment, by default returnInvalid)\n"
                "warning: under --semantics pmml a comparison on a missing value is UNKNOWN, not "
                "true or false (fields age, job)\n");
}

TEST_F(ToolTest, CheckNamesEveryReasonPmmlScoresOtherwise) {
  const std::string model = Put("other.pmml", R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="y" optype="categorical" dataType="double"><Value value="1"/><Value value="2"/></DataField>
    <DataField name="x" optype="continuous" dataType="double">
      <Interval closure="closedClosed" leftMargin="0" rightMargin="9"/>
    </DataField>
    <DataField name="z" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="regression">
    <MiningSchema>
      <MiningField name="y" usageType="predicted"/>
      <MiningField name="x" outliers="asExtremeValues" lowValue="1" highValue="8"/>
      <MiningField name="z" missingValueReplacement="0"/>
    </MiningSchema>
    <RuleSet>
      <SimpleRule id="a" score="1" weight="1" confidence="1">
        <CompoundPredicate booleanOperator="or">
          <SimplePredicate field="x" operator="greaterThan" value="5"/>
          <SimplePredicate field="z" operator="lessThan" value="0"/>
        </CompoundPredicate>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)");
  const RunResult native = Run({"check", model});
  EXPECT_EQ(native.status, 0) << native.err;
  const std::string warnings = native.out.substr(native.out.find("warning: "));
  EXPECT_EQ(warnings,
            "warning: under --semantics pmml a value outside the declared Values or Intervals of x "
            "is invalid (invalidValueTreatment, by default returnInvalid)\n"
            "warning: under --semantics pmml the MiningField treatments of x, z are applied (they "
            "are not read here)\n"
            "warning: under --semantics pmml a comparison on a missing value is UNKNOWN, not true "
            "or false (fields x)\n"
            "warning: under --semantics pmml a rule set without defaultScore predicts nothing when "
            "no rule fires, not its first category (rule set 1)\n"
            "warning: under --semantics pmml functionName regression predicts the chosen rule's "
            "score as a number\n");
  const RunResult pmml = Run({"check", model, "--semantics", "pmml"});
  EXPECT_EQ(pmml.status, 0) << pmml.err;
  EXPECT_NE(pmml.out.find("warnings: none\n"), std::string::npos) << pmml.out;
}

TEST_F(ToolTest, CheckWarnsAboutDoubtfulRules) {
  const std::string model = Put("doubt.pmml", kDoubtfulModel);
  const RunResult r = Run({"check", model});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "model: " + model + "\n"
            "type: rule set\n"
            "rule sets: 1\n"
            "  rule set 1: 4 rules, selection method firstHit (none given)\n"
            "target: risk (string), 2 categories: high, low\n"
            "predictors: age\n"
            "cost matrix: none\n"
            "warning: rule set 1: default score \"medium\" names no target category\n"
            "warning: rule set 1: rule R1: score \"hgh\" names no target category\n"
            "warning: rule set 1: rule R2 is marked disabled; it is scored like any other rule\n"
            "warning: rule set 1: rule #4: score \"hgh\" names no target category\n"
            "warning: under --semantics pmml an absent weight or confidence is 1, not 0 "
            "(4 rules lack one)\n"
            "warning: under --semantics pmml a comparison on a missing value is UNKNOWN, not "
            "true or false (fields age)\n");
}

TEST_F(ToolTest, CheckListsDerivedFieldsAndScoreCategories) {
  const std::string model = std::string(RULESCORE_SOURCE_DIR) + "/examples/derived.pmml";
  const RunResult r = Run({"check", model, "--semantics", "pmml"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "model: " + model + "\n"
            "type: rule set\n"
            "rule sets: 1\n"
            "  rule set 1: 3 rules, selection method firstHit\n"
            "target: decision (string), 3 categories from the rule scores: decline, approve, "
            "review\n"
            "predictors: income, debt, region, member\n"
            "derived fields: debtRatio (Apply share), zone (MapValues)\n"
            "cost matrix: none\n"
            "warnings: none\n");
  const RunResult show = Run({"show", model});
  EXPECT_EQ(show.status, 0) << show.err;
  EXPECT_NE(show.out.find("derived field debtRatio (double): share(debt, income)\n"
                          "derived field zone (string): MapValues(region -> zone, 2 rows) "
                          "mapMissingTo unknown defaultValue other\n"),
            std::string::npos)
      << show.out;
}

TEST_F(ToolTest, BooleanCellThatIsNoBooleanInvalidatesTheRow) {
  const std::string model = std::string(RULESCORE_SOURCE_DIR) + "/examples/derived.pmml";
  const std::string data = Put("bool.csv", "income,debt,region,member\n1000,100,south,yes\n");
  const RunResult r = Run({"score", model, data});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "income,debt,region,member,prediction,confidence,winning_rule,fired_rules\n"
                   "1000,100,south,yes,,,,\n");
  EXPECT_EQ(r.err, "rulescore: " + data + ": line 2: column \"member\": \"yes\" is not a boolean\n");
}

// A translation error names the element's line, the field and the rule.
TEST_F(ToolTest, TranslationErrorsNameLineFieldAndRule) {
  const struct {
    const char* body;
    const char* expected;  // after "rulescore: FILE"
  } kCases[] = {
      {"<RuleSet defaultScore=\"a\">\n"
       "<SimpleRule id=\"R1\" score=\"b\"><True/></SimpleRule>\n"
       "<SimpleRule id=\"R7\" score=\"b\">\n"
       "  <CompoundPredicate booleanOperator=\"and\">\n"
       "    <SimplePredicate field=\"age\" operator=\"greaterThan\" value=\"3\"/>\n"
       "    <SimplePredicate field=\"fraud\" operator=\"equal\" value=\"true\"/>\n"
       "  </CompoundPredicate>\n"
       "</SimpleRule></RuleSet>",
       ":15: error 260003: \"true\" is not a number (field fraud, rule R7)\n"},
      {"<RuleSet defaultScore=\"a\">\n"
       "<SimpleRule score=\"b\"><True/></SimpleRule>\n"
       "<SimpleRule score=\"b\">\n"
       "  <SimplePredicate field=\"nowhere\" operator=\"equal\" value=\"1\"/>\n"
       "</SimpleRule></RuleSet>",
       ":13: error 260005: Field \"nowhere\" in SimplePredicate is not in the dictionary "
       "(field nowhere, rule #2)\n"},
      {"<RuleSet defaultScore=\"a\">\n"
       "<SimpleRule id=\"R1\" score=\"b\">\n"
       "  <CompoundPredicate booleanOperator=\"nand\"><True/><False/></CompoundPredicate>\n"
       "</SimpleRule></RuleSet>",
       ":12: error 260007: Unknown operator \"nand\" in attribute booleanOperator of "
       "CompoundPredicate (rule R1)\n"},
  };
  const std::string head =
      "<?xml version=\"1.0\"?>\n<PMML version=\"4.4\">\n<DataDictionary>\n"
      "<DataField name=\"age\" optype=\"continuous\" dataType=\"double\"/>\n"
      "<DataField name=\"fraud\" optype=\"continuous\" dataType=\"double\"/>\n"
      "<DataField name=\"y\" optype=\"categorical\" dataType=\"string\"/>\n"
      "</DataDictionary>\n<RuleSetModel functionName=\"classification\">\n"
      "<MiningSchema><MiningField name=\"age\"/><MiningField name=\"fraud\"/>"
      "<MiningField name=\"y\" usageType=\"target\"/></MiningSchema>\n";
  for (const auto& c : kCases) {
    const std::string model = Put("lines.pmml", head + c.body + "</RuleSetModel></PMML>\n");
    const RunResult r = Run({"check", model});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "rulescore: " + model + c.expected);
  }
  const std::string derived = Put(
      "derived.pmml",
      "<?xml version=\"1.0\"?>\n<PMML version=\"4.4\">\n<DataDictionary>\n"
      "<DataField name=\"age\" optype=\"continuous\" dataType=\"double\"/>\n"
      "<DataField name=\"when\" optype=\"continuous\" dataType=\"dateTime\"/>\n"
      "</DataDictionary>\n</PMML>\n");
  const RunResult r = Run({"check", derived});
  EXPECT_EQ(r.err, "rulescore: " + derived +
                       ":5: error 260018: Field \"when\": invalid dataType \"dateTime\" (field when)\n");
}

TEST_F(ToolTest, CheckRefusesAnInvalidModel) {
  std::string text = kRiskModel;
  text.replace(text.find("\"weightedSum\""), 13, "\"WeightedSum\"");
  const std::string model = Put("bad.pmml", text);
  const RunResult r = Run({"check", model});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  // The line of the RuleSelectionMethod element.
  EXPECT_EQ(r.err, "rulescore: " + model +
                       ":19: error 260153: Unsupported text \"WeightedSum\" in criterion of "
                       "RuleSelectionMethod\n");

  const RunResult doctype =
      Run({"check", Put("dt.pmml", "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML []>\n<PMML/>\n")});
  EXPECT_EQ(doctype.status, 1);
  EXPECT_EQ(doctype.err.rfind("rulescore: " + dir_ + "/dt.pmml: error 260011: ", 0), 0u)
      << doctype.err;
  const RunResult absent = Run({"show", dir_ + "/absent.pmml"});
  EXPECT_EQ(absent.status, 1);
  EXPECT_NE(absent.err.find("error 260016"), std::string::npos) << absent.err;
}

TEST_F(ToolTest, BundledExampleScores) {
  const std::string source = RULESCORE_SOURCE_DIR;
  const RunResult r =
      Run({"score", source + "/examples/credit_risk.pmml", source + "/examples/credit_risk.csv"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Count(r.out, "\n"), 21u);
  const RunResult check =
      Run({"check", source + "/examples/credit_risk.pmml", "--semantics", "pmml"});
  EXPECT_EQ(check.status, 0);
  EXPECT_NE(check.out.find("warnings: none\n"), std::string::npos) << check.out;
}

// The small examples, each with its exact scores: the three selection
// methods on one rule set, a vote of two rule sets and a cost decision.
TEST_F(ToolTest, ExamplesScoreExactly) {
  const std::string ex = std::string(RULESCORE_SOURCE_DIR) + "/examples/";
  struct Case {
    const char* model;
    const char* data;
    const char* expected;
  };
  const Case cases[] = {
      {"risk.pmml", "risk.csv",
       "age,prediction,confidence,winning_rule,fired_rules\n70,high,0.6000000000000001,R1,R1;R2\n"
       "30,high,0.4,R2,R2\n"},
      {"drug_firstHit.pmml", "drug.csv",
       "BP,K,Age,Na,Cholesterol,prediction,confidence,winning_rule,fired_rules\n"
       "HIGH,0.04,40,0.7,NORMAL,drugB,0.9,RULE1,RULE1\nHIGH,0.06,60,0.5,HIGH,drugA,0.6,RULE2,RULE2\n"
       "LOW,0.05,30,0.95,NORMAL,drugC,0.5,RULE3,RULE3\n"
       "NORMAL,0.03,70,0.8,NORMAL,drugC,0.5,RULE3,RULE3\n"
       ",0.05,55,,HIGH,drugX,0.7,RULE4,RULE4\n"},
      {"drug_weightedSum.pmml", "drug.csv",
       "BP,K,Age,Na,Cholesterol,prediction,confidence,winning_rule,fired_rules\n"
       "HIGH,0.04,40,0.7,NORMAL,drugB,0.9,RULE1,RULE1\n"
       "HIGH,0.06,60,0.5,HIGH,drugX,0.35,RULE4,RULE2;RULE4\n"
       "LOW,0.05,30,0.95,NORMAL,drugX,0.35,RULE4,RULE3;RULE4\n"
       "NORMAL,0.03,70,0.8,NORMAL,drugC,0.5,RULE3,RULE3\n"
       ",0.05,55,,HIGH,drugX,0.7,RULE4,RULE4\n"},
      {"drug_weightedMax.pmml", "drug.csv",
       "BP,K,Age,Na,Cholesterol,prediction,confidence,winning_rule,fired_rules\n"
       "HIGH,0.04,40,0.7,NORMAL,drugB,0.9,RULE1,RULE1\n"
       "HIGH,0.06,60,0.5,HIGH,drugX,0.7,RULE4,RULE2;RULE4\n"
       "LOW,0.05,30,0.95,NORMAL,drugX,0.7,RULE4,RULE3;RULE4\n"
       "NORMAL,0.03,70,0.8,NORMAL,drugC,0.5,RULE3,RULE3\n"
       ",0.05,55,,HIGH,drugX,0.7,RULE4,RULE4\n"},
      {"vote.pmml", "vote.csv",
       "tenure,plan,prediction,confidence,winning_rule,fired_rules\n3,basic,yes,1,T1,T1;P1\n"
       "30,basic,yes,0.5294117647058824,P1,T2;P1\n12,pro,no,1,P2,P2\n,,no,1,,\n"},
      {"costs.pmml", "costs.csv",
       "amount,country,prediction,confidence,winning_rule,fired_rules\n200,home,ok,0.5,USUAL,USUAL\n"
       "2000,home,fraud,0.2,BIG,BIG;USUAL\n"
       "2000,abroad,fraud,0.20000000000000004,BIG,BIG;ABROAD;USUAL\n"
       "9000,home,fraud,0.4,BIG,BIG\n"},
      {"derived.pmml", "derived.csv",
       "applicant,income,debt,region,member,prediction,confidence,winning_rule,fired_rules\n"
       "P1,1000,700,north,false,decline,0.9,HIGH_DEBT,HIGH_DEBT\n"
       "P2,1000,200,north,TRUE,approve,0.8,MEMBER,MEMBER\n"
       "P3,1000,500,south,0,approve,0.6,WARM_ZONE,WARM_ZONE\n"
       "P4,0,10,east,1,decline,0.9,HIGH_DEBT,HIGH_DEBT\n"
       "P5,1000,500,,false,review,0.5,,\n"
       "P6,,100,south,true,approve,0.6,WARM_ZONE,WARM_ZONE\n"},
  };
  for (const Case& c : cases) {
    const RunResult r = Run({"score", ex + c.model, ex + c.data});
    EXPECT_EQ(r.status, 0) << c.model << ": " << r.err;
    EXPECT_EQ(r.out, c.expected) << c.model;
  }
}

// The option reaches the model: without weights and confidences, pmml
// gives the schema's default 1 where native has 0.
TEST_F(ToolTest, SemanticsOptionReachesTheModel) {
  const std::string model = Put("plain.pmml", R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="y" optype="categorical" dataType="string"><Value value="p"/><Value value="q"/></DataField>
    <DataField name="x" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema><MiningField name="y" usageType="predicted"/><MiningField name="x"/></MiningSchema>
    <RuleSet defaultScore="q" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedMax"/>
      <SimpleRule id="A" score="p"><SimplePredicate field="x" operator="greaterThan" value="0"/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)");
  const std::string data = Put("in.csv", "x\n1\n-1\n");
  const RunResult native = Run({"score", model, data});
  EXPECT_EQ(native.status, 0) << native.err;
  EXPECT_EQ(native.out, "x,prediction,confidence,winning_rule,fired_rules\n1,p,0,A,A\n-1,q,0.5,,\n");
  EXPECT_EQ(Run({"score", model, data, "--semantics", "native"}).out, native.out);
  const RunResult pmml = Run({"score", model, data, "--semantics", "pmml"});
  EXPECT_EQ(pmml.status, 0) << pmml.err;
  EXPECT_EQ(pmml.out, "x,prediction,confidence,winning_rule,fired_rules\n1,p,1,A,A\n-1,q,0.5,,\n");
  EXPECT_EQ(Run({"show", model, "--semantics", "pmml"}).status, 0);
  EXPECT_EQ(Run({"check", model, "--semantics", "pmml"}).status, 0);
}

// Under pmml an invalid value fails its row (the default returnInvalid):
// the row is kept, with the message naming the field and the value; a text
// where a number belongs reaches the model, which judges it by the field's
// treatment.
TEST_F(ToolTest, InvalidValueUnderPmmlKeepsTheRow) {
  const std::string model = Put("ranged.pmml", R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="y" optype="categorical" dataType="string"><Value value="p"/><Value value="q"/></DataField>
    <DataField name="x" optype="continuous" dataType="double">
      <Interval closure="closedClosed" leftMargin="0" rightMargin="10"/>
    </DataField>
    <DataField name="z" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema>
      <MiningField name="y" usageType="predicted"/><MiningField name="x"/>
      <MiningField name="z" invalidValueTreatment="asMissing" missingValueReplacement="1"/>
    </MiningSchema>
    <RuleSet defaultScore="q" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="A" score="p" confidence="0.75">
        <CompoundPredicate booleanOperator="and">
          <SimplePredicate field="x" operator="greaterThan" value="5"/>
          <SimplePredicate field="z" operator="equal" value="1"/>
        </CompoundPredicate>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)");
  const std::string data = Put("in.csv", "x,z\n6,1\n11,1\nabc,1\n6,zz\n6,\n");
  const RunResult pmml = Run({"score", model, data, "--semantics", "pmml"});
  EXPECT_EQ(pmml.status, 3);
  EXPECT_EQ(pmml.out,
            "x,z,prediction,confidence,winning_rule,fired_rules\n"
            "6,1,p,0.75,A,A\n"
            "11,1,,,,\n"
            "abc,1,,,,\n"
            "6,zz,p,0.75,A,A\n"
            "6,,p,0.75,A,A\n");
  EXPECT_EQ(pmml.err,
            "rulescore: " + data + ": line 3: Field x: the value \"11\" is invalid\n"
            "rulescore: " + data + ": line 4: Field x: the value \"abc\" is invalid\n");
  const RunResult native = Run({"score", model, data});
  EXPECT_EQ(native.status, 3);
  EXPECT_EQ(native.out,
            "x,z,prediction,confidence,winning_rule,fired_rules\n"
            "6,1,p,0.75,A,A\n"
            "11,1,p,0.75,A,A\n"
            "abc,1,,,,\n"
            "6,zz,,,,\n"
            "6,,q,0.5,,\n");
}

TEST_F(ToolTest, NativeRefusalThatPmmlReadsSaysSoOnASecondLine) {
  // A single-member CompoundPredicate: refused natively, read under pmml.
  const std::string model = Put("single.pmml", R"(<?xml version="1.0"?>
<PMML version="4.4">
  <DataDictionary>
    <DataField name="y" optype="categorical" dataType="string"><Value value="a"/><Value value="b"/></DataField>
    <DataField name="x" optype="continuous" dataType="double"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema><MiningField name="y" usageType="predicted"/><MiningField name="x"/></MiningSchema>
    <RuleSet defaultScore="a">
      <SimpleRule id="r" score="b">
        <CompoundPredicate booleanOperator="and"><SimplePredicate field="x" operator="greaterThan" value="1"/></CompoundPredicate>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)");
  const RunResult native = Run({"check", model});
  EXPECT_EQ(native.status, 1);
  EXPECT_EQ(native.err, "rulescore: " + model +
                            ":10: error 260176: CompoundPredicate holds fewer than two predicates "
                            "(SimplePredicate and its kinds) (rule r)\n"
                            "The document is accepted under the semantics pmml (option semantics=pmml).\n");
  EXPECT_EQ(Run({"check", model, "--semantics", "pmml"}).status, 0);
}

}  // namespace
