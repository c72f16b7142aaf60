// Replaces the global allocation functions with ones that take their memory
// from malloc and report every allocation to NoteAllocation(), which the
// including file defines; the tests and benchmarks that show a path
// allocates nothing count with it. Include it in one source file of an
// executable only.
#ifndef RULESCORE_TESTS_SUPPORT_COUNTINGHEAP_H_
#define RULESCORE_TESTS_SUPPORT_COUNTINGHEAP_H_

#include <cstdlib>
#include <new>

void NoteAllocation();

// GCC takes the free() in these replacements for a mismatch with new; they
// pair with the malloc() below. The nothrow forms are replaced too (the
// standard library's temporary buffers use them), so that every pair takes
// the same heap.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  NoteAllocation();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  NoteAllocation();
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

#endif  // RULESCORE_TESTS_SUPPORT_COUNTINGHEAP_H_
