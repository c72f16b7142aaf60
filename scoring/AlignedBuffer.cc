#include "scoring/AlignedBuffer.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace KtZembra_940 {

AlignedBuffer::AlignedBuffer(size_t bytes) {
  if (bytes == 0) return;
#if defined(__linux__)
  if (bytes >= kLarge) {
    // Map one huge page more than needed, then give back the parts before
    // the first 2 MiB boundary and after the rounded-up end.
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* map = mmap(nullptr, rounded + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map != MAP_FAILED) {
      const uintptr_t begin = reinterpret_cast<uintptr_t>(map);
      const uintptr_t aligned = (begin + kHugePage - 1) / kHugePage * kHugePage;
      if (aligned > begin) munmap(map, aligned - begin);
      const size_t tail = begin + rounded + kHugePage - (aligned + rounded);
      if (tail > 0) munmap(reinterpret_cast<void*>(aligned + rounded), tail);
#if defined(MADV_HUGEPAGE)
      madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);  // advice only: ignore a refusal
#endif
      data_ = reinterpret_cast<void*>(aligned);  // anonymous pages read as zero
      size_ = bytes;
      reserved_ = rounded;
      mapped_ = true;
      return;
    }
  }
#endif
  data_ = ::operator new(bytes, std::align_val_t(kAlign));
  std::memset(data_, 0, bytes);
  size_ = bytes;
  reserved_ = bytes;
}

AlignedBuffer::~AlignedBuffer() { Release(); }

AlignedBuffer::AlignedBuffer(AlignedBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      reserved_(std::exchange(other.reserved_, 0)),
      mapped_(std::exchange(other.mapped_, false)) {}

AlignedBuffer& AlignedBuffer::operator=(AlignedBuffer&& other) noexcept {
  if (this != &other) {
    Release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    reserved_ = std::exchange(other.reserved_, 0);
    mapped_ = std::exchange(other.mapped_, false);
  }
  return *this;
}

void AlignedBuffer::Release() {
  if (data_ == nullptr) return;
#if defined(__linux__)
  if (mapped_) {
    munmap(data_, reserved_);
  } else {
    ::operator delete(data_, std::align_val_t(kAlign));
  }
#else
  ::operator delete(data_, std::align_val_t(kAlign));
#endif
  data_ = nullptr;
  size_ = 0;
  reserved_ = 0;
  mapped_ = false;
}

}  // namespace KtZembra_940
