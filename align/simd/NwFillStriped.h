#pragma once
// The striped fill on skewed scores (see NwFillSimd.h), written once over the
// vector width: each kernel file instantiates it with its own lane type,
// compiled with its own instruction-set flags. Everything here has internal
// linkage, so no copy can leak into another kernel file.
//
// Striped rows: with S vectors per row, column j = l * S + v sits in lane l of
// vector v. Within a lane, columns l * S to l * S + S - 1 follow one another
// from vector to vector, so the left moves become a running maximum over the
// vectors; one prefix maximum over the lanes per row then brings in every
// earlier segment. Per row: a first pass of diagonal, up and running
// maximum, the lane prefix, a second pass that adds it and sets directions.
//
// A lane type L provides:
//   Vec, Score (int16_t or int32_t), kLanes, kClassBlock (classes looked up at
//   once), kInterleaved (how StoreMasks lays out its masks);
//   Load, Store, Set, Add, Max (unsigned), Equal (all-ones lanes);
//   ShiftUp(v, first): every lane moves up one, lane 0 takes lane 0 of first;
//   PrefixMax(v): each lane the maximum of itself and every lane below;
//   StoreMasks(t, diag, up, out): the kLanes / 4 mask bytes of one vector;
//   LookUpRow(table, classes, count, out): count profile entries (whole
//   blocks of kClassBlock) from a 32-entry byte table indexed by classes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "align/NwFill.h"
#include "align/simd/NwFillLayout.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

// The class a padded column gets: it scores 0 against everything, so its
// diagonal step is -2 gap.
constexpr uint8_t kPadClass = kResidueClasses;

// Profile entries, substitution - 2 gap, fit in a signed byte when the
// table's extremes do.
inline bool ProfileFitsBytes(const NwProblem& p) {
  NwProblem ranged = p;
  if (!ranged.rangeKnown) SetScoreRange(ranged);
  const int64_t twoGaps = -2 * int64_t{p.gap};
  const int64_t low = std::min<int64_t>(ranged.lowestScore, 0) + twoGaps;
  const int64_t high = std::max<int64_t>(ranged.highestScore, 0) + twoGaps;
  return low >= INT8_MIN && high <= INT8_MAX;
}

// The striped profile: profile[c * columns + k] is the diagonal step of
// class c against the column that striped position k holds.
template <typename L>
void BuildStripedProfile(const NwProblem& p, const uint8_t* striped, size_t classBytes, size_t columns,
                         typename L::Score* profile) {
  using Score = typename L::Score;
  const bool bytes = ProfileFitsBytes(p);
  for (int c = 0; c < kResidueClasses; ++c) {
    int32_t row[32] = {};
    for (int k = 0; k < kResidueClasses; ++k) row[k] = p.substitution[c * kResidueClasses + k] - 2 * p.gap;
    row[kPadClass] = -2 * p.gap;
    Score* out = profile + c * columns;
    if (bytes) {
      alignas(32) int8_t table[32] = {};
      for (int k = 0; k <= kPadClass; ++k) table[k] = static_cast<int8_t>(row[k]);
      // The class array is padded to whole blocks, and the row written to
      // match: into the next row or the rows that follow the profile.
      L::LookUpRow(table, striped, classBytes, out);
    } else {
      for (size_t k = 0; k < columns; ++k) out[k] = static_cast<Score>(row[striped[k]]);
    }
  }
}

// One sweep over the vectors of a row, two rows at once: the second pass of
// row i (its scores t from the running maxima and the lane prefix, and its
// directions) and the first pass of row i + 1, which reads t from registers.
// Without kMasks row i is row 0, whose directions do not exist; without
// kNext row i is the last row.
template <typename L>
struct RowPair {
  using Vec = typename L::Vec;
  using Score = typename L::Score;

  Score* t;                  // row i - 1 in, row i out
  Score* running;            // the running maxima of row i in, of row i + 1 out
  const Score* profile;      // row i's diagonal steps
  const Score* nextProfile;  // row i + 1's
  uint8_t* dirRow;           // row i's directions
  size_t columns;

  // before: row i's lane prefix; upLeft: column j - 1 of vector 0 in row
  // i - 1, and tLeft in row i. Returns the running maxima of row i + 1's last
  // vector.
  template <bool kMasks, bool kNext>
  Vec Sweep(Vec before, Vec upLeft, Vec tLeft) const {
    constexpr int W = L::kLanes;
    Vec nextRunning = L::Set(0);
    Score* tAt = t;
    Score* runningAt = running;
    const Score* profileAt = profile;
    const Score* nextProfileAt = nextProfile;
    uint8_t* masks = dirRow;
    // One vector: upLeft and tLeft move on to this vector's column.
    auto step = [&](size_t k) {
      const Vec tNow = L::Max(L::Load(runningAt + k), before);
      if constexpr (kMasks) {
        const Vec up = L::Load(tAt + k);
        L::StoreMasks(tNow, L::Add(upLeft, L::Load(profileAt + k)), up, masks + k / 4);
        upLeft = up;
      }
      L::Store(tAt + k, tNow);
      if constexpr (kNext) {
        const Vec diag = L::Add(tLeft, L::Load(nextProfileAt + k));
        nextRunning = L::Max(nextRunning, L::Max(diag, tNow));
        L::Store(runningAt + k, nextRunning);
      }
      tLeft = tNow;
    };
    const Score* end = t + columns;
    // Two vectors a round: the values carried from one to the next stay in
    // place instead of being copied.
    while (tAt + 2 * W <= end) {
      step(0);
      step(W);
      tAt += 2 * W;
      runningAt += 2 * W;
      profileAt += 2 * W;
      nextProfileAt += 2 * W;
      masks += 2 * W / 4;
    }
    if (tAt != end) step(0);
    return nextRunning;
  }
};

template <typename L>
int32_t StripedFill(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  using Vec = typename L::Vec;
  using Score = typename L::Score;
  constexpr int W = L::kLanes;
  const int32_t segment = (p.m + W - 1) / W;
  const size_t columns = static_cast<size_t>(segment) * W;
  const size_t classBytes = (columns + L::kClassBlock - 1) / L::kClassBlock * L::kClassBlock;
  // The profile, two rows, then the striped classes; the profile's last row
  // may be written up to classBytes, into the rows, before they are set.
  auto* profile =
      static_cast<Score*>(scratch.Get((kResidueClasses + 2) * columns * sizeof(Score) + classBytes));
  Score* t = profile + kResidueClasses * columns;
  Score* running = t + columns;
  auto* striped = reinterpret_cast<uint8_t*>(running + columns);

  for (size_t k = 0; k < classBytes; ++k) {
    const size_t j = k % W * segment + k / W;
    striped[k] = k < columns && j < static_cast<size_t>(p.m) ? p.second[j] : kPadClass;
  }
  BuildStripedProfile<L>(p, striped, classBytes, columns, profile);

  // Row 0 and column 0 are all gaps, so R is 0 there: lanes hold -offset.
  // Row 0 passes through the sweep as running maxima of -offset.
  const auto edge = static_cast<Score>(-int64_t{offset});
  const Vec edges = L::Set(edge);
  for (size_t k = 0; k < columns; k += W) {
    L::Store(t + k, edges);
    L::Store(running + k, edges);
  }
  dirs.lanes = W;
  dirs.segment = segment;
  dirs.packed = true;
  dirs.interleaved = L::kInterleaved;
  dirs.stride = columns / 4;

  // Row 0 has no profile nor directions, and the last row no next row: the
  // sweeps that skip them are given rows they leave alone.
  RowPair<L> rows{t, running, profile, profile + p.first[0] * columns, dirs.cells, columns};
  // Row i's lane prefix and its last vector; column j - 1 of vector 0 in row
  // i - 1 and in row i (the previous segment's last column).
  Vec before = edges;
  Vec upLeft = edges;
  Vec tLeft = edges;
  for (int32_t i = 0;; ++i) {
    Vec last;
    if (i == 0) {
      last = rows.template Sweep<false, true>(before, upLeft, tLeft);
    } else if (i < p.n) {
      last = rows.template Sweep<true, true>(before, upLeft, tLeft);
    } else {
      rows.template Sweep<true, false>(before, upLeft, tLeft);
      break;
    }
    // Per lane, the best of every earlier segment and of column 0; then the
    // last vector of row i + 1, whose lanes move up into vector 0's left.
    before = L::PrefixMax(L::ShiftUp(last, edges));
    upLeft = tLeft;
    tLeft = L::ShiftUp(L::Max(last, before), edges);
    rows.profile = rows.nextProfile;
    rows.nextProfile = profile + (i + 1 < p.n ? p.first[i + 1] : 0) * columns;
    rows.dirRow = dirs.cells + static_cast<size_t>(i) * dirs.stride;
  }
  const int32_t j = p.m - 1;
  using Unsigned = std::make_unsigned_t<Score>;
  return FinalScore(p, static_cast<Unsigned>(t[j % segment * W + j / segment]), offset);
}

}  // namespace
}  // namespace circog
