// Hostile models on the whole loading road (bytes, hardened parse,
// translation, scoring, display, destruction): entity tricks, size and
// depth, broken XML, deep nesting, awkward numbers and counts that must not
// size anything.
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/PMMLTranslator.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/Utf8Text.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "tests/support/CaseFile.h"
#include "tests/support/Displayed.h"
#include "tests/support/ModelBuilder.h"
#include "tests/support/ToolRun.h"
#include "tests/support/TranslatedDocument.h"

namespace KtZembra_940 {
namespace {

using testing_support::TranslateDocument;

// The document of tests/data/models/xy.pmml, one rule-set model over risk
// (target), x and y, with `rules` inside the RuleSet after its selection
// method (the file ends without a line break).
std::string Model(const std::string& rules) {
  const std::string text = testing_support::ReadFile(std::string(RULESCORE_TEST_DATA_DIR) + "/models/xy.pmml");
  const size_t at = text.find("$RULES");
  return text.substr(0, at) + rules + text.substr(at + 6);
}

// Scores one record of x and y (NaN: left empty): "prediction confidence
// firstRule".
std::string Score(RuleSetModel& model, double x, double y) {
  testing_support::TestRecord record({"x", "y"});
  if (!std::isnan(x)) record.Number("x", x);
  if (!std::isnan(y)) record.Number("y", y);
  ScoreResult* result = nullptr;
  const testing_support::Scored s = testing_support::ScoreWith(model, record.Get(), result);
  delete result;
  std::ostringstream os;
  os << (s.code != 0 ? "error " + std::to_string(s.code) : s.hasPrediction ? s.prediction : "null") << " "
     << s.confidence << " " << (s.fired.empty() ? "" : s.fired[0]);
  return os.str();
}

std::string Repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// Exponential entities: ten levels of ten references each.
std::string Laughs() {
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [\n <!ENTITY l0 \"lol\">\n";
  for (int k = 1; k < 10; ++k) {
    text += " <!ENTITY l" + std::to_string(k) + " \"" +
            Repeat("&l" + std::to_string(k - 1) + ";", 10) + "\">\n";
  }
  return text + "]>\n<PMML version=\"4.4\"><DataDictionary><DataField name=\"&l9;\" "
                "optype=\"continuous\"/></DataDictionary></PMML>";
}

std::string ExternalEntity(const std::string& systemId) {
  return "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY ext SYSTEM \"" + systemId +
         "\">]>\n<PMML version=\"4.4\"><DataDictionary><DataField name=\"&ext;\" "
         "optype=\"continuous\"/></DataDictionary></PMML>";
}

// Level k of the nest (1 outermost) tests x > k - 1000 beside the next
// level, so the deeper a level the stricter its test; the innermost tests
// x < 10 and y = 1. In a CompoundRule, the and around the rule's predicate
// is one more level.
std::string NestedPredicates(int depth, bool inCompoundRule = false) {
  std::string open;
  std::string close;
  for (int level = 1; level < depth; ++level) {
    open += "<CompoundPredicate booleanOperator=\"and\"><SimplePredicate field=\"x\" "
            "operator=\"greaterThan\" value=\"" + std::to_string(level - 1000) + "\"/>";
    close += "</CompoundPredicate>";
  }
  return Model(std::string(inCompoundRule ? "<CompoundRule><True/>" : "") +
               "<SimpleRule id=\"deep\" score=\"high\" confidence=\"0.75\">" + open +
               "<CompoundPredicate booleanOperator=\"and\">"
               "<SimplePredicate field=\"x\" operator=\"lessThan\" value=\"10\"/>"
               "<SimplePredicate field=\"y\" operator=\"equal\" value=\"1\"/></CompoundPredicate>" +
               close + "</SimpleRule>" + (inCompoundRule ? "</CompoundRule>" : ""));
}

// CompoundRule nests: level k (1 outermost) holds x > k - 1000; the rule
// inside the innermost one adds x < 10.
std::string NestedRules(int depth) {
  std::string text;
  for (int level = 1; level <= depth; ++level) {
    text += "<CompoundRule><SimplePredicate field=\"x\" operator=\"greaterThan\" value=\"" +
            std::to_string(level - 1000) + "\"/>";
  }
  text += "<SimpleRule id=\"inner\" score=\"high\" confidence=\"0.5\"><SimplePredicate "
          "field=\"x\" operator=\"lessThan\" value=\"10\"/></SimpleRule>";
  return Model(text + Repeat("</CompoundRule>", depth) +
               "<SimpleRule id=\"after\" score=\"high\"><True/></SimpleRule>");
}

// Elements <c> nested inside <PMML>, `depth` levels in all, `inner` in the
// innermost.
std::string Nested(int depth, const std::string& inner) {
  return "<PMML>" + Repeat("<c>", depth - 1) + inner + Repeat("</c>", depth - 1) + "</PMML>";
}

// Well-formed UTF-8 (the host's check, itself checked against the
// standard in host_xml_test) without C0 controls or DEL.
bool IsPrintableUtf8(const std::string& text) {
  char32_t c = 0;
  for (size_t i = 0, n = 0; i < text.size(); i += n) {
    n = Utf8Text::SequenceLength(text, i, &c);
    if (n == 0 || c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

enum class Source { kBuffer, kFile, kHugeBuffer, kHugeFile };

// Every refusal of a hostile document: its code and arguments ("*" any
// text, "$FILE" the file read), a printable message that echoes nothing of
// a file the document points at. DOCTYPEs are refused at the keyword,
// before anything is expanded or read; sizes are refused before a byte is
// read (the huge buffer is address space only, the huge file sparse);
// depth is counted while parsing.
TEST(HostileInput, EveryRefusal) {
  const testing_support::ScratchDir scratch;
  const std::string secret = scratch.Put("secret", "SECRET-MARKER-42");
  const std::string quadratic = "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY a \"" +
                                std::string(10000, 'a') + "\">]>\n<PMML><DataDictionary><DataField name=\"" +
                                Repeat("&a;", 10000) + "\"/></DataDictionary></PMML>";
  const std::string huge = std::to_string(XmlDocument::kMaxDocumentBytes + 1);
  const std::string cap = std::to_string(XmlDocument::kMaxDocumentBytes);
  const std::string depth = std::to_string(XmlDocument::kMaxElementDepth);
  const std::vector<std::string> doctype2 = {"model.pmml", "2", "10"};
  const int kDoctype = ErrorCode::kDoctypeRefused;
  struct Refusal {
    std::string name;
    std::string text;
    int code;
    std::vector<std::string> args;
    Source source = Source::kBuffer;
  };
  std::vector<Refusal> cases = {
      {"exponential entities", Laughs(), kDoctype, doctype2},
      {"quadratic blowup", quadratic, kDoctype, doctype2},
      {"external entity to /etc/passwd", ExternalEntity("file:///etc/passwd"), kDoctype, doctype2},
      {"external entity to a local file", ExternalEntity("file://" + secret), kDoctype, doctype2},
      {"external entity by relative path", ExternalEntity(secret), kDoctype, doctype2},
      {"external DTD", "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML SYSTEM \"file://" + secret +
       "\">\n<PMML version=\"4.4\"/>", kDoctype, doctype2},
      {"parameter entity", "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY % p SYSTEM \"file://" +
       secret + "\"> %p;]>\n<PMML/>", kDoctype, doctype2},
      {"DOCTYPE in a file", ExternalEntity("file:///etc/passwd"), kDoctype, {"$FILE", "2", "10"}, Source::kFile},
      {"buffer over the size cap", "", ErrorCode::kDocumentTooLarge, {"big.pmml", huge, cap}, Source::kHugeBuffer},
      {"file over the size cap", "", ErrorCode::kDocumentTooLarge, {"$FILE", huge, cap}, Source::kHugeFile},
      // Depth is counted while reading: a document at the limit is read
      // (and then refused for what it lacks), and one level more is refused
      // at its start tag, which "<PMML>" and 1099 "<c>" precede.
      {"elements at the depth limit", Nested(XmlDocument::kMaxElementDepth, ""), ErrorCode::kMissingChild,
       {"PMML", "DataDictionary"}},
      {"empty elements at the last level", Nested(XmlDocument::kMaxElementDepth - 1, "<e/><e/><e/>"),
       ErrorCode::kMissingChild, {"PMML", "DataDictionary"}},
      {"elements past the depth limit", Nested(XmlDocument::kMaxElementDepth + 1, ""), ErrorCode::kXmlTooDeep,
       {"model.pmml", "1", "3307", depth}},
      {"100000 nested elements", Nested(100000, ""), ErrorCode::kXmlTooDeep, {"model.pmml", "1", "3307", depth}},
      {"100000 nested predicates", NestedPredicates(100000), ErrorCode::kXmlTooDeep, {"model.pmml", "*", "*", depth}},
      {"100000 nested rules", Model(Repeat("<CompoundRule><True/>", 100000) + Repeat("</CompoundRule>", 100000)),
       ErrorCode::kXmlTooDeep, {"model.pmml", "*", "*", depth}},
      {"predicates past the nesting limit", NestedPredicates(PMMLTranslator::kMaxPredicateDepth + 1),
       ErrorCode::kNestingTooDeep, {"CompoundPredicate", "500"}},
      {"a CompoundRule's predicate at the nesting limit", NestedPredicates(PMMLTranslator::kMaxPredicateDepth, true),
       ErrorCode::kNestingTooDeep, {"CompoundRule", "500"}},
      {"rules past the nesting limit", NestedRules(PMMLTranslator::kMaxPredicateDepth + 1),
       ErrorCode::kNestingTooDeep, {"CompoundRule", "500"}},
      {"text after the root", Model("") + "trailing", ErrorCode::kXmlParse, {"model.pmml", "6", "*", "*"}},
  };
  for (const testing_support::CaseLine& c : testing_support::ReadDataCases("xml_refusals.txt")) {
    cases.push_back({c.where + " " + c.fields[0], c.fields[1], std::stoi(c.fields[2]), {c.fields.begin() + 3, c.fields.end()}});
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    XmlPlatform platform;
    int code = 0;
    std::vector<std::string> args;
    std::string message;
    const std::string file = scratch.Put("model.pmml", c.source == Source::kFile ? c.text : "");
    void* region = nullptr;
    const size_t size = XmlDocument::kMaxDocumentBytes + 1;
    try {
      switch (c.source) {
        case Source::kBuffer:
          TranslateDocument(c.text, "model.pmml");
          break;
        case Source::kHugeBuffer:
          region = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
          ASSERT_NE(region, MAP_FAILED);
          XmlDocument::ParseBuffer(static_cast<const char*>(region), size, "big.pmml");
          break;
        case Source::kHugeFile:
          ASSERT_EQ(truncate(file.c_str(), static_cast<off_t>(size)), 0);
          [[fallthrough]];
        case Source::kFile:
          XmlDocument::ParseFile(file);
          break;
      }
    } catch (const ZbException& e) {
      code = e.GetErrorCode();
      args = e.GetArguments();
      message = e.GetMessage();
    }
    if (region != nullptr) munmap(region, size);
    EXPECT_EQ(code, c.code) << message;
    ASSERT_EQ(args.size(), c.args.size()) << message;
    for (size_t i = 0; i < args.size(); ++i) {
      if (c.args[i] == "*") {
        EXPECT_FALSE(args[i].empty()) << i;
      } else {
        EXPECT_EQ(args[i], c.args[i] == "$FILE" ? file : c.args[i]) << i;
      }
    }
    EXPECT_TRUE(IsPrintableUtf8(message)) << message;
    EXPECT_EQ(message.find("SECRET-MARKER"), std::string::npos);
    EXPECT_EQ(message.find("root:"), std::string::npos);
  }
}

TEST(HostileInput, EveryPrefixOfAValidDocumentIsRefused) {
  const std::string full = Model(
      "<SimpleRule id=\"r\" score=\"high\"><SimplePredicate field=\"x\" operator=\"lessThan\" "
      "value=\"3\"/></SimpleRule>");
  ASSERT_EQ(testing_support::TranslationFailureOf(full, "model.pmml").code, 0);
  for (size_t length = 0; length < full.size(); ++length) {
    const int code = testing_support::TranslationFailureOf(full.substr(0, length), "model.pmml").code;
    ASSERT_TRUE(code == ErrorCode::kXmlParse || code == ErrorCode::kNoRoot) << length << ": " << code;
  }
}

// Refusing DTDs keeps the five predefined entities and numeric character
// references, which need no DTD. The deepest accepted models translate,
// score, display and are destroyed on a worker thread, whose stack is no
// larger than the main one's.
TEST(HostileInput, AcceptedDocumentsScore) {
  const struct {
    std::string pmml;
    std::vector<double> xy;  // pairs
    std::vector<std::string> scores;
  } cases[] = {
      {Model("<SimpleRule id=\"a&amp;b&#x3C;&#62;\" score=\"high\"><SimplePredicate field=\"x\" "
             "operator=\"greaterThan\" value=\"&#49;0\"/></SimpleRule>"),
       {11, 0, 10, 0}, {"high 0 a&b<>", "low 0.25 "}},
      // Every level holds; only the innermost fails; just above level 499's
      // bound; only level 499 fails; x missing (greaterThan is false).
      {NestedPredicates(PMMLTranslator::kMaxPredicateDepth),
       {5, 1, 5, 2, -500.5, 1, -501, 1, NAN, 1},
       {"high 0.75 deep", "low 0.25 ", "high 0.75 deep", "low 0.25 ", "low 0.25 "}},
      {NestedPredicates(PMMLTranslator::kMaxPredicateDepth - 1, true), {5, 1, 5, 2},
       {"high 0.75 deep", "low 0.25 "}},
      // Only the innermost nest fails; the rule's own predicate fails.
      {NestedRules(PMMLTranslator::kMaxPredicateDepth), {5, 0, -499.5, 0, -500, 0, 10, 0},
       {"high 0.5 inner", "high 0.5 inner", "high 0 after", "high 0 after"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> scores;
    std::string dump;
    std::thread worker([&] {
      std::unique_ptr<testing_support::TranslatedDocument> t = TranslateDocument(c.pmml, "model.pmml");
      if (t->model == nullptr) return;
      for (size_t i = 0; i + 1 < c.xy.size(); i += 2) scores.push_back(Score(*t->model, c.xy[i], c.xy[i + 1]));
      dump = testing_support::Displayed(*t->model);
    });
    worker.join();
    EXPECT_EQ(scores, c.scores);
    EXPECT_NE(dump.find("Rule ID: " + c.scores[0].substr(c.scores[0].rfind(' ') + 1) + "\n"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace KtZembra_940
