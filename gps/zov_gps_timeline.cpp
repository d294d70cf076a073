#include "gps/zov_gps_timeline.h"

#include <algorithm>

void ZovSortByTime(ZovSideTrack& track) {
  std::stable_sort(track.fixes.begin(), track.fixes.end(),
                   [](const ZovSideFix& a, const ZovSideFix& b) { return a.timeMs < b.timeMs; });
}

namespace {

size_t FirstAtOrAfter(const ZovSideTrack& track, int64_t ms) {
  return size_t(std::lower_bound(track.fixes.begin(), track.fixes.end(), ms,
                                 [](const ZovSideFix& f, int64_t t) { return f.timeMs < t; }) -
                track.fixes.begin());
}

}  // namespace

ZovSideSlice ZovSliceByTime(const ZovSideTrack& track, int64_t startMs, int64_t durationMs) {
  ZovSideSlice s;
  if (durationMs <= 0) return s;
  s.first = FirstAtOrAfter(track, startMs);
  s.last = FirstAtOrAfter(track, startMs + durationMs);
  return s;
}

ZovSideSlice ZovSliceFrom(const ZovSideTrack& track, int64_t startMs, int64_t maxGapMs, int64_t maxMs) {
  ZovSideSlice s;
  s.first = s.last = FirstAtOrAfter(track, startMs);
  const auto& f = track.fixes;
  if (s.first >= f.size() || f[s.first].timeMs - startMs > maxGapMs) return s;
  s.last = s.first + 1;
  while (s.last < f.size() && f[s.last].timeMs - startMs < maxMs &&
         f[s.last].timeMs - f[s.last - 1].timeMs <= maxGapMs && f[s.last].segment == f[s.first].segment)
    ++s.last;
  return s;
}

GpsFixList ZovSideFixesForRecording(const ZovSideTrack& track, int64_t startMs, int64_t durationMs) {
  const ZovSideSlice s =
      durationMs >= 0 ? ZovSliceByTime(track, startMs, durationMs)
                      : ZovSliceFrom(track, startMs, zovtimeline::kMaxGapMs, zovtimeline::kMaxUnknownMs);
  if (s.empty()) return {};
  return ZovPlaceSideFixes(track, s.first, s.last, startMs);
}
