// The plan of an export: the range clipped to the drive, and for each
// channel the pieces of its recordings the range covers.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "export/zov_export.h"

namespace {

std::string Clock(double t) { return ZovFormatCameraTime(static_cast<int64_t>(std::floor(t))); }

// "080312" of a camera time.
std::string HourMinuteSecond(int64_t t) {
  int y, mo, d, h, mi, s;
  ZovSplitCameraTime(t, &y, &mo, &d, &h, &mi, &s);
  char text[16];
  std::snprintf(text, sizeof text, "%02d%02d%02d", h, mi, s);
  return text;
}

double MomentEnd(const ZovLibrary& library, const ZovMoment& m) {
  double seconds = m.seconds;
  for (const auto& [key, index] : m.channels)
    seconds = std::max(seconds, library.recordings[index].facts.seconds);
  return static_cast<double>(m.start) + seconds;
}

}  // namespace

bool ZovParseCameraTime(const std::string& text, int64_t* seconds) {
  int y, mo, d, h, mi, s, used = 0;
  if (text.size() != 19 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) != 6 ||
      used != 19)
    return false;
  const int64_t t = ZovCameraTime(y, mo, d, h, mi, s);
  if (t == kZovNoTime) return false;
  *seconds = t;
  return true;
}

int ZovDriveOfRange(const ZovLibrary& library, double from, double to) {
  int best = -1;
  double bestOverlap = -1;
  for (size_t d = 0; d < library.drives.size(); ++d) {
    const ZovDrive& drive = library.drives[d];
    if (drive.moments.empty()) continue;
    const double start = static_cast<double>(drive.moments.front().start);
    double end = start;
    for (const ZovMoment& m : drive.moments) end = std::max(end, MomentEnd(library, m));
    const double overlap = std::min(to, end) - std::max(from, start);
    if (overlap > 0 && overlap > bestOverlap) {
      best = static_cast<int>(d);
      bestOverlap = overlap;
    }
  }
  return best;
}

ZovExportPlan ZovPlanExport(const ZovLibrary& library, size_t driveIndex, double from, double to,
                            const ZovCameraClock& clock) {
  ZovExportPlan plan;
  if (driveIndex >= library.drives.size() || library.drives[driveIndex].moments.empty()) {
    plan.error = "no such drive";
    return plan;
  }
  if (!(to > from)) {
    plan.error = "the range is empty: its end " + Clock(to) + " is not after its start " + Clock(from);
    return plan;
  }
  const ZovDrive& drive = library.drives[driveIndex];
  const double driveStart = static_cast<double>(drive.moments.front().start);
  double driveEnd = driveStart;
  for (const ZovMoment& m : drive.moments) driveEnd = std::max(driveEnd, MomentEnd(library, m));
  if (to <= driveStart || from >= driveEnd) {
    plan.error = "the range " + Clock(from) + " to " + Clock(to) + " lies outside the drive (" +
                 Clock(driveStart) + " to " + Clock(driveEnd) + ")";
    return plan;
  }
  plan.from = std::max(from, driveStart);
  plan.to = std::min(to, driveEnd);
  if (plan.from != from || plan.to != to)
    plan.notices.push_back("the range was clipped to the drive: " + Clock(plan.from) + " to " +
                           Clock(plan.to));

  for (const ZovMoment& m : drive.moments) {
    const double start = static_cast<double>(m.start);
    if (MomentEnd(library, m) <= plan.from || start >= plan.to) continue;
    for (const auto& [key, index] : m.channels) {
      const ZovRecording& r = library.recordings[index];
      if (!r.facts.playable) {
        plan.error = "the moment " + Clock(start) + " cannot be exported: " + r.path + ": " +
                     (r.facts.reason.empty() ? "it does not play" : r.facts.reason);
        plan.channels.clear();
        return plan;
      }
      const double seconds = r.facts.seconds > 0 ? r.facts.seconds : m.seconds;
      ZovExportPiece piece;
      piece.recording = index;
      piece.momentStart = m.start;
      piece.begin = std::max(0.0, plan.from - start);
      piece.end = std::min(seconds, plan.to - start);
      if (piece.end <= piece.begin) continue;  // this channel ended before the range
      auto channel = std::find_if(plan.channels.begin(), plan.channels.end(),
                                  [&key](const ZovExportChannel& c) { return c.key == key; });
      if (channel == plan.channels.end()) {
        plan.channels.push_back({key, {}});
        channel = plan.channels.end() - 1;
      }
      channel->pieces.push_back(piece);
    }
  }
  // The front channel leads: it comes first when any moment of the range has it.
  std::stable_partition(plan.channels.begin(), plan.channels.end(),
                        [](const ZovExportChannel& c) { return c.key == "front"; });
  if (plan.channels.empty()) {
    plan.error = "the range holds no recording";
    return plan;
  }
  plan.clock = clock;
  const int64_t first = ZovShownTime(static_cast<int64_t>(std::floor(plan.from)), clock);
  const int64_t last = ZovShownTime(static_cast<int64_t>(std::ceil(plan.to)), clock);
  plan.stem = ZovFormatCameraTime(first).substr(0, 10) + "_" + HourMinuteSecond(first) + "-" +
              HourMinuteSecond(last);
  return plan;
}
