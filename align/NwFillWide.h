#pragma once
// The scalar reference for tables and gaps whose scores could leave the
// 32-bit range: the same fill in 64-bit arithmetic.

#include <cstdint>

#include "align/NwFill.h"

namespace circog {

// True when some score of the fill, or a candidate for one, could leave
// int32_t: more than (n + m + 1) steps of the largest substitution or gap.
bool NeedsWideScores(const NwProblem& problem);

// NwFillScalar in 64-bit: the same directions; the final score is returned
// clamped to the int32_t range.
int32_t NwFillScalarWide(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch);

}  // namespace circog
