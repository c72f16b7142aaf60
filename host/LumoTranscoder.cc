#include "host/LumoTranscoder.h"

#include <memory>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TransService.hpp>

#include "host/ErrorCodes.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

namespace {

std::string Upper(const std::string& text) {
  std::string out;
  for (char c : text) {
    out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  }
  return out;
}

// Names that need no transcoder to be checked: UTF-8 and the wide Unicode
// forms, whose text the parser decodes itself.
bool IsUnicode(const std::string& encoding) {
  const std::string name = Upper(encoding);
  if (name.empty() || name == "UTF-8" || name == "UTF8") return true;
  for (const char* wide : {"UTF-16", "UTF16", "UCS-2", "UCS2", "UTF-32", "UTF32", "UCS-4", "UCS4",
                           "ISO-10646-UCS"}) {
    if (name.compare(0, std::char_traits<char>::length(wide), wide) == 0) return true;
  }
  return false;
}

}  // namespace

LumoTranscoder::LumoTranscoder(const std::string& encoding) : encoding_(encoding) {
  if (IsUnicode(encoding)) return;
  if (xercesc::XMLPlatformUtils::fgTransService == nullptr) {
    ThrowZb(ErrorCode::kTranscoder, encoding, "the XML platform is not initialised");
  }
  xercesc::XMLTransService::Codes code = xercesc::XMLTransService::Ok;
  std::unique_ptr<xercesc::XMLTranscoder> known(
      xercesc::XMLPlatformUtils::fgTransService->makeNewTranscoderFor(encoding.c_str(), code,
                                                                       4096));
  if (known == nullptr || code != xercesc::XMLTransService::Ok) {
    ThrowZb(ErrorCode::kTranscoder, encoding,
            code == xercesc::XMLTransService::UnsupportedEncoding ? "unsupported encoding"
                                                                  : "no transcoder");
  }
}

LumoTranscoder::~LumoTranscoder() = default;

// Text written back in the document's own encoding would be a different
// byte string from the same text in a record (grün in Latin-1 is not the
// UTF-8 grün of a CSV cell), so fields and values would never match.
std::string LumoTranscoder::transcodeTo(const XMLCh* text) const {
  if (text == nullptr || *text == 0) return std::string();
  return XmlText::ToUtf8(text);
}

}  // namespace KtZembra_940
