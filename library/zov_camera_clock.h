#pragma once
// The camera's clock. Cameras keep local time, set by hand and often wrong
// by minutes or by a daylight-saving hour. The library keeps, with its index,
// the zone the camera's clock was meant to show and the correction to add to
// every time the camera wrote; every time the windows show is the corrected
// one. Where the corrected time and the GPS time (UTC, from the satellites)
// of the same instant disagree by more than kZovClockTolerance, the GPS time
// is shown beside it, so a driver sees a clock that is still wrong.
#include <cstdint>
#include <string>

#include "library/zov_library_types.h"

struct ZovCameraClock {
  std::string zone;        // IANA zone ("Europe/Berlin"); "" this machine's zone
  int offsetSeconds = 0;   // added to every time the camera wrote
  int gpsNudgeMs = 0;      // the GPS track moved later than the pictures by this
  bool operator==(const ZovCameraClock&) const = default;
};

// Index settings that hold the clock.
inline constexpr const char* kZovCameraZoneSetting = "camera_zone";
inline constexpr const char* kZovCameraOffsetSetting = "camera_offset_seconds";
// Largest correction accepted either way (a camera a whole day off).
inline constexpr int kZovMaxCameraOffset = 86400;
// The GPS <-> video nudge: a setting of the index, at most 5 s either way, in
// steps of kZovGpsNudgeStepMs. A camera writes its fixes a little late or
// early against its pictures; the nudge lines them up again.
inline constexpr const char* kZovGpsNudgeSetting = "gps_nudge_ms";
inline constexpr int kZovMaxGpsNudgeMs = 5000;
inline constexpr int kZovGpsNudgeStepMs = 100;
// Camera and GPS times of one instant that differ by at most this many
// seconds count as agreeing (a fix is written up to a second after its
// instant, and file names round to the second).
inline constexpr int kZovClockTolerance = 2;

// The clock stored with the index at `indexPath` ("" the default index),
// read without waiting for a scan; the default clock when none is stored.
// An offset out of range, or a zone this machine does not know, is ignored.
ZovCameraClock ZovReadCameraClock(const std::string& indexPath);
// Stores the clock with the index; false with the reason when it cannot.
bool ZovWriteCameraClock(const std::string& indexPath, const ZovCameraClock& clock, std::string* why);

// A camera time as shown: corrected by the offset (kZovNoTime stays).
int64_t ZovShownTime(int64_t cameraTime, const ZovCameraClock& clock);
// The time on the GPS track (ms, the track's own clock) read against the
// picture shown at `videoMs`: the fix shown with a picture is the one written
// gpsNudgeMs before it.
int64_t ZovTrackTimeAt(int64_t videoMs, const ZovCameraClock& clock);
// The UTC seconds of a shown (local) time in the clock's zone.
int64_t ZovShownTimeToUtc(int64_t shownTime, const ZovCameraClock& clock);
// "HH:MM:SS" of a shown time, followed by " (GPS HH:MM:SS UTC)" when a GPS
// time (UTC seconds, 0 unknown) of the same instant differs from it by more
// than kZovClockTolerance.
std::string ZovClockText(int64_t shownTime, int64_t gpsUtc, const ZovCameraClock& clock);
