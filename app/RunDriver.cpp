#include "app/RunDriver.h"

#include <deque>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "compare/AlignmentPool.h"
#include "engine/EngineAhead.h"
#include "engine/MappingEngine.h"
#include "engine/PairList.h"
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

// The loads of the pair phase. With more than one CPU, genomes are read ahead
// on the helper thread in the order the run takes them; a load takes the
// genome read ahead when it is the one wanted, and reads it itself otherwise.
class SideLoads {
 public:
  SideLoads(CMappingEngine& engine, std::ostream& console, circog::AheadThread& background)
      : engine_(engine), console_(console), background_(background), withProteins_(AlignmentOn(engine)) {}

  bool ReadsAhead() const { return background_.Running(); }
  bool NothingAhead() const { return ahead_.empty(); }

  void ReadEarly(int fileIndex) {
    ahead_.push_back(std::make_unique<circog::EngineAhead>(
        background_, engine_, fileIndex,
        [fileIndex, withProteins = withProteins_](CMappingEngine& helper, std::string& failure) {
          return LoadSide(helper, 0, fileIndex, withProteins, failure);
        }));
  }

  // A side not used again before it is replaced is let go, so that the
  // helper can reuse its memory.
  void Release(int side) { std::vector<GeneRecord>().swap(engine_.genes[side]); }

  // 0 once genome fileIndex is on side; otherwise the failure is printed and
  // the run's status returned.
  int Load(int side, int fileIndex) {
    std::string failure;
    if (!ahead_.empty() && ahead_.front()->FileIndex() == fileIndex) {
      const std::unique_ptr<circog::EngineAhead> read = std::move(ahead_.front());
      ahead_.pop_front();
      if (read->Finish(console_)) {
        engine_.genes[side] = std::move(read->Helper().genes[0]);
        return 0;
      }
      engine_.unreadableInput = read->Helper().unreadableInput;
      failure = read->Failure();
    } else if (LoadSide(engine_, side, fileIndex, withProteins_, failure)) {
      return 0;
    }
    return FailStage(engine_, console_, failure);
  }

 private:
  CMappingEngine& engine_;
  std::ostream& console_;
  circog::AheadThread& background_;
  const bool withProteins_;
  std::deque<std::unique_ptr<circog::EngineAhead>> ahead_;
};

using Rounds = std::vector<circog::PairRound>;

// Once a pair is mapped, the next pair's genomes are read ahead: the next
// partner, or the next round's first genome and its first partner. Writing
// results needs no genes, so the sides they replace are let go first.
void ReadNextPairEarly(SideLoads& loads, const CMappingEngine& engine, const Rounds& rounds,
                       Rounds::const_iterator round, std::vector<int>::const_iterator partner) {
  if (!loads.ReadsAhead()) return;
  const auto next = round + 1;
  if (partner + 1 != round->partners.end()) {
    if (UntouchedByResults(engine, partner[1])) {
      loads.Release(1);
      loads.ReadEarly(partner[1]);
    }
  } else if (next != rounds.end() && UntouchedByResults(engine, next->first)) {
    loads.Release(0);
    loads.Release(1);
    loads.ReadEarly(next->first);
    if (!next->partners.empty() && UntouchedByResults(engine, next->partners.front())) {
      loads.ReadEarly(next->partners.front());
    }
  }
}

// The rounds in turn: side 0 is loaded once per round and kept for all its
// partners (a full run's last round loads the last genome although no
// partner follows). The loop tests print their "size is " lines: one before
// the rounds, one before each pair, and two after each round's pairs.
int ComparePairs(CMappingEngine& engine, std::ostream& console, circog::AheadThread& background,
                 const Rounds& rounds) {
  if (engine.FileCount() <= 0) return 0;
  SideLoads loads(engine, console, background);
  for (auto round = rounds.begin(); round != rounds.end(); ++round) {
    const std::vector<int>& partners = round->partners;
    if (loads.ReadsAhead() && loads.NothingAhead() && !partners.empty()) loads.ReadEarly(partners.front());
    if (loads.Load(0, round->first) != 0) return -1;
    for (auto partner = partners.begin();; ++partner) {
      engine.FileCount();
      if (partner == partners.end()) break;
      if (loads.Load(1, *partner) != 0) return -1;
      if (!engine.MapGenes(AlignmentOn(engine))) return FailStage(engine, console, "");
      ReadNextPairEarly(loads, engine, rounds, round, partner);
      if (!engine.WritePairResults(round->first, *partner,
                                   engine.GetConfigValue(ConfigKey::PairOutputPath))) {
        return Fail(console, "Fail to Open file " + engine.GetConfigValue(ConfigKey::PairOutputPath));
      }
    }
    engine.FileCount();
  }
  return 0;
}

// The rounds of the pair phase: every pair, or those of the pair list when
// PairList names one. Reading a list can fail; then failure is its line.
bool PlanPairs(CMappingEngine& engine, Rounds& rounds, std::string& failure) {
  const std::string path = engine.GetConfigValue(ConfigKey::PairList);
  if (path.empty()) {
    rounds = circog::AllPairRounds(static_cast<int>(engine.fileList->size()));
    return true;
  }
  if (engine.ReadPairList(path)) {
    rounds = circog::ChosenPairRounds(std::move(engine.chosenPairs));
    return true;
  }
  const circog::PairListFault& fault = engine.pairListFault;
  const std::string where = " in " + path + " line " + std::to_string(fault.line);
  switch (fault.kind) {
    case circog::PairListFault::Kind::None:
      failure = "Fail to Open file " + path;
      break;
    case circog::PairListFault::Kind::Malformed:
      failure = "Malformed pair" + where;
      break;
    case circog::PairListFault::Kind::SameGenome:
      failure = "Genome paired with itself" + where;
      break;
    case circog::PairListFault::Kind::UnknownGenome:
      failure = "Unknown genome \"" + fault.name + "\"" + where;
      break;
  }
  return false;
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
  Rounds rounds;
  std::string failure;
  if (!PlanPairs(engine, rounds, failure)) return FailStage(engine, console, failure);
  return ComparePairs(engine, console, background, rounds);
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
