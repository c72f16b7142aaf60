// Values, the one text-to-number rule and the saturating truncation, the
// error messages of ZbException and the trace log.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/BaseTranslator.h"
#include "host/ErrorCodes.h"
#include "host/ErrorFormatter.h"
#include "host/NumberText.h"
#include "host/NumericValue.h"
#include "host/ScoringLog.h"
#include "host/StringValue.h"
#include "host/ZbException.h"
#include "tests/support/TraceCapture.h"

namespace KtZembra_940 {
namespace {

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
      {std::make_unique<NumericValue>(std::string("NaN")), "", sysmis},
      {std::make_unique<StringValue>("12.5"), "12.5", 12.5},
      {std::make_unique<StringValue>("red"), "red", sysmis},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.value->GetDouble(), c.number);
    if (!c.text.empty()) {
      EXPECT_EQ(c.value->GetString(), c.text);
    }
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

// ---- number texts --------------------------------------------------------------

constexpr double kRefused = std::numeric_limits<double>::quiet_NaN();

struct DoubleCase {
  const char* text;
  double value;  // kRefused: ParseDouble answers false
};

TEST(NumberText, ParseDoubleFollowsOneRule) {
  const DoubleCase cases[] = {
      {"0", 0}, {"0.5", 0.5}, {"-12.25", -12.25}, {" 7", 7}, {"7 ", 7}, {"\t\r\n7\n", 7},
      {"+5", 5}, {" +5 ", 5}, {"-0", -0.0}, {"5e-1", 0.5}, {"1E3", 1000}, {".5", 0.5}, {"5.", 5},
      {"1e308", 1e308}, {"-1.7976931348623157e308", -1.7976931348623157e308},
      {"", kRefused}, {" ", kRefused}, {"+", kRefused}, {"-", kRefused}, {"++5", kRefused},
      {"+-5", kRefused}, {"--5", kRefused}, {"+ 5", kRefused}, {"5 5", kRefused},
      {"5abc", kRefused}, {"0x10", kRefused}, {"1,5", kRefused}, {"1e400", kRefused},
      {"-1e400", kRefused}, {"1e-400", kRefused}, {"NaN", kRefused}, {"nan", kRefused},
      {"-nan", kRefused}, {"INF", kRefused}, {"inf", kRefused}, {"-Infinity", kRefused},
      {"\xc2\xa0" "5", kRefused},  // a no-break space is no XML white space
      {"\v5", kRefused},
      // Around the plain-decimal reading: its limits, and what lies past them.
      {"00.50", 0.5}, {"-0.0", -0.0}, {"9007199254740992", 9007199254740992.0},
      {"9007199254740993", 9007199254740993.0},
      {"0.1234567890123456789", 0.1234567890123456789},
      {"1.0000000000000000000000001", 1.0000000000000000000000001},
      {"123456789012345678901234", 123456789012345678901234.0}, {"-.5", -0.5}, {"1.", 1.0},
      {"1..5", kRefused}, {"1.5.", kRefused}, {"5-", kRefused},
  };
  for (const DoubleCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    double out = 42.0;
    const bool ok = NumberText::ParseDouble(c.text, &out);
    if (std::isnan(c.value)) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(out, 42.0);  // untouched
    } else {
      ASSERT_TRUE(ok);
      EXPECT_EQ(out, c.value);
      EXPECT_EQ(std::signbit(out), std::signbit(c.value));
    }
  }
}

// Random decimals of 1 to 20 digits read exactly as from_chars reads them.
TEST(NumberText, ParseDoubleRoundsAsFromChars) {
  std::mt19937_64 random(5);
  for (int n = 0; n < 200000; ++n) {
    std::string text = random() % 2 == 0 ? "-" : "";
    const int digits = 1 + static_cast<int>(random() % 20);
    const int point = static_cast<int>(random() % static_cast<uint64_t>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point && d > 0) text.push_back('.');
      text.push_back(static_cast<char>('0' + random() % 10));
    }
    double expected = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), expected);
    double out = 0.0;
    ASSERT_TRUE(NumberText::ParseDouble(text, &out)) << text;
    ASSERT_EQ(std::memcmp(&out, &expected, sizeof out), 0) << text;
  }
}

TEST(NumberText, ParseDoubleUsesOnlyTheViewGiven) {
  const std::string text = "12345";
  double out = 0.0;
  ASSERT_TRUE(NumberText::ParseDouble(std::string_view(text).substr(0, 2), &out));
  EXPECT_EQ(out, 12.0);
}

struct IntCase {
  const char* text;
  bool ok;
  int value;
};

TEST(NumberText, ParseIntAcceptsDecimalIntegersWithin32Bits) {
  const IntCase cases[] = {
      {"0", true, 0}, {"42", true, 42}, {" +42 ", true, 42}, {"-7", true, -7},
      {"2147483647", true, INT32_MAX}, {"-2147483648", true, INT32_MIN},
      {"2147483648", false, 0}, {"-2147483649", false, 0}, {"99999999999999999999", false, 0},
      {"1.0", false, 0}, {"1e3", false, 0}, {"0x1F", false, 0}, {"", false, 0},
      {"+-1", false, 0}, {"12a", false, 0},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    int out = 99;
    EXPECT_EQ(NumberText::ParseInt(c.text, &out), c.ok);
    EXPECT_EQ(out, c.ok ? c.value : 99);
  }
}

TEST(NumberText, SaturateToIntTruncatesTowardZero) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double in;
    int out;
  } cases[] = {
      {0.0, 0},        {2.9, 2},           {-2.9, -2},         {-0.5, 0},
      {2147483646.9, 2147483646},          {2147483647.0, INT32_MAX},
      {2147483648.0, INT32_MAX},           {1e300, INT32_MAX}, {inf, INT32_MAX},
      {-2147483648.0, INT32_MIN},          {-2147483649.5, INT32_MIN},
      {-1e300, INT32_MIN},                 {-inf, INT32_MIN},  {std::nan(""), 0},
      {std::numeric_limits<double>::lowest(), INT32_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(NumberText::SaturateToInt(c.in), c.out);
  }
}

TEST(NumberText, FormatShortestRoundTrips) {
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},          {5.0, "5"},      {0.1, "0.1"},        {-2.5, "-2.5"},
      {1e21, "1e+21"},     {0.1 + 0.2, "0.30000000000000004"},
      {std::numeric_limits<double>::lowest(), "-1.7976931348623157e+308"},
      {std::numeric_limits<double>::infinity(), "inf"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    char buffer[32];
    const std::string_view text = NumberText::FormatShortest(c.value, buffer, sizeof buffer);
    EXPECT_EQ(text, c.text);
    double back = 0.0;
    if (std::isfinite(c.value)) {
      ASSERT_TRUE(NumberText::ParseDouble(text, &back));
      EXPECT_EQ(back, c.value);
    }
  }
}

// The translator's number checks are the same rule; their refusals of a
// text are scenario rows. A null text is no number either.
TEST(NumberText, VerifyRefusesANullText) {
  try {
    BaseTranslator::VerifyDouble(static_cast<const XMLCh*>(nullptr));
    ADD_FAILURE() << "null accepted";
  } catch (const ZbException& e) {
    EXPECT_EQ(e.GetErrorCode(), ErrorCode::kNotANumber);
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

// The texts of the refusals are scenario rows and golden runs; here what no
// document reaches.
TEST(ErrorFormatter, MessagesNameTheirArguments) {
  const struct {
    int code;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {ErrorCode::kXmlTooDeep, {"m.pmml", "1", "3307", "1100"},
       "m.pmml:1:3307: elements nest deeper than 1100 levels"},
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

using LogCapture = testing_support::TraceCapture;

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

}  // namespace
}  // namespace KtZembra_940
