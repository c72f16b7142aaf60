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

struct Failure {
  int code = 0;
  std::vector<std::string> args;
  std::string message;
};

Failure ParseFailure(const std::string& text) {
  try {
    XmlDocument::ParseBuffer(text.data(), text.size(), "doc.pmml");
  } catch (const ZbException& e) {
    return Failure{e.GetErrorCode(), e.GetArguments(), e.GetMessage()};
  }
  return Failure{};
}

std::string Nested(int depth) {
  std::string text = "<PMML>";
  for (int i = 1; i < depth; ++i) text += "<c>";
  for (int i = 1; i < depth; ++i) text += "</c>";
  return text + "</PMML>";
}

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

TEST(XmlDocument, ReportsTheEncodingName) {
  XmlPlatform platform;
  const struct {
    std::string text;
    std::string encoding;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><PMML>\xE9</PMML>", "ISO-8859-1"},
      {"<?xml version=\"1.0\" encoding=\"windows-1252\"?><PMML/>", "windows-1252"},
      {"<?xml version=\"1.0\"?><PMML/>", "UTF-8"},
      {"<PMML/>", "UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::unique_ptr<XmlDocument> document =
        XmlDocument::ParseBuffer(c.text.data(), c.text.size(), "doc.pmml");
    EXPECT_EQ(document->GetEncoding(), c.encoding);
  }
}

TEST(XmlDocument, CountsDepthWhileReading) {
  XmlPlatform platform;
  EXPECT_EQ(ParseFailure(Nested(XmlDocument::kMaxElementDepth)).code, 0);
  // Empty elements at the last level open nothing below them.
  std::string atLimit = Nested(XmlDocument::kMaxElementDepth - 1);
  atLimit.insert(atLimit.size() - std::string("</PMML>").size() -
                     (XmlDocument::kMaxElementDepth - 2) * std::string("</c>").size(),
                 "<e/><e/><e/>");
  EXPECT_EQ(ParseFailure(atLimit).code, 0);

  for (int depth : {XmlDocument::kMaxElementDepth + 1, 100000}) {
    SCOPED_TRACE(depth);
    const Failure failure = ParseFailure(Nested(depth));
    EXPECT_EQ(failure.code, ErrorCode::kXmlTooDeep);
    // Refused at the start tag one level past the limit, which "<PMML>" and
    // 1099 "<c>" precede: the column is the one just past it.
    EXPECT_EQ(failure.args, (std::vector<std::string>{"doc.pmml", "1", "3307", "1100"}));
  }
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

TEST(PluginLoader, MissingFileFailsWithItsName) {
  PluginLoader loader;
  std::string error;
  EXPECT_FALSE(loader.Open("/nonexistent/librulescore_plugin.so", &error));
  EXPECT_EQ(error.rfind("/nonexistent/librulescore_plugin.so: cannot open: ", 0), 0u) << error;
  EXPECT_FALSE(loader.IsOpen());
  EXPECT_EQ(loader.GetFactory(), nullptr);
  EXPECT_EQ(loader.CreateTranslator(), nullptr);
}

TEST(PluginLoader, LibraryWithoutFactoryIsClosedAgain) {
  PluginLoader loader;
  std::string error;
  EXPECT_FALSE(loader.Open("libm.so.6", &error));
  EXPECT_EQ(error.rfind("libm.so.6: no GiveMyTranslator: ", 0), 0u) << error;
  EXPECT_FALSE(loader.IsOpen());
}

}  // namespace
}  // namespace KtZembra_940
