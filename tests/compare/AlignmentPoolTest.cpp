#include "compare/AlignmentPool.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Sequences of known identity: pair k aligns k % 7 + 1 'A's against as many
// 'A's followed by k % 3 'W's, so similarCount and length are known.
TEST(AlignmentPoolTest, HandsOutcomesOverInOrderWhateverTheThreads) {
  std::vector<std::string> firsts, seconds;
  const size_t count = 5001;  // several times the window, and an odd count
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

// The calling thread aligns as one of the threads asked for, so no more
// threads run than there are CPUs; with one, it aligns everything itself.
TEST(AlignmentPoolTest, CallingThreadIsOneOfTheAligningThreads) {
  const std::string residues(50, 'W');
  CProteinAligner prototype;
  for (int threads : {1, 2}) {
    std::mutex mutex;
    std::set<std::thread::id> aligning;
    circog::AlignInOrder(
        prototype, 3000,
        [&](size_t, std::string_view& first, std::string_view& second) {
          const std::lock_guard<std::mutex> lock(mutex);
          aligning.insert(std::this_thread::get_id());
          first = second = residues;
        },
        [](size_t, const circog::AlignmentCounts&) {}, [] {}, threads);
    EXPECT_LE(aligning.size(), static_cast<size_t>(threads));
    if (threads == 1) {
      EXPECT_EQ(aligning, std::set<std::thread::id>{std::this_thread::get_id()});
    }
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

namespace {

TEST(AlignmentPoolTest, ThrowsWhatAWorkerThrewAfterTheEarlierPairs) {
  const std::string residues = "ACDE";
  CProteinAligner prototype;
  for (int threads : {1, 2}) {
    size_t consumed = 0;
    EXPECT_THROW(circog::AlignInOrder(
                     prototype, 3000,
                     [&](size_t k, std::string_view& first, std::string_view& second) {
                       if (k == 2000) throw std::bad_alloc();
                       first = second = residues;
                     },
                     [&](size_t, const circog::AlignmentCounts&) { ++consumed; }, [] {}, threads),
                 std::bad_alloc);
    EXPECT_EQ(consumed, 2000u);
  }
}

TEST(AlignmentPoolTest, PairBeyondAnyMemoryIsOutOfMemory) {
  // A direction matrix of 10^12 cells fits in no machine this runs on.
  const std::string huge(1000000, 'A');
  CProteinAligner prototype;
  EXPECT_THROW(circog::AlignInOrder(
                   prototype, 1,
                   [&](size_t, std::string_view& first, std::string_view& second) {
                     first = second = huge;
                   },
                   [](size_t, const circog::AlignmentCounts&) {}, [] {}, 2),
               std::bad_alloc);
}

}  // namespace
