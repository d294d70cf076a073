#include "shell/zov_version.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {
CZovVersion* g_version = nullptr;
}  // namespace

CZovVersion* CZovVersion::GetInstance() {
  if (!g_version) g_version = new CZovVersion();
  return g_version;
}

CZovVersion* CZovVersion::Peek() { return g_version; }

void CZovVersion::DeleteInstance() {
  delete g_version;
  g_version = nullptr;
}

CZovVersion::CZovVersion()
    : version(ZovFormatVersion(kZovVersionMajor, kZovVersionMinor, kZovVersionPatch)),
      buildDate(ZovBuildDateFromCompilerDate(__DATE__)) {}

void CZovVersion::SetLogFolder(const std::string& folder) {
  logFolder = folder;
  logFile = folder + "log.txt";
}

std::string ZovFormatVersion(int major, int minor, int patch) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "V%d.%02d.%02d.", major, minor, patch);
  return buf;
}

std::string ZovBuildDateFromCompilerDate(const char* date) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  char name[16] = {};
  int day = 0;
  int year = 0;
  if (!date || std::sscanf(date, "%15s %d %d", name, &day, &year) != 3) return "00000000";
  int month = 0;
  if (std::strlen(name) == 3) {
    if (const char* at = std::strstr(kMonths, name)) {
      long pos = at - kMonths;
      if (pos % 3 == 0) month = static_cast<int>(pos / 3) + 1;
    }
  }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%02d%02d%02d", year, month, day);
  return buf;
}

std::string ZovStartLogName(const std::string& folder, const std::tm* local) {
  int year = 0, month = 0, day = 0, hour = -1, minute = -1, second = -1;
  if (local) {
    year = local->tm_year + 1900;
    month = local->tm_mon + 1;
    day = local->tm_mday;
    hour = local->tm_hour;
    minute = local->tm_min;
    second = local->tm_sec;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02dlog.txt", year, month, day, hour, minute,
                second);
  return folder + buf;
}

bool ZovApplyLogSizeRule(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  if (st.st_size <= kZovLogSizeLimit) return false;
  return ::unlink(path.c_str()) == 0;
}

std::string ZovStartTimeLogCleanup(const std::string& folder, std::time_t startTime) {
  std::tm local {};
  const std::tm* broken = ::localtime_r(&startTime, &local);
  std::string name = ZovStartLogName(folder, broken);
  ZovApplyLogSizeRule(name);
  return name;
}
