#include "gps/zov_track_second.h"

#include <cstdio>
#include <cstring>

bool ZovReadTickPayload(const void* bytes, int size, ZovTickPayload& tick) {
  if (!bytes || size < static_cast<int>(sizeof(ZovTickPayload))) return false;
  std::memcpy(&tick, bytes, sizeof(ZovTickPayload));
  return true;
}

int ZovPointIndexForSecond(const std::vector<GpsPoint>& points, int second, int duration) {
  const int64_t s = second < 0 ? 0 : second;
  int64_t base = 0;
  if (!points.empty() && points.front().index >= duration) base = points.front().index;
  int found = -1;
  // 64-bit differences: a hostile text may hold any int32 index.
  for (size_t i = 0; i < points.size(); ++i) {
    if (static_cast<int64_t>(points[i].index) - base - 1 > s) break;
    found = static_cast<int>(i);
  }
  return found;
}

ZovSecondResult CZovSecondPicker::Pick(const std::vector<GpsPoint>& points, int second, int mode,
                                       int duration) {
  if (second < 0) second = 0;
  ZovSecondResult result;
  if (second == lastSecond_ && second != 0) return result;
  lastSecond_ = second;
  result.tick.mode = static_cast<float>(mode);
  result.tick.second = static_cast<float>(second);
  const int i = ZovPointIndexForSecond(points, second, duration);
  if (i < 0) {
    result.kind = ZovTickKind::kNone;
    return result;
  }
  const GpsPoint& p = points[static_cast<size_t>(i)];
  result.kind = ZovTickKind::kFound;
  result.tick.latitude = p.latitude;
  result.tick.longitude = p.longitude;
  result.tick.speed = p.speed;
  result.tick.heading = p.heading;
  result.latHemisphere = p.latHemisphere;
  result.lonHemisphere = p.lonHemisphere;
  return result;
}

std::string ZovFormatPositionLabel(char hemisphere, float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%c:%f", hemisphere, static_cast<double>(value));
  return text;
}
