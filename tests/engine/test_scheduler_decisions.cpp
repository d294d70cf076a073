// The scheduler's decisions driven pass by pass with a fake clock: master
// choice, pacing, the follower rule, re-anchoring after a pause and after a
// lateness above 500 ms, the seek hold, and the end rule of the player.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "engine/zov_audio_play.h"
#include "engine/zov_base_cheduler.h"
#include "engine/zov_base_file.h"
#include "engine/zov_base_player.h"
#include "engine/zov_media_queue.h"
#include "engine/zov_read_thread.h"
#include "engine/zov_time.h"

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

namespace {

class FakeClock : public ZovSchedulerClock {
 public:
  int32_t Now() override {
    // The second reading of a pass comes after its decision: the moment
    // another thread's call lands between deciding and acting.
    if (++readsSinceSleep == 2 && betweenDecideAndAct) std::exchange(betweenDecideAndAct, nullptr)();
    return now;
  }
  void Sleep(int ms) override {
    now += ms;
    readsSinceSleep = 0;
  }
  int32_t now = 100000;
  int readsSinceSleep = 0;
  std::function<void()> betweenDecideAndAct;  // runs once
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

// At each playback speed the injected clock sees the pictures come that
// many recording-ms per wall-ms: at 2x, 33 ms apart in the recording, 16.5
// ms apart on the clock; never early, at most one loop pause late.
TEST(SchedulerSpeed, PicturesComeAtTheSpeedOnTheInjectedClock) {
  for (int speed : {25, 50, 150, 200, 400}) {
    FakeClock clock;
    std::vector<Event> events;
    RecordingFile file{clock, events};
    CZovMediaQueue queue;
    CZovBaseCheduler sched;
    sched.SetClock(&clock);
    sched.file = &file;
    sched.queue = &queue;
    file.minVideoIntervalMs = 33;
    file.minAudioIntervalMs = 200;
    for (int i = 0; i < 60; ++i) {
      auto item = std::make_unique<ZovMediaItem>();
      item->type = kZovItemVideo;
      item->timeMs = i * 33;
      item->frame.reset(av_frame_alloc());
      queue.Push(std::move(item));
    }
    queue.draining = 1;
    sched.ChooseMaster();
    sched.SetSpeedPercent(speed);
    for (int i = 0; i < 40000 && events.size() < 60; ++i) sched.RunPass();
    ASSERT_EQ(events.size(), 60u) << speed;
    const int32_t anchor = events[0].wallMs;
    for (const Event& e : events) {
      const int64_t due = (int64_t(e.mediaMs) * 100 + speed - 1) / speed;
      EXPECT_GE(e.wallMs - anchor, due) << speed << "% picture " << e.mediaMs;
      EXPECT_LE(e.wallMs - anchor, due + CZovBaseCheduler::kIdleSleepMs) << speed << "% picture " << e.mediaMs;
    }
    // Two seconds of recording at 2x take one second on the clock.
    if (speed == 200) {
      EXPECT_NEAR(events.back().wallMs - anchor, 59 * 33 / 2, CZovBaseCheduler::kIdleSleepMs);
    }
  }
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

// The hold of a seek, playing and paused alike: the clock moves to the
// target at once, the first picture of the new position is shown as soon as
// it is queued, the sound stays queued, and the hold ends.
TEST_F(SchedulerTest, HoldShowsTheSeeksFirstPictureAndKeepsTheSound) {
  for (int32_t state : {kZovThreadRunning, kZovThreadPaused}) {
    SCOPED_TRACE(state);
    events.clear();
    queue.Flush();
    sched.SetState(state);
    const uint32_t serial = sched.AppliedSeekSerial() + 1;
    sched.BeginSeek(5000, serial);
    sched.RunPass();  // nothing queued yet: the clock is at the target
    EXPECT_EQ(sched.clockMs, 5000);
    EXPECT_EQ(sched.AppliedSeekSerial(), serial);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(sched.holdFlag, 1);
    PushVideo(4967);  // the key frame just before the target
    PushAudio(4970);
    PushVideo(5000);
    sched.RunPass();
    ASSERT_EQ(Of(0).size(), 1u);
    EXPECT_EQ(Of(0)[0].mediaMs, 4967);
    EXPECT_EQ(sched.clockMs, 4967);
    EXPECT_EQ(sched.holdFlag, 0);
    EXPECT_EQ(sched.anchorMediaMs, -1);
    EXPECT_TRUE(Of(1).empty());
    EXPECT_EQ(queue.AudioCount(), 1);
    EXPECT_EQ(queue.VideoCount(), 1);
    if (state == kZovThreadPaused) {
      for (int i = 0; i < 10; ++i) sched.RunPass();
      EXPECT_EQ(Of(0).size(), 1u);  // paused: the one picture only
    }
  }
}

// A second seek announced while the first is held restarts the hold.
TEST_F(SchedulerTest, ASeekAnnouncedDuringAHoldIsHeldInTurn) {
  sched.BeginSeek(5000, 1);
  sched.RunPass();
  sched.BeginSeek(9000, 2);
  sched.RunPass();
  EXPECT_EQ(sched.clockMs, 9000);
  EXPECT_EQ(sched.AppliedSeekSerial(), 2u);
  PushVideo(8967);
  sched.RunPass();
  ASSERT_EQ(Of(0).size(), 1u);
  EXPECT_EQ(Of(0)[0].mediaMs, 8967);
  EXPECT_EQ(sched.holdFlag, 0);
}

// A seek lands while the scheduler has decided on a held picture but not yet
// shown it: the pass must neither touch the dropped item nor show it, and
// the pictures of the new position follow.
TEST_F(SchedulerTest, SeekBetweenDecisionAndPresentationShowsOnlyTheNewPosition) {
  file.minVideoIntervalMs = 40;
  file.minAudioIntervalMs = 40;
  PushRecording(80, 40, 40);
  EndOfRecording();
  sched.ChooseMaster();
  for (int i = 0; i < 20000 && Of(0).size() < 10; ++i) sched.RunPass();
  ASSERT_EQ(Of(0).size(), 10u);
  bool sought = false;
  clock.betweenDecideAndAct = [&] {
    // What the read thread's seek does to the queue and the scheduler, in
    // its order, with no lock of the scheduler's.
    queue.Flush();
    sched.BeginSeek(5000, 1);
    for (int i = 0; i < 20; ++i) PushVideo(5000 + i * 40);
    EndOfRecording();
    sought = true;
  };
  const size_t before = Of(0).size();
  for (int i = 0; i < 20000 && (!sought || Of(0).size() < before + 5); ++i) sched.RunPass();
  ASSERT_TRUE(sought);
  const std::vector<Event> v = Of(0);
  ASSERT_GE(v.size(), before + 5);
  for (size_t k = before; k < v.size(); ++k) EXPECT_GE(v[k].mediaMs, 5000) << k;
  EXPECT_EQ(v[before].mediaMs, 5000);
}

TEST(SchedulerModeTest, StateHoldAndFillDecideWhatAPassDoes) {
  struct Case {
    int32_t state;
    bool hold, needsData;
    ZovPassMode mode;
  } cases[] = {
      {kZovThreadRunning, false, false, ZovPassMode::kPlay},
      {kZovThreadRunning, false, true, ZovPassMode::kPrebuffer},
      {kZovThreadPaused, false, true, ZovPassMode::kPrebuffer},
      {kZovThreadPaused, false, false, ZovPassMode::kPausedRest},
      {kZovThreadStopped, false, true, ZovPassMode::kStopped},
      {kZovThreadStopped, false, false, ZovPassMode::kStopped},
      {kZovThreadRunning, true, true, ZovPassMode::kSeekHold},  // a seek does not wait for the fill
      {kZovThreadPaused, true, false, ZovPassMode::kSeekHold},   // a paused seek shows its picture
      {kZovThreadStopped, true, false, ZovPassMode::kStopped},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CZovBaseCheduler::DecideMode(c.state, c.hold, c.needsData), c.mode)
        << "state " << c.state << " hold " << c.hold << " needs data " << c.needsData;
  }
}

// The timing decision on snapshots: each case differs only in its data.
TEST(SchedulerTimingTest, DecisionsOnTheFakeClock) {
  using A = ZovTimingAction;
  constexpr int64_t kNone = CZovBaseCheduler::kInitialClockMs;
  auto anchored = [](int64_t anchorMedia, int64_t wallElapsed, int64_t clock) {
    ZovTimingView v;
    v.anchored = true;
    v.anchorMediaMs = anchorMedia;
    v.anchorWallMs = 50000;
    v.nowMs = 50000 + wallElapsed;
    v.clockMs = clock;
    v.discontinuityMs = 10000;
    return v;
  };
  auto with = [](ZovTimingView v, int64_t timed, int64_t follower = -1, bool draining = false) {
    v.hasTimed = timed >= 0;
    v.timedMs = timed;
    v.hasFollower = follower >= 0;
    v.followerMs = follower;
    v.draining = draining;
    return v;
  };
  ZovTimingView fresh;
  fresh.clockMs = kNone;
  auto catchingUp = [](ZovTimingView v) {
    v.catchUp = true;
    return v;
  };
  auto following = [](ZovTimingView v, int64_t leaderMs) {
    v.catchUp = true;
    v.hasLeader = true;
    v.leaderMs = leaderMs;
    return v;
  };
  auto mainLate = [](ZovTimingView v, int64_t lateMs, bool odd) {
    v.leaderLateMs = lateMs;
    v.leaderYieldOdd = odd;
    return v;
  };
  auto heard = [](ZovTimingView v, int64_t soundMs) {
    v.soundClockMs = soundMs;
    return v;
  };
  struct Case {
    const char* what;
    ZovTimingView view;
    A action;
    int64_t anchorMs, waitMs;
    bool onTimed, follower, reanchorNext;
  } cases[] = {
      {"start: anchor on the master, show the follower beside it", with(fresh, 1000, 990), A::kAnchor, 1000, 0, true,
       true, false},
      {"sound 5 s before the picture: the clock starts with the sound", with(fresh, 5000, 0), A::kAnchor, 0, 0, false,
       true, false},
      {"picture 5 s after the master: it waits for its time", with(fresh, 0, 5000), A::kAnchor, 0, 0, true, false,
       false},
      {"nothing queued yet", with(fresh, -1), A::kRest, 0, 0, false, false, false},
      {"nothing left at the end", with(fresh, -1, -1, true), A::kEnd, 0, 0, false, false, false},
      {"master due in 20 ms", with(anchored(0, 80, 66), 100), A::kWait, 0, 20, false, false, false},
      {"master due now", with(anchored(0, 100, 66), 100), A::kPresent, 0, 0, false, false, false},
      {"500 ms late: catch up on the same anchor", with(anchored(0, 600, 66), 100), A::kPresent, 0, 0, false, false,
       false},
      {"501 ms late: present, re-anchor on the next", with(anchored(0, 601, 66), 100), A::kPresent, 0, 0, false,
       false, true},
      {"follower at the clock is shown while the master waits", with(anchored(0, 80, 66), 100, 60), A::kWait, 0, 20,
       false, true, false},
      {"follower ahead of the clock waits for the master", with(anchored(0, 80, 66), 100, 90), A::kWait, 0, 20, false,
       false, false},
      {"one-hour jump of the master: re-anchor, not a wait", with(anchored(0, 4000, 3960), 3604000, 3603990),
       A::kAnchor, 3604000, 0, true, true, false},
      {"backward clock reset beyond the limit: re-anchor", with(anchored(0, 20000, 19960), 40), A::kAnchor, 40, 0,
       true, false, false},
      {"backward step within the limit: shown at once, re-anchor on the next", with(anchored(0, 4000, 3960), 40),
       A::kPresent, 0, 0, false, false, true},
      {"9 s step within the limit is waited for", with(anchored(0, 1000, 960), 9960), A::kWait, 0, 8960, false,
       false, false},
      {"master silent for over a second: follower on the wall clock", with(anchored(0, 2500, kNone), 5000, 2480),
       A::kWait, 0, 2500, false, true, false},
      {"master ran dry: the follower keeps the wall clock", with(anchored(1000, 2000, 2000), -1, 2990), A::kRest, 0, 0,
       false, true, false},
      {"master ran dry: a follower ahead of the wall clock waits", with(anchored(1000, 2000, 2000), -1, 3100),
       A::kRest, 0, 0, false, false, false},
      {"lists empty at the end", with(anchored(0, 100, 66), -1, -1, true), A::kEnd, 0, 0, false, false, false},
      {"other channel, 100 ms late: still shown", with(catchingUp(anchored(0, 200, 66)), 100), A::kPresent, 0, 0,
       false, false, false},
      {"other channel, 101 ms late: dropped", with(catchingUp(anchored(0, 201, 66)), 100), A::kDrop, 0, 0, false,
       false, false},
      {"other channel, 2 s late: dropped, the clock is kept", with(catchingUp(anchored(0, 2100, 66)), 100), A::kDrop,
       0, 0, false, false, false},
      {"other channel starts on the main channel's time, not on its picture", with(following(fresh, 5000), 4900),
       A::kAnchor, 5000, 0, false, false, false},
      {"other channel waits while the main clock does not run",
       with(following(fresh, CZovBaseCheduler::kNoPlayhead), 100), A::kRest, 0, 0, false, false, false},
      {"other channel after a jump: back on the main channel's time",
       with(following(anchored(0, 4000, 3960), 4010), 3604000), A::kAnchor, 4010, 0, false, false, false},
      {"other channel 250 ms off the main channel: keeps its clock", with(following(anchored(0, 1000, 960), 750), 1000),
       A::kPresent, 0, 0, false, false, false},
      {"other channel 251 ms off: back on the main channel's time", with(following(anchored(0, 1000, 960), 749), 1000),
       A::kAnchor, 749, 0, false, false, false},
      {"other channel, main 50 ms late: every picture", with(mainLate(following(anchored(0, 100, 66), 100), 50, true), 100),
       A::kPresent, 0, 0, false, false, false},
      {"other channel, main 51 ms late: this one shown", with(mainLate(following(anchored(0, 100, 66), 100), 51, false), 100),
       A::kPresent, 0, 0, false, false, false},
      {"other channel, main 51 ms late: the next one left undrawn",
       with(mainLate(following(anchored(0, 100, 66), 100), 51, true), 100), A::kDrop, 0, 0, false, false, false},
      {"other channel, main late, its own picture due later: it waits",
       with(mainLate(following(anchored(0, 80, 66), 100), 400, true), 100), A::kWait, 0, 20, false, false, false},
      {"sound handed over but not heard yet: the picture waits", with(heard(anchored(0, 80, 66), 40), 100, 60),
       A::kWait, 0, 20, false, false, false},
      {"sound heard up to the picture: it is shown", with(heard(anchored(0, 80, 66), 60), 100, 60), A::kWait, 0, 20,
       false, true, false},
  };
  for (const Case& c : cases) {
    ZovTimingDecision d = CZovBaseCheduler::DecideTiming(c.view);
    EXPECT_EQ(d.action, c.action) << c.what;
    if (c.action == A::kAnchor) {
      EXPECT_EQ(d.anchorMs, c.anchorMs) << c.what;
      EXPECT_EQ(d.anchorOnTimed, c.onTimed) << c.what;
    }
    if (c.action == A::kWait) {
      EXPECT_EQ(d.waitMs, c.waitMs) << c.what;
    }
    EXPECT_EQ(d.presentFollower, c.follower) << c.what;
    EXPECT_EQ(d.reanchorNext, c.reanchorNext) << c.what;
    EXPECT_EQ(d.yielded, c.view.leaderLateMs > CZovBaseCheduler::kLeaderLateMs &&
                             (c.action == A::kPresent || c.action == A::kDrop))
        << c.what;
  }
}

TEST(StreamTimelineTest, JumpsAndStandstillsBecomeSteps) {
  struct Case {
    const char* what;
    std::vector<int64_t> raw;
    int64_t nominal, limit;
    std::vector<int64_t> mapped;
  } cases[] = {
      {"regular stream unchanged", {0, 33, 66, 100}, 40, 10000, {0, 33, 66, 100}},
      {"one-hour jump continues by the stream's step",
       {0, 40, 80, 3600080, 3600120},
       40,
       10000,
       {0, 40, 80, 120, 160}},
      {"backward reset continues forward", {5000, 5040, 5080, 0, 40}, 40, 10000, {5000, 5040, 5080, 5120, 5160}},
      {"every packet at 0: paced by the nominal step", {0, 0, 0, 0}, 20, 3000, {0, 20, 40, 60}},
      {"each picture hours after the last: paced by frame rate",
       {0, 36000000, 72000000, 108000000},
       40,
       10000,
       {0, 40, 80, 120}},
      {"a step just inside the limit is kept", {0, 9000, 9040}, 40, 10000, {0, 9000, 9040}},
  };
  for (const Case& c : cases) {
    ZovStreamTimeline t;
    std::vector<int64_t> out;
    for (int64_t r : c.raw) out.push_back(t.Map(r, c.nominal, c.limit));
    EXPECT_EQ(out, c.mapped) << c.what;
  }
}

// A video master that jumps an hour ahead in the middle (a clock reset) plays
// on without waiting: the second half comes at its own pace after a re-anchor.
TEST_F(SchedulerTest, AJumpOfTheMasterReanchorsInsteadOfWaiting) {
  file.minVideoIntervalMs = 40;
  for (int i = 0; i < 25; ++i) PushVideo(i * 40);
  for (int i = 0; i < 25; ++i) PushVideo(3600000 + i * 40);
  EndOfRecording();
  sched.ChooseMaster();
  const int32_t start = clock.now;
  for (int i = 0; i < 20000 && Of(0).size() < 50; ++i) sched.RunPass();
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 50u);
  EXPECT_LT(v[49].wallMs - start, 3000);  // two seconds of pictures, not an hour
  EXPECT_EQ(sched.discontinuities, 1);
  for (int k = 27; k < 50; ++k) EXPECT_GE(v[k].wallMs - v[k - 1].wallMs, 40 - CZovBaseCheduler::kIdleSleepMs) << k;
}

// Sound from 0 s, pictures from 5 s (sound is the master): the first picture
// waits for its time instead of coming with the first sound, and the sound
// before it keeps its pace.
TEST_F(SchedulerTest, PicturesThatStartLaterWaitForTheirTime) {
  file.minVideoIntervalMs = 33;
  file.minAudioIntervalMs = 21;
  for (int i = 0; i < 30; ++i) PushVideo(5000 + i * 33);  // first, so the queue takes sound
  for (int i = 0; i < 300; ++i) PushAudio(i * 21);
  EndOfRecording();
  sched.ChooseMaster();
  ASSERT_EQ(sched.videoMaster, 0);
  const int32_t start = clock.now;
  for (int i = 0; i < 40000 && Of(0).size() < 30; ++i) sched.RunPass();
  std::vector<Event> v = Of(0);
  std::vector<Event> a = Of(1);
  ASSERT_EQ(v.size(), 30u);
  EXPECT_GE(v[0].wallMs - start, 5000 - CZovBaseCheduler::kIdleSleepMs);
  EXPECT_LE(v[0].wallMs - start, 5000 + 50);
  ASSERT_GT(a.size(), 200u);
  EXPECT_GE(a[200].wallMs - a[0].wallMs, 200 * 21 - CZovBaseCheduler::kIdleSleepMs);
}

// Sound first by more than a second with video as the master: the sound before
// the first picture plays on the wall clock, not in a burst at the picture.
TEST_F(SchedulerTest, SoundBeforeALateVideoMasterKeepsItsPace) {
  file.minVideoIntervalMs = 16;  // 60 fps: video is the master
  file.minAudioIntervalMs = 21;
  for (int i = 0; i < 30; ++i) PushVideo(3000 + i * 16);
  for (int i = 0; i < 150; ++i) PushAudio(i * 21);
  EndOfRecording();
  sched.ChooseMaster();
  ASSERT_EQ(sched.videoMaster, 1);
  for (int i = 0; i < 40000 && Of(0).size() < 30; ++i) sched.RunPass();
  std::vector<Event> a = Of(1);
  std::vector<Event> v = Of(0);
  ASSERT_EQ(v.size(), 30u);
  ASSERT_GT(a.size(), 100u);
  EXPECT_GE(a[100].wallMs - a[0].wallMs, 2100 - 1000 - CZovBaseCheduler::kIdleSleepMs);
  EXPECT_GE(v[0].wallMs - a[0].wallMs, 3000 - CZovBaseCheduler::kIdleSleepMs);
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

TEST(PlayerEndRuleTest, SoundRunningOutFirstStillShowsThePicturesItHasReached) {
  CZovMediaQueue queue;
  CZovBaseCheduler sched;  // not started: only its state and clock are used
  for (int ms : {9933, 9967, 10100}) {
    auto item = std::make_unique<ZovMediaItem>();
    item->type = kZovItemVideo;
    item->timeMs = ms;
    queue.Push(std::move(item));
  }
  queue.endState = kZovThreadStopped;
  sched.clockMs = 10005;  // where the sound ended
  // Two pictures are due: the end waits for each of them.
  CZovBasePlayer::CheckEnd(&queue, &sched, true);
  EXPECT_NE(sched.state, kZovThreadStopped);
  queue.PopVideo();
  CZovBasePlayer::CheckEnd(&queue, &sched, true);
  EXPECT_NE(sched.state, kZovThreadStopped);
  // A picture after the end of the sound does not hold the end.
  queue.PopVideo();
  CZovBasePlayer::CheckEnd(&queue, &sched, true);
  EXPECT_EQ(sched.state, kZovThreadStopped);
  EXPECT_EQ(queue.VideoCount(), 1);
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

// A channel that is not the main one: how far its reader leaves pictures
// out, decided from the lead of the newest decoded picture over the channel's
// clock, on a fake wall clock. Each step is one decoded picture.
TEST(CatchUpTest, FallsBackAStepAtATimeAndComesBackWhenAhead) {
  constexpr int64_t kHold = ZovCatchUp::kHoldMs;
  struct Step {
    int64_t nowMs;
    int64_t leadMs;
    int32_t level;  // expected after the decision
  };
  const struct {
    const char* what;
    std::vector<Step> steps;
  } cases[] = {
      {"keeping up: every picture", {{1000, 900, 0}, {1040, 400, 0}, {1080, 151, 0}}},
      {"behind: non-references, then key frames only, then no further",
       {{1000, 100, 1}, {1000 + kHold, 50, 2}, {1000 + 2 * kHold, -400, 2}}},
      {"a level is held: one slow picture right after a change does not move it",
       {{1000, 100, 1}, {1000 + kHold - 1, -50, 1}, {1000 + kHold, -50, 2}}},
      {"ahead again: back a step at a time",
       {{1000, 0, 1}, {1000 + kHold, 0, 2}, {1000 + 2 * kHold, 1500, 1}, {1000 + 3 * kHold, 900, 0}}},
      {"between the bounds nothing changes", {{1000, 100, 1}, {1000 + kHold, 500, 1}, {1000 + 5 * kHold, 800, 1}}},
  };
  for (const auto& c : cases) {
    int32_t level = kZovSkipNone;
    int64_t changedAt = 0;
    for (const Step& s : c.steps) {
      level = ZovCatchUp::Decide(level, s.leadMs, s.nowMs, &changedAt);
      EXPECT_EQ(level, s.level) << c.what << " at " << s.nowMs;
    }
  }
}

// The main channel's clock as the others read it: extrapolated from its last
// pass while that is recent, otherwise not running.
TEST(CatchUpTest, MainClockIsReadOnlyWhileFresh) {
  ZovPlayhead p;
  EXPECT_EQ(p.At(1000), ZovPlayhead::kNone) << "nothing published";
  p.Publish(5000, 1000);
  EXPECT_EQ(p.At(1000), 5000);
  EXPECT_EQ(p.At(1000 + ZovPlayhead::kFreshMs), 5000 + ZovPlayhead::kFreshMs);
  EXPECT_EQ(p.At(1001 + ZovPlayhead::kFreshMs), ZovPlayhead::kNone) << "stale: the main channel waits";
  p.Publish(ZovPlayhead::kNone, 1200);
  EXPECT_EQ(p.At(1200), ZovPlayhead::kNone) << "paused or holding for a seek";
}

// The reader applies the level: key frames only leaves out every other
// picture until the next key frame; a lower level starts at a key frame.
TEST(CatchUpTest, KeyFramesOnlyEndsAtAKeyFrame) {
  CZovReadThread reader;
  CZovBaseFile file;  // not opened: no decoder context to configure
  reader.file = &file;
  reader.catchUp = true;
  std::atomic<int64_t> playhead{0};
  reader.playheadMs = &playhead;
  AVPacket key{};
  key.flags = AV_PKT_FLAG_KEY;
  AVPacket other{};
  EXPECT_FALSE(reader.SkipPacket(&other)) << "every picture at first";
  // The hold since the last change is over at every decision here.
  auto decide = [&](int64_t pictureMs) {
    reader.levelChangedAtMs_ = INT32_MIN;
    reader.NoteDecodedPicture(pictureMs);
  };
  playhead = 10000;
  decide(9000);
  EXPECT_EQ(reader.skipLevel, kZovSkipNonRef);
  decide(9000);
  ASSERT_EQ(reader.skipLevel, kZovSkipNonKey);
  EXPECT_TRUE(reader.SkipPacket(&other));
  // Far ahead: the wanted level drops, but pictures after skipped ones
  // cannot be decoded before the next key frame.
  decide(20000);
  EXPECT_EQ(reader.skipLevel, kZovSkipNonKey);
  EXPECT_TRUE(reader.SkipPacket(&other));
  EXPECT_FALSE(reader.SkipPacket(&key));
  EXPECT_EQ(reader.skipLevel, kZovSkipNonRef);
  EXPECT_FALSE(reader.SkipPacket(&other));
  // The clock stopped (pause, seek): no decision.
  playhead = CZovReadThread::kNoPlayhead;
  decide(0);
  EXPECT_EQ(reader.skipLevel, kZovSkipNonRef);
}

// At key frames only, the reader stops once one key frame is far enough
// ahead, rather than queue seconds of key frames (every picture between them
// would be lost until those were shown); at other levels the read-ahead
// alone decides.
TEST(CatchUpTest, KeyFramesOnlyReadsOneKeyFrameAhead) {
  CZovReadThread reader;
  CZovBaseFile file;
  reader.file = &file;
  reader.catchUp = true;
  std::atomic<int64_t> playhead{10000};
  reader.playheadMs = &playhead;
  EXPECT_FALSE(reader.KeyFramesFarEnough()) << "nothing decoded yet";
  reader.ApplySkipLevel(kZovSkipNonKey);
  reader.levelChangedAtMs_ = NowMs();  // no decision changes the level here
  reader.NoteDecodedPicture(10000 + ZovCatchUp::kAheadMs);
  EXPECT_FALSE(reader.KeyFramesFarEnough());
  reader.NoteDecodedPicture(10001 + ZovCatchUp::kAheadMs);
  EXPECT_TRUE(reader.KeyFramesFarEnough());
  playhead = 10001;  // the clock moved on: read the next one
  EXPECT_FALSE(reader.KeyFramesFarEnough());
  playhead = CZovReadThread::kNoPlayhead;
  EXPECT_FALSE(reader.KeyFramesFarEnough()) << "the clock does not run";
  playhead = 10000;
  reader.ApplySkipLevel(kZovSkipNonRef);
  EXPECT_FALSE(reader.KeyFramesFarEnough()) << "every key and reference picture is decoded";
}

}  // namespace

// When the reader rests: decoded pictures by time ahead and by bytes, never
// fewer than a few nor more than the item cap; packets by a longer time and
// their own byte budget; a recording without pictures by sound frames.
TEST(ReadAheadTest, RestsOnTimeOrBytesWithinCountBounds) {
  using R = ZovReadAhead;
  constexpr int64_t k1080 = 1920LL * 1088 * 3 / 2;  // a decoded 1080p picture
  constexpr int64_t k2160 = 3840LL * 2160 * 3 / 2;
  struct Case {
    const char* what;
    ZovListLoad video;
    ZovListLoad audio;
    bool soundOnly;
    bool packetsOnly;
    bool rest;
  };
  const Case cases[] = {
      {"empty: read", {0, 0, 0}, {}, false, false, false},
      {"1080p, a third of the reach: read", {3, 3 * k1080, 66}, {}, false, false, false},
      {"1080p, just short of the reach: read", {8, 8 * k1080, R::kPictureAheadMs - 1}, {}, false, false, false},
      {"1080p at the reach: rest", {9, 9 * k1080, R::kPictureAheadMs}, {}, false, false, true},
      {"4K: the byte budget rests before the reach", {6, 6 * k2160, 166}, {}, false, false, true},
      {"4K: just under the byte budget reads on", {5, 5 * k2160, 133}, {}, false, false, false},
      {"huge pictures: never fewer than the minimum", {R::kMinPictures - 1, 1LL << 32, 1000}, {}, false, false, false},
      {"times that do not advance: the item cap", {R::kMaxItems, R::kMaxItems * 1000LL, 0}, {}, false, false, true},
      {"one under the cap, no time: read", {R::kMaxItems - 1, (R::kMaxItems - 1) * 1000LL, 0}, {}, false, false, false},
      {"sound does not count with pictures", {5, 5 * k1080, 133}, {500, 1LL << 30, 10000}, false, false, false},
      {"packets read on past the picture reach", {60, 6 << 20, 2000}, {}, false, true, false},
      {"packets rest at their reach", {90, 9 << 20, R::kPacketAheadMs}, {}, false, true, true},
      {"packets rest at their byte budget", {20, R::kPacketBytes, 600}, {}, false, true, true},
      {"sound only: frames below the cap read", {}, {R::kMaxSoundItems - 1, 1 << 20, 2500}, true, false, false},
      {"sound only: rest at the cap", {}, {R::kMaxSoundItems, 1 << 20, 2500}, true, false, true},
  };
  for (const Case& c : cases) {
    ZovReadAhead::View v;
    v.video = c.video;
    v.audio = c.audio;
    v.soundOnly = c.soundOnly;
    v.packetsOnly = c.packetsOnly;
    EXPECT_EQ(ZovReadAhead::Rest(v), c.rest) << c.what;
  }
}
