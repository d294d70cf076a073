#pragma once
// One position fix as the extractor holds it, from the moment a record is
// parsed until the clean-up prints it into the point text.
//
// Fields a record's grammar does not touch keep whatever the record area held
// before (see CZovGpsBlockState: KARUGPS and GPSINFO records share one area).
#include <cstdint>
#include <vector>

struct GpsFix {
  uint32_t index = 0;   // record number or second, depending on the source
  uint32_t hour = 0;
  uint32_t minute = 0;
  uint32_t second = 0;
  uint32_t year = 0;
  uint32_t month = 0;
  uint32_t day = 0;
  char status = 0;      // status letter, binary records only ('A' / 'a')
  char latLetter = 0;   // latitude hemisphere letter as read (N, S, n, s)
  char lonLetter = 0;   // longitude hemisphere letter as read (E, W, e, w)
  char spare = 0;
  double latitude = 0;  // signed degrees (NMEA ddmm.mmmm until normalised)
  double longitude = 0; // signed degrees (NMEA dddmm.mmmm until normalised)
  double speed = 0;     // knots
  double course = 0;    // course over ground from binary records, degrees
  double x = 0;         // G-sensor axes
  double y = 0;
  double z = 0;
  double heading = 0;   // the "A:" value, degrees
  double mNumber = 0;   // signed "M:" number of the space grammars
  double altitude = 0;  // the "H:" value, metres
  int32_t headingFlag = 0;  // 0 none, 1 the record carried "A:", 3 comma grammar
  char device[33] = {};     // device text, up to 32 characters, NUL-terminated
  int32_t timeStamp = 0;    // seconds since 1970 (UTC), set by clean-up; -1 invalid
  float l = 0;              // L and R values (always 0 here)
  float r = 0;
  int32_t blockState = 0;   // block state of the block the record came from
  // The index is the second of the recording the fix belongs to, taken from
  // the recording's own timeline (telemetry payload, subtitle cue, side-file
  // stamp or the recording's start), not from the GPS clock: the clean-up
  // keeps it, so a jump in the GPS time does not shift the track against the
  // video.
  bool videoTimed = false;
};

// The extractor's fix list, in append order.
using GpsFixList = std::vector<GpsFix>;

// Heading flag values.
constexpr int32_t kHeadingFlagNone = 0;
constexpr int32_t kHeadingFlagCamera = 1;
constexpr int32_t kHeadingFlagComma = 3;
