// The engine clock and the worker thread protocol.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/zov_thread.h"
#include "engine/zov_time.h"
#include "tests/common/test_wait.h"

namespace {

TEST(ZovTime, NowMsFollowsWallTimeWhileSleeping) {
  // A processor-time clock would stand still while the thread sleeps.
  int32_t before = NowMs();
  EXPECT_EQ(SleepMs(40), 0);
  int32_t slept = NowMs() - before;
  EXPECT_GE(slept, 40);
  EXPECT_LT(slept, 1000);
}

TEST(ZovTime, NowMsIsMonotonicAndStartsNearZero) {
  int32_t last = NowMs();
  EXPECT_GE(last, 0);
  EXPECT_LT(last, 60 * 60 * 1000);  // counted from process start, not the epoch
  for (int i = 0; i < 1000; ++i) {
    int32_t now = NowMs();
    ASSERT_GE(now, last);
    last = now;
  }
}

TEST(ZovTime, SleepHasMillisecondResolution) {
  // A sleep bound to a 10-16 ms scheduler tick would make a 1 ms pause last a
  // whole tick; the median of a few pauses ignores an odd late wake-up.
  std::vector<double> pauses;
  for (int i = 0; i < 21; ++i) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SleepMs(1), 0);
    pauses.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(pauses.begin(), pauses.end());
  EXPECT_GE(pauses.front(), 1.0);
  EXPECT_LT(pauses[pauses.size() / 2], 5.0);
  EXPECT_EQ(SleepMs(0), 0);
  EXPECT_EQ(SleepMs(-5), 0);
}

// A worker following the designed loop: holds runLock for its body, sets its
// own working state first, does one unit per pass under stateLock.
class LoopWorker : public CZovThread {
 public:
  ~LoopWorker() override { Stop(); }
  void Start() override {
    state = kZovThreadRunning;
    StartThread(nullptr, this);
  }
  void Run() override {
    std::lock_guard<std::recursive_mutex> body(runLock);
    state = kZovThreadRunning;
    while (state != kZovThreadStopped) {
      if (state == kZovThreadRunning) {
        std::lock_guard<std::recursive_mutex> unit(stateLock);
        if (state == kZovThreadRunning) {
          inUnit = true;
          while (holdUnit) SleepMs(1);
          inUnit = false;
          passes += 1;
        }
      }
      SleepMs(1);
    }
    state = kZovThreadStopped;
    bodyReturned = true;
  }
  std::atomic<bool> holdUnit{false};
  std::atomic<bool> inUnit{false};
  std::atomic<int> passes{0};
  std::atomic<bool> bodyReturned{false};
};

using zovtest::StaysFalse;
using zovtest::WaitUntil;


TEST(ZovThread, StartRunsBodyAndStopJoinsIt) {
  LoopWorker w;
  EXPECT_EQ(w.threadId, 0u);
  w.Start();
  ASSERT_TRUE(WaitUntil([&] { return w.passes > 3; }));
  EXPECT_NE(w.threadId, 0u);
  w.Stop();
  EXPECT_TRUE(w.bodyReturned);
  EXPECT_EQ(w.state, kZovThreadStopped);
  EXPECT_EQ(w.threadId, 0u);
  int after = w.passes;
  EXPECT_TRUE(StaysFalse([&] { return w.passes != after; }, 10));
}

TEST(ZovThread, StopRightAfterStartIsNotLostWhenTheBodySetsItsState) {
  // The body sets state 1 when it begins; a stop issued before that must
  // still end it.
  for (int i = 0; i < 50; ++i) {
    LoopWorker w;
    w.Start();
    w.Stop();
    EXPECT_TRUE(w.bodyReturned);
  }
}

TEST(ZovThread, StopOfFinishedThreadReturnsAtOnce) {
  LoopWorker w;
  w.Start();
  ASSERT_TRUE(WaitUntil([&] { return w.passes > 0; }));
  w.SetState(kZovThreadStopped);
  ASSERT_TRUE(WaitUntil([&] { return w.bodyReturned.load(); }));
  auto start = std::chrono::steady_clock::now();
  w.Stop();
  w.Stop();  // and again
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, 50);
}

TEST(ZovThread, StopWithoutStartReturnsAtOnce) {
  LoopWorker w;
  w.Stop();
  EXPECT_EQ(w.state, kZovThreadStopped);
}

TEST(ZovThread, SetStateWaitsForTheUnitInProgress) {
  LoopWorker w;
  w.holdUnit = true;
  w.Start();
  ASSERT_TRUE(WaitUntil([&] { return w.inUnit.load(); }));
  std::atomic<bool> setDone{false};
  std::thread ui([&] {
    w.SetState(kZovThreadPaused);
    setDone = true;
  });
  EXPECT_TRUE(StaysFalse([&] { return setDone.load(); }, 30))
      << "SetState returned while a unit of work was in progress";
  EXPECT_EQ(w.state, kZovThreadRunning);
  w.holdUnit = false;
  ui.join();
  EXPECT_TRUE(setDone);
  EXPECT_EQ(w.state, kZovThreadPaused);
  // Paused: no more units.
  int passes = w.passes;
  EXPECT_TRUE(StaysFalse([&] { return w.passes != passes; }, 20));
  w.SetState(kZovThreadRunning);
  EXPECT_TRUE(WaitUntil([&] { return w.passes > passes; }));
}

TEST(ZovThread, CallbackReplacesRunAndGetsItsArgument) {
  struct Probe {
    std::atomic<int> calls{0};
    void* seen = nullptr;
  } probe;
  LoopWorker w;
  w.StartThread(
      [](void* arg) {
        auto* p = static_cast<Probe*>(arg);
        p->seen = arg;
        p->calls += 1;
      },
      &probe);
  w.Stop();
  EXPECT_EQ(probe.calls, 1);
  EXPECT_EQ(probe.seen, &probe);
  EXPECT_EQ(w.passes, 0) << "Run() ran although a callback was given";
  EXPECT_EQ(w.callbackArgument, &probe);
}

TEST(ZovThread, StartThreadSetsCreatedStateAndRestartWorks) {
  LoopWorker w;
  w.state = kZovThreadRunning;
  w.holdUnit = false;
  // A callback that never sets its state shows that StartThread itself sets 0.
  std::atomic<bool> release{false};
  std::atomic<int32_t> seenState{-1};
  struct Ctx {
    LoopWorker* w;
    std::atomic<bool>* release;
    std::atomic<int32_t>* seen;
  } ctx{&w, &release, &seenState};
  w.StartThread(
      [](void* a) {
        auto* c = static_cast<Ctx*>(a);
        c->seen->store(c->w->state);
        while (!c->release->load() && c->w->state != kZovThreadStopped) SleepMs(1);
      },
      &ctx);
  ASSERT_TRUE(WaitUntil([&] { return seenState != -1; }));
  EXPECT_EQ(seenState, kZovThreadCreated);
  release = true;
  w.Stop();
  // The same object starts again with its own body.
  w.Start();
  EXPECT_TRUE(WaitUntil([&] { return w.passes > 0; }));
  w.Stop();
}

}  // namespace
