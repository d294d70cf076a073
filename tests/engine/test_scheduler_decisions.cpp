// The scheduler's decisions driven pass by pass with a fake clock: master
// choice, pacing, the follower rule, re-anchoring after a pause and after a
// lateness above 500 ms, the seek hold, and the end rule of the player.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "engine/zov_audio_play.h"
#include "engine/zov_base_cheduler.h"
#include "engine/zov_base_file.h"
#include "engine/zov_base_player.h"
#include "engine/zov_media_queue.h"

extern "C" {
#include <libavutil/frame.h>
}

namespace {

class FakeClock : public ZovSchedulerClock {
 public:
  int32_t Now() override { return now; }
  void Sleep(int ms) override { now += ms; }
  int32_t now = 100000;
};

struct Event {
  int type;        // 0 video, 1 audio
  int mediaMs;     // item time
  int32_t wallMs;  // fake clock when presented
};

// Records the pictures it is asked to show; can cost clock time.
class RecordingFile : public CZovBaseFile {
 public:
  explicit RecordingFile(FakeClock& c, std::vector<Event>& e) : clock(c), events(e) {}
  int Present(ZovMediaItem* item) override {
    events.push_back({0, item->timeMs, clock.now});
    auto cost = costAt.find(item->timeMs);
    if (cost != costAt.end()) clock.now += cost->second;
    return 0;
  }
  FakeClock& clock;
  std::vector<Event>& events;
  std::map<int, int> costAt;  // media time -> ms the presentation takes
};

class RecordingAudio : public CZovAudioPlay {
 public:
  RecordingAudio(FakeClock& c, std::vector<Event>& e) : clock(c), events(e) {}
  void Close() override {}
  int PlayFrame(AVFrame* frame) override {
    events.push_back({1, int(frame->pts), clock.now});
    return 0;
  }
  FakeClock& clock;
  std::vector<Event>& events;
};

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sched.SetClock(&clock);
    sched.file = &file;
    sched.queue = &queue;
    sched.audioOutput = &audio;
  }
  void PushVideo(int timeMs) {
    auto item = std::make_unique<ZovMediaItem>();
    item->type = kZovItemVideo;
    item->timeMs = timeMs;
    item->frame.reset(av_frame_alloc());  // stands for a decoded picture
    queue.Push(std::move(item));
  }
  void PushAudio(int timeMs) {
    auto item = std::make_unique<ZovMediaItem>();
    item->type = kZovItemAudio;
    item->timeMs = timeMs;
    item->frame.reset(av_frame_alloc());
    item->frame->pts = timeMs;
    queue.Push(std::move(item));
  }
  // Interleaved like a recording: video every vStep ms, audio every aStep ms.
  void PushRecording(int count, int vStep, int aStep) {
    int v = 0, a = 0;
    for (int i = 0; i < count; ++i) {
      if (v * vStep <= a * aStep || aStep <= 0) {
        PushVideo(v++ * vStep);
      } else {
        PushAudio(a++ * aStep);
      }
    }
  }
  void EndOfRecording() { queue.draining = 1; }  // as the player marks it
  std::vector<Event> Of(int type) {
    std::vector<Event> out;
    for (const Event& e : events)
      if (e.type == type) out.push_back(e);
    return out;
  }

  FakeClock clock;
  std::vector<Event> events;
  RecordingFile file{clock, events};
  RecordingAudio audio{clock, events};
  CZovMediaQueue queue;
  CZovBaseCheduler sched;
};

TEST_F(SchedulerTest, MasterChoiceFollowsPacketRhythmAndChannel) {
  struct Case {
    uint32_t video;
    int32_t audio;
    int channel;
    int videoMaster;
  } cases[] = {
      {33, 23, 0, 0},   // 30 fps + AAC 44.1 kHz: audio is the master
      {33, 21, 0, 0},   // 30 fps + AAC 48 kHz
      {16, 21, 0, 1},   // 60 fps: video
      {33, 200, 0, 1},  // no audio packets: the interval keeps its start value
      {33, -1, 0, 1},   // audio interval -1: always video
      {66, 40, 0, 0},   // video gap exceeds audio gap by more than 20
      {33, 23, 1, 1},   // channels without sound always use video
      {33, 23, 2, 1},
  };
  for (const Case& c : cases) {
    file.minVideoIntervalMs = c.video;
    file.minAudioIntervalMs = c.audio;
    file.channelIndex = c.channel;
    sched.ChooseMaster();
    EXPECT_EQ(sched.videoMaster, c.videoMaster)
        << "video " << c.video << " audio " << c.audio << " channel " << c.channel;
  }
}

TEST_F(SchedulerTest, VideoMasterPlaysAtWallClockSpeedFromTheAnchor) {
  file.minVideoIntervalMs = 33;
  file.minAudioIntervalMs = 200;
  for (int i = 0; i < 60; ++i) PushVideo(i * 33);
  EndOfRecording();
  sched.ChooseMaster();
  ASSERT_EQ(sched.videoMaster, 1);
  for (int i = 0; i < 20000 && Of(0).size() < 60; ++i) sched.RunPass();
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 60u);
  const int32_t anchor = v[0].wallMs;
  for (size_t i = 0; i < v.size(); ++i) {
    EXPECT_EQ(v[i].mediaMs, int(i) * 33);
    // Never early, and at most one loop pause late.
    EXPECT_GE(v[i].wallMs - anchor, v[i].mediaMs) << i;
    EXPECT_LE(v[i].wallMs - anchor, v[i].mediaMs + CZovBaseCheduler::kIdleSleepMs) << i;
  }
  EXPECT_EQ(sched.clockMs, 59 * 33);
  EXPECT_EQ(sched.presentedVideo, 60);
}

TEST_F(SchedulerTest, FollowerIsShownOnlyOnceTheMasterReachedIt) {
  file.minVideoIntervalMs = 33;
  file.minAudioIntervalMs = 21;
  PushRecording(150, 33, 21);
  EndOfRecording();
  sched.ChooseMaster();
  ASSERT_EQ(sched.videoMaster, 0);
  for (int i = 0; i < 40000 && queue.TotalCount() > 0; ++i) sched.RunPass();
  for (int i = 0; i < 200; ++i) sched.RunPass();
  std::vector<Event> audioEvents = Of(1);
  std::vector<Event> videoEvents = Of(0);
  ASSERT_GT(audioEvents.size(), 80u);
  ASSERT_GT(videoEvents.size(), 50u);
  // Audio (the master) keeps its own pace from the anchor.
  for (const Event& e : audioEvents) {
    EXPECT_GE(e.wallMs - audioEvents[0].wallMs, e.mediaMs - audioEvents[0].mediaMs);
  }
  // Each picture after the anchoring one comes when the master clock has
  // reached its time: some audio item at or past it was already played.
  int latestAudio = -1;
  size_t pictures = 0;
  for (const Event& e : events) {
    if (e.type == 1) latestAudio = std::max(latestAudio, e.mediaMs);
    if (e.type == 0 && pictures++ > 0) { EXPECT_LE(e.mediaMs, latestAudio) << "picture " << e.mediaMs; }
  }
}

TEST_F(SchedulerTest, PauseDropsTheWaitingItemAndResumeReanchors) {
  file.minVideoIntervalMs = 40;
  for (int i = 0; i < 50; ++i) PushVideo(i * 40);
  EndOfRecording();
  sched.ChooseMaster();
  for (int i = 0; i < 20000 && Of(0).size() < 10; ++i) sched.RunPass();
  ASSERT_EQ(Of(0).size(), 10u);
  sched.RunPass();  // picks up the next (not yet due) item and waits
  sched.SetState(kZovThreadPaused);
  EXPECT_EQ(sched.anchorMediaMs, -1);
  for (int i = 0; i < 400; ++i) sched.RunPass();  // two seconds paused
  EXPECT_EQ(Of(0).size(), 10u);
  EXPECT_EQ(sched.droppedVideo, 1);  // the waiting item (time 400) is gone
  sched.SetState(kZovThreadRunning);
  const int32_t resumedAt = clock.now;
  for (int i = 0; i < 20000 && Of(0).size() < 15; ++i) sched.RunPass();
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 15u);
  EXPECT_EQ(v[10].mediaMs, 440);  // 400 was dropped
  EXPECT_LE(v[10].wallMs - resumedAt, 1);  // shown at once: the new anchor
  for (int k = 11; k < 15; ++k) {
    EXPECT_GE(v[k].wallMs - v[10].wallMs, v[k].mediaMs - 440) << k;  // paced from it
  }
}

TEST_F(SchedulerTest, MoreThan500MsLateReanchorsInsteadOfFastForwarding) {
  file.minVideoIntervalMs = 33;
  for (int i = 0; i < 80; ++i) PushVideo(i * 33);
  EndOfRecording();
  file.costAt[330] = 700;  // presenting picture 10 stalls for 0.7 s
  sched.ChooseMaster();
  for (int i = 0; i < 40000 && Of(0).size() < 80; ++i) sched.RunPass();
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 80u);
  EXPECT_GE(sched.reanchors, 2);  // the start and after the stall
  // Picture 11 is late: shown at once. Picture 12 re-anchors; from there on
  // the pictures keep their spacing instead of coming in a burst.
  for (int k = 13; k < 80; ++k) {
    EXPECT_GE(v[k].wallMs - v[k - 1].wallMs, 33 - CZovBaseCheduler::kIdleSleepMs) << k;
  }
  EXPECT_GE(sched.lateVideo, 1);
}

TEST_F(SchedulerTest, LatenessUpTo500MsCatchesUpOnTheSameAnchor) {
  file.minVideoIntervalMs = 33;
  for (int i = 0; i < 60; ++i) PushVideo(i * 33);
  EndOfRecording();
  file.costAt[330] = 300;
  sched.ChooseMaster();
  for (int i = 0; i < 40000 && Of(0).size() < 60; ++i) sched.RunPass();
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 60u);
  EXPECT_EQ(sched.reanchors, 1);  // only the start
  // The pictures that fell due during the stall come one right after another.
  int quick = 0;
  for (int k = 11; k < 20; ++k) quick += (v[k].wallMs - v[k - 1].wallMs) <= 2;
  EXPECT_GE(quick, 5);
  EXPECT_GE(v[59].wallMs - v[0].wallMs, 59 * 33);
}

TEST_F(SchedulerTest, WaitsUntilThirtyItemsOrTheEnd) {
  for (int i = 0; i < 10; ++i) PushVideo(i * 33);
  for (int i = 0; i < 50; ++i) sched.RunPass();
  EXPECT_TRUE(events.empty());  // pre-buffering: fewer than 30 and not draining
  for (int i = 10; i < 30; ++i) PushVideo(i * 33);
  for (int i = 0; i < 50; ++i) sched.RunPass();
  EXPECT_FALSE(events.empty());
}

TEST_F(SchedulerTest, HoldShowsPicturesAsTheyComeAndDropsSound) {
  PushVideo(5000);
  PushAudio(5000);
  PushVideo(5033);
  PushAudio(5021);
  sched.holdFlag = 1;
  sched.RunPass();
  sched.RunPass();
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(sched.clockMs, 5033);
  EXPECT_TRUE(Of(1).empty());
  EXPECT_EQ(queue.TotalCount(), 0);
  // Paused during the hold: nothing happens, the next item re-anchors.
  PushVideo(5066);
  sched.SetState(kZovThreadPaused);
  sched.RunPass();
  EXPECT_EQ(Of(0).size(), 2u);
  EXPECT_EQ(sched.anchorMediaMs, -1);
}

TEST(PlayerEndRuleTest, EndIsTheMasterListRunningDry) {
  CZovMediaQueue queue;
  CZovBaseCheduler sched;  // not started: only its state is used
  auto push = [&](int type) {
    auto item = std::make_unique<ZovMediaItem>();
    item->type = type;
    queue.Push(std::move(item));
  };
  // The reader has not met the end: nothing happens.
  CZovBasePlayer::CheckEnd(&queue, &sched, false);
  EXPECT_EQ(queue.draining, 0);
  EXPECT_NE(sched.state, kZovThreadStopped);

  // Video master with audio left over: the end once no video is queued.
  push(kZovItemVideo);
  push(kZovItemAudio);
  push(kZovItemAudio);
  queue.endState = kZovThreadStopped;
  CZovBasePlayer::CheckEnd(&queue, &sched, false);
  EXPECT_EQ(queue.draining, 1);
  EXPECT_NE(sched.state, kZovThreadStopped);
  queue.PopVideo();
  CZovBasePlayer::CheckEnd(&queue, &sched, false);
  EXPECT_EQ(sched.state, kZovThreadStopped);

  // Audio master: video left over does not hold the end, audio does.
  CZovMediaQueue q2;
  CZovBaseCheduler s2;
  auto v = std::make_unique<ZovMediaItem>();
  v->type = kZovItemVideo;
  q2.Push(std::move(v));
  auto a = std::make_unique<ZovMediaItem>();
  a->type = kZovItemAudio;
  q2.Push(std::move(a));
  q2.endState = kZovThreadStopped;
  CZovBasePlayer::CheckEnd(&q2, &s2, true);
  EXPECT_NE(s2.state, kZovThreadStopped);
  q2.PopAudio();
  CZovBasePlayer::CheckEnd(&q2, &s2, true);
  EXPECT_EQ(s2.state, kZovThreadStopped);
  EXPECT_EQ(q2.VideoCount(), 1);
}

TEST(PlayerEndRuleTest, DrainingLetsTheLastItemsPlayOut) {
  CZovMediaQueue queue;
  for (int i = 0; i < 3; ++i) {
    auto item = std::make_unique<ZovMediaItem>();
    item->type = kZovItemVideo;
    queue.Push(std::move(item));
  }
  EXPECT_TRUE(queue.NeedsData());
  CZovBaseCheduler sched;
  queue.endState = kZovThreadStopped;
  CZovBasePlayer::CheckEnd(&queue, &sched, false);
  EXPECT_FALSE(queue.NeedsData());
}

}  // namespace
