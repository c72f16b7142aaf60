// Turns XML text (UTF-16) into a UTF-8 string, whatever the document's
// encoding: the parser has already decoded the document, and every text of a
// model meets records, options and output that are UTF-8. The encoding name
// is still checked against the Xerces transcoding service, so that a
// document in an encoding nothing can read is refused. An empty encoding
// name means UTF-8.
#ifndef RULESCORE_HOST_LUMOTRANSCODER_H_
#define RULESCORE_HOST_LUMOTRANSCODER_H_

#include <string>

#include <xercesc/util/XercesDefs.hpp>

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

  // The text as UTF-8; null gives "". An unpaired surrogate becomes U+FFFD.
  std::string transcodeTo(const XMLCh* text) const;
  const std::string& GetEncoding() const { return encoding_; }

 private:
  std::string encoding_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_LUMOTRANSCODER_H_
