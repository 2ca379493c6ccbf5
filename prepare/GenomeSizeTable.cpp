#include "engine/MappingEngine.h"
#include "text/TextIo.h"
#include "prepare/PrepareText.h"

bool CMappingEngine::ReadGenomeSizeTable(const std::string& path) {
  circog::InputFile file(path);
  if (!file.IsOpen()) return false;
  std::string line;
  while (file.Next(line)) {
    // A line without a tab names no genome.
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    genomeSizes.push_back(
        {line.substr(0, tab), circog::ParseGenomeSize(std::string_view(line).substr(tab + 1))});
  }
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  circog::PrintLine(console_, "#\tEnd of reading gene length information.");
  circog::PrintLine(console_, "");
  return true;
}
