#pragma once
// The scheduler of one channel: presents the queued items against a wall
// clock anchored on the first master item. The master (timed) list is video
// or audio by the recording's packet rhythm; the other list follows and is
// shown as soon as the master clock has reached each item's time. A pause, a
// seek, a lateness above kLateReanchorMs or a discontinuity re-anchors the
// clock on the next master item. The clock runs at the playback speed
// (speedPercent: media ms per 100 wall ms); a change of speed re-anchors it.
//
// Each pass is a decision and an action. DecideMode looks at the worker state
// and the queue (rest, pause, seek hold, play); when playing, DecideTiming
// looks at the held items and the injected clock and says what to do: anchor
// the clock, present the master item, wait N ms, or rest. Both are pure
// functions of a snapshot, so the tests drive them directly.
//
// Lock order: this thread's stateLock (taken to pop and to present), then the
// queue's lock inside it, then whatever the decoder object takes to present.
//
// Seeks: the read thread carries a seek out and tells the scheduler with
// BeginSeek (atomics only, no lock). The scheduler's next pass holds: under
// its stateLock it drops the items it held for the old position, moves the
// clock to the target, shows the first picture of the new position as soon
// as it is queued (also while paused), then ends the hold; playing, the
// clock re-anchors on the next master item once the pre-buffer is there.
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/zov_media_queue.h"
#include "platform/zov_thread.h"

class CZovBaseFile;
class CZovAudioPlay;
class CZovTempoFilter;

// Source of "now" and of the pauses of the scheduler loop.
class ZovSchedulerClock {
 public:
  virtual ~ZovSchedulerClock() = default;
  virtual int32_t Now();         // NowMs()
  virtual void Sleep(int ms);    // SleepMs(ms)
  static ZovSchedulerClock* Real();
};

// The main channel's clock as the other channels see it: the media time of
// its last pass and when that was (NowMs). Shared (owned by the media-play
// manager and each scheduler), so a channel may outlive another's scheduler.
struct ZovPlayhead {
  static constexpr int64_t kNone = INT64_MIN;
  // A reading older than this is not trusted (the main channel waits for
  // data, is paused or has ended); its passes come every few ms.
  static constexpr int64_t kFreshMs = 100;
  void Publish(int64_t mediaMs, int64_t wallMs) {
    wallMs_ = wallMs;
    mediaMs_ = mediaMs;
  }
  // The main channel's media time at `nowMs`, or kNone (its clock runs at
  // speedPercent_ media ms per 100 wall ms).
  int64_t At(int64_t nowMs) const {
    const int64_t media = mediaMs_;
    const int64_t wall = wallMs_;
    if (media == kNone || nowMs - wall > kFreshMs) return kNone;
    return media + (nowMs - wall) * speedPercent_ / 100;
  }
  std::atomic<int32_t> speedPercent_{100};
  // How late the main channel presented its last master item (ms after its
  // time; 0 or less when on time).
  void PublishLateness(int64_t lateMs) { lateMs_ = lateMs; }
  int64_t LateMs() const { return lateMs_; }
  std::atomic<int64_t> mediaMs_{kNone};
  std::atomic<int64_t> wallMs_{0};
  std::atomic<int64_t> lateMs_{0};
};

// One moment of a drive and its place in the sequence: the channels of a
// moment that stands by (opened, first pictures decoded) present nothing
// until the moment before is over, and nothing once their own is over. The
// main channel's scheduler marks its moment over as soon as it has presented
// its last picture, with the wall time that picture's frame ends; the next
// moment's first picture is due then, without the user-interface thread
// taking part. Shared by the schedulers of a moment and of the moment after
// (atomics only).
struct ZovMomentTurn {
  // Set after nextDueWallMs.
  std::atomic<bool> over{false};
  // NowMs when the last picture's frame ends.
  std::atomic<int64_t> nextDueWallMs{0};
  // The moment this one follows (null: it plays at once).
  std::shared_ptr<const ZovMomentTurn> after;
  // Ms until this moment's first picture is due: 0 or less once it may
  // present, INT64_MAX while the moment before plays.
  int64_t WaitMs(int64_t nowMs) const {
    if (!after) return 0;
    if (!after->over) return INT64_MAX;
    return after->nextDueWallMs - nowMs;
  }
};

// What a pass does before looking at times.
enum class ZovPassMode {
  kStopped,     // the worker is stopping: nothing
  kPausedRest,  // paused: drop the waiting master item, re-anchor later, rest
  kPrebuffer,   // the reader has not queued enough yet: rest
  kSeekHold,    // a seek is being carried out: show its first picture
  kPlay,        // take items and decide on their times
};

// What a playing pass does with the held items.
enum class ZovTimingAction {
  kRest,     // nothing to present now (lists empty): rest kIdleSleepMs
  kEnd,      // the recording has played out: rest until the player stops us
  kAnchor,   // (re)anchor the clock on `anchorMs` and present what is at it
  kWait,     // the master item is due in waitMs
  kPresent,  // the master item is due: present it
  kDrop,     // the master item is too late to be worth showing: drop it
};

// A snapshot of what DecideTiming looks at. Times in ms; media times are
// item times, wall times come from the scheduler's clock.
struct ZovTimingView {
  bool anchored = false;
  int64_t anchorMediaMs = 0;
  int64_t anchorWallMs = 0;
  int64_t nowMs = 0;
  int64_t clockMs = 0;  // time of the last master item presented
  bool hasTimed = false;
  int64_t timedMs = 0;
  bool hasFollower = false;
  int64_t followerMs = 0;
  bool draining = false;
  // A step of the master stream larger than this is a discontinuity.
  int64_t discontinuityMs = INT64_MAX;
  // A channel other than the main one: it catches up on lateness by dropping
  // pictures instead of moving its clock back.
  bool catchUp = false;
  // A catching-up channel with a main channel to follow (hasLeader) starts
  // its clock on the main channel's media time now (leaderMs), or waits
  // while the main clock does not run (leaderMs = kNoPlayhead).
  bool hasLeader = false;
  int64_t leaderMs = INT64_MIN;
  // How late the main channel presents its items; while that is more than
  // kLeaderLateMs, a following channel shows only every other picture
  // (leaderYieldOdd says whether this one is the other), so its drawing
  // does not keep the main channel behind.
  int64_t leaderLateMs = 0;
  bool leaderYieldOdd = false;
  // The sound heard now, when the sound is the master and plays; pictures
  // follow it rather than the sound handed to the output, which the device
  // plays later. kNoSoundClock: follow clockMs.
  static constexpr int64_t kNoSoundClock = INT64_MIN;
  int64_t soundClockMs = kNoSoundClock;
  // Playback speed: media ms the clock advances per 100 wall ms.
  int32_t speedPercent = 100;
  // Media ms elapsed in `wallMs` of wall time at this speed, and back.
  int64_t MediaOfWall(int64_t wallMs) const { return wallMs * speedPercent / 100; }
  int64_t WallOfMedia(int64_t mediaMs) const { return (mediaMs * 100 + speedPercent - 1) / speedPercent; }
};

struct ZovTimingDecision {
  ZovTimingAction action = ZovTimingAction::kRest;
  int64_t anchorMs = 0;          // kAnchor: the media time the clock starts from
  bool anchorOnTimed = false;    // kAnchor: present the master item at the anchor
  int64_t waitMs = 0;            // kWait
  bool presentFollower = false;  // present the follower item first
  bool reanchorNext = false;     // kPresent: too late, re-anchor on the next one
  bool yielded = false;          // kPresent/kDrop of a channel yielding to the main one
};

class CZovBaseCheduler : public CZovThread {
 public:
  // A master item more than this late re-anchors the clock on the next one:
  // catching up further would play a visible burst.
  static constexpr int kLateReanchorMs = 500;
  // Pause of the loop while waiting for data or idle: short enough to keep up
  // with 60 fps, long enough not to spin.
  static constexpr int kIdleSleepMs = 5;
  // Pause after presenting a due item, so the next due one is not missed.
  static constexpr int kDueSleepMs = 1;
  // A master item is waited for in slices of at most this, so that a pause
  // or a stop set meanwhile is seen within one slice.
  static constexpr int kWaitSliceMs = 5;
  // clockMs before anything was presented: negative, so no item is due yet
  // and the position reads as 0 s rather than a time of the recording.
  static constexpr int64_t kInitialClockMs = -1000;
  // anchorMediaMs when the clock must be re-anchored on the next master item.
  static constexpr int64_t kNoAnchor = -1;
  // A video picture shown later than this after its due time counts as late
  // (more than one frame at 20 fps).
  static constexpr int kLateReportMs = 50;
  // A master stream that is silent for longer than this (it starts later than
  // the other stream, or has a hole) lets the follower play on the wall clock
  // instead of waiting for it; normal master steps are a frame, < 100 ms.
  static constexpr int kMasterGapMs = 1000;
  // A catching-up channel drops a picture this late rather than spend the
  // drawing on it (the next one is due already at 30 fps).
  static constexpr int kCatchUpDropMs = 100;
  // A channel following the main one whose clock has drifted this far from
  // it (the main channel moved its clock back after a stall) starts again on
  // the main channel's time.
  static constexpr int kLeaderDriftMs = 250;
  // The main channel showing its pictures later than this (more than a
  // frame at 20 fps) makes the following channels yield (every other
  // picture dropped).
  static constexpr int kLeaderLateMs = 50;
  // playheadMs while the clock is not running.
  static constexpr int64_t kNoPlayhead = INT64_MIN;

  CZovBaseCheduler();
  ~CZovBaseCheduler() override;

  void Start() override;
  void Run() override;
  // Also forces a re-anchor on the next master item.
  void SetState(int32_t newState) override;

  // The decisions of a pass (pure). A catching-up channel only pre-buffers
  // before it starts: afterwards it plays on what the reader gives it.
  static ZovPassMode DecideMode(int32_t state, bool hold, bool needsData);
  static ZovTimingDecision DecideTiming(const ZovTimingView& view);

  // Steps of Run, public so tests can drive them with a fake clock.
  // Master choice: video unless the decoder object's audio-master rule holds
  // or the recording has no picture; channels 1 and 2, which have no sound,
  // always use video.
  void ChooseMaster();
  // One pass of the presentation loop: decide, then act.
  void RunPass();
  bool StoppedOrPaused() const;
  // Releases the held timed and follower items (worker thread, or once the
  // worker has ended).
  void ReleaseHeld();
  // The next master item re-anchors the clock.
  void RequestReanchor() { anchorMediaMs = kNoAnchor; }
  // The read thread has flushed the queue for a seek to `targetMs` (its
  // request's serial) and is about to read the new position: the next pass
  // holds (see the header comment). Any thread; takes no lock. The items the
  // scheduler holds belong to the old position; only the worker touches
  // them, so it drops them itself under stateLock before it next takes
  // items or presents, and a pass that decided on them presents nothing.
  void BeginSeek(int64_t targetMs, uint32_t serial);
  // Serial of the last seek whose hold began (its clock is at the target or
  // past it); 0 before any.
  uint32_t AppliedSeekSerial() const { return appliedSeekSerial_; }
  bool Anchored() const { return anchorMediaMs != kNoAnchor; }
  // Playback speed in percent (25 to 400): the clock runs that fast and is
  // re-anchored on the next master item. Sound goes through a tempo filter
  // up to kMaxSoundSpeedPercent and is left out beyond (any thread).
  void SetSpeedPercent(int32_t percent);
  int32_t SpeedPercent() const { return speedPercent_; }
  static constexpr int32_t kMaxSoundSpeedPercent = 200;
  void SetClock(ZovSchedulerClock* c) { clock = c ? c : ZovSchedulerClock::Real(); }
  // The snapshot DecideTiming sees now.
  ZovTimingView TimingView() const;
  // A master item is popped and waits for its time (the end of the
  // recording is not reached while one does).
  bool HoldsMaster() const { return holdsMaster_; }
  // Pictures popped and held for their time (0 to 2; any thread).
  int32_t HeldPictures() const { return heldPictures_; }

  std::atomic<int64_t> clockMs{kInitialClockMs};
  // Media time now while the clock runs, else kNoPlayhead (read by the
  // reader of a catching-up channel).
  std::atomic<int64_t> playheadMs{kNoPlayhead};
  // Set before Start for channels other than the main one.
  bool catchUp = false;
  // The main channel's clock: channel 0 publishes into it, the others
  // anchor on it (null: each channel keeps its own clock).
  std::shared_ptr<ZovPlayhead> leader;
  // The drive moment this channel plays (null: a recording on its own).
  // Set before Start.
  std::shared_ptr<ZovMomentTurn> turn;
  // Of a channel following the main one, pictures this far into a moment
  // count in the offset figures (the first second is the start's catching up).
  static constexpr int64_t kOffsetSettleMs = 1000;
  std::atomic<int64_t> anchorMediaMs{kNoAnchor};
  std::atomic<int32_t> videoMaster{1};
  std::atomic<uint8_t> holdFlag{0};
  CZovBaseFile* file = nullptr;         // not owned
  CZovMediaQueue* queue = nullptr;      // not owned
  CZovAudioPlay* audioOutput = nullptr;  // not owned; null for channels 1 and 2
  int64_t anchorWallMs = 0;             // worker only

  // Counters for reports (written by the worker).
  std::atomic<int64_t> presentedVideo{0};
  std::atomic<int64_t> presentedAudio{0};
  std::atomic<int64_t> droppedVideo{0};  // released without being shown
  // Of those, dropped by a following channel to yield to a late main channel.
  std::atomic<int64_t> yieldedVideo{0};
  std::atomic<int64_t> lateVideo{0};
  std::atomic<int64_t> reanchors{0};
  std::atomic<int64_t> discontinuities{0};
  // NowMs and media time of the last picture presented (seek latency).
  std::atomic<int32_t> lastVideoWallMs{0};
  std::atomic<int32_t> lastVideoMediaMs{-1};
  // NowMs of the first picture presented (valid once presentedVideo > 0).
  std::atomic<int32_t> firstVideoWallMs{0};
  // A following channel: the largest distance, in ms, between a picture it
  // presented and the main channel's media time then, from kOffsetSettleMs on.
  std::atomic<int64_t> leaderOffsetMaxMs{0};
  std::atomic<int64_t> leaderOffsetSumMs{0};
  std::atomic<int64_t> leaderOffsetCount{0};
  // Picture time minus the sound clock at each picture presented while the
  // sound plays (channel 0): sum, count and largest size, in ms.
  std::atomic<int64_t> avOffsetSumMs{0};
  std::atomic<int64_t> avOffsetCount{0};
  std::atomic<int64_t> avOffsetMaxMs{0};

 private:
  // Runs `present` under the state lock unless a pause or stop was set while
  // this pass waited for it; false when it did not run.
  template <class F>
  bool PresentIfRunning(F&& present);
  void HoldPass();
  // Under stateLock: starts the hold of a seek that BeginSeek announced.
  void ApplySeek();
  void TakeItems();
  void Act(const ZovTimingDecision& d);
  // Shows a video item or plays an audio item, then releases it.
  void Present(ZovMediaItemPtr& item);
  // Hands a sound item to the output: as it is at speed 1, through the
  // tempo filter up to kMaxSoundSpeedPercent, not at all beyond.
  void PlaySound(const ZovMediaItem& item);
  // Presents the master item and moves the clock to its time.
  void PresentTimed();
  void PresentFollower();
  void Drop(ZovMediaItemPtr& item);
  // Sets playheadMs and, on the main channel, the shared leader clock.
  void Publish(int64_t mediaMs);
  // Adds the picture at `timeMs`, just shown, to the sound offset figures.
  void NoteSoundOffset(int64_t timeMs);
  // The main channel tells the others how late (ms after its time) it
  // presents its master item.
  void PublishLateness(int64_t lateMs);
  // The main channel of a drive moment: the reader met the end and nothing
  // is queued or held.
  bool MomentPlayedOut() const;
  // The wall time the frame of the last picture presented ends.
  int64_t LastFrameEndMs() const;
  // Adds a picture of time `timeMs`, just shown, to the leader offset figures.
  void NoteLeaderOffset(int64_t timeMs);
  // Drops the held items when a seek asked for it (under stateLock); true
  // when it did.
  bool DropForgottenHeld();
  ZovMediaItemPtr PopTimed();
  ZovMediaItemPtr PopFollower();
  // While the first pre-buffer fills: draws once, uncounted, the first
  // decoded picture or a black one, so the view's first draw (with a
  // software renderer, its shader compilation: about 350 ms on this machine)
  // overlaps the decoding instead of delaying the first presentation.
  void PrimeView();

  // Keeps holdsMaster_ in step with `timed`.
  void NoteHeld() {
    holdsMaster_ = timed != nullptr;
    heldPictures_ = int32_t(timed && timed->type == kZovItemVideo) + int32_t(follower && follower->type == kZovItemVideo);
  }

  ZovSchedulerClock* clock;
  std::atomic<int32_t> speedPercent_{100};
  // Keeps the pitch of sound played faster or slower (worker only).
  std::unique_ptr<CZovTempoFilter> tempo_;
  std::atomic<bool> holdsMaster_{false};
  std::atomic<int32_t> heldPictures_{0};
  std::atomic<bool> forgetHeld_{false};
  // The seek announced by BeginSeek, and the one whose hold began.
  std::atomic<int64_t> seekTargetMs_{0};
  std::atomic<uint32_t> seekSerial_{0};
  std::atomic<uint32_t> appliedSeekSerial_{0};
  bool seekShown_ = true;  // worker only: the hold's first picture is shown
  bool yieldOdd_ = false;  // worker only: the next yielding picture is dropped
  bool primed_ = false;    // worker only: PrimeView has drawn
  // Held between passes (worker only): the timed item t and follower item f.
  ZovMediaItemPtr timed;
  ZovMediaItemPtr follower;
};
