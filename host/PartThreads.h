#ifndef RULESCORE_HOST_PARTTHREADS_H_
#define RULESCORE_HOST_PARTTHREADS_H_

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace KtZembra_940 {

// Runs run(0) .. run(parts - 1): part 0 on the calling thread, every other
// part on a thread of its own. A part that gets no thread (the system
// refuses one) runs on the calling thread after part 0, so every part runs
// exactly once whatever the system allows. Returns when all have ended.
class PartThreads {
 public:
  template <typename Run>
  static void RunAll(size_t parts, Run& run) {
    std::vector<std::thread> workers;
    size_t inlineFrom = parts;
    for (size_t p = 1; p < parts; ++p) {
      try {
        workers.emplace_back([&run, p] { run(p); });
      } catch (const std::system_error&) {
        inlineFrom = p;
        break;
      }
    }
    if (parts > 0) run(0);
    for (size_t p = inlineFrom; p < parts; ++p) run(p);
    for (std::thread& worker : workers) worker.join();
  }
};

}  // namespace KtZembra_940

#endif  // RULESCORE_HOST_PARTTHREADS_H_
