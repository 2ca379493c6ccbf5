#pragma once
// Runs many independent alignments on worker threads while the calling thread
// takes their outcomes strictly in order.

#include <cstdint>
#include <functional>
#include <string>

#include "align/ProteinAligner.h"

namespace circog {

struct AlignmentOutcome {
  int32_t similarCount = 0;
  int32_t length = 0;  // alignment columns
};

// The number of hardware threads this process may run on.
int UsableThreads();

// Aligns the pairs 0 .. count-1 given by pairAt with copies of prototype, one
// per worker thread, and calls consume(k, outcome) on the calling thread for
// k = 0, 1, 2, ... in order; beforeWait runs whenever the calling thread is
// about to wait for the next outcome. Workers run at most a fixed window ahead
// of consume, so memory does not grow with count, and together hold no more
// than the memory the process may still use (see MemoryBudget.h): a large
// pair waits until it fits. Whatever a pair throws (std::bad_alloc when even
// alone it would not fit) is thrown here once the pairs before it are consumed.
void AlignInOrder(const CProteinAligner& prototype, size_t count,
                  const std::function<void(size_t k, const std::string*& first,
                                           const std::string*& second)>& pairAt,
                  const std::function<void(size_t k, const AlignmentOutcome& outcome)>& consume,
                  const std::function<void()>& beforeWait, int threads = UsableThreads());

}  // namespace circog
