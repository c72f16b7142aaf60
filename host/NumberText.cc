#include "host/NumberText.h"

#include <charconv>
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

}  // namespace

bool ParseDouble(std::string_view text, double* out) {
  std::string_view body;
  if (!Trim(text, &body)) return false;
  double value = 0.0;
  const char* first = body.data();
  const char* last = first + body.size();
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
