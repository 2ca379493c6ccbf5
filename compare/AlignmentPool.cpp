#include "compare/AlignmentPool.h"

#include <sched.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace circog {

int UsableThreads() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return CPU_COUNT(&set) > 0 ? CPU_COUNT(&set) : 1;
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? static_cast<int>(hardware) : 1;
}

namespace {

constexpr size_t kWindow = 1024;

struct Slot {
  std::atomic<int64_t> pair{-1};  // which pair's outcome the slot holds
  AlignmentCounts counts;
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
      std::string_view first, second;
      pairAt(k, first, second);
      Slot& slot = slots[k % kWindow];
      slot.counts = aligner.AlignCounts(first, second);
      slot.pair.store(static_cast<int64_t>(k), std::memory_order_release);
      slot.pair.notify_one();
    }
  };

  std::vector<std::thread> workers;
  const int workerCount = threads < 1 ? 1 : threads;
  for (int t = 0; t < workerCount; ++t) workers.emplace_back(work);
  for (size_t k = 0; k < count; ++k) {
    Slot& slot = slots[k % kWindow];
    int64_t held = slot.pair.load(std::memory_order_acquire);
    if (held != static_cast<int64_t>(k)) {
      beforeWait();
      do {
        slot.pair.wait(held, std::memory_order_acquire);
        held = slot.pair.load(std::memory_order_acquire);
      } while (held != static_cast<int64_t>(k));
    }
    consume(k, slot.counts);
    consumed.store(k + 1, std::memory_order_release);
    consumed.notify_all();
  }
  for (std::thread& worker : workers) worker.join();
}

}  // namespace circog
