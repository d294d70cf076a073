#pragma once
// File side of the side-file layouts: reading a side file, finding the side
// files that belong to a recording, and a recording's start time.
//
// Beside a recording DIR/BASE.EXT the extractor looks, in this order, for
//   DIR/BASE.gps (and, for a channel's file BASE = STEM_<mode><channel> such
//   as ..._NF or ..._NR, DIR/STEM_<mode>.gps, which serves every channel),
//   DIR/BASE.nmea .NMEA .log .txt .srt .SRT .gpx .GPX;
// a stamped NMEA sidecar brings its accelerometer sidecar (.3gf, same names).
// Failing those, day logs (.dat) and GPX files in DIR are attached by time
// when the recording's start is known (zov_gps_timeline.h).
//
// Every read is bounded: a side file is read whole only up to
// zovscan::kMaxTextFile, at most kMaxFolderLogs logs of a folder are opened.
#include <cstdint>
#include <string>
#include <vector>

#include "gps/zov_gps_side.h"

namespace zovsidefile {
// Logs of a folder opened for one recording (a card holds one day log a day).
constexpr size_t kMaxFolderLogs = 64;
// Seconds from 1904-01-01 (MP4 times) to 1970-01-01.
constexpr int64_t kMp4Epoch = 2082844800;
// Top-level boxes and moov children looked at for the movie header.
constexpr int kMaxHeaderBoxes = 64;
}  // namespace zovsidefile

// Reads a side file whole and parses it with `layout`, or with the layout of
// its name, or, when the name says none, of its content. For a stamped NMEA
// file the accelerometer sidecar beside it is read too. True when a fix was
// read.
bool ZovReadSideFile(const std::string& path, ZovSideTrack& track,
                     ZovSideLayout layout = ZovSideLayout::kNone);

// The side files of the same name as the recording that exist, in look-up
// order (see above).
std::vector<std::string> ZovSideFilesOf(const std::string& recording);
// The accelerometer sidecar of a stamped NMEA file ("" when none exists).
std::string ZovAccelSidecarOf(const std::string& stampedNmea);
// Day logs and GPX files in the recording's folder, sorted by name.
std::vector<std::string> ZovTimeLogsBeside(const std::string& recording);

struct ZovRecordingTime {
  // The start written in the file name (the camera's clock), ms since 1970.
  bool hasNameStart = false;
  int64_t nameStartMs = 0;
  // The movie header's creation time (UTC for most writers).
  bool hasContainerStart = false;
  int64_t containerStartMs = 0;
  // The movie header's duration; -1 when unknown.
  int64_t durationMs = -1;
};

// Start and duration of a recording from its name and (MP4/MOV) movie header.
ZovRecordingTime ZovRecordingTimeOf(const std::string& path);

// The day (days since 1970) of the date at the start of the digits of a file
// name, YYYYMMDD with single separators allowed ("20240517.dat",
// "2024_0517.gpx"). False when none.
bool ZovDayFromName(const std::string& path, int64_t& day);

// The date-time in a file name: 14 digits YYYYMMDDhhmmss, or 12 digits
// YYMMDDhhmmss, with single '_', '-', '.' or blanks between groups
// ("20240517_083000_NF.mp4", "2024_0517_083000_F.MP4"). False when none.
bool ZovStartFromName(const std::string& path, int64_t& startMs);
