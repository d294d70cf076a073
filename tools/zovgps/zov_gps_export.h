#pragma once
// Output formats of the zovgps tool. The track of each file is the point text
// the extractor writes (the same text the player reads); the other formats are
// made from that text read back.
#include <string>
#include <vector>

enum class ZovExportFormat { kPoints, kSensor, kCsv, kGpx, kGeoJson };

bool ZovExportFormatFromName(const std::string& name, ZovExportFormat& format);

// One point line read back with full precision.
struct ZovExportPoint {
  int index = 0;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  double latitude = 0, longitude = 0;  // signed degrees
  double speedKnots = 0, heading = 0, altitude = 0;
  double x = 0, y = 0, z = 0;
};

// Reads every ';'-terminated point line of a point text.
std::vector<ZovExportPoint> ZovExportReadPoints(const std::string& pointText);

// One ';'-terminated record per line.
std::string ZovExportLines(const std::string& exchangeText);

struct ZovExportTrack {
  std::string path;
  std::vector<ZovExportPoint> points;
};

std::string ZovExportCsv(const std::vector<ZovExportTrack>& tracks);
std::string ZovExportGpx(const std::vector<ZovExportTrack>& tracks);
std::string ZovExportGeoJson(const std::vector<ZovExportTrack>& tracks);

// The whole tool: arguments without the program name; output and messages
// go to the given strings. Returns the exit status (0 fixes found, 1 none,
// 2 bad usage or an unreadable file).
int ZovGpsToolMain(const std::vector<std::string>& args, std::string& out, std::string& err);
