#include "compare/AlignmentCache.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "align/ProteinAligner.h"
#include "compare/MemoryBudget.h"

namespace circog {

uint64_t HashSequence(std::string_view bytes) { return std::hash<std::string_view>()(bytes); }

size_t RunCacheBytes() { return std::min(size_t{256} << 20, AvailableMemory() / 8); }

namespace {

constexpr uint32_t kNone = UINT32_MAX;

// Open addressing over a power-of-two number of slots, at most half full.
size_t SlotsFor(size_t entries) {
  size_t slots = 16;
  while (slots < 2 * entries) slots *= 2;
  return slots;
}

// Mixes a 64-bit key, so that the low bits that pick a slot depend on all of it.
uint64_t Mix(uint64_t key) {
  key ^= key >> 33;
  key *= 0xff51afd7ed558ccdULL;
  key ^= key >> 33;
  return key;
}

}  // namespace

// One generation: its sequences stored once each, by number, and the counts
// of pairs of them.
class AlignmentCache::Generation {
 public:
  // The number of a sequence with these bytes, or kNone.
  uint32_t FindSequence(const CachedSequence& sequence) const {
    if (sequences_.empty()) return kNone;
    const size_t mask = sequenceSlots_.size() - 1;
    for (size_t slot = Mix(sequence.hash) & mask;; slot = (slot + 1) & mask) {
      const uint32_t id = sequenceSlots_[slot];
      if (id == kNone) return kNone;
      const Stored& stored = sequences_[id];
      if (stored.hash == sequence.hash && stored.length == sequence.bytes.size() &&
          std::memcmp(stored.bytes, sequence.bytes.data(), stored.length) == 0) {
        return id;
      }
    }
  }

  uint32_t AddSequence(const CachedSequence& sequence) {
    const uint32_t found = FindSequence(sequence);
    if (found != kNone) return found;
    if (2 * (sequences_.size() + 1) > sequenceSlots_.size()) RehashSequences(SlotsFor(sequences_.size() + 1));
    const auto id = static_cast<uint32_t>(sequences_.size());
    sequences_.push_back(
        {sequence.hash, Store(sequence.bytes), static_cast<uint32_t>(sequence.bytes.size())});
    PlaceSequence(id);
    return id;
  }

  const CachedCounts* FindPair(uint32_t first, uint32_t second) const {
    if (pairCount_ == 0) return nullptr;
    const uint64_t key = Key(first, second);
    const size_t mask = pairs_.size() - 1;
    for (size_t slot = Mix(key) & mask;; slot = (slot + 1) & mask) {
      if (pairs_[slot].key == key) return &pairs_[slot].counts;
      if (pairs_[slot].key == kEmpty) return nullptr;
    }
  }

  void AddPair(uint32_t first, uint32_t second, CachedCounts counts) {
    if (FindPair(first, second) != nullptr) return;
    if (2 * (pairCount_ + 1) > pairs_.size()) RehashPairs(SlotsFor(pairCount_ + 1));
    PlacePair({Key(first, second), counts});
    ++pairCount_;
  }

  size_t Bytes() const {
    return arenaBytes_ + sequences_.capacity() * sizeof(Stored) + sequenceSlots_.size() * sizeof(uint32_t) +
           pairs_.size() * sizeof(Pair);
  }

  // At most what the generation holds once a pair of sequences of these
  // lengths is added: a new block for them, and every table grown (while a
  // table grows, its old slots are still held).
  size_t BytesAfterAdding(size_t firstLength, size_t secondLength) const {
    const size_t blocks = std::max(kBlockBytes, firstLength) + std::max(kBlockBytes, secondLength);
    return Bytes() + blocks + 2 * (sequences_.capacity() + 2) * sizeof(Stored) +
           2 * SlotsFor(sequences_.size() + 2) * sizeof(uint32_t) +
           2 * SlotsFor(pairCount_ + 1) * sizeof(Pair);
  }
  size_t Pairs() const { return pairCount_; }

 private:
  static constexpr uint64_t kEmpty = UINT64_MAX;
  // Sequences go into blocks of this size, or one of their own if longer.
  static constexpr size_t kBlockBytes = size_t{64} << 10;

  struct Stored {
    uint64_t hash;
    const char* bytes;
    uint32_t length;
  };
  struct Pair {
    uint64_t key;
    CachedCounts counts;
  };

  static uint64_t Key(uint32_t first, uint32_t second) { return uint64_t{first} << 32 | second; }

  const char* Store(std::string_view bytes) {
    if (bytes.size() > blockLeft_) {
      const size_t size = std::max(kBlockBytes, bytes.size());
      blocks_.push_back(std::make_unique<char[]>(size));
      arenaBytes_ += size;
      blockAt_ = blocks_.back().get();
      blockLeft_ = size;
    }
    char* at = blockAt_;
    if (!bytes.empty()) std::memcpy(at, bytes.data(), bytes.size());
    blockAt_ += bytes.size();
    blockLeft_ -= bytes.size();
    return at;
  }

  void PlaceSequence(uint32_t id) {
    const size_t mask = sequenceSlots_.size() - 1;
    size_t slot = Mix(sequences_[id].hash) & mask;
    while (sequenceSlots_[slot] != kNone) slot = (slot + 1) & mask;
    sequenceSlots_[slot] = id;
  }

  void RehashSequences(size_t slots) {
    sequenceSlots_.assign(slots, kNone);
    for (uint32_t id = 0; id < sequences_.size(); ++id) PlaceSequence(id);
  }

  void PlacePair(const Pair& pair) {
    const size_t mask = pairs_.size() - 1;
    size_t slot = Mix(pair.key) & mask;
    while (pairs_[slot].key != kEmpty) slot = (slot + 1) & mask;
    pairs_[slot] = pair;
  }

  void RehashPairs(size_t slots) {
    std::vector<Pair> old(slots, Pair{kEmpty, {}});
    old.swap(pairs_);
    for (const Pair& pair : old) {
      if (pair.key != kEmpty) PlacePair(pair);
    }
  }

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* blockAt_ = nullptr;
  size_t blockLeft_ = 0;
  size_t arenaBytes_ = 0;
  std::vector<Stored> sequences_;
  std::vector<uint32_t> sequenceSlots_;
  std::vector<Pair> pairs_;
  size_t pairCount_ = 0;
};

namespace {

// Slots for kept lines, and what each may hold: a slot and its text.
constexpr size_t kLineSlots = 4096;
constexpr size_t kLineBytes = sizeof(std::string) + sizeof(uint64_t) + 32;

}  // namespace

AlignmentCache::AlignmentCache(size_t byteLimit)
    : generationLimit_((byteLimit > kLineSlots * kLineBytes ? byteLimit - kLineSlots * kLineBytes : 0) / 2),
      newer_(std::make_unique<Generation>()),
      older_(std::make_unique<Generation>()) {}

AlignmentCache::~AlignmentCache() = default;

void AlignmentCache::UseTable(const int32_t* scoreTable, const int32_t* residueIndex, bool loaded,
                              int32_t gap) {
  std::vector<int32_t> table(scoreTable, scoreTable + 20 * 20);
  table.insert(table.end(), residueIndex, residueIndex + 26);
  table.push_back(loaded ? 1 : 0);
  table.push_back(gap);
  if (table == table_) return;
  table_ = std::move(table);
  newer_ = std::make_unique<Generation>();
  older_ = std::make_unique<Generation>();
}

AlignmentCache::Place AlignmentCache::PlaceOf(const CachedSequence& sequence) const {
  return {newer_->FindSequence(sequence), older_->FindSequence(sequence)};
}

const CachedCounts* AlignmentCache::Find(Place first, Place second, bool& older) {
  ++lookups_;
  older = false;
  if (first.newer != kNone && second.newer != kNone) {
    if (const CachedCounts* counts = newer_->FindPair(first.newer, second.newer)) {
      ++hits_;
      return counts;
    }
  }
  if (first.older == kNone || second.older == kNone) return nullptr;
  const CachedCounts* counts = older_->FindPair(first.older, second.older);
  if (counts == nullptr) return nullptr;
  ++hits_;
  older = true;
  return counts;
}

const CachedCounts* AlignmentCache::Find(const CachedSequence& first, const CachedSequence& second) {
  bool older = false;
  const CachedCounts* counts = Find(PlaceOf(first), PlaceOf(second), older);
  if (counts == nullptr || !older) return counts;
  // Used again: it moves into the newer generation, which may then age.
  found_ = *counts;
  Insert(first, second, found_);
  return &found_;
}

void AlignmentCache::Insert(const CachedSequence& first, const CachedSequence& second, CachedCounts counts) {
  if (newer_->BytesAfterAdding(first.bytes.size(), second.bytes.size()) > generationLimit_) {
    Age();
    // Too large for a generation of its own: not kept.
    if (newer_->BytesAfterAdding(first.bytes.size(), second.bytes.size()) > generationLimit_) return;
  }
  const uint32_t firstId = newer_->AddSequence(first);
  const uint32_t secondId = newer_->AddSequence(second);
  newer_->AddPair(firstId, secondId, counts);
}

void AlignmentCache::Age() {
  older_ = std::move(newer_);
  newer_ = std::make_unique<Generation>();
}

std::string_view AlignmentCache::Line(CachedCounts counts) {
  if (lines_.empty()) lines_.resize(kLineSlots);
  const uint64_t key =
      uint64_t{static_cast<uint32_t>(counts.similarCount)} << 32 | static_cast<uint32_t>(counts.columns);
  KeptLine& kept = lines_[Mix(key) & (kLineSlots - 1)];
  if (kept.key != key) {
    const CachedCounts& c = counts;
    kept.text = AlignmentLine(c.similarCount, c.columns, SimilarityRatio({0, c.similarCount, c.columns}));
    kept.key = key;
  }
  return kept.text;
}

size_t AlignmentCache::Bytes() const {
  return newer_->Bytes() + older_->Bytes() + (lines_.empty() ? 0 : kLineSlots * kLineBytes);
}

size_t AlignmentCache::Entries() const { return newer_->Pairs() + older_->Pairs(); }

}  // namespace circog
