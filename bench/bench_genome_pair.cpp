// The bundled example end to end: circog on E. coli K-12 against S. Typhi
// CT18 with alignment on, run as a program on one CPU and on two, beside the
// aligners alone on exactly the candidate pairs of that run: circog's
// count-only alignment and, when installed, parasail's nw_trace_scan_16.
// Every round runs each of these once, in turn, so that a machine shared
// with other work slows them alike; each figure is the best of the rounds,
// with the median beside it, and the ratio of parasail to a whole run is
// also taken round by round. The mapping's alignments also go through the
// pool on one thread and on two, to show what the second thread costs.
//
// Usage: bench_genome_pair [rounds [program ...]]   (default 5 rounds and the
// circog of this build; several programs, e.g. an older build, take turns)

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "align/ProteinAligner.h"
#include "compare/AlignmentPool.h"
#include "engine/MappingEngine.h"
#include "tests/support/TestSupport.h"

#ifdef CIRCOG_HAVE_PARASAIL
#include <parasail.h>
#include <parasail/matrices/pam250.h>
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int32_t kGap = -6;

struct RunResult {
  double seconds = 0;     // wall time
  double cpuSeconds = 0;  // user and system time
  double peakMiB = 0;
  double pageFaults = 0;  // minor page faults
};

bool PinTo(int cpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu = 0; cpu < cpus; ++cpu) CPU_SET(cpu, &set);
  return sched_setaffinity(0, sizeof set, &set) == 0;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// Runs program in dir on the first cpus CPUs, its console into console.txt,
// and prints its wall time, CPU time and peak memory. A process's peak
// counts the memory of the process it was forked from, so the benchmark,
// which holds every candidate pair, forks no program itself: it starts
// itself again, small, to do it.
int Launch(const char* dir, int cpus, const char* program) {
  const auto start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(dir) != 0 || !PinTo(cpus)) _exit(126);
    if (!std::freopen("console.txt", "w", stdout)) _exit(126);
    execl(program, program, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  std::printf("%.6f %.6f %ld %ld\n", seconds, Seconds(usage.ru_utime) + Seconds(usage.ru_stime), usage.ru_maxrss,
              usage.ru_minflt);
  return 0;
}

std::string self;  // this benchmark's own path

RunResult RunProgram(const std::string& program, const fs::path& dir, int cpus) {
  const std::string command =
      self + " --launch '" + dir.string() + "' " + std::to_string(cpus) + " '" + program + "'";
  FILE* launcher = popen(command.c_str(), "r");
  RunResult result;
  long peakKiB = 0;
  long faults = 0;
  if (launcher == nullptr ||
      std::fscanf(launcher, "%lf %lf %ld %ld", &result.seconds, &result.cpuSeconds, &peakKiB, &faults) != 4 ||
      pclose(launcher) != 0) {
    std::cerr << program << " failed in " << dir << "\n";
    std::exit(1);
  }
  result.peakMiB = static_cast<double>(peakKiB) / 1024.0;
  result.pageFaults = static_cast<double>(faults);
  return result;
}

// The figures of one measurement over the rounds.
class Series {
 public:
  void Add(double value) { values_.push_back(value); }
  double Best() const { return *std::min_element(values_.begin(), values_.end()); }
  double Worst() const { return *std::max_element(values_.begin(), values_.end()); }
  double Last() const { return values_.back(); }
  double Median() const {
    std::vector<double> sorted = values_;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  }

 private:
  std::vector<double> values_;
};

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The console and every result file of two runs, byte for byte.
bool SameOutput(const fs::path& one, const fs::path& other) {
  if (ReadAll(one / "console.txt") != ReadAll(other / "console.txt")) return false;
  for (const auto& entry : fs::directory_iterator(one / "out")) {
    if (ReadAll(entry.path()) != ReadAll(other / "out" / entry.path().filename())) return false;
  }
  return true;
}

struct Candidate {
  std::string first;
  std::string second;
};

// The run's candidate pairs in mapping order, from the angle and protein
// files it wrote and read, loaded by circog's own engine.
std::vector<Candidate> LoadCandidates(const fs::path& dir) {
  const fs::path here = fs::current_path();
  fs::current_path(dir);
  std::ostringstream console;
  std::ostringstream errors;
  CMappingEngine engine(console, errors);
  std::vector<Candidate> candidates;
  if (engine.ReadConfig("config.txt")) {
    engine.ScanDirectory(engine.GetConfigValue(ConfigKey::AnglePath), engine.GetConfigValue(ConfigKey::AngleFormat),
                         "", ScanMode::AngleFiles);
    for (int side = 0; side < 2; ++side) {
      engine.LoadAngleFile(side, side);
      engine.LoadProteinFile(side, side);
    }
    for (const GeneRecord& first : engine.genes[0]) {
      for (const GeneRecord& second : engine.genes[1]) {
        if (first.cogId == second.cogId) candidates.push_back({first.sequence, second.sequence});
      }
    }
  }
  fs::current_path(here);
  return candidates;
}

size_t AlignmentLines(const fs::path& console) {
  std::ifstream in(console);
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) {
    const size_t slash = line.find('/');
    lines += !line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) && slash != std::string::npos &&
             line.find(':', slash) != std::string::npos;
  }
  return lines;
}

// Wall time and CPU time of one call.
struct Timed {
  double seconds = 0;
  double cpuSeconds = 0;
};

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename Fn>
Timed TimeOnce(Fn&& fn) {
  const auto start = Clock::now();
  const double cpuStart = ThreadCpuSeconds();
  fn();
  return {std::chrono::duration<double>(Clock::now() - start).count(), ThreadCpuSeconds() - cpuStart};
}

struct ProgramSeries {
  std::string program;
  fs::path dirs[2];  // one CPU, two CPUs
  Series wall[2], cpu[2], peak[2], faults[2];
};

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--launch") return Launch(argv[2], std::atoi(argv[3]), argv[4]);
  self = fs::canonical("/proc/self/exe").string();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::string> programs;
  for (int a = 2; a < argc; ++a) programs.push_back(fs::absolute(argv[a]).string());
  if (programs.empty()) programs.emplace_back(CIRCOG_BINARY);
  const circog::support::TempDir work;
  std::vector<ProgramSeries> series(programs.size());
  for (size_t p = 0; p < programs.size(); ++p) {
    series[p].program = programs[p];
    for (int c = 0; c < 2; ++c) {
      series[p].dirs[c] = work.path() / ("program" + std::to_string(p) + "-cpus" + std::to_string(c + 1));
      fs::copy(circog::support::SourcePath("example"), series[p].dirs[c], fs::copy_options::recursive);
    }
  }
  std::cout << "CPU: " << circog::support::CpuName() << ", kernel " << circog::BestNwKernel().name << ", "
            << rounds << " rounds\n";

  // The candidate pairs, from a first run's angle files.
  RunProgram(programs[0], series[0].dirs[0], 1);
  const std::vector<Candidate> candidates = LoadCandidates(series[0].dirs[0]);
  double cells = 0;
  for (const Candidate& pair : candidates) cells += static_cast<double>(pair.first.size()) * pair.second.size();
  std::cout << "candidate pairs " << candidates.size() << " (console lines "
            << AlignmentLines(series[0].dirs[0] / "console.txt") << "), " << cells << " cells\n";

  CProteinAligner aligner;
  aligner.LoadScoreTable((series[0].dirs[0] / "PAM-250.txt").string());
  int64_t checksum = 0;
  auto alignAll = [&] {
    for (const Candidate& pair : candidates) checksum += aligner.AlignCounts(pair.first, pair.second).score;
  };
#ifdef CIRCOG_HAVE_PARASAIL
  // parasail takes no empty sequence; those pairs cost circog next to nothing.
  size_t skipped = 0;
  size_t differing = 0;
  for (const Candidate& pair : candidates) {
    if (pair.first.empty() || pair.second.empty()) {
      ++skipped;
      continue;
    }
    parasail_result_t* result = parasail_nw_trace_scan_16(
        pair.first.data(), static_cast<int>(pair.first.size()), pair.second.data(),
        static_cast<int>(pair.second.size()), -kGap, -kGap, &parasail_pam250);
    differing += result->score != aligner.AlignCounts(pair.first, pair.second).score;
    parasail_result_free(result);
  }
  auto parasailAll = [&] {
    for (const Candidate& pair : candidates) {
      if (pair.first.empty() || pair.second.empty()) continue;
      parasail_result_t* result = parasail_nw_trace_scan_16(
          pair.first.data(), static_cast<int>(pair.first.size()), pair.second.data(),
          static_cast<int>(pair.second.size()), -kGap, -kGap, &parasail_pam250);
      checksum += result->score;
      parasail_result_free(result);
    }
  };
  Series parasail, parasailCpu;
  std::vector<Series> ratio(programs.size()), ratioCpu(programs.size());
#endif

  // The mapping's alignments through the pool, as a run makes them, on one
  // and on two threads: wall time and the process's CPU time.
  auto poolAll = [&](int threads) {
    circog::AlignInOrder(
        aligner, candidates.size(),
        [&](size_t k, std::string_view& first, std::string_view& second) {
          first = candidates[k].first;
          second = candidates[k].second;
        },
        [&](size_t, const circog::AlignmentCounts& counts) { checksum += counts.score; }, [] {}, threads);
  };
  Series poolWall[2], poolCpu[2];

  Series ours, oursCpu;
  for (int r = 0; r < rounds; ++r) {
    for (ProgramSeries& s : series) {
      for (int c = 0; c < 2; ++c) {
        const RunResult run = RunProgram(s.program, s.dirs[c], c + 1);
        s.wall[c].Add(run.seconds);
        s.cpu[c].Add(run.cpuSeconds);
        s.peak[c].Add(run.peakMiB);
        s.faults[c].Add(run.pageFaults);
      }
    }
    // The aligners alone, on the first CPU.
    PinTo(1);
    const Timed alone = TimeOnce(alignAll);
    ours.Add(alone.seconds);
    oursCpu.Add(alone.cpuSeconds);
#ifdef CIRCOG_HAVE_PARASAIL
    const Timed theirs = TimeOnce(parasailAll);
    parasail.Add(theirs.seconds);
    parasailCpu.Add(theirs.cpuSeconds);
    for (size_t p = 0; p < series.size(); ++p) {
      ratio[p].Add(theirs.seconds / series[p].wall[0].Last());
      ratioCpu[p].Add(theirs.cpuSeconds / series[p].cpu[0].Last());
    }
#endif
    PinTo(2);
    for (int threads = 1; threads <= 2; ++threads) {
      const double cpuStart = ProcessCpuSeconds();
      const Timed pooled = TimeOnce([&] { poolAll(threads); });
      poolWall[threads - 1].Add(pooled.seconds);
      poolCpu[threads - 1].Add(ProcessCpuSeconds() - cpuStart);
    }
  }

  for (const ProgramSeries& s : series) {
    std::cout << s.program << "\n";
    for (int c = 0; c < 2; ++c) {
      std::printf(
          "  whole run, %d CPU%s  best %.3f s, median %.3f s; CPU time best %.3f s, median %.3f s; "
          "peak %.1f-%.1f MiB; %.0f page faults (median)\n",
          c + 1, c == 0 ? " " : "s", s.wall[c].Best(), s.wall[c].Median(), s.cpu[c].Best(), s.cpu[c].Median(),
          s.peak[c].Best(), s.peak[c].Worst(), s.faults[c].Median());
    }
    std::printf("  2 CPUs against 1: %.2fx (best), %.2fx (median); CPU time %+.1f%% (best)\n",
                s.wall[0].Best() / s.wall[1].Best(), s.wall[0].Median() / s.wall[1].Median(),
                100.0 * (s.cpu[1].Best() / s.cpu[0].Best() - 1.0));
    const bool same = SameOutput(s.dirs[0], s.dirs[1]) && SameOutput(s.dirs[0], series[0].dirs[0]);
    std::cout << "  console and files the same on 1 and 2 CPUs and as the first program's: "
              << (same ? "yes" : "NO") << "\n";
  }
  std::printf("the mapping's alignments through the pool: 1 thread best %.3f s (CPU %.3f s), 2 threads best %.3f s "
              "(CPU %.3f s): %.2fx, CPU time %+.1f%% (best), %+.1f%% (median)\n",
              poolWall[0].Best(), poolCpu[0].Best(), poolWall[1].Best(), poolCpu[1].Best(),
              poolWall[0].Best() / poolWall[1].Best(), 100.0 * (poolCpu[1].Best() / poolCpu[0].Best() - 1.0),
              100.0 * (poolCpu[1].Median() / poolCpu[0].Median() - 1.0));
  std::printf("circog AlignCounts alone  best %.3f s (%.2f GCUPS), median %.3f s; CPU time best %.3f s\n",
              ours.Best(), cells / ours.Best() / 1e9, ours.Median(), oursCpu.Best());
#ifdef CIRCOG_HAVE_PARASAIL
  std::printf(
      "parasail nw_trace_scan_16 best %.3f s (%.2f GCUPS), median %.3f s; CPU time best %.3f s (%zu "
      "pairs with an empty side skipped; scores differ on %zu pairs: residues its table scores apart)\n",
      parasail.Best(), cells / parasail.Best() / 1e9, parasail.Median(), parasailCpu.Best(), skipped,
      differing);
  for (size_t p = 0; p < series.size(); ++p) {
    std::printf(
        "whole run on 1 CPU against parasail alone, %s: wall %.2fx (best against best), %.2fx (median of "
        "rounds); CPU time %.2fx (best against best), %.2fx (median of rounds)\n",
        series[p].program.c_str(), parasail.Best() / series[p].wall[0].Best(), ratio[p].Median(),
        parasailCpu.Best() / series[p].cpu[0].Best(), ratioCpu[p].Median());
  }
#endif
  // Printed so that the timed work cannot be optimised away.
  std::cout << "score checksum " << checksum << "\n";
  return 0;
}
