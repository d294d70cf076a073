#pragma once
// Side-file layouts: the GPS logs cameras, drones and phones write beside
// their recordings in public text formats (NMEA 0183 logs, millisecond-stamped
// NMEA sidecars, day logs, drone subtitle logs, GPX tracks), and the public
// accelerometer sidecar read with the stamped NMEA one.
//
//   bytes --ZovSideLayoutOf*--> layout --ZovParseSideText--> ZovSideTrack
//         (one ZovSideFix per position, in file order, wall-clock time in ms)
//         --ZovPlaceSideFixes--> GpsFix list, one fix per second of the
//         recording, each carrying the second it belongs to (videoTimed)
//
// Pure parsers over a buffer: no I/O, every read bounded by the length given,
// lines longer than kMaxLine skipped, at most kMaxFixes fixes per track. The
// time-based attachment (a day log or GPX track cut to one recording) is in
// zov_gps_timeline.h; the file I/O (finding side files beside a recording,
// reading them) in zov_gps_side_file.h.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gps/zov_gps_fix.h"

enum class ZovSideLayout {
  kNone,
  kNmea,         // NMEA 0183 log: $--RMC with $--GGA (.nmea .NMEA .log .txt)
  kStampedNmea,  // "[unix ms]$GPRMC,..." lines (.gps beside ..._NF.mp4 / _NR.mp4)
  kDayLog,       // "YYYYMMDDhhmmss,LAT,N,LON,E,KNOTS,ALT" one a second, "#" at power-on (.dat)
  kSubtitle,     // drone subtitle log, GPS in the cue texts (.srt .SRT)
  kGpx,          // GPX track points (.gpx)
};

// "No time" marker of ZovSideFix::stampMs.
constexpr int64_t kZovNoStamp = INT64_MIN;

struct ZovSideFix {
  // Wall-clock time in ms since 1970: UTC for NMEA, stamped NMEA and GPX; the
  // camera's clock for day logs and subtitles (see ZovSideTrack::utc).
  int64_t timeMs = 0;
  // Position in the recording's own timeline where the layout carries it: the
  // cue start of a subtitle (ms from the start of the video) or the bracket
  // stamp of a stamped NMEA line (Unix ms; the file's first stamp is the
  // recording's start). kZovNoStamp otherwise.
  int64_t stampMs = kZovNoStamp;
  double latitude = 0;   // signed degrees
  double longitude = 0;  // signed degrees
  double speedKnots = 0;
  double course = 0;  // degrees clockwise from north, when hasCourse
  double altitude = 0;
  bool hasSpeed = false;  // else derived from the next fix when placed
  bool hasCourse = false;
  bool hasAltitude = false;
  // Power-on run of a day log (incremented at each "#" line); 0 elsewhere.
  int segment = 0;
};

// One accelerometer sample of the accelerometer sidecar (m/s^2).
struct ZovAccelSample {
  int64_t offsetMs = 0;  // from the start of the recording
  double x = 0, y = 0, z = 0;
};

struct ZovSideTrack {
  ZovSideLayout layout = ZovSideLayout::kNone;
  std::vector<ZovSideFix> fixes;
  // Times are UTC (false: the camera's clock without a zone).
  bool utc = true;
  // The first bracket stamp of a stamped NMEA file (its recording's start),
  // kZovNoStamp when none.
  int64_t firstStampMs = kZovNoStamp;
  // Lines skipped as damaged: NMEA sentences whose *hh checksum does not
  // match, day-log lines that do not parse.
  size_t badLines = 0;
  // Accelerometer samples merged in from the sidecar (stamped NMEA only).
  std::vector<ZovAccelSample> accel;
};

namespace zovside {
// A text line longer than this is not a record of any layout (NMEA allows 82
// characters; subtitle cues and GPX tags are a few hundred at most).
constexpr size_t kMaxLine = 4096;
// Fixes kept per track: a week of one fix a second.
constexpr size_t kMaxFixes = 7 * 86400;
// Accelerometer sidecar records: 10 bytes each, BE uint32 ms offset and three
// BE int16 axes (vertical, lateral, longitudinal) with 128 per g.
constexpr size_t kAccelRecord = 10;
constexpr double kAccelPerG = 128.0;
constexpr double kStandardGravity = 9.80665;
// Seconds a placed fix may lie after the recording's start (two days).
constexpr int64_t kMaxPlacedSecond = 2 * 86400;
}  // namespace zovside

// Layout by the file name's extension: .nmea .NMEA .log .LOG (kNmea), .gps
// .GPS (kStampedNmea), .dat .DAT (kDayLog), .srt .SRT (kSubtitle), .gpx .GPX
// (kGpx). ".txt" is not here: it is the cameras' own text layout first (see
// ZovSideLayoutOfContent for the fallback).
ZovSideLayout ZovSideLayoutOfName(const std::string& path);
// Layout by the first bytes of a file (a UTF-8 BOM is skipped): "<gpx" or
// "<?xml" with "<trkpt", a "[digits]$" stamped line, a "$G?RMC"/"$G?GGA"
// sentence, a subtitle timing line "hh:mm:ss,mmm -->", a day-log line.
ZovSideLayout ZovSideLayoutOfContent(const uint8_t* data, size_t size);

// Parses a whole side file of the given layout into `track` (which is reset).
// True when at least one fix was read.
bool ZovParseSideText(ZovSideLayout layout, const uint8_t* data, size_t size, ZovSideTrack& track);

// The accelerometer sidecar's samples (a trailing partial record is ignored).
std::vector<ZovAccelSample> ZovParseAccelSidecar(const uint8_t* data, size_t size);

// Places the fixes [first, last) of a track on the seconds of a recording, as
// the extractor's clean-up takes them: one fix a second (the first of each
// second), each with index = its second in the recording, date and time from
// timeMs, heading flag 1 where the layout gave a course, videoTimed set, block
// state kZovSideBlockState. The second of a fix is
//  - its stamp less the origin stamp when the track carries stamps (subtitle
//    cues: origin 0; stamped NMEA: the file's first stamp),
//  - otherwise its time less `originMs` (the recording's start in the same
//    clock as the track; pass the first fix's time for a log read alone).
// Fixes before the origin or more than two days after it are left out. The
// track's accelerometer samples become the G-sensor values of their seconds
// (a second with samples and no position gives a fix without position, which
// the clean-up keeps for the sensor series only). A fix without a speed of its
// own (GPX points, most subtitle cues) gets the speed of its step to the next
// placed fix (the last one: from the one before), so the speed dial moves.
GpsFixList ZovPlaceSideFixes(const ZovSideTrack& track, size_t first, size_t last, int64_t originMs);

// Block state of placed side-file fixes (no coordinate restoration applies).
constexpr int kZovSideBlockState = 40;

// ---- Building blocks, exposed for tests -------------------------------------

// NMEA ddmm.mmmm to degrees; false when the minutes are 60 or more.
bool ZovSideNmeaDegrees(double value, double& degrees);
// "hh:mm:ss,mmm" (or '.') at the start of text; -1 when it is not one.
int64_t ZovSideCueTimeMs(const char* text, size_t size);
// ISO 8601 "YYYY-MM-DDThh:mm:ss[.fff][Z|+hh:mm|-hh:mm]" as UTC ms since 1970;
// false when it does not parse.
bool ZovSideIsoTimeMs(const char* text, size_t size, int64_t& ms);
