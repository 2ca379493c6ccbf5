#include "align/NwFillWide.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace circog {

bool NeedsWideScores(const NwProblem& problem) {
  int64_t largest = std::llabs(problem.gap);
  for (int k = 0; k < kResidueClasses * kResidueClasses; ++k) {
    largest = std::max<int64_t>(largest, std::llabs(problem.substitution[k]));
  }
  const int64_t steps = int64_t{problem.n} + problem.m + 1;
  return largest != 0 && steps > std::numeric_limits<int32_t>::max() / largest;
}

int32_t NwFillScalarWide(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  const int32_t n = problem.n;
  const int32_t m = problem.m;
  const int64_t gap = problem.gap;
  dirs.SetPlain();
  // Each score is a sum of at most n + m + 1 entries of 32 bits: far inside int64_t.
  auto* rows = static_cast<int64_t*>(scratch.Get(2 * (static_cast<size_t>(m) + 1) * sizeof(int64_t)));
  int64_t* above = rows;
  int64_t* current = rows + m + 1;
  for (int32_t j = 0; j <= m; ++j) above[j] = j * gap;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t* substitutionRow = problem.substitution + problem.first[i - 1] * kResidueClasses;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = i * gap;
    for (int32_t j = 1; j <= m; ++j) {
      const int64_t diag = above[j - 1] + substitutionRow[problem.second[j - 1]];
      const int64_t up = above[j] + gap;
      const int64_t left = current[j - 1] + gap;
      const int64_t best = std::max({diag, up, left});
      current[j] = best;
      dirRow[j - 1] = best == diag ? kDiagonal : best == up ? kUp : kLeft;
    }
    std::swap(above, current);
  }
  return static_cast<int32_t>(std::clamp<int64_t>(above[m], std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace circog
