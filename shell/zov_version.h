#pragma once
// The program's version string and build date, and the start-time log file
// rule. CZovVersion is a process-wide singleton created by the start-up
// sequence; other parts read its strings directly.
#include <cstdint>
#include <ctime>
#include <string>

// Version numbers of this program.
inline constexpr int kZovVersionMajor = 1;
inline constexpr int kZovVersionMinor = 1;
inline constexpr int kZovVersionPatch = 6;
// A log file larger than this is deleted at start (exactly this size stays).
inline constexpr long long kZovLogSizeLimit = 10 * 1024 * 1024;

class CZovVersion {
 public:
  static CZovVersion* GetInstance();
  // The singleton or null; creates nothing.
  static CZovVersion* Peek();
  static void DeleteInstance();

  CZovVersion();
  ~CZovVersion() = default;

  // Stores the log folder (the settings' setup folder) and forms
  // folder + "log.txt", which nothing uses further.
  void SetLogFolder(const std::string& folder);

  std::string version;    // "V1.01.06."
  std::string buildDate;  // "YYYYMMDD" of this build
  std::string logFolder;
  std::string logFile;
  // Further fields of the record, empty and 0 after construction.
  std::string text1, text2, text3;
  uint32_t word1 = 0, word2 = 0, word3 = 0, word4 = 0;
};

// "V%d.%02d.%02d." of the three numbers.
std::string ZovFormatVersion(int major, int minor, int patch);

// The compiler's date string ("Oct 17 2025", "Dec  9 2026") as "%04d%02d%02d"
// of year, month number and day. An unknown month name gives month 0.
std::string ZovBuildDateFromCompilerDate(const char* date);

// folder + "%04d%02d%02d%02d%02d%02d" of the local time + "log.txt". With
// `local` null (the time could not be broken down) the fields read 0 for
// year, month and day and -1 for hour, minute and second.
std::string ZovStartLogName(const std::string& folder, const std::tm* local);

// Deletes `path` when it is a file larger than kZovLogSizeLimit; true when it
// was deleted.
bool ZovApplyLogSizeRule(const std::string& path);

// The start-up step: the log name of `startTime` in `folder`, with the size
// rule applied to it; returns the name.
std::string ZovStartTimeLogCleanup(const std::string& folder, std::time_t startTime);
