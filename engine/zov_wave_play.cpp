#include "engine/zov_wave_play.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "engine/zov_time.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

CZovWavePlay::CZovWavePlay() = default;

CZovWavePlay::~CZovWavePlay() { Close(); }

std::string CZovWavePlay::DeviceName() {
  const char* name = std::getenv("ZOV_AUDIO_DEVICE");
  return (name && *name) ? name : "default";
}

int CZovWavePlay::Open(CZovBaseFile* decoderFile) {
  CZovAudioPlay::Open(decoderFile);
  AVCodecContext* audio = AudioContext();
  if (!audio) return 0;  // no sound track: no device
  const int channels = audio->ch_layout.nb_channels;
  const int sampleFormat = audio->sample_fmt;
  const int rate = audio->sample_rate;
  format = ZovWaveFormat{};
  if (sampleFormat < AV_SAMPLE_FMT_U8 || sampleFormat >= AV_SAMPLE_FMT_NB || channels <= 0) {
    Close();
    return 0;
  }
  convert = 1;
  closing = 0;
  deviceSampleRate = 0;
  // The converted data is mono for a mono source and stereo otherwise; the
  // device is opened with the channel count the data has.
  const int deviceChannels = channels == 1 ? 1 : 2;
  format.tag = 1;
  format.channels = deviceChannels;
  format.samplesPerSecond = rate;
  format.bitsPerSample = 16;
  format.blockAlign = deviceChannels * 2;
  format.averageBytesPerSecond = deviceChannels * 2 * rate;

  if (!callbackThreadRunning) {
    {
      std::lock_guard<std::mutex> guard(writeLock);
      quitWriter = false;
    }
    abortWrites = false;
    callbackThread = std::thread(&CZovWavePlay::WriterLoop, this);
    callbackThreadRunning = 1;
  }
  int rc = OpenDevice(rate);
  if (rc == kBadFormat) {
    format.samplesPerSecond = kFallbackRate;
    format.averageBytesPerSecond = deviceChannels * 2 * kFallbackRate;
    rc = OpenDevice(kFallbackRate);
    // The data is converted to the rate the device runs at, so the sound
    // keeps its speed.
    if (rc == 0) deviceSampleRate = kFallbackRate;
  }
  if (rc != 0) Close();
  return 0;
}

int CZovWavePlay::OpenDevice(int rate) {
  snd_pcm_t* pcm = nullptr;
  const std::string name = DeviceName();
  if (snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return -1;
  std::unique_ptr<snd_pcm_t, ZovPcmDeleter> owner(pcm);
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  if (snd_pcm_hw_params_any(pcm, hw) < 0) return -1;
  if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
      snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) < 0 ||
      snd_pcm_hw_params_set_channels(pcm, hw, format.channels) < 0) {
    return kBadFormat;
  }
  if (snd_pcm_hw_params_set_rate(pcm, hw, static_cast<unsigned>(rate), 0) < 0) return kBadFormat;
  // About a fifth of a second of device buffer: with at most five frames of
  // 20-64 ms pending, the delay stays near a third of a second.
  unsigned bufferUs = 200000;
  int dir = 0;
  snd_pcm_hw_params_set_buffer_time_near(pcm, hw, &bufferUs, &dir);
  if (snd_pcm_hw_params(pcm, hw) < 0) return kBadFormat;
  device = std::move(owner);
  return 0;
}

void CZovWavePlay::WriteToDevice(const std::vector<uint8_t>& block) {
  snd_pcm_t* pcm = device.get();
  if (!pcm || format.blockAlign <= 0) return;
  const uint8_t* data = block.data();
  snd_pcm_uframes_t left = block.size() / format.blockAlign;
  while (left > 0 && !abortWrites) {
    snd_pcm_sframes_t n = snd_pcm_writei(pcm, data, left);
    if (n == -EAGAIN) {
      snd_pcm_wait(pcm, 50);  // bounded, so an abort is seen soon
      continue;
    }
    if (n < 0) {
      // Underrun or suspend: recover once, give up on this buffer otherwise.
      if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) return;
      continue;
    }
    data += static_cast<size_t>(n) * format.blockAlign;
    left -= static_cast<snd_pcm_uframes_t>(n);
  }
}

void CZovWavePlay::DropDevice() {
  if (device) snd_pcm_drop(device.get());
}

int64_t CZovWavePlay::DeviceDelayMs() {
  snd_pcm_sframes_t frames = 0;
  const int rate = format.samplesPerSecond;
  if (!device || rate <= 0 || snd_pcm_delay(device.get(), &frames) < 0) return -1;
  return std::max<int64_t>(0, int64_t(frames) * 1000 / rate);
}

int64_t CZovWavePlay::HeardTimeMs(int64_t writtenEndMs, int64_t delayMs, int64_t sinceMs) {
  // The device plays on after the write: what it held shrinks with the time
  // since, down to nothing (then it waits for more and the clock stops).
  return writtenEndMs - std::max<int64_t>(0, delayMs - std::max<int64_t>(0, sinceMs));
}

int64_t CZovWavePlay::SoundClockMs(int32_t nowMs) const {
  std::lock_guard<std::mutex> guard(writeLock);
  if (writtenEndMs_ == kNoClock) return kNoClock;
  // Nothing written for longer than the device held: the sound has stopped
  // (pause, seek, its end) and there is no clock until it plays again.
  if (int64_t(nowMs) - writtenAtMs_ > writtenDelayMs_ + kStaleClockMs) return kNoClock;
  return HeardTimeMs(writtenEndMs_, writtenDelayMs_, int64_t(nowMs) - writtenAtMs_);
}

void CZovWavePlay::WriterLoop() {
  for (;;) {
    Block block;
    {
      std::unique_lock<std::mutex> guard(writeLock);
      writeWake.wait(guard, [this] { return quitWriter || !buffers.empty(); });
      if (buffers.empty()) return;  // quit with nothing left
      block = std::move(buffers.front());
      buffers.pop_front();
    }
    if (!abortWrites) WriteToDevice(block.data);
    if (block.timeMs != kNoClock) {
      const int64_t delay = DeviceDelayMs();
      const int32_t now = NowMs();
      std::lock_guard<std::mutex> guard(writeLock);
      writtenEndMs_ = block.timeMs + block.durationMs;
      // A device that cannot tell its delay is taken to hold this block.
      writtenDelayMs_ = delay >= 0 ? delay : block.durationMs;
      writtenAtMs_ = now;
    }
    ++writtenBuffers;
    --pendingBuffers;  // the buffer is back
  }
}

int CZovWavePlay::PlayFrame(AVFrame* frame) { return PlayTimedFrame(frame, kNoClock); }

int CZovWavePlay::PlayTimedFrame(AVFrame* frame, int64_t timeMs) {
  if (!file || !device || !frame || mute || closing) return 0;
  if (pendingBuffers >= kMaxPending) {
    ++droppedFrames;
    return kTooManyPending;
  }
  std::vector<uint8_t> block;
  if (ConvertFrame(frame, block) < 0) {
    // A failed conversion is played as silence of the frame's full size.
    const int channels = frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels : 1;
    block.assign(static_cast<size_t>(std::max(frame->linesize[0], 0)) * channels * 2, 0);
  }
  ApplyGain(block.data(), block.size(), Gain());
  Block timed;
  timed.timeMs = timeMs;
  if (format.blockAlign > 0 && format.samplesPerSecond > 0)
    timed.durationMs = int64_t(block.size() / format.blockAlign) * 1000 / format.samplesPerSecond;
  timed.data = std::move(block);
  ++pendingBuffers;
  {
    std::lock_guard<std::mutex> guard(writeLock);
    buffers.push_back(std::move(timed));
  }
  writeWake.notify_one();
  return 0;
}

void CZovWavePlay::Close() {
  closing = 1;
  if (callbackThreadRunning) {
    for (int i = 0; i < closeWaitSteps && pendingBuffers > 0; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kCloseStepMs));
    }
    if (pendingBuffers > 0) {
      // Still playing after the wait (5 s): stop the device, dropping what it holds, so
      // the writer ends by itself.
      abortWrites = true;
      DropDevice();
    }
    {
      std::lock_guard<std::mutex> guard(writeLock);
      quitWriter = true;
    }
    writeWake.notify_all();
    if (callbackThread.joinable()) callbackThread.join();
    {
      std::lock_guard<std::mutex> guard(writeLock);
      pendingBuffers -= static_cast<int32_t>(buffers.size());
      buffers.clear();
    }
    callbackThreadRunning = 0;
  }
  device.reset();
}
