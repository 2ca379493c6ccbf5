// Cell updates per second of every fill kernel this CPU supports, on real
// proteins against homologs or mutated copies of about 100, 300, 1000 and
// 3000 residues, one pair at a time (fill/) and, where a kernel can, two at
// once (fill2/); with parasail installed, its trace-producing global scan
// kernels on the same pairs for comparison.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "align/NwFill.h"
#include "align/NwKernels.h"
#include "tests/support/TestSupport.h"

#ifdef CIRCOG_HAVE_PARASAIL
#include <parasail.h>
#include <parasail/matrices/pam250.h>
#endif

namespace {

using circog::kResidueClasses;

constexpr int32_t kGap = -6;
constexpr size_t kPairsPerLength = 8;

struct Pair {
  std::string first;
  std::string second;
  std::vector<uint8_t> firstClasses;
  std::vector<uint8_t> secondClasses;
};

struct Workload {
  int32_t length = 0;
  std::vector<Pair> pairs;
  int64_t cells = 0;
};

using Records = std::vector<circog::support::FastaRecord>;

bool Standard(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return circog::support::kResidues.find(c) != std::string_view::npos; });
}

// Cross-genome homologs (same description) of about the given length; where
// too few exist, real proteins of that length against mutated copies.
Workload MakeWorkload(int32_t length, const Records& ecoli, const Records& salmonella) {
  Workload work;
  work.length = length;
  auto near = [length](const std::string& s) {
    return s.size() >= length * 0.75 && s.size() <= length * 1.25 && Standard(s);
  };
  std::map<std::string, const std::string*> salmonellaByDescription;
  for (const auto& [header, sequence] : salmonella) {
    salmonellaByDescription.emplace(circog::support::Description(header), &sequence);
  }
  for (const auto& [header, sequence] : ecoli) {
    if (work.pairs.size() == kPairsPerLength) break;
    const std::string description = circog::support::Description(header);
    const auto other = salmonellaByDescription.find(description);
    if (description.find("hypothetical") != std::string::npos || other == salmonellaByDescription.end()) continue;
    if (near(sequence) && near(*other->second)) work.pairs.push_back({sequence, *other->second, {}, {}});
  }
  std::mt19937 rng(static_cast<uint32_t>(length));
  for (const auto* genome : {&salmonella, &ecoli}) {
    for (const auto& [header, sequence] : *genome) {
      if (work.pairs.size() == kPairsPerLength) break;
      if (near(sequence)) work.pairs.push_back({sequence, circog::support::Mutate(rng, sequence, 0.21), {}, {}});
    }
  }
  for (Pair& pair : work.pairs) {
    pair.firstClasses = circog::support::ToClasses(pair.first);
    pair.secondClasses = circog::support::ToClasses(pair.second);
    work.cells += static_cast<int64_t>(pair.first.size()) * static_cast<int64_t>(pair.second.size());
  }
  return work;
}

const std::vector<int32_t>& Pam250() { return circog::support::Pam250Classes(); }

// As the aligner keeps them with its table.
const uint8_t* DiagonalSteps() {
  static uint8_t steps[circog::kResidueClasses][32];
  static const bool built = [] {
    const circog::NwProblem problem{nullptr, 0, nullptr, 0, Pam250().data(), kGap};
    circog::SetDiagonalSteps(problem, steps);
    return true;
  }();
  (void)built;
  return &steps[0][0];
}

void Report(benchmark::State& state, const Workload& work) {
  state.counters["CUPS"] = benchmark::Counter(static_cast<double>(work.cells) * static_cast<double>(state.iterations()),
                                              benchmark::Counter::kIsRate);
  state.counters["pairs"] = static_cast<double>(work.pairs.size());
}

// The workload's pairs as the aligner hands them to a kernel: as it does,
// the table's score range is known beforehand.
std::vector<circog::NwProblem> Problems(const Workload& work) {
  std::vector<circog::NwProblem> problems;
  for (const Pair& pair : work.pairs) {
    circog::NwProblem problem{pair.firstClasses.data(),  static_cast<int32_t>(pair.firstClasses.size()),
                              pair.secondClasses.data(), static_cast<int32_t>(pair.secondClasses.size()),
                              Pam250().data(),           kGap};
    circog::SetScoreRange(problem);
    problem.diagonalSteps = DiagonalSteps();
    problems.push_back(problem);
  }
  return problems;
}

// Bytes of direction cells the largest problem needs.
size_t LargestCells(const std::vector<circog::NwProblem>& problems) {
  size_t largest = 0;
  for (const circog::NwProblem& problem : problems) {
    largest = std::max(largest, static_cast<size_t>(problem.n) * circog::DirectionStride(problem.m));
  }
  return largest;
}

void FillBenchmark(benchmark::State& state, const circog::NwKernel* kernel, const Workload* work) {
  const std::vector<circog::NwProblem> problems = Problems(*work);
  std::vector<uint8_t> cells(LargestCells(problems));
  circog::NwScratch scratch;
  for (auto _ : state) {
    for (const circog::NwProblem& problem : problems) {
      circog::DirectionMatrix dirs{cells.data(), circog::DirectionStride(problem.m)};
      benchmark::DoNotOptimize(kernel->fill(problem, dirs, scratch));
    }
    benchmark::ClobberMemory();
  }
  Report(state, *work);
}

// The same pairs two at a time, filled at once where the kernel can.
void FillTwoBenchmark(benchmark::State& state, const circog::NwKernel* kernel, const Workload* work) {
  const std::vector<circog::NwProblem> problems = Problems(*work);
  const size_t largest = LargestCells(problems);
  std::vector<uint8_t> cells[2] = {std::vector<uint8_t>(largest), std::vector<uint8_t>(largest)};
  circog::NwScratch scratch[2];
  for (auto _ : state) {
    for (size_t k = 0; k + 1 < problems.size(); k += 2) {
      circog::DirectionMatrix dirs[2] = {{cells[0].data(), circog::DirectionStride(problems[k].m)},
                                         {cells[1].data(), circog::DirectionStride(problems[k + 1].m)}};
      int32_t scores[2];
      circog::FillTwo(*kernel, &problems[k], dirs, scratch, scores);
      benchmark::DoNotOptimize(scores[0] + scores[1]);
    }
    benchmark::ClobberMemory();
  }
  Report(state, *work);
}

#ifdef CIRCOG_HAVE_PARASAIL
using ParasailFn = parasail_result_t* (*)(const char*, int, const char*, int, int, int, const parasail_matrix_t*);

// parasail charges open + (k - 1) * extend for a gap of k, both positive.
void ParasailBenchmark(benchmark::State& state, ParasailFn fn, const Workload* work) {
  for (auto _ : state) {
    for (const Pair& pair : work->pairs) {
      parasail_result_t* result = fn(pair.first.data(), static_cast<int>(pair.first.size()), pair.second.data(),
                                     static_cast<int>(pair.second.size()), -kGap, -kGap, &parasail_pam250);
      benchmark::DoNotOptimize(result->score);
      parasail_result_free(result);
    }
  }
  Report(state, *work);
}

// The scores must agree with ours, or the comparison is not like for like.
void CheckParasailScores(const Workload& work) {
  circog::NwScratch scratch;
  for (const Pair& pair : work.pairs) {
    const circog::NwProblem problem{pair.firstClasses.data(), static_cast<int32_t>(pair.firstClasses.size()),
                                    pair.secondClasses.data(), static_cast<int32_t>(pair.secondClasses.size()),
                                    Pam250().data(), kGap};
    std::vector<uint8_t> cells(pair.first.size() * circog::DirectionStride(problem.m));
    circog::DirectionMatrix dirs{cells.data(), circog::DirectionStride(problem.m)};
    const int32_t ours = circog::NwFillScalar(problem, dirs, scratch);
    parasail_result_t* result = parasail_nw_trace_scan_16(pair.first.data(), static_cast<int>(pair.first.size()),
                                                          pair.second.data(), static_cast<int>(pair.second.size()),
                                                          -kGap, -kGap, &parasail_pam250);
    if (result->score != ours) {
      std::cout << "parasail score " << result->score << " differs from " << ours << " at length "
                << work.length << "\n";
    }
    parasail_result_free(result);
  }
}
#endif

// Loads the pairs and registers every benchmark before the benchmark main
// runs; with the FASTA files missing nothing is registered.
bool RegisterAll() {
  const auto ecoli = circog::support::ReadFasta(circog::support::SourcePath("example/angle1/Ecoli_K12.faa"));
  const auto salmonella =
      circog::support::ReadFasta(circog::support::SourcePath("example/angle1/Styphi_CT18.faa"));
  if (ecoli.empty() || salmonella.empty()) {
    std::cerr << "the example's protein files are missing\n";
    return false;
  }
  std::cout << "CPU: " << circog::support::CpuName() << "\nchosen kernel: " << circog::BestNwKernel().name
            << "\n";

  static std::vector<Workload> workloads;
  for (int32_t length : {100, 300, 1000, 3000}) workloads.push_back(MakeWorkload(length, ecoli, salmonella));
  for (const Workload& work : workloads) {
    std::cout << "length " << work.length << ": " << work.pairs.size() << " pairs, "
              << work.cells / static_cast<int64_t>(std::max<size_t>(work.pairs.size(), 1)) << " cells each on average\n";
    // Appending, not operator+, which trips a false -Wrestrict in GCC 12.
    auto name = [&work](const char* family, const char* kernel) {
      std::string text = family;
      text += kernel;
      text += '/';
      text += std::to_string(work.length);
      return text;
    };
    for (const circog::NwKernel& kernel : circog::NwKernels()) {
      if (!kernel.supported()) continue;
      benchmark::RegisterBenchmark(name("fill/", kernel.name).c_str(), FillBenchmark, &kernel, &work);
      if (kernel.fillTwo != nullptr) {
        benchmark::RegisterBenchmark(name("fill2/", kernel.name).c_str(), FillTwoBenchmark, &kernel, &work);
      }
    }
#ifdef CIRCOG_HAVE_PARASAIL
    CheckParasailScores(work);
    benchmark::RegisterBenchmark(name("parasail/", "nw_trace_scan_16").c_str(), ParasailBenchmark,
                                 parasail_nw_trace_scan_16, &work);
#ifdef CIRCOG_HAVE_PARASAIL_AVX2
    if (__builtin_cpu_supports("avx2")) {
      benchmark::RegisterBenchmark(name("parasail/", "nw_trace_scan_avx2_256_16").c_str(), ParasailBenchmark,
                                   parasail_nw_trace_scan_avx2_256_16, &work);
    }
#endif
#endif
  }
  return true;
}

const bool kRegistered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
