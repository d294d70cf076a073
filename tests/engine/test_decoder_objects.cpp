// Decoder objects: packet classification and times, decoding, held-back
// pictures, master clock choice, presenting and the frame skipping of the
// mode-2 path, with a view that records what it is handed.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/zov_base_file.h"
#include "engine/zov_d3d11va_file.h"
#include "engine/zov_dxva_file.h"
#include "tests/common/test_paths.h"

namespace {

using zovtest::Fixture;

// Stand-in render view: records each frame it is given and reports a fixed
// drawing time.
class RecordingView : public CZovRenderView {
 public:
  int RenderFrame(AVFrame* frame) override {
    frames.push_back({frame ? frame->width : -1, frame ? frame->height : -1, frame ? frame->format : -1});
    return renderMs;
  }
  struct Seen {
    int width, height, format;
  };
  std::vector<Seen> frames;
  int renderMs = 0;
};

struct Counts {
  int video = 0, audio = 0, other = 0;
  int videoFrames = 0, audioFrames = 0;
  int firstVideoTime = -1, firstAudioTime = -1;
  int firstType = -2;
};

// Reads (and decodes when asked) the whole recording.
Counts ReadAll(CZovBaseFile& file, bool decode) {
  Counts c;
  for (int guard = 0; guard < 100000; ++guard) {
    ZovMediaItem item;
    int rc = file.ReadPacket(&item);
    if (rc == -2) break;
    if (rc != 0) continue;
    if (c.firstType == -2) c.firstType = item.type;
    if (item.type == kZovItemVideo) {
      if (c.firstVideoTime < 0) c.firstVideoTime = item.timeMs;
      ++c.video;
      EXPECT_NE(item.packet, nullptr);
      if (decode && file.Decode(&item) == 0) {
        ++c.videoFrames;
        EXPECT_NE(item.frame, nullptr);
        EXPECT_EQ(item.packet, nullptr) << "Decode keeps the consumed packet";
        EXPECT_EQ(item.type, kZovItemVideo);
      }
    } else if (item.type == kZovItemAudio) {
      if (c.firstAudioTime < 0) c.firstAudioTime = item.timeMs;
      ++c.audio;
      if (decode && file.Decode(&item) == 0) {
        ++c.audioFrames;
        EXPECT_EQ(item.type, kZovItemAudio);
      }
    } else {
      ++c.other;
      EXPECT_EQ(item.packet, nullptr) << "packets of other streams are discarded";
    }
  }
  return c;
}

TEST(ZovBaseFile, OpensDecodesAndGivesTheViewThePictureSize) {
  RecordingView view;
  CZovBaseFile file;
  file.renderView = &view;
  ASSERT_EQ(file.Open(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  EXPECT_EQ(view.widthHint, 320);
  EXPECT_EQ(view.heightHint, 240);
  ASSERT_NE(file.GetDemuxer(), nullptr);
  EXPECT_TRUE(avcodec_is_open(file.GetDemuxer()->GetVideoCodecContext()));
  EXPECT_TRUE(avcodec_is_open(file.GetDemuxer()->GetAudioCodecContext()));
  EXPECT_EQ(file.GetDemuxer()->durationSeconds, 2);
  Counts c = ReadAll(file, true);
  EXPECT_EQ(c.video, 60);
  EXPECT_GT(c.audio, 80);
  EXPECT_EQ(c.other, 0);
  // The decoder is never drained, so held-back pictures are lost at the end.
  EXPECT_GT(c.videoFrames, 40);
  EXPECT_LE(c.videoFrames, 60);
  EXPECT_GT(c.audioFrames, 80);
  // The AAC priming packet comes first, 21 ms before the first picture, and
  // sets time 0.
  EXPECT_EQ(c.firstType, kZovItemAudio);
  EXPECT_EQ(file.firstTimeMs, -21);
  EXPECT_EQ(c.firstAudioTime, 0);
  EXPECT_EQ(c.firstVideoTime, 21);
  ZovMediaItem after;
  EXPECT_EQ(file.ReadPacket(&after), -2) << "end of recording stays the end";
  EXPECT_EQ(file.Close(), 0);
  EXPECT_EQ(file.GetDemuxer()->IsOpened(), 0);
}

TEST(ZovBaseFile, SecondOpenReplacesTheDemuxer) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  ReadAll(file, false);
  ASSERT_EQ(file.Open(Fixture("h264_60fps_noaudio.mp4").c_str()), 1);
  EXPECT_EQ(file.firstTimeMs, -1);
  EXPECT_EQ(file.GetDemuxer()->frameRate, 60);
  EXPECT_EQ(file.Open(Fixture("random.mp4").c_str()), 0);
  ZovMediaItem item;
  EXPECT_EQ(file.ReadPacket(&item), -1) << "nothing to read after a failed open";
  EXPECT_EQ(file.Decode(&item), -1);
  EXPECT_EQ(file.Seek(0), 0);
}

TEST(ZovBaseFile, FirstPacketAudioIsTimeZeroForVideoToo) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("audio_first.mkv").c_str()), 1);
  Counts c = ReadAll(file, false);
  EXPECT_EQ(c.firstType, kZovItemAudio);
  EXPECT_EQ(c.firstAudioTime, 0);
  EXPECT_GE(c.firstVideoTime, 450);
  EXPECT_LE(c.firstVideoTime, 550);
  EXPECT_EQ(file.firstTimeMs, file.GetDemuxer()->firstTimestampMs);
}

TEST(ZovBaseFile, DataStreamPacketsAreUnclassified) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("data_stream.mov").c_str()), 1);
  Counts c = ReadAll(file, true);
  EXPECT_GT(c.video, 0);
  EXPECT_GT(c.audio, 0);
  EXPECT_GE(c.other, 1) << "the timecode track yields type -1 items";
  ZovMediaItem item;  // an unclassified item decodes to nothing
  EXPECT_EQ(file.Decode(&item), -1);
  EXPECT_EQ(file.Decode(nullptr), -1);
}

TEST(ZovBaseFile, TimesAreRebasedOnTheFirstPacket) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("offset_1500.mkv").c_str()), 1);
  ZovMediaItem item;
  ASSERT_EQ(file.ReadPacket(&item), 0);
  EXPECT_EQ(item.timeMs, 0);
  EXPECT_EQ(file.firstTimeMs, 1500);
  EXPECT_EQ(file.GetDemuxer()->firstTimestampMs, 1500);
  ZovMediaItem second;
  ASSERT_EQ(file.ReadPacket(&second), 0);
  EXPECT_EQ(second.timeMs, 33);
  // Seek(500) aims at container time 2000 ms: the offset counts from the first packet.
  EXPECT_EQ(file.Seek(500), 1);
  EXPECT_EQ(file.GetDemuxer()->lastSeekMs, 2000);
}

TEST(ZovBaseFile, SeekBeforeAnythingIsReadKeepsTheFirstPacketAsTimeZero) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("offset_1500.mkv").c_str()), 1);
  // A seek bar click that comes before the reader's first packet.
  ASSERT_EQ(file.Seek(1500), 1);
  EXPECT_EQ(file.firstTimeMs, 1500);
  EXPECT_EQ(file.GetDemuxer()->lastSeekMs, 3000);
  ZovMediaItem item;
  ASSERT_EQ(file.ReadPacket(&item), 0);
  EXPECT_NEAR(item.timeMs, 1000, 500) << "the time after the seek counts from the clip's start";
  // A second seek aims at the same clip second, not one shifted by the first seek.
  ASSERT_EQ(file.Seek(2500), 1);
  EXPECT_EQ(file.GetDemuxer()->lastSeekMs, 4000);
}

// Counts the video items at the start that decode to nothing.
int LeadingEmptyVideoItems(CZovBaseFile& file, int limit = 40) {
  int empty = 0;
  for (int i = 0; i < 1000; ++i) {
    ZovMediaItem item;
    int rc = file.ReadPacket(&item);
    if (rc == -2) break;
    if (rc != 0 || item.type != kZovItemVideo) continue;
    if (file.Decode(&item) == 0) return empty;
    if (++empty >= limit) break;
  }
  return empty;
}

TEST(ZovBaseFile, HeldBackPicturesAfterOpenAndSeek) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  AVCodecContext* v = file.GetDemuxer()->GetVideoCodecContext();
  int delay = v->has_b_frames;
  if (v->active_thread_type & FF_THREAD_FRAME) delay += v->thread_count - 1;
  if (delay == 0) GTEST_SKIP() << "this decoder set-up holds no picture back";
  EXPECT_EQ(LeadingEmptyVideoItems(file), delay);
  // Run on, then seek back: the decoder was flushed, so it holds back again.
  for (int i = 0; i < 20; ++i) {
    ZovMediaItem item;
    if (file.ReadPacket(&item) == 0) file.Decode(&item);
  }
  ASSERT_EQ(file.Seek(0), 1);
  EXPECT_EQ(LeadingEmptyVideoItems(file), delay);
}

TEST(ZovBaseFile, PacketIntervalsChooseTheMasterClock) {
  struct Case {
    const char* clip;
    uint32_t minVideo;
    int32_t minAudio;
    bool audioMaster;
  } cases[] = {
      {"h264_aac48_30fps.mp4", 33, 21, true},   // 1024 samples at 48 kHz
      {"h264_aac44_30fps.mp4", 33, 23, true},   // 1024 samples at 44.1 kHz
      {"h264_60fps_noaudio.mp4", 16, 200, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.clip);
    CZovBaseFile file;
    ASSERT_EQ(file.Open(Fixture(k.clip).c_str()), 1);
    EXPECT_EQ(file.minVideoIntervalMs, 200u);
    EXPECT_EQ(file.minAudioIntervalMs, 200);
    ReadAll(file, false);
    EXPECT_EQ(file.minVideoIntervalMs, k.minVideo);
    EXPECT_EQ(file.minAudioIntervalMs, k.minAudio);
    EXPECT_EQ(file.IsAudioMaster(), k.audioMaster);
  }
}

TEST(ZovBaseFile, AudioMasterRule) {
  EXPECT_TRUE(CZovBaseFile::AudioMasterRule(33, 21));
  EXPECT_TRUE(CZovBaseFile::AudioMasterRule(26, 29));
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(25, 29));   // video not above 25
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(33, 30));   // audio not below 30, gap only 3
  EXPECT_TRUE(CZovBaseFile::AudioMasterRule(66, 40));    // video exceeds audio by 26
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(60, 40));   // by exactly 20
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(16, 200));  // 60 fps without audio
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(40, -1));
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(200, -1));
  EXPECT_FALSE(CZovBaseFile::AudioMasterRule(200, 200));  // nothing read yet
}

// Opens its clip with an audio decoder context that cannot be opened.
class BadAudioFile : public CZovBaseFile {
 public:
  int OpenWithBadAudio(const char* path) {
    demuxer = std::make_unique<CZovDemuxer>();
    if (!demuxer->Open(path) || !demuxer->audioCodecContext) return 0;
    demuxer->audioCodecContext->sample_rate = -1;  // refused by avcodec_open2
    return OpenDecoders(true, true) ? 1 : 0;
  }
};

TEST(ZovBaseFile, AudioThatCannotBeDecodedDoesNotBecomeTheMaster) {
  BadAudioFile file;
  testing::internal::CaptureStdout();
  ASSERT_EQ(file.OpenWithBadAudio(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(file.GetDemuxer()->GetAudioCodecContext(), nullptr);
  int audioItems = 0;
  for (int i = 0; i < 1000; ++i) {
    ZovMediaItem item;
    if (file.ReadPacket(&item) == -2) break;
    if (item.type == kZovItemAudio) ++audioItems;
  }
  EXPECT_EQ(audioItems, 0);
  EXPECT_FALSE(file.IsAudioMaster());  // the pictures keep their own time
}

TEST(ZovBaseFile, BackwardTimeStepDoesNotBecomeTheMinimum) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  ReadAll(file, false);
  ASSERT_EQ(file.minVideoIntervalMs, 33u);
  // Seek back: the next packets step backwards in time.
  ASSERT_EQ(file.Seek(0), 1);
  for (int i = 0; i < 10; ++i) {
    ZovMediaItem item;
    file.ReadPacket(&item);
  }
  EXPECT_EQ(file.minVideoIntervalMs, 33u);
  EXPECT_EQ(file.minAudioIntervalMs, 21);
}

TEST(ZovBaseFile, PresentHandsTheFrameToTheViewAndFreesIt) {
  RecordingView view;
  CZovBaseFile file;
  file.renderView = &view;
  ASSERT_EQ(file.Open(Fixture("h264_60fps_noaudio.mp4").c_str()), 1);
  int presented = 0;
  for (int i = 0; i < 30; ++i) {
    ZovMediaItem item;
    if (file.ReadPacket(&item) != 0 || file.Decode(&item) != 0) continue;
    EXPECT_EQ(file.Present(&item), 0);
    EXPECT_EQ(item.frame, nullptr);
    ++presented;
  }
  ASSERT_GT(presented, 0);
  ASSERT_EQ(view.frames.size(), static_cast<size_t>(presented));
  EXPECT_EQ(view.frames[0].width, 320);
  EXPECT_EQ(view.frames[0].format, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(file.Present(nullptr), -1);
}

// The hardware decoder objects, opened on the software demuxer so that their
// presenting logic can run on a machine without a video device.
class SoftDxvaFile : public CZovDxvaFile {
 public:
  int OpenSoftware(const char* path) { return CZovBaseFile::Open(path); }
};
class SoftD3d11vaFile : public CZovD3d11vaFile {
 public:
  int OpenSoftware(const char* path) { return CZovBaseFile::Open(path); }
};

// Presents every video packet of the clip; returns how many were presented.
int PresentAll(CZovBaseFile& file, int limit = 100000) {
  int presented = 0;
  for (int i = 0; i < 100000 && presented < limit; ++i) {
    auto item = std::make_unique<ZovMediaItem>();
    int rc = file.ReadPacket(item.get());
    if (rc == -2) break;
    if (rc == 0 && item->type == kZovItemVideo && file.Present(item.get()) == 0) ++presented;
  }
  return presented;
}

TEST(ZovDxvaFile, CheapPicturesAreAllShown) {
  RecordingView view;
  SoftDxvaFile file;
  file.renderView = &view;
  ASSERT_EQ(file.OpenSoftware(Fixture("h264_60fps_noaudio.mp4").c_str()), 1);
  const int f = file.GetDemuxer()->frameRate;
  ASSERT_EQ(f, 60);
  int presented = PresentAll(file);
  ASSERT_GT(presented, f + 10);
  // Decoding small pictures costs a few ms in all: (30 + few) / 15 * 60 / 1000 = 0.
  EXPECT_LT(file.skipLevel, CZovDxvaFile::kSkipThreshold);
  EXPECT_EQ(file.presentedCount, presented);
  EXPECT_EQ(static_cast<int>(view.frames.size()), presented);
}

TEST(ZovDxvaFile, ExpensivePicturesShowOneInThreeAfterTheFirstSecond) {
  RecordingView view;
  view.renderMs = 40;  // more than a 60 fps frame period
  SoftDxvaFile file;
  file.renderView = &view;
  ASSERT_EQ(file.OpenSoftware(Fixture("h264_60fps_noaudio.mp4").c_str()), 1);
  const int f = 60;
  int presented = PresentAll(file);
  ASSERT_GT(presented, f + 10);
  // renderTimeSum = (1 + 60 * 40) / 15 = 160, so skipLevel >= 160 * 60 / 1000 = 9.
  EXPECT_EQ(file.GetDemuxer()->renderTimeSum, (1 + f * 40) / 15);
  EXPECT_GE(file.skipLevel, 9);
  int expected = f + 1;  // n = 0 .. f are all shown
  for (int n = f + 1; n < presented; ++n)
    if (n % 3 == 1) ++expected;
  EXPECT_EQ(static_cast<int>(view.frames.size()), expected);
}

TEST(ZovDxvaFile, FrameRateZeroSetsTheLevelWithTheFirstPicture) {
  RecordingView view;
  view.renderMs = 1000;
  SoftDxvaFile file;
  file.renderView = &view;
  ASSERT_EQ(file.OpenSoftware(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  file.GetDemuxer()->frameRate = 0;
  ASSERT_EQ(PresentAll(file, 1), 1);
  // n = f = 0: sums divided at once, skipLevel = (...) * 0 / 1000 = 0.
  EXPECT_EQ(file.GetDemuxer()->decodeTimeSum, 30 / 15);
  EXPECT_EQ(file.GetDemuxer()->renderTimeSum, 1 / 15);
  EXPECT_EQ(file.skipLevel, 0);
  EXPECT_EQ(view.frames.size(), 1u);
}

TEST(ZovDxvaFile, PresentRejectsMissingItemsAndIgnoresAudio) {
  SoftDxvaFile file;
  ASSERT_EQ(file.OpenSoftware(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  EXPECT_EQ(file.Present(nullptr), -1);
  ZovMediaItem empty;
  empty.type = kZovItemVideo;
  EXPECT_EQ(file.Present(&empty), -1) << "no packet";
  for (int i = 0; i < 200; ++i) {
    ZovMediaItem item;
    if (file.ReadPacket(&item) == 0 && item.type == kZovItemAudio) {
      EXPECT_EQ(file.Present(&item), 0);
      EXPECT_EQ(file.presentedCount, 0);
      return;
    }
  }
  FAIL() << "no audio packet found";
}

TEST(ZovD3d11vaFile, PresentDecodesAtPresentationTime) {
  RecordingView view;
  SoftD3d11vaFile file;
  file.renderView = &view;
  ASSERT_EQ(file.OpenSoftware(Fixture("h264_aac48_30fps.mp4").c_str()), 1);
  EXPECT_EQ(file.Present(nullptr), -1);
  ZovMediaItem audio;
  audio.type = kZovItemAudio;
  EXPECT_EQ(file.Present(&audio), 0);
  int presented = PresentAll(file);
  EXPECT_GT(presented, 40);
  EXPECT_EQ(static_cast<int>(view.frames.size()), presented);
  EXPECT_EQ(view.frames[0].width, 320);
}

TEST(ZovHardwareFiles, OpenWithoutDeviceFailsWithoutFallback) {
  // On a machine without the video device both hardware modes refuse the
  // recording; where a device exists they open it and decode pictures.
  RecordingView view;
  {
    CZovD3d11vaFile file;
    file.renderView = &view;
    int ok = file.Open(Fixture("h264_aac48_30fps.mp4").c_str());
    if (ok == 1) {
      EXPECT_NE(file.hwDeviceRef, nullptr);
      EXPECT_GT(PresentAll(file, 10), 0);
    } else {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(file.hwDeviceRef, nullptr);
      EXPECT_EQ(file.GetDemuxer()->GetVideoCodecContext(), nullptr) << "no software decoder behind it";
      EXPECT_EQ(file.firstTimeMs, -1);
      EXPECT_EQ(file.GetDemuxer()->IsOpened(), 0);
      ZovMediaItem item;
      EXPECT_EQ(file.ReadPacket(&item), -1) << "a failed channel delivers nothing";
    }
  }
  {
    CZovDxvaFile file;
    file.renderView = &view;
    int ok = file.Open(Fixture("h264_aac48_30fps.mp4").c_str());
    if (ok == 1) {
      EXPECT_GT(PresentAll(file, 10), 0);
    } else {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(file.GetDemuxer(), nullptr);
    }
  }
  EXPECT_EQ(view.widthHint, 320) << "the mode-0 open gave its size hints before the device step";
}

}  // namespace
