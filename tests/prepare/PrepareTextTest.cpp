#include "prepare/PrepareText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct SizeCase {
  const char* text;
  int32_t size;
};

class GenomeSizeTextTest : public testing::TestWithParam<SizeCase> {};

TEST_P(GenomeSizeTextTest, ConvertsLikeTheTable) {
  EXPECT_EQ(circog::ParseGenomeSize(GetParam().text), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GenomeSizeTextTest,
    testing::Values(SizeCase{"4639675", 4639675}, SizeCase{"1000\tmore", 1000},
                    SizeCase{"12abc", 12}, SizeCase{"-25", -25}, SizeCase{"", 0},
                    SizeCase{"abc", 0}, SizeCase{"-", 0}, SizeCase{" 100", 0},
                    SizeCase{"+100", 0}, SizeCase{"2147483647", 2147483647},
                    SizeCase{"2147483648", 2147483647},
                    SizeCase{"99999999999999999999999", 2147483647},
                    SizeCase{"-2147483648", INT32_MIN}, SizeCase{"-99999999999", INT32_MIN}));

TEST(GenomeKeyTest, CutsTheFileNameAtItsFirstDot) {
  EXPECT_EQ(circog::GenomeKey(".\\genes\\G1.tab"), "G1");
  EXPECT_EQ(circog::GenomeKey("dir\\a.b.x"), "a");
  EXPECT_EQ(circog::GenomeKey(".\\genes\\G1_a.tab"), "G1_a");
  EXPECT_EQ(circog::GenomeKey("dir/..hidden.b.tab"), "hidden");
  EXPECT_EQ(circog::GenomeKey("dir\\.tab"), "");
  EXPECT_EQ(circog::GenomeKey("dir\\...tab"), "");
}

TEST(GenomeSizeLineTest, NamesUpToTheFirstTab) {
  EXPECT_FALSE(circog::ParseGenomeSizeLine("G1 100").has_value());
  const auto entry = circog::ParseGenomeSizeLine("G1\t100\t200");
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(entry->genomeName, "G1");
  EXPECT_EQ(entry->genomeSize, 100);
  EXPECT_EQ(circog::ParseGenomeSizeLine("\t7")->genomeName, "");
}

TEST(GeneTableRowTest, SplitsIntoElevenColumnsAndClearsTheRest) {
  GeneTableRow row;
  row.fields.fill("old");
  EXPECT_FALSE(circog::SplitGeneTableRow("", row));
  EXPECT_EQ(row.fields[0], "old");
  ASSERT_TRUE(circog::SplitGeneTableRow("a\t\tc\td\te\tf\tg\th\ti\tj\tk\tl\tm", row));
  EXPECT_EQ(row.fields[0], "a");
  EXPECT_EQ(row.fields[1], "");
  EXPECT_EQ(row.fields[10], "k");
  ASSERT_TRUE(circog::SplitGeneTableRow("x\ty\t", row));
  EXPECT_EQ(row.fields[1], "y");
  for (int k = 2; k < 11; ++k) EXPECT_EQ(row.fields[k], "") << k;
}

struct AngleCase {
  const char* line;
  int32_t size;
  const char* angleLine;  // empty: the row is not written
};

class AngleLineTest : public testing::TestWithParam<AngleCase> {};

TEST_P(AngleLineTest, WritesQualifyingRows) {
  GeneTableRow row;
  ASSERT_TRUE(circog::SplitGeneTableRow(GetParam().line, row));
  EXPECT_EQ(circog::AngleLine(row, GetParam().size).value_or(""), GetParam().angleLine);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AngleLineTest,
    testing::Values(AngleCase{"b\tg\tP1\t250\t+\t1\tCOG1\t\t\t\t", 1000, "COG1\t90\tP1"},
                    AngleCase{"b\tg\tP1\t1000\t+\t1\tCOG1", 1000, "COG1\t360\tP1"},
                    AngleCase{"b\tg\tP1\tx\t+\t1\tCOG1", 1000, "COG1\t0\tP1"},
                    AngleCase{"b\tg\tP1\t1\t+\t1\tCOG1", 3, "COG1\t120\tP1"},
                    AngleCase{"b\tg\tP1\t1\t+\t1\tCOG1", 0, "COG1\tinf\tP1"},
                    AngleCase{"b\tg\tP1\t1\t+\t1\t-", 1000, ""},
                    AngleCase{"b\tg\tP1\t1\t+\t1\tCO", 1000, ""},
                    AngleCase{"b\tg\tP1\t1\t+\t1\tCOG\t\t\t\tPUTAL", 1000, ""},
                    AngleCase{"b\tg\tP1\t1\t+\t1\tCOG\t\t\t\tputal", 1000, "COG\t0.36\tP1"}));


}  // namespace
