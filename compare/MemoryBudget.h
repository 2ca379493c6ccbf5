#pragma once
// How much memory the alignment workers may hold together, so that several
// large pairs aligned at once cannot exhaust what the process may use.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace circog {

// The bytes this process may still allocate: the smallest of what is left
// under RLIMIT_AS and RLIMIT_DATA, under the cgroup's memory.max (every level
// up to the root) and the physical memory.
size_t AvailableMemory();

// What aligning an n x m pair holds while it runs: the direction matrix plus
// a few rows and the aligned strings.
size_t AlignmentBytes(size_t n, size_t m);

// Bytes handed out first come, first served. A request that does not fit in
// what is left waits until it does, at the latest until nothing else is
// held; a request larger than the whole budget cannot be met at all.
class MemoryBudget {
 public:
  explicit MemoryBudget(size_t total) : total_(total) {}
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;

  // Takes bytes, waiting as above; throws std::bad_alloc when bytes exceed
  // the whole budget.
  void Acquire(size_t bytes);
  void Release(size_t bytes);

  size_t Total() const { return total_; }

 private:
  const size_t total_;
  size_t used_ = 0;
  uint64_t nextTicket_ = 0;
  uint64_t serving_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
};

// Holds bytes of a budget for the lifetime of a scope.
class BudgetHold {
 public:
  BudgetHold(MemoryBudget& budget, size_t bytes) : budget_(budget), bytes_(bytes) {
    budget_.Acquire(bytes_);
  }
  ~BudgetHold() { budget_.Release(bytes_); }
  BudgetHold(const BudgetHold&) = delete;
  BudgetHold& operator=(const BudgetHold&) = delete;

 private:
  MemoryBudget& budget_;
  size_t bytes_;
};

}  // namespace circog
