#include "engine/EngineAhead.h"

#include <iostream>
#include <system_error>

namespace circog {

struct AheadTask {
  enum : int { kQueued = 0, kClaimed = 1, kDone = 2 };

  AheadTask() : helper(console, errors) {}

  // True for the one thread that may run the operation.
  bool Claim() {
    int queued = kQueued;
    return state.compare_exchange_strong(queued, kClaimed, std::memory_order_acq_rel);
  }
  void Run() {
    try {
      ok = operation(helper, failure);
    } catch (...) {
      error = std::current_exception();
    }
    state.store(kDone, std::memory_order_release);
    state.notify_all();
  }
  void AwaitDone() {
    for (int seen = state.load(std::memory_order_acquire); seen != kDone;
         seen = state.load(std::memory_order_acquire)) {
      state.wait(seen, std::memory_order_acquire);
    }
  }

  std::ostringstream console;
  std::ostringstream errors;
  CMappingEngine helper;
  EngineAhead::Operation operation;
  bool ok = false;
  std::string failure;
  std::exception_ptr error;
  std::atomic<int> state{kQueued};
};

AheadThread::AheadThread(bool start) {
  if (!start) return;
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    // Nothing runs ahead.
  }
}

AheadThread::~AheadThread() {
  stop_.store(true);
  Signal();
  if (thread_.joinable()) thread_.join();
}

void AheadThread::Submit(std::shared_ptr<AheadTask> task) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  Signal();
}

void AheadThread::Signal() {
  signal_.fetch_add(1, std::memory_order_release);
  signal_.notify_one();
}

std::shared_ptr<AheadTask> AheadThread::Next() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return nullptr;
  std::shared_ptr<AheadTask> task = std::move(queue_.front());
  queue_.pop_front();
  return task;
}

void AheadThread::Loop() {
  for (;;) {
    const uint32_t seen = signal_.load(std::memory_order_acquire);
    if (std::shared_ptr<AheadTask> task = Next()) {
      if (task->Claim()) task->Run();
      continue;
    }
    if (stop_.load()) return;
    signal_.wait(seen, std::memory_order_acquire);
  }
}

EngineAhead::EngineAhead(AheadThread& thread, const CMappingEngine& engine, int fileIndex,
                         Operation operation)
    : task_(std::make_shared<AheadTask>()), fileIndex_(fileIndex) {
  *task_->helper.fileList = *engine.fileList;
  task_->helper.genomeSizes = engine.genomeSizes;
  task_->operation = std::move(operation);
  if (thread.Running()) thread.Submit(task_);
}

EngineAhead::~EngineAhead() {
  if (!task_->Claim()) task_->AwaitDone();
}

bool EngineAhead::Finish(std::ostream& console) {
  if (task_->Claim()) {
    task_->Run();
  } else {
    task_->AwaitDone();
  }
  console << task_->console.view();
  console.flush();
  std::cerr << task_->errors.view();
  if (task_->error) std::rethrow_exception(task_->error);
  return task_->ok;
}

CMappingEngine& EngineAhead::Helper() { return task_->helper; }

const std::string& EngineAhead::Failure() const { return task_->failure; }

}  // namespace circog
