// Zeroed bytes on a cache-block boundary, owned. A large buffer (1 MiB and
// up) is mapped on its own, on a 2 MiB boundary and rounded up to whole
// 2 MiB, and the kernel is asked to back it with huge pages: a walk that
// jumps around a few megabytes of tables then misses the address
// translation cache far less often. Where the kernel declines (or the
// system has no such pages) the buffer is the same, on ordinary pages.
#ifndef RULESCORE_SCORING_ALIGNEDBUFFER_H_
#define RULESCORE_SCORING_ALIGNEDBUFFER_H_

#include <cstddef>

namespace KtZembra_940 {

class AlignedBuffer {
 public:
  static constexpr size_t kAlign = 128;  // every buffer starts on this boundary
  static constexpr size_t kLarge = size_t{1} << 20;
  static constexpr size_t kHugePage = size_t{2} << 20;

  AlignedBuffer() = default;
  // `bytes` zeroed bytes. Throws std::bad_alloc when they cannot be had.
  explicit AlignedBuffer(size_t bytes);
  ~AlignedBuffer();
  AlignedBuffer(AlignedBuffer&& other) noexcept;
  AlignedBuffer& operator=(AlignedBuffer&& other) noexcept;
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;

  void* data() { return data_; }
  const void* data() const { return data_; }
  size_t size() const { return size_; }
  // What the buffer holds of memory: its size rounded up as it was mapped.
  size_t reserved() const { return reserved_; }

 private:
  void Release();

  void* data_ = nullptr;
  size_t size_ = 0;
  size_t reserved_ = 0;
  bool mapped_ = false;  // from mmap (else from operator new)
};

}  // namespace KtZembra_940

#endif  // RULESCORE_SCORING_ALIGNEDBUFFER_H_
