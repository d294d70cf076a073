#pragma once
// Action-camera telemetry (GPMF): a key-length-value format. Each record is
//   key (4 characters) | type (1 byte) | structure size (1) | repeat (2, BE)
//   | size x repeat bytes of data, padded to a multiple of 4
// Type 0 marks a container whose data is more records: a payload (one per
// second of video) holds DEVC devices, each holding STRM streams. Inside a
// stream, SCAL gives the divisors of the numbers that follow it (one for all
// elements or one per element) and TYPE the element types of '?' records.
//
// Streams this decoder reads:
//   GPS5  lat, lon, alt, 2D speed, 3D speed (int32 / SCAL), time from GPSU
//         ("yymmddhhmmss.sss", the first sample's UTC), GPSF fix type (0: none)
//   GPS9  as GPS5 plus days since 2000, seconds of the day, DOP and fix type
//         per sample
//   GLPI  a drone's position (time, lat, lon, alt, relative alt, vx, vy, vz,
//         heading), timed by the device's SYST pair (system time, UTC)
//   ACCL  accelerometer samples, m/s^2
// A pure parser over a buffer: no I/O, every read checked against the
// buffer's end, nesting capped.
#include <cstddef>
#include <cstdint>

// What one payload gives: the first valid position of the second with its
// UTC time, and the first accelerometer sample.
struct ZovGpmfSecond {
  bool hasPosition = false;
  double latitude = 0;   // signed degrees
  double longitude = 0;  // signed degrees
  double altitude = 0;   // metres
  double speed2d = 0;    // m/s
  bool hasTime = false;
  int64_t utcSeconds = 0;  // whole seconds since 1970 (UTC) of that sample
  bool hasAccel = false;
  double accel[3] = {};  // m/s^2 in stored order
};

namespace zovgpmf {
// Containers deeper than this are not entered (real payloads nest 2 deep).
constexpr int kMaxDepth = 8;
// Fix types below this carry no position.
constexpr int kMinFixType = 2;
// Seconds from 1970-01-01 to 2000-01-01 (GPS9 counts days from there).
constexpr int64_t kEpoch2000 = 946684800;
}  // namespace zovgpmf

// True when the buffer starts with a GPMF device record (DEVC, type 0)
// whose length fits inside the buffer.
bool ZovIsGpmfPayload(const uint8_t* data, size_t size);

// Decodes one payload. False when the buffer is not a GPMF payload; true
// otherwise, with whatever of `second` the payload holds.
bool ZovParseGpmfPayload(const uint8_t* data, size_t size, ZovGpmfSecond& second);
