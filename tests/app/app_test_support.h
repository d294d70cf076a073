#pragma once
// Shared pieces of the window tests of app/: a private installation folder
// (so settings writes stay in a temporary folder), and plain stand-in windows
// for the play window, the setup page and the map page that record what the
// panels relay to them.
#include <QWidget>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/zov_panel_windows.h"
#include "shell/zov_wnd_manager.h"
#include "shell/zov_settings.h"
#include "tests/common/test_paths.h"

namespace apptest {

// A temporary installation: <base>/setup/quelnasetup.ini copied from the
// repository, <base>/bin/ for the executable path; configuration and cache
// folders in the same temporary folder. Returns the executable path.
inline std::string MakeTestBase() {
  namespace fs = std::filesystem;
  const std::string base = zovtest::TempDir();
  fs::create_directories(base + "/setup");
  fs::create_directories(base + "/bin");
  fs::copy_file(zovtest::SourceDir() + "/setup/quelnasetup.ini", base + "/setup/quelnasetup.ini");
  setenv("XDG_CONFIG_HOME", (base + "/config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (base + "/cache").c_str(), 1);
  setenv("TMPDIR", base.c_str(), 1);
  return base + "/bin/tamarinsoft";
}

// Messages a stand-in window received: (message, wParam, lParam).
struct Received {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  friend bool operator==(const Received&, const Received&) = default;
};

class RecordingWnd : public CZovWnd {
 public:
  using CZovWnd::CZovWnd;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == ZOVWM_INFO_E) lParam = 0;  // the record is borrowed for this call only
    if (message != WM_TIMER) got.push_back({message, wParam, lParam});
    return 0;
  }
  int Count(UINT message) const {
    int n = 0;
    for (const Received& r : got) n += r.message == message;
    return n;
  }
  std::vector<Received> got;
};

class TestPlayWindow : public CZovPlayWindowBase {
 public:
  using CZovPlayWindowBase::CZovPlayWindowBase;
  static constexpr int kHeight = 90;
  QRect DesignRect() const override { return QRect(0, 0, 900, kHeight); }
  bool IsPlaying() const override { return playing; }
  void StopPlayback() override {
    ++stops;
    playing = false;
    if (onStop) onStop();
  }
  void SetVideoArea(QWidget* area) override { videoArea = area; }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_TIMER) got.push_back({message, wParam, lParam});
    return 0;
  }
  bool playing = false;
  int stops = 0;
  std::function<void()> onStop;
  QWidget* videoArea = nullptr;
  std::vector<Received> got;
};

class TestSetupPage : public CZovSetupPageBase {
 public:
  using CZovSetupPageBase::CZovSetupPageBase;
  bool UserAskedForUpdate() const override { return asked; }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    got.push_back({message, wParam, lParam});
    return 0;
  }
  bool asked = false;
  std::vector<Received> got;
};

// The stand-ins made by the last panels, and what the map hooks were asked.
struct StandIns {
  TestPlayWindow* play = nullptr;
  TestSetupPage* setup = nullptr;
  RecordingWnd* map = nullptr;
  std::vector<std::string> loaded;  // locations given to the map page
  int tests = 0;                    // "Test()" calls
  int fileInfoMade = 0;
  QWidget* fileInfo = nullptr;
};

// Installs makers that create the stand-ins (each painted in its own colour
// so that grabs show which page is up).
inline StandIns& InstallStandIns() {
  static StandIns s;
  ZovPanelWindows& m = ZovPanelWindowMakers();
  m.makePlayWindow = [](QWidget* parent) {
    s.play = new TestPlayWindow(parent);
    return s.play;
  };
  m.makeSetupPage = [](QWidget* parent) {
    s.setup = new TestSetupPage(parent);
    return s.setup;
  };
  m.makeMapPage = [](QWidget* parent, CZovVersion*) {
    s.map = new RecordingWnd(parent);
    return s.map;
  };
  m.loadMapPage = [](CZovWnd*, const std::string& location) { s.loaded.push_back(location); };
  m.testMapPage = [](CZovWnd*) { ++s.tests; };
  m.makeFileInfo = [](QWidget* parent) {
    ++s.fileInfoMade;
    s.fileInfo = new RecordingWnd(parent);
    s.fileInfo->setWindowFlags(Qt::Tool);
    return static_cast<CZovWnd*>(s.fileInfo);
  };
  return s;
}

}  // namespace apptest
