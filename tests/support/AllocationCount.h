// Counts the allocations the calling thread makes while a piece of code
// runs, so that a test can show the code allocates nothing. It replaces the
// global allocation functions (tests/support/CountingHeap.h): include it in
// one source file of an executable only.
#ifndef RULESCORE_TESTS_SUPPORT_ALLOCATIONCOUNT_H_
#define RULESCORE_TESTS_SUPPORT_ALLOCATIONCOUNT_H_

#include "tests/support/CountingHeap.h"

namespace {
thread_local bool gCounting = false;
thread_local long gAllocations = 0;
}  // namespace

void NoteAllocation() {
  if (gCounting) ++gAllocations;
}

namespace KtZembra_940 {
namespace testing_support {

// The allocations `code` makes on this thread.
template <class Code>
long AllocationsIn(Code&& code) {
  const long before = gAllocations;
  gCounting = true;
  code();
  gCounting = false;
  return gAllocations - before;
}

}  // namespace testing_support
}  // namespace KtZembra_940

#endif  // RULESCORE_TESTS_SUPPORT_ALLOCATIONCOUNT_H_
