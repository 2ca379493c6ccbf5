// Striped fill on skewed scores (see NwFillSimd.h) with 32 x int16 or
// 16 x int32 lanes (AVX-512 F/BW/VL).

// GCC 12's AVX-512 headers build their "undefined" vectors from themselves,
// which -Wmaybe-uninitialized reports at every use.
// Clang has no such warning (and would warn about the unknown name).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "align/simd/NwFillLayout.h"
#include "align/simd/NwFillSimd.h"

namespace circog {
namespace {

constexpr int kLanes16 = 32;

// Lanes of 16 or 32 bits, unsigned. Hillis-Steele prefix maxima: after
// shifts of 1, 2, 4, ... lanes each lane holds the maximum of itself and all
// lanes below; zeros, the lowest score, shift in.
struct Lanes16 {
  using Score = int16_t;
  using Mask = __mmask32;
  static constexpr int kCount = 32;

  __m512i laneBelow;  // lane l reads lane l - 1
  __m512i topWord;    // every word of a block reads the block's last word

  Lanes16() : topWord(_mm512_set1_epi16(0x0F0E)) {
    alignas(64) int16_t below[kCount];
    for (int l = 0; l < kCount; ++l) below[l] = static_cast<int16_t>(l == 0 ? 0 : l - 1);
    laneBelow = _mm512_load_si512(below);
  }
  static __m512i Set(Score v) { return _mm512_set1_epi16(v); }
  static __m512i Add(__m512i a, __m512i b) { return _mm512_add_epi16(a, b); }
  static __m512i Max(__m512i a, __m512i b) { return _mm512_max_epu16(a, b); }
  static Mask Equal(__m512i a, __m512i b) { return _mm512_cmpeq_epi16_mask(a, b); }
  // Every lane moves up one; lane 0 takes first.
  __m512i ShiftUp(__m512i v, __m512i first) const {
    return _mm512_mask_permutexvar_epi16(first, ~Mask{1}, laneBelow, v);
  }
  // Within each 128-bit block first, by single-cycle byte shifts; then each
  // block takes the top of every block below it.
  __m512i PrefixMax(__m512i u) const {
    const __m512i zero = _mm512_setzero_si512();
    u = Max(u, _mm512_bslli_epi128(u, 2));
    u = Max(u, _mm512_bslli_epi128(u, 4));
    u = Max(u, _mm512_bslli_epi128(u, 8));
    // The blocks one, two and three below, shifted in side by side.
    const __m512i top = _mm512_shuffle_epi8(u, topWord);
    const __m512i below = Max(_mm512_alignr_epi64(top, zero, 6),
                              Max(_mm512_alignr_epi64(top, zero, 4), _mm512_alignr_epi64(top, zero, 2)));
    return Max(u, below);
  }
  // The 32-entry lookup table from its entries as two vectors of int32.
  static void Table(__m512i first16, __m512i rest, __m512i& low, __m512i& high) {
    low = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(first16)),
                             _mm512_cvtepi32_epi16(rest), 1);
    high = low;
  }
  // The profile entries of 32 columns from their classes.
  static __m512i Lookup(const uint8_t* classes, __m512i low, __m512i) {
    const __m512i index = _mm512_cvtepu8_epi16(_mm256_load_si256(reinterpret_cast<const __m256i*>(classes)));
    return _mm512_permutexvar_epi16(index, low);
  }
};

struct Lanes32 {
  using Score = int32_t;
  using Mask = __mmask16;
  static constexpr int kCount = 16;

  __m512i laneBelow;

  Lanes32() : laneBelow(_mm512_set_epi32(14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0)) {}
  static __m512i Set(Score v) { return _mm512_set1_epi32(v); }
  static __m512i Add(__m512i a, __m512i b) { return _mm512_add_epi32(a, b); }
  static __m512i Max(__m512i a, __m512i b) { return _mm512_max_epu32(a, b); }
  static Mask Equal(__m512i a, __m512i b) { return _mm512_cmpeq_epi32_mask(a, b); }
  __m512i ShiftUp(__m512i v, __m512i first) const {
    return _mm512_mask_permutexvar_epi32(first, Mask(0xFFFE), laneBelow, v);
  }
  static __m512i PrefixMax(__m512i u) {
    const __m512i zero = _mm512_setzero_si512();
    u = Max(u, _mm512_alignr_epi32(u, zero, 15));
    u = Max(u, _mm512_alignr_epi64(u, zero, 7));
    u = Max(u, _mm512_alignr_epi64(u, zero, 6));
    return Max(u, _mm512_alignr_epi64(u, zero, 4));
  }
  static void Table(__m512i first16, __m512i rest, __m512i& low, __m512i& high) {
    low = first16;
    high = rest;
  }
  static __m512i Lookup(const uint8_t* classes, __m512i low, __m512i high) {
    const __m512i index = _mm512_cvtepu8_epi32(_mm_load_si128(reinterpret_cast<const __m128i*>(classes)));
    return _mm512_permutex2var_epi32(low, index, high);
  }
};

// The class a padded column gets: it scores 0 against everything, so its
// diagonal step is -2 gap.
constexpr uint8_t kPadClass = kResidueClasses;

// Striped rows: with S vectors per row, column j = l * S + v sits in lane l of
// vector v. Within a lane, columns l * S to l * S + S - 1 follow one another
// from vector to vector, so the left moves become a running maximum over the
// vectors; one prefix maximum over the lanes per row then brings in every
// earlier segment. Per row: a first pass of diagonal, up and running
// maximum, the lane prefix, a second pass that adds it and sets directions.
template <typename L>
int32_t StripedFill(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  using Score = typename L::Score;
  constexpr int W = L::kCount;
  const L lanes;
  const int32_t segment = (p.m + W - 1) / W;
  const size_t columns = static_cast<size_t>(segment) * W;
  auto* profile = static_cast<Score*>(
      scratch.Get((kResidueClasses + 2) * columns * sizeof(Score) + columns));
  Score* above = profile + kResidueClasses * columns;
  Score* current = above + columns;
  auto* striped = reinterpret_cast<uint8_t*>(current + columns);

  for (size_t k = 0; k < columns; ++k) {
    const size_t j = k % W * segment + k / W;
    striped[k] = j < static_cast<size_t>(p.m) ? p.second[j] : kPadClass;
  }
  const __m512i twoGaps = _mm512_set1_epi32(-2 * p.gap);
  for (int c = 0; c < kResidueClasses; ++c) {
    // Entries 0 to 20 from the table row, then 0 (the pad class and above),
    // each plus the two gaps; built in registers, as a table written to the
    // stack piecewise and read back whole would stall.
    const int32_t* scores = p.substitution + c * kResidueClasses;
    const __m512i first16 = _mm512_add_epi32(_mm512_loadu_si512(scores), twoGaps);
    const __m512i rest = _mm512_add_epi32(_mm512_maskz_loadu_epi32(__mmask16{0x1F}, scores + 16), twoGaps);
    __m512i low, high;
    L::Table(first16, rest, low, high);
    for (size_t k = 0; k < columns; k += W) {
      _mm512_store_si512(profile + c * columns + k, L::Lookup(striped + k, low, high));
    }
  }

  // Row 0 and column 0 are all gaps, so R is 0 there: lanes hold -offset.
  const auto edge = static_cast<Score>(-int64_t{offset});
  const __m512i edges = L::Set(edge);
  for (size_t k = 0; k < columns; k += W) _mm512_store_si512(above + k, edges);
  // Directions packed: two masks per vector, rows back to back.
  dirs.lanes = W;
  dirs.segment = segment;
  dirs.packed = true;
  dirs.stride = columns / 4;
  constexpr size_t kMaskBytes = W / 8;
  // The last vector of the row above, kept in a register for the next row.
  __m512i lastAbove = edges;
  for (int32_t i = 1; i <= p.n; ++i) {
    const Score* prof = profile + p.first[i - 1] * columns;
    // Column j - 1 of vector 0 is the previous segment's last column.
    const __m512i firstAboveLeft = lanes.ShiftUp(lastAbove, edges);
    __m512i aboveLeft = firstAboveLeft;
    __m512i running = _mm512_setzero_si512();
    for (size_t k = 0; k < columns; k += W) {
      const __m512i up = _mm512_load_si512(above + k);
      const __m512i diag = L::Add(aboveLeft, _mm512_load_si512(prof + k));
      running = L::Max(running, L::Max(diag, up));
      _mm512_store_si512(current + k, running);
      aboveLeft = up;
    }
    // Per lane, the best of every earlier segment and of column 0.
    const __m512i before = lanes.PrefixMax(lanes.ShiftUp(running, edges));
    uint8_t* dirRow = dirs.cells + static_cast<size_t>(i - 1) * dirs.stride;
    aboveLeft = firstAboveLeft;
    for (size_t k = 0; k < columns; k += W) {
      const __m512i up = _mm512_load_si512(above + k);
      const __m512i diag = L::Add(aboveLeft, _mm512_load_si512(prof + k));
      const __m512i t = L::Max(_mm512_load_si512(current + k), before);
      _mm512_store_si512(current + k, t);
      lastAbove = t;
      const typename L::Mask isDiagonal = L::Equal(t, diag);
      const typename L::Mask isUp = L::Equal(t, up);
      std::memcpy(dirRow + k / 4, &isDiagonal, kMaskBytes);
      std::memcpy(dirRow + k / 4 + kMaskBytes, &isUp, kMaskBytes);
      aboveLeft = up;
    }
    Score* done = current;
    current = above;
    above = done;
  }
  const int32_t j = p.m - 1;
  using Unsigned = std::make_unsigned_t<Score>;
  return FinalScore(p, static_cast<Unsigned>(above[j % segment * W + j / segment]), offset);
}

int32_t Fill16(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  return StripedFill<Lanes16>(p, offset, dirs, scratch);
}

int32_t Fill32(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  return StripedFill<Lanes32>(p, offset, dirs, scratch);
}

}  // namespace

int32_t NwFillAvx512(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  return FillByPlan(problem, dirs, scratch, kLanes16, Fill16, Fill32);
}

}  // namespace circog
