#include "engine/PairList.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/MappingEngine.h"
#include "tests/support/TestSupport.h"

namespace {

using Kind = circog::PairListLine::Kind;

struct LineCase {
  const char* line;
  Kind kind;
  const char* first;
  const char* second;
};

class PairListLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(PairListLineTest, TwoNamesAroundOneTabNothingTrimmed) {
  const circog::PairListLine parsed = circog::ParsePairListLine(GetParam().line);
  EXPECT_EQ(parsed.kind, GetParam().kind);
  if (parsed.kind != Kind::Pair) return;
  EXPECT_EQ(parsed.first, GetParam().first);
  EXPECT_EQ(parsed.second, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PairListLineTest,
    testing::Values(LineCase{"Ecoli_K12\tStyphi_CT18", Kind::Pair, "Ecoli_K12", "Styphi_CT18"},
                    LineCase{" A\tB ", Kind::Pair, " A", "B "}, LineCase{"x.y\t#2", Kind::Pair, "x.y", "#2"},
                    LineCase{"", Kind::Skipped, "", ""}, LineCase{"#A\tB", Kind::Skipped, "", ""},
                    LineCase{"A B", Kind::Malformed, "", ""}, LineCase{"A\tB\tC", Kind::Malformed, "", ""},
                    LineCase{"A\tB\t", Kind::Malformed, "", ""}, LineCase{"\tB", Kind::Malformed, "", ""},
                    LineCase{"A\t", Kind::Malformed, "", ""}, LineCase{"\t", Kind::Malformed, "", ""},
                    LineCase{" ", Kind::Malformed, "", ""}, LineCase{"A\tA", Kind::SameGenome, "", ""}));

using Rounds = std::vector<std::pair<int, std::vector<int>>>;

Rounds Flat(const std::vector<circog::PairRound>& rounds) {
  Rounds flat;
  for (const circog::PairRound& round : rounds) flat.emplace_back(round.first, round.partners);
  return flat;
}

TEST(PairRoundsTest, EveryPairKeepsTheLastGenomeWithoutPartner) {
  EXPECT_EQ(Flat(circog::AllPairRounds(3)), (Rounds{{0, {1, 2}}, {1, {2}}, {2, {}}}));
  EXPECT_EQ(Flat(circog::AllPairRounds(1)), (Rounds{{0, {}}}));
  EXPECT_TRUE(circog::AllPairRounds(0).empty());
}

TEST(PairRoundsTest, ChosenPairsInListOrderOnceEachWithoutEmptyRounds) {
  EXPECT_EQ(Flat(circog::ChosenPairRounds({{2, 3}, {0, 4}, {2, 3}, {0, 1}, {3, 4}})),
            (Rounds{{0, {1, 4}}, {2, {3}}, {3, {4}}}));
  EXPECT_TRUE(circog::ChosenPairRounds({}).empty());
}

TEST(GenomeNamesTest, NameIsTheFileNameWithoutItsLastExtension) {
  const circog::GenomeNames names({".\\ang\\B.v2.txt", ".\\ang\\A.TXT", "ang/A.txt", "C"});
  EXPECT_EQ(names.Find("B.v2"), (std::vector<int>{0}));
  EXPECT_EQ(names.Find("A"), (std::vector<int>{1, 2}));
  EXPECT_EQ(names.Find("C"), (std::vector<int>{3}));
  for (const char* none : {"B", "a", "A.txt", "", "ang"}) EXPECT_TRUE(names.Find(none).empty()) << none;
}

class ReadPairListTest : public testing::Test {
 protected:
  ReadPairListTest() : engine_(console_, errors_) {
    *engine_.fileList = {".\\ang\\A.TXT", ".\\ang\\A.txt", ".\\ang\\B.txt", ".\\ang\\C.txt"};
  }

  circog::support::TempDir dir_;
  std::ostringstream console_;
  std::ostringstream errors_;
  CMappingEngine engine_;
};

TEST_F(ReadPairListTest, NameSharedByTwoFilesPairsBoth) {
  // A.TXT and A.txt both write results named A&..., as in a run over every pair.
  ASSERT_TRUE(engine_.ReadPairList(dir_.Write("pairs.txt", "C\tA\nB\tC\n")));
  EXPECT_EQ(engine_.chosenPairs, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}}));
  EXPECT_EQ(console_.str(), "");
  EXPECT_EQ(errors_.str(), "");
}

TEST_F(ReadPairListTest, FirstFaultingLineCountsEveryLine) {
  const std::string path = dir_.Write("pairs.txt", "# list\n\nA\tB\r\nB\tD\nA B\n");
  EXPECT_FALSE(engine_.ReadPairList(path));
  EXPECT_EQ(engine_.pairListFault.kind, circog::PairListFault::Kind::UnknownGenome);
  EXPECT_EQ(engine_.pairListFault.line, 4);
  EXPECT_EQ(engine_.pairListFault.name, "D");
  EXPECT_TRUE(engine_.unreadableInput.empty());
}

TEST_F(ReadPairListTest, MissingListIsNoFaultOfItsLines) {
  EXPECT_FALSE(engine_.ReadPairList((dir_.path() / "none.txt").string()));
  EXPECT_FALSE(engine_.ReadPairList(dir_.path().string()));  // a directory is no list
  EXPECT_EQ(engine_.pairListFault.kind, circog::PairListFault::Kind::None);
  EXPECT_TRUE(engine_.unreadableInput.empty());
}

TEST_F(ReadPairListTest, ListOfNoPairIsReadWithAWarning) {
  const std::string path = dir_.Write("pairs.txt", "# nothing yet\n");
  EXPECT_TRUE(engine_.ReadPairList(path));
  EXPECT_TRUE(engine_.chosenPairs.empty());
  EXPECT_EQ(errors_.str(), "circog: warning: " + path + " names no pair; none is compared\n");
}

}  // namespace
