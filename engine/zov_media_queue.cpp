#include "engine/zov_media_queue.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

ZovMediaItem::~ZovMediaItem() {
  ReleaseFrame();
  ReleasePacket();
}

void ZovMediaItem::ReleasePacket() {
  if (packet) {
    av_packet_unref(packet);
    av_packet_free(&packet);
  }
}

void ZovMediaItem::ReleaseFrame() {
  if (frame) av_frame_free(&frame);
}

CZovMediaQueue::~CZovMediaQueue() { Flush(); }

void CZovMediaQueue::Push(ZovMediaItem* item) {
  if (!item) return;
  std::lock_guard<std::recursive_mutex> guard(lock);
  item->sequence = nextSequence++;
  item->next = nullptr;
  draining = 0;
  if (item->type == kZovItemVideo) {
    if (videoTail_)
      videoTail_->next = item;
    else
      videoHead = item;
    videoTail_ = item;
    videoCount += 1;
    audioEnabled = 1;
  } else if (item->type == kZovItemAudio) {
    if (audioEnabled) {
      if (audioTail_)
        audioTail_->next = item;
      else
        audioHead = item;
      audioTail_ = item;
      audioCount += 1;
    } else {
      // Sound starts with the first picture after an open or a flush.
      delete item;
    }
  }
  accepting = (videoCount + audioCount < kAcceptLimit) ? 1 : 0;
}

namespace {

ZovMediaItem* PopFront(ZovMediaItem*& head, ZovMediaItem*& tail, std::atomic<int32_t>& count) {
  ZovMediaItem* item = head;
  if (!item) {
    tail = nullptr;
    count = 0;
    return nullptr;
  }
  head = item->next;
  if (!head) tail = nullptr;
  item->next = nullptr;
  if (count > 0) count -= 1;
  return item;
}

}  // namespace

ZovMediaItem* CZovMediaQueue::PopVideo() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return PopFront(videoHead, videoTail_, videoCount);
}

ZovMediaItem* CZovMediaQueue::PopAudio() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return PopFront(audioHead, audioTail_, audioCount);
}

ZovMediaItem* CZovMediaQueue::PeekVideo() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return videoHead;
}

AVFrame* CZovMediaQueue::CloneFrontVideoFrame() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (!videoHead || !videoHead->frame) return nullptr;
  return av_frame_clone(videoHead->frame);
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
  return TotalCount() < kPrebufferItems && draining == 0 && accepting == 1;
}

void CZovMediaQueue::SetAccepting(int32_t value) { accepting = value; }

void CZovMediaQueue::Flush() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  for (ZovMediaItem** head : {&videoHead, &audioHead}) {
    ZovMediaItem* item = *head;
    while (item) {
      ZovMediaItem* next = item->next;
      delete item;
      item = next;
    }
    *head = nullptr;
  }
  videoTail_ = audioTail_ = nullptr;
  videoCount = 0;
  audioCount = 0;
  audioEnabled = 0;
}
