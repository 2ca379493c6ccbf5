// Fills with SSE4.1: on score differences in 16 byte lanes (see
// NwFillDifferences.h) where the table allows it, otherwise striped on skewed
// scores in 8 x int16 lanes (see NwFillStriped.h), or row by row in 4 x int32
// lanes.

#include <smmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "align/simd/NwFillDifferences.h"
#include "align/simd/NwFillLayout.h"
#include "align/simd/NwFillSimd.h"
#include "align/simd/NwFillStriped.h"

namespace circog {
namespace {

constexpr int kLanes32 = 4;

inline __m128i Load(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline __m128i LoadU(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }

// A 32-entry byte table looked up by 16 classes at once: entries 0 to 15
// from the first half, 16 to 31 from the second; pshufb gives 0 where the
// index byte has its top bit set.
inline __m128i LookUp(const int8_t* table, const uint8_t* classes) {
  const __m128i index = LoadU(classes);
  const __m128i fromLow = _mm_shuffle_epi8(Load(table), _mm_adds_epu8(index, _mm_set1_epi8(0x70)));
  const __m128i fromHigh = _mm_shuffle_epi8(Load(table + 16), _mm_sub_epi8(index, _mm_set1_epi8(16)));
  return _mm_or_si128(fromLow, fromHigh);
}

struct Lanes8 {
  using Vec = __m128i;
  static constexpr int kLanes = 16;
  static constexpr size_t kClassBlock = 16;

  static Vec Load(const uint8_t* p) { return circog::Load(p); }
  static void Store(uint8_t* p, Vec v) { circog::Store(p, v); }
  static Vec Zero() { return _mm_setzero_si128(); }
  static Vec Add(Vec a, Vec b) { return _mm_add_epi8(a, b); }
  static Vec Sub(Vec a, Vec b) { return _mm_sub_epi8(a, b); }
  static Vec AddClamped(Vec a, Vec b) { return _mm_adds_epu8(a, b); }
  static Vec SubClamped(Vec a, Vec b) { return _mm_subs_epu8(a, b); }
  static Vec Max(Vec a, Vec b) { return _mm_max_epu8(a, b); }
  static Vec Equal(Vec a, Vec b) { return _mm_cmpeq_epi8(a, b); }
  static void StoreMasks(Vec isDiagonal, Vec isUp, uint8_t* out) {
    const uint32_t bits = static_cast<uint32_t>(_mm_movemask_epi8(isDiagonal)) |
                          static_cast<uint32_t>(_mm_movemask_epi8(isUp)) << 16;
    std::memcpy(out, &bits, sizeof bits);
  }
  // Hillis-Steele over the maps x -> max(a, x - s), each lane composed after
  // the lanes below, shifted up one lane first so that each lane ends with
  // the lanes below it only.
  static Vec EnteringD(Vec a, Vec s) {
    a = _mm_slli_si128(a, 1);
    s = _mm_slli_si128(s, 1);
    a = Max(a, SubClamped(_mm_slli_si128(a, 1), s));
    s = AddClamped(s, _mm_slli_si128(s, 1));
    a = Max(a, SubClamped(_mm_slli_si128(a, 2), s));
    s = AddClamped(s, _mm_slli_si128(s, 2));
    a = Max(a, SubClamped(_mm_slli_si128(a, 4), s));
    s = AddClamped(s, _mm_slli_si128(s, 4));
    return Max(a, SubClamped(_mm_slli_si128(a, 8), s));
  }
  static uint64_t SumBytes(const uint8_t* p, size_t count) {
    __m128i sums = Zero();
    for (size_t k = 0; k < count; k += kLanes) sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(p + k), Zero()));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(sums)) + static_cast<uint64_t>(_mm_extract_epi64(sums, 1));
  }
  // The classes taken apart once for every row: pshufb reads the first half
  // of a table where the index byte's top bit is clear, so the first index
  // keeps classes 0 to 15 and the second 16 to 31 (less 16).
  static void LookUpRows(const uint8_t* steps, uint8_t* classes, size_t count, uint8_t* profile,
                         size_t columns) {
    uint8_t* low = classes + count;
    uint8_t* high = low + count;
    for (size_t k = 0; k < count; k += kClassBlock) {
      const __m128i index = Load(classes + k);
      Store(low + k, _mm_adds_epu8(index, _mm_set1_epi8(0x70)));
      Store(high + k, _mm_sub_epi8(index, _mm_set1_epi8(16)));
    }
    for (int c = 0; c < kResidueClasses; ++c) {
      const __m128i first = LoadU(steps + 32 * c);
      const __m128i second = LoadU(steps + 32 * c + 16);
      uint8_t* out = profile + c * columns;
      for (size_t k = 0; k < count; k += kClassBlock) {
        _mm_storeu_si128(
            reinterpret_cast<__m128i*>(out + k),
            _mm_or_si128(_mm_shuffle_epi8(first, Load(low + k)), _mm_shuffle_epi8(second, Load(high + k))));
      }
    }
  }
};

struct Lanes16 {
  using Vec = __m128i;
  using Score = int16_t;
  static constexpr int kLanes = 8;
  static constexpr size_t kClassBlock = 16;
  static constexpr bool kInterleaved = false;  // one block of eight lanes

  static Vec Load(const Score* p) { return circog::Load(p); }
  static void Store(Score* p, Vec v) { circog::Store(p, v); }
  static Vec Set(Score v) { return _mm_set1_epi16(v); }
  static Vec Add(Vec a, Vec b) { return _mm_add_epi16(a, b); }
  static Vec Max(Vec a, Vec b) { return _mm_max_epu16(a, b); }
  // Lane l - 1 into lane l; lane 0 takes the top lane of first, which holds
  // the edge in every lane.
  static Vec ShiftUp(Vec v, Vec first) { return _mm_alignr_epi8(v, first, 14); }
  // Hillis-Steele: after shifts of 1, 2, 4 lanes each lane holds the maximum
  // of itself and all lanes below; zeros, the lowest score, shift in.
  static Vec PrefixMax(Vec u) {
    u = Max(u, _mm_slli_si128(u, 2));
    u = Max(u, _mm_slli_si128(u, 4));
    return Max(u, _mm_slli_si128(u, 8));
  }
  static void StoreMasks(Vec t, Vec diag, Vec up, uint8_t* out) {
    const auto bits = static_cast<uint16_t>(
        _mm_movemask_epi8(_mm_packs_epi16(_mm_cmpeq_epi16(t, diag), _mm_cmpeq_epi16(t, up))));
    std::memcpy(out, &bits, sizeof bits);
  }
  static void LookUpRow(const int8_t* table, const uint8_t* classes, size_t count, Score* out) {
    for (size_t k = 0; k < count; k += kClassBlock) {
      const __m128i entries = LookUp(table, classes + k);
      Store(out + k, _mm_cvtepi8_epi16(entries));
      Store(out + k + 8, _mm_cvtepi8_epi16(_mm_srli_si128(entries, 8)));
    }
  }
};

inline __m128i PrefixMax32(__m128i u) {
  u = _mm_max_epu32(u, _mm_slli_si128(u, 4));
  return _mm_max_epu32(u, _mm_slli_si128(u, 8));
}

int32_t Fill16(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  return StripedFill<Lanes16>(p, offset, dirs, scratch);
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
  if (NwDifferencesFit(problem)) return FillDifferences<Lanes8>(problem, dirs, scratch);
  return FillByPlan(problem, dirs, scratch, Lanes16::kLanes, Fill16, Fill32);
}

// Letters are the bytes whose lower case lies in a to z; a letter's class is
// entry byte & 31 of the table, looked up by halves.
void NwClassifySse41(const uint8_t* letterClasses, const char* bytes, size_t count, uint8_t* classes) {
  const __m128i low = LoadU(letterClasses);
  const __m128i high = LoadU(letterClasses + 16);
  const __m128i none = _mm_set1_epi8(static_cast<char>(kNoTableIndex));
  size_t k = 0;
  for (; k + 16 <= count; k += 16) {
    const __m128i in = LoadU(bytes + k);
    const __m128i fromA = _mm_sub_epi8(_mm_or_si128(in, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i letter = _mm_cmpeq_epi8(_mm_min_epu8(fromA, _mm_set1_epi8(25)), fromA);
    const __m128i index = _mm_and_si128(in, _mm_set1_epi8(31));
    const __m128i inHigh = _mm_cmpeq_epi8(_mm_and_si128(index, _mm_set1_epi8(16)), _mm_set1_epi8(16));
    const __m128i found =
        _mm_blendv_epi8(_mm_shuffle_epi8(low, index), _mm_shuffle_epi8(high, index), inHigh);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(classes + k), _mm_blendv_epi8(none, found, letter));
  }
  NwClassifyScalar(letterClasses, bytes + k, count - k, classes + k);
}

}  // namespace circog
