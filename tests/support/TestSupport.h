#pragma once
// Helpers shared by the tests and the benchmarks: repository paths, FASTA
// reading, the published score table as the fill kernels read it, residue
// classes, random and mutated proteins, temporary directories.

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace circog::support {

// A file of the source tree, e.g. SourcePath("data/PAM-250.txt").
std::string SourcePath(std::string_view relative);

struct FastaRecord {
  std::string header;  // the whole '>' line
  std::string sequence;
};

// Every record of a FASTA file in file order; empty when it cannot be read.
std::vector<FastaRecord> ReadFasta(const std::string& path);

// What a header says of its protein, without identifiers or organism: the text
// after the last '|' (or after the first word without one), up to " [".
std::string Description(std::string_view header);

// The twenty residues in table order.
inline constexpr std::string_view kResidues = "ACDEFGHIKLMNPQRSTVWY";

// The residue class of a letter (either case), 20 for anything else.
uint8_t ClassOf(char letter);
std::vector<uint8_t> ToClasses(std::string_view text);

// data/PAM-250.txt read by this library's own code, mirrored into the
// 21 x 21 class table the fill kernels take; class 20 scores 0.
const std::vector<int32_t>& Pam250Classes();

// A random sequence over the alphabet.
std::string RandomProtein(std::mt19937& rng, size_t length, std::string_view alphabet = kResidues);

// A homolog-like copy: about rate of the residues substituted, inserted
// before or deleted, with short indels.
std::string Mutate(std::mt19937& rng, std::string_view source, double rate);

// The CPU's model name, as /proc/cpuinfo gives it.
std::string CpuName();

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes bytes to a file under the directory, creating folders on the way.
  std::string Write(const std::string& relative, std::string_view bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace circog::support
