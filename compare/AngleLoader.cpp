#include "engine/MappingEngine.h"
#include "text/TextIo.h"

bool CMappingEngine::LoadAngleFile(int side, int fileIndex) {
  const std::string& path = (*fileList)[fileIndex];
  std::vector<GeneRecord>& list = genes[side];
  list.clear();
  circog::InputFile file(path);
  circog::PrintLine(console_, "Open file:" + path);
  std::string line;
  while (file.Next(line)) {  // a file that cannot be opened has no lines
    if (line.empty()) continue;
    // Columns: COG identifier, angle, protein identifier; any further ones are ignored.
    const size_t firstTab = line.find('\t');
    const size_t secondTab = firstTab == std::string::npos ? firstTab : line.find('\t', firstTab + 1);
    const size_t thirdTab = secondTab == std::string::npos ? secondTab : line.find('\t', secondTab + 1);
    GeneRecord& gene = list.emplace_back();
    gene.cogId = line.substr(0, firstTab);
    if (firstTab != std::string::npos) {
      const std::string_view angleText =
          std::string_view(line).substr(firstTab + 1, secondTab == std::string::npos ? secondTab : secondTab - firstTab - 1);
      gene.angle = static_cast<float>(circog::ParseDecimalPrefix(angleText));
    }
    if (secondTab != std::string::npos) {
      gene.proteinId = line.substr(secondTab + 1, thirdTab == std::string::npos ? thirdTab : thirdTab - secondTab - 1);
    }
  }
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  circog::PrintLine(console_, "End of open file:" + path);
  return true;
}
