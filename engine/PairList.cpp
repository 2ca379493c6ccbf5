#include "engine/PairList.h"

#include <algorithm>

#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace circog {

PairListLine ParsePairListLine(std::string_view line) {
  PairListLine parsed;
  if (line.empty() || line[0] == '#') return parsed;
  const size_t tab = line.find('\t');
  parsed.kind = PairListLine::Kind::Malformed;
  if (tab == std::string_view::npos || line.find('\t', tab + 1) != std::string_view::npos) return parsed;
  parsed.first = line.substr(0, tab);
  parsed.second = line.substr(tab + 1);
  if (parsed.first.empty() || parsed.second.empty()) return parsed;
  parsed.kind = parsed.first == parsed.second ? PairListLine::Kind::SameGenome : PairListLine::Kind::Pair;
  return parsed;
}

std::vector<PairRound> AllPairRounds(int genomes) {
  std::vector<PairRound> rounds(std::max(genomes, 0));
  for (int i = 0; i < genomes; ++i) {
    rounds[i].first = i;
    for (int j = i + 1; j < genomes; ++j) rounds[i].partners.push_back(j);
  }
  return rounds;
}

std::vector<PairRound> ChosenPairRounds(std::vector<std::pair<int, int>> pairs) {
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  std::vector<PairRound> rounds;
  for (const auto& [first, second] : pairs) {
    if (rounds.empty() || rounds.back().first != first) rounds.push_back({first, {}});
    rounds.back().partners.push_back(second);
  }
  return rounds;
}

GenomeNames::GenomeNames(const std::vector<std::string>& paths) {
  sorted_.reserve(paths.size());
  for (size_t index = 0; index < paths.size(); ++index) {
    sorted_.emplace_back(FileNamePart(paths[index]), static_cast<int>(index));
  }
  std::sort(sorted_.begin(), sorted_.end());
}

std::vector<int> GenomeNames::Find(std::string_view name) const {
  auto at = std::lower_bound(sorted_.begin(), sorted_.end(), name,
                             [](const auto& entry, std::string_view wanted) { return entry.first < wanted; });
  std::vector<int> indexes;
  for (; at != sorted_.end() && at->first == name; ++at) indexes.push_back(at->second);
  return indexes;
}

}  // namespace circog

namespace {

// Genomes of one pair-list line, or the fault that line is.
circog::PairListFault AddPair(const circog::GenomeNames& names, std::string_view line, int lineNumber,
                              std::vector<std::pair<int, int>>& pairs) {
  using Fault = circog::PairListFault::Kind;
  const circog::PairListLine parsed = circog::ParsePairListLine(line);
  switch (parsed.kind) {
    case circog::PairListLine::Kind::Skipped:
      return {};
    case circog::PairListLine::Kind::Malformed:
      return {Fault::Malformed, lineNumber, ""};
    case circog::PairListLine::Kind::SameGenome:
      return {Fault::SameGenome, lineNumber, ""};
    case circog::PairListLine::Kind::Pair:
      break;
  }
  const std::vector<int> firsts = names.Find(parsed.first);
  if (firsts.empty()) return {Fault::UnknownGenome, lineNumber, std::string(parsed.first)};
  const std::vector<int> seconds = names.Find(parsed.second);
  if (seconds.empty()) return {Fault::UnknownGenome, lineNumber, std::string(parsed.second)};
  for (const int i : firsts) {
    for (const int j : seconds) pairs.emplace_back(std::min(i, j), std::max(i, j));
  }
  return {};
}

}  // namespace

bool CMappingEngine::ReadPairList(const std::string& path) {
  chosenPairs.clear();
  pairListFault = {};
  circog::InputFile file(path);
  if (!file.IsOpen()) return false;
  const circog::GenomeNames names(*fileList);
  std::string_view line;
  for (int lineNumber = 1; file.Next(line); ++lineNumber) {
    pairListFault = AddPair(names, line, lineNumber, chosenPairs);
    if (pairListFault.kind != circog::PairListFault::Kind::None) return false;
  }
  if (file.ReadFailed()) {
    unreadableInput = path;
    return false;
  }
  if (chosenPairs.empty()) {
    circog::PrintLine(errors_, "circog: warning: " + path + " names no pair; none is compared");
  }
  return true;
}
