#pragma once
// Clean-up and output of an extraction: the raw fix list in file order (with
// indexes that may be record numbers, seconds or absolute counters, with
// duplicates, gaps, zero positions and jumps) becomes one fix per second of
// recording plus a separate G-sensor series, printed as the point text and
// the sensor text. The steps run in this order:
//   1 sensor list          2 time-based re-indexing   3 sensor tidy-up
//   4 zero positions       5 increasing indexes       6 jump filter
//   7 gap filling          8 headings                 9 output
// Runs on the caller's thread; works on lists it is given, no global state.
#include <cstdint>
#include <string>

#include "gps/zov_gps_fix.h"

struct ZovCleanupCounts {
  int fixCount = 0;     // fixes in the list after gap filling
  int sensorCount = 0;  // sensor records after the tidy-up
};

namespace zovcleanup {
// Below this a coordinate counts as "no position".
constexpr double kZeroPosition = 1e-7;
// Jump filter: 100 m per second on a 40,030,172 m circumference, in degrees
// per second (kept as float, as the cameras' readers compute it).
constexpr float kJumpLatitudeRate = 36000.0f / 40030172.0f;
constexpr double kJumpLongitudeRate = 0.001;
constexpr int64_t kJumpMaxGap = 59;
// Time stamps at or below this are not real dates.
constexpr int32_t kValidStamp = 999999;
constexpr int32_t kEarlyStamp = 100000;
// Re-indexing: a step between two fixes that is negative or above this many
// seconds (or has no time stamp) counts as one second.
constexpr int64_t kMaxStepSeconds = 180;
constexpr uint32_t kMaxFirstIndex = 120;
// Gap filling covers indexes up to this second and at most this many gaps.
constexpr uint32_t kMaxFillIndex = 200;
constexpr int kMaxGaps = 200;
// Fixes placed on the recording's seconds (videoTimed): the longest gap
// filled, in seconds.
constexpr uint32_t kMaxVideoGap = 600;
// A sensor-index gap wider than this is not filled with copies (a broken
// counter must not turn into millions of records).
constexpr int64_t kMaxSensorGap = 3600;
// Heading: coordinates this close count as equal.
constexpr double kHeadingEpsilon = 1e-7;

// Seconds since 1970 of the fix's date and time read as UTC (the year is first
// forced into 1901-2030 as 2020); -1 when it cannot be represented. Never the
// machine's zone: a fix inside a local daylight-saving gap must keep its time.
int32_t UtcTimeStamp(GpsFix& fix);
// Adds seconds to the fix's date and time with carries into minute, hour, day,
// month and year.
void AddSeconds(GpsFix& fix, int64_t seconds);

GpsFixList BuildSensorList(GpsFixList& fixes);  // step 1
void ReindexByTime(GpsFixList& fixes);          // step 2 (sets time stamps)
void TidySensors(GpsFixList& sensors);          // step 3
void DropZeroPositions(GpsFixList& fixes);      // step 4
void MakeIndexesIncreasing(GpsFixList& fixes);  // step 5
void FilterJumps(GpsFixList& fixes);            // step 6
void FillGaps(GpsFixList& fixes);               // step 7
void ComputeHeadings(GpsFixList& fixes);        // step 8
// The device text is printed inside a ';'-terminated record: a ';' or a
// control character in it (read from a hostile file) would split the record
// or the line, so they are printed as '_'.
void SanitizeDeviceText(GpsFix& fix);
// Initial great-circle bearing from a to b in degrees, 0-360.
double InitialBearing(double latA, double lonA, double latB, double lonB);
}  // namespace zovcleanup

// Runs the clean-up steps on the fix list in their order and returns the
// sensor list taken from it before the fixes were reindexed.
GpsFixList ZovCleanUpFixes(GpsFixList& fixes);

// Runs steps 1-9 on the fix list (which it consumes) and writes the two
// exchange texts. The counts are the fix and sensor counts after the steps.
// `printed` (optional) receives the fixes of the point text's lines at full
// precision (the point text rounds to 5 decimals), for exports.
ZovCleanupCounts ZovCleanUpAndPrint(GpsFixList& fixes, std::string& pointText,
                                    std::string& sensorText, GpsFixList* printed = nullptr);
