#pragma once
// What the mapping learnt from alignments already made in this run, keyed by
// the two sequences' bytes, so that a pair of sequences met again (within a
// pair of genomes, or in a later one: strains of a species share most of
// their proteins exactly) is not aligned again. Only what the mapping needs
// is kept: the similar columns and the alignment length.
//
// Memory stays under a limit: entries live in two generations, each allowed
// half of it. When the newer one is full, the older one is dropped whole and
// the newer one takes its place; an entry found in the older generation is
// copied into the newer one. So what was used within about the last half of
// the limit stays, the rest goes, and the results never change, only how
// often an alignment is made again.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace circog {

// A sequence with the hash the cache files it under (HashSequence's, or any
// other fixed function of the bytes: equal bytes must give equal hashes).
struct CachedSequence {
  std::string_view bytes;
  uint64_t hash = 0;
};

uint64_t HashSequence(std::string_view bytes);

// The limit a run's cache is given: an eighth of the memory the process may
// still use (see MemoryBudget.h), at most 256 MiB.
size_t RunCacheBytes();

struct CachedCounts {
  int32_t similarCount = 0;
  int32_t columns = 0;
};

class AlignmentCache {
 public:
  // byteLimit: what both generations together may hold, their tables
  // included.
  explicit AlignmentCache(size_t byteLimit);
  ~AlignmentCache();
  AlignmentCache(const AlignmentCache&) = delete;
  AlignmentCache& operator=(const AlignmentCache&) = delete;

  // Outcomes depend on the score table: a different one (any number, the
  // residue order or the gap score) empties the cache. The table is 20 x 20
  // entries as CProteinAligner keeps it.
  void UseTable(const int32_t* scoreTable, const int32_t* residueIndex, bool loaded, int32_t gap);

  // The counts of first aligned against second, or null. The pointer holds
  // until the next Insert.
  const CachedCounts* Find(const CachedSequence& first, const CachedSequence& second);
  void Insert(const CachedSequence& first, const CachedSequence& second, CachedCounts counts);

  // Where a sequence is held: its number in each generation, or none. Valid
  // until the next Insert; a caller that looks up many pairs of a few
  // sequences finds each sequence once.
  struct Place {
    uint32_t newer;
    uint32_t older;
  };
  Place PlaceOf(const CachedSequence& sequence) const;
  // The counts of the pair of sequences so placed, or null; older is set
  // when they come from the older generation, and then an Insert of the
  // same pair keeps them in the newer one.
  const CachedCounts* Find(Place first, Place second, bool& older);

  // The console line of an alignment with these counts ("87/120:0.725",
  // as AlignmentLine gives it), formatted once and kept: a run's lines repeat
  // (among millions, a few tens of thousands differ). The view holds until
  // the next call.
  std::string_view Line(CachedCounts counts);

  size_t Bytes() const;
  size_t Entries() const;
  uint64_t Lookups() const { return lookups_; }
  uint64_t Hits() const { return hits_; }

 private:
  class Generation;

  // Moves the newer generation into the older one's place once it is full.
  void Age();

  size_t generationLimit_;
  std::unique_ptr<Generation> newer_;
  std::unique_ptr<Generation> older_;
  // Lines by their counts, a slot each for the counts that hash to it.
  struct KeptLine {
    uint64_t key = UINT64_MAX;
    std::string text;
  };
  std::vector<KeptLine> lines_;
  std::vector<int32_t> table_;  // score table, residue order, loaded flag and gap of the outcomes held
  CachedCounts found_;          // what Find returns from the older generation
  uint64_t lookups_ = 0;
  uint64_t hits_ = 0;
};

}  // namespace circog
