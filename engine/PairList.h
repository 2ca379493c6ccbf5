#pragma once
// Chosen pairs. A pair list names the genome pairs a run compares, one
// "NAME1<TAB>NAME2" a line, in either order; a genome's name is its angle
// file's name without the extension. The genomes keep the numbers the
// angle-file list gives them, so the chosen pairs are compared in the order,
// and written under the names, of a run over every pair.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace circog {

// What one line of a pair list holds.
struct PairListLine {
  enum class Kind { Skipped, Pair, Malformed, SameGenome };
  Kind kind = Kind::Skipped;
  std::string_view first;
  std::string_view second;
};

// Empty lines and lines beginning with '#' are skipped. A pair is two
// non-empty names separated by one tab, nothing trimmed; a line with no tab,
// more than one, or an empty name is malformed; a pair of one name with
// itself is SameGenome.
PairListLine ParsePairListLine(std::string_view line);

// Why a pair list cannot be used.
struct PairListFault {
  enum class Kind { None, Malformed, SameGenome, UnknownGenome };
  Kind kind = Kind::None;
  int line = 0;      // 1-based, every line of the file counted
  std::string name;  // the name that is no genome of the run
};

// One genome of the pair phase as side 0, and its partners in turn as side 1:
// later genomes of the list, ascending.
struct PairRound {
  int first = 0;
  std::vector<int> partners;
};

// Every pair of a list of genomes: each genome in turn, the last one too,
// with no partner left.
std::vector<PairRound> AllPairRounds(int genomes);

// The pairs (i, j), i < j, in the same order; a genome that is the first of
// no pair has no round. A pair given twice is compared once.
std::vector<PairRound> ChosenPairRounds(std::vector<std::pair<int, int>> pairs);

// Genome names of listed angle files, for looking them up.
class GenomeNames {
 public:
  explicit GenomeNames(const std::vector<std::string>& paths);

  // The list indexes of the files with this name, ascending: more than one
  // only where names differ in no more than the case of their extension.
  std::vector<int> Find(std::string_view name) const;

 private:
  std::vector<std::pair<std::string, int>> sorted_;
};

}  // namespace circog
