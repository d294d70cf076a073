#pragma once
// CZovPlayApp: the player's application object. Its whole life is one
// start-up sequence, one modal run of the main window and, after Esc or the
// window manager's close, the shutdown list. The main window's close button
// ends the process at once instead (exit code 0, nothing torn down).
//
// Start-up, in order (steps of the framework that have no counterpart here
// are named and do nothing): common controls, OLE, sockets (succeeds), the
// temporary folder "karu", the application's key "qomtra", the trace lock,
// CZovWndManager, CZovMainThread started, CZovSettings with Init, the
// start-time log clean-up, the browser runtime, CZovVersion with the setup
// folder and the "zov start" trace, the update client (base folder, servers),
// the file list store, the main window run modally.
//
// Shutdown list, in order: file list store, update client, CZovVersion, the
// browser runtime's reference, CZovSettings, CZovWndManager, CZovMainThread,
// the "release CEF app:end" trace, the trace lock.
//
// The QApplication is made by main() before this object (the browser runtime
// must be configured before it). User-interface thread only.
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CZovMainThread;
class CZovPlayDlg;

// Name of the program's folder in the temporary folder.
inline constexpr const char* kZovTempFolderName = "karu";
// Longest temporary path the start-up uses; a longer one is refused.
inline constexpr size_t kZovTempPathChars = 128;
// The application's key (organisation name).
inline constexpr const char* kZovAppKey = "qomtra";

class CZovPlayApp {
 public:
  CZovPlayApp();
  ~CZovPlayApp();
  CZovPlayApp(const CZovPlayApp&) = delete;
  CZovPlayApp& operator=(const CZovPlayApp&) = delete;

  // The whole life: start-up, modal run, shutdown list. Returns the exit
  // code (0) unless the process ended earlier.
  int InitInstance();

  // The parts of InitInstance, for tests. StartUp runs every step before the
  // main window (false when the process is to end early); RunMainWindow
  // creates the main window, runs it modally and deletes it; ShutDown runs
  // the shutdown list once (a second call does nothing).
  bool StartUp();
  int RunMainWindow();
  void ShutDown();

  // The executable path the folders are worked out from (default: the
  // running executable; tests give a temporary installation).
  void SetExecutablePath(std::string path) { executablePath_ = std::move(path); }
  // Files named on the command line, handed to the main window.
  void SetStartFiles(std::vector<std::string> files) { startFiles_ = std::move(files); }

  // Called with the name of each start-up and shutdown step as it finishes
  // (tests check the order and what exists at each step).
  std::function<void(const char* step)> onStep;
  // Called with the main window once it is created, before its modal run.
  std::function<void(CZovPlayDlg* window)> onMainWindow;

  CZovMainThread* MainThread() const { return mainThread_.get(); }
  bool BrowserReady() const { return browserReady_ != 0; }
  bool ShutDownDone() const { return shutDown_; }

 private:
  void Step(const char* name);
  void MakeTempFolder();
  void StartBrowserRuntime();

  std::unique_ptr<CZovMainThread> mainThread_;
  unsigned char browserReady_ = 0;
  std::time_t startTime_ = 0;
  std::vector<std::string> startFiles_;
  std::string executablePath_;
  bool shutDown_ = false;
};
