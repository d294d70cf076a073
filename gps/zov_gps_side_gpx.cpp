// GPX tracks (a phone's or a logger's record of the same drive):
//
//   <trkpt lat="41.424724" lon="2.234156">
//     <ele>117.0</ele><time>2024-05-17T08:30:00.500Z</time>
//     <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>13.9</gpxtpx:speed>
//     <gpxtpx:course>84.0</gpxtpx:course>...</extensions>
//   </trkpt>
//
// Track points only (routes and waypoints are plans, not a drive). A point
// without a time cannot be matched to a recording and is skipped. Attributes
// in either order and either quote; times with a zone offset are taken to
// UTC; speed (m/s) and course from GPX 1.0 elements or the track point
// extension. A scan over the text, not an XML parser: it looks for the
// elements it knows inside each <trkpt ...> ... </trkpt>.
#include <cmath>

#include "gps/zov_gps_side_parse.h"

namespace zovside {

namespace {

// The value of attribute `name` inside a start tag.
bool Attribute(std::string_view tag, std::string_view name, double& v) {
  for (size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
    // A whole attribute name: a blank before it, '=' after it (blanks allowed).
    if (at == 0 || (tag[at - 1] != ' ' && tag[at - 1] != '\t' && tag[at - 1] != '\n' && tag[at - 1] != '\r'))
      continue;
    size_t i = at + name.size();
    while (i < tag.size() && tag[i] == ' ') ++i;
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && tag[i] == ' ') ++i;
    if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) continue;
    const size_t close = tag.find(tag[i], i + 1);
    if (close == std::string_view::npos) return false;
    return ToDouble(tag.substr(i + 1, close - i - 1), v);
  }
  return false;
}

// The text of the first element named `name` (any namespace prefix) in body.
bool Element(std::string_view body, std::string_view name, std::string_view& text) {
  for (size_t at = body.find(name); at != std::string_view::npos; at = body.find(name, at + 1)) {
    if (at == 0 || (body[at - 1] != '<' && body[at - 1] != ':')) continue;
    const size_t after = at + name.size();
    if (after >= body.size() || (body[after] != '>' && body[after] != ' ')) continue;
    const size_t open = body.find('>', after);
    if (open == std::string_view::npos) return false;
    const size_t close = body.find('<', open + 1);
    if (close == std::string_view::npos) return false;
    text = body.substr(open + 1, close - open - 1);
    return true;
  }
  return false;
}

}  // namespace

void ParseGpx(std::string_view text, ZovSideTrack& track) {
  track.utc = true;
  constexpr std::string_view kOpen = "<trkpt", kClose = "</trkpt>";
  size_t pos = 0;
  while (track.fixes.size() < kMaxFixes) {
    const size_t at = text.find(kOpen, pos);
    if (at == std::string_view::npos) break;
    const size_t tagEnd = text.find('>', at);
    if (tagEnd == std::string_view::npos) break;
    std::string_view tag = text.substr(at + kOpen.size(), tagEnd - at - kOpen.size());
    pos = tagEnd + 1;
    if (!tag.empty() && tag.front() != ' ' && tag.front() != '\t' && tag.front() != '\n' && tag.front() != '\r')
      continue;  // <trkptx ...>, not a track point
    std::string_view body;
    if (tag.empty() || tag.back() != '/') {
      const size_t end = text.find(kClose, pos);
      if (end == std::string_view::npos) break;
      body = text.substr(pos, end - pos);
      pos = end + kClose.size();
    }
    ZovSideFix f;
    std::string_view value;
    if (!Attribute(tag, "lat", f.latitude) || !Attribute(tag, "lon", f.longitude)) continue;
    if (!PlausiblePosition(f.latitude, f.longitude)) continue;
    if (!Element(body, "time", value) || !ZovSideIsoTimeMs(value.data(), value.size(), f.timeMs)) continue;
    double v = 0;
    if (Element(body, "ele", value) && ToDouble(value, v)) {
      f.altitude = v;
      f.hasAltitude = true;
    }
    if (Element(body, "speed", value) && ToDouble(value, v) && v >= 0) {
      f.speedKnots = v * 3600.0 / 1852.0;
      f.hasSpeed = true;
    }
    if (Element(body, "course", value) && ToDouble(value, v) && v >= 0 && v <= 360) {
      f.course = v;
      f.hasCourse = true;
    }
    Add(track, f);
  }
}

}  // namespace zovside
