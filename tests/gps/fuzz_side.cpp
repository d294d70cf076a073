// Fuzz target of the side-file layouts: the first byte picks the layout, the
// rest is parsed as a whole side file; the fixes are then sorted, cut by time
// and placed as the extractor and the library do, and the same bytes are read
// as an accelerometer sidecar and sniffed for their layout.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "gps/zov_gps_side.h"
#include "gps/zov_gps_timeline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ZovSideLayout kLayouts[] = {ZovSideLayout::kNmea, ZovSideLayout::kStampedNmea,
                                           ZovSideLayout::kDayLog, ZovSideLayout::kSubtitle, ZovSideLayout::kGpx};
  if (size < 1) return 0;
  const ZovSideLayout layout = kLayouts[data[0] % 5];
  ZovSideTrack track;
  ZovParseSideText(layout, data + 1, size - 1, track);
  track.accel = ZovParseAccelSidecar(data + 1, size - 1);
  const int64_t origin = track.fixes.empty() ? 0 : track.fixes.front().timeMs;
  const GpsFixList placed = ZovPlaceSideFixes(track, 0, track.fixes.size(), origin);
  // Placed fixes come one a second, in increasing seconds.
  for (size_t i = 1; i < placed.size(); ++i)
    if (placed[i].index <= placed[i - 1].index) {
      std::fprintf(stderr, "placed seconds not increasing at %zu\n", i);
      __builtin_trap();
    }
  ZovSortByTime(track);
  const ZovSideSlice s = ZovSliceByTime(track, origin, 60000);
  if (s.last > track.fixes.size()) __builtin_trap();
  ZovSideFixesForRecording(track, origin, -1);
  ZovSideLayoutOfContent(data, size);
  return 0;
}
