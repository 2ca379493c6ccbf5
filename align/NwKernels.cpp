#include "align/NwKernels.h"

#include <algorithm>

#ifndef CIRCOG_SCALAR_ONLY
#include "align/simd/NwFillSimd.h"
#endif

namespace circog {
namespace {

bool Always() { return true; }

#ifndef CIRCOG_SCALAR_ONLY
bool HasSse41() { return __builtin_cpu_supports("sse4.1"); }
bool HasAvx2() { return __builtin_cpu_supports("avx2"); }
bool HasAvx512() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
         __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
}
#endif

// Slowest first: the best kernel is the last one the CPU supports.
// The AVX-512 kernel classifies with AVX2, which its check includes.
constexpr NwKernel kKernels[] = {
    {"scalar", NwFillScalar, nullptr, NwClassifyScalar, Always},
#ifndef CIRCOG_SCALAR_ONLY
    // Two at once do not pay with 16 lanes: each row has twice the vectors
    // to hide its scan behind.
    {"sse4.1", NwFillSse41, nullptr, NwClassifySse41, HasSse41},
    {"avx2", NwFillAvx2, NwFillTwoAvx2, NwClassifyAvx2, HasAvx2},
    {"avx512bw", NwFillAvx512, nullptr, NwClassifyAvx2, HasAvx512},
#endif
};

}  // namespace

void SetScoreRange(NwProblem& problem) {
  // Vectorised as it stands: plain 32-bit minimum and maximum.
  int32_t lowest = problem.substitution[0];
  int32_t highest = problem.substitution[0];
  for (int k = 1; k < kResidueClasses * kResidueClasses; ++k) {
    lowest = std::min(lowest, problem.substitution[k]);
    highest = std::max(highest, problem.substitution[k]);
  }
  problem.rangeKnown = true;
  problem.lowestScore = lowest;
  problem.highestScore = highest;
}

void SetDiagonalSteps(const NwProblem& problem, uint8_t (&steps)[kResidueClasses][32]) {
  for (int c = 0; c < kResidueClasses; ++c) {
    for (int k = 0; k < 32; ++k) {
      const int32_t score = k < kResidueClasses ? problem.substitution[c * kResidueClasses + k] : 0;
      steps[c][k] = k <= kResidueClasses ? static_cast<uint8_t>(score - 2 * problem.gap) : 0;
    }
  }
}

std::span<const NwKernel> NwKernels() { return kKernels; }

void FillTwo(const NwKernel& kernel, const NwProblem* problems, DirectionMatrix* dirs, NwScratch* scratch,
             int32_t* scores) {
  if (kernel.fillTwo != nullptr) {
    kernel.fillTwo(problems, dirs, scratch, scores);
    return;
  }
  for (int k = 0; k < 2; ++k) scores[k] = kernel.fill(problems[k], dirs[k], scratch[k]);
}

const NwKernel& BestNwKernel() {
  static const NwKernel& best = [] () -> const NwKernel& {
    const NwKernel* chosen = &kKernels[0];
    for (const NwKernel& kernel : kKernels) {
      if (kernel.supported()) chosen = &kernel;
    }
    return *chosen;
  }();
  return best;
}

}  // namespace circog
