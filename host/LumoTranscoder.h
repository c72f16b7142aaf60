// Turns XML text (UTF-16) into a string in the document's encoding, through
// the Xerces transcoding service. An empty encoding name means UTF-8.
#ifndef RULESCORE_HOST_LUMOTRANSCODER_H_
#define RULESCORE_HOST_LUMOTRANSCODER_H_

#include <memory>
#include <string>

#include <xercesc/util/TransService.hpp>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API LumoTranscoder {
 public:
  // Throws ZbException (ErrorCode::kTranscoder) for an encoding Xerces does
  // not know. Requires the Xerces platform to be initialised.
  explicit LumoTranscoder(const std::string& encoding);
  ~LumoTranscoder();
  LumoTranscoder(const LumoTranscoder&) = delete;
  LumoTranscoder& operator=(const LumoTranscoder&) = delete;

  // Null gives "". A character the encoding cannot represent becomes '?'.
  std::string transcodeTo(const XMLCh* text) const;
  const std::string& GetEncoding() const { return encoding_; }

 private:
  std::string encoding_;
  bool utf8_;
  std::unique_ptr<xercesc::XMLTranscoder> transcoder_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_LUMOTRANSCODER_H_
