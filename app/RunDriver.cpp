#include "app/RunDriver.h"

#include <deque>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "compare/AlignmentPool.h"
#include "engine/EngineAhead.h"
#include "engine/MappingEngine.h"
#include "prepare/PrepareText.h"
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

// With more than one CPU, gene tables are transformed two at a time: the
// next one on a helper while this one is done in turn. The helper's angle
// file is put in place after this one's, and not at all when this one fails.
// A table that this one's angle file would replace is read in its turn.
bool TransformAll(CMappingEngine& engine, std::ostream& console, circog::AheadThread& background) {
  const int listed = static_cast<int>(engine.fileList->size());
  const bool twoAtATime = background.Running();
  std::unique_ptr<circog::OutputFile> aheadAngles;
  std::unique_ptr<circog::EngineAhead> ahead;  // table i, when the helper has it
  int i = 0;
  if (engine.FileCount() > 0) {
    do {
      if (ahead) {
        const std::unique_ptr<circog::EngineAhead> done = std::move(ahead);
        if (!done->Finish(console)) {
          engine.unreadableInput = done->Helper().unreadableInput;
          return false;
        }
        if (!aheadAngles->Close()) return false;
      } else {
        const std::string written = circog::GenomeKey((*engine.fileList)[i]) + ".txt";
        if (twoAtATime && i + 1 < listed && circog::FileName((*engine.fileList)[i + 1]) != written) {
          ahead = std::make_unique<circog::EngineAhead>(
              background, engine, i + 1, [&aheadAngles, next = i + 1](CMappingEngine& helper, std::string&) {
                return helper.TransformGeneTable(next, kAngleOutputDir, aheadAngles);
              });
        }
        if (!engine.TransformGeneTable(i, kAngleOutputDir)) return false;
      }
      ++i;
    } while (i < engine.FileCount());
  }
  return true;
}

// Loads one side of a pair: its angle file and, with proteins, its protein
// file. On failure, failure is what the stage says when no read error names
// the file.
bool LoadSide(CMappingEngine& engine, int side, int fileIndex, bool withProteins, std::string& failure) {
  if (!engine.LoadAngleFile(side, fileIndex)) return false;
  if (withProteins && !engine.LoadProteinFile(side, fileIndex)) {
    failure = "Fail to Open Protein file ";
    return false;
  }
  return true;
}

// Result files always have '&' in their names; a listed file without one is
// none that writing a pair's results replaces or removes, so it can be read
// while they are written.
bool UntouchedByResults(const CMappingEngine& engine, int fileIndex) {
  return circog::FileNamePart((*engine.fileList)[fileIndex]).find('&') == std::string::npos;
}

// Every pair (i, j), i < j, in list order; side 0 stays loaded for all its
// partners, and the last genome is loaded although no pair follows it. With
// more than one CPU, the genomes a mapping needs next are read ahead while
// the run reads the other side or writes results.
int ComparePairs(CMappingEngine& engine, std::ostream& console, circog::AheadThread& background) {
  if (engine.FileCount() <= 0) return 0;
  const bool withProteins = AlignmentOn(engine);
  const int listed = static_cast<int>(engine.fileList->size());
  const bool readAhead = background.Running();
  std::deque<std::unique_ptr<circog::EngineAhead>> ahead;  // in the order the run takes them
  auto readEarly = [&](int fileIndex) {
    ahead.push_back(std::make_unique<circog::EngineAhead>(
        background, engine, fileIndex,
        [fileIndex, withProteins](CMappingEngine& helper, std::string& failure) {
          return LoadSide(helper, 0, fileIndex, withProteins, failure);
        }));
  };
  auto release = [&](int side) { std::vector<GeneRecord>().swap(engine.genes[side]); };
  auto load = [&](int side, int fileIndex) {
    std::string failure;
    if (!ahead.empty() && ahead.front()->FileIndex() == fileIndex) {
      const std::unique_ptr<circog::EngineAhead> read = std::move(ahead.front());
      ahead.pop_front();
      if (read->Finish(console)) {
        engine.genes[side] = std::move(read->Helper().genes[0]);
        return 0;
      }
      engine.unreadableInput = read->Helper().unreadableInput;
      failure = read->Failure();
    } else if (LoadSide(engine, side, fileIndex, withProteins, failure)) {
      return 0;
    }
    return FailStage(engine, console, failure);
  };

  int i = 0;
  do {
    if (readAhead && ahead.empty() && i + 1 < listed) readEarly(i + 1);
    if (load(0, i) != 0) return -1;
    for (int j = i + 1; j < engine.FileCount(); ++j) {
      if (load(1, j) != 0) return -1;
      if (!engine.MapGenes(AlignmentOn(engine))) return FailStage(engine, console, "");
      // The next pair's genomes: the next partner, or the next first genome and
      // its first partner. Writing results needs no genes, and a side is not
      // used again before it is replaced, so its memory is let go for them.
      if (readAhead && j + 1 < listed) {
        if (UntouchedByResults(engine, j + 1)) {
          release(1);
          readEarly(j + 1);
        }
      } else if (readAhead && i + 1 < listed && UntouchedByResults(engine, i + 1)) {
        release(0);
        release(1);
        readEarly(i + 1);
        if (i + 2 < listed && UntouchedByResults(engine, i + 2)) readEarly(i + 2);
      }
      if (!engine.WritePairResults(i, j, engine.GetConfigValue(ConfigKey::PairOutputPath))) {
        return Fail(console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::PairOutputPath));
      }
    }
    ++i;
  } while (i < engine.FileCount());
  return 0;
}

int RunStages(std::ostream& console) {
  // Started first, so that it is under way by the time there is work for it.
  circog::AheadThread background(circog::UsableThreads() > 1);
  CMappingEngine engine(console);
  if (!engine.ReadConfig("config.txt")) {
    return FailStage(engine, console, "Fail to open configure file.");
  }
  if (!engine.ReadGenomeSizeTable(engine.GetConfigValue(ConfigKey::GenomeSizePath))) {
    return FailStage(engine, console,
                     "Fail to Open file " + engine.GetConfigValue(ConfigKey::GenomeSizePath));
  }
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::TranformDataDir),
                       engine.GetConfigValue(ConfigKey::TranformDataFormat),
                       engine.GetConfigValue(ConfigKey::TranformDataSubFormat), ScanMode::GeneTables);
  if (!TransformAll(engine, console, background)) {
    return FailStage(engine, console,
                     "Fail to Open file " + engine.GetConfigValue(ConfigKey::TranformDataOutPath));
  }
  engine.geneTableRows.clear();
  engine.genomeSizes.clear();
  engine.ScanDirectory(engine.GetConfigValue(ConfigKey::AnglePath),
                       engine.GetConfigValue(ConfigKey::AngleFormat), "", ScanMode::AngleFiles);
  return ComparePairs(engine, console, background);
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
