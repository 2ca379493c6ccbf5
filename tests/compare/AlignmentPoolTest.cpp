#include "compare/AlignmentPool.h"

#include <gtest/gtest.h>

#include <sstream>
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
  std::ostringstream console;
  CProteinAligner prototype(console);
  for (int threads : {1, 2, 5}) {
    size_t expected = 0;
    circog::AlignInOrder(
        prototype, count,
        [&](size_t k, const std::string*& first, const std::string*& second) {
          first = &firsts[k];
          second = &seconds[k];
        },
        [&](size_t k, const circog::AlignmentOutcome& outcome) {
          ASSERT_EQ(k, expected++);
          EXPECT_EQ(outcome.similarCount, static_cast<int32_t>(k % 7 + 1));
          EXPECT_EQ(outcome.length, static_cast<int32_t>(k % 7 + 1 + k % 3));
        },
        [] {}, threads);
    EXPECT_EQ(expected, count);
  }
  EXPECT_EQ(console.str(), "");  // workers never print
}

TEST(AlignmentPoolTest, NothingToAlign) {
  CProteinAligner prototype;
  bool called = false;
  circog::AlignInOrder(
      prototype, 0, [&](size_t, const std::string*&, const std::string*&) { called = true; },
      [&](size_t, const circog::AlignmentOutcome&) { called = true; }, [&] { called = true; });
  EXPECT_FALSE(called);
}

}  // namespace
