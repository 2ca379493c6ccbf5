#include "tests/support/TestSupport.h"

#include <stdlib.h>

#include <fstream>

namespace circog::support {

std::string SourcePath(std::string_view relative) {
  return std::string(CIRCOG_SOURCE_DIR) + "/" + std::string(relative);
}

std::vector<FastaRecord> ReadFasta(const std::string& path) {
  std::vector<FastaRecord> records;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '>') {
      records.push_back({line, std::string()});
    } else if (!records.empty()) {
      records.back().sequence += line;
    }
  }
  return records;
}

std::string Description(std::string_view header) {
  const size_t bar = header.rfind('|');
  std::string_view text = bar != std::string_view::npos ? header.substr(bar + 1)
                                                        : header.substr(header.find(' ') + 1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return std::string(text.substr(0, text.find(" [")));
}

uint8_t ClassOf(char letter) {
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  const size_t at = kResidues.find(letter);
  return static_cast<uint8_t>(at == std::string_view::npos ? kResidues.size() : at);
}

std::vector<uint8_t> ToClasses(std::string_view text) {
  std::vector<uint8_t> classes;
  classes.reserve(text.size());
  for (char c : text) classes.push_back(ClassOf(c));
  return classes;
}

const std::vector<int32_t>& Pam250Classes() {
  static const std::vector<int32_t> table = [] {
    constexpr int kClasses = 21;
    std::vector<int32_t> values(kClasses * kClasses, 0);
    std::ifstream in(SourcePath("data/PAM-250.txt"));
    for (int row = 0; row < 20; ++row) {
      for (int column = 0; column <= row; ++column) {
        int32_t value = 0;
        in >> value;
        values[row * kClasses + column] = values[column * kClasses + row] = value;
      }
    }
    return values;
  }();
  return table;
}

std::string RandomProtein(std::mt19937& rng, size_t length, std::string_view alphabet) {
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string out(length, ' ');
  for (char& c : out) c = alphabet[pick(rng)];
  return out;
}

std::string Mutate(std::mt19937& rng, std::string_view source, double rate) {
  std::uniform_real_distribution<double> chance(0.0, 1.0);
  std::uniform_int_distribution<size_t> indel(1, 4);
  std::string copy;
  copy.reserve(source.size() + source.size() / 8);
  for (size_t k = 0; k < source.size(); ++k) {
    const double roll = chance(rng);
    if (roll < rate * 0.7) {
      copy += RandomProtein(rng, 1);
    } else if (roll < rate * 0.85) {
      copy += RandomProtein(rng, indel(rng));
      copy += source[k];
    } else if (roll < rate) {
      k += indel(rng) - 1;
    } else {
      copy += source[k];
    }
  }
  return copy;
}

std::string CpuName() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown CPU";
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "circog-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& relative, std::string_view bytes) const {
  const std::filesystem::path file = path_ / relative;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return file.string();
}

}  // namespace circog::support
