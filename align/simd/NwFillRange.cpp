// Built without instruction-set flags: every kernel file calls this.

#include <algorithm>
#include <cstdint>

#include "align/simd/NwFillSimd.h"

namespace circog {

NwLanePlan NwPlanLanes(const NwProblem& problem, int32_t lanes16) {
  // Far beyond any protein; keeps every bound below within int64_t.
  constexpr int64_t kLimit = int64_t{1} << 24;
  if (problem.n <= 0 || problem.m <= 0 || problem.gap >= 0) return {};
  if (problem.n > kLimit || problem.m > kLimit || problem.gap < -kLimit) return {};
  NwProblem ranged = problem;
  if (!ranged.rangeKnown) SetScoreRange(ranged);
  // The bounds below take 0 as a substitution score too.
  const int64_t lowSub = std::min(ranged.lowestScore, 0);
  const int64_t highSub = std::max(ranged.highestScore, 0);
  if (lowSub < -kLimit || highSub > kLimit) return {};

  // Padded columns score 0 against every residue, so the computed rectangle
  // is an alignment matrix of its own. S lies between the all-gap path and
  // one best match per diagonal step: -(i + j) g <= S <= highSub min(i, j).
  // The skewed R = S + (i + j) g then lies in [0, highSub min(i, j) +
  // (i + j) g], and a diagonal candidate within one substitution and 2 g.
  const int64_t g = -static_cast<int64_t>(problem.gap);
  const int64_t n = problem.n;
  const int64_t columns = problem.m + static_cast<int64_t>(lanes16);
  const int64_t diagonalSteps = std::min(n, columns);
  // The unskewed scores, as the reference keeps them, must fit in int32_t.
  if ((n + columns) * g > INT32_MAX || highSub * diagonalSteps > INT32_MAX) return {};
  const int64_t low = lowSub;
  const int64_t high = highSub * diagonalSteps + (n + columns) * g + highSub + 2 * g;
  const int64_t width = high - low;
  const int64_t constants = std::max(-lowSub, highSub) + 2 * g;
  const auto offset = static_cast<int32_t>(low);
  if (width <= UINT16_MAX && constants <= INT16_MAX) return {16, offset};
  if (width <= UINT32_MAX) return {32, offset};
  return {};
}

bool NwDifferencesFit(const NwProblem& problem) {
  const NwProblem& p = problem;
  if (p.n <= 0 || p.m <= 0 || p.gap >= 0 || p.gap < -kMaxDifferenceStep) return false;
  NwProblem ranged = p;
  if (!ranged.rangeKnown) SetScoreRange(ranged);
  const int64_t twoGaps = -2 * int64_t{p.gap};
  if (ranged.lowestScore + twoGaps < 0 || ranged.highestScore + twoGaps > kMaxDifferenceStep) return false;
  // R stays within [0, kMaxDifferenceStep min(n, m)], and S = R + (n + m) gap.
  const int64_t steps = int64_t{p.n} + p.m;
  return steps * -int64_t{p.gap} <= INT32_MAX &&
         int64_t{kMaxDifferenceStep} * std::min(p.n, p.m) <= INT32_MAX;
}

}  // namespace circog
