// Refusals that need more than a document (the documents refused with their
// codes, arguments and messages are rows of tests/data/scenarios/refusals.txt):
// the trace of a failing translation, the loader's places, an unknown
// encoding, and records the model cannot bind.
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreModel.h"
#include "host/ScoreResult.h"
#include "host/ScoringLog.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace KtZembra_940 {
namespace {

// One rule-set model over risk (high, low) and age, its one rule holding
// `body`.
std::string WithRule(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<PMML version=\"4.4\"><DataDictionary>"
         "<DataField name=\"risk\" optype=\"categorical\" dataType=\"string\"><Value value=\"high\"/>"
         "<Value value=\"low\"/></DataField><DataField name=\"age\" optype=\"continuous\" "
         "dataType=\"double\"/></DataDictionary><RuleSetModel functionName=\"classification\">"
         "<MiningSchema><MiningField name=\"risk\" usageType=\"predicted\"/><MiningField "
         "name=\"age\"/></MiningSchema><RuleSet defaultScore=\"low\"><SimpleRule id=\"r\" "
         "score=\"high\">" +
         body + "</SimpleRule></RuleSet></RuleSetModel></PMML>";
}

struct Outcome {
  int code = 0;
  std::vector<std::string> args;
  std::string message;
  std::string trace;
};

// Parses and translates with the trace log on; the model, if any, is
// destroyed at once.
Outcome Translate(const std::string& pmml, const std::string& encoding = "") {
  XmlPlatform platform;
  std::ostringstream trace;
  ScoringLog& log = ScoringLog::GetInstance();
  log.SetStream(&trace);
  log.SetLevel(1);
  Outcome outcome;
  try {
    std::unique_ptr<XmlDocument> document =
        XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "test.pmml");
    RuleSetTranslator translator;
    std::unique_ptr<ScoreModel> model(translator.ParseFromTree(
        document->GetDocument(), encoding.empty() ? document->GetEncoding() : encoding));
  } catch (const ZbException& e) {
    outcome.code = e.GetErrorCode();
    outcome.args = e.GetArguments();
    outcome.message = e.GetMessage();
  }
  log.SetLevel(0);
  log.SetStream(nullptr);
  outcome.trace = trace.str();
  return outcome;
}

TEST(ErrorCodes, TranslationStartsTracingBeforeItFails) {
  const Outcome outcome = Translate(WithRule(R"(<SimplePredicate field="nope" operator="equal" value="1"/>)"));
  EXPECT_EQ(outcome.code, ErrorCode::kUnknownField);
  EXPECT_EQ(outcome.trace.rfind("Enter:KtZembra_940::RuleSetTranslator::ParseFromTree\n", 0), 0u);
}

TEST(ErrorCodes, LoaderRefusalsNameTheFileAndPlace) {
  std::string deep = "<PMML>";
  for (int i = 0; i < XmlDocument::kMaxElementDepth; ++i) deep += "<a>";
  const Outcome tooDeep = Translate(deep);
  EXPECT_EQ(tooDeep.code, ErrorCode::kXmlTooDeep);
  ASSERT_EQ(tooDeep.args.size(), 4u);
  EXPECT_EQ(tooDeep.message, "test.pmml:1:" + tooDeep.args[2] + ": elements nest deeper than " +
                                 std::to_string(XmlDocument::kMaxElementDepth) + " levels");

  const Outcome broken = Translate("<PMML>\n  <DataDictionary>\n</PMML>");
  EXPECT_EQ(broken.code, ErrorCode::kXmlParse);
  ASSERT_EQ(broken.args.size(), 4u);
  EXPECT_EQ(broken.args[0], "test.pmml");
  EXPECT_EQ(broken.args[1], "3");
  EXPECT_EQ(broken.message,
            "test.pmml:3:" + broken.args[2] + ": " + broken.args[3]);
  EXPECT_FALSE(broken.args[3].empty());

  XmlPlatform platform;
  int code = 0;
  std::string message;
  try {
    XmlDocument::ParseFile("/nonexistent/dir/model.pmml");
  } catch (const ZbException& e) {
    code = e.GetErrorCode();
    message = e.GetMessage();
  }
  EXPECT_EQ(code, ErrorCode::kFileUnreadable);
  EXPECT_EQ(message, "/nonexistent/dir/model.pmml: cannot read the file: No such file or directory");
}

TEST(ErrorCodes, UnknownEncodingNameIsRefusedByTheTranscoder) {
  const Outcome outcome = Translate(WithRule("<True/>"), "x-no-such-encoding");
  EXPECT_EQ(outcome.code, ErrorCode::kTranscoder);
  ASSERT_FALSE(outcome.args.empty());
  EXPECT_EQ(outcome.args[0], "x-no-such-encoding");
  EXPECT_EQ(outcome.message.rfind("No transcoder for the encoding \"x-no-such-encoding\": ", 0), 0u);
}

TEST(ErrorCodes, ScoringARecordWithoutLayoutIsRefusedByStatus) {
  XmlPlatform platform;
  const std::string pmml = WithRule("<True/>");
  std::unique_ptr<XmlDocument> document =
      XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "test.pmml");
  RuleSetTranslator translator;
  std::unique_ptr<ScoreModel> model(
      translator.ParseFromTree(document->GetDocument(), document->GetEncoding()));
  ASSERT_NE(model, nullptr);
  ScoreCaseRecord empty;
  ScoreResult* result = nullptr;
  const KtScore::KtStatus status = model->GetScore(&empty, result, false);
  EXPECT_TRUE(status.IsError());
  EXPECT_EQ(status.GetErrorCode(), ErrorCode::kNotScorable);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(model->GetScore(nullptr, result, false).GetErrorCode(), 90029);
  delete result;
}

}  // namespace
}  // namespace KtZembra_940
