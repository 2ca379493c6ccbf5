#include "prepare/PrepareText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "engine/MappingEngine.h"

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

TEST(EngineTest, SplitsGeneTableLinesIntoElevenColumns) {
  std::ostringstream console;
  CMappingEngine engine(console);
  EXPECT_FALSE(engine.SplitGeneTableLine(""));
  ASSERT_TRUE(engine.SplitGeneTableLine("a\t\tc\td\te\tf\tg\th\ti\tj\tk\tl\tm"));
  EXPECT_EQ(engine.currentRow.fields[0], "a");
  EXPECT_EQ(engine.currentRow.fields[1], "");
  EXPECT_EQ(engine.currentRow.fields[10], "k");
  ASSERT_TRUE(engine.SplitGeneTableLine("x\ty\t"));
  EXPECT_EQ(engine.currentRow.fields[0], "x");
  EXPECT_EQ(engine.currentRow.fields[1], "y");
  for (int k = 2; k < 11; ++k) EXPECT_EQ(engine.currentRow.fields[k], "") << k;
}

}  // namespace
