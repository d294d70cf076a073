// Drone subtitle logs: SubRip cues whose text carries the recording's date and
// time and the position, in one of several layouts:
//
//   12
//   00:00:11,000 --> 00:00:11,033
//   <font size="28">FrameCnt: 331, DiffTime: 33ms
//   2023-01-14 12:23:56.123
//   [iso: 100] [latitude: 41.424724] [longitude: 2.234156] [altitude: 117.000000] </font>
//
//   [latitude : 31.452012] [longtitude : 74.398751]      (spelt so by the cameras)
//   [rel_alt: 1.300 abs_alt: 117.458]                     (abs_alt is the altitude)
//   GPS(41.4247,2.2341,117.2M)                            (third item in M: lat first)
//   GPS(2.2341,41.4247,14) HOME(2.2340,41.4246)           (otherwise lon first)
//   F/2.8, SS 1000, ISO 100, EV 0, GPS (2.2341, 41.4247, 14), D 24.26m, H.S 1.92m/s
//
// Tags, a UTF-8 BOM, degree signs and CRLF are allowed; a cue's text may run
// over several lines. Each cue with a position gives a fix stamped with the
// cue's start (its place in the video); its wall time is the date-time of the
// text, or, without one, the cue's time counted from 1970-01-01.
#include <cmath>
#include <string>

#include "gps/zov_gps_side_parse.h"

namespace zovside {

namespace {

// The cue text without tags (a '<' without its '>' is kept as text).
std::string WithoutTags(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '<') {
      const size_t close = s.find('>', i);
      if (close != std::string_view::npos) {
        i = close;
        out += ' ';
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

// The number after "key", blanks and ':' (e.g. "latitude : 31.45").
bool ValueAfter(std::string_view text, std::string_view key, double& v) {
  const size_t at = text.find(key);
  if (at == std::string_view::npos) return false;
  size_t i = at + key.size();
  while (i < text.size() && text[i] == ' ') ++i;
  if (i >= text.size() || text[i] != ':') return false;
  return LeadingDouble(text.substr(i + 1), v);
}

// "GPS(a, b, c)" or "GPS (a, b, c)": the position in whichever order the
// third item says.
bool GpsTuple(std::string_view text, ZovSideFix& f) {
  for (size_t at = text.find("GPS"); at != std::string_view::npos; at = text.find("GPS", at + 3)) {
    size_t i = at + 3;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size() || text[i] != '(') continue;
    const size_t close = text.find(')', i);
    if (close == std::string_view::npos) return false;
    std::string_view inside = text.substr(i + 1, close - i - 1);
    double item[3] = {};
    size_t n = 0;
    bool metres = false;
    while (n < 3 && !inside.empty()) {
      std::string_view piece = Trim(NextField(inside, ','));
      if (!LeadingDouble(piece, item[n])) break;
      if (n == 2) metres = !piece.empty() && (piece.back() == 'M');
      ++n;
    }
    if (n < 2) continue;
    const double lat = metres ? item[0] : item[1];
    const double lon = metres ? item[1] : item[0];
    f.latitude = lat;
    f.longitude = lon;
    if (n == 3) {
      f.altitude = item[2];
      f.hasAltitude = true;
    }
    return true;
  }
  return false;
}

// The first "YYYY-MM-DD hh:mm:ss[.fff]" ('-', '.' or '/' between the date's
// parts, a blank or 'T' before the time) in text.
bool DateTime(std::string_view t, int64_t& ms) {
  for (size_t i = 0; i + 18 <= t.size(); ++i) {
    const int y = Digits(t, i, 4);
    if (y < 1990 || y > 2100) continue;
    const char s1 = t[i + 4];
    if (s1 != '-' && s1 != '.' && s1 != '/') continue;
    if (t[i + 7] != s1) continue;
    const int mo = Digits(t, i + 5, 2), d = Digits(t, i + 8, 2);
    size_t j = i + 10;
    if (j >= t.size() || (t[j] != ' ' && t[j] != 'T')) continue;
    while (j < t.size() && (t[j] == ' ' || t[j] == 'T')) ++j;
    int h = Digits(t, j, 2);
    size_t k = j + 2;
    if (h < 0) {
      h = Digits(t, j, 1);
      k = j + 1;
    }
    if (h < 0 || k >= t.size() || t[k] != ':') continue;
    const int mi = Digits(t, k + 1, 2);
    if (mi < 0 || k + 3 >= t.size() || t[k + 3] != ':') continue;
    const int se = Digits(t, k + 4, 2);
    if (se < 0) continue;
    int frac = 0;
    size_t p = k + 6;
    if (p < t.size() && (t[p] == '.' || t[p] == ',')) {
      int scale = 100;
      for (size_t q = p + 1; q < t.size() && q < p + 4 && t[q] >= '0' && t[q] <= '9'; ++q, scale /= 10)
        frac += (t[q] - '0') * scale;
    }
    if (CivilMs(y, mo, d, h, mi, se, frac, ms)) return true;
  }
  return false;
}

void Cue(int64_t startMs, std::string_view raw, ZovSideTrack& track) {
  const std::string text = WithoutTags(raw);
  ZovSideFix f;
  double lat = 0, lon = 0;
  if (ValueAfter(text, "latitude", lat) &&
      (ValueAfter(text, "longitude", lon) || ValueAfter(text, "longtitude", lon))) {
    f.latitude = lat;
    f.longitude = lon;
    double alt = 0;
    if (ValueAfter(text, "abs_alt", alt) || ValueAfter(text, "altitude", alt)) {
      f.altitude = alt;
      f.hasAltitude = true;
    }
  } else if (!GpsTuple(text, f)) {
    return;
  }
  if (!PlausiblePosition(f.latitude, f.longitude)) return;
  double v = 0;
  const size_t hs = text.find("H.S");
  if (hs != std::string::npos && LeadingDouble(std::string_view(text).substr(hs + 3), v) && v >= 0)
    f.speedKnots = v * 3600.0 / 1852.0, f.hasSpeed = true;
  f.stampMs = startMs;
  if (!DateTime(text, f.timeMs)) f.timeMs = startMs;
  Add(track, f);
}

int64_t CueStart(std::string_view line) {
  line = Trim(line);
  return ZovSideCueTimeMs(line.data(), line.size());
}

}  // namespace

void ParseSubtitle(std::string_view text, ZovSideTrack& track) {
  track.utc = false;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int64_t start = -1;
  std::string cue;
  auto flush = [&] {
    if (start >= 0) Cue(start, cue, track);
    start = -1;
    cue.clear();
  };
  ForEachLine(text, [&](std::string_view line) {
    if (line.find("-->") != std::string_view::npos) {
      flush();
      start = CueStart(line);
      return true;
    }
    if (Trim(line).empty()) {
      flush();
      return true;
    }
    if (start >= 0 && cue.size() < kMaxLine) {
      cue += ' ';
      cue += line;
    }
    return track.fixes.size() < kMaxFixes;
  });
  flush();
}

}  // namespace zovside
