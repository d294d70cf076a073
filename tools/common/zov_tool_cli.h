#pragma once
// Conventions shared by the command-line tools: -h/--help prints the usage on
// standard output and exits 0; --version prints the program version and exits
// 0; a usage error (unknown option, missing or out-of-range value) names itself
// on standard error and exits 2. Each message goes to one stream only.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/zov_version.h"

namespace zovtool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// Largest window side accepted by --size (a 16K screen).
constexpr int kMaxWindowSide = 16384;

inline void PrintVersion(const char* tool) {
  CZovVersion v;
  std::printf("%s %s (built %s)\n", tool, v.version.c_str(), v.buildDate.c_str());
}

// Prints "TOOL: MESSAGE" and a pointer to --help on standard error; returns
// kExitUsage.
inline int UsageError(const char* tool, const std::string& message) {
  std::fprintf(stderr, "%s: %s (see %s --help)\n", tool, message.c_str(), tool);
  return kExitUsage;
}

// The whole of `text` as an integer in [lo, hi].
inline bool ParseInt(const char* text, int lo, int hi, int* out) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

// "WxH" with both sides in [1, kMaxWindowSide].
inline bool ParseSize(const char* text, int* width, int* height) {
  if (!text) return false;
  const std::string s = text;
  const size_t x = s.find('x');
  if (x == std::string::npos) return false;
  return ParseInt(s.substr(0, x).c_str(), 1, kMaxWindowSide, width) &&
         ParseInt(s.substr(x + 1).c_str(), 1, kMaxWindowSide, height);
}

}  // namespace zovtool
