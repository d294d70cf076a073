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
// Order of ending. Every worker thread has an owner that stops and joins it
// before anything the thread uses goes:
//   1. the play window: playback (the engine's workers) stops when the close
//      button is pressed or when the main window is deleted;
//   2. the file list store: its loader (the play window's start-up scans) is
//      stopped and joined by ZovEndWorkersBeforeExit on the close button's
//      path, and by the store's deletion, first in the shutdown list;
//   3. the shutdown list (Esc, the window manager's close) deletes the other
//      singletons, each joining its own threads (update client, main thread);
//   4. the exit handlers (both ways) destroy the static objects: the GPS
//      extractor, the datum shift, the folder listing cache. No thread of the
//      program that uses them is left by then. The close button leaves the
//      heap singletons (settings, window directory, update client) alive.
//
// The QApplication is made by the browser runtime step: the browser must be
// configured before it exists and initialised after. When one exists already
// (tests), it is used. The first thread is the user-interface thread.
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class ClientApp;
class QApplication;
class CZovMainThread;
class CZovPlayDlg;

// Name of the program's folder in the temporary folder.
inline constexpr const char* kZovTempFolderName = "karu";
// Longest temporary path the start-up uses; a longer one is refused.
inline constexpr size_t kZovTempPathChars = 128;
// The application's key (organisation name).
inline constexpr const char* kZovAppKey = "qomtra";

// Stops and joins the worker threads that use objects the exit handlers
// destroy (the file list store's loader); the close button's path calls it
// right before the process exits. Waits at most one chunk read of a scan.
void ZovEndWorkersBeforeExit();

// Fills the panel makers (app/zov_panel_windows.h) with the program's own
// windows: play window, setup page, map page, file information window. The
// start-up calls it; it is the one place that knows those classes.
void ZovInstallPanelWindows();

class CZovPlayApp {
 public:
  // `argc` and `argv` are main()'s; the QApplication made by the start-up
  // keeps using them, so they must outlive this object.
  CZovPlayApp(int& argc, char** argv);
  ~CZovPlayApp();
  CZovPlayApp(const CZovPlayApp&) = delete;
  CZovPlayApp& operator=(const CZovPlayApp&) = delete;

  // The whole life: start-up, modal run, shutdown list. Returns the exit
  // code: 0, or the browser runtime's code when this process served it.
  int InitInstance();

  // The parts of InitInstance, for tests. StartUp runs every step before the
  // main window (false when the process is to end early); RunMainWindow
  // creates the main window, runs it modally and deletes it; ShutDown runs
  // the shutdown list once (a second call does nothing).
  bool StartUp();
  // The exit code when StartUp returned false.
  int EarlyExitCode() const { return earlyExit_; }
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
  // The browser application object (null after the shutdown list).
  ClientApp* BrowserApp() const { return browserApp_.get(); }
  bool BrowserReady() const { return browserReady_ != 0; }
  bool ShutDownDone() const { return shutDown_; }

 private:
  void Step(const char* name);
  void MakeTempFolder();
  bool StartBrowserRuntime();

  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> qapp_;  // when the start-up made it
  std::unique_ptr<CZovMainThread> mainThread_;
  unsigned char browserReady_ = 0;
  std::shared_ptr<ClientApp> browserApp_;
  int earlyExit_ = 0;
  std::time_t startTime_ = 0;
  std::vector<std::string> startFiles_;
  std::string executablePath_;
  bool shutDown_ = false;
};
