// Trace calls, the version strings and the start-time log file rule.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "shell/zov_trace.h"
#include "shell/zov_version.h"
#include "tests/common/test_paths.h"

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void MakeFileOfSize(const std::string& path, off_t size) {
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::ftruncate(fd, size), 0);  // sparse: no 10 MiB actually written
  ::close(fd);
}

TEST(Trace, FirstCallCreatesTheLockOnce) {
  CZovTraceLock::DeleteInstance();
  ASSERT_EQ(CZovTraceLock::Peek(), nullptr);
  DebugTrace("cef error :%d  \r\n", -1);
  CZovTraceLock* made = CZovTraceLock::Peek();
  ASSERT_NE(made, nullptr);
  // Start-up asks for it afterwards and finds the same one.
  EXPECT_EQ(CZovTraceLock::GetInstance(), made);
  DebugTraceW(L"zov start:%ls\r\n", L"x");
  EXPECT_EQ(CZovTraceLock::Peek(), made);
}

TEST(Trace, CallsFromManyThreadsMakeOneLock) {
  CZovTraceLock::DeleteInstance();
  std::vector<std::thread> threads;
  std::vector<CZovTraceLock*> seen(8, nullptr);
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([i, &seen] {
      DebugTrace("GPS error \r\n");
      seen[static_cast<size_t>(i)] = CZovTraceLock::Peek();
    });
  }
  for (auto& t : threads) t.join();
  for (CZovTraceLock* p : seen) EXPECT_EQ(p, seen[0]);
  EXPECT_NE(seen[0], nullptr);
}

TEST(Trace, LongMessagesAreCutAndOnlyShownWhenAsked) {
  std::string longText(5000, 'a');
  setenv("ZOV_TRACE", "1", 1);
  testing::internal::CaptureStderr();
  DebugTrace("%s", longText.c_str());
  DebugTraceW(L"%ls|%s", L"\u4e2d\u6587", "narrow");
  std::string shown = testing::internal::GetCapturedStderr();
  unsetenv("ZOV_TRACE");
  // 1023 characters and the line end the output adds; then the wide line.
  EXPECT_EQ(shown, std::string(1023, 'a') + "\n" + "\xE4\xB8\xAD\xE6\x96\x87|narrow\n");

  testing::internal::CaptureStderr();
  DebugTrace("discarded %d\r\n", 1);
  DebugTraceW(L"discarded %d\r\n", 2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(Version, StringsAndBuildDate) {
  CZovVersion v;
  EXPECT_EQ(v.version, "V1.01.06.");
  EXPECT_EQ(ZovFormatVersion(2, 3, 14), "V2.03.14.");
  ASSERT_EQ(v.buildDate.size(), 8u);
  int month = std::atoi(v.buildDate.substr(4, 2).c_str());
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  EXPECT_TRUE(v.logFolder.empty());
  EXPECT_TRUE(v.text1.empty() && v.text2.empty() && v.text3.empty());
  EXPECT_EQ(v.word1 + v.word2 + v.word3 + v.word4, 0u);
  v.SetLogFolder("/opt/zov/setup/");
  EXPECT_EQ(v.logFolder, "/opt/zov/setup/");
  EXPECT_EQ(v.logFile, "/opt/zov/setup/log.txt");
}

TEST(Version, CompilerDateParsing) {
  EXPECT_EQ(ZovBuildDateFromCompilerDate("Oct 17 2025"), "20251017");
  EXPECT_EQ(ZovBuildDateFromCompilerDate("Jan  1 2024"), "20240101");
  EXPECT_EQ(ZovBuildDateFromCompilerDate("Dec  9 2026"), "20261209");
  EXPECT_EQ(ZovBuildDateFromCompilerDate("Sep 30 1999"), "19990930");
  // A name that is no month (or straddles two) gives month 0.
  EXPECT_EQ(ZovBuildDateFromCompilerDate("Xyz 5 2020"), "20200005");
  EXPECT_EQ(ZovBuildDateFromCompilerDate("anF 5 2020"), "20200005");
  EXPECT_EQ(ZovBuildDateFromCompilerDate(nullptr), "00000000");
}

TEST(StartLog, NameFromLocalTime) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 3;
  t.tm_min = 4;
  t.tm_sec = 5;
  EXPECT_EQ(ZovStartLogName("/cfg/ZovGpsPlay/", &t), "/cfg/ZovGpsPlay/20260102030405log.txt");
  EXPECT_EQ(ZovStartLogName("/cfg/", nullptr), "/cfg/00000000-1-1-1log.txt");
}

TEST(StartLog, SizeRuleDeletesOnlyFilesOverTenMiB) {
  std::string dir = zovtest::TempDir() + "/";
  MakeFileOfSize(dir + "exact", kZovLogSizeLimit);
  MakeFileOfSize(dir + "over", kZovLogSizeLimit + 1);
  EXPECT_FALSE(ZovApplyLogSizeRule(dir + "exact"));
  EXPECT_TRUE(Exists(dir + "exact"));
  EXPECT_TRUE(ZovApplyLogSizeRule(dir + "over"));
  EXPECT_FALSE(Exists(dir + "over"));
  EXPECT_FALSE(ZovApplyLogSizeRule(dir + "absent"));
}

TEST(StartLog, CleanupTouchesOnlyTheStartSecondsName) {
  std::string dir = zovtest::TempDir() + "/";
  std::time_t start = 1767225600 + 12345;  // some second in 2026
  std::tm local{};
  ASSERT_NE(localtime_r(&start, &local), nullptr);
  std::string mine = ZovStartLogName(dir, &local);
  std::time_t before = start - 1;
  std::tm earlier{};
  ASSERT_NE(localtime_r(&before, &earlier), nullptr);
  std::string older = ZovStartLogName(dir, &earlier);
  ASSERT_NE(mine, older);
  MakeFileOfSize(mine, kZovLogSizeLimit + 100);
  MakeFileOfSize(older, kZovLogSizeLimit + 100);
  EXPECT_EQ(ZovStartTimeLogCleanup(dir, start), mine);
  EXPECT_FALSE(Exists(mine));
  EXPECT_TRUE(Exists(older));
}

}  // namespace
