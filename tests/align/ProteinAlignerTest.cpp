#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "align/NwKernels.h"
#include "align/ProteinAligner.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kPamFile = circog::support::SourcePath("data/PAM-250.txt");

// The reference kernel and every other one this CPU supports, each through
// the traceback of its own row layout.
struct KernelChoice {
  std::string label;  // letters and digits, as test names take them
  const circog::NwKernel* kernel;
};

std::vector<KernelChoice> Kernels() {
  std::vector<KernelChoice> choices{{"Reference", &circog::NwKernels()[0]}};
  for (const circog::NwKernel& kernel : circog::NwKernels().subspan(1)) {
    if (!kernel.supported()) continue;
    std::string label;
    for (const char c : std::string_view(kernel.name)) {
      if (std::isalnum(static_cast<unsigned char>(c))) label += c;
    }
    choices.push_back({label, &kernel});
  }
  return choices;
}

struct Alignment {
  std::string first;
  std::string second;
  std::string markers;
  int32_t score = 0;
};

Alignment AlignPair(CProteinAligner& aligner, const std::string& a, const std::string& b) {
  Alignment out;
  out.score = aligner.Align(a, b, out.first, out.second, out.markers);
  return out;
}

// --- Hand-worked alignments with the published table -----------------------

struct HandCase {
  const char* name;
  const char* first;
  const char* second;
  const char* alignedFirst;
  const char* alignedSecond;
  const char* markers;
  int32_t score;
  int32_t similar;
  const char* line;
};

// Scores from the table: A/A 2, C/C 12, W/W 17, A/C -2, W/C -8.
const HandCase kHandCases[] = {
    {"SameTwoResidues", "AC", "AC", "AC", "AC", "||", 2 + 12, 2, "2/2:1"},
    {"ThreeAgainstEmpty", "ACD", "", "ACD", "---", "---", -18, 0, "0/3:0"},
    {"EmptyAgainstThree", "", "ACD", "---", "ACD", "---", -18, 0, "0/3:0"},
    {"BothEmpty", "", "", "", "", "", 0, 0, "0/0:nan"},
    // S[2][1]: diagonal -6 + 2 and up 2 - 6 tie at -4.
    {"DiagonalBeatsUpOnTie", "AA", "A", "AA", "-A", "-|", -4, 1, "1/2:0.5"},
    {"DiagonalBeatsLeftOnTie", "A", "AA", "-A", "AA", "-|", -4, 1, "1/2:0.5"},
    // S[2][3]: diagonal -8 - 2 = -10 loses; up 0 - 6 and left 0 - 6 tie.
    {"UpBeatsLeftOnTie", "CA", "AAC", "--CA", "AAC-", "--|-", -6, 1, "1/4:0.25"},
    // The same pair the other way round: up now means the last C of AAC.
    {"UpBeatsLeftOnTieSwapped", "AAC", "CA", "AAC", "CA-", "~|-", -6, 1, "1/3:0.333333"},
    {"NegativeScoreIsNotSimilar", "W", "C", "W", "C", "~", -8, 0, "0/1:0"},
    {"TableReadSymmetric", "C", "W", "C", "W", "~", -8, 0, "0/1:0"},
    {"LowerCaseScoresButDiffers", "a", "A", "a", "A", ":", 2, 1, "1/1:1"},
    {"LowerCaseIdentical", "a", "a", "a", "a", "|", 2, 1, "1/1:1"},
    {"LowerCaseNegative", "w", "C", "w", "C", "~", -8, 0, "0/1:0"},
    {"NoIndexLettersScoreZero", "WXW", "WBW", "WXW", "WBW", "|:|", 34, 3, "3/3:1"},
    {"NoIndexIdenticalBytes", "XZ*", "XZ*", "XZ*", "XZ*", "|||", 0, 3, "3/3:1"},
    {"NoIndexCaseDiffers", "x", "X", "x", "X", ":", 0, 1, "1/1:1"},
    {"AsteriskAndDigitsScoreZero", "*1", "A2", "*1", "A2", "::", 0, 2, "2/2:1"},
    // -8 beats two gaps (-12), so the mismatch stays a column.
    {"MismatchInsideMatches", "WCW", "WWW", "WCW", "WWW", "|~|", 17 - 8 + 17, 2, "2/3:0.666667"},
    // One gap (-6) is cheaper than the mismatches it avoids.
    {"GapInsideMatches", "WCW", "WW", "WCW", "W-W", "|-|", 17 - 6 + 17, 2, "2/3:0.666667"},
};

class HandAlignment : public testing::TestWithParam<std::tuple<HandCase, KernelChoice>> {};

TEST_P(HandAlignment, GivesWorkedStringsScoreAndLine) {
  const auto& [c, choice] = GetParam();
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  aligner.UseKernel(*choice.kernel);
  const Alignment out = AlignPair(aligner, c.first, c.second);
  EXPECT_EQ(out.first, c.alignedFirst);
  EXPECT_EQ(out.second, c.alignedSecond);
  EXPECT_EQ(out.markers, c.markers);
  EXPECT_EQ(out.score, c.score);
  EXPECT_EQ(aligner.m_similarCount, c.similar);
  aligner.m_similarCount = -1;
  const circog::AlignmentCounts counts = aligner.AlignCounts(c.first, c.second);
  EXPECT_EQ(counts.score, c.score);
  EXPECT_EQ(counts.similarCount, c.similar);
  EXPECT_EQ(aligner.m_similarCount, c.similar);
  EXPECT_EQ(counts.columns, static_cast<int32_t>(std::string_view(c.markers).size()));
  EXPECT_EQ(AlignmentLine(counts.similarCount, counts.columns, SimilarityRatio(counts)), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Pam250, HandAlignment, testing::Combine(testing::ValuesIn(kHandCases), testing::ValuesIn(Kernels())),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).label;
    });

// --- Without a table ---------------------------------------------------------

class ZeroTable : public testing::TestWithParam<KernelChoice> {};

TEST_P(ZeroTable, EqualLengthsAlignColumnByColumn) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(circog::support::SourcePath("no-such-dir/PAM-250.txt"));
  aligner.UseKernel(*GetParam().kernel);
  const Alignment out = AlignPair(aligner, "WWCAKLm", "CAWwWLq");
  EXPECT_EQ(out.first, "WWCAKLm");
  EXPECT_EQ(out.second, "CAWwWLq");
  EXPECT_EQ(out.markers, ":::::|:");
  EXPECT_EQ(out.score, 0);
  EXPECT_EQ(aligner.m_similarCount, 7);
}

TEST_P(ZeroTable, NeverLoadedScoresZeroToo) {
  CProteinAligner aligner;
  aligner.UseKernel(*GetParam().kernel);
  const Alignment out = AlignPair(aligner, "WC", "CW");
  EXPECT_EQ(out.markers, "::");
  EXPECT_EQ(out.score, 0);
}

INSTANTIATE_TEST_SUITE_P(Kernels, ZeroTable, testing::ValuesIn(Kernels()),
                         [](const auto& info) { return info.param.label; });

// --- Calls, copies and table edits ---------------------------------------------

TEST(ProteinAligner, EachCallReplacesOutputsAndCount) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  std::string a = "old", b = "old", m = "old";
  aligner.Align("WWWW", "WWWW", a, b, m);
  EXPECT_EQ(aligner.m_similarCount, 4);
  EXPECT_EQ(aligner.Align("W", "C", a, b, m), -8);
  EXPECT_EQ(a, "W");
  EXPECT_EQ(b, "C");
  EXPECT_EQ(m, "~");
  EXPECT_EQ(aligner.m_similarCount, 0);
}

TEST(ProteinAligner, CopyKeepsTableButNotLaterLoads) {
  CProteinAligner loaded;
  loaded.LoadScoreTable(kPamFile);
  CProteinAligner unloaded;
  CProteinAligner copyOfLoaded(loaded);
  CProteinAligner copyOfUnloaded(unloaded);
  unloaded.LoadScoreTable(kPamFile);
  EXPECT_TRUE(copyOfLoaded.m_tableLoaded);
  EXPECT_EQ(copyOfLoaded.AlignCounts("W", "C").score, -8);
  EXPECT_FALSE(copyOfUnloaded.m_tableLoaded);
  EXPECT_EQ(copyOfUnloaded.AlignCounts("W", "C").score, 0);
}

TEST(ProteinAligner, DirectEditsOfTablesAreUsed) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  std::string a, b, m;
  EXPECT_EQ(aligner.Align("W", "C", a, b, m), -8);
  aligner.m_scoreTable[18 * 20 + 1] = 3;  // row W, column C
  EXPECT_EQ(aligner.Align("C", "W", a, b, m), 3);
  EXPECT_EQ(m, ":");
  // B has no row until it is given D's; D/D scores 4.
  EXPECT_EQ(aligner.AlignCounts("B", "D").score, 0);
  aligner.m_residueIndex['B' - 'A'] = aligner.ResidueIndex('D');
  EXPECT_EQ(aligner.ResidueIndex('b'), 2);
  EXPECT_EQ(aligner.AlignCounts("b", "D").score, 4);
  aligner.m_residueIndex['W' - 'A'] = -1;
  EXPECT_EQ(aligner.AlignCounts("W", "W").score, 0);
  // A gap score edited between calls: W/W 17 and one gap.
  aligner.m_residueIndex['W' - 'A'] = 18;
  EXPECT_EQ(aligner.AlignCounts("WAW", "WW").score, 17 - 6 + 17);
  aligner.m_gapScore = -5;
  EXPECT_EQ(aligner.AlignCounts("WAW", "WW").score, 17 - 5 + 17);
  const std::string longer(300, 'W');
  EXPECT_EQ(aligner.AlignCounts(longer + "A", longer).score, 300 * 17 - 5);
}

// Identity is on bytes: with a negative self-score an identical pair still
// counts as similar, and the same residue in the other case does not.
class NegativeSelfScore : public testing::TestWithParam<KernelChoice> {};

TEST_P(NegativeSelfScore, IdenticalBytesStaySimilar) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  aligner.UseKernel(*GetParam().kernel);
  aligner.m_scoreTable[0] = -1;  // A/A
  std::string a, b, m;
  EXPECT_EQ(aligner.Align("WAAWaW", "WAaWAW", a, b, m), 17 - 1 - 1 + 17 - 1 + 17);
  EXPECT_EQ(m, "||~|~|");
  EXPECT_EQ(aligner.m_similarCount, 4);
  const circog::AlignmentCounts counts = aligner.AlignCounts("WAAWaW", "WAaWAW");
  EXPECT_EQ(counts.similarCount, 4);
  EXPECT_EQ(counts.columns, 6);
}

INSTANTIATE_TEST_SUITE_P(Kernels, NegativeSelfScore, testing::ValuesIn(Kernels()),
                         [](const auto& info) { return info.param.label; });

// --- The console line ----------------------------------------------------------

struct LineCase {
  int32_t similar;
  int32_t columns;
  const char* text;
};

class AlignmentLineText : public testing::TestWithParam<LineCase> {};

TEST_P(AlignmentLineText, FormatsRatioAsFloat) {
  const circog::AlignmentCounts counts{0, GetParam().similar, GetParam().columns};
  EXPECT_EQ(AlignmentLine(counts.similarCount, counts.columns, SimilarityRatio(counts)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Cases, AlignmentLineText,
                         testing::Values(LineCase{87, 120, "87/120:0.725"}, LineCase{2, 2, "2/2:1"},
                                         LineCase{0, 3, "0/3:0"}, LineCase{0, 0, "0/0:nan"},
                                         LineCase{1, 3, "1/3:0.333333"},
                                         // In double this would print 0.931034.
                                         LineCase{27, 29, "27/29:0.931035"},
                                         LineCase{1234, 1000000, "1234/1000000:0.001234"}));

// The line shows the double ratio narrowed to a float; that must be the
// quotient of the two counts taken as floats, as the line has always shown.
TEST(AlignmentLine, NarrowedRatioIsTheFloatQuotient) {
  for (int32_t columns = 1; columns <= 3000; ++columns) {
    for (int32_t similar = 0; similar <= columns; ++similar) {
      const float narrowed = static_cast<float>(SimilarityRatio({0, similar, columns}));
      ASSERT_EQ(narrowed, static_cast<float>(similar) / static_cast<float>(columns)) << similar << "/" << columns;
    }
  }
}

// --- Invariants on random pairs --------------------------------------------------

// The published table as this test's own helpers read it, on bytes: letters
// either case, no index scoring 0.
int TableScore(char x, char y) {
  return circog::support::Pam250Classes()[circog::support::ClassOf(x) * 21 + circog::support::ClassOf(y)];
}

// Needleman-Wunsch with the whole score matrix; the score only.
int TextbookScore(const std::string& a, const std::string& b) {
  const int gap = -6;
  std::vector<std::vector<int>> s(a.size() + 1, std::vector<int>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) s[i][0] = static_cast<int>(i) * gap;
  for (size_t j = 0; j <= b.size(); ++j) s[0][j] = static_cast<int>(j) * gap;
  for (size_t i = 1; i <= a.size(); ++i) {
    for (size_t j = 1; j <= b.size(); ++j) {
      s[i][j] = std::max({s[i - 1][j - 1] + TableScore(a[i - 1], b[j - 1]), s[i - 1][j] + gap,
                          s[i][j - 1] + gap});
    }
  }
  return s[a.size()][b.size()];
}

std::string Ungapped(const std::string& aligned) {
  std::string out;
  std::copy_if(aligned.begin(), aligned.end(), std::back_inserter(out), [](char c) { return c != '-'; });
  return out;
}

// Random residues, mostly the twenty letters, with lower case, X and '*'.
constexpr std::string_view kMixedResidues = "ACDEFGHIKLMNPQRSTVWYACDEFGHIKLMNPQRSTVWYacdwyX*";

std::string RandomProtein(std::mt19937& rng, size_t length) {
  return circog::support::RandomProtein(rng, length, kMixedResidues);
}

std::string Mutated(std::mt19937& rng, const std::string& source) {
  return circog::support::Mutate(rng, source, 0.25);
}

class RandomPairs : public testing::TestWithParam<KernelChoice> {};

TEST_P(RandomPairs, AlignmentsKeepInvariantsAndOptimalScore) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  aligner.UseKernel(*GetParam().kernel);
  std::mt19937 rng(20240611);
  std::uniform_int_distribution<size_t> length(0, 300);
  for (int pair = 0; pair < 300; ++pair) {
    const std::string first = RandomProtein(rng, length(rng));
    const std::string second = pair % 2 == 0 ? Mutated(rng, first) : RandomProtein(rng, length(rng));
    SCOPED_TRACE("pair " + std::to_string(pair) + ": " + first + " / " + second);
    const Alignment out = AlignPair(aligner, first, second);

    ASSERT_EQ(out.first.size(), out.markers.size());
    ASSERT_EQ(out.second.size(), out.markers.size());
    EXPECT_EQ(Ungapped(out.first), first);
    EXPECT_EQ(Ungapped(out.second), second);
    int rescored = 0;
    int similar = 0;
    for (size_t k = 0; k < out.markers.size(); ++k) {
      const char x = out.first[k];
      const char y = out.second[k];
      ASSERT_FALSE(x == '-' && y == '-') << "column " << k;
      char expected = '-';
      if (x == '-' || y == '-') {
        rescored += -6;
      } else {
        rescored += TableScore(x, y);
        expected = x == y ? '|' : TableScore(x, y) < 0 ? '~' : ':';
      }
      EXPECT_EQ(out.markers[k], expected) << "column " << k;
      similar += expected == '|' || expected == ':';
    }
    EXPECT_EQ(out.score, rescored);
    EXPECT_EQ(aligner.m_similarCount, similar);
    EXPECT_EQ(out.score, TextbookScore(first, second));
    // The count-only walk agrees with the strings.
    const circog::AlignmentCounts counts = aligner.AlignCounts(first, second);
    EXPECT_EQ(counts.score, out.score);
    EXPECT_EQ(counts.similarCount, similar);
    EXPECT_EQ(counts.columns, static_cast<int32_t>(out.markers.size()));
  }
}

TEST_P(RandomPairs, TwoAtOnceCountAsOneAtATime) {
  CProteinAligner aligner;
  aligner.LoadScoreTable(kPamFile);
  aligner.UseKernel(*GetParam().kernel);
  CProteinAligner alone(aligner);
  std::mt19937 rng(22);
  std::uniform_int_distribution<size_t> length(0, 400);
  for (int pair = 0; pair < 100; ++pair) {
    std::string sequences[4];
    for (std::string& sequence : sequences) sequence = RandomProtein(rng, length(rng));
    if (pair % 2 == 0) sequences[3] = Mutated(rng, sequences[2]);
    const auto two = aligner.AlignCountsTwo(sequences[0], sequences[1], sequences[2], sequences[3]);
    EXPECT_EQ(aligner.m_similarCount, two[1].similarCount);
    for (int k = 0; k < 2; ++k) {
      const circog::AlignmentCounts one = alone.AlignCounts(sequences[2 * k], sequences[2 * k + 1]);
      EXPECT_EQ(two[k].score, one.score) << "pair " << pair << ", alignment " << k;
      EXPECT_EQ(two[k].similarCount, one.similarCount) << "pair " << pair << ", alignment " << k;
      EXPECT_EQ(two[k].columns, one.columns) << "pair " << pair << ", alignment " << k;
    }
  }
}

// Whatever kernel runs by default, the output is the reference's.
TEST(RandomPairs, BestKernelMatchesReference) {
  CProteinAligner reference;
  reference.LoadScoreTable(kPamFile);
  reference.UseKernel(circog::NwKernels()[0]);
  CProteinAligner best(reference);
  best.UseKernel(circog::BestNwKernel());
  std::mt19937 rng(7);
  std::uniform_int_distribution<size_t> length(0, 200);
  for (int pair = 0; pair < 100; ++pair) {
    const std::string first = RandomProtein(rng, length(rng));
    const std::string second = pair % 2 == 0 ? Mutated(rng, first) : RandomProtein(rng, length(rng));
    const Alignment want = AlignPair(reference, first, second);
    const Alignment got = AlignPair(best, first, second);
    ASSERT_EQ(got.score, want.score) << first << " / " << second;
    ASSERT_EQ(got.first, want.first);
    ASSERT_EQ(got.second, want.second);
    ASSERT_EQ(got.markers, want.markers);
  }
}

INSTANTIATE_TEST_SUITE_P(Kernels, RandomPairs, testing::ValuesIn(Kernels()),
                         [](const auto& info) { return info.param.label; });

}  // namespace
