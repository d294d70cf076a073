#include "gps/zov_track_outline.h"

bool ZovInsideMainland(float latitude, float longitude) {
  if (latitude < kZovOutlineMinLatitude || latitude > kZovOutlineMaxLatitude ||
      longitude < kZovOutlineMinLongitude || longitude > kZovOutlineMaxLongitude)
    return false;
  bool odd = false;
  for (int i = 0; i + 1 < kZovOutlineVertices; ++i) {
    const ZovOutlineVertex& a = kZovMainlandOutline[i];
    const ZovOutlineVertex& b = kZovMainlandOutline[i + 1];
    const bool between = (a.latitude < latitude && latitude < b.latitude) ||
                         (b.latitude < latitude && latitude < a.latitude);
    if (between && longitude < a.longitude) odd = !odd;
  }
  return odd;
}
