#include "host/XmlText.h"

#include <cstdint>

#include "host/Utf8Text.h"

namespace KtZembra_940 {
namespace XmlText {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

std::string ToUtf8(const XMLCh* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const XMLCh* p = text; *p != 0; ++p) {
    const char16_t c = *p;
    if (IsHighSurrogate(c) && IsLowSurrogate(p[1])) {
      const char32_t cp = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{p[1]} - 0xDC00);
      AppendUtf8(cp, &out);
      ++p;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c)) {
      AppendUtf8(kReplacement, &out);
    } else {
      AppendUtf8(c, &out);
    }
  }
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    // A truncated or broken sequence gives one replacement for its lead
    // byte; the bytes after it are read again as fresh starts.
    char32_t cp;
    const size_t length = Utf8Text::SequenceLength(text, i, &cp);
    if (length == 0) {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

bool Equal(const XMLCh* a, const XMLCh* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

}  // namespace XmlText
}  // namespace KtZembra_940
