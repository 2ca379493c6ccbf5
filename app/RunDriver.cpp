#include "app/RunDriver.h"

#include <string>

#include "engine/MappingEngine.h"
#include "text/TextIo.h"

namespace {

// Gene tables are always transformed into this directory.
const char* const kAngleOutputDir = ".\\angle1\\";

bool AlignmentOn(const CMappingEngine& engine) {
  return engine.GetConfigValue(ConfigKey::AlignmentFlag) == "TRUE";
}

// Every stage failure ends the run the same way.
int Fail(std::ostream& console, const std::string& message) {
  circog::PrintLine(console, "[SYS]\t" + message);
  return -1;
}

bool TransformAll(CMappingEngine& engine) {
  int i = 0;
  if (engine.FileCount() > 0) {
    do {
      if (!engine.TransformGeneTable(i, kAngleOutputDir)) return false;
      ++i;
    } while (i < engine.FileCount());
  }
  return true;
}

// Every pair (i, j), i < j, in list order; side 0 stays loaded for all its
// partners, and the last genome is loaded although no pair follows it.
int ComparePairs(CMappingEngine& engine, std::ostream& console) {
  if (engine.FileCount() <= 0) return 0;
  int i = 0;
  do {
    engine.LoadAngleFile(0, i);
    if (AlignmentOn(engine) && !engine.LoadProteinFile(0, i)) {
      return Fail(console, "Fail to Open Protein file ");
    }
    for (int j = i + 1; j < engine.FileCount(); ++j) {
      engine.LoadAngleFile(1, j);
      if (AlignmentOn(engine) && !engine.LoadProteinFile(1, j)) {
        return Fail(console, "Fail to Open Protein file ");
      }
      engine.MapGenes(AlignmentOn(engine));
      if (!engine.WritePairResults(i, j, engine.GetConfigValue(ConfigKey::PairOutputPath))) {
        return Fail(console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::PairOutputPath));
      }
    }
    ++i;
  } while (i < engine.FileCount());
  return 0;
}

}  // namespace

int RunCircog(std::ostream& console) {
  CMappingEngine engine(console);
  if (!engine.ReadConfig("config.txt")) {
    return Fail(console, "Fail to open configure file.");
  }
  if (!engine.ReadGenomeSizeTable(engine.GetConfigValue(ConfigKey::GenomeSizePath))) {
    return Fail(console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::GenomeSizePath));
  }
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::TranformDataDir),
                       engine.GetConfigValue(ConfigKey::TranformDataFormat),
                       engine.GetConfigValue(ConfigKey::TranformDataSubFormat), ScanMode::GeneTables);
  if (!TransformAll(engine)) {
    return Fail(console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::TranformDataOutPath));
  }
  engine.geneTableRows.clear();
  engine.genomeSizes.clear();
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::AnglePath),
                       engine.GetConfigValue(ConfigKey::AngleFormat), "", ScanMode::AngleFiles);
  return ComparePairs(engine, console);
}
