#pragma once
// Writes a known GPS track into real recordings, in each layout the container
// scan knows, so that tests (and the demo recording) have files that both play
// and carry GPS data. The input clips come from the ffmpeg CLI; the writer
// adds boxes, packets, chunks or tails around their media data and patches the
// MP4 chunk offsets when it grows a `moov` that precedes `mdat`.
//
// Block texts use the record grammars and codings that the decoder reads:
// they are the inverse of the decoder's substitutions and coordinate
// restorations, written from the same format constants.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct ZovFixturePoint {
  int year = 2023, month = 1, day = 5;
  int hour = 12, minute = 0, second = 0;
  double latitude = 0;   // signed degrees
  double longitude = 0;  // signed degrees
  double speedKnots = 0;
  double heading = 0;
  double altitude = 0;
  double x = 0, y = 0, z = 0;  // G-sensor
};

using ZovFixtureTrack = std::vector<ZovFixturePoint>;

// A drive of `seconds` fixes, one per second from the start time, moving from
// (lat, lon) at about `kmh` km/h on a gently turning course.
ZovFixtureTrack ZovFixtureDrive(int seconds, double lat = 22.54321, double lon = 114.05432,
                                double kmh = 54.0, int hour = 12, int minute = 34,
                                int second = 50);

enum class ZovFixtureLayout {
  kGpsTable48,   // MP4: `gps ` table in moov -> freeGPS blocks, record at +48 (length word 76)
  kGpsTable16,   // MP4: same, "GPS " at +8, length word 44, record at +16
  kFreeGpsSowt,  // MOV: freeGPS blocks 64 KiB after each PCM (`sowt`) chunk
  kUdtaGps,      // MP4: udta whose first child is `GPS ` holding a KARUGPS block
  kSkipBox,      // MP4: top-level `skip` box holding a KARUGPS block
  kTailIndex,    // MP4: `hgps` boxes in a tail indexed by a "&&&&" footer
  kAmba,         // MP4: udta/AMBA and a third (text) track of "$G" records
  kTextTrack,    // MOV: a third `text` track whose samples are GPSINFO records
  kGpmdTrack,    // MP4: a second track whose sample entry is `gpmd`, samples GPSINFO records
  kTransportStream,  // TS: 188-byte packets carrying KARUGPS blocks
  kAviJunk,      // AVI: JUNK chunks of 34032 bytes with the block at +33528
  kTextG1,       // .txt side file, KARUGPS version 16 (substitution A, G1)
  kTextG2,       // .txt, version 13 (substitution A, exchanged coordinates, G2)
  kTextG3,       // .txt, GPSINFO records (G3)
  kTextG4,       // .txt, GPSINFO: records (G4)
  kTextC1,       // .txt, version 17 (substitution A, C1)
  kTextC2,       // .txt, version 11 (dated coordinate exchange, C2)
};

// Layout names as the tool takes them ("gps-table-48", "ts", ...).
const char* ZovFixtureLayoutName(ZovFixtureLayout layout);
bool ZovFixtureLayoutFromName(const std::string& name, ZovFixtureLayout& layout);
std::vector<ZovFixtureLayout> ZovFixtureAllLayouts();

struct ZovFixtureOptions {
  // `gps ` table: add one entry of length 0 (a camera's unused slot).
  bool zeroLengthEntry = false;
  // KARUGPS version written into block layouts (16 unless changed; 10 makes
  // a block that decodes to nothing).
  int blockVersion = 16;
};

// Writes `track` into a copy of `clip` (text layouts ignore the clip).
// MP4/MOV layouts need an MP4/MOV clip, kTransportStream a TS clip, kAviJunk
// an AVI clip; kAmba, kTextTrack and kGpmdTrack run the ffmpeg CLI to add
// the text track (kGpmdTrack wants a clip without sound, so it is track 2).
// False with a message in `error` on failure.
bool ZovWriteFixture(ZovFixtureLayout layout, const std::string& clip, const std::string& out,
                     const ZovFixtureTrack& track, const ZovFixtureOptions& options,
                     std::string* error);

// ---- Building blocks (also used by tests) ----------------------------------

// The 44-byte binary record of one point (NMEA coordinates, knots).
std::vector<uint8_t> ZovFixtureBinaryRecord(const ZovFixturePoint& p);
// One freeGPS block of `size` bytes holding the record at +48 or +16.
std::vector<uint8_t> ZovFixtureFreeGpsBlock(const ZovFixturePoint& p, bool at48, size_t size);
// A KARUGPS block with one framed record per point.
std::vector<uint8_t> ZovFixtureKaruBlock(int version, const ZovFixtureTrack& track,
                                         uint32_t firstIndex = 0);
// GPSINFO (G3) or GPSINFO: (G4) records.
std::vector<uint8_t> ZovFixtureInfoBlock(bool colon, const ZovFixtureTrack& track);
// The record text of one point in a grammar: 'g' G1/G2/G3/G4 space lines
// ("1".."4"), 'c' C1/C2 comma lines ("c1", "c2").
std::string ZovFixtureRecordText(const std::string& grammar, const ZovFixturePoint& p,
                                 uint32_t index);
// "$G" text of an AMBA track sample.
std::string ZovFixtureAmbaText(const ZovFixturePoint& p);
// Appends a tail index with `hgps` boxes holding `block` to the file.
bool ZovFixtureAppendTail(const std::string& path, const std::vector<uint8_t>& block,
                          std::string* error);

// printf-style text of at most 1023 characters (the fixtures' sentences and
// file lines).
template <typename... Args>
std::string ZovFixtureFormat(const char* fmt, Args... args) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}
