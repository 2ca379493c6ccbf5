#include <algorithm>
#include <cstdlib>
#include <new>

#include "align/NwFill.h"
#include "align/NwFillWide.h"

namespace circog {

void NwScratch::Free::operator()(void* p) const { std::free(p); }

void* NwScratch::Get(size_t bytes) {
  if (bytes > size_) {
    const size_t rounded = (bytes + 63) / 64 * 64;
    void* p = std::aligned_alloc(64, rounded);
    if (p == nullptr) throw std::bad_alloc();
    block_.reset(p);
    size_ = rounded;
  }
  return block_.get();
}

int32_t NwFillScalar(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  if (NeedsWideScores(problem)) return NwFillScalarWide(problem, dirs, scratch);
  const int32_t n = problem.n;
  const int32_t m = problem.m;
  const int32_t gap = problem.gap;
  dirs.SetPlain();
  // Two rows of scores suffice: the direction matrix keeps what the
  // traceback needs.
  auto* rows = static_cast<int32_t*>(scratch.Get(2 * (static_cast<size_t>(m) + 1) * sizeof(int32_t)));
  int32_t* above = rows;
  int32_t* current = rows + m + 1;
  for (int32_t j = 0; j <= m; ++j) above[j] = j * gap;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t* substitutionRow = problem.substitution + problem.first[i - 1] * kResidueClasses;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = i * gap;
    for (int32_t j = 1; j <= m; ++j) {
      const int32_t diag = above[j - 1] + substitutionRow[problem.second[j - 1]];
      const int32_t up = above[j] + gap;
      const int32_t left = current[j - 1] + gap;
      const int32_t best = std::max({diag, up, left});
      current[j] = best;
      dirRow[j - 1] = best == diag ? kDiagonal : best == up ? kUp : kLeft;
    }
    std::swap(above, current);
  }
  return above[m];
}

}  // namespace circog
