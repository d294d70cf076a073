// Window directory: look-up by substring, coded records and their ownership,
// sends that cannot deadlock, the delayed queue and its delivery thread.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/zov_hand_over.h"
#include "shell/zov_main_thread.h"
#include "shell/zov_wnd_manager.h"

#include "tests/common/test_wait.h"

namespace {

using zovtest::Watchdog;
using zovtest::WaitUntil;

struct Received {
  UINT message;
  WPARAM wParam;
  int code;
  std::string target;
  std::vector<unsigned char> payload;
  int64_t timeStamp;
  int64_t arrival;
  int delay;
};

// Receives ZOVWM_INFO_E as every window of the program does: copies what it
// needs from the record it borrows.
class InfoWnd : public CZovWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    Received r{message, wParam, 0, {}, {}, 0, ZovMsgClockMs(), 0};
    if (message == ZOVWM_INFO_E) {
      const ZovMsgData* data = ZovMsgRecord(lParam);
      if (data) {
        r.code = data->code;
        r.target = data->target;
        r.payload = data->payload;
        r.timeStamp = data->timeStamp;
        r.delay = data->delay;
      }
    }
    std::lock_guard<std::mutex> g(lock);
    got.push_back(std::move(r));
    return static_cast<LRESULT>(wParam) + 1;
  }
  size_t Count() {
    std::lock_guard<std::mutex> g(lock);
    return got.size();
  }
  std::mutex lock;
  std::vector<Received> got;
};

class DirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override { liveBefore_ = ZovMsgData::LiveCount().load(); }
  void TearDown() override {
    QCoreApplication::processEvents();
    EXPECT_EQ(ZovMsgData::LiveCount().load(), liveBefore_) << "records leaked or freed twice";
  }
  int liveBefore_ = 0;
};

// Names are compared whole: a part of a registered name, or a name that
// differs in one letter, finds nothing (a typo cannot reach another window).
TEST_F(DirectoryTest, FindsExactNamesOnlyInRegistrationOrder) {
  CZovWndManager m;
  InfoWnd map, list, play, second;
  m.Register(kZovMapPageName, &map);
  m.Register(kZovFileListViewName, &list);
  m.Register(kZovPlayDialogName, &play);
  m.Register(kZovMapPageName, &second);
  EXPECT_EQ(m.Find(kZovMapPageName), &map);  // the first of two
  EXPECT_EQ(m.Find(kZovFileListViewName), &list);
  EXPECT_EQ(m.Find(kZovPlayDialogName), &play);
  for (const char* near : {"ZovCefBrowers", "Dialog", "CZov", "CZovCefBrowersX", "czovcefbrowers", ""})
    EXPECT_EQ(m.Find(ZovWndName{near}), nullptr) << near;
  EXPECT_EQ(m.Find(kZovMainWindowName), nullptr);
  EXPECT_EQ(m.Find(ZovWndName{nullptr}), nullptr);
  m.Unregister(ZovWndName{"CZov"});  // no entry is named so
  EXPECT_EQ(m.EntryCount(), 4);
  m.Unregister(kZovMapPageName);  // the first entry of the name only
  EXPECT_EQ(m.Find(kZovMapPageName), &second);
  m.Unregister(ZovWndName{"NoSuchWindow"});
  EXPECT_EQ(m.EntryCount(), 3);
}

TEST_F(DirectoryTest, LongNamesAreCutToThirtyOne) {
  CZovWndManager m;
  InfoWnd w;
  std::string name(40, 'W');
  m.Register(ZovWndName{name.c_str()}, &w);
  EXPECT_EQ(m.Find(ZovWndName{std::string(31, 'W').c_str()}), &w);
  EXPECT_EQ(m.Find(ZovWndName{std::string(32, 'W').c_str()}), nullptr);
}

TEST_F(DirectoryTest, SendDataCopiesPayloadIntoARecordTheMessageOwns) {
  CZovWndManager m;
  InfoWnd w;
  m.Register(kZovMainWindowName, &w);
  unsigned char bytes[8] = {1, 0, 0, 0, 200, 0, 0, 0};
  int64_t before = ZovMsgClockMs();
  m.SendData(kZovMainWindowName, ZOV_CODE_DOWNLOAD, sizeof bytes, bytes);
  bytes[0] = 99;  // the record holds its own copy
  ASSERT_EQ(w.Count(), 1u);  // delivered before SendData returned
  const Received& r = w.got[0];
  EXPECT_EQ(r.message, ZOVWM_INFO_E);
  EXPECT_EQ(r.wParam, static_cast<WPARAM>(ZOV_CODE_DOWNLOAD));
  EXPECT_EQ(r.code, ZOV_CODE_DOWNLOAD);
  EXPECT_EQ(r.target, "CZovPlayDlg");
  EXPECT_EQ(r.payload, (std::vector<unsigned char>{1, 0, 0, 0, 200, 0, 0, 0}));
  EXPECT_EQ(r.delay, kZovNoDelay);
  EXPECT_GE(r.timeStamp, before);
  EXPECT_LE(r.timeStamp, ZovMsgClockMs());
  // Without bytes, or with size 0, there is no payload.
  m.SendData(kZovMainWindowName, ZOV_CODE_UPDATE, 4, nullptr);
  m.SendData(kZovMainWindowName, ZOV_CODE_UPDATE, 0, bytes, 500);
  ASSERT_EQ(w.Count(), 3u);
  EXPECT_TRUE(w.got[1].payload.empty());
  EXPECT_TRUE(w.got[2].payload.empty());
  EXPECT_EQ(w.got[2].delay, 500);  // stored, not applied
}

// A code's record type is the only one its typed send takes.
template <int Code, class Record>
concept SendableAs = requires(CZovWndManager& m, const Record& r) { m.Send<Code>(kZovMainWindowName, r); };
static_assert(SendableAs<ZOV_CODE_PLAYING_INDEX, ZovIndexRecord>);
static_assert(!SendableAs<ZOV_CODE_PLAYING_INDEX, ZovTextRecord>);
static_assert(!SendableAs<ZOV_CODE_PLAYING_INDEX, int32_t>);
static_assert(!SendableAs<ZOV_CODE_PLAYING_TITLE, ZovIndexRecord>);
static_assert(!SendableAs<ZOV_CODE_GPS_TICK, ZovMoveTwoRecord>);
static_assert(!SendableAs<ZOV_CODE_PAUSED, ZovIndexRecord>);

// Typed records arrive as they were sent; a record is read only under its
// own code, and a payload too short for the code's type reads as nothing.
// The receiver frees nothing (InfoWnd only borrows): the fixture's tear-down
// checks that every record was freed by the directory.
TEST_F(DirectoryTest, TypedRecordsRoundTripUnderTheirOwnCodeOnly) {
  CZovWndManager m;
  InfoWnd w;
  m.Register(kZovMapPageName, &w);
  m.Send<ZOV_CODE_PANE_DBLCLICK>(kZovMapPageName, ZovPaneRecord{1043}, 0);
  m.Send<ZOV_CODE_GPS_TICK>(kZovMapPageName, ZovTickPayload{1, 7, 22.5f, 114.25f, 30, 90});
  m.Send<ZOV_CODE_PLAYING_TITLE>(kZovMapPageName, ZovTextRecord{u"/rec/\u00e9t\u00e9.mp4"});
  m.SendBytes(kZovMapPageName, ZOV_CODE_PLAYING_INDEX, {1, 2, 3});
  m.Send<ZOV_CODE_MOVE_TWO>(kZovMapPageName, ZovMoveTwoRecord{1, 2, 3, 4, 0, 90});
  m.Send<ZOV_CODE_DRAW_TRACK>(kZovMapPageName);
  ASSERT_EQ(w.Count(), 6u);
  auto record = [&](size_t i) {
    auto r = std::make_unique<ZovMsgData>();
    r->code = w.got[i].code;
    r->payload = w.got[i].payload;
    return r;
  };
  EXPECT_EQ(w.got[0].delay, 0);
  ASSERT_TRUE(record(0)->Record<ZOV_CODE_PANE_DBLCLICK>());
  EXPECT_EQ(record(0)->Record<ZOV_CODE_PANE_DBLCLICK>()->controlId, 1043);
  EXPECT_FALSE(record(0)->Record<ZOV_CODE_PLAYING_INDEX>());  // same size, other code
  const auto tick = record(1)->Record<ZOV_CODE_GPS_TICK>();
  ASSERT_TRUE(tick);
  EXPECT_EQ(tick->second, 7);
  EXPECT_FLOAT_EQ(tick->longitude, 114.25f);
  EXPECT_FLOAT_EQ(tick->heading, 90);
  ASSERT_TRUE(record(2)->Record<ZOV_CODE_PLAYING_TITLE>());
  EXPECT_EQ(record(2)->Record<ZOV_CODE_PLAYING_TITLE>()->text, u"/rec/\u00e9t\u00e9.mp4");
  EXPECT_EQ(w.got[2].payload.size(), 2 * std::u16string(u"/rec/\u00e9t\u00e9.mp4").size());
  // Three bytes are too short for an index.
  EXPECT_FALSE(record(3)->Record<ZOV_CODE_PLAYING_INDEX>());
  EXPECT_EQ(record(3)->Values<int16_t>(), (std::vector<int16_t>{0x0201}));
  EXPECT_EQ(record(4)->Values<float>(), (std::vector<float>{1, 2, 3, 4, 0, 90}));
  EXPECT_TRUE(record(5)->payload.empty());
  EXPECT_TRUE(record(5)->Record<ZOV_CODE_DRAW_TRACK>());
  EXPECT_FALSE(ZovReadRecord<ZOV_CODE_DRAW_TRACK>(0));  // no record at all
}

TEST_F(DirectoryTest, NothingForCodeZeroOrUnknownTargets) {
  CZovWndManager m;
  InfoWnd w;
  m.Register(kZovLeftTabName, &w);
  int payload = 4058;
  m.SendData(kZovLeftTabName, 0, sizeof payload, &payload);
  m.SendData(ZovWndName{nullptr}, ZOV_CODE_PANE_DBLCLICK, sizeof payload, &payload);
  m.SendData(kZovMainWindowName, ZOV_CODE_STOPPED, sizeof payload, &payload);  // not registered
  m.PostTo(kZovLeftTabName, 0, 1, 2);
  m.PostTo(ZovWndName{"Missing"}, ZOVWM_NEXTARRANGE, 0, 0);
  EXPECT_EQ(m.SendTo(ZovWndName{"Missing"}, ZOVWM_SETCHANNELS, 0, 2), 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(w.Count(), 0u);
  // The fixture's tear-down checks that the unregistered target's record and
  // payload were freed.
}

TEST_F(DirectoryTest, PostToAndSendTo) {
  CZovWndManager m;
  InfoWnd w;
  m.Register(kZovLeftTabName, &w);
  m.PostTo(kZovLeftTabName, ZOVWM_NEXTARRANGE, 3, 4);
  EXPECT_EQ(w.Count(), 0u);  // posted: waits for the event loop
  EXPECT_EQ(m.SendTo(kZovLeftTabName, ZOVWM_SETCHANNELS, 1, 0), 2);
  ASSERT_TRUE(WaitUntil([&] { return w.Count() == 2; }));
  EXPECT_EQ(w.got[0].message, ZOVWM_SETCHANNELS);  // the send did not wait for the post
  EXPECT_EQ(w.got[1].message, ZOVWM_NEXTARRANGE);
  EXPECT_EQ(w.got[1].wParam, 3u);
}

TEST_F(DirectoryTest, SendDataFromWorkerKeepsOrderPerTarget) {
  Watchdog dog(30);
  CZovWndManager m;
  InfoWnd w;
  m.Register(kZovMapPageName, &w);
  constexpr int kPerSender = 300;
  std::atomic<int> finished{0};
  auto sender = [&](int tag) {
    for (int i = 0; i < kPerSender; ++i) {
      int v[2] = {tag, i};
      m.SendData(kZovMapPageName, ZOV_CODE_GPS_TICK, sizeof v, v);
    }
    ++finished;
  };
  std::thread a(sender, 1), b(sender, 2);
  // This thread sends too, while serving the workers' sends.
  for (int i = 0; i < kPerSender; ++i) {
    int v[2] = {0, i};
    m.SendData(kZovMapPageName, ZOV_CODE_GPS_TICK, sizeof v, v);
  }
  ASSERT_TRUE(WaitUntil([&] { return finished.load() == 2; }, 20000));
  a.join();
  b.join();
  ASSERT_EQ(w.Count(), 3u * kPerSender);
  int next[3] = {0, 0, 0};
  for (const Received& r : w.got) {
    ASSERT_EQ(r.payload.size(), 8u);
    int v[2];
    std::memcpy(v, r.payload.data(), 8);
    ASSERT_GE(v[0], 0);
    ASSERT_LE(v[0], 2);
    EXPECT_EQ(v[1], next[v[0]]) << "sender " << v[0] << " out of order";
    next[v[0]] = v[1] + 1;
  }
}

// Lives on a worker thread: registered in the directory like a window, and
// while handling a record it sends one back through the directory.
class WorkerTarget : public CZovMsgObject {
 public:
  CZovWndManager* dir = nullptr;
  std::atomic<int> handled{0};
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
    ++handled;
    if (message == ZOVWM_INFO_E && wParam == 1) dir->SendData(ZovWndName{"UiSide"}, 2, 0, nullptr);
    return 0;
  }
};

class UiTarget : public CZovWnd {
 public:
  CZovWndManager* dir = nullptr;
  std::atomic<int> handled{0};
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
    ++handled;
    // The handler needs the directory while a worker waits on this thread.
    EXPECT_NE(dir->Find(ZovWndName{"WorkerSide"}), nullptr);
    if (message == ZOVWM_INFO_E && wParam == 1) dir->SendData(ZovWndName{"WorkerSide"}, 2, 0, nullptr);
    return 0;
  }
};

TEST_F(DirectoryTest, WorkerAndInterfaceThreadSendToEachOther) {
  Watchdog dog(30);
  CZovWndManager m;
  QThread thread;
  thread.start();
  auto* worker = new WorkerTarget();
  worker->dir = &m;
  worker->moveToThread(&thread);
  UiTarget ui;
  ui.dir = &m;
  m.Register(ZovWndName{"UiSide"}, &ui);
  m.Register(ZovWndName{"WorkerSide"}, worker);

  constexpr int kRounds = 400;
  std::atomic<bool> workerDone{false};
  ZovInvokeOn(worker, [&] {
    int payload = 7;
    for (int i = 0; i < kRounds; ++i) m.SendData(ZovWndName{"UiSide"}, 1, sizeof payload, &payload);
    workerDone = true;
  });
  for (int i = 0; i < kRounds; ++i) m.SendData(ZovWndName{"WorkerSide"}, 1, 0, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return workerDone.load(); }, 20000));
  // Each round: the first record and the one sent back, on each side.
  EXPECT_EQ(ui.handled.load(), 2 * kRounds);
  EXPECT_EQ(worker->handled.load(), 2 * kRounds);

  m.Unregister(ZovWndName{"WorkerSide"});
  ZovInvokeOn(worker, [worker] { delete worker; }, Qt::BlockingQueuedConnection);
  thread.quit();
  thread.wait();
}

TEST_F(DirectoryTest, TargetDestroyedWhileSendWaits) {
  Watchdog dog(30);
  CZovWndManager m;
  auto* w = new InfoWnd();
  m.Register(kZovPlaySetupName, w);
  std::thread sender([&] {
    unsigned char b[4] = {1, 2, 3, 4};
    m.SendData(kZovPlaySetupName, ZOV_CODE_SHOT_FOLDER, 4, b);
  });
  QElapsedTimer t;
  t.start();
  while (w->QueuedSendCount() == 0 && t.elapsed() < 5000) std::this_thread::yield();
  ASSERT_EQ(w->QueuedSendCount(), 1);
  m.Unregister(kZovPlaySetupName);
  delete w;  // never handles the record: the sender frees it
  sender.join();
}

TEST_F(DirectoryTest, DeletingTheDirectoryFreesQueuedRecords) {
  auto* m = new CZovWndManager();
  InfoWnd w;
  m->Register(kZovMainWindowName, &w);
  unsigned char b[16] = {};
  m->PostDelayed(kZovMainWindowName, ZOV_CODE_DOWNLOAD, sizeof b, b, 60000);
  m->PostDelayed(kZovMainWindowName, ZOV_CODE_DOWNLOAD, 0, nullptr, 60000);
  EXPECT_EQ(m->DelayedCount(), 2);
  delete m;
  EXPECT_EQ(w.Count(), 0u);
}

TEST_F(DirectoryTest, DelayedQueueServesInOrderWhenDue) {
  CZovWndManager m;
  InfoWnd w;
  m.Register(kZovMapPageName, &w);
  m.PostDelayed(kZovMapPageName, ZOV_CODE_CREATE_BROWSER, 0, nullptr, 300);
  m.PostDelayed(ZovWndName{"Unregistered"}, ZOV_CODE_CREATE_BROWSER, 0, nullptr, 0);
  m.PostDelayed(kZovMapPageName, ZOV_CODE_UNIT, 0, nullptr, 0);
  m.PostDelayed(kZovMapPageName, 0, 0, nullptr, 0);  // code 0: never queued
  EXPECT_EQ(m.DelayedCount(), 3);
  int64_t now = ZovMsgClockMs();
  // Not yet due: the later records wait behind the first.
  int wait = m.ServeDelayed(now);
  EXPECT_GT(wait, 250);
  EXPECT_LE(wait, 300);
  EXPECT_EQ(m.DelayedCount(), 3);
  // Due 5 ms early; then the rest follow in the same pass.
  EXPECT_EQ(m.ServeDelayed(now + 296), -1);
  EXPECT_EQ(m.DelayedCount(), 0);
  ASSERT_TRUE(WaitUntil([&] { return w.Count() == 2; }));
  EXPECT_EQ(w.got[0].code, ZOV_CODE_CREATE_BROWSER);
  EXPECT_EQ(w.got[1].code, ZOV_CODE_UNIT);
  EXPECT_EQ(w.got[0].delay, kZovNoDelay);
}

TEST_F(DirectoryTest, DelayedRecordOfAVanishedWindowIsFreed) {
  CZovWndManager m;
  auto* w = new InfoWnd();
  m.Register(kZovMapPageName, w);
  unsigned char b[24] = {};
  m.PostDelayed(kZovMapPageName, ZOV_CODE_GPS_TICK, sizeof b, b, 0);
  EXPECT_EQ(m.ServeDelayed(ZovMsgClockMs()), -1);  // posted, not yet handled
  m.Unregister(kZovMapPageName);
  delete w;  // drops the posted message: the tear-down checks the record went with it
}

TEST_F(DirectoryTest, MainThreadPostsDelayedRecordOnTime) {
  CZovWndManager* m = CZovWndManager::GetInstance();
  InfoWnd w;
  m->Register(kZovLeftTabName, &w);
  CZovMainThread thread;
  thread.Start();
  unsigned char id[4] = {0x16, 0x99, 0x0A, 0x00};
  m->PostDelayed(kZovLeftTabName, ZOV_CODE_PANE_DBLCLICK, sizeof id, id, 300);
  ASSERT_TRUE(WaitUntil([&] { return w.Count() == 1; }, 3000));
  const Received& r = w.got[0];
  EXPECT_EQ(r.code, ZOV_CODE_PANE_DBLCLICK);
  EXPECT_EQ(r.payload, (std::vector<unsigned char>{0x16, 0x99, 0x0A, 0x00}));
  int64_t after = r.arrival - r.timeStamp;
  EXPECT_GE(after, 295);
  // No later than the first pass after it fell due.
  EXPECT_LE(after, 300 + kZovMainThreadPassMs);
  thread.Stop();
  m->Unregister(kZovLeftTabName);
  CZovWndManager::DeleteInstance();
}

TEST_F(DirectoryTest, MainThreadStopsWithinOneSecond) {
  CZovMainThread thread;
  thread.Start();
  ASSERT_TRUE(WaitUntil([&] { return thread.Passes() >= 1; }));
  QElapsedTimer t;
  t.start();
  thread.Stop();
  EXPECT_LT(t.elapsed(), 1000);
  EXPECT_EQ(thread.state.load(), kZovThreadStopped);
  // The shutdown sequence deletes the directory before the thread: the loop
  // must survive that and still end at once when deleted.
  auto* again = new CZovMainThread();
  again->Start();
  ASSERT_TRUE(WaitUntil([&] { return again->Passes() >= 1; }));
  CZovWndManager::DeleteInstance();
  t.restart();
  delete again;
  EXPECT_LT(t.elapsed(), 1000);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
