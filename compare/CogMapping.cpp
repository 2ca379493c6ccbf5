#include "align/ProteinAligner.h"
#include "compare/AlignmentPool.h"
#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

const char* const kScoreTable = "PAM-250.txt";

}  // namespace

bool CMappingEngine::MapGenes(bool alignmentEnabled) {
  const float threshold =
      static_cast<float>(circog::ParseDecimalPrefix(GetConfigValue(ConfigKey::Similarity)));
  CProteinAligner aligner;
  circog::PrintLine(console_, "#\tProcessing mapping");
  if (alignmentEnabled) {
    if (!aligner.LoadScoreTable(kScoreTable)) {
      unreadableInput = kScoreTable;
      return false;
    }
    circog::PrintLine(console_, "Similarity: " + circog::FormatG(threshold));
  }
  mappingResults.clear();

  const std::vector<GeneRecord>& firstGenes = genes[0];
  const std::vector<GeneRecord>& secondGenes = genes[1];
  const std::vector<circog::CandidatePair> candidates = circog::ListCandidatePairs(firstGenes, secondGenes);

  MappingEntry working;
  auto accept = [&](size_t k, bool accepted) {
    const circog::CandidatePair& pair = candidates[k];
    if (accepted) {
      working.firstAngles.push_back(firstGenes[pair.first].angle);
      working.secondAngles.push_back(secondGenes[pair.second].angle);
    }
    // The last partner of a first gene closes its entry.
    if (k + 1 == candidates.size() || candidates[k + 1].first != pair.first) {
      if (!working.firstAngles.empty()) {
        working.cogId = firstGenes[pair.first].cogId;
        mappingResults.push_back(std::move(working));
      }
      working = MappingEntry();
    }
  };

  if (!alignmentEnabled) {
    for (size_t k = 0; k < candidates.size(); ++k) accept(k, true);
  } else {
    // Called from the worker threads.
    auto pairAt = [&](size_t k, std::string_view& first, std::string_view& second) {
      first = firstGenes[candidates[k].first].sequence;
      second = secondGenes[candidates[k].second].sequence;
    };
    // Alignment lines go out whenever the mapping would otherwise wait, and
    // at its end line, rather than one system call per line.
    auto consume = [&](size_t k, const circog::AlignmentCounts& counts) {
      // Two empty sequences give 0/0, which is not a number and never accepted.
      const double ratio = SimilarityRatio(counts);
      circog::WriteLine(console_, AlignmentLine(counts.similarCount, counts.columns, ratio));
      accept(k, ratio > static_cast<double>(threshold));
    };
    circog::AlignInOrder(aligner, candidates.size(), pairAt, consume, [&] { console_.flush(); });
  }
  circog::PrintLine(console_, "#\tEnd of processing mapping");
  return true;
}
