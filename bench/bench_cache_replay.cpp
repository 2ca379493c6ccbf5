// What the alignment cache does over a whole run, without aligning: in a
// working directory that circog has run in (its angle and protein files in
// place), every pair of genomes in the run's order is loaded by circog's own
// engine and its candidates planned against a cache of the run's size, as the
// mapping does. Prints the candidates, the alignments a run makes, the share
// taken from the cache and what the cache held; and, to set beside a whole
// run's time, the CPU time of making just those alignments on one thread.
//
// Usage: bench_cache_replay WORKDIR

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "align/ProteinAligner.h"
#include "compare/AlignmentCache.h"
#include "compare/CompareText.h"
#include "engine/MappingEngine.h"

int main(int argc, char** argv) {
  if (argc != 2 || chdir(argv[1]) != 0) {
    std::cerr << "usage: bench_cache_replay WORKDIR (a directory circog has run in)\n";
    return 2;
  }
  std::ostringstream console;
  std::ostringstream errors;
  CMappingEngine engine(console, errors);
  if (!engine.ReadConfig("config.txt")) {
    std::cerr << "no config.txt in " << argv[1] << "\n";
    return 1;
  }
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::AnglePath),
                       engine.GetConfigValue(ConfigKey::AngleFormat), "", ScanMode::AngleFiles);
  const auto genomes = static_cast<int>(engine.fileList->size());
  circog::AlignmentCache cache(circog::RunCacheBytes());
  CProteinAligner aligner;
  aligner.LoadScoreTable("PAM-250.txt");
  double aligning = 0;
  auto cpuSeconds = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  };
  uint64_t candidates = 0;
  uint64_t aligned = 0;
  size_t mostBytes = 0;
  for (int i = 0; i < genomes; ++i) {
    engine.LoadAngleFile(0, i);
    engine.LoadProteinFile(0, i);
    for (int j = i + 1; j < genomes; ++j) {
      engine.LoadAngleFile(1, j);
      engine.LoadProteinFile(1, j);
      const auto pairs = circog::ListCandidatePairs(engine.genes[0], engine.genes[1]);
      const circog::AlignmentPlan plan =
          circog::PlanAlignments(pairs, engine.genes[0], engine.genes[1], genomes > 2 ? &cache : nullptr);
      const double start = cpuSeconds();
      for (const uint32_t k : plan.firstCandidate) {
        aligner.AlignCounts(engine.genes[0][pairs[k].first].sequence,
                            engine.genes[1][pairs[k].second].sequence);
      }
      aligning += cpuSeconds() - start;
      for (const uint32_t k : plan.firstCandidate) {
        cache.Insert(circog::SequenceOf(engine.genes[0][pairs[k].first]),
                     circog::SequenceOf(engine.genes[1][pairs[k].second]), {0, 0});
        mostBytes = std::max(mostBytes, cache.Bytes());
      }
      candidates += pairs.size();
      aligned += plan.firstCandidate.size();
    }
  }
  std::printf(
      "%d genomes, %d pairs: %llu candidate alignments, %llu made (%.1f%% taken from the cache or an "
      "equal pair before them); cache limit %.0f MiB, at most %.1f MiB held, %zu entries at the end; "
      "making those alignments, one at a time on one thread: %.2f s of CPU time\n",
      genomes, genomes * (genomes - 1) / 2, static_cast<unsigned long long>(candidates),
      static_cast<unsigned long long>(aligned),
      candidates == 0 ? 0.0
                      : 100.0 * static_cast<double>(candidates - aligned) / static_cast<double>(candidates),
      static_cast<double>(circog::RunCacheBytes()) / (1 << 20), static_cast<double>(mostBytes) / (1 << 20),
      cache.Entries(), aligning);
  return 0;
}
