// Starting a thread that the system cannot make. The binary replaces the
// global operator new so that a test can make the next allocation on its own
// thread fail (std::thread allocates the new thread's state that way).
#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "LambdaThread.h"

// The replacements below pair malloc with free; inlined into a new-expression
// GCC cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

thread_local bool FailNextAllocation = false;

} // namespace

void* operator new(std::size_t Size) {
  if (FailNextAllocation) {
    FailNextAllocation = false;
    throw std::bad_alloc();
  }
  void* Block = std::malloc(Size ? Size : 1);
  if (!Block)
    throw std::bad_alloc();
  return Block;
}

void operator delete(void* Block) noexcept {
  std::free(Block);
}

void operator delete(void* Block, std::size_t) noexcept {
  std::free(Block);
}

namespace {

TEST(ThreadStart, AThreadThatCannotBeMadeRaisesAndIsNotWaitedFor) {
  std::atomic<int> Runs{0};
  auto* Thread = new TLambdaThread([&](TLambdaThread&) { ++Runs; });
  ASSERT_FALSE(Thread->Started()); // the handoff's own state exists from here on
  FailNextAllocation = true;
  EXPECT_THROW(Thread->Start(), std::bad_alloc);
  FailNextAllocation = false;
  EXPECT_FALSE(Thread->Started());
  if (Thread->Started())
    return;      // freeing it would wait for an end that never comes: leaked
  delete Thread; // waits for nothing
  EXPECT_EQ(Runs, 0);

  // The same object may be started again once the system can make it.
  TLambdaThread Second([&](TLambdaThread&) { ++Runs; });
  FailNextAllocation = true;
  EXPECT_THROW(Second.Start(), std::bad_alloc);
  FailNextAllocation = false;
  Second.Start();
  Second.WaitFor();
  EXPECT_TRUE(Second.Started() && Second.Finished());
  EXPECT_EQ(Runs, 1);
}

} // namespace
