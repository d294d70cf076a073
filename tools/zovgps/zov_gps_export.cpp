#include "tools/zovgps/zov_gps_export.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_extractor.h"
#include "gps/zov_gps_file.h"

#ifndef ZOV_VERSION
#define ZOV_VERSION "0"
#endif

namespace {

constexpr double kKmhPerKnot = 1.852;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

constexpr const char* kUsage =
    "usage: zovgps [--format csv|gpx|geojson|points|sensor] FILE...\n";
constexpr const char* kHelp =
    "Prints the GPS track of dash-camera recordings and GPS side files.\n"
    "\n"
    "  --format csv      one row per second (default)\n"
    "  --format gpx      GPX 1.1 track, one per file\n"
    "  --format geojson  GeoJSON feature collection, one feature per file\n"
    "  --format points   the player's point text, one record per line\n"
    "  --format sensor   the player's G-sensor text, one record per line\n"
    "  -h, --help        this text\n"
    "  --version         the version\n"
    "\n"
    "Side files: NMEA logs (.nmea .log), stamped NMEA (.gps, with .3gf),\n"
    "day logs (.dat), drone subtitles (.srt) and GPX tracks (.gpx). A recording\n"
    "without its own track takes the one of a side file of its name, or of a\n"
    "day log or GPX file in its folder that covers its time.\n"
    "A file without a known extension is recognised by its content.\n"
    "Exit status: 0 a track was found, 1 none was found, 2 bad usage or an\n"
    "unreadable file.\n";

std::string Format(const char* fmt, auto... args) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string XmlEscape(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    switch (c) {
      case '&': o += "&amp;"; break;
      case '<': o += "&lt;"; break;
      case '>': o += "&gt;"; break;
      case '"': o += "&quot;"; break;
      default:
        if (c < 0x20 && c != '\t') o += '?';  // not allowed in XML 1.0
        else o += char(c);
    }
  }
  return o;
}

std::string JsonEscape(const std::string& s) {
  std::string o;
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      o += '\\';
      o += char(c);
    } else if (c < 0x20) {
      o += Format("\\u%04x", c);
    } else {
      o += char(c);
    }
  }
  return o;
}

// RFC 4180: a field with a comma, quote or line break is quoted.
std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string o = "\"";
  for (char c : s) {
    if (c == '"') o += '"';
    o += c;
  }
  return o + "\"";
}

std::string IsoTime(const ZovExportPoint& p, bool utc) {
  return Format("%04d-%02d-%02dT%02d:%02d:%02d%s", p.year, p.month, p.day, p.hour, p.minute,
                p.second, utc ? "Z" : "");
}

std::string IsoTime(long long t) {
  const ZovCivilTime c = ZovCivilFromUtcSeconds(t);
  return Format("%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", (long long)c.year, (long long)c.month,
                (long long)c.day, (long long)c.hour, (long long)c.minute, (long long)c.second);
}

// GPX longitudes run from -180 up to (not including) 180.
double GpxLongitude(double lon) { return lon >= 180.0 ? lon - 360.0 : lon; }

}  // namespace

bool ZovExportFormatFromName(const std::string& name, ZovExportFormat& format) {
  if (name == "points") format = ZovExportFormat::kPoints;
  else if (name == "sensor") format = ZovExportFormat::kSensor;
  else if (name == "csv") format = ZovExportFormat::kCsv;
  else if (name == "gpx") format = ZovExportFormat::kGpx;
  else if (name == "geojson") format = ZovExportFormat::kGeoJson;
  else return false;
  return true;
}

std::vector<ZovExportPoint> ZovExportReadPoints(const std::string& text) {
  std::vector<ZovExportPoint> points;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string piece = text.substr(start, end - start);
    start = end + 1;
    ZovExportPoint p;
    char la = 0, lo = 0;
    const int n = std::sscanf(piece.c_str(),
                              " %d %d/%d/%d %d:%d:%d %c:%lf %c:%lf %lf km/h x:%lf y:%lf z:%lf A:%lf H:%lf",
                              &p.index, &p.year, &p.month, &p.day, &p.hour, &p.minute, &p.second, &la,
                              &p.latitude, &lo, &p.longitude, &p.speedKnots, &p.x, &p.y, &p.z,
                              &p.heading, &p.altitude);
    if (n < 11) continue;
    // The letter decides the sign, as the player's reader does.
    p.latitude = (la == 'S' || la == 's') ? -std::fabs(p.latitude) : std::fabs(p.latitude);
    p.longitude = (lo == 'W' || lo == 'w') ? -std::fabs(p.longitude) : std::fabs(p.longitude);
    const size_t v = piece.find(" V:");
    if (v != std::string::npos) p.headingFlag = std::atoi(piece.c_str() + v + 3);
    points.push_back(p);
  }
  return points;
}

std::vector<ZovExportPoint> ZovExportPointsFromFixes(const GpsFixList& fixes) {
  std::vector<ZovExportPoint> points;
  points.reserve(fixes.size());
  for (const GpsFix& f : fixes) {
    ZovExportPoint p;
    p.index = static_cast<int>(f.index);
    ZovCopyFixDate(p, f);
    p.latitude = f.latLetter == 'S' ? -std::fabs(f.latitude) : std::fabs(f.latitude);
    p.longitude = f.lonLetter == 'W' ? -std::fabs(f.longitude) : std::fabs(f.longitude);
    p.speedKnots = f.speed;
    p.heading = f.heading;
    p.altitude = f.altitude;
    p.x = f.x;
    p.y = f.y;
    p.z = f.z;
    p.headingFlag = f.headingFlag;
    points.push_back(p);
  }
  return points;
}

double ZovExportCourse(const ZovExportPoint& p) {
  double c = std::fmod(p.heading, 360.0);
  if (c < 0) c += 360.0;
  return c >= 360.0 ? 0.0 : c;
}

bool ZovExportHasCourse(const ZovExportPoint& p) {
  return p.headingFlag != kHeadingFlagNone || p.heading != 0;
}

std::string ZovExportLines(const std::string& text) {
  std::string o;
  o.reserve(text.size() + text.size() / 100);
  for (char c : text) {
    if (c == 0) break;
    o += c;
    if (c == ';') o += '\n';
  }
  return o;
}

std::string ZovExportUtf8(const std::string& s) {
  std::string o;
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    const unsigned char c = b[i];
    size_t len = 0;
    uint32_t cp = 0;
    if (c < 0x80) len = 1, cp = c;
    else if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
    bool ok = len > 0 && i + len <= n;
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (b[i + k] & 0xC0) == 0x80;
      cp = cp << 6 | (b[i + k] & 0x3F);
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    if (ok && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
               (cp >= 0xD800 && cp <= 0xDFFF)))
      ok = false;
    if (!ok) {
      o += Format("\\x%02X", c);
      ++i;
      continue;
    }
    o.append(s, i, len);
    i += len;
  }
  return o;
}

std::string ZovExportCsv(const std::vector<ZovExportTrack>& tracks, const ZovExportOptions& options) {
  // Speed both in km/h and in m/s (the unit CSV readers take a "speed"
  // column in); course over ground, clockwise from north.
  std::string o = options.fileColumn ? "file," : "";
  o += "index,date,time,latitude,longitude,speed_kmh,speed_ms,course_deg,altitude_m,"
       "accel_x,accel_y,accel_z\n";
  for (const ZovExportTrack& t : tracks) {
    const std::string file = options.fileColumn ? CsvField(ZovExportUtf8(t.path)) + "," : "";
    for (const ZovExportPoint& p : t.points) {
      o += file;
      o += Format("%d,%04d-%02d-%02d,%02d:%02d:%02d,%.7f,%.7f,%.2f,%.3f,", p.index, p.year,
                  p.month, p.day, p.hour, p.minute, p.second, p.latitude, p.longitude,
                  p.speedKnots * kKmhPerKnot, p.speedKnots * kMetresPerSecondPerKnot);
      o += ZovExportHasCourse(p) ? Format("%.1f,", ZovExportCourse(p)) : std::string(",");
      o += t.hasAltitude ? Format("%.1f", p.altitude) : std::string();
      o += Format(",%.2f,%.2f,%.2f\n", p.x, p.y, p.z);
    }
  }
  return o;
}

// GPX 1.1: one track per file; time in UTC with its "Z" where the source's
// time is the receiver's; speed (m/s) and course in the track point extension
// other programs read, and the tool's own speed (km/h) and heading.
std::string ZovExportGpx(const std::vector<ZovExportTrack>& tracks, const ZovExportOptions& options) {
  std::string o =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"" + XmlEscape(options.creator) + "\""
      " xmlns=\"http://www.topografix.com/GPX/1/1\""
      " xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\""
      " xmlns:zov=\"urn:zovgps:track:1\">\n"
      "  <metadata>\n    <author><name>" + XmlEscape(options.creator) + "</name></author>\n"
      "    <time>" + IsoTime(options.createdUtc) + "</time>\n  </metadata>\n";
  for (const ZovExportTrack& t : tracks) {
    o += "  <trk>\n    <name>" + XmlEscape(ZovExportUtf8(BaseName(t.path))) + "</name>\n    <trkseg>\n";
    for (const ZovExportPoint& p : t.points) {
      o += Format("      <trkpt lat=\"%.7f\" lon=\"%.7f\">\n", p.latitude, GpxLongitude(p.longitude));
      if (t.hasAltitude) o += Format("        <ele>%.1f</ele>\n", p.altitude);
      o += "        <time>" + IsoTime(p, t.utc) + "</time>\n";
      const std::string course =
          ZovExportHasCourse(p) ? Format("<gpxtpx:course>%.1f</gpxtpx:course>", ZovExportCourse(p)) : "";
      o += Format(
          "        <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>%.3f</gpxtpx:speed>"
          "%s</gpxtpx:TrackPointExtension>"
          "<zov:speed>%.2f</zov:speed><zov:course>%.1f</zov:course></extensions>\n",
          std::max(0.0, p.speedKnots * kMetresPerSecondPerKnot), course.c_str(),
          p.speedKnots * kKmhPerKnot, p.heading);
      o += "      </trkpt>\n";
    }
    o += "    </trkseg>\n  </trk>\n";
  }
  o += "</gpx>\n";
  return o;
}

// One feature per file: a LineString of two or more positions, a Point for
// one (a one-position LineString is not valid GeoJSON), no geometry for none.
std::string ZovExportGeoJson(const std::vector<ZovExportTrack>& tracks) {
  std::string o = "{\"type\":\"FeatureCollection\",\"features\":[";
  for (size_t i = 0; i < tracks.size(); ++i) {
    const ZovExportTrack& t = tracks[i];
    if (i) o += ",";
    auto position = [&t](const ZovExportPoint& p) {
      return t.hasAltitude ? Format("[%.7f,%.7f,%.1f]", p.longitude, p.latitude, p.altitude)
                           : Format("[%.7f,%.7f]", p.longitude, p.latitude);
    };
    o += "\n{\"type\":\"Feature\",\"geometry\":";
    if (t.points.empty()) {
      o += "null";
    } else if (t.points.size() == 1) {
      o += "{\"type\":\"Point\",\"coordinates\":" + position(t.points[0]) + "}";
    } else {
      o += "{\"type\":\"LineString\",\"coordinates\":[";
      for (size_t k = 0; k < t.points.size(); ++k) o += (k ? "," : "") + position(t.points[k]);
      o += "]}";
    }
    o += ",\"properties\":{\"file\":\"" + JsonEscape(ZovExportUtf8(BaseName(t.path))) + "\",\"times\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += std::string(k ? "," : "") + "\"" + IsoTime(t.points[k], t.utc) + "\"";
    o += "],\"speed_kmh\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += Format("%s%.2f", k ? "," : "", t.points[k].speedKnots * kKmhPerKnot);
    o += "],\"course_deg\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += std::string(k ? "," : "") +
           (ZovExportHasCourse(t.points[k]) ? Format("%.1f", ZovExportCourse(t.points[k])) : "null");
    o += "],\"heading\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += Format("%s%.1f", k ? "," : "", t.points[k].heading);
    o += "]}}";
  }
  o += "\n]}\n";
  return o;
}

namespace {

struct ToolArgs {
  ZovExportFormat format = ZovExportFormat::kCsv;
  std::vector<std::string> files;
};

// Parses the arguments; returns -1 to go on, otherwise the exit status.
int ParseArgs(const std::vector<std::string>& args, ToolArgs& a, std::string& out, std::string& err) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    std::string value;
    if (arg == "-h" || arg == "--help") {
      out += std::string(kUsage) + "\n" + kHelp;
      return 0;
    } else if (arg == "--version") {
      out += "zovgps " ZOV_VERSION "\n";
      return 0;
    } else if (arg == "--format") {
      if (i + 1 >= args.size()) {
        err += "zovgps: --format needs a value: csv, gpx, geojson, points or sensor\n" +
               std::string(kUsage);
        return 2;
      }
      value = args[++i];
    } else if (arg.rfind("--format=", 0) == 0) {
      value = arg.substr(9);
    } else if (arg == "--") {
      a.files.insert(a.files.end(), args.begin() + static_cast<std::ptrdiff_t>(i + 1), args.end());
      break;
    } else if (!arg.empty() && arg[0] == '-') {
      err += "zovgps: unknown option " + arg + "\n" + kUsage;
      return 2;
    } else {
      a.files.push_back(arg);
      continue;
    }
    if (!ZovExportFormatFromName(value, a.format)) {
      err += "zovgps: unknown format '" + value + "'\n" + kUsage;
      return 2;
    }
  }
  if (a.files.empty()) {
    err += kUsage;
    return 2;
  }
  return -1;
}

long long CreationTime() {
  // SOURCE_DATE_EPOCH makes the output reproducible (tests, packaging).
  if (const char* e = std::getenv("SOURCE_DATE_EPOCH"); e && *e) return std::atoll(e);
  return static_cast<long long>(std::time(nullptr));
}

}  // namespace

int ZovGpsToolMain(const std::vector<std::string>& args, std::string& out, std::string& err) {
  ToolArgs a;
  if (const int status = ParseArgs(args, a, out, err); status >= 0) return status;
  uint32_t handle = 0;
  InitExtractor(&handle);
  CZovGpsExtractor& extractor = CZovGpsExtractor::Instance();
  bool unreadable = false;
  size_t found = 0;
  std::vector<ZovExportTrack> tracks;
  std::string exchange;
  for (const std::string& path : a.files) {
    CZovGpsFile probe;
    if (!probe.Open(path)) {
      err += "zovgps: cannot read " + path + "\n";
      unreadable = true;
      continue;
    }
    // The player goes by the extension; a file without a known one is
    // recognised here by its content instead of giving nothing.
    ZovGpsSourceKind kind = ZovGpsSourceKindOf(path);
    if (kind == ZovGpsSourceKind::kNone) kind = ZovGpsSourceKindOfContent(probe);
    probe.Close();
    std::string points, sensors;
    extractor.ExtractGpsAs(&handle, path, kind, &points, &sensors);
    // A side file's extension may hide another layout (a camera's own text
    // log named ".log"): then its content decides, as for a file without one.
    if (kind == ZovGpsSourceKind::kSideText && extractor.LastTrack().empty()) {
      CZovGpsFile again;
      ZovGpsSourceKind byContent = ZovGpsSourceKind::kNone;
      if (again.Open(path)) byContent = ZovGpsSourceKindOfContent(again);
      again.Close();
      if (byContent != ZovGpsSourceKind::kNone && byContent != ZovGpsSourceKind::kSideText)
        extractor.ExtractGpsAs(&handle, path, byContent, &points, &sensors);
    }
    ZovExportTrack t;
    t.path = path;
    t.points = ZovExportPointsFromFixes(extractor.LastTrack());
    t.utc = extractor.LastTimesUtc();
    if (!extractor.LastSideFile().empty())
      err += "zovgps: " + path + ": track from " + extractor.LastSideFile() + "\n";
    if (extractor.LastBadLines() > 0)
      err += Format("zovgps: %s: %zu damaged lines skipped\n", path.c_str(), extractor.LastBadLines());
    for (const ZovExportPoint& p : t.points) t.hasAltitude = t.hasAltitude || p.altitude != 0;
    if (t.points.empty()) err += "no GPS track found in " + path + "\n";
    found += t.points.size();
    if (a.format == ZovExportFormat::kPoints) exchange += ZovExportLines(points);
    else if (a.format == ZovExportFormat::kSensor) exchange += ZovExportLines(sensors);
    tracks.push_back(std::move(t));
  }
  if (found > 0 || a.format == ZovExportFormat::kSensor) {
    ZovExportOptions options;
    options.fileColumn = a.files.size() > 1;
    options.creator = "zovgps " ZOV_VERSION;
    options.createdUtc = CreationTime();
    switch (a.format) {
      case ZovExportFormat::kPoints:
      case ZovExportFormat::kSensor: out += exchange; break;
      case ZovExportFormat::kCsv: out += ZovExportCsv(tracks, options); break;
      case ZovExportFormat::kGpx: out += ZovExportGpx(tracks, options); break;
      case ZovExportFormat::kGeoJson: out += ZovExportGeoJson(tracks); break;
    }
  }
  if (unreadable) return 2;
  return found > 0 ? 0 : 1;
}
