// Broken and hostile recordings: the open fails or playback stops cleanly.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/zov_base_file.h"
#include "engine/zov_dxva_file.h"
#include "tests/common/test_paths.h"

namespace {

using zovtest::Fixture;

// Reads and decodes until the end or `limit` reads; returns the video frames.
int DecodeToEnd(CZovBaseFile& file, int limit, bool* reachedEnd) {
  int frames = 0;
  *reachedEnd = false;
  for (int i = 0; i < limit; ++i) {
    ZovMediaItem item;
    int rc = file.ReadPacket(&item);
    if (rc == -2) {
      *reachedEnd = true;
      break;
    }
    if (rc == 0 && item.type == kZovItemVideo && file.Decode(&item) == 0) ++frames;
  }
  return frames;
}

TEST(ZovHostileInput, TruncatedFileWithoutIndexDoesNotOpen) {
  CZovBaseFile file;
  EXPECT_EQ(file.Open(Fixture("truncated.mp4").c_str()), 0);
  EXPECT_EQ(file.GetDemuxer(), nullptr);
}

TEST(ZovHostileInput, RandomBytesDoNotOpen) {
  CZovBaseFile file;
  EXPECT_EQ(file.Open(Fixture("random.mp4").c_str()), 0);
  CZovDxvaFile hw;
  EXPECT_EQ(hw.Open(Fixture("random.mp4").c_str()), 0);
}

TEST(ZovHostileInput, CutRecordingOpensAndEndsEarly) {
  CZovBaseFile file;
  ASSERT_EQ(file.Open(Fixture("truncated_faststart.mp4").c_str()), 1);
  // The index promises 2 s; the data that is left ends before 1 s, and the
  // length shown is what can be played.
  EXPECT_EQ(file.GetDemuxer()->durationSeconds, 1) << "the playable length, not the index's";
  bool end = false;
  int frames = DecodeToEnd(file, 100000, &end);
  EXPECT_TRUE(end);
  EXPECT_GT(frames, 0);
  EXPECT_LT(frames, 60);
  // Seeking inside and beyond what is left stays safe.
  file.Seek(1000);
  file.Seek(100000);
  DecodeToEnd(file, 1000, &end);
  EXPECT_TRUE(end);
}

TEST(ZovHostileInput, EmptyFileAndFolderDoNotOpen) {
  std::string dir = zovtest::TempDir();
  std::string empty = dir + "/empty.mp4";
  std::ofstream(empty).close();
  CZovBaseFile file;
  EXPECT_EQ(file.Open(empty.c_str()), 0);
  EXPECT_EQ(file.Open(dir.c_str()), 0);
  EXPECT_EQ(file.Open(""), 0);
  EXPECT_EQ(file.Open(nullptr), 0);
}

TEST(ZovHostileInput, CorruptedMediaDataDecodesWithoutCrashing) {
  // A valid index over media data with every 50th byte damaged: packets read,
  // most fail to decode, nothing reads outside its buffer (sanitizer build).
  std::ifstream in(Fixture("h264_aac.mkv"), std::ios::binary);
  std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(data.size(), 4096u);
  std::mt19937 rng(99);
  for (size_t i = 2048; i < data.size(); i += 50) data[i] = static_cast<char>(rng());
  std::string path = zovtest::TempDir() + "/damaged.mkv";
  std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
  CZovBaseFile file;
  if (file.Open(path.c_str()) == 0) return;  // the damage hit the header: refused
  bool end = false;
  DecodeToEnd(file, 20000, &end);
  EXPECT_TRUE(end) << "reading a damaged file must still reach its end";
}

}  // namespace
