#include "library/zov_drive_plan.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "library/zov_recording_probe.h"

namespace {

// A fix time that cannot be a GPS time (0 or before the first fix).
bool UsableTime(int32_t t) { return t > 0; }

// Where the lead's fixes lie in the moment, in ms from its first picture.
std::vector<int64_t> FixTimes(const ZovPlanMoment& m) {
  const std::vector<ZovTrackPoint>& t = m.track;
  std::vector<int64_t> ms(t.size(), 0);
  if (t.empty()) return ms;
  bool timed = UsableTime(t.front().time);
  for (size_t i = 1; timed && i < t.size(); ++i)
    timed = UsableTime(t[i].time) && t[i].time >= t[i - 1].time;
  for (size_t i = 0; i < t.size(); ++i) {
    // Untimed fixes are spread evenly over the moment (cameras write one per second).
    const int64_t at = timed ? int64_t(t[i].time - t.front().time) * 1000
                             : (t.size() > 1 ? int64_t(i) * m.lengthMs / int64_t(t.size()) : 0);
    ms[i] = std::clamp<int64_t>(at, 0, std::max<int64_t>(m.lengthMs - 1, 0));
  }
  return ms;
}

int ChannelRank(const std::string& key) {
  if (key == "front") return 0;
  if (key == "rear") return 1;
  if (key == "interior") return 2;
  return 3;
}

}  // namespace

int64_t ZovDrivePlan::LengthMs() const {
  return moments.empty() ? 0 : moments.back().offsetMs + moments.back().lengthMs;
}

size_t ZovDrivePlan::MomentAt(int64_t ms, int64_t* withinMs) const {
  size_t k = 0;
  while (k + 1 < moments.size() && ms >= moments[k + 1].offsetMs) ++k;
  int64_t within = 0;
  if (!moments.empty())
    within = std::clamp<int64_t>(ms - moments[k].offsetMs, 0, std::max<int64_t>(moments[k].lengthMs - 1, 0));
  if (withinMs) *withinMs = within;
  return k;
}

size_t ZovDrivePlan::MomentOfPath(const std::string& path) const {
  for (size_t k = 0; k < moments.size(); ++k)
    if (moments[k].lead == path) return k;
  return moments.size();
}

ZovDrivePlan ZovPlanDrive(const ZovLibrary& library, const ZovDrive& drive) {
  ZovDrivePlan plan;
  plan.start = drive.start;
  plan.kilometres = drive.kilometres;
  int64_t offset = 0;
  for (const ZovMoment& m : drive.moments) {
    ZovPlanMoment p;
    p.start = m.start;
    p.mode = m.mode;
    p.offsetMs = offset;
    const size_t lead = m.Lead();
    if (lead < library.recordings.size()) {
      const ZovRecording& r = library.recordings[lead];
      p.lead = r.path;
      p.playable = r.facts.playable;
      p.track = r.track;
      p.lengthMs = std::max<int64_t>(0, std::llround(r.facts.seconds * 1000));
    }
    if (p.lengthMs == 0) p.lengthMs = std::max<int64_t>(0, std::llround(m.seconds * 1000));
    for (const auto& [key, index] : m.channels)
      if (index < library.recordings.size()) p.channels.push_back({key, library.recordings[index].path});
    std::stable_sort(p.channels.begin(), p.channels.end(),
                     [](const ZovPlanChannel& a, const ZovPlanChannel& b) { return (a.key == "front") > (b.key == "front"); });
    offset += p.lengthMs;
    plan.moments.push_back(std::move(p));
  }
  return plan;
}

ZovDrivePlan ZovPlanDriveOfPath(const ZovLibrary& library, const std::string& path) {
  const int drive = ZovDriveIndexOfPath(library, path);
  return drive < 0 ? ZovDrivePlan{} : ZovPlanDrive(library, library.drives[size_t(drive)]);
}

int ZovDriveIndexOfPath(const ZovLibrary& library, const std::string& path) {
  for (size_t d = 0; d < library.drives.size(); ++d)
    for (const ZovMoment& m : library.drives[d].moments)
      if (m.Lead() < library.recordings.size() && library.recordings[m.Lead()].path == path) return int(d);
  return -1;
}

std::optional<double> ZovCameraSecondsAt(const ZovDrivePlan& plan, int64_t ms) {
  if (plan.moments.empty()) return std::nullopt;
  int64_t within = 0;
  const ZovPlanMoment& m = plan.moments[plan.MomentAt(ms, &within)];
  if (m.start == kZovNoTime) return std::nullopt;
  return double(m.start) + double(within) / 1000.0;
}

std::vector<ZovPlanChannel> ZovPlayedChannels(const ZovPlanMoment& moment,
                                              const std::vector<std::string>& preferred, size_t most) {
  std::vector<ZovPlanChannel> rest = moment.channels;
  std::stable_sort(rest.begin(), rest.end(), [](const ZovPlanChannel& a, const ZovPlanChannel& b) {
    return ChannelRank(a.key) < ChannelRank(b.key);
  });
  std::vector<ZovPlanChannel> played;
  for (const std::string& key : preferred) {
    auto it = std::find_if(rest.begin(), rest.end(), [&](const ZovPlanChannel& c) { return c.key == key; });
    if (it == rest.end() || played.size() == most) continue;
    played.push_back(*it);
    rest.erase(it);
  }
  // A choice that names channels of this moment is the whole choice; one that
  // names none of them (another camera's) leaves the usual order.
  if (!played.empty()) return played;
  for (const ZovPlanChannel& c : rest)
    if (played.size() < most) played.push_back(c);
  return played;
}

std::vector<std::vector<ZovDrivePoint>> ZovDriveTrack(const ZovDrivePlan& plan) {
  std::vector<std::vector<ZovDrivePoint>> segments;
  bool open = false;  // the last segment may take the next fix
  for (const ZovPlanMoment& m : plan.moments) {
    if (m.track.empty()) {
      open = false;
      continue;
    }
    const std::vector<int64_t> ms = FixTimes(m);
    for (size_t i = 0; i < m.track.size(); ++i) {
      const ZovTrackPoint& t = m.track[i];
      const ZovDrivePoint p{m.offsetMs + ms[i], t.latitude, t.longitude, t.speedKnots};
      if (open) {
        const ZovDrivePoint& last = segments.back().back();
        open = ZovLegKilometres(last.latitude, last.longitude, p.latitude, p.longitude) * 1000 <=
               kZovTrackJumpMetres;
      }
      if (!open) segments.emplace_back();
      segments.back().push_back(p);
      open = true;
    }
  }
  return segments;
}

int64_t ZovNearestDriveMs(const std::vector<std::vector<ZovDrivePoint>>& track, double latitude,
                          double longitude) {
  int64_t best = -1;
  double bestKm = std::numeric_limits<double>::infinity();
  for (const auto& segment : track)
    for (const ZovDrivePoint& p : segment) {
      const double km = ZovLegKilometres(p.latitude, p.longitude, latitude, longitude);
      if (km < bestKm) {
        bestKm = km;
        best = p.ms;
      }
    }
  return best;
}

std::string ZovDriveClockText(const ZovDrivePlan& plan, int64_t ms, const ZovCameraClock& clock) {
  if (plan.moments.empty()) return {};
  int64_t within = 0;
  const ZovPlanMoment& m = plan.moments[plan.MomentAt(ms, &within)];
  if (m.start == kZovNoTime) return {};
  const int64_t shown = ZovShownTime(m.start + within / 1000, clock);
  int64_t gpsUtc = 0;
  const int64_t trackMs = ZovTrackTimeAt(within, clock);
  if (!m.track.empty() && m.track.front().time > 0 && trackMs >= 0) gpsUtc = m.track.front().time + trackMs / 1000;
  return ZovClockText(shown, gpsUtc, clock);
}
