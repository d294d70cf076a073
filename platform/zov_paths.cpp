#include "platform/zov_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace {

std::string EnvAbsolute(const char* name) {
  const char* v = std::getenv(name);
  if (v && v[0] == '/') return v;
  return {};
}

std::string StripTrailingSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

}  // namespace

std::string ZovExecutablePath() {
  std::vector<char> buf(4096);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    if (buf.size() >= (1u << 20)) return {};
    buf.resize(buf.size() * 2);
  }
}

std::string ZovHomeFolder() {
  std::string home = EnvAbsolute("HOME");
  if (!home.empty()) return StripTrailingSlashes(home);
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return StripTrailingSlashes(pw->pw_dir);
  return "/tmp";
}

std::string ZovConfigHome() {
  std::string dir = EnvAbsolute("XDG_CONFIG_HOME");
  if (!dir.empty()) return StripTrailingSlashes(dir);
  return ZovHomeFolder() + "/.config";
}

std::string ZovCacheHome() {
  std::string dir = EnvAbsolute("XDG_CACHE_HOME");
  if (!dir.empty()) return StripTrailingSlashes(dir);
  return ZovHomeFolder() + "/.cache";
}

std::string ZovTempPath() {
  std::string dir = EnvAbsolute("TMPDIR");
  if (dir.empty()) dir = "/tmp";
  dir = StripTrailingSlashes(dir);
  if (dir.back() != '/') dir += '/';
  return dir;
}

std::string ZovUserFolder() { return ZovConfigHome() + "/ZovGpsPlay/"; }

bool ZovEnsureFolder(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  return errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
