#include "tools/zovgps/zov_gps_export.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "gps/zov_gps_extractor.h"
#include "gps/zov_gps_file.h"

namespace {

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

std::string IsoTime(const ZovExportPoint& p) {
  return Format("%04d-%02d-%02dT%02d:%02d:%02d", p.year, p.month, p.day, p.hour, p.minute,
                p.second);
}

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
    points.push_back(p);
  }
  return points;
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

std::string ZovExportCsv(const std::vector<ZovExportTrack>& tracks) {
  std::string o = "index,date,time,latitude,longitude,speed_kmh,heading,altitude,x,y,z\n";
  for (const ZovExportTrack& t : tracks)
    for (const ZovExportPoint& p : t.points)
      o += Format("%d,%04d-%02d-%02d,%02d:%02d:%02d,%.6f,%.6f,%.2f,%.1f,%.1f,%.2f,%.2f,%.2f\n",
                  p.index, p.year, p.month, p.day, p.hour, p.minute, p.second, p.latitude,
                  p.longitude, p.speedKnots * 1.852, p.heading, p.altitude, p.x, p.y, p.z);
  return o;
}

// GPX 1.1: one track per file; the camera's time as written (no zone); speed
// (km/h) and course as extension elements in the tool's own namespace.
std::string ZovExportGpx(const std::vector<ZovExportTrack>& tracks) {
  std::string o =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"zovgps\" xmlns=\"http://www.topografix.com/GPX/1/1\""
      " xmlns:zov=\"urn:zovgps:track:1\">\n";
  for (const ZovExportTrack& t : tracks) {
    o += "  <trk>\n    <name>" + XmlEscape(BaseName(t.path)) + "</name>\n    <trkseg>\n";
    for (const ZovExportPoint& p : t.points) {
      // GPX longitudes run from -180 up to (not including) 180.
      const double lon = p.longitude >= 180.0 ? p.longitude - 360.0 : p.longitude;
      o += Format("      <trkpt lat=\"%.6f\" lon=\"%.6f\">\n", p.latitude, lon);
      o += Format("        <ele>%.1f</ele>\n", p.altitude);
      o += "        <time>" + IsoTime(p) + "</time>\n";
      o += Format(
          "        <extensions><zov:speed>%.2f</zov:speed><zov:course>%.1f</zov:course></extensions>\n",
          p.speedKnots * 1.852, p.heading);
      o += "      </trkpt>\n";
    }
    o += "    </trkseg>\n  </trk>\n";
  }
  o += "</gpx>\n";
  return o;
}

std::string ZovExportGeoJson(const std::vector<ZovExportTrack>& tracks) {
  std::string o = "{\"type\":\"FeatureCollection\",\"features\":[";
  for (size_t i = 0; i < tracks.size(); ++i) {
    const ZovExportTrack& t = tracks[i];
    if (i) o += ",";
    o += "\n{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":[";
    for (size_t k = 0; k < t.points.size(); ++k) {
      const ZovExportPoint& p = t.points[k];
      o += Format("%s[%.6f,%.6f,%.1f]", k ? "," : "", p.longitude, p.latitude, p.altitude);
    }
    o += "]},\"properties\":{\"file\":\"" + JsonEscape(BaseName(t.path)) + "\",\"times\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += std::string(k ? "," : "") + "\"" + IsoTime(t.points[k]) + "\"";
    o += "],\"speed_kmh\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += Format("%s%.2f", k ? "," : "", t.points[k].speedKnots * 1.852);
    o += "],\"heading\":[";
    for (size_t k = 0; k < t.points.size(); ++k)
      o += Format("%s%.1f", k ? "," : "", t.points[k].heading);
    o += "]}}";
  }
  o += "\n]}\n";
  return o;
}

int ZovGpsToolMain(const std::vector<std::string>& args, std::string& out, std::string& err) {
  static const char* kUsage = "usage: zovgps [--format points|sensor|csv|gpx|geojson] FILE...\n";
  ZovExportFormat format = ZovExportFormat::kPoints;
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string value;
    if (a == "--format" && i + 1 < args.size()) {
      value = args[++i];
    } else if (a.rfind("--format=", 0) == 0) {
      value = a.substr(9);
    } else if (a == "--") {
      files.insert(files.end(), args.begin() + static_cast<std::ptrdiff_t>(i + 1), args.end());
      break;
    } else if (!a.empty() && a[0] == '-') {
      err += "zovgps: unknown option " + a + "\n" + kUsage;
      return 2;
    } else {
      files.push_back(a);
      continue;
    }
    if (!ZovExportFormatFromName(value, format)) {
      err += "zovgps: unknown format " + value + "\n" + kUsage;
      return 2;
    }
  }
  if (files.empty()) {
    err += kUsage;
    return 2;
  }
  uint32_t handle = 0;
  InitExtractor(&handle);
  bool unreadable = false;
  size_t found = 0;
  std::vector<ZovExportTrack> tracks;
  for (const std::string& path : files) {
    CZovGpsFile probe;
    if (!probe.Open(path)) {
      err += "zovgps: cannot read " + path + "\n";
      unreadable = true;
      continue;
    }
    probe.Close();
    std::string points, sensors;
    ExtractGps(&handle, path, &points, &sensors);
    ZovExportTrack t;
    t.path = path;
    t.points = ZovExportReadPoints(points);
    found += t.points.size();
    if (format == ZovExportFormat::kPoints) out += ZovExportLines(points);
    else if (format == ZovExportFormat::kSensor) out += ZovExportLines(sensors);
    tracks.push_back(std::move(t));
  }
  if (format == ZovExportFormat::kCsv) out += ZovExportCsv(tracks);
  else if (format == ZovExportFormat::kGpx) out += ZovExportGpx(tracks);
  else if (format == ZovExportFormat::kGeoJson) out += ZovExportGeoJson(tracks);
  if (unreadable) return 2;
  return found > 0 ? 0 : 1;
}
