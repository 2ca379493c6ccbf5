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
  engine.ScanDirectory(".\\genes\\", ".tab", "", ScanMode::GeneTables);
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
  engine.ScanDirectory(".\\genes\\", ".tab", "_a", ScanMode::GeneTables);
  EXPECT_EQ(*engine.fileList, (FileList{".\\genes\\G1_a.tab"}));
  engine.ScanDirectory(".\\genes\\", "", "", ScanMode::AngleFiles);
  EXPECT_EQ(*engine.fileList, (FileList{".\\genes\\noext"}));
  engine.ScanDirectory(".\\genes\\", ".TAB", "", ScanMode::AngleFiles);
  EXPECT_TRUE(engine.fileList->empty());
}

}  // namespace
