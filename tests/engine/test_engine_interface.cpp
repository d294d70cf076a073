// The engine through the interface the windows use, on a real 8 s clip with a
// key frame every second, sound on ALSA's "null" device, views without a
// window: refusals, play, a seek in milliseconds, the paused still, a paused seek, the
// counters, and what a stopped engine answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/zov_engine.h"
#include "engine/zov_media_play.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

using zovtest::WaitUntil;

class EngineInterface : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ZOV_AUDIO_DEVICE", "null", 1); }
  void TearDown() override { engine.Stop(); }

  void ExpectStopped() {
    EXPECT_FALSE(engine.IsStarted());
    EXPECT_EQ(engine.State(), ZovPlayState::kStopped);
    EXPECT_EQ(engine.ChannelCount(), 0);
    EXPECT_EQ(engine.PositionMs(), -1);
    ZovStill still;
    EXPECT_FALSE(engine.StillOf(0, &still));
    EXPECT_EQ(engine.Counters(0).presented, 0);
    EXPECT_EQ(engine.MainMedia(), nullptr);
  }

  CZovMediaPlay play;
  CZovEngine engine{&play};
  const std::string clip = zovtest::Fixture("play_8s_gop30.mp4");
};

TEST_F(EngineInterface, RefusesWhatItCannotOpenAndIsStoppedThen) {
  const std::vector<std::vector<std::string>> refused = {
      {}, {clip, clip, clip, clip}, {"/nonexistent/clip.mp4"}, {"/dev/null"}};
  for (const auto& paths : refused) {
    EXPECT_FALSE(engine.Open(paths)) << paths.size() << " paths";
    engine.Play();  // nothing to start
    ExpectStopped();
  }
}

TEST_F(EngineInterface, PlaysSeeksInMillisecondsAndShowsThePausedTarget) {
  ASSERT_TRUE(engine.Open({clip, clip}));
  EXPECT_EQ(engine.ChannelCount(), 2);
  EXPECT_FALSE(engine.IsStarted()) << "opened, not started";
  EXPECT_EQ(engine.LengthMs(), 8000);
  const ZovMediaInfo info = CZovEngine::MediaInfoOf(engine.MainMedia());
  EXPECT_TRUE(info.open);
  EXPECT_EQ(info.width, 320);
  EXPECT_EQ(info.height, 240);
  EXPECT_EQ(info.frameRate, 30);
  EXPECT_FALSE(info.audioCodec.empty());

  engine.Play();
  EXPECT_TRUE(engine.IsStarted());
  EXPECT_EQ(engine.State(), ZovPlayState::kPlaying);
  ASSERT_TRUE(WaitUntil([&] { return engine.PresentedCount(0) > 5 && engine.PresentedCount(1) > 5; }, 5000));

  // The target reads back to the millisecond at once: nothing rounds it.
  engine.Seek(2500);
  EXPECT_EQ(engine.PositionMs(), 2500);
  ASSERT_TRUE(WaitUntil([&] { return engine.PositionMs() >= 3100; }, 5000));
  EXPECT_LT(engine.PositionMs(), 6000);

  // Paused, the next queued picture is the still the panes show; a seek
  // keeps the pause and presents one picture of the target.
  engine.Pause();
  EXPECT_EQ(engine.State(), ZovPlayState::kPaused);
  ZovStill still;
  ASSERT_TRUE(engine.StillOf(0, &still));
  EXPECT_EQ(still.width, 320);
  EXPECT_EQ(still.height, 240);
  EXPECT_EQ(still.bgr.size(), size_t(320 * 240 * 3));
  EXPECT_FALSE(engine.StillOf(2, &still)) << "no third channel";
  const int64_t shown = engine.PresentedCount(0);
  engine.Seek(6200);
  EXPECT_EQ(engine.PositionMs(), 6200);
  ASSERT_TRUE(WaitUntil([&] { return engine.PresentedCount(0) > shown; }, 5000));
  EXPECT_EQ(engine.State(), ZovPlayState::kPaused);
  EXPECT_GE(engine.PositionMs(), 6000);
  EXPECT_LE(engine.PositionMs(), 7100);

  const ZovChannelFigures main = engine.Counters(0);
  EXPECT_EQ(main.seeks, 2);
  EXPECT_EQ(main.presented, engine.PresentedCount(0));
  EXPECT_EQ(engine.Counters(1).seeks, 2) << "every channel seeks";

  engine.Play();  // resumes
  EXPECT_EQ(engine.State(), ZovPlayState::kPlaying);
  engine.Stop();
  ExpectStopped();
}

}  // namespace
