#include "engine/zov_media_queue.h"

#include <algorithm>

extern "C" {
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

int64_t ZovItemBytes(const ZovMediaItem& item) {
  int64_t bytes = 0;
  if (const AVFrame* f = item.frame.get()) {
    for (const AVBufferRef* buf : f->buf)
      if (buf) bytes += static_cast<int64_t>(buf->size);
    for (int i = 0; i < f->nb_extended_buf; ++i)
      if (f->extended_buf[i]) bytes += static_cast<int64_t>(f->extended_buf[i]->size);
  }
  if (const AVPacket* p = item.packet.get()) bytes += p->size > 0 ? p->size : 0;
  return bytes;
}

CZovMediaQueue::~CZovMediaQueue() { Flush(); }

ZovMediaItemPtr CZovMediaQueue::Push(ZovMediaItemPtr item) {
  if (!item) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(lock);
  item->sequence = nextSequence++;
  if (item->type != kZovItemVideo && item->type != kZovItemAudio) return item;
  draining = 0;
  if (item->type == kZovItemVideo) {
    videoBytes_ += ZovItemBytes(*item);
    video_.push_back(std::move(item));
    videoCount = static_cast<int32_t>(video_.size());
    audioEnabled = 1;
  } else if (audioEnabled || soundOnly_ || soundFirst_) {
    audioBytes_ += ZovItemBytes(*item);
    audio_.push_back(std::move(item));
    audioCount = static_cast<int32_t>(audio_.size());
  }
  // Else: sound starts with the first picture after an open or a flush; the
  // item is released here.
  accepting = (videoCount + audioCount < kAcceptLimit) ? 1 : 0;
  return nullptr;
}

namespace {

ZovMediaItemPtr PopFront(std::deque<ZovMediaItemPtr>& list, std::atomic<int32_t>& count, int64_t& bytes) {
  if (list.empty()) {
    count = 0;
    return nullptr;
  }
  ZovMediaItemPtr item = std::move(list.front());
  list.pop_front();
  count = static_cast<int32_t>(list.size());
  bytes = list.empty() ? 0 : bytes - ZovItemBytes(*item);
  return item;
}

ZovListLoad LoadOf(const std::deque<ZovMediaItemPtr>& list, int64_t bytes) {
  ZovListLoad load;
  load.count = static_cast<int32_t>(list.size());
  load.bytes = bytes;
  // Pictures leave the decoder in display order and packets in decode
  // order, so the last item is the latest; damaged times count as none.
  if (list.size() >= 2) load.spanMs = std::max<int64_t>(0, int64_t(list.back()->timeMs) - list.front()->timeMs);
  return load;
}

int64_t FrontTime(const std::deque<ZovMediaItemPtr>& list) { return list.empty() ? -1 : list.front()->timeMs; }

}  // namespace

ZovMediaItemPtr CZovMediaQueue::PopVideo() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  ZovMediaItemPtr item = PopFront(video_, videoCount, videoBytes_);
  // The pictures ran out before the end: the scheduler waits for a refill.
  if (item && video_.empty() && endState != kZovQueueAtEnd) filled = 0;
  return item;
}

ZovMediaItemPtr CZovMediaQueue::PopAudio() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return PopFront(audio_, audioCount, audioBytes_);
}

ZovListLoad CZovMediaQueue::VideoLoad() const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return LoadOf(video_, videoBytes_);
}

ZovListLoad CZovMediaQueue::AudioLoad() const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return LoadOf(audio_, audioBytes_);
}

ZovMediaItem* CZovMediaQueue::PeekVideo() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return video_.empty() ? nullptr : video_.front().get();
}

AVFrameUPtr CZovMediaQueue::CloneFrontVideoFrame() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (video_.empty() || !video_.front()->frame) return nullptr;
  return AVFrameUPtr(av_frame_clone(video_.front()->frame.get()));
}

int64_t CZovMediaQueue::FrontVideoTimeMs() const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return FrontTime(video_);
}

int64_t CZovMediaQueue::FrontAudioTimeMs() const {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return FrontTime(audio_);
}

int32_t CZovMediaQueue::VideoCount() const {
  int32_t n = videoCount;
  return n > 0 ? n : 0;
}

int32_t CZovMediaQueue::AudioCount() const {
  int32_t n = audioCount;
  return n > 0 ? n : 0;
}

int32_t CZovMediaQueue::TotalCount() const { return VideoCount() + AudioCount(); }

bool CZovMediaQueue::NeedsData() const {
  return TotalCount() < kPrebufferItems && filled == 0 && draining == 0 && accepting == 1;
}

void CZovMediaQueue::SetAccepting(int32_t value) { accepting = value; }

void CZovMediaQueue::Flush() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  video_.clear();
  audio_.clear();
  videoCount = 0;
  audioCount = 0;
  videoBytes_ = 0;
  audioBytes_ = 0;
  filled = 0;
  audioEnabled = 0;
  soundFirst_ = false;
}
