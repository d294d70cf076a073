#pragma once
// One channel's queue between the read thread (producer) and the scheduler
// (consumer): a list of video items and a list of audio items.
//
// Every operation takes `lock`. A worker takes its own state lock before this
// lock, never after. The counts are atomics so the lock-free reads of the
// scheduler and the play window are well defined.
#include <atomic>
#include <cstdint>
#include <mutex>

extern "C" {
struct AVFrame;
struct AVPacket;
}

enum : int32_t {
  kZovItemUnclassified = -1,
  kZovItemVideo = 0,
  kZovItemAudio = 1,
};

// One demuxed packet and/or decoded frame. Owns both: deleting the item
// releases them (the item's "release").
struct ZovMediaItem {
  ZovMediaItem() = default;
  ~ZovMediaItem();
  ZovMediaItem(const ZovMediaItem&) = delete;
  ZovMediaItem& operator=(const ZovMediaItem&) = delete;

  // Frees the packet (unref + free) and leaves it null.
  void ReleasePacket();
  // Frees the frame and leaves it null.
  void ReleaseFrame();

  ZovMediaItem* next = nullptr;  // queue link
  AVFrame* frame = nullptr;      // decoded picture or audio frame
  AVPacket* packet = nullptr;    // compressed packet, null once consumed
  int32_t timeMs = 0;            // decode time in ms minus the first packet's
  int32_t type = kZovItemUnclassified;
  int32_t sequence = -1;  // push order, given by the queue
};

class CZovMediaQueue {
 public:
  // Fill limits that pace reading and presenting.
  static constexpr int kAcceptLimit = 80;    // `accepting` is 1 below this total
  static constexpr int kPrebufferItems = 30;  // the scheduler waits below this

  CZovMediaQueue() = default;
  ~CZovMediaQueue();
  CZovMediaQueue(const CZovMediaQueue&) = delete;
  CZovMediaQueue& operator=(const CZovMediaQueue&) = delete;

  // Takes ownership of item. Video items are queued and enable audio; audio
  // items are queued once a video item has been pushed since the last flush
  // and released before that; items of any other type are left to the caller.
  void Push(ZovMediaItem* item);
  // First item of that list, removed (the caller owns it), or null.
  ZovMediaItem* PopVideo();
  ZovMediaItem* PopAudio();
  // First video item, still owned by the queue, or null. The pointer is only
  // valid while the consumer cannot pop it; CloneFrontVideoFrame() is the safe
  // way for another thread to grab the current picture.
  ZovMediaItem* PeekVideo();
  // A new reference to the frame of the first video item, or null. The
  // caller frees it with av_frame_free.
  AVFrame* CloneFrontVideoFrame();

  int32_t VideoCount() const;
  int32_t AudioCount() const;
  int32_t TotalCount() const;
  // True while fewer than kPrebufferItems are queued, the player has not
  // marked the queue draining, and the reader still accepts.
  bool NeedsData() const;
  void SetAccepting(int32_t value);
  // Releases every item (video first), zeroes the counts, disables audio until
  // the next video item.
  void Flush();

  // Guarded by lock (the heads and links).
  ZovMediaItem* videoHead = nullptr;
  ZovMediaItem* audioHead = nullptr;
  std::atomic<int32_t> audioCount{0};
  std::atomic<int32_t> videoCount{0};
  int32_t nextSequence = 0;
  std::atomic<int32_t> accepting{1};
  std::atomic<uint8_t> audioEnabled{0};
  mutable std::recursive_mutex lock;
  // Written by the read thread and the player without the lock.
  std::atomic<int32_t> endState{0};  // 3 once the reader met the end
  std::atomic<int32_t> draining{0};  // 1 once the player saw endState 3

 private:
  ZovMediaItem* videoTail_ = nullptr;  // guarded by lock
  ZovMediaItem* audioTail_ = nullptr;
};
