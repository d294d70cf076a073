#pragma once
// The player's record of a file's GPS track: the points and G-sensor samples
// read back from the extractor's exchange texts, with the corrections applied
// on load (a 0.00001 degree nudge and the datum shift of zov_track_shift.h).
//
// These are plain values; the file list store (ui/zov_file_list_store.h) owns
// them and guards them with its track lock. The helpers here take every input
// as a parameter (the selected map's name included) and touch no global state
// except the datum shift's process-wide seed.
//
// Points and samples are kept in vectors in the order the exchange text
// lists them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One position fix as the player keeps it.
struct GpsPoint {
  int32_t index = 0;        // second of the recording (or an absolute counter, see zov_track_second.h)
  char latHemisphere = 0;   // 'N' or 'S' as read
  char lonHemisphere = 0;   // 'E' or 'W' as read
  float speed = 0;          // knots
  float heading = 0;        // degrees (the "A:" value)
  float latitude = 0;       // signed degrees after the load corrections
  float longitude = 0;      // signed degrees after the load corrections
  float accelX = 0, accelY = 0, accelZ = 0;  // out-of-range axes are 0
  float altitude = 0;       // metres
  int32_t year = 0, month = 0, day = 0;
  int32_t hour = 0, minute = 0, second = 0;
};

// One entry of the separate G-sensor series.
struct GsensorSample {
  uint32_t index = 0;       // second of the recording
  float accelX = 0, accelY = 0, accelZ = 0;
  int32_t year = 0, month = 0, day = 0;
  int32_t hour = 0, minute = 0, second = 0;
};

// The track attached to one file-list entry.
struct FileTrack {
  std::vector<GpsPoint> points;
  std::vector<GsensorSample> samples;
  int32_t pointCount = 0;    // points appended (equals points.size())
  int32_t sampleCount = 0;   // samples appended (equals samples.size())
  int32_t extracted = 0;     // 1 once loading has started; a file is loaded at most once
  float lastLatitude = 0;    // position of the last point appended
  float lastLongitude = 0;

  // Frees the points, then the samples; zeroes the counts and the flag.
  void Free();
};

// How reading the exchange texts back ended.
enum class ZovTrackReadResult {
  kComplete,     // every piece was read
  kOutOfMemory,  // a point could not be made: the rest of the point text was dropped
};

// Reads the point text and the sensor text (';'-terminated lines) back into
// `track`, appending to what it holds. Every point gets +0.00001 on both
// coordinates and the datum rule for `mapName`; a malformed point line still
// gives a point (fields it fails to read stay 0). Sensor pieces are read
// while they end with ';'. `pointText` and `sensorText` are read only inside
// their bounds.
ZovTrackReadResult ZovReadTrackTexts(std::string_view pointText, std::string_view sensorText,
                                     std::string_view mapName, FileTrack& track);
