// Sound output on ALSA's "null" device with real decoded audio from the
// fixture clips. Writer-side behaviour (pending buffers, the rate fallback,
// Close under a stuck device) is driven through the device hooks.
#include <gtest/gtest.h>

#include <functional>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/zov_base_file.h"
#include "engine/zov_wave_play.h"
#include "tests/common/test_paths.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "tests/common/test_wait.h"

namespace {

using zovtest::WaitUntil;

using Clock = std::chrono::steady_clock;


// Decodes the audio frames of a clip with the decoder object.
std::vector<AVFrameUPtr> DecodeAudio(CZovBaseFile& file, int maxFrames) {
  std::vector<AVFrameUPtr> frames;
  for (int guard = 0; guard < 5000 && int(frames.size()) < maxFrames; ++guard) {
    ZovMediaItem item;
    int rc = file.ReadPacket(&item);
    if (rc == -2) break;
    if (rc != 0 || item.type != kZovItemAudio) continue;
    if (file.Decode(&item) == 0 && item.frame) {
      frames.push_back(std::move(item.frame));
    }
  }
  return frames;
}

// Records what reaches the device; can hold writes back until released.
class RecordingWavePlay : public CZovWavePlay {
 public:
  ~RecordingWavePlay() override { Close(); }
  void Hold(bool on) {
    std::lock_guard<std::mutex> g(m);
    held = on;
    cv.notify_all();
  }
  std::vector<std::vector<uint8_t>> Blocks() {
    std::lock_guard<std::mutex> g(m);
    return blocks;
  }
  std::vector<int> openedRates;
  int refuseAllBut = 0;  // >0: every other rate is refused as a bad format

 protected:
  int OpenDevice(int rate) override {
    openedRates.push_back(rate);
    if (refuseAllBut > 0 && rate != refuseAllBut) return kBadFormat;
    return CZovWavePlay::OpenDevice(rate);
  }
  void WriteToDevice(const std::vector<uint8_t>& block) override {
    std::unique_lock<std::mutex> g(m);
    cv.wait(g, [this] { return !held || abortWrites.load(); });
    blocks.push_back(block);
  }
  void DropDevice() override {
    CZovWavePlay::DropDevice();
    std::lock_guard<std::mutex> g(m);
    cv.notify_all();
  }

 private:
  std::mutex m;
  std::condition_variable cv;
  bool held = false;
  std::vector<std::vector<uint8_t>> blocks;
};

class AudioOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("ZOV_AUDIO_DEVICE", "null", 1); }
  bool OpenClip(const char* name) {
    const std::string path = zovtest::Fixture(name);
    return file.Open(path.c_str()) == 1;
  }
  CZovBaseFile file;
};

int16_t SampleAt(const std::vector<uint8_t>& block, size_t i) {
  int16_t s;
  std::memcpy(&s, block.data() + 2 * i, 2);
  return s;
}

TEST(AudioGainTest, SliderValueScalesAndClips) {
  CZovWavePlay out;
  out.SetVolume(16);
  EXPECT_DOUBLE_EQ(out.Gain(), 2.5);
  out.SetVolume(1);
  EXPECT_DOUBLE_EQ(out.Gain(), 0.15625);

  std::vector<int16_t> s = {1000, -1000, 20000, -20000, 3, -3};
  std::vector<uint8_t> bytes(s.size() * 2);
  std::memcpy(bytes.data(), s.data(), bytes.size());
  CZovAudioPlay::ApplyGain(bytes.data(), bytes.size(), 2.5);
  std::memcpy(s.data(), bytes.data(), bytes.size());
  EXPECT_EQ(s[0], 2500);
  EXPECT_EQ(s[1], -2500);
  EXPECT_EQ(s[2], 32767);   // clipped
  EXPECT_EQ(s[3], -32768);  // clipped
  EXPECT_EQ(s[4], 7);       // 7.5 truncated toward zero
  EXPECT_EQ(s[5], -7);

  CZovAudioPlay::ApplyGain(bytes.data(), bytes.size(), 0.0);  // slider 0
  std::memcpy(s.data(), bytes.data(), bytes.size());
  for (int16_t v : s) EXPECT_EQ(v, 0);
}

TEST_F(AudioOutputTest, StereoClipPlaysEveryFrameAndCountsBuffersBack) {
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  CZovWavePlay out;
  out.Open(&file);
  ASSERT_TRUE(out.HasDevice());
  EXPECT_EQ(out.outChannels, 2);
  EXPECT_EQ(out.outSampleRate, 48000);
  EXPECT_EQ(out.format.channels, 2);
  EXPECT_EQ(out.format.samplesPerSecond, 48000);
  EXPECT_EQ(out.format.blockAlign, 4);
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 40);
  ASSERT_GE(frames.size(), 20u);
  int accepted = 0;
  for (const AVFrameUPtr& f : frames) {
    // Pace like the scheduler does: never more than five in flight.
    ASSERT_TRUE(WaitUntil([&] { return out.pendingBuffers < CZovWavePlay::kMaxPending; }));
    if (out.PlayFrame(f.get()) == 0) ++accepted;
  }
  EXPECT_EQ(accepted, int(frames.size()));
  EXPECT_TRUE(WaitUntil([&] { return out.writtenBuffers == int64_t(frames.size()); }));
  EXPECT_EQ(out.pendingBuffers, 0);
  std::vector<uint8_t> block;
  EXPECT_EQ(out.ConvertFrame(frames[5].get(), block), frames[5]->nb_samples * 2 * 2);
  const auto start = Clock::now();
  out.Close();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(out.PlayFrame(frames[0].get()), 0);  // closing: refused quietly
}

TEST_F(AudioOutputTest, MonoSourceStaysMono) {
  ASSERT_TRUE(OpenClip("mjpeg_pcm.avi"));
  RecordingWavePlay out;
  out.Open(&file);
  ASSERT_TRUE(out.HasDevice());
  EXPECT_EQ(out.format.channels, 1);
  EXPECT_EQ(out.format.samplesPerSecond, 22050);
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 3);
  ASSERT_FALSE(frames.empty());
  ASSERT_EQ(out.PlayFrame(frames[0].get()), 0);
  ASSERT_TRUE(WaitUntil([&] { return out.Blocks().size() == 1; }));
  EXPECT_EQ(out.Blocks()[0].size(), size_t(frames[0]->nb_samples) * 2);
  EXPECT_EQ(out.resamplerOutRate, 22050);
}

TEST_F(AudioOutputTest, SixthFrameWhileFivePendingIsDropped) {
  ASSERT_TRUE(OpenClip("h264_aac44_30fps.mp4"));
  RecordingWavePlay out;
  out.Open(&file);
  ASSERT_TRUE(out.HasDevice());
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 8);
  ASSERT_GE(frames.size(), 7u);
  out.Hold(true);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(out.PlayFrame(frames[i].get()), 0) << i;
  EXPECT_EQ(out.pendingBuffers, 5);
  EXPECT_EQ(out.PlayFrame(frames[5].get()), CZovAudioPlay::kTooManyPending);
  EXPECT_EQ(out.droppedFrames, 1);
  out.Hold(false);
  ASSERT_TRUE(WaitUntil([&] { return out.pendingBuffers == 0; }));
  EXPECT_EQ(out.Blocks().size(), 5u);
  EXPECT_EQ(out.PlayFrame(frames[6].get()), 0);
}

TEST_F(AudioOutputTest, MuteAcceptsAndDiscards) {
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  RecordingWavePlay out;
  out.Open(&file);
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 2);
  ASSERT_EQ(frames.size(), 2u);
  out.SetMute(true);
  EXPECT_EQ(out.PlayFrame(frames[0].get()), 0);
  out.SetMute(false);
  EXPECT_EQ(out.PlayFrame(frames[1].get()), 0);
  ASSERT_TRUE(WaitUntil([&] { return out.writtenBuffers == 1; }));
  EXPECT_EQ(out.Blocks().size(), 1u);
}

TEST_F(AudioOutputTest, RefusedRateFallsBackTo48000AndKeepsSpeed) {
  ASSERT_TRUE(OpenClip("h264_aac44_30fps.mp4"));
  RecordingWavePlay out;
  out.refuseAllBut = 48000;
  out.Open(&file);
  ASSERT_TRUE(out.HasDevice());
  EXPECT_EQ(out.openedRates, (std::vector<int>{44100, 48000}));
  EXPECT_EQ(out.format.samplesPerSecond, 48000);
  EXPECT_EQ(out.format.averageBytesPerSecond, 2 * 2 * 48000);
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 30);
  ASSERT_GE(frames.size(), 20u);
  int64_t inSamples = 0, outBytes = 0;
  std::vector<uint8_t> block;
  for (const AVFrameUPtr& f : frames) {
    inSamples += f->nb_samples;
    outBytes += out.ConvertFrame(f.get(), block);
  }
  // 48000/44100 as many samples out as in, less the resampler's delay.
  const double ratio = double(outBytes / 4) / double(inSamples);
  EXPECT_NEAR(ratio, 48000.0 / 44100.0, 0.02);
}

TEST_F(AudioOutputTest, DeviceThatCannotOpenLeavesOutputSilent) {
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  setenv("ZOV_AUDIO_DEVICE", "zov_no_such_device", 1);
  CZovWavePlay out;
  out.Open(&file);
  EXPECT_FALSE(out.HasDevice());
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 6);
  ASSERT_FALSE(frames.empty());
  for (const AVFrameUPtr& f : frames) EXPECT_EQ(out.PlayFrame(f.get()), 0);
  EXPECT_EQ(out.writtenBuffers, 0);
}

TEST_F(AudioOutputTest, NoSoundTrackOpensNoDevice) {
  ASSERT_TRUE(OpenClip("h264_60fps_noaudio.mp4"));
  CZovWavePlay out;
  out.Open(&file);
  EXPECT_FALSE(out.HasDevice());
  EXPECT_EQ(out.outChannels, 0);
}

// A synthetic planar-float frame (stereo unless told).
AVFrameUPtr ToneFrame(int rate, int samples, int channels = 2) {
  AVFrameUPtr owned(av_frame_alloc());
  AVFrame* f = owned.get();
  f->format = AV_SAMPLE_FMT_FLTP;
  f->sample_rate = rate;
  f->nb_samples = samples;
  av_channel_layout_default(&f->ch_layout, channels);
  EXPECT_EQ(av_frame_get_buffer(f, 0), 0);
  for (int c = 0; c < channels; ++c) {
    float* p = reinterpret_cast<float*>(f->data[c]);
    for (int i = 0; i < samples; ++i) p[i] = 0.5f * std::sin(i * 0.05f);
  }
  return owned;
}

TEST_F(AudioOutputTest, BlockHoldsAllOfAConversionLargerThanTheFrame) {
  // A first frame at 8 kHz on a 48 kHz decoder converts to six times as many
  // samples: far more than (line size x channels x 2) bytes.
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  RecordingWavePlay out;
  out.Open(&file);
  ASSERT_TRUE(out.HasDevice());
  AVFrameUPtr f = ToneFrame(8000, 1024);
  const size_t designedBlock = size_t(f->linesize[0]) * 2 * 2;
  ASSERT_EQ(out.PlayFrame(f.get()), 0);
  ASSERT_TRUE(WaitUntil([&] { return out.Blocks().size() == 1; }));
  const std::vector<uint8_t> block = out.Blocks()[0];
  EXPECT_GT(block.size(), designedBlock);
  EXPECT_NEAR(double(block.size()), 1024.0 * 6 * 4, 1024.0 * 4 * 0.1);
  // A later frame at another rate keeps the first frame's settings.
  AVFrameUPtr g = ToneFrame(48000, 1024);
  std::vector<uint8_t> converted;
  out.ConvertFrame(g.get(), converted);
  EXPECT_EQ(out.resamplerInRate, 8000);
  EXPECT_GT(converted.size(), size_t(1024) * 4 * 5);
}

TEST_F(AudioOutputTest, LaterFrameWithFewerChannelsIsNotReadPastItsPlanes) {
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  RecordingWavePlay out;
  out.Open(&file);
  AVFrameUPtr stereo = ToneFrame(48000, 1024);
  AVFrameUPtr mono = ToneFrame(48000, 1024, 1);
  std::vector<uint8_t> block;
  EXPECT_GT(out.ConvertFrame(stereo.get(), block), 0);
  EXPECT_EQ(out.ConvertFrame(mono.get(), block), -1);  // the stereo resampler would read a second plane
  EXPECT_TRUE(block.empty());
  EXPECT_GT(out.ConvertFrame(stereo.get(), block), 0);
}

TEST_F(AudioOutputTest, FailedConversionIsWrittenAsSilenceOfFullSize) {
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  RecordingWavePlay out;
  out.Open(&file);
  AVFrameUPtr f = ToneFrame(48000, 256);
  const int lineSize = f->linesize[0];
  f->nb_samples = 0;  // no samples: the conversion fails
  ASSERT_EQ(out.PlayFrame(f.get()), 0);
  ASSERT_TRUE(WaitUntil([&] { return out.Blocks().size() == 1; }));
  const std::vector<uint8_t> block = out.Blocks()[0];
  EXPECT_EQ(block.size(), size_t(lineSize) * 2 * 2);
  for (size_t i = 0; i < block.size() / 2; ++i) ASSERT_EQ(SampleAt(block, i), 0);
}

TEST_F(AudioOutputTest, CloseOfAStuckDeviceStopsItAndReturns) {
  ASSERT_TRUE(OpenClip("h264_aac48_30fps.mp4"));
  auto out = std::make_unique<RecordingWavePlay>();
  out->Open(&file);
  std::vector<AVFrameUPtr> frames = DecodeAudio(file, 3);
  ASSERT_EQ(frames.size(), 3u);
  out->Hold(true);  // the device never finishes a buffer
  for (const AVFrameUPtr& f : frames) ASSERT_EQ(out->PlayFrame(f.get()), 0);
  out->closeWaitSteps = 5;  // 50 ms instead of 5 s
  const auto start = Clock::now();
  out->Close();  // waits its bound, then drops the device
  const auto took = Clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(50));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
  EXPECT_EQ(out->pendingBuffers, 0);
  EXPECT_FALSE(out->HasDevice());
}

// The sound clock: the end of the last buffer written, less what the device
// still held then, which shrinks as the device plays on.
TEST(ZovWavePlay, SoundHeardIsTheWrittenEndLessTheDelayStillToPlay) {
  struct Case {
    const char* what;
    int64_t writtenEnd, delay, since, heard;
  } cases[] = {
      {"just written, 200 ms in the device", 5000, 200, 0, 4800},
      {"50 ms later", 5000, 200, 50, 4850},
      {"the device ran dry: the clock stops at the end", 5000, 200, 400, 5000},
      {"a device without delay", 5000, 0, 0, 5000},
      {"a reading from before the write is not ahead of it", 5000, 200, -30, 4800},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CZovWavePlay::HeardTimeMs(c.writtenEnd, c.delay, c.since), c.heard) << c.what;
}

}  // namespace
