#include "engine/MappingEngine.h"
#include "prepare/PrepareText.h"
#include "text/TextIo.h"

bool CMappingEngine::ReadGenomeSizeTable(const std::string& path) {
  circog::InputFile file(path);
  if (!file.IsOpen()) return false;
  std::string line;
  while (file.Next(line)) {
    if (auto entry = circog::ParseGenomeSizeLine(line)) genomeSizes.push_back(std::move(*entry));
  }
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  circog::PrintLine(console_, "#\tEnd of reading gene length information.");
  circog::PrintLine(console_, "");
  return true;
}
