#include "compare/AlignmentPool.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "compare/MemoryBudget.h"

namespace circog {

int UsableThreads() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? static_cast<int>(hardware) : 1;
}

namespace {

constexpr size_t kWindow = 1024;

// Pairs up to this size align in the worker's own aligner, which keeps its
// storage from pair to pair; larger ones get a fresh copy that frees it at once.
constexpr size_t kKeptBytes = size_t{16} << 20;

// A thread takes this many pairs at a time: the kernels fill two at once
// (one's serial steps beside the other's work), and the threads meet half
// as often.
constexpr size_t kBatch = 2;

// A cache line each: the thread that writes one slot and the one reading
// its neighbour do not take each other's line.
struct alignas(64) Slot {
  std::atomic<int64_t> pair{-1};  // which pair's outcome the slot holds
  AlignmentCounts counts;
  std::exception_ptr error;  // what the pair threw, rethrown on the calling thread
};

// The worker threads; however the calling thread leaves, they are told to
// stop, woken from any wait and joined.
struct Workers {
  std::vector<std::thread> threads;
  std::atomic<bool>& stop;
  std::atomic<size_t>& consumed;

  ~Workers() {
    stop.store(true);
    consumed.store(SIZE_MAX / 2, std::memory_order_release);
    consumed.notify_all();
    for (std::thread& thread : threads) thread.join();
  }
};

}  // namespace

void AlignInOrder(const CProteinAligner& prototype, size_t count,
                  const std::function<void(size_t, std::string_view&, std::string_view&)>& pairAt,
                  const std::function<void(size_t, const AlignmentCounts&)>& consume,
                  const std::function<void()>& beforeWait, int threads) {
  if (count == 0) return;
  auto slots = std::make_unique<Slot[]>(kWindow);
  std::atomic<size_t> next{0};
  std::atomic<size_t> consumed{0};
  const int alignerCount = threads < 1 ? 1 : threads;
  // Each aligning thread keeps the storage of up to two pairs of up to
  // kKeptBytes, set aside here; the larger pairs in flight share the rest.
  const size_t available = AvailableMemory() / 4 * 3;
  const size_t kept = kBatch * kKeptBytes * static_cast<size_t>(alignerCount);
  MemoryBudget budget(available > 2 * kept ? available - kept : available / 2);
  std::atomic<bool> stop{false};

  // Hands pair k's outcome to the calling thread; the slot is then its.
  auto publish = [&](size_t k, const AlignmentCounts& counts, std::exception_ptr error) {
    Slot& slot = slots[k % kWindow];
    slot.counts = counts;
    slot.error = std::move(error);
    slot.pair.store(static_cast<int64_t>(k), std::memory_order_release);
    slot.pair.notify_one();
  };

  // Aligns pair k alone; false when the pair threw.
  auto alignOne = [&](CProteinAligner& aligner, size_t k) {
    try {
      std::string_view first, second;
      pairAt(k, first, second);
      const size_t bytes = AlignmentBytes(first.size(), second.size());
      if (bytes <= kKeptBytes) {
        publish(k, aligner.AlignCounts(first, second), nullptr);
      } else {
        BudgetHold hold(budget, bytes);
        CProteinAligner large(prototype);
        publish(k, large.AlignCounts(first, second), nullptr);
      }
      return true;
    } catch (...) {
      publish(k, {}, std::current_exception());
      return false;
    }
  };

  // Aligns pairs k to k + take - 1 (take at most kBatch); false when one threw.
  auto alignBatch = [&](CProteinAligner& aligner, size_t k, size_t take) {
    if (take == 2) {
      try {
        std::string_view first[2], second[2];
        pairAt(k, first[0], second[0]);
        pairAt(k + 1, first[1], second[1]);
        if (AlignmentBytes(first[0].size(), second[0].size()) <= kKeptBytes &&
            AlignmentBytes(first[1].size(), second[1].size()) <= kKeptBytes) {
          const auto counts = aligner.AlignCountsTwo(first[0], second[0], first[1], second[1]);
          publish(k, counts[0], nullptr);
          publish(k + 1, counts[1], nullptr);
          return true;
        }
      } catch (...) {
        // One at a time below, each pair with its own outcome.
      }
    }
    for (size_t t = 0; t < take; ++t) {
      if (!alignOne(aligner, k + t)) return false;
    }
    return true;
  };

  auto work = [&] {
    CProteinAligner aligner(prototype);
    for (;;) {
      const size_t k = next.fetch_add(kBatch, std::memory_order_relaxed);
      if (k >= count) return;
      const size_t take = std::min(kBatch, count - k);
      // Stay within the window: the slots of the pairs taken must have been consumed.
      for (size_t done = consumed.load(std::memory_order_acquire); k + take > done + kWindow;
           done = consumed.load(std::memory_order_acquire)) {
        consumed.wait(done, std::memory_order_acquire);
      }
      if (stop.load() || !alignBatch(aligner, k, take)) return;
    }
  };

  // The calling thread is one of the aligning threads: rather than wait for
  // the outcome it needs next, it aligns the next unclaimed pair itself, so
  // that no more threads are runnable than there are CPUs to run them.
  Workers workers{{}, stop, consumed};
  for (int t = 1; t < alignerCount; ++t) {
    try {
      workers.threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer workers will do: the calling thread aligns as well
    }
  }
  CProteinAligner own(prototype);
  bool ownFailed = false;
  for (size_t k = 0; k < count; ++k) {
    Slot& slot = slots[k % kWindow];
    int64_t held = slot.pair.load(std::memory_order_acquire);
    while (held != static_cast<int64_t>(k)) {
      // Pairs within the window can be aligned here: their slots are consumed.
      size_t mine = next.load(std::memory_order_relaxed);
      auto fits = [&] {
        return !ownFailed && mine < count && mine + std::min(kBatch, count - mine) <= k + kWindow;
      };
      while (fits() && !next.compare_exchange_weak(mine, mine + kBatch, std::memory_order_relaxed)) {
      }
      if (fits()) {
        ownFailed = !alignBatch(own, mine, std::min(kBatch, count - mine));
      } else {
        beforeWait();
        slot.pair.wait(held, std::memory_order_acquire);
      }
      held = slot.pair.load(std::memory_order_acquire);
    }
    // The first failure in pair order ends the pool; leaving stops the workers.
    if (slot.error) std::rethrow_exception(slot.error);
    consume(k, slot.counts);
    consumed.store(k + 1, std::memory_order_release);
    consumed.notify_all();
  }
}

}  // namespace circog
