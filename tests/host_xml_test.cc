// The hardened document loader, the text conversions, the transcoder and the
// plug-in loader of the host library (hostile documents: hostile_input_test).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/LumoTranscoder.h"
#include "host/PluginLoader.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/XmlText.h"
#include "host/ZbException.h"

namespace KtZembra_940 {
namespace {

// White space before a start tag makes no node; any other text, white space
// before an end tag or a comment included, stays as it came.
TEST(XmlDocument, LayoutBeforeStartTagsMakesNoNode) {
  XmlPlatform platform;
  const std::string text =
      "<A>\n  <B/> <C> </C> x <D> <!-- c --> </D>\t<E>a <F/> b</E> &amp; <?p q?> \n</A>";
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(text.data(), text.size(), "doc.pmml");
  // Each element as <name>, each text as [text], children in braces.
  std::function<std::string(const xercesc::DOMNode*)> show = [&show](const xercesc::DOMNode* node) {
    std::string out;
    for (const xercesc::DOMNode* n = node->getFirstChild(); n != nullptr; n = n->getNextSibling()) {
      if (n->getNodeType() == xercesc::DOMNode::ELEMENT_NODE) {
        out += "<" + XmlText::ToUtf8(n->getNodeName()) + ">{" + show(n) + "}";
      } else {
        out += "[" + XmlText::ToUtf8(n->getNodeValue()) + "]";
      }
    }
    return out;
  };
  EXPECT_EQ(show(document->GetDocument()->getDocumentElement()),
            "<B>{}<C>{[ ]}[ x ]<D>{[  ]}<E>{[a ]<F>{}[ b]}[ & ][q][ \n]");
}

// Files that can be read are read by every run of the tool, a missing one
// is an error-code row; a directory is no file either.
TEST(XmlDocument, RefusesADirectory) {
  XmlPlatform platform;
  try {
    XmlDocument::ParseFile("/tmp");
    ADD_FAILURE() << "accepted";
  } catch (const ZbException& e) {
    EXPECT_EQ(e.GetErrorCode(), ErrorCode::kFileUnreadable);
    EXPECT_EQ(e.GetArguments().at(0), "/tmp");
  }
}

TEST(XmlText, ConvertsBetweenUtf16AndUtf8) {
  const struct {
    std::u16string wide;
    std::string narrow;
  } cases[] = {
      {u"", ""},
      {u"abc", "abc"},
      {u"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(XmlText::ToUtf8(c.wide.c_str()), c.narrow);
    EXPECT_EQ(XmlText::FromUtf8(c.narrow), c.wide);
  }
  EXPECT_EQ(XmlText::ToUtf8(nullptr), "");
  const char16_t unpaired[] = {u'a', 0xD800, u'b', 0xDC00, 0};
  EXPECT_EQ(XmlText::ToUtf8(unpaired), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  // A broken sequence gives one replacement; the bytes after its lead are read again.
  EXPECT_EQ(XmlText::FromUtf8("\xED\xA0\x80" "a"), u"\uFFFD\uFFFD\uFFFDa");
}

TEST(XmlText, EqualTellsNullFromEmpty) {
  EXPECT_TRUE(XmlText::Equal(nullptr, nullptr));
  EXPECT_FALSE(XmlText::Equal(nullptr, u""));
  EXPECT_FALSE(XmlText::Equal(u"", nullptr));
  EXPECT_TRUE(XmlText::Equal(u"ab", u"ab"));
  EXPECT_FALSE(XmlText::Equal(u"ab", u"abc"));
}

// Whatever the document's encoding, its texts come out as UTF-8, the
// encoding of records and output.
TEST(LumoTranscoder, WritesUtf8WhateverTheEncoding) {
  XmlPlatform platform;
  const struct {
    std::string encoding;
    std::u16string text;
    std::string expected;
  } cases[] = {
      {"", u"caf\u00e9", "caf\xC3\xA9"},
      {"UTF-8", u"caf\u00e9", "caf\xC3\xA9"},
      {"ISO-8859-1", u"caf\u00e9", "caf\xC3\xA9"},
      {"ISO-8859-1", u"5\u20ac or \U0001F600!", "5\xE2\x82\xAC or \xF0\x9F\x98\x80!"},
      {"windows-1252", u"gr\u00fcn", "gr\xC3\xBCn"},
      {"UTF-16 (LE)", u"caf\u00e9", "caf\xC3\xA9"},
      {"UTF-16", u"x", "x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    LumoTranscoder transcoder(c.encoding);
    EXPECT_EQ(transcoder.transcodeTo(c.text.c_str()), c.expected);
    EXPECT_EQ(transcoder.transcodeTo(nullptr), "");
  }
}

// A library that cannot be opened, or that has no factory, is closed
// again; the message names it and what went wrong.
TEST(PluginLoader, RefusesWhatIsNoPlugin) {
  const struct {
    const char* path;
    const char* error;
  } cases[] = {
      {"/nonexistent/librulescore_plugin.so", "/nonexistent/librulescore_plugin.so: cannot open: "},
      {"libm.so.6", "libm.so.6: no GiveMyTranslator: "},
  };
  for (const auto& c : cases) {
    PluginLoader loader;
    std::string error;
    EXPECT_FALSE(loader.Open(c.path, &error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    EXPECT_FALSE(loader.IsOpen());
    EXPECT_EQ(loader.GetFactory(), nullptr);
    EXPECT_EQ(loader.CreateTranslator(), nullptr);
  }
}

}  // namespace
}  // namespace KtZembra_940
