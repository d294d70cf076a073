// What the timeline does on the user-interface thread when a drive starts
// (ZovBuildDriveMotion from the plan alone: speed, GPS-derived acceleration,
// marks) against its peer, the drive's track as the map page builds it
// (ZovDriveTrack), for a drive of 1 and of 300 one-minute moments. Prints
// milliseconds per drive and the ratios; the G-sensor read runs later on the
// reader's worker thread and is not part of it.
#include <chrono>
#include <cmath>
#include <cstdio>

#include "library/zov_drive_motion.h"

namespace {

ZovDrivePlan Drive(int moments) {
  ZovDrivePlan plan;
  for (int k = 0; k < moments; ++k) {
    ZovPlanMoment m;
    m.offsetMs = 60000LL * k;
    m.lengthMs = 60000;
    m.lead = "/bench/" + std::to_string(k) + ".mp4";
    for (int s = 0; s < 60; ++s) {
      const double kmh = 50 + 30 * std::sin((k * 60 + s) / 15.0);
      m.track.push_back({48.1 + 0.0002 * (k * 60 + s), 11.5, float(kmh / 1.852), int32_t(1715932800 + s)});
    }
    plan.moments.push_back(std::move(m));
  }
  return plan;
}

template <typename F>
double MsPerRun(F run, int runs) {
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < runs; ++i) run();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / runs;
}

}  // namespace

int main() {
  size_t sink = 0;
  double motion[2], track[2];
  const int sizes[2] = {1, 300};
  for (int i = 0; i < 2; ++i) {
    const ZovDrivePlan plan = Drive(sizes[i]);
    const int runs = sizes[i] == 1 ? 2000 : 20;
    motion[i] = MsPerRun([&] { sink += ZovBuildDriveMotion(plan, {}).accel.size(); }, runs);
    track[i] = MsPerRun([&] { sink += ZovDriveTrack(plan).size(); }, runs);
    std::printf("%3d moments: timeline %.3f ms, map track (peer) %.3f ms, ratio %.2f\n", sizes[i], motion[i],
                track[i], motion[i] / track[i]);
  }
  std::printf("300 moments against 1: timeline x%.0f, map track x%.0f (%zu)\n", motion[1] / motion[0],
              track[1] / track[0], sink % 10);
  return 0;
}
