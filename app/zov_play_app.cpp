#include "app/zov_play_app.h"

#include <QApplication>
#include <QMetaObject>

#include "app/zov_panel_windows.h"
#include "app/zov_play_dialog.h"
#include "app/zov_play_dlg.h"
#include "app/zov_play_setup.h"
#include "app/zov_program_icon.h"
#include "app/zov_qt_translations.h"
#include "map/zov_cef_browers.h"
#include "map/zov_client_app.h"
#include "platform/zov_hand_over.h"
#include "platform/zov_paths.h"
#include "shell/zov_main_thread.h"
#include "shell/zov_settings.h"
#include "shell/zov_trace.h"
#include "shell/zov_version.h"
#include "shell/zov_wnd_manager.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_file_info_view.h"
#include "ui/zov_ui_base.h"
#include "update/update_client.h"

void ZovEndWorkersBeforeExit() {
  // The store stays (nothing is deleted one by one on this path); only its
  // loader ends, so no scan is left running into the exit handlers.
  if (CZovFileListStore* store = CZovFileListStore::Peek()) store->EndLoads();
}

void ZovInstallPanelWindows() {
  ZovPanelWindows& makers = ZovPanelWindowMakers();
  makers.makePlayWindow = [](QWidget* parent) { return new CPlayDialog(parent); };
  makers.makeSetupPage = [](QWidget* parent) { return new CZovPlaySetup(parent); };
  makers.makeFileInfo = [](QWidget* parent) -> CZovWnd* {
    auto* view = new CFileInfoView();
    view->Create(parent);
    return view;
  };
  makers.makeMapPage = [](QWidget* parent, CZovVersion* version) -> CZovWnd* {
    return new CZovCefBrowers(parent, version);
  };
  makers.loadMapPage = [](CZovWnd* page, const std::string& location) {
    if (auto* map = dynamic_cast<CZovCefBrowers*>(page)) map->LoadPage(location);
  };
  makers.testMapPage = [](CZovWnd* page) {
    if (auto* map = dynamic_cast<CZovCefBrowers*>(page)) map->TestPage();
  };
}

CZovPlayApp::CZovPlayApp(int& argc, char** argv) : argc_(argc), argv_(argv) {}

// The shutdown list has released the browser and the singletons; what is
// left (the QApplication the start-up made) ends here.
CZovPlayApp::~CZovPlayApp() = default;

void CZovPlayApp::Step(const char* name) {
  if (onStep) onStep(name);
}

int CZovPlayApp::InitInstance() {
  if (!StartUp()) return earlyExit_;
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

  if (!StartBrowserRuntime()) return false;
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

  // A track that cannot be read is told in a message box, posted to the
  // user-interface thread (the track loader runs on a start-up thread).
  CZovFileListStore::GetInstance()->SetWarningSink([](const std::string& text) {
    ZovInvokeOn(qApp, [text] { CZovUiEnv::Get().NoCaptionBox(QString::fromStdString(text)); });
  });
  Step("file list store");

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

bool CZovPlayApp::StartBrowserRuntime() {
  browserApp_ = std::make_shared<ClientApp>(1);
  // This executable never serves as a browser helper process (the browser
  // starts its own); a non-negative code would mean it just did.
  const int code = browserApp_->ExecuteProcess(argc_, argv_);
  if (code >= 0) {
    DebugTrace("cef error :%d  \r\n", code);
    earlyExit_ = code;
    return false;
  }
  CZovSettings* settings = CZovSettings::GetInstance();
  browserApp_->Configure(settings->CacheFolder(), settings->SettingsFolder() + "cef.log");
  if (!QCoreApplication::instance()) {
    qapp_ = std::make_unique<QApplication>(argc_, argv_);
    QApplication::setApplicationName(QString::fromLatin1(kZovIconName));
    QApplication::setDesktopFileName(QString::fromLatin1(kZovIconName));
  }
  zov_play::ProcessQtTranslations().Apply(settings->Texts().CurrentLanguageName());
  browserReady_ = browserApp_->Initialize() ? 1 : 0;
  return true;
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
  // First: its loader may still scan for the play window, and the scan uses
  // the settings deleted below. The deletion stops and joins it.
  CZovFileListStore::DeleteInstance();
  Step("delete file list store");
  UpdateClient::DeleteInstance();
  Step("delete update client");
  CZovVersion::DeleteInstance();
  Step("delete version");
  browserReady_ = 0;
  browserApp_.reset();
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
