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

#include "engine/zov_thread.h"

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
};

class CZovReadThread : public CZovThread {
 public:
  // The reader rests while this many video items are queued: four seconds
  // at 30 fps, enough to ride out a slow disk or a busy decoder.
  static constexpr int kMaxQueuedVideo = 120;
  // ... or while the queued pictures hold this many bytes: 120 pictures of
  // 1080p (3 MB each in 4:2:0), so larger pictures queue fewer; three 4K
  // channels then stay well under 2 GB.
  static constexpr int64_t kMaxQueuedVideoBytes = 120LL * 1920 * 1080 * 3 / 2;
  // Never fewer than the scheduler's pre-buffer, or it would wait forever.
  static constexpr int kMinQueuedVideo = 30;
  // Read-ahead in items of a recording without pictures (sound frames).
  static constexpr int kMaxQueuedSound = 120;
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
  // The queue holds enough read-ahead: kMaxQueuedVideo pictures, fewer when
  // they are large (kMaxQueuedVideoBytes), sound frames for sound only.
  bool QueueFull() const;
  // Queues the pictures the decoder held back at the end of input.
  void PushDrained();
  // Video items allowed for pictures of this many bytes each.
  static int VideoLimitFor(int64_t pictureBytes);

  // Asks for a seek to `seconds` (any thread; returns at once). Replaces a
  // request the reader has not taken yet.
  void RequestSeek(int seconds);
  // The last seek asked for: its target and serial (1, 2, ...), or none.
  std::optional<int> LastSeekSeconds() const;
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
  // Whether a video packet is left out at the current level; at a key frame
  // a pending lower level takes effect (decoding restarts there).
  bool SkipPacket(const AVPacket* packet);
  // Puts `level` in effect, with the video decoder's discard setting.
  void ApplySkipLevel(int32_t level);
  std::atomic<int32_t> skipLevel{kZovSkipNone};  // the level in effect
  int32_t wantedLevel_ = kZovSkipNone;           // read thread only
  int64_t levelChangedAtMs_ = 0;                 // read thread only

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
  // Seeks carried out (requests that were replaced before are not counted).
  std::atomic<int64_t> seeksCarriedOut{0};

 private:
  // The seek itself, under stateLock.
  void CarryOutSeek(int seconds, uint32_t serial);

  // The request slot: serial in the high 32 bits, target seconds in the low.
  std::atomic<uint64_t> seekSlot_{0};
  std::atomic<uint32_t> seekAsked_{0};
  uint32_t seekTaken_ = 0;  // reader thread only
  // Set by a seek: the key frame found reads on (instead of resting).
  std::atomic<bool> seekReadOn_{false};
  // Set by a seek until its first picture is queued: a paused reader reads.
  std::atomic<bool> seekFill_{false};
  int skippedToKeyframe_ = 0;  // reader thread only
};
