#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>

#include "align/NwFill.h"

namespace circog {

void NwScratch::Free::operator()(void* p) const { std::free(p); }

void* NwScratch::Get(size_t bytes) {
  if (bytes > size_) {
    // Growing by half at least: a run's pairs grow the block a few times,
    // not once for each new largest pair, each time on fresh pages.
    const size_t wanted = std::max(bytes, size_ + size_ / 2);
    const size_t rounded = (wanted + 63) / 64 * 64;
    block_.reset();
    void* p = std::aligned_alloc(64, rounded);
    if (p == nullptr) throw std::bad_alloc();
    block_.reset(p);
    size_ = rounded;
  }
  return block_.get();
}

void NwClassifyScalar(const uint8_t* letterClasses, const char* bytes, size_t count, uint8_t* classes) {
  for (size_t k = 0; k < count; ++k) {
    const auto byte = static_cast<unsigned char>(bytes[k]);
    const bool letter = static_cast<unsigned char>((byte | 0x20) - 'a') < 26;
    classes[k] = letter ? letterClasses[byte & 31] : kNoTableIndex;
  }
}

namespace {

// True when some score of the fill, or a candidate for one, could leave
// int32_t: more than (n + m + 1) steps of the largest substitution or gap.
bool NeedsWideScores(const NwProblem& problem) {
  int64_t largest = std::llabs(problem.gap);
  for (int k = 0; k < kResidueClasses * kResidueClasses; ++k) {
    largest = std::max<int64_t>(largest, std::llabs(problem.substitution[k]));
  }
  const int64_t steps = int64_t{problem.n} + problem.m + 1;
  return largest != 0 && steps > std::numeric_limits<int32_t>::max() / largest;
}

// The fill in Score arithmetic; returns the score of the last cell.
template <typename Score>
Score Fill(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  const int32_t n = problem.n;
  const int32_t m = problem.m;
  const Score gap = problem.gap;
  dirs.SetPlain();
  // Two rows of scores suffice: the direction matrix keeps what the
  // traceback needs.
  auto* rows = static_cast<Score*>(scratch.Get(2 * (static_cast<size_t>(m) + 1) * sizeof(Score)));
  Score* above = rows;
  Score* current = rows + m + 1;
  for (int32_t j = 0; j <= m; ++j) above[j] = j * gap;
  for (int32_t i = 1; i <= n; ++i) {
    const int32_t* substitutionRow = problem.substitution + problem.first[i - 1] * kResidueClasses;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = i * gap;
    for (int32_t j = 1; j <= m; ++j) {
      const Score diag = above[j - 1] + substitutionRow[problem.second[j - 1]];
      const Score up = above[j] + gap;
      const Score left = current[j - 1] + gap;
      const Score best = std::max({diag, up, left});
      current[j] = best;
      dirRow[j - 1] = best == diag ? kDiagonal : best == up ? kUp : kLeft;
    }
    std::swap(above, current);
  }
  return above[m];
}

}  // namespace

int32_t NwFillScalar(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  if (!NeedsWideScores(problem)) return Fill<int32_t>(problem, dirs, scratch);
  // Each score is a sum of at most n + m + 1 entries of 32 bits, far inside
  // int64_t; the directions are exact and the returned score is clamped.
  return static_cast<int32_t>(std::clamp<int64_t>(Fill<int64_t>(problem, dirs, scratch),
                                                  std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace circog
