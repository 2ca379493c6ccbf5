#pragma once
// Vector fill kernels. They work on skewed scores T[i][j] = S[i][j] - j * gap:
// a left move then keeps T unchanged, so each row is a plain prefix maximum
// of its diagonal and up candidates, resolved in log2(lanes) shift steps per
// block with only the carry from block to block serial. Each kernel meets
// the NwFillFn contract and hands problems it cannot hold to NwFillScalar.

#include <cstdint>

#include "align/NwFill.h"

namespace circog {

int32_t NwFillSse41(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch);
int32_t NwFillAvx2(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch);
int32_t NwFillAvx512(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch);

struct NwLanePlan {
  int bits = 0;        // 16 or 32 bits per lane; 0: leave it to NwFillScalar
  int32_t offset = 0;  // subtracted from every skewed score to centre the range
};

// The narrowest lanes that hold every value of the fill: skewed scores, the
// diagonal and up candidates and the per-column constants, over the columns
// padded to a whole number of vectors. lanes16 is the kernel's number of
// 16-bit lanes. No sequence, a gap score that is not negative or inputs
// beyond any protein give bits 0.
NwLanePlan NwPlanLanes(const NwProblem& problem, int32_t lanes16);

}  // namespace circog
