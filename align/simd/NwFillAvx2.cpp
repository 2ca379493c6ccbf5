// Row-wise fill on skewed scores (see NwFillSimd.h) with 16 x int16 or
// 8 x int32 lanes (AVX2).

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "align/simd/NwFillLayout.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 16;
constexpr int kLanes32 = 8;

inline __m256i Load(const void* p) { return _mm256_load_si256(static_cast<const __m256i*>(p)); }
inline __m256i LoadU(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }

// Hillis-Steele within each 128-bit half, zeros (the lowest score) shifting
// in; then the upper half takes the maximum of the lower one.
inline __m256i PrefixMax16(__m256i u, __m256i topOfHalf) {
  u = _mm256_max_epu16(u, _mm256_bslli_epi128(u, 2));
  u = _mm256_max_epu16(u, _mm256_bslli_epi128(u, 4));
  u = _mm256_max_epu16(u, _mm256_bslli_epi128(u, 8));
  const __m256i top = _mm256_shuffle_epi8(u, topOfHalf);
  return _mm256_max_epu16(u, _mm256_permute2x128_si256(top, top, 0x08));
}

inline __m256i PrefixMax32(__m256i u) {
  u = _mm256_max_epu32(u, _mm256_bslli_epi128(u, 4));
  u = _mm256_max_epu32(u, _mm256_bslli_epi128(u, 8));
  const __m256i top = _mm256_shuffle_epi32(u, 0xFF);
  return _mm256_max_epu32(u, _mm256_permute2x128_si256(top, top, 0x08));
}

int32_t Fill16(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  constexpr int W = kLanes16;
  const auto edge = static_cast<int16_t>(static_cast<uint16_t>(-offset));
  auto rows = Prepare(p, edge, W, scratch);

  const __m256i topOfHalf = _mm256_set1_epi16(0x0F0E);
  // After the top quadword is copied everywhere, its last word.
  const __m256i lastWord = _mm256_set1_epi16(0x0706);
  const __m256i three = _mm256_set1_epi16(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int16_t* prof = rows.profile + p.first[i - 1] * rows.columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    __m256i carry = _mm256_set1_epi16(edge);
    for (size_t j = 0; j < rows.columns; j += W) {
      const __m256i diag = _mm256_add_epi16(LoadU(rows.above + j), Load(prof + j));
      const __m256i up = Load(rows.above + j + 1);
      const __m256i t = _mm256_max_epu16(PrefixMax16(_mm256_max_epu16(diag, up), topOfHalf), carry);
      _mm256_store_si256(reinterpret_cast<__m256i*>(rows.current + j + 1), t);
      carry = _mm256_shuffle_epi8(_mm256_permute4x64_epi64(t, 0xFF), lastWord);
      // Equal to the diagonal: 1; else equal to up: 2; else 3.
      const __m256i isDiag = _mm256_cmpeq_epi16(t, diag);
      const __m256i d = _mm256_add_epi16(_mm256_add_epi16(three, isDiag),
                                         _mm256_or_si256(isDiag, _mm256_cmpeq_epi16(t, up)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dirRow + j),
                       _mm_packus_epi16(_mm256_castsi256_si128(d), _mm256_extracti128_si256(d, 1)));
    }
    rows.Advance();
  }
  return FinalScore(p, static_cast<uint16_t>(rows.above[p.m]), offset);
}

int32_t Fill32(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  constexpr int W = kLanes32;
  const auto edge = static_cast<int32_t>(static_cast<uint32_t>(-int64_t{offset}));
  auto rows = Prepare(p, edge, W, scratch);

  const __m256i lastLane = _mm256_set1_epi32(W - 1);
  const __m256i three = _mm256_set1_epi32(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int32_t* prof = rows.profile + p.first[i - 1] * rows.columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    __m256i carry = _mm256_set1_epi32(edge);
    for (size_t j = 0; j < rows.columns; j += W) {
      const __m256i diag = _mm256_add_epi32(LoadU(rows.above + j), Load(prof + j));
      const __m256i up = Load(rows.above + j + 1);
      const __m256i t = _mm256_max_epu32(PrefixMax32(_mm256_max_epu32(diag, up)), carry);
      _mm256_store_si256(reinterpret_cast<__m256i*>(rows.current + j + 1), t);
      carry = _mm256_permutevar8x32_epi32(t, lastLane);
      const __m256i isDiag = _mm256_cmpeq_epi32(t, diag);
      const __m256i d = _mm256_add_epi32(_mm256_add_epi32(three, isDiag),
                                         _mm256_or_si256(isDiag, _mm256_cmpeq_epi32(t, up)));
      const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(d), _mm256_extracti128_si256(d, 1));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dirRow + j), _mm_packus_epi16(words, words));
    }
    rows.Advance();
  }
  return FinalScore(p, static_cast<uint32_t>(rows.above[p.m]), offset);
}

}  // namespace

int32_t NwFillAvx2(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  return FillByPlan(problem, dirs, scratch, kLanes16, Fill16, Fill32);
}

}  // namespace circog
