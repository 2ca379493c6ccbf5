// The traceback reads every row layout a kernel may write: the reference's
// directions laid out again as each kernel would (striped over 8, 16 or 32
// lanes, a byte per cell or packed masks, mask after mask or interleaved)
// must give the same alignment, walked with and without strings.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "align/NwFill.h"
#include "align/Traceback.h"
#include "tests/support/TestSupport.h"

namespace circog {
namespace {

struct Layout {
  const char* name;
  int32_t lanes;
  bool packed;
  bool interleaved;
};

// Plain (one lane) and every striped layout the kernels write.
const Layout kLayouts[] = {
    {"Plain", 1, false, false},
    {"Bytes16Lanes", 16, false, false},
    {"Packed8Lanes", 8, true, false},
    {"Packed16Lanes", 16, true, false},
    {"Packed32Lanes", 32, true, false},
    {"Interleaved16Lanes", 16, true, true},
    {"Interleaved32Lanes", 32, true, true},
};

// The n x m directions of plain, written again in the given layout.
std::vector<uint8_t> Relayout(const DirectionMatrix& plain, int32_t n, int32_t m, const Layout& layout,
                              DirectionMatrix& out) {
  out.lanes = layout.lanes;
  out.segment = layout.lanes == 1 ? INT32_MAX : (m + layout.lanes - 1) / layout.lanes;
  out.packed = layout.packed;
  out.interleaved = layout.interleaved;
  const size_t vectors = layout.lanes == 1 ? static_cast<size_t>(m) : static_cast<size_t>(out.segment);
  out.stride = layout.packed ? vectors * layout.lanes / 4 : vectors * layout.lanes;
  std::vector<uint8_t> cells(static_cast<size_t>(n) * out.stride + 1, 0xEE);
  out.cells = cells.data();
  if (layout.packed) std::fill(cells.begin(), cells.end(), 0);
  for (int32_t i = 0; i < n; ++i) {
    uint8_t* row = cells.data() + static_cast<size_t>(i) * out.stride;
    for (int32_t j = 0; j < m; ++j) {
      const uint8_t direction = plain.At(i, j);
      const size_t vector = layout.lanes == 1 ? static_cast<size_t>(j) : static_cast<size_t>(j % out.segment);
      const size_t lane = layout.lanes == 1 ? 0 : static_cast<size_t>(j / out.segment);
      if (!layout.packed) {
        row[vector * layout.lanes + lane] = direction;
        continue;
      }
      uint8_t* masks = row + vector * layout.lanes / 4 + lane / 8 * out.BlockStep();
      const auto bit = static_cast<uint8_t>(1u << (lane % 8));
      if (direction == kDiagonal) masks[0] |= bit;
      if (direction == kUp) masks[out.UpOffset()] |= bit;
    }
  }
  return cells;
}

struct Walked {
  TracebackCounts counts;
  std::string first, second, markers;
};

Walked Walk(const TracebackInput& input) {
  Walked walked;
  std::vector<char> buffer;
  walked.counts = Traceback(input, buffer, {walked.first, walked.second, walked.markers});
  const TracebackCounts counted = CountColumns(input);
  EXPECT_EQ(counted.similarCount, walked.counts.similarCount);
  EXPECT_EQ(counted.columns, walked.counts.columns);
  return walked;
}

class TracebackLayouts : public testing::TestWithParam<Layout> {};

TEST_P(TracebackLayouts, GiveTheAlignmentOfThePlainDirections) {
  const Layout& layout = GetParam();
  std::mt19937 rng(314);
  NwScratch scratch;
  // Lengths around whole segments of every lane count, mutated copies (long
  // diagonal runs across segment ends) and unrelated pairs (many gaps).
  for (int32_t n : {1, 7, 8, 9, 31, 33, 64, 100, 257}) {
    for (int32_t m : {1, 5, 16, 17, 32, 63, 97, 300}) {
      const std::string first = support::RandomProtein(rng, static_cast<size_t>(n));
      const std::string second = (n + m) % 2 == 0 ? support::Mutate(rng, first, 0.3).substr(0, m)
                                                  : support::RandomProtein(rng, static_cast<size_t>(m));
      const std::vector<uint8_t> firstClasses = support::ToClasses(first);
      const std::vector<uint8_t> secondClasses = support::ToClasses(second);
      const auto length = static_cast<int32_t>(second.size());
      const NwProblem problem{
          firstClasses.data(), n, secondClasses.data(), length, support::Pam250Classes().data(), -6};
      std::vector<uint8_t> plainCells(static_cast<size_t>(n) * DirectionStride(length));
      TracebackInput input{first,
                           second,
                           firstClasses.data(),
                           secondClasses.data(),
                           support::Pam250Classes().data(),
                           {plainCells.data(), DirectionStride(length)}};
      NwFillScalar(problem, input.dirs, scratch);
      const Walked want = Walk(input);

      TracebackInput relaid = input;
      const std::vector<uint8_t> cells = Relayout(input.dirs, n, length, layout, relaid.dirs);
      const Walked got = Walk(relaid);
      ASSERT_EQ(got.markers, want.markers) << n << " x " << length;
      ASSERT_EQ(got.first, want.first);
      ASSERT_EQ(got.second, want.second);
      ASSERT_EQ(got.counts.similarCount, want.counts.similarCount);
      ASSERT_EQ(got.counts.columns, want.counts.columns);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, TracebackLayouts, testing::ValuesIn(kLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace circog
