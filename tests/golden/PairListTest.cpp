// Runs over chosen pairs against one run over every pair, end to end through
// the built binary. The seven genomes are the example's two real ones
// (example/genes) and five derived from them: each with its origin moved and
// only every second to fifth gene kept. Alignment is off: with it the runs
// take minutes under ThreadSanitizer, and what a pair list changes (which
// genomes are loaded and read ahead, and when) is the same without it. Every
// result file of a chosen pair must equal the full run's, byte for byte, no
// other result file may appear, and the console must be the full run's less
// the lines of the pairs and first genomes not chosen.

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

using circog::support::SourcePath;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Where two console texts part: the first differing line of each.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected);
  std::istringstream b(actual);
  std::string left;
  std::string right;
  for (int line = 1;; ++line) {
    const bool more = static_cast<bool>(std::getline(a, left));
    const bool moreActual = static_cast<bool>(std::getline(b, right));
    if (!more && !moreActual) return "equal";
    if (!more || !moreActual || left != right) {
      return "line " + std::to_string(line) + ": expected \"" + (more ? left : "(end)") + "\", got \"" +
             (moreActual ? right : "(end)") + "\"";
    }
  }
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// A gene table with every position moved shift base pairs on around the
// chromosome, keeping one gene row of every keepEvery.
std::string DeriveTable(const std::string& table, long length, long shift, int keepEvery) {
  std::istringstream in(table);
  std::string line;
  std::getline(in, line);
  std::string derived = line + "\n";
  for (int row = 0; std::getline(in, line); ++row) {
    std::vector<std::string> fields = Fields(line);
    if (row % keepEvery != 0 || fields.size() < 4) continue;
    fields[3] = std::to_string((std::stol(fields[3]) + shift) % length);
    for (size_t k = 0; k < fields.size(); ++k) derived += (k ? "\t" : "") + fields[k];
    derived += "\n";
  }
  return derived;
}

struct Genome {
  std::string name;
  std::string source;
  long shiftPerMille;
  int keepEvery;
};

// In the order of their names, which numbers them.
const std::vector<Genome> kGenomes = {
    {"Ecoli_K12", "Ecoli_K12", 0, 1},          {"Ecoli_K12_r1", "Ecoli_K12", 333, 3},
    {"Ecoli_K12_r2", "Ecoli_K12", 750, 4},     {"Ecoli_K12_r3", "Ecoli_K12", 100, 2},
    {"Styphi_CT18", "Styphi_CT18", 0, 1},      {"Styphi_CT18_r1", "Styphi_CT18", 500, 3},
    {"Styphi_CT18_r2", "Styphi_CT18", 900, 5},
};

// A working directory with the seven genomes, alignment off.
void MakeInputs(const fs::path& dir) {
  fs::create_directories(dir / "genes");
  fs::create_directories(dir / "angle1");
  fs::create_directories(dir / "out");
  const std::map<std::string, long> lengths = {{"Ecoli_K12", 4639675}, {"Styphi_CT18", 4809037}};
  std::string sizes;
  for (const Genome& genome : kGenomes) {
    const long length = lengths.at(genome.source);
    sizes += genome.name + "\t" + std::to_string(length) + "\n";
    WriteBytes(dir / "genes" / (genome.name + ".tab"),
               DeriveTable(ReadBytes(SourcePath("example/genes/" + genome.source + ".tab")), length,
                           length * genome.shiftPerMille / 1000, genome.keepEvery));
  }
  WriteBytes(dir / "genome_sizes.txt", sizes);
  std::string config = ReadBytes(SourcePath("example/config.txt"));
  const std::string alignment = "AlignmentFlag=TRUE";
  config.replace(config.find(alignment), alignment.size(), "AlignmentFlag=FALSE");
  WriteBytes(dir / "config.txt", config);
}

struct RunResult {
  int status = -1;
  std::string console;
};

// circog in dir, on every CPU or on the first one allowed.
RunResult RunCircog(const fs::path& dir, bool oneCpu) {
  std::string cpus;
  cpu_set_t set;
  if (oneCpu && sched_getaffinity(0, sizeof set, &set) == 0) {
    for (int cpu = 0; cpu < CPU_SETSIZE && cpus.empty(); ++cpu) {
      if (CPU_ISSET(cpu, &set)) cpus = "taskset -c " + std::to_string(cpu) + " ";
    }
  }
  const std::string command = "cd '" + dir.string() + "' && exec " + cpus +
                              "timeout 600 '" CIRCOG_BINARY "' </dev/null >console.out 2>/dev/null";
  const int wait = std::system(command.c_str());
  RunResult run{WIFEXITED(wait) ? WEXITSTATUS(wait) : -1, ReadBytes(dir / "console.out")};
  fs::remove(dir / "console.out");
  return run;
}

// A console cut where the pair phase begins (after the second scan's count
// and its empty line), the pair phase split at its "size is " lines.
struct Console {
  std::string head;
  std::vector<std::string> segments;
};

Console Split(const std::string& text, const std::string& sizeLine) {
  const size_t count = text.rfind("@ Number of list:");
  const size_t start = text.find("\n\n", count) + 2;
  Console console{text.substr(0, start), {""}};
  std::istringstream in(text.substr(start));
  for (std::string line; std::getline(in, line);) {
    if (line + "\n" == sizeLine) {
      console.segments.emplace_back();
    } else {
      console.segments.back() += line + "\n";
    }
  }
  return console;
}

// What a run over the chosen pairs prints in its pair phase, made of a full
// run's segments: a first genome's load, then its chosen pairs, each after a
// "size is " line, then two "size is " lines; the rounds follow one "size is "
// line.
std::string ExpectedPairPhase(const Console& full, int genomes, const std::set<std::pair<int, int>>& chosen,
                              const std::string& sizeLine) {
  std::string expected = sizeLine;
  size_t at = 1;
  for (int i = 0; i < genomes; ++i) {
    const std::string& load = full.segments.at(at++);
    std::string pairs;
    for (int j = i + 1; j < genomes; ++j) {
      const std::string& pair = full.segments.at(at++);
      if (chosen.count({i, j})) pairs += sizeLine + pair;
    }
    at++;  // between the two "size is " lines that close a round
    if (!pairs.empty()) expected += load + pairs + sizeLine + sizeLine;
  }
  return expected;
}

std::map<std::string, std::string> FilesUnder(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path());
  }
  return files;
}

struct Choice {
  const char* name;
  std::string list;
  std::set<std::pair<int, int>> pairs;  // by the genomes' numbers: their names in byte order
  bool oneCpu;
};

class PairListDifferential : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    base_ = new circog::support::TempDir();
    MakeInputs(base_->path() / "inputs");
    fs::copy(base_->path() / "inputs", base_->path() / "full", fs::copy_options::recursive);
    full_ = RunCircog(base_->path() / "full", false);
  }
  static void TearDownTestSuite() {
    delete base_;
    base_ = nullptr;
  }

  static circog::support::TempDir* base_;
  static RunResult full_;
};

circog::support::TempDir* PairListDifferential::base_ = nullptr;
RunResult PairListDifferential::full_;

TEST_F(PairListDifferential, ChosenPairsMatchTheFullRun) {
  ASSERT_EQ(full_.status, 0);
  const fs::path fullDir = base_->path() / "full";
  const int genomes = static_cast<int>(kGenomes.size());
  const std::string sizeLine = "size is " + std::to_string(genomes) + "\n";
  const Console full = Split(full_.console, sizeLine);
  const auto fullResults = FilesUnder(fullDir / "out");
  ASSERT_EQ(fullResults.size(), 3u * genomes * (genomes - 1) / 2);

  const std::vector<Choice> choices = {
      {"a reference in the middle against the others, in either order",
       "Ecoli_K12\tEcoli_K12_r3\nEcoli_K12_r3\tEcoli_K12_r1\nEcoli_K12_r2\tEcoli_K12_r3\n"
       "Styphi_CT18\tEcoli_K12_r3\nEcoli_K12_r3\tStyphi_CT18_r1\nStyphi_CT18_r2\tEcoli_K12_r3\n",
       {{0, 3}, {1, 3}, {2, 3}, {3, 4}, {3, 5}, {3, 6}},
       false},
      {"three genomes, with a comment, an empty line and a pair given twice, on one CPU",
       "# three genomes\nStyphi_CT18_r1\tEcoli_K12_r1\n\nEcoli_K12_r1\tStyphi_CT18\r\n"
       "Styphi_CT18\tStyphi_CT18_r1\nStyphi_CT18\tEcoli_K12_r1\n",
       {{1, 4}, {1, 5}, {4, 5}},
       true},
      {"scattered pairs",
       "Styphi_CT18_r2\tEcoli_K12\nStyphi_CT18\tEcoli_K12_r2\nEcoli_K12_r1\tEcoli_K12_r2\n",
       {{0, 6}, {1, 2}, {2, 4}},
       false},
      {"the last pair alone", "Styphi_CT18_r2\tStyphi_CT18_r1", {{5, 6}}, false},
  };
  for (const Choice& choice : choices) {
    SCOPED_TRACE(choice.name);
    const fs::path dir = base_->path() / ("chosen-" + std::to_string(&choice - choices.data()));
    fs::copy(base_->path() / "inputs", dir, fs::copy_options::recursive);
    WriteBytes(dir / "pairs.txt", choice.list);
    std::ofstream(dir / "config.txt", std::ios::app) << "PairList=.\\pairs.txt\n";
    const RunResult run = RunCircog(dir, choice.oneCpu);
    ASSERT_EQ(run.status, 0);

    std::map<std::string, std::string> expected;
    for (const auto& [i, j] : choice.pairs) {
      for (const char* suffix : {"_mul.txt", "_sin.txt", "_sin_COG.txt"}) {
        const std::string name = kGenomes[i].name + "&" + kGenomes[j].name + suffix;
        expected[name] = fullResults.at(name);
      }
    }
    EXPECT_TRUE(FilesUnder(dir / "out") == expected) << "result files differ from the full run's";
    EXPECT_TRUE(FilesUnder(dir / "angle1") == FilesUnder(fullDir / "angle1"));

    const Console chosen = Split(run.console, sizeLine);
    std::string head = full.head;
    const std::string similarity = "Similarity = 0.3\n";
    head.insert(head.find(similarity) + similarity.size(), "PairList = .\\pairs.txt\n");
    EXPECT_TRUE(chosen.head == head) << FirstDifference(head, chosen.head);
    std::string pairPhase;
    for (size_t k = 0; k < chosen.segments.size(); ++k) pairPhase += (k ? sizeLine : "") + chosen.segments[k];
    const std::string expectedPhase = ExpectedPairPhase(full, genomes, choice.pairs, sizeLine);
    EXPECT_TRUE(pairPhase == expectedPhase) << "pair phase, " << FirstDifference(expectedPhase, pairPhase);
  }
}

}  // namespace
