// Row-wise fill on skewed scores (see NwFillSimd.h) with 32 x int16 or
// 16 x int32 lanes (AVX-512 F/BW/VL).

// GCC 12's AVX-512 headers build their "undefined" vectors from themselves,
// which -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstddef>
#include <cstdint>

#include "align/simd/NwFillLayout.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 32;
constexpr int kLanes32 = 16;

// Hillis-Steele: after shifts of 1, 2, 4, ... lanes each lane holds the
// maximum of itself and all lanes below; zeros, the lowest score, shift in.
inline __m512i PrefixMax16(__m512i u, __m512i laneBelow) {
  const __m512i zero = _mm512_setzero_si512();
  u = _mm512_max_epu16(u, _mm512_maskz_permutexvar_epi16(~__mmask32{1}, laneBelow, u));
  u = _mm512_max_epu16(u, _mm512_alignr_epi32(u, zero, 15));
  u = _mm512_max_epu16(u, _mm512_alignr_epi64(u, zero, 7));
  u = _mm512_max_epu16(u, _mm512_alignr_epi64(u, zero, 6));
  return _mm512_max_epu16(u, _mm512_alignr_epi64(u, zero, 4));
}

inline __m512i PrefixMax32(__m512i u) {
  const __m512i zero = _mm512_setzero_si512();
  u = _mm512_max_epu32(u, _mm512_alignr_epi32(u, zero, 15));
  u = _mm512_max_epu32(u, _mm512_alignr_epi64(u, zero, 7));
  u = _mm512_max_epu32(u, _mm512_alignr_epi64(u, zero, 6));
  return _mm512_max_epu32(u, _mm512_alignr_epi64(u, zero, 4));
}

// The diagonal step of the skewed scores: profile[c * columns + j] =
// substitution[c][second[j]] - 2 gap, and -2 gap (a score of 0) past m.
void BuildProfile16(const NwProblem& p, int16_t* profile, size_t columns) {
  const __m512i pad = _mm512_set1_epi16(static_cast<int16_t>(-2 * p.gap));
  for (int c = 0; c < kResidueClasses; ++c) {
    alignas(64) int16_t row[kLanes16] = {};
    for (int k = 0; k < kResidueClasses; ++k) {
      row[k] = static_cast<int16_t>(p.substitution[c * kResidueClasses + k] - 2 * p.gap);
    }
    const __m512i table = _mm512_load_si512(row);
    for (size_t j = 0; j < columns; j += kLanes16) {
      const size_t left = static_cast<size_t>(p.m) - j;
      const __mmask32 live = left >= kLanes16 ? ~__mmask32{0} : (__mmask32{1} << left) - 1;
      const __m512i index = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(live, p.second + j));
      _mm512_store_si512(profile + c * columns + j, _mm512_mask_permutexvar_epi16(pad, live, index, table));
    }
  }
}

void BuildProfile32(const NwProblem& p, int32_t* profile, size_t columns) {
  const __m512i pad = _mm512_set1_epi32(-2 * p.gap);
  for (int c = 0; c < kResidueClasses; ++c) {
    alignas(64) int32_t row[2 * kLanes32] = {};
    for (int k = 0; k < kResidueClasses; ++k) row[k] = p.substitution[c * kResidueClasses + k] - 2 * p.gap;
    const __m512i low = _mm512_load_si512(row);
    const __m512i high = _mm512_load_si512(row + kLanes32);
    for (size_t j = 0; j < columns; j += kLanes32) {
      const size_t left = static_cast<size_t>(p.m) - j;
      const __mmask16 live = left >= kLanes32 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
      const __m512i index = _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(live, p.second + j));
      _mm512_store_si512(profile + c * columns + j,
                         _mm512_mask_blend_epi32(live, pad, _mm512_permutex2var_epi32(low, index, high)));
    }
  }
}

int32_t Fill16(const NwProblem& p, int32_t offset, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes16;
  auto rows = Layout<int16_t>(p, W, scratch);
  BuildProfile16(p, rows.profile, rows.columns);
  const auto edge = static_cast<int16_t>(static_cast<uint16_t>(-offset));
  StartRows(rows, edge);

  alignas(64) int16_t below[W];
  for (int l = 0; l < W; ++l) below[l] = static_cast<int16_t>(l == 0 ? 0 : l - 1);
  const __m512i laneBelow = _mm512_load_si512(below);
  const __m512i lastLane = _mm512_set1_epi16(W - 1);
  const __m256i one = _mm256_set1_epi8(kDiagonal);
  const __m256i two = _mm256_set1_epi8(kUp);
  const __m256i three = _mm256_set1_epi8(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int16_t* prof = rows.profile + p.first[i - 1] * rows.columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    __m512i carry = _mm512_set1_epi16(edge);
    for (size_t j = 0; j < rows.columns; j += W) {
      const __m512i diag = _mm512_add_epi16(_mm512_loadu_si512(rows.above + j), _mm512_load_si512(prof + j));
      const __m512i up = _mm512_load_si512(rows.above + j + 1);
      const __m512i t = _mm512_max_epu16(PrefixMax16(_mm512_max_epu16(diag, up), laneBelow), carry);
      _mm512_store_si512(rows.current + j + 1, t);
      carry = _mm512_permutexvar_epi16(lastLane, t);
      // Masked stores keep the vector ports free; the diagonal wins ties.
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dirRow + j), three);
      _mm256_mask_storeu_epi8(dirRow + j, _mm512_cmpeq_epi16_mask(t, up), two);
      _mm256_mask_storeu_epi8(dirRow + j, _mm512_cmpeq_epi16_mask(t, diag), one);
    }
    rows.Advance();
  }
  return FinalScore(p, static_cast<uint16_t>(rows.above[p.m]), offset);
}

int32_t Fill32(const NwProblem& p, int32_t offset, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes32;
  auto rows = Layout<int32_t>(p, W, scratch);
  BuildProfile32(p, rows.profile, rows.columns);
  const auto edge = static_cast<int32_t>(static_cast<uint32_t>(-int64_t{offset}));
  StartRows(rows, edge);

  const __m512i lastLane = _mm512_set1_epi32(W - 1);
  const __m128i one = _mm_set1_epi8(kDiagonal);
  const __m128i two = _mm_set1_epi8(kUp);
  const __m128i three = _mm_set1_epi8(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int32_t* prof = rows.profile + p.first[i - 1] * rows.columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    __m512i carry = _mm512_set1_epi32(edge);
    for (size_t j = 0; j < rows.columns; j += W) {
      const __m512i diag = _mm512_add_epi32(_mm512_loadu_si512(rows.above + j), _mm512_load_si512(prof + j));
      const __m512i up = _mm512_load_si512(rows.above + j + 1);
      const __m512i t = _mm512_max_epu32(PrefixMax32(_mm512_max_epu32(diag, up)), carry);
      _mm512_store_si512(rows.current + j + 1, t);
      carry = _mm512_permutexvar_epi32(lastLane, t);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dirRow + j), three);
      _mm_mask_storeu_epi8(dirRow + j, _mm512_cmpeq_epi32_mask(t, up), two);
      _mm_mask_storeu_epi8(dirRow + j, _mm512_cmpeq_epi32_mask(t, diag), one);
    }
    rows.Advance();
  }
  return FinalScore(p, static_cast<uint32_t>(rows.above[p.m]), offset);
}

}  // namespace

int32_t NwFillAvx512(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch) {
  return FillByPlan(problem, dirs, scratch, kLanes16, Fill16, Fill32);
}

}  // namespace circog
