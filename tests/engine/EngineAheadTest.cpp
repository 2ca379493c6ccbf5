#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <new>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/EngineAhead.h"

namespace {

using circog::AheadThread;
using circog::EngineAhead;

// Whether the helper thread runs them or the run takes them first, the
// console reads as if each ran in its turn, and each runs exactly once.
TEST(EngineAheadTest, OutcomesAndLinesInTurnWithOrWithoutTheThread) {
  CMappingEngine engine;
  engine.fileList->push_back("listed");
  for (const bool start : {false, true}) {
    AheadThread thread(start);
    EXPECT_EQ(thread.Running(), start);
    std::atomic<int> runs{0};
    std::vector<std::unique_ptr<EngineAhead>> ahead;
    for (int k = 0; k < 40; ++k) {
      ahead.push_back(std::make_unique<EngineAhead>(
          thread, engine, k, [k, &runs](CMappingEngine& helper, std::string& failure) {
            ++runs;
            EXPECT_EQ(*helper.fileList, FileList{"listed"});  // the run's file list
            helper.fileList->resize(static_cast<size_t>(k));
            helper.FileCount();  // prints "size is k"
            failure = "failed " + std::to_string(k);
            return k % 3 != 0;
          }));
    }
    std::ostringstream console, expected;
    for (int k = 0; k < 40; ++k) {
      EXPECT_EQ(ahead[k]->FileIndex(), k);
      EXPECT_EQ(ahead[k]->Finish(console), k % 3 != 0);
      EXPECT_EQ(ahead[k]->Failure(), "failed " + std::to_string(k));
      expected << "size is " << k << "\n";
    }
    EXPECT_EQ(console.str(), expected.str());
    EXPECT_EQ(runs.load(), 40);
  }
}

TEST(EngineAheadTest, WhatTheOperationThrewComesAfterItsLines) {
  CMappingEngine engine;
  for (const bool start : {false, true}) {
    AheadThread thread(start);
    EngineAhead ahead(thread, engine, 0, [](CMappingEngine& helper, std::string&) -> bool {
      helper.FileCount();
      throw std::bad_alloc();
    });
    std::ostringstream console;
    EXPECT_THROW(ahead.Finish(console), std::bad_alloc);
    EXPECT_EQ(console.str(), "size is 0\n");
  }
}

// An operation the run no longer needs is dropped if it has not started:
// here the thread is held by the first one while the second is dropped.
TEST(EngineAheadTest, DroppedBeforeItStartsNeverRuns) {
  CMappingEngine engine;
  AheadThread thread(true);
  std::atomic<bool> release{false};
  std::atomic<bool> started{false};
  std::atomic<int> secondRuns{0};
  EngineAhead first(thread, engine, 0, [&](CMappingEngine&, std::string&) {
    started = true;
    while (!release) std::this_thread::yield();
    return true;
  });
  while (!started) std::this_thread::yield();
  {
    EngineAhead second(thread, engine, 1, [&](CMappingEngine&, std::string&) { return ++secondRuns > 0; });
  }
  release = true;
  std::ostringstream console;
  EXPECT_TRUE(first.Finish(console));
  EXPECT_EQ(secondRuns.load(), 0);
}

}  // namespace
