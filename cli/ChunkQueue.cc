#include "cli/ChunkQueue.h"

namespace rulescore {
namespace cli {

void ChunkQueue::Push(size_t slot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[slot] = 0;
    queue_.push_back(slot);
  }
  work_.notify_one();
}

bool ChunkQueue::Pop(size_t* slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  work_.wait(lock, [this] { return closed_ || !queue_.empty(); });
  if (closed_) return false;
  *slot = queue_.front();
  queue_.pop_front();
  return true;
}

void ChunkQueue::Finish(size_t slot) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_[slot] = 1;
  }
  finished_.notify_all();
}

void ChunkQueue::WaitDone(size_t slot) {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this, slot] { return done_[slot] != 0; });
}

bool ChunkQueue::PopUntilDone(size_t slot, size_t* taken) {
  std::unique_lock<std::mutex> lock(mutex_);
  // Only the caller queues slots, so none is queued while it waits here.
  finished_.wait(lock, [this, slot] { return done_[slot] != 0 || (!closed_ && !queue_.empty()); });
  if (done_[slot] != 0) return false;
  *taken = queue_.front();
  queue_.pop_front();
  return true;
}

void ChunkQueue::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    // Dropped slots count as done, so that no one waits on them.
    for (const size_t slot : queue_) done_[slot] = 1;
    queue_.clear();
  }
  work_.notify_all();
  finished_.notify_all();
}

}  // namespace cli
}  // namespace rulescore
