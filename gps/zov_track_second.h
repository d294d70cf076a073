#pragma once
// The point shown for a playback second, and the 24-byte tick that carries it
// to the map panel.
//
// Rule: base b = 0, or the first point's index when that index is at least
// the recording's duration in seconds (tracks whose indexes are absolute
// counters, not seconds from the start). Walking the points in order, each
// point with index - b - 1 <= s becomes the candidate, until the first that
// does not; the last candidate is the point for second s. So with indexes
// 5000, 5001, 5002 in a 60 s recording, second 0 shows the point 5001.
#include <cstdint>
#include <string>
#include <vector>

#include "gps/zov_track_record.h"
#include "platform/zov_message_records.h"

// The tick record (ZovTickPayload, code ZOV_CODE_GPS_TICK) is a message
// record: platform/zov_message_records.h.

// Reads a tick payload from a record's bytes; false when fewer than 24 bytes.
bool ZovReadTickPayload(const void* bytes, int size, ZovTickPayload& tick);

// Duration to pass when no recording is open.
inline constexpr int kZovNoRecordingDuration = 100;

// Position in `points` of the point for second `second` (negative treated as
// 0) of a recording lasting `duration` seconds, or -1 when none.
int ZovPointIndexForSecond(const std::vector<GpsPoint>& points, int second, int duration);

// What PointForSecond tells the play window to do.
enum class ZovTickKind {
  kUnchanged,  // same second as the previous call (and not 0): send nothing
  kFound,      // send the tick to the map panel and the main window; set the labels
  kNone,       // no point: send the tick (zeros) to the map panel only
};

struct ZovSecondResult {
  ZovTickKind kind = ZovTickKind::kUnchanged;
  ZovTickPayload tick;       // {mode, second, 0, 0, 0, 0} for kNone
  char latHemisphere = 0;    // of the point found
  char lonHemisphere = 0;
};

// The point-of-the-second rule with its memory of the previous second.
class CZovSecondPicker {
 public:
  ZovSecondResult Pick(const std::vector<GpsPoint>& points, int second, int mode, int duration);
  // Forgets the previous second (a new track was made current).
  void Reset() { lastSecond_ = kNoSecond; }

 private:
  static constexpr int kNoSecond = -1;
  int lastSecond_ = kNoSecond;
};

// Text of a position label of the play window: "%c:%f" (hemisphere letter and
// the signed value), e.g. "N:39.900009".
std::string ZovFormatPositionLabel(char hemisphere, float value);
