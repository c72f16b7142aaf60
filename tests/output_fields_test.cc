// Output fields and the document's own verification records: the columns
// the tool writes for a model's OutputFields (CSV and JSON Lines), the
// features it refuses at load time, and `check` scoring a ModelVerification
// table that matches and one that does not.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/ErrorCodes.h"
#include "host/ScoreCaseRecord.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "support/TranslatedDocument.h"

namespace {

namespace fs = std::filesystem;
namespace K = KtZembra_940;

// First hit over risk {high, low}: R1 carries a distribution over its
// record count, R2 one without a record count (shares of its own counts),
// R3 none; the default is low.
std::string Model(const std::string& output, const std::string& verification = "",
                  const std::string& algorithm = "") {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <DataDictionary>
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high" displayValue="High risk"/><Value value="low"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="job" optype="categorical" dataType="string">
      <Value value="a"/><Value value="b"/>
    </DataField>
  </DataDictionary>
  <RuleSetModel functionName="classification")" +
         algorithm + R"(>
    <MiningSchema>
      <MiningField name="risk" usageType="target"/>
      <MiningField name="age"/>
      <MiningField name="job"/>
    </MiningSchema>
)" + output + verification +
         R"(
    <RuleSet defaultScore="low" defaultConfidence="0.4">
      <RuleSelectionMethod criterion="firstHit"/>
      <SimpleRule id="R1" score="high" recordCount="10" confidence="0.8">
        <SimplePredicate field="age" operator="greaterThan" value="60"/>
        <ScoreDistribution value="high" recordCount="8"/>
        <ScoreDistribution value="low" recordCount="2"/>
      </SimpleRule>
      <SimpleRule id="R2" score="low" confidence="0.6">
        <SimplePredicate field="job" operator="equal" value="b"/>
        <ScoreDistribution value="low" recordCount="3"/>
        <ScoreDistribution value="high" recordCount="1"/>
      </SimpleRule>
      <SimpleRule id="R3" score="high" confidence="0.7">
        <SimplePredicate field="job" operator="equal" value="a"/>
      </SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";
}

const char kAllFeatures[] = R"(    <Output>
      <OutputField name="pred" feature="predictedValue"/>
      <OutputField name="shown" feature="predictedDisplayValue"/>
      <OutputField name="conf" feature="confidence"/>
      <OutputField name="p_high" feature="probability" value="high"/>
      <OutputField name="p_low" feature="probability" value="low"/>
      <OutputField name="rule" feature="ruleValue" ruleFeature="ruleId"/>
      <OutputField name="entity" feature="entityId"/>
      <OutputField name="note" feature="warning"/>
      <OutputField name="hidden" feature="confidence" isFinalResult="false"/>
      <OutputField name="conf_low" feature="confidence" value="low"/>
    </Output>
)";

const char kInput[] = "age,job\n70,a\n30,b\n30,a\n30,zzz\n,\n";

// Rows 1 and 2 hold; row 3 expects the wrong category and row 4 a
// probability outside the field's precision.
const char kVerification[] = R"(    <ModelVerification recordCount="4">
      <VerificationFields>
        <VerificationField field="age"/>
        <VerificationField field="job" column="data:job"/>
        <VerificationField field="risk" column="expected"/>
        <VerificationField field="p_high" precision="0.01"/>
      </VerificationFields>
      <InlineTable>
        <row><age>70</age><data:job>a</data:job><expected>high</expected><p_high>0.801</p_high></row>
        <row><age>30</age><data:job>b</data:job><expected>low</expected><p_high>0.25</p_high></row>
        <row><age>30</age><data:job>a</data:job><expected>low</expected><p_high>1</p_high></row>
        <row><age>30</age><data:job>zzz</data:job><expected>low</expected><p_high>0.1</p_high></row>
      </InlineTable>
    </ModelVerification>
)";

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class OutputFieldsTool : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rulescore_output_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  std::string Put(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  RunResult Run(const std::string& args) {
    const std::string command = std::string("'") + RULESCORE_TOOL_PATH + "' " + args + " >'" +
                                dir_ + "/out' 2>'" + dir_ + "/err' </dev/null";
    const int status = std::system(command.c_str());
    RunResult result;
    if (status != -1 && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.out = ReadFile(dir_ + "/out");
    result.err = ReadFile(dir_ + "/err");
    return result;
  }

  std::string dir_;
};

TEST_F(OutputFieldsTool, CsvColumnsFollowTheStandardOnes) {
  const std::string model = Put("m.pmml", Model(kAllFeatures));
  const std::string data = Put("in.csv", kInput);
  const RunResult r = Run("score " + model + " " + data);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "age,job,prediction,confidence,winning_rule,fired_rules,"
            "pred,shown,conf,p_high,p_low,rule,entity,note,conf_low\n"
            "70,a,high,0.8,R1,R1,high,High risk,0.8,0.8,0.2,R1,R1,,0\n"
            "30,b,low,0.6,R2,R2,low,low,0.6,0.25,0.75,R2,R2,,0.6\n"
            "30,a,high,0.7,R3,R3,high,High risk,0.7,1,0,R3,R3,,0\n"
            "30,zzz,low,0.4,,,low,low,0.4,0,1,,,the value of job is none of its categories,0.4\n"
            ",,low,0.4,,,low,low,0.4,0,1,,,,0.4\n");
}

TEST_F(OutputFieldsTool, JsonLinesMembersFollowTheStandardOnes) {
  const std::string model = Put("m.pmml", Model(kAllFeatures));
  const std::string data = Put("in.csv", "age,job\n70,a\n30,zzz\n30,\n");
  const RunResult r = Run("score --format jsonl " + model + " " + data);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "{\"prediction\": \"high\", \"confidence\": 0.8, \"winning_rule\": \"R1\", "
            "\"fired_rules\": [\"R1\"], \"pred\": \"high\", \"shown\": \"High risk\", "
            "\"conf\": 0.8, \"p_high\": 0.8, \"p_low\": 0.2, \"rule\": \"R1\", \"entity\": \"R1\", "
            "\"note\": null, \"conf_low\": 0}\n"
            "{\"prediction\": \"low\", \"confidence\": 0.4, \"winning_rule\": null, "
            "\"fired_rules\": [], \"pred\": \"low\", \"shown\": \"low\", \"conf\": 0.4, "
            "\"p_high\": 0, \"p_low\": 1, \"rule\": null, \"entity\": null, "
            "\"note\": \"the value of job is none of its categories\", \"conf_low\": 0.4}\n"
            "{\"prediction\": \"low\", \"confidence\": 0.4, \"winning_rule\": null, "
            "\"fired_rules\": [], \"pred\": \"low\", \"shown\": \"low\", \"conf\": 0.4, "
            "\"p_high\": 0, \"p_low\": 1, \"rule\": null, \"entity\": null, \"note\": null, "
            "\"conf_low\": 0.4}\n");
}

TEST_F(OutputFieldsTool, DecisionListGivesNoConfidence) {
  const std::string output = R"(    <Output>
      <OutputField name="conf" feature="confidence"/>
      <OutputField name="p" feature="probability"/>
    </Output>
)";
  const std::string model = Put("m.pmml", Model(output, "", " algorithmName=\"DecisionList\""));
  const std::string data = Put("in.csv", "age,job\n70,a\n30,b\n");
  const RunResult r = Run("score " + model + " " + data);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "age,job,prediction,confidence,winning_rule,fired_rules,conf,p\n"
            "70,a,high,,R1,R1,,0.8\n"
            "30,b,low,,R2,R2,,0.75\n");
}

TEST_F(OutputFieldsTool, CheckReportsEveryDifferenceAndFails) {
  const std::string model = Put("m.pmml", Model(kAllFeatures, kVerification));
  const RunResult r = Run("check " + model);
  EXPECT_EQ(r.status, 1) << r.err;
  // Natively, check also names why --semantics pmml would score otherwise.
  const std::string tail =
      "warning: under --semantics pmml an absent weight or confidence is 1, not 0 (3 rules lack one)\n"
      "warning: under --semantics pmml a value outside the declared Values or Intervals of job is "
      "invalid (invalidValueTreatment, by default returnInvalid)\n"
      "warning: under --semantics pmml a comparison on a missing value is UNKNOWN, not true or "
      "false (fields age, job)\n"
      "verification: record 3: risk: expected \"low\", got \"high\"\n"
      "verification: record 4: p_high: expected \"0.1\", got \"0\"\n"
      "verification: 2 of 4 records match\n";
  ASSERT_GE(r.out.size(), tail.size());
  EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail) << r.out;
}

TEST_F(OutputFieldsTool, CheckPassesWhenEveryRecordMatches) {
  // Within precision (relative) and zeroThreshold, an empty cell expecting
  // no value, and a column the table leaves out of a record.
  const std::string verification = R"(    <ModelVerification>
      <VerificationFields>
        <VerificationField field="age"/>
        <VerificationField field="job"/>
        <VerificationField field="risk"/>
        <VerificationField field="p_low" precision="0.1" zeroThreshold="0.001"/>
        <VerificationField field="rule"/>
      </VerificationFields>
      <InlineTable>
        <row><age>70</age><job>a</job><risk>high</risk><p_low>0.21</p_low><rule>R1</rule></row>
        <row><age>30</age><job>a</job><risk>high</risk><p_low>0.0009</p_low><rule>R3</rule></row>
        <row><age>30</age><job>zzz</job><risk>low</risk><p_low>1</p_low><rule></rule></row>
        <row><job>b</job><risk>low</risk></row>
      </InlineTable>
    </ModelVerification>
)";
  const std::string model = Put("m.pmml", Model(kAllFeatures, verification));
  const RunResult r = Run("check " + model);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("false (fields age, job)\nverification: 4 of 4 records match\n"),
            std::string::npos)
      << r.out;
}

TEST_F(OutputFieldsTool, CheckNamesWhatItCannotCompare) {
  const std::string verification = R"(    <ModelVerification>
      <VerificationFields>
        <VerificationField field="age"/>
        <VerificationField field="p_high" precision="0.5" zeroThreshold="0"/>
        <VerificationField field="nothing"/>
      </VerificationFields>
      <InlineTable><row><age>70</age><p_high>0</p_high><nothing>1</nothing></row></InlineTable>
    </ModelVerification>
)";
  const std::string model = Put("m.pmml", Model(kAllFeatures, verification));
  const RunResult r = Run("check " + model);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("verification: field \"nothing\" is no input, target or output field of "
                       "the model\n"),
            std::string::npos)
      << r.out;

  // A zero threshold of 0: an expected 0 must be exactly 0.
  const std::string strict = R"(    <ModelVerification>
      <VerificationFields>
        <VerificationField field="age"/>
        <VerificationField field="p_low" zeroThreshold="0"/>
      </VerificationFields>
      <InlineTable><row><age>70</age><p_low>0</p_low></row></InlineTable>
    </ModelVerification>
)";
  const RunResult s = Run("check " + Put("s.pmml", Model(kAllFeatures, strict)));
  EXPECT_EQ(s.status, 1);
  EXPECT_NE(s.out.find("verification: record 1: p_low: expected \"0\", got \"0.2\"\n"
                       "verification: 0 of 1 record match\n"),
            std::string::npos)
      << s.out;
}

TEST_F(OutputFieldsTool, NoOutputKeepsTheStandardColumnsAndCheckSaysNothingMore) {
  const std::string model = Put("m.pmml", Model(""));
  const std::string data = Put("in.csv", "age,job\n70,a\n");
  const RunResult r = Run("score " + model + " " + data);
  EXPECT_EQ(r.out, "age,job,prediction,confidence,winning_rule,fired_rules\n70,a,high,0.8,R1,R1\n");
  const RunResult c = Run("check " + model);
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(c.out.find("verification"), std::string::npos);
}

TEST_F(OutputFieldsTool, UnsupportedFeatureIsRefusedAtLoad) {
  const std::string model = Put("m.pmml", Model(R"(<Output><OutputField name="r" feature="reasonCode"/></Output>)"));
  const RunResult r = Run("check " + model);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "rulescore: " + model +
                       ":18: error 260230: Output field \"r\": the feature \"reasonCode\" is not "
                       "supported\n");
}

struct Refusal {
  const char* output;
  int code;
  std::vector<std::string> args;
};

TEST(OutputFieldsTranslation, RefusesWhatItCannotCompute) {
  const Refusal cases[] = {
      {R"(<OutputField name="t" feature="transformedValue"><Apply function="vendorScore"><FieldRef field="age"/></Apply></OutputField>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its expression calls the unknown function \"vendorScore\""}},
      {R"(<OutputField name="t" feature="transformedValue"><Apply function="+"><FieldRef field="age"/></Apply></OutputField>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its expression: Apply calls + with 1 argument"}},
      {R"(<OutputField name="t" feature="transformedValue"><FieldRef field="later"/></OutputField><OutputField name="later"/>)",
       K::ErrorCode::kUnknownField,
       {"later", "FieldRef"}},
      {R"(<OutputField name="t" feature="transformedValue"/>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its transformedValue has no expression"}},
      {R"(<OutputField name="t" feature="transformedValue" dataType="decimal"><Constant>1</Constant></OutputField>)",
       K::ErrorCode::kBadOutputField,
       {"t", "its dataType \"decimal\" is not known"}},
      {R"(<OutputField name="a" feature="ruleValue" ruleFeature="antecedent"/>)",
       K::ErrorCode::kOutputFeature,
       {"a", "ruleValue/antecedent"}},
      {R"(<OutputField name="x" feature="residual"/>)", K::ErrorCode::kOutputFeature, {"x", "residual"}},
      {R"(<OutputField name="p"/><OutputField name="p" feature="probability"/>)",
       K::ErrorCode::kBadOutputField,
       {"p", "it is declared more than once"}},
      {R"(<OutputField name="p" targetField="age"/>)",
       K::ErrorCode::kBadOutputField,
       {"p", "its targetField \"age\" is not the model's target"}},
      {R"(<OutputField feature="confidence"/>)", K::ErrorCode::kMissingAttribute, {"OutputField", "name"}},
  };
  for (const Refusal& c : cases) {
    const auto failure = K::testing_support::TranslationFailureOf(
        Model(std::string("<Output>") + c.output + "</Output>"), "output.pmml");
    EXPECT_EQ(failure.code, c.code) << c.output;
    EXPECT_EQ(failure.args, c.args) << c.output;
  }
  // The model's own target named is accepted.
  EXPECT_EQ(K::testing_support::TranslationFailureOf(
                Model(R"(<Output><OutputField name="p" targetField="risk"/></Output>)"), "output.pmml")
                .code,
            0);
}

TEST(OutputFieldsTranslation, ResultCarriesNamesAndDropsThemForAModelWithout) {
  auto with = K::testing_support::TranslateDocument(Model(kAllFeatures), "with.pmml");
  auto without = K::testing_support::TranslateDocument(Model(""), "without.pmml");
  K::ScoreCaseRecord record;
  record.SetLayout({"age", "job"});
  record.SetNumber(0, 70);
  record.SetText(1, "a");
  K::ScoreResult* result = nullptr;
  ASSERT_FALSE(with->model->GetScore(&record, result, false).IsError());
  auto* rules = static_cast<K::RuleSetResult*>(result);
  const std::vector<std::string> names{"pred", "shown", "conf", "p_high", "p_low",
                                       "rule", "entity", "note", "conf_low"};
  EXPECT_EQ(rules->GetOutputNames(), names);
  ASSERT_EQ(rules->GetOutputValues().size(), names.size());
  EXPECT_EQ(rules->GetOutputValues()[3].kind, K::RuleSetResult::OutputValue::kNumber);
  EXPECT_DOUBLE_EQ(rules->GetOutputValues()[3].number, 0.8);
  EXPECT_EQ(rules->GetOutputValues()[7].kind, K::RuleSetResult::OutputValue::kMissing);

  // The names outlive the model that wrote them.
  with.reset();
  EXPECT_EQ(rules->GetOutputNames(), names);

  ASSERT_FALSE(without->model->GetScore(&record, result, false).IsError());
  EXPECT_TRUE(static_cast<K::RuleSetResult*>(result)->GetOutputNames().empty());
  EXPECT_TRUE(static_cast<K::RuleSetResult*>(result)->GetOutputValues().empty());
  delete result;
}

// transformedValue: expressions over the record's fields and the output
// fields before them (a hidden one included), with a missing input, a
// mapMissingTo and a defaultValue, record by record.
TEST(OutputFieldsTranslation, TransformedValuesFollowTheirExpressions) {
  const char output[] = R"(<Output>
      <OutputField name="conf" feature="confidence" isFinalResult="false"/>
      <OutputField name="pct" feature="transformedValue" dataType="double">
        <Apply function="*"><FieldRef field="conf"/><Constant>100</Constant></Apply></OutputField>
      <OutputField name="rule" feature="ruleId"/>
      <OutputField name="tag" feature="transformedValue">
        <Apply function="concat"><FieldRef field="rule"/><Constant>:</Constant><FieldRef field="job"/></Apply>
      </OutputField>
      <OutputField name="scaled" feature="transformedValue">
        <NormContinuous field="age" mapMissingTo="-1"><LinearNorm orig="0" norm="0"/><LinearNorm orig="100" norm="1"/></NormContinuous>
      </OutputField>
      <OutputField name="band" feature="transformedValue">
        <Discretize field="age" defaultValue="young"><DiscretizeBin binValue="old"><Interval closure="openClosed" leftMargin="60"/></DiscretizeBin></Discretize>
      </OutputField>
      <OutputField name="letter" feature="transformedValue">
        <MapValues outputColumn="out"><FieldColumnPair field="job" column="in"/><InlineTable><row><in>a</in><out>A</out></row></InlineTable></MapValues>
      </OutputField>
      <OutputField name="twice" feature="transformedValue" dataType="integer">
        <Apply function="*"><FieldRef field="age"/><Constant>2.5</Constant></Apply></OutputField>
    </Output>
)";
  auto doc = K::testing_support::TranslateDocument(Model(output), "transformed.pmml");
  ASSERT_NE(doc->model, nullptr);
  struct Row {
    const char* age;  // empty: missing
    const char* job;
    const char* expected;
  };
  const Row rows[] = {
      {"70", "a", "pct=80 rule=R1 tag=R1:a scaled=0.7 band=old letter=A twice=175"},
      {"30", "b", "pct=60 rule=R2 tag=R2:b scaled=0.3 band=young letter=- twice=75"},
      {"", "", "pct=40 rule=- tag=- scaled=-1 band=- letter=- twice=-"},
  };
  K::ScoreCaseRecord record;
  record.SetLayout({"age", "job"});
  K::ScoreResult* result = nullptr;
  for (const Row& row : rows) {
    record.Clear();
    if (*row.age != '\0') record.SetNumber(0, std::stod(row.age));
    if (*row.job != '\0') record.SetText(1, row.job);
    ASSERT_FALSE(doc->model->GetScore(&record, result, false).IsError());
    const auto* rules = static_cast<K::RuleSetResult*>(result);
    std::ostringstream shown;
    for (size_t i = 0; i < rules->GetOutputNames().size(); ++i) {
      const K::RuleSetResult::OutputValue& value = rules->GetOutputValues()[i];
      shown << (i > 0 ? " " : "") << rules->GetOutputNames()[i] << "=";
      if (value.kind == K::RuleSetResult::OutputValue::kNumber) shown << value.number;
      if (value.kind == K::RuleSetResult::OutputValue::kText) shown << value.text;
      if (value.kind == K::RuleSetResult::OutputValue::kMissing) shown << "-";
    }
    EXPECT_EQ(shown.str(), row.expected);
  }
  delete result;
}

}  // namespace
