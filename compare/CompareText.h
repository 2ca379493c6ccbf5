#pragma once
// The logic of the comparison stages as free functions, kept apart from the
// engine's file work so tests call them directly.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compare/AlignmentCache.h"
#include "engine/MappingEngine.h"

namespace circog {

// A gene of an angle-file line: COG identifier, angle and protein identifier
// from its first three tab-separated fields (missing ones empty, the angle
// then 0); later fields are ignored.
GeneRecord ParseAngleLine(std::string_view line);

// The protein identifier of a FASTA header line (">" included): with a '|',
// the first non-empty field after the first '|'; without one, the first word
// after '>'. A view into header.
std::string_view ProteinIdentifier(std::string_view header);

// The protein file beside an angle file: its last four characters replaced by ".faa".
std::string ProteinFilePath(std::string_view anglePath);

// How far apart two angles lie on the circle, in degrees (0 to 180 for angles
// within one turn).
double CircularDistance(float first, float second);

// A candidate pair: a gene of the first genome and a gene of the second
// that carry the same COG identifier, by their positions in the gene lists.
struct CandidatePair {
  uint32_t first;
  uint32_t second;
};

// Every candidate pair in mapping order: first genes in list order, each with
// its partners in list order.
std::vector<CandidatePair> ListCandidatePairs(const std::vector<GeneRecord>& firstGenes,
                                              const std::vector<GeneRecord>& secondGenes);

// Where each candidate's alignment counts come from: the cache, or one
// alignment per distinct pair of sequences not in it, made for the first
// candidate that holds that pair. Alignments are numbered in the order of
// their first candidates.
struct AlignmentPlan {
  static constexpr uint32_t kFromCache = UINT32_MAX;
  std::vector<uint32_t> alignmentOf;     // per candidate: its alignment, or kFromCache
  std::vector<CachedCounts> cached;      // per candidate: the counts when from the cache
  std::vector<uint32_t> firstCandidate;  // per alignment: the candidate whose sequences it aligns
};

// The plan for candidates of firstGenes against secondGenes; cache may be
// null (then equal pairs within the candidates are still aligned once).
AlignmentPlan PlanAlignments(const std::vector<CandidatePair>& candidates,
                             const std::vector<GeneRecord>& firstGenes,
                             const std::vector<GeneRecord>& secondGenes, AlignmentCache* cache);

// A gene's sequence as the cache files it.
CachedSequence SequenceOf(const GeneRecord& gene);

struct ClosestPair {
  float first = 0;
  float second = 0;
};

// The pair lying closest on the circle over the given entries, in order;
// among equal distances the earliest wins, and the first pair stands when no
// distance is below a full turn (angles that are not numbers).
ClosestPair FindClosestPair(const std::vector<MappingEntry>& entries, const std::vector<size_t>& group);

}  // namespace circog
