#include "app/RunDriver.h"

#include <new>
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

// A stage that stopped at a read error names the file; otherwise its usual
// failure line stands.
int FailStage(const CMappingEngine& engine, std::ostream& console, const std::string& message) {
  if (!engine.unreadableInput.empty()) return Fail(console, "Fail to read file " + engine.unreadableInput);
  return Fail(console, message);
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

// Loads one side of a pair: its angle file and, with alignment, its proteins.
int LoadSide(CMappingEngine& engine, std::ostream& console, int side, int fileIndex) {
  if (!engine.LoadAngleFile(side, fileIndex)) return FailStage(engine, console, "");
  if (AlignmentOn(engine) && !engine.LoadProteinFile(side, fileIndex)) {
    return FailStage(engine, console, "Fail to Open Protein file ");
  }
  return 0;
}

// Every pair (i, j), i < j, in list order; side 0 stays loaded for all its
// partners, and the last genome is loaded although no pair follows it.
int ComparePairs(CMappingEngine& engine, std::ostream& console) {
  if (engine.FileCount() <= 0) return 0;
  int i = 0;
  do {
    if (LoadSide(engine, console, 0, i) != 0) return -1;
    for (int j = i + 1; j < engine.FileCount(); ++j) {
      if (LoadSide(engine, console, 1, j) != 0) return -1;
      if (!engine.MapGenes(AlignmentOn(engine))) return FailStage(engine, console, "");
      if (!engine.WritePairResults(i, j, engine.GetConfigValue(ConfigKey::PairOutputPath))) {
        return Fail(console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::PairOutputPath));
      }
    }
    ++i;
  } while (i < engine.FileCount());
  return 0;
}

int RunStages(std::ostream& console) {
  CMappingEngine engine(console);
  if (!engine.ReadConfig("config.txt")) {
    return FailStage(engine, console, "Fail to open configure file.");
  }
  if (!engine.ReadGenomeSizeTable(engine.GetConfigValue(ConfigKey::GenomeSizePath))) {
    return FailStage(engine, console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::GenomeSizePath));
  }
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::TranformDataDir),
                       engine.GetConfigValue(ConfigKey::TranformDataFormat),
                       engine.GetConfigValue(ConfigKey::TranformDataSubFormat), ScanMode::GeneTables);
  if (!TransformAll(engine)) {
    return FailStage(engine, console,
                     "Fail to Open file " + engine.GetConfigValue(ConfigKey::TranformDataOutPath));
  }
  engine.geneTableRows.clear();
  engine.genomeSizes.clear();
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::AnglePath),
                       engine.GetConfigValue(ConfigKey::AngleFormat), "", ScanMode::AngleFiles);
  return ComparePairs(engine, console);
}

}  // namespace

int RunCircog(std::ostream& console, std::ostream& errors) {
  int status = 0;
  try {
    status = RunStages(console);
  } catch (const std::bad_alloc&) {
    // The engine is gone by now, and with it the memory it held; a result
    // file being written was dropped unfinished.
    status = Fail(console, "Out of memory");
  }
  // A console that cannot be written does not stop the run, but the run is
  // no success: the one place left to say so is the error stream.
  if (!console.flush()) {
    circog::PrintLine(errors, "[SYS]\tFail to write standard output");
    return -1;
  }
  return status;
}
