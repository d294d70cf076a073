#pragma once
// The overlay drawn into exported pictures: a dark strip along the bottom of
// each channel's picture with the camera time, the channel's name, the speed
// in the user's unit, the position and a compass of the heading. Drawn with
// QPainter on a QImage (any thread; a QGuiApplication must exist for fonts).
#include <cstdint>
#include <string>
#include <vector>

#include "export/zov_export.h"

class QImage;

// One position of the track on the camera clock.
struct ZovOverlayFix {
  double cameraTime = 0;  // camera-clock seconds
  double latitude = 0, longitude = 0;  // signed degrees
  double speedKnots = 0;
  double heading = -1;    // degrees clockwise from north; negative: none
  int32_t utc = 0;        // the fix's own time (UTC), 0 unknown
};

// The fix shown at a camera time: the last one at or before it, when it is
// at most 2 s older; nullptr when there is none.
const ZovOverlayFix* ZovFixAt(const std::vector<ZovOverlayFix>& fixes, double cameraTime);

// The texts of the strip.
struct ZovOverlayText {
  std::string time;      // "2024-05-17 08:03:12", with the GPS time where it disagrees
  std::string channel;   // "FRONT"
  std::string speed;     // "52 km/h", "32 mph"; "" without a fix
  std::string position;  // "N 39.90001  E 116.40001"; "" without a fix or with privacy
  std::string heading;   // "NE 45°"; "" without a heading
  double headingDegrees = -1;
};
// `shownTime` is the camera time corrected by `clock`; where the fix's GPS
// time of the same instant disagrees with it by more than the clock's
// tolerance, the GPS time (UTC) follows it: "2024-05-17 08:03:12 (GPS 06:03:40 UTC)".
ZovOverlayText ZovOverlayTextOf(double shownTime, const ZovOverlayFix* fix, const std::string& channel,
                                ZovSpeedUnit unit, bool withPosition, const ZovCameraClock& clock = {});

// Height of the strip on a picture `pictureHeight` tall (even, at least 16).
int ZovOverlayStripHeight(int pictureHeight);
// Draws the strip over the whole of `strip` (the picture's bottom rows as an
// RGB32 image): darkened, the time and channel at the left, speed, position
// and compass at the right, shrunk to fit the width.
void ZovDrawOverlayStrip(QImage& strip, const ZovOverlayText& text);
