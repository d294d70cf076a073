// Damaged and unusual recordings play to their end in about their own length:
// a transport stream with a one-hour clock jump or flipped bytes, MP4s with
// a broken video time table (one with an edit list), the first half of a
// file whose index comes first, RealMedia whose sound is all stamped 0, pictures
// that start after the sound, a sound-only MP3, and clips whose decoder holds
// pictures back until the end of input (every picture is presented). The
// clips play side by side, each on its own manager, to keep the test short.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/zov_media_play.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Case {
  const char* clip;
  double seconds;    // the recording's own length
  int64_t minShown;  // pictures that must be presented
  int64_t maxShown;
};

TEST(DamagedRecordings, EachPlaysToItsEndInAboutItsLength) {
  setenv("ZOV_AUDIO_DEVICE", "null", 1);
  const Case cases[] = {
      {"ts_jump.ts", 6, 145, 150},        // 3 s, a one-hour jump, 3 s
      {"ts_flipped.ts", 5, 100, 125},     // damaged pictures are not shown
      {"mp4_bad_stts.mp4", 4, 95, 100},   // pictures 10000 s apart in the table
      // ... 0x7fff0000 apart, hidden by the edit list measured with them
      {"mp4_stts_editlist.mp4", 4, 95, 100},
      // the first half of a file whose index comes first: 2 s promised,
      // pictures up to 0.9 s in the file
      {"truncated_faststart.mp4", 1, 20, 30},
      {"real_zero_audio.rm", 3, 70, 75},  // sound stamped 0 throughout
      {"video_late.mp4", 5, 50, 50},      // pictures from 3 s to 5 s
      {"sound_only.mp3", 4, 0, 0},
      {"held_h264.mp4", 2, 60, 60},  // B-frames and threads hold pictures back
      {"held_hevc.mp4", 2, 60, 60},
      {"held_mpeg4.avi", 2, 60, 60},
  };
  struct Run {
    std::unique_ptr<CZovMediaPlay> play;
    double endedAfter = -1;
    int maxPosition = -1;
  };
  std::vector<Run> runs;
  const auto start = Clock::now();
  for (const Case& c : cases) {
    Run r;
    r.play = std::make_unique<CZovMediaPlay>();
    r.play->startSettleMs = 0;
    ASSERT_EQ(r.play->Open(zovtest::Fixture(c.clip).c_str()), 0) << c.clip;
    r.play->StartAll();
    runs.push_back(std::move(r));
  }
  auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  zovtest::WaitUntil(
      [&] {
        bool all = true;
        for (Run& r : runs) {
          if (r.endedAfter >= 0) continue;
          if (r.play->GetState() == 0) {
            r.endedAfter = seconds();
          } else {
            r.maxPosition = std::max(r.maxPosition, r.play->GetPositionSeconds());
            all = false;
          }
        }
        return all;
      },
      20000);
  for (size_t i = 0; i < runs.size(); ++i) {
    const Case& c = cases[i];
    Run& r = runs[i];
    CZovBaseCheduler* s = r.play->players[0]->scheduler.get();
    EXPECT_GE(r.endedAfter, 0) << c.clip << " never ended";
    // Its own length (less what the pre-buffer and the end rule shave off),
    // plus a few seconds for a machine busy with the other clips.
    EXPECT_GE(r.endedAfter, c.seconds - 0.6) << c.clip << " played too fast";
    EXPECT_LE(r.endedAfter, c.seconds + 4) << c.clip;
    EXPECT_GE(s->presentedVideo, c.minShown) << c.clip;
    EXPECT_LE(s->presentedVideo, c.maxShown) << c.clip;
    EXPECT_GE(r.maxPosition, static_cast<int>(c.seconds) - 2) << c.clip;
    r.play->StopAll();
  }
}

// A sound-only recording: its sound is the clock, it reports its length,
// pauses, seeks and plays to its end; there is no picture.
TEST(SoundOnlyRecording, PlaysPausesAndSeeks) {
  setenv("ZOV_AUDIO_DEVICE", "null", 1);
  CZovMediaPlay play;
  play.startSettleMs = 0;
  ASSERT_EQ(play.Open(zovtest::Fixture("sound_only.mp3").c_str()), 0);
  EXPECT_EQ(play.GetDurationSeconds(), 4);
  play.StartAll();
  CZovBasePlayer* p = play.players[0].get();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return p->scheduler->presentedAudio > 10; }, 3000));
  EXPECT_EQ(p->scheduler->videoMaster, 0);
  play.PauseAll();
  EXPECT_EQ(play.GetState(), 2);
  const int64_t frozen = p->scheduler->presentedAudio;
  EXPECT_TRUE(zovtest::StaysFalse([&] { return p->scheduler->presentedAudio != frozen; }, 100));
  play.SeekAll(2000);
  EXPECT_EQ(play.GetState(), 2);  // a seek keeps the pause
  play.ResumeAll();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.GetPositionSeconds() >= 2; }, 3000));
  EXPECT_LE(play.GetPositionSeconds(), 3);
  const auto seekDone = Clock::now();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.GetState() == 0; }, 6000));
  const double rest = std::chrono::duration<double>(Clock::now() - seekDone).count();
  EXPECT_GE(rest, 1.0);  // the last two seconds play at their own pace
  EXPECT_LE(rest, 4.0);
  EXPECT_EQ(p->scheduler->presentedVideo, 0);
  EXPECT_GT(p->audioOutput->writtenBuffers, 50);
}

}  // namespace
