#include "engine/MappingEngine.h"
#include "prepare/PrepareText.h"
#include "text/TextIo.h"

bool CMappingEngine::SplitGeneTableLine(const std::string& line) {
  return circog::SplitGeneTableRow(line, currentRow);
}

bool CMappingEngine::TransformGeneTable(int fileIndex, const std::string& outDir) {
  const std::string& path = (*fileList)[fileIndex];
  const std::string key = circog::GenomeKey(path);
  circog::PrintLine(console_, "Transform file: " + path);

  circog::InputFile table(path);
  if (!table.IsOpen()) return false;
  geneTableRows.clear();
  std::string line;
  table.Next(line);  // the header line
  while (table.Next(line)) {
    if (SplitGeneTableLine(line)) geneTableRows.push_back(currentRow);
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

  circog::OutputFile angles(outDir + key + ".txt");
  for (const GeneTableRow& row : geneTableRows) {
    if (const auto angleLine = circog::AngleLine(row, genome->genomeSize)) angles.WriteLine(*angleLine);
  }
  return angles.Close();
}
