#pragma once
// ClientApp: the browser runtime's application object. The embedded browser is
// Qt WebEngine (Chromium); this object configures it once for the process.
//
// How the start-up sequence uses it (all on the user-interface thread):
//
//   auto app = std::make_shared<ClientApp>(1);      // keep one reference for the process
//   if (app->ExecuteProcess(argc, argv) >= 0) ...   // never: always -1, Qt WebEngine
//                                                   // starts its own helper processes
//   app->Configure(settings->CacheFolder(),         // BEFORE the QApplication exists:
//                  settings->SettingsFolder() + "cef.log");
//   QApplication qapp(argc, argv);
//   bool browserReady = app->Initialize();          // after the QApplication exists
//   ...                                             // run the main window
//   app.reset();                                    // shutdown: after the main window is gone
//
// Configure sets Qt::AA_ShareOpenGLContexts, the Chromium switches (no sandbox
// when running as root, no background networking, software compositing when
// there is no GPU) and remembers the cache
// folder and the log file. It may also be called after the QApplication exists
// (the switches still apply, as the browser starts with its first page), but
// then the OpenGL attribute comes too late and Configure returns false.
// Initialize creates the browser profile (cache and storage in the cache
// folder). Pages made by ClientHandler use that profile and write their
// console messages, failed loads and ended renderers to the log file, which
// stands in for the runtime's "cef.log".
//
// Only one ClientApp is current at a time (ClientApp::Current()); a second
// Configure in the same process changes nothing and returns false.
#include <memory>
#include <mutex>
#include <string>

class QWebEngineProfile;

class ClientApp : public std::enable_shared_from_this<ClientApp> {
 public:
  // Environment variable that carries the Chromium switches to Qt WebEngine.
  static constexpr const char* kFlagsVariable = "QTWEBENGINE_CHROMIUM_FLAGS";
  // Switches every run gets: no updater, no pings, no background fetches.
  static constexpr const char* kQuietFlags =
      "--disable-background-networking --disable-component-update --disable-domain-reliability "
      "--no-pings";
  // The page's scripts hold the offline basemap (megabytes of text). A few
  // seconds after the page loads, the browser would compress that text in
  // the background: a tenth of a second of work while a recording plays, to
  // save a few megabytes.
  static constexpr const char* kLeanFlags = "--disable-features=CompressParkableStrings";
  // Storage name of the profile (its cache lives in the cache folder).
  static constexpr const char* kProfileName = "ZovGpsPlay";

  // `arg` is the designed constructor argument (1); it has no effect.
  explicit ClientApp(int arg = 1);
  ~ClientApp();
  ClientApp(const ClientApp&) = delete;
  ClientApp& operator=(const ClientApp&) = delete;

  // The execute-process step: always -1, this process is the main process.
  int ExecuteProcess(int argc, char** argv) const;

  // Once per process, before the QApplication exists (see above). Creates the
  // cache folder and the log file's folder. True when everything was applied
  // in time; false when the QApplication already existed or the process was
  // configured before (nothing is changed then by a second call).
  bool Configure(const std::string& cacheFolder, const std::string& logFile);
  // After the QApplication exists: creates the profile. True when the browser
  // can be used; false without a QApplication or without Configure.
  bool Initialize();

  // The profile pages are made with; null before Initialize.
  QWebEngineProfile* Profile() const { return profile_; }
  const std::string& CacheFolder() const { return cacheFolder_; }
  const std::string& LogFile() const { return logFile_; }

  // Appends one line to the log file in the runtime's style:
  // "[pid:tid:MMDD/HHMMSS.micro:LEVEL:source] text". Any thread.
  void Log(const char* level, const std::string& source, const std::string& text);

  // The configured ClientApp of the process, or null.
  static std::shared_ptr<ClientApp> Current();
  // True when the effective user is root (the sandbox cannot run then).
  static bool RunningAsRoot();
  // True when a GPU render node exists and software OpenGL is not forced
  // (LIBGL_ALWAYS_SOFTWARE); without one the browser composites in software.
  static bool HasGpuDevice();
  // `existing` with `add` appended, each switch of `add` only once.
  static std::string MergeFlags(const std::string& existing, const std::string& add);

 private:
  std::string cacheFolder_;
  std::string logFile_;
  // Child of the QApplication, so it outlives every page (pages must not
  // outlive their profile) and ends with the application object.
  QWebEngineProfile* profile_ = nullptr;
  std::mutex logLock_;                    // serialises appends to the log file
};
