#pragma once
// Writes a known drive as the side files of public layouts that cameras,
// drones and phones write beside their recordings, in several variants each
// (the awkward ones real files show: other talkers, CRLF, 5 Hz logs, damaged
// checksums, tags, a BOM, the misspelt "longtitude", coordinates in either
// order), for the extractor's tests, its fuzz corpus and the benchmarks.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/zovgpsfixture/zov_gps_fixture.h"

enum class ZovSideFixture {
  kNmea,             // $GPRMC + $GPGGA at 1 Hz, LF
  kNmeaAwkward,      // $GN talker, CRLF, 5 Hz, GGA first, GSV lines, one bad checksum, one status V
  kStampedNmea,      // [unix ms]$GPRMC / $GPGGA lines
  kStampedAwkward,   // $GN talker, CRLF, two seconds without a fix (status V, a bare stamp) first
  kDayLogNmea,       // YYYYMMDDhhmmss,ddmm.mmmmm,N,dddmm.mmmmm,E,knots,alt  CRLF, '#' power-on
  kDayLogDegrees,    // the same line shape with decimal degrees
  kSrtBracket,       // [latitude: ] [longitude: ] [altitude: ], <font>, BOM, CRLF, date-time
  kSrtMisspelt,      // [latitude : ] [longtitude : ], rel_alt / abs_alt
  kSrtGpsLatFirst,   // GPS(lat,lon,117.2M) with degree signs, text over two lines
  kSrtGpsLonFirst,   // GPS(lon,lat,14) HOME(lon,lat) with a date
  kSrtGpsSpaced,     // F/2.8, ... GPS (lon, lat, 14), ... H.S 1.92m/s  without a date
  kGpx,              // GPX 1.1 track points, lat before lon, UTC "Z"
  kGpxAwkward,       // lon before lat, single quotes, +02:00 times, a point without time
};

const char* ZovSideFixtureName(ZovSideFixture layout);
bool ZovSideFixtureFromName(const std::string& name, ZovSideFixture& layout);
std::vector<ZovSideFixture> ZovSideFixtureAll();
// The file extension the layout is found under (".nmea", ".gps", ".dat", ...).
const char* ZovSideFixtureExtension(ZovSideFixture layout);

// The whole side file of a track (times of the track read as UTC; for the
// stamped layout the stamps are those times in ms; subtitle cue k is second
// k of the track).
std::string ZovSideFixtureText(ZovSideFixture layout, const ZovFixtureTrack& track);

// The accelerometer sidecar (.3gf) of a track: ten samples a second, offsets
// from the track's first second, axes from the points' G-sensor values in g.
std::vector<uint8_t> ZovSideFixtureAccel(const ZovFixtureTrack& track);

// "$" + body + "*hh" with the body's checksum.
std::string ZovNmeaSentence(const std::string& body);
