#include <cstdlib>

#include "engine/MappingEngine.h"
#include "text/TextIo.h"
#include "prepare/PrepareText.h"

namespace {

constexpr int kProteinIdColumn = 3;
constexpr int kPositionColumn = 4;
constexpr int kCogIdColumn = 7;
constexpr int kExclusionColumn = 11;

const std::string& Column(const GeneTableRow& row, int column) { return row.fields[column - 1]; }

// A row goes into the angle file unless it is excluded or has no real COG
// identifier ("-" and other placeholders of up to 2 characters).
bool IsWritten(const GeneTableRow& row) {
  return Column(row, kExclusionColumn) != "PUTAL" && Column(row, kCogIdColumn).size() > 2;
}

const GenomeSizeEntry* FindGenome(const std::vector<GenomeSizeEntry>& sizes, const std::string& key) {
  for (const GenomeSizeEntry& entry : sizes) {
    if (entry.genomeName == key) return &entry;
  }
  return nullptr;
}

}  // namespace

bool CMappingEngine::SplitGeneTableLine(const std::string& line) {
  if (line.empty()) return false;
  for (std::string& field : currentRow.fields) field.clear();
  size_t start = 0;
  // Columns after the 11th are not kept.
  for (std::string& field : currentRow.fields) {
    const size_t tab = line.find('\t', start);
    field.assign(line, start, tab == std::string::npos ? std::string::npos : tab - start);
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return true;
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

  const GenomeSizeEntry* genome = key.empty() ? nullptr : FindGenome(genomeSizes, key);
  if (genome == nullptr) {
    // Angles from an unknown size would be meaningless.
    circog::PrintLine(console_, "No genome size for " + key);
    return false;
  }
  circog::PrintLine(console_, "output file is " + outDir);

  circog::OutputFile angles(outDir + key + ".txt");
  for (const GeneTableRow& row : geneTableRows) {
    if (!IsWritten(row)) continue;
    const double position = circog::ParseDecimalPrefix(Column(row, kPositionColumn));
    const double angle = position / genome->genomeSize * 360.0;
    angles.WriteLine(Column(row, kCogIdColumn) + '\t' + circog::FormatG(angle) + '\t' +
                     Column(row, kProteinIdColumn));
  }
  return angles.Close();
}
