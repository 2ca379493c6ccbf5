#pragma once
// Global alignment of two protein sequences with a substitution table and a
// linear gap score, with the aligned strings, a marker line and the count of
// identical or similar columns.

#include <array>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "align/NwFill.h"
#include "align/NwKernels.h"

class CProteinAligner {
 public:
  explicit CProteinAligner(std::ostream& console = std::cout);
  // A copy shares nothing but the table and the console: each worker thread
  // aligns with its own copy.
  CProteinAligner(const CProteinAligner& other);
  CProteinAligner& operator=(const CProteinAligner&) = delete;

  // Table index of a residue letter (either case), -1 for any other byte.
  int32_t ResidueIndex(unsigned char letter) const;

  // Reads the lower triangle of the table, 210 integers, row by row. Entries
  // that cannot be read stay 0, and a missing file (or one that is no regular
  // file) leaves them all 0; the table counts as loaded in every case. False
  // only when reading the file fails part way.
  bool LoadScoreTable(const std::string& fileName);

  // Aligns first against second, fills the three strings, sets
  // m_similarCount, prints "similar/length:ratio" and returns the score.
  int32_t Align(const std::string& first, const std::string& second, std::string& alignedFirst,
                std::string& alignedSecond, std::string& matchLine);

  // The same alignment without the console line.
  int32_t AlignQuietly(const std::string& first, const std::string& second,
                       std::string& alignedFirst, std::string& alignedSecond,
                       std::string& matchLine);

  // Chooses the fill kernel (tests and benchmarks); the default is the best
  // kernel the CPU supports.
  void UseKernel(const circog::NwKernel& kernel) { kernel_ = &kernel; }

  int32_t m_similarCount = 0;
  std::array<int32_t, 26> m_residueIndex;
  bool m_tableLoaded = false;
  std::array<int32_t, 20 * 20> m_scoreTable{};  // [row * 20 + column]
  int32_t m_gapScore = -6;

 private:
  using Substitution = std::array<int32_t, circog::kResidueClasses * circog::kResidueClasses>;

  void RefreshSubstitution();
  void ToClasses(const std::string& sequence, std::vector<uint8_t>& classes) const;

  std::ostream& console_;
  const circog::NwKernel* kernel_;

  // The symmetric class-by-class scores the kernels read, and the table and
  // flag they were built from, so a caller editing m_scoreTable still counts.
  Substitution substitution_{};
  std::array<int32_t, 20 * 20> builtFrom_{};
  bool builtLoaded_ = false;

  // Working storage, reused from call to call and never shared by copies.
  std::vector<uint8_t> firstClasses_;
  std::vector<uint8_t> secondClasses_;
  circog::NwScratch directions_;
  circog::NwScratch fillScratch_;
  std::vector<char> traceBuffer_;
};

// The console line of one alignment, without its line end: "87/120:0.725".
std::string AlignmentLine(int32_t similarCount, size_t length);
