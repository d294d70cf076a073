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

void CZovReadThread::NoteDecodedPicture(int64_t pictureMs) {
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
  for (ZovMediaItemPtr& item : drained) queue->Push(std::move(item));
}

void CZovReadThread::RequestSeek(int seconds) {
  const uint64_t serial = seekAsked_.fetch_add(1) + 1;
  seekSlot_ = (serial << 32) | static_cast<uint32_t>(seconds);
}

std::optional<int> CZovReadThread::LastSeekSeconds() const {
  const uint64_t slot = seekSlot_;
  if ((slot >> 32) == 0) return std::nullopt;
  return static_cast<int>(static_cast<uint32_t>(slot));
}

bool CZovReadThread::TakeSeek() {
  if (LastSeekSerial() == seekTaken_) return false;
  std::lock_guard<std::recursive_mutex> unit(stateLock);
  if (state == kZovThreadStopped) return false;
  // The slot is read again: a request that came while the lock was awaited
  // replaces the one seen before.
  const uint64_t slot = seekSlot_;
  seekTaken_ = static_cast<uint32_t>(slot >> 32);
  CarryOutSeek(static_cast<int>(static_cast<uint32_t>(slot)), seekTaken_);
  return true;
}

void CZovReadThread::CarryOutSeek(int seconds, uint32_t serial) {
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
  if (scheduler) scheduler->BeginSeek(int64_t(seconds) * 1000, serial);
  file->Seek(seconds);
  keyframeOnly = 1;
  keyframeTaken = 0;
  seekReadOn_ = true;
  seekFill_ = true;
  skippedToKeyframe_ = 0;
}

bool CZovReadThread::RunPass() {
  if (TakeSeek()) return true;
  // A paused reader still reads the picture a seek is to show.
  auto reading = [this] {
    return state == kZovThreadRunning || (state == kZovThreadPaused && seekFill_);
  };
  if (!reading()) return false;
  if (QueueFull()) {
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
    queue->endState = kZovQueueAtEnd;
    seekFill_ = false;  // no picture is coming
    return false;
  }
  if (item->type == kZovItemVideo) {
    ++videoPacketsRead;
    if (keyframeOnly) {
      const bool key = item->packet && item->packet->flags == AV_PKT_FLAG_KEY;
      if (!key && !(seekReadOn_ && ++skippedToKeyframe_ > kMaxSkippedBeforeKeyframe)) return true;
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
    } else if (catchUp && SkipPacket(item->packet.get())) {
      ++skippedVideo;
    } else if (file->Decode(item.get()) == 0) {
      NoteDecodedPicture(item->timeMs);
      queue->Push(std::move(item));
      seekFill_ = false;
    } else {
      ++undecodedVideo;
    }
    return true;
  }
  if (item->type == kZovItemAudio) {
    // Only the main channel has sound.
    if (file->channelIndex == 0 && file->Decode(item.get()) == 0) {
      queue->Push(std::move(item));
      if (file->IsSoundOnly()) seekFill_ = false;  // the sound is what a seek shows
    }
    return true;
  }
  return false;  // a packet of another stream
}
