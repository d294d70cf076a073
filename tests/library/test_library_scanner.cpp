// The player's background scan: a new scan replaces a running one without
// waiting for it, a cancel keeps what was read, and the scanner can go while
// a scan runs.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>

#include "library/zov_library_group.h"
#include "library/zov_library_index.h"
#include "library/zov_library_model.h"
#include "library/zov_library_scan.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

struct Applied {
  std::mutex lock;
  std::vector<std::pair<size_t, bool>> calls;  // recordings, final
  std::atomic<int> notes{0};
  std::vector<std::pair<size_t, bool>> Calls() {
    std::lock_guard<std::mutex> hold(lock);
    return calls;
  }
};

std::string ScannerCards() { return zovtest::FixtureDir() + "/cards"; }

TEST(LibraryScanner, ANewScanReplacesTheRunningOneAndOnlyItsResultLands) {
  Applied a;
  auto scanner = std::make_unique<CZovLibraryScanner>(
      [&a](std::shared_ptr<const ZovLibrary> lib, bool final) {
        std::lock_guard<std::mutex> hold(a.lock);
        a.calls.emplace_back(lib->recordings.size(), final);
      },
      [&a] { ++a.notes; }, zovtest::TempDir() + "/a.sqlite");
  scanner->Start({ScannerCards()});  // every card: long
  scanner->Start({ScannerCards() + "/record-folder"});
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !scanner->State().scanning; }, 30000));
  const auto calls = a.Calls();
  ASSERT_FALSE(calls.empty());
  size_t finals = 0;
  for (const auto& [n, final] : calls) finals += final;
  EXPECT_EQ(finals, 1u);
  EXPECT_EQ(calls.back(), std::make_pair(size_t{14}, true));
  EXPECT_EQ(scanner->State().done, 14u);
  EXPECT_GT(a.notes.load(), 0);
}

TEST(LibraryScanner, CancelKeepsWhatWasReadAndTheScannerMayGoWhileAScanRuns) {
  Applied a;
  CZovLibraryScanner scanner(
      [&a](std::shared_ptr<const ZovLibrary> lib, bool final) {
        std::lock_guard<std::mutex> hold(a.lock);
        a.calls.emplace_back(lib->recordings.size(), final);
      },
      [&a] { ++a.notes; }, zovtest::TempDir() + "/b.sqlite");
  scanner.Start({ScannerCards()});
  scanner.Cancel();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !scanner.State().scanning; }, 30000));
  const auto calls = a.Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_TRUE(calls.back().second);
  EXPECT_LT(calls.back().first, 140u);  // ten cards of 14 recordings: not all were read

  // Destroyed while scanning: it cancels and joins within about one file.
  Applied b;
  const auto before = std::chrono::steady_clock::now();
  {
    CZovLibraryScanner gone(
        [&b](std::shared_ptr<const ZovLibrary> lib, bool final) {
          std::lock_guard<std::mutex> hold(b.lock);
          b.calls.emplace_back(lib->recordings.size(), final);
        },
        [&b] { ++b.notes; }, zovtest::TempDir() + "/c.sqlite");
    gone.Start({ScannerCards()});
    ASSERT_TRUE(zovtest::WaitUntil([&] { return gone.State().done > 0; }, 30000));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
}

// A drive gap the user sets is stored by the scan that regroups the
// library, kept for later scans, and read back without opening the index
// for writing; with no folders the scan only stores it.
TEST(LibraryScanner, TheDriveGapSetByTheUserRegroupsAndIsKept) {
  const std::string db = zovtest::TempDir() + "/gap.sqlite";
  std::mutex lock;
  std::vector<size_t> drives;  // of each final result
  CZovLibraryScanner scanner(
      [&](std::shared_ptr<const ZovLibrary> lib, bool final) {
        std::lock_guard<std::mutex> hold(lock);
        if (final) drives.push_back(lib->drives.size());
      },
      {}, db);
  auto finals = [&] {
    std::lock_guard<std::mutex> hold(lock);
    return drives.size();
  };
  EXPECT_EQ(ZovDriveGapOfSetting(ZovPeekLibrarySetting(db, kZovDriveGapSetting)), kZovDefaultDriveGap);
  const std::string card = ScannerCards() + "/record-folder";  // two drives half an hour apart
  scanner.Start({card});
  ASSERT_TRUE(zovtest::WaitUntil([&] { return finals() == 1; }, 30000));
  scanner.Start({card}, 3600);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return finals() == 2; }, 30000));
  EXPECT_EQ(ZovPeekLibrarySetting(db, kZovDriveGapSetting), "3600");
  scanner.Start({card});
  ASSERT_TRUE(zovtest::WaitUntil([&] { return finals() == 3; }, 30000));
  scanner.Start({}, 60);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return finals() == 4; }, 30000));
  EXPECT_EQ(ZovDriveGapOfSetting(ZovPeekLibrarySetting(db, kZovDriveGapSetting)), 60);
  std::lock_guard<std::mutex> hold(lock);
  EXPECT_EQ(drives, (std::vector<size_t>{2, 1, 1, 0}));
  // Settings that are not a gap fall back to the default.
  for (const char* text : {"", "abc", "-5", "12x", "86401"}) EXPECT_EQ(ZovDriveGapOfSetting(text), kZovDefaultDriveGap) << text;
  EXPECT_EQ(ZovDriveGapOfSetting("0"), 0);
}

}  // namespace
