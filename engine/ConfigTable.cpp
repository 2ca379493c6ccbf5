#include "engine/MappingEngine.h"
#include "engine/TextIo.h"

namespace {

const char* const kConfigKeys[] = {
    "GenomeSizePath",  "TranformDataDir", "TranformDataFormat", "TranformDataSubFormat",
    "TranformDataOutPath", "AnglePath",   "AngleFormat",        "AlignmentFlag",
    "PairOutputPath",  "Similarity",
};

}  // namespace

int CMappingEngine::KeyIndex(const std::string& key) const {
  for (int index = 1; index <= 10; ++index) {
    if (key == kConfigKeys[index - 1]) return index;
  }
  return 0;
}

std::string CMappingEngine::GetConfigValue(int index) const { return configValues[index]; }

bool CMappingEngine::ReadConfig(const std::string& fileName) {
  circog::InputFile file(fileName);
  if (!file.IsOpen()) return false;
  std::string line;
  while (file.Next(line)) {
    if (line.empty() || line[0] == '#') continue;
    // A line without '=' has no value to store.
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const int slot = KeyIndex(key);
    configValues[slot] = line.substr(equals + 1);
    circog::PrintLine(console_, key + " = " + configValues[slot]);
  }
  return true;
}
