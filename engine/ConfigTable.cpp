#include <algorithm>
#include <vector>

#include "engine/ConfigKeys.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace circog {

namespace {

// Edits (insertions, deletions, substitutions) that turn one text into the other.
size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

}  // namespace

std::optional<ConfigSetting> ParseConfigLine(std::string_view line) {
  if (line.empty() || line[0] == '#') return std::nullopt;
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  return ConfigSetting{std::string(line.substr(0, equals)), std::string(line.substr(equals + 1))};
}

std::string_view NearestConfigKey(std::string_view key) {
  constexpr size_t kMostEdits = 3;
  std::string_view nearest;
  size_t best = kMostEdits + 1;
  for (int slot = 1; slot < kConfigSlots; ++slot) {
    // Lengths further apart than the edits allowed cannot be near; this also
    // keeps a key of megabytes from taking seconds.
    const std::string_view name = kConfigKeyNames[slot];
    const size_t apart = key.size() > name.size() ? key.size() - name.size() : name.size() - key.size();
    if (apart > kMostEdits) continue;
    const size_t edits = EditDistance(key, name);
    if (edits < best) {
      best = edits;
      nearest = kConfigKeyNames[slot];
    }
  }
  return nearest;
}

}  // namespace circog

int CMappingEngine::KeyIndex(const std::string& key) const {
  for (int slot = 1; slot < circog::kConfigSlots; ++slot) {
    if (key == circog::kConfigKeyNames[slot]) return slot;
  }
  return 0;
}

std::string CMappingEngine::GetConfigValue(int index) const { return configValues[index]; }

std::string CMappingEngine::GetConfigValue(ConfigKey key) const {
  return configValues[static_cast<int>(key)];
}

bool CMappingEngine::ReadConfig(const std::string& fileName) {
  circog::InputFile file(fileName);
  if (!file.IsOpen()) return false;
  std::string line;
  for (int lineNumber = 1; file.Next(line); ++lineNumber) {
    const auto setting = circog::ParseConfigLine(line);
    if (!setting) continue;
    const int slot = KeyIndex(setting->key);
    configValues[slot] = setting->value;
    circog::PrintLine(console_, setting->key + " = " + configValues[slot]);
    if (slot == 0) WarnUnknownKey(fileName, lineNumber, setting->key);
  }
  if (file.ReadFailed()) unreadableInput = fileName;
  return !file.ReadFailed();
}

// Unknown keys are kept and echoed as always; the warning goes to standard
// error only, so nothing a run writes changes.
void CMappingEngine::WarnUnknownKey(const std::string& fileName, int lineNumber,
                                    const std::string& key) {
  std::string warning = "circog: warning: " + fileName + " line " + std::to_string(lineNumber) +
                        ": unknown key \"" + key + "\"";
  const std::string_view nearest = circog::NearestConfigKey(key);
  if (!nearest.empty()) warning += " (did you mean \"" + std::string(nearest) + "\"?)";
  circog::PrintLine(errors_, warning);
}
