#include "compare/MemoryBudget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>

namespace {

TEST(MemoryBudgetTest, RequestBeyondTheWholeBudgetFails) {
  circog::MemoryBudget budget(100);
  EXPECT_THROW(budget.Acquire(101), std::bad_alloc);
  budget.Acquire(100);  // the failed request took nothing and blocks no one
  budget.Release(100);
}

TEST(MemoryBudgetTest, RequestThatDoesNotFitWaitsForARelease) {
  circog::MemoryBudget budget(100);
  budget.Acquire(70);
  std::atomic<bool> granted{false};
  std::thread waiter([&] {
    circog::BudgetHold hold(budget, 40);
    granted = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(granted);
  budget.Release(70);
  waiter.join();
  EXPECT_TRUE(granted);
}

TEST(MemoryBudgetTest, SaturatesForMatricesBeyondMemory) {
  EXPECT_EQ(circog::AlignmentBytes(SIZE_MAX / 2, 1000), SIZE_MAX);
  EXPECT_GE(circog::AlignmentBytes(1000, 1000), size_t{1000} * 1000);
  EXPECT_GT(circog::AvailableMemory(), size_t{1} << 20);
}

}  // namespace
