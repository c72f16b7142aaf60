// The one check of UTF-8 byte sequences, shared by every place that reads or
// writes UTF-8 text (CSV cells, output strings, XML text, error arguments).
#ifndef RULESCORE_HOST_UTF8TEXT_H_
#define RULESCORE_HOST_UTF8TEXT_H_

#include <cstddef>
#include <string_view>

#include "host/HostExport.h"

namespace KtZembra_940 {
namespace Utf8Text {

// Length (1 to 4) of the well-formed UTF-8 sequence that starts at text[i],
// with its code point in *codePoint when that is not null; 0 when the bytes
// at i are none: a stray continuation byte, a lead byte C0, C1 or F5..FF, a
// truncated sequence, an overlong form, an encoded surrogate, or a code
// point above U+10FFFF. NUL is a well-formed one-byte sequence. i must be
// below text.size().
RULESCORE_HOST_API size_t SequenceLength(std::string_view text, size_t i,
                                         char32_t* codePoint = nullptr);

}  // namespace Utf8Text
}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_UTF8TEXT_H_
