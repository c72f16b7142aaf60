// The cost of derived fields: one rule set over five numeric derived fields
// (each a*x+b of one data field), scored from the data fields, against the
// same rules over five data fields that hold the derived values already.
// Both draw the same 2^20 distinct records, each filled field by field into
// one reused host record as a host does; the ratio of the two times is the
// price of computing the fields.
#include <cstddef>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "host/ScoreCaseRecord.h"
#include "host/ScoreResult.h"
#include "host/XmlDocument.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"

namespace {

namespace K = KtZembra_940;

constexpr int kFields = 5;
constexpr size_t kRecords = size_t{1} << 20;

// Rules over the fields f0..f4: a firstHit rule set whose rules test pairs
// of fields, the last rule catching everything.
std::string Rules() {
  std::string rules = R"(<RuleSet defaultScore="c"><RuleSelectionMethod criterion="firstHit"/>)";
  int id = 0;
  for (int i = 0; i < kFields; ++i) {
    for (int j = i + 1; j < kFields; ++j) {
      ++id;
      rules += "<SimpleRule id=\"R" + std::to_string(id) + "\" score=\"" + (id % 2 ? "a" : "b") +
               "\"><CompoundPredicate booleanOperator=\"and\">"
               "<SimplePredicate field=\"f" + std::to_string(i) +
               "\" operator=\"greaterThan\" value=\"" + std::to_string(10 + i) +
               "\"/><SimplePredicate field=\"f" + std::to_string(j) +
               "\" operator=\"lessThan\" value=\"" + std::to_string(5 + j) +
               "\"/></CompoundPredicate></SimpleRule>";
    }
  }
  return rules + "</RuleSet>";
}

std::string Document(bool derived) {
  std::string data;
  std::string transformations;
  std::string fields;
  for (int i = 0; i < kFields; ++i) {
    const std::string n = std::to_string(i);
    if (derived) {
      data += "<DataField name=\"x" + n + "\" optype=\"continuous\" dataType=\"double\"/>";
      transformations += "<DerivedField name=\"f" + n +
                         "\" optype=\"continuous\" dataType=\"double\"><Apply function=\"+\">"
                         "<Apply function=\"*\"><FieldRef field=\"x" + n +
                         "\"/><Constant>2</Constant></Apply><Constant>1</Constant></Apply>"
                         "</DerivedField>";
      fields += "<MiningField name=\"x" + n + "\"/>";
    } else {
      data += "<DataField name=\"f" + n + "\" optype=\"continuous\" dataType=\"double\"/>";
      fields += "<MiningField name=\"f" + n + "\"/>";
    }
  }
  data += R"(<DataField name="y" optype="categorical" dataType="string"><Value value="a"/><Value value="b"/><Value value="c"/></DataField>)";
  if (derived) transformations = "<TransformationDictionary>" + transformations + "</TransformationDictionary>";
  return R"(<?xml version="1.0"?><PMML version="4.4"><DataDictionary>)" + data + "</DataDictionary>" +
         transformations + R"(<RuleSetModel functionName="classification"><MiningSchema>)" + fields +
         R"(<MiningField name="y" usageType="predicted"/></MiningSchema>)" + Rules() +
         "</RuleSetModel></PMML>";
}

void ScoreFields(benchmark::State& state, bool derived) {
  const std::string pmml = Document(derived);
  std::unique_ptr<K::XmlDocument> document =
      K::XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "derived.pmml");
  K::RuleSetTranslator translator;
  std::unique_ptr<K::ScoreModel> model(
      translator.ParseFromTree(document->GetDocument(), document->GetEncoding()));
  if (model == nullptr) {
    state.SkipWithError("the document did not translate");
    return;
  }
  // The same raw values for both: the precomputed records hold 2x+1.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> value(0.0, 12.0);
  std::vector<std::string> names;
  for (int i = 0; i < kFields; ++i) names.push_back((derived ? "x" : "f") + std::to_string(i));
  std::vector<double> values(kRecords * kFields);
  for (double& v : values) {
    const double x = value(rng);
    v = derived ? x : x * 2 + 1;
  }
  K::ScoreCaseRecord record(names);
  K::ScoreResult* result = nullptr;
  size_t row = 0;
  for (auto _ : state) {
    const double* cells = values.data() + row * kFields;
    for (int i = 0; i < kFields; ++i) record.SetNumber(i, cells[i]);
    model->GetScore(&record, result, false);
    benchmark::DoNotOptimize(result);
    row = row + 1 == kRecords ? 0 : row + 1;
  }
  delete result;
  state.SetItemsProcessed(state.iterations());
}

void GetScore_DerivedFields5(benchmark::State& state) { ScoreFields(state, true); }
void GetScore_PrecomputedFields5(benchmark::State& state) { ScoreFields(state, false); }

BENCHMARK(GetScore_DerivedFields5);
BENCHMARK(GetScore_PrecomputedFields5);

}  // namespace
