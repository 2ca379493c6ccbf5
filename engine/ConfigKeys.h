#pragma once
// The configuration keys: one enum, one table of names. A key's value is the
// slot of the configuration table that holds it; slot 0 takes every line
// whose key is none of these.

#include <array>
#include <optional>
#include <string>
#include <string_view>

enum class ConfigKey : int {
  GenomeSizePath = 1,
  TranformDataDir,
  TranformDataFormat,
  TranformDataSubFormat,
  TranformDataOutPath,
  AnglePath,
  AngleFormat,
  AlignmentFlag,
  PairOutputPath,
  Similarity,
  PairList,
};

namespace circog {

inline constexpr int kConfigSlots = static_cast<int>(ConfigKey::PairList) + 1;

// Names by slot; slot 0 has none.
inline constexpr std::array<std::string_view, kConfigSlots> kConfigKeyNames = {
    "",          "GenomeSizePath", "TranformDataDir", "TranformDataFormat", "TranformDataSubFormat",
    "TranformDataOutPath", "AnglePath", "AngleFormat", "AlignmentFlag", "PairOutputPath",
    "Similarity", "PairList",
};

struct ConfigSetting {
  std::string key;
  std::string value;
};

// A setting line: the key before its first '=', the value after it, nothing
// trimmed. Empty lines, comments ('#' first) and lines without '=' set nothing.
std::optional<ConfigSetting> ParseConfigLine(std::string_view line);

// The known key closest to an unknown one, when it is close enough to be a
// likely slip of the keyboard ("TransformDataDir"); empty otherwise.
std::string_view NearestConfigKey(std::string_view key);

}  // namespace circog
