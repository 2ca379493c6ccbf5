#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "compare/CompareText.h"
#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

const char* const kBlockMarker = "1001\t1001";

std::string AnglePair(float first, float second) {
  return circog::FormatG(first) + '\t' + circog::FormatG(second);
}

bool WriteMultiplePairing(const std::vector<MappingEntry>& entries, const std::string& path) {
  circog::OutputFile file(path);
  file.WriteLine(kBlockMarker);
  for (const MappingEntry& entry : entries) {
    for (size_t p = 0; p < entry.firstAngles.size(); ++p) {
      file.WriteLine(AnglePair(entry.firstAngles[p], entry.secondAngles[p]));
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

  const bool written = [&] {
    circog::PrintLine(console_, "Output " + name1 + " and " + name2 + " multiple pairing result");
    if (!WriteMultiplePairing(mappingResults, stem + "_mul.txt")) return false;
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
      const std::string pair = AnglePair(best.first, best.second);
      if (!withCog.WriteLine(pair + '\t' + entry.cogId) || !single.WriteLine(pair)) return false;
    }
    return withCog.Close() && single.Close();
  }();
  // The per-identifier lines come in one burst; they go out together.
  console_.flush();
  mappingResults.clear();
  return written;
}
