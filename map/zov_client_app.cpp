#include "map/zov_client_app.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <vector>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

namespace {

// The process's current ClientApp; guarded by CurrentLock().
std::weak_ptr<ClientApp>& CurrentSlot() {
  static std::weak_ptr<ClientApp> slot;
  return slot;
}
std::mutex& CurrentLock() {
  static std::mutex lock;
  return lock;
}
// Set by the first Configure of the process.
bool& ConfiguredOnce() {
  static bool configured = false;
  return configured;
}

std::vector<std::string> SplitSwitches(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string word;
  while (in >> word) out.push_back(word);
  return out;
}

// "--name=value" and "--name" share the key "--name".
std::string SwitchKey(const std::string& word) { return word.substr(0, word.find('=')); }

bool EnsureFolders(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return std::filesystem::is_directory(folder, ec);
}

}  // namespace

ClientApp::ClientApp(int /*arg*/) {}

ClientApp::~ClientApp() = default;

int ClientApp::ExecuteProcess(int /*argc*/, char** /*argv*/) const { return -1; }

bool ClientApp::RunningAsRoot() { return geteuid() == 0; }

bool ClientApp::HasGpuDevice() {
  const char* software = std::getenv("LIBGL_ALWAYS_SOFTWARE");
  if (software && *software && std::string(software) != "0") return false;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/dri", ec)) {
    if (entry.path().filename().string().rfind("renderD", 0) == 0) return true;
  }
  return false;
}

std::string ClientApp::MergeFlags(const std::string& existing, const std::string& add) {
  std::vector<std::string> words = SplitSwitches(existing);
  for (const std::string& w : SplitSwitches(add)) {
    bool present = false;
    for (const std::string& e : words) present = present || SwitchKey(e) == SwitchKey(w);
    if (!present) words.push_back(w);
  }
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

bool ClientApp::Configure(const std::string& cacheFolder, const std::string& logFile) {
  {
    std::lock_guard<std::mutex> g(CurrentLock());
    if (ConfiguredOnce()) return false;
    ConfiguredOnce() = true;
    CurrentSlot() = weak_from_this();
  }
  cacheFolder_ = cacheFolder;
  logFile_ = logFile;
  if (!cacheFolder_.empty()) EnsureFolders(cacheFolder_);
  if (!logFile_.empty()) EnsureFolders(std::filesystem::path(logFile_).parent_path());

  std::string add = std::string(kQuietFlags) + " " + kLeanFlags;
  if (RunningAsRoot()) add += " --no-sandbox";
  // Without a GPU, Chromium's GPU path runs on the software OpenGL driver:
  // slower than its own software compositing, and it reports failed command
  // buffers when a view closes. Use software compositing then.
  if (!HasGpuDevice()) add += " --disable-gpu";
  const char* existing = std::getenv(kFlagsVariable);
  setenv(kFlagsVariable, MergeFlags(existing ? existing : "", add).c_str(), 1);
  // The runtime's start-up report and the sandbox notice are not errors.
  QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.debug=false\n"
                                                  "qt.webenginecontext.info=false"));

  const bool inTime = QCoreApplication::instance() == nullptr;
  if (inTime) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  return inTime;
}

bool ClientApp::Initialize() {
  if (profile_) return true;
  if (!QCoreApplication::instance() || cacheFolder_.empty()) return false;
  profile_ = new QWebEngineProfile(QString::fromLatin1(kProfileName), QCoreApplication::instance());
  const QString cache = QString::fromStdString(cacheFolder_);
  profile_->setCachePath(cache);
  profile_->setPersistentStoragePath(cache + QStringLiteral("/Storage"));
  profile_->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
  // Local map pages load their tiles from the network when there is one.
  profile_->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  return true;
}

std::shared_ptr<ClientApp> ClientApp::Current() {
  std::lock_guard<std::mutex> g(CurrentLock());
  return CurrentSlot().lock();
}

void ClientApp::Log(const char* level, const std::string& source, const std::string& text) {
  if (logFile_.empty()) return;
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%02d%02d/%02d%02d%02d.%06ld", local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, ts.tv_nsec / 1000);
  std::lock_guard<std::mutex> g(logLock_);
  FILE* f = std::fopen(logFile_.c_str(), "a");
  if (!f) return;
  std::fprintf(f, "[%d:%ld:%s:%s:%s] %s\n", static_cast<int>(getpid()),
               static_cast<long>(syscall(SYS_gettid)), stamp, level, source.c_str(),
               text.c_str());
  std::fclose(f);
}
