#pragma once
// The directory listing behind a scan, kept apart so tests call it directly.

#include <string>
#include <string_view>
#include <vector>

namespace circog {

// Entry names matching the wildcard dir + "*" + format, in ascending byte
// order. The mapped dir is split at its last '/': the part up to it is the
// directory listed ("." without one), the rest a name prefix. Names are
// matched without regard to ASCII case; directories count like files; a
// missing directory yields nothing.
std::vector<std::string> WildcardEntries(std::string_view dir, std::string_view format);

// The extension of a name: from its last '.' to the end, empty without one.
std::string_view NameExtension(std::string_view name);

std::string AsciiLower(std::string_view text);

}  // namespace circog
