#include <cstdint>
#include <cstring>
#include <string>
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
// distinct value is formatted once, into a table keyed by its bits.
class AngleTexts {
 public:
  AngleTexts() : slots_(size_t{1} << kInitialBits) {}

  // Appends the text of angle to out.
  void Append(float angle, std::string& out) {
    uint32_t bits;
    std::memcpy(&bits, &angle, sizeof bits);
    Slot& slot = Find(bits);
    if (slot.length == 0) {
      const std::string text = circog::FormatG(angle);
      slot.bits = bits;
      slot.length = static_cast<uint8_t>(text.size());
      std::memcpy(slot.text, text.data(), text.size());
      if (++used_ * 2 > slots_.size()) Grow();
      out += text;
      return;
    }
    out.append(slot.text, slot.length);
  }

 private:
  // %g of a float is at most 12 characters ("-1.17549e-38").
  struct Slot {
    uint32_t bits = 0;
    uint8_t length = 0;  // 0: empty
    char text[19];
  };
  static constexpr int kInitialBits = 12;

  // Fibonacci hashing: the top bits of the product.
  Slot& Find(uint32_t bits) {
    const size_t mask = slots_.size() - 1;
    for (size_t at = static_cast<uint32_t>(bits * 0x9E3779B1u) >> (32 - bits_);; at = (at + 1) & mask) {
      Slot& slot = slots_[at];
      if (slot.length == 0 || slot.bits == bits) return slot;
    }
  }
  void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    ++bits_;
    for (const Slot& slot : old) {
      if (slot.length != 0) Find(slot.bits) = slot;
    }
  }

  std::vector<Slot> slots_;
  int bits_ = kInitialBits;
  size_t used_ = 0;
};

// One line of a result file: the two angles, tab between.
void AppendPair(AngleTexts& texts, float first, float second, std::string& out) {
  texts.Append(first, out);
  out += '\t';
  texts.Append(second, out);
}

bool WriteText(const std::string& path, std::string_view text) {
  circog::OutputFile file(path);
  file.Write(text);
  return file.Close();
}

// Each entry's pairs between block markers, the whole file at once.
bool WriteMultiplePairing(const std::vector<MappingEntry>& entries, AngleTexts& texts,
                          const std::string& path) {
  std::string text;
  text.reserve(16 * (2 * entries.size() + 1));
  text += kBlockMarker;
  text += '\n';
  for (const MappingEntry& entry : entries) {
    for (size_t p = 0; p < entry.firstAngles.size(); ++p) {
      AppendPair(texts, entry.firstAngles[p], entry.secondAngles[p], text);
      text += '\n';
    }
    text += kBlockMarker;
    text += '\n';
  }
  return WriteText(path, text);
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
    groups.reserve(mappingResults.size());
    for (size_t k = 0; k < mappingResults.size(); ++k) groups[mappingResults[k].cogId].push_back(k);
    std::string lines, withCogText, singleText;
    for (size_t k = 0; k < mappingResults.size(); ++k) {
      const MappingEntry& entry = mappingResults[k];
      const std::vector<size_t>& group = groups[entry.cogId];
      if (group.front() != k) {
        lines += "Redundant COGID, skipping\n";
        continue;
      }
      const circog::ClosestPair best = circog::FindClosestPair(mappingResults, group);
      lines += "first ";
      lines += std::to_string(group.size());
      lines += " second ";
      lines += std::to_string(entry.firstAngles.size());
      lines += '\n';
      const size_t start = singleText.size();
      AppendPair(texts, best.first, best.second, singleText);
      withCogText.append(singleText, start);
      withCogText += '\t';
      withCogText += entry.cogId;
      withCogText += '\n';
      singleText += '\n';
    }
    console_ << lines;
    withCog.Write(withCogText);
    single.Write(singleText);
    return withCog.Close() && single.Close();
  }();
  // The per-identifier lines come in one burst; they go out together.
  console_.flush();
  mappingResults.clear();
  return written;
}
