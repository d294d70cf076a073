#include "tools/zovgpsfixture/zov_gps_side_fixture.h"

#include <cmath>
#include <cstdio>

#include "gps/zov_gps_calendar.h"

namespace {

struct Row {
  ZovSideFixture layout;
  const char* name;
  const char* extension;
};

constexpr Row kRows[] = {
    {ZovSideFixture::kNmea, "nmea", ".nmea"},
    {ZovSideFixture::kNmeaAwkward, "nmea-awkward", ".log"},
    {ZovSideFixture::kStampedNmea, "stamped-nmea", ".gps"},
    {ZovSideFixture::kStampedAwkward, "stamped-awkward", ".gps"},
    {ZovSideFixture::kDayLogNmea, "daylog-nmea", ".dat"},
    {ZovSideFixture::kDayLogDegrees, "daylog-degrees", ".dat"},
    {ZovSideFixture::kSrtBracket, "srt-bracket", ".srt"},
    {ZovSideFixture::kSrtMisspelt, "srt-misspelt", ".SRT"},
    {ZovSideFixture::kSrtGpsLatFirst, "srt-gps-lat-first", ".srt"},
    {ZovSideFixture::kSrtGpsLonFirst, "srt-gps-lon-first", ".srt"},
    {ZovSideFixture::kSrtGpsSpaced, "srt-gps-spaced", ".SRT"},
    {ZovSideFixture::kGpx, "gpx", ".gpx"},
    {ZovSideFixture::kGpxAwkward, "gpx-awkward", ".gpx"},
};

int64_t UtcSeconds(const ZovFixturePoint& p) {
  return ZovUtcSeconds(p.year, p.month, p.day, p.hour, p.minute, p.second);
}

// ddmm.mmmmm (latitude) or dddmm.mmmmm (longitude) of |deg|.
std::string NmeaCoordinate(double deg, bool latitude) {
  const long long units = std::llround(std::fabs(deg) * 60.0 * 1e5);  // 1e-5 minutes
  const long long d = units / 6000000, rem = units % 6000000;
  return ZovFixtureFormat(latitude ? "%02lld%02lld.%05lld" : "%03lld%02lld.%05lld", d, rem / 100000, rem % 100000);
}

std::string Hms(const ZovFixturePoint& p, int hundredths = 0) {
  return ZovFixtureFormat("%02d%02d%02d.%02d", p.hour, p.minute, p.second, hundredths);
}

std::string Rmc(const char* talker, const ZovFixturePoint& p, int hundredths = 0, char status = 'A') {
  return ZovNmeaSentence(ZovFixtureFormat("%sRMC,%s,%c,%s,%c,%s,%c,%.2f,%.2f,%02d%02d%02d,,,A", talker,
                                Hms(p, hundredths).c_str(), status, NmeaCoordinate(p.latitude, true).c_str(),
                                p.latitude < 0 ? 'S' : 'N', NmeaCoordinate(p.longitude, false).c_str(),
                                p.longitude < 0 ? 'W' : 'E', p.speedKnots, p.heading, p.day, p.month,
                                p.year % 100));
}

std::string Gga(const char* talker, const ZovFixturePoint& p, int hundredths = 0) {
  return ZovNmeaSentence(ZovFixtureFormat("%sGGA,%s,%s,%c,%s,%c,1,09,0.9,%.1f,M,46.9,M,,", talker,
                                Hms(p, hundredths).c_str(), NmeaCoordinate(p.latitude, true).c_str(),
                                p.latitude < 0 ? 'S' : 'N', NmeaCoordinate(p.longitude, false).c_str(),
                                p.longitude < 0 ? 'W' : 'E', p.altitude));
}

std::string Nmea(const ZovFixtureTrack& track) {
  std::string o;
  for (const ZovFixturePoint& p : track) {
    // The order receivers send them in: GGA, then RMC, then VTG (course and
    // speed again, which this reader ignores and others read).
    o += Gga("GP", p) + "\n";
    o += Rmc("GP", p) + "\n";
    o += ZovNmeaSentence(ZovFixtureFormat("GPVTG,%.2f,T,,M,%.2f,N,%.2f,K,A", p.heading, p.speedKnots, p.speedKnots * 1.852)) +
         "\n";
  }
  return o;
}

// Other talker, CRLF, five fixes a second (the first of each second is the
// one to keep), GGA before RMC, satellites-in-view lines, one line damaged
// in transfer (its checksum no longer matches: skipped and counted) and one
// second without a fix (status V) ahead of the track.
std::string NmeaAwkward(const ZovFixtureTrack& track) {
  std::string o;
  if (!track.empty()) o += Rmc("GN", track.front(), 0, 'V') + "\r\n";
  for (size_t i = 0; i < track.size(); ++i) {
    const ZovFixturePoint& p = track[i];
    o += ZovNmeaSentence("GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00") + "\r\n";
    for (int k = 0; k < 5; ++k) {
      ZovFixturePoint q = p;
      // Later samples of the second drift a little: only the first is kept.
      q.latitude += k * 1e-6;
      o += Gga("GN", q, k * 20) + "\r\n";
      o += Rmc("GN", q, k * 20) + "\r\n";
    }
    if (i == 2) {
      std::string bad = Rmc("GN", p, 90);
      bad[10] = bad[10] == '1' ? '2' : '1';  // a flipped digit of the time
      o += bad + "\r\n";
    }
  }
  return o;
}

// The awkward one starts recording two seconds before the receiver has a
// fix: those seconds' lines carry status V or only the stamp, so the track
// starts at second 2 of the recording.
std::string Stamped(const ZovFixtureTrack& track, bool awkward) {
  std::string o;
  const char* talker = awkward ? "GN" : "GP";
  const char* nl = awkward ? "\r\n" : "\n";
  if (awkward && !track.empty()) {
    const long long t0 = (UtcSeconds(track.front()) - 2) * 1000;
    o += ZovFixtureFormat("[%lld]", t0) + nl;
    o += ZovFixtureFormat("[%lld]", t0 + 1000) + Rmc(talker, track.front(), 0, 'V') + nl;
  }
  for (const ZovFixturePoint& p : track) {
    const long long ms = UtcSeconds(p) * 1000;
    o += ZovFixtureFormat("[%lld]", ms) + Rmc(talker, p) + nl;
    o += ZovFixtureFormat("[%lld]", ms + 5) + Gga(talker, p) + nl;
  }
  return o;
}

std::string DayLog(const ZovFixtureTrack& track, bool degrees) {
  std::string o = "#\r\n";
  for (const ZovFixturePoint& p : track) {
    const std::string lat = degrees ? ZovFixtureFormat("%.6f", std::fabs(p.latitude)) : NmeaCoordinate(p.latitude, true);
    const std::string lon = degrees ? ZovFixtureFormat("%.6f", std::fabs(p.longitude)) : NmeaCoordinate(p.longitude, false);
    o += ZovFixtureFormat("%04d%02d%02d%02d%02d%02d,%s,%c,%s,%c,%.2f,%.1f\r\n", p.year, p.month, p.day, p.hour, p.minute,
                p.second, lat.c_str(), p.latitude < 0 ? 'S' : 'N', lon.c_str(), p.longitude < 0 ? 'W' : 'E',
                p.speedKnots, p.altitude);
  }
  return o;
}

std::string CueTime(int64_t ms) {
  return ZovFixtureFormat("%02lld:%02lld:%02lld,%03lld", (long long)(ms / 3600000), (long long)(ms / 60000 % 60),
                (long long)(ms / 1000 % 60), (long long)(ms % 1000));
}

std::string DateTime(const ZovFixturePoint& p, char sep, int ms) {
  return ZovFixtureFormat("%04d%c%02d%c%02d %02d:%02d:%02d.%03d", p.year, sep, p.month, sep, p.day, p.hour, p.minute,
                p.second, ms);
}

// The text of the cue at second i of the track (the one with the position).
std::string CueText(ZovSideFixture layout, const ZovFixturePoint& p, size_t i) {
  const double lat = p.latitude, lon = p.longitude;
  switch (layout) {
    case ZovSideFixture::kSrtBracket:
      return ZovFixtureFormat("<font size=\"28\">FrameCnt: %zu, DiffTime: 33ms\r\n%s\r\n[iso : 100] [shutter : 1/500.0] "
                    "[fnum : 280] [ev : 0] [ct : 5500] [latitude: %.6f] [longitude: %.6f] [altitude: %.6f] </font>",
                    i * 30 + 1, DateTime(p, '-', 0).c_str(), lat, lon, p.altitude);
    case ZovSideFixture::kSrtMisspelt:
      return ZovFixtureFormat("<font size=\"36\">SrtCnt : %zu, DiffTime : 33ms\r\n%s\r\n[iso : 110] [latitude : %.6f] "
                    "[longtitude : %.6f] [rel_alt: 1.300 abs_alt: %.3f] </font>",
                    i + 1, DateTime(p, '-', 0).c_str(), lat, lon, p.altitude);
    case ZovSideFixture::kSrtGpsLatFirst:
      return ZovFixtureFormat("HOME(%.4f,%.4f) %s\r\nGPS(%.6f\xC2\xB0,%.6f\xC2\xB0,%.1fM) BAROMETER:%.1fM", lon, lat,
                    DateTime(p, '.', 0).c_str(), lat, lon, p.altitude, p.altitude - 35.0);
    case ZovSideFixture::kSrtGpsLonFirst:
      return ZovFixtureFormat("HOME(%.6f,%.6f) %s\r\nGPS(%.6f,%.6f,14) ISO:100 Shutter:60 EV: Fnum:F2.2", lon, lat,
                    DateTime(p, '/', 0).c_str(), lon, lat);
    default:
      return ZovFixtureFormat("F/2.8, SS 1000, ISO 100, EV 0, GPS (%.6f, %.6f, 14), D 24.26m, H 6.00m, H.S %.2fm/s, "
                    "V.S 0.00m/s",
                    lon, lat, p.speedKnots * 1852.0 / 3600.0);
  }
}

// Two cues a second: the one at the second's start carries the position, the
// one half a second later only the frame counter; a first cue before the
// track carries none (the drone had no fix yet).
std::string Subtitle(ZovSideFixture layout, const ZovFixtureTrack& track) {
  const bool crlf = layout == ZovSideFixture::kSrtBracket || layout == ZovSideFixture::kSrtMisspelt;
  const std::string nl = crlf ? "\r\n" : "\n";
  std::string o = layout == ZovSideFixture::kSrtBracket ? "\xEF\xBB\xBF" : "";
  int n = 1;
  auto cue = [&](int64_t from, const std::string& text) {
    std::string t = text;
    if (!crlf)
      for (size_t at = t.find("\r\n"); at != std::string::npos; at = t.find("\r\n", at)) t.erase(at, 1);
    o += std::to_string(n++) + nl + CueTime(from) + " --> " + CueTime(from + 500) + nl + t + nl + nl;
  };
  for (size_t i = 0; i < track.size(); ++i) {
    const int64_t start = int64_t(i) * 1000;
    cue(start, CueText(layout, track[i], i));
    cue(start + 500, ZovFixtureFormat("FrameCnt: %zu, DiffTime: 33ms", i * 30 + 16));
  }
  return o;
}

std::string IsoZ(const ZovFixturePoint& p) {
  return ZovFixtureFormat("%04d-%02d-%02dT%02d:%02d:%02dZ", p.year, p.month, p.day, p.hour, p.minute, p.second);
}

std::string Gpx(const ZovFixtureTrack& track, bool awkward) {
  std::string o =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"zovgpsfixture\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk><name>drive</name><trkseg>\n";
  for (size_t i = 0; i < track.size(); ++i) {
    const ZovFixturePoint& p = track[i];
    if (!awkward) {
      o += ZovFixtureFormat("    <trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele><time>%s</time></trkpt>\n", p.latitude,
                  p.longitude, p.altitude, IsoZ(p).c_str());
      continue;
    }
    // The same instant written two hours ahead of UTC.
    const ZovCivilTime c = ZovCivilFromUtcSeconds(UtcSeconds(p) + 7200);
    o += ZovFixtureFormat("    <trkpt lon='%.7f'\n      lat='%.7f'>\n      <ele>%.1f</ele>\n"
                "      <time>%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.250+02:00</time>\n    </trkpt>\n",
                p.longitude, p.latitude, p.altitude, (long long)c.year, (long long)c.month, (long long)c.day,
                (long long)c.hour, (long long)c.minute, (long long)c.second);
    if (i == 1) o += ZovFixtureFormat("    <trkpt lat='%.7f' lon='%.7f'/>\n", p.latitude + 1, p.longitude);
  }
  o += "  </trkseg></trk>\n</gpx>\n";
  return o;
}

}  // namespace

std::string ZovNmeaSentence(const std::string& body) {
  unsigned x = 0;
  for (char c : body) x ^= static_cast<unsigned char>(c);
  return "$" + body + ZovFixtureFormat("*%02X", x);
}

const char* ZovSideFixtureName(ZovSideFixture layout) {
  for (const Row& r : kRows)
    if (r.layout == layout) return r.name;
  return "";
}

const char* ZovSideFixtureExtension(ZovSideFixture layout) {
  for (const Row& r : kRows)
    if (r.layout == layout) return r.extension;
  return "";
}

bool ZovSideFixtureFromName(const std::string& name, ZovSideFixture& layout) {
  for (const Row& r : kRows)
    if (name == r.name) {
      layout = r.layout;
      return true;
    }
  return false;
}

std::vector<ZovSideFixture> ZovSideFixtureAll() {
  std::vector<ZovSideFixture> all;
  for (const Row& r : kRows) all.push_back(r.layout);
  return all;
}

std::string ZovSideFixtureText(ZovSideFixture layout, const ZovFixtureTrack& track) {
  switch (layout) {
    case ZovSideFixture::kNmea: return Nmea(track);
    case ZovSideFixture::kNmeaAwkward: return NmeaAwkward(track);
    case ZovSideFixture::kStampedNmea: return Stamped(track, false);
    case ZovSideFixture::kStampedAwkward: return Stamped(track, true);
    case ZovSideFixture::kDayLogNmea: return DayLog(track, false);
    case ZovSideFixture::kDayLogDegrees: return DayLog(track, true);
    case ZovSideFixture::kGpx: return Gpx(track, false);
    case ZovSideFixture::kGpxAwkward: return Gpx(track, true);
    default: return Subtitle(layout, track);
  }
}

std::vector<uint8_t> ZovSideFixtureAccel(const ZovFixtureTrack& track) {
  std::vector<uint8_t> out;
  auto be16 = [&out](double g) {
    const long v = std::lround(g * 128.0);
    const uint16_t u = static_cast<uint16_t>(static_cast<int16_t>(std::max(-32768L, std::min(32767L, v))));
    out.push_back(uint8_t(u >> 8));
    out.push_back(uint8_t(u));
  };
  for (size_t i = 0; i < track.size(); ++i) {
    for (int k = 0; k < 10; ++k) {
      const uint32_t ms = uint32_t(i * 1000 + k * 100);
      for (int s = 24; s >= 0; s -= 8) out.push_back(uint8_t(ms >> s));
      be16(track[i].z);
      be16(track[i].x);
      be16(track[i].y);
    }
  }
  return out;
}
