// The element index the readers ask instead of the DOM: for every document
// below, every tag and every scope, it must list exactly the elements the
// DOM's getElementsByTagName lists, in the same order.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNodeList.hpp>

#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/XmlText.h"
#include "translator/ElementIndex.h"

namespace KtZembra_940 {
namespace {

const std::u16string kA = u"A";
const std::u16string kB = u"B";
const std::u16string kC = u"C";

std::vector<const xercesc::DOMElement*> FromDom(const xercesc::DOMNodeList* list) {
  std::vector<const xercesc::DOMElement*> elements;
  for (XMLSize_t i = 0; i < list->getLength(); ++i) {
    elements.push_back(static_cast<const xercesc::DOMElement*>(list->item(i)));
  }
  return elements;
}

std::vector<const xercesc::DOMElement*> FromIndex(const ElementIndex::Span& span) {
  std::vector<const xercesc::DOMElement*> elements;
  for (const ElementIndex::Entry& entry : span) elements.push_back(entry.element);
  return elements;
}

// Many element names that are not looked for, more than the index
// remembers by pointer, mixed with the looked-for ones.
std::string ManyNames() {
  std::string text = "<A>";
  for (int k = 0; k < 150; ++k) {
    text += "<n" + std::to_string(k) + ">";
    if (k % 7 == 0) text += "<B/>";
    if (k % 11 == 0) text += "<A><C/></A>";
    text += "</n" + std::to_string(k) + ">";
  }
  return text + "<C/></A>";
}

std::string DeepChain(int depth) {
  std::string text;
  for (int k = 0; k < depth; ++k) text += k % 3 == 0 ? "<A>" : (k % 3 == 1 ? "<x>" : "<B>");
  text += "<C/>";
  for (int k = depth - 1; k >= 0; --k) text += k % 3 == 0 ? "</A>" : (k % 3 == 1 ? "</x>" : "</B>");
  return text;
}

TEST(ElementIndex, AnswersAsTheDomDoes) {
  const std::string documents[] = {
      "<r/>",
      "<A/>",
      "<r>text only</r>",
      // Tags nested in themselves and in each other, with text between.
      "<r> <A>x<A><B/><C>t</C></A><B><A/>y</B></A> <B><C><A/></C></B><A/> </r>",
      // The root is a looked-for element.
      "<A><A/><B><A><A/></A></B></A>",
      // Looked-for elements only under elements that are not.
      "<r><x><y><B/></y><C/></x><z/><x><A><y><B/></y></A></x></r>",
      // Names that only start like a looked-for one.
      "<r><AB/><A/><Ba/><B/><c/><C/></r>",
      ManyNames(),
      DeepChain(300),
  };
  XmlPlatform platform;
  for (const std::string& text : documents) {
    SCOPED_TRACE(text.substr(0, 80));
    std::unique_ptr<XmlDocument> parsed = XmlDocument::ParseBuffer(text.data(), text.size(), "t");
    xercesc::DOMDocument* document = parsed->GetDocument();
    const XMLCh* tags[] = {kA.c_str(), kB.c_str(), kC.c_str()};

    const ElementIndex index(document, {tags[0], tags[1], tags[2]});
    EXPECT_EQ(index.Scope(), document);
    for (size_t t = 0; t < 3; ++t) {
      EXPECT_EQ(FromIndex(index.All(t)), FromDom(document->getElementsByTagName(tags[t])));
      // Inside every indexed element, for every tag.
      for (const ElementIndex::Entry& outer : index.All(t)) {
        for (size_t inner = 0; inner < 3; ++inner) {
          EXPECT_EQ(FromIndex(index.Within(outer, inner)),
                    FromDom(outer.element->getElementsByTagName(tags[inner])));
        }
      }
    }
    // An element scope leaves the element itself out, like the element's
    // own search.
    for (const xercesc::DOMElement* scope : FromDom(document->getElementsByTagName(u"*"))) {
      const ElementIndex own(scope, {tags[0], tags[1], tags[2]});
      for (size_t t = 0; t < 3; ++t) {
        EXPECT_EQ(FromIndex(own.All(t)), FromDom(scope->getElementsByTagName(tags[t])));
      }
    }
    // A position without a tag has no elements.
    EXPECT_TRUE(index.All(3).empty());
  }
  // Nor has a null scope.
  EXPECT_TRUE(ElementIndex(nullptr, {kA.c_str()}).All(0).empty());
}

}  // namespace
}  // namespace KtZembra_940
