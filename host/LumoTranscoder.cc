#include "host/LumoTranscoder.h"

#include <vector>

#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/TranscodingException.hpp>
#include <xercesc/util/XMLString.hpp>

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

// Encodings whose code units are wider than a byte cannot live in a
// std::string beside the UTF-8 texts of records and options (every ASCII
// character would carry NUL bytes); text from such a document is kept as
// UTF-8, which is what it means anyway.
bool KeepsUtf8(const std::string& encoding) {
  const std::string name = Upper(encoding);
  if (name.empty() || name == "UTF-8" || name == "UTF8") return true;
  for (const char* wide : {"UTF-16", "UTF16", "UCS-2", "UCS2", "UTF-32", "UTF32", "UCS-4", "UCS4",
                           "ISO-10646-UCS"}) {
    if (name.compare(0, std::char_traits<char>::length(wide), wide) == 0) return true;
  }
  return false;
}

}  // namespace

LumoTranscoder::LumoTranscoder(const std::string& encoding)
    : encoding_(encoding), utf8_(KeepsUtf8(encoding)) {
  if (utf8_) return;
  if (xercesc::XMLPlatformUtils::fgTransService == nullptr) {
    ThrowZb(ErrorCode::kTranscoder, encoding, "the XML platform is not initialised");
  }
  xercesc::XMLTransService::Codes code = xercesc::XMLTransService::Ok;
  transcoder_.reset(xercesc::XMLPlatformUtils::fgTransService->makeNewTranscoderFor(
      encoding.c_str(), code, 4096));
  if (transcoder_ == nullptr || code != xercesc::XMLTransService::Ok) {
    transcoder_.reset();
    ThrowZb(ErrorCode::kTranscoder, encoding,
            code == xercesc::XMLTransService::UnsupportedEncoding ? "unsupported encoding"
                                                                  : "no transcoder");
  }
}

LumoTranscoder::~LumoTranscoder() = default;

std::string LumoTranscoder::transcodeTo(const XMLCh* text) const {
  if (text == nullptr || *text == 0) return std::string();
  if (utf8_) return XmlText::ToUtf8(text);

  const XMLSize_t length = xercesc::XMLString::stringLen(text);
  // Room for the widest multi-byte forms; the loop copes with less.
  std::vector<XMLByte> buffer(length * 4 + 16);
  std::string out;
  XMLSize_t done = 0;
  bool whole = true;
  while (done < length) {
    XMLSize_t eaten = 0;
    XMLSize_t made = 0;
    if (whole) {
      try {
        made = transcoder_->transcodeTo(text + done, length - done, buffer.data(), buffer.size(),
                                        eaten, xercesc::XMLTranscoder::UnRep_Throw);
      } catch (const xercesc::TranscodingException&) {
        eaten = 0;
        made = 0;
      }
      if (eaten > 0) {
        out.append(reinterpret_cast<const char*>(buffer.data()), made);
        done += eaten;
        continue;
      }
      // The text holds a character the encoding lacks: go on one code point
      // at a time, so that exactly those characters become '?' and the work
      // stays linear.
      whole = false;
      continue;
    }
    XMLSize_t unit = 1;
    const XMLCh c = text[done];
    if (c >= 0xD800 && c <= 0xDBFF && done + 1 < length && text[done + 1] >= 0xDC00 &&
        text[done + 1] <= 0xDFFF) {
      unit = 2;
    }
    try {
      made = transcoder_->transcodeTo(text + done, unit, buffer.data(), buffer.size(), eaten,
                                      xercesc::XMLTranscoder::UnRep_Throw);
    } catch (const xercesc::TranscodingException&) {
      made = 0;
      eaten = 0;
    }
    if (eaten == unit) {
      out.append(reinterpret_cast<const char*>(buffer.data()), made);
    } else {
      out.push_back('?');
    }
    done += unit;
  }
  return out;
}

}  // namespace KtZembra_940
