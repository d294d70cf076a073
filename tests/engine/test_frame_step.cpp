// Frame steps and playback speed on real clips made here with the ffmpeg
// command line (a key frame every 10 pictures, with reordered pictures) and
// decoded by FFmpeg, views without a window: the pictures a step shows are
// compared with ffprobe's list of the clip's frame times, forward and back,
// across key frames, across the moments of a drive and with a second channel;
// a burst of presses; and the tempo filter's output at the speeds offered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/zov_engine.h"
#include "engine/zov_media_play.h"
#include "engine/zov_tempo_filter.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace {

using zovtest::WaitUntil;

std::string Run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Frame times of the clip's picture stream in display order, ms from the
// first picture, as ffprobe reads them.
std::vector<int64_t> ProbeFrameTimes(const std::string& path) {
  const std::string text =
      Run("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time -of csv=p=0 '" + path + "'");
  std::vector<int64_t> times;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
    if (!line.empty()) times.push_back(std::llround(std::stod(line) * 1000.0));
    if (end == std::string::npos) break;
    at = end + 1;
  }
  std::sort(times.begin(), times.end());
  return times;
}

struct Clip {
  std::string path;
  std::vector<int64_t> times;
};

// A clip of `seconds` at `rate` fps, a key frame every 10 pictures, two
// reordered pictures between references.
Clip MakeClip(const std::string& name, int rate, double seconds) {
  Clip c;
  c.path = zovtest::TempDir() + "/" + name;
  const std::string cmd = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=320x240:rate=" +
                          std::to_string(rate) + ":duration=" + std::to_string(seconds) +
                          " -c:v libx264 -preset ultrafast -bf 2 -g 10 -keyint_min 10 -sc_threshold 0 "
                          "-pix_fmt yuv420p '" +
                          c.path + "' 2>&1";
  const std::string err = Run(cmd);
  EXPECT_TRUE(err.empty()) << err;
  c.times = ProbeFrameTimes(c.path);
  return c;
}

class FrameStep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("ZOV_AUDIO_DEVICE", "null", 1);
    front_ = new Clip(MakeClip("step_front.mp4", 25, 1.6));
    rear_ = new Clip(MakeClip("step_rear.mp4", 20, 1.6));
    next_ = new Clip(MakeClip("step_next.mp4", 25, 1.6));
  }
  static void TearDownTestSuite() {
    delete front_;
    delete rear_;
    delete next_;
  }
  void SetUp() override {
    ASSERT_EQ(front_->times.size(), 40u);
    ASSERT_EQ(next_->times.size(), 40u);
    play.startSettleMs = 0;
  }
  void TearDown() override { engine.Stop(); }

  int64_t Shown(int channel) const { return play.players[channel]->scheduler->lastVideoMediaMs; }
  // Starts playing, waits for a picture and pauses.
  void StartPaused() {
    engine.Play();
    ASSERT_TRUE(WaitUntil([&] { return engine.PresentedCount(0) > 0; }));
    engine.Pause();
  }
  // Steps once and waits until the step is carried out and channel 0 shows
  // a picture other than `from`; the picture shown.
  int64_t StepAndWait(int direction, int64_t from) {
    engine.StepFrame(direction);
    WaitUntil([&] {
      engine.State();
      return !engine.Stepping() && Shown(0) != from;
    });
    return Shown(0);
  }
  // Whether every channel shows the picture of its last seek or step (a
  // second channel may still show the one it played to before, and a
  // step's outcome is known before its picture shows).
  bool Settled() const {
    for (const auto& player : play.players)
      if (player && (player->scheduler->AppliedSeekSerial() != player->readThread->LastSeekSerial() ||
                     player->scheduler->holdFlag != 0))
        return false;
    return true;
  }
  // Seeks to `ms` and waits until every channel shows the seek's picture.
  void SeekAndWait(int64_t ms) {
    engine.Seek(ms);
    WaitUntil([&] {
      engine.State();
      return Settled();
    });
  }
  // Item times count from the clip's first packet (a decode time before the
  // first picture with reordered pictures): ffprobe's times moved onto them
  // by the first picture, shown after a seek to the start.
  std::vector<int64_t> OnItemClock(const std::vector<int64_t>& probed) {
    SeekAndWait(0);
    const int64_t offset = Shown(0) - probed.front();
    std::vector<int64_t> out = probed;
    for (int64_t& t : out) t += offset;
    return out;
  }
  static int IndexOf(const std::vector<int64_t>& times, int64_t t) {
    auto it = std::find(times.begin(), times.end(), t);
    return it == times.end() ? -1 : int(it - times.begin());
  }
  // The last time of `times` at or before `t` (the first when none is).
  static int64_t AtOrBefore(const std::vector<int64_t>& times, int64_t t) {
    auto it = std::upper_bound(times.begin(), times.end(), t);
    return it == times.begin() ? times.front() : *(it - 1);
  }

  static Clip* front_;
  static Clip* rear_;
  static Clip* next_;
  CZovMediaPlay play;
  CZovEngine engine{&play};
};

Clip* FrameStep::front_ = nullptr;
Clip* FrameStep::rear_ = nullptr;
Clip* FrameStep::next_ = nullptr;

TEST_F(FrameStep, StepsShowEachPictureInTurnBothWaysWithTheSecondChannelAtTheMainTime) {
  ASSERT_TRUE(engine.Open({front_->path, rear_->path}));
  StartPaused();
  const std::vector<int64_t> t = OnItemClock(front_->times);
  // The rear clip's first packet is another number of pictures before its
  // first picture: its own offset, from its picture after the seek.
  ASSERT_TRUE(WaitUntil([&] { return Shown(1) >= 0; }));
  std::vector<int64_t> rear = rear_->times;
  for (int64_t& r : rear) r += Shown(1) - rear_->times[0];
  // Forward over two key frames (pictures 10 and 20), then back over them.
  int index = 0;
  for (int i = 0; i < 24; ++i) {
    const int64_t shown = StepAndWait(+1, t[size_t(index)]);
    ++index;
    ASSERT_EQ(shown, t[size_t(index)]) << "forward step " << i;
    EXPECT_EQ(engine.PositionMs(), shown);
    const int64_t rearWanted = AtOrBefore(rear, shown);
    EXPECT_TRUE(WaitUntil([&] { return Shown(1) == rearWanted; }))
        << "rear shows " << Shown(1) << " for main " << shown << ", wanted " << rearWanted;
  }
  for (int i = 0; i < 24; ++i) {
    const int64_t shown = StepAndWait(-1, t[size_t(index)]);
    --index;
    ASSERT_EQ(shown, t[size_t(index)]) << "back step " << i;
    const int64_t rearWanted = AtOrBefore(rear, shown);
    EXPECT_TRUE(WaitUntil([&] { return Shown(1) == rearWanted; }))
        << "rear shows " << Shown(1) << " for main " << shown << ", wanted " << rearWanted;
  }
  EXPECT_EQ(engine.State(), ZovPlayState::kPaused);
}

TEST_F(FrameStep, StepsCrossTheMomentsOfADriveBothWays) {
  // A little longer than the clips' pictures, whose item times run later
  // than ffprobe's by their first decode time.
  const int64_t length = 1700;
  std::vector<ZovDriveMoment> drive(2);
  drive[0].paths = {front_->path};
  drive[0].lengthMs = length;
  drive[1].paths = {next_->path};
  drive[1].lengthMs = length;
  ASSERT_TRUE(engine.OpenDrive(drive, 0, 0));
  // The speed chosen is kept by the players of every moment opened later.
  engine.SetSpeed(200);
  StartPaused();
  const std::vector<int64_t> a = OnItemClock(front_->times);
  std::vector<int64_t> b = next_->times;
  for (int64_t& t : b) t += a[0] - front_->times[0];
  // Ten pictures before the end of the first moment (the seek shows the
  // key frame after its target).
  SeekAndWait(a[a.size() - 12]);
  ASSERT_EQ(Shown(0), a[a.size() - 10]);
  int index = IndexOf(a, Shown(0));
  ASSERT_GE(index, 0) << Shown(0);
  while (index + 1 < int(a.size())) {
    ASSERT_EQ(StepAndWait(+1, a[size_t(index)]), a[size_t(index + 1)]);
    ++index;
  }
  // From the last picture of the first moment to the first of the second.
  engine.StepFrame(+1);
  ASSERT_TRUE(WaitUntil([&] {
    engine.State();
    return !engine.Stepping() && engine.DriveMoment() == 1 && engine.PresentedCount(0) > 0 && Settled();
  }));
  EXPECT_EQ(Shown(0), b[0]);
  EXPECT_EQ(engine.PositionMs(), length + b[0]);
  EXPECT_EQ(play.players[0]->scheduler->SpeedPercent(), 200);
  EXPECT_EQ(engine.State(), ZovPlayState::kPaused);
  EXPECT_EQ(StepAndWait(+1, b[0]), b[1]);
  EXPECT_EQ(StepAndWait(-1, b[1]), b[0]);
  // And back from the first picture of the second to the last of the first.
  engine.StepFrame(-1);
  ASSERT_TRUE(WaitUntil([&] {
    engine.State();
    return !engine.Stepping() && engine.DriveMoment() == 0 && engine.PresentedCount(0) > 0 && Settled();
  }));
  EXPECT_EQ(Shown(0), a.back());
  EXPECT_EQ(engine.PositionMs(), a.back());
  EXPECT_EQ(play.players[0]->scheduler->SpeedPercent(), 200);
  EXPECT_EQ(StepAndWait(-1, a.back()), a[a.size() - 2]);
}

TEST_F(FrameStep, ABurstOfPressesLeavesNoBacklogAndStartsFromAPlayingRecording) {
  ASSERT_TRUE(engine.Open({front_->path}));
  engine.Play();
  ASSERT_TRUE(WaitUntil([&] { return engine.PresentedCount(0) > 0; }));
  // Stepping while playing pauses first.
  for (int i = 0; i < 50; ++i) engine.StepFrame(+1);
  EXPECT_EQ(engine.State(), ZovPlayState::kPaused);
  const int64_t carried = play.players[0]->readThread->seeksCarriedOut;
  ASSERT_TRUE(WaitUntil([&] {
    engine.State();
    return !engine.Stepping();
  }));
  const int64_t shown = Shown(0);
  // One step carried out and the last press after it: never fifty.
  EXPECT_LE(play.players[0]->readThread->seeksCarriedOut - carried, 2);
  EXPECT_LE(play.players[0]->readThread->seeksCarriedOut, 3);
  EXPECT_GT(shown, 0);
  EXPECT_EQ(engine.State(), ZovPlayState::kPaused);
}

// A 1 kHz tone through the tempo filter: the output has the speed's share of
// the samples and the same pitch (zero crossings per second of output).
TEST(TempoFilter, KeepsThePitchAndScalesTheLength) {
  constexpr int kRate = 48000;
  constexpr int kFrame = 1024;
  constexpr int kFrames = 2 * kRate / kFrame;  // two seconds
  for (int percent : {25, 50, 150, 200}) {
    CZovTempoFilter filter;
    int64_t samplesOut = 0;
    int64_t crossings = 0;
    float last = 0;
    bool started = false;
    for (int f = 0; f < kFrames; ++f) {
      AVFrameUPtr in(av_frame_alloc());
      in->format = AV_SAMPLE_FMT_FLTP;
      in->sample_rate = kRate;
      in->nb_samples = kFrame;
      av_channel_layout_default(&in->ch_layout, 2);
      ASSERT_GE(av_frame_get_buffer(in.get(), 0), 0);
      for (int c = 0; c < 2; ++c) {
        auto* data = reinterpret_cast<float*>(in->extended_data[c]);
        for (int i = 0; i < kFrame; ++i)
          data[i] = float(0.5 * std::sin(2 * M_PI * 1000.0 * double(f * kFrame + i) / kRate + 0.1));
      }
      for (AVFrameUPtr& out : filter.Filter(in.get(), percent)) {
        ASSERT_EQ(out->sample_rate, kRate);
        ASSERT_EQ(out->format, AV_SAMPLE_FMT_FLTP) << "the output keeps the input's format";
        const auto* data = reinterpret_cast<const float*>(out->extended_data[0]);
        for (int i = 0; i < out->nb_samples; ++i) {
          if (started && ((last < 0) != (data[i] < 0))) ++crossings;
          last = data[i];
          started = true;
        }
        samplesOut += out->nb_samples;
      }
    }
    const double expected = double(kFrames) * kFrame * 100.0 / percent;
    // The filter holds back less than a tenth of a second at the end.
    EXPECT_NEAR(double(samplesOut), expected, 0.05 * expected) << percent << "%";
    ASSERT_GT(samplesOut, 0) << percent << "%";
    const double hz = double(crossings) / 2.0 / (double(samplesOut) / kRate);
    EXPECT_NEAR(hz, 1000.0, 30.0) << percent << "%";
  }
}

}  // namespace
