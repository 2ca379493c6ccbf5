#include <unordered_map>
#include <vector>

#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

bool CMappingEngine::LoadProteinFile(int side, int fileIndex) {
  const std::string path = circog::ProteinFilePath((*fileList)[fileIndex]);
  circog::PrintLine(console_, "Open Protein file: " + path);
  circog::InputFile file(path);
  if (!file.IsOpen()) return false;

  // Records are found by identifier, so genes get theirs wherever it stands;
  // only the first record of an identifier counts, and only wanted ones are kept.
  std::unordered_map<std::string_view, std::vector<GeneRecord*>> waiting;
  for (GeneRecord& gene : genes[side]) {
    if (!gene.proteinId.empty()) waiting[gene.proteinId].push_back(&gene);
  }
  std::vector<std::vector<GeneRecord*>> found;
  std::string* sequence = nullptr;  // where the current record's lines go, if anywhere
  std::string line;
  while (file.Next(line)) {
    if (!line.empty() && line[0] == '>') {
      sequence = nullptr;
      const auto wanted = waiting.find(circog::ProteinIdentifier(line));
      if (wanted == waiting.end()) continue;
      found.push_back(std::move(wanted->second));
      waiting.erase(wanted);
      sequence = &found.back().front()->sequence;
      sequence->clear();
    } else if (sequence != nullptr) {
      sequence->append(line);
    }
  }
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  // Genes that share a protein identifier share its record.
  for (const std::vector<GeneRecord*>& sharing : found) {
    for (size_t k = 1; k < sharing.size(); ++k) sharing[k]->sequence = sharing.front()->sequence;
  }
  circog::PrintLine(console_, "End of open protein file: " + path);
  return true;
}
