// Values, the one text-to-number rule and the saturating truncation, the
// error messages of ZbException and the trace log.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
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
#include "tests/support/CaseFile.h"
#include "tests/support/TraceCapture.h"

namespace KtZembra_940 {
namespace {

// A value as tests/data/cases/values.txt writes it.
std::unique_ptr<ScoreValue> ValueOf(const std::string& written) {
  const size_t gap = written.find(' ');
  const std::string kind = written.substr(0, gap);
  const std::string text = written.substr(gap + 1);
  if (kind == "text") return std::make_unique<StringValue>(text);
  if (kind == "number-text") return std::make_unique<NumericValue>(text);
  return std::make_unique<NumericValue>(text == "sysmis" ? NumericValue::GetSysmisValue()
                                                         : std::strtod(text.c_str(), nullptr));
}

// Every row of tests/data/cases/values.txt: texts and numbers of values,
// and their equality.
TEST(ScoreValue, FormsAndEquality) {
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("values.txt")) {
    SCOPED_TRACE(c.where);
    const std::unique_ptr<ScoreValue> a = ValueOf(c.fields[1]);
    if (c.fields[0] == "form") {
      EXPECT_EQ(a->GetDouble(), c.fields[3] == "sysmis" ? NumericValue::GetSysmisValue()
                                                        : std::strtod(c.fields[3].c_str(), nullptr));
      EXPECT_EQ(c.fields[2] == "-" ? "-" : a->GetString(), c.fields[2]);
      continue;
    }
    const std::unique_ptr<ScoreValue> b = ValueOf(c.fields[2]);
    const bool equal = c.fields[3] == "equal";
    EXPECT_EQ(*a == *b, equal);
    EXPECT_EQ(*b == *a, equal);
    EXPECT_EQ(*a != *b, !equal);
  }
}

// ---- number texts --------------------------------------------------------------

// Every row of tests/data/cases/number_text.txt.
TEST(NumberText, ParseSaturateAndFormatAsTheCasesSay) {
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("number_text.txt")) {
    SCOPED_TRACE(c.where);
    ASSERT_EQ(c.fields.size(), 3u);
    const std::string& kind = c.fields[0];
    const std::string& text = c.fields[1];
    const bool refused = c.fields[2] == "refused";
    const double want = refused ? 0.0 : std::strtod(c.fields[2].c_str(), nullptr);
    if (kind == "double") {
      double out = 42.0;
      ASSERT_EQ(NumberText::ParseDouble(text, &out), !refused);
      EXPECT_EQ(out, refused ? 42.0 : want);  // a refusal leaves it untouched
      EXPECT_EQ(std::signbit(out), std::signbit(want));
    } else if (kind == "int") {
      int out = 99;
      EXPECT_EQ(NumberText::ParseInt(text, &out), !refused);
      EXPECT_EQ(out, refused ? 99 : want);
    } else if (kind == "saturate") {
      EXPECT_EQ(NumberText::SaturateToInt(std::strtod(text.c_str(), nullptr)), want);
    } else {
      ASSERT_EQ(kind, "format");
      const double value = std::strtod(text.c_str(), nullptr);
      char buffer[32];
      const std::string_view shown = NumberText::FormatShortest(value, buffer, sizeof buffer);
      EXPECT_EQ(shown, c.fields[2]);
      double back = 0.0;
      EXPECT_EQ(NumberText::ParseDouble(shown, &back), std::isfinite(value));
      EXPECT_EQ(back, std::isfinite(value) ? value : 0.0);
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

// The texts of the refusals are scenario rows and golden runs; what no
// document reaches is tests/data/cases/error_messages.txt.
TEST(ErrorFormatter, MessagesNameTheirArguments) {
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("error_messages.txt")) {
    SCOPED_TRACE(c.where);
    const std::vector<std::string> args(c.fields.begin() + 2, c.fields.end());
    const ZbException e = Raised(std::stoi(c.fields[0]), args);
    EXPECT_EQ(e.GetErrorCode(), std::stoi(c.fields[0]));
    EXPECT_EQ(e.GetArguments(), args);
    EXPECT_EQ(e.GetMessage(), c.fields[1]);
    EXPECT_STREQ(e.what(), c.fields[1].c_str());
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
