#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "align/ProteinAligner.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kPamFile = circog::support::SourcePath("data/PAM-250.txt");

int32_t Entry(const CProteinAligner& aligner, int row, int column) {
  return aligner.m_scoreTable[row * 20 + column];
}

// A table file of the given text in a fresh temporary directory.
class TableFile {
 public:
  explicit TableFile(const std::string& text) : path_(dir_.Write("PAM-250.txt", text)) {}
  const std::string& path() const { return path_; }

 private:
  circog::support::TempDir dir_;
  std::string path_;
};

TEST(ScoreTable, PublishedTableFillsLowerTriangle) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  EXPECT_TRUE(aligner.m_tableLoaded);
  EXPECT_EQ(Entry(aligner, 0, 0), 2);     // A/A
  EXPECT_EQ(Entry(aligner, 1, 1), 12);    // C/C
  EXPECT_EQ(Entry(aligner, 18, 18), 17);  // W/W
  EXPECT_EQ(Entry(aligner, 18, 1), -8);   // W/C
  EXPECT_EQ(Entry(aligner, 19, 4), 7);    // Y/F
  EXPECT_EQ(Entry(aligner, 19, 19), 10);  // Y/Y, the last value
  // The upper triangle is never filled.
  EXPECT_EQ(Entry(aligner, 1, 18), 0);
  EXPECT_EQ(Entry(aligner, 0, 19), 0);
}

TEST(ScoreTable, MissingFileLeavesAllZeroButLoaded) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  aligner.LoadScoreTable(circog::support::SourcePath("no-such-dir/PAM-250.txt"));
  EXPECT_TRUE(aligner.m_tableLoaded);
  for (int32_t value : aligner.m_scoreTable) EXPECT_EQ(value, 0);
}

// Text of a table file and the values expected in file order (A/A, C/A,
// C/C, D/A, ...); every later entry must be 0.
struct TableCase {
  const char* name;
  std::string text;
  std::vector<int32_t> expected;
};

std::string CountingTable(int count) {
  std::string text;
  for (int k = 1; k <= count; ++k) text += std::to_string(k) + (k % 7 == 0 ? "\n" : " ");
  return text;
}

std::vector<int32_t> Counting(int count) {
  std::vector<int32_t> values;
  for (int k = 1; k <= count; ++k) values.push_back(k);
  return values;
}

const TableCase kTableCases[] = {
    {"EndsEarly", "1 2 3\n4 5", {1, 2, 3, 4, 5}},
    {"Empty", "", {}},
    {"SignsAndAnyWhiteSpace", " +7\t-3\r\n\n  -0 \t\t 12\r\n", {7, -3, 0, 12}},
    {"WordStopsReading", "1 2 3 x 5 6", {1, 2, 3}},
    {"LetterAfterDigitsStopsAtNextEntry", "1 2 3x 4", {1, 2, 3}},
    {"DecimalPointStopsAfterWholePart", "1 2 4.5 6", {1, 2, 4}},
    {"LoneSignStopsReading", "1 - 2", {1}},
    {"TooLargeStopsReading", "1 2 99999999999 4", {1, 2}},
    {"AllEntriesLinesCarryNoMeaning", CountingTable(210), Counting(210)},
    {"ExtraValuesIgnored", CountingTable(230), Counting(210)},
    {"OneShort", CountingTable(209), Counting(209)},
};

class ScoreTableFile : public testing::TestWithParam<TableCase> {};

TEST_P(ScoreTableFile, FillsReadEntriesAndZeroesTheRest) {
  const TableFile file(GetParam().text);
  CProteinAligner aligner;
  aligner.LoadScoreTable(file.path());
  EXPECT_TRUE(aligner.m_tableLoaded);
  const std::vector<int32_t>& expected = GetParam().expected;
  size_t k = 0;
  for (int row = 0; row < 20; ++row) {
    for (int column = 0; column < 20; ++column) {
      if (column > row) {
        EXPECT_EQ(Entry(aligner, row, column), 0) << row << "," << column;
        continue;
      }
      const int32_t want = k < expected.size() ? expected[k] : 0;
      EXPECT_EQ(Entry(aligner, row, column), want) << row << "," << column;
      ++k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ScoreTableFile, testing::ValuesIn(kTableCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A short file: A/A, C/A and C/C read, W/C left 0, so W against C scores 0.
TEST(ScoreTable, ShortFileScoresUnreadPairsZero) {
  const TableFile file("2 -2 12");
  CProteinAligner aligner;
  aligner.LoadScoreTable(file.path());
  std::string a, b, m;
  EXPECT_EQ(aligner.Align("CA", "CA", a, b, m), 14);
  // C/A -2 twice loses to two gaps around C/C: -6 + 12 - 6.
  EXPECT_EQ(aligner.Align("AC", "CA", a, b, m), 0);
  EXPECT_EQ(a + " " + b + " " + m, "AC- -CA -|-");
  EXPECT_EQ(aligner.Align("W", "C", a, b, m), 0);
  EXPECT_EQ(m, ":");
}

}  // namespace
