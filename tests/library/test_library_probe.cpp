// The cheap open's two roads: the MP4/MOV index reader must give exactly the
// facts the demuxer gives, for every recording of the card and clip fixtures
// and for damaged copies of a card clip, and must leave to the demuxer the
// layouts it does not answer for.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "gps/zov_gps_file.h"
#include "library/zov_mp4_facts.h"
#include "library/zov_recording_probe.h"
#include "tests/common/test_paths.h"

namespace fs = std::filesystem;

namespace {

bool IsBoxFile(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".mp4" || ext == ".mov";
}

// Whether the index reader answers for the file (its top-level moov found
// by a walk of its own here).
bool ReaderAnswers(const std::string& path, ZovFileFacts* facts) {
  CZovGpsFile file;
  if (!file.Open(path)) return false;
  for (uint64_t at = 0; at + 8 <= file.Size();) {
    uint8_t head[8];
    if (!file.ReadExact(at, head, 8)) return false;
    const uint64_t size = ZovBe32(head);
    if (std::string(reinterpret_cast<const char*>(head + 4), 4) == "moov")
      return ZovReadMp4Facts(file, at, size, facts);
    if (size < 8) return false;
    at += size;
  }
  return false;
}

TEST(LibraryProbe, IndexReaderGivesTheDemuxersFacts) {
  const std::string fixtures = zovtest::FixtureDir();
  const std::string clip = fixtures + "/cards/card-clips/plain60.mp4";
  ASSERT_TRUE(fs::exists(clip)) << "run ctest -R fixtures";
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(fixtures))
    if (e.is_regular_file() && IsBoxFile(e.path())) files.push_back(e.path().string());

  // Damaged copies: the first picture never written, the index's duration
  // zeroed.
  const std::string dir = zovtest::TempDir();
  const std::string bytes = zovtest::Slurp(clip);
  const size_t mdat = bytes.find("mdat"), moov = bytes.find("moov"), mvhd = bytes.find("mvhd");
  ASSERT_LT(mdat, moov);
  std::string zeros = bytes;
  std::fill(zeros.begin() + static_cast<long>(mdat) + 4, zeros.begin() + static_cast<long>(moov) - 4, '\0');
  zovtest::Spit(dir + "/zeros.mp4", zeros);
  std::string noLength = bytes;
  std::fill(noLength.begin() + static_cast<long>(mvhd) + 20, noLength.begin() + static_cast<long>(mvhd) + 24, '\0');
  zovtest::Spit(dir + "/no-length.mp4", noLength);
  files.push_back(dir + "/zeros.mp4");
  files.push_back(dir + "/no-length.mp4");
  ASSERT_GE(files.size(), 60u);

  size_t answered = 0, dated = 0;
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const ZovFileFacts fast = ZovProbeRecording(f);
    const ZovFileFacts slow = ZovProbeRecordingWithDemuxer(f);
    EXPECT_EQ(fast.playable, slow.playable);
    EXPECT_EQ(fast.reason, slow.reason);
    EXPECT_EQ(fast.seconds, slow.seconds);
    EXPECT_EQ(fast.videoStreams, slow.videoStreams);
    EXPECT_EQ(fast.audioStreams, slow.audioStreams);
    EXPECT_EQ(fast.width, slow.width);
    EXPECT_EQ(fast.height, slow.height);
    EXPECT_EQ(fast.codec, slow.codec);
    EXPECT_EQ(fast.created, slow.created);
    ZovFileFacts direct;
    answered += ReaderAnswers(f, &direct);
    dated += slow.created != kZovNoTime;
  }
  // The comparison covered files the reader answered for, with dates.
  EXPECT_GE(answered, 50u);
  EXPECT_GE(dated, 1u);

  // Which layouts it answers for: H.264 with or without sound (whose edit
  // list skips the coder's priming) and a zeroed first picture; not pictures
  // whose edit list starts later (reordered frames), a data track, nor an
  // index without a length.
  const struct {
    std::string path;
    bool answers;
    const char* reason;
  } cases[] = {
      {clip, true, ""},
      {fixtures + "/h264_aac48_30fps.mp4", true, ""},
      {fixtures + "/h264_60fps_noaudio.mp4", true, ""},
      {fixtures + "/hevc.mp4", false, ""},
      {dir + "/zeros.mp4", true, "cannot be decoded: no picture data"},
      {fixtures + "/data_stream.mov", false, ""},
      {dir + "/no-length.mp4", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ZovFileFacts facts;
    EXPECT_EQ(ReaderAnswers(c.path, &facts), c.answers);
    if (c.answers) {
      EXPECT_EQ(facts.reason, c.reason);
    }
  }
}

// A recording's own GPS read by the scan's workers (a decoder state of
// their own, the clean-up without its texts) is the extractor's track,
// point for point, for every container layout the fixture writer makes.
TEST(LibraryProbe, ContainerGpsReadAloneIsTheExtractorsTrack) {
  const std::string fixtures = zovtest::FixtureDir();
  const std::string mp4 = fixtures + "/cards/card-clips/plain60.mp4";
  ASSERT_TRUE(fs::exists(mp4)) << "run ctest -R fixtures";
  const std::string tool = zovtest::BinDir() + "/zovgpsfixture";
  const std::string dir = zovtest::TempDir() + "/layouts";
  fs::create_directories(dir);
  const struct {
    const char* layout;
    std::string clip;
    const char* ext;
  } layouts[] = {
      {"gps-table-48", mp4, "mp4"}, {"gps-table-16", mp4, "mp4"}, {"udta-gps", mp4, "mp4"},
      {"skip-box", mp4, "mp4"},     {"tail-index", mp4, "mp4"},   {"amba", mp4, "mp4"},
      {"text-track", mp4, "mp4"},   {"gpmd-track", mp4, "mp4"},
      {"ts", fixtures + "/h264_aac.ts", "ts"},
      {"avi-junk", fixtures + "/mjpeg_pcm.avi", "avi"},
  };
  for (const auto& l : layouts) {
    SCOPED_TRACE(l.layout);
    const std::string out = dir + "/" + l.layout + "." + l.ext;
    const std::string command = tool + " " + l.layout + " " + l.clip + " " + out + " --seconds 20 >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<ZovTrackPoint> byExtractor, alone;
    const int n = ZovReadRecordingTrack(out, {}, &byExtractor, true);
    // The fixture's AMBA records hold no fix the clean-up keeps.
    EXPECT_EQ(n > 0, std::string(l.layout) != "amba") << n;
    EXPECT_EQ(ZovReadRecordingTrack(out, {}, &alone, false), n);
    ASSERT_EQ(alone.size(), byExtractor.size());
    for (size_t i = 0; i < alone.size(); ++i) {
      EXPECT_EQ(alone[i].latitude, byExtractor[i].latitude) << i;
      EXPECT_EQ(alone[i].longitude, byExtractor[i].longitude) << i;
      EXPECT_EQ(alone[i].speedKnots, byExtractor[i].speedKnots) << i;
      EXPECT_EQ(alone[i].time, byExtractor[i].time) << i;
    }
  }
}

}  // namespace
