#include "host/ModelPool.h"

#include "host/PartThreads.h"

#include <algorithm>
#include <utility>

namespace KtZembra_940 {

ModelPool::ModelPool(std::vector<std::unique_ptr<ScoreModel>> models)
    : models_(std::move(models)) {
  for (const std::unique_ptr<ScoreModel>& model : models_) free_.push_back(model.get());
}

ModelPool::~ModelPool() = default;

ScoreModel* ModelPool::Acquire(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wait) freed_.wait(lock, [this] { return !free_.empty(); });
  if (free_.empty()) return nullptr;
  ScoreModel* model = free_.back();
  free_.pop_back();
  return model;
}

void ModelPool::Release(ScoreModel* model) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(model);
  }
  freed_.notify_one();
}

bool ModelPool::Score(const ColumnBatch& columns, BatchScores& scores, int threads) {
  return ScoreRows(columns, 0, columns.GetRowCount(), scores, threads);
}

bool ModelPool::ScoreRows(const ColumnBatch& columns, size_t first, size_t last,
                          BatchScores& scores, int threads) {
  if (last > columns.GetRowCount()) last = columns.GetRowCount();
  const size_t rows = last > first ? last - first : 0;
  size_t wanted = threads > 1 ? static_cast<size_t>(threads) : 1;
  wanted = std::min(wanted, std::max<size_t>(1, rows / kMinRowsPerThread));

  if (wanted == 1) {
    // One part: no thread, no list of its own.
    ScoreModel* model = Acquire(true);
    const size_t done = rows == 0 ? 0 : model->ScoreBatch(columns, first, last, scores);
    Release(model);
    return done == rows;
  }

  std::vector<ScoreModel*> taken;
  taken.push_back(Acquire(true));
  while (taken.size() < wanted) {
    ScoreModel* more = Acquire(false);
    if (more == nullptr) break;
    taken.push_back(more);
  }

  const size_t parts = taken.size();
  std::vector<std::vector<int32_t>> partFired(parts > 1 ? parts - 1 : 0);
  std::vector<size_t> done(parts, 0);
  std::vector<size_t> bounds(parts + 1, 0);
  for (size_t p = 0; p <= parts; ++p) bounds[p] = first + rows * p / parts;

  // Part p scores its rows into the batch's arrays; its fired rules go to
  // the caller's list (part 0) or a list of its own, joined below.
  auto run = [&](size_t p) {
    const size_t begin = bounds[p];
    const size_t end = bounds[p + 1];
    std::vector<int32_t>* fired =
        p == 0 || scores.fired == nullptr ? scores.fired : &partFired[p - 1];
    if (p != 0 && fired != nullptr) fired->reserve(end - begin);
    BatchScores part = scores;
    part.fired = fired;
    done[p] = begin == end ? 0 : taken[p]->ScoreBatch(columns, begin, end, part);
  };

  PartThreads::RunAll(parts, run);
  for (ScoreModel* model : taken) Release(model);

  bool ok = true;
  for (size_t p = 0; p < parts; ++p) {
    if (bounds[p + 1] != bounds[p] && done[p] != bounds[p + 1] - bounds[p]) ok = false;
  }
  if (scores.fired != nullptr) {
    for (const std::vector<int32_t>& fired : partFired) {
      scores.fired->insert(scores.fired->end(), fired.begin(), fired.end());
    }
  }
  return ok;
}

}  // namespace KtZembra_940
