#pragma once
// Global alignment of two protein sequences with a substitution table and a
// linear gap score: the score, the count of identical or similar columns and
// the alignment length, and on request the aligned strings and a marker line.
// The aligner prints nothing; AlignmentLine gives the caller its console text.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "align/NwFill.h"
#include "align/NwKernels.h"
#include "align/Traceback.h"

namespace circog {

struct AlignmentCounts {
  int32_t score = 0;
  int32_t similarCount = 0;  // columns marked '|' or ':'
  int32_t columns = 0;       // alignment length
};

}  // namespace circog

class CProteinAligner {
 public:
  CProteinAligner();
  // A copy shares nothing but the tables: each worker thread aligns with its
  // own copy.
  CProteinAligner(const CProteinAligner& other);
  CProteinAligner& operator=(const CProteinAligner&) = delete;

  // Table index of a residue letter (either case) through m_residueIndex, -1
  // for any other byte.
  int32_t ResidueIndex(unsigned char letter) const;

  // Reads the lower triangle of the table, 210 integers, row by row. Entries
  // that cannot be read stay 0, and a missing file (or one that is no regular
  // file) leaves them all 0; the table counts as loaded in every case. False
  // only when reading the file fails part way.
  bool LoadScoreTable(const std::string& fileName);

  // Aligns first against second and counts, without building any text; sets
  // m_similarCount.
  circog::AlignmentCounts AlignCounts(std::string_view first, std::string_view second);

  // Two alignments at once, each as AlignCounts gives it (faster than one
  // after the other where the kernel fills two at once); m_similarCount is
  // the second one's.
  std::array<circog::AlignmentCounts, 2> AlignCountsTwo(std::string_view first0, std::string_view second0,
                                                        std::string_view first1, std::string_view second1);

  // The same alignment, replacing the three strings with the aligned first and
  // second sequences and the marker line; sets m_similarCount and returns the
  // score.
  int32_t Align(const std::string& first, const std::string& second, std::string& alignedFirst,
                std::string& alignedSecond, std::string& matchLine);

  // Chooses the fill kernel (tests and benchmarks); the default is the best
  // kernel the CPU supports.
  void UseKernel(const circog::NwKernel& kernel) { kernel_ = &kernel; }

  // Edits of the tables below count from the next alignment on.
  int32_t m_similarCount = 0;
  std::array<int32_t, 26> m_residueIndex;
  bool m_tableLoaded = false;
  std::array<int32_t, 20 * 20> m_scoreTable{};  // [row * 20 + column]
  int32_t m_gapScore = -6;

 private:
  using Substitution = std::array<int32_t, circog::kResidueClasses * circog::kResidueClasses>;

  // Storage for one alignment, reused from call to call and never shared by
  // copies.
  struct Work {
    std::vector<uint8_t> firstClasses;
    std::vector<uint8_t> secondClasses;
    circog::NwScratch directions;
  };

  void RefreshTables();
  void ToClasses(std::string_view sequence, std::vector<uint8_t>& classes) const;
  // The problem of first against second, its classes in work, and its
  // direction matrix (to be filled) in input.
  circog::NwProblem Prepare(std::string_view first, std::string_view second, Work& work,
                            circog::TracebackInput& input);
  // Fills the directions of first against second, sets score to the
  // alignment score and returns what the traceback walks.
  circog::TracebackInput Fill(std::string_view first, std::string_view second, int32_t& score);

  const circog::NwKernel* kernel_;

  // What the kernels read, built from the public tables: the residue class of
  // every letter and the symmetric class-by-class scores. The copies they were
  // built from tell when a caller has edited a public table.
  std::array<uint8_t, 32> letterClasses_{};  // by letter & 31, as NwClassifyFn takes it
  Substitution substitution_{};
  std::array<int32_t, 26> builtIndex_{};
  std::array<int32_t, 20 * 20> builtFrom_{};
  int32_t builtGap_ = 0;
  bool builtLoaded_ = false;
  bool built_ = false;
  int32_t lowestScore_ = 0;  // the extremes of substitution_
  int32_t highestScore_ = 0;
  uint8_t diagonalSteps_[circog::kResidueClasses][32] = {};  // as NwProblem::diagonalSteps

  std::array<Work, 2> work_;
  std::array<circog::NwScratch, 2> fillScratch_;  // the kernels' own, one per alignment
  std::vector<char> traceBuffer_;
};

// similarCount / columns in double precision, the value a threshold is
// compared with; 0/0 (two empty sequences) is not a number.
double SimilarityRatio(const circog::AlignmentCounts& counts);

// The console line of one alignment, without its line end: "87/120:0.725".
// The ratio is shown as a 32-bit float; narrowing the double ratio gives
// exactly the quotient of the counts taken as floats.
std::string AlignmentLine(int32_t similarCount, int32_t columns, double ratio);
