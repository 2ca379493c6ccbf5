#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "engine/MappingEngine.h"
#include "prepare/PrepareText.h"
#include "text/TextIo.h"

namespace {

// Room for the rows a table of this size likely holds (its lines run longer
// than 64 bytes), so that the rows are not moved as they arrive; a guess
// that cannot be had is no error.
void ReserveRows(const std::string& path, std::vector<GeneTableRow>& rows) {
  constexpr uintmax_t kMaxReserved = 1 << 16;
  std::error_code error;
  const uintmax_t bytes = std::filesystem::file_size(circog::FileSystemPath(path), error);
  if (error) return;
  try {
    rows.reserve(static_cast<size_t>(std::min(bytes / 64, kMaxReserved)));
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace

bool CMappingEngine::SplitGeneTableLine(std::string_view line) {
  return circog::SplitGeneTableRow(line, currentRow);
}

bool CMappingEngine::TransformGeneTable(int fileIndex, const std::string& outDir) {
  std::unique_ptr<circog::OutputFile> angles;
  return TransformGeneTable(fileIndex, outDir, angles) && angles->Close();
}

bool CMappingEngine::TransformGeneTable(int fileIndex, const std::string& outDir,
                                        std::unique_ptr<circog::OutputFile>& angles) {
  const std::string& path = (*fileList)[fileIndex];
  const std::string key = circog::GenomeKey(path);
  circog::PrintLine(console_, "Transform file: " + path);

  circog::InputFile table(path);
  if (!table.IsOpen()) return false;
  geneTableRows.clear();
  ReserveRows(path, geneTableRows);
  std::string_view line;
  table.Next(line);  // the header line
  while (table.Next(line)) {
    if (SplitGeneTableLine(line)) geneTableRows.push_back(std::move(currentRow));
  }
  if (table.ReadFailed()) {
    unreadableInput = path;
    return false;
  }

  const GenomeSizeEntry* genome = key.empty() ? nullptr : circog::FindGenomeSize(genomeSizes, key);
  if (genome == nullptr) {
    // Angles from an unknown size would be meaningless.
    circog::PrintLine(console_, "No genome size for " + key);
    return false;
  }
  circog::PrintLine(console_, "output file is " + outDir);

  angles = std::make_unique<circog::OutputFile>(outDir + key + ".txt");
  std::string text;  // the whole file, written at once
  for (const GeneTableRow& row : geneTableRows) {
    if (const auto angleLine = circog::AngleLine(row, genome->genomeSize)) {
      text += *angleLine;
      text += '\n';
    }
  }
  angles->Write(text);
  return true;
}
