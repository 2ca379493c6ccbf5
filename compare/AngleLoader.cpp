#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

bool CMappingEngine::LoadAngleFile(int side, int fileIndex) {
  const std::string& path = (*fileList)[fileIndex];
  std::vector<GeneRecord>& list = genes[side];
  list.clear();
  circog::InputFile file(path);
  circog::PrintLine(console_, "Open file:" + path);
  std::string_view line;
  while (file.Next(line)) {  // a file that cannot be opened has no lines
    if (!line.empty()) list.push_back(circog::ParseAngleLine(line));
  }
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  circog::PrintLine(console_, "End of open file:" + path);
  return true;
}
