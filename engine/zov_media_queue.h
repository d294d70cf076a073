#pragma once
// One channel's queue between the read thread (producer) and the scheduler
// (consumer): a list of video items and a list of audio items.
//
// Every operation takes `lock`. A worker takes its own state lock before this
// lock, never after. The counts are atomics so the lock-free reads of the
// scheduler and the play window are well defined.
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "engine/zov_ffmpeg.h"

// CZovMediaQueue::endState values.
enum : int32_t {
  kZovQueueReading = 0,  // the reader has not met the end of the recording
  kZovQueueAtEnd = 3,    // it has (same value as the stopped thread state it once borrowed)
};

enum : int32_t {
  kZovItemUnclassified = -1,
  kZovItemVideo = 0,
  kZovItemAudio = 1,
};

// One demuxed packet and/or decoded frame. Owns both: deleting the item
// releases them (the item's "release").
struct ZovMediaItem {
  ZovMediaItem() = default;
  ZovMediaItem(const ZovMediaItem&) = delete;
  ZovMediaItem& operator=(const ZovMediaItem&) = delete;

  // Frees the packet and leaves it null.
  void ReleasePacket() { packet.reset(); }
  // Frees the frame and leaves it null.
  void ReleaseFrame() { frame.reset(); }

  AVFrameUPtr frame;    // decoded picture or audio frame
  AVPacketUPtr packet;  // compressed packet, null once consumed
  int32_t timeMs = 0;   // decode time in ms minus the first packet's
  int32_t type = kZovItemUnclassified;
  int32_t sequence = -1;  // push order, given by the queue
};
using ZovMediaItemPtr = std::unique_ptr<ZovMediaItem>;

// Bytes an item keeps alive: its frame's buffers and its packet's data.
int64_t ZovItemBytes(const ZovMediaItem& item);

// What one list of the queue holds: items, bytes, and the media time from
// its first item to its last (0 with fewer than two items).
struct ZovListLoad {
  int32_t count = 0;
  int64_t bytes = 0;
  int64_t spanMs = 0;
};

class CZovMediaQueue {
 public:
  // Fill limits that pace reading and presenting.
  // Below this total the reader is told to go on (`accepting`); above it
  // the scheduler no longer waits for more before presenting.
  static constexpr int kAcceptLimit = 80;
  // The scheduler waits for this many items after a start or a flush, so a
  // short stall of the reader does not show as a stutter.
  static constexpr int kPrebufferItems = 30;

  CZovMediaQueue() = default;
  ~CZovMediaQueue();
  CZovMediaQueue(const CZovMediaQueue&) = delete;
  CZovMediaQueue& operator=(const CZovMediaQueue&) = delete;

  // Takes the item. Video items are queued and enable audio; audio items are
  // queued once a video item has been pushed since the last flush and
  // released before that (unless the queue was made for sound only); an item
  // of any other type is handed back to the caller.
  ZovMediaItemPtr Push(ZovMediaItemPtr item);
  // First item of that list, removed, or null.
  ZovMediaItemPtr PopVideo();
  ZovMediaItemPtr PopAudio();
  // First video item, still owned by the queue, or null. The pointer is only
  // valid while the consumer cannot pop it; CloneFrontVideoFrame() is the safe
  // way for another thread to grab the current picture.
  ZovMediaItem* PeekVideo();
  // A new reference to the frame of the first video item, or null.
  AVFrameUPtr CloneFrontVideoFrame();
  // Time of the first item of each list, or -1 when it is empty.
  int64_t FrontVideoTimeMs() const;
  int64_t FrontAudioTimeMs() const;

  int32_t VideoCount() const;
  int32_t AudioCount() const;
  int32_t TotalCount() const;
  // Bytes and media time held by each list (taken under the lock).
  ZovListLoad VideoLoad() const;
  ZovListLoad AudioLoad() const;
  // True while fewer than kPrebufferItems are queued, the reader has not
  // reached its read-ahead since the last flush or since the pictures ran
  // out (`filled`), the player has not marked the queue draining, and the
  // reader still accepts.
  bool NeedsData() const;
  // The reader reached its read-ahead: the scheduler need not wait for more.
  void SetFilled() { filled = 1; }
  void SetAccepting(int32_t value);
  // Releases every item (video first), zeroes the counts, disables audio until
  // the next video item.
  void Flush();
  // A recording without pictures: sound is queued without waiting for one.
  void SetSoundOnly(bool value) { soundOnly_ = value; }
  // From the start of a recording, sound before its first picture is kept
  // (the picture may start seconds later); until the next Flush, after which
  // sound again waits for the first picture of the new position.
  void KeepSoundBeforePicture() { soundFirst_ = true; }

  std::atomic<int32_t> audioCount{0};
  std::atomic<int32_t> videoCount{0};
  int32_t nextSequence = 0;  // guarded by lock
  std::atomic<int32_t> accepting{1};
  std::atomic<uint8_t> audioEnabled{0};
  mutable std::recursive_mutex lock;
  // Written by the read thread and the player without the lock.
  std::atomic<int32_t> endState{kZovQueueReading};  // kZovQueueAtEnd once the reader met the end
  std::atomic<int32_t> draining{0};  // 1 once the player saw the end state
  // 1 once the reader rested with a full read-ahead; cleared by Flush and
  // when a pop empties the picture list (a refill is awaited again).
  std::atomic<int32_t> filled{0};

 private:
  // Guarded by lock.
  std::deque<ZovMediaItemPtr> video_;
  std::deque<ZovMediaItemPtr> audio_;
  int64_t videoBytes_ = 0;
  int64_t audioBytes_ = 0;
  std::atomic<bool> soundOnly_{false};
  std::atomic<bool> soundFirst_{false};
};
