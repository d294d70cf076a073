#include "map/zov_map_calls.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Smallest magnitude of a coordinate that is not taken for "no position".
constexpr double kZovZeroDegrees = 1e-6;

QString Call2(const char* name, double a, double b) {
  return QStringLiteral("%1(%2,%3)").arg(QLatin1String(name), ZovFixed6(a), ZovFixed6(b));
}

constexpr double kRadians = M_PI / 180;
constexpr double kEarthMetres = 6371008.8;  // mean radius

double Metres(const ZovDrivePoint& a, const ZovDrivePoint& b) {
  const double dLat = (b.latitude - a.latitude) * kRadians;
  const double dLon = std::remainder(b.longitude - a.longitude, 360.0) * kRadians;
  const double h = std::sin(dLat / 2) * std::sin(dLat / 2) + std::cos(a.latitude * kRadians) *
                   std::cos(b.latitude * kRadians) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kEarthMetres * std::asin(std::min(1.0, std::sqrt(h)));
}

// Initial bearing from a to b, degrees clockwise from north.
double Bearing(const ZovDrivePoint& a, const ZovDrivePoint& b) {
  const double dLon = (b.longitude - a.longitude) * kRadians;
  const double y = std::sin(dLon) * std::cos(b.latitude * kRadians);
  const double x = std::cos(a.latitude * kRadians) * std::sin(b.latitude * kRadians) -
                   std::sin(a.latitude * kRadians) * std::cos(b.latitude * kRadians) * std::cos(dLon);
  return std::fmod(std::atan2(y, x) / kRadians + 360, 360);
}

// The way the track goes at fix i of a segment: to the next fix that is a
// step away, else from the last such fix before it; 0 when it never moves.
double HeadingAt(const std::vector<ZovDrivePoint>& s, size_t i) {
  for (size_t j = i + 1; j < s.size(); ++j)
    if (Metres(s[i], s[j]) >= kZovDriveStepMetres) return Bearing(s[i], s[j]);
  for (size_t j = i; j-- > 0;)
    if (Metres(s[j], s[i]) >= kZovDriveStepMetres) return Bearing(s[j], s[i]);
  return 0;
}

ZovDriveSpot SpotOf(const std::vector<ZovDrivePoint>& s, size_t i) {
  return {true, s[i].latitude, s[i].longitude, HeadingAt(s, i)};
}

}  // namespace

QString ZovFixed6(double value) {
  if (!std::isfinite(value)) return QStringLiteral("NaN");
  char text[400];  // the largest double has 309 digits before the point
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
  return QString::fromLatin1(text, int(result.ptr - text));
}

double ZovMarkerAngle(double heading) { return heading > 180 ? heading - 180 : heading + 180; }

bool ZovIsPosition(double latitude, double longitude) {
  return std::fabs(latitude) >= kZovZeroDegrees && std::fabs(longitude) >= kZovZeroDegrees;
}

bool ZovIsZeroPoint(double latitude, double longitude) {
  return std::fabs(latitude) < kZovZeroDegrees && std::fabs(longitude) < kZovZeroDegrees;
}

QString ZovCallCenter(double longitude, double latitude) { return Call2("Center", longitude, latitude); }

QString ZovCallMove(double longitude, double latitude, double angle) {
  return QStringLiteral("Move(%1,%2,%3)").arg(ZovFixed6(longitude), ZovFixed6(latitude), ZovFixed6(angle));
}

QString ZovCallMoveTow(double longitude1, double latitude1, double longitude2, double latitude2) {
  return QStringLiteral("MoveTow(%1,%2,%3,%4)")
      .arg(ZovFixed6(longitude1), ZovFixed6(latitude1), ZovFixed6(longitude2), ZovFixed6(latitude2));
}

QString ZovCallClearLine() { return QStringLiteral("ClearLine()"); }

QString ZovCallClear() { return QStringLiteral("Clear()"); }

QString ZovCallSetPoistion(int track, int point, double longitude, double latitude) {
  return QStringLiteral("SetPoistion(%1,%2,%3,%4)")
      .arg(QString::number(track), QString::number(point), ZovFixed6(longitude), ZovFixed6(latitude));
}

QString ZovCallLine(int track) { return QStringLiteral("Line(%1)").arg(track); }

QString ZovCallSetStartPoistion(double longitude, double latitude) {
  return Call2("SetStartPoistion", longitude, latitude);
}

QString ZovCallSetEndPoistion(double longitude, double latitude) {
  return Call2("SetEndPoistion", longitude, latitude);
}

QString ZovCallSetMaxXY(int width, int height) {
  return QStringLiteral("SetMaxXY(%1,%2)").arg(width).arg(height);
}

QString ZovCallTest() { return QStringLiteral("Test()"); }

QString ZovCallDriveTrack(const std::vector<std::vector<ZovDrivePoint>>& segments) {
  QString text = QStringLiteral("DriveTrack([");
  bool firstSegment = true;
  for (const auto& segment : segments) {
    QString points;
    for (const ZovDrivePoint& p : segment) {
      if (ZovIsZeroPoint(p.latitude, p.longitude)) continue;
      if (!points.isEmpty()) points += QLatin1Char(',');
      points += ZovFixed6(p.longitude) + QLatin1Char(',') + ZovFixed6(p.latitude);
    }
    if (points.isEmpty()) continue;
    if (!firstSegment) text += QLatin1Char(',');
    firstSegment = false;
    text += QLatin1Char('[') + points + QLatin1Char(']');
  }
  return text + QStringLiteral("])");
}

QString ZovCallSetTexts(const QString& follow) {
  const QJsonObject texts{{QStringLiteral("follow"), follow}};
  return QStringLiteral("SetTexts(%1)")
      .arg(QString::fromUtf8(QJsonDocument(texts).toJson(QJsonDocument::Compact)));
}

ZovDriveSpot ZovDriveSpotAt(const std::vector<std::vector<ZovDrivePoint>>& segments, int64_t ms) {
  const std::vector<ZovDrivePoint>* last = nullptr;  // the last segment that began at or before ms
  for (const auto& s : segments) {
    if (s.empty()) continue;
    if (!last && ms < s.front().ms) return SpotOf(s, 0);  // before the first fix
    if (ms < s.front().ms) break;                         // in the gap before this segment
    last = &s;
    if (ms > s.back().ms) continue;
    // The fix at or before ms and the one after it.
    const auto after = std::upper_bound(s.begin(), s.end(), ms,
                                        [](int64_t t, const ZovDrivePoint& p) { return t < p.ms; });
    const size_t i = size_t(after - s.begin()) - 1;
    if (after == s.end() || after->ms == s[i].ms) return SpotOf(s, i);
    const double f = double(ms - s[i].ms) / double(after->ms - s[i].ms);
    ZovDriveSpot spot = SpotOf(s, i);
    spot.latitude = s[i].latitude + f * (after->latitude - s[i].latitude);
    spot.longitude = std::remainder(
        s[i].longitude + f * std::remainder(after->longitude - s[i].longitude, 360.0), 360.0);
    return spot;
  }
  if (!last) return {};
  return SpotOf(*last, last->size() - 1);
}
