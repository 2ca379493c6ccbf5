// Striped fills with AVX2: on score differences in 32 byte lanes (see
// NwFillDifferences.h) where the table allows it, otherwise on skewed scores
// (see NwFillStriped.h) in 16 x int16 or 8 x int32 lanes.

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "align/simd/NwFillDifferences.h"
#include "align/simd/NwFillStriped.h"

namespace circog {
namespace {

inline __m256i Load256(const void* p) { return _mm256_load_si256(static_cast<const __m256i*>(p)); }
inline void Store256(void* p, __m256i v) { _mm256_store_si256(static_cast<__m256i*>(p), v); }

// A 32-entry byte table looked up by 32 classes at once: entries 0 to 15
// from the first half, 16 to 31 from the second; pshufb gives 0 where the
// index byte has its top bit set.
struct ByteTable {
  __m256i low;
  __m256i high;

  explicit ByteTable(const int8_t* table)
      : low(_mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)))),
        high(_mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table + 16)))) {}

  __m256i LookUp(const uint8_t* classes) const {
    const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(classes));
    const __m256i fromLow = _mm256_shuffle_epi8(low, _mm256_adds_epu8(index, _mm256_set1_epi8(0x70)));
    const __m256i fromHigh = _mm256_shuffle_epi8(high, _mm256_sub_epi8(index, _mm256_set1_epi8(16)));
    return _mm256_or_si256(fromLow, fromHigh);
  }
};

// Lane l - 1 into lane l across both halves; lane 0 takes the top lane of
// first's lower half, which holds the edge in every lane.
template <int kBytes>
inline __m256i ShiftUpLanes(__m256i v, __m256i first) {
  return _mm256_alignr_epi8(v, _mm256_permute2x128_si256(v, first, 0x02), 16 - kBytes);
}

struct Lanes8 {
  using Vec = __m256i;
  static constexpr int kLanes = 32;
  static constexpr size_t kClassBlock = 32;

  static Vec Load(const uint8_t* p) { return Load256(p); }
  static void Store(uint8_t* p, Vec v) { Store256(p, v); }
  static Vec Zero() { return _mm256_setzero_si256(); }
  static Vec Add(Vec a, Vec b) { return _mm256_add_epi8(a, b); }
  static Vec Sub(Vec a, Vec b) { return _mm256_sub_epi8(a, b); }
  static Vec AddClamped(Vec a, Vec b) { return _mm256_adds_epu8(a, b); }
  static Vec SubClamped(Vec a, Vec b) { return _mm256_subs_epu8(a, b); }
  static Vec Max(Vec a, Vec b) { return _mm256_max_epu8(a, b); }
  static Vec Equal(Vec a, Vec b) { return _mm256_cmpeq_epi8(a, b); }
  static void StoreMasks(Vec isDiagonal, Vec isUp, uint8_t* out) {
    const int diagonal = _mm256_movemask_epi8(isDiagonal);
    const int up = _mm256_movemask_epi8(isUp);
    std::memcpy(out, &diagonal, 4);
    std::memcpy(out + 4, &up, 4);
  }
  // Hillis-Steele over the maps x -> max(a, x - s), each lane composed after
  // the lanes below, within each half; then each lane takes the lanes below
  // it only (one up within the half), and the upper half comes after the
  // whole lower one.
  static Vec EnteringD(Vec a, Vec s) {
    a = Max(a, SubClamped(_mm256_bslli_epi128(a, 1), s));
    s = AddClamped(s, _mm256_bslli_epi128(s, 1));
    a = Max(a, SubClamped(_mm256_bslli_epi128(a, 2), s));
    s = AddClamped(s, _mm256_bslli_epi128(s, 2));
    a = Max(a, SubClamped(_mm256_bslli_epi128(a, 4), s));
    s = AddClamped(s, _mm256_bslli_epi128(s, 4));
    a = Max(a, SubClamped(_mm256_bslli_epi128(a, 8), s));
    s = AddClamped(s, _mm256_bslli_epi128(s, 8));
    // The lower half's whole map applied to 0, in every lane of the upper half.
    const __m256i top = _mm256_shuffle_epi8(a, _mm256_set1_epi8(15));
    const __m256i lowerWhole = _mm256_permute2x128_si256(top, top, 0x08);
    return Max(_mm256_bslli_epi128(a, 1), SubClamped(lowerWhole, _mm256_bslli_epi128(s, 1)));
  }
  static uint64_t SumBytes(const uint8_t* p, size_t count) {
    __m256i sums = Zero();
    for (size_t k = 0; k < count; k += kLanes)
      sums = _mm256_add_epi64(sums, _mm256_sad_epu8(Load(p + k), Zero()));
    const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(half)) + static_cast<uint64_t>(_mm_extract_epi64(half, 1));
  }
  // The classes taken apart once for every row: pshufb reads the first half
  // of a table where the index byte's top bit is clear, so the first index
  // keeps classes 0 to 15 and the second 16 to 31 (less 16).
  static void LookUpRows(const uint8_t* steps, uint8_t* classes, size_t count, uint8_t* profile,
                         size_t columns) {
    uint8_t* low = classes + count;
    uint8_t* high = low + count;
    for (size_t k = 0; k < count; k += kClassBlock) {
      const __m256i index = Load(classes + k);
      Store256(low + k, _mm256_adds_epu8(index, _mm256_set1_epi8(0x70)));
      Store256(high + k, _mm256_sub_epi8(index, _mm256_set1_epi8(16)));
    }
    for (int c = 0; c < kResidueClasses; ++c) {
      const auto* row = reinterpret_cast<const __m128i*>(steps + 32 * c);
      const __m256i first = _mm256_broadcastsi128_si256(_mm_loadu_si128(row));
      const __m256i second = _mm256_broadcastsi128_si256(_mm_loadu_si128(row + 1));
      uint8_t* out = profile + c * columns;
      for (size_t k = 0; k < count; k += kClassBlock) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + k),
                            _mm256_or_si256(_mm256_shuffle_epi8(first, Load(low + k)),
                                            _mm256_shuffle_epi8(second, Load(high + k))));
      }
    }
  }
};

struct Lanes16 {
  using Vec = __m256i;
  using Score = int16_t;
  static constexpr int kLanes = 16;
  static constexpr size_t kClassBlock = 32;
  // Packing the two masks' words gives each half's diagonal byte, then its up byte.
  static constexpr bool kInterleaved = true;

  static Vec Load(const Score* p) { return Load256(p); }
  static void Store(Score* p, Vec v) { Store256(p, v); }
  static Vec Set(Score v) { return _mm256_set1_epi16(v); }
  static Vec Add(Vec a, Vec b) { return _mm256_add_epi16(a, b); }
  static Vec Max(Vec a, Vec b) { return _mm256_max_epu16(a, b); }
  static Vec ShiftUp(Vec v, Vec first) { return ShiftUpLanes<2>(v, first); }
  // Hillis-Steele within each half, zeros (the lowest score) shifting in;
  // then the upper half takes the maximum of the lower one.
  static Vec PrefixMax(Vec u) {
    u = Max(u, _mm256_bslli_epi128(u, 2));
    u = Max(u, _mm256_bslli_epi128(u, 4));
    u = Max(u, _mm256_bslli_epi128(u, 8));
    const __m256i top = _mm256_shuffle_epi8(u, _mm256_set1_epi16(0x0F0E));
    return Max(u, _mm256_permute2x128_si256(top, top, 0x08));
  }
  static void StoreMasks(Vec t, Vec diag, Vec up, uint8_t* out) {
    const __m256i masks = _mm256_packs_epi16(_mm256_cmpeq_epi16(t, diag), _mm256_cmpeq_epi16(t, up));
    const auto bits = static_cast<uint32_t>(_mm256_movemask_epi8(masks));
    std::memcpy(out, &bits, sizeof bits);
  }
  static void LookUpRow(const int8_t* table, const uint8_t* classes, size_t count, Score* out) {
    const ByteTable bytes(table);
    for (size_t k = 0; k < count; k += kClassBlock) {
      const __m256i entries = bytes.LookUp(classes + k);
      Store256(out + k, _mm256_cvtepi8_epi16(_mm256_castsi256_si128(entries)));
      Store256(out + k + 16, _mm256_cvtepi8_epi16(_mm256_extracti128_si256(entries, 1)));
    }
  }
};

struct Lanes32 {
  using Vec = __m256i;
  using Score = int32_t;
  static constexpr int kLanes = 8;
  static constexpr size_t kClassBlock = 32;
  static constexpr bool kInterleaved = false;  // one block of eight lanes

  static Vec Load(const Score* p) { return Load256(p); }
  static void Store(Score* p, Vec v) { Store256(p, v); }
  static Vec Set(Score v) { return _mm256_set1_epi32(v); }
  static Vec Add(Vec a, Vec b) { return _mm256_add_epi32(a, b); }
  static Vec Max(Vec a, Vec b) { return _mm256_max_epu32(a, b); }
  static Vec ShiftUp(Vec v, Vec first) { return ShiftUpLanes<4>(v, first); }
  static Vec PrefixMax(Vec u) {
    u = Max(u, _mm256_bslli_epi128(u, 4));
    u = Max(u, _mm256_bslli_epi128(u, 8));
    const __m256i top = _mm256_shuffle_epi32(u, 0xFF);
    return Max(u, _mm256_permute2x128_si256(top, top, 0x08));
  }
  static void StoreMasks(Vec t, Vec diag, Vec up, uint8_t* out) {
    out[0] = static_cast<uint8_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(t, diag))));
    out[1] = static_cast<uint8_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(t, up))));
  }
  static void LookUpRow(const int8_t* table, const uint8_t* classes, size_t count, Score* out) {
    const ByteTable bytes(table);
    for (size_t k = 0; k < count; k += kClassBlock) {
      const __m256i entries = bytes.LookUp(classes + k);
      const __m128i low = _mm256_castsi256_si128(entries);
      const __m128i high = _mm256_extracti128_si256(entries, 1);
      Store256(out + k, _mm256_cvtepi8_epi32(low));
      Store256(out + k + 8, _mm256_cvtepi8_epi32(_mm_srli_si128(low, 8)));
      Store256(out + k + 16, _mm256_cvtepi8_epi32(high));
      Store256(out + k + 24, _mm256_cvtepi8_epi32(_mm_srli_si128(high, 8)));
    }
  }
};

int32_t Fill16(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  return StripedFill<Lanes16>(p, offset, dirs, scratch);
}

int32_t Fill32(const NwProblem& p, int32_t offset, DirectionMatrix& dirs, NwScratch& scratch) {
  return StripedFill<Lanes32>(p, offset, dirs, scratch);
}

}  // namespace

int32_t NwFillAvx2(const NwProblem& problem, DirectionMatrix& dirs, NwScratch& scratch) {
  if (NwDifferencesFit(problem)) return FillDifferences<Lanes8>(problem, dirs, scratch);
  return FillByPlan(problem, dirs, scratch, Lanes16::kLanes, Fill16, Fill32);
}

void NwFillTwoAvx2(const NwProblem* problems, DirectionMatrix* dirs, NwScratch* scratch, int32_t* scores) {
  FillTwo<Lanes8>(problems, dirs, scratch, scores, NwFillAvx2);
}

// Letters are the bytes whose lower case lies in a to z; a letter's class is
// entry byte & 31 of the table, looked up by halves.
void NwClassifyAvx2(const uint8_t* letterClasses, const char* bytes, size_t count, uint8_t* classes) {
  const __m256i low =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(letterClasses)));
  const __m256i high =
      _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(letterClasses + 16)));
  const __m256i none = _mm256_set1_epi8(static_cast<char>(kNoTableIndex));
  size_t k = 0;
  for (; k + 32 <= count; k += 32) {
    const __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + k));
    const __m256i fromA = _mm256_sub_epi8(_mm256_or_si256(in, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
    const __m256i letter = _mm256_cmpeq_epi8(_mm256_min_epu8(fromA, _mm256_set1_epi8(25)), fromA);
    const __m256i index = _mm256_and_si256(in, _mm256_set1_epi8(31));
    const __m256i inHigh =
        _mm256_cmpeq_epi8(_mm256_and_si256(index, _mm256_set1_epi8(16)), _mm256_set1_epi8(16));
    const __m256i found =
        _mm256_blendv_epi8(_mm256_shuffle_epi8(low, index), _mm256_shuffle_epi8(high, index), inHigh);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(classes + k), _mm256_blendv_epi8(none, found, letter));
  }
  NwClassifyScalar(letterClasses, bytes + k, count - k, classes + k);
}

}  // namespace circog
