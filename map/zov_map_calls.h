#pragma once
// The script calls the map panel makes on the map page, formatted as the
// pages expect them: "%f" numbers (six decimals, always with a "." whatever
// the user's locale), longitude before latitude. A coordinate that is not a
// finite number is written NaN, so the page gets NaN instead of a script
// error.
#include <cstdint>
#include <vector>

#include <QString>

#include "library/zov_drive_plan.h"

QString ZovCallCenter(double longitude, double latitude);
QString ZovCallMove(double longitude, double latitude, double angle);
QString ZovCallMoveTow(double longitude1, double latitude1, double longitude2, double latitude2);
QString ZovCallClearLine();
QString ZovCallClear();
QString ZovCallSetPoistion(int track, int point, double longitude, double latitude);
QString ZovCallLine(int track);
QString ZovCallSetStartPoistion(double longitude, double latitude);
QString ZovCallSetEndPoistion(double longitude, double latitude);
QString ZovCallSetMaxXY(int width, int height);
QString ZovCallTest();
// A drive's whole track: DriveTrack([[lng,lat,lng,lat,...],...]), one array
// per segment; points within 1e-6 degrees of (0, 0) are left out, and a
// segment left without points with them.
QString ZovCallDriveTrack(const std::vector<std::vector<ZovDrivePoint>>& segments);
// The page's texts in the current language: SetTexts({"follow":"..."}).
QString ZovCallSetTexts(const QString& follow);

// Where the marker stands at a time of the drive, and which way it points
// (degrees clockwise from north, along the track).
struct ZovDriveSpot {
  bool found = false;  // false: the drive has no track
  double latitude = 0;
  double longitude = 0;
  double heading = 0;
};
// Within a segment the position is interpolated between the fixes around
// `ms` and the heading is that of the step from the fix at or before `ms` to
// the next one at least kZovDriveStepMetres away (else from the last such
// fix before it). Before the first fix the marker stands at it; in a gap
// between segments and after the last fix, at the last fix seen, pointing
// the way it went.
inline constexpr double kZovDriveStepMetres = 1;
ZovDriveSpot ZovDriveSpotAt(const std::vector<std::vector<ZovDrivePoint>>& segments, int64_t ms);

// A number as "%f" prints it in the C locale.
QString ZovFixed6(double value);
// The marker's angle for a heading: the heading turned by half a circle
// (heading − 180 above 180 degrees, else heading + 180).
double ZovMarkerAngle(double heading);
// A coordinate pair counts as a position when both parts are at least
// 1e-6 degrees away from zero.
bool ZovIsPosition(double latitude, double longitude);
// A track point is left out of a drawing when both parts lie within 1e-6
// degrees of zero.
bool ZovIsZeroPoint(double latitude, double longitude);
