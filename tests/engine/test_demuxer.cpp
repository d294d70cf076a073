// Demuxer: stream choice, media information, time stamps, end of input, seek
// target and flags, the duration rule, and the hardware device lookup.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/zov_demuxer.h"
#include "engine/zov_hw_demuxer.h"
#include "platform/zov_hw_device_types.h"
#include "tests/common/test_paths.h"

namespace {

using zovtest::Fixture;

std::string StopCapturingStdout() {
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// Reads packets until the end; returns how many were read.
int ReadAll(CZovDemuxer& d, int limit = 100000) {
  AVPacketUPtr pkt(av_packet_alloc());
  int n = 0;
  while (n < limit && d.ReadPacket(pkt.get()) == 0) {
    av_packet_unref(pkt.get());
    ++n;
  }
  return n;
}

TEST(ZovDemuxer, OpensMp4AndFillsMediaInformation) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("h264_aac48_30fps.mp4").c_str()));
  EXPECT_EQ(d.IsOpened(), 1);
  EXPECT_EQ(d.width, 320);
  EXPECT_EQ(d.height, 240);
  EXPECT_EQ(d.frameRate, 30);
  EXPECT_STREQ(d.videoCodecName, "h264");
  EXPECT_STREQ(d.audioCodecName, "aac");
  EXPECT_EQ(d.videoCodecId, AV_CODEC_ID_H264);
  EXPECT_EQ(d.audioCodecId, AV_CODEC_ID_AAC);
  EXPECT_EQ(d.pixelFormat, AV_PIX_FMT_YUV420P);
  EXPECT_EQ(d.videoStreamIndex, 0);
  EXPECT_EQ(d.audioStreamIndex, 1);
  EXPECT_GT(d.bitRate, 0);
  // Contexts are prepared, not opened; the decoder object opens them.
  ASSERT_NE(d.GetVideoCodecContext(), nullptr);
  ASSERT_NE(d.GetAudioCodecContext(), nullptr);
  EXPECT_FALSE(avcodec_is_open(d.GetVideoCodecContext()));
  EXPECT_EQ(d.GetVideoCodecContext()->thread_count,
            CZovDemuxer::DecoderThreadCount(std::thread::hardware_concurrency()));
  EXPECT_EQ(d.durationSeconds, 3600) << "provisional until RefreshMediaInfo";
  d.RefreshMediaInfo();
  EXPECT_EQ(d.durationSeconds, 2);
  EXPECT_EQ(d.sampleRate, 48000);
  EXPECT_EQ(d.channels, 2);
  EXPECT_EQ(d.channelLayout, static_cast<int32_t>(AV_CH_LAYOUT_STEREO));
  EXPECT_EQ(d.audioCodecId2, AV_CODEC_ID_AAC);
  EXPECT_EQ(d.sampleFormat, AV_SAMPLE_FMT_FLTP);
  d.Close();
  EXPECT_EQ(d.IsOpened(), 0);
  EXPECT_EQ(d.GetAudioCodecContext(), nullptr);
  // Closed objects open again.
  EXPECT_TRUE(d.Open(Fixture("h264_aac.mkv").c_str()));
}

TEST(ZovDemuxer, TransportStreamHasShortProvisionalDuration) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("h264_aac.ts").c_str()));
  EXPECT_EQ(d.durationSeconds, 10);
  d.RefreshMediaInfo();
  EXPECT_EQ(d.durationSeconds, 2);
}

TEST(ZovDemuxer, SecondOpenWithoutCloseFails) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("h264_aac48_30fps.mp4").c_str()));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(d.Open(Fixture("h264_aac48_30fps.mp4").c_str()));
  EXPECT_NE(StopCapturingStdout().find("AVDemuxer was opened."), std::string::npos);
  EXPECT_EQ(d.IsOpened(), 0) << "the reset marks it closed";
}

TEST(ZovDemuxer, MissingFileFailsWithItsLogLine) {
  CZovDemuxer d;
  std::string path = zovtest::TempDir() + "/none.mp4";
  testing::internal::CaptureStdout();
  EXPECT_FALSE(d.Open(path.c_str()));
  EXPECT_NE(StopCapturingStdout().find("open " + path + " failed."), std::string::npos);
  EXPECT_EQ(d.IsOpened(), 0);
  EXPECT_EQ(d.formatContext, nullptr);
  AVPacketUPtr pkt(av_packet_alloc());
  EXPECT_EQ(d.ReadPacket(pkt.get()), -1);
  EXPECT_FALSE(d.Seek(0));
}

TEST(ZovDemuxer, EqualSizedStreamsChooseTheLastOfEachKind) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("two_video_two_audio.mkv").c_str()));
  EXPECT_EQ(d.videoStreamIndex, 1);
  EXPECT_EQ(d.audioStreamIndex, 3);
  d.RefreshMediaInfo();
  EXPECT_EQ(d.sampleRate, 44100) << "the later audio stream is 44.1 kHz";
}

// A sound-only recording opens on its sound stream and seeks on it.
TEST(ZovDemuxer, AudioOnlyRecordingOpensOnItsSound) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("audio_only.mp3").c_str()));
  EXPECT_EQ(d.IsOpened(), 1);
  EXPECT_EQ(d.videoStreamIndex, -1);
  EXPECT_GE(d.audioStreamIndex, 0);
  EXPECT_EQ(d.GetVideoCodecContext(), nullptr);
  EXPECT_GT(ReadAll(d, 5), 0);
  EXPECT_TRUE(d.Seek(1000));
  EXPECT_EQ(d.lastSeekMs, 1000);
  EXPECT_TRUE(d.openError.empty());
}

// What is not a readable regular file is refused before anything reads it,
// with its reason; a named pipe must not block the open.
TEST(ZovDemuxer, PathsThatAreNoRecordingsAreRefusedWithTheirReason) {
  const std::string dir = zovtest::TempDir() + "/not_recordings";
  std::filesystem::create_directories(dir);
  const std::string fifo = dir + "/pipe.mp4";
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string empty = dir + "/empty.mp4";
  std::FILE* f = std::fopen(empty.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  const std::string text = dir + "/notes.mp4";
  f = std::fopen(text.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("shopping list: bread, milk\n", f);
  std::fclose(f);
  struct Case {
    std::string path;
    const char* reason;
  } cases[] = {
      {fifo, "not a regular file"},
      {"/dev/zero", "not a regular file"},
      {dir, "not a regular file"},
      {dir + "/none.mp4", "missing"},
      {empty, "empty"},
      {text, "not a recording"},
      {"", "missing"},
  };
  for (const Case& c : cases) {
    CZovDemuxer d;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(d.Open(c.path.c_str())) << c.path;
    StopCapturingStdout();
    EXPECT_EQ(d.openError, c.reason) << c.path;
    EXPECT_EQ(d.IsOpened(), 0);
  }
  EXPECT_EQ(CZovDemuxer::PathProblem(Fixture("audio_only.mp3").c_str()), "");
}

TEST(ZovDemuxer, FirstStreamWithoutDecoderStopsTheChoice) {
  // Stream 0 has an unknown codec; the valid audio stream after it is never
  // considered, and with no video stream the open fails.
  CZovDemuxer d;
  EXPECT_FALSE(d.Open(Fixture("undecodable_first.mp4").c_str()));
  EXPECT_EQ(d.videoStreamIndex, -1);
  EXPECT_EQ(d.audioStreamIndex, -1);
  EXPECT_EQ(d.GetAudioCodecContext(), nullptr);
}

TEST(ZovDemuxer, PacketsCarryMillisecondTimesAndTrackVideoPosition) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("h264_aac48_30fps.mp4").c_str()));
  AVPacketUPtr pkt(av_packet_alloc());
  int videoPackets = 0;
  int64_t lastVideoPts = -1;
  int64_t maxAudioPts = -1;
  while (d.ReadPacket(pkt.get()) == 0) {
    if (pkt->stream_index == d.videoStreamIndex) {
      ++videoPackets;
      lastVideoPts = pkt->pts;
      EXPECT_EQ(d.positionMs, static_cast<int32_t>(pkt->pts));
    } else {
      maxAudioPts = std::max<int64_t>(maxAudioPts, pkt->pts);
      EXPECT_EQ(d.positionMs, static_cast<int32_t>(lastVideoPts < 0 ? 0 : lastVideoPts))
          << "audio packets must not move the position";
    }
    EXPECT_LE(pkt->pts, 2500);
    EXPECT_LE(pkt->dts, pkt->pts);
    av_packet_unref(pkt.get());
  }
  EXPECT_EQ(videoPackets, 60);
  EXPECT_GE(lastVideoPts, 1900);
  EXPECT_GT(maxAudioPts, 1900);
}

TEST(ZovDemuxer, EndOfInputThenMinusOneForEver) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("h264_aac48_30fps.mp4").c_str()));
  EXPECT_FALSE(d.IsEof());
  EXPECT_GT(ReadAll(d), 0);
  EXPECT_TRUE(d.IsEof());
  AVPacketUPtr pkt(av_packet_alloc());
  EXPECT_EQ(d.ReadPacket(pkt.get()), -1);
  EXPECT_EQ(d.ReadPacket(pkt.get()), -1);
  EXPECT_TRUE(d.IsEof());
  // A seek back and a successful read clear the flag.
  d.firstTimestampMs = 0;
  EXPECT_TRUE(d.Seek(0));
  ASSERT_EQ(d.ReadPacket(pkt.get()), 0);
  EXPECT_FALSE(d.IsEof());
}

TEST(ZovDemuxer, PacketWithoutPtsGetsZeroTimesAndKeepsPosition) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("raw.h264").c_str()));
  d.positionMs = 1234;
  AVPacketUPtr pkt(av_packet_alloc());
  ASSERT_EQ(d.ReadPacket(pkt.get()), 0);
  EXPECT_EQ(pkt->pts, 0);
  EXPECT_EQ(pkt->dts, 0);
  EXPECT_EQ(d.positionMs, 1234);
}

TEST(ZovDemuxer, MillisecondConversionTruncatesAndSurvivesHostileValues) {
  EXPECT_EQ(CZovDemuxer::ToMs(90000, AVRational{1, 90000}), 1000);
  EXPECT_EQ(CZovDemuxer::ToMs(1001, AVRational{1, 30000}), 33);  // 33.366 truncated
  EXPECT_EQ(CZovDemuxer::ToMs(-1001, AVRational{1, 30000}), -33);
  EXPECT_EQ(CZovDemuxer::ToMs(5, AVRational{1, 0}), 0);
  EXPECT_GT(CZovDemuxer::ToMs(INT64_MAX, AVRational{1000, 1}), 0);
  EXPECT_LT(CZovDemuxer::ToMs(INT64_MIN + 1, AVRational{1000, 1}), 0);
}

TEST(ZovDemuxer, SeekTargetIsTheOffsetFromTheFirstPacketUnrounded) {
  EXPECT_EQ(CZovDemuxer::SeekTargetMs(0, 0), 0);
  EXPECT_EQ(CZovDemuxer::SeekTargetMs(0, 1500), 1500);
  EXPECT_EQ(CZovDemuxer::SeekTargetMs(3000, 1500), 4500);
  EXPECT_EQ(CZovDemuxer::SeekTargetMs(1234, 1000), 2234);
  EXPECT_EQ(CZovDemuxer::SeekTargetMs(-500, 1000), 1000) << "never before the start";
}

TEST(ZovDemuxer, SeekOnRecordingStartingAtOnePointFiveSeconds) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("offset_1500.mkv").c_str()));
  AVPacketUPtr pkt(av_packet_alloc());
  ASSERT_EQ(d.ReadPacket(pkt.get()), 0);
  EXPECT_EQ(pkt->dts, 1500);
  d.firstTimestampMs = static_cast<int32_t>(pkt->dts);  // what the decoder object does
  av_packet_unref(pkt.get());
  ReadAll(d);  // position now near the end (about 4.5 s)
  ASSERT_TRUE(d.Seek(500));
  EXPECT_EQ(d.lastSeekMs, 2000);
  EXPECT_EQ(d.lastSeekFlags, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_FRAME) << "a backward jump";
  ASSERT_EQ(d.ReadPacket(pkt.get()), 0);
  EXPECT_LE(pkt->pts, 2000);
  EXPECT_GE(pkt->pts, 1500);
  av_packet_unref(pkt.get());
  // Forward from there.
  ASSERT_TRUE(d.Seek(1500));
  EXPECT_EQ(d.lastSeekMs, 3000);
  EXPECT_EQ(d.lastSeekFlags, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
}

TEST(ZovDemuxer, DurationRule) {
  const int64_t s = 1000000;
  EXPECT_EQ(CZovDemuxer::DurationRule(2 * s, 0, 3600), 2);
  EXPECT_EQ(CZovDemuxer::DurationRule(2 * s - 5000, 0, 3600), 2) << "rounds up from .995";
  EXPECT_EQ(CZovDemuxer::DurationRule(2 * s - 5001, 0, 3600), 1);
  EXPECT_EQ(CZovDemuxer::DurationRule(7199 * s, 0, 3600), 7199);
  EXPECT_EQ(CZovDemuxer::DurationRule(7200 * s, 0, 3600), 600);
  EXPECT_EQ(CZovDemuxer::DurationRule(s / 2, 0, 3600), 600) << "below one second";
  // Duration equal to the start: the provisional value stands, then the rule.
  EXPECT_EQ(CZovDemuxer::DurationRule(0, 0, 3600), 3600);
  EXPECT_EQ(CZovDemuxer::DurationRule(0, 0, 10), 10);
  EXPECT_EQ(CZovDemuxer::DurationRule(0, 0, 9000), 600);
  EXPECT_EQ(CZovDemuxer::DurationRule(AV_NOPTS_VALUE, 0, 10), 10);
}

TEST(ZovDemuxer, ImplausibleContainerDurationReportsTenMinutes) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("long_8000s.mkv").c_str()));
  d.RefreshMediaInfo();
  EXPECT_EQ(d.durationSeconds, 600);
}

TEST(ZovDemuxer, DecoderThreadCountRule) {
  EXPECT_EQ(CZovDemuxer::DecoderThreadCount(1), 4);
  EXPECT_EQ(CZovDemuxer::DecoderThreadCount(2), 4);
  EXPECT_EQ(CZovDemuxer::DecoderThreadCount(3), 1);
  EXPECT_EQ(CZovDemuxer::DecoderThreadCount(4), 2);
  EXPECT_EQ(CZovDemuxer::DecoderThreadCount(8), 4);
}

TEST(ZovHwDeviceTable, ModesMapToDeviceTypes) {
  EXPECT_STREQ(ZovHwDeviceTypeName(0), "vaapi");
  EXPECT_EQ(ZovHwDeviceTypeName(1), nullptr);
  EXPECT_STREQ(ZovHwDeviceTypeName(2), "vdpau");
  EXPECT_STREQ(ZovHwDeviceTypeName(5), "vdpau");
  EXPECT_STREQ(ZovHwDeviceTypeName(-1), "vdpau");
}

TEST(ZovHwDemuxer, UnknownDeviceTypeListsTheAvailableOnes) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(ZovFindHwDeviceType("no-such-device"), AV_HWDEVICE_TYPE_NONE);
  std::string err = testing::internal::GetCapturedStderr();
  std::string expected;
  for (AVHWDeviceType t = av_hwdevice_iterate_types(AV_HWDEVICE_TYPE_NONE); t != AV_HWDEVICE_TYPE_NONE;
       t = av_hwdevice_iterate_types(t))
    expected += std::string(" ") + av_hwdevice_get_type_name(t);
  EXPECT_EQ(err, expected + "\n");
  EXPECT_EQ(ZovFindHwDeviceType("vaapi"), av_hwdevice_find_type_by_name("vaapi"));
}

TEST(ZovHwDemuxer, OpensOnlyWithAWorkingDevice) {
  CZovHwDemuxer d;
  EXPECT_EQ(d.hardwareFlag, 1);
  bool ok = d.Open(Fixture("h264_aac48_30fps.mp4").c_str());
  // Whether the device exists depends on the machine; either way the object
  // must be consistent.
  if (ok) {
    ASSERT_NE(d.GetVideoCodecContext(), nullptr);
    EXPECT_TRUE(avcodec_is_open(d.GetVideoCodecContext()));
    EXPECT_NE(d.hwDeviceRef, nullptr);
    EXPECT_EQ(d.durationSeconds, 2);
  } else {
    EXPECT_EQ(d.IsOpened(), 0);
    EXPECT_EQ(d.formatContext, nullptr);
    EXPECT_EQ(d.GetVideoCodecContext(), nullptr);
    EXPECT_EQ(d.hwDeviceRef, nullptr);
    EXPECT_EQ(d.dxvaDeviceContext, nullptr);
  }
  // The audio-only and random inputs fail before any device is made.
  EXPECT_FALSE(d.Open(Fixture("audio_only.mp3").c_str()));
  EXPECT_EQ(d.hwDeviceRef, nullptr);
}

// Decode times of picture packets that came without one, as Matroska gives
// reordered pictures: presentation times 23, 183, 103, 63 ... with decode
// times only from the third packet on (23, 63, ...), two pictures deep.
TEST(ZovDemuxer, MissingDecodeTimesAreEstimatedInDecodeOrder) {
  constexpr int64_t kNone = CZovDemuxer::kNoTime;
  struct Case {
    const char* what;
    int64_t pts, lastDts, step;
    int depth;
    int64_t dts;
  } cases[] = {
      {"first packet, two pictures deep", 23, kNone, 40, 2, -57},
      {"second packet: a step after the first", 183, -57, 40, 2, -17},
      {"no reordering: the presentation time", 500, kNone, 40, 0, 500},
      {"never after its own presentation time", 30, 0, 40, 0, 30},
      {"always after the last decode time", 10, 20, 40, 0, 21},
      {"a step of 0 is taken as 1 ms", 100, 50, 0, 0, 51},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CZovDemuxer::EstimateDecodeTimeMs(c.pts, c.lastDts, c.step, c.depth), c.dts) << c.what;
}

// A recording cut short: its index (written first) lists samples beyond the
// end of the file; what is playable ends with the last sample inside it.
TEST(ZovDemuxer, CutShortEndIsTheLastSampleInsideTheFile) {
  using E = CZovDemuxer::IndexEntryMs;
  const E entries[] = {{100, 50, 0}, {150, 50, 40}, {200, 50, 80}, {250, 50, 120}};
  struct Case {
    const char* what;
    size_t count;
    int64_t fileSize;
    int64_t end;
  } cases[] = {
      {"whole file", 4, 300, -1},
      {"larger file (other data after the samples)", 4, 5000, -1},
      {"cut inside the third sample", 4, 230, 40},
      {"cut right after the second sample", 4, 200, 40},
      {"cut before any sample", 4, 120, 0},
      {"no index", 0, 300, -1},
      {"unknown size", 4, -1, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(CZovDemuxer::CutShortEndMs(entries, c.count, c.fileSize), c.end) << c.what;
}

// A Matroska clip with reordered pictures: every picture packet leaves the
// demuxer with a decode time, in decode order and never after its
// presentation time.
TEST(ZovDemuxer, MatroskaPicturesGetRisingDecodeTimes) {
  CZovDemuxer d;
  ASSERT_TRUE(d.Open(Fixture("cont_mkv_b_mute.mkv").c_str()));
  AVPacketUPtr pkt(av_packet_alloc());
  int64_t last = INT64_MIN;
  int pictures = 0;
  while (d.ReadPacket(pkt.get()) == 0) {
    if (pkt->stream_index == d.videoStreamIndex) {
      ++pictures;
      EXPECT_GT(pkt->dts, last) << "picture " << pictures;
      EXPECT_LE(pkt->dts, pkt->pts) << "picture " << pictures;
      last = pkt->dts;
    }
    av_packet_unref(pkt.get());
  }
  EXPECT_EQ(pictures, 50);
  EXPECT_GT(d.estimatedDecodeTimes, 0);
}

}  // namespace
