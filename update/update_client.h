#pragma once
// UpdateClient: the once-per-run update check. A check thread asks the check
// service for the calibration level (and fetches the calibration file when
// it is newer), downloads the description file from the file server, decides
// on the version texts, downloads the package into base and writes the
// hand-over file "update.txt" for the launcher. A progress thread reports the
// package download once a second. Both report to the main window by name
// through the window directory: code 2008 (SendData, {received, expected})
// and, when the check ends in state 4 or 34, ZOVWM_INFO_E with wParam 2009
// and no record (SendTo).
//
// Threads: Start and GetState run on the user-interface thread; the check
// thread writes the texts below under textLock_ and the state as an atomic;
// the transfer record is shared with the progress thread through atomics.
// No lock is held while a notification is sent.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/zov_window_names.h"
#include "shell/zov_ini_file.h"
#include "update/zov_update_transfer.h"

class CZovWndManager;

// Where the update check stands (read by the main window).
enum UpdateState : int32_t {
  kUpdateNotStarted = 0,
  kUpdateChecking = 1,          // check thread started / description file being fetched
  kUpdateDescriptionRead = 2,
  kUpdateDownloading = 3,
  kUpdateReady = 4,             // package downloaded now or in an earlier run
  kUpdateDescriptionFailed = 33,
  kUpdateNewest = 34,           // the current version is the newest
  kUpdateDownloadFailed = 35,
};

// The deployment's servers, from the settings file section [update]:
//   checkserver = base address of the check service (plain HTTP, port 8181)
//   fileserver  = base address of the file server (HTTPS)
//   cabundle    = optional certificate authority bundle (PEM) for the file
//                 server; the environment variable ZOV_CA_BUNDLE overrides it
struct UpdateServers {
  std::string checkService = "http://update.zovgpsplay.invalid:8181";
  std::string fileServer = "https://files.zovgpsplay.invalid/";
  std::string caBundle;
};

inline constexpr const char* kUpdateSettingsSection = "update";
inline constexpr const char* kUpdateCheckPath = "/rest/camera/updateCorrectFile?soft_version=1";
inline constexpr const char* kUpdateFileFolder = "PCTOOLS/KPR417/";
inline constexpr const char* kUpdateDescriptionFile = "zovplay_kpr417.ini";
inline constexpr const char* kUpdateHandoverFile = "update.txt";

class UpdateClient {
 public:
  // Process-wide instance, created on first use, deleted at shutdown.
  static UpdateClient* GetInstance();
  // The instance or null; creates nothing.
  static UpdateClient* Peek();
  static void DeleteInstance();

  UpdateClient();
  // Abandons a running transfer, sends nothing more and waits for the threads.
  ~UpdateClient();
  UpdateClient(const UpdateClient&) = delete;
  UpdateClient& operator=(const UpdateClient&) = delete;

  // The installation folder (the parent of the player's bin folder).
  void SetBaseFolder(const std::string& base);
  // Reads the servers from section [update] of the settings file; missing
  // keys keep the shipped defaults.
  void LoadServerSettings(const std::string& iniFile);
  void SetServers(const UpdateServers& servers);
  UpdateServers Servers() const;
  // The client's calibration level; nothing in the program changes it from 0.
  void SetCalibrationVersion(int level) { calibrationVersion_ = level; }

  // Starts the check once per run (user-interface thread). Keeps the first
  // version text given; a later call starts nothing.
  void Start(const std::string& versionText);
  int GetState() const { return state_.load(); }

  // Texts of the check, for the update dialog and tests.
  std::string UpdateName() const;
  std::string ServerVersion() const;
  std::string UpdateFolder() const;
  std::string CalibrationUrl() const;

  // Blocks until the check thread has ended (or the time runs out), without
  // handling the notifications it sends: callers on the main window's thread
  // must keep its events flowing instead. True when it has ended.
  bool WaitFinished(int timeoutMs) const;

 private:
  void CheckThread();
  void ProgressThread();
  // 0 nothing to do, 1 download, 3 already downloaded.
  int Decide();
  bool WriteHandover(const std::string& line);
  std::string FileUrl(const std::string& name) const;
  ZovTransferOptions FileOptions() const;
  void SendProgress(int32_t received, int32_t expected);
  void SendCheckEnd();

  // Fields in the order of the design; texts guarded by textLock_.
  CZovIniFile ini_;  // the downloaded description file (check thread only)
  mutable std::mutex textLock_;
  std::string iog_;
  std::string baseFolder_;
  std::string updateName_;
  std::string serverVersion_;
  std::string updateFolder_;
  std::string calibrationUrl_;
  std::string calibrationMd5_;
  std::string calibrationVersionText_;
  std::string currentVersion_;
  UpdateServers servers_;
  std::atomic<int> calibrationVersion_{0};
  std::atomic<CZovWndManager*> directory_{nullptr};
  std::atomic<int32_t> state_{kUpdateNotStarted};

  ZovTransferRecord transfer_;
  std::atomic<bool> cancel_{false};
  mutable std::mutex runLock_;  // guards finished_ and the progress wake-up
  mutable std::condition_variable runCv_;
  bool finished_ = false;
  std::thread checkThread_;
  std::thread progressThread_;
};
