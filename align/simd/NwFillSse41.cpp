// Row-wise fill on skewed scores (see NwFillSimd.h) with 8 x int16 or
// 4 x int32 lanes (SSE4.1).

#include <smmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "align/simd/NwFillLayout.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 8;
constexpr int kLanes32 = 4;

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline __m128i LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

// Hillis-Steele: after shifts of 1, 2, 4 lanes each lane holds the maximum
// of itself and all lanes below; zeros, the lowest score, shift in.
inline __m128i PrefixMax16(__m128i u) {
  u = _mm_max_epu16(u, _mm_slli_si128(u, 2));
  u = _mm_max_epu16(u, _mm_slli_si128(u, 4));
  return _mm_max_epu16(u, _mm_slli_si128(u, 8));
}

inline __m128i PrefixMax32(__m128i u) {
  u = _mm_max_epu32(u, _mm_slli_si128(u, 4));
  return _mm_max_epu32(u, _mm_slli_si128(u, 8));
}

int32_t Fill16(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  constexpr int W = kLanes16;
  const auto edge = static_cast<int16_t>(static_cast<uint16_t>(-offset));
  auto rows = Prepare(p, edge, W, scratch);

  const __m128i lastWord = _mm_set1_epi16(0x0F0E);
  const __m128i three = _mm_set1_epi16(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int16_t* prof = rows.profile + p.first[i - 1] * rows.columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    __m128i carry = _mm_set1_epi16(edge);
    for (size_t j = 0; j < rows.columns; j += W) {
      const __m128i diag = _mm_add_epi16(LoadU(rows.above + j), Load(prof + j));
      const __m128i up = Load(rows.above + j + 1);
      const __m128i t = _mm_max_epu16(PrefixMax16(_mm_max_epu16(diag, up)), carry);
      _mm_store_si128(reinterpret_cast<__m128i*>(rows.current + j + 1), t);
      carry = _mm_shuffle_epi8(t, lastWord);
      // Equal to the diagonal: 1; else equal to up: 2; else 3.
      const __m128i isDiag = _mm_cmpeq_epi16(t, diag);
      const __m128i d =
          _mm_add_epi16(_mm_add_epi16(three, isDiag), _mm_or_si128(isDiag, _mm_cmpeq_epi16(t, up)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dirRow + j), _mm_packus_epi16(d, d));
    }
    rows.Advance();
  }
  return FinalScore(p, static_cast<uint16_t>(rows.above[p.m]), offset);
}

int32_t Fill32(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  constexpr int W = kLanes32;
  const auto edge = static_cast<int32_t>(static_cast<uint32_t>(-int64_t{offset}));
  auto rows = Prepare(p, edge, W, scratch);

  const __m128i three = _mm_set1_epi32(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int32_t* prof = rows.profile + p.first[i - 1] * rows.columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    __m128i carry = _mm_set1_epi32(edge);
    for (size_t j = 0; j < rows.columns; j += W) {
      const __m128i diag = _mm_add_epi32(LoadU(rows.above + j), Load(prof + j));
      const __m128i up = Load(rows.above + j + 1);
      const __m128i t = _mm_max_epu32(PrefixMax32(_mm_max_epu32(diag, up)), carry);
      _mm_store_si128(reinterpret_cast<__m128i*>(rows.current + j + 1), t);
      carry = _mm_shuffle_epi32(t, 0xFF);
      const __m128i isDiag = _mm_cmpeq_epi32(t, diag);
      const __m128i d =
          _mm_add_epi32(_mm_add_epi32(three, isDiag), _mm_or_si128(isDiag, _mm_cmpeq_epi32(t, up)));
      const __m128i words = _mm_packus_epi32(d, d);
      const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
      std::memcpy(dirRow + j, &bytes, sizeof(bytes));
    }
    rows.Advance();
  }
  return FinalScore(p, static_cast<uint32_t>(rows.above[p.m]), offset);
}

}  // namespace

int32_t NwFillSse41(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  return FillByPlan(problem, dirs, scratch, kLanes16, Fill16, Fill32);
}

}  // namespace circog
