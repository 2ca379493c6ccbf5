// Cell updates per second of a whole alignment (fill and traceback) with the
// scalar reference and with the default kernel, building the aligned strings
// (Align) or only counting (AlignCounts), on real E. coli proteins against
// mutated copies of themselves.

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "align/NwKernels.h"
#include "align/ProteinAligner.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr size_t kPairsPerLength = 32;

struct Pair {
  std::string first;
  std::string second;
};

// Proteins within 10% of the length, each paired with a mutated copy.
std::vector<Pair> PairsNear(size_t length) {
  static const auto proteins =
      circog::support::ReadFasta(circog::support::SourcePath("example/angle1/Ecoli_K12.faa"));
  std::mt19937 rng(static_cast<unsigned>(length));
  std::vector<Pair> pairs;
  for (const auto& [header, protein] : proteins) {
    if (protein.size() * 10 < length * 9 || protein.size() * 10 > length * 11) continue;
    pairs.push_back({protein, circog::support::Mutate(rng, protein, 0.22)});
    if (pairs.size() == kPairsPerLength) break;
  }
  return pairs;
}

template <bool kStrings>
void AlignBenchmark(benchmark::State& state, const circog::NwKernel& kernel) {
  const std::vector<Pair> pairs = PairsNear(static_cast<size_t>(state.range(0)));
  if (pairs.empty()) {
    state.SkipWithError("no proteins of this length");
    return;
  }
  CProteinAligner aligner;
  aligner.LoadScoreTable(circog::support::SourcePath("data/PAM-250.txt"));
  aligner.UseKernel(kernel);
  std::string alignedFirst, alignedSecond, matchLine;
  double cells = 0;
  size_t next = 0;
  for (auto _ : state) {
    const Pair& pair = pairs[next];
    next = next + 1 == pairs.size() ? 0 : next + 1;
    if constexpr (kStrings) {
      benchmark::DoNotOptimize(aligner.Align(pair.first, pair.second, alignedFirst, alignedSecond, matchLine));
    } else {
      benchmark::DoNotOptimize(aligner.AlignCounts(pair.first, pair.second));
    }
    cells += static_cast<double>(pair.first.size()) * static_cast<double>(pair.second.size());
  }
  state.counters["cells/s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
  // Printed as seconds per cell, e.g. "5.9n".
  state.counters["per cell"] =
      benchmark::Counter(cells, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(std::string(kernel.name) + ", " + std::to_string(pairs.size()) + " pairs");
}

void BM_AlignScalar(benchmark::State& state) { AlignBenchmark<true>(state, circog::NwKernels()[0]); }
void BM_Align(benchmark::State& state) { AlignBenchmark<true>(state, circog::BestNwKernel()); }
void BM_AlignCounts(benchmark::State& state) { AlignBenchmark<false>(state, circog::BestNwKernel()); }

// Shown in the run's header beside the CPU: what Align would use by default.
[[maybe_unused]] const bool kKernelNamed =
    (benchmark::AddCustomContext("default kernel", circog::BestNwKernel().name), true);

BENCHMARK(BM_AlignScalar)->Arg(100)->Arg(300)->Arg(1000)->Arg(1500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Align)->Arg(100)->Arg(300)->Arg(1000)->Arg(1500)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AlignCounts)->Arg(100)->Arg(300)->Arg(1000)->Arg(1500)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
