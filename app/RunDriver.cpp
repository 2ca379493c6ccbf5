#include "app/RunDriver.h"

#include <deque>
#include <exception>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>

#include "compare/AlignmentPool.h"
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

// A genome read on a thread of its own while the run does other serial work
// (reading the other genome of a pair, writing a pair's results). A helper
// engine reads it as the run would; its console lines wait until the run
// takes the genome, so the console reads as if everything ran in turn.
class GenomeReadAhead {
 public:
  GenomeReadAhead(const CMappingEngine& engine, int fileIndex, bool withProteins)
      : helper_(console_, errors_), fileIndex_(fileIndex) {
    *helper_.fileList = *engine.fileList;
    auto read = [this, withProteins] {
      try {
        ok_ = LoadSide(helper_, 0, fileIndex_, withProteins, failure_);
      } catch (...) {
        error_ = std::current_exception();
      }
    };
    try {
      thread_ = std::thread(read);
    } catch (const std::system_error&) {
      read();  // no thread to spare: read it now
    }
  }
  ~GenomeReadAhead() {
    if (thread_.joinable()) thread_.join();
  }
  GenomeReadAhead(const GenomeReadAhead&) = delete;
  GenomeReadAhead& operator=(const GenomeReadAhead&) = delete;

  int FileIndex() const { return fileIndex_; }

  // Waits for the genome, writes its console lines and moves it into
  // engine.genes[side]; what loading it there would have returned.
  int Take(CMappingEngine& engine, std::ostream& console, int side) {
    if (thread_.joinable()) thread_.join();
    console << console_.view();
    console.flush();
    std::cerr << errors_.view();
    if (error_) std::rethrow_exception(error_);
    if (!ok_) {
      engine.unreadableInput = helper_.unreadableInput;
      return FailStage(engine, console, failure_);
    }
    engine.genes[side] = std::move(helper_.genes[0]);
    return 0;
  }

 private:
  std::ostringstream console_;
  std::ostringstream errors_;
  CMappingEngine helper_;
  int fileIndex_;
  bool ok_ = false;
  std::string failure_;
  std::exception_ptr error_;
  std::thread thread_;
};

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
int ComparePairs(CMappingEngine& engine, std::ostream& console) {
  if (engine.FileCount() <= 0) return 0;
  const bool withProteins = AlignmentOn(engine);
  const int listed = static_cast<int>(engine.fileList->size());
  const bool readAhead = circog::UsableThreads() > 1;
  std::deque<std::unique_ptr<GenomeReadAhead>> ahead;  // in the order the run takes them
  auto readEarly = [&](int fileIndex) {
    ahead.push_back(std::make_unique<GenomeReadAhead>(engine, fileIndex, withProteins));
  };
  auto load = [&](int side, int fileIndex) {
    if (!ahead.empty() && ahead.front()->FileIndex() == fileIndex) {
      const std::unique_ptr<GenomeReadAhead> read = std::move(ahead.front());
      ahead.pop_front();
      return read->Take(engine, console, side);
    }
    std::string failure;
    return LoadSide(engine, side, fileIndex, withProteins, failure) ? 0 : FailStage(engine, console, failure);
  };

  int i = 0;
  do {
    if (readAhead && ahead.empty() && i + 1 < listed) readEarly(i + 1);
    if (load(0, i) != 0) return -1;
    for (int j = i + 1; j < engine.FileCount(); ++j) {
      if (load(1, j) != 0) return -1;
      if (!engine.MapGenes(AlignmentOn(engine))) return FailStage(engine, console, "");
      // The next pair's genomes: the next partner, or the next first genome and its first partner.
      if (readAhead && j + 1 < listed) {
        if (UntouchedByResults(engine, j + 1)) readEarly(j + 1);
      } else if (readAhead && i + 1 < listed && UntouchedByResults(engine, i + 1)) {
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
