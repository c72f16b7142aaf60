#include "host/NumberText.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cmath>
#include <limits>
#include <system_error>

namespace KtZembra_940 {
namespace NumberText {

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The text without its surrounding XML white space and without one leading
// '+'; false when nothing is left or a sign follows the '+'. from_chars
// accepts neither white space nor '+', and "+-5" must not pass as -5.
bool Trim(std::string_view text, std::string_view* out) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  while (end > begin && IsXmlSpace(text[end - 1])) --end;
  if (begin < end && text[begin] == '+') {
    ++begin;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) return false;
  }
  if (begin == end) return false;
  *out = text.substr(begin, end - begin);
  return true;
}

// The plain decimal ("-12.375", "42"), the common cell: digits, with at
// most one point between digits. When the digits make an integer of at
// most 2^53 and there are at most 22 after the point, the integer and the
// power of ten are both exact doubles, so one division rounds the value
// correctly, exactly as from_chars does. False for any other text, which
// from_chars then reads.
bool ParsePlainDecimal(const char* p, const char* end, double* out) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  const char* const digitsBegin = p;
  uint64_t mantissa = 0;
  while (p != end && static_cast<unsigned>(*p - '0') < 10u) {
    mantissa = mantissa * 10u + static_cast<unsigned>(*p - '0');
    ++p;
  }
  if (p == digitsBegin) return false;
  ptrdiff_t fraction = 0;
  if (p != end && *p == '.') {
    const char* const point = ++p;
    while (p != end && static_cast<unsigned>(*p - '0') < 10u) {
      mantissa = mantissa * 10u + static_cast<unsigned>(*p - '0');
      ++p;
    }
    fraction = p - point;
    if (fraction == 0) return false;
  }
  // Past 19 digits the integer may have wrapped.
  const ptrdiff_t digits = p - digitsBegin - (fraction != 0 ? 1 : 0);
  if (p != end || digits > 19 || fraction > 22 || mantissa > (uint64_t{1} << 53)) return false;
  const double value = static_cast<double>(mantissa) / kPowers[fraction];
  *out = negative ? -value : value;
  return true;
}

}  // namespace

bool ParseDouble(std::string_view text, double* out) {
  // The common cell, a plain decimal with nothing around it, needs no
  // trimming.
  if (!text.empty() && static_cast<unsigned>(text.back() - '0') < 10u &&
      (static_cast<unsigned>(text.front() - '0') < 10u || text.front() == '-') &&
      ParsePlainDecimal(text.data(), text.data() + text.size(), out)) {
    return true;
  }
  std::string_view body;
  if (!Trim(text, &body)) return false;
  double value = 0.0;
  const char* first = body.data();
  const char* last = first + body.size();
  if (ParsePlainDecimal(first, last, &value)) {
    *out = value;
    return true;
  }
  // from_chars reports overflow and underflow alike as out_of_range and
  // leaves the value untouched; both are refused. It also reads "inf" and
  // "nan", which the finiteness test refuses.
  const std::from_chars_result result = std::from_chars(first, last, value);
  if (result.ec != std::errc() || result.ptr != last) return false;
  if (!std::isfinite(value)) return false;
  *out = value;
  return true;
}

bool ParseInt(std::string_view text, int* out) {
  std::string_view body;
  if (!Trim(text, &body)) return false;
  int value = 0;
  const char* first = body.data();
  const char* last = first + body.size();
  const std::from_chars_result result = std::from_chars(first, last, value, 10);
  if (result.ec != std::errc() || result.ptr != last) return false;
  *out = value;
  return true;
}

int SaturateToInt(double value) {
  if (std::isnan(value)) return 0;
  // Compared as doubles: both bounds are exact in a double, and a value
  // outside them would make the conversion undefined.
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(value);
}

std::string_view FormatShortest(double value, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return std::string_view();
  const std::to_chars_result result = std::to_chars(buffer, buffer + size, value);
  if (result.ec != std::errc()) return std::string_view();
  return std::string_view(buffer, static_cast<size_t>(result.ptr - buffer));
}

}  // namespace NumberText
}  // namespace KtZembra_940
