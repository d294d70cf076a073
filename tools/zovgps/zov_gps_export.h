#pragma once
// Output formats of the zovgps tool. `points` and `sensor` are the exchange
// texts the extractor writes (the same texts the player reads); CSV, GPX and
// GeoJSON are made from the same cleaned fixes at full precision.
#include <string>
#include <vector>

#include "gps/zov_gps_fix.h"

enum class ZovExportFormat { kPoints, kSensor, kCsv, kGpx, kGeoJson };

bool ZovExportFormatFromName(const std::string& name, ZovExportFormat& format);

// One point of a track.
struct ZovExportPoint {
  int index = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  double latitude = 0, longitude = 0;  // signed degrees
  double speedKnots = 0, heading = 0, altitude = 0;
  double x = 0, y = 0, z = 0;
  int headingFlag = 0;  // kHeadingFlagNone: heading computed by the clean-up
};

// Reads every ';'-terminated point line of a point text (5 decimals).
std::vector<ZovExportPoint> ZovExportReadPoints(const std::string& pointText);
// The cleaned fixes as export points (full precision; the hemisphere letter
// decides the sign, as the point text's reader does).
std::vector<ZovExportPoint> ZovExportPointsFromFixes(const GpsFixList& fixes);

// Course over ground of a point in degrees, 0 (north) to below 360,
// clockwise: the heading, whether the camera wrote it or the clean-up
// computed it (it stores due north as 360).
double ZovExportCourse(const ZovExportPoint& p);
// False where the point has no course: the clean-up gives no heading to the
// last fix of a track (it has no successor to point to) and leaves it 0,
// which no computed heading is (they run from above 0 to 360).
bool ZovExportHasCourse(const ZovExportPoint& p);

// One ';'-terminated record per line.
std::string ZovExportLines(const std::string& exchangeText);

struct ZovExportTrack {
  std::string path;
  std::vector<ZovExportPoint> points;
  // Times are the GPS receiver's UTC (every layout inside a recording);
  // side text files carry the camera's clock without a zone.
  bool utc = true;
  // The layout carries altitudes (some value is not 0).
  bool hasAltitude = false;
};

// Options of the structured formats.
struct ZovExportOptions {
  bool fileColumn = false;    // CSV: a first column naming the file
  std::string creator = "zovgps";
  long long createdUtc = 0;   // GPX metadata time, seconds since 1970
};

std::string ZovExportCsv(const std::vector<ZovExportTrack>& tracks, const ZovExportOptions& options = {});
std::string ZovExportGpx(const std::vector<ZovExportTrack>& tracks, const ZovExportOptions& options = {});
std::string ZovExportGeoJson(const std::vector<ZovExportTrack>& tracks);

// Text safe for UTF-8 outputs: valid UTF-8 is kept, every byte that is not
// part of a valid sequence is written as the four characters "\xNN".
std::string ZovExportUtf8(const std::string& bytes);

// The whole tool: arguments without the program name; output and messages
// go to the given strings. Returns the exit status (0 fixes found, 1 none,
// 2 bad usage or an unreadable file; 0 for --help and --version).
int ZovGpsToolMain(const std::vector<std::string>& args, std::string& out, std::string& err);
