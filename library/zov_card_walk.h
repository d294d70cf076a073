#pragma once
// The walk of dropped or opened paths: folders are read recursively, and
// every file that is a recording (by its extension, or by its first bytes
// when the extension says nothing) or a GPS side file is collected.
//
// Folders below kZovMaxFolderDepth, hidden folders (".name") and the system
// folders file systems and desktops leave on cards are not entered; a
// symbolic link to a folder already being walked (a loop) is refused. What
// cannot be read is named in `messages` and the walk goes on with the rest.
//
// Runs on its caller's thread (the scan worker); touches no shared state.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// How far below a dropped folder recordings are looked for: a card root is
// DCIM/<camera>/<mode>/<channel>/file at worst, a folder of cards one more.
inline constexpr int kZovMaxFolderDepth = 12;

struct ZovWalkedFile {
  std::string path;
  int64_t size = 0;
  int64_t mtimeNs = 0;
  // Named on its own rather than found in a walked folder (its neighbours
  // were not looked at).
  bool named = false;
};

struct ZovWalkResult {
  std::vector<ZovWalkedFile> recordings;  // in path order
  std::vector<ZovWalkedFile> sideFiles;   // in path order
  std::vector<std::string> messages;
  bool cancelled = false;
};

// True for the extensions of recordings ("mp4", "MOV", ...; no dot).
bool ZovIsRecordingExtension(std::string_view extension);
// True for the extensions of GPS side files (GPS logs, ".gps", ".3gf",
// ".nmea", ".srt", ".txt", day logs ".dat", ".gpx"). A file of another
// extension (an NMEA ".log") whose first bytes are one of those layouts is a
// side file too.
bool ZovIsSideExtension(std::string_view extension);

ZovWalkResult ZovWalkPaths(const std::vector<std::string>& paths, int maxDepth = kZovMaxFolderDepth,
                           const std::atomic<bool>* cancel = nullptr);
