// Day logs: one file a day, one line a second over all of that day's
// recordings, CRLF line ends, a "#" line where the camera was powered on:
//
//   20240517083000,2225.12345,N,11403.54321,E,12.5,35.0      (ddmm.mmmmm)
//   20240517083001,22.418724,N,114.059054,E,12.5,35.0        (decimal degrees)
//    date-time     lat        ,  lon        ,  knots, altitude (m)
//
// Both coordinate forms come in the same line shape. A file is read as
// ddmm.mmmmm when any of its lines shows it: a latitude above 90 or a
// longitude above 180, or a latitude written with four digits before the
// point or a longitude with five (the form pads degrees with zeros). The time
// is the camera's clock. Lines that do not parse are skipped and counted.
#include <cmath>

#include "gps/zov_gps_side_parse.h"

namespace zovside {

namespace {

size_t IntegerDigits(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) s.remove_prefix(1);
  size_t n = 0;
  while (n < s.size() && s[n] >= '0' && s[n] <= '9') ++n;
  return n;
}

bool Hemisphere(std::string_view s, char a, char b, bool& negative) {
  s = Trim(s);
  if (s.size() != 1 || (s[0] != a && s[0] != b)) return false;
  negative = s[0] == b;
  return true;
}

}  // namespace

void ParseDayLog(std::string_view text, ZovSideTrack& track) {
  track.utc = false;
  int segment = 0;
  bool nmeaForm = false;
  ForEachLine(text, [&](std::string_view line) {
    line = Trim(line);
    if (line.empty()) return true;
    if (line[0] == '#') {
      ++segment;
      return true;
    }
    std::string_view rest = line;
    const std::string_view when = Trim(NextField(rest, ','));
    const std::string_view latText = NextField(rest, ',');
    const std::string_view ns = NextField(rest, ',');
    const std::string_view lonText = NextField(rest, ',');
    const std::string_view ew = NextField(rest, ',');
    const std::string_view knots = NextField(rest, ',');
    const std::string_view alt = NextField(rest, ',');
    ZovSideFix f;
    double lat = 0, lon = 0;
    bool south = false, west = false;
    if (when.size() != 14 || !ToDouble(latText, lat) || !ToDouble(lonText, lon) || lat < 0 || lon < 0 ||
        !Hemisphere(ns, 'N', 'S', south) || !Hemisphere(ew, 'E', 'W', west) ||
        !CivilMs(Digits(when, 0, 4), Digits(when, 4, 2), Digits(when, 6, 2), Digits(when, 8, 2),
                 Digits(when, 10, 2), Digits(when, 12, 2), 0, f.timeMs)) {
      ++track.badLines;
      return true;
    }
    if (lat > 90 || lon > 180 || IntegerDigits(latText) >= 4 || IntegerDigits(lonText) >= 5) nmeaForm = true;
    // Raw values for now; the form is decided over the whole file below.
    f.latitude = south ? -lat : lat;
    f.longitude = west ? -lon : lon;
    double v = 0;
    if (ToDouble(knots, v) && v >= 0) f.speedKnots = v, f.hasSpeed = true;
    if (ToDouble(alt, v)) {
      f.altitude = v;
      f.hasAltitude = true;
    }
    f.segment = segment;
    return Add(track, f);
  });
  std::vector<ZovSideFix> kept;
  kept.reserve(track.fixes.size());
  for (ZovSideFix f : track.fixes) {
    if (nmeaForm) {
      double lat = 0, lon = 0;
      if (!ZovSideNmeaDegrees(std::fabs(f.latitude), lat) || !ZovSideNmeaDegrees(std::fabs(f.longitude), lon)) {
        ++track.badLines;
        continue;
      }
      f.latitude = f.latitude < 0 ? -lat : lat;
      f.longitude = f.longitude < 0 ? -lon : lon;
    }
    if (!PlausiblePosition(f.latitude, f.longitude)) continue;
    kept.push_back(f);
  }
  track.fixes.swap(kept);
}

}  // namespace zovside
