#include "engine/EngineAhead.h"

#include <chrono>
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

namespace {

// A pause while spinning, easy on a sibling hardware thread.
inline void Relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// How long the helper thread looks for new work before it sleeps: the gaps
// between the serial steps of a run are far shorter, and waking a sleeping
// thread on an idle CPU can take longer than a step.
constexpr auto kWatchTime = std::chrono::milliseconds(20);

}  // namespace

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
  watching_.store(true);
  Signal();
}

void AheadThread::Rest() {
  watching_.store(false);
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
    if (watching_.load()) {
      const auto until = std::chrono::steady_clock::now() + kWatchTime;
      while (signal_.load(std::memory_order_acquire) == seen && std::chrono::steady_clock::now() < until) {
        for (int k = 0; k < 64; ++k) Relax();
      }
      if (signal_.load(std::memory_order_acquire) != seen) continue;
      watching_.store(false);
    }
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
