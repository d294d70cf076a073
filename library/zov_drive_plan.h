#pragma once
// A drive as the player plays it: its moments one after the other on one
// drive clock, each with the channels that play together, and its track on
// that clock. Pure: works on the library it is given, opens nothing.
//
// The drive clock counts milliseconds from the first moment's first picture,
// moment after moment, with the pauses between moments left out (they hold
// no pictures): moment k starts at the sum of the lengths before it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "library/zov_camera_clock.h"
#include "library/zov_library_types.h"

// Channels shown together at most (the video panes).
inline constexpr size_t kZovMaxPlayedChannels = 3;

struct ZovPlanChannel {
  std::string key;   // "front", "rear", "interior", "left", "rear-2" ...
  std::string path;
};

struct ZovPlanMoment {
  int64_t start = kZovNoTime;  // camera clock
  ZovMode mode = ZovMode::kNormal;
  int64_t offsetMs = 0;        // where it begins on the drive clock
  int64_t lengthMs = 0;        // its lead recording's length
  // Every channel of the moment, front first, then as the library keeps them.
  std::vector<ZovPlanChannel> channels;
  // The lead recording (front, else the first channel) and its track.
  std::string lead;
  bool playable = true;        // false: the lead could not be read at the scan
  std::vector<ZovTrackPoint> track;
};

struct ZovDrivePlan {
  int64_t start = kZovNoTime;
  double kilometres = 0;
  std::vector<ZovPlanMoment> moments;

  int64_t LengthMs() const;
  // The moment that plays at drive time `ms` (clamped into the drive) and the
  // time within that moment. 0 and 0 for an empty plan.
  size_t MomentAt(int64_t ms, int64_t* withinMs) const;
  // The moment whose lead recording is `path`; moments.size() when none is.
  size_t MomentOfPath(const std::string& path) const;
};

// The plan of `drive` (a drive of `library`).
ZovDrivePlan ZovPlanDrive(const ZovLibrary& library, const ZovDrive& drive);
// The plan of the drive that holds a moment whose lead recording is `path`;
// an empty plan when no moment of the library has that lead.
ZovDrivePlan ZovPlanDriveOfPath(const ZovLibrary& library, const std::string& path);

// The index in library.drives of the drive that holds a moment whose lead
// recording is `path`; -1 when none does.
int ZovDriveIndexOfPath(const ZovLibrary& library, const std::string& path);
// The camera-clock time (seconds, with fractions) of drive time `ms`: the
// start of the moment that plays then plus the time into it; none when that
// moment's start is unknown.
std::optional<double> ZovCameraSecondsAt(const ZovDrivePlan& plan, int64_t ms);

// The time of drive time `ms` as the windows show it: the corrected camera
// clock, with the GPS time (UTC) of the moment's track beside it where the
// two disagree (ZovClockText); "" when the moment's start is unknown. The
// GPS time counts from the moment's first fix, moved by the clock's nudge.
std::string ZovDriveClockText(const ZovDrivePlan& plan, int64_t ms, const ZovCameraClock& clock);

// The channels that play of a moment: at most `most`, the main channel (with
// the sound) first. When `preferred` (the driver's remembered choice, in its
// order) names channels the moment has, those play, in that order; otherwise
// front, rear, interior, then the others as the moment lists them.
std::vector<ZovPlanChannel> ZovPlayedChannels(const ZovPlanMoment& moment,
                                              const std::vector<std::string>& preferred = {},
                                              size_t most = kZovMaxPlayedChannels);

// A position of the drive's track on the drive clock.
struct ZovDrivePoint {
  int64_t ms = 0;
  double latitude = 0;
  double longitude = 0;
  float speedKnots = 0;
};

// The drive's track as segments: a moment without fixes, or a jump of more
// than kZovTrackJumpMetres between two fixes, starts a new segment (the map
// shows gaps as gaps). A fix's time in its moment comes from its GPS time
// relative to the moment's first fix, else from its place in the list.
inline constexpr double kZovTrackJumpMetres = 500;
std::vector<std::vector<ZovDrivePoint>> ZovDriveTrack(const ZovDrivePlan& plan);
// The drive time of the track point nearest to a position (-1 for no track).
int64_t ZovNearestDriveMs(const std::vector<std::vector<ZovDrivePoint>>& track, double latitude,
                          double longitude);
