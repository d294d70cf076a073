#pragma once
// Attaching a time-keyed GPS log to recordings by time: a day log (one file
// a day for all of that day's recordings) or a GPX track (a phone's log of
// the same drive) is read once, then cut to each recording by its start and
// duration. For the recording library and for the extractor's look-up of a
// log beside a single recording. Pure: no I/O (reading the file is
// ZovReadSideFile in zov_gps_side_file.h).
//
//   ZovSideTrack track;                       // read once per log
//   ZovReadSideFile("/card/GPS/20240517.dat", track);
//   ZovSortByTime(track);
//   for each recording:                       // O(log n) each
//     GpsFixList fixes = ZovSideFixesForRecording(track, startMs, durationMs);
//     ZovCleanUpAndPrint(fixes, points, sensors);   // the player's texts
//
// Times: a track's times are in its own clock (ZovSideTrack::utc: GPX is
// UTC, a day log the camera's clock); the caller passes the recording's start
// in the same clock (a name's time is the camera's; shift it by the camera's
// zone for a UTC track). A day log with 86,400 lines is read in tens of ms;
// 1,440 recordings are cut from it in a few ms (bench/gps).
#include <cstddef>
#include <cstdint>

#include "gps/zov_gps_side.h"

struct ZovSideSlice {
  size_t first = 0;
  size_t last = 0;  // one past the last fix
  bool empty() const { return first >= last; }
  size_t size() const { return empty() ? 0 : last - first; }
};

// Sorts the fixes by time (stable: fixes of the same time keep their order).
void ZovSortByTime(ZovSideTrack& track);

// The fixes of a time-sorted track with startMs <= time < startMs + durationMs.
ZovSideSlice ZovSliceByTime(const ZovSideTrack& track, int64_t startMs, int64_t durationMs);

// For a recording of unknown length: the fixes from startMs on, up to the
// first gap longer than maxGapMs, a new power-on run, or maxMs after the
// start. The first fix must lie within maxGapMs of the start.
ZovSideSlice ZovSliceFrom(const ZovSideTrack& track, int64_t startMs, int64_t maxGapMs, int64_t maxMs);

// The fixes of one recording, placed on its seconds (index 0 is its start),
// ready for the clean-up. durationMs < 0: unknown (ZovSliceFrom with the
// defaults below).
GpsFixList ZovSideFixesForRecording(const ZovSideTrack& track, int64_t startMs, int64_t durationMs);

namespace zovtimeline {
// A recording of unknown length takes the log from its start until a gap of
// this long (the camera was off) ...
constexpr int64_t kMaxGapMs = 10 * 1000;
// ... and at most this long (cameras cut recordings at 1 to 10 minutes).
constexpr int64_t kMaxUnknownMs = 3600 * 1000;
}  // namespace zovtimeline
