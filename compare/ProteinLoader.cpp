#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

// The genes waiting for their protein, by identifier: an open-addressing
// table over the distinct identifiers, each with the genes that carry it.
class WaitingGenes {
 public:
  explicit WaitingGenes(std::vector<GeneRecord>& genes) {
    size_t slots = 16;
    while (slots < 2 * genes.size()) slots *= 2;
    slots_.assign(slots, kEmpty);
    for (GeneRecord& gene : genes) {
      if (gene.proteinId.empty()) continue;
      uint32_t& slot = Find(gene.proteinId);
      if (slot == kEmpty) {
        slot = static_cast<uint32_t>(groups_.size());
        groups_.push_back({gene.proteinId, {}, false});
      }
      groups_[slot].genes.push_back(&gene);
    }
  }

  // The genes of an identifier met for the first time; none for an unknown
  // one or one met before (only its first record counts).
  std::vector<GeneRecord*>* Take(std::string_view id) {
    const uint32_t slot = Find(id);
    if (slot == kEmpty || groups_[slot].taken) return nullptr;
    groups_[slot].taken = true;
    return &groups_[slot].genes;
  }

  template <typename Visit>
  void ForEachTaken(Visit visit) const {
    for (const Group& group : groups_) {
      if (group.taken) visit(group.genes);
    }
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  struct Group {
    std::string_view id;
    std::vector<GeneRecord*> genes;
    bool taken;
  };

  uint32_t& Find(std::string_view id) {
    const size_t mask = slots_.size() - 1;
    for (size_t at = std::hash<std::string_view>()(id) & mask;; at = (at + 1) & mask) {
      if (slots_[at] == kEmpty || groups_[slots_[at]].id == id) return slots_[at];
    }
  }

  std::vector<uint32_t> slots_;
  std::vector<Group> groups_;
};

}  // namespace

bool CMappingEngine::LoadProteinFile(int side, int fileIndex) {
  const std::string path = circog::ProteinFilePath((*fileList)[fileIndex]);
  circog::PrintLine(console_, "Open Protein file: " + path);
  circog::InputFile file(path);
  if (!file.IsOpen()) return false;

  // Records are found by identifier, so genes get theirs wherever it stands;
  // only the first record of an identifier counts, and only wanted ones are kept.
  WaitingGenes waiting(genes[side]);
  std::string* sequence = nullptr;  // where the current record goes, if anywhere
  std::string record;               // its lines so far, put in place whole when it ends
  auto endRecord = [&] {
    if (sequence != nullptr) sequence->assign(record);
    sequence = nullptr;
    record.clear();
  };
  std::string_view line;
  while (file.Next(line)) {
    if (!line.empty() && line[0] == '>') {
      endRecord();
      if (std::vector<GeneRecord*>* wanted = waiting.Take(circog::ProteinIdentifier(line))) {
        sequence = &wanted->front()->sequence;
      }
    } else if (sequence != nullptr) {
      record.append(line);
    }
  }
  endRecord();
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  // Genes that share a protein identifier share its record.
  waiting.ForEachTaken([](const std::vector<GeneRecord*>& sharing) {
    for (size_t k = 1; k < sharing.size(); ++k) sharing[k]->sequence = sharing.front()->sequence;
  });
  circog::PrintLine(console_, "End of open protein file: " + path);
  return true;
}
