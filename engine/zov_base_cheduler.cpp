#include "engine/zov_base_cheduler.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/zov_audio_play.h"
#include "engine/zov_base_file.h"
#include "engine/zov_read_thread.h"
#include "engine/zov_tempo_filter.h"
#include "engine/zov_time.h"

int32_t ZovSchedulerClock::Now() { return NowMs(); }
void ZovSchedulerClock::Sleep(int ms) { SleepMs(ms); }
ZovSchedulerClock* ZovSchedulerClock::Real() {
  static ZovSchedulerClock real;
  return &real;
}

CZovBaseCheduler::CZovBaseCheduler() : clock(ZovSchedulerClock::Real()) {}

CZovBaseCheduler::~CZovBaseCheduler() {
  Stop();
  ReleaseHeld();
}

void CZovBaseCheduler::Start() {
  state = kZovThreadRunning;
  StartThread(nullptr, this);
}

void CZovBaseCheduler::SetSpeedPercent(int32_t percent) {
  speedPercent_ = std::clamp<int32_t>(percent, 25, 400);
  if (leader && !catchUp) leader->speedPercent_ = speedPercent_.load();
  RequestReanchor();
}

void CZovBaseCheduler::PlaySound(const ZovMediaItem& item) {
  if (!audioOutput || !item.frame) return;
  const int32_t speed = speedPercent_;
  if (speed == 100) {
    if (tempo_) tempo_->Reset();
    audioOutput->PlayTimedFrame(item.frame.get(), item.timeMs);
  } else if (speed <= kMaxSoundSpeedPercent) {
    if (!tempo_) tempo_ = std::make_unique<CZovTempoFilter>();
    for (AVFrameUPtr& frame : tempo_->Filter(item.frame.get(), speed))
      audioOutput->PlayTimedFrame(frame.get(), item.timeMs);
  } else {
    return;  // muted beyond the speed the filter keeps intelligible
  }
  ++presentedAudio;
}

void CZovBaseCheduler::SetState(int32_t newState) {
  std::lock_guard<std::recursive_mutex> guard(stateLock);
  state = newState;
  RequestReanchor();
}

void CZovBaseCheduler::ChooseMaster() {
  // Only the main channel queues sound (the reader drops it elsewhere), so
  // channels 1 and 2 time their pictures themselves: with an empty audio list
  // as the master, every pass would re-anchor and show the next picture at
  // once, playing the channel in fast bursts. A recording without pictures
  // is timed by its sound.
  int32_t video = 1;
  if (file && file->channelIndex == 0) video = file->TimedBySound() ? 0 : 1;
  videoMaster = video;
}

void CZovBaseCheduler::Run() {
  std::lock_guard<std::recursive_mutex> body(runLock);
  if (!file || !queue) {
    state = kZovThreadStopped;
    return;
  }
  if (catchUp) ZovLowerThreadPriority(CZovReadThread::kCatchUpNice);
  // Pre-buffer: wait for the reader to queue enough items (a channel that
  // follows the main one starts with it instead; a seek's picture is shown
  // at once, even while paused).
  while (queue->NeedsData() && !(catchUp && leader) && state != kZovThreadStopped && !holdFlag)
    clock->Sleep(kIdleSleepMs);
  ChooseMaster();
  while (state != kZovThreadStopped) RunPass();
  ReleaseHeld();
  state = kZovThreadStopped;
}

void CZovBaseCheduler::Publish(int64_t mediaMs) {
  playheadMs = mediaMs;
  if (leader && !catchUp) leader->Publish(mediaMs, clock->Now());
}

ZovMediaItemPtr CZovBaseCheduler::PopTimed() { return videoMaster ? queue->PopVideo() : queue->PopAudio(); }

ZovMediaItemPtr CZovBaseCheduler::PopFollower() { return videoMaster ? queue->PopAudio() : queue->PopVideo(); }

void CZovBaseCheduler::Present(ZovMediaItemPtr& item) {
  if (!item) return;
  if (item->type == kZovItemVideo) {
    const bool hasPicture = item->frame || item->packet;
    const int32_t time = item->timeMs;
    if (file && file->Present(item.get()) == 0 && hasPicture) {
      if (presentedVideo == 0) firstVideoWallMs = clock->Now();
      ++presentedVideo;
      NoteLeaderOffset(time);
      lastVideoMediaMs = time;
      lastVideoWallMs = clock->Now();
    }
  } else if (item->type == kZovItemAudio) {
    PlaySound(*item);
  }
  item.reset();
  NoteHeld();
}

void CZovBaseCheduler::NoteSoundOffset(int64_t timeMs) {
  if (!audioOutput) return;
  const int64_t heard = audioOutput->SoundClockMs(clock->Now());
  if (heard == CZovAudioPlay::kNoClock) return;
  const int64_t offset = timeMs - heard;
  avOffsetSumMs += offset;
  ++avOffsetCount;
  const int64_t size = std::llabs(offset);
  if (size > avOffsetMaxMs) avOffsetMaxMs = size;
}

void CZovBaseCheduler::NoteLeaderOffset(int64_t timeMs) {
  if (!catchUp || !leader || timeMs < kOffsetSettleMs) return;
  const int64_t main = leader->At(clock->Now());
  if (main == ZovPlayhead::kNone) return;
  const int64_t size = std::llabs(timeMs - main);
  ++leaderOffsetCount;
  leaderOffsetSumMs += size;
  if (size > leaderOffsetMaxMs) leaderOffsetMaxMs = size;
}

bool CZovBaseCheduler::MomentPlayedOut() const {
  if (!queue || queue->endState != kZovQueueAtEnd || timed || (!videoMaster && follower)) return false;
  return queue->VideoCount() == 0 && (videoMaster || queue->AudioCount() == 0);
}

int64_t CZovBaseCheduler::LastFrameEndMs() const {
  if (presentedVideo == 0) return clock->Now();
  // The last picture stays for its frame (a 10 to 100 ms step).
  const int64_t step = std::clamp<int64_t>(file ? int64_t(file->minVideoIntervalMs.load()) : 33, 10, 100);
  return int64_t(lastVideoWallMs) + step * 100 / std::max<int32_t>(speedPercent_, 1);
}

void CZovBaseCheduler::PublishLateness(int64_t lateMs) {
  if (leader && !catchUp) leader->PublishLateness(lateMs);
}

void CZovBaseCheduler::PresentTimed() {
  if (!timed) return;
  const int64_t time = timed->timeMs;
  const bool video = timed->type == kZovItemVideo;
  const int64_t shown = presentedVideo;
  // The clock moves before the picture is published as shown: whoever sees
  // the new picture then reads the position that goes with it.
  clockMs = time;
  Present(timed);
  if (video && presentedVideo != shown) NoteSoundOffset(time);
  NoteHeld();
}

void CZovBaseCheduler::PresentFollower() {
  if (!follower) return;
  const bool video = follower->type == kZovItemVideo;
  const int64_t time = follower->timeMs;
  if (video && clockMs - time > kLateReportMs) ++lateVideo;
  const int64_t shown = presentedVideo;
  Present(follower);
  if (video && presentedVideo != shown) NoteSoundOffset(time);
}

void CZovBaseCheduler::Drop(ZovMediaItemPtr& item) {
  if (item && item->type == kZovItemVideo) ++droppedVideo;
  item.reset();
  NoteHeld();
}

void CZovBaseCheduler::ReleaseHeld() {
  Drop(timed);
  Drop(follower);
}

bool CZovBaseCheduler::DropForgottenHeld() {
  if (!forgetHeld_.exchange(false)) return false;
  ReleaseHeld();
  return true;
}

// Checked again once the state lock is held: a pause or stop that was issued
// while this pass waited for the lock has already returned to its caller, so
// nothing more may be presented until the state is running again.
bool CZovBaseCheduler::StoppedOrPaused() const {
  return state == kZovThreadPaused || state == kZovThreadStopped;
}

template <class F>
bool CZovBaseCheduler::PresentIfRunning(F&& present) {
  std::lock_guard<std::recursive_mutex> unit(stateLock);
  if (StoppedOrPaused()) return false;
  // A seek made the items this pass decided on stale.
  if (DropForgottenHeld()) return false;
  present();
  return true;
}

ZovPassMode CZovBaseCheduler::DecideMode(int32_t state, bool hold, bool needsData) {
  // A seek shows its picture whether playing or paused.
  if (hold) return state == kZovThreadStopped ? ZovPassMode::kStopped : ZovPassMode::kSeekHold;
  // Wait for the reader to refill, until it has reached the end.
  if (needsData && state != kZovThreadStopped) return ZovPassMode::kPrebuffer;
  if (state == kZovThreadStopped) return ZovPassMode::kStopped;
  if (state == kZovThreadPaused) return ZovPassMode::kPausedRest;
  return ZovPassMode::kPlay;
}

namespace {

// The decision of a pass that has no anchor (start, pause, seek, lateness or
// a discontinuity): where the clock starts and what is shown at once.
ZovTimingDecision AnchorDecision(const ZovTimingView& v) {
  ZovTimingDecision d;
  if (v.catchUp && v.hasLeader) {
    // Another channel keeps the main channel's time: its clock starts there,
    // and its pictures wait for their time or, too late, are dropped.
    if (v.leaderMs == CZovBaseCheduler::kNoPlayhead) {
      d.action = v.draining && !v.hasTimed ? ZovTimingAction::kEnd : ZovTimingAction::kRest;
      return d;
    }
    d.action = ZovTimingAction::kAnchor;
    d.anchorMs = v.leaderMs;
    return d;
  }
  d.action = ZovTimingAction::kAnchor;
  if (v.hasTimed && !(v.hasFollower && v.followerMs < v.timedMs - CZovBaseCheduler::kMasterGapMs)) {
    d.anchorMs = v.timedMs;
    d.anchorOnTimed = true;
    // A follower item far ahead waits for its time.
    d.presentFollower = v.hasFollower && v.followerMs <= v.timedMs + CZovBaseCheduler::kMasterGapMs;
  } else if (v.hasFollower) {
    // The master stream starts later (or has run dry): the clock starts with
    // the other one, and the master item waits for its time.
    d.anchorMs = v.followerMs;
    d.presentFollower = true;
  } else {
    d.action = v.draining ? ZovTimingAction::kEnd : ZovTimingAction::kRest;
  }
  return d;
}

}  // namespace

ZovTimingDecision CZovBaseCheduler::DecideTiming(const ZovTimingView& v) {
  if (!v.anchored) return AnchorDecision(v);
  ZovTimingDecision d;
  if (!v.hasTimed && !v.hasFollower) {
    d.action = v.draining ? ZovTimingAction::kEnd : ZovTimingAction::kRest;
    return d;
  }
  // A step of the master stream beyond the recording's plausible range is a
  // discontinuity (a clock reset, a damaged time table): the clock starts
  // again from it rather than waiting for it or racing to catch up.
  if (v.hasTimed && v.clockMs != kInitialClockMs && std::llabs(v.timedMs - v.clockMs) > v.discontinuityMs)
    return AnchorDecision(v);
  // Wall time elapsed since the anchor, as media time at the playback speed.
  const int64_t wallElapsed = v.MediaOfWall(v.nowMs - v.anchorWallMs);
  const int64_t mediaNow = v.anchorMediaMs + wallElapsed;
  if (v.catchUp && v.hasLeader && v.leaderMs != kNoPlayhead && std::llabs(mediaNow - v.leaderMs) > kLeaderDriftMs)
    return AnchorDecision(v);
  // The follower is shown once the master clock has reached it; while the
  // master stream is silent (not started, or a hole), on the wall clock.
  const bool masterSilent = !v.hasTimed || mediaNow - v.clockMs > kMasterGapMs;
  const int64_t followerClock = v.soundClockMs != ZovTimingView::kNoSoundClock ? v.soundClockMs : v.clockMs;
  d.presentFollower = v.hasFollower && (v.followerMs <= followerClock || (masterSilent && v.followerMs <= mediaNow));
  if (!v.hasTimed) return d;  // kRest
  const int64_t mediaElapsed = v.timedMs - v.anchorMediaMs;
  if (mediaElapsed > wallElapsed) {
    d.action = ZovTimingAction::kWait;
    d.waitMs = v.WallOfMedia(mediaElapsed - wallElapsed);
    return d;
  }
  const int64_t lateness = wallElapsed - mediaElapsed;
  if (v.catchUp) {
    // Keeps its clock with the main channel's: late pictures are dropped.
    if (lateness > kCatchUpDropMs) {
      d.action = ZovTimingAction::kDrop;
      return d;
    }
    d.action = ZovTimingAction::kPresent;
    // The main channel is behind: every other picture is left undrawn.
    if (v.hasLeader && v.leaderLateMs > kLeaderLateMs) {
      d.yielded = true;
      if (v.leaderYieldOdd) d.action = ZovTimingAction::kDrop;
    }
    return d;
  }
  d.action = ZovTimingAction::kPresent;
  d.reanchorNext = lateness > kLateReanchorMs;
  return d;
}

ZovTimingView CZovBaseCheduler::TimingView() const {
  ZovTimingView v;
  v.anchored = Anchored();
  v.anchorMediaMs = anchorMediaMs;
  v.anchorWallMs = anchorWallMs;
  v.nowMs = clock->Now();
  v.clockMs = clockMs;
  v.hasTimed = timed != nullptr;
  v.timedMs = timed ? timed->timeMs : 0;
  v.hasFollower = follower != nullptr;
  v.followerMs = follower ? follower->timeMs : 0;
  v.draining = queue && queue->draining != 0;
  if (file) v.discontinuityMs = file->DiscontinuityLimitMs();
  v.catchUp = catchUp;
  if (catchUp && leader) {
    v.hasLeader = true;
    v.leaderMs = leader->At(v.nowMs);
    v.leaderLateMs = leader->LateMs();
    v.leaderYieldOdd = yieldOdd_;
  }
  v.speedPercent = speedPercent_;
  // Sound played through the tempo filter is shorter or longer than its
  // media time: at another speed the pictures keep the clock.
  if (!videoMaster && audioOutput && v.speedPercent == 100) {
    const int64_t heard = audioOutput->SoundClockMs(static_cast<int32_t>(v.nowMs));
    if (heard != CZovAudioPlay::kNoClock) v.soundClockMs = heard;
  }
  return v;
}

void CZovBaseCheduler::BeginSeek(int64_t targetMs, uint32_t serial) {
  seekTargetMs_ = targetMs;
  seekSerial_ = serial;
  // A pass that decided on old items before this presents none of them.
  forgetHeld_ = true;
  holdFlag = 1;
}

void CZovBaseCheduler::ApplySeek() {
  const uint32_t serial = seekSerial_;
  if (serial == appliedSeekSerial_) return;
  forgetHeld_ = false;
  ReleaseHeld();
  if (tempo_) tempo_->Reset();
  clockMs = seekTargetMs_.load();
  appliedSeekSerial_ = serial;
  seekShown_ = false;
}

void CZovBaseCheduler::HoldPass() {
  {
    std::lock_guard<std::recursive_mutex> unit(stateLock);
    if (state == kZovThreadStopped) return;
    ApplySeek();
    if (!seekShown_) {
      // Sound stays queued: it plays from the re-anchor on.
      if (ZovMediaItemPtr first = queue->PopVideo()) {
        clockMs = first->timeMs;  // before the picture shows, as above
        Present(first);
        seekShown_ = true;
      } else if ((file && file->IsSoundOnly()) || (queue->endState == kZovQueueAtEnd && queue->VideoCount() == 0)) {
        seekShown_ = true;  // no picture is coming
      }
    }
    if (seekShown_ && seekSerial_ == appliedSeekSerial_) {
      holdFlag = 0;
      RequestReanchor();
      return;
    }
  }
  clock->Sleep(kIdleSleepMs);
}

void CZovBaseCheduler::TakeItems() {
  std::lock_guard<std::recursive_mutex> unit(stateLock);
  DropForgottenHeld();
  if (!follower) follower = PopFollower();
  if (!timed) timed = PopTimed();
  NoteHeld();
}

void CZovBaseCheduler::RunPass() {
  // A drive moment standing by waits for the one before; one that is over
  // leaves the panes to the next.
  if (turn) {
    if (turn->over) {
      clock->Sleep(kIdleSleepMs);
      return;
    }
    // Waits for its first picture's due time in short steps.
    const int64_t wait = turn->WaitMs(clock->Now());
    if (wait > 0) {
      clock->Sleep(static_cast<int>(std::min<int64_t>(wait, kIdleSleepMs)));
      return;
    }
  }
  const bool needsData = queue->NeedsData() && !(catchUp && (Anchored() || leader));
  // A seek announced but not applied yet holds even when its flag was
  // cleared by the end of the hold before it.
  const bool hold = holdFlag != 0 || seekSerial_ != appliedSeekSerial_;
  const ZovPassMode mode = DecideMode(state, hold, needsData);
  if (mode != ZovPassMode::kPlay && mode != ZovPassMode::kPrebuffer) Publish(kNoPlayhead);
  switch (mode) {
    case ZovPassMode::kStopped:
      return;
    case ZovPassMode::kPrebuffer:
      PrimeView();
      clock->Sleep(kIdleSleepMs);
      return;
    case ZovPassMode::kPausedRest:
      RequestReanchor();
      if (!holdFlag) Drop(timed);
      clock->Sleep(kIdleSleepMs);
      return;
    case ZovPassMode::kSeekHold:
      HoldPass();
      return;
    case ZovPassMode::kPlay:
      break;
  }
  if (turn && !catchUp && MomentPlayedOut()) {
    turn->nextDueWallMs = LastFrameEndMs();
    turn->over = true;
    Publish(kNoPlayhead);
    return;
  }
  TakeItems();
  const ZovTimingView view = TimingView();
  Publish(view.anchored ? view.anchorMediaMs + view.MediaOfWall(view.nowMs - view.anchorWallMs) : kNoPlayhead);
  Act(DecideTiming(view));
}

namespace {

// A black picture of the stream's size in planar 4:2:0, the layout software
// decoders give most recordings; null for any other.
AVFrameUPtr BlackPicture(const CZovDemuxer* demuxer) {
  if (!demuxer || demuxer->hardwareFlag || demuxer->width <= 0 || demuxer->height <= 0) return nullptr;
  if (demuxer->pixelFormat != AV_PIX_FMT_YUV420P && demuxer->pixelFormat != AV_PIX_FMT_YUVJ420P) return nullptr;
  AVFrameUPtr frame(av_frame_alloc());
  if (!frame) return nullptr;
  frame->format = demuxer->pixelFormat;
  frame->width = demuxer->width;
  frame->height = demuxer->height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  const int chromaRows = (frame->height + 1) / 2;
  std::memset(frame->data[0], 16, size_t(frame->linesize[0]) * size_t(frame->height));
  std::memset(frame->data[1], 128, size_t(frame->linesize[1]) * size_t(chromaRows));
  std::memset(frame->data[2], 128, size_t(frame->linesize[2]) * size_t(chromaRows));
  return frame;
}

}  // namespace

void CZovBaseCheduler::PrimeView() {
  if (primed_ || !file || !file->renderView || !queue || !file->renderView->IsReady()) return;
  // The first decoded picture when there is one, else a black one: either
  // draw compiles the programs the first presentation needs, while the
  // reader is still decoding.
  AVFrameUPtr frame(queue->CloneFrontVideoFrame());
  if (!frame) frame = BlackPicture(file->demuxer.get());
  if (!frame) return;
  primed_ = true;
  PresentIfRunning([&] { file->renderView->RenderFrame(frame.get()); });
}

void CZovBaseCheduler::Act(const ZovTimingDecision& d) {
  switch (d.action) {
    case ZovTimingAction::kRest:
    case ZovTimingAction::kEnd:
      if (d.presentFollower) PresentIfRunning([this] { PresentFollower(); });
      clock->Sleep(kIdleSleepMs);
      return;
    case ZovTimingAction::kAnchor: {
      const bool done = PresentIfRunning([&] {
        if (Anchored() && timed) ++discontinuities;
        anchorMediaMs = d.anchorMs;
        anchorWallMs = clock->Now();
        PublishLateness(0);
        if (d.anchorOnTimed) PresentTimed();
        if (d.presentFollower) Present(follower);
      });
      if (!done) return;
      ++reanchors;
      clock->Sleep(kIdleSleepMs);
      return;
    }
    case ZovTimingAction::kWait:
      if (d.presentFollower && !PresentIfRunning([this] { PresentFollower(); })) return;
      clock->Sleep(static_cast<int>(std::min<int64_t>(d.waitMs, kWaitSliceMs)));
      return;
    case ZovTimingAction::kDrop: {
      const bool done = PresentIfRunning([&] {
        if (!timed) return;
        clockMs = timed->timeMs;
        if (d.yielded && timed->type == kZovItemVideo) ++yieldedVideo;
        Drop(timed);
      });
      if (done && d.yielded) yieldOdd_ = !yieldOdd_;
      return;  // the next picture is looked at at once
    }
    case ZovTimingAction::kPresent: {
      if (d.presentFollower && !PresentIfRunning([this] { PresentFollower(); })) return;
      ZovTimingView speed;
      speed.speedPercent = speedPercent_;
      const int64_t lateness =
          (clock->Now() - anchorWallMs) - speed.WallOfMedia(int64_t(timed->timeMs) - anchorMediaMs);
      if (d.reanchorNext) RequestReanchor();
      // The master item's lateness is the main clock's: sound handed over
      // late slows pictures and sound together.
      PublishLateness(lateness);
      const bool done = PresentIfRunning([&] {
        if (timed->type == kZovItemVideo && lateness > kLateReportMs) ++lateVideo;
        PresentTimed();
      });
      if (done && d.yielded) yieldOdd_ = !yieldOdd_;
      if (done) clock->Sleep(kDueSleepMs);
      return;
    }
  }
}
