#include "engine/DirectoryScan.h"

#include <dirent.h>

#include <algorithm>

#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace circog {

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string_view NameExtension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

std::vector<std::string> WildcardEntries(std::string_view dir, std::string_view format) {
  const std::string mapped = FileSystemPath(dir);
  const size_t slash = mapped.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : mapped.substr(0, slash + 1);
  const std::string prefix = AsciiLower(slash == std::string::npos ? mapped : mapped.substr(slash + 1));
  const std::string suffix = AsciiLower(format);

  std::vector<std::string> names;
  DIR* handle = opendir(directory.c_str());
  if (handle == nullptr) return names;
  while (const dirent* entry = readdir(handle)) {
    const std::string lower = AsciiLower(entry->d_name);
    if (lower.starts_with(prefix) &&
        lower.ends_with(suffix)) {
      names.emplace_back(entry->d_name);
    }
  }
  closedir(handle);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace circog

void CMappingEngine::ScanDirectory(const std::string& dir, const std::string& format,
                                   const std::string& subFormat, ScanMode mode) {
  fileList->clear();
  circog::PrintLine(console_, dir + "test");
  circog::PrintLine(console_, "*" + format);
  for (const std::string& name : circog::WildcardEntries(dir, format)) {
    // Names beginning with '.' are hidden; that covers "." and "..".
    if (name[0] == '.') continue;
    if (circog::AsciiLower(circog::NameExtension(name)) != format) continue;
    const std::string path = dir + name;
    circog::PrintLine(console_, path);
    if (mode == ScanMode::GeneTables) {
      for (const GenomeSizeEntry& genome : genomeSizes) {
        if (name == genome.genomeName + subFormat + format) {
          fileList->push_back(path);
          break;
        }
      }
    } else {
      fileList->push_back(path);
      circog::PrintLine(console_, path);
    }
  }
  circog::PrintLine(console_, "@ Number of list:" + std::to_string(fileList->size()));
  circog::PrintLine(console_, "");
}

int CMappingEngine::FileCount() {
  const int count = static_cast<int>(fileList->size());
  circog::PrintLine(console_, "size is " + std::to_string(count));
  return count;
}
