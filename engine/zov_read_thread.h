#pragma once
// The read thread of one channel: reads packets through the decoder object,
// decodes them (software path) and pushes the items into the channel's queue,
// as fast as decoding allows until kMaxQueuedVideo video items wait.
//
// Lock order: this thread's stateLock, then the queue's lock (Push) or the
// demuxer's lock (ReadPacket, inside the decoder object); never the reverse.
// The user-interface thread changes the state (SetState waits for the unit of
// work in progress) and writes keyframeOnly/keyframeTaken during a seek.
#include <atomic>
#include <cstdint>

#include "engine/zov_thread.h"

class CZovBaseFile;
class CZovMediaQueue;

class CZovReadThread : public CZovThread {
 public:
  // The reader rests while this many video items are queued.
  static constexpr int kMaxQueuedVideo = 120;
  // Pause between passes that had nothing to do.
  static constexpr int kIdleSleepMs = 5;

  CZovReadThread();
  ~CZovReadThread() override;

  // Sets the working state and starts the thread.
  void Start() override;
  void Run() override;
  // One pass of the loop; false when it found nothing to do and should rest.
  bool RunPass();

  std::atomic<uint8_t> keyframeOnly{0};   // during a seek: only key frames pass
  std::atomic<uint8_t> keyframeTaken{0};  // the key frame of this seek was queued
  CZovMediaQueue* queue = nullptr;        // not owned
  CZovBaseFile* file = nullptr;           // not owned

  // Counters for reports: items that gave no picture, packets read.
  std::atomic<int64_t> undecodedVideo{0};
  std::atomic<int64_t> videoPacketsRead{0};
};
