// Columnar scoring of the depth-6 and depth-10 tree models: ScoreBatch over
// 2^20 distinct rows held as one number column per feature, through a pool
// of translations on one and on two threads, and on one thread under the
// pmml semantics. Every prediction of the first rows is checked against the
// tree itself before timing.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench/BenchTree.h"
#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/ModelPool.h"
#include "host/XmlDocument.h"
#include "plugin/RuleSetTranslator.h"

namespace {

namespace K = KtZembra_940;
using rulescore::bench::BenchTree;

constexpr size_t kRows = size_t{1} << 20;
constexpr uint32_t kColumnSeed = 11;

struct BatchCase {
  std::unique_ptr<BenchTree> tree;
  std::vector<std::vector<double>> columns;  // per feature
  std::unique_ptr<K::ColumnBatch> batch;
  std::unique_ptr<K::XmlDocument> document;
  std::unique_ptr<K::RuleSetTranslator> translator;
  std::unique_ptr<K::ModelPool> pool;
  std::vector<int32_t> prediction, winning, count, status, column;
  std::vector<double> confidence;
  std::vector<int32_t> fired;
  K::BatchScores scores;
  bool ok = false;
};

// Built on first use; the XML platform is up for the whole run.
BatchCase* MakeCase(int depth, const char* semantics) {
  {
    auto* b = new BatchCase();
    const int features = rulescore::bench::kBenchFeatures;
    b->tree = std::make_unique<BenchTree>(depth, features,
                                          rulescore::bench::kBenchTreeSeed + static_cast<uint32_t>(depth));
    const std::vector<double> rows = b->tree->Records(static_cast<int>(kRows), kColumnSeed);
    b->columns.assign(static_cast<size_t>(features), std::vector<double>(kRows));
    for (size_t r = 0; r < kRows; ++r) {
      for (int f = 0; f < features; ++f) {
        b->columns[static_cast<size_t>(f)][r] = rows[r * static_cast<size_t>(features) + static_cast<size_t>(f)];
      }
    }
    b->batch = std::make_unique<K::ColumnBatch>(kRows);
    for (int f = 0; f < features; ++f) {
      b->batch->AddNumbers("x" + std::to_string(f), b->columns[static_cast<size_t>(f)].data());
    }
    const std::string pmml = b->tree->ToPmml("firstHit");
    b->document = K::XmlDocument::ParseBuffer(pmml.data(), pmml.size(), "tree.pmml");
    b->translator = std::make_unique<K::RuleSetTranslator>();
    b->translator->SetOption("semantics", semantics);
    std::vector<std::unique_ptr<K::ScoreModel>> models;
    for (int i = 0; i < 2; ++i) {
      models.emplace_back(
          b->translator->ParseFromTree(b->document->GetDocument(), b->document->GetEncoding()));
    }
    b->pool = std::make_unique<K::ModelPool>(std::move(models));
    b->prediction.resize(kRows);
    b->winning.resize(kRows);
    b->count.resize(kRows);
    b->status.resize(kRows);
    b->column.resize(kRows);
    b->confidence.resize(kRows);
    b->fired.reserve(kRows);
    b->scores.prediction = b->prediction.data();
    b->scores.confidence = b->confidence.data();
    b->scores.winningRule = b->winning.data();
    b->scores.firedCount = b->count.data();
    b->scores.status = b->status.data();
    b->scores.errorColumn = b->column.data();
    b->scores.fired = &b->fired;
    b->ok = b->pool->Score(*b->batch, b->scores, 1);
    for (size_t r = 0; b->ok && r < 4096; ++r) {
      b->ok = b->prediction[r] == b->tree->Walk(rows.data() + r * static_cast<size_t>(features));
    }
    return b;
  }
}

BatchCase* Case(int depth, bool pmml) {
  static BatchCase* cases[2][2] = {};  // [depth is 10][pmml]
  BatchCase*& c = cases[depth == 6 ? 0 : 1][pmml ? 1 : 0];
  if (c == nullptr) c = MakeCase(depth, pmml ? "pmml" : "native");
  return c;
}

void BatchTree(benchmark::State& s, int depth, bool pmml = false) {
  BatchCase* c = Case(depth, pmml);
  if (!c->ok) {
    s.SkipWithError("the batch does not predict the tree's leaves");
    return;
  }
  const int threads = static_cast<int>(s.range(0));
  for (auto _ : s) {
    c->fired.clear();
    c->pool->Score(*c->batch, c->scores, threads);
    benchmark::DoNotOptimize(c->prediction.data());
  }
  s.SetItemsProcessed(static_cast<int64_t>(s.iterations()) * static_cast<int64_t>(kRows));
}

}  // namespace

void Batch_Tree6(benchmark::State& s) { BatchTree(s, 6); }
void Batch_Tree10(benchmark::State& s) { BatchTree(s, 10); }
void Batch_Tree6_Pmml(benchmark::State& s) { BatchTree(s, 6, true); }
void Batch_Tree10_Pmml(benchmark::State& s) { BatchTree(s, 10, true); }

// Wall time: with two threads the work is spread over both.
BENCHMARK(Batch_Tree6)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Batch_Tree10)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Batch_Tree6_Pmml)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Batch_Tree10_Pmml)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
