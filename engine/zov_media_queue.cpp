#include "engine/zov_media_queue.h"

CZovMediaQueue::~CZovMediaQueue() { Flush(); }

ZovMediaItemPtr CZovMediaQueue::Push(ZovMediaItemPtr item) {
  if (!item) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(lock);
  item->sequence = nextSequence++;
  if (item->type != kZovItemVideo && item->type != kZovItemAudio) return item;
  draining = 0;
  if (item->type == kZovItemVideo) {
    video_.push_back(std::move(item));
    videoCount = static_cast<int32_t>(video_.size());
    audioEnabled = 1;
  } else if (audioEnabled || soundOnly_ || soundFirst_) {
    audio_.push_back(std::move(item));
    audioCount = static_cast<int32_t>(audio_.size());
  }
  // Else: sound starts with the first picture after an open or a flush; the
  // item is released here.
  accepting = (videoCount + audioCount < kAcceptLimit) ? 1 : 0;
  return nullptr;
}

namespace {

ZovMediaItemPtr PopFront(std::deque<ZovMediaItemPtr>& list, std::atomic<int32_t>& count) {
  if (list.empty()) {
    count = 0;
    return nullptr;
  }
  ZovMediaItemPtr item = std::move(list.front());
  list.pop_front();
  count = static_cast<int32_t>(list.size());
  return item;
}

int64_t FrontTime(const std::deque<ZovMediaItemPtr>& list) { return list.empty() ? -1 : list.front()->timeMs; }

}  // namespace

ZovMediaItemPtr CZovMediaQueue::PopVideo() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return PopFront(video_, videoCount);
}

ZovMediaItemPtr CZovMediaQueue::PopAudio() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  return PopFront(audio_, audioCount);
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
  return TotalCount() < kPrebufferItems && draining == 0 && accepting == 1;
}

void CZovMediaQueue::SetAccepting(int32_t value) { accepting = value; }

void CZovMediaQueue::Flush() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  video_.clear();
  audio_.clear();
  videoCount = 0;
  audioCount = 0;
  audioEnabled = 0;
  soundFirst_ = false;
}
