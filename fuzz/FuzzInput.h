#pragma once
// Shared by the reader fuzz targets: each input becomes a file in a private
// temporary directory, read by the engine with its console going nowhere.

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>

namespace circog::fuzz {

// A directory of this process, made once, ending with '/'; removed at exit.
inline const std::string& WorkDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/circog-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    return std::string(pattern) + "/";
  }();
  static const bool cleanup = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }) == 0;
  (void)cleanup;
  return dir;
}

// Writes the fuzzed bytes to name inside WorkDir() and returns the path.
inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = WorkDir() + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  return path;
}

// A stream that discards everything (its writes fail, which nothing checks).
inline std::ostream& Nowhere() {
  static std::ostream nowhere(nullptr);
  return nowhere;
}

}  // namespace circog::fuzz
