// Row-wise fill with 8 x int16 or 4 x int32 lanes (SSE4.1); the method is
// described in NwFillAvx512.cpp.

#include <smmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 8;
constexpr int kLanes32 = 4;

// Hillis-Steele: after the steps of 1, 2, 4 lanes each lane holds the
// maximum of itself and every lane below it; zeros shift in.
inline __m128i PrefixMax16(__m128i u) {
  u = _mm_max_epu16(u, _mm_slli_si128(u, 2));
  u = _mm_max_epu16(u, _mm_slli_si128(u, 4));
  return _mm_max_epu16(u, _mm_slli_si128(u, 8));
}

inline __m128i PrefixMax32(__m128i u) {
  u = _mm_max_epu32(u, _mm_slli_si128(u, 4));
  return _mm_max_epu32(u, _mm_slli_si128(u, 8));
}

// profile[c * columns + j] = substitution[c][second[j]], 0 past m.
template <typename Score>
void BuildProfile(const NwProblem& p, Score* profile, size_t columns) {
  for (int c = 0; c < kResidueClasses; ++c) {
    const int32_t* row = p.substitution + c * kResidueClasses;
    Score* out = profile + c * columns;
    for (int32_t j = 0; j < p.m; ++j) out[j] = static_cast<Score>(row[p.second[j]]);
    for (size_t j = static_cast<size_t>(p.m); j < columns; ++j) out[j] = 0;
  }
}

// Scratch: the profile, then two score rows whose column 1 starts a vector.
template <typename Score>
void Layout(const NwProblem& p, int lanes, NwScratch& scratch, size_t& columns, Score*& profile,
            Score*& above, Score*& current) {
  columns = (static_cast<size_t>(p.m) + lanes - 1) / lanes * lanes;
  const size_t rowLength = columns + 2 * lanes;
  profile = static_cast<Score*>(scratch.Get((kResidueClasses * columns + 2 * rowLength) * sizeof(Score)));
  above = profile + kResidueClasses * columns + lanes - 1;
  current = above + rowLength;
  BuildProfile(p, profile, columns);
  for (size_t j = 0; j <= columns; ++j) above[j] = static_cast<Score>(static_cast<int32_t>(j) * p.gap);
}

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline __m128i LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }

int32_t Fill16(const NwProblem& p, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes16;
  size_t columns = 0;
  int16_t* profile = nullptr;
  int16_t* above = nullptr;
  int16_t* current = nullptr;
  Layout(p, W, scratch, columns, profile, above, current);

  alignas(16) int16_t laneBias[W];
  alignas(16) int16_t carryStep[W];
  for (int l = 0; l < W; ++l) {
    laneBias[l] = static_cast<int16_t>(static_cast<uint16_t>(-l * p.gap) ^ 0x8000u);
    carryStep[l] = static_cast<int16_t>((l + 1) * p.gap);
  }
  const __m128i bias = Load(laneBias);
  const __m128i step = Load(carryStep);
  const __m128i gaps = _mm_set1_epi16(static_cast<int16_t>(p.gap));
  const __m128i lastWord = _mm_set1_epi16(0x0F0E);
  const __m128i three = _mm_set1_epi16(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int16_t* prof = profile + p.first[i - 1] * columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = static_cast<int16_t>(i * p.gap);
    __m128i carry = _mm_set1_epi16(current[0]);
    for (size_t j = 0; j < columns; j += W) {
      const __m128i diag = _mm_add_epi16(LoadU(above + j), Load(prof + j));
      const __m128i up = _mm_add_epi16(Load(above + j + 1), gaps);
      const __m128i h = _mm_max_epi16(diag, up);
      __m128i s = _mm_sub_epi16(PrefixMax16(_mm_add_epi16(h, bias)), bias);
      s = _mm_max_epi16(s, _mm_add_epi16(carry, step));
      _mm_store_si128(reinterpret_cast<__m128i*>(current + j + 1), s);
      carry = _mm_shuffle_epi8(s, lastWord);
      // Equal to the diagonal: 1; else equal to up: 2; else 3.
      const __m128i isDiag = _mm_cmpeq_epi16(s, diag);
      const __m128i d =
          _mm_add_epi16(_mm_add_epi16(three, isDiag), _mm_or_si128(isDiag, _mm_cmpeq_epi16(s, up)));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dirRow + j), _mm_packus_epi16(d, d));
    }
    int16_t* done = current;
    current = above;
    above = done;
  }
  return above[p.m];
}

int32_t Fill32(const NwProblem& p, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes32;
  size_t columns = 0;
  int32_t* profile = nullptr;
  int32_t* above = nullptr;
  int32_t* current = nullptr;
  Layout(p, W, scratch, columns, profile, above, current);

  alignas(16) int32_t laneBias[W];
  alignas(16) int32_t carryStep[W];
  for (int l = 0; l < W; ++l) {
    laneBias[l] = static_cast<int32_t>(static_cast<uint32_t>(-l * p.gap) ^ 0x80000000u);
    carryStep[l] = (l + 1) * p.gap;
  }
  const __m128i bias = Load(laneBias);
  const __m128i step = Load(carryStep);
  const __m128i gaps = _mm_set1_epi32(p.gap);
  const __m128i three = _mm_set1_epi32(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int32_t* prof = profile + p.first[i - 1] * columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = i * p.gap;
    __m128i carry = _mm_set1_epi32(current[0]);
    for (size_t j = 0; j < columns; j += W) {
      const __m128i diag = _mm_add_epi32(LoadU(above + j), Load(prof + j));
      const __m128i up = _mm_add_epi32(Load(above + j + 1), gaps);
      const __m128i h = _mm_max_epi32(diag, up);
      __m128i s = _mm_sub_epi32(PrefixMax32(_mm_add_epi32(h, bias)), bias);
      s = _mm_max_epi32(s, _mm_add_epi32(carry, step));
      _mm_store_si128(reinterpret_cast<__m128i*>(current + j + 1), s);
      carry = _mm_shuffle_epi32(s, 0xFF);
      const __m128i isDiag = _mm_cmpeq_epi32(s, diag);
      const __m128i d =
          _mm_add_epi32(_mm_add_epi32(three, isDiag), _mm_or_si128(isDiag, _mm_cmpeq_epi32(s, up)));
      const __m128i words = _mm_packus_epi32(d, d);
      const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
      std::memcpy(dirRow + j, &bytes, sizeof(bytes));
    }
    int32_t* done = current;
    current = above;
    above = done;
  }
  return above[p.m];
}

}  // namespace

int32_t NwFillSse41(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch) {
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
