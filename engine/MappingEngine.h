#pragma once
// CMappingEngine holds the whole state of a run; every stage is one of its
// operations, and stages pass data to one another only through its members.

#include <array>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/ConfigKeys.h"
#include "engine/PairList.h"

namespace circog {
class AlignmentCache;
class OutputFile;
}  // namespace circog

struct GenomeSizeEntry {
  std::string genomeName;
  int32_t genomeSize = 0;
};

// One gene-table line split into its first 11 columns; fields[k - 1] is column k.
struct GeneTableRow {
  std::array<std::string, 11> fields;
};

struct GeneRecord {
  std::string cogId;
  float angle = 0.0f;
  std::string proteinId;
  std::string sequence;
};

// The accepted partners of one first-genome gene: position p of the two angle
// lists is one accepted pair.
struct MappingEntry {
  std::vector<float> firstAngles;
  std::vector<float> secondAngles;
  std::string cogId;
};

using FileList = std::vector<std::string>;

// What a directory scan keeps: gene tables named after a genome of the size
// table, or every file of the format (angle files).
enum class ScanMode : int { GeneTables = 1, AngleFiles = 2 };

// Slot 0 collects unrecognised keys; the others hold the keys of ConfigKey.
using ConfigTable = std::array<std::string, circog::kConfigSlots>;

class CMappingEngine {
 public:
  // Progress and results go to console; warnings that change no result go
  // to errors.
  explicit CMappingEngine(std::ostream& console = std::cout, std::ostream& errors = std::cerr);
  ~CMappingEngine();
  CMappingEngine(const CMappingEngine&) = delete;
  CMappingEngine& operator=(const CMappingEngine&) = delete;

  // Reads key=value settings into configValues and echoes each one; an
  // unknown key also gets a warning on the error stream. False when the
  // file cannot be opened or read.
  bool ReadConfig(const std::string& fileName);
  // 1 to 11 for the configuration keys, 0 for anything else.
  int KeyIndex(const std::string& key) const;
  std::string GetConfigValue(int index) const;
  std::string GetConfigValue(ConfigKey key) const;

  // Reads name<TAB>size lines into genomeSizes. False when the file cannot be
  // opened or read.
  bool ReadGenomeSizeTable(const std::string& path);

  // Replaces fileList with the entries of dir that have the extension format.
  // GeneTables keeps only those named genome name + subFormat + format.
  void ScanDirectory(const std::string& dir, const std::string& format,
                     const std::string& subFormat, ScanMode mode);
  // The number of listed files, printing a "size is " line on every call.
  int FileCount();

  // Reads the pair list at path into chosenPairs: pairs (i, j), i < j, of
  // fileList's genomes, named by their angle files' names without extension.
  // False when the list cannot be opened, when reading it fails part way
  // (unreadableInput names it), or at the first line that is no pair of two
  // genomes of the list (pairListFault says which and why). A list of no
  // pair is read, with a warning on the error stream.
  bool ReadPairList(const std::string& path);

  // Writes the angle file of listed gene table fileIndex into outDir. False
  // when the gene table cannot be read, its genome has no size, or the angle
  // file cannot be written, or reading the gene table fails part way.
  bool TransformGeneTable(int fileIndex, const std::string& outDir);
  // The same up to its last step: the angle file is written but not yet in
  // place, which angles->Close() does.
  bool TransformGeneTable(int fileIndex, const std::string& outDir,
                          std::unique_ptr<circog::OutputFile>& angles);
  // Splits one gene-table line into currentRow; false for an empty line.
  bool SplitGeneTableLine(std::string_view line);

  // Rebuilds genes[side] from the angle file of listed file fileIndex; a
  // file that cannot be opened has no genes. False when reading it fails.
  bool LoadAngleFile(int side, int fileIndex);
  // Attaches protein sequences to genes[side] from the genome's .faa file.
  // False when that file cannot be opened or read.
  bool LoadProteinFile(int side, int fileIndex);

  // Pairs side 0 with side 1 by COG identifier into mappingResults; with
  // alignment, only partners whose proteins align above the threshold.
  // False when the score table cannot be read.
  bool MapGenes(bool alignmentEnabled);

  // Writes the pair's three result files under outDir and empties
  // mappingResults; a pair with no accepted entry writes none and removes
  // those of an earlier run. False when a result file cannot be written or
  // removed.
  bool WritePairResults(int firstIndex, int secondIndex, const std::string& outDir);

  std::vector<GenomeSizeEntry> genomeSizes;
  std::vector<GeneTableRow> geneTableRows;
  GeneTableRow currentRow;
  std::unique_ptr<FileList> fileList;
  ConfigTable configValues;
  std::array<std::vector<GeneRecord>, 2> genes;
  std::vector<MappingEntry> mappingResults;
  // The pairs a pair list chose, as ReadPairList left them.
  std::vector<std::pair<int, int>> chosenPairs;
  circog::PairListFault pairListFault;
  // The input whose reading failed part way, as its path was configured;
  // empty while every read has succeeded. A stage that sets it returns false.
  std::string unreadableInput;
  // What the mapping keeps of the alignments it made, for the run's later
  // pairs; the comparison stage sets it up.
  std::shared_ptr<circog::AlignmentCache> alignmentCache;

 private:
  void WarnUnknownKey(const std::string& fileName, int lineNumber, const std::string& key);

  std::ostream& console_;
  std::ostream& errors_;
};
