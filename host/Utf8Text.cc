#include "host/Utf8Text.h"

namespace KtZembra_940 {
namespace Utf8Text {

// The well-formed sequences are exactly those of the Unicode standard's
// table: the lead byte fixes the length and the range of the second byte
// (narrowed after E0, ED, F0 and F4 to refuse overlong forms, surrogates and
// code points past U+10FFFF); every later byte is 80..BF.
size_t SequenceLength(std::string_view text, size_t i, char32_t* codePoint) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    if (codePoint != nullptr) *codePoint = b0;
    return 1;
  }
  size_t length;
  char32_t cp;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    length = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    length = 3;
    cp = b0 & 0x0F;
    if (b0 == 0xE0) low = 0xA0;
    if (b0 == 0xED) high = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    length = 4;
    cp = b0 & 0x07;
    if (b0 == 0xF0) low = 0x90;
    if (b0 == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char b = byte(i + k);
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (codePoint != nullptr) *codePoint = cp;
  return length;
}

}  // namespace Utf8Text
}  // namespace KtZembra_940
