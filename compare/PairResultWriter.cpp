#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

const char* const kBlockMarker = "1001\t1001";

// Angles repeat from line to line (a first gene's on every one of its
// partners, a second gene's beside every first gene it pairs with), so each
// distinct value is formatted once.
class AngleTexts {
 public:
  const std::string& Of(float angle) {
    uint32_t bits;
    std::memcpy(&bits, &angle, sizeof bits);
    const auto [text, isNew] = texts_.try_emplace(bits);
    if (isNew) text->second = circog::FormatG(angle);
    return text->second;
  }

 private:
  std::unordered_map<uint32_t, std::string> texts_;
};

std::string AnglePair(AngleTexts& texts, float first, float second) {
  std::string line = texts.Of(first);
  line += '\t';
  line += texts.Of(second);
  return line;
}

bool WriteMultiplePairing(const std::vector<MappingEntry>& entries, AngleTexts& texts,
                          const std::string& path) {
  circog::OutputFile file(path);
  file.WriteLine(kBlockMarker);
  for (const MappingEntry& entry : entries) {
    for (size_t p = 0; p < entry.firstAngles.size(); ++p) {
      file.WriteLine(AnglePair(texts, entry.firstAngles[p], entry.secondAngles[p]));
    }
    file.WriteLine(kBlockMarker);
  }
  return file.Close();
}

}  // namespace

bool CMappingEngine::WritePairResults(int firstIndex, int secondIndex, const std::string& outDir) {
  const std::string name1 = circog::FileNamePart((*fileList)[firstIndex]);
  const std::string name2 = circog::FileNamePart((*fileList)[secondIndex]);
  const std::string stem = outDir + name1 + "&" + name2;
  // No accepted entry, no files: those of an earlier run would look current.
  if (mappingResults.empty()) {
    return circog::RemoveFile(stem + "_mul.txt") && circog::RemoveFile(stem + "_sin.txt") &&
           circog::RemoveFile(stem + "_sin_COG.txt");
  }

  AngleTexts texts;
  const bool written = [&] {
    circog::PrintLine(console_, "Output " + name1 + " and " + name2 + " multiple pairing result");
    if (!WriteMultiplePairing(mappingResults, texts, stem + "_mul.txt")) return false;
    circog::OutputFile withCog(stem + "_sin_COG.txt");
    if (!withCog.IsOpen()) return false;
    circog::OutputFile single(stem + "_sin.txt");
    if (!single.IsOpen()) return false;
    circog::PrintLine(console_, "Output " + name1 + " and " + name2 + " single pairing result");
    // The entries of each identifier, in list order.
    std::unordered_map<std::string_view, std::vector<size_t>> groups;
    for (size_t k = 0; k < mappingResults.size(); ++k) groups[mappingResults[k].cogId].push_back(k);
    for (size_t k = 0; k < mappingResults.size(); ++k) {
      const MappingEntry& entry = mappingResults[k];
      const std::vector<size_t>& group = groups[entry.cogId];
      if (group.front() != k) {
        circog::WriteLine(console_, "Redundant COGID, skipping");
        continue;
      }
      const circog::ClosestPair best = circog::FindClosestPair(mappingResults, group);
      char counts[64];
      std::snprintf(counts, sizeof counts, "first %d second %d", static_cast<int>(group.size()),
                    static_cast<int>(entry.firstAngles.size()));
      circog::WriteLine(console_, counts);
      const std::string pair = AnglePair(texts, best.first, best.second);
      if (!withCog.WriteLine(pair + '\t' + entry.cogId) || !single.WriteLine(pair)) return false;
    }
    return withCog.Close() && single.Close();
  }();
  // The per-identifier lines come in one burst; they go out together.
  console_.flush();
  mappingResults.clear();
  return written;
}
