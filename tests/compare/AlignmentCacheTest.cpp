#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "align/ProteinAligner.h"
#include "compare/AlignmentCache.h"
#include "compare/CompareText.h"
#include "tests/support/TestSupport.h"

namespace circog {
namespace {

CachedSequence Seq(const std::string& bytes) { return {bytes, HashSequence(bytes)}; }

std::vector<int32_t> Table(int32_t fill) { return std::vector<int32_t>(20 * 20, fill); }
std::vector<int32_t> ResidueOrder() { return std::vector<int32_t>(26, 0); }

TEST(AlignmentCache, KeysAreTheExactBytesOfBothSequencesInOrder) {
  AlignmentCache cache(size_t{64} << 20);
  const std::string a = "MKVLAW", b = "MKVLSW";
  cache.Insert(Seq(a), Seq(b), {5, 6});
  const CachedCounts* found = cache.Find(Seq(a), Seq(b));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->similarCount, 5);
  EXPECT_EQ(found->columns, 6);
  // Other bytes, the other order, letter case (identity is on bytes).
  EXPECT_EQ(cache.Find(Seq(b), Seq(a)), nullptr);
  EXPECT_EQ(cache.Find(Seq("MKVLAw"), Seq(b)), nullptr);
  EXPECT_EQ(cache.Find(Seq(a), Seq("MKVLSWX")), nullptr);
  EXPECT_EQ(cache.Find(Seq(""), Seq(b)), nullptr);
  cache.Insert(Seq(""), Seq(""), {0, 0});
  ASSERT_NE(cache.Find(Seq(""), Seq("")), nullptr);
  EXPECT_EQ(cache.Lookups(), 6u);
  EXPECT_EQ(cache.Hits(), 2u);
}

TEST(AlignmentCache, EqualHashesOfOtherBytesAreNoMatch) {
  AlignmentCache cache(size_t{64} << 20);
  // The hash is the caller's: give two different sequences the same one.
  const CachedSequence first{"ACDE", 42}, other{"ACDF", 42}, second{"WWW", 7};
  cache.Insert(first, second, {1, 4});
  EXPECT_EQ(cache.Find(other, second), nullptr);
  cache.Insert(other, second, {2, 4});
  EXPECT_EQ(cache.Find(first, second)->similarCount, 1);
  EXPECT_EQ(cache.Find(other, second)->similarCount, 2);
  EXPECT_EQ(cache.Entries(), 2u);
}

TEST(AlignmentCache, AnotherTableEmptiesIt) {
  AlignmentCache cache(size_t{64} << 20);
  const std::vector<int32_t> pam = Table(1), other = Table(2), order = ResidueOrder();
  cache.UseTable(pam.data(), order.data(), true, -6);
  cache.Insert(Seq("AC"), Seq("AC"), {2, 2});
  cache.UseTable(pam.data(), order.data(), true, -6);
  EXPECT_NE(cache.Find(Seq("AC"), Seq("AC")), nullptr);
  for (int change = 0; change < 4; ++change) {
    cache.Insert(Seq("AC"), Seq("AC"), {2, 2});
    std::vector<int32_t> residues = order;
    if (change == 0) cache.UseTable(other.data(), order.data(), true, -6);
    if (change == 1) cache.UseTable(pam.data(), order.data(), false, -6);
    if (change == 2) cache.UseTable(pam.data(), order.data(), true, -5);
    if (change == 3) {
      residues[1] = 7;
      cache.UseTable(pam.data(), residues.data(), true, -5);
    }
    EXPECT_EQ(cache.Find(Seq("AC"), Seq("AC")), nullptr) << "change " << change;
  }
}

// Under a small limit: the cache never holds more, keeps what is used again
// and lets go of what is not.
TEST(AlignmentCache, StaysWithinItsLimitKeepingWhatIsUsed) {
  const size_t limit = size_t{2} << 20;
  AlignmentCache cache(limit);
  std::mt19937 rng(5);
  const std::string kept = support::RandomProtein(rng, 300);
  const std::string firstSeen = support::RandomProtein(rng, 300);
  cache.Insert(Seq(kept), Seq(kept), {300, 300});
  cache.Insert(Seq(firstSeen), Seq(kept), {1, 300});
  size_t most = 0;
  for (int k = 0; k < 20000; ++k) {
    const std::string protein = support::RandomProtein(rng, 200);
    cache.Insert(Seq(protein), Seq(kept), {k, 200});
    most = std::max(most, cache.Bytes());
    if (k % 500 == 0) {
      ASSERT_NE(cache.Find(Seq(kept), Seq(kept)), nullptr) << k;
    }
  }
  EXPECT_LE(most, limit);
  EXPECT_GT(most, limit / 4);  // the limit is used, not just respected
  EXPECT_EQ(cache.Find(Seq(kept), Seq(kept))->similarCount, 300);
  EXPECT_EQ(cache.Find(Seq(firstSeen), Seq(kept)), nullptr);
  EXPECT_LT(cache.Entries(), 20000u);
}

TEST(AlignmentCache, PairTooLargeForItsLimitIsNotKept) {
  AlignmentCache cache(size_t{1} << 20);
  const std::string huge(600000, 'W');
  cache.Insert(Seq(huge), Seq(huge), {600000, 600000});
  EXPECT_EQ(cache.Find(Seq(huge), Seq(huge)), nullptr);
  EXPECT_LE(cache.Bytes(), size_t{1} << 20);
  cache.Insert(Seq("W"), Seq("W"), {1, 1});
  EXPECT_NE(cache.Find(Seq("W"), Seq("W")), nullptr);
}

TEST(AlignmentCache, LinesAreTheAlignersWhateverWasKeptBefore) {
  AlignmentCache cache(size_t{64} << 20);
  EXPECT_EQ(cache.Line({87, 120}), "87/120:0.725");
  EXPECT_EQ(cache.Line({0, 0}), "0/0:nan");
  EXPECT_EQ(cache.Line({0, 3}), "0/3:0");
  // Far more counts than slots: every line is right, kept or made again.
  for (int32_t columns = 1; columns < 300; ++columns) {
    for (int32_t similar = 0; similar <= columns; similar += 7) {
      ASSERT_EQ(cache.Line({similar, columns}),
                AlignmentLine(similar, columns, SimilarityRatio({0, similar, columns})));
    }
  }
  EXPECT_EQ(cache.Line({87, 120}), "87/120:0.725");
}

GeneRecord Gene(const std::string& sequence) {
  GeneRecord gene;
  gene.cogId = "COG0001";
  gene.sequence = sequence;
  return gene;
}

// Candidates in mapping order; alignments numbered by their first candidates.
TEST(PlanAlignments, EachDistinctPairOnceAtItsFirstCandidate) {
  const std::vector<GeneRecord> first = {Gene("AC"), Gene("WW"), Gene("AC"), Gene("ac")};
  const std::vector<GeneRecord> second = {Gene("AC"), Gene("WC"), Gene("AC")};
  std::vector<CandidatePair> candidates;
  for (uint32_t f = 0; f < first.size(); ++f) {
    for (uint32_t s = 0; s < second.size(); ++s) candidates.push_back({f, s});
  }
  const AlignmentPlan plan = PlanAlignments(candidates, first, second, nullptr);
  // AC/AC, AC/WC; WW/AC, WW/WC; "ac" against both: six distinct pairs.
  const std::vector<uint32_t> expected = {0, 1, 0, 2, 3, 2, 0, 1, 0, 4, 5, 4};
  EXPECT_EQ(plan.alignmentOf, expected);
  EXPECT_EQ(plan.firstCandidate, (std::vector<uint32_t>{0, 1, 3, 4, 9, 10}));
}

TEST(PlanAlignments, PairsInTheCacheAreNotAligned) {
  AlignmentCache cache(size_t{64} << 20);
  cache.Insert(Seq("WW"), Seq("WC"), {1, 2});
  const std::vector<GeneRecord> first = {Gene("AC"), Gene("WW")};
  const std::vector<GeneRecord> second = {Gene("WC"), Gene("AC")};
  const std::vector<CandidatePair> candidates = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
  const AlignmentPlan plan = PlanAlignments(candidates, first, second, &cache);
  EXPECT_EQ(plan.alignmentOf, (std::vector<uint32_t>{0, 1, AlignmentPlan::kFromCache, 2}));
  EXPECT_EQ(plan.cached[2].similarCount, 1);
  EXPECT_EQ(plan.cached[2].columns, 2);
  EXPECT_EQ(plan.firstCandidate, (std::vector<uint32_t>{0, 1, 3}));
}

}  // namespace
}  // namespace circog
