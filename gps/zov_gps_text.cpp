// Record grammars and exchange texts; see zov_gps_text.h for sample lines.
#include "gps/zov_gps_text.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Record lines shorter than this are not records.
constexpr size_t kMinRecordLength = 51;
// Hemisphere values above this end a space-grammar record.
constexpr double kMaxCoordinateValue = 18000.0;
// G-sensor plausibility bounds (m/s^2): x and y, then z.
constexpr double kMaxAccelXY = 19.6;
constexpr double kMaxAccelZ = 20.0;
// Speed bounds (knots) and heading bounds (degrees).
constexpr double kMaxSpeed = 720.0;
constexpr double kMinSpeed = -180.0;
constexpr double kMaxHeading = 720.0;
constexpr double kMinHeading = -360.0;
// Altitude bounds of the comma grammars (metres).
constexpr double kMaxAltitude = 8000.0;
constexpr double kMinAltitude = -100.0;
// Longest device text kept.
constexpr size_t kMaxDeviceText = 32;
// Knots per km/h.
constexpr double kKmhPerKnot = 1.852;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The text up to its first NUL, never past length.
std::string_view Bounded(const char* text, size_t length) {
  if (!text) return {};
  const void* nul = std::memchr(text, 0, length);
  return std::string_view(text, nul ? static_cast<const char*>(nul) - text : length);
}

std::vector<std::string_view> Split(std::string_view line, char sep) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == sep) ++i;
    if (i >= line.size()) break;
    size_t j = line.find(sep, i);
    if (j == std::string_view::npos) j = line.size();
    out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

// sscanf needs a NUL-terminated copy; tokens are short.
struct Cstr {
  explicit Cstr(std::string_view s) : s_(s) {}
  const char* c() const { return s_.c_str(); }
  std::string s_;
};

bool ScanDouble(std::string_view token, double& v) {
  Cstr c(token);
  return std::sscanf(c.c(), "%lf", &v) == 1;
}

// Reads "<prefix>%lf".
bool ScanPrefixed(std::string_view token, std::string_view prefix, double& v) {
  if (token.substr(0, prefix.size()) != prefix) return false;
  return ScanDouble(token.substr(prefix.size()), v);
}

bool LeadingCharsAre(std::string_view token, size_t count, const char* allowed) {
  if (token.size() < count) return false;
  for (size_t i = 0; i < count; ++i) {
    char c = token[i];
    if (!IsDigit(c) && !std::strchr(allowed, c)) return false;
  }
  return true;
}

double BoundAccel(double v, double limit) { return std::fabs(v) <= limit ? v : 0.0; }
double BoundSpeed(double v) { return (v >= kMinSpeed && v <= kMaxSpeed) ? v : 0.0; }
double BoundHeading(double v) { return (v >= kMinHeading && v <= kMaxHeading) ? v : 0.0; }

// Date check of the space grammars: the token is longer than 5 characters and
// its first `leading` characters are digits or '/'.
bool ParseSlashDate(std::string_view token, size_t leading, GpsFix& fix) {
  if (token.size() <= 5 || !LeadingCharsAre(token, leading, "/")) return false;
  int y = 0, m = 0, d = 0;
  Cstr c(token);
  if (std::sscanf(c.c(), "%d/%d/%d", &y, &m, &d) != 3) return false;
  uint32_t year = 0;
  if (m < 0 || d < 0 || !ZovApplyYearRule(y, m, year)) return false;
  fix.year = year;
  fix.month = static_cast<uint32_t>(m);
  fix.day = static_cast<uint32_t>(d);
  return true;
}

bool ParseColonTime(std::string_view token, bool wrapHour, GpsFix& fix) {
  if (token.size() <= 4 || !LeadingCharsAre(token, 5, ":")) return false;
  int h = 0, mi = 0, s = 0;
  Cstr c(token);
  if (std::sscanf(c.c(), "%d:%d:%d", &h, &mi, &s) != 3) return false;
  if (h < 0 || mi < 0 || s < 0) return false;
  if (h > 24) {
    if (!wrapHour) return false;
    h %= 24;
  }
  if (mi > 60 || s > 60) return false;
  fix.hour = static_cast<uint32_t>(h);
  fix.minute = static_cast<uint32_t>(mi);
  fix.second = static_cast<uint32_t>(s);
  return true;
}

// Coordinate token "N:22.53210": false when the letter is unknown or the
// value too large (the record then ends, passing on what was read).
bool ParseCoordinateToken(std::string_view token, GpsFix& fix) {
  size_t colon = token.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  char letter = token[colon - 1];
  double v = ZovParseNumber(token.substr(colon + 1));
  if (v > kMaxCoordinateValue) return false;
  switch (letter) {
    case 'N': case 'n': fix.latitude = v; fix.latLetter = letter; return true;
    case 'S': case 's': fix.latitude = -v; fix.latLetter = letter; return true;
    case 'E': case 'e': fix.longitude = v; fix.lonLetter = letter; return true;
    case 'W': case 'w': fix.longitude = -v; fix.lonLetter = letter; return true;
    default: return false;
  }
}

// G4 records carry no heading of their own: whatever heading the shared
// record area holds is left for the clean-up to recompute.
int EndG4(GpsFix& fix) {
  fix.headingFlag = kHeadingFlagNone;
  return 1;
}

// G1-G4. The space-separated fields, in order: [index, skipped] date time
// coord coord speed [unit] x: y: z: A: H: M: H:
int ParseSpaceRecord(ZovGpsGrammar g, std::string_view line, GpsFix& fix) {
  if (line.size() < kMinRecordLength) return 0;
  const std::vector<std::string_view> tok = Split(line, ' ');
  const bool g2 = g == ZovGpsGrammar::kG2;
  if (g == ZovGpsGrammar::kG4) EndG4(fix);
  size_t t = 0;
  if (g == ZovGpsGrammar::kG3) {
    if (tok.size() < 2) return 0;
    int index = 0;
    Cstr c(tok[0]);
    if (std::sscanf(c.c(), "%d", &index) != 1) return 0;
    fix.index = static_cast<uint32_t>(index);
    t = 2;
  }
  // Date and time.
  if (t >= tok.size() || !ParseSlashDate(tok[t], g == ZovGpsGrammar::kG1 ? 8 : 5, fix)) return 0;
  if (g2) fix.month = 1;
  ++t;
  if (t >= tok.size() || !ParseColonTime(tok[t], g2, fix)) return 0;
  ++t;
  // Latitude and longitude, either order.
  for (int k = 0; k < 2; ++k, ++t) {
    if (t >= tok.size()) return 0;
    if (!ParseCoordinateToken(tok[t], fix)) return 1;
  }
  // Speed, and where the sensor fields start.
  if (t >= tok.size()) return 0;
  std::string_view speedTok = tok[t];
  double speed = 0;
  if (g2) {
    fix.speed = BoundSpeed(ZovParseNumber(speedTok));
  } else if (ScanDouble(speedTok, speed)) {
    fix.speed = BoundSpeed(speed);
  }
  std::string_view current;  // the token being read
  size_t xpos = speedTok.substr(0, 20).find('x');
  if (speedTok.find("km") != std::string_view::npos || speedTok.find("KM") != std::string_view::npos) {
    ++t;
  } else if (xpos != std::string_view::npos) {
    current = speedTok.substr(xpos);
  } else {
    t += 2;  // the unit token ("km/h")
    if (t - 1 >= tok.size()) return 0;
  }
  // `current` holds the token in hand; otherwise tok[t] is next.
  auto take = [&](std::string_view& out) {
    if (!current.empty()) {
      out = current;
      current = {};
      ++t;
      return true;
    }
    if (t >= tok.size()) return false;
    out = tok[t++];
    return true;
  };

  std::string_view s;
  if (!take(s)) return 1;
  double v = 0;
  if (ScanPrefixed(s, "x:", v)) {
    fix.x = BoundAccel(v, kMaxAccelXY);
    if (!take(s)) return 1;
    if (ScanPrefixed(s, "y:", v)) fix.y = BoundAccel(v, kMaxAccelXY);
    size_t zin = g2 ? s.find("z:") : std::string_view::npos;
    if (zin != std::string_view::npos && zin > 0) {
      if (ScanPrefixed(s.substr(zin), "z:", v)) fix.z = BoundAccel(v, kMaxAccelZ);
    } else {
      if (!take(s)) return 1;
      if (ScanPrefixed(s, "z:", v)) fix.z = BoundAccel(v, kMaxAccelZ);
    }
    if (g == ZovGpsGrammar::kG4) return EndG4(fix);
    if (!take(s)) return 1;
  } else if (g == ZovGpsGrammar::kG4) {
    return EndG4(fix);
  }
  // Heading.
  if (ScanPrefixed(s, "A:", v)) {
    fix.heading = BoundHeading(v);
    fix.headingFlag = kHeadingFlagCamera;
    if (!take(s)) return 1;
  }
  // Altitude and the M number, in either order of H.
  if (!s.empty() && s[0] == 'H') {
    fix.altitude = ZovParseNumber(s);
    if (!take(s)) return 1;
  }
  if (!s.empty() && s[0] == 'M') {
    Cstr c(s);
    char letter = 0;
    double m = 0;
    if (std::sscanf(c.c(), "M:%c%lf", &letter, &m) == 2) {
      fix.mNumber = (letter == 'E' || letter == 'e') ? m : -m;
    }
    if (!take(s)) return 1;
  }
  if (!s.empty() && s[0] == 'H') fix.altitude = ZovParseNumber(s);
  return 1;
}

// Six leading digits as three two-digit groups.
bool ScanSixDigits(std::string_view token, size_t mustBeDigits, int& a, int& b, int& c) {
  if (token.size() < 6 || !LeadingCharsAre(token, mustBeDigits, "")) return false;
  Cstr s(token);
  return std::sscanf(s.c(), "%02d%02d%02d", &a, &b, &c) == 3;
}

bool ParseSignedCoordinate(std::string_view token, double& v) {
  if (token.size() < 5 || token.size() > 19) return false;
  if (!ScanDouble(token, v)) return false;
  return std::fabs(v) <= kMaxCoordinateValue;
}

// C1 / C2: comma-separated date, time, lat, lon, speed, heading, altitude,
// device, x, y, z.
int ParseCommaRecord(ZovGpsGrammar g, std::string_view line, GpsFix& fix) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
    line.remove_suffix(1);
  if (line.size() < kMinRecordLength) return 0;
  fix.headingFlag = kHeadingFlagComma;
  const std::vector<std::string_view> tok = Split(line, ',');
  int a = 0, b = 0, c = 0;
  // 1: date.
  if (tok.size() < 1 || !ScanSixDigits(tok[0], 5, a, b, c)) return 0;
  int y = g == ZovGpsGrammar::kC1 ? a : c;
  int d = g == ZovGpsGrammar::kC1 ? c : a;
  uint32_t year = 0;
  if (b < 0 || d < 0 || !ZovApplyYearRule(y, b, year)) return 0;
  fix.year = year;
  fix.month = static_cast<uint32_t>(b);
  fix.day = static_cast<uint32_t>(d);
  // 2: time.
  if (tok.size() < 2 || !ScanSixDigits(tok[1], 6, a, b, c)) return 0;
  if (a > 24 || b > 60 || c > 60) return 0;
  fix.hour = static_cast<uint32_t>(a);
  fix.minute = static_cast<uint32_t>(b);
  fix.second = static_cast<uint32_t>(c);
  // 3, 4: signed coordinates.
  double v = 0;
  if (tok.size() < 3 || !ParseSignedCoordinate(tok[2], v)) return 0;
  fix.latitude = v;
  fix.latLetter = v < 0 ? 'S' : 'N';
  if (tok.size() < 4 || !ParseSignedCoordinate(tok[3], v)) return 0;
  fix.longitude = v;
  fix.lonLetter = v > 0 ? 'E' : 'W';
  int fields = 4;
  // 5-7: speed, heading, altitude.
  if (tok.size() > 4 && ScanDouble(tok[4], v)) {
    fix.speed = BoundSpeed(v);
    ++fields;
    if (tok.size() > 5 && ScanDouble(tok[5], v)) {
      fix.heading = BoundHeading(v);
      ++fields;
      if (tok.size() > 6 && ScanDouble(tok[6], v)) {
        fix.altitude = (v >= kMinAltitude && v <= kMaxAltitude) ? v : 0.0;
        ++fields;
      }
    }
  }
  if (fields < 7) return 0;
  // 8: device text.
  if (tok.size() <= 7) return 1;
  if (tok[7].size() > kMaxDeviceText) return 1;
  std::memset(fix.device, 0, sizeof fix.device);
  std::memcpy(fix.device, tok[7].data(), tok[7].size());
  // 9-11: G-sensor.
  if (tok.size() > 8 && ScanDouble(tok[8], v)) fix.x = BoundAccel(v, kMaxAccelXY); else return 1;
  if (tok.size() > 9 && ScanDouble(tok[9], v)) fix.y = BoundAccel(v, kMaxAccelXY); else return 1;
  if (tok.size() > 10 && ScanDouble(tok[10], v)) fix.z = BoundAccel(v, kMaxAccelZ);
  return 1;
}

const char* Find(std::string_view hay, std::string_view needle, size_t from = 0) {
  size_t p = hay.find(needle, from);
  return p == std::string_view::npos ? nullptr : hay.data() + p;
}

}  // namespace

double ZovParseNumber(std::string_view text, size_t* consumed) {
  size_t i = 0;
  while (i < text.size() && !IsDigit(text[i])) ++i;
  if (i >= text.size()) {
    if (consumed) *consumed = text.size();
    return 0.0;
  }
  double mantissa = 0;
  int decimals = 0;
  while (i < text.size() && IsDigit(text[i])) mantissa = mantissa * 10 + (text[i++] - '0');
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigit(text[i])) {
      mantissa = mantissa * 10 + (text[i++] - '0');
      ++decimals;
    }
  }
  int exponent = 0;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    size_t j = i + 1;
    bool negative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) negative = text[j++] == '-';
    if (j < text.size() && IsDigit(text[j])) {
      while (j < text.size() && IsDigit(text[j])) {
        if (exponent < 10000) exponent = exponent * 10 + (text[j] - '0');
        ++j;
      }
      if (negative) exponent = -exponent;
      i = j;
    }
  }
  if (consumed) *consumed = i;
  int scale = exponent - decimals;
  if (mantissa == 0) return 0.0;
  // Dividing by an exact power of ten keeps "22.5" exact.
  if (scale < 0) return mantissa / std::pow(10.0, -scale);
  return mantissa * std::pow(10.0, scale);
}

bool ZovApplyYearRule(int y, int month, uint32_t& year) {
  // 72..1970 are clock-reset years of unset cameras; they are kept as 2022.
  constexpr int kUnsetClockYear = 2022;
  constexpr int kMinYear = 1990;
  constexpr int kMaxYear = 2050;
  if (month > 12) return false;
  int full = 0;
  if (y > 1970) {
    full = y;
  } else if (y <= 51) {
    full = y + 2000;
  } else if (y <= 71) {
    full = y + 1970;
  } else {
    year = kUnsetClockYear;
    return true;
  }
  if (full < kMinYear || full > kMaxYear) return false;
  year = static_cast<uint32_t>(full);
  return true;
}

int ZovParseRecord(ZovGpsGrammar grammar, const char* text, size_t length, GpsFix& fix) {
  std::string_view line = Bounded(text, length);
  switch (grammar) {
    case ZovGpsGrammar::kG1:
    case ZovGpsGrammar::kG2:
    case ZovGpsGrammar::kG3:
    case ZovGpsGrammar::kG4:
      return ParseSpaceRecord(grammar, line, fix);
    case ZovGpsGrammar::kC1:
    case ZovGpsGrammar::kC2:
      return ParseCommaRecord(grammar, line, fix);
  }
  return 0;
}

bool ZovParseAmbaRecord(const uint8_t* bytes, size_t length, GpsFix& fix) {
  if (!bytes) return false;
  // Keep NULs inside the chunk out of the way of the searches.
  std::string_view chunk(reinterpret_cast<const char*>(bytes), length);
  // Header "$GS,x,y,z$": G-sensor integers.
  if (const char* gs = Find(chunk, "$GS")) {
    size_t at = gs - chunk.data();
    size_t from = at + 4;
    if (from < chunk.size()) {
      size_t end = chunk.find('$', from);
      std::string body(chunk.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from));
      int x = 0, y = 0, z = 0;
      if (std::sscanf(body.c_str(), "%d,%d,%d", &x, &y, &z) == 3) {
        fix.x = x;
        fix.y = y;
        fix.z = z;
      }
    }
  }
  // Record: the first "$G" not followed by 'S'.
  constexpr size_t kSearchPositions = 4097;
  size_t limit = std::min(chunk.size(), kSearchPositions);
  size_t rec = std::string_view::npos;
  for (size_t p = 0; p + 1 < chunk.size() && p < limit; ++p) {
    if (chunk[p] == '$' && chunk[p + 1] == 'G' && (p + 2 >= chunk.size() || chunk[p + 2] != 'S')) {
      rec = p;
      break;
    }
  }
  if (rec == std::string_view::npos) return false;
  std::string r(chunk.substr(rec));  // NUL-terminated copy for sscanf
  if (r.size() < 14) return false;
  int y = 0, mo = 0, d = 0;
  if (std::sscanf(r.c_str() + 3, "%04d-%02d-%02d", &y, &mo, &d) != 3) return false;
  size_t timeAt = 13;
  if (r[timeAt] == ' ') ++timeAt;
  int h = 0, mi = 0, s = 0, kmh = 0;
  char latL = 0, lonL = 0;
  float lat = 0, lon = 0;
  int n = std::sscanf(r.c_str() + timeAt, "%02d:%02d:%02d-%c%f-%c%f-S%03d", &h, &mi, &s, &latL, &lat,
                      &lonL, &lon, &kmh);
  if (n < 7) return false;
  if (y < 0 || mo < 0 || d < 0 || h < 0 || mi < 0 || s < 0) return false;
  if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
  fix.year = static_cast<uint32_t>(y);
  fix.month = static_cast<uint32_t>(mo);
  fix.day = static_cast<uint32_t>(d);
  fix.hour = static_cast<uint32_t>(h);
  fix.minute = static_cast<uint32_t>(mi);
  fix.second = static_cast<uint32_t>(s);
  fix.latLetter = latL;
  fix.lonLetter = lonL;
  // Values are written unsigned; the letters carry the hemisphere.
  fix.latitude = (latL == 'S' || latL == 's') ? -std::fabs(lat) : std::fabs(lat);
  fix.longitude = (lonL == 'W' || lonL == 'w') ? -std::fabs(lon) : std::fabs(lon);
  if (n >= 8) fix.speed = kmh / kKmhPerKnot;
  return true;
}

std::string ZovDeviceTextForOutput(const GpsFix& fix) {
  std::string_view dev = Bounded(fix.device, sizeof fix.device);
  if (dev.empty()) return std::string(15, '0');
  return std::string(dev);
}

namespace {
void AppendFormatted(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void AppendFormatted(std::string& out, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof buf) {
    out.append(buf, static_cast<size_t>(n));
    return;
  }
  // Huge values (a 300-digit double) need more room.
  std::string big(static_cast<size_t>(n) + 1, '\0');
  va_start(ap, fmt);
  std::vsnprintf(big.data(), big.size(), fmt, ap);
  va_end(ap);
  big.resize(static_cast<size_t>(n));
  out += big;
}
}  // namespace

void ZovAppendPointLine(std::string& out, const GpsFix& f) {
  std::string dev = ZovDeviceTextForOutput(f);
  AppendFormatted(out,
                  "%d %04d/%02d/%02d %02d:%02d:%02d %c:%03.05f %c:%03.05f %.01f km/h x:%.02f y:%.02f "
                  "z:%.02f A:%.01f H:%.01f M:%s V:%d L:%0.1f R:%0.1f;",
                  static_cast<int>(f.index), static_cast<int>(f.year), static_cast<int>(f.month),
                  static_cast<int>(f.day), static_cast<int>(f.hour), static_cast<int>(f.minute),
                  static_cast<int>(f.second), f.latLetter, f.latitude, f.lonLetter, f.longitude, f.speed,
                  f.x, f.y, f.z, f.heading, f.altitude, dev.c_str(), f.headingFlag,
                  static_cast<double>(f.l), static_cast<double>(f.r));
}

void ZovAppendSensorLine(std::string& out, const GpsFix& f) {
  std::string dev = ZovDeviceTextForOutput(f);
  AppendFormatted(out,
                  "%d %04d/%02d/%02d %02d:%02d:%02d N:0.0 E:0.0 0.1 km/h x:%.02f y:%.02f z:%.02f 0.0 100 "
                  "M:%s 3.0 L:%0.1f R:%0.1f;",
                  static_cast<int>(f.index), static_cast<int>(f.year), static_cast<int>(f.month),
                  static_cast<int>(f.day), static_cast<int>(f.hour), static_cast<int>(f.minute),
                  static_cast<int>(f.second), f.x, f.y, f.z, dev.c_str(), static_cast<double>(f.l),
                  static_cast<double>(f.r));
}

namespace {

bool ScanFloatPrefixed(std::string_view token, const char* fmt, float& v) {
  Cstr c(token);
  return std::sscanf(c.c(), fmt, &v) == 1;
}

float BoundAccelF(float v, double limit) { return std::fabs(v) <= static_cast<float>(limit) ? v : 0.0f; }

// Index, date and time: the first three tokens of both exchange lines.
template <typename Line>
bool ReadHead(const std::vector<std::string_view>& tok, Line& line, const char* indexFmt) {
  if (tok.size() < 3) return false;
  Cstr i(tok[0]);
  if (std::sscanf(i.c(), indexFmt, &line.index) != 1) return false;
  Cstr d(tok[1]);
  if (std::sscanf(d.c(), "%04d/%02d/%02d", &line.year, &line.month, &line.day) != 3) return false;
  Cstr t(tok[2]);
  if (std::sscanf(t.c(), "%02d:%02d:%02d", &line.hour, &line.minute, &line.second) != 3) return false;
  return true;
}

// "S:-22.50000": letter, then the value from the third character.
bool ReadHemisphereValue(std::string_view token, char& letter, float& value) {
  if (token.size() < 3) return false;
  letter = token[0];
  std::string_view rest = token.substr(2);
  if (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
  return ScanFloatPrefixed(rest, "%f", value);
}

}  // namespace

bool ZovReadPointLine(std::string_view piece, ZovPointLine& p) {
  const std::vector<std::string_view> tok = Split(piece, ' ');
  if (!ReadHead(tok, p, "%d")) return false;
  size_t t = 3;
  float v = 0;
  if (t < tok.size() && ReadHemisphereValue(tok[t], p.latLetter, v))
    p.latitude = (p.latLetter == 'S' || p.latLetter == 's') ? -std::fabs(v) : std::fabs(v);
  ++t;
  if (t < tok.size() && ReadHemisphereValue(tok[t], p.lonLetter, v))
    p.longitude = (p.lonLetter == 'W' || p.lonLetter == 'w') ? -std::fabs(v) : std::fabs(v);
  ++t;
  if (t >= tok.size()) return true;
  ScanFloatPrefixed(tok[t], "%f", p.speed);
  bool unitGlued = tok[t].find("km") != std::string_view::npos || tok[t].find("KM") != std::string_view::npos;
  t += unitGlued ? 1 : 2;
  if (t < tok.size() && ScanFloatPrefixed(tok[t], "x:%f", v)) p.accelX = BoundAccelF(v, kMaxAccelXY);
  ++t;
  if (t < tok.size() && ScanFloatPrefixed(tok[t], "y:%f", v)) p.accelY = BoundAccelF(v, kMaxAccelXY);
  ++t;
  if (t < tok.size() && ScanFloatPrefixed(tok[t], "z:%f", v)) p.accelZ = BoundAccelF(v, kMaxAccelZ);
  ++t;
  if (t < tok.size() && ScanFloatPrefixed(tok[t], "A:%f", v)) p.heading = v;
  ++t;
  if (t < tok.size() && ScanFloatPrefixed(tok[t], "H:%f", v)) p.altitude = v;
  return true;
}

bool ZovReadSensorLine(std::string_view piece, ZovSensorLine& s) {
  const std::vector<std::string_view> tok = Split(piece, ' ');
  if (!ReadHead(tok, s, "%u")) return false;
  float v = 0;
  if (tok.size() > 7 && ScanFloatPrefixed(tok[7], "x:%f", v)) s.accelX = BoundAccelF(v, kMaxAccelXY);
  if (tok.size() > 8) {
    if (ScanFloatPrefixed(tok[8], "y:%f", v)) s.accelY = BoundAccelF(v, kMaxAccelXY);
    // The rest of the piece after the y token.
    size_t after = static_cast<size_t>(tok[8].data() + tok[8].size() - piece.data());
    std::string_view rest = piece.substr(after);
    while (!rest.empty() && rest[0] == ' ') rest.remove_prefix(1);
    if (ScanFloatPrefixed(rest, "z:%f", v)) s.accelZ = BoundAccelF(v, kMaxAccelZ);
  }
  return true;
}
