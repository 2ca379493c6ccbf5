#include "compare/AlignmentPool.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Sequences of known identity: pair k aligns k % 7 + 1 'A's against as many
// 'A's followed by k % 3 'W's, so similarCount and length are known.
TEST(AlignmentPoolTest, HandsOutcomesOverInOrderWhateverTheThreads) {
  std::vector<std::string> firsts, seconds;
  const size_t count = 5000;  // several times the window
  for (size_t k = 0; k < count; ++k) {
    firsts.emplace_back(k % 7 + 1, 'A');
    seconds.push_back(std::string(k % 7 + 1, 'A') + std::string(k % 3, 'W'));
  }
  CProteinAligner prototype;
  for (int threads : {1, 2, 5}) {
    size_t expected = 0;
    circog::AlignInOrder(
        prototype, count,
        [&](size_t k, std::string_view& first, std::string_view& second) {
          first = firsts[k];
          second = seconds[k];
        },
        [&](size_t k, const circog::AlignmentCounts& counts) {
          ASSERT_EQ(k, expected++);
          EXPECT_EQ(counts.similarCount, static_cast<int32_t>(k % 7 + 1));
          EXPECT_EQ(counts.columns, static_cast<int32_t>(k % 7 + 1 + k % 3));
        },
        [] {}, threads);
    EXPECT_EQ(expected, count);
  }
}

TEST(AlignmentPoolTest, NothingToAlign) {
  CProteinAligner prototype;
  bool called = false;
  circog::AlignInOrder(
      prototype, 0, [&](size_t, std::string_view&, std::string_view&) { called = true; },
      [&](size_t, const circog::AlignmentCounts&) { called = true; }, [&] { called = true; });
  EXPECT_FALSE(called);
}

}  // namespace
