#include "engine/zov_base_cheduler.h"

#include "engine/zov_audio_play.h"
#include "engine/zov_base_file.h"
#include "engine/zov_media_queue.h"
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

void CZovBaseCheduler::SetState(int32_t newState) {
  std::lock_guard<std::recursive_mutex> guard(stateLock);
  state = newState;
  anchorMediaMs = -1;
}

void CZovBaseCheduler::ChooseMaster() {
  // Only the main channel queues sound (the reader drops it elsewhere), so
  // channels 1 and 2 time their pictures themselves: with an empty audio list
  // as the master, every pass would re-anchor and show the next picture at
  // once, playing the channel in fast bursts.
  int32_t video = 1;
  if (file && file->channelIndex == 0) video = file->IsAudioMaster() ? 0 : 1;
  videoMaster = video;
}

void CZovBaseCheduler::Run() {
  std::lock_guard<std::recursive_mutex> body(runLock);
  if (!file || !queue) {
    state = kZovThreadStopped;
    return;
  }
  // Pre-buffer: wait for the reader to queue enough items.
  while (queue->NeedsData() && state != kZovThreadStopped) clock->Sleep(kIdleSleepMs);
  ChooseMaster();
  while (state != kZovThreadStopped) RunPass();
  ReleaseHeld();
  state = kZovThreadStopped;
}

ZovMediaItem* CZovBaseCheduler::PopTimed() {
  return videoMaster ? queue->PopVideo() : queue->PopAudio();
}

ZovMediaItem* CZovBaseCheduler::PopFollower() {
  return videoMaster ? queue->PopAudio() : queue->PopVideo();
}

void CZovBaseCheduler::Present(std::unique_ptr<ZovMediaItem>& item) {
  if (!item) return;
  if (item->type == kZovItemVideo) {
    const bool hasPicture = item->frame || item->packet;
    const int32_t time = item->timeMs;
    if (file && file->Present(item.get()) == 0 && hasPicture) {
      ++presentedVideo;
      lastVideoMediaMs = time;
      lastVideoWallMs = clock->Now();
    }
  } else if (item->type == kZovItemAudio) {
    if (audioOutput && item->frame) {
      audioOutput->PlayFrame(item->frame);
      ++presentedAudio;
    }
  }
  item.reset();
}

void CZovBaseCheduler::Drop(std::unique_ptr<ZovMediaItem>& item) {
  if (item && item->type == kZovItemVideo) ++droppedVideo;
  item.reset();
}

void CZovBaseCheduler::ReleaseHeld() {
  Drop(timed);
  Drop(follower);
}

// Checked again once the state lock is held: a pause or stop that was issued
// while this pass waited for the lock has already returned to its caller, so
// nothing more may be presented until the state is running again.
bool CZovBaseCheduler::StoppedOrPaused() const {
  return state == kZovThreadPaused || state == kZovThreadStopped;
}

void CZovBaseCheduler::RunPass() {
  if (holdFlag) {
    // A seek is being carried out: show pictures as they come, drop sound.
    if (state == kZovThreadPaused) {
      anchorMediaMs = -1;
      clock->Sleep(kIdleSleepMs);
      return;
    }
    {
      std::lock_guard<std::recursive_mutex> unit(stateLock);
      if (StoppedOrPaused()) return;
      if (!follower) follower.reset(queue->PopVideo());
      std::unique_ptr<ZovMediaItem> sound(queue->PopAudio());
      sound.reset();
      if (follower) {
        const int64_t time = follower->timeMs;
        Present(follower);
        clockMs = time;
      }
    }
    clock->Sleep(kIdleSleepMs);
    return;
  }

  // Wait for the reader to refill, until it has reached the end.
  if (queue->NeedsData() && state != kZovThreadStopped) {
    clock->Sleep(kIdleSleepMs);
    return;
  }
  if (state == kZovThreadStopped) return;
  if (state == kZovThreadPaused) {
    anchorMediaMs = -1;
    Drop(timed);
    clock->Sleep(kIdleSleepMs);
    return;
  }
  {
    std::lock_guard<std::recursive_mutex> unit(stateLock);
    if (!follower) follower.reset(PopFollower());
    if (!timed) timed.reset(PopTimed());
  }
  if (anchorMediaMs == -1) {
    {
      std::lock_guard<std::recursive_mutex> unit(stateLock);
      if (StoppedOrPaused()) return;
      if (timed) {
        const int64_t time = timed->timeMs;
        anchorMediaMs = time;
        anchorWallMs = clock->Now();
        Present(timed);
        clockMs = time;
      } else {
        anchorWallMs = clock->Now();
      }
      Present(follower);  // whatever its time
    }
    ++reanchors;
    clock->Sleep(kIdleSleepMs);
    return;
  }
  if (!timed && !follower) {
    clock->Sleep(kIdleSleepMs);
    return;
  }
  if (follower && follower->timeMs <= clockMs) {
    std::lock_guard<std::recursive_mutex> unit(stateLock);
    if (StoppedOrPaused()) return;
    if (follower->type == kZovItemVideo && clockMs - follower->timeMs > kLateReportMs) ++lateVideo;
    Present(follower);
  }
  if (!timed) {
    clock->Sleep(kIdleSleepMs);
    return;
  }
  const int64_t mediaElapsed = int64_t(timed->timeMs) - anchorMediaMs;
  const int64_t wallElapsed = int64_t(clock->Now()) - anchorWallMs;
  if (mediaElapsed > wallElapsed) {
    clock->Sleep(kDueSleepMs);  // not yet due
    return;
  }
  const int64_t lateness = wallElapsed - mediaElapsed;
  if (lateness > kLateReanchorMs) anchorMediaMs = -1;  // re-anchor on the next one
  {
    std::lock_guard<std::recursive_mutex> unit(stateLock);
    if (StoppedOrPaused()) return;
    if (timed->type == kZovItemVideo && lateness > kLateReportMs) ++lateVideo;
    const int64_t time = timed->timeMs;
    Present(timed);
    clockMs = time;
  }
  clock->Sleep(kDueSleepMs);
}
