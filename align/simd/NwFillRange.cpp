// Built without instruction-set flags: every kernel file calls this, and so
// may code that never runs a vector instruction.

#include <algorithm>
#include <cstdint>

#include "align/simd/NwFillSimd.h"

namespace circog {

int NwScoreBits(const NwProblem& problem, int32_t lanes16) {
  // Far beyond any protein; keeps the bound below in range of int64_t.
  constexpr int64_t kLimit = int64_t{1} << 24;
  if (problem.n <= 0 || problem.m <= 0 || problem.gap >= 0) return 0;
  if (problem.n > kLimit || problem.m > kLimit || problem.gap < -kLimit) return 0;
  int64_t lowSub = 0;
  int64_t highSub = 0;
  for (int k = 0; k < kResidueClasses * kResidueClasses; ++k) {
    lowSub = std::min<int64_t>(lowSub, problem.substitution[k]);
    highSub = std::max<int64_t>(highSub, problem.substitution[k]);
  }
  if (lowSub < -kLimit || highSub > kLimit) return 0;

  // Padded columns score 0 against every residue, so the whole computed
  // rectangle is a valid alignment matrix. Its scores lie between the all-gap
  // path and one best match per diagonal step; every intermediate (diagonal,
  // up, the lane offsets of the prefix maximum, the carried left chain) is
  // within one substitution and one vector of gaps of that.
  const int64_t w = lanes16;
  const int64_t g = -static_cast<int64_t>(problem.gap);
  const int64_t columns = problem.m + w;
  const int64_t low = -(problem.n + columns) * g + lowSub - (w + 1) * g;
  const int64_t high = highSub * std::min<int64_t>(problem.n, columns) + highSub + (w + 1) * g;
  if (low >= INT16_MIN && high <= INT16_MAX) return 16;
  if (low >= INT32_MIN && high <= INT32_MAX) return 32;
  return 0;
}

}  // namespace circog
