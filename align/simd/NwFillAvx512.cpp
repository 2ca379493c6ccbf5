// Row-wise fill with 32 x int16 or 16 x int32 lanes (AVX-512 F/BW/VL).
//
// Per row, diagonal and up moves of a block come straight from the previous
// row; the left chain S[j] = max(h[j], S[j-1] + gap) is a prefix maximum of
// h[l] + l*G (G = -gap) minus l*G, combined with the carry of the previous
// block. Only the carry is serial. The prefix maximum runs on biased values
// (sign bit flipped) as an unsigned maximum, so shifts can bring in zeros.

// GCC 12's AVX-512 headers build their "undefined" vectors from themselves,
// which -Wmaybe-uninitialized reports at every use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop

#include <cstddef>
#include <cstdint>

#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 32;
constexpr int kLanes32 = 16;

// Bytes for a row of scores: column 0 sits just before an aligned block so
// that column 1 + k * lanes starts one.
size_t RowBytes(size_t paddedColumns, int lanes, size_t laneBytes) {
  return (paddedColumns + 2 * lanes) * laneBytes;
}

// Hillis-Steele: after the steps of 1, 2, 4, ... lanes each lane holds the
// maximum of itself and every lane below it; zeros shift in.
inline __m512i PrefixMax16(__m512i u, __m512i previousLane) {
  const __m512i zero = _mm512_setzero_si512();
  u = _mm512_max_epu16(u, _mm512_maskz_permutexvar_epi16(~__mmask32{1}, previousLane, u));
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

// profile[c * columns + j] = substitution[c][second[j]], 0 past m.
void BuildProfile16(const NwProblem& p, int16_t* profile, size_t columns) {
  for (int c = 0; c < kResidueClasses; ++c) {
    alignas(64) int16_t row[kLanes16] = {};
    for (int k = 0; k < kResidueClasses; ++k) {
      row[k] = static_cast<int16_t>(p.substitution[c * kResidueClasses + k]);
    }
    const __m512i table = _mm512_load_si512(row);
    for (size_t j = 0; j < columns; j += kLanes16) {
      const size_t left = static_cast<size_t>(p.m) - j;
      const __mmask32 live = left >= kLanes16 ? ~__mmask32{0} : (__mmask32{1} << left) - 1;
      const __m512i index = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(live, p.second + j));
      _mm512_store_si512(profile + c * columns + j, _mm512_maskz_permutexvar_epi16(live, index, table));
    }
  }
}

void BuildProfile32(const NwProblem& p, int32_t* profile, size_t columns) {
  for (int c = 0; c < kResidueClasses; ++c) {
    alignas(64) int32_t row[2 * kLanes32] = {};
    for (int k = 0; k < kResidueClasses; ++k) row[k] = p.substitution[c * kResidueClasses + k];
    const __m512i low = _mm512_load_si512(row);
    const __m512i high = _mm512_load_si512(row + kLanes32);
    for (size_t j = 0; j < columns; j += kLanes32) {
      const size_t left = static_cast<size_t>(p.m) - j;
      const __mmask16 live = left >= kLanes32 ? __mmask16(0xFFFF) : __mmask16((1u << left) - 1);
      const __m512i index = _mm512_cvtepu8_epi32(_mm_maskz_loadu_epi8(live, p.second + j));
      _mm512_store_si512(profile + c * columns + j,
                         _mm512_maskz_permutex2var_epi32(live, low, index, high));
    }
  }
}

int32_t Fill16(const NwProblem& p, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes16;
  const size_t columns = (static_cast<size_t>(p.m) + W - 1) / W * W;
  const size_t rowBytes = RowBytes(columns, W, sizeof(int16_t));
  auto* base = static_cast<char*>(scratch.Get(kResidueClasses * columns * sizeof(int16_t) + 2 * rowBytes));
  auto* profile = reinterpret_cast<int16_t*>(base);
  int16_t* above = reinterpret_cast<int16_t*>(base + kResidueClasses * columns * sizeof(int16_t)) + W - 1;
  int16_t* current = above + rowBytes / sizeof(int16_t);
  BuildProfile16(p, profile, columns);

  const int16_t gap = static_cast<int16_t>(p.gap);
  alignas(64) int16_t laneBias[W];
  alignas(64) int16_t carryStep[W];
  for (int l = 0; l < W; ++l) {
    laneBias[l] = static_cast<int16_t>(static_cast<uint16_t>(-l * p.gap) ^ 0x8000u);
    carryStep[l] = static_cast<int16_t>((l + 1) * p.gap);
  }
  for (size_t j = 0; j <= columns; ++j) above[j] = static_cast<int16_t>(static_cast<int32_t>(j) * p.gap);

  const __m512i bias = _mm512_load_si512(laneBias);
  const __m512i step = _mm512_load_si512(carryStep);
  const __m512i gaps = _mm512_set1_epi16(gap);
  const __m512i lastLane = _mm512_set1_epi16(W - 1);
  alignas(64) int16_t previous[W];
  for (int l = 0; l < W; ++l) previous[l] = static_cast<int16_t>(l == 0 ? 0 : l - 1);
  const __m512i previousLane = _mm512_load_si512(previous);
  const __m256i one = _mm256_set1_epi8(kDiagonal);
  const __m256i two = _mm256_set1_epi8(kUp);
  const __m256i three = _mm256_set1_epi8(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int16_t* prof = profile + p.first[i - 1] * columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = static_cast<int16_t>(i * p.gap);
    __m512i carry = _mm512_set1_epi16(current[0]);
    for (size_t j = 0; j < columns; j += W) {
      const __m512i diag = _mm512_add_epi16(_mm512_loadu_si512(above + j), _mm512_load_si512(prof + j));
      const __m512i up = _mm512_add_epi16(_mm512_load_si512(above + j + 1), gaps);
      const __m512i h = _mm512_max_epi16(diag, up);
      __m512i s = _mm512_sub_epi16(PrefixMax16(_mm512_add_epi16(h, bias), previousLane), bias);
      s = _mm512_max_epi16(s, _mm512_add_epi16(carry, step));
      _mm512_store_si512(current + j + 1, s);
      carry = _mm512_permutexvar_epi16(lastLane, s);
      const __m256i d = _mm256_mask_blend_epi8(_mm512_cmpeq_epi16_mask(s, up), three, two);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(dirRow + j),
                          _mm256_mask_blend_epi8(_mm512_cmpeq_epi16_mask(s, diag), d, one));
    }
    int16_t* done = current;
    current = above;
    above = done;
  }
  return above[p.m];
}

int32_t Fill32(const NwProblem& p, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes32;
  const size_t columns = (static_cast<size_t>(p.m) + W - 1) / W * W;
  const size_t rowBytes = RowBytes(columns, W, sizeof(int32_t));
  auto* base = static_cast<char*>(scratch.Get(kResidueClasses * columns * sizeof(int32_t) + 2 * rowBytes));
  auto* profile = reinterpret_cast<int32_t*>(base);
  int32_t* above = reinterpret_cast<int32_t*>(base + kResidueClasses * columns * sizeof(int32_t)) + W - 1;
  int32_t* current = above + rowBytes / sizeof(int32_t);
  BuildProfile32(p, profile, columns);

  alignas(64) int32_t laneBias[W];
  alignas(64) int32_t carryStep[W];
  for (int l = 0; l < W; ++l) {
    laneBias[l] = static_cast<int32_t>(static_cast<uint32_t>(-l * p.gap) ^ 0x80000000u);
    carryStep[l] = (l + 1) * p.gap;
  }
  for (size_t j = 0; j <= columns; ++j) above[j] = static_cast<int32_t>(j) * p.gap;

  const __m512i bias = _mm512_load_si512(laneBias);
  const __m512i step = _mm512_load_si512(carryStep);
  const __m512i gaps = _mm512_set1_epi32(p.gap);
  const __m512i lastLane = _mm512_set1_epi32(W - 1);
  const __m128i one = _mm_set1_epi8(kDiagonal);
  const __m128i two = _mm_set1_epi8(kUp);
  const __m128i three = _mm_set1_epi8(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int32_t* prof = profile + p.first[i - 1] * columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = i * p.gap;
    __m512i carry = _mm512_set1_epi32(current[0]);
    for (size_t j = 0; j < columns; j += W) {
      const __m512i diag = _mm512_add_epi32(_mm512_loadu_si512(above + j), _mm512_load_si512(prof + j));
      const __m512i up = _mm512_add_epi32(_mm512_load_si512(above + j + 1), gaps);
      const __m512i h = _mm512_max_epi32(diag, up);
      __m512i s = _mm512_sub_epi32(PrefixMax32(_mm512_add_epi32(h, bias)), bias);
      s = _mm512_max_epi32(s, _mm512_add_epi32(carry, step));
      _mm512_store_si512(current + j + 1, s);
      carry = _mm512_permutexvar_epi32(lastLane, s);
      const __m128i d = _mm_mask_blend_epi8(_mm512_cmpeq_epi32_mask(s, up), three, two);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dirRow + j),
                       _mm_mask_blend_epi8(_mm512_cmpeq_epi32_mask(s, diag), d, one));
    }
    int32_t* done = current;
    current = above;
    above = done;
  }
  return above[p.m];
}

}  // namespace

int32_t NwFillAvx512(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch) {
  switch (NwScoreBits(problem, kLanes16)) {
    case 16:
      return Fill16(problem, dirs, scratch);
    case 32:
      return Fill32(problem, dirs, scratch);
    default:
      return NwFillScalar(problem, dirs, scratch);
  }
}

}  // namespace circog
