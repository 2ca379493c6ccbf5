#include <unordered_map>

#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "engine/TextIo.h"

bool CMappingEngine::LoadProteinFile(int side, int fileIndex) {
  const std::string path = circog::ProteinFilePath((*fileList)[fileIndex]);
  circog::PrintLine(console_, "Open Protein file: " + path);
  circog::InputFile file(path);
  if (!file.IsOpen()) return false;

  // Records are kept by identifier, so genes find theirs wherever it stands;
  // the first record of an identifier wins.
  std::vector<std::string> sequences;
  std::unordered_map<std::string, size_t> recordOf;
  std::string line;
  bool inRecord = false;  // lines before the first header belong to no record
  while (file.Next(line)) {
    if (!line.empty() && line[0] == '>') {
      sequences.emplace_back();
      inRecord = true;
      std::string id = circog::ProteinIdentifier(line);
      if (!id.empty()) recordOf.try_emplace(std::move(id), sequences.size() - 1);
    } else if (inRecord) {
      sequences.back() += line;
    }
  }
  for (GeneRecord& gene : genes[side]) {
    const auto found = recordOf.find(gene.proteinId);
    if (found != recordOf.end()) gene.sequence = sequences[found->second];
  }
  circog::PrintLine(console_, "End of open protein file: " + path);
  return true;
}
