#pragma once
// The striped fill on score differences in byte lanes, written once over the
// vector width; each kernel file instantiates it with its own lane type.
// Everything here has internal linkage.
//
// On skewed scores R (see NwFillSimd.h) every row and every column is
// nondecreasing, and a diagonal step adds P = substitution - 2 gap. When
// every P lies in [0, kMaxDifferenceStep] (NwDifferencesFit), the differences
//   D[i][j] = R[i][j] - R[i-1][j]   (down a column)
//   E[i][j] = R[i][j] - R[i][j-1]   (along a row)
// lie in [0, kMaxDifferenceStep] too, whatever the lengths: a row is one
// byte per column. With Z = R[i][j] - R[i-1][j-1] =
// max(P, E[i-1][j], D[i][j-1]), the cell came from the diagonal when Z = P,
// else from above when Z = E[i-1][j], that is D[i][j] = 0; and
//   D[i][j] = max(P - E[i-1][j], 0, D[i][j-1] - E[i-1][j]),
//   E[i][j] = Z - D[i][j-1].
// Along a row, D is a chain of maps x -> max(a, x - s) on x >= 0, with
// subtraction clamped at 0 (which the max with a >= 0 makes harmless) and s
// clamped at 255 (beyond any x). Rows are striped as in NwFillStriped.h: each
// lane runs the chain over its segment from x = 0 while summing s, one scan of
// the composed maps over the lanes gives each segment's entering D, and a
// second pass sets D, E and the directions. The second pass of row i runs in
// one sweep with the first pass of row i + 1. The final score is the sum of
// the last row's E.
//
// A lane type L provides Vec, kLanes, kClassBlock, Load, Store, Zero, Add,
// Sub, AddClamped, SubClamped (at 255 and 0), Max, Equal (all-ones lanes),
// StoreMasks(isDiagonal, isUp, out) (kLanes / 4 bytes: every lane's diagonal
// bit, then every lane's up bit), EnteringD(a, s): per lane, the composition
// of the maps of every lane below applied to 0, SumBytes(p, count), and
// LookUpRows(steps, classes, count, profile, columns): for every class c,
// the count entries (whole blocks of kClassBlock) of profile row c (columns
// apart) from the 32-byte row c of steps, indexed by classes; it may use
// 2 count bytes after classes.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "align/NwFill.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

template <typename L>
struct DifferenceRows {
  using Vec = typename L::Vec;

  uint8_t* e;                  // E of row i - 1 in, of row i out
  uint8_t* running;            // the lane chains of row i in (from x = 0), of row i + 1 out
  const uint8_t* profile;      // row i's diagonal steps
  const uint8_t* nextProfile;  // row i + 1's
  uint8_t* dirRow;             // row i's directions
  size_t columns;

  // Row i's entering D per lane comes in; the lane chains of row i + 1 and
  // their sums of E go out. Without kMasks row i is row 0 (E = 0 and no
  // directions); without kNext row i is the last row.
  template <bool kMasks, bool kNext>
  [[gnu::always_inline]] void Sweep(Vec entering, Vec& lastRunning, Vec& lastSum) const {
    constexpr int W = L::kLanes;
    const Vec zero = L::Zero();
    // The entering D less row i - 1's E summed along the lane so far: the
    // chain from the segment's start, x -> x - s clamped at 0, taken one
    // step at a time.
    Vec fromEntering = entering;
    Vec dLeft = entering;  // D of the column before
    Vec nextRunning = zero;
    Vec nextSum = zero;
    uint8_t* eAt = e;
    uint8_t* runningAt = running;
    const uint8_t* profileAt = profile;
    const uint8_t* nextProfileAt = nextProfile;
    uint8_t* masks = dirRow;
    auto step = [&](size_t k) {
      Vec eNow = zero;
      if constexpr (kMasks) {
        const Vec eAbove = L::Load(eAt + k);
        fromEntering = L::SubClamped(fromEntering, eAbove);
        const Vec d = L::Max(L::Load(runningAt + k), fromEntering);
        const Vec z = L::Add(d, eAbove);
        eNow = L::Sub(z, dLeft);
        dLeft = d;
        L::StoreMasks(L::Equal(z, L::Load(profileAt + k)), L::Equal(d, zero), masks + k / 4);
        L::Store(eAt + k, eNow);
      }
      if constexpr (kNext) {
        // max(P - E, x - E) clamped, with one subtraction.
        nextRunning = L::SubClamped(L::Max(L::Load(nextProfileAt + k), nextRunning), eNow);
        nextSum = L::AddClamped(nextSum, eNow);
        L::Store(runningAt + k, nextRunning);
      }
    };
    const uint8_t* end = e + columns;
    // Two vectors a round: the values carried from one to the next stay in
    // place instead of being copied.
    while (eAt + 2 * W <= end) {
      step(0);
      step(W);
      eAt += 2 * W;
      runningAt += 2 * W;
      profileAt += 2 * W;
      nextProfileAt += 2 * W;
      masks += 2 * W / 4;
    }
    if (eAt != end) step(0);
    lastRunning = nextRunning;
    lastSum = nextSum;
  }
};

// One problem's fill, a row at a time, so that two problems' rows can take
// turns: one's scan over the lanes, a chain of dependent steps, then runs
// beside the other's sweep.
template <typename L>
class DifferenceFill {
 public:
  using Vec = typename L::Vec;
  static constexpr int W = L::kLanes;

  DifferenceFill(const NwProblem& p, DirectionMatrix& dirs, NwScratch& scratch)
      : p_(p), dirs_(dirs), segment_((p.m + W - 1) / W), columns_(static_cast<size_t>(segment_) * W) {
    const size_t classBytes = (columns_ + L::kClassBlock - 1) / L::kClassBlock * L::kClassBlock;
    // The profile, E, the lane chains, then the striped classes; the
    // profile's last row may be written up to classBytes, into E, before E
    // is set.
    profile_ = static_cast<uint8_t*>(scratch.Get((kResidueClasses + 2) * columns_ + 3 * classBytes));
    uint8_t* e = profile_ + kResidueClasses * columns_;
    uint8_t* running = e + columns_;
    // The classes, and room for LookUpRows to take them apart.
    uint8_t* striped = running + columns_;

    // Column j = l * S + v in lane l of vector v; padded columns take the
    // class past the table, a diagonal step of -2 gap.
    constexpr uint8_t kPadClass = kResidueClasses;
    std::memset(striped, kPadClass, classBytes);
    for (int32_t lane = 0, first = 0; first < p.m; ++lane, first += segment_) {
      const int32_t count = std::min(segment_, p.m - first);
      for (int32_t v = 0; v < count; ++v) striped[static_cast<size_t>(v) * W + lane] = p.second[first + v];
    }
    uint8_t built[kResidueClasses][32];
    if (p.diagonalSteps == nullptr) SetDiagonalSteps(p, built);
    const uint8_t* steps = p.diagonalSteps != nullptr ? p.diagonalSteps : &built[0][0];
    L::LookUpRows(steps, striped, classBytes, profile_, columns_);
    // Row 0 and column 0 are all gaps: R is 0 there, and so is every E of row 0.
    for (size_t k = 0; k < columns_; k += W) L::Store(e + k, L::Zero());
    dirs.lanes = W;
    dirs.segment = segment_;
    dirs.packed = true;
    dirs.interleaved = false;
    dirs.stride = columns_ / 4;
    // Row 0 has no profile nor directions, and the last row no next row: the
    // sweeps that skip them are given rows they leave alone.
    rows_ = {e, running, profile_, profile_ + p.first[0] * columns_, dirs.cells, columns_};
    entering_ = L::Zero();
  }

  // Sets the directions of row i (none for row 0) and readies row i + 1;
  // false once the last row is done.
  [[gnu::always_inline]] bool NextRow() {
    Vec lastRunning, lastSum;
    if (i_ == 0) {
      rows_.template Sweep<false, true>(entering_, lastRunning, lastSum);
    } else if (i_ < p_.n) {
      rows_.template Sweep<true, true>(entering_, lastRunning, lastSum);
    } else {
      rows_.template Sweep<true, false>(entering_, lastRunning, lastSum);
      return false;
    }
    entering_ = L::EnteringD(lastRunning, lastSum);
    rows_.profile = rows_.nextProfile;
    rows_.nextProfile = profile_ + (i_ + 1 < p_.n ? p_.first[i_ + 1] : 0) * columns_;
    rows_.dirRow = dirs_.cells + static_cast<size_t>(i_) * dirs_.stride;
    ++i_;
    return true;
  }

  // The alignment score, once every row is done: R[n][m] is the last row's E
  // summed over the real columns, lane by lane.
  int32_t Score() const {
    // Every lane's E, less the padded columns: the ends of the last segments.
    auto r = static_cast<int64_t>(L::SumBytes(rows_.e, columns_));
    for (int32_t lane = W - 1; lane * segment_ + segment_ > p_.m; --lane) {
      for (int32_t v = std::max(0, p_.m - lane * segment_); v < segment_; ++v) {
        r -= rows_.e[static_cast<size_t>(v) * W + lane];
      }
    }
    return static_cast<int32_t>(r + (int64_t{p_.n} + p_.m) * p_.gap);
  }

 private:
  const NwProblem& p_;
  DirectionMatrix& dirs_;
  int32_t segment_;
  size_t columns_;
  uint8_t* profile_ = nullptr;
  DifferenceRows<L> rows_{};
  Vec entering_;
  int32_t i_ = 0;
};

template <typename L>
int32_t FillDifferences(const NwProblem& p, DirectionMatrix& dirs, NwScratch& scratch) {
  DifferenceFill<L> fill(p, dirs, scratch);
  while (fill.NextRow()) {
  }
  return fill.Score();
}

// Two problems, their rows taking turns: one's scan over the lanes runs
// beside the other's sweep. Either falls back to fill where bytes do not
// serve it.
template <typename L>
void FillTwo(const NwProblem* p, DirectionMatrix* dirs, NwScratch* scratch, int32_t* scores, NwFillFn fill) {
  if (!NwDifferencesFit(p[0]) || !NwDifferencesFit(p[1])) {
    for (int k = 0; k < 2; ++k) scores[k] = fill(p[k], dirs[k], scratch[k]);
    return;
  }
  DifferenceFill<L> first(p[0], dirs[0], scratch[0]);
  DifferenceFill<L> second(p[1], dirs[1], scratch[1]);
  bool moreFirst = true;
  bool moreSecond = true;
  while (moreFirst && moreSecond) {
    moreFirst = first.NextRow();
    moreSecond = second.NextRow();
  }
  while (moreFirst) moreFirst = first.NextRow();
  while (moreSecond) moreSecond = second.NextRow();
  scores[0] = first.Score();
  scores[1] = second.Score();
}

}  // namespace
}  // namespace circog
