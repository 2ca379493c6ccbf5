#include "compare/CompareText.h"

#include <cmath>
#include <optional>
#include <unordered_map>

#include "text/TextIo.h"

namespace circog {

GeneRecord ParseAngleLine(std::string_view line) {
  GeneRecord gene;
  const size_t firstTab = line.find('\t');
  gene.cogId = line.substr(0, firstTab);
  if (firstTab == std::string_view::npos) return gene;
  const size_t secondTab = line.find('\t', firstTab + 1);
  gene.angle = static_cast<float>(ParseDecimalPrefix(line.substr(firstTab + 1, secondTab - firstTab - 1)));
  if (secondTab == std::string_view::npos) return gene;
  const size_t thirdTab = line.find('\t', secondTab + 1);
  gene.proteinId = line.substr(secondTab + 1, thirdTab - secondTab - 1);
  return gene;
}

std::string_view ProteinIdentifier(std::string_view header) {
  const size_t bar = header.find('|');
  if (bar == std::string_view::npos) {
    const std::string_view rest = header.substr(1);
    return rest.substr(0, rest.find_first_of(" \t"));
  }
  const size_t start = header.find_first_not_of('|', bar);
  if (start == std::string_view::npos) return std::string_view();
  const size_t end = header.find('|', start);
  return header.substr(start, end == std::string_view::npos ? end : end - start);
}

std::string ProteinFilePath(std::string_view anglePath) {
  const size_t keep = anglePath.size() < 4 ? 0 : anglePath.size() - 4;
  return std::string(anglePath.substr(0, keep)) + ".faa";
}

double CircularDistance(float first, float second) {
  const float difference = first - second;
  const double magnitude = std::fabs(static_cast<double>(difference));
  return magnitude > 180.0 ? 360.0 - magnitude : magnitude;
}

ClosestPair FindClosestPair(const std::vector<MappingEntry>& entries, const std::vector<size_t>& group) {
  const MappingEntry& firstEntry = entries[group.front()];
  ClosestPair best{firstEntry.firstAngles[0], firstEntry.secondAngles[0]};
  float bestDistance = 360.0f;
  for (const size_t m : group) {
    for (size_t p = 0; p < entries[m].firstAngles.size(); ++p) {
      const double distance = CircularDistance(entries[m].firstAngles[p], entries[m].secondAngles[p]);
      if (distance < static_cast<double>(bestDistance)) {
        bestDistance = static_cast<float>(distance);
        best = {entries[m].firstAngles[p], entries[m].secondAngles[p]};
      }
    }
  }
  return best;
}

std::vector<CandidatePair> ListCandidatePairs(const std::vector<GeneRecord>& firstGenes,
                                              const std::vector<GeneRecord>& secondGenes) {
  // The second genome's genes by COG identifier, each list in gene order, so
  // partners come out exactly as a walk over the whole list would meet them.
  std::unordered_map<std::string_view, std::vector<uint32_t>> partners;
  for (uint32_t s = 0; s < secondGenes.size(); ++s) partners[secondGenes[s].cogId].push_back(s);
  std::vector<CandidatePair> candidates;
  for (uint32_t f = 0; f < firstGenes.size(); ++f) {
    const auto found = partners.find(firstGenes[f].cogId);
    if (found == partners.end()) continue;
    for (const uint32_t s : found->second) candidates.push_back({f, s});
  }
  return candidates;
}

CachedSequence SequenceOf(const GeneRecord& gene) { return {gene.sequence, HashSequence(gene.sequence)}; }

namespace {

// Each gene's sequence hashed and placed in the cache once, when first
// needed.
class GeneSequences {
 public:
  GeneSequences(const std::vector<GeneRecord>& genes, const AlignmentCache* cache)
      : genes_(genes), cache_(cache), known_(genes.size()) {}

  struct Known {
    CachedSequence sequence;
    AlignmentCache::Place place;
  };

  const Known& operator[](uint32_t gene) {
    std::optional<Known>& known = known_[gene];
    if (!known) {
      const CachedSequence sequence = SequenceOf(genes_[gene]);
      known = Known{sequence, cache_ != nullptr ? cache_->PlaceOf(sequence) : AlignmentCache::Place{}};
    }
    return *known;
  }

 private:
  const std::vector<GeneRecord>& genes_;
  const AlignmentCache* cache_;
  std::vector<std::optional<Known>> known_;
};

}  // namespace

AlignmentPlan PlanAlignments(const std::vector<CandidatePair>& candidates,
                             const std::vector<GeneRecord>& firstGenes,
                             const std::vector<GeneRecord>& secondGenes, AlignmentCache* cache) {
  AlignmentPlan plan;
  plan.alignmentOf.resize(candidates.size());
  plan.cached.resize(candidates.size());
  GeneSequences firstSequences(firstGenes, cache);
  GeneSequences secondSequences(secondGenes, cache);
  // The alignments planned so far, by the hash of their pair: open
  // addressing over twice as many slots as candidates.
  constexpr uint32_t kNone = UINT32_MAX;
  size_t slots = 16;
  while (slots < 2 * candidates.size()) slots *= 2;
  std::vector<uint32_t> planned(slots, kNone);
  std::vector<uint64_t> pairHashes;  // by alignment
  // Candidates whose counts came from the cache's older generation.
  std::vector<size_t> fromOlder;
  for (size_t k = 0; k < candidates.size(); ++k) {
    const GeneSequences::Known& first = firstSequences[candidates[k].first];
    const GeneSequences::Known& second = secondSequences[candidates[k].second];
    if (cache != nullptr) {
      bool older = false;
      if (const CachedCounts* counts = cache->Find(first.place, second.place, older)) {
        plan.alignmentOf[k] = AlignmentPlan::kFromCache;
        plan.cached[k] = *counts;
        if (older) fromOlder.push_back(k);
        continue;
      }
    }
    const uint64_t pairHash =
        (first.sequence.hash * 0x9E3779B97F4A7C15ULL ^ second.sequence.hash) * 0xff51afd7ed558ccdULL;
    size_t slot = (pairHash >> 32) & (slots - 1);
    for (; planned[slot] != kNone; slot = (slot + 1) & (slots - 1)) {
      const uint32_t alignment = planned[slot];
      const CandidatePair& earlier = candidates[plan.firstCandidate[alignment]];
      if (pairHashes[alignment] == pairHash && firstGenes[earlier.first].sequence == first.sequence.bytes &&
          secondGenes[earlier.second].sequence == second.sequence.bytes) {
        break;
      }
    }
    if (planned[slot] == kNone) {
      planned[slot] = static_cast<uint32_t>(plan.firstCandidate.size());
      plan.firstCandidate.push_back(static_cast<uint32_t>(k));
      pairHashes.push_back(pairHash);
    }
    plan.alignmentOf[k] = planned[slot];
  }
  // Used again: kept in the newer generation (the places found above are
  // stale from here on).
  for (const size_t k : fromOlder) {
    cache->Insert(firstSequences[candidates[k].first].sequence,
                  secondSequences[candidates[k].second].sequence, plan.cached[k]);
  }
  return plan;
}

}  // namespace circog
