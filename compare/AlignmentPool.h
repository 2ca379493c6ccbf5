#pragma once
// Runs many independent alignments on worker threads while the calling thread
// takes their outcomes strictly in order.

#include <cstdint>
#include <functional>
#include <string_view>

#include "align/ProteinAligner.h"

namespace circog {

// The number of hardware threads this process may run on.
int UsableThreads();

// Aligns the pairs 0 .. count-1 given by pairAt with copies of prototype, one
// per worker thread, counting only, and calls consume(k, counts) on the
// calling thread for
// k = 0, 1, 2, ... in order; beforeWait runs whenever the calling thread is
// about to wait for the next outcome. Workers run at most a fixed window ahead
// of consume, so memory does not grow with count, and together hold no more
// than the memory the process may still use (see MemoryBudget.h): a large
// pair waits until it fits. Whatever a pair throws (std::bad_alloc when even
// alone it would not fit) is thrown here once the pairs before it are consumed.
void AlignInOrder(const CProteinAligner& prototype, size_t count,
                  const std::function<void(size_t k, std::string_view& first,
                                           std::string_view& second)>& pairAt,
                  const std::function<void(size_t k, const AlignmentCounts& counts)>& consume,
                  const std::function<void()>& beforeWait, int threads = UsableThreads());

}  // namespace circog
