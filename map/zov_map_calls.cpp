#include "map/zov_map_calls.h"

#include <charconv>
#include <cmath>

namespace {

// Smallest magnitude of a coordinate that is not taken for "no position".
constexpr double kZovZeroDegrees = 1e-6;

QString Call2(const char* name, double a, double b) {
  return QStringLiteral("%1(%2,%3)").arg(QLatin1String(name), ZovFixed6(a), ZovFixed6(b));
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
