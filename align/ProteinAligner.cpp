#include "align/ProteinAligner.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "text/TextIo.h"

namespace {

// Table order: the twenty one-letter codes alphabetically; B J O U X Z have
// no row.
constexpr std::array<int32_t, 26> kResidueIndex = {
    0,  -1, 1,  2,  3,  4,  5,  6,  7,  -1, 8,  9,  10,  // A B C D E F G H I J K L M
    11, -1, 12, 13, 14, 15, 16, -1, 17, 18, -1, 19, -1,  // N O P Q R S T U V W X Y Z
};

constexpr int kTableSize = 20;

}  // namespace

CProteinAligner::CProteinAligner() : m_residueIndex(kResidueIndex), kernel_(&circog::BestNwKernel()) {}

CProteinAligner::CProteinAligner(const CProteinAligner& other)
    : m_similarCount(other.m_similarCount),
      m_residueIndex(other.m_residueIndex),
      m_tableLoaded(other.m_tableLoaded),
      m_scoreTable(other.m_scoreTable),
      m_gapScore(other.m_gapScore),
      kernel_(other.kernel_),
      letterClasses_(other.letterClasses_),
      substitution_(other.substitution_),
      builtIndex_(other.builtIndex_),
      builtFrom_(other.builtFrom_),
      builtGap_(other.builtGap_),
      builtLoaded_(other.builtLoaded_),
      built_(other.built_),
      lowestScore_(other.lowestScore_),
      highestScore_(other.highestScore_) {
  std::memcpy(diagonalSteps_, other.diagonalSteps_, sizeof diagonalSteps_);
}

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
  return !file.bad();
}

void CProteinAligner::RefreshTables() {
  if (built_ && builtLoaded_ == m_tableLoaded && builtIndex_ == m_residueIndex &&
      builtFrom_ == m_scoreTable && builtGap_ == m_gapScore) {
    return;
  }
  built_ = true;
  builtIndex_ = m_residueIndex;
  builtFrom_ = m_scoreTable;
  builtGap_ = m_gapScore;
  builtLoaded_ = m_tableLoaded;
  // A letter whose index names no table row falls into the last class, which
  // scores 0 against anything; so does every byte that is no letter.
  letterClasses_.fill(circog::kNoTableIndex);
  for (int letter = 0; letter < 26; ++letter) {
    const int32_t index = m_residueIndex[letter];
    if (index < 0 || index >= kTableSize) continue;
    letterClasses_[('A' + letter) & 31] = static_cast<uint8_t>(index);
  }
  // Without a loaded table everything scores 0.
  substitution_.fill(0);
  if (m_tableLoaded) {
    for (int p = 0; p < kTableSize; ++p) {
      for (int q = 0; q < kTableSize; ++q) {
        // Only the lower triangle is read.
        substitution_[p * circog::kResidueClasses + q] =
            m_scoreTable[std::max(p, q) * kTableSize + std::min(p, q)];
      }
    }
  }
  circog::NwProblem ranged;
  ranged.substitution = substitution_.data();
  circog::SetScoreRange(ranged);
  lowestScore_ = ranged.lowestScore;
  highestScore_ = ranged.highestScore;
  ranged.gap = m_gapScore;
  circog::SetDiagonalSteps(ranged, diagonalSteps_);
}

void CProteinAligner::ToClasses(std::string_view sequence, std::vector<uint8_t>& classes) const {
  classes.resize(sequence.size());
  kernel_->classify(letterClasses_.data(), sequence.data(), sequence.size(), classes.data());
}

circog::NwProblem CProteinAligner::Prepare(std::string_view first, std::string_view second, Work& work,
                                           circog::TracebackInput& input) {
  ToClasses(first, work.firstClasses);
  ToClasses(second, work.secondClasses);

  circog::NwProblem problem;
  problem.first = work.firstClasses.data();
  problem.n = static_cast<int32_t>(first.size());
  problem.second = work.secondClasses.data();
  problem.m = static_cast<int32_t>(second.size());
  problem.substitution = substitution_.data();
  problem.gap = m_gapScore;
  problem.rangeKnown = true;
  problem.lowestScore = lowestScore_;
  problem.highestScore = highestScore_;
  problem.diagonalSteps = &diagonalSteps_[0][0];

  input.dirs.stride = circog::DirectionStride(problem.m);
  input.dirs.cells = static_cast<uint8_t*>(work.directions.Get(first.size() * input.dirs.stride));
  input.first = first;
  input.second = second;
  input.firstClasses = work.firstClasses.data();
  input.secondClasses = work.secondClasses.data();
  input.substitution = substitution_.data();
  return problem;
}

circog::TracebackInput CProteinAligner::Fill(std::string_view first, std::string_view second,
                                             int32_t& score) {
  RefreshTables();
  circog::TracebackInput input;
  const circog::NwProblem problem = Prepare(first, second, work_[0], input);
  score = kernel_->fill(problem, input.dirs, fillScratch_[0]);
  return input;
}

circog::AlignmentCounts CProteinAligner::AlignCounts(std::string_view first, std::string_view second) {
  circog::AlignmentCounts result;
  const circog::TracebackCounts counts = circog::CountColumns(Fill(first, second, result.score));
  result.similarCount = m_similarCount = counts.similarCount;
  result.columns = counts.columns;
  return result;
}

std::array<circog::AlignmentCounts, 2> CProteinAligner::AlignCountsTwo(std::string_view first0,
                                                                       std::string_view second0,
                                                                       std::string_view first1,
                                                                       std::string_view second1) {
  RefreshTables();
  std::array<circog::TracebackInput, 2> inputs;
  const circog::NwProblem problems[2] = {Prepare(first0, second0, work_[0], inputs[0]),
                                         Prepare(first1, second1, work_[1], inputs[1])};
  circog::DirectionMatrix dirs[2] = {inputs[0].dirs, inputs[1].dirs};
  int32_t scores[2] = {0, 0};
  circog::FillTwo(*kernel_, problems, dirs, fillScratch_.data(), scores);
  std::array<circog::AlignmentCounts, 2> results;
  for (int k = 0; k < 2; ++k) {
    inputs[k].dirs = dirs[k];
    const circog::TracebackCounts counts = circog::CountColumns(inputs[k]);
    results[k] = {scores[k], counts.similarCount, counts.columns};
  }
  m_similarCount = results[1].similarCount;
  return results;
}

int32_t CProteinAligner::Align(const std::string& first, const std::string& second,
                               std::string& alignedFirst, std::string& alignedSecond,
                               std::string& matchLine) {
  int32_t score = 0;
  const circog::TracebackInput input = Fill(first, second, score);
  m_similarCount =
      circog::Traceback(input, traceBuffer_, {alignedFirst, alignedSecond, matchLine}).similarCount;
  return score;
}

double SimilarityRatio(const circog::AlignmentCounts& counts) {
  return static_cast<double>(counts.similarCount) / counts.columns;
}

std::string AlignmentLine(int32_t similarCount, int32_t columns, double ratio) {
  auto shown = static_cast<float>(ratio);
  // 0/0 comes out with the sign bit set on x86; print it as plain "nan".
  if (std::isnan(shown)) shown = std::fabs(shown);
  return std::to_string(similarCount) + "/" + std::to_string(columns) + ":" +
         circog::FormatG(static_cast<double>(shown));
}
