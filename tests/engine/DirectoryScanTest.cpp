#include "engine/DirectoryScan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/MappingEngine.h"

namespace {

namespace fs = std::filesystem;

class DirectoryScanTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("circog-scan-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "genes");
    for (const char* name : {"G2.tab", "G1.tab", "G1.TAB", "G1.tabx", "other.tab", ".G3.tab",
                             "G1_a.tab", "noext"}) {
      std::ofstream(root_ / "genes" / name) << "x\n";
    }
    fs::create_directories(root_ / "genes" / "dir.tab");
    previous_ = fs::current_path();
    fs::current_path(root_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(root_);
  }

  fs::path root_;
  fs::path previous_;
};

TEST_F(DirectoryScanTest, WildcardMatchesPrefixAndFormatWithoutCaseInByteOrder) {
  EXPECT_EQ(circog::WildcardEntries(".\\genes\\", ".tab"),
            (std::vector<std::string>{".G3.tab", "G1.TAB", "G1.tab", "G1_a.tab", "G2.tab",
                                      "dir.tab", "other.tab"}));
  EXPECT_EQ(circog::WildcardEntries("./genes/G1", ".TAB"),
            (std::vector<std::string>{"G1.TAB", "G1.tab", "G1_a.tab"}));
  EXPECT_EQ(circog::WildcardEntries("genes", ""), (std::vector<std::string>{"genes"}));
  EXPECT_TRUE(circog::WildcardEntries(".\\missing\\", ".tab").empty());
}

TEST_F(DirectoryScanTest, ModeOneListsOnlyGenomeNamedTables) {
  std::ostringstream console;
  CMappingEngine engine(console);
  engine.genomeSizes = {{"G1", 100}, {"G2", 200}, {"G1", 300}};
  engine.ScanDirectory(".\\genes\\", ".tab", "", 1);
  EXPECT_EQ(*engine.fileList, (FileList{".\\genes\\G1.tab", ".\\genes\\G2.tab"}));
  EXPECT_EQ(console.str(),
            ".\\genes\\test\n*.tab\n.\\genes\\G1.TAB\n.\\genes\\G1.tab\n.\\genes\\G1_a.tab\n"
            ".\\genes\\G2.tab\n"
            ".\\genes\\dir.tab\n.\\genes\\other.tab\n@ Number of list:2\n\n");
}

TEST_F(DirectoryScanTest, ModeOneWithSubFormatAndModeTwo) {
  std::ostringstream console;
  CMappingEngine engine(console);
  engine.genomeSizes = {{"G1", 100}};
  engine.ScanDirectory(".\\genes\\", ".tab", "_a", 1);
  EXPECT_EQ(*engine.fileList, (FileList{".\\genes\\G1_a.tab"}));
  engine.ScanDirectory(".\\genes\\", "", "", 2);
  EXPECT_EQ(*engine.fileList, (FileList{".\\genes\\noext"}));
  engine.ScanDirectory(".\\genes\\", ".TAB", "", 2);
  EXPECT_TRUE(engine.fileList->empty());
}

TEST(EngineTest, StartsEmptyAndCountsWithALine) {
  std::ostringstream console;
  CMappingEngine engine(console);
  EXPECT_EQ(engine.FileCount(), 0);
  EXPECT_EQ(engine.FileCount(), 0);
  EXPECT_EQ(console.str(), "size is 0\nsize is 0\n");
  for (int slot = 0; slot <= 10; ++slot) EXPECT_EQ(engine.GetConfigValue(slot), "");
  EXPECT_EQ(engine.KeyIndex("GenomeSizePath"), 1);
  EXPECT_EQ(engine.KeyIndex("TranformDataDir"), 2);
  EXPECT_EQ(engine.KeyIndex("Similarity"), 10);
  EXPECT_EQ(engine.KeyIndex("similarity"), 0);
  EXPECT_EQ(engine.KeyIndex("Similarity "), 0);
  EXPECT_EQ(engine.KeyIndex(""), 0);
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
