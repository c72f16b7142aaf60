// Hands chunks, by slot number, from the thread that cuts and writes them
// to the threads that score them, and tells it when each is done; while it
// waits, that thread may take queued chunks itself (PopUntilDone). A fixed
// number of slots keeps memory bounded; the cutting thread reuses a slot
// only once it is done.
#ifndef RULESCORE_CLI_CHUNKQUEUE_H_
#define RULESCORE_CLI_CHUNKQUEUE_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace rulescore {
namespace cli {

class ChunkQueue {
 public:
  explicit ChunkQueue(size_t slots) : done_(slots, 1) {}
  ChunkQueue(const ChunkQueue&) = delete;
  ChunkQueue& operator=(const ChunkQueue&) = delete;

  // Queues `slot` (REQUIRES: done) for a scoring thread.
  void Push(size_t slot);
  // Takes the oldest queued slot; blocks while there is none. False once
  // closed: the scoring thread then returns.
  bool Pop(size_t* slot);
  // Marks a popped slot done; its results may then be read.
  void Finish(size_t slot);
  // Blocks until `slot` is done.
  void WaitDone(size_t slot);
  // For the thread that queues the slots: blocks until `slot` is done,
  // unless a queued slot can be taken first, in which case it takes the
  // oldest into *taken (to be scored and finished by the caller) and
  // returns true. False once `slot` is done.
  bool PopUntilDone(size_t slot, size_t* taken);
  // Ends every Pop; slots still queued are dropped.
  void Close();

 private:
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable finished_;
  std::deque<size_t> queue_;
  std::vector<char> done_;
  bool closed_ = false;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_CHUNKQUEUE_H_
