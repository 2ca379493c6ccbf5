// Score tables with entries near the ends of the 32-bit range: every kernel
// the CPU supports must give the exact alignment, which 32-bit sums would get
// wrong. (A kernel the CPU lacks may not be entered at all: its file is
// compiled for instructions the CPU would not know.)

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "align/NwKernels.h"
#include "align/ProteinAligner.h"

namespace {

struct Aligned {
  std::string first, second, markers;
  int32_t score;
};

Aligned AlignWith(const circog::NwKernel& kernel, int32_t everyEntry, const std::string& first,
                  const std::string& second) {
  CProteinAligner aligner;
  aligner.m_tableLoaded = true;
  aligner.m_scoreTable.fill(everyEntry);
  aligner.UseKernel(kernel);
  Aligned out;
  out.score = aligner.Align(first, second, out.first, out.second, out.markers);
  return out;
}

TEST(WideScoreTest, HugeMatchScoresAlignExactlyWithTheScoreClamped) {
  for (const circog::NwKernel& kernel : circog::NwKernels()) {
    if (!kernel.supported()) continue;
    // Two matches of 2e9 beat any gap; their sum, 4e9 - 6, exceeds int32_t.
    const Aligned out = AlignWith(kernel, 2000000000, "AAA", "AA");
    EXPECT_EQ(out.first, "AAA") << kernel.name;
    EXPECT_EQ(out.second, "-AA") << kernel.name;
    EXPECT_EQ(out.markers, "-||") << kernel.name;
    EXPECT_EQ(out.score, std::numeric_limits<int32_t>::max()) << kernel.name;
  }
}

TEST(WideScoreTest, HugePenaltiesGapEverything) {
  for (const circog::NwKernel& kernel : circog::NwKernels()) {
    if (!kernel.supported()) continue;
    // Wrapping -2e9 + -2e9 would turn a substitution into the best move.
    const Aligned out = AlignWith(kernel, -2000000000, "AC", "AC");
    // Ties go up before left, so the first sequence's gaps come first.
    EXPECT_EQ(out.first, "--AC") << kernel.name;
    EXPECT_EQ(out.second, "AC--") << kernel.name;
    EXPECT_EQ(out.score, -24) << kernel.name;
  }
}

}  // namespace
