// Scoring and translation benchmarks, with the baselines they are judged
// against measured in the same run: the decision tree written out as nested
// if/else (generated C++, compiled in), the same tree walked over a flat
// node array, the tree as a rule set evaluated rule by rule over plain
// double arrays, RuleSetModel::GetScore on a host record refilled field by
// field for each record, CSV text to doubles with std::from_chars, and
// ParseFromTree on documents already parsed by Xerces.
//
// Every per-record benchmark draws its records from a pool of 2^20
// distinct records (uniform doubles), in order: a branch predictor cannot
// learn that sequence, as it learns a small pool cycled through again and
// again (which makes every engine look faster than on real data). One
// variant, GetScore_Tree6_Pool256, cycles 256 records to show the
// difference.
//
// Besides the benchmarks the executable has five modes for scripts/bench.sh:
//   rulescore_bench --write-tree6 MODEL.pmml DATA.csv ROWS
//       writes the depth-6 model and ROWS uniform records;
//   rulescore_bench --write-rules N MODEL.pmml
//       writes the translation benchmarks' document with N rules;
//   rulescore_bench --load MODEL.pmml
//       parses and translates the document (for its peak memory);
//   rulescore_bench --walk WAY COUNT
//       scores COUNT records one way, untimed (for an instruction and
//       branch simulator);
//   rulescore_bench --parse-only DATA.csv
//       reads the file with the tool's CSV reader into host records (the
//       tool's cell rule: the host's number parser), scores nothing, and
//       prints rows, seconds, rows per second and MB per second.
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchTree.h"
#include "bench/IfElseTrees.h"
#include "cli/CsvReader.h"
#include "host/NumberText.h"
#include "host/ScoreCaseRecord.h"
#include "host/ScoreDictVar.h"
#include "host/ScoreResult.h"
#include "host/ScoreValue.h"
#include "host/XmlDocument.h"
#include "host/XmlPlatform.h"
#include "host/ZbException.h"
#include "model/RuleSetModel.h"
#include "plugin/RuleSetTranslator.h"
#include "scoring/RuleSetResult.h"
#include "scoring/ScoringPlan.h"
#include "tests/support/CountingHeap.h"

// Every allocation is counted, so that the scoring benchmarks can report
// how many a record costs once the model is warm (the answer must be 0).
namespace {
std::atomic<long> gAllocations{0};
}  // namespace

void NoteAllocation() { gAllocations.fetch_add(1, std::memory_order_relaxed); }

namespace {

namespace K = KtZembra_940;
using rulescore::bench::BenchTree;

constexpr int kFeatures = rulescore::bench::kBenchFeatures;
constexpr size_t kPool = size_t{1} << 20;  // distinct records every per-record benchmark draws from
constexpr size_t kSmallPool = 256;         // the one labelled variant that cycles a few records
constexpr uint32_t kTreeSeed = rulescore::bench::kBenchTreeSeed;
constexpr uint32_t kRecordSeed = 7;

size_t HeapInUse() { return mallinfo2().uordblks; }
// The heap in use with the blocks malloc maps on their own (large ones,
// such as the parser's node heaps).
size_t AllocatedInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

// A document parsed by Xerces and the model translated from it.
struct Translated {
  std::unique_ptr<K::XmlDocument> document;
  std::unique_ptr<K::RuleSetModel> model;
  size_t modelBytes = 0;  // heap the translation left held
  // Heap the first records left held: binding the model to the record
  // layout and building its scoring plan. -1 until measured.
  long setupBytes = -1;
};

std::unique_ptr<K::XmlDocument> Parse(const std::string& pmml) {
  return K::XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "bench.pmml");
}

Translated Translate(const std::string& pmml, const char* semantics = "native") {
  Translated t;
  t.document = Parse(pmml);
  const size_t before = HeapInUse();
  K::RuleSetTranslator translator;
  translator.SetOption("semantics", semantics);
  K::ScoreModel* model = translator.ParseFromTree(t.document->GetDocument(),
                                                  t.document->GetEncoding());
  t.model.reset(static_cast<K::RuleSetModel*>(model));
  t.modelBytes = HeapInUse() - before;
  return t;
}

// Scores one record, so that the model binds itself to the record layout
// and builds its scoring plan, and notes the heap that kept.
void Warm(Translated& t, const K::ScoreCaseRecord& record) {
  if (!t.model) return;
  const size_t before = HeapInUse();
  K::ScoreResult* result = nullptr;
  t.model->GetScore(&record, result, false);
  delete result;
  t.setupBytes = static_cast<long>(HeapInUse()) - static_cast<long>(before);
}

// A host record over the layout x0, x1, ..., x{width - 1}.
std::unique_ptr<K::ScoreCaseRecord> NumberRecord(int width) {
  std::vector<std::string> names;
  for (int f = 0; f < width; ++f) names.push_back("x" + std::to_string(f));
  return std::make_unique<K::ScoreCaseRecord>(names);
}

// Fills `record` with row `row` of `values`, field by field, as a host does.
inline void FillNumbers(K::ScoreCaseRecord& record, const double* values, size_t row) {
  const double* cells = values + row * kFeatures;
  for (int f = 0; f < kFeatures; ++f) record.SetNumber(f, cells[f]);
}

// ---------------------------------------------------------------------------
// The depth-6 and depth-10 trees and their rule sets.

struct TreeCase {
  std::unique_ptr<BenchTree> tree;
  std::vector<double> rows;  // kPool records
  std::vector<int> leaves;   // per record, the category of its leaf
  int (*ifElse)(const double*) = nullptr;
  std::unique_ptr<K::ScoreCaseRecord> record;  // the host record each benchmark refills
  Translated firstHit;
  Translated weightedSum;
  Translated weightedMax;
  Translated firstHitPmml;  // firstHit read and scored under the pmml semantics
};

std::unique_ptr<TreeCase> MakeTreeCase(int depth) {
  auto c = std::make_unique<TreeCase>();
  c->tree = std::make_unique<BenchTree>(depth, kFeatures, kTreeSeed + static_cast<uint32_t>(depth));
  c->rows = c->tree->Records(static_cast<int>(kPool), kRecordSeed);
  c->leaves.resize(kPool);
  for (size_t i = 0; i < kPool; ++i) c->leaves[i] = c->tree->Walk(c->rows.data() + i * kFeatures);
  c->ifElse = depth == 6 ? rulescore::bench::IfElseTree6 : rulescore::bench::IfElseTree10;
  c->record = NumberRecord(kFeatures);
  FillNumbers(*c->record, c->rows.data(), 0);
  c->firstHit = Translate(c->tree->ToPmml("firstHit"));
  c->weightedSum = Translate(c->tree->ToPmml("weightedSum"));
  c->weightedMax = Translate(c->tree->ToPmml("weightedMax"));
  c->firstHitPmml = Translate(c->tree->ToPmml("firstHit"), "pmml");
  for (Translated* t : {&c->firstHit, &c->weightedSum, &c->weightedMax, &c->firstHitPmml}) {
    Warm(*t, *c->record);
  }
  return c;
}

void TreeWalk(benchmark::State& state, const TreeCase* c) {
  if (c == nullptr) {
    state.SkipWithError("the case could not be built");
    return;
  }
  const double* rows = c->rows.data();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c->tree->Walk(rows + i * kFeatures));
    i = (i + 1) & (kPool - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

// The tree as generated nested if/else: what a hand-written scorer costs.
void IfElse(benchmark::State& state, const TreeCase* c) {
  if (c == nullptr) {
    state.SkipWithError("the case could not be built");
    return;
  }
  const double* rows = c->rows.data();
  for (size_t i = 0; i < kPool; ++i) {
    if (c->ifElse(rows + i * kFeatures) != c->leaves[i]) {
      state.SkipWithError("the generated if/else is not the benchmark's tree");
      return;
    }
  }
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c->ifElse(rows + i * kFeatures));
    i = (i + 1) & (kPool - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

void Reference(benchmark::State& state, const TreeCase* c) {
  if (c == nullptr) {
    state.SkipWithError("the case could not be built");
    return;
  }
  const double* rows = c->rows.data();
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(c->tree->FirstRule(rows + i * kFeatures));
    i = (i + 1) & (kPool - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

// The records as the model encodes them: rows in variable-index order (the
// compile numbers variables by first use).
std::vector<double> Encoded(const K::RuleSetModel& model, const TreeCase& c) {
  const std::vector<const K::ScoreDictVar*>& vars = model.GetPredVars();
  std::vector<double> encoded(kPool * vars.size());
  for (size_t row = 0; row < kPool; ++row) {
    for (size_t v = 0; v < vars.size(); ++v) {
      const int feature = std::atoi(vars[v]->GetName().c_str() + 1);
      encoded[row * vars.size() + v] = c.rows[row * kFeatures + static_cast<size_t>(feature)];
    }
  }
  return encoded;
}

// The scoring plan's walk over many encoded records at once (what a
// columnar batch entry calls once it has encoded a block of rows), blocks
// of kBlock records in turn.
void PlanRows(benchmark::State& state, TreeCase* c) {
  constexpr size_t kBlock = 256;
  K::RuleSetModel* model = c != nullptr ? c->firstHit.model.get() : nullptr;
  if (model == nullptr) {
    state.SkipWithError("the document did not translate");
    return;
  }
  K::ScoreResult* result = nullptr;
  model->GetScore(c->record.get(), result, false);  // the record set-up
  delete result;
  const size_t width = model->GetPredVars().size();
  const std::vector<double> encoded = Encoded(*model, *c);
  K::ScoringPlan plan(model->GetCompiledRuleSets(), model->GetRuleCount(),
                      model->GetPredVarIsString());
  std::vector<int32_t> first(kPool);
  plan.FirstFiredRules(0, encoded.data(), width, kPool, first.data());
  for (size_t row = 0; row < kPool; ++row) {
    if (first[row] < 0 || c->tree->CategoryOfRule(first[row]) != c->leaves[row]) {
      state.SkipWithError("the plan fired other rules than the tree's leaf");
      return;
    }
  }
  size_t block = 0;
  for (auto _ : state) {
    plan.FirstFiredRules(0, encoded.data() + block * kBlock * width, width, kBlock,
                         first.data() + block * kBlock);
    benchmark::DoNotOptimize(first.data());
    block = (block + 1) & (kPool / kBlock - 1);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kBlock));
  state.counters["time_per_record"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * kBlock,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The scoring plan alone, over the encoded rows: what GetScore spends on
// finding the fired rules, without the record encoding around it.
// With `diagrams` false the plan takes its lazy walk over region masks.
void PlanOnly(benchmark::State& state, TreeCase* c, bool firstOnly, bool diagrams) {
  K::RuleSetModel* model = c != nullptr ? c->firstHit.model.get() : nullptr;
  if (model == nullptr) {
    state.SkipWithError("the document did not translate");
    return;
  }
  K::ScoreResult* result = nullptr;
  model->GetScore(c->record.get(), result, false);  // the record set-up
  delete result;
  const std::vector<const K::ScoreDictVar*>& vars = model->GetPredVars();
  const std::vector<double> encoded = Encoded(*model, *c);
  K::ScoringPlan plan(model->GetCompiledRuleSets(), model->GetRuleCount(),
                      model->GetPredVarIsString());
  if (!diagrams) plan.SetWalk(K::ScoringPlan::Walk::kLazy);
  std::vector<int32_t> fired;
  fired.reserve(static_cast<size_t>(c->tree->GetLeafCount()));
  for (size_t row = 0; row < kPool; ++row) {
    plan.FiredRules(0, encoded.data() + row * vars.size(), firstOnly, fired);
    if (fired.size() != 1 || c->tree->CategoryOfRule(fired[0]) != c->leaves[row]) {
      state.SkipWithError("the plan fired other rules than the tree's leaf");
      return;
    }
  }
  size_t i = 0;
  for (auto _ : state) {
    plan.FiredRules(0, encoded.data() + i * vars.size(), firstOnly, fired);
    benchmark::DoNotOptimize(fired.data());
    i = (i + 1) & (kPool - 1);
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["plan_bytes_per_rule"] =
      static_cast<double>(plan.MemoryBytes()) / c->tree->GetLeafCount();
}

// The prediction as the category number of "cN", -1 for none.
int PredictedCategory(const K::ScoreResult* result) {
  const auto* rules = dynamic_cast<const K::RuleSetResult*>(result);
  if (rules == nullptr || rules->GetPrediction() == nullptr) return -1;
  const std::string text = rules->GetPrediction()->GetString();
  return text.size() > 1 ? std::atoi(text.c_str() + 1) : -1;
}

// GetScore as a host calls it: one host record refilled for each record
// (`fill(i)` sets record i's cells), the result object reused. Records
// i = 0, 1, ... below `pool`, in order; `check` (may be empty) validates
// each one's result before timing starts, except for the rule-by-rule
// walk and the scale curve's large sets, which are checked on the first
// records only (they are slow).
template <class Fill>
void GetScore(benchmark::State& state, Translated* t, K::ScoreCaseRecord* record, Fill fill, size_t pool,
              const std::function<bool(size_t, const K::ScoreResult*)>& check, size_t rules,
              bool referenceWalk) {
  K::RuleSetModel* model = t != nullptr ? t->model.get() : nullptr;
  if (model == nullptr || record == nullptr) {
    state.SkipWithError("the document did not translate");
    return;
  }
  model->SetUseReferenceWalk(referenceWalk);
  K::ScoreResult* result = nullptr;
  const size_t checked = referenceWalk || rules > 4096 ? std::min<size_t>(pool, 4096) : pool;
  for (size_t i = 0; i < checked; ++i) {
    fill(i);
    const K::KtScore::KtStatus status = model->GetScore(record, result, false);
    if (status.IsError() || (check && !check(i, result))) {
      state.SkipWithError("a record scored differently from the tree");
      delete result;
      return;
    }
  }
  const long allocationsBefore = gAllocations.load();
  size_t i = 0;
  for (auto _ : state) {
    fill(i);
    model->GetScore(record, result, false);
    benchmark::DoNotOptimize(result);
    i = i + 1 == pool ? 0 : i + 1;
  }
  const long allocations = gAllocations.load() - allocationsBefore;
  state.SetItemsProcessed(state.iterations());
  state.counters["allocs_per_record"] =
      static_cast<double>(allocations) / static_cast<double>(state.iterations());
  state.counters["time_per_record"] =
      benchmark::Counter(static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  // What the translation left held, and what the first records added (the
  // layout binding and the scoring plan), per rule.
  state.counters["model_bytes_per_rule"] = static_cast<double>(t->modelBytes) / rules;
  state.counters["setup_bytes_per_rule"] = static_cast<double>(t->setupBytes) / rules;
  delete result;
}

// ---------------------------------------------------------------------------
// Three rule sets voting, string predictors, set predicates.

constexpr int kStringFields = 6;
constexpr int kStringValues = 8;

std::string VoteDocument(uint32_t seed, int rulesPerSet) {
  uint32_t s = seed;
  auto next = [&s]() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  };
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<PMML version=\"4.4\" xmlns=\"http://www.dmg.org/PMML-4_4\">\n"
      "  <DataDictionary>\n"
      "    <DataField name=\"y\" optype=\"categorical\" dataType=\"string\">\n"
      "      <Value value=\"c0\"/><Value value=\"c1\"/><Value value=\"c2\"/><Value value=\"c3\"/>\n"
      "    </DataField>\n";
  for (int f = 0; f < kStringFields; ++f) {
    out += "    <DataField name=\"s" + std::to_string(f) +
           "\" optype=\"categorical\" dataType=\"string\">";
    for (int v = 0; v < kStringValues; ++v) out += "<Value value=\"v" + std::to_string(v) + "\"/>";
    out += "</DataField>\n";
  }
  out += "  </DataDictionary>\n";
  for (int m = 0; m < 3; ++m) {
    out += "  <RuleSetModel functionName=\"classification\">\n    <MiningSchema>\n"
           "      <MiningField name=\"y\" usageType=\"predicted\"/>\n";
    for (int f = 0; f < kStringFields; ++f) {
      out += "      <MiningField name=\"s" + std::to_string(f) + "\"/>\n";
    }
    out += "    </MiningSchema>\n"
           "    <RuleSet defaultScore=\"c0\" defaultConfidence=\"0.1\">\n"
           "      <RuleSelectionMethod criterion=\"weightedSum\"/>\n";
    for (int r = 0; r < rulesPerSet; ++r) {
      out += "      <SimpleRule id=\"m" + std::to_string(m) + "r" + std::to_string(r) + "\" score=\"c" +
             std::to_string(next() % 4) + "\" weight=\"0." + std::to_string(1 + next() % 9) +
             "\" confidence=\"0.5\">\n        <CompoundPredicate booleanOperator=\"and\">\n";
      const int tests = 2 + static_cast<int>(next() % 2);
      // Distinct fields: a rule tests a nominal field once.
      const int firstField = static_cast<int>(next() % kStringFields);
      for (int t = 0; t < tests; ++t) {
        const int members = 2 + static_cast<int>(next() % 3);
        out += "          <SimpleSetPredicate field=\"s" +
               std::to_string((firstField + t) % kStringFields) +
               "\" booleanOperator=\"" + (next() % 4 == 0 ? "isNotIn" : "isIn") +
               "\"><Array n=\"" + std::to_string(members) + "\" type=\"string\">";
        for (int k = 0; k < members; ++k) {
          out += (k ? " v" : "v") + std::to_string(next() % kStringValues);
        }
        out += "</Array></SimpleSetPredicate>\n";
      }
      out += "        </CompoundPredicate>\n      </SimpleRule>\n";
    }
    out += "    </RuleSet>\n  </RuleSetModel>\n";
  }
  out += "</PMML>\n";
  return out;
}

constexpr int kVoteRules = 60;  // per rule set

// The records: kPool rows of kStringFields value numbers, drawn at random
// (the fields have only 8^6 combinations, so rows repeat; their order does
// not), written into one host record as texts "v0".."v7".
struct VoteCase {
  Translated model;
  std::vector<uint8_t> values;
  std::vector<std::string> texts;
  std::unique_ptr<K::ScoreCaseRecord> record;

  void Fill(size_t row) {
    const uint8_t* cells = values.data() + row * kStringFields;
    for (int f = 0; f < kStringFields; ++f) record->SetText(f, texts[cells[f]]);
  }
};

std::unique_ptr<VoteCase> MakeVoteCase() {
  auto c = std::make_unique<VoteCase>();
  c->model = Translate(VoteDocument(99, kVoteRules));
  std::vector<std::string> names;
  for (int f = 0; f < kStringFields; ++f) names.push_back("s" + std::to_string(f));
  c->record = std::make_unique<K::ScoreCaseRecord>(names);
  for (int v = 0; v < kStringValues; ++v) c->texts.push_back("v" + std::to_string(v));
  c->values.resize(kPool * kStringFields);
  uint32_t s = 5;
  for (uint8_t& value : c->values) {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    value = static_cast<uint8_t>(s % kStringValues);
  }
  c->Fill(0);
  Warm(c->model, *c->record);
  return c;
}

// ---------------------------------------------------------------------------
// Translation of documents already parsed by Xerces.

std::string RulesDocument(int rules) {
  uint32_t s = 12345;
  auto unit = [&s]() {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return (s >> 8) * (1.0 / 16777216.0);
  };
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<PMML version=\"4.4\" xmlns=\"http://www.dmg.org/PMML-4_4\">\n  <DataDictionary>\n"
      "    <DataField name=\"y\" optype=\"categorical\" dataType=\"string\">\n"
      "      <Value value=\"c0\"/><Value value=\"c1\"/><Value value=\"c2\"/><Value value=\"c3\"/>\n"
      "    </DataField>\n";
  for (int f = 0; f < kFeatures; ++f) {
    out += "    <DataField name=\"x" + std::to_string(f) +
           "\" optype=\"continuous\" dataType=\"double\"/>\n";
  }
  out += "  </DataDictionary>\n  <RuleSetModel functionName=\"classification\">\n"
         "    <MiningSchema>\n      <MiningField name=\"y\" usageType=\"predicted\"/>\n";
  for (int f = 0; f < kFeatures; ++f) {
    out += "      <MiningField name=\"x" + std::to_string(f) + "\"/>\n";
  }
  out += "    </MiningSchema>\n    <RuleSet defaultScore=\"c0\" defaultConfidence=\"0\">\n"
         "      <RuleSelectionMethod criterion=\"firstHit\"/>\n";
  char line[160];
  for (int r = 0; r < rules; ++r) {
    std::snprintf(line, sizeof line,
                  "      <SimpleRule id=\"R%d\" score=\"c%d\" confidence=\"0.%d\">\n"
                  "        <CompoundPredicate booleanOperator=\"and\">\n",
                  r, r % 4, 1 + r % 9);
    out += line;
    // Five distinct fields: comparisons on one field could select nothing.
    const int firstField = static_cast<int>(unit() * kFeatures);
    for (int t = 0; t < 5; ++t) {
      std::snprintf(line, sizeof line,
                    "          <SimplePredicate field=\"x%d\" operator=\"%s\" value=\"%.6f\"/>\n",
                    (firstField + 2 * t) % kFeatures, unit() < 0.5 ? "lessOrEqual" : "greaterThan",
                    unit());
      out += line;
    }
    out += "        </CompoundPredicate>\n      </SimpleRule>\n";
  }
  out += "    </RuleSet>\n  </RuleSetModel>\n</PMML>\n";
  return out;
}

struct TranslateCase {
  int rules = 0;
  std::unique_ptr<K::XmlDocument> document;
  double xercesSeconds = 0.0;
  size_t documentBytes = 0;
};

std::unique_ptr<TranslateCase> MakeTranslateCase(int rules) {
  auto c = std::make_unique<TranslateCase>();
  c->rules = rules;
  const std::string text = RulesDocument(rules);
  c->documentBytes = text.size();
  // The best of three parses, in CPU time like the benchmarks (a shared
  // machine stretches the wall clock): the figure the translation is
  // reported apart from.
  double best = 1e9;
  for (int k = 0; k < 3; ++k) {
    const std::clock_t start = std::clock();
    auto document = Parse(text);
    const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    if (seconds < best) best = seconds;
    c->document = std::move(document);
  }
  c->xercesSeconds = best;
  return c;
}

void TranslateBench(benchmark::State& state, const TranslateCase* c) {
  if (c == nullptr) {
    state.SkipWithError("the case could not be built");
    return;
  }
  size_t modelBytes = 0;
  for (auto _ : state) {
    const size_t before = HeapInUse();
    K::RuleSetTranslator translator;
    K::ScoreModel* model = nullptr;
    try {
      model = translator.ParseFromTree(c->document->GetDocument(), c->document->GetEncoding());
    } catch (const K::ZbException& e) {
      std::cerr << "rulescore_bench: " << e.what() << "\n";
    }
    state.PauseTiming();
    if (model == nullptr) {
      state.SkipWithError("the document did not translate");
      break;
    }
    modelBytes = HeapInUse() - before;
    delete model;
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * c->rules);
  state.counters["xerces_parse_ms"] = c->xercesSeconds * 1e3;
  state.counters["xerces_rules_per_s"] = c->rules / c->xercesSeconds;
  state.counters["time_per_rule"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * c->rules,
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["model_bytes_per_rule"] = static_cast<double>(modelBytes) / c->rules;
}

// ---------------------------------------------------------------------------
// CSV text to doubles with std::from_chars: 10 fields a record.

struct CsvCase {
  std::string text;
  size_t rows = 0;
};

std::unique_ptr<CsvCase> MakeCsvCase(const TreeCase& tree) {
  auto c = std::make_unique<CsvCase>();
  char cell[32];
  for (size_t row = 0; row < kPool; ++row) {
    for (int f = 0; f < kFeatures; ++f) {
      std::snprintf(cell, sizeof cell, f ? ",%.6f" : "%.6f", tree.rows[row * kFeatures + f]);
      c->text += cell;
    }
    c->text += '\n';
  }
  c->rows = kPool;
  return c;
}

void CsvFromChars(benchmark::State& state, const CsvCase* c) {
  if (c == nullptr) {
    state.SkipWithError("the case could not be built");
    return;
  }
  double values[kFeatures];
  for (auto _ : state) {
    const char* p = c->text.data();
    const char* end = p + c->text.size();
    while (p < end) {
      for (int f = 0; f < kFeatures; ++f) {
        const auto parsed = std::from_chars(p, end, values[f]);
        p = parsed.ptr + 1;  // past the comma or the line end
      }
      benchmark::DoNotOptimize(values);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(c->rows));
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(c->text.size()));
}

// ---------------------------------------------------------------------------
// The scale curve: GetScore per record as the rule count grows, for a
// tree's rule set (a complete tree of log2(rules) levels) and for rules
// that overlap (the translation benchmarks' random conjunctions).

struct ScaleCase {
  std::unique_ptr<BenchTree> tree;  // null for the overlapping rules
  Translated model;
  std::vector<double> rows;  // kPool records
  std::unique_ptr<K::ScoreCaseRecord> record;
  double firstRecordMs = 0.0;  // the first record's scoring, which builds the plan and its walks
};

std::unique_ptr<ScaleCase> MakeScaleCase(bool treeShaped, int rules) {
  auto c = std::make_unique<ScaleCase>();
  int depth = 0;
  while ((1 << depth) < rules) ++depth;
  const BenchTree uniform(1, kFeatures, kTreeSeed);  // only its records, for the overlapping rules
  if (treeShaped) {
    c->tree = std::make_unique<BenchTree>(depth, kFeatures, kTreeSeed + static_cast<uint32_t>(depth));
    c->model = Translate(c->tree->ToPmml("firstHit"));
  } else {
    c->model = Translate(RulesDocument(rules));
  }
  c->rows = (treeShaped ? *c->tree : uniform).Records(static_cast<int>(kPool), kRecordSeed);
  c->record = NumberRecord(kFeatures);
  FillNumbers(*c->record, c->rows.data(), 0);
  const auto start = std::chrono::steady_clock::now();
  Warm(c->model, *c->record);
  c->firstRecordMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return c;
}

// ---------------------------------------------------------------------------
// The cases, each built on first use; null (with the reason on standard
// error) when a document fails to translate.

class Cases {
 public:
  TreeCase* Tree(int depth) {
    std::unique_ptr<TreeCase>& slot = depth == 6 ? tree6_ : tree10_;
    if (!slot) slot = Build<TreeCase>([depth] { return MakeTreeCase(depth); });
    return slot.get();
  }
  VoteCase* Vote() {
    if (!vote_) vote_ = Build<VoteCase>(MakeVoteCase);
    return vote_.get();
  }
  CsvCase* Csv() {
    TreeCase* tree = Tree(10);
    if (!csv_ && tree != nullptr) csv_ = MakeCsvCase(*tree);
    return csv_.get();
  }
  ScaleCase* Scale(bool treeShaped, int rules) {
    std::unique_ptr<ScaleCase>& slot = scales_[{treeShaped, rules}];
    if (!slot) slot = Build<ScaleCase>([treeShaped, rules] { return MakeScaleCase(treeShaped, rules); });
    return slot.get();
  }
  TranslateCase* Translation(int rules) {
    std::unique_ptr<TranslateCase>& slot = translations_[rules];
    if (!slot) slot = Build<TranslateCase>([rules] { return MakeTranslateCase(rules); });
    return slot.get();
  }

 private:
  template <class T, class Maker>
  static std::unique_ptr<T> Build(Maker maker) {
    try {
      return maker();
    } catch (const K::ZbException& e) {
      std::cerr << "rulescore_bench: a benchmark document failed: " << e.what() << "\n";
      return nullptr;
    }
  }

  std::unique_ptr<TreeCase> tree6_;
  std::unique_ptr<TreeCase> tree10_;
  std::unique_ptr<VoteCase> vote_;
  std::unique_ptr<CsvCase> csv_;
  std::map<int, std::unique_ptr<TranslateCase>> translations_;
  std::map<std::pair<bool, int>, std::unique_ptr<ScaleCase>> scales_;
};

// ---------------------------------------------------------------------------
// Modes for scripts/bench.sh.

int WriteTree6(const char* modelPath, const char* dataPath, long rows) {
  const BenchTree tree(6, kFeatures, kTreeSeed + 6);
  std::ofstream model(modelPath);
  model << tree.ToPmml("firstHit");
  if (!model) return 1;
  std::FILE* data = std::fopen(dataPath, "w");
  if (data == nullptr) return 1;
  for (int f = 0; f < kFeatures; ++f) std::fprintf(data, f ? ",x%d" : "x%d", f);
  std::fputc('\n', data);
  const long chunk = 4096;
  for (long done = 0; done < rows; done += chunk) {
    const long n = rows - done < chunk ? rows - done : chunk;
    const std::vector<double> values =
        tree.Records(static_cast<int>(n), kRecordSeed + static_cast<uint32_t>(done / chunk));
    for (long r = 0; r < n; ++r) {
      for (int f = 0; f < kFeatures; ++f) {
        std::fprintf(data, f ? ",%.6f" : "%.6f", values[static_cast<size_t>(r * kFeatures + f)]);
      }
      std::fputc('\n', data);
    }
  }
  return std::fclose(data) == 0 ? 0 : 1;
}

// Parses and translates a document, as a host loads a model, and keeps
// nothing: scripts/bench.sh measures its peak memory from outside. Prints
// the heap the parsed tree holds and what the translation adds to it (the
// two that are held together at the end of loading).
int Load(const char* path) {
  K::XmlPlatform platform;
  try {
    const size_t start = AllocatedInUse();
    std::unique_ptr<K::XmlDocument> document = K::XmlDocument::ParseFile(path);
    const size_t parsed = AllocatedInUse();
    K::RuleSetTranslator translator;
    std::unique_ptr<K::ScoreModel> model(
        translator.ParseFromTree(document->GetDocument(), document->GetEncoding()));
    if (!model) return 1;
    const size_t translated = AllocatedInUse();
    std::printf("loaded %s: tree %.1f MB, model %.1f MB\n", path,
                static_cast<double>(parsed - start) / 1048576.0,
                static_cast<double>(translated - parsed) / 1048576.0);
  } catch (const K::ZbException& e) {
    std::fprintf(stderr, "rulescore_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}

// Runs `count` distinct records through one way of scoring, with nothing
// timed: for counting instructions and mispredicted branches per record
// under a simulator (run it with two counts and take the difference, which
// leaves out the set-up). `what`: ifelse6, ifelse10, getscore6,
// getscore10, rows6 or rows10 (the plan's block walk).
int Walk(const std::string& what, long count) {
  if (what.size() < 2) return 2;
  const int depth = what.back() == '0' ? 10 : 6;
  const std::string way = what.substr(0, what.size() - (depth == 10 ? 2 : 1));
  K::XmlPlatform platform;
  std::unique_ptr<TreeCase> c = MakeTreeCase(depth);
  const size_t n = std::min<size_t>(static_cast<size_t>(count), kPool);
  long sum = 0;
  if (way == "ifelse") {
    for (size_t i = 0; i < n; ++i) sum += c->ifElse(c->rows.data() + i * kFeatures);
  } else if (way == "getscore") {
    K::RuleSetModel* model = c->firstHit.model.get();
    K::ScoreResult* result = nullptr;
    for (size_t i = 0; i < n; ++i) {
      FillNumbers(*c->record, c->rows.data(), i);
      model->GetScore(c->record.get(), result, false);
      sum += static_cast<const K::RuleSetResult*>(result)->GetPrediction() != nullptr;
    }
    delete result;
  } else if (way == "rows") {
    K::RuleSetModel* model = c->firstHit.model.get();
    const std::vector<double> encoded = Encoded(*model, *c);
    K::ScoringPlan plan(model->GetCompiledRuleSets(), model->GetRuleCount(),
                        model->GetPredVarIsString());
    std::vector<int32_t> first(n);
    plan.FirstFiredRules(0, encoded.data(), model->GetPredVars().size(), n, first.data());
    for (int32_t rule : first) sum += rule;
  } else {
    return 2;
  }
  std::printf("%s %zu records, checksum %ld\n", what.c_str(), n, sum);
  return 0;
}

int WriteRules(const char* path, long rules) {
  std::ofstream out(path);
  out << RulesDocument(static_cast<int>(rules));
  return out ? 0 : 1;
}

int ParseOnly(const char* dataPath) {
  std::ifstream in(dataPath, std::ios::binary);
  if (!in) return 1;
  const auto start = std::chrono::steady_clock::now();
  rulescore::cli::CsvReader reader(in, ',');
  rulescore::cli::CsvRow row;
  if (!reader.ReadRow(&row)) return 1;
  std::vector<std::string> header(row.fields.begin(),
                                  row.fields.begin() + static_cast<long>(row.count));
  K::ScoreCaseRecord record(header);
  long rows = 0;
  long bad = 0;
  // Lines are read as the tool reads them.
  reader.KeepPlainLines(true);
  while (reader.ReadRow(&row)) {
    ++rows;
    record.Clear();
    for (size_t i = 0; i < row.count && i < header.size(); ++i) {
      const std::string_view cell = row.Cell(i);
      double value;
      if (cell.empty()) {
        record.SetMissing(static_cast<int>(i));
      } else if (K::NumberText::ParseDouble(cell, &value)) {
        record.SetNumber(static_cast<int>(i), value);
      } else {
        ++bad;
      }
    }
    benchmark::DoNotOptimize(record);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double megabytes = static_cast<double>(reader.GetBytesRead()) / 1e6;
  std::printf("rows %ld bad %ld seconds %.3f rows_per_s %.0f mb_per_s %.1f\n", rows, bad, seconds,
              rows / seconds, megabytes / seconds);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--write-tree6") == 0) {
    return WriteTree6(argv[2], argv[3], std::atol(argv[4]));
  }
  if (argc == 3 && std::strcmp(argv[1], "--parse-only") == 0) return ParseOnly(argv[2]);
  if (argc == 3 && std::strcmp(argv[1], "--load") == 0) return Load(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "--walk") == 0) return Walk(argv[2], std::atol(argv[3]));
  if (argc == 4 && std::strcmp(argv[1], "--write-rules") == 0) {
    return WriteRules(argv[3], std::atol(argv[2]));
  }

  K::XmlPlatform platform;
  // Every case is built on first use, so that a filtered run builds only
  // what it measures.
  Cases cases;

  auto treeCheck = [](const TreeCase* c) {
    return [c](size_t i, const K::ScoreResult* result) { return PredictedCategory(result) == c->leaves[i]; };
  };
  for (int depth : {6, 10}) {
    const std::string d = std::to_string(depth);
    benchmark::RegisterBenchmark(("IfElse_Tree" + d).c_str(), [&cases, depth](benchmark::State& s) {
      IfElse(s, cases.Tree(depth));
    });
    benchmark::RegisterBenchmark(("TreeWalk_Tree" + d).c_str(), [&cases, depth](benchmark::State& s) {
      TreeWalk(s, cases.Tree(depth));
    });
  }
  for (int depth : {6, 10}) {
    const std::string d = std::to_string(depth);
    benchmark::RegisterBenchmark(("Reference_Tree" + d).c_str(), [&cases, depth](benchmark::State& s) {
      Reference(s, cases.Tree(depth));
    });
  }
  for (int depth : {6, 10}) {
    for (bool diagrams : {true, false}) {
      for (bool firstOnly : {true, false}) {
        const std::string name = "Plan_Tree" + std::to_string(depth) + (firstOnly ? "" : "_AllFired") +
                                 (diagrams ? "" : "_Masks");
        benchmark::RegisterBenchmark(name.c_str(), [&cases, depth, firstOnly, diagrams](benchmark::State& s) {
          PlanOnly(s, cases.Tree(depth), firstOnly, diagrams);
        });
      }
    }
  }
  for (int depth : {6, 10}) {
    benchmark::RegisterBenchmark(("Plan_Tree" + std::to_string(depth) + "_Rows").c_str(),
                                 [&cases, depth](benchmark::State& s) { PlanRows(s, cases.Tree(depth)); });
  }
  struct Variant {
    const char* name;
    int depth;
    int method;  // 0 firstHit, 1 weightedSum, 2 weightedMax
    bool ruleByRule;
    size_t pool;
  };
  const Variant variants[] = {
      {"GetScore_Tree6", 6, 0, false, kPool},
      {"GetScore_Tree10", 10, 0, false, kPool},
      {"GetScore_Tree10_WeightedSum", 10, 1, false, kPool},
      {"GetScore_Tree10_WeightedMax", 10, 2, false, kPool},
      {"GetScore_Tree6_RuleByRule", 6, 0, true, kPool},
      {"GetScore_Tree10_RuleByRule", 10, 0, true, kPool},
      // The one small pool: 256 records cycled, which a branch predictor learns.
      {"GetScore_Tree6_Pool256", 6, 0, false, kSmallPool},
  };
  for (const Variant& v : variants) {
    benchmark::RegisterBenchmark(v.name, [&cases, v, treeCheck](benchmark::State& s) {
      TreeCase* c = cases.Tree(v.depth);
      if (c == nullptr) {
        s.SkipWithError("the case could not be built");
        return;
      }
      Translated& t = v.method == 0 ? c->firstHit : v.method == 1 ? c->weightedSum : c->weightedMax;
      K::ScoreCaseRecord* record = c->record.get();
      const double* rows = c->rows.data();
      // Under every method exactly one rule of a tree's rule set fires, so
      // each method predicts the leaf's category.
      GetScore(s, &t, record, [record, rows](size_t i) { FillNumbers(*record, rows, i); }, v.pool,
               treeCheck(c), static_cast<size_t>(c->tree->GetLeafCount()), v.ruleByRule);
    });
  }
  // The trees under the pmml semantics: every field has its (default)
  // treatments, every record is checked against them.
  for (int depth : {6, 10}) {
    const std::string name = "GetScore_Tree" + std::to_string(depth) + "_Pmml";
    benchmark::RegisterBenchmark(name.c_str(), [&cases, depth, treeCheck](benchmark::State& s) {
      TreeCase* c = cases.Tree(depth);
      if (c == nullptr) {
        s.SkipWithError("the case could not be built");
        return;
      }
      K::ScoreCaseRecord* record = c->record.get();
      const double* rows = c->rows.data();
      GetScore(s, &c->firstHitPmml, record, [record, rows](size_t i) { FillNumbers(*record, rows, i); },
               kPool, treeCheck(c), static_cast<size_t>(c->tree->GetLeafCount()), false);
    });
  }
  for (bool ruleByRule : {false, true}) {
    benchmark::RegisterBenchmark(
        ruleByRule ? "GetScore_Vote3String_RuleByRule" : "GetScore_Vote3String",
        [&cases, ruleByRule](benchmark::State& s) {
          VoteCase* c = cases.Vote();
          if (c == nullptr) {
            s.SkipWithError("the case could not be built");
            return;
          }
          GetScore(s, &c->model, c->record.get(), [c](size_t i) { c->Fill(i); }, kPool, nullptr,
                   3 * kVoteRules, ruleByRule);
        });
  }
  for (bool treeShaped : {true, false}) {
    for (int rules : {64, 1024, 16384, 131072}) {
      const std::string name =
          std::string(treeShaped ? "Scale_Tree_" : "Scale_Overlap_") + std::to_string(rules) + "Rules";
      benchmark::RegisterBenchmark(name.c_str(), [&cases, treeShaped, rules](benchmark::State& s) {
        ScaleCase* c = cases.Scale(treeShaped, rules);
        if (c == nullptr) {
          s.SkipWithError("the case could not be built");
          return;
        }
        K::ScoreCaseRecord* record = c->record.get();
        const double* rows = c->rows.data();
        const BenchTree* tree = c->tree.get();
        std::function<bool(size_t, const K::ScoreResult*)> check;
        if (tree != nullptr) {
          check = [tree, rows](size_t i, const K::ScoreResult* result) {
            return PredictedCategory(result) == tree->Walk(rows + i * kFeatures);
          };
        }
        GetScore(s, &c->model, record, [record, rows](size_t i) { FillNumbers(*record, rows, i); }, kPool,
                 check, static_cast<size_t>(rules), false);
        s.counters["first_record_ms"] = c->firstRecordMs;
      });
    }
  }
  benchmark::RegisterBenchmark("CsvFromChars_10Fields",
                               [&cases](benchmark::State& s) { CsvFromChars(s, cases.Csv()); });
  for (int rules : {1000, 10000, 100000}) {
    benchmark::RegisterBenchmark(("Translate_" + std::to_string(rules / 1000) + "kRules").c_str(),
                                 [&cases, rules](benchmark::State& s) {
                                   TranslateBench(s, cases.Translation(rules));
                                 })
        ->Unit(benchmark::kMillisecond);
  }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
