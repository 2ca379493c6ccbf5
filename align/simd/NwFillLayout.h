#pragma once
// Scratch layout and the plain profile build shared by the vector kernels.
// Everything here has internal linkage: each kernel file compiles its own copy
// with its own instruction-set flags, so no copy can leak into another.

#include <cstddef>
#include <cstdint>

#include "align/NwFill.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

// Scratch: the profile, then two rows of skewed scores whose column 1
// starts a vector.
template <typename Score>
struct FillRows {
  size_t columns = 0;        // m rounded up to whole vectors
  Score* profile = nullptr;  // kResidueClasses rows of columns scores
  Score* above = nullptr;    // row i - 1, from column 0
  Score* current = nullptr;  // row i

  // Row i becomes the row above the next one.
  void Advance() {
    Score* done = current;
    current = above;
    above = done;
  }
};

template <typename Score>
FillRows<Score> Layout(const NwProblem& p, int lanes, NwScratch& scratch) {
  FillRows<Score> rows;
  rows.columns = (static_cast<size_t>(p.m) + lanes - 1) / lanes * lanes;
  const size_t rowLength = rows.columns + 2 * lanes;
  rows.profile = static_cast<Score*>(
      scratch.Get((kResidueClasses * rows.columns + 2 * rowLength) * sizeof(Score)));
  rows.above = rows.profile + kResidueClasses * rows.columns + lanes - 1;
  rows.current = rows.above + rowLength;
  return rows;
}

// Row and column 0 are all gaps, so R is 0 there: lanes hold edge = -offset.
template <typename Score>
void StartRows(FillRows<Score>& rows, Score edge) {
  for (size_t j = 0; j <= rows.columns; ++j) rows.above[j] = edge;
  rows.current[0] = edge;
}

// The diagonal step of the skewed scores: profile[c * columns + j] =
// substitution[c][second[j]] - 2 gap, and -2 gap (a score of 0) past m.
template <typename Score>
void BuildProfile(const NwProblem& p, Score* profile, size_t columns) {
  for (int c = 0; c < kResidueClasses; ++c) {
    Score row[kResidueClasses];
    for (int k = 0; k < kResidueClasses; ++k) {
      row[k] = static_cast<Score>(p.substitution[c * kResidueClasses + k] - 2 * p.gap);
    }
    Score* out = profile + c * columns;
    for (int32_t j = 0; j < p.m; ++j) out[j] = row[p.second[j]];
    for (size_t j = static_cast<size_t>(p.m); j < columns; ++j) out[j] = static_cast<Score>(-2 * p.gap);
  }
}

// The layout with a plainly built profile and the edges in place.
template <typename Score>
FillRows<Score> Prepare(const NwProblem& p, Score edge, int lanes, NwScratch& scratch) {
  FillRows<Score> rows = Layout<Score>(p, lanes, scratch);
  BuildProfile(p, rows.profile, rows.columns);
  StartRows(rows, edge);
  return rows;
}

// The score of the last cell, from its unsigned lane value.
template <typename Lane>
int32_t FinalScore(const NwProblem& p, Lane lane, int32_t offset) {
  return static_cast<int32_t>(int64_t{lane} + offset + (int64_t{p.n} + p.m) * p.gap);
}

using LaneFill = int32_t (*)(const NwProblem& p, int32_t offset, DirectionMatrix& dirs,
                             NwScratch& scratch);

// Runs the narrowest fill whose lanes hold every value, or the reference.
// A lane fill that stripes its rows records that in dirs; the others keep the
// plain order.
inline int32_t FillByPlan(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch,
                          int32_t lanes16, LaneFill fill16, LaneFill fill32) {
  const NwLanePlan plan = NwPlanLanes(problem, lanes16);
  dirs.SetPlain();
  switch (plan.bits) {
    case 16:
      return fill16(problem, plan.offset, dirs, scratch);
    case 32:
      return fill32(problem, plan.offset, dirs, scratch);
    default:
      return NwFillScalar(problem, dirs, scratch);
  }
}

}  // namespace
}  // namespace circog
