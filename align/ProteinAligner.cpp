#include "align/ProteinAligner.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "align/Traceback.h"
#include "text/TextIo.h"

namespace {

// Table order: the twenty one-letter codes alphabetically; B J O U X Z have
// no row.
constexpr std::array<int32_t, 26> kResidueIndex = {
    0,  -1, 1,  2,  3,  4,  5,  6,  7,  -1, 8,  9,  10,  // A B C D E F G H I J K L M
    11, -1, 12, 13, 14, 15, 16, -1, 17, 18, -1, 19, -1,  // N O P Q R S T U V W X Y Z
};

constexpr int kTableSize = 20;

// The residue class of every byte, either case, for the fill kernels.
constexpr std::array<uint8_t, 256> kClassOfByte = [] {
  std::array<uint8_t, 256> classes{};
  classes.fill(circog::kNoTableIndex);
  for (int letter = 0; letter < 26; ++letter) {
    if (kResidueIndex[letter] < 0) continue;
    classes['A' + letter] = static_cast<uint8_t>(kResidueIndex[letter]);
    classes['a' + letter] = static_cast<uint8_t>(kResidueIndex[letter]);
  }
  return classes;
}();

}  // namespace

CProteinAligner::CProteinAligner(std::ostream& console)
    : m_residueIndex(kResidueIndex), console_(console), kernel_(&circog::BestNwKernel()) {}

CProteinAligner::CProteinAligner(const CProteinAligner& other)
    : m_similarCount(other.m_similarCount),
      m_residueIndex(other.m_residueIndex),
      m_tableLoaded(other.m_tableLoaded),
      m_scoreTable(other.m_scoreTable),
      m_gapScore(other.m_gapScore),
      console_(other.console_),
      kernel_(other.kernel_),
      substitution_(other.substitution_),
      builtFrom_(other.builtFrom_),
      builtLoaded_(other.builtLoaded_) {}

int32_t CProteinAligner::ResidueIndex(unsigned char letter) const {
  if (letter >= 'a' && letter <= 'z') return m_residueIndex[letter - 'a'];
  if (letter >= 'A' && letter <= 'Z') return m_residueIndex[letter - 'A'];
  return -1;
}

bool CProteinAligner::LoadScoreTable(const std::string& fileName) {
  m_scoreTable.fill(0);
  // A FIFO or device would block or never end: only a regular file is read.
  std::ifstream file;
  if (circog::IsRegularFile(fileName)) file.open(fileName);
  // Only a value read whole is stored: where reading stops, that entry and
  // every later one stay 0.
  bool reading = file.is_open();
  for (int row = 0; row < kTableSize && reading; ++row) {
    for (int column = 0; column <= row && reading; ++column) {
      int32_t value = 0;
      reading = static_cast<bool>(file >> value);
      if (reading) m_scoreTable[row * kTableSize + column] = value;
    }
  }
  m_tableLoaded = true;
  RefreshSubstitution();
  return !file.bad();
}

void CProteinAligner::RefreshSubstitution() {
  if (builtLoaded_ == m_tableLoaded && builtFrom_ == m_scoreTable) return;
  builtFrom_ = m_scoreTable;
  builtLoaded_ = m_tableLoaded;
  // Without a loaded table everything scores 0, and so does a residue
  // without a table index (the last class) against anything.
  substitution_.fill(0);
  if (!m_tableLoaded) return;
  for (int p = 0; p < kTableSize; ++p) {
    for (int q = 0; q < kTableSize; ++q) {
      // Only the lower triangle is read.
      substitution_[p * circog::kResidueClasses + q] =
          m_scoreTable[std::max(p, q) * kTableSize + std::min(p, q)];
    }
  }
}

void CProteinAligner::ToClasses(const std::string& sequence, std::vector<uint8_t>& classes) const {
  classes.resize(sequence.size());
  for (size_t k = 0; k < sequence.size(); ++k) {
    classes[k] = kClassOfByte[static_cast<unsigned char>(sequence[k])];
  }
}

int32_t CProteinAligner::AlignQuietly(const std::string& first, const std::string& second,
                                      std::string& alignedFirst, std::string& alignedSecond,
                                      std::string& matchLine) {
  m_similarCount = 0;
  RefreshSubstitution();
  ToClasses(first, firstClasses_);
  ToClasses(second, secondClasses_);

  circog::NwProblem problem;
  problem.first = firstClasses_.data();
  problem.n = static_cast<int32_t>(first.size());
  problem.second = secondClasses_.data();
  problem.m = static_cast<int32_t>(second.size());
  problem.substitution = substitution_.data();
  problem.gap = m_gapScore;

  circog::DirectionMatrix dirs;
  dirs.stride = circog::DirectionStride(problem.m);
  dirs.cells = static_cast<uint8_t*>(directions_.Get(first.size() * dirs.stride));
  const int32_t score = kernel_->fill(problem, dirs, fillScratch_);

  circog::TracebackInput input;
  input.first = first;
  input.second = second;
  input.firstClasses = firstClasses_.data();
  input.secondClasses = secondClasses_.data();
  input.substitution = substitution_.data();
  input.dirs = dirs;
  m_similarCount =
      circog::Traceback(input, traceBuffer_, {alignedFirst, alignedSecond, matchLine});
  return score;
}

int32_t CProteinAligner::Align(const std::string& first, const std::string& second,
                               std::string& alignedFirst, std::string& alignedSecond,
                               std::string& matchLine) {
  const int32_t score = AlignQuietly(first, second, alignedFirst, alignedSecond, matchLine);
  circog::PrintLine(console_, AlignmentLine(m_similarCount, matchLine.size()));
  return score;
}

std::string AlignmentLine(int32_t similarCount, size_t length) {
  float ratio = static_cast<float>(similarCount) / static_cast<float>(length);
  // 0/0 comes out with the sign bit set on x86; print it as plain "nan".
  if (std::isnan(ratio)) ratio = std::fabs(ratio);
  return std::to_string(similarCount) + "/" + std::to_string(length) + ":" +
         circog::FormatG(static_cast<double>(ratio));
}
