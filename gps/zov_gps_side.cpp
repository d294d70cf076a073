#include "gps/zov_gps_side.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_set>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_side_parse.h"

namespace zovside {

bool CivilMs(int year, int month, int day, int hour, int minute, int second, int ms, int64_t& out) {
  if (year < 1900 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60 || ms < 0 || ms > 999)
    return false;
  out = ZovUtcSeconds(year, month, day, hour, minute, second) * 1000 + ms;
  return true;
}

}  // namespace zovside

using namespace zovside;

namespace {

std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot + 1);
}

// The side layouts: extensions (as cameras write them, upper or lower case)
// and the parser.
struct LayoutRow {
  ZovSideLayout layout;
  const char* extensions[2];
  void (*parse)(std::string_view text, ZovSideTrack& track);
};

void ParsePlainNmea(std::string_view t, ZovSideTrack& track) { ParseNmea(t, false, track); }
void ParseStampedNmea(std::string_view t, ZovSideTrack& track) { ParseNmea(t, true, track); }

constexpr LayoutRow kLayouts[] = {
    {ZovSideLayout::kNmea, {"nmea", "log"}, ParsePlainNmea},
    {ZovSideLayout::kStampedNmea, {"gps", nullptr}, ParseStampedNmea},
    {ZovSideLayout::kDayLog, {"dat", nullptr}, ParseDayLog},
    {ZovSideLayout::kSubtitle, {"srt", nullptr}, ParseSubtitle},
    {ZovSideLayout::kGpx, {"gpx", nullptr}, ParseGpx},
};

bool SameIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

int64_t FloorSeconds(int64_t ms) { return ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000); }

// Great-circle distance in metres (mean Earth radius).
double Metres(const GpsFix& a, const GpsFix& b) {
  constexpr double kRad = M_PI / 180.0, kEarth = 6371008.8;
  const double p1 = a.latitude * kRad, p2 = b.latitude * kRad;
  const double sp = std::sin((p2 - p1) / 2), sl = std::sin((b.longitude - a.longitude) * kRad / 2);
  const double h = sp * sp + std::cos(p1) * std::cos(p2) * sl * sl;
  return 2 * kEarth * std::asin(std::min(1.0, std::sqrt(h)));
}

// Fixes marked by a speed of -1 take the speed of their step to the next
// fix (the last one: of the step from the one before).
void DeriveSpeeds(GpsFixList& fixes) {
  constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;
  for (size_t i = 0; i < fixes.size(); ++i) {
    if (fixes[i].speed >= 0) continue;
    fixes[i].speed = 0;
    if (fixes.size() < 2) continue;
    const size_t a = i + 1 < fixes.size() ? i : i - 1;
    const double seconds = double(fixes[a + 1].index) - double(fixes[a].index);
    if (seconds > 0) fixes[i].speed = Metres(fixes[a], fixes[a + 1]) / seconds * kKnotsPerMetrePerSecond;
  }
}

}  // namespace

ZovSideLayout ZovSideLayoutOfName(const std::string& path) {
  const std::string ext = Extension(path);
  // Lower case or all upper case, as cameras and phones write them.
  bool upper = true, lower = true;
  for (char c : ext) {
    upper = upper && !std::islower(static_cast<unsigned char>(c));
    lower = lower && !std::isupper(static_cast<unsigned char>(c));
  }
  if (!upper && !lower) return ZovSideLayout::kNone;
  for (const LayoutRow& row : kLayouts)
    for (const char* e : row.extensions)
      if (e && SameIgnoringCase(ext, e)) return row.layout;
  return ZovSideLayout::kNone;
}

ZovSideLayout ZovSideLayoutOfContent(const uint8_t* data, size_t size) {
  constexpr size_t kHead = 64 * 1024;
  std::string_view t(reinterpret_cast<const char*>(data), std::min(size, kHead));
  if (t.substr(0, 3) == "\xEF\xBB\xBF") t.remove_prefix(3);
  if (t.find("<gpx") != std::string_view::npos && t.find("<trkpt") != std::string_view::npos)
    return ZovSideLayout::kGpx;
  ZovSideLayout found = ZovSideLayout::kNone;
  ForEachLine(t, [&](std::string_view line) {
    line = Trim(line);
    if (line.empty()) return true;
    if (line[0] == '[' && line.find("]$G") != std::string_view::npos) {
      found = ZovSideLayout::kStampedNmea;
    } else if (line[0] == '$' && line.size() > 6 && line[1] == 'G' &&
               (line.substr(3, 3) == "RMC" || line.substr(3, 3) == "GGA")) {
      found = ZovSideLayout::kNmea;
    } else if (line.find("-->") != std::string_view::npos && ZovSideCueTimeMs(line.data(), line.size()) >= 0) {
      found = ZovSideLayout::kSubtitle;
    } else if (line.size() > 20 && line[14] == ',') {
      bool digits = true;
      for (size_t i = 0; i < 14; ++i) digits = digits && line[i] >= '0' && line[i] <= '9';
      if (digits) found = ZovSideLayout::kDayLog;
    }
    return found == ZovSideLayout::kNone;
  });
  return found;
}

bool ZovParseSideText(ZovSideLayout layout, const uint8_t* data, size_t size, ZovSideTrack& track) {
  track = ZovSideTrack{};
  track.layout = layout;
  if (!data) return false;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const LayoutRow& row : kLayouts) {
    if (row.layout != layout) continue;
    row.parse(text, track);
    return !track.fixes.empty();
  }
  return false;
}

std::vector<ZovAccelSample> ZovParseAccelSidecar(const uint8_t* data, size_t size) {
  std::vector<ZovAccelSample> out;
  if (!data) return out;
  out.reserve(size / kAccelRecord);
  auto i16 = [](const uint8_t* p) { return static_cast<int16_t>(uint16_t(p[0] << 8 | p[1])); };
  constexpr double kScale = kStandardGravity / kAccelPerG;
  for (size_t at = 0; at + kAccelRecord <= size; at += kAccelRecord) {
    const uint8_t* p = data + at;
    ZovAccelSample s;
    s.offsetMs = int64_t(uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]);
    // Stored vertical, lateral, longitudinal; the series is x lateral,
    // y longitudinal, z vertical, as the cameras' block records give them.
    s.z = i16(p + 4) * kScale;
    s.x = i16(p + 6) * kScale;
    s.y = i16(p + 8) * kScale;
    out.push_back(s);
  }
  return out;
}

GpsFixList ZovPlaceSideFixes(const ZovSideTrack& track, size_t first, size_t last, int64_t originMs) {
  GpsFixList out;
  last = std::min(last, track.fixes.size());
  const bool stamped = track.layout == ZovSideLayout::kSubtitle ||
                       (track.layout == ZovSideLayout::kStampedNmea && track.firstStampMs != kZovNoStamp);
  const int64_t stampOrigin = track.layout == ZovSideLayout::kSubtitle ? 0 : track.firstStampMs;
  std::unordered_set<int64_t> taken;
  for (size_t i = first; i < last; ++i) {
    const ZovSideFix& s = track.fixes[i];
    int64_t second;
    if (stamped) {
      if (s.stampMs == kZovNoStamp || s.stampMs < stampOrigin) continue;
      second = (s.stampMs - stampOrigin) / 1000;
    } else {
      if (s.timeMs < originMs) continue;
      second = (s.timeMs - originMs) / 1000;
    }
    if (second > kMaxPlacedSecond || !taken.insert(second).second) continue;
    GpsFix f;
    f.index = static_cast<uint32_t>(second);
    ZovSetFixTime(f, FloorSeconds(s.timeMs));
    f.latitude = s.latitude;
    f.longitude = s.longitude;
    f.latLetter = s.latitude < 0 ? 'S' : 'N';
    f.lonLetter = s.longitude < 0 ? 'W' : 'E';
    f.speed = s.hasSpeed ? s.speedKnots : -1;  // -1: derived below
    f.altitude = s.hasAltitude ? s.altitude : 0;
    if (s.hasCourse) {
      f.heading = s.course;
      f.headingFlag = kHeadingFlagCamera;
    }
    f.videoTimed = true;
    f.blockState = kZovSideBlockState;
    out.push_back(f);
  }
  std::sort(out.begin(), out.end(), [](const GpsFix& a, const GpsFix& b) { return a.index < b.index; });
  DeriveSpeeds(out);
  if (track.accel.empty() || out.empty()) return out;

  // The first accelerometer sample of each second goes to that second's fix;
  // a second with samples and no fix gets a fix without a position (its time
  // counted from the nearest fix before, or the first fix).
  GpsFixList merged;
  merged.reserve(out.size() + track.accel.size() / 10);
  std::unordered_set<int64_t> sampled;
  std::vector<std::pair<int64_t, const ZovAccelSample*>> firsts;
  for (const ZovAccelSample& a : track.accel) {
    const int64_t second = a.offsetMs / 1000;
    if (second <= kMaxPlacedSecond && sampled.insert(second).second) firsts.push_back({second, &a});
  }
  std::sort(firsts.begin(), firsts.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  size_t k = 0;
  const GpsFix* before = &out.front();
  auto sensorOnly = [&](int64_t second, const ZovAccelSample& a) {
    GpsFix f;
    f.index = static_cast<uint32_t>(second);
    ZovSetFixTime(f, ZovUtcSeconds(before->year, before->month, before->day, before->hour, before->minute,
                                   before->second) + (second - int64_t(before->index)));
    f.x = a.x, f.y = a.y, f.z = a.z;
    f.videoTimed = true;
    f.blockState = kZovSideBlockState;
    merged.push_back(f);
  };
  for (GpsFix& f : out) {
    while (k < firsts.size() && firsts[k].first < int64_t(f.index)) {
      sensorOnly(firsts[k].first, *firsts[k].second);
      ++k;
    }
    if (k < firsts.size() && firsts[k].first == int64_t(f.index)) {
      f.x = firsts[k].second->x, f.y = firsts[k].second->y, f.z = firsts[k].second->z;
      ++k;
    }
    merged.push_back(f);
    before = &f;
  }
  for (; k < firsts.size(); ++k) sensorOnly(firsts[k].first, *firsts[k].second);
  return merged;
}

bool ZovSideNmeaDegrees(double value, double& degrees) {
  if (!(value >= 0) || value > 18100) return false;
  const double d = std::floor(value / 100.0);
  const double minutes = value - d * 100.0;
  if (minutes >= 60.0) return false;
  degrees = d + minutes / 60.0;
  return true;
}

int64_t ZovSideCueTimeMs(const char* text, size_t size) {
  const std::string_view t(text, size);
  // "h:mm:ss,mmm" with one or two hour digits ... hours up to 99.
  size_t h = 0;
  while (h < t.size() && h < 3 && t[h] >= '0' && t[h] <= '9') ++h;
  if (h == 0 || h > 2 || h >= t.size() || t[h] != ':') return -1;
  const int hours = Digits(t, 0, h);
  const int m = Digits(t, h + 1, 2);
  if (m < 0 || h + 3 >= t.size() || t[h + 3] != ':') return -1;
  const int s = Digits(t, h + 4, 2);
  if (s < 0 || m > 59 || s > 59 || h + 6 >= t.size() || (t[h + 6] != ',' && t[h + 6] != '.')) return -1;
  const int ms = Digits(t, h + 7, 3);
  if (ms < 0) return -1;
  return ((hours * 60LL + m) * 60 + s) * 1000 + ms;
}

bool ZovSideIsoTimeMs(const char* text, size_t size, int64_t& out) {
  std::string_view t = Trim(std::string_view(text, size));
  if (t.size() < 19 || t[4] != '-' || t[7] != '-' || (t[10] != 'T' && t[10] != ' ') || t[13] != ':' ||
      t[16] != ':')
    return false;
  int ms = 0;
  size_t i = 19;
  if (i < t.size() && (t[i] == '.' || t[i] == ',')) {
    int scale = 100;
    for (++i; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i, scale /= 10) ms += (t[i] - '0') * scale;
  }
  int64_t zone = 0;
  if (i < t.size()) {
    if (t[i] == 'Z') {
      ++i;
    } else if (t[i] == '+' || t[i] == '-') {
      const int zh = Digits(t, i + 1, 2);
      size_t zm = i + 3;
      if (zm < t.size() && t[zm] == ':') ++zm;
      const int zmin = Digits(t, zm, 2);
      if (zh < 0 || zmin < 0 || zh > 14 || zmin > 59) return false;
      zone = (t[i] == '+' ? 1 : -1) * (zh * 3600LL + zmin * 60LL) * 1000;
      i = zm + 2;
    }
    if (i != t.size()) return false;
  }
  if (!CivilMs(Digits(t, 0, 4), Digits(t, 5, 2), Digits(t, 8, 2), Digits(t, 11, 2), Digits(t, 14, 2),
               Digits(t, 17, 2), ms, out))
    return false;
  out -= zone;
  return true;
}
