// A fixed set of threads that run one round of work at a time: Run(task)
// calls task(0) on the calling thread and task(1) .. task(n-1) on the pool's
// threads, and returns when every call has returned. The score command runs
// one round for the whole input: the calling thread cuts and writes chunks,
// the pool's threads score them (ChunkQueue hands them over).
#ifndef RULESCORE_CLI_WORKERPOOL_H_
#define RULESCORE_CLI_WORKERPOOL_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rulescore {
namespace cli {

class WorkerPool {
 public:
  // REQUIRES: width >= 1. Starts width - 1 threads.
  explicit WorkerPool(int width);
  // Stops and joins the threads.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int GetWidth() const { return width_; }
  // Runs task(i) for every i in [0, width). The task must not throw.
  void Run(const std::function<void(int)>& task);

 private:
  void Work(int index);

  int width_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  const std::function<void(int)>* task_ = nullptr;  // set for one round
  uint64_t round_ = 0;    // bumped when a round starts
  int running_ = 0;       // pool threads still inside the current round
  bool stopping_ = false;
};

}  // namespace cli
}  // namespace rulescore

#endif  // RULESCORE_CLI_WORKERPOOL_H_
