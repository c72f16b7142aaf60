// Conversions between Xerces' UTF-16 text and UTF-8 strings, without the
// process locale.
#ifndef RULESCORE_HOST_XMLTEXT_H_
#define RULESCORE_HOST_XMLTEXT_H_

#include <string>
#include <string_view>

#include <xercesc/util/XercesDefs.hpp>

#include "host/HostExport.h"

namespace KtZembra_940 {
namespace XmlText {

// UTF-16 to UTF-8; null gives "". An unpaired surrogate becomes U+FFFD.
RULESCORE_HOST_API std::string ToUtf8(const XMLCh* text);
// UTF-8 to UTF-16; invalid bytes become U+FFFD.
RULESCORE_HOST_API std::u16string FromUtf8(std::string_view text);
// Exact comparison; null equals only null.
RULESCORE_HOST_API bool Equal(const XMLCh* a, const XMLCh* b);

}  // namespace XmlText
}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_XMLTEXT_H_
