#include "app/zov_play_app.h"

#include <QCoreApplication>

#include "app/zov_panel_windows.h"
#include "app/zov_play_dlg.h"
#include "platform/zov_paths.h"
#include "shell/zov_main_thread.h"
#include "shell/zov_settings.h"
#include "shell/zov_trace.h"
#include "shell/zov_version.h"
#include "shell/zov_wnd_manager.h"
#include "update/update_client.h"

CZovPlayApp::CZovPlayApp() = default;

CZovPlayApp::~CZovPlayApp() = default;

void CZovPlayApp::Step(const char* name) {
  if (onStep) onStep(name);
}

int CZovPlayApp::InitInstance() {
  if (!StartUp()) return 0;
  RunMainWindow();
  ShutDown();
  return 0;
}

bool CZovPlayApp::StartUp() {
  // Common controls, OLE and the framework's own start have nothing to do here.
  Step("common controls");
  Step("ole");
  // Sockets need no start-up on this platform.
  Step("sockets");
  MakeTempFolder();
  Step("temp folder");
  QCoreApplication::setOrganizationName(QString::fromLatin1(kZovAppKey));
  Step("app key");

  CZovTraceLock::GetInstance();
  Step("trace lock");
  CZovWndManager::GetInstance();
  Step("window directory");
  mainThread_ = std::make_unique<CZovMainThread>();
  mainThread_->Start();
  Step("main thread");

  startTime_ = std::time(nullptr);
  CZovSettings* settings = CZovSettings::GetInstance();
  if (executablePath_.empty()) {
    settings->Init();
  } else {
    settings->Init(executablePath_);
  }
  Step("settings");
  ZovStartTimeLogCleanup(settings->SettingsFolder(), startTime_);
  Step("log clean-up");

  StartBrowserRuntime();
  Step("browser runtime");

  CZovVersion* version = CZovVersion::GetInstance();
  version->SetLogFolder(settings->SetupFolder());
  const std::string browserLog = settings->SettingsFolder() + "cef.log";
  DebugTrace("zov start:%s %s.%s\r\n", browserLog.c_str(), version->version.c_str(), version->buildDate.c_str());
  Step("version");

  const std::string& base = settings->BaseFolder();
  UpdateClient* update = UpdateClient::GetInstance();
  update->SetBaseFolder(base);
  update->LoadServerSettings(settings->SettingsFile());
  Step("update client");

  ZovInstallPanelWindows();
  Step("panel windows");
  return true;
}

void CZovPlayApp::MakeTempFolder() {
  // A failure is ignored; an existing folder is kept.
  const std::string temp = ZovTempPath();
  if (temp.size() > kZovTempPathChars) return;
  ZovEnsureFolder(temp + kZovTempFolderName);
}

void CZovPlayApp::StartBrowserRuntime() {
  // The browser host configures the runtime before the QApplication exists
  // (main); here it only reports whether that worked.
  browserReady_ = 0;
}

int CZovPlayApp::RunMainWindow() {
  auto window = std::make_unique<CZovPlayDlg>();
  window->SetStartFiles(std::move(startFiles_));
  startFiles_.clear();
  Step("main window");
  if (onMainWindow) onMainWindow(window.get());
  const int result = window->DoModal();
  window.reset();
  Step("main window deleted");
  return result;
}

void CZovPlayApp::ShutDown() {
  if (shutDown_) return;
  shutDown_ = true;
  UpdateClient::DeleteInstance();
  Step("delete update client");
  CZovVersion::DeleteInstance();
  Step("delete version");
  browserReady_ = 0;
  Step("release browser runtime");
  CZovSettings::DeleteInstance();
  Step("delete settings");
  CZovWndManager::DeleteInstance();
  Step("delete window directory");
  mainThread_.reset();
  Step("delete main thread");
  DebugTrace("release CEF app:end");
  Step("trace end");
  CZovTraceLock::DeleteInstance();
  Step("delete trace lock");
}
