// Message layer: posted and sent messages reach the window procedure on the
// window's own thread, cross-thread sends block until handled and cannot
// deadlock when two threads send to each other, timers are numbered.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/zov_hand_over.h"
#include "platform/zov_wnd.h"

#include "tests/common/test_wait.h"

namespace {

constexpr UINT kMsgRecord = WM_USER + 1;
constexpr UINT kMsgEcho = WM_USER + 2;
constexpr UINT kMsgBounce = WM_USER + 3;

using zovtest::Watchdog;
using zovtest::WaitUntil;

class RecordingWnd : public CZovWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    std::lock_guard<std::mutex> g(lock);
    threads.push_back(QThread::currentThread());
    messages.push_back(message);
    wparams.push_back(wParam);
    if (message == kMsgEcho) return static_cast<LRESULT>(wParam) * 2 + lParam;
    if (message == WM_TIMER) ++timerTicks;
    return 0;
  }
  size_t Count() {
    std::lock_guard<std::mutex> g(lock);
    return messages.size();
  }
  std::mutex lock;
  std::vector<QThread*> threads;
  std::vector<UINT> messages;
  std::vector<WPARAM> wparams;
  int timerTicks = 0;
};

// Sends back to a peer while handling a message, so that a send in one
// direction needs the other direction to be served.
class BounceTarget : public CZovMsgObject {
 public:
  CZovMsgTarget* peer = nullptr;
  std::atomic<int> handled{0};
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    ++handled;
    if (message == kMsgBounce && peer && wParam > 0) return peer->SendMessage(kMsgBounce, wParam - 1, lParam) + 1;
    return static_cast<LRESULT>(wParam);
  }
};

class BounceWnd : public CZovWnd {
 public:
  CZovMsgTarget* peer = nullptr;
  std::atomic<int> handled{0};
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    ++handled;
    EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    if (message == kMsgBounce && peer && wParam > 0) return peer->SendMessage(kMsgBounce, wParam - 1, lParam) + 1;
    return static_cast<LRESULT>(wParam);
  }
};

// A Qt thread with an event loop and one message target living on it.
class TargetThread {
 public:
  TargetThread() {
    thread_.start();
    target_ = new BounceTarget();
    target_->moveToThread(&thread_);
  }
  ~TargetThread() {
    ZovInvokeOn(target_, [t = target_] { delete t; }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
  }
  BounceTarget* target() { return target_; }
  QThread* thread() { return &thread_; }

 private:
  QThread thread_;
  BounceTarget* target_;
};

TEST(MessageLayer, SendOnOwnThreadIsDirect) {
  RecordingWnd w;
  // No event loop runs: the call itself must deliver.
  EXPECT_EQ(w.SendMessage(kMsgEcho, 20, 2), 42);
  ASSERT_EQ(w.Count(), 1u);
  EXPECT_EQ(w.threads[0], QThread::currentThread());
}

TEST(MessageLayer, PostFromOtherThreadArrivesInOrderOnWindowThread) {
  RecordingWnd w;
  constexpr int kCount = 200;
  std::thread poster([&] {
    for (int i = 0; i < kCount; ++i) ASSERT_TRUE(w.PostMessage(kMsgRecord, static_cast<WPARAM>(i), 0));
  });
  poster.join();
  EXPECT_EQ(w.Count(), 0u) << "posted messages must wait for the window's event loop";
  ASSERT_TRUE(WaitUntil([&] { return w.Count() == kCount; }));
  for (int i = 0; i < kCount; ++i) {
    EXPECT_EQ(w.wparams[static_cast<size_t>(i)], static_cast<WPARAM>(i));
    EXPECT_EQ(w.threads[static_cast<size_t>(i)], QThread::currentThread());
  }
}

TEST(MessageLayer, SendFromWorkerBlocksUntilHandled) {
  RecordingWnd w;
  std::atomic<bool> returned{false};
  std::atomic<LRESULT> result{0};
  std::thread sender([&] {
    result = w.SendMessage(kMsgEcho, 5, 1);
    returned = true;
  });
  // The worker cannot return before this thread runs its event loop.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned.load());
  EXPECT_EQ(w.Count(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return returned.load(); }));
  sender.join();
  EXPECT_EQ(result.load(), 11);
  ASSERT_EQ(w.Count(), 1u);
  EXPECT_EQ(w.threads[0], QThread::currentThread());
}

TEST(MessageLayer, TwoThreadsSendingToEachOtherDoNotDeadlock) {
  Watchdog dog(30);
  TargetThread worker;
  BounceWnd ui;
  worker.target()->peer = &ui;
  ui.peer = worker.target();
  constexpr int kRounds = 500;

  std::atomic<int> workerDone{0};
  std::atomic<long> workerSum{0};
  // The worker's thread sends to the window while the window's thread sends
  // to the worker's target, at the same time, many times.
  ZovInvokeOn(worker.target(), [&] {
    for (int i = 0; i < kRounds; ++i) workerSum += ui.SendMessage(kMsgBounce, 3, 0);
    workerDone = 1;
  });
  long uiSum = 0;
  for (int i = 0; i < kRounds; ++i) uiSum += worker.target()->SendMessage(kMsgBounce, 3, 0);
  ASSERT_TRUE(WaitUntil([&] { return workerDone.load() == 1; }, 20000));
  // Each send bounces three times and the last one answers 0: result 3.
  EXPECT_EQ(uiSum, 3L * kRounds);
  EXPECT_EQ(workerSum.load(), 3L * kRounds);
  EXPECT_EQ(ui.handled.load() + worker.target()->handled.load(), 2 * kRounds * 4);
}

TEST(MessageLayer, DestroyedTargetAnswersWaitingSender) {
  auto* w = new RecordingWnd();
  std::atomic<bool> returned{false};
  std::atomic<LRESULT> result{-1};
  std::thread sender([&] {
    result = w->SendMessage(kMsgEcho, 5, 1);
    returned = true;
  });
  // Wait until the request is queued for the window, without delivering it.
  QElapsedTimer t;
  t.start();
  while (w->QueuedSendCount() == 0 && t.elapsed() < 5000) std::this_thread::yield();
  ASSERT_EQ(w->QueuedSendCount(), 1);
  delete w;
  sender.join();
  EXPECT_TRUE(returned.load());
  EXPECT_EQ(result.load(), 0);
  // The wake-up posted for the deleted window must be gone with it.
  QCoreApplication::processEvents();
}

// A blocking call that Qt drops unrun (its receiver's queued calls removed,
// as deleting the receiver removes them) answers its caller with false.
TEST(MessageLayer, BlockingCallDroppedUnrunAnswersFalse) {
  QThread idle;  // never started: what is posted to its objects stays queued
  QObject receiver;
  receiver.moveToThread(&idle);
  std::atomic<bool> ran{false}, returned{false}, answer{true};
  std::thread caller([&] {
    answer = ZovInvokeOn(&receiver, [&] { ran = true; }, Qt::BlockingQueuedConnection);
    returned = true;
  });
  // The call is removed as soon as it is queued; the caller then answers.
  QElapsedTimer t;
  t.start();
  while (!returned && t.elapsed() < 5000) {
    QCoreApplication::removePostedEvents(&receiver);
    std::this_thread::yield();
  }
  if (!returned) {
    caller.detach();  // it waits for good: the fault this test is about
    FAIL() << "the caller still waits for a call that was dropped";
  }
  caller.join();
  EXPECT_FALSE(answer.load());
  EXPECT_FALSE(ran.load());
}

TEST(MessageLayer, NumberedTimers) {
  RecordingWnd w;
  EXPECT_FALSE(w.KillTimer(7));
  ASSERT_TRUE(w.SetTimer(7, 5));
  ASSERT_TRUE(WaitUntil([&] { return w.timerTicks >= 3; }));
  {
    std::lock_guard<std::mutex> g(w.lock);
    for (size_t i = 0; i < w.messages.size(); ++i) {
      EXPECT_EQ(w.messages[i], WM_TIMER);
      EXPECT_EQ(w.wparams[i], 7u);
    }
  }
  EXPECT_TRUE(w.KillTimer(7));
  EXPECT_FALSE(w.KillTimer(7));
  int ticks = w.timerTicks;
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 40) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(w.timerTicks, ticks);

  // Periods outside the usable range are brought into it: 0 ms runs at the
  // 10 ms minimum instead of spinning, the longest one still starts.
  ASSERT_TRUE(w.SetTimer(8, 0xFFFFFFFFu));
  EXPECT_TRUE(w.KillTimer(8));
  ASSERT_TRUE(w.SetTimer(6, 0));
  ticks = w.timerTicks;
  t.restart();
  while (t.elapsed() < 50) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_LE(w.timerTicks - ticks, 6);
  EXPECT_TRUE(w.KillTimer(6));
}

TEST(MessageLayer, TimerSetFromOtherThread) {
  RecordingWnd w;
  std::thread([&] { EXPECT_TRUE(w.SetTimer(9, 5)); }).join();
  ASSERT_TRUE(WaitUntil([&] { return w.timerTicks >= 1; }));
  EXPECT_EQ(w.wparams[0], 9u);
  std::thread([&] { EXPECT_TRUE(w.KillTimer(9)); }).join();
  QCoreApplication::processEvents();  // the queued kill
  int ticks = w.timerTicks;
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 40) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(w.timerTicks, ticks);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
