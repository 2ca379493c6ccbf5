// Cell updates per second of the whole Align (fill, traceback, console line)
// with the scalar reference kernel, on real E. coli proteins against mutated
// copies of themselves.

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "align/NwKernels.h"
#include "align/ProteinAligner.h"

namespace {

const char* const kProteins = CIRCOG_SHARED_DIR "/data/real/ecoli_k12_mg1655/NC_000913.faa";
const char* const kTable = CIRCOG_SOURCE_DIR "/data/PAM-250.txt";
constexpr size_t kPairsPerLength = 32;

std::vector<std::string> ReadProteins(const char* path) {
  std::vector<std::string> proteins;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '>') {
      proteins.emplace_back();
    } else if (!proteins.empty()) {
      proteins.back() += line;
    }
  }
  return proteins;
}

// About one residue in five substituted, and an indel every fifty or so, as a
// distant homologue would look.
std::string Mutated(const std::string& source, std::mt19937& rng) {
  static const std::string residues = "ACDEFGHIKLMNPQRSTVWY";
  std::uniform_int_distribution<size_t> residue(0, residues.size() - 1);
  std::uniform_int_distribution<int> roll(0, 999);
  std::string out;
  out.reserve(source.size() + 16);
  for (char c : source) {
    const int r = roll(rng);
    if (r < 10) continue;                       // deletion
    if (r < 20) out += residues[residue(rng)];  // insertion before c
    out += r < 220 ? residues[residue(rng)] : c;
  }
  return out;
}

struct Pair {
  std::string first;
  std::string second;
};

// Proteins within 10% of the length, each paired with a mutated copy.
std::vector<Pair> PairsNear(size_t length) {
  static const std::vector<std::string> proteins = ReadProteins(kProteins);
  std::mt19937 rng(static_cast<unsigned>(length));
  std::vector<Pair> pairs;
  for (const std::string& protein : proteins) {
    if (protein.size() * 10 < length * 9 || protein.size() * 10 > length * 11) continue;
    pairs.push_back({protein, Mutated(protein, rng)});
    if (pairs.size() == kPairsPerLength) break;
  }
  return pairs;
}

void BM_AlignScalar(benchmark::State& state) {
  const std::vector<Pair> pairs = PairsNear(static_cast<size_t>(state.range(0)));
  if (pairs.empty()) {
    state.SkipWithError("no proteins of this length");
    return;
  }
  // The console line is part of the work; it goes nowhere.
  std::ostream nowhere(nullptr);
  CProteinAligner aligner(nowhere);
  aligner.LoadScoreTable(kTable);
  aligner.UseKernel(circog::NwKernels()[0]);
  std::string alignedFirst, alignedSecond, matchLine;
  double cells = 0;
  size_t next = 0;
  for (auto _ : state) {
    const Pair& pair = pairs[next];
    next = next + 1 == pairs.size() ? 0 : next + 1;
    benchmark::DoNotOptimize(
        aligner.Align(pair.first, pair.second, alignedFirst, alignedSecond, matchLine));
    cells += static_cast<double>(pair.first.size()) * static_cast<double>(pair.second.size());
  }
  state.counters["cells/s"] = benchmark::Counter(cells, benchmark::Counter::kIsRate);
  // Printed as seconds per cell, e.g. "5.9n".
  state.counters["per cell"] =
      benchmark::Counter(cells, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(std::string(circog::NwKernels()[0].name) + ", " + std::to_string(pairs.size()) +
                 " pairs");
}

// Shown in the run's header beside the CPU: what Align would use by default.
[[maybe_unused]] const bool kKernelNamed =
    (benchmark::AddCustomContext("default kernel", circog::BestNwKernel().name), true);

BENCHMARK(BM_AlignScalar)->Arg(100)->Arg(300)->Arg(1000)->Arg(1500)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
