// Attribute reading shared by the tool's looks at a document that the
// plug-in has already accepted (the outline of `check` and the semantics
// warnings).
#ifndef RULESCORE_CLI_XMLATTRIBUTES_H_
#define RULESCORE_CLI_XMLATTRIBUTES_H_

#include <string>

#include <xercesc/dom/DOMElement.hpp>

#include "host/XmlText.h"

namespace rulescore {
namespace cli {

// The attribute's value as UTF-8; "" when it is absent.
inline std::string Attribute(const xercesc::DOMElement* element, const XMLCh* name) {
  return KtZembra_940::XmlText::ToUtf8(element->getAttribute(name));
}

// Whether the attribute is written at all, even empty.
inline bool HasAttribute(const xercesc::DOMElement* element, const XMLCh* name) {
  return element->getAttributeNode(name) != nullptr;
}

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_XMLATTRIBUTES_H_
