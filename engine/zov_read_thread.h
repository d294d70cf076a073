#pragma once
// The read thread of one channel: reads packets through the decoder object,
// decodes them (software path) and pushes the items into the channel's queue,
// as fast as decoding allows until kMaxQueuedVideo video items wait.
//
// Lock order: this thread's stateLock, then the queue's lock (Push) or the
// demuxer's lock (ReadPacket, Seek, inside the decoder object); never the
// reverse. The user-interface thread changes the state (SetState waits for
// the unit of work in progress).
//
// Seeks: RequestSeek (any thread, never waits) leaves the target in a slot;
// the reader carries out the latest one at the start of its next pass, in
// any state but stopped: it flushes the queue, tells the scheduler
// (BeginSeek), seeks the demuxer and reads from the next key frame on. A
// paused reader reads on until the first picture of the new position is
// queued, so a paused seek shows its picture. Requests that come while one
// is carried out coalesce: only the last is carried out next.
#include <atomic>
#include <cstdint>
#include <optional>

#include "engine/zov_media_queue.h"
#include "platform/zov_thread.h"

class CZovBaseCheduler;
struct AVPacket;
class CZovBaseFile;
class CZovMediaQueue;

// How much of its picture stream a channel that is not the main one decodes.
// Such a channel must never hold the main channel back: when its reader falls
// behind its own presentation, it first leaves out the pictures no other
// picture refers to, then everything but key frames, and comes back a step at
// a time once it has caught up.
enum ZovSkipLevel : int32_t {
  kZovSkipNone = 0,     // every picture
  kZovSkipNonRef = 1,   // pictures that are not references (AVDISCARD_NONREF)
  kZovSkipNonKey = 2,   // key frames only (AVDISCARD_NONKEY)
};

struct ZovCatchUp {
  // The newest decoded picture due sooner than this (or already late): the
  // reader is behind.
  static constexpr int64_t kBehindMs = 150;
  // ... due later than this: it has caught up.
  static constexpr int64_t kAheadMs = 800;
  // A level is kept at least this long, so one slow picture does not make
  // the level swing.
  static constexpr int64_t kHoldMs = 250;

  // The level for the next pictures. leadMs: time of the newest decoded
  // picture minus the channel's media time now; nowMs: wall clock;
  // changedAtMs: when the level last changed (updated when it changes).
  static int32_t Decide(int32_t level, int64_t leadMs, int64_t nowMs, int64_t* changedAtMs);
  // Whether a reader at `level` whose newest picture leads by `leadMs` stops
  // reading. With key frames only, the read-ahead's few pictures would be
  // seconds of key frames: every picture between them is lost until they
  // have all been shown. The reader rests once one key frame is far enough
  // ahead instead, so decoding starts again at the next one.
  static bool KeyFrameFarEnough(int32_t level, int64_t leadMs);
};

// How far the reader reads ahead of presentation. Decoded pictures are large
// (3 MB at 1080p, 12 MB at 4K), so the reader keeps what the next fraction
// of a second needs, bounded by time and by bytes; compressed packets (the
// hardware paths decode at presentation) are small and get a longer reach
// within a byte budget.
struct ZovReadAhead {
  // What the decision looks at: the queue's picture and sound lists, and
  // what a picture item holds.
  struct View {
    ZovListLoad video;
    ZovListLoad audio;
    bool soundOnly = false;    // no picture stream: sound frames are counted
    bool packetsOnly = false;  // picture items are undecoded packets
  };

  // Decoded pictures: half a second ahead rides out a key frame or a busy
  // scheduler pass on a loaded machine without holding seconds of pictures.
  static constexpr int64_t kPictureAheadMs = 250;
  // ... and no more than this many bytes of them, so large pictures queue
  // fewer (five at 4K); three 4K channels stay well under 1.2 GB.
  static constexpr int64_t kPictureBytes = 64LL << 20;
  // Whatever their size, a few pictures, so the next one is always ready
  // while the reader decodes the one after.
  static constexpr int32_t kMinPictures = 4;
  // Whatever their times say (times that do not advance), never more items.
  static constexpr int32_t kMaxItems = 120;
  // Packets: three seconds ride out a slow disk at little cost ...
  static constexpr int64_t kPacketAheadMs = 3000;
  // ... within this many bytes (a high-rate 4K stream's three seconds).
  static constexpr int64_t kPacketBytes = 16LL << 20;
  // A recording without pictures: this many sound frames (about 2.5 s).
  static constexpr int32_t kMaxSoundItems = 120;

  // True when the reader should rest: the queue holds enough.
  static bool Rest(const View& v);
};

// What a seek request shows: the first picture from the key frame after the
// target on (a seek), or exactly one picture next to the target (a frame
// step): the first one after it, or the last one before it. A step seeks to
// the key frame at or before the picture it wants and decodes up to it,
// queueing nothing in between.
enum ZovSeekKind : uint32_t {
  kZovSeekKeyAfter = 0,
  kZovStepAfter = 1,   // the first picture later than the target
  kZovStepBefore = 2,  // the last picture earlier than the target
};

// How the last frame step ended: still carried out, its picture queued, or
// no picture on that side of the target in this recording (its end or start).
enum ZovStepOutcome : int32_t { kZovStepPending = 0, kZovStepFound = 1, kZovStepNone = 2 };

class CZovReadThread : public CZovThread {
 public:
  // The most video items ever queued (ZovReadAhead decides when to rest).
  static constexpr int kMaxQueuedVideo = ZovReadAhead::kMaxItems;
  // Pause between passes that had nothing to do.
  static constexpr int kIdleSleepMs = 5;
  // After a seek, video packets before the first key frame are skipped; past
  // this many (a recording that flags no key frames) reading goes on from
  // any frame rather than skipping to the end.
  static constexpr int kMaxSkippedBeforeKeyframe = 600;

  CZovReadThread();
  ~CZovReadThread() override;

  // Sets the working state and starts the thread.
  void Start() override;
  void Run() override;
  // One pass of the loop; false when it found nothing to do and should rest.
  bool RunPass();
  // Called by RunPass once the state was seen running, just before it takes
  // stateLock for the unit; lets a test act while the pass waits for the lock.
  virtual void BeforeUnit() {}
  // The queue holds enough read-ahead (ZovReadAhead::Rest); marks it
  // filled then, so the scheduler does not wait for more.
  bool QueueFull() const;
  // Queues the pictures the decoder held back at the end of input.
  void PushDrained();

  // Asks for a seek to `ms` from the start (any thread; returns at once). Replaces a
  // request the reader has not taken yet. Targets reach 2^30 ms (12 days).
  void RequestSeek(int64_t ms, ZovSeekKind kind = kZovSeekKeyAfter);
  static constexpr int64_t kMaxSeekMs = (int64_t(1) << 30) - 1;
  // The outcome of the step request of serial `serial` (a later request
  // replaces it: pending until that one ends), and the time of its picture.
  ZovStepOutcome StepOutcome(uint32_t serial, int64_t* pictureMs = nullptr) const;
  // The last seek asked for: its target and serial (1, 2, ...), or none.
  std::optional<int64_t> LastSeekMs() const;
  uint32_t LastSeekSerial() const { return static_cast<uint32_t>(seekSlot_.load() >> 32); }
  // Carries out the latest request not taken yet (reader thread; RunPass
  // does it first). True when it carried one out.
  bool TakeSeek();

  // Channels other than the main one catch up (ZovCatchUp) against their
  // scheduler's media time now, `playheadMs` (not owned; kNoPlayhead while
  // the clock is not running).
  static constexpr int64_t kNoPlayhead = INT64_MIN;
  bool catchUp = false;
  // Nice increment of the worker threads of a catching-up channel.
  static constexpr int kCatchUpNice = 5;
  const std::atomic<int64_t>* playheadMs = nullptr;
  // Applies the catch-up decision after a picture of time `pictureMs` was
  // decoded (read thread).
  void NoteDecodedPicture(int64_t pictureMs);
  // The same once the reader rests on a full read-ahead (read thread).
  void NoteFullReadAhead();
  // Whether a video packet is left out at the current level; at a key frame
  // a pending lower level takes effect (decoding restarts there).
  bool SkipPacket(const AVPacket* packet);
  // Puts `level` in effect, with the video decoder's discard setting.
  void ApplySkipLevel(int32_t level);
  // Whether the newest picture is far enough ahead at key frames only
  // (ZovCatchUp::KeyFrameFarEnough against the channel's media time now).
  bool KeyFramesFarEnough() const;
  std::atomic<int32_t> skipLevel{kZovSkipNone};  // the level in effect
  int32_t wantedLevel_ = kZovSkipNone;           // read thread only
  int64_t levelChangedAtMs_ = 0;                 // read thread only
  // Time of the newest picture decoded since the last seek (read thread).
  int64_t newestPictureMs_ = kNoPlayhead;

  std::atomic<uint8_t> keyframeOnly{0};   // during a seek: only key frames pass
  std::atomic<uint8_t> keyframeTaken{0};  // the key frame of this seek was queued
  CZovMediaQueue* queue = nullptr;        // not owned
  CZovBaseFile* file = nullptr;           // not owned
  CZovBaseCheduler* scheduler = nullptr;  // not owned; told of each seek (may be null)

  // Counters for reports: items that gave no picture, packets read.
  std::atomic<int64_t> undecodedVideo{0};
  std::atomic<int64_t> videoPacketsRead{0};
  // Pictures the decoder gave up at the end of input (they stood for packets
  // counted in undecodedVideo).
  std::atomic<int64_t> drainedVideo{0};
  // Picture packets left out to catch up (not decoded at all).
  std::atomic<int64_t> skippedVideo{0};
  // Picture packets passed over on the way to a seek's key frame.
  std::atomic<int64_t> passedOverVideo{0};
  // Seeks carried out (requests that were replaced before are not counted).
  std::atomic<int64_t> seeksCarriedOut{0};

 private:
  // The seek itself, under stateLock.
  void CarryOutSeek(int64_t ms, uint32_t serial, ZovSeekKind kind);
  // During a frame step: whether the decoded picture `item` is queued. The
  // pictures before the one wanted are dropped (stepping back holds the
  // latest until a later one shows it was the last); `item` becomes the
  // picture to queue when the step is complete.
  bool KeepStepPicture(ZovMediaItemPtr& item);
  // The end of input during a step: the held picture is the last one.
  void EndStep();
  void FinishStep(ZovStepOutcome outcome, int64_t pictureMs);
  // Queues a decoded picture (a paused reader then rests).
  void PushPicture(ZovMediaItemPtr item);

  // The step carried out (reader thread), its target and the picture held.
  ZovSeekKind stepKind_ = kZovSeekKeyAfter;
  int64_t stepTargetMs_ = 0;
  ZovMediaItemPtr stepHeld_;
  // Its outcome, published for the user-interface thread.
  std::atomic<uint32_t> stepSerial_{0};
  std::atomic<int32_t> stepOutcome_{kZovStepPending};
  std::atomic<int64_t> stepPictureMs_{0};

  // The request slot: serial in the high 32 bits, target in ms in the low.
  std::atomic<uint64_t> seekSlot_{0};
  std::atomic<uint32_t> seekAsked_{0};
  uint32_t seekTaken_ = 0;  // reader thread only
  // Set by a seek: the key frame found reads on (instead of resting).
  std::atomic<bool> seekReadOn_{false};
  // Set by a seek until its first picture is queued: a paused reader reads.
  std::atomic<bool> seekFill_{false};
  int skippedToKeyframe_ = 0;  // reader thread only
};
