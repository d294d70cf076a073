// The drive as the player plays it: the drive clock, the channels that play
// together, and the track on the drive clock.
#include <gtest/gtest.h>

#include "library/zov_drive_plan.h"

namespace {

ZovRecording Rec(const std::string& path, double seconds, std::vector<ZovTrackPoint> track = {}) {
  ZovRecording r;
  r.path = path;
  r.facts.playable = true;
  r.facts.seconds = seconds;
  r.track = std::move(track);
  return r;
}

// Three moments: 60 s front+rear with a timed track, 30.5 s rear+front
// without fixes, 60 s front whose untimed track jumps 5 km away.
ZovLibrary ThreeMoments() {
  ZovLibrary lib;
  lib.recordings = {
      Rec("/c/a_F.mp4", 60, {{50.0, 8.0, 10, 1000}, {50.0001, 8.0, 10, 1001}, {50.0002, 8.0, 10, 1030}}),
      Rec("/c/a_R.mp4", 60),
      Rec("/c/b_R.mp4", 30.5),
      Rec("/c/b_F.mp4", 30.5),
      Rec("/c/c_F.mp4", 60, {{50.05, 8.0, 20, 0}, {50.0501, 8.0, 20, 0}}),
  };
  ZovDrive d;
  d.moments.resize(3);
  d.moments[0].channels = {{"front", 0}, {"rear", 1}};
  d.moments[1].channels = {{"rear", 2}, {"front", 3}};
  d.moments[2].channels = {{"front", 4}};
  lib.drives = {d};
  return lib;
}

TEST(DrivePlan, MomentsFollowEachOtherOnOneClock) {
  const ZovDrivePlan plan = ZovPlanDriveOfPath(ThreeMoments(), "/c/b_F.mp4");
  ASSERT_EQ(plan.moments.size(), 3u);
  EXPECT_EQ(plan.moments[1].offsetMs, 60000);
  EXPECT_EQ(plan.moments[2].offsetMs, 90500);
  EXPECT_EQ(plan.LengthMs(), 150500);
  EXPECT_EQ(plan.moments[1].channels.front().key, "front");  // front first whatever the order
  EXPECT_EQ(plan.MomentOfPath("/c/b_F.mp4"), 1u);
  EXPECT_EQ(plan.MomentOfPath("/c/b_R.mp4"), 3u);  // not a lead
  const struct {
    int64_t ms;
    size_t moment;
    int64_t within;
  } cases[] = {{-5, 0, 0}, {0, 0, 0}, {59999, 0, 59999}, {60000, 1, 0}, {90499, 1, 30499},
               {90500, 2, 0}, {150500, 2, 59999}, {999999, 2, 59999}};
  for (const auto& c : cases) {
    int64_t within = -1;
    EXPECT_EQ(plan.MomentAt(c.ms, &within), c.moment) << c.ms;
    EXPECT_EQ(within, c.within) << c.ms;
  }
  EXPECT_TRUE(ZovPlanDriveOfPath(ThreeMoments(), "/c/none.mp4").moments.empty());
}

TEST(DrivePlan, PlayedChannelsAreAtMostThreeMainFirstPreferredKept) {
  ZovPlanMoment m;
  for (const char* key : {"left", "interior", "rear", "front", "right"}) m.channels.push_back({key, key});
  const struct {
    std::vector<std::string> preferred;
    std::vector<std::string> played;
  } cases[] = {
      {{}, {"front", "rear", "interior"}},
      {{"left", "right"}, {"left", "right"}},
      {{"gone", "right"}, {"right"}},
      {{"gone"}, {"front", "rear", "interior"}},
      {{"right", "left", "front", "rear"}, {"right", "left", "front"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> keys;
    for (const ZovPlanChannel& ch : ZovPlayedChannels(m, c.preferred)) keys.push_back(ch.key);
    EXPECT_EQ(keys, c.played);
  }
}

TEST(DrivePlan, TrackIsOnTheDriveClockWithGapsAsGaps) {
  const ZovDrivePlan plan = ZovPlanDriveOfPath(ThreeMoments(), "/c/a_F.mp4");
  const auto track = ZovDriveTrack(plan);
  // The second moment has no fixes and the third lies 5 km away: two segments.
  ASSERT_EQ(track.size(), 2u);
  ASSERT_EQ(track[0].size(), 3u);
  EXPECT_EQ(track[0][1].ms, 1000);
  EXPECT_EQ(track[0][2].ms, 30000);
  ASSERT_EQ(track[1].size(), 2u);
  EXPECT_EQ(track[1][0].ms, 90500);          // untimed fixes spread over the moment
  EXPECT_EQ(track[1][1].ms, 90500 + 30000);
  EXPECT_EQ(ZovNearestDriveMs(track, 50.00021, 8.0), 30000);
  EXPECT_EQ(ZovNearestDriveMs(track, 50.0502, 8.0), 120500);
  EXPECT_EQ(ZovNearestDriveMs({}, 50, 8), -1);
}


// A drive position as camera time and as the windows show it, and the drive
// an export of the playing drive reads.
TEST(DrivePlan, CameraTimeAndClockTextOfADrivePosition) {
  ZovLibrary lib = ThreeMoments();
  const int64_t k0800 = 1715932800;  // 2024-05-17 08:00:00 on the camera clock
  lib.drives[0].moments[0].start = k0800;
  lib.drives[0].moments[1].start = k0800 + 65;  // a 5 s pause left out of the drive clock
  // moment 2 keeps no start
  EXPECT_EQ(ZovDriveIndexOfPath(lib, "/c/b_F.mp4"), 0);
  EXPECT_EQ(ZovDriveIndexOfPath(lib, "/c/b_R.mp4"), -1) << "not a lead";
  const ZovDrivePlan plan = ZovPlanDriveOfPath(lib, "/c/a_F.mp4");
  // The first moment's fixes carry GPS seconds 1000, 1001, 1030 (UTC).
  const ZovCameraClock nudged{"UTC", 0, 2000};
  const ZovCameraClock corrected{"UTC", -3600, 0};
  const struct {
    int64_t ms;
    ZovCameraClock clock;
    std::optional<double> camera;
    const char* text;
  } cases[] = {
      {0, {"UTC", 0, 0}, k0800, "08:00:00 (GPS 00:16:40 UTC)"},
      {1500, {"UTC", 0, 0}, k0800 + 1.5, "08:00:01 (GPS 00:16:41 UTC)"},
      // The nudge: the fix shown with the picture at 3.5 s was written at 1.5 s.
      {3500, nudged, k0800 + 3.5, "08:00:03 (GPS 00:16:41 UTC)"},
      // Before the first fix with the nudge: no GPS time.
      {1000, nudged, k0800 + 1, "08:00:01"},
      {60000, corrected, k0800 + 65, "07:01:05"},  // no fixes in the second moment
      {100000, {"UTC", 0, 0}, std::nullopt, ""},   // the third moment's start is unknown
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    EXPECT_EQ(ZovCameraSecondsAt(plan, c.ms), c.camera);
    EXPECT_EQ(ZovDriveClockText(plan, c.ms, c.clock), c.text);
  }
  EXPECT_FALSE(ZovCameraSecondsAt(ZovDrivePlan{}, 0));
}

}  // namespace
