// Every fill kernel the CPU supports against the scalar reference: the score
// and every direction cell must be identical.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "align/NwFill.h"
#include "align/NwKernels.h"
#ifndef CIRCOG_SCALAR_ONLY
#include "align/simd/NwFillSimd.h"
#endif
#include "tests/support/TestSupport.h"

namespace circog {
namespace {

using support::ClassOf;
using support::ToClasses;

// Three vector widths of the widest kernel (32 lanes of int16).
constexpr int32_t kShortLengths = 100;

using Matrix = std::vector<int32_t>;
using Classes = std::vector<uint8_t>;

const Matrix& Pam250() { return support::Pam250Classes(); }

struct Protein {
  std::string description;
  std::string sequence;
};

std::vector<Protein> Proteins(const char* file) {
  std::vector<Protein> proteins;
  for (auto& record : support::ReadFasta(support::SourcePath(file))) {
    proteins.push_back({support::Description(record.header), std::move(record.sequence)});
  }
  return proteins;
}

// Extracts of the real E. coli K-12 and S. Typhi CT18 proteomes: homologs of
// both genomes over the whole length range, each genome's longest protein,
// and K-12 proteins spread over its length range.
const std::vector<Protein>& Ecoli() {
  static const auto proteins = Proteins("tests/data/ecoli_k12_extract.faa");
  return proteins;
}

const std::vector<Protein>& Salmonella() {
  static const auto proteins = Proteins("tests/data/styphi_ct18_extract.faa");
  return proteins;
}

// Every class, the one without a table index included.
Classes RandomClasses(std::mt19937& rng, int32_t length) {
  return ToClasses(support::RandomProtein(rng, static_cast<size_t>(length), "ACDEFGHIKLMNPQRSTVWYX"));
}

Classes Mutate(std::mt19937& rng, const Classes& source, double rate) {
  std::string letters;
  for (uint8_t c : source) letters += c < 20 ? support::kResidues[c] : 'X';
  return ToClasses(support::Mutate(rng, letters, rate));
}

struct Fill {
  int32_t score = 0;
  std::vector<uint8_t> cells;
  DirectionMatrix dirs;
};

Fill RunKernel(const NwKernel& kernel, const NwProblem& problem, NwScratch& scratch) {
  Fill fill;
  fill.dirs.stride = DirectionStride(problem.m);
  // Bytes no kernel writes stay visible as 0xEE.
  fill.cells.assign(static_cast<size_t>(problem.n) * fill.dirs.stride, 0xEE);
  fill.dirs.cells = fill.cells.data();
  fill.score = kernel.fill(problem, fill.dirs, scratch);
  return fill;
}

// Cells are compared through each kernel's own row layout.
::testing::AssertionResult SameFill(const NwProblem& problem, const Fill& expected, const Fill& actual) {
  if (expected.score != actual.score) {
    return ::testing::AssertionFailure() << "score " << actual.score << ", reference " << expected.score;
  }
  for (int32_t i = 0; i < problem.n; ++i) {
    for (int32_t j = 0; j < problem.m; ++j) {
      const uint8_t want = expected.dirs.At(i, j);
      const uint8_t got = actual.dirs.At(i, j);
      if (want == got) continue;
      return ::testing::AssertionFailure() << "direction (" << i << ", " << j << ") is " << int{got}
                                           << ", reference " << int{want};
    }
  }
  return ::testing::AssertionSuccess();
}

// Runs every supported kernel on the problem and compares with the scalar
// reference; one scratch per kernel, reused across calls as the aligner does.
class KernelChecker {
 public:
  KernelChecker() {
    for (const NwKernel& kernel : NwKernels()) {
      if (kernel.supported()) kernels_.push_back(&kernel);
    }
    scratch_ = std::vector<NwScratch>(kernels_.size());
  }

  void Check(const Classes& first, const Classes& second, const Matrix& table, int32_t gap) {
    const NwProblem problem{first.data(), static_cast<int32_t>(first.size()), second.data(),
                            static_cast<int32_t>(second.size()), table.data(), gap};
    const Fill expected = RunKernel(kernels_[0][0], problem, reference_);
    for (size_t k = 0; k < kernels_.size(); ++k) {
      EXPECT_TRUE(SameFill(problem, expected, RunKernel(*kernels_[k], problem, scratch_[k])))
          << kernels_[k]->name << ", lengths " << problem.n << " x " << problem.m << ", gap " << gap;
    }
  }

 private:
  std::vector<const NwKernel*> kernels_;
  std::vector<NwScratch> scratch_;
  NwScratch reference_;
};

// Every supported kernel's fill of two problems at once against the
// reference's fill of each.
void CheckTwo(const NwProblem (&problems)[2]) {
  NwScratch reference;
  const Fill expected[2] = {RunKernel(NwKernels()[0], problems[0], reference),
                            RunKernel(NwKernels()[0], problems[1], reference)};
  for (const NwKernel& kernel : NwKernels()) {
    if (!kernel.supported()) continue;
    Fill actual[2];
    DirectionMatrix dirs[2];
    for (int k = 0; k < 2; ++k) {
      actual[k].dirs.stride = DirectionStride(problems[k].m);
      actual[k].cells.assign(static_cast<size_t>(problems[k].n) * actual[k].dirs.stride, 0xEE);
      actual[k].dirs.cells = actual[k].cells.data();
      dirs[k] = actual[k].dirs;
    }
    NwScratch scratch[2];
    int32_t scores[2] = {0, 0};
    FillTwo(kernel, problems, dirs, scratch, scores);
    for (int k = 0; k < 2; ++k) {
      actual[k].dirs = dirs[k];
      actual[k].score = scores[k];
      EXPECT_TRUE(SameFill(problems[k], expected[k], actual[k]))
          << kernel.name << ", problem " << k << " of two, lengths " << problems[k].n << " x "
          << problems[k].m;
    }
  }
}

// Lane bits the vector kernels choose for a problem; 0 in a scalar build.
int ScoreBits(const Classes& first, const Classes& second, const Matrix& table, int32_t gap) {
#ifndef CIRCOG_SCALAR_ONLY
  const NwProblem problem{first.data(), static_cast<int32_t>(first.size()), second.data(),
                          static_cast<int32_t>(second.size()), table.data(), gap};
  return NwPlanLanes(problem, 32).bits;
#else
  (void)first, (void)second, (void)table, (void)gap;
  return 0;
#endif
}

TEST(NwKernels, ClassifyEveryByteAsTheReference) {
  std::mt19937 rng(31);
  std::uniform_int_distribution<int> byte(0, 255);
  uint8_t letterClasses[32];
  for (uint8_t& c : letterClasses) c = static_cast<uint8_t>(byte(rng) % kResidueClasses);
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  for (int k = 0; k < 700; ++k) bytes += static_cast<char>(byte(rng));
  // Hand-checked against the reference first: letters of either case, and
  // what lies next to them.
  std::vector<uint8_t> reference(bytes.size());
  NwClassifyScalar(letterClasses, bytes.data(), bytes.size(), reference.data());
  EXPECT_EQ(reference['A'], letterClasses[1]);
  EXPECT_EQ(reference['z'], letterClasses[26]);
  for (const int other : {int{'@'}, int{'['}, int{'`'}, int{'{'}, 0, 0x80 | 'A', 0xFF}) {
    EXPECT_EQ(reference[static_cast<size_t>(other)], kNoTableIndex) << other;
  }
  for (const NwKernel& kernel : NwKernels()) {
    if (!kernel.supported()) continue;
    for (size_t length : {size_t{0}, size_t{1}, size_t{15}, size_t{16}, size_t{31}, size_t{32}, size_t{33},
                          size_t{100}, bytes.size()}) {
      for (size_t start : {size_t{0}, size_t{3}}) {
        if (start + length > bytes.size()) continue;
        std::vector<uint8_t> classes(length + 1, 0xEE);
        kernel.classify(letterClasses, bytes.data() + start, length, classes.data());
        for (size_t k = 0; k < length; ++k) {
          ASSERT_EQ(classes[k], reference[start + k])
              << kernel.name << ", byte " << int{uint8_t(bytes[start + k])};
        }
        EXPECT_EQ(classes[length], 0xEE) << kernel.name << ": wrote past the end";
      }
    }
  }
}

TEST(NwKernels, ScalarReferenceMatchesHandWorkedFill) {
  const Classes first = ToClasses("AW");
  const Classes second = ToClasses("W");
  const NwProblem problem{first.data(), 2, second.data(), 1, Pam250().data(), -6};
  const NwKernel scalar = NwKernels()[0];
  NwScratch scratch;
  const Fill fill = RunKernel(scalar, problem, scratch);
  // S[1][1] = max(0 + A/W (-6), -6 - 6, -6 - 6) = -6, diagonal.
  // S[2][1] = max(-6 + W/W (17), -6 - 6, -12 - 6) = 11, diagonal.
  EXPECT_EQ(fill.score, 11);
  EXPECT_EQ(fill.dirs.At(0, 0), kDiagonal);
  EXPECT_EQ(fill.dirs.At(1, 0), kDiagonal);
}

TEST(NwKernels, AllShortLengthPairsInBothOrders) {
  KernelChecker checker;
  std::mt19937 rng(20240611);
  for (int32_t n = 0; n <= kShortLengths; ++n) {
    for (int32_t m = 0; m <= kShortLengths; ++m) {
      const Classes first = RandomClasses(rng, n);
      checker.Check(first, (n + m) % 3 == 0 ? Mutate(rng, first, 0.3) : RandomClasses(rng, m), Pam250(), -6);
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST(NwKernels, ShortLengthPairsWithOtherGapScores) {
  KernelChecker checker;
  std::mt19937 rng(7);
  for (int32_t gap : {-1, -2, -11, -40}) {
    for (int32_t n = 0; n <= kShortLengths; n += 7) {
      for (int32_t m = 0; m <= kShortLengths; m += 5) {
        checker.Check(RandomClasses(rng, n), RandomClasses(rng, m), Pam250(), gap);
      }
    }
  }
}

TEST(NwKernels, GapScoresNotNegativeFallBackToTheReference) {
  KernelChecker checker;
  std::mt19937 rng(8);
  for (int32_t gap : {0, 3}) checker.Check(RandomClasses(rng, 70), RandomClasses(rng, 45), Pam250(), gap);
}

TEST(NwKernels, SeededRandomPairsUpTo3000) {
  KernelChecker checker;
  std::mt19937 rng(3000);
  // Log-uniform lengths: most pairs short, a few of thousands of residues.
  std::uniform_real_distribution<double> logLength(0.0, std::log(3000.0));
  for (int pair = 0; pair < 240; ++pair) {
    const auto n = static_cast<int32_t>(std::exp(logLength(rng)));
    const Classes first = RandomClasses(rng, n);
    if (pair % 2 == 0) {
      checker.Check(first, Mutate(rng, first, 0.25), Pam250(), -6);
    } else {
      checker.Check(first, RandomClasses(rng, static_cast<int32_t>(std::exp(logLength(rng)))), Pam250(), -6);
    }
  }
}

TEST(NwKernels, RealProteinsAgainstMutatedCopies) {
  const auto& proteins = Ecoli();
  ASSERT_GT(proteins.size(), 60u);
  std::vector<size_t> order(proteins.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return proteins[a].sequence.size() < proteins[b].sequence.size(); });
  // Twenty proteins spread over the length range, both orders and two
  // mutation rates; then the longest three, which need 32-bit lanes.
  KernelChecker checker;
  std::mt19937 rng(913);
  for (size_t q = 0; q < 20; ++q) {
    const Classes first = ToClasses(proteins[order[q * order.size() / 20]].sequence);
    for (double rate : {0.05, 0.3}) {
      const Classes second = Mutate(rng, first, rate);
      checker.Check(first, second, Pam250(), -6);
      checker.Check(second, first, Pam250(), -6);
    }
  }
  bool wide = false;
  for (size_t q = 1; q <= 3; ++q) {
    const Classes first = ToClasses(proteins[order[order.size() - q]].sequence);
    const Classes second = Mutate(rng, first, 0.2);
    wide = wide || ScoreBits(first, second, Pam250(), -6) == 32;
    checker.Check(first, second, Pam250(), -6);
  }
#ifndef CIRCOG_SCALAR_ONLY
  EXPECT_TRUE(wide) << "no pair took 32-bit lanes";
#endif
}

TEST(NwKernels, RealHomologsAcrossGenomes) {
  // Proteins of the two genomes with the same description are mostly true
  // homologs; the Salmonella genome holds proteins above 3,000 residues.
  std::map<std::string, const std::string*> ecoliByDescription;
  for (const auto& [description, sequence] : Ecoli()) ecoliByDescription.emplace(description, &sequence);
  std::vector<std::pair<const std::string*, const std::string*>> pairs;
  for (const auto& [description, sequence] : Salmonella()) {
    const auto found = ecoliByDescription.find(description);
    if (found != ecoliByDescription.end() && description.find("hypothetical") == std::string::npos) {
      pairs.emplace_back(found->second, &sequence);
    }
  }
  ASSERT_GT(pairs.size(), 40u);
  std::sort(pairs.begin(), pairs.end(),
            [](const auto& a, const auto& b) { return a.second->size() < b.second->size(); });

  KernelChecker checker;
  const size_t step = pairs.size() / 40;
  for (size_t k = 0; k < pairs.size(); k += step) {
    checker.Check(ToClasses(*pairs[k].first), ToClasses(*pairs[k].second), Pam250(), -6);
  }
  checker.Check(ToClasses(*pairs.back().first), ToClasses(*pairs.back().second), Pam250(), -6);

  // The longest protein of each genome against the other's longest.
  auto longest = [](const auto& records) {
    return std::max_element(records.begin(), records.end(), [](const auto& a, const auto& b) {
             return a.sequence.size() < b.sequence.size();
           })->sequence;
  };
  const Classes bigEcoli = ToClasses(longest(Ecoli()));
  const Classes bigSalmonella = ToClasses(longest(Salmonella()));
  EXPECT_GT(bigSalmonella.size(), 3000u);
  checker.Check(bigEcoli, bigSalmonella, Pam250(), -6);
  checker.Check(bigSalmonella, bigSalmonella, Pam250(), -6);
#ifndef CIRCOG_SCALAR_ONLY
  EXPECT_EQ(ScoreBits(bigSalmonella, bigSalmonella, Pam250(), -6), 32);
#endif
}

TEST(NwKernels, TwoAtOnceGiveWhatEachGivesAlone) {
  std::mt19937 rng(2);
  std::uniform_int_distribution<int32_t> length(0, 700);
  for (int pair = 0; pair < 60; ++pair) {
    Classes sequences[4];
    for (Classes& sequence : sequences) sequence = RandomClasses(rng, length(rng));
    if (pair % 3 == 0) sequences[1] = Mutate(rng, sequences[0], 0.2);
    // Some pairs mix a problem for byte lanes with one that is not.
    const int32_t otherGap = pair % 4 == 1 ? -1 : -6;
    const NwProblem problems[2] = {
        {sequences[0].data(), static_cast<int32_t>(sequences[0].size()), sequences[1].data(),
         static_cast<int32_t>(sequences[1].size()), Pam250().data(), -6},
        {sequences[2].data(), static_cast<int32_t>(sequences[2].size()), sequences[3].data(),
         static_cast<int32_t>(sequences[3].size()), Pam250().data(), otherGap}};
    CheckTwo(problems);
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(NwKernels, AllZeroTableMakesEveryCellATie) {
  const Matrix zero(kResidueClasses * kResidueClasses, 0);
  KernelChecker checker;
  std::mt19937 rng(0);
  for (int32_t n : {1, 7, 31, 32, 33, 64, 300, 1000}) {
    for (int32_t m : {1, 8, 32, 65, 299, 1001}) {
      checker.Check(RandomClasses(rng, n), RandomClasses(rng, m), zero, -6);
      checker.Check(RandomClasses(rng, n), RandomClasses(rng, m), zero, -1);
    }
  }
}

TEST(NwKernels, RepeatsProduceTiesOnEveryPath) {
  const Matrix zero(kResidueClasses * kResidueClasses, 0);
  KernelChecker checker;
  auto repeat = [](const std::string& unit, size_t length) {
    std::string text;
    while (text.size() < length) text += unit;
    return ToClasses(text.substr(0, length));
  };
  for (size_t n : {5u, 40u, 97u, 300u}) {
    for (size_t m : {3u, 33u, 96u, 310u}) {
      for (const Matrix* table : {&Pam250(), &zero}) {
        checker.Check(repeat("A", n), repeat("A", m), *table, -6);
        checker.Check(repeat("GA", n), repeat("AG", m), *table, -6);
        checker.Check(repeat("GAGAGAC", n), repeat("GA", m), *table, -1);
        checker.Check(repeat("W", n), repeat("WY", m), *table, -3);
      }
    }
  }
}

TEST(NwKernels, ClassTwentyScoresZeroAgainstEverything) {
  KernelChecker checker;
  std::mt19937 rng(20);
  const Classes unknown(150, kNoTableIndex);
  checker.Check(unknown, RandomClasses(rng, 170), Pam250(), -6);
  checker.Check(RandomClasses(rng, 90), unknown, Pam250(), -6);
  checker.Check(ToClasses("MKB*JOUZX-xk"), ToClasses("mkbjouzx*KK"), Pam250(), -6);
  for (int pair = 0; pair < 50; ++pair) {
    // Mostly class 20, as in sequences full of ambiguity codes.
    Classes first = RandomClasses(rng, 40 + pair * 3);
    for (auto& c : first) c = c % 3 == 0 ? c : kNoTableIndex;
    checker.Check(first, Mutate(rng, first, 0.2), Pam250(), -6);
  }
}

TEST(NwKernels, LargeScoresSwitchTo32BitLanes) {
  // With W/W at 2000 a run of 40 tryptophans scores 80,000: int16 lanes
  // would wrap, so the kernels must take 32-bit lanes.
  Matrix table = Pam250();
  const uint8_t w = ClassOf('W');
  table[w * kResidueClasses + w] = 2000;
  KernelChecker checker;
  std::mt19937 rng(32);
  for (int32_t length : {40, 100, 333}) {
    Classes first(length, w);
    Classes second = Mutate(rng, first, 0.1);
    for (size_t k = 0; k < second.size(); k += 5) second[k] = ClassOf('W');
    EXPECT_NE(ScoreBits(first, second, table, -6), 16);
    checker.Check(first, second, table, -6);
    checker.Check(second, first, table, -6);
  }
  // Deep negative scores: long sequences against a large gap score.
  const Classes longFirst = RandomClasses(rng, 2000);
  const Classes shortSecond = RandomClasses(rng, 100);
  EXPECT_NE(ScoreBits(longFirst, shortSecond, Pam250(), -40), 16);
  checker.Check(longFirst, shortSecond, Pam250(), -40);
  checker.Check(shortSecond, longFirst, Pam250(), -40);
}

TEST(NwKernels, ScoreRangeGivenOrLookedUpPlansAlike) {
#ifndef CIRCOG_SCALAR_ONLY
  std::mt19937 rng(17);
  Matrix large = Pam250();
  large[ClassOf('W') * kResidueClasses + ClassOf('W')] = 2000;
  const Matrix negative(kResidueClasses * kResidueClasses, -3);
  for (const Matrix* table : {&Pam250(), static_cast<const Matrix*>(&large), &negative}) {
    for (int32_t length : {10, 300, 3000}) {
      const Classes first = RandomClasses(rng, length);
      NwProblem problem{first.data(), length, first.data(), length, table->data(), -6};
      const NwLanePlan lookedUp = NwPlanLanes(problem, 32);
      SetScoreRange(problem);
      const NwLanePlan given = NwPlanLanes(problem, 32);
      EXPECT_EQ(given.bits, lookedUp.bits) << length;
      EXPECT_EQ(given.offset, lookedUp.offset) << length;
    }
  }
#else
  GTEST_SKIP() << "scalar-only build";
#endif
}

TEST(NwKernels, ByteLanesServeTablesWhoseDiagonalStepsFit) {
#ifndef CIRCOG_SCALAR_ONLY
  std::mt19937 rng(18);
  const Classes a = RandomClasses(rng, 300);
  auto fits = [&](const Matrix& table, int32_t gap, const Classes& first) {
    const NwProblem problem{first.data(), static_cast<int32_t>(first.size()), a.data(), 300, table.data(),
                            gap};
    return NwDifferencesFit(problem);
  };
  // The published table's lowest entry is -8, its highest 17.
  EXPECT_TRUE(fits(Pam250(), -6, a));
  EXPECT_TRUE(fits(Pam250(), -4, a));   // -8 + 8: steps from 0
  EXPECT_FALSE(fits(Pam250(), -3, a));  // -8 + 6 < 0
  EXPECT_FALSE(fits(Pam250(), 0, a));
  EXPECT_TRUE(fits(Pam250(), -118, a));   // 17 + 236 = 253
  EXPECT_FALSE(fits(Pam250(), -119, a));  // 17 + 238 = 255
  const Matrix zero(kResidueClasses * kResidueClasses, 0);
  EXPECT_TRUE(fits(zero, -127, a));  // padded columns step 254
  EXPECT_FALSE(fits(zero, -128, a));
  EXPECT_FALSE(fits(Pam250(), -6, Classes{}));
  // Lengths do not matter, only that scores fit in 32 bits.
  EXPECT_TRUE(fits(Pam250(), -6, RandomClasses(rng, 100000)));
#else
  GTEST_SKIP() << "scalar-only build";
#endif
}

// Tables whose diagonal steps span the whole byte range, from 0 to 254:
// sums of differences clamp at 255 on nearly every row.
TEST(NwKernels, DiagonalStepsAtTheEdgesOfByteLanes) {
  KernelChecker checker;
  std::mt19937 rng(254);
  const int32_t gap = -100;
  std::uniform_int_distribution<int32_t> step(0, 254);
  for (int table = 0; table < 6; ++table) {
    Matrix scores(kResidueClasses * kResidueClasses, 0);
    for (int p = 0; p + 1 < kResidueClasses; ++p) {
      for (int q = 0; q <= p; ++q) {
        // Half the tables keep only the extremes.
        const int32_t s = table % 2 == 0 ? step(rng) : step(rng) % 2 * 254;
        scores[p * kResidueClasses + q] = scores[q * kResidueClasses + p] = s + 2 * gap;
      }
    }
    for (int32_t n : {1, 31, 32, 33, 200, 1500}) {
      const Classes first = RandomClasses(rng, n);
      checker.Check(first, Mutate(rng, first, 0.2), scores, gap);
      checker.Check(first, RandomClasses(rng, 1700 - n), scores, gap);
    }
  }
}

TEST(NwKernels, ScoreBitsFollowTheScoreRange) {
#ifndef CIRCOG_SCALAR_ONLY
  std::mt19937 rng(16);
  const Classes a300 = RandomClasses(rng, 300);
  const Classes a3000 = RandomClasses(rng, 3000);
  EXPECT_EQ(ScoreBits(a300, a300, Pam250(), -6), 16);
  EXPECT_EQ(ScoreBits(a3000, a3000, Pam250(), -6), 32);
  EXPECT_EQ(ScoreBits(a300, a300, Pam250(), 0), 0);
  EXPECT_EQ(ScoreBits(Classes{}, a300, Pam250(), -6), 0);
#else
  GTEST_SKIP() << "scalar-only build";
#endif
}

}  // namespace
}  // namespace circog
