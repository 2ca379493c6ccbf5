#include <algorithm>
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
struct Candidates {
  std::vector<const std::vector<uint32_t>*> partnersOf;  // per first gene, or null
  std::vector<size_t> firstCandidate;                    // per first gene, then the total

  size_t Count() const { return firstCandidate.back(); }
};

Candidates ListCandidates(const std::vector<GeneRecord>& firstGenes, const PartnerIndex& index) {
  Candidates candidates;
  candidates.firstCandidate.push_back(0);
  for (const GeneRecord& gene : firstGenes) {
    const auto found = index.find(gene.cogId);
    const std::vector<uint32_t>* partners = found == index.end() ? nullptr : &found->second;
    candidates.partnersOf.push_back(partners);
    candidates.firstCandidate.push_back(candidates.firstCandidate.back() +
                                        (partners ? partners->size() : 0));
  }
  return candidates;
}

}  // namespace

bool CMappingEngine::MapGenes(bool alignmentEnabled) {
  const float threshold =
      static_cast<float>(circog::ParseDecimalPrefix(GetConfigValue(ConfigKey::Similarity)));
  CProteinAligner aligner(console_);
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
  const PartnerIndex index = IndexByCog(secondGenes);
  const Candidates candidates = ListCandidates(firstGenes, index);

  // Candidate k belongs to first gene f and partner position k - firstCandidate[f].
  size_t f = 0;
  MappingEntry working;
  auto accept = [&](size_t k, bool accepted) {
    while (k >= candidates.firstCandidate[f + 1]) ++f;
    const size_t position = k - candidates.firstCandidate[f];
    if (accepted) {
      const GeneRecord& partner = secondGenes[(*candidates.partnersOf[f])[position]];
      working.firstAngles.push_back(firstGenes[f].angle);
      working.secondAngles.push_back(partner.angle);
    }
    // The last partner of a first gene closes its entry.
    if (position + 1 == candidates.partnersOf[f]->size()) {
      if (!working.firstAngles.empty()) {
        working.cogId = firstGenes[f].cogId;
        mappingResults.push_back(std::move(working));
      }
      working = MappingEntry();
    }
  };

  if (!alignmentEnabled) {
    for (size_t k = 0; k < candidates.Count(); ++k) accept(k, true);
  } else {
    // Finds each candidate's pair of genes; called from the worker threads.
    auto pairAt = [&](size_t k, const std::string*& first, const std::string*& second) {
      const auto begin = candidates.firstCandidate.begin();
      const size_t gene = static_cast<size_t>(
          std::upper_bound(begin, candidates.firstCandidate.end(), k) - begin - 1);
      first = &firstGenes[gene].sequence;
      second = &secondGenes[(*candidates.partnersOf[gene])[k - candidates.firstCandidate[gene]]].sequence;
    };
    // Alignment lines go out whenever the mapping would otherwise wait, and
    // at its end line, rather than one system call per line.
    auto consume = [&](size_t k, const circog::AlignmentOutcome& outcome) {
      circog::WriteLine(console_, AlignmentLine(outcome.similarCount, outcome.length));
      // Two empty sequences give 0/0, which is not a number and never accepted.
      const double ratio = static_cast<double>(outcome.similarCount) / outcome.length;
      accept(k, ratio > static_cast<double>(threshold));
    };
    circog::AlignInOrder(aligner, candidates.Count(), pairAt, consume, [&] { console_.flush(); });
  }
  circog::PrintLine(console_, "#\tEnd of processing mapping");
  return true;
}
