// Hostile models on the whole loading road (bytes, hardened parse,
// translation, scoring, display, destruction): entity tricks, size and
// depth, broken XML, deep predicate nesting, awkward numbers and counts
// that must not size anything.
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/NumericValue.h"
#include "host/PMMLTranslator.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "model/SimpleRule.h"
#include "plugin/RuleSetTranslator.h"
#include "scoring/RuleSetResult.h"

namespace KtZembra_940 {
namespace {

struct Failure {
  int code = 0;
  std::vector<std::string> args;
  std::string message;
};

// A loaded model with everything it was read from. Members go in reverse:
// the model, the translator, the document, then the Xerces platform.
struct Loaded {
  XmlPlatform platform;
  std::unique_ptr<XmlDocument> document;
  std::unique_ptr<RuleSetTranslator> translator;
  std::unique_ptr<RuleSetModel> model;
};

// Parses and translates; every failure is thrown on.
std::unique_ptr<Loaded> Load(const std::string& pmml) {
  auto loaded = std::make_unique<Loaded>();
  loaded->document = XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "model.pmml");
  loaded->translator = std::make_unique<RuleSetTranslator>();
  ScoreModel* model = loaded->translator->ParseFromTree(loaded->document->GetDocument(),
                                                        loaded->document->GetEncoding());
  loaded->model.reset(dynamic_cast<RuleSetModel*>(model));
  if (model != nullptr && loaded->model == nullptr) delete model;
  return loaded;
}

Failure FailureOf(const std::string& pmml) {
  Failure failure;
  try {
    std::unique_ptr<Loaded> loaded = Load(pmml);
  } catch (const ZbException& e) {
    failure.code = e.GetErrorCode();
    failure.args = e.GetArguments();
    failure.message = e.GetMessage();
  }
  return failure;
}

// A file under /tmp, removed afterwards.
class TempFile {
 public:
  TempFile() {
    char name[] = "/tmp/hostile_input_test_XXXXXX";
    const int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    close(fd);
    path_ = name;
  }
  explicit TempFile(const std::string& content) : TempFile() {
    std::ofstream(path_, std::ios::binary) << content;
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

const char kDictionary[] = R"(<DataDictionary>
<DataField name="risk" optype="categorical" dataType="string"><Value value="high"/><Value value="low"/></DataField>
<DataField name="x" optype="continuous" dataType="double"/>
<DataField name="y" optype="continuous" dataType="double"/>
</DataDictionary>)";

// One rule-set model over risk (target), x and y; `rules` goes inside the
// RuleSet, after its selection method.
std::string Model(const std::string& rules, const std::string& ruleSetAttributes =
                                                "defaultScore=\"low\" defaultConfidence=\"0.25\"") {
  return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PMML version=\"4.4\">") +
         kDictionary +
         "<RuleSetModel functionName=\"classification\"><MiningSchema>"
         "<MiningField name=\"risk\" usageType=\"predicted\"/><MiningField name=\"x\"/>"
         "<MiningField name=\"y\"/></MiningSchema><RuleSet " +
         ruleSetAttributes + "><RuleSelectionMethod criterion=\"firstHit\"/>" + rules +
         "</RuleSet></RuleSetModel></PMML>";
}

// Scores one record of x and y (NaN: left empty) and gives
// "prediction confidence firstRule".
std::string Score(RuleSetModel& model, double x, double y) {
  ScoreCaseRecord record({"x", "y"});
  if (!std::isnan(x)) record.SetNumber(0, x);
  if (!std::isnan(y)) record.SetNumber(1, y);
  ScoreResult* result = nullptr;
  const KtScore::KtStatus status = model.GetScore(&record, result, false);
  std::unique_ptr<ScoreResult> owned(result);
  if (status.IsError()) return "error " + std::to_string(status.GetErrorCode());
  const auto* ruleSetResult = dynamic_cast<const RuleSetResult*>(result);
  if (ruleSetResult == nullptr) return "no result";
  std::ostringstream os;
  const ScoreValue* prediction = ruleSetResult->GetPrediction();
  os << (prediction != nullptr ? prediction->GetString() : "null") << " "
     << ruleSetResult->GetConfidence() << " " << ruleSetResult->GetFirstRuleID();
  return os.str();
}

// --- entities and DOCTYPE -------------------------------------------------------

const char kLaughs[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE PMML [\n"
    " <!ENTITY l0 \"lol\">\n"
    " <!ENTITY l1 \"&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;&l0;\">\n"
    " <!ENTITY l2 \"&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;&l1;\">\n"
    " <!ENTITY l3 \"&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;&l2;\">\n"
    " <!ENTITY l4 \"&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;&l3;\">\n"
    " <!ENTITY l5 \"&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;&l4;\">\n"
    " <!ENTITY l6 \"&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;&l5;\">\n"
    " <!ENTITY l7 \"&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;&l6;\">\n"
    " <!ENTITY l8 \"&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;&l7;\">\n"
    " <!ENTITY l9 \"&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;&l8;\">\n"
    "]>\n"
    "<PMML version=\"4.4\"><DataDictionary><DataField name=\"&l9;\" optype=\"continuous\"/>"
    "</DataDictionary></PMML>";

// One 10 KB entity referenced 10,000 times: 100 MB once expanded.
std::string QuadraticBlowup() {
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY a \"" +
                     std::string(10000, 'a') + "\">]>\n<PMML><DataDictionary><DataField name=\"";
  for (int i = 0; i < 10000; ++i) text += "&a;";
  return text + "\"/></DataDictionary></PMML>";
}

std::string ExternalEntity(const std::string& systemId) {
  return "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY ext SYSTEM \"" + systemId +
         "\">]>\n<PMML version=\"4.4\"><DataDictionary><DataField name=\"&ext;\" "
         "optype=\"continuous\"/></DataDictionary></PMML>";
}

TEST(HostileEntities, EveryDoctypeIsRefusedBeforeAnythingIsExpandedOrRead) {
  static const char kWide[] = "\xFF\xFE<\0!\0D\0O\0C\0T\0Y\0P\0E\0 \0P\0>\0<\0P\0/\0>\0";
  const TempFile secret("SECRET-MARKER-42");
  const struct {
    const char* name;
    std::string text;
    const char* line;
  } cases[] = {
      {"exponential entities", kLaughs, "2"},
      {"quadratic blowup", QuadraticBlowup(), "2"},
      {"external entity to /etc/passwd", ExternalEntity("file:///etc/passwd"), "2"},
      {"external entity to a local file", ExternalEntity("file://" + secret.path()), "2"},
      {"external entity by relative path", ExternalEntity(secret.path()), "2"},
      {"external DTD", "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML SYSTEM \"file://" + secret.path() +
                           "\">\n<PMML version=\"4.4\"/>", "2"},
      {"plain DOCTYPE", "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML>\n<PMML version=\"4.4\"/>", "2"},
      {"parameter entity", "<?xml version=\"1.0\"?>\n<!DOCTYPE PMML [<!ENTITY % p SYSTEM \"file://" +
                               secret.path() + "\"> %p;]>\n<PMML/>", "2"},
      {"first line", "<!DOCTYPE PMML><PMML/>", "1"},
      {"UTF-16 with a byte-order mark", std::string(kWide, sizeof kWide - 1), "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Failure failure = FailureOf(c.text);
    EXPECT_EQ(failure.code, ErrorCode::kDoctypeRefused);
    // Refused at the DOCTYPE keyword; nothing of the file is echoed.
    EXPECT_EQ(failure.args, (std::vector<std::string>{"model.pmml", c.line, "10"}));
    EXPECT_EQ(failure.message.find("SECRET-MARKER"), std::string::npos);
    EXPECT_EQ(failure.message.find("root:"), std::string::npos);
  }
}

TEST(HostileEntities, DoctypeInAFileIsRefusedToo) {
  XmlPlatform platform;
  const TempFile model(ExternalEntity("file:///etc/passwd"));
  int code = 0;
  try {
    XmlDocument::ParseFile(model.path());
  } catch (const ZbException& e) {
    code = e.GetErrorCode();
  }
  EXPECT_EQ(code, ErrorCode::kDoctypeRefused);
}

TEST(HostileEntities, PredefinedAndCharacterReferencesStillWork) {
  // Refusing DTDs must not break the five predefined entities or numeric
  // character references, which need no DTD.
  const std::string pmml = Model(
      "<SimpleRule id=\"a&amp;b&#x3C;&#62;\" score=\"high\"><SimplePredicate field=\"x\" "
      "operator=\"greaterThan\" value=\"&#49;0\"/></SimpleRule>");
  std::unique_ptr<Loaded> loaded = Load(pmml);
  ASSERT_NE(loaded->model, nullptr);
  EXPECT_EQ(loaded->model->GetSimpleRules().at(0).at(0)->GetRuleID(), "a&b<>");
  EXPECT_EQ(Score(*loaded->model, 11, 0), "high 0 a&b<>");
  EXPECT_EQ(Score(*loaded->model, 10, 0), "low 0.25 ");
}

// --- size ------------------------------------------------------------------------

TEST(HostileSize, BufferOverTheCapIsRefusedWithoutBeingRead) {
  XmlPlatform platform;
  const size_t size = XmlDocument::kMaxDocumentBytes + 1;
  // Address space only: the pages are never touched, so nothing is used
  // unless the loader reads past its own check.
  void* region = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(region, MAP_FAILED);
  Failure failure;
  try {
    XmlDocument::ParseBuffer(static_cast<const char*>(region), size, "big.pmml");
  } catch (const ZbException& e) {
    failure.code = e.GetErrorCode();
    failure.args = e.GetArguments();
  }
  munmap(region, size);
  EXPECT_EQ(failure.code, ErrorCode::kDocumentTooLarge);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"big.pmml", std::to_string(size),
                                                    std::to_string(XmlDocument::kMaxDocumentBytes)}));
}

TEST(HostileSize, FileOverTheCapIsRefusedFromItsSize) {
  XmlPlatform platform;
  const TempFile big;
  // A sparse file: it takes no disk space and must not be read.
  ASSERT_EQ(truncate(big.path().c_str(), XmlDocument::kMaxDocumentBytes + 1), 0);
  Failure failure;
  try {
    XmlDocument::ParseFile(big.path());
  } catch (const ZbException& e) {
    failure.code = e.GetErrorCode();
    failure.args = e.GetArguments();
  }
  EXPECT_EQ(failure.code, ErrorCode::kDocumentTooLarge);
  EXPECT_EQ(failure.args,
            (std::vector<std::string>{big.path(), std::to_string(XmlDocument::kMaxDocumentBytes + 1),
                                      std::to_string(XmlDocument::kMaxDocumentBytes)}));
}

// --- depth -----------------------------------------------------------------------

// Level k of the nest (1 outermost) tests x > k - 1000 beside the next
// level, so the deeper a level the stricter its test; the innermost tests
// x < 10 and y = 1.
std::string NestedCompoundPredicates(int depth) {
  std::string open;
  std::string close;
  for (int level = 1; level < depth; ++level) {
    open += "<CompoundPredicate booleanOperator=\"and\"><SimplePredicate field=\"x\" "
            "operator=\"greaterThan\" value=\"" +
            std::to_string(level - 1000) + "\"/>";
    close += "</CompoundPredicate>";
  }
  return open +
         "<CompoundPredicate booleanOperator=\"and\">"
         "<SimplePredicate field=\"x\" operator=\"lessThan\" value=\"10\"/>"
         "<SimplePredicate field=\"y\" operator=\"equal\" value=\"1\"/></CompoundPredicate>" +
         close;
}

std::string DeepRule(int depth) {
  return Model("<SimpleRule id=\"deep\" score=\"high\" confidence=\"0.75\">" +
               NestedCompoundPredicates(depth) + "</SimpleRule>");
}

TEST(HostileDepth, HundredThousandLevelsAreRefusedWhileParsing) {
  std::string deepPredicates = Model("<SimpleRule id=\"r\" score=\"high\">" +
                                     NestedCompoundPredicates(100000) + "</SimpleRule>");
  std::string nest;
  for (int i = 0; i < 100000; ++i) nest += "<CompoundRule><True/>";
  for (int i = 0; i < 100000; ++i) nest += "</CompoundRule>";
  const std::string deepRules = Model(nest);
  const std::string* const texts[] = {&deepPredicates, &deepRules};
  for (const std::string* text : texts) {
    const Failure failure = FailureOf(*text);
    EXPECT_EQ(failure.code, ErrorCode::kXmlTooDeep);
    ASSERT_EQ(failure.args.size(), 4u);
    EXPECT_EQ(failure.args[0], "model.pmml");
    EXPECT_EQ(failure.args[3], std::to_string(XmlDocument::kMaxElementDepth));
  }
}

TEST(HostileDepth, PredicateNestingPastTheLimitHasItsOwnError) {
  const Failure failure = FailureOf(DeepRule(PMMLTranslator::kMaxPredicateDepth + 1));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundPredicate", "500"}));
}

// Translation, scoring, display and destruction of the deepest accepted
// model, on a worker thread, whose stack is no larger than the main one's.
TEST(HostileDepth, ModelAtTheLimitTranslatesAndScoresOnAWorkerThread) {
  std::vector<std::string> scores;
  std::string dump;
  std::thread worker([&] {
    std::unique_ptr<Loaded> loaded = Load(DeepRule(PMMLTranslator::kMaxPredicateDepth));
    if (loaded->model == nullptr) return;
    scores.push_back(Score(*loaded->model, 5, 1));      // every level holds
    scores.push_back(Score(*loaded->model, 5, 2));      // only the innermost fails
    scores.push_back(Score(*loaded->model, -500.5, 1)); // just above level 499's bound
    scores.push_back(Score(*loaded->model, -501, 1));   // only level 499 fails
    scores.push_back(Score(*loaded->model, NAN, 1));    // x missing: greaterThan is false
    std::ostringstream os;
    loaded->model->Display(os);
    dump = os.str();
  });
  worker.join();
  EXPECT_EQ(scores, (std::vector<std::string>{"high 0.75 deep", "low 0.25 ", "high 0.75 deep",
                                              "low 0.25 ", "low 0.25 "}));
  EXPECT_NE(dump.find("Rule ID: deep\n"), std::string::npos);
  EXPECT_NE(dump.find("End of SimpleRule\n"), std::string::npos);
}

// CompoundRule nests: level k (1 outermost) holds x > k - 1000; the rule
// inside the innermost one adds x < 10.
std::string NestedCompoundRules(int depth) {
  std::string text;
  for (int level = 1; level <= depth; ++level) {
    text += "<CompoundRule><SimplePredicate field=\"x\" operator=\"greaterThan\" value=\"" +
            std::to_string(level - 1000) + "\"/>";
  }
  text += "<SimpleRule id=\"inner\" score=\"high\" confidence=\"0.5\"><SimplePredicate "
          "field=\"x\" operator=\"lessThan\" value=\"10\"/></SimpleRule>";
  for (int level = 1; level <= depth; ++level) text += "</CompoundRule>";
  return text + "<SimpleRule id=\"after\" score=\"high\"><True/></SimpleRule>";
}

TEST(HostileDepth, CompoundRuleNestingIsBoundedLikePredicates) {
  const Failure failure = FailureOf(Model(NestedCompoundRules(PMMLTranslator::kMaxPredicateDepth + 1)));
  EXPECT_EQ(failure.code, ErrorCode::kNestingTooDeep);
  EXPECT_EQ(failure.args, (std::vector<std::string>{"CompoundRule", "500"}));

  std::vector<std::string> scores;
  std::thread worker([&] {
    std::unique_ptr<Loaded> loaded = Load(Model(NestedCompoundRules(PMMLTranslator::kMaxPredicateDepth)));
    if (loaded->model == nullptr) return;
    scores.push_back(Score(*loaded->model, 5, 0));
    scores.push_back(Score(*loaded->model, -499.5, 0));
    scores.push_back(Score(*loaded->model, -500, 0));  // only the innermost nest fails
    scores.push_back(Score(*loaded->model, 10, 0));    // the rule's own predicate fails
  });
  worker.join();
  EXPECT_EQ(scores, (std::vector<std::string>{"high 0.5 inner", "high 0.5 inner", "high 0 after",
                                              "high 0 after"}));
}

// --- broken XML ------------------------------------------------------------------

TEST(HostileXml, EveryPrefixOfAValidDocumentIsRefused) {
  const std::string full = Model(
      "<SimpleRule id=\"r\" score=\"high\"><SimplePredicate field=\"x\" operator=\"lessThan\" "
      "value=\"3\"/></SimpleRule>");
  ASSERT_EQ(FailureOf(full).code, 0);
  for (size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    const Failure failure = FailureOf(full.substr(0, length));
    ASSERT_TRUE(failure.code == ErrorCode::kXmlParse || failure.code == ErrorCode::kNoRoot)
        << failure.code << " " << failure.message;
  }
}

// No control characters, and well-formed UTF-8 sequences only.
bool IsPrintableUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) return false;
    if (c < 0x80) continue;
    const size_t more = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 0;
    if (more == 0 || i + more >= text.size()) return false;
    for (size_t k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += more;
  }
  return true;
}

TEST(HostileXml, MalformedDocumentsAreRefusedWithAPrintableMessage) {
  const std::string valid = Model("");
  const struct {
    const char* name;
    std::string text;
    int code;
    std::vector<std::string> args;
  } cases[] = {
      {"mismatched tag", "<PMML><DataDictionary></PMML>", ErrorCode::kXmlParse, {"1", "25"}},
      {"unclosed attribute", "<PMML>\n  <a x=\"1></a>\n</PMML>", ErrorCode::kXmlParse, {"2", "12"}},
      {"NUL byte", std::string("<PMML>\0</PMML>", 14), ErrorCode::kXmlParse, {"1", "7"}},
      {"NUL character reference", "<PMML a=\"&#0;\"/>", ErrorCode::kXmlParse, {"1", "14"}},
      {"invalid UTF-8 in an attribute", "<PMML a=\"\xff\xfe\x01\"/>", ErrorCode::kXmlParse, {"1", "1"}},
      {"invalid UTF-8 in text", "<PMML>\xFF\xFE</PMML>", ErrorCode::kXmlParse, {"1", "1"}},
      {"lone surrogate reference", "<PMML a=\"&#xD800;\"/>", ErrorCode::kXmlParse, {"1", "18"}},
      {"unknown encoding", "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><PMML/>",
       ErrorCode::kXmlParse, {"1", "50"}},
      {"undeclared entity", "<PMML>&undeclared;</PMML>", ErrorCode::kXmlParse, {"1", "19"}},
      {"two roots", "<PMML/><PMML/>", ErrorCode::kXmlParse, {"1", "8"}},
      {"text before the root", "text<PMML/>", ErrorCode::kXmlParse, {"1", "1"}},
      {"text after the root", valid + "trailing", ErrorCode::kXmlParse, {"6", "313"}},
      {"empty", "", ErrorCode::kNoRoot, {}},
      {"white space", "   \n", ErrorCode::kNoRoot, {}},
      {"only a declaration", "<?xml version=\"1.0\"?>", ErrorCode::kNoRoot, {}},
      {"only a comment", "<!-- nothing -->", ErrorCode::kNoRoot, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Failure failure = FailureOf(c.text);
    EXPECT_EQ(failure.code, c.code) << failure.message;
    EXPECT_TRUE(IsPrintableUtf8(failure.message)) << failure.message;
    // The file, and for a parse error the line, the column and the parser's words.
    ASSERT_EQ(failure.args.size(), c.args.empty() ? 1u : 4u);
    EXPECT_EQ(failure.args[0], "model.pmml");
    if (c.args.empty()) continue;
    EXPECT_EQ(failure.args[1], c.args[0]);
    EXPECT_EQ(failure.args[2], c.args[1]);
    EXPECT_FALSE(failure.args[3].empty());
  }
}

// --- numbers (the rule for number texts is rows of
// tests/data/scenarios/numbers.txt) ---------------------------------------------

TEST(HostileNumbers, HugeCountsSaturateWhenTruncated) {
  std::unique_ptr<Loaded> loaded = Load(Model(
      "<SimpleRule id=\"big\" score=\"high\" recordCount=\"1e300\" nbCorrect=\"-1e300\">"
      "<True/><ScoreDistribution value=\"high\" recordCount=\"1073741823.5\"/></SimpleRule>"
      "<SimpleRule id=\"edge\" score=\"high\" recordCount=\"2147483647.9\" nbCorrect=\"-2147483648.9\">"
      "<True/></SimpleRule>",
      "recordCount=\"1e300\" nbCorrect=\"1e300\" defaultScore=\"low\""));
  ASSERT_NE(loaded->model, nullptr);
  const std::vector<SimpleRule*>& rules = loaded->model->GetSimpleRules().at(0);
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules[0]->GetRecordCount(), INT_MAX);
  EXPECT_EQ(rules[0]->GetnbCorrect(), INT_MIN);
  ASSERT_EQ(rules[0]->GetAllValuePercent().size(), 1u);
  // The divisor is the whole count as a double: no conversion to int, so
  // neither an undefined one nor a saturated one.
  EXPECT_DOUBLE_EQ(rules[0]->GetAllValuePercent()[0].second, 1073741823.5 / 1e300);
  EXPECT_EQ(rules[1]->GetRecordCount(), INT_MAX);
  EXPECT_EQ(rules[1]->GetnbCorrect(), INT_MIN);
  EXPECT_EQ(loaded->model->GetRecordCount().at(0), 1e300);
  std::ostringstream dump;
  loaded->model->Display(dump);
  EXPECT_NE(dump.str().find("Total number of Records: 1e+300\n"), std::string::npos);
}

}  // namespace
}  // namespace KtZembra_940
