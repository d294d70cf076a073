// Coded coordinates of one camera family back to decimal degrees. The code is
// linear: degrees = (value - offset) * scale, one pair for latitudes (kind 1)
// and one for everything else. No state, no allocation, no range checks.
#include "gps/zov_gps_format_constants.h"

extern "C" __attribute__((visibility("default"))) double changetoLatLon(double value, int kind) {
  if (kind == 1) return (value - kQorLatitudeOffset) * kQorLatitudeScale;
  return (value - kQorLongitudeOffset) * kQorLongitudeScale;
}
