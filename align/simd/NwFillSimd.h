#pragma once
// Vector fill kernels: one row of the score matrix at a time, the left-gap
// chain of each block resolved as a prefix maximum. Each meets the NwFillFn
// contract and hands problems it cannot hold to NwFillScalar.

#include <cstdint>

#include "align/NwFill.h"

namespace circog {

int32_t NwFillSse41(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch);
int32_t NwFillAvx2(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch);
int32_t NwFillAvx512(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch);

// Bits per score lane a kernel needs so that no intermediate value of the
// fill overflows: 16, 32, or 0 when a vector kernel must not take the
// problem (no sequence, a gap score that is not negative, huge inputs).
// lanes16 is the kernel's number of 16-bit lanes, which bounds the extra
// headroom of the in-vector prefix maximum and the padded columns.
int NwScoreBits(const NwProblem& problem, int32_t lanes16);

}  // namespace circog
