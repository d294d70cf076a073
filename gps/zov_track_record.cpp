#include "gps/zov_track_record.h"

#include <new>

#include "gps/zov_gps_text.h"
#include "gps/zov_track_shift.h"

void FileTrack::Free() {
  points.clear();
  points.shrink_to_fit();
  samples.clear();
  samples.shrink_to_fit();
  pointCount = 0;
  sampleCount = 0;
  extracted = 0;
}

namespace {

// The fields a point and a sensor sample share with their lines: the
// G-sensor axes and the date and time.
template <typename Record, typename Line>
void CopySensorAndTime(const Line& line, Record& r) {
  r.accelX = line.accelX;
  r.accelY = line.accelY;
  r.accelZ = line.accelZ;
  r.year = line.year;
  r.month = line.month;
  r.day = line.day;
  r.hour = line.hour;
  r.minute = line.minute;
  r.second = line.second;
}

GpsPoint PointOf(const ZovPointLine& line) {
  GpsPoint p;
  p.index = line.index;
  p.latHemisphere = line.latLetter;
  p.lonHemisphere = line.lonLetter;
  p.speed = line.speed;
  p.heading = line.heading;
  p.latitude = line.latitude;
  p.longitude = line.longitude;
  p.altitude = line.altitude;
  CopySensorAndTime(line, p);
  return p;
}

GsensorSample SampleOf(const ZovSensorLine& line) {
  GsensorSample s;
  s.index = line.index;
  CopySensorAndTime(line, s);
  return s;
}

// Calls `piece` for every ';'-terminated piece of `text` (empty pieces
// skipped, like a tokenizer would); a last piece without ';' is passed too
// when `takeUnterminated` is set. Stops when `piece` returns false.
template <typename Fn>
void ForEachPiece(std::string_view text, bool takeUnterminated, Fn&& piece) {
  while (!text.empty()) {
    const size_t end = text.find(';');
    if (end == std::string_view::npos && !takeUnterminated) return;
    const std::string_view one = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (one.empty()) continue;
    if (!piece(one)) return;
  }
}

}  // namespace

ZovTrackReadResult ZovReadTrackTexts(std::string_view pointText, std::string_view sensorText,
                                     std::string_view mapName, FileTrack& track) {
  // Texts may carry a terminating NUL inside their length; read up to it.
  pointText = pointText.substr(0, pointText.find('\0'));
  sensorText = sensorText.substr(0, sensorText.find('\0'));
  ZovTrackReadResult result = ZovTrackReadResult::kComplete;
  ForEachPiece(pointText, true, [&](std::string_view piece) {
    ZovPointLine line;
    ZovReadPointLine(piece, line);  // a malformed line keeps its unread fields at 0
    GpsPoint p = PointOf(line);
    p.latitude = static_cast<float>(p.latitude + kZovLoadNudge);
    p.longitude = static_cast<float>(p.longitude + kZovLoadNudge);
    ZovApplyDatumShift(p.latitude, p.longitude, mapName);
    try {
      track.points.push_back(p);
    } catch (const std::bad_alloc&) {
      result = ZovTrackReadResult::kOutOfMemory;
      return false;
    }
    track.lastLatitude = p.latitude;
    track.lastLongitude = p.longitude;
    ++track.pointCount;
    return true;
  });
  ForEachPiece(sensorText, false, [&](std::string_view piece) {
    ZovSensorLine line;
    ZovReadSensorLine(piece, line);
    track.samples.push_back(SampleOf(line));
    ++track.sampleCount;
    return true;
  });
  return result;
}
