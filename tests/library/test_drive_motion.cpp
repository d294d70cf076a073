// The drive's motion for the timeline: the marks found in an acceleration
// series (table), the series built from a plan's tracks and its moments'
// G-sensor samples, the samples read by the real extractor from a recording's
// side file, and the reader's cancel while a read is under way.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <unistd.h>

#include "library/zov_drive_motion.h"
#include "tools/zovgpsfixture/zov_gps_fixture.h"

namespace {

using K = ZovMarkKind;

ZovAccelPoint D(int64_t ms, float g, int8_t trend) { return {ms, g, trend, false}; }  // from GPS speed
ZovAccelPoint M(int64_t ms, float g, int8_t trend) { return {ms, g, trend, true}; }   // G-sensor

struct DetectCase {
  const char* name;
  std::vector<ZovAccelPoint> series;
  std::vector<ZovMotionMark> marks;
};

TEST(DriveMotion, DetectsMarksAtTheirPeakAndIgnoresNoise) {
  const std::vector<DetectCase> cases = {
      {"braking run is one mark at its peak",
       {D(1000, 0.1f, -1), D(2000, 0.52f, -1), D(3000, 0.61f, -1), D(4000, 0.47f, -1), D(5000, 0.1f, -1)},
       {{K::kHardBraking, 3000, 0.61f}}},
      {"hard acceleration", {D(1000, 0.2f, 1), D(2000, 0.38f, 1), D(3000, 0.2f, 1)}, {{K::kHardAcceleration, 2000, 0.38f}}},
      {"impact from the sensor, any direction", {M(1000, 0.1f, 0), M(2000, 1.9f, 0), M(3000, 0.3f, 0)},
       {{K::kImpact, 2000, 1.9f}}},
      {"measured braking below the impact level", {M(5000, 1.2f, -1)}, {{K::kHardBraking, 5000, 1.2f}}},
      {"just under the thresholds", {D(1000, 0.44f, -1), D(2000, 0.34f, 1), M(3000, 1.5f, 0)}, {}},
      {"sensor jitter while cruising", {M(0, 0.2f, 1), M(1000, 0.3f, -1), M(2000, 0.25f, 0), M(3000, 0.33f, 1)}, {}},
      {"strong but steady speed is no manoeuvre", {M(1000, 0.8f, 0), D(2000, 0.8f, 0)}, {}},
      {"a GPS speed jump beyond tyre grip is a glitch", {D(1000, 1.4f, -1), D(2000, 1.4f, 1)}, {}},
      {"runs apart in time are two marks", {D(1000, 0.5f, -1), D(5000, 0.55f, -1)},
       {{K::kHardBraking, 1000, 0.5f}, {K::kHardBraking, 5000, 0.55f}}},
      {"impact then braking", {M(1000, 2.0f, -1), M(2000, 0.7f, -1)},
       {{K::kImpact, 1000, 2.0f}, {K::kHardBraking, 2000, 0.7f}}},
      {"braking interrupted by a calm point", {D(1000, 0.5f, -1), D(2000, 0.1f, -1), D(3000, 0.6f, -1)},
       {{K::kHardBraking, 1000, 0.5f}, {K::kHardBraking, 3000, 0.6f}}},
  };
  for (const DetectCase& c : cases) EXPECT_EQ(ZovDetectMarks(c.series), c.marks) << c.name;
}

TEST(DriveMotion, ThresholdsAreTheCitedOnes) {
  // 8 km/h within 150 ms.
  EXPECT_NEAR(kZovImpactG, 1.51, 0.005);
  EXPECT_LT(kZovHardAccelerationG, kZovHardBrakingG);
  EXPECT_LT(kZovHardBrakingG, kZovMaxTyreG);
}

// A moment of `seconds` fixes one a second at the given speeds (km/h).
ZovPlanMoment Moment(int64_t offsetMs, const std::vector<double>& kmh, ZovMode mode = ZovMode::kNormal) {
  ZovPlanMoment m;
  m.offsetMs = offsetMs;
  m.lengthMs = int64_t(kmh.size()) * 1000;
  m.mode = mode;
  m.lead = "/nowhere/moment.mp4";
  for (size_t i = 0; i < kmh.size(); ++i)
    m.track.push_back({48.0 + 0.0001 * double(i), 11.0, float(kmh[i] / 1.852), int32_t(1700000000 + i)});
  return m;
}

GsensorSample Sample(uint32_t second, float x, float y, float z) {
  GsensorSample s;
  s.index = second;
  s.accelX = x, s.accelY = y, s.accelZ = z;
  return s;
}

TEST(DriveMotion, BuildsFromSpeedWhereNoSensorAndFromTheSensorWhereOne) {
  ZovDrivePlan plan;
  // Moment 0: cruising at 50, a stop from 50 to 30 in one second (0.57 g) at second 5.
  plan.moments.push_back(Moment(0, {50, 50, 50, 50, 50, 30, 30, 30, 30, 30}));
  // Moment 1: steady; its sensor shows gravity on z and a 1.94 g knock at second 4.
  plan.moments.push_back(Moment(10000, {40, 40, 40, 40, 40, 40, 40, 40, 40, 40}));
  // Moment 2: the sensor field is there but holds zeros (a camera without one).
  // It starts 30 km/h faster than moment 1 ended (0.85 g if it were read
  // across the pause between them).
  plan.moments.push_back(Moment(20000, {70, 70, 70, 90, 70, 70, 70, 70, 70, 70}));

  std::vector<std::vector<GsensorSample>> samples(3);
  for (uint32_t s = 0; s < 10; ++s) samples[1].push_back(Sample(s, 0.1f, -0.2f, 9.8f));
  samples[1][4] = Sample(4, 0.1f + 19.0f, -0.2f, 9.8f);
  for (uint32_t s = 0; s < 10; ++s) samples[2].push_back(Sample(s, 0, 0, 0));

  const ZovDriveMotion motion = ZovBuildDriveMotion(plan, samples);
  EXPECT_EQ(motion.lengthMs, 30000);
  EXPECT_EQ(motion.measured, (std::vector<bool>{false, true, false}));
  EXPECT_TRUE(motion.anyDerived);
  ASSERT_EQ(motion.marks.size(), 4u);
  EXPECT_EQ(motion.marks[0].kind, K::kHardBraking);
  EXPECT_EQ(motion.marks[0].ms, 5000);
  EXPECT_NEAR(motion.marks[0].peakG, 20 / 3.6 / 9.80665, 0.01);
  EXPECT_EQ(motion.marks[1].kind, K::kImpact);
  EXPECT_EQ(motion.marks[1].ms, 14000);
  EXPECT_NEAR(motion.marks[1].peakG, 19.0 / 9.80665, 0.01);  // gravity taken out
  // Moment 2's speed spike up and back down: a hard acceleration, then a braking.
  EXPECT_EQ(motion.marks[2].kind, K::kHardAcceleration);
  EXPECT_EQ(motion.marks[2].ms, 23000);
  EXPECT_EQ(motion.marks[3].kind, K::kHardBraking);
  EXPECT_EQ(motion.marks[3].ms, 24000);
  // Away from the knock the sensor reads calm: gravity does not show as 1 g.
  for (const ZovAccelPoint& p : motion.accel) {
    if (p.measured && p.ms != 14000) {
      EXPECT_LT(p.g, 0.05f) << p.ms;
    }
  }
}

TEST(DriveMotion, ReadsTheSamplesOfARecordingThroughTheExtractor) {
  const std::string dir = std::filesystem::temp_directory_path() / ("zov_motion_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/DRIVE0001.txt";
  ZovFixtureTrack track = ZovFixtureDrive(12);
  for (auto& p : track) p.x = 0, p.y = 0, p.z = 9.8;
  track[6].x = 17.0;  // m/s^2 on the lateral axis: 1.73 g beyond gravity
  std::string error;
  ASSERT_TRUE(ZovWriteFixture(ZovFixtureLayout::kTextG3, "", path, track, {}, &error)) << error;

  const auto samples = CZovDriveMotionReader::ReadWithExtractor(path, [] { return false; });
  ASSERT_GE(samples.size(), 10u);
  ASSERT_TRUE(ZovHasSensorData(samples));

  auto plan = std::make_shared<ZovDrivePlan>();
  ZovPlanMoment m = Moment(0, std::vector<double>(12, 50.0));
  m.lead = path;
  plan->moments.push_back(m);
  std::mutex lock;
  std::condition_variable cv;
  std::shared_ptr<const ZovDriveMotion> got;
  {
    CZovDriveMotionReader reader;
    reader.Start(plan, [&](std::shared_ptr<const ZovDriveMotion> motion) {
      std::lock_guard<std::mutex> hold(lock);
      got = std::move(motion);
      cv.notify_all();
    });
    std::unique_lock<std::mutex> wait(lock);
    ASSERT_TRUE(cv.wait_for(wait, std::chrono::seconds(30), [&] { return got != nullptr; }));
  }
  EXPECT_EQ(got->measured, std::vector<bool>{true});
  ASSERT_EQ(got->marks.size(), 1u);
  EXPECT_EQ(got->marks[0].kind, K::kImpact);
  EXPECT_NEAR(got->marks[0].peakG, 17.0 / 9.80665, 0.02);
  std::filesystem::remove_all(dir);
}

TEST(DriveMotion, CancelEndsAReadUnderWayAndNothingIsHandedOver) {
  std::mutex lock;
  std::condition_variable cv;
  bool reading = false;
  int handed = 0;
  auto plan = std::make_shared<ZovDrivePlan>();
  plan->moments.push_back(Moment(0, {10, 10}));
  plan->moments.push_back(Moment(2000, {10, 10}));
  CZovDriveMotionReader reader([&](const std::string&, const std::function<bool()>& stop) {
    {
      std::lock_guard<std::mutex> hold(lock);
      reading = true;
    }
    cv.notify_all();
    while (!stop()) std::this_thread::yield();  // a long extraction that checks its stop
    return CZovDriveMotionReader::Samples{};
  });
  reader.Start(plan, [&](std::shared_ptr<const ZovDriveMotion>) { ++handed; });
  {
    std::unique_lock<std::mutex> wait(lock);
    ASSERT_TRUE(cv.wait_for(wait, std::chrono::seconds(10), [&] { return reading; }));
  }
  EXPECT_TRUE(reader.Running());
  reader.Cancel();
  EXPECT_FALSE(reader.Running());
  EXPECT_EQ(handed, 0);
}

}  // namespace
