// Several translations of one model document behind one object, so that
// columns can be scored from several threads at once: a model scores one
// record at a time (it keeps working arrays), so every thread that scores
// takes a model of its own from the pool for the length of its call.
//
// A call cuts its rows into contiguous parts, scores each part with its own
// model on its own thread (the first part on the calling thread) and puts
// the parts' results together in row order, so the output does not depend
// on how many threads served.
#ifndef RULESCORE_HOST_MODELPOOL_H_
#define RULESCORE_HOST_MODELPOOL_H_

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "host/BatchScores.h"
#include "host/ColumnBatch.h"
#include "host/HostExport.h"
#include "host/ScoreModel.h"

namespace KtZembra_940 {

class RULESCORE_HOST_API ModelPool {
 public:
  // Fewer rows than this per part are not worth a thread.
  static constexpr size_t kMinRowsPerThread = 4096;

  // REQUIRES: at least one model; all translated from one document. The
  // pool owns them; whatever they depend on (translator, document) must
  // outlive the pool.
  explicit ModelPool(std::vector<std::unique_ptr<ScoreModel>> models);
  ~ModelPool();
  ModelPool(const ModelPool&) = delete;
  ModelPool& operator=(const ModelPool&) = delete;

  int GetSize() const { return static_cast<int>(models_.size()); }
  // The first model, for what all of them share (categories, rule
  // identifiers, dictionary, dump). Not to be scored with directly.
  const ScoreModel& GetModel() const { return *models_.front(); }

  // Scores every row of `columns` into `scores` (see BatchScores; its
  // arrays hold columns.GetRowCount() entries) on up to `threads` threads.
  // Waits while every model is busy; takes fewer threads than asked when
  // other calls hold models. False when a model scored no rows (it cannot
  // score columns); true otherwise. Thread-safe.
  bool Score(const ColumnBatch& columns, BatchScores& scores, int threads);
  // The same for rows [begin, end) of `columns` only (into the same rows of
  // the arrays of `scores`).
  bool ScoreRows(const ColumnBatch& columns, size_t begin, size_t end, BatchScores& scores,
                 int threads);

 private:
  // A free model, waiting for one when `wait`; null when none is free and
  // not waiting.
  ScoreModel* Acquire(bool wait);
  void Release(ScoreModel* model);

  std::vector<std::unique_ptr<ScoreModel>> models_;
  std::mutex mutex_;
  std::condition_variable freed_;
  std::vector<ScoreModel*> free_;  // guarded by mutex_
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_MODELPOOL_H_
