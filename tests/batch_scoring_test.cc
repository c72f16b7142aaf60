// Columnar scoring against GetScore: random documents (every selection
// method, several rule sets voting, simple, set and compound predicates,
// declared missing values) over random rows given as number and code
// columns must give, row by row, exactly what GetScore gives for a record
// holding the same cells: prediction, confidence, winning and fired rules,
// output fields (transformed values included), through the model and
// through a pool on one and two threads, under both semantics (pmml
// documents add random MiningField treatments and an Interval, and their
// invalid rows must carry GetScore's error). Then the
// rows a batch refuses, missing columns, NaN, concurrent callers and the
// absence of per-row allocation.
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/BatchScoreColumns.h"
#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/ErrorCodes.h"
#include "host/ModelPool.h"
#include "host/NumberText.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreValue.h"
#include "model/RuleSetModel.h"
#include "scoring/RuleSetResult.h"
#include "tests/support/CountingHeap.h"
#include "tests/support/TranslatedDocument.h"

namespace {
bool gCountAllocations = false;
long gAllocations = 0;
}  // namespace

void NoteAllocation() {
  if (gCountAllocations) ++gAllocations;
}

namespace KtZembra_940 {
namespace {

using testing_support::TranslateDocument;
using testing_support::TranslatedDocument;

// x0 and x1 are numbers (x1 declares -1 missing), s0 a string with declared
// values and "NA" missing, s1 a string whose texts come from the rules only.
const char kHead[] = R"(<?xml version="1.0"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <DataDictionary numberOfFields="5">
    <DataField name="y" optype="categorical" dataType="string">
      <Value value="c0"/><Value value="c1"/><Value value="c2"/>
    </DataField>
    <DataField name="x0" optype="continuous" dataType="double"/>
    <DataField name="x1" optype="continuous" dataType="double">
      <Value value="-1" property="missing"/>
    </DataField>
    <DataField name="s0" optype="categorical" dataType="string">
      <Value value="a"/><Value value="b"/><Value value="c"/><Value value="NA" property="missing"/>
    </DataField>
    <DataField name="s1" optype="categorical" dataType="string"/>
  </DataDictionary>
)";

// Output fields of every kind the batch carries: a hidden one, and
// expressions over a record field and the fields before them.
const char kOutput[] = R"(    <Output>
      <OutputField name="o_pred" feature="predictedValue"/>
      <OutputField name="o_conf" feature="confidence" isFinalResult="false"/>
      <OutputField name="o_p1" feature="probability" value="c1"/>
      <OutputField name="o_rule" feature="ruleId"/>
      <OutputField name="o_warn" feature="warning"/>
      <OutputField name="o_sum" feature="transformedValue">
        <Apply function="+"><FieldRef field="x0"/><FieldRef field="o_conf"/></Apply></OutputField>
      <OutputField name="o_tag" feature="transformedValue" dataType="string">
        <Apply function="concat"><FieldRef field="o_pred"/><FieldRef field="s0"/></Apply></OutputField>
    </Output>
)";

const char* const kCriteria[] = {"firstHit", "weightedSum", "weightedMax"};
const char* const kCompare[] = {"equal",       "notEqual",       "lessThan",  "lessOrEqual",
                                "greaterThan", "greaterOrEqual", "isMissing", "isNotMissing"};
const double kNumbers[] = {-1.0, 0.0, 0.5, 1.0, 2.5, 3.0};
// Texts of s0's predicates (its declared values) and of s1's (any).
const char* const kTexts[] = {"a", "b", "c", "d", "1", "2"};
const char* Text(bool declared, int k) { return declared ? kTexts[k % 3] : kTexts[k]; }

class DocumentMaker {
 public:
  // `pmml`: a document for the pmml semantics, whose mining fields carry
  // random treatments and whose x0 may declare an Interval.
  explicit DocumentMaker(uint32_t seed, bool pmml = false) : random_(seed), pmml_(pmml) {}

  std::string Make() {
    std::ostringstream out;
    std::string head = kHead;
    if (pmml_ && Pick(2) == 0) {
      const std::string plain = R"(dataType="double"/>)";
      head.replace(head.find(plain), plain.size(),
                   R"(dataType="double"><Interval closure="closedOpen" leftMargin="0" rightMargin="3"/></DataField>)");
    }
    out << head;
    // Some pmml documents read x0 alone, a plain number field, by one
    // first-hit rule set (the columnar entry's block walk).
    onlyX0_ = pmml_ && Pick(3) == 0;
    const int sets = onlyX0_ || Pick(3) != 0 ? 1 : 3;
    for (int m = 0; m < sets; ++m) {
      out << "  <RuleSetModel functionName=\"classification\">\n"
          << "    <MiningSchema><MiningField name=\"y\" usageType=\"predicted\"/>";
      for (const char* field : {"x0", "x1", "s0", "s1"}) {
        out << "<MiningField name=\"" << field << "\"";
        if (pmml_) Treatments(out, field[0] == 's');
        out << "/>";
      }
      out << "</MiningSchema>\n";
      if (m == 0 && Pick(2) == 0) out << kOutput;
      out
          << "    <RuleSet defaultScore=\"c" << Pick(3) << "\" defaultConfidence=\"0."
          << 1 + Pick(9) << "\">\n"
          << "      <RuleSelectionMethod criterion=\"" << kCriteria[onlyX0_ ? 0 : Pick(3)] << "\"/>\n";
      const int rules = 1 + Pick(12);
      for (int r = 0; r < rules; ++r) {
        out << "      <SimpleRule id=\"R" << m << "_" << r << "\" score=\"c" << Pick(3)
            << "\" weight=\"" << Pick(5) << ".5\" confidence=\"0." << Pick(10) << "\">\n        ";
        Predicate(out);
        out << "\n      </SimpleRule>\n";
      }
      out << "    </RuleSet>\n  </RuleSetModel>\n";
    }
    out << "</PMML>\n";
    return out.str();
  }

  int Pick(int n) { return static_cast<int>(random_() % static_cast<uint32_t>(n)); }

 private:
  // Random MiningField treatments of a field (`text`: a string field).
  void Treatments(std::ostringstream& out, bool text) {
    static const char* const kInvalid[] = {"returnInvalid", "asIs", "asMissing", "asValue"};
    const int invalid = Pick(5);
    if (invalid < 4) out << " invalidValueTreatment=\"" << kInvalid[invalid] << "\"";
    if (invalid == 3) out << " invalidValueReplacement=\"" << (text ? "b" : "1") << "\"";
    if (Pick(2) == 0) out << " missingValueReplacement=\"" << (text ? "c" : "0.5") << "\"";
    if (!text && Pick(2) == 0) {
      out << " outliers=\"" << (Pick(2) == 0 ? "asMissingValues" : "asExtremeValues")
          << "\" lowValue=\"0\" highValue=\"2\"";
    }
  }

  // A rule's predicate: True, a simple or set predicate, or a compound of
  // two or three simple predicates on distinct fields.
  void Predicate(std::ostringstream& out) {
    const int kind = Pick(5);
    if (onlyX0_) {
      if (kind == 0) {
        out << "<True/>";
      } else {
        Simple(out, 0);
      }
    } else if (kind == 0) {
      out << "<True/>";
    } else if (kind == 1 || kind == 2) {
      Simple(out, Pick(4));
    } else if (kind == 3) {
      const bool declared = Pick(2) == 0;
      out << "<SimpleSetPredicate field=\"s" << (declared ? 0 : 1) << "\" booleanOperator=\""
          << (Pick(2) == 0 ? "isIn" : "isNotIn") << "\"><Array n=\"2\" type=\"string\">"
          << Text(declared, Pick(6)) << " " << Text(declared, Pick(6))
          << "</Array></SimpleSetPredicate>";
    } else {
      static const char* const kOps[] = {"and", "or", "xor"};
      out << "<CompoundPredicate booleanOperator=\"" << kOps[Pick(3)] << "\">";
      const int members = 2 + Pick(2);
      const int first = Pick(4);
      for (int k = 0; k < members; ++k) Simple(out, (first + k) % 4);
      out << "</CompoundPredicate>";
    }
  }

  // A simple predicate on field x0, x1, s0 or s1 (0 to 3).
  void Simple(std::ostringstream& out, int field) {
    static const char* const kFields[] = {"x0", "x1", "s0", "s1"};
    const bool text = field >= 2;
    const char* op = kCompare[Pick(text ? 2 : 8)];
    if (text && Pick(4) == 0) op = kCompare[6 + Pick(2)];
    out << "<SimplePredicate field=\"" << kFields[field] << "\" operator=\"" << op << "\"";
    if (std::string(op).find("Missing") == std::string::npos) {
      out << " value=\"";
      if (text) {
        out << Text(field == 2, Pick(6));
      } else {
        out << kNumbers[Pick(6)];
      }
      out << "\"";
    }
    out << "/>";
  }

  std::mt19937 random_;
  bool pmml_;
  bool onlyX0_ = false;
};

// Random rows as the batch columns hold them: x0 numbers with a missing
// mask and NaN, x1 texts (numbers, a declared missing one, one that is no
// number), s0 texts as codes with negative codes for missing, s1 numbers.
struct Rows {
  explicit Rows(size_t n, uint32_t seed) : x0(n), x0Missing(n), x1(n), s0(n), s1(n) {
    std::mt19937 random(seed);
    for (size_t r = 0; r < n; ++r) {
      const uint32_t a = random() % 8;
      x0[r] = a < 6 ? kNumbers[a] : std::nan("");
      x0Missing[r] = a == 7 ? 1 : 0;
      x1[r] = static_cast<int32_t>(random() % (x1Texts.size() + 1)) - 1;
      s0[r] = static_cast<int32_t>(random() % (s0Texts.size() + 1)) - 1;
      s1[r] = static_cast<double>(random() % 3);
    }
  }
  void AddTo(ColumnBatch& batch) const {
    batch.AddCodes("s0", s0.data(), s0Texts);
    batch.AddNumbers("x0", x0.data(), x0Missing.data());
    batch.AddNumbers("unused", x0.data());
    batch.AddCodes("x1", x1.data(), x1Texts);
    batch.AddNumbers("s1", s1.data());
  }
  // The same row as the tool would put it in a record; false when the row
  // is refused: a text that is no number in x1, when the rules read x1
  // (natively; under pmml the record holds the text).
  bool Fill(size_t r, ScoreCaseRecord& record, bool readsX1, bool pmml) const {
    record.Clear();
    if (x0Missing[r] != 0) {
      record.SetMissing(0);
    } else {
      record.SetNumber(0, x0[r]);
    }
    if (x1[r] >= 0) {
      double value = 0.0;
      if (NumberText::ParseDouble(x1Texts[static_cast<size_t>(x1[r])], &value)) {
        record.SetNumber(1, value);
      } else if (pmml) {
        record.SetText(1, x1Texts[static_cast<size_t>(x1[r])]);
      } else if (readsX1) {
        return false;
      }
    }
    if (s0[r] >= 0) record.SetText(2, s0Texts[static_cast<size_t>(s0[r])]);
    record.SetNumber(3, s1[r]);
    return true;
  }

  std::vector<double> x0;
  std::vector<uint8_t> x0Missing;
  std::vector<int32_t> x1;
  std::vector<int32_t> s0;
  std::vector<double> s1;
  std::vector<std::string> x1Texts{"0.5", "2.5", "-1", "oops", "3"};
  std::vector<std::string> s0Texts{"a", "b", "c", "d", "NA", "1"};
};

// Result columns whose predictions start as -7, so that a row the entry
// leaves unwritten shows.
struct Output : BatchScoreColumns {
  explicit Output(size_t n) : BatchScoreColumns(n, 0) { prediction.assign(n, -7); }
  // Keeps the values of `fields` output fields per row.
  void Keep(size_t fields) { outputs.resize(prediction.size() * fields); }
};

bool SameDouble(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

// Every row of `out` against GetScore on `reference`.
void ExpectSameAsGetScore(RuleSetModel& reference, const ScoreModel& batchModel, const Rows& rows,
                          const Output& out, const std::string& pmml) {
  const std::vector<const ScoreValue*> categories = batchModel.GetBatchCategories();
  const std::vector<std::string> ids = batchModel.GetBatchRuleIds();
  ScoreCaseRecord record({"x0", "x1", "s0", "s1"});
  ScoreResult* result = nullptr;
  bool readsX1 = false;
  for (const ScoreDictVar* var : reference.GetPredVars()) readsX1 = readsX1 || var->Name() == "x1";
  const bool underPmml = reference.GetSemantics() == RuleSetModel::pmml;
  const char* const columnNames[] = {"s0", "x0", "unused", "x1", "s1"};
  size_t next = 0;
  for (size_t r = 0; r < rows.x0.size(); ++r) {
    SCOPED_TRACE("row " + std::to_string(r) + " of\n" + pmml);
    const int32_t count = out.firedCount[r];
    ASSERT_GE(count, 0);
    std::vector<std::string> fired;
    for (int32_t k = 0; k < count; ++k) fired.push_back(ids.at(static_cast<size_t>(out.fired.at(next++))));
    if (!rows.Fill(r, record, readsX1, underPmml)) {
      EXPECT_EQ(out.status[r], BatchScores::kNotANumber);
      EXPECT_EQ(out.errorColumn[r], 3);
      EXPECT_EQ(out.prediction[r], -1);
      EXPECT_EQ(count, 0);
      continue;
    }
    const KtScore::KtStatus status = reference.GetScore(&record, result, false);
    const auto* expected = static_cast<const RuleSetResult*>(result);
    if (status.IsError()) {
      // An invalid value under returnInvalid: the row is kept, unscored,
      // and names the column GetScore's error names.
      ASSERT_EQ(status.GetErrorCode(), ErrorCode::kInvalidInput);
      ASSERT_EQ(out.status[r], BatchScores::kInvalidValue);
      ASSERT_GE(out.errorColumn[r], 0);
      ASSERT_LT(out.errorColumn[r], 5);
      EXPECT_EQ(expected->GetErrorText().rfind(std::string("Field ") + columnNames[out.errorColumn[r]] + ":", 0), 0u)
          << expected->GetErrorText();
      EXPECT_EQ(out.prediction[r], -1);
      EXPECT_EQ(count, 0);
      EXPECT_EQ(out.winningRule[r], -1);
      continue;
    }
    ASSERT_EQ(out.status[r], BatchScores::kScored);
    EXPECT_EQ(out.errorColumn[r], -1);
    if (expected->GetPrediction() == nullptr) {
      EXPECT_EQ(out.prediction[r], -1);
    } else {
      ASSERT_GE(out.prediction[r], 0);
      EXPECT_EQ(categories.at(static_cast<size_t>(out.prediction[r]))->GetString(),
                expected->GetPrediction()->GetString());
    }
    EXPECT_TRUE(SameDouble(out.confidence[r], expected->GetConfidence()))
        << out.confidence[r] << " vs " << expected->GetConfidence();
    EXPECT_EQ(fired, expected->GetFiredRuleIds());
    const int32_t winning = out.winningRule[r];
    EXPECT_EQ(winning < 0 ? std::string() : ids.at(static_cast<size_t>(winning)),
              expected->GetWinningRuleId());
    const std::vector<RuleSetResult::OutputValue>& values = expected->GetOutputValues();
    if (out.outputs.empty()) continue;
    ASSERT_EQ(out.outputs.size(), rows.x0.size() * values.size());
    for (size_t f = 0; f < values.size(); ++f) {
      const BatchScores::OutputValue& got = out.outputs[r * values.size() + f];
      SCOPED_TRACE("output field " + expected->GetOutputNames()[f]);
      EXPECT_EQ(static_cast<int>(got.kind), static_cast<int>(values[f].kind));
      if (got.kind == BatchScores::OutputValue::kNumber) {
        EXPECT_TRUE(SameDouble(got.number, values[f].number));
      }
      if (got.kind == BatchScores::OutputValue::kText) {
        EXPECT_EQ(got.text, values[f].text);
      }
    }
  }
  EXPECT_EQ(next, out.fired.size());
  delete result;
}

TEST(BatchScoring, RandomDocumentsEqualGetScoreRowByRow) {
  for (uint32_t seed = 1; seed <= 120; ++seed) {
    const char* semantics = seed <= 60 ? "native" : "pmml";
    const std::string pmml = DocumentMaker(seed, seed > 60).Make();
    auto reference = TranslateDocument(pmml, "random.pmml", semantics);
    auto batch = TranslateDocument(pmml, "random.pmml", semantics);
    ASSERT_NE(reference->model, nullptr);
    ASSERT_NE(batch->model, nullptr);
    const Rows rows(300, seed * 7919);
    ColumnBatch columns(rows.x0.size());
    rows.AddTo(columns);
    // In three calls over parts of the rows, on one model.
    Output out(rows.x0.size());
    out.Keep(batch->model->GetBatchOutputs().size());
    BatchScores scores = out.Scores();
    EXPECT_EQ(batch->model->ScoreBatch(columns, 0, 17, scores), 17u);
    EXPECT_EQ(batch->model->ScoreBatch(columns, 17, 200, scores), 183u);
    EXPECT_EQ(batch->model->ScoreBatch(columns, 200, 300, scores), 100u);
    // The reference treats every value the long way.
    reference->model->SetUseReferenceWalk(true);
    ExpectSameAsGetScore(*reference->model, *batch->model, rows, out, pmml);
  }
}

TEST(BatchScoring, PoolOnTwoThreadsEqualsGetScore) {
  for (uint32_t seed = 100; seed < 106; ++seed) {
    const char* semantics = seed < 104 ? "native" : "pmml";
    const std::string pmml = DocumentMaker(seed, seed >= 104).Make();
    auto reference = TranslateDocument(pmml, "random.pmml", semantics);
    auto first = TranslateDocument(pmml, "random.pmml", semantics);
    auto second = TranslateDocument(pmml, "random.pmml", semantics);
    std::vector<std::unique_ptr<ScoreModel>> models;
    models.push_back(std::move(first->model));
    models.push_back(std::move(second->model));
    ModelPool pool(std::move(models));
    const Rows rows(3 * ModelPool::kMinRowsPerThread, seed);
    ColumnBatch columns(rows.x0.size());
    rows.AddTo(columns);
    for (int threads : {1, 2}) {
      Output out(rows.x0.size());
      BatchScores scores = out.Scores();
      EXPECT_TRUE(pool.Score(columns, scores, threads));
      ExpectSameAsGetScore(*reference->model, pool.GetModel(), rows, out, pmml);
    }
  }
}

TEST(BatchScoring, ConcurrentCallersShareThePool) {
  const std::string pmml = DocumentMaker(7).Make();
  auto reference = TranslateDocument(pmml, "random.pmml");
  std::vector<std::unique_ptr<TranslatedDocument>> documents;
  std::vector<std::unique_ptr<ScoreModel>> models;
  for (int i = 0; i < 2; ++i) {
    documents.push_back(TranslateDocument(pmml, "random.pmml"));
    models.push_back(std::move(documents.back()->model));
  }
  ModelPool pool(std::move(models));
  const Rows rows(2000, 7);
  ColumnBatch columns(rows.x0.size());
  rows.AddTo(columns);
  std::vector<Output> outs(4, Output(rows.x0.size()));
  std::vector<std::thread> callers;
  for (Output& out : outs) {
    callers.emplace_back([&pool, &columns, &out] {
      BatchScores scores = out.Scores();
      for (int k = 0; k < 3; ++k) {
        out.fired.clear();
        pool.Score(columns, scores, 2);
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  for (const Output& out : outs) ExpectSameAsGetScore(*reference->model, pool.GetModel(), rows, out, pmml);
}

const char kSmall[] = R"(<?xml version="1.0"?>
<PMML version="4.4" xmlns="http://www.dmg.org/PMML-4_4">
  <DataDictionary numberOfFields="3">
    <DataField name="risk" optype="categorical" dataType="string">
      <Value value="high"/><Value value="low"/>
    </DataField>
    <DataField name="age" optype="continuous" dataType="double"/>
    <DataField name="region" optype="categorical" dataType="string"/>
  </DataDictionary>
  <RuleSetModel functionName="classification">
    <MiningSchema><MiningField name="risk" usageType="predicted"/>
      <MiningField name="age"/><MiningField name="region"/></MiningSchema>
    <RuleSet defaultScore="low" defaultConfidence="0.5">
      <RuleSelectionMethod criterion="weightedSum"/>
      <SimpleRule id="R1" score="high" weight="0.8"><SimplePredicate field="age" operator="greaterThan" value="60"/></SimpleRule>
      <SimpleRule id="R2" score="high" weight="0.4"><True/></SimpleRule>
      <SimpleRule id="R3" score="low" weight="0.3"><SimplePredicate field="region" operator="isMissing"/></SimpleRule>
    </RuleSet>
  </RuleSetModel>
</PMML>
)";

TEST(BatchScoring, IndicesNameCategoriesAndRules) {
  auto doc = TranslateDocument(kSmall, "small.pmml");
  const std::vector<const ScoreValue*> categories = doc->model->GetBatchCategories();
  ASSERT_EQ(categories.size(), 2u);
  EXPECT_EQ(categories[0]->GetString(), "high");
  EXPECT_EQ(categories[1]->GetString(), "low");
  EXPECT_EQ(doc->model->GetBatchRuleIds(), (std::vector<std::string>{"R1", "R2", "R3"}));
  EXPECT_EQ(doc->model->GetMaxFiredPerRecord(), 3u);
}

TEST(BatchScoring, AbsentColumnIsMissingInEveryRowAndNanFollowsTheFlag) {
  auto doc = TranslateDocument(kSmall, "small.pmml");
  const std::vector<double> age{70.0, std::nan(""), 30.0};
  ColumnBatch withNan(3);
  withNan.AddNumbers("age", age.data(), nullptr, true);
  Output out(3);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(withNan, 0, 3, scores), 3u);
  // No region column: R3 fires in every row. Row 1's NaN is missing.
  EXPECT_EQ(out.firedCount, (std::vector<int32_t>{3, 2, 2}));
  EXPECT_EQ(out.fired, (std::vector<int32_t>{0, 1, 2, 1, 2, 1, 2}));
  EXPECT_EQ(out.prediction, (std::vector<int32_t>{0, 0, 0}));
  EXPECT_EQ(out.winningRule, (std::vector<int32_t>{0, 1, 1}));
  EXPECT_DOUBLE_EQ(out.confidence[0], 1.2 / 3);
  EXPECT_DOUBLE_EQ(out.confidence[1], 0.4 / 2);
  EXPECT_EQ(out.status, (std::vector<int32_t>{0, 0, 0}));
}

TEST(BatchScoring, CodePastItsTextsRefusesTheRowOnly) {
  auto doc = TranslateDocument(kSmall, "small.pmml");
  const std::vector<double> age{70.0, 70.0, 70.0};
  const std::vector<int32_t> region{0, 5, -1};
  ColumnBatch columns(3);
  columns.AddNumbers("age", age.data());
  columns.AddCodes("region", region.data(), {"north"});
  Output out(3);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(columns, 0, 3, scores), 3u);
  EXPECT_EQ(out.status, (std::vector<int32_t>{0, BatchScores::kCodeOutOfRange, 0}));
  EXPECT_EQ(out.errorColumn, (std::vector<int32_t>{-1, 1, -1}));
  EXPECT_EQ(out.prediction[1], -1);
  EXPECT_TRUE(std::isnan(out.confidence[1]));
  EXPECT_EQ(out.firedCount, (std::vector<int32_t>{2, 0, 3}));
}

TEST(BatchScoring, RowsAllocateNothingOnceWarm) {
  auto doc = TranslateDocument(kSmall, "small.pmml");
  const size_t n = 5000;
  std::vector<double> age(n);
  std::vector<int32_t> region(n);
  for (size_t r = 0; r < n; ++r) {
    age[r] = static_cast<double>(r % 100);
    region[r] = static_cast<int32_t>(r % 3) - 1;
  }
  ColumnBatch columns(n);
  columns.AddNumbers("age", age.data());
  columns.AddCodes("region", region.data(), {"north", "south"});
  Output out(n);
  out.fired.reserve(3 * n);
  BatchScores scores = out.Scores();
  ASSERT_EQ(doc->model->ScoreBatch(columns, 0, n, scores), n);  // warm
  long counts[2];
  const size_t sizes[2] = {10, n};
  for (int k = 0; k < 2; ++k) {
    out.fired.clear();
    gAllocations = 0;
    gCountAllocations = true;
    doc->model->ScoreBatch(columns, 0, sizes[k], scores);
    gCountAllocations = false;
    counts[k] = gAllocations;
  }
  // What a call allocates (its bindings) does not grow with its rows.
  EXPECT_EQ(counts[0], counts[1]);
}


// Derived fields are computed from each row as GetScore computes them from a
// record: a ratio of two number columns, a value map over a text column, and a
// boolean read from texts.
TEST(BatchScoring, DerivedFieldsComputedFromTheColumns) {
  std::ifstream in(std::string(RULESCORE_SOURCE_DIR) + "/examples/derived.pmml");
  const std::string pmml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto reference = TranslateDocument(pmml, "derived.pmml");
  auto batch = TranslateDocument(pmml, "derived.pmml");
  ASSERT_NE(reference->model, nullptr);
  ASSERT_NE(batch->model, nullptr);
  const std::vector<double> income{1000, 1000, 1000, 0, 1000, 2000};
  const std::vector<double> debt{700, 200, 500, 10, std::nan(""), 100};
  const std::vector<int32_t> region{0, 0, 1, 2, -1, 1};
  const std::vector<int32_t> member{0, 1, 2, 3, 1, -1};
  const std::vector<std::string> regionTexts{"north", "south", "east"};
  const std::vector<std::string> memberTexts{"false", "TRUE", "0", "1"};
  ColumnBatch columns(income.size());
  columns.AddNumbers("income", income.data());
  columns.AddCodes("member", member.data(), memberTexts);
  columns.AddNumbers("debt", debt.data(), nullptr, true);
  columns.AddCodes("region", region.data(), regionTexts);
  Output out(income.size());
  BatchScores scores = out.Scores();
  ASSERT_EQ(batch->model->ScoreBatch(columns, 0, income.size(), scores), income.size());

  const std::vector<std::string> ids = batch->model->GetBatchRuleIds();
  const std::vector<const ScoreValue*> categories = batch->model->GetBatchCategories();
  ScoreCaseRecord record({"region", "debt", "member", "income"});
  ScoreResult* result = nullptr;
  std::vector<std::string> predictions;
  for (size_t r = 0; r < income.size(); ++r) {
    record.Clear();
    record.SetNumber(3, income[r]);
    if (!std::isnan(debt[r])) record.SetNumber(1, debt[r]);
    if (region[r] >= 0) record.SetText(0, regionTexts[static_cast<size_t>(region[r])]);
    if (member[r] >= 0) record.SetText(2, memberTexts[static_cast<size_t>(member[r])]);
    ASSERT_FALSE(reference->model->GetScore(&record, result, false).IsError());
    const auto* expected = static_cast<const RuleSetResult*>(result);
    ASSERT_EQ(out.status[r], BatchScores::kScored) << "row " << r;
    ASSERT_NE(expected->GetPrediction(), nullptr);
    ASSERT_GE(out.prediction[r], 0);
    predictions.push_back(categories.at(static_cast<size_t>(out.prediction[r]))->GetString());
    EXPECT_EQ(predictions.back(), expected->GetPrediction()->GetString()) << "row " << r;
    EXPECT_TRUE(SameDouble(out.confidence[r], expected->GetConfidence())) << "row " << r;
    EXPECT_EQ(out.winningRule[r] < 0 ? std::string() : ids.at(static_cast<size_t>(out.winningRule[r])),
              expected->GetWinningRuleId())
        << "row " << r;
  }
  delete result;
  // The rules saw the derived values: a high ratio declines, a member with a
  // low ratio is approved, a warm zone is approved, the rest go to review.
  EXPECT_EQ(predictions, (std::vector<std::string>{"decline", "approve", "approve", "decline",
                                                   "review", "approve"}));
}

}  // namespace
}  // namespace KtZembra_940
