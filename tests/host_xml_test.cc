// The hardened document loader, the text conversions, the transcoder and the
// plug-in loader of the host library (hostile documents: hostile_input_test;
// files that cannot be read, a directory among them: golden tool runs);
// the one UTF-8 check and the four places that use it (the CSV reader, the
// JSON writer, the XML text helpers and the error formatter), against a
// reference decoder written from the standard's definition of a well-formed
// sequence: the lead byte's high bits give the length, every later byte is
// 10xxxxxx, and the code point is neither overlong, a surrogate, nor above
// U+10FFFF.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMElement.hpp>

#include "cli/CsvReader.h"
#include "cli/OutputWriter.h"
#include "host/ErrorCodes.h"
#include "host/ErrorFormatter.h"
#include "host/LumoTranscoder.h"
#include "host/PluginLoader.h"
#include "host/Utf8Text.h"
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

TEST(XmlText, ConvertsBetweenUtf16AndUtf8) {
  const struct {
    std::u16string wide;
    std::string narrow;
  } cases[] = {
      {u"", ""},
      {u"abc", "abc"},
      {u"\u00e9\u20ac", "\xC3\xA9\xE2\x82\xAC"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      // The first and last code point of each sequence length.
      {u"\u007F\u0080", "\x7F\xC2\x80"},
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
      {u"\uFFFF\U00010000", "\xEF\xBF\xBF\xF0\x90\x80\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
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
// encoding of records and output (UTF-8, ISO-8859-1 and UTF-16 documents
// are golden runs).
TEST(LumoTranscoder, WritesUtf8WhateverTheEncoding) {
  XmlPlatform platform;
  const struct {
    std::string encoding;
    std::u16string text;
    std::string expected;
  } cases[] = {
      {"", u"caf\u00e9", "caf\xC3\xA9"},
      {"ISO-8859-1", u"5\u20ac or \U0001F600!", "5\xE2\x82\xAC or \xF0\x9F\x98\x80!"},
      {"windows-1252", u"gr\u00fcn", "gr\xC3\xBCn"},
      {"UTF-16 (LE)", u"caf\u00e9", "caf\xC3\xA9"},
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

// --- UTF-8 -----------------------------------------------------------------------

// Length of the well-formed sequence at s[i] and its code point, or 0.
size_t Reference(const std::string& s, size_t i, char32_t* cp) {
  const unsigned b0 = static_cast<unsigned char>(s[i]);
  size_t length = b0 < 0x80 ? 1 : (b0 >> 5) == 6 ? 2 : (b0 >> 4) == 14 ? 3 : (b0 >> 3) == 30 ? 4 : 0;
  if (length == 0 || i + length > s.size()) return 0;
  char32_t value = length == 1 ? b0 : b0 & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const unsigned b = static_cast<unsigned char>(s[i + k]);
    if ((b >> 6) != 2) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *cp = value;
  return length;
}

// Strings of one to four bytes: any lead byte at the edge of a range, then
// the second-byte edges (narrowed after E0, ED, F0 and F4), then the edges
// of a continuation byte.
std::vector<std::string> BoundaryStrings() {
  const std::vector<unsigned char> edges[] = {
      {0x00, 0x1F, 0x20, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
       0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF},
      {0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0},
      {0x7F, 0x80, 0xBF, 0xC0},
      {0x7F, 0x80, 0xBF, 0xC0}};
  std::vector<std::string> level = {""};
  std::vector<std::string> all;
  for (const auto& bytes : edges) {
    std::vector<std::string> longer;
    for (const std::string& prefix : level) {
      for (unsigned char e : bytes) longer.push_back(prefix + static_cast<char>(e));
    }
    level.swap(longer);
    all.insert(all.end(), level.begin(), level.end());
  }
  return all;
}

TEST(Utf8Text, EveryBoundaryByteOfEverySequenceLengthAsTheStandardDefines) {
  const ErrorFormatter formatter;
  size_t wellFormed[5] = {};
  for (const std::string& s : BoundaryStrings()) {
    SCOPED_TRACE(::testing::PrintToString(s));
    char32_t want = 0;
    const size_t length = Reference(s, 0, &want);
    char32_t got = 0xFFFFFFFF;
    ASSERT_EQ(Utf8Text::SequenceLength(s, 0, &got), length);
    ++wellFormed[length];
    if (length > 0) {
      EXPECT_EQ(got, want);
    }
    const bool escape = length == 0 || (want >= 0x80 && want <= 0x9F) || want < 0x20 || want == 0x7F;

    // The XML helper: the sequence, or one replacement for its lead byte.
    const std::u16string wide = XmlText::FromUtf8(s);
    const char32_t first = wide[0] >= 0xD800 && wide[0] <= 0xDBFF
                               ? 0x10000 + ((char32_t{wide[0]} - 0xD800) << 10) + (wide[1] - 0xDC00)
                               : wide[0];
    EXPECT_EQ(first, length > 0 ? want : 0xFFFD);

    // The error formatter: escapes broken sequences and C0/C1 controls.
    const std::string shown = formatter.Format(ErrorCode::kNotANumber, {s});
    if (escape) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(s[0]));
      EXPECT_EQ(shown.compare(1, 4, hex), 0) << shown;
    } else {
      EXPECT_EQ(shown.compare(1, length, s, 0, length), 0) << shown;
    }

    // The JSON writer: a broken sequence becomes \ufffd, a good one stays.
    if (static_cast<unsigned char>(s[0]) >= 0x80) {
      std::string json;
      rulescore::cli::OutputWriter::AppendJsonString(s, &json);
      EXPECT_EQ(json.substr(1, length > 0 ? length : 6), length > 0 ? s.substr(0, length) : "\\ufffd");
    }

    // The CSV reader: the cell is refused at the first NUL or broken sequence.
    std::string error;
    for (size_t i = 0; i < s.size() && error.empty();) {
      char32_t cp;
      const size_t n = s[i] == '\0' ? 0 : Reference(s, i, &cp);
      if (n == 0) error = s[i] == '\0' ? "cell holds a NUL byte" : "cell is not valid UTF-8";
      i += n;
    }
    rulescore::cli::CsvReader reader(s, rulescore::cli::CsvReader::kEndOfInput, 1, ',');
    rulescore::cli::CsvRow row;
    ASSERT_TRUE(reader.ReadRow(&row));
    EXPECT_EQ(row.error, error);
  }
  // The edges reach every length and both verdicts.
  for (size_t n : wellFormed) EXPECT_GT(n, 0u);
}

}  // namespace
}  // namespace KtZembra_940
