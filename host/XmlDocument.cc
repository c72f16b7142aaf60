#include "host/XmlDocument.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <xercesc/dom/DOMException.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/XMLException.hpp>

#include "host/ErrorCodes.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

namespace {

// The user-data key under which a document keeps its table of lines.
constexpr XMLCh kLinesKey[] = u"rulescore-lines";

// Thrown out of the parser's element handler when the document nests too
// deep; caught in ParseBuffer before anything else sees it.
struct DepthExceeded {
  unsigned long line;
  unsigned long column;
};

// The first problem Xerces reports. Warnings count like errors: a document
// that draws any complaint is refused.
class FirstProblem : public xercesc::ErrorHandler {
 public:
  void warning(const xercesc::SAXParseException& e) override { Note(e); }
  void error(const xercesc::SAXParseException& e) override { Note(e); }
  void fatalError(const xercesc::SAXParseException& e) override { Note(e); }
  void resetErrors() override {}

  int count = 0;
  unsigned long line = 0;
  unsigned long column = 0;
  std::string message;

 private:
  void Note(const xercesc::SAXParseException& e) {
    if (count++ == 0) {
      line = static_cast<unsigned long>(e.getLineNumber());
      column = static_cast<unsigned long>(e.getColumnNumber());
      message = XmlText::ToUtf8(e.getMessage());
    }
  }
};

// A DOM parser that treats its input as hostile. Xerces 3.2 has no public
// switch to refuse a DOCTYPE, but the scanner behind the parser has one; with
// it a DTD is never read, so neither entity expansion nor external loading
// can start. The other settings are layers under it. The parser also counts
// element depth while it reads, since the DOM builder and everything that
// walks the tree later must not meet an unbounded nesting.
class HardenedParser : public xercesc::XercesDOMParser {
 public:
  HardenedParser(xercesc::SecurityManager* security, xercesc::ErrorHandler* handler,
                 XmlDocument::LineTable* lines)
      : lines_(lines) {
    setValidationScheme(Val_Never);
    setDoNamespaces(false);
    setDoSchema(false);
    setLoadSchema(false);
    setValidationSchemaFullChecking(false);
    setLoadExternalDTD(false);
    setSkipDTDValidation(true);
    setDisableDefaultEntityResolution(true);
    setCreateEntityReferenceNodes(false);
    setCreateCommentNodes(false);
    setExitOnFirstFatalError(true);
    setValidationConstraintFatal(true);
    setSecurityManager(security);
    setErrorHandler(handler);
    getScanner()->setDisallowDTD(true);
  }

  // The Xerces code of the first error reported, or 0.
  unsigned int FirstErrorCode() const { return firstCode_; }

  void startElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int urlId,
                    const XMLCh* const elemPrefix,
                    const xercesc::RefVectorOf<xercesc::XMLAttr>& attrList,
                    const XMLSize_t attrCount, const bool isEmpty, const bool isRoot) override {
    if (depth_ >= XmlDocument::kMaxElementDepth) {
      const xercesc::Locator* locator = getScanner()->getLocator();
      DepthExceeded e{0, 0};
      if (locator != nullptr) {
        e.line = static_cast<unsigned long>(locator->getLineNumber());
        e.column = static_cast<unsigned long>(locator->getColumnNumber());
      }
      throw e;
    }
    ++depth_;
    // White space before a child element only lays the document out.
    pendingSpace_.clear();
    // The base may close an empty element through endElement itself; the
    // flag keeps that from being counted twice.
    inStart_ = true;
    xercesc::XercesDOMParser::startElement(elemDecl, urlId, elemPrefix, attrList, attrCount,
                                           isEmpty, isRoot);
    inStart_ = false;
    // The element just built is the current node, even when it was empty
    // and closed at once.
    const xercesc::Locator* locator = getScanner()->getLocator();
    if (lines_ != nullptr && locator != nullptr && getCurrentNode() != nullptr) {
      lines_->emplace_back(getCurrentNode(), static_cast<uint32_t>(locator->getLineNumber()));
    }
    if (isEmpty) --depth_;
  }

  void endElement(const xercesc::XMLElementDecl& elemDecl, const unsigned int urlId,
                  const bool isRoot, const XMLCh* const elemPrefix) override {
    FlushSpace();
    xercesc::XercesDOMParser::endElement(elemDecl, urlId, isRoot, elemPrefix);
    if (!inStart_) --depth_;
  }

  void error(const unsigned int errCode, const XMLCh* const msgDomain,
             const xercesc::XMLErrorReporter::ErrTypes errType, const XMLCh* const errorText,
             const XMLCh* const systemId, const XMLCh* const publicId,
             const XMLFileLoc lineNum, const XMLFileLoc colNum) override {
    if (firstCode_ == 0) firstCode_ = errCode == 0 ? ~0u : errCode;
    xercesc::XercesDOMParser::error(errCode, msgDomain, errType, errorText, systemId, publicId,
                                    lineNum, colNum);
  }

  // Text made only of white space, after a start tag or an element, is held
  // back until it is known what follows: before a child element's start it
  // is layout and makes no node (most of the text nodes of an indented
  // document); before anything else (more text, an end tag, a processing
  // instruction) it is given to the DOM as it came.
  void docCharacters(const XMLCh* const chars, const XMLSize_t length,
                     const bool cdataSection) override {
    const xercesc::DOMNode* current = getCurrentNode();
    if (!cdataSection && current != nullptr &&
        current->getNodeType() != xercesc::DOMNode::TEXT_NODE && IsSpace(chars, length)) {
      pendingSpace_.append(chars, length);
      return;
    }
    FlushSpace();
    xercesc::XercesDOMParser::docCharacters(chars, length, cdataSection);
  }

  void docPI(const XMLCh* const target, const XMLCh* const data) override {
    FlushSpace();
    xercesc::XercesDOMParser::docPI(target, data);
  }

 private:
  static bool IsSpace(const XMLCh* chars, XMLSize_t length) {
    for (XMLSize_t i = 0; i < length; ++i) {
      const XMLCh c = chars[i];
      if (c != u' ' && c != u'\n' && c != u'\t' && c != u'\r') return false;
    }
    return true;
  }

  void FlushSpace() {
    if (pendingSpace_.empty()) return;
    const std::basic_string<XMLCh> text = std::move(pendingSpace_);
    pendingSpace_.clear();
    xercesc::XercesDOMParser::docCharacters(text.data(), text.size(), false);
  }

  XmlDocument::LineTable* lines_;
  std::basic_string<XMLCh> pendingSpace_;
  int depth_ = 0;
  bool inStart_ = false;
  unsigned int firstCode_ = 0;
};

// Whether the text holds the DOCTYPE keyword in a single-byte-compatible
// encoding or in UTF-16 of either byte order.
bool HasDoctype(const char* data, size_t size) {
  static const char kKeyword[] = "<!DOCTYPE";
  const std::string_view text(data, size);
  if (text.find(kKeyword) != std::string_view::npos) return true;
  std::string little;
  std::string big;
  for (const char* p = kKeyword; *p != 0; ++p) {
    little.push_back(*p);
    little.push_back('\0');
    big.push_back('\0');
    big.push_back(*p);
  }
  return text.find(little) != std::string_view::npos || text.find(big) != std::string_view::npos;
}

// Whether some '<' may open an element: one not followed by '?' or '!'.
bool HasElementStart(const char* data, size_t size) {
  for (size_t i = 0; i + 1 < size; ++i) {
    if (data[i] == '<' && data[i + 1] != '?' && data[i + 1] != '!') return true;
  }
  return false;
}

std::string FileErrorText(int error) { return std::generic_category().message(error); }

// Thrown out of the parser when a file being read fails or grows past the
// cap; caught where the parse started.
struct ReadFailed {
  bool tooLarge;
  int error;
};

// A file as it is read, in pieces: the bytes read so far against the cap,
// and what the error messages need to know about the whole text (gathered
// as it passes, so that the text is never held beside the tree built from
// it).
class FileText {
 public:
  explicit FileText(std::FILE* file) : file_(file) {}

  // Up to `size` bytes into `buffer`; 0 at the end. Throws ReadFailed.
  size_t Read(char* buffer, size_t size) {
    const size_t got = std::fread(buffer, 1, size, file_);
    if (got < size && std::ferror(file_)) throw ReadFailed{false, errno};
    if (got > XmlDocument::kMaxDocumentBytes - total_) throw ReadFailed{true, 0};
    total_ += got;
    Note(buffer, got);
    return got;
  }

  // Reads what the parser left unread, so that the cap and the facts below
  // cover the whole text, as they would had it been read before parsing.
  void ReadToEnd() {
    std::vector<char> chunk(size_t{1} << 16);
    while (Read(chunk.data(), chunk.size()) == chunk.size()) {
    }
  }

  bool SawDoctype() const { return doctype_; }
  bool SawElementStart() const { return elementStart_; }

 private:
  // The longest keyword looked for is the UTF-16 DOCTYPE keyword: the bytes
  // before a piece that may start one are kept for the next piece.
  static constexpr size_t kCarry = 17;

  void Note(const char* data, size_t size) {
    if (size == 0 || (doctype_ && elementStart_)) return;
    // The carried bytes and this piece's first bytes: whatever crosses the
    // boundary; then the piece itself.
    std::string joint = carry_;
    joint.append(data, std::min(size, kCarry));
    doctype_ = doctype_ || HasDoctype(joint.data(), joint.size()) ||
               HasDoctype(data, size);
    elementStart_ = elementStart_ || HasElementStart(joint.data(), joint.size()) ||
                    HasElementStart(data, size);
    if (size >= kCarry) {
      carry_.assign(data + size - kCarry, kCarry);
    } else {
      carry_ = joint.size() > kCarry ? joint.substr(joint.size() - kCarry) : joint;
    }
  }

  std::FILE* file_;
  size_t total_ = 0;
  std::string carry_;
  bool doctype_ = false;
  bool elementStart_ = false;
};

class FileStream : public xercesc::BinInputStream {
 public:
  explicit FileStream(FileText* text) : text_(text) {}
  XMLFilePos curPos() const override { return position_; }
  XMLSize_t readBytes(XMLByte* const toFill, const XMLSize_t maxToRead) override {
    const size_t got = text_->Read(reinterpret_cast<char*>(toFill), maxToRead);
    position_ += got;
    return got;
  }
  const XMLCh* getContentType() const override { return nullptr; }

 private:
  FileText* text_;
  XMLFilePos position_ = 0;
};

class FileSource : public xercesc::InputSource {
 public:
  FileSource(FileText* text, const XMLCh* systemId) : xercesc::InputSource(systemId), text_(text) {}
  // The parser owns the stream.
  xercesc::BinInputStream* makeStream() const override { return new FileStream(text_); }

 private:
  FileText* text_;
};

// What the messages of a failed parse need from the text: `readRest` reads
// whatever the parser left unread (throwing what reading fails with), the
// others answer for the whole text.
struct TextFacts {
  std::function<void()> readRest;
  std::function<bool()> hasDoctype;
  std::function<bool()> hasElementStart;
};

// Parses `source`, hardened, with a line table. Throws ZbException.
XmlDocument::ParsedText ParseSource(const xercesc::InputSource& source, const std::string& name,
                                    const TextFacts& facts) {
  // Destroyed in reverse order: the parser (and any partial tree it holds)
  // goes first, then the objects it points at.
  xercesc::SecurityManager security;
  security.setEntityExpansionLimit(100);
  FirstProblem problems;
  XmlDocument::ParsedText parsed;
  parsed.lines = std::make_unique<XmlDocument::LineTable>();
  {
    HardenedParser parser(&security, &problems, parsed.lines.get());
    // A failure is thrown once the rest of the text is read: a text over
    // the cap is refused as such, whatever else is wrong with it.
    std::function<void()> failure;
    try {
      parser.parse(source);
    } catch (const DepthExceeded& e) {
      failure = [&name, e]() {
        ThrowZb(ErrorCode::kXmlTooDeep, name, std::to_string(e.line), std::to_string(e.column),
                std::to_string(XmlDocument::kMaxElementDepth));
      };
    } catch (const xercesc::OutOfMemoryException&) {
      failure = [&name]() { ThrowZb(ErrorCode::kXmlParse, name, "0", "0", "out of memory"); };
    } catch (const xercesc::XMLException& e) {
      const std::string line = std::to_string(static_cast<unsigned long>(e.getSrcLine()));
      const std::string message = XmlText::ToUtf8(e.getMessage());
      failure = [&name, line, message]() { ThrowZb(ErrorCode::kXmlParse, name, line, "0", message); };
    } catch (const xercesc::DOMException& e) {
      const std::string message = XmlText::ToUtf8(e.getMessage());
      failure = [&name, message]() { ThrowZb(ErrorCode::kXmlParse, name, "0", "0", message); };
    } catch (const xercesc::SAXParseException& e) {
      const std::string line = std::to_string(static_cast<unsigned long>(e.getLineNumber()));
      const std::string column = std::to_string(static_cast<unsigned long>(e.getColumnNumber()));
      const std::string message = XmlText::ToUtf8(e.getMessage());
      failure = [&name, line, column, message]() {
        ThrowZb(ErrorCode::kXmlParse, name, line, column, message);
      };
    }
    facts.readRest();
    if (failure) failure();

    if (problems.count > 0 || parser.getErrorCount() > 0) {
      const std::string line = std::to_string(problems.line);
      const std::string column = std::to_string(problems.column);
      // With DTDs disallowed the scanner stops at a DOCTYPE with this code and
      // a generic text: say what actually happened. The same code stands for
      // a document without any element, and for text before the root.
      if (parser.FirstErrorCode() == xercesc::XMLErrs::InvalidDocumentStructure) {
        if (facts.hasDoctype()) ThrowZb(ErrorCode::kDoctypeRefused, name, line, column);
        if (!facts.hasElementStart()) ThrowZb(ErrorCode::kNoRoot, name);
      }
      ThrowZb(ErrorCode::kXmlParse, name, line, column,
              problems.message.empty() ? std::string("the document is not well-formed")
                                       : problems.message);
    }
    xercesc::DOMDocument* document = parser.getDocument();
    if (document == nullptr || document->getDocumentElement() == nullptr) {
      ThrowZb(ErrorCode::kNoRoot, name);
    }
    const XMLCh* declared = document->getXmlEncoding();
    parsed.encoding = XmlText::ToUtf8(declared != nullptr && *declared != 0
                                          ? declared
                                          : document->getInputEncoding());
    parsed.document = parser.adoptDocument();
  }
  std::stable_sort(parsed.lines->begin(), parsed.lines->end(),
                   [](const XmlDocument::LineTable::value_type& a,
                      const XmlDocument::LineTable::value_type& b) {
                     return std::less<const xercesc::DOMNode*>()(a.first, b.first);
                   });
  return parsed;
}

}  // namespace

XmlDocument::XmlDocument(xercesc::DOMDocument* document, std::string encoding,
                         std::unique_ptr<LineTable> lines)
    : document_(document), encoding_(std::move(encoding)), lines_(std::move(lines)) {
  if (document_ != nullptr && lines_ != nullptr) {
    document_->setUserData(kLinesKey, lines_.get(), nullptr);
  }
}

unsigned XmlDocument::GetLine(const xercesc::DOMNode* node) {
  if (node == nullptr) return 0;
  const xercesc::DOMDocument* owner = node->getOwnerDocument();
  if (owner == nullptr) return 0;
  const auto* lines = static_cast<const LineTable*>(owner->getUserData(kLinesKey));
  if (lines == nullptr) return 0;
  // The last entry of the node: a node noted twice has its later line.
  const auto after = std::upper_bound(
      lines->begin(), lines->end(), node,
      [](const xercesc::DOMNode* key, const LineTable::value_type& entry) {
        return std::less<const xercesc::DOMNode*>()(key, entry.first);
      });
  if (after == lines->begin() || (after - 1)->first != node) return 0;
  return (after - 1)->second;
}

XmlDocument::~XmlDocument() {
  // release() would first walk every node of the tree to call user-data
  // handlers, because the document holds user data (the line table) and
  // Xerces then visits each node to look for handlers of its own. No node
  // has a handler, and the document was read here without a DOCTYPE node,
  // so what release() does after that walk, deleting the document and with
  // it the heap all its nodes live in, is all there is to do.
  delete document_;
}

std::unique_ptr<XmlDocument> XmlDocument::ParseFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) ThrowZb(ErrorCode::kFileUnreadable, path, FileErrorText(errno));
  struct FileCloser {
    std::FILE* f;
    ~FileCloser() { std::fclose(f); }
  } closer{file};

  struct stat info;
  if (fstat(fileno(file), &info) != 0) ThrowZb(ErrorCode::kFileUnreadable, path, FileErrorText(errno));
  if (S_ISDIR(info.st_mode)) ThrowZb(ErrorCode::kFileUnreadable, path, "is a directory");
  if (S_ISREG(info.st_mode) && static_cast<unsigned long long>(info.st_size) > kMaxDocumentBytes) {
    ThrowZb(ErrorCode::kDocumentTooLarge, path,
            std::to_string(static_cast<unsigned long long>(info.st_size)),
            std::to_string(kMaxDocumentBytes));
  }

  // The size on disk is a hint only (a pipe has none, a file may grow): the
  // cap holds for what is actually read. The parser reads the file piece by
  // piece; whatever it leaves unread is read after it, so that a failure
  // is the one a reading of the whole file before parsing would give.
  FileText text(file);
  const std::u16string systemId = XmlText::FromUtf8(path);
  FileSource source(&text, systemId.c_str());
  TextFacts facts;
  facts.readRest = [&text]() { text.ReadToEnd(); };
  facts.hasDoctype = [&text]() { return text.SawDoctype(); };
  facts.hasElementStart = [&text]() { return text.SawElementStart(); };
  try {
    return Make(ParseSource(source, path, facts));
  } catch (const ReadFailed& e) {
    if (e.tooLarge) {
      ThrowZb(ErrorCode::kDocumentTooLarge, path, "more than " + std::to_string(kMaxDocumentBytes),
              std::to_string(kMaxDocumentBytes));
    }
    ThrowZb(ErrorCode::kFileUnreadable, path, FileErrorText(e.error));
  }
}

std::unique_ptr<XmlDocument> XmlDocument::ParseBuffer(const char* data, size_t size,
                                                      const std::string& name) {
  if (size > kMaxDocumentBytes) {
    ThrowZb(ErrorCode::kDocumentTooLarge, name, std::to_string(size),
            std::to_string(kMaxDocumentBytes));
  }
  static const char kEmpty[1] = {0};
  if (data == nullptr) {
    data = kEmpty;
    size = 0;
  }
  const std::u16string systemId = XmlText::FromUtf8(name);
  xercesc::MemBufInputSource source(reinterpret_cast<const XMLByte*>(data), size,
                                    systemId.c_str(), false);
  TextFacts facts;
  facts.readRest = []() {};
  facts.hasDoctype = [data, size]() { return HasDoctype(data, size); };
  facts.hasElementStart = [data, size]() { return HasElementStart(data, size); };
  return Make(ParseSource(source, name, facts));
}

std::unique_ptr<XmlDocument> XmlDocument::Make(ParsedText parsed) {
  std::unique_ptr<XmlDocument> result;
  try {
    result.reset(new XmlDocument(parsed.document, std::move(parsed.encoding),
                                 std::move(parsed.lines)));
  } catch (...) {
    delete parsed.document;
    throw;
  }
  return result;
}

}  // namespace KtZembra_940
