#pragma once
// Sound output of the main channel on an ALSA PCM device: "default", or the
// device named by ZOV_AUDIO_DEVICE ("null" in tests). Each accepted frame
// becomes one buffer; a writer thread takes the buffers to the device in order
// and counts them back (pendingBuffers), so at most kMaxPending are ever in
// flight and a late scheduler drops frames instead of building up delay.
//
// Threads: PlayFrame on the scheduler thread; the writer thread; Open/Close on
// the user-interface thread after the scheduler has stopped. writeLock guards
// the buffer list; pendingBuffers is an atomic counter.
#include <alsa/asoundlib.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/zov_audio_play.h"

struct ZovPcmDeleter {
  void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

// The device format: PCM, 16 bits per sample.
struct ZovWaveFormat {
  int32_t tag = 0;  // 1 = PCM
  int32_t channels = 0;
  int32_t samplesPerSecond = 0;
  int32_t bitsPerSample = 0;
  int32_t blockAlign = 0;
  int32_t averageBytesPerSecond = 0;
};

class CZovWavePlay : public CZovAudioPlay {
 public:
  // Buffers on the device at most; a frame beyond them is dropped.
  static constexpr int kMaxPending = 5;
  // The rate tried when the device refuses the recording's own.
  static constexpr int kFallbackRate = 48000;
  // Close waits for pending buffers and for the writer in steps of 10 ms,
  // at most 500 steps each (5 s).
  static constexpr int kCloseStepMs = 10;
  static constexpr int kCloseSteps = 500;
  // OpenDevice result for a format the device does not support.
  static constexpr int kBadFormat = 32;
  // The sound clock stops this long after the device ran out of sound (a
  // few frames of slack for a scheduler that is a little late).
  static constexpr int kStaleClockMs = 100;

  CZovWavePlay();
  ~CZovWavePlay() override;

  int Open(CZovBaseFile* decoderFile) override;
  void Close() override;
  int PlayFrame(AVFrame* frame) override;
  int PlayTimedFrame(AVFrame* frame, int64_t timeMs) override;
  // The end of the last timed buffer written, less what the device still
  // held then (its delay), advanced by the time since.
  int64_t SoundClockMs(int32_t nowMs) const override;
  // The clock rule, apart for tests: the media time heard `sinceMs` after a
  // write that ended at `writtenEndMs` with `delayMs` still to play.
  static int64_t HeardTimeMs(int64_t writtenEndMs, int64_t delayMs, int64_t sinceMs);

  // The ALSA device name used: $ZOV_AUDIO_DEVICE, else "default".
  static std::string DeviceName();
  bool HasDevice() const { return device != nullptr; }

  std::unique_ptr<snd_pcm_t, ZovPcmDeleter> device;
  ZovWaveFormat format;
  std::atomic<int32_t> convert{0};
  std::atomic<int32_t> closing{0};
  std::atomic<int32_t> pendingBuffers{0};
  int32_t callbackThreadRunning = 0;
  // Buffers written in all (for reports and tests).
  std::atomic<int64_t> writtenBuffers{0};
  std::atomic<int64_t> droppedFrames{0};
  // Steps Close waits for pending buffers before stopping the device.
  int closeWaitSteps = kCloseSteps;

 protected:
  // Opens the device for `format` at `rate`: 0, kBadFormat when that rate or
  // format is refused, another negative value on other failures.
  virtual int OpenDevice(int rate);
  // Writes one buffer to the device, waiting while it is full; returns when
  // all was written, the device failed, or abortWrites is set.
  virtual void WriteToDevice(const std::vector<uint8_t>& block);
  // Drops what the device holds (Close when buffers stay pending).
  virtual void DropDevice();
  // Sound still to be played by the device (ms), -1 when it cannot tell.
  virtual int64_t DeviceDelayMs();
  void WriterLoop();

  std::thread callbackThread;
  mutable std::mutex writeLock;
  std::condition_variable writeWake;
  // One converted frame on its way to the device, with its media time (ms;
  // kNoClock when unknown) and length.
  struct Block {
    std::vector<uint8_t> data;
    int64_t timeMs = kNoClock;
    int64_t durationMs = 0;
  };
  std::deque<Block> buffers;  // guarded by writeLock
  bool quitWriter = false;    // guarded by writeLock
  // The sound clock's last reading (guarded by writeLock): end of the last
  // timed block written, the device delay then, and when (NowMs).
  int64_t writtenEndMs_ = kNoClock;
  int64_t writtenDelayMs_ = 0;
  int32_t writtenAtMs_ = 0;
  std::atomic<bool> abortWrites{false};
};
