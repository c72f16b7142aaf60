// A PMML document parsed into a Xerces DOM, from a file or a buffer, with the
// input treated as hostile: any DOCTYPE is refused, nothing is validated and
// no external entity, DTD or schema is loaded; a document larger than
// kMaxDocumentBytes or nested deeper than kMaxElementDepth is refused while
// it is read; every parse error, warning included, refuses the document.
#ifndef RULESCORE_HOST_XMLDOCUMENT_H_
#define RULESCORE_HOST_XMLDOCUMENT_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>

#include "host/HostExport.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API XmlDocument {
 public:
  static constexpr size_t kMaxDocumentBytes = size_t{256} << 20;  // 256 MiB
  static constexpr int kMaxElementDepth = 1100;

  // Requires a live XmlPlatform. Throws ZbException: kFileUnreadable,
  // kDocumentTooLarge, kDoctypeRefused, kXmlTooDeep, kXmlParse (file, line,
  // column and Xerces' message, escaped), kNoRoot.
  static std::unique_ptr<XmlDocument> ParseFile(const std::string& path);
  // `name` stands for the file in messages.
  static std::unique_ptr<XmlDocument> ParseBuffer(const char* data, size_t size,
                                                  const std::string& name);
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Owned by this object.
  xercesc::DOMDocument* GetDocument() const { return document_; }
  // The encoding the document declares (or Xerces detected); may be empty.
  const std::string& GetEncoding() const { return encoding_; }

  // The line of the document on which an element's start tag ends, 0 when
  // unknown. It works on any element of a document parsed here, through the
  // document alone (the table is the document's user data), so that a
  // translator handed only the DOM can name lines in its messages.
  static unsigned GetLine(const xercesc::DOMNode* node);

  // Per element its line, in the order the elements were read, then sorted
  // by node once the document is complete (a lookup is a binary search).
  using LineTable = std::vector<std::pair<const xercesc::DOMNode*, uint32_t>>;

  // What a parse gives before it is made a document: the tree (owned until
  // Make takes it), its encoding and its line table.
  struct ParsedText {
    xercesc::DOMDocument* document = nullptr;
    std::string encoding;
    std::unique_ptr<LineTable> lines;
  };

 private:
  XmlDocument(xercesc::DOMDocument* document, std::string encoding,
              std::unique_ptr<LineTable> lines);
  static std::unique_ptr<XmlDocument> Make(ParsedText parsed);
  xercesc::DOMDocument* document_;
  std::string encoding_;
  std::unique_ptr<LineTable> lines_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_XMLDOCUMENT_H_
