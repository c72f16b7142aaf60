// The one text-to-number rule and the saturating truncation.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "host/BaseTranslator.h"
#include "host/ErrorCodes.h"
#include "host/NumberText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {
namespace {

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

}  // namespace
}  // namespace KtZembra_940
