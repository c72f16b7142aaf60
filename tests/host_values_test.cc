// Values, the error messages of ZbException, the trace log and the status.
#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/ErrorFormatter.h"
#include "host/KtStatus.h"
#include "host/NumericValue.h"
#include "host/ScoringLog.h"
#include "host/StringValue.h"
#include "host/ZbException.h"

namespace KtZembra_940 {
namespace {

// Below every value a predicate compares with, so greaterThan and
// greaterOrEqual are false for it; no other value counts as missing.
TEST(NumericValue, SystemMissingIsTheLowestFiniteDouble) {
  EXPECT_EQ(NumericValue::GetSysmisValue(), std::numeric_limits<double>::lowest());
  EXPECT_TRUE(NumericValue::IsSystemMissingValue(NumericValue::GetSysmisValue()));
  for (double v : {-1e308, 0.0, -NumericValue::GetInfinity(), std::nan("")}) {
    EXPECT_FALSE(NumericValue::IsSystemMissingValue(v)) << v;
  }
}

// A number's text is its shortest round-trip form; a text's number follows
// the one number rule, system missing when it is none.
TEST(ScoreValue, TextAndNumberForms) {
  const double sysmis = NumericValue::GetSysmisValue();
  const struct {
    std::unique_ptr<ScoreValue> value;
    std::string text;
    double number;
  } cases[] = {
      {std::make_unique<NumericValue>(60.0), "60", 60},
      {std::make_unique<NumericValue>(0.1), "0.1", 0.1},
      {std::make_unique<NumericValue>(-2.5e-7), "-2.5e-07", -2.5e-7},
      {std::make_unique<NumericValue>(std::string(" +3.5\n")), "3.5", 3.5},
      {std::make_unique<NumericValue>(std::string("")), "", sysmis},
      {std::make_unique<NumericValue>(std::string("abc")), "", sysmis},
      {std::make_unique<NumericValue>(std::string("NaN")), "", sysmis},
      {std::make_unique<NumericValue>(std::string("1e999")), "", sysmis},
      {std::make_unique<StringValue>("12.5"), "12.5", 12.5},
      {std::make_unique<StringValue>("red"), "red", sysmis},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.value->GetDouble(), c.number);
    if (!c.text.empty()) EXPECT_EQ(c.value->GetString(), c.text);
  }
}

TEST(ScoreValue, EqualityTable) {
  const NumericValue five(5.0);
  const NumericValue fiveAgain(5.0);
  const NumericValue six(6.0);
  const NumericValue sysmis(NumericValue::GetSysmisValue());
  const NumericValue sysmisAgain(NumericValue::GetSysmisValue());
  const StringValue textFive("5");
  const StringValue textFiveDot("5.0");
  const StringValue red("red");
  const StringValue redAgain("red");
  const StringValue redUpper("Red");
  const struct {
    const ScoreValue& a;
    const ScoreValue& b;
    bool equal;
  } cases[] = {
      {five, fiveAgain, true},     {five, six, false},         {sysmis, sysmisAgain, true},
      {sysmis, five, false},       {red, redAgain, true},      {red, redUpper, false},
      {five, textFive, true},      {five, textFiveDot, false},  // mixed kinds compare by text
      {textFive, textFiveDot, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.a.GetString() + " vs " + c.b.GetString());
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
    EXPECT_EQ(c.a != c.b, !c.equal);
  }
}

// ---- error messages ----------------------------------------------------------

ZbException Raised(int code, const std::vector<std::string>& args) {
  ZbException e(gErrorFormater);
  e.PutErrorMessageList(code, args);
  return e;
}

// Every code the header declares has a text that uses its first argument,
// so that each message names what it is about.
TEST(ErrorFormatter, EveryCodeHasAText) {
  std::ifstream header(std::string(RULESCORE_SOURCE_DIR) + "/host/ErrorCodes.h");
  int codes = 0;
  for (std::string line; std::getline(header, line);) {
    const size_t equals = line.find(" = ");
    if (line.rfind("constexpr int k", 0) != 0 || equals == std::string::npos) continue;
    SCOPED_TRACE(line);
    ++codes;
    EXPECT_NE(gErrorFormater.GetTemplate(std::stoi(line.substr(equals + 3))).find("%1"),
              std::string::npos);
  }
  EXPECT_GT(codes, 40);
  EXPECT_EQ(gErrorFormater.GetTemplate(123), "");
}

TEST(ErrorFormatter, MessagesNameTheirArguments) {
  const struct {
    int code;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {ErrorCode::kMissingAttribute, {"SimpleRule", "score"},
       "Element SimpleRule lacks the required attribute score"},
      {ErrorCode::kMissingChild, {"PMML", "DataDictionary"},
       "Element PMML lacks the required child element DataDictionary"},
      {ErrorCode::kNotANumber, {"5abc"}, "\"5abc\" is not a number"},
      {ErrorCode::kUnknownField, {"agee", "SimplePredicate"},
       "Field \"agee\" in SimplePredicate is not in the dictionary"},
      {ErrorCode::kMalformedArray, {"\"a b", "unterminated quote"},
       "Malformed Array \"\"a b\": unterminated quote"},
      {ErrorCode::kXmlParse, {"m.pmml", "4", "25", "expected end of tag"},
       "m.pmml:4:25: expected end of tag"},
      {ErrorCode::kDoctypeRefused, {"m.pmml", "2", "10"}, "m.pmml:2:10: DOCTYPE not accepted"},
      {ErrorCode::kXmlTooDeep, {"m.pmml", "1", "3307", "1100"},
       "m.pmml:1:3307: elements nest deeper than 1100 levels"},
      {ErrorCode::kSchemaCount, {"MiningSchema", "RuleSetModel"},
       "The number of MiningSchema elements differs from the number of RuleSetModel elements"},
      {ErrorCode::kNegativeConfidence, {"-0.5", "defaultConfidence"},
       "Negative value \"-0.5\" of defaultConfidence"},
      {ErrorCode::kScaleTarget, {"income"},
       "Target field income is continuous; a rule set needs a categorical target"},
      // An argument not given leaves its place empty; extra ones are dropped.
      {ErrorCode::kNotANumber, {}, "\"\" is not a number"},
      {ErrorCode::kNotANumber, {"x", "y"}, "\"x\" is not a number"},
      // A code without a text still names its arguments.
      {4242, {"a", "b"}, "error 4242: a, b"},
      {4243, {}, "error 4243"},
      // Control characters are escaped, C1 ones included.
      {ErrorCode::kNotANumber, {"a\nb"}, "\"a\\x0Ab\" is not a number"},
      {ErrorCode::kNotANumber, {"\x1b[31m"}, "\"\\x1B[31m\" is not a number"},
      {ErrorCode::kNotANumber, {std::string("a\0b", 3)}, "\"a\\x00b\" is not a number"},
      {ErrorCode::kNotANumber, {"\x7f"}, "\"\\x7F\" is not a number"},
      {ErrorCode::kNotANumber, {"\xc2\x9b"}, "\"\\xC2\\x9B\" is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const ZbException e = Raised(c.code, c.args);
    EXPECT_EQ(e.GetErrorCode(), c.code);
    EXPECT_EQ(e.GetArguments(), c.args);
    EXPECT_EQ(e.GetMessage(), c.message);
    EXPECT_STREQ(e.what(), c.message);
  }
}

// Texts, numbers and XML text become arguments; a null XML text an empty one.
TEST(ZbException, PutErrorMessageTakesTextsNumbersAndXmlText) {
  ZbException e(gErrorFormater);
  e.PutErrorMessage(ErrorCode::kUnknownOperator, std::string("like"), 7,
                    static_cast<const XMLCh*>(nullptr));
  EXPECT_EQ(e.GetArguments(), (std::vector<std::string>{"like", "7", ""}));
  EXPECT_EQ(e.GetMessage(), "Unknown operator \"like\" in attribute 7 of ");
}

// ---- trace log -----------------------------------------------------------------

// Restores the process-wide log whatever the test did.
class LogCapture {
 public:
  explicit LogCapture(int level) {
    ScoringLog::GetInstance().SetStream(&lines_);
    ScoringLog::GetInstance().SetLevel(level);
  }
  ~LogCapture() {
    ScoringLog::GetInstance().SetLevel(0);
    ScoringLog::GetInstance().SetStream(nullptr);
  }
  std::string Text() const { return lines_.str(); }

 private:
  std::ostringstream lines_;
};

// Lines at or below the level, whole however long; none when off or
// without a stream.
TEST(ScoringLog, WritesLinesAtOrBelowTheLevel) {
  EXPECT_EQ(ScoringLog::GetInstance().GetLevel(), 0);  // off by default
  const std::string name(5000, 'n');
  const struct {
    int level;
    bool stream;
    const char* text;
  } cases[] = {{0, true, ""}, {1, false, ""}, {1, true, "Enter:x\n"},
               {2, true, "Enter:x\nKtStatus error code is :90029\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.level);
    LogCapture capture(c.level);
    ScoringLog& log = ScoringLog::GetInstance();
    if (!c.stream) log.SetStream(nullptr);
    log.TraceText(1, "Enter:%s", "x");
    log.TraceText(2, "KtStatus error code is :%ld", 90029L);
    log.TraceText(3, "too detailed %d", 3);
    log.TraceText(0, "never %d", 0);
    EXPECT_EQ(capture.Text(), c.text);
  }
  LogCapture capture(1);
  ScoringLog::GetInstance().TraceText(1, "Exit:%s", name.c_str());
  EXPECT_EQ(capture.Text(), "Exit:" + name + "\n");
}

TEST(ScoringLog, LinesFromSeveralThreadsStayWhole) {
  LogCapture capture(1);
  constexpr int kThreads = 4;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) {
        ScoringLog::GetInstance().TraceText(1, "thread %d line %03d", t, i);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::istringstream in(capture.Text());
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
    EXPECT_EQ(line.size(), std::string("thread 0 line 000").size()) << line;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

// A warning carries a code but is no error.
TEST(KtStatus, ErrorsAndWarnings) {
  EXPECT_FALSE(KtScore::KtStatus().IsError());
  EXPECT_EQ(KtScore::KtStatus().GetErrorCode(), 0);
  EXPECT_TRUE(KtScore::KtStatus(90029, false).IsError());
  EXPECT_FALSE(KtScore::KtStatus(17, true).IsError());
}

}  // namespace
}  // namespace KtZembra_940
