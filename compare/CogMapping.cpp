#include <cstdint>
#include <string_view>
#include <unordered_map>

#include "align/ProteinAligner.h"
#include "compare/AlignmentPool.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

const char* const kScoreTable = "PAM-250.txt";

// The second genome's genes by COG identifier, each list in gene order, so
// partners come out exactly as a walk over the whole list would meet them.
using PartnerIndex = std::unordered_map<std::string_view, std::vector<uint32_t>>;

PartnerIndex IndexByCog(const std::vector<GeneRecord>& genes) {
  PartnerIndex index;
  for (uint32_t s = 0; s < genes.size(); ++s) index[genes[s].cogId].push_back(s);
  return index;
}

// The candidate pairs in mapping order: first genes in list order, each with
// its partners in list order.
struct Candidate {
  uint32_t first;
  uint32_t second;
};

std::vector<Candidate> ListCandidates(const std::vector<GeneRecord>& firstGenes, const PartnerIndex& index) {
  std::vector<Candidate> candidates;
  for (uint32_t f = 0; f < firstGenes.size(); ++f) {
    const auto found = index.find(firstGenes[f].cogId);
    if (found == index.end()) continue;
    for (const uint32_t s : found->second) candidates.push_back({f, s});
  }
  return candidates;
}

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
  const std::vector<Candidate> candidates = ListCandidates(firstGenes, IndexByCog(secondGenes));

  MappingEntry working;
  auto accept = [&](size_t k, bool accepted) {
    const Candidate& pair = candidates[k];
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
