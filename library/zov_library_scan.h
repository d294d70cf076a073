#pragma once
// One scan of the library: walk the paths, read each recording's name,
// take its facts from the index when it is unchanged there, otherwise open
// it cheaply and read its GPS track (and store both), attach side files,
// and group everything into moments and drives.
//
//   ZovWalkPaths -> ZovReadName -> index lookup | ZovProbeRecording +
//   ZovReadRecordingTrack -> index store -> ZovGroupLibrary
//
// Runs on its caller's thread (the player's scan worker, a tool), which
// starts up to kZovScanWorkers threads to open recordings and joins them
// before it returns. Progress and snapshots are reported through callbacks
// on the caller's thread; the cancel flag is read between files, so a cancel
// ends the scan within one file per worker.
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "library/zov_card_walk.h"
#include "library/zov_library_group.h"
#include "library/zov_library_types.h"

struct ZovScanProgress {
  size_t done = 0;   // recordings examined
  size_t total = 0;  // recordings found by the walk
};

struct ZovScanStats {
  size_t probed = 0;     // recordings opened
  size_t fromIndex = 0;  // recordings whose facts came from the index
};

struct ZovScanOptions {
  int maxDepth = kZovMaxFolderDepth;
  // Longest pause inside a drive; negative: the index's setting
  // "drive_gap_seconds", kZovDefaultDriveGap when it has none.
  int driveGapSeconds = -1;
  // The index file; empty: CZovLibraryIndex::DefaultPath(). useIndex false:
  // no index at all (every recording is opened).
  std::string indexPath;
  bool useIndex = true;
  // Zero or more: stored first as the index's drive gap setting (the user
  // changed it), so this scan and later ones group by it.
  int storeDriveGap = -1;
  // Stored first as settings of the index (key, value), like the gap.
  std::vector<std::pair<std::string, std::string>> storeSettings;
  // Keep each recording's GPS track in the result (false: only its fix
  // count and length, which is all a list needs; memory stays small with
  // many files).
  bool keepTracks = true;
  const std::atomic<bool>* cancel = nullptr;
  std::function<void(const ZovScanProgress&)> progress;
  // A grouped copy of what is known so far, sent once the first moment is
  // complete, then after kZovSnapshotEvery recordings, then ever less often
  // (each after half again as many as the one before).
  std::function<void(std::shared_ptr<const ZovLibrary>)> snapshot;
};

// Threads that open recordings at once (fewer on machines with fewer cores):
// opening is mostly waiting for the disk and the demuxer; the GPS reading
// of one recording runs while another is being opened.
inline constexpr unsigned kZovScanWorkers = 4;
// Recordings examined before the first regular snapshot sent to the player.
inline constexpr size_t kZovSnapshotEvery = 64;

// The drive gap a setting's text gives: whole seconds from 0 to
// kZovMaxDriveGap, else kZovDefaultDriveGap.
int ZovDriveGapOfSetting(const std::string& text);

ZovLibrary ZovScanLibrary(const std::vector<std::string>& paths, const ZovScanOptions& options,
                          ZovScanStats* stats = nullptr);

// Side files that carry no recording's base name: GPS logs keyed by the
// clock (day logs, GPX, NMEA) are read once each and cut to every playable
// recording they cover, by its start (the name's time in the camera's clock
// for a day log, the movie header's in UTC for GPX and NMEA, each falling
// back to the other) and its duration. A recording without a track of its
// own takes the cut as its track; every recording covered lists the log
// among its side files. Takes the logs it attaches out of `unattached`; at
// most kZovMaxTimeLogs are read.
inline constexpr size_t kZovMaxTimeLogs = 256;
void ZovAttachSideFilesByTime(ZovLibrary& library, std::vector<std::string>& unattached,
                              bool keepTracks = true);
