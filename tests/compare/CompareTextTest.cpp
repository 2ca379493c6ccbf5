#include "compare/CompareText.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct HeaderCase {
  const char* header;
  const char* identifier;
};

class ProteinIdentifierTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(ProteinIdentifierTest, FindsTheIdentifier) {
  EXPECT_EQ(circog::ProteinIdentifier(GetParam().header), GetParam().identifier);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProteinIdentifierTest,
    testing::Values(HeaderCase{">gi|16127995|ref|NP_414542.1| thr operon", "16127995"},
                    HeaderCase{">gi|123", "123"}, HeaderCase{">gi||456|x", "456"},
                    HeaderCase{">|||", ""}, HeaderCase{">gi|", ""},
                    HeaderCase{">sp|P0A7B8 desc|x", "P0A7B8 desc"},
                    HeaderCase{">NP_414542.1 thr operon leader", "NP_414542.1"},
                    HeaderCase{">P1\tdescription", "P1"}, HeaderCase{">P1", "P1"},
                    HeaderCase{">", ""}, HeaderCase{"> P1", ""}));

TEST(ProteinFilePathTest, ReplacesTheLastFourCharacters) {
  EXPECT_EQ(circog::ProteinFilePath(".\\angle1\\G1.txt"), ".\\angle1\\G1.faa");
  EXPECT_EQ(circog::ProteinFilePath("dir\\G1.angles"), "dir\\G1.an.faa");
  EXPECT_EQ(circog::ProteinFilePath("abcd"), ".faa");
  EXPECT_EQ(circog::ProteinFilePath("abc"), ".faa");
  EXPECT_EQ(circog::ProteinFilePath(""), ".faa");
}

struct DistanceCase {
  float first;
  float second;
  double distance;
};

class CircularDistanceTest : public testing::TestWithParam<DistanceCase> {};

TEST_P(CircularDistanceTest, MeasuresTheShorterArc) {
  EXPECT_DOUBLE_EQ(circog::CircularDistance(GetParam().first, GetParam().second),
                   GetParam().distance);
}

INSTANTIATE_TEST_SUITE_P(Cases, CircularDistanceTest,
                         testing::Values(DistanceCase{10, 350, 20}, DistanceCase{350, 10, 20},
                                         DistanceCase{0, 180.5f, 179.5},
                                         DistanceCase{180.5f, 0, 179.5},
                                         DistanceCase{0, 180, 180}, DistanceCase{200, 10, 170},
                                         DistanceCase{-270, 0, 90}, DistanceCase{5, 5, 0},
                                         DistanceCase{12.25f, 2.5f, 9.75}));

TEST(AngleLineTest, TakesTheFirstThreeFields) {
  const GeneRecord full = circog::ParseAngleLine("COG1\t12.5\tP1\textra");
  EXPECT_EQ(full.cogId, "COG1");
  EXPECT_EQ(full.angle, 12.5f);
  EXPECT_EQ(full.proteinId, "P1");
  EXPECT_EQ(full.sequence, "");
  const GeneRecord shortLine = circog::ParseAngleLine("COG2\tx");
  EXPECT_EQ(shortLine.cogId, "COG2");
  EXPECT_EQ(shortLine.angle, 0.0f);
  EXPECT_EQ(shortLine.proteinId, "");
  EXPECT_EQ(circog::ParseAngleLine("COG3").cogId, "COG3");
}

TEST(ClosestPairTest, EarliestOfTheShortestArcsOverTheGroup) {
  const std::vector<MappingEntry> entries = {
      {{10, 10}, {200, 355}, "A"},  // 170 and 15 apart
      {{5}, {100}, "B"},
      {{350}, {5}, "A"},  // 15 apart too, but later
  };
  const circog::ClosestPair best = circog::FindClosestPair(entries, {0, 2});
  EXPECT_EQ(best.first, 10.0f);
  EXPECT_EQ(best.second, 355.0f);
  const circog::ClosestPair single = circog::FindClosestPair(entries, {1});
  EXPECT_EQ(single.second, 100.0f);
}

TEST(CandidatePairsTest, PartnersInListOrderByExactIdentifier) {
  auto genes = [](std::vector<std::string> ids) {
    std::vector<GeneRecord> list;
    for (auto& id : ids) list.push_back({std::move(id), 0, "", ""});
    return list;
  };
  const auto pairs = circog::ListCandidatePairs(genes({"B", "A", "x", "A"}), genes({"A", "b", "B", "A", "A "}));
  std::vector<std::pair<uint32_t, uint32_t>> got;
  for (const auto& pair : pairs) got.emplace_back(pair.first, pair.second);
  EXPECT_EQ(got, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 2}, {1, 0}, {1, 3}, {3, 0}, {3, 3}}));
  EXPECT_TRUE(circog::ListCandidatePairs(genes({"A"}), {}).empty());
}

}  // namespace
