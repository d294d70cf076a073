// The range's track: the recordings' fixes placed on the camera clock, and
// its GPX and CSV through the writers of the zovgps tool.
#include <algorithm>
#include <cmath>
#include <map>

#include "export/zov_export_steps.h"
#include "gps/zov_gps_calendar.h"
#include "tools/zovgps/zov_gps_export.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Initial great-circle bearing from a to b, degrees clockwise from north.
double Bearing(const ZovOverlayFix& a, const ZovOverlayFix& b) {
  const double f1 = a.latitude * kPi / 180, f2 = b.latitude * kPi / 180;
  const double dl = (b.longitude - a.longitude) * kPi / 180;
  const double y = std::sin(dl) * std::cos(f2);
  const double x = std::cos(f1) * std::sin(f2) - std::sin(f1) * std::cos(f2) * std::cos(dl);
  const double deg = std::atan2(y, x) * 180 / kPi;
  return deg < 0 ? deg + 360 : deg;
}

bool Moved(const ZovOverlayFix& a, const ZovOverlayFix& b) {
  // About a metre: below that the bearing is the receiver's noise.
  return std::fabs(a.latitude - b.latitude) + std::fabs(a.longitude - b.longitude) > 1e-5;
}

std::vector<ZovExportTrack> AsExportTracks(const std::vector<ZovOverlayFix>& fixes,
                                           const std::string& name) {
  ZovExportTrack track;
  track.path = name;
  track.utc = true;
  for (size_t i = 0; i < fixes.size(); ++i) {
    const ZovOverlayFix& f = fixes[i];
    ZovExportPoint p;
    p.index = static_cast<int>(i);
    // A fix without its own time takes the camera's (the clock has no zone,
    // which the writers mark as they do for side logs).
    if (f.utc == 0) track.utc = false;
    ZovCopyFixDate(p, ZovCivilFromUtcSeconds(f.utc ? f.utc : static_cast<int64_t>(f.cameraTime)));
    p.latitude = f.latitude;
    p.longitude = f.longitude;
    p.speedKnots = f.speedKnots;
    if (f.heading >= 0) {
      p.heading = f.heading == 0 ? 360 : f.heading;  // the writers read 0 as "no course"
      p.headingFlag = kHeadingFlagCamera;
    }
    track.points.push_back(p);
  }
  return {track};
}

}  // namespace

std::vector<ZovOverlayFix> ZovRangeTrack(const ZovLibrary& library, const ZovExportPlan& plan) {
  // Per moment (its start), the first channel whose recording carries a track.
  std::map<int64_t, size_t> source;
  for (const ZovExportChannel& c : plan.channels)
    for (const ZovExportPiece& p : c.pieces)
      if (!library.recordings[p.recording].track.empty()) source.emplace(p.momentStart, p.recording);
  std::vector<ZovOverlayFix> fixes;
  for (const auto& [start, index] : source) {
    const std::vector<ZovTrackPoint>& track = library.recordings[index].track;
    const bool timed = track.front().time != 0;
    for (size_t i = 0; i < track.size(); ++i) {
      const ZovTrackPoint& t = track[i];
      // The clean-up gives one fix a second from the recording's start; the
      // fixes' own times place them when a second has none.
      const double second = timed && t.time >= track.front().time
                                ? static_cast<double>(t.time - track.front().time)
                                : static_cast<double>(i);
      // A nudged track: the fix written at track time t belongs with the
      // picture shown nudge later.
      ZovOverlayFix f;
      f.cameraTime = static_cast<double>(start) + second + plan.clock.gpsNudgeMs / 1000.0;
      if (f.cameraTime < std::floor(plan.from) || f.cameraTime > plan.to) continue;
      f.latitude = t.latitude;
      f.longitude = t.longitude;
      f.speedKnots = t.speedKnots;
      f.utc = t.time;
      fixes.push_back(f);
    }
  }
  std::stable_sort(fixes.begin(), fixes.end(),
                   [](const ZovOverlayFix& a, const ZovOverlayFix& b) { return a.cameraTime < b.cameraTime; });
  fixes.erase(std::unique(fixes.begin(), fixes.end(),
                          [](const ZovOverlayFix& a, const ZovOverlayFix& b) {
                            return a.cameraTime == b.cameraTime;
                          }),
              fixes.end());
  // Heading: towards the next fix; the last (and a stop) keeps the one before.
  double last = -1;
  for (size_t i = 0; i < fixes.size(); ++i) {
    if (i + 1 < fixes.size() && fixes[i + 1].cameraTime - fixes[i].cameraTime <= 3 &&
        Moved(fixes[i], fixes[i + 1]))
      last = Bearing(fixes[i], fixes[i + 1]);
    fixes[i].heading = last;
  }
  return fixes;
}

std::string ZovRangeGpx(const std::vector<ZovOverlayFix>& fixes, const std::string& name) {
  ZovExportOptions options;
  options.creator = "zovexport";
  options.createdUtc = fixes.empty() ? 0 : fixes.front().utc;
  return ZovExportGpx(AsExportTracks(fixes, name), options);
}

std::string ZovRangeCsv(const std::vector<ZovOverlayFix>& fixes, const std::string& name) {
  return ZovExportCsv(AsExportTracks(fixes, name));
}
