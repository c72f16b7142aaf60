#include "cli/WorkerPool.h"

namespace rulescore {
namespace cli {

WorkerPool::WorkerPool(int width) : width_(width < 1 ? 1 : width) {
  threads_.reserve(static_cast<size_t>(width_ - 1));
  for (int i = 1; i < width_; ++i) threads_.emplace_back([this, i] { Work(i); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  start_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void WorkerPool::Run(const std::function<void(int)>& task) {
  if (width_ > 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    running_ = width_ - 1;
    ++round_;
  }
  start_.notify_all();
  task(0);
  if (width_ > 1) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return running_ == 0; });
    task_ = nullptr;
  }
}

void WorkerPool::Work(int index) {
  uint64_t seen = 0;
  for (;;) {
    const std::function<void(int)>* task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return stopping_ || round_ != seen; });
      if (stopping_) return;
      seen = round_;
      task = task_;
    }
    (*task)(index);
    bool last;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last = --running_ == 0;
    }
    if (last) done_.notify_one();
  }
}

}  // namespace cli
}  // namespace rulescore
