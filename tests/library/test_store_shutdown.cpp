// The file list store's loader thread against the store's end and the
// process's exit, with the real GPS extractor scanning a transport stream:
// a scan in progress stops at its next chunk, a later request replaces it,
// and no thread of the store is left once the store is gone. Built by the
// sanitizer pass as well, where a loader left running into the freed store
// or the destroyed extractor is reported as a use after free.
#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "gps/zov_gps_extractor.h"
#include "tests/common/test_gps_stream.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "library/zov_file_list_store.h"

namespace {

using Clock = std::chrono::steady_clock;

// Each stop check of the scan waits this long, as reads from a slow card
// would: the whole scan of the stream below then takes seconds.
constexpr int kSlowCheckMs = 20;
// A stopped scan must have ended well within this (one check and one window
// read); the whole scan takes several times longer.
constexpr int kStopWithinMs = 1000;

std::string MakeTextLog(const std::string& dir) {
  std::string error;
  const std::string path = dir + "/drive.txt";
  EXPECT_TRUE(ZovWriteFixture(ZovFixtureLayout::kTextG1, "", path, ZovFixtureDrive(10), {}, &error)) << error;
  return path;
}

int ThreadCount() {
  int n = 0;
  if (DIR* d = ::opendir("/proc/self/task")) {
    while (const dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
    ::closedir(d);
  }
  return n;
}

// The process-wide extractor, every stop check slowed down and counted.
ZovStoppableTrackExtractor SlowRealExtractor(std::atomic<int>* checks) {
  return [checks](const std::string& path, std::string* points, std::string* sensors, const ZovScanStop& stop) {
    uint32_t handle = 0;
    InitExtractor(&handle);
    return ExtractGps(&handle, path, points, sensors, [&stop, checks] {
      ++*checks;
      std::this_thread::sleep_for(std::chrono::milliseconds(kSlowCheckMs));
      return stop();
    });
  };
}

struct LoadResult {
  std::atomic<int> calls{0};
  std::atomic<bool> loaded{false};
  CZovFileListStore::LoadDone Done() {
    return [this](bool ok) {
      loaded = ok;
      ++calls;
    };
  }
};

CZovFileListStore* StoreScanning(const std::string& path, std::atomic<int>* checks, LoadResult* result) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetMapNameSource([] { return std::string("gaode"); });
  store->SetExtractor(SlowRealExtractor(checks));
  store->AddFile(path);
  store->LoadInBackground(path, result->Done());
  EXPECT_TRUE(zovtest::WaitUntil([&] { return checks->load() > 2; }, 10000)) << "the scan never began";
  return store;
}

TEST(StoreShutdown, DeletingTheStoreDuringAScanStopsItAndJoinsItsThreads) {
  const std::string path = zovtest::MakeLongGpsStream(zovtest::TempDir() + "/delete", 8);
  // A thread started and joined first: a sanitizer's own helper thread, which
  // starts with the program's first thread, is then counted before as well.
  std::thread([] {}).join();
  const int before = ThreadCount();
  std::atomic<int> checks{0};
  LoadResult result;
  StoreScanning(path, &checks, &result);
  EXPECT_GT(ThreadCount(), before);  // the loader (and the stream's worker)

  const auto start = Clock::now();
  CZovFileListStore::DeleteInstance();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  EXPECT_LT(took, kStopWithinMs);
  // Nothing of the store runs on: its loader and the scan's workers are joined.
  EXPECT_EQ(ThreadCount(), before);
  EXPECT_EQ(result.calls, 1);
  EXPECT_FALSE(result.loaded);
  const int checksAtEnd = checks;
  std::this_thread::sleep_for(std::chrono::milliseconds(3 * kSlowCheckMs));
  EXPECT_EQ(checks, checksAtEnd);
}

TEST(StoreShutdown, ALaterRequestStopsTheScanAndItsTrackBecomesCurrent) {
  const std::string dir = zovtest::TempDir() + "/later";
  const std::string path = zovtest::MakeLongGpsStream(dir, 8);
  const std::string log = MakeTextLog(dir);
  std::atomic<int> checks{0};
  LoadResult first, second;
  CZovFileListStore* store = StoreScanning(path, &checks, &first);
  store->AddFile(log);
  const auto start = Clock::now();
  store->LoadInBackground(log, second.Done());
  ASSERT_TRUE(zovtest::WaitUntil([&] { return second.calls == 1; }, 10000));
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(), kStopWithinMs);
  EXPECT_EQ(first.calls, 1);
  EXPECT_FALSE(first.loaded);
  EXPECT_TRUE(second.loaded);
  EXPECT_EQ(store->CurrentPointCount(), 10);
  EXPECT_FALSE(store->Loading());
  // The stopped file keeps no part of its track: the next load reads it again.
  FileTrack stopped;
  ASSERT_TRUE(store->CopyTrack(path, &stopped));
  EXPECT_EQ(stopped.extracted, 0);
  EXPECT_EQ(stopped.pointCount, 0);
  CZovFileListStore::DeleteInstance();
}

TEST(StoreShutdown, AfterTheEndRequestsAreRefusedAtOnce) {
  CZovFileListStore store;
  store.EndLoads();
  LoadResult result;
  store.LoadInBackground("/nowhere.ts", result.Done());
  EXPECT_EQ(result.calls, 1);
  EXPECT_FALSE(result.loaded);
  EXPECT_FALSE(store.Loading());
}

// The close button's way out: the loader is ended, then the process exits
// through the exit handlers, which destroy the extractor the scan was using.
void ExitDuringAScan(const std::string& path) {
  std::atomic<int> checks{0};
  LoadResult result;
  CZovFileListStore* store = StoreScanning(path, &checks, &result);
  store->EndLoads();
  std::exit(result.calls == 1 && !result.loaded ? 0 : 4);
}

TEST(StoreShutdownDeathTest, ExitDuringAScanEndsCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string path = zovtest::MakeLongGpsStream(zovtest::TempDir() + "/exit", 8);
  EXPECT_EXIT(ExitDuringAScan(path), testing::ExitedWithCode(0), "");
}

}  // namespace
