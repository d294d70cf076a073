#pragma once
// The scheduler of one channel: presents the queued items against a wall
// clock anchored on the first master item. The master (timed) list is video
// or audio by the recording's packet rhythm; the other list follows and is
// shown as soon as the master clock has reached each item's time. A pause, a
// seek or a lateness above kLateReanchorMs re-anchors the clock on the next
// master item; there is no speed control.
//
// Lock order: this thread's stateLock (taken to pop and to present), then the
// queue's lock inside it, then whatever the decoder object takes to present.
// clockMs, anchorMediaMs and holdFlag are also written by the user-interface
// thread during a seek, while the worker is paused (hence atomics).
//
// The clock is injectable, so the scheduling decisions can be driven by a
// test without sleeping; production uses NowMs/SleepMs.
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/zov_thread.h"

class CZovBaseFile;
class CZovMediaQueue;
class CZovAudioPlay;
struct ZovMediaItem;

// Source of "now" and of the pauses of the scheduler loop.
class ZovSchedulerClock {
 public:
  virtual ~ZovSchedulerClock() = default;
  virtual int32_t Now();         // NowMs()
  virtual void Sleep(int ms);    // SleepMs(ms)
  static ZovSchedulerClock* Real();
};

class CZovBaseCheduler : public CZovThread {
 public:
  // A master item more than this late re-anchors the clock on the next one.
  static constexpr int kLateReanchorMs = 500;
  // Pauses of the loop: waiting for data or idle, and waiting for a due time.
  static constexpr int kIdleSleepMs = 5;
  static constexpr int kDueSleepMs = 1;
  // clockMs before anything was presented.
  static constexpr int64_t kInitialClockMs = -1000;
  // A video picture shown later than this after its due time counts as late.
  static constexpr int kLateReportMs = 50;

  CZovBaseCheduler();
  ~CZovBaseCheduler() override;

  void Start() override;
  void Run() override;
  // Also forces a re-anchor on the next master item.
  void SetState(int32_t newState) override;

  // Steps of Run, public so tests can drive them with a fake clock.
  // Master choice: video unless the decoder object's audio-master rule holds;
  // channels 1 and 2, which have no sound, always use video.
  void ChooseMaster();
  // One pass of the presentation loop.
  void RunPass();
  bool StoppedOrPaused() const;
  // Releases the held timed and follower items.
  void ReleaseHeld();
  void SetClock(ZovSchedulerClock* c) { clock = c ? c : ZovSchedulerClock::Real(); }

  std::atomic<int64_t> clockMs{kInitialClockMs};
  std::atomic<int64_t> anchorMediaMs{-1};
  std::atomic<int32_t> videoMaster{1};
  std::atomic<uint8_t> holdFlag{0};
  CZovBaseFile* file = nullptr;         // not owned
  CZovMediaQueue* queue = nullptr;      // not owned
  CZovAudioPlay* audioOutput = nullptr;  // not owned; null for channels 1 and 2
  int64_t anchorWallMs = 0;             // worker only

  // Counters for reports (written by the worker).
  std::atomic<int64_t> presentedVideo{0};
  std::atomic<int64_t> presentedAudio{0};
  std::atomic<int64_t> droppedVideo{0};  // released without being shown
  std::atomic<int64_t> lateVideo{0};
  std::atomic<int64_t> reanchors{0};
  // NowMs and media time of the last picture presented (seek latency).
  std::atomic<int32_t> lastVideoWallMs{0};
  std::atomic<int32_t> lastVideoMediaMs{-1};

 private:
  // Shows a video item or plays an audio item, then releases it.
  void Present(std::unique_ptr<ZovMediaItem>& item);
  void Drop(std::unique_ptr<ZovMediaItem>& item);
  ZovMediaItem* PopTimed();
  ZovMediaItem* PopFollower();

  ZovSchedulerClock* clock;
  // Held between passes (worker only): the timed item t and follower item f.
  std::unique_ptr<ZovMediaItem> timed;
  std::unique_ptr<ZovMediaItem> follower;
};
