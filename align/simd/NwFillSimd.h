#pragma once
// Vector fill kernels. They work on skewed scores R[i][j] = S[i][j] - (i + j)
// gap: an up or left move then keeps R unchanged and a diagonal one adds
// substitution - 2 gap, so R[i][j] = max(R[i-1][j-1] + that, R[i-1][j],
// R[i][j-1]) and each row is a prefix maximum, resolved in log2(lanes) shift
// steps per block with only the carry from block to block serial. Each
// kernel meets the NwFillFn contract and hands problems it cannot hold to
// NwFillScalar.

#include <cstddef>
#include <cstdint>

#include "align/NwFill.h"

namespace circog {

int32_t NwFillSse41(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch);
int32_t NwFillAvx2(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch);
int32_t NwFillAvx512(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch);
void NwFillTwoAvx2(const NwProblem* problems, DirectionMatrix* dirs, NwScratch* scratch, int32_t* scores);
void NwClassifySse41(const uint8_t* letterClasses, const char* bytes, size_t count, uint8_t* classes);
void NwClassifyAvx2(const uint8_t* letterClasses, const char* bytes, size_t count, uint8_t* classes);

struct NwLanePlan {
  int bits = 0;        // 16 or 32 bits per lane; 0: leave it to NwFillScalar
  int32_t offset = 0;  // the lowest value; lanes hold value - offset, unsigned
};

// The narrowest lanes that hold every value of the fill: skewed scores, the
// diagonal and up candidates and the per-column constants, over the columns
// padded to a whole number of vectors. lanes16 is the kernel's number of
// 16-bit lanes. No sequence, a gap score that is not negative or inputs
// beyond any protein give bits 0.
NwLanePlan NwPlanLanes(const NwProblem& problem, int32_t lanes16);

// The largest diagonal step, substitution - 2 gap, that byte lanes of score
// differences take: every difference then stays below 255, which a clamped
// sum of differences reaches only when it no longer matters.
constexpr int32_t kMaxDifferenceStep = 254;

// True when the fill can run on score differences in byte lanes (see
// NwFillDifferences.h): every diagonal step over the whole table, and 0 for
// padded columns, lies in [0, kMaxDifferenceStep], the gap score is negative
// and every score of the fill fits in int32_t.
bool NwDifferencesFit(const NwProblem& problem);

}  // namespace circog
