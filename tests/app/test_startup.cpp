// The application object's whole life in this process: the start-up makes
// the singletons in their order, Esc ends the modal run and the shutdown list
// runs once, in its order. The close button is checked in a child process,
// since it ends the process.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/zov_play_app.h"
#include "app/zov_play_dlg.h"
#include "engine/zov_time.h"
#include "gps/zov_gps_extractor.h"
#include "map/zov_client_app.h"
#include "shell/zov_main_thread.h"
#include "shell/zov_trace.h"
#include "shell/zov_version.h"
#include "tests/app/app_test_support.h"
#include "tests/common/test_gps_stream.h"
#include "tests/common/test_wait.h"
#include "ui/zov_button.h"
#include "library/zov_file_list_store.h"
#include "update/update_client.h"

namespace {

// Which singletons exist, as a string of 0/1 in the order trace lock,
// directory, main thread, settings, version, update client, file list store.
std::string Alive(const CZovPlayApp& app) {
  std::string s;
  s += CZovTraceLock::Peek() ? '1' : '0';
  s += CZovWndManager::Peek() ? '1' : '0';
  s += app.MainThread() ? '1' : '0';
  s += CZovSettings::Peek() ? '1' : '0';
  s += CZovVersion::Peek() ? '1' : '0';
  s += UpdateClient::Peek() ? '1' : '0';
  s += CZovFileListStore::Peek() ? '1' : '0';
  return s;
}

char g_name[] = "app_startup_test";
char* g_argv[] = {g_name, nullptr};
int g_argc = 1;

TEST(StartUp, SingletonsInOrderThenEscRunsTheShutdownListOnce) {
  const std::string exe = apptest::MakeTestBase();
  const std::string base = std::filesystem::path(exe).parent_path().parent_path().string();
  // A trace before the start-up makes the trace lock; the start-up keeps it.
  DebugTrace("before start-up %d", 1);
  CZovTraceLock* early = CZovTraceLock::Peek();
  ASSERT_NE(early, nullptr);

  CZovPlayApp app(g_argc, g_argv);
  app.SetExecutablePath(exe);
  std::vector<std::string> steps;
  std::map<std::string, std::string> alive;
  CZovTraceLock* lockAtStart = nullptr;
  app.onStep = [&](const char* step) {
    steps.push_back(step);
    alive[step] = Alive(app);
    if (std::string(step) == "trace lock") lockAtStart = CZovTraceLock::Peek();
  };
  app.onMainWindow = [&](CZovPlayDlg* window) {
    QTimer::singleShot(0, window, [window] {
      EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
      QTest::keyClick(window, Qt::Key_Escape);
    });
  };
  EXPECT_EQ(app.InitInstance(), 0);
  app.ShutDown();  // a second call does nothing

  const std::vector<std::string> expected = {
      "common controls", "ole", "sockets", "temp folder", "app key", "trace lock", "window directory",
      "main thread", "settings", "log clean-up", "browser runtime", "version", "update client",
      "file list store", "panel windows", "main window", "main window deleted",
      "delete file list store", "delete update client", "delete version", "release browser runtime",
      "delete settings", "delete window directory", "delete main thread", "trace end", "delete trace lock"};
  EXPECT_EQ(steps, expected);
  // What exists after each step: each singleton appears at its own step and
  // goes at its own step of the shutdown list.
  const std::map<std::string, std::string> want = {
      {"temp folder", "1000000"},          {"trace lock", "1000000"},
      {"window directory", "1100000"},     {"main thread", "1110000"},
      {"settings", "1111000"},             {"browser runtime", "1111000"},
      {"version", "1111100"},              {"update client", "1111110"},
      {"file list store", "1111111"},      {"main window deleted", "1111111"},
      {"delete file list store", "1111110"}, {"delete update client", "1111100"},
      {"delete version", "1111000"},       {"delete settings", "1110000"},
      {"delete window directory", "1010000"}, {"delete main thread", "1000000"},
      {"trace end", "1000000"},            {"delete trace lock", "0000000"}};
  for (const auto& [step, state] : want) EXPECT_EQ(alive[step], state) << step;
  EXPECT_EQ(lockAtStart, early);

  // The folders of the given installation; "karu" in the temporary folder.
  EXPECT_TRUE(std::filesystem::is_directory(base + "/karu"));
  EXPECT_TRUE(app.ShutDownDone());
  EXPECT_EQ(app.BrowserApp(), nullptr);
  EXPECT_EQ(ClientApp::Current(), nullptr);
}

// A child that has not ended by then fails with its own code instead of
// hanging the test (a slow sanitizer build can take long to show the window).
void ExitIfStillRunningAfter(int ms) {
  QTimer::singleShot(ms, [] {
    std::fprintf(stderr, "the child did not end\n");
    std::_Exit(9);
  });
}

// The child: the whole life with the window manager's close instead of Esc,
// ended through the normal exit path (the browser is not shut down by hand),
// so a crash or hang at exit shows as a wrong exit status.
void RunAndCloseByWindowManager() {
  const std::string exe = apptest::MakeTestBase();
  CZovPlayApp app(g_argc, g_argv);
  app.SetExecutablePath(exe);
  std::string steps;
  app.onStep = [&](const char* step) { steps += std::string(step) + ","; };
  app.onMainWindow = [&](CZovPlayDlg* window) {
    QTimer::singleShot(0, window, [window] {
      ExitIfStillRunningAfter(60000);
      if (!QTest::qWaitForWindowExposed(window, 30000)) std::_Exit(8);
      window->close();  // what the window manager's close button delivers
    });
  };
  const int code = app.InitInstance();
  app.ShutDown();
  std::fprintf(stderr, "%s\n", steps.c_str());
  std::fflush(stderr);
  std::exit(code);
}

TEST(StartUpDeathTest, WindowManagerCloseRunsTheShutdownListOnceAndExitsCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunAndCloseByWindowManager(), testing::ExitedWithCode(0),
              "main window,main window deleted,delete file list store,delete update client,"
              "delete version,release browser runtime,delete settings,delete window directory,"
              "delete main thread,trace end,delete trace lock,\n$");
}

// The child: starts, then clicks the close button while "playing".
void RunAndClickClose() {
  const std::string exe = apptest::MakeTestBase();
  CZovPlayApp app(g_argc, g_argv);
  app.SetExecutablePath(exe);
  if (!app.StartUp()) std::_Exit(5);
  apptest::StandIns& standIns = apptest::InstallStandIns();
  app.onMainWindow = [&](CZovPlayDlg* window) {
    QTimer::singleShot(0, window, [window, &standIns] {
      standIns.play->playing = true;
      standIns.play->onStop = [] { std::fprintf(stderr, "playback stopped\n"); };
      ExitIfStillRunningAfter(60000);
      if (!QTest::qWaitForWindowExposed(window, 30000)) std::_Exit(8);
      QTest::mouseClick(window->TitleButton(kZovCmdClose), Qt::LeftButton);
    });
  };
  app.RunMainWindow();
  std::fprintf(stderr, "the modal run returned\n");
  std::_Exit(7);
}

TEST(StartUpDeathTest, CloseButtonStopsPlaybackAndEndsWithCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RunAndClickClose(), testing::ExitedWithCode(0), "playback stopped\n$");
}

// The child: the real play window starts a long transport stream whose GPS
// scan is slowed as a slow card would slow it (the whole scan would take
// about 17 s), and the window is closed while it scans, by Esc or by the
// close button. The process must end at once with code 0: the scan stops at
// its next chunk and its thread is joined before the store, the settings and
// the extractor go. An exit handler, which runs before the static objects are
// destroyed, reports how long the end took and whether a scan still runs.
constexpr int kScanCheckMs = 100;
constexpr int kEndWithinMs = 5000;
int64_t g_closedAt = 0;
std::atomic<int> g_checks{0};

void ReportEnd() {
  const int64_t took = NowMs() - g_closedAt;
  const int checks = g_checks;
  SleepMs(3 * kScanCheckMs);
  if (g_checks != checks)
    std::fprintf(stderr, "a scan still runs at exit\n");
  else if (took >= kEndWithinMs)
    std::fprintf(stderr, "ended %lld ms after the close\n", static_cast<long long>(took));
  else
    std::fprintf(stderr, "ended after the close\n");
  std::fflush(stderr);
}

void CloseDuringAScan(bool closeButton) {
  const std::string exe = apptest::MakeTestBase();
  const std::string stream = zovtest::MakeLongGpsStream(zovtest::TempDir() + "/stream", 8);
  CZovPlayApp app(g_argc, g_argv);
  app.SetExecutablePath(exe);
  if (!app.StartUp()) std::_Exit(5);
  CZovFileListStore::GetInstance()->SetExtractor(
      [](const std::string& path, std::string* points, std::string* sensors, const ZovScanStop& stop) {
        uint32_t handle = 0;
        InitExtractor(&handle);
        return ExtractGps(&handle, path, points, sensors, [&stop] {
          ++g_checks;
          SleepMs(kScanCheckMs);
          return stop();
        });
      });
  app.SetStartFiles({stream});
  app.onMainWindow = [&](CZovPlayDlg* window) {
    QTimer::singleShot(0, window, [window, closeButton] {
      ExitIfStillRunningAfter(60000);
      if (!QTest::qWaitForWindowExposed(window, 30000)) std::_Exit(8);
      if (!zovtest::WaitUntil([] { return g_checks > 2; }, 20000)) std::_Exit(6);
      g_closedAt = NowMs();
      std::atexit(ReportEnd);
      if (closeButton)
        QTest::mouseClick(window->TitleButton(kZovCmdClose), Qt::LeftButton);
      else
        QTest::keyClick(window, Qt::Key_Escape);
    });
  };
  app.RunMainWindow();  // the close button ends the process inside
  app.ShutDown();
  std::exit(0);
}

TEST(StartUpDeathTest, ClosingDuringTheStartUpScanEndsAtOnceAndCleanly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const bool closeButton : {false, true}) {
    SCOPED_TRACE(closeButton ? "close button" : "Esc");
    EXPECT_EXIT(CloseDuringAScan(closeButton), testing::ExitedWithCode(0), "ended after the close\n$");
  }
}

}  // namespace
