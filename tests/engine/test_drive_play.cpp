// A drive through the engine's interface, on real clips decoded by FFmpeg
// with sound on ALSA's "null" device and views without a window: moments of
// two channels one after the other (one of another size and frame rate whose
// rear file is no recording, one whose front file is unplayable), the change
// of moment with the next one standing by against the change without, seeks
// across moments, and a long drive that opens only what plays.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "engine/zov_engine.h"
#include "engine/zov_media_play.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

using zovtest::WaitUntil;

constexpr int64_t kMomentMs = 1500;
// The engine is polled as a window polls it on its clock tick, here every
// 700 ms: a step that does not divide the moments' length, so the poll after
// a moment's end comes hundreds of ms after its last picture (with 500 ms
// the polls would fall in step with the 1.5 s moments, just after each end).
// The change of moment must not wait for the poll.
constexpr int kPollMs = 700;
// The goal for the change of moment: wall time from the last picture of a
// moment to the first of the next on the main channel.
constexpr int64_t kGapGoalMs = 100;

class DrivePlay : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ZOV_AUDIO_DEVICE", "null", 1); }
  void TearDown() override { engine.Stop(); }

  static ZovDriveMoment Moment(std::vector<std::string> names) {
    ZovDriveMoment m;
    for (const std::string& n : names) m.paths.push_back(zovtest::Fixture(n));
    m.lengthMs = kMomentMs;
    return m;
  }

  // Five moments: two channels; another size and frame rate with a rear
  // file that is no recording; an unplayable front; two channels twice.
  std::vector<ZovDriveMoment> Drive() const {
    return {Moment({"drive_a_front.mp4", "drive_a_rear.mp4"}), Moment({"drive_b_front.mp4", "drive_b_rear.mp4"}),
            Moment({"drive_x_front.mp4", "drive_a_rear.mp4"}), Moment({"drive_c_front.mp4", "drive_c_rear.mp4"}),
            Moment({"drive_a_front.mp4", "drive_a_rear.mp4"})};
  }

  // Plays the drive to its end, polling as the play window does; the
  // figures at the end.
  ZovDriveFigures PlayToEnd(int pollMs) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20 * zovtest::Slowdown());
    std::vector<size_t> seen;
    while (engine.State() != ZovPlayState::kStopped && std::chrono::steady_clock::now() < giveUp) {
      if (seen.empty() || seen.back() != engine.DriveMoment()) seen.push_back(engine.DriveMoment());
      std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    EXPECT_EQ(engine.State(), ZovPlayState::kStopped) << "the drive did not end";
    seenMoments = seen;
    return engine.DriveFigures();
  }

  CZovMediaPlay play;
  CZovEngine engine{&play};
  std::vector<size_t> seenMoments;
};

TEST_F(DrivePlay, PlaysEveryMomentAndChangesWithoutAGapOnlyWhenTheNextStandsBy) {
  // Pictures in the files: 45 + 38 + 45 + 45 fronts, 45 + 45 + 45 rears.
  constexpr int64_t kFront = 45 + 38 + 45 + 45;
  constexpr int64_t kRear = 45 + 45 + 45;
  struct Case {
    bool preload;
    const char* what;
  };
  for (const Case c : {Case{true, "next moment standing by"}, Case{false, "next moment opened at the end"}}) {
    SCOPED_TRACE(c.what);
    play.preloadNext = c.preload;
    ASSERT_TRUE(engine.OpenDrive(Drive(), 0, 0));
    EXPECT_TRUE(engine.IsDrive());
    EXPECT_EQ(engine.LengthMs(), 5 * kMomentMs);
    EXPECT_EQ(engine.ChannelCount(), 2);
    engine.Play();
    const ZovDriveFigures f = PlayToEnd(kPollMs);
    EXPECT_EQ(f.momentsPlayed, 4);
    EXPECT_EQ(f.momentsSkipped, 1) << "the moment with the unplayable front is stepped over";
    EXPECT_EQ(f.changes, 3);
    // Every moment's pictures, whatever their size and rate; the rear of
    // the second moment is no recording and stops nothing.
    EXPECT_GE(f.channels[0].presented, kFront * 95 / 100);
    EXPECT_LE(f.channels[0].presented, kFront);
    // Rear pictures of every moment that has one (a rear that falls
    // behind under load drops pictures to keep the main channel's time).
    EXPECT_GT(f.channels[1].presented, kRear * 2 / 3);
    EXPECT_LE(f.channels[1].presented, kRear);
    if (c.preload) {
      EXPECT_LE(f.largestGapMs, kGapGoalMs);
      EXPECT_GE(f.largestGapMs, 0);
      // A rear picture is shown on the main channel's time: never later
      // than its drop limit on a clock that starts again when it drifts
      // from the main channel's last reading (at most kFreshMs old). A rear
      // left on the moment before, or not following, is seconds off.
      EXPECT_GT(f.offsetsMeasured, 0);
      EXPECT_LE(f.largestOffsetMs, CZovBaseCheduler::kLeaderDriftMs + CZovBaseCheduler::kCatchUpDropMs +
                                       ZovPlayhead::kFreshMs);
    } else {
      // Without a moment standing by, a change waits for the poll and the
      // opening: past the goal.
      EXPECT_GT(f.largestGapMs, kGapGoalMs);
    }
    engine.Stop();
  }
}

TEST_F(DrivePlay, SeeksAcrossMomentsToTheRightMomentAndSecond) {
  // Started in the second moment, 700 ms in.
  ASSERT_TRUE(engine.OpenDrive(Drive(), 1, 700));
  EXPECT_EQ(engine.DriveMoment(), 1u);
  engine.Play();
  ASSERT_TRUE(WaitUntil([&] { return engine.PresentedCount(0) > 2; }, 5000));
  EXPECT_GE(engine.PositionMs(), kMomentMs + 500);
  EXPECT_LT(engine.PositionMs(), 2 * kMomentMs);

  struct Case {
    int64_t target;
    size_t moment;
  };
  // Into the last moment, back into the first, and into the unplayable
  // third (the moment after it plays from its start).
  for (const Case c : {Case{3 * kMomentMs + 400, 3}, Case{300, 0}, Case{2 * kMomentMs + 200, 3}}) {
    SCOPED_TRACE(c.target);
    engine.Seek(c.target);
    EXPECT_EQ(engine.DriveMoment(), c.moment);
    const int64_t start = int64_t(c.moment) * kMomentMs;
    ASSERT_TRUE(WaitUntil([&] { return engine.PresentedCount(0) > 2; }, 5000));
    const int64_t at = engine.PositionMs();
    EXPECT_GE(at, c.target > start ? c.target - 100 : start);
    EXPECT_LT(at, start + kMomentMs);
  }
  // Within the playing moment nothing is reopened.
  CZovDemuxer* media = engine.MainMedia();
  engine.Seek(3 * kMomentMs + 100);
  EXPECT_EQ(engine.MainMedia(), media);
  EXPECT_EQ(engine.DriveMoment(), 3u);
}

TEST_F(DrivePlay, ALongDriveOpensOnlyThePlayingMoment) {
  std::vector<ZovDriveMoment> moments;
  for (int i = 0; i < 300; ++i) moments.push_back(Moment({"drive_a_front.mp4", "drive_a_rear.mp4"}));
  ASSERT_TRUE(engine.OpenDrive(moments, 150, 0));
  EXPECT_EQ(engine.DriveMoment(), 150u);
  EXPECT_EQ(engine.LengthMs(), 300 * kMomentMs);
  EXPECT_EQ(engine.ChannelCount(), 2);
  EXPECT_EQ(play.standby[0], nullptr) << "nothing stands by before the moment nears its end";
  engine.Play();
  // Near its end the next moment stands by, and only that one.
  ASSERT_TRUE(WaitUntil([&] { engine.State(); return play.standby[0] != nullptr; }, 5000));
  EXPECT_NE(play.standby[1], nullptr);
  EXPECT_EQ(play.standby[2], nullptr);
  ASSERT_TRUE(WaitUntil([&] { engine.State(); return engine.DriveMoment() == 151u; }, 5000));
}

}  // namespace
