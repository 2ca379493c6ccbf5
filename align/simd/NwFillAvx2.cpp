// Row-wise fill with 16 x int16 or 8 x int32 lanes (AVX2); the method is
// described in NwFillAvx512.cpp.

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 16;
constexpr int kLanes32 = 8;

// Hillis-Steele within each 128-bit half, zeros shifting in; then the upper
// half takes the maximum of the lower one.
inline __m256i PrefixMax16(__m256i u, __m256i lastWordOfHalf) {
  u = _mm256_max_epu16(u, _mm256_bslli_epi128(u, 2));
  u = _mm256_max_epu16(u, _mm256_bslli_epi128(u, 4));
  u = _mm256_max_epu16(u, _mm256_bslli_epi128(u, 8));
  const __m256i top = _mm256_shuffle_epi8(u, lastWordOfHalf);
  return _mm256_max_epu16(u, _mm256_permute2x128_si256(top, top, 0x08));
}

inline __m256i PrefixMax32(__m256i u) {
  u = _mm256_max_epu32(u, _mm256_bslli_epi128(u, 4));
  u = _mm256_max_epu32(u, _mm256_bslli_epi128(u, 8));
  const __m256i top = _mm256_shuffle_epi32(u, 0xFF);
  return _mm256_max_epu32(u, _mm256_permute2x128_si256(top, top, 0x08));
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

int32_t Fill16(const NwProblem& p, DirectionMatrix dirs, NwScratch& scratch) {
  constexpr int W = kLanes16;
  size_t columns = 0;
  int16_t* profile = nullptr;
  int16_t* above = nullptr;
  int16_t* current = nullptr;
  Layout(p, W, scratch, columns, profile, above, current);

  alignas(32) int16_t laneBias[W];
  alignas(32) int16_t carryStep[W];
  for (int l = 0; l < W; ++l) {
    laneBias[l] = static_cast<int16_t>(static_cast<uint16_t>(-l * p.gap) ^ 0x8000u);
    carryStep[l] = static_cast<int16_t>((l + 1) * p.gap);
  }
  const __m256i bias = _mm256_load_si256(reinterpret_cast<const __m256i*>(laneBias));
  const __m256i step = _mm256_load_si256(reinterpret_cast<const __m256i*>(carryStep));
  const __m256i gaps = _mm256_set1_epi16(static_cast<int16_t>(p.gap));
  // After copying the top quadword everywhere, word 3 of each quadword.
  const __m256i lastWord = _mm256_set1_epi16(0x0706);
  const __m256i lastWordOfHalf = _mm256_set1_epi16(0x0F0E);
  const __m256i three = _mm256_set1_epi16(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int16_t* prof = profile + p.first[i - 1] * columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = static_cast<int16_t>(i * p.gap);
    __m256i carry = _mm256_set1_epi16(current[0]);
    for (size_t j = 0; j < columns; j += W) {
      const __m256i diag = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(above + j)),
                                            _mm256_load_si256(reinterpret_cast<const __m256i*>(prof + j)));
      const __m256i up =
          _mm256_add_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(above + j + 1)), gaps);
      const __m256i h = _mm256_max_epi16(diag, up);
      __m256i s = _mm256_sub_epi16(PrefixMax16(_mm256_add_epi16(h, bias), lastWordOfHalf), bias);
      s = _mm256_max_epi16(s, _mm256_add_epi16(carry, step));
      _mm256_store_si256(reinterpret_cast<__m256i*>(current + j + 1), s);
      carry = _mm256_shuffle_epi8(_mm256_permute4x64_epi64(s, 0xFF), lastWord);
      // Equal to the diagonal: 1; else equal to up: 2; else 3.
      const __m256i isDiag = _mm256_cmpeq_epi16(s, diag);
      const __m256i d = _mm256_add_epi16(_mm256_add_epi16(three, isDiag),
                                         _mm256_or_si256(isDiag, _mm256_cmpeq_epi16(s, up)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dirRow + j),
                       _mm_packus_epi16(_mm256_castsi256_si128(d), _mm256_extracti128_si256(d, 1)));
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

  alignas(32) int32_t laneBias[W];
  alignas(32) int32_t carryStep[W];
  for (int l = 0; l < W; ++l) {
    laneBias[l] = static_cast<int32_t>(static_cast<uint32_t>(-l * p.gap) ^ 0x80000000u);
    carryStep[l] = (l + 1) * p.gap;
  }
  const __m256i bias = _mm256_load_si256(reinterpret_cast<const __m256i*>(laneBias));
  const __m256i step = _mm256_load_si256(reinterpret_cast<const __m256i*>(carryStep));
  const __m256i gaps = _mm256_set1_epi32(p.gap);
  const __m256i lastLane = _mm256_set1_epi32(W - 1);
  const __m256i three = _mm256_set1_epi32(kLeft);
  for (int32_t i = 1; i <= p.n; ++i) {
    const int32_t* prof = profile + p.first[i - 1] * columns;
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    current[0] = i * p.gap;
    __m256i carry = _mm256_set1_epi32(current[0]);
    for (size_t j = 0; j < columns; j += W) {
      const __m256i diag = _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(above + j)),
                                            _mm256_load_si256(reinterpret_cast<const __m256i*>(prof + j)));
      const __m256i up =
          _mm256_add_epi32(_mm256_load_si256(reinterpret_cast<const __m256i*>(above + j + 1)), gaps);
      const __m256i h = _mm256_max_epi32(diag, up);
      __m256i s = _mm256_sub_epi32(PrefixMax32(_mm256_add_epi32(h, bias)), bias);
      s = _mm256_max_epi32(s, _mm256_add_epi32(carry, step));
      _mm256_store_si256(reinterpret_cast<__m256i*>(current + j + 1), s);
      carry = _mm256_permutevar8x32_epi32(s, lastLane);
      const __m256i isDiag = _mm256_cmpeq_epi32(s, diag);
      const __m256i d = _mm256_add_epi32(_mm256_add_epi32(three, isDiag),
                                         _mm256_or_si256(isDiag, _mm256_cmpeq_epi32(s, up)));
      const __m128i words = _mm_packus_epi32(_mm256_castsi256_si128(d), _mm256_extracti128_si256(d, 1));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(dirRow + j), _mm_packus_epi16(words, words));
    }
    int32_t* done = current;
    current = above;
    above = done;
  }
  return above[p.m];
}

}  // namespace

int32_t NwFillAvx2(const NwProblem& problem, DirectionMatrix dirs, NwScratch& scratch) {
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
