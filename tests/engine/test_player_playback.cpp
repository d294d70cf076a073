// Players and the media-play manager in real time on the fixture clips (each
// case plays at most about 3 s), with sound on ALSA's "null" device. The
// views have no window here; the window test draws into a real one.
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <chrono>
#include <mutex>
#include <thread>
#include <typeinfo>

#include "engine/zov_d3d11va_player.h"
#include "engine/zov_dxva_player.h"
#include "engine/zov_media_play.h"
#include "engine/zov_read_thread.h"
#include "engine/zov_report.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace {

using Clock = std::chrono::steady_clock;

using zovtest::StaysFalse;
using zovtest::WaitUntil;


class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZOV_AUDIO_DEVICE", "null", 1);
    play.startSettleMs = 0;
  }
  void TearDown() override { play.StopAll(); }
  static std::string Clip(const char* name) { return zovtest::Fixture(name); }
  CZovBaseCheduler* Sched(int channel) { return play.players[channel]->scheduler.get(); }

  CZovMediaPlay play;
};

TEST_F(PlayerTest, PlaysToTheEndAtTheRightSpeed) {
  const std::string clip = Clip("h264_aac48_30fps.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  EXPECT_EQ(play.channelCount, 1);
  EXPECT_EQ(play.GetDurationSeconds(), 2);
  const auto start = Clock::now();
  play.StartAll();
  EXPECT_EQ(play.GetState(), 1);
  int maxPosition = -1;
  ASSERT_TRUE(WaitUntil(
      [&] {
        if (play.GetState() != 0) maxPosition = std::max(maxPosition, play.GetPositionSeconds());
        return play.GetState() == 0;
      },
      6000));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // 2 s of media at speed 1, plus pre-buffering.
  EXPECT_GT(seconds, 1.6);
  EXPECT_LT(seconds, 3.5);
  // The last pictures may still be shown after the sound's clock passed 2 s.
  EXPECT_GE(maxPosition, 1);
  EXPECT_LE(maxPosition, 2);
  EXPECT_EQ(Sched(0)->videoMaster, 0);  // 30 fps + AAC: sound is the master
  EXPECT_GE(Sched(0)->presentedVideo, 45);
  EXPECT_GT(Sched(0)->presentedAudio, 60);
  EXPECT_GT(play.players[0]->audioOutput->writtenBuffers, 60);
  EXPECT_EQ(play.GetPositionSeconds(), CZovBasePlayer::kStoppedPosition);
}

TEST_F(PlayerTest, SixtyFramesPerSecondWithoutSoundPlaysOnVideo) {
  const std::string clip = Clip("h264_60fps_noaudio.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return play.GetState() == 0; }, 6000));
  EXPECT_EQ(Sched(0)->videoMaster, 1);
  EXPECT_GE(Sched(0)->presentedVideo, 100);
  EXPECT_EQ(play.players[0]->audioOutput->HasDevice(), false);
}

TEST_F(PlayerTest, PauseFreezesAndResumeGoesOn) {
  const std::string clip = Clip("play_8s_gop30.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > 10; }, 3000));
  play.PauseAll();
  EXPECT_EQ(play.GetState(), 2);
  const int64_t frozen = Sched(0)->presentedVideo;
  const int position = play.GetPositionSeconds();
  EXPECT_TRUE(StaysFalse([&] { return Sched(0)->presentedVideo != frozen; }, 300));
  EXPECT_EQ(Sched(0)->presentedVideo, frozen);
  EXPECT_EQ(play.GetPositionSeconds(), position);
  play.ResumeAll();
  EXPECT_EQ(play.GetState(), 1);
  EXPECT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > frozen + 5; }, 2000));
}

TEST_F(PlayerTest, SeekShowsPicturesFromTheTarget) {
  const std::string clip = Clip("play_8s_gop30.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > 5; }, 3000));
  play.SeekAll(5000);
  EXPECT_EQ(play.players[0]->seeks, 1);
  EXPECT_EQ(play.GetPositionSeconds(), 5);  // the target reads at once
  // Once the scheduler holds for the seek, no picture from before it is
  // shown, and the clock never goes back there (a picture the scheduler
  // held for its time would be).
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->AppliedSeekSerial() == 1; }, 2000));
  const int64_t before = Sched(0)->presentedVideo;
  int64_t earliest = Sched(0)->clockMs;
  ASSERT_TRUE(WaitUntil([&] {
    earliest = std::min<int64_t>(earliest, Sched(0)->clockMs);
    if (Sched(0)->presentedVideo > before) earliest = std::min<int64_t>(earliest, Sched(0)->lastVideoMediaMs);
    return Sched(0)->presentedVideo > before + 3;
  }, 2500));
  EXPECT_GE(earliest, 4900);
  // Pictures now come from the key frame at (or just before) second 5.
  EXPECT_GE(Sched(0)->clockMs, 4900);
  EXPECT_LT(Sched(0)->clockMs, 7000);
  EXPECT_EQ(play.GetPositionSeconds() >= 5, true);
  EXPECT_EQ(play.GetState(), 1);
}

TEST_F(PlayerTest, SeekBackFromTheEndForgetsTheEnd) {
  const std::string clip = Clip("play_8s_gop30.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > 3; }, 3000));
  CZovMediaQueue* queue = play.players[0]->queue.get();
  // As if the reader had met the end and the play window had polled since.
  queue->endState = kZovQueueAtEnd;
  queue->draining = 1;
  play.SeekAll(1000);  // seven seconds left: more than the reader reads ahead
  // Polled while the seek is carried out, the old end never stops playback.
  ASSERT_TRUE(WaitUntil([&] { return play.GetState() == 1 && Sched(0)->AppliedSeekSerial() == 1 && !Sched(0)->holdFlag; }, 3000));
  EXPECT_EQ(queue->endState, 0);
  EXPECT_EQ(queue->draining, 0);
  EXPECT_TRUE(StaysFalse([&] { return play.GetState() != 1; }, 300));
}

TEST_F(PlayerTest, SeekWhilePausedShowsTheTargetPictureAndStaysPaused) {
  const std::string clip = Clip("play_8s_gop30.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > 3; }, 3000));
  play.PauseAll();
  const int64_t shown = Sched(0)->presentedVideo;
  play.SeekAll(5000);
  EXPECT_EQ(play.GetState(), 2);
  EXPECT_EQ(play.GetPositionSeconds(), 5);
  // One picture, from the key frame at second 5, and then nothing more.
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > shown; }, 3000));
  EXPECT_GE(Sched(0)->lastVideoMediaMs, 4900);
  EXPECT_LE(Sched(0)->lastVideoMediaMs, 6100);
  EXPECT_TRUE(StaysFalse([&] { return Sched(0)->presentedVideo > shown + 1; }, 300));
  EXPECT_EQ(play.GetState(), 2);
  EXPECT_EQ(play.GetPositionSeconds(), 5);
  // Resumed, it plays on from there.
  play.ResumeAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > shown + 10; }, 3000));
  EXPECT_GE(Sched(0)->lastVideoMediaMs, 5000);
}

// Seeks come faster than they are carried out (a held arrow key, a dragged
// bar): each call returns at once, the position reads the latest target,
// and the pictures come from the last one only.
TEST_F(PlayerTest, SeeksReturnAtOnceAndCoalesceToTheLast) {
  const std::string clip = Clip("play_8s_gop30.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > 3; }, 3000));
  CZovReadThread* reader = play.players[0]->readThread.get();
  int64_t longestUs = 0;
  for (int second : {1, 2, 3, 4, 5, 6, 2, 6}) {
    const auto start = Clock::now();
    play.SeekAll(second * 1000);
    longestUs = std::max<int64_t>(longestUs, std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count());
    EXPECT_EQ(play.GetPositionSeconds(), second);
  }
  EXPECT_LT(longestUs, 5000);
  EXPECT_EQ(play.players[0]->seeks, 8);
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->AppliedSeekSerial() == 8 && !Sched(0)->holdFlag; }, 3000));
  EXPECT_LT(reader->seeksCarriedOut, 8);
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->lastVideoMediaMs >= 6000; }, 3000));
  EXPECT_LT(Sched(0)->lastVideoMediaMs, 7500);
  // Stopped here, every picture the seeks reached is accounted for (shown,
  // dropped by a flush, queued or held); the rest of the file is not lost.
  play.PauseAll();
  // The paused scheduler lets its waiting master item go in its next pass.
  ASSERT_TRUE(WaitUntil([&] { return !Sched(0)->HoldsMaster(); }, 2000));
  const ZovChannelFigures f = ZovFiguresOf(*play.players[0]);
  EXPECT_GT(f.reached, 0);
  EXPECT_LT(f.reached, 240);
  EXPECT_EQ(ZovVanishedSoFar(f), 0) << f.reached << " reached, " << f.presented << " shown, " << f.dropped
                                    << " dropped, " << f.queued << " queued, " << f.held << " held";
  EXPECT_GT(ZovVanished(240, f), 0) << "the rest of the file was never read";
}

TEST_F(PlayerTest, ThreeChannelsPlayTogetherEachOnVideoOrSound) {
  const std::string a = Clip("h264_aac48_30fps.mp4");
  const std::string b = Clip("h264_aac44_30fps.mp4");
  const std::string c = Clip("h264_aac.mkv");
  ASSERT_EQ(play.Open(a.c_str(), b.c_str(), c.c_str()), 0);
  ASSERT_EQ(play.channelCount, 3);
  const auto start = Clock::now();
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return play.GetState() == 0; }, 6000));
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_LT(seconds, 3.5);
  EXPECT_EQ(Sched(0)->videoMaster, 0);
  EXPECT_EQ(Sched(1)->videoMaster, 1);
  EXPECT_EQ(Sched(2)->videoMaster, 1);
  for (int ch = 0; ch < 3; ++ch) EXPECT_GE(Sched(ch)->presentedVideo, 40) << ch;
  // Only the main channel has sound and answers position and length.
  EXPECT_EQ(play.players[1]->audioOutput, nullptr);
  EXPECT_EQ(play.players[1]->queue->AudioCount(), 0);
  EXPECT_EQ(Sched(2)->presentedAudio, 0);
  EXPECT_EQ(play.players[1]->GetPositionSeconds(), 0);
  EXPECT_EQ(play.players[1]->GetDurationSeconds(), 0);
}

TEST_F(PlayerTest, SecondChannelKeepsItsPaceWithoutSound) {
  // Channel 2 of a recording with sound: its pictures must take the media
  // time, not come in bursts.
  const std::string a = Clip("h264_aac48_30fps.mp4");
  ASSERT_EQ(play.Open(a.c_str(), a.c_str(), a.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(2)->presentedVideo >= 10; }, 3000));
  const auto t0 = Clock::now();
  const int64_t n0 = Sched(2)->presentedVideo;
  ASSERT_TRUE(WaitUntil([&] { return Sched(2)->presentedVideo >= n0 + 15; }, 2000));
  const double rate = (Sched(2)->presentedVideo - n0) /
                      std::chrono::duration<double>(Clock::now() - t0).count();
  EXPECT_GT(rate, 20.0);
  EXPECT_LT(rate, 40.0);  // about 30 pictures a second
}

TEST_F(PlayerTest, ShorterSideChannelPlaysOutItsLastPictures) {
  // Channel 1 ends before channel 0: its last pictures (fewer than the
  // pre-buffer) are still shown, and its scheduler ends.
  const std::string main = Clip("play_8s_gop30.mp4");
  const std::string side = Clip("h264_aac48_30fps.mp4");
  ASSERT_EQ(play.Open(main.c_str(), side.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(WaitUntil(
      [&] {
        play.GetState();  // the play window's poll
        return Sched(1)->state == kZovThreadStopped;
      },
      4000));
  EXPECT_GE(Sched(1)->presentedVideo, 50);
  EXPECT_EQ(play.GetState(), 1);  // the main channel plays on
}

// Three cameras where the side ones cannot be decoded in time (1080p at 240
// pictures a second, all threads on one processor): the main channel shows
// its pictures on time, the side channels leave pictures out (undecoded) and
// keep the main channel's time, and every picture is accounted for.
TEST_F(PlayerTest, SideChannelsThatFallBehindSkipAndTheMainOneKeepsItsPace) {
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  cpu_set_t one;
  CPU_ZERO(&one);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (!CPU_ISSET(cpu, &before)) continue;
    CPU_SET(cpu, &one);
    break;
  }
  // Threads made from here on (decoders, readers, schedulers) inherit it.
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const std::string main = Clip("h264_aac48_30fps.mp4");
  const std::string side = Clip("heavy_1080p_240fps.mp4");
  const bool opened = play.Open(main.c_str(), side.c_str(), side.c_str()) == 0;
  if (opened) play.StartAll();
  sched_setaffinity(0, sizeof before, &before);
  ASSERT_TRUE(opened);
  ASSERT_TRUE(WaitUntil(
      [&] {
        const bool mainEnded = play.GetState() == 0;
        return mainEnded && Sched(1)->state == kZovThreadStopped && Sched(2)->state == kZovThreadStopped;
      },
      15000));
  const ZovChannelFigures m = ZovFiguresOf(*play.players[0]);
  // Sound ends the recording: a picture after its last frame may go unshown.
  EXPECT_GE(m.presented, 58);
  EXPECT_EQ(m.dropped, 0);
  EXPECT_LE(m.late, 3);
  EXPECT_LE(Sched(0)->reanchors, 2) << "the main clock started again: it fell behind";
  EXPECT_LE(ZovVanished(60, m), 2);
  for (int ch : {1, 2}) {
    const ZovChannelFigures f = ZovFiguresOf(*play.players[ch]);
    SCOPED_TRACE("channel " + std::to_string(ch));
    EXPECT_GT(f.skipped, 0) << "it never left a picture out";
    EXPECT_GT(f.presented, 0);
    EXPECT_LT(f.presented, 480);
    EXPECT_EQ(ZovVanished(480, f), 0) << f.presented << " shown, " << f.dropped << " dropped, " << f.skipped
                                      << " skipped, " << f.queued << " queued";
  }
}

TEST_F(PlayerTest, ChannelThatCannotOpenShowsNothing) {
  const std::string a = Clip("h264_aac48_30fps.mp4");
  ASSERT_EQ(play.Open(a.c_str(), "/nonexistent/zov.mp4"), 0);
  EXPECT_EQ(play.channelCount, 2);
  play.StartAll();
  ASSERT_TRUE(WaitUntil([&] { return Sched(0)->presentedVideo > 10; }, 3000));
  EXPECT_EQ(Sched(1)->presentedVideo, 0);
  EXPECT_EQ(play.players[1]->queue->TotalCount(), 0);
  play.StopAll();
  EXPECT_EQ(play.Open("/nonexistent/zov.mp4"), -1);
  EXPECT_EQ(play.GetState(), 0);
}

// The player refuses what is not a readable recording in every decode mode
// before anything reads it: a named pipe would block the opening thread
// until a writer came, and the reason reaches the file's open error.
TEST_F(PlayerTest, NonRegularOrEmptyPathsAreRefusedWithTheirReason) {
  char dirTemplate[] = "/tmp/zov_player_pathsXXXXXX";
  ASSERT_NE(mkdtemp(dirTemplate), nullptr);
  const std::string dir = dirTemplate;
  const std::string fifo = dir + "/pipe.mp4";
  const std::string empty = dir + "/empty.mp4";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::fclose(std::fopen(empty.c_str(), "wb"));
  struct Case {
    std::string path;
    const char* reason;
  };
  const Case cases[] = {{fifo, "not a regular file"}, {dir, "not a regular file"},
                        {"/dev/zero", "not a regular file"}, {empty, "empty"},
                        {dir + "/missing.mp4", "missing"}};
  for (int mode : {0, 1, 2}) {
    play.SetDecodeMode(mode);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.path + " in mode " + std::to_string(mode));
      const auto start = Clock::now();
      EXPECT_EQ(play.Open(c.path.c_str()), -1);
      EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
      ASSERT_TRUE(play.players[0] && play.players[0]->file);
      EXPECT_EQ(play.players[0]->file->openError, c.reason);
    }
  }
  play.StopAll();
  unlink(fifo.c_str());
  unlink(empty.c_str());
  rmdir(dir.c_str());
}

TEST_F(PlayerTest, TsAnywhereInThePathMeansSoftware) {
  EXPECT_EQ(CZovMediaPlay::EffectiveMode("/v/x.tsdata/a.mp4", 0), CZovMediaPlay::kDecodeSoftware);
  EXPECT_EQ(CZovMediaPlay::EffectiveMode("/v/a.ts", 2), CZovMediaPlay::kDecodeSoftware);
  EXPECT_EQ(CZovMediaPlay::EffectiveMode("/v/a.mp4", 2), 2);
  EXPECT_EQ(typeid(*CZovMediaPlay::MakePlayer(0)), typeid(CZovD3d11vaPlayer));
  EXPECT_EQ(typeid(*CZovMediaPlay::MakePlayer(1)), typeid(CZovBasePlayer));
  EXPECT_EQ(typeid(*CZovMediaPlay::MakePlayer(7)), typeid(CZovDxvaPlayer));
  // A hardware mode on a path under "x.tsdata" still opens in software.
  const std::string clip = Clip("x.tsdata/clip.mp4");
  play.SetDecodeMode(2);
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  EXPECT_EQ(typeid(*play.players[0]), typeid(CZovBasePlayer));
}

TEST_F(PlayerTest, AnswersWithoutAChannel) {
  EXPECT_EQ(play.GetState(), 0);
  EXPECT_EQ(play.GetPositionSeconds(), CZovMediaPlay::kNoChannelPosition);
  EXPECT_EQ(play.GetDurationSeconds(), CZovMediaPlay::kNoChannelDuration);
  EXPECT_EQ(play.GetMainDemuxer(), nullptr);
  const std::string clip = Clip("h264_aac48_30fps.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  EXPECT_NE(play.GetMainDemuxer(), nullptr);
  play.SetDurationSeconds(77);
  EXPECT_EQ(play.GetDurationSeconds(), 77);
  // Opened, not started: no scheduler, so the stopped answers.
  EXPECT_EQ(play.GetPositionSeconds(), CZovBasePlayer::kStoppedPosition);
  play.SetVolume(8);
  play.SetMute(true);
  EXPECT_EQ(play.players[0]->audioOutput->mute, 1);
  EXPECT_DOUBLE_EQ(play.players[0]->audioOutput->volume, 0.5);
}

class ReadThreadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string clip = zovtest::Fixture("play_8s_gop30.mp4");
    ASSERT_EQ(file.Open(clip.c_str()), 1);
    reader.file = &file;
    reader.queue = &queue;
  }
  CZovBaseFile file;
  CZovMediaQueue queue;
  CZovReadThread reader;
};

TEST_F(ReadThreadTest, StopsReadingAtItsReadAhead) {
  reader.Start();
  reader.SetState(kZovThreadRunning);
  // Half a second of pictures, then the reader rests and marks the queue
  // filled, so the scheduler does not wait for the old thirty items.
  ASSERT_TRUE(WaitUntil([&] { return queue.filled == 1; }, 5000));
  const int64_t read = reader.videoPacketsRead;
  EXPECT_TRUE(StaysFalse([&] { return reader.videoPacketsRead != read; }, 100));
  const ZovListLoad video = queue.VideoLoad();
  EXPECT_GE(video.spanMs, ZovReadAhead::kPictureAheadMs);
  EXPECT_LT(video.spanMs, ZovReadAhead::kPictureAheadMs + 100) << "no more than the next picture beyond it";
  EXPECT_LT(video.count, CZovReadThread::kMaxQueuedVideo);
  EXPECT_GT(video.bytes, int64_t(video.count) * file.demuxer->width * file.demuxer->height);
  EXPECT_FALSE(queue.NeedsData());
  EXPECT_EQ(reader.videoPacketsRead, read);
  EXPECT_GT(queue.AudioCount(), 0);
  EXPECT_EQ(queue.endState, 0);
  // One picture taken: the reader reads on to the same reach.
  queue.PopVideo();
  ASSERT_TRUE(WaitUntil([&] { return reader.videoPacketsRead > read; }, 5000));
  reader.Stop();
  EXPECT_EQ(queue.accepting, 1);
}

TEST_F(ReadThreadTest, ReadsToTheEndAndKeepsPolling) {
  reader.Start();
  reader.SetState(kZovThreadRunning);
  // Make room as the scheduler would.
  ASSERT_TRUE(WaitUntil(
      [&] {
        queue.PopVideo();
        queue.PopAudio();
        return queue.endState == kZovQueueAtEnd;
      },
      5000));
  EXPECT_EQ(reader.state, kZovThreadRunning);
  EXPECT_GE(reader.videoPacketsRead, 240);
}

TEST_F(ReadThreadTest, KeyFrameOnlyTakesOneKeyFrameThenRests) {
  file.Seek(3000);
  reader.state = kZovThreadRunning;  // passes driven on this thread
  reader.keyframeOnly = 1;
  for (int i = 0; i < 2000 && !reader.keyframeTaken; ++i) reader.RunPass();
  ASSERT_TRUE(reader.keyframeTaken);
  ASSERT_LE(queue.VideoCount(), 1);
  if (ZovMediaItem* v = queue.PeekVideo()) {
    EXPECT_TRUE(v->frame->key_frame);
    EXPECT_GE(v->timeMs, 2900);
  }
  const int64_t read = reader.videoPacketsRead;
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(reader.RunPass());
  EXPECT_EQ(reader.videoPacketsRead, read);
  reader.keyframeOnly = 0;
  reader.keyframeTaken = 0;
  for (int i = 0; i < 40; ++i) reader.RunPass();
  EXPECT_GT(reader.videoPacketsRead, read);
}

// Requests taken on the reader's own pass: only the latest is carried out,
// pictures come from its key frame on, and a paused reader reads until the
// first of them is queued, then rests.
TEST_F(ReadThreadTest, SeekRequestsCoalesceAndAPausedReaderFillsOnePicture) {
  reader.state = kZovThreadPaused;  // passes driven on this thread
  for (int ms : {1000, 3000, 5000}) reader.RequestSeek(ms);
  EXPECT_TRUE(reader.RunPass());
  EXPECT_EQ(reader.seeksCarriedOut, 1);
  EXPECT_EQ(reader.LastSeekMs(), 5000);
  for (int i = 0; i < 2000 && queue.VideoCount() == 0; ++i) reader.RunPass();
  ASSERT_EQ(queue.VideoCount(), 1);
  EXPECT_TRUE(queue.PeekVideo()->frame->key_frame);
  EXPECT_GE(queue.PeekVideo()->timeMs, 4900);
  EXPECT_LE(queue.PeekVideo()->timeMs, 6100);
  const int64_t read = reader.videoPacketsRead;
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(reader.RunPass());
  EXPECT_EQ(reader.videoPacketsRead, read);
  // Running, it reads on from the key frame (no rest after it).
  reader.state = kZovThreadRunning;
  for (int i = 0; i < 100; ++i) reader.RunPass();
  EXPECT_GE(queue.VideoLoad().spanMs, ZovReadAhead::kPictureAheadMs) << "a full read-ahead";
  EXPECT_GT(queue.VideoCount(), ZovReadAhead::kMinPictures);
  EXPECT_EQ(reader.keyframeOnly, 0);
  EXPECT_EQ(reader.seeksCarriedOut, 1);
}

TEST_F(ReadThreadTest, OtherChannelsQueueNoSound) {
  file.channelIndex = 1;
  reader.state = kZovThreadRunning;
  for (int i = 0; i < 200; ++i) reader.RunPass();
  // A full read-ahead of pictures (a quarter second), no sound.
  EXPECT_GE(queue.VideoLoad().spanMs, ZovReadAhead::kPictureAheadMs);
  EXPECT_GT(queue.VideoCount(), ZovReadAhead::kMinPictures);
  EXPECT_EQ(queue.AudioCount(), 0);
}

// Counts the reads it is asked for; never delivers a packet.
class CountingFile : public CZovBaseFile {
 public:
  int ReadPacket(ZovMediaItem*) override {
    ++reads;
    return -1;
  }
  std::atomic<int> reads{0};
};

// Tells when its pass has seen the state running and goes for the lock.
class ReaderAtTheLock : public CZovReadThread {
 public:
  void BeforeUnit() override { atTheLock = true; }
  std::atomic<bool> atTheLock{false};
};

TEST(ReadThreadUnitTest, UnitWaitingForTheLockDoesNotStartAfterAPause) {
  CountingFile file;
  CZovMediaQueue queue;
  ReaderAtTheLock reader;
  reader.file = &file;
  reader.queue = &queue;
  reader.state = kZovThreadRunning;
  std::unique_lock<std::recursive_mutex> held(reader.stateLock);  // a unit of work elsewhere
  std::thread pass([&] { reader.RunPass(); });
  // The pass has checked the state and now needs the lock this thread holds.
  EXPECT_TRUE(WaitUntil([&] { return reader.atTheLock.load(); }));
  reader.SetState(kZovThreadPaused);  // what Seek does first
  held.unlock();
  pass.join();
  EXPECT_EQ(file.reads, 0);
}

}  // namespace
