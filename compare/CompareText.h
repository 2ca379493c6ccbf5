#pragma once
// The logic of the comparison stages as free functions, kept apart from the
// engine's file work so tests call them directly.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

struct ClosestPair {
  float first = 0;
  float second = 0;
};

// The pair lying closest on the circle over the given entries, in order;
// among equal distances the earliest wins, and the first pair stands when no
// distance is below a full turn (angles that are not numbers).
ClosestPair FindClosestPair(const std::vector<MappingEntry>& entries, const std::vector<size_t>& group);

}  // namespace circog
