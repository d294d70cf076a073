#pragma once
// Sound output of the main channel, base part: conversion of decoded audio
// frames to 16-bit interleaved PCM and the volume state. The device part is
// CZovWavePlay. There is no clock here: the scheduler hands frames over at
// wall-clock pace and the output only bounds the buffers in flight.
//
// Threads: Open/Close/SetMute/SetVolume on the user-interface thread,
// PlayFrame (and so the conversion) on the scheduler thread. mute and volume
// are atomics read by the next PlayFrame.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
struct AVFrame;
struct AVCodecContext;
struct SwrContext;
}
class CZovBaseFile;

struct ZovSwrDeleter {
  void operator()(SwrContext* s) const;
};

class CZovAudioPlay {
 public:
  // Volume slider step: slider value v gives volume v * 0.0625.
  static constexpr double kVolumeStep = 0.0625;
  // PlayFrame result when too many buffers are pending; the frame is dropped.
  static constexpr int kTooManyPending = -100;

  CZovAudioPlay();
  virtual ~CZovAudioPlay();
  CZovAudioPlay(const CZovAudioPlay&) = delete;
  CZovAudioPlay& operator=(const CZovAudioPlay&) = delete;

  // Stores the decoder object and takes the channel count and sample rate of
  // its audio decoder context, when it has one.
  virtual int Open(CZovBaseFile* decoderFile);
  virtual void Close() = 0;
  // 0 = accepted (played or discarded), kTooManyPending = dropped.
  virtual int PlayFrame(AVFrame* frame) = 0;
  // The same for a frame whose media time (ms, item time scale) is known, so
  // that the output can tell which sound is heard (SoundClockMs).
  virtual int PlayTimedFrame(AVFrame* frame, int64_t timeMs) {
    (void)timeMs;
    return PlayFrame(frame);
  }
  // The media time (ms) of the sound heard at `nowMs` (NowMs), or kNoClock
  // while no timed frame has reached the device.
  static constexpr int64_t kNoClock = INT64_MIN;
  virtual int64_t SoundClockMs(int32_t nowMs) const {
    (void)nowMs;
    return kNoClock;
  }

  void SetMute(bool flag) { mute = flag ? 1 : 0; }
  void SetVolume(int value) { volume = value * kVolumeStep; }
  // The sample gain: volume * 5.0 * 0.5, so slider v gives v * 0.15625.
  double Gain() const { return volume.load() * 5.0 * 0.5; }

  // Converts `frame` to signed 16-bit interleaved samples (stereo; mono for a
  // mono source) into `out`, which is resized to the converted length L.
  // The resampler is made from the first frame and kept for later ones.
  // Returns L, or -1 when the conversion fails (out is left empty).
  int ConvertFrame(AVFrame* frame, std::vector<uint8_t>& out);
  // Multiplies every 16-bit little-endian sample by `gain`, truncating toward
  // zero and clipping to the int16 range.
  static void ApplyGain(uint8_t* data, size_t bytes, double gain);

  // The audio decoder context of the decoder object, or null.
  AVCodecContext* AudioContext() const;

  std::atomic<double> volume{1.0};
  std::atomic<uint8_t> mute{0};
  CZovBaseFile* file = nullptr;  // not owned
  std::unique_ptr<SwrContext, ZovSwrDeleter> resampler;
  int32_t outChannels = 0;
  int32_t outSampleRate = 0;
  // Rate the converted data is made for. 0: as designed (the decoder's rate
  // for stereo, the frame's own rate for mono). The device part sets it when
  // the device could only be opened at another rate, so that sound keeps its
  // pitch and speed.
  int32_t deviceSampleRate = 0;
  // Layout and rates the resampler was made with (kept from the first frame).
  int32_t resamplerOutChannels = 0;
  int32_t resamplerOutRate = 0;
  int32_t resamplerInRate = 0;
  int32_t resamplerInChannels = 0;
  int32_t resamplerInFormat = -1;
};
