#pragma once
// Engine operations run ahead of their turn while the run does other serial
// work. Each runs on a helper engine that starts with the run's file list and
// genome sizes; its console lines wait until the run takes the outcome, so
// the console reads as if everything ran in turn. One helper thread takes
// them in order; an operation it has not started by the time the run needs
// it is run by the run itself, so running ahead never makes the run wait
// longer than running in turn would.

#include <atomic>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "engine/MappingEngine.h"

namespace circog {

struct AheadTask;

// The helper thread: it sleeps until there is work.
class AheadThread {
 public:
  // Without start, or when no thread can be had, nothing runs ahead: every
  // operation runs when the run takes it.
  explicit AheadThread(bool start);
  ~AheadThread();
  AheadThread(const AheadThread&) = delete;
  AheadThread& operator=(const AheadThread&) = delete;

  bool Running() const { return thread_.joinable(); }
  void Submit(std::shared_ptr<AheadTask> task);

 private:
  void Loop();
  std::shared_ptr<AheadTask> Next();
  void Signal();

  std::mutex mutex_;
  std::deque<std::shared_ptr<AheadTask>> queue_;
  std::atomic<uint32_t> signal_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class EngineAhead {
 public:
  // operation gets the helper engine and a place for the failure line its
  // stage prints when no read error names the file.
  using Operation = std::function<bool(CMappingEngine& helper, std::string& failure)>;

  EngineAhead(AheadThread& thread, const CMappingEngine& engine, int fileIndex, Operation operation);
  // An operation not yet started is dropped; one under way is waited for.
  // Either way nothing of it is seen.
  ~EngineAhead();
  EngineAhead(const EngineAhead&) = delete;
  EngineAhead& operator=(const EngineAhead&) = delete;

  int FileIndex() const { return fileIndex_; }

  // Runs the operation if the helper thread has not started it, or waits for
  // it; writes its console lines (and warnings to standard error) and
  // rethrows what it threw; then its outcome.
  bool Finish(std::ostream& console);

  CMappingEngine& Helper();
  const std::string& Failure() const;

 private:
  std::shared_ptr<AheadTask> task_;
  int fileIndex_;
};

}  // namespace circog
