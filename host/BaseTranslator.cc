#include "host/BaseTranslator.h"

#include <xercesc/dom/DOMAttr.hpp>

#include "host/ErrorCodes.h"
#include "host/NumberText.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {

BaseTranslator::BaseTranslator() = default;

BaseTranslator::~BaseTranslator() = default;

const XMLCh* BaseTranslator::GetAttribute(const xercesc::DOMElement* element, const XMLCh* name) {
  if (element == nullptr || name == nullptr) return nullptr;
  // getAttribute answers "" for an absent attribute; the node tells absent
  // from empty.
  const xercesc::DOMAttr* attribute = element->getAttributeNode(name);
  if (attribute == nullptr) return nullptr;
  // A parsed attribute holds its value as one text child. Reading that
  // child directly gives what getValue gives, without the run-time type
  // checks Xerces makes on every call (they dominate reading a large
  // document); any other shape is left to getValue.
  const xercesc::DOMNode* text = attribute->getFirstChild();
  if (text != nullptr && text->getNodeType() == xercesc::DOMNode::TEXT_NODE &&
      text->getNextSibling() == nullptr) {
    return text->getNodeValue();
  }
  return attribute->getValue();
}

const XMLCh* BaseTranslator::GetAttributeForced(const xercesc::DOMElement* element,
                                                const XMLCh* name) {
  const XMLCh* value = GetAttribute(element, name);
  if (value == nullptr) {
    ThrowZb(ErrorCode::kMissingAttribute, element != nullptr ? element->getTagName() : nullptr,
            name);
  }
  return value;
}

xercesc::DOMElement* BaseTranslator::GetChildByTag(const xercesc::DOMElement* element,
                                                   const XMLCh* tag) {
  for (xercesc::DOMElement* child = GetFirstChildElt(element); child != nullptr;
       child = GetNextSiblingElt(child)) {
    if (IsEqual(child->getTagName(), tag)) return child;
  }
  return nullptr;
}

xercesc::DOMElement* BaseTranslator::GetChildByTagForced(const xercesc::DOMElement* element,
                                                         const XMLCh* tag) {
  xercesc::DOMElement* child = GetChildByTag(element, tag);
  if (child == nullptr) {
    ThrowZb(ErrorCode::kMissingChild, element != nullptr ? element->getTagName() : nullptr, tag);
  }
  return child;
}

xercesc::DOMElement* BaseTranslator::GetFirstChildElt(const xercesc::DOMNode* node) {
  if (node == nullptr) return nullptr;
  for (xercesc::DOMNode* child = node->getFirstChild(); child != nullptr;
       child = child->getNextSibling()) {
    if (child->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) {
      return static_cast<xercesc::DOMElement*>(child);
    }
  }
  return nullptr;
}

xercesc::DOMElement* BaseTranslator::GetNextSiblingElt(const xercesc::DOMNode* node) {
  if (node == nullptr) return nullptr;
  for (xercesc::DOMNode* sibling = node->getNextSibling(); sibling != nullptr;
       sibling = sibling->getNextSibling()) {
    if (sibling->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) {
      return static_cast<xercesc::DOMElement*>(sibling);
    }
  }
  return nullptr;
}

xercesc::DOMNodeList* BaseTranslator::GetElementsByTagName(const xercesc::DOMDocument* document,
                                                           const XMLCh* tag) {
  if (document == nullptr || tag == nullptr) return nullptr;
  return document->getElementsByTagName(tag);
}

xercesc::DOMNodeList* BaseTranslator::GetElementsByTagName(const xercesc::DOMElement* element,
                                                           const XMLCh* tag) {
  if (element == nullptr || tag == nullptr) return nullptr;
  return element->getElementsByTagName(tag);
}

bool BaseTranslator::IsEqual(const XMLCh* a, const XMLCh* b) { return XmlText::Equal(a, b); }

bool BaseTranslator::IsEqual(const LumoTranscoder* transcoder, const XMLCh* a,
                             const std::string& b) {
  return (transcoder != nullptr ? transcoder->transcodeTo(a) : XmlText::ToUtf8(a)) == b;
}

double BaseTranslator::VerifyDouble(const XMLCh* text) {
  if (text == nullptr) ThrowZb(ErrorCode::kNotANumber, "");
  return VerifyDouble(XmlText::ToUtf8(text));
}

double BaseTranslator::VerifyDouble(const std::string& text) {
  double value = 0.0;
  if (!NumberText::ParseDouble(text, &value)) ThrowZb(ErrorCode::kNotANumber, text);
  return value;
}

int BaseTranslator::VerifyInt(const XMLCh* text) {
  if (text == nullptr) ThrowZb(ErrorCode::kNotAnInteger, "");
  return VerifyInt(XmlText::ToUtf8(text));
}

int BaseTranslator::VerifyInt(const std::string& text) {
  int value = 0;
  if (!NumberText::ParseInt(text, &value)) ThrowZb(ErrorCode::kNotAnInteger, text);
  return value;
}

std::string BaseTranslator::ToString(const XMLCh* text) { return XmlText::ToUtf8(text); }

void BaseTranslator::CreateTranscoder(const std::string& encoding) {
  transcoder_ = std::make_unique<LumoTranscoder>(encoding);
}

const LumoTranscoder& BaseTranslator::Transcoder() {
  if (transcoder_ == nullptr) transcoder_ = std::make_unique<LumoTranscoder>(std::string());
  return *transcoder_;
}

}  // namespace KtZembra_940
