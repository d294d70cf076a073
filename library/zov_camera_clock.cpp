#include "library/zov_camera_clock.h"

#include <QDateTime>
#include <QTimeZone>
#include <cstdlib>

#include "library/zov_library_index.h"

namespace {

QTimeZone ZoneOf(const ZovCameraClock& clock) {
  if (!clock.zone.empty()) {
    const QTimeZone zone(QByteArray::fromStdString(clock.zone));
    if (zone.isValid()) return zone;
  }
  return QTimeZone::systemTimeZone();
}

bool KnownZone(const std::string& name) {
  return name.empty() || QTimeZone(QByteArray::fromStdString(name)).isValid();
}

// "08:03:12" of a time that is known.
std::string HourMinuteSecond(int64_t t) { return ZovFormatCameraTime(t).substr(11); }

}  // namespace

ZovCameraClock ZovReadCameraClock(const std::string& indexPath) {
  ZovCameraClock clock;
  const std::string zone = ZovPeekLibrarySetting(indexPath, kZovCameraZoneSetting);
  if (KnownZone(zone)) clock.zone = zone;
  const std::string offset = ZovPeekLibrarySetting(indexPath, kZovCameraOffsetSetting);
  char* end = nullptr;
  const long value = std::strtol(offset.c_str(), &end, 10);
  if (!offset.empty() && *end == '\0' && std::labs(value) <= kZovMaxCameraOffset)
    clock.offsetSeconds = static_cast<int>(value);
  const std::string nudge = ZovPeekLibrarySetting(indexPath, kZovGpsNudgeSetting);
  const long nudgeMs = std::strtol(nudge.c_str(), &end, 10);
  if (!nudge.empty() && *end == '\0' && std::labs(nudgeMs) <= kZovMaxGpsNudgeMs &&
      nudgeMs % kZovGpsNudgeStepMs == 0)
    clock.gpsNudgeMs = static_cast<int>(nudgeMs);
  return clock;
}

bool ZovWriteCameraClock(const std::string& indexPath, const ZovCameraClock& clock, std::string* why) {
  if (std::abs(clock.offsetSeconds) > kZovMaxCameraOffset || !KnownZone(clock.zone) ||
      std::abs(clock.gpsNudgeMs) > kZovMaxGpsNudgeMs || clock.gpsNudgeMs % kZovGpsNudgeStepMs != 0) {
    if (why) *why = "no such zone, a correction of more than a day, or a GPS nudge past 5 s";
    return false;
  }
  CZovLibraryIndex index;
  std::string message;
  if (!index.Open(indexPath.empty() ? CZovLibraryIndex::DefaultPath() : indexPath, &message)) {
    if (why) *why = message.empty() ? "the library index cannot be opened" : message;
    return false;
  }
  if (!index.SetSetting(kZovCameraZoneSetting, clock.zone) ||
      !index.SetSetting(kZovCameraOffsetSetting, std::to_string(clock.offsetSeconds)) ||
      !index.SetSetting(kZovGpsNudgeSetting, std::to_string(clock.gpsNudgeMs))) {
    if (why) *why = "the library index cannot be written";
    return false;
  }
  return true;
}

int64_t ZovShownTime(int64_t cameraTime, const ZovCameraClock& clock) {
  return cameraTime == kZovNoTime ? kZovNoTime : cameraTime + clock.offsetSeconds;
}

int64_t ZovTrackTimeAt(int64_t videoMs, const ZovCameraClock& clock) {
  return videoMs - clock.gpsNudgeMs;
}

int64_t ZovShownTimeToUtc(int64_t shownTime, const ZovCameraClock& clock) {
  if (shownTime == kZovNoTime) return kZovNoTime;
  // The shown time is a local wall-clock reading; the zone says which instant it names.
  const QDateTime wall = QDateTime::fromSecsSinceEpoch(shownTime, QTimeZone::utc());
  const QDateTime local(wall.date(), wall.time(), ZoneOf(clock));
  return local.toSecsSinceEpoch();
}

std::string ZovClockText(int64_t shownTime, int64_t gpsUtc, const ZovCameraClock& clock) {
  if (shownTime == kZovNoTime) return {};
  std::string text = HourMinuteSecond(shownTime);
  if (gpsUtc > 0 && std::llabs(ZovShownTimeToUtc(shownTime, clock) - gpsUtc) > kZovClockTolerance)
    text += " (GPS " + HourMinuteSecond(gpsUtc) + " UTC)";
  return text;
}
