#include "engine/zov_read_thread.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/zov_base_cheduler.h"
#include "engine/zov_base_file.h"
#include "engine/zov_demuxer.h"
#include "engine/zov_media_queue.h"
#include "engine/zov_time.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/packet.h>
}

CZovReadThread::CZovReadThread() = default;

CZovReadThread::~CZovReadThread() { Stop(); }

void CZovReadThread::Start() {
  state = kZovThreadRunning;
  StartThread(nullptr, this);
}

void CZovReadThread::Run() {
  std::lock_guard<std::recursive_mutex> body(runLock);
  state = kZovThreadRunning;
  if (catchUp) ZovLowerThreadPriority(kCatchUpNice);
  if (!file || !queue) {
    state = kZovThreadStopped;
    return;
  }
  while (state != kZovThreadStopped) {
    if (!RunPass()) SleepMs(kIdleSleepMs);
  }
  queue->SetAccepting(1);
  state = kZovThreadStopped;
}

int32_t ZovCatchUp::Decide(int32_t level, int64_t leadMs, int64_t nowMs, int64_t* changedAtMs) {
  if (nowMs - *changedAtMs < kHoldMs) return level;
  int32_t next = level;
  if (leadMs < kBehindMs && level < kZovSkipNonKey) next = level + 1;
  if (leadMs > kAheadMs && level > kZovSkipNone) next = level - 1;
  if (next != level) *changedAtMs = nowMs;
  return next;
}

bool ZovCatchUp::KeyFrameFarEnough(int32_t level, int64_t leadMs) {
  return level == kZovSkipNonKey && leadMs > kAheadMs;
}

bool CZovReadThread::KeyFramesFarEnough() const {
  if (!catchUp || !playheadMs || newestPictureMs_ == kNoPlayhead) return false;
  const int64_t playhead = playheadMs->load();
  if (playhead == kNoPlayhead) return false;
  return ZovCatchUp::KeyFrameFarEnough(skipLevel, newestPictureMs_ - playhead);
}

void CZovReadThread::NoteDecodedPicture(int64_t pictureMs) {
  newestPictureMs_ = pictureMs;
  if (!catchUp || !playheadMs) return;
  const int64_t playhead = playheadMs->load();
  if (playhead == kNoPlayhead) return;
  wantedLevel_ = ZovCatchUp::Decide(wantedLevel_, pictureMs - playhead, NowMs(), &levelChangedAtMs_);
  // Leaving fewer pictures out, or only non-references, can start at any
  // picture; decoding again after key frames only waits for the next one.
  if (skipLevel != kZovSkipNonKey || wantedLevel_ == kZovSkipNonKey) ApplySkipLevel(wantedLevel_);
}

void CZovReadThread::NoteFullReadAhead() {
  if (!catchUp || !playheadMs || playheadMs->load() == kNoPlayhead) return;
  // A reader that fills its read-ahead keeps up, however short that is in
  // time (a few large pictures fill it by bytes): it counts as ahead.
  wantedLevel_ = ZovCatchUp::Decide(wantedLevel_, ZovCatchUp::kAheadMs + 1, NowMs(), &levelChangedAtMs_);
  if (skipLevel != kZovSkipNonKey) ApplySkipLevel(wantedLevel_);
}

void CZovReadThread::ApplySkipLevel(int32_t level) {
  skipLevel = level;
  // Key frames only needs no decoder setting: the other packets never reach it.
  if (AVCodecContext* codec = file->demuxer ? file->demuxer->GetVideoCodecContext() : nullptr)
    codec->skip_frame = level == kZovSkipNonRef ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}

bool CZovReadThread::SkipPacket(const AVPacket* packet) {
  if (skipLevel != kZovSkipNonKey || !packet) return false;
  if (!(packet->flags & AV_PKT_FLAG_KEY)) return true;
  ApplySkipLevel(wantedLevel_);  // a key frame: decoding may go on from here
  return false;
}

bool ZovReadAhead::Rest(const View& v) {
  if (v.soundOnly) return v.audio.count >= kMaxSoundItems;
  if (v.video.count < kMinPictures) return false;
  if (v.video.count >= kMaxItems) return true;
  if (v.packetsOnly) return v.video.spanMs >= kPacketAheadMs || v.video.bytes >= kPacketBytes;
  return v.video.spanMs >= kPictureAheadMs || v.video.bytes >= kPictureBytes;
}

bool CZovReadThread::QueueFull() const {
  ZovReadAhead::View v;
  v.soundOnly = file->IsSoundOnly();
  if (v.soundOnly) {
    v.audio = queue->AudioLoad();
  } else {
    v.video = queue->VideoLoad();
  }
  v.packetsOnly = file->demuxer && file->demuxer->hardwareFlag == 1;
  if (!ZovReadAhead::Rest(v)) return false;
  queue->SetFilled();
  return true;
}

void CZovReadThread::PushDrained() {
  std::vector<ZovMediaItemPtr> drained;
  file->DrainVideo(&drained);
  drainedVideo += static_cast<int64_t>(drained.size());
  for (ZovMediaItemPtr& item : drained)
    if (stepKind_ == kZovSeekKeyAfter || KeepStepPicture(item)) queue->Push(std::move(item));
}

void CZovReadThread::RequestSeek(int64_t ms, ZovSeekKind kind) {
  const uint64_t serial = seekAsked_.fetch_add(1) + 1;
  // The kind rides in the top two bits of the target's 32.
  seekSlot_ = (serial << 32) | (uint64_t(kind) << 30) | static_cast<uint64_t>(std::clamp<int64_t>(ms, 0, kMaxSeekMs));
}

std::optional<int64_t> CZovReadThread::LastSeekMs() const {
  const uint64_t slot = seekSlot_;
  if ((slot >> 32) == 0) return std::nullopt;
  return static_cast<int64_t>(slot & uint64_t(kMaxSeekMs));
}

ZovStepOutcome CZovReadThread::StepOutcome(uint32_t serial, int64_t* pictureMs) const {
  if (stepSerial_ != serial) return kZovStepPending;
  const auto outcome = static_cast<ZovStepOutcome>(stepOutcome_.load());
  if (pictureMs) *pictureMs = stepPictureMs_;
  return outcome;
}

bool CZovReadThread::TakeSeek() {
  if (LastSeekSerial() == seekTaken_) return false;
  std::lock_guard<std::recursive_mutex> unit(stateLock);
  if (state == kZovThreadStopped) return false;
  // The slot is read again: a request that came while the lock was awaited
  // replaces the one seen before.
  const uint64_t slot = seekSlot_;
  seekTaken_ = static_cast<uint32_t>(slot >> 32);
  CarryOutSeek(static_cast<int64_t>(slot & uint64_t(kMaxSeekMs)), seekTaken_,
               static_cast<ZovSeekKind>((slot >> 30) & 3));
  return true;
}

void CZovReadThread::CarryOutSeek(int64_t ms, uint32_t serial, ZovSeekKind kind) {
  if (!file || !queue) return;
  ++seeksCarriedOut;
  // The pictures queued for the old position are never shown.
  if (scheduler) scheduler->droppedVideo += queue->VideoCount();
  queue->Flush();
  // The end met belongs to the old position: left set, the next poll would
  // mark the refilling queue draining and stop the scheduler as soon as the
  // queue runs dry for a moment.
  queue->endState = kZovQueueReading;
  queue->draining = 0;
  // Told after the flush, so the scheduler's hold sees only new pictures.
  if (scheduler) scheduler->BeginSeek(ms, serial);
  stepHeld_.reset();
  stepOutcome_ = kZovStepPending;
  stepSerial_ = serial;
  // The hardware paths decode at presentation: a step there is a seek.
  stepKind_ = file->demuxer && file->demuxer->hardwareFlag == 1 ? kZovSeekKeyAfter : kind;
  stepTargetMs_ = ms;
  if (stepKind_ == kZovSeekKeyAfter) {
    file->Seek(ms);
  } else {
    // Every picture counts: a channel catching up decodes them all again.
    if (catchUp) ApplySkipLevel(kZovSkipNone);
    file->Seek(stepKind_ == kZovStepBefore ? std::max<int64_t>(ms - 1, 0) : ms, true);
  }
  keyframeOnly = 1;
  keyframeTaken = 0;
  seekReadOn_ = true;
  seekFill_ = true;
  skippedToKeyframe_ = 0;
  newestPictureMs_ = kNoPlayhead;
}

void CZovReadThread::FinishStep(ZovStepOutcome outcome, int64_t pictureMs) {
  stepKind_ = kZovSeekKeyAfter;
  stepPictureMs_ = pictureMs;
  stepOutcome_ = outcome;
}

bool CZovReadThread::KeepStepPicture(ZovMediaItemPtr& item) {
  const int64_t time = item->timeMs;
  if (stepKind_ == kZovStepAfter) {
    if (time <= stepTargetMs_) return false;
    FinishStep(kZovStepFound, time);
    return true;
  }
  if (time < stepTargetMs_) {
    stepHeld_ = std::move(item);
    return false;
  }
  if (stepHeld_) {
    item = std::move(stepHeld_);
    FinishStep(kZovStepFound, item->timeMs);
  } else {
    // Nothing before the target: its own picture stays shown.
    FinishStep(kZovStepNone, time);
  }
  return true;
}

void CZovReadThread::EndStep() {
  if (stepKind_ == kZovStepBefore && stepHeld_) {
    const int64_t time = stepHeld_->timeMs;
    FinishStep(kZovStepFound, time);
    PushPicture(std::move(stepHeld_));
  } else if (stepKind_ != kZovSeekKeyAfter) {
    FinishStep(kZovStepNone, stepTargetMs_);
  }
}

void CZovReadThread::PushPicture(ZovMediaItemPtr item) {
  NoteDecodedPicture(item->timeMs);
  queue->Push(std::move(item));
  seekFill_ = false;
}

bool CZovReadThread::RunPass() {
  if (TakeSeek()) return true;
  // A paused reader still reads the picture a seek is to show.
  auto reading = [this] {
    return state == kZovThreadRunning || (state == kZovThreadPaused && seekFill_);
  };
  if (!reading()) return false;
  if (QueueFull() || KeyFramesFarEnough()) {
    NoteFullReadAhead();
    return false;
  }
  if (keyframeOnly && keyframeTaken) return false;

  // One unit of work: the packet is read, decoded and queued under stateLock
  // in one hold, so a SetState() from the user-interface thread waits for the
  // whole unit. The state is checked again inside: a unit that was waiting
  // for the lock while a pause was set must not start after SetState()
  // returned (a seek then flushes the queue and the video decoder).
  BeforeUnit();
  std::lock_guard<std::recursive_mutex> unit(stateLock);
  if (!reading()) return false;
  // A seek asked for meanwhile goes first: this packet is of the old position.
  if (LastSeekSerial() != seekTaken_) return true;
  auto item = std::make_unique<ZovMediaItem>();
  const int rc = file->ReadPacket(item.get());
  if (rc == -1) return false;
  if (rc == -2) {
    // The end of the recording: the decoder gives up the pictures it still
    // holds, then the queue is marked; reads go on.
    if (queue->endState != kZovQueueAtEnd) PushDrained();
    EndStep();
    queue->endState = kZovQueueAtEnd;
    seekFill_ = false;  // no picture is coming
    return false;
  }
  if (item->type == kZovItemVideo) {
    ++videoPacketsRead;
    if (keyframeOnly) {
      const bool key = item->packet && item->packet->flags == AV_PKT_FLAG_KEY;
      if (!key && !(seekReadOn_ && ++skippedToKeyframe_ > kMaxSkippedBeforeKeyframe)) {
        ++passedOverVideo;
        return true;
      }
      keyframeTaken = 1;
      // A seek reads on from its key frame: the decoder gives its picture
      // only after a few more packets when it decodes on several threads.
      if (seekReadOn_.exchange(false)) {
        keyframeOnly = 0;
        keyframeTaken = 0;
      }
    }
    if (file->demuxer && file->demuxer->hardwareFlag == 1) {
      queue->Push(std::move(item));  // decoded at presentation
      seekFill_ = false;
    } else if (catchUp && stepKind_ == kZovSeekKeyAfter && SkipPacket(item->packet.get())) {
      ++skippedVideo;
    } else if (file->Decode(item.get()) == 0) {
      if (stepKind_ == kZovSeekKeyAfter || KeepStepPicture(item)) PushPicture(std::move(item));
    } else {
      ++undecodedVideo;
    }
    return true;
  }
  if (item->type == kZovItemAudio) {
    // Only the main channel has sound; a frame step queues none.
    if (file->channelIndex == 0 && stepKind_ == kZovSeekKeyAfter && file->Decode(item.get()) == 0) {
      queue->Push(std::move(item));
      if (file->IsSoundOnly()) seekFill_ = false;  // the sound is what a seek shows
    }
    return true;
  }
  return false;  // a packet of another stream
}
