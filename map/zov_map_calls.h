#pragma once
// The script calls the map panel makes on the map page, formatted as the
// pages expect them: "%f" numbers (six decimals, always with a "." whatever
// the user's locale), longitude before latitude. A coordinate that is not a
// finite number is written NaN, so the page gets NaN instead of a script
// error.
#include <QString>

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
