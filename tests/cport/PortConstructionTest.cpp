// The port's constructor when one of its allocations fails: whatever it made
// before is freed again. The test binary counts every allocation of the
// global operator new and can make the Nth one fail.
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "cport/CPort.h"

// The replacements below pair malloc with free; inlined into a new-expression
// GCC cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

long LiveAllocations = 0;
int FailIn = -1; // the allocation that fails: 0 = the next one; -1 = none

} // namespace

void* operator new(std::size_t Size) {
  if (FailIn >= 0 && FailIn-- == 0)
    throw std::bad_alloc();
  void* Block = std::malloc(Size ? Size : 1);
  if (!Block)
    throw std::bad_alloc();
  ++LiveAllocations;
  return Block;
}

void operator delete(void* Block) noexcept {
  if (Block)
    --LiveAllocations;
  std::free(Block);
}

void operator delete(void* Block, std::size_t) noexcept {
  operator delete(Block);
}

namespace {

TEST(PortConstruction, AFailedAllocationLeavesNothingBehind) {
  // First use of the default device and the component base made once.
  delete new TComPort();
  int Failed = 0;
  for (int N = 0;; ++N) {
    const long Before = LiveAllocations;
    FailIn = N;
    try {
      TComPort Port;
      FailIn = -1;
      break; // every allocation of the constructor succeeded
    } catch (const std::bad_alloc&) {
      FailIn = -1;
      ++Failed;
    }
    EXPECT_EQ(LiveAllocations, Before) << "allocation " << N << " failed";
  }
  // The four settings objects at least.
  EXPECT_GE(Failed, 4);
}

} // namespace
