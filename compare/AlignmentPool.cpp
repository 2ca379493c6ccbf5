#include "compare/AlignmentPool.h"

#include <sched.h>

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

struct Slot {
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
  // Each aligning thread keeps up to kKeptBytes; the pairs in flight share the rest.
  const size_t available = AvailableMemory() / 4 * 3;
  const size_t kept = kKeptBytes * static_cast<size_t>(alignerCount);
  MemoryBudget budget(available > 2 * kept ? available - kept : available / 2);
  std::atomic<bool> stop{false};

  // Aligns pair k into its slot; false when the pair threw.
  auto alignInto = [&](CProteinAligner& aligner, size_t k) {
    Slot& slot = slots[k % kWindow];
    bool failed = false;  // the slot belongs to the calling thread once published
    try {
      std::string_view first, second;
      pairAt(k, first, second);
      const size_t bytes = AlignmentBytes(first.size(), second.size());
      BudgetHold hold(budget, bytes);
      if (bytes <= kKeptBytes) {
        slot.counts = aligner.AlignCounts(first, second);
      } else {
        CProteinAligner large(prototype);
        slot.counts = large.AlignCounts(first, second);
      }
    } catch (...) {
      slot.error = std::current_exception();
      failed = true;
    }
    slot.pair.store(static_cast<int64_t>(k), std::memory_order_release);
    slot.pair.notify_one();
    return !failed;
  };

  auto work = [&] {
    CProteinAligner aligner(prototype);
    for (;;) {
      const size_t k = next.fetch_add(1, std::memory_order_relaxed);
      if (k >= count) return;
      // Stay within the window: slot k % kWindow must have been consumed.
      for (size_t done = consumed.load(std::memory_order_acquire); k >= done + kWindow;
           done = consumed.load(std::memory_order_acquire)) {
        consumed.wait(done, std::memory_order_acquire);
      }
      if (stop.load() || !alignInto(aligner, k)) return;
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
      // A pair within the window can be aligned here: its slot is consumed.
      size_t mine = next.load(std::memory_order_relaxed);
      while (!ownFailed && mine < count && mine < k + kWindow &&
             !next.compare_exchange_weak(mine, mine + 1, std::memory_order_relaxed)) {
      }
      if (!ownFailed && mine < count && mine < k + kWindow) {
        ownFailed = !alignInto(own, mine);
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
