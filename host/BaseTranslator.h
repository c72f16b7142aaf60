// XML helpers over the Xerces DOM shared by every translator, and the
// transcoder of the document being read.
#ifndef RULESCORE_HOST_BASETRANSLATOR_H_
#define RULESCORE_HOST_BASETRANSLATOR_H_

#include <memory>
#include <string>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/HostExport.h"
#include "host/LumoTranscoder.h"
#include "host/ScoreTranslator.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API BaseTranslator : public ScoreTranslator {
 public:
  ~BaseTranslator() override;

  // Attribute text, or null when the element lacks it (or is null).
  static const XMLCh* GetAttribute(const xercesc::DOMElement* element, const XMLCh* name);
  // Attribute text; throws ZbException kMissingAttribute [element, attribute].
  static const XMLCh* GetAttributeForced(const xercesc::DOMElement* element,
                                         const XMLCh* name);
  // First child element with that tag, or null.
  static xercesc::DOMElement* GetChildByTag(const xercesc::DOMElement* element,
                                            const XMLCh* tag);
  // Same; throws ZbException kMissingChild [element, tag] when there is none.
  static xercesc::DOMElement* GetChildByTagForced(const xercesc::DOMElement* element,
                                                  const XMLCh* tag);
  // Element children in document order; null at the end.
  static xercesc::DOMElement* GetFirstChildElt(const xercesc::DOMNode* node);
  static xercesc::DOMElement* GetNextSiblingElt(const xercesc::DOMNode* node);
  // Every element of that tag at any depth, in document order; null when the
  // document or element is null. The list belongs to the document.
  static xercesc::DOMNodeList* GetElementsByTagName(const xercesc::DOMDocument* document,
                                                    const XMLCh* tag);
  static xercesc::DOMNodeList* GetElementsByTagName(const xercesc::DOMElement* element,
                                                    const XMLCh* tag);
  // Exact comparison of XML texts; null equals only null.
  static bool IsEqual(const XMLCh* a, const XMLCh* b);
  // The XML text through the transcoder compared with a string.
  static bool IsEqual(const LumoTranscoder* transcoder, const XMLCh* a, const std::string& b);
  // Numbers by the NumberText rule; throw ZbException kNotANumber /
  // kNotAnInteger [text]. Null text is refused like any non-number.
  static double VerifyDouble(const XMLCh* text);
  static double VerifyDouble(const std::string& text);
  static int VerifyInt(const XMLCh* text);
  static int VerifyInt(const std::string& text);
  // XML text as UTF-8, for error arguments.
  static std::string ToString(const XMLCh* text);

  // Sets up the transcoder for a document's encoding (UTF-8 when empty).
  void CreateTranscoder(const std::string& encoding);
  // Null until CreateTranscoder has run.
  const LumoTranscoder* GetTranscoder() const { return transcoder_.get(); }

 protected:
  BaseTranslator();
  // The transcoder, created on first use (UTF-8) when none was set up.
  const LumoTranscoder& Transcoder();

 private:
  std::unique_ptr<LumoTranscoder> transcoder_;
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_BASETRANSLATOR_H_
