#include "update/update_client.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/zov_messages.h"
#include "shell/zov_wnd_manager.h"
#include "update/zov_update_rules.h"

namespace fs = std::filesystem;

namespace {

// The check service must answer quickly or not at all.
constexpr long kCheckConnectTimeoutMs = 3000;
constexpr long kCheckTotalTimeoutMs = 3000;
// File server downloads have no total limit (packages are large); a server
// that does not accept the connection is given up after this.
constexpr long kFileConnectTimeoutMs = 15000;
// A file server that stops sending is given up after this, so the check
// ends (state 35) instead of staying in the download for the rest of the run.
constexpr long kFileStallTimeoutS = 60;
// Period of the progress notifications.
constexpr auto kProgressPeriod = std::chrono::milliseconds(1000);
// Section and keys of the description file.
constexpr const char* kDescriptionSection = "ZovPlay";

UpdateClient* g_updateClient = nullptr;

std::string JoinUrl(const std::string& base, const std::string& path) {
  if (base.empty()) return path;
  const bool baseSlash = base.back() == '/';
  const bool pathSlash = !path.empty() && path.front() == '/';
  if (baseSlash && pathSlash) return base + path.substr(1);
  if (!baseSlash && !pathSlash) return base + "/" + path;
  return base + path;
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

UpdateClient* UpdateClient::GetInstance() {
  if (!g_updateClient) g_updateClient = new UpdateClient();
  return g_updateClient;
}

UpdateClient* UpdateClient::Peek() { return g_updateClient; }

void UpdateClient::DeleteInstance() {
  delete g_updateClient;
  g_updateClient = nullptr;
}

UpdateClient::UpdateClient() { ZovTransferGlobalInit(); }

UpdateClient::~UpdateClient() {
  cancel_.store(true);
  runCv_.notify_all();
  if (checkThread_.joinable()) {
    // The check thread may be sending to a window of this thread: keep this
    // thread's events flowing until it has ended.
    QCoreApplication* app = QCoreApplication::instance();
    const bool pump = app && QThread::currentThread() == app->thread();
    while (!WaitFinished(pump ? 20 : 1000)) {
      if (pump) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    checkThread_.join();
  }
}

void UpdateClient::SetBaseFolder(const std::string& base) {
  std::lock_guard<std::mutex> g(textLock_);
  baseFolder_ = base;
}

void UpdateClient::LoadServerSettings(const std::string& iniFile) {
  CZovIniFile ini;
  if (!ini.SetFile(iniFile)) return;
  std::lock_guard<std::mutex> g(textLock_);
  servers_.checkService = ini.ReadString(kUpdateSettingsSection, "checkserver", servers_.checkService);
  servers_.fileServer = ini.ReadString(kUpdateSettingsSection, "fileserver", servers_.fileServer);
  servers_.caBundle = ini.ReadString(kUpdateSettingsSection, "cabundle", servers_.caBundle);
}

void UpdateClient::SetServers(const UpdateServers& servers) {
  std::lock_guard<std::mutex> g(textLock_);
  servers_ = servers;
}

UpdateServers UpdateClient::Servers() const {
  std::lock_guard<std::mutex> g(textLock_);
  return servers_;
}

std::string UpdateClient::UpdateName() const {
  std::lock_guard<std::mutex> g(textLock_);
  return updateName_;
}

std::string UpdateClient::ServerVersion() const {
  std::lock_guard<std::mutex> g(textLock_);
  return serverVersion_;
}

std::string UpdateClient::UpdateFolder() const {
  std::lock_guard<std::mutex> g(textLock_);
  return updateFolder_;
}

std::string UpdateClient::CalibrationUrl() const {
  std::lock_guard<std::mutex> g(textLock_);
  return calibrationUrl_;
}

void UpdateClient::Start(const std::string& versionText) {
  directory_.store(CZovWndManager::GetInstance());
  if (state_.load() != kUpdateNotStarted) return;
  {
    std::lock_guard<std::mutex> g(textLock_);
    if (currentVersion_.empty()) currentVersion_ = versionText;
    serverVersion_.clear();
  }
  state_.store(kUpdateChecking);
  checkThread_ = std::thread(&UpdateClient::CheckThread, this);
}

bool UpdateClient::WaitFinished(int timeoutMs) const {
  std::unique_lock<std::mutex> g(runLock_);
  return runCv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [this] { return finished_; });
}

std::string UpdateClient::FileUrl(const std::string& name) const {
  std::lock_guard<std::mutex> g(textLock_);
  return JoinUrl(servers_.fileServer, std::string(kUpdateFileFolder) + name);
}

ZovTransferOptions UpdateClient::FileOptions() const {
  ZovTransferOptions o;
  {
    std::lock_guard<std::mutex> g(textLock_);
    o.caBundle = servers_.caBundle;
  }
  if (const char* env = std::getenv("ZOV_CA_BUNDLE"); env && *env) o.caBundle = env;
  o.connectTimeoutMs = kFileConnectTimeoutMs;
  o.stallTimeoutS = kFileStallTimeoutS;
  o.cancel = &cancel_;
  return o;
}

void UpdateClient::CheckThread() {
  std::string base, checkUrl;
  {
    std::lock_guard<std::mutex> g(textLock_);
    base = baseFolder_;
    checkUrl = JoinUrl(servers_.checkService, kUpdateCheckPath);
  }

  // 1. The check service, and the calibration file when it is newer.
  ZovTransferOptions checkOptions = FileOptions();
  checkOptions.connectTimeoutMs = kCheckConnectTimeoutMs;
  checkOptions.totalTimeoutMs = kCheckTotalTimeoutMs;
  std::string reply;
  if (ZovHttpGet(checkUrl, checkOptions, &reply)) {
    ZovCheckReply parsed = ZovParseCheckReply(reply, calibrationVersion_.load());
    if (parsed.fetchCalibration) {
      {
        std::lock_guard<std::mutex> g(textLock_);
        calibrationUrl_ = parsed.fileUrl;
        calibrationMd5_ = parsed.fileMd5;
        calibrationVersionText_ = std::to_string(parsed.softVersion);
      }
      ZovHttpDownload(parsed.fileUrl, (fs::path(base) / "setup" / "calibration.bin").string(), transfer_,
                      FileOptions());
    }
  }

  // 2. The description file.
  const std::string description = (fs::path(base) / kUpdateDescriptionFile).string();
  const bool described =
      !cancel_.load() && ZovHttpDownload(FileUrl(kUpdateDescriptionFile), description, transfer_, FileOptions());
  state_.store(kUpdateChecking);
  if (!described) {
    state_.store(kUpdateDescriptionFailed);
  } else {
    // 3. and 4. Decide and fetch.
    const int decision = Decide();
    state_.store(kUpdateDescriptionRead);
    if (decision == 0) {
      state_.store(kUpdateNewest);
    } else if (decision == 3) {
      state_.store(kUpdateReady);
    } else {
      std::string name, folder, version;
      {
        std::lock_guard<std::mutex> g(textLock_);
        name = updateName_;
        folder = updateFolder_;
        version = serverVersion_;
      }
      if (!WriteHandover(ZovHandoverPendingLine(0, name, folder))) {
        state_.store(kUpdateDownloadFailed);
      } else {
        transfer_.done.store(false);
        progressThread_ = std::thread(&UpdateClient::ProgressThread, this);
        state_.store(kUpdateDownloading);
        const bool fetched = ZovHttpDownload(FileUrl(name + ".bin"), (fs::path(base) / (name + ".bin")).string(),
                                             transfer_, FileOptions());
        runCv_.notify_all();  // the progress thread sees done at once
        progressThread_.join();
        // The "K" line is the launcher's only sign that the package is whole;
        // a line that cannot be written leaves the download failed.
        if (fetched && WriteHandover(ZovHandoverReadyLine(0, name, folder, version))) {
          state_.store(kUpdateReady);
        } else {
          state_.store(kUpdateDownloadFailed);
        }
      }
    }
    // 5. The end of the check, for the main window.
    const int end = state_.load();
    if (end == kUpdateReady || end == kUpdateNewest) SendCheckEnd();
  }
  {
    std::lock_guard<std::mutex> g(runLock_);
    finished_ = true;
  }
  runCv_.notify_all();
}

int UpdateClient::Decide() {
  std::string base, current;
  {
    std::lock_guard<std::mutex> g(textLock_);
    base = baseFolder_;
    current = currentVersion_;
  }
  ini_.SetFile((fs::path(base) / kUpdateDescriptionFile).string());
  const std::string server = ini_.ReadString(kDescriptionSection, "version", "");
  const std::string folder = ini_.ReadString(kDescriptionSection, "updatedir", "");
  const std::string name = ini_.ReadString(kDescriptionSection, "updatename", "");
  const std::string iog = ini_.ReadString(kDescriptionSection, "IOG", "");
  {
    std::lock_guard<std::mutex> g(textLock_);
    serverVersion_ = server;
    updateFolder_ = folder;
    iog_ = iog;
  }
  if (server.size() < 2) return 0;

  bool pending = ZovVersionWantsUpdate(current, server, name);
  if (pending && (!ZovIsUsableUpdateName(name) || !ZovIsUsableUpdateFolder(folder) ||
                  !ZovHandoverMarkFits(name, folder))) {
    // The name becomes a file in base and a field of the hand-over line: one
    // that would leave base or break the line is not downloaded.
    std::fprintf(stderr, "update: package name \"%s\" or folder \"%s\" refused\n", name.c_str(), folder.c_str());
    pending = false;
  }
  std::string updateName;
  {
    std::lock_guard<std::mutex> g(textLock_);
    if (pending) updateName_ = name;
    updateName = updateName_;
  }

  if (!updateName.empty()) {
    std::error_code ec;
    const fs::path package = fs::path(base) / (updateName + ".bin");
    const fs::path handover = fs::path(base) / kUpdateHandoverFile;
    if (fs::exists(package, ec) && fs::exists(handover, ec)) {
      std::ifstream in(handover, std::ios::binary);
      if (!in) return 3;
      char buf[128] = {};
      in.read(buf, sizeof buf);
      if (ZovHandoverSaysReady(std::string_view(buf, static_cast<size_t>(in.gcount())))) return 3;
    }
  }
  return pending ? 1 : 0;
}

bool UpdateClient::WriteHandover(const std::string& line) {
  std::string base;
  {
    std::lock_guard<std::mutex> g(textLock_);
    base = baseFolder_;
  }
  std::ofstream out(fs::path(base) / kUpdateHandoverFile, std::ios::binary | std::ios::trunc);
  out << line;
  out.flush();
  return static_cast<bool>(out);
}

void UpdateClient::ProgressThread() {
  for (;;) {
    {
      std::unique_lock<std::mutex> g(runLock_);
      runCv_.wait_for(g, kProgressPeriod, [this] { return transfer_.done.load() || cancel_.load(); });
    }
    if (transfer_.done.load() || cancel_.load()) break;
    const int64_t expected = transfer_.expected.load();
    if (expected > 0) SendProgress(Clamp32(std::max<int64_t>(transfer_.received.load(), 0)), Clamp32(expected));
  }
  SendProgress(-1, -1);
}

void UpdateClient::SendProgress(int32_t received, int32_t expected) {
  CZovWndManager* directory = directory_.load();
  if (!directory || cancel_.load()) return;
  directory->Send<ZOV_CODE_DOWNLOAD>(
      kZovMainWindowName, ZovProgressRecord{static_cast<uint32_t>(received), static_cast<uint32_t>(expected)}, -1);
}

void UpdateClient::SendCheckEnd() {
  CZovWndManager* directory = directory_.load();
  if (!directory || cancel_.load()) return;
  directory->SendTo(kZovMainWindowName, ZOVWM_INFO_E, ZOV_CODE_UPDATE, 0);
}
