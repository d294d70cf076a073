// NMEA 0183 logs and millisecond-stamped NMEA sidecars.
//
//   $GPRMC,123519.00,A,4807.03800,N,01131.00000,E,022.4,084.4,230394,003.1,W*6A
//    0      1 time   2 3 lat      4 5 lon       6 7 kn  8 crs 9 ddmmyy
//   $GNGGA,123519.00,4807.03800,N,01131.00000,E,1,08,0.9,545.4,M,46.9,M,,*47
//    0      1 time   2 lat      3 4 lon       5 6 quality  9 altitude
//   [1715934600123]$GPRMC,...          (stamped: Unix time in ms, then a sentence)
//
// RMC gives the fix (status A; V is no fix), GGA of the same time its
// altitude and fix quality (0 is no fix), in either order. Any talker (GP, GN,
// GL, GA, BD). A sentence with "*hh" must match the XOR of the characters
// between '$' and '*'; one that does not is skipped and counted. Other
// sentences are ignored. The first fix of each second is kept.
#include <cmath>

#include "gps/zov_gps_side_parse.h"

namespace zovside {

namespace {

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

enum class Check { kGood, kBad };

// The sentence body between '$' and '*' (or the end); kBad when a checksum
// is there and does not match or is not two hex digits.
Check Body(std::string_view sentence, std::string_view& body) {
  const size_t star = sentence.find('*');
  body = sentence.substr(1, star == std::string_view::npos ? std::string_view::npos : star - 1);
  if (star == std::string_view::npos) return Check::kGood;
  std::string_view sum = Trim(sentence.substr(star + 1));
  if (sum.size() != 2 || Hex(sum[0]) < 0 || Hex(sum[1]) < 0) return Check::kBad;
  unsigned x = 0;
  for (char c : body) x ^= static_cast<unsigned char>(c);
  return x == unsigned(Hex(sum[0]) * 16 + Hex(sum[1])) ? Check::kGood : Check::kBad;
}

// "hhmmss[.sss]" as ms of the day; -1 when it is not one.
int64_t TimeOfDayMs(std::string_view f) {
  const int h = Digits(f, 0, 2), m = Digits(f, 2, 2), s = Digits(f, 4, 2);
  if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 60) return -1;
  int ms = 0;
  if (f.size() > 6) {
    if (f[6] != '.') return -1;
    double frac = 0;
    if (!ToDouble(f.substr(6), frac) || frac < 0 || frac >= 1) return -1;
    ms = int(std::floor(frac * 1000 + 1e-6));
  }
  return ((h * 60LL + m) * 60 + s) * 1000 + ms;
}

// Coordinate fields "ddmm.mmmm","N" as signed degrees.
bool Coordinate(std::string_view value, std::string_view letter, bool latitude, double& deg) {
  double v = 0;
  if (!ToDouble(value, v) || v < 0 || !ZovSideNmeaDegrees(v, deg)) return false;
  letter = Trim(letter);
  if (letter.size() != 1) return false;
  const char c = letter[0];
  if (latitude ? (c != 'N' && c != 'S') : (c != 'E' && c != 'W')) return false;
  if (c == 'S' || c == 'W') deg = -deg;
  return latitude ? std::fabs(deg) <= 90 : std::fabs(deg) <= 180;
}

struct Gga {
  int64_t todMs = -1;
  bool fix = false;
  bool hasAltitude = false;
  double altitude = 0;
};

constexpr size_t kMaxFields = 24;

struct Fields {
  std::string_view f[kMaxFields];
  size_t n = 0;
};

Fields Split(std::string_view body) {
  Fields out;
  while (out.n < kMaxFields) {
    const size_t comma = body.find(',');
    out.f[out.n++] = body.substr(0, comma);
    if (comma == std::string_view::npos) break;
    body.remove_prefix(comma + 1);
  }
  return out;
}

class NmeaReader {
 public:
  NmeaReader(bool stamped, ZovSideTrack& track) : stamped_(stamped), track_(track) {}

  void Line(std::string_view line) {
    int64_t stamp = kZovNoStamp;
    if (!line.empty() && line.front() == '[') {
      const size_t close = line.find(']');
      if (close == std::string_view::npos || close > 20) return;
      double v = 0;
      if (!ToDouble(line.substr(1, close - 1), v) || v < 0) return;
      stamp = static_cast<int64_t>(v);
      if (stamped_ && track_.firstStampMs == kZovNoStamp) track_.firstStampMs = stamp;
      line.remove_prefix(close + 1);
    }
    line = Trim(line);
    if (line.size() < 7 || line[0] != '$') return;
    std::string_view body;
    if (Body(line, body) == Check::kBad) {
      ++track_.badLines;
      return;
    }
    if (body.size() < 5) return;
    const std::string_view type = body.substr(2, 3);
    if (type == "RMC") Rmc(Split(body), stamp);
    else if (type == "GGA") Gga(Split(body));
  }

 private:
  void Rmc(const Fields& f, int64_t stamp) {
    if (f.n < 10 || Trim(f.f[2]) != "A") return;
    const int64_t tod = TimeOfDayMs(Trim(f.f[1]));
    const std::string_view date = Trim(f.f[9]);
    const int dd = Digits(date, 0, 2), mm = Digits(date, 2, 2), yy = Digits(date, 4, 2);
    if (tod < 0 || date.size() != 6 || dd < 0 || mm < 0 || yy < 0) return;
    ZovSideFix x;
    int64_t dayMs = 0;
    if (!CivilMs(yy < 80 ? 2000 + yy : 1900 + yy, mm, dd, 0, 0, 0, 0, dayMs)) return;
    x.timeMs = dayMs + tod;
    if (!Coordinate(f.f[3], f.f[4], true, x.latitude) || !Coordinate(f.f[5], f.f[6], false, x.longitude))
      return;
    if (!PlausiblePosition(x.latitude, x.longitude)) return;
    double v = 0;
    if (ToDouble(f.f[7], v) && v >= 0) x.speedKnots = v, x.hasSpeed = true;
    if (ToDouble(f.f[8], v) && v >= 0 && v <= 360) {
      x.course = v;
      x.hasCourse = true;
    }
    x.stampMs = stamped_ ? stamp : kZovNoStamp;
    // The first fix of each second (logs at 5 or 10 Hz give several).
    if (!track_.fixes.empty() && FloorDiv(track_.fixes.back().timeMs) == FloorDiv(x.timeMs)) return;
    if (pending_.todMs == tod) {
      if (!pending_.fix) return;
      x.hasAltitude = pending_.hasAltitude;
      x.altitude = pending_.altitude;
      pending_ = {};
    }
    if (Add(track_, x)) {
      lastTod_ = tod;
      lastPaired_ = x.hasAltitude;
    }
  }

  void Gga(const Fields& f) {
    if (f.n < 10) return;
    struct Gga g;
    g.todMs = TimeOfDayMs(Trim(f.f[1]));
    if (g.todMs < 0) return;
    double q = 0;
    g.fix = ToDouble(f.f[6], q) && q > 0;
    g.hasAltitude = ToDouble(f.f[9], g.altitude);
    // The RMC of the same time came first: complete (or withdraw) it.
    if (!track_.fixes.empty() && lastTod_ == g.todMs && !lastPaired_) {
      if (!g.fix) {
        track_.fixes.pop_back();
        lastTod_ = -1;
        return;
      }
      ZovSideFix& x = track_.fixes.back();
      x.hasAltitude = g.hasAltitude;
      x.altitude = g.altitude;
      lastPaired_ = true;
      return;
    }
    pending_ = g;
  }

  static int64_t FloorDiv(int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

  bool stamped_;
  ZovSideTrack& track_;
  struct Gga pending_;
  int64_t lastTod_ = -1;
  bool lastPaired_ = false;
};

}  // namespace

void ParseNmea(std::string_view text, bool stamped, ZovSideTrack& track) {
  NmeaReader reader(stamped, track);
  ForEachLine(text, [&](std::string_view line) {
    reader.Line(line);
    return track.fixes.size() < kMaxFixes;
  });
}

}  // namespace zovside
