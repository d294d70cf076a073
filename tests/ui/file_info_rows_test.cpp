// File information view without a window: row texts, the hardware profile
// list rules, the os-release reader and the media facts of a real clip.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "engine/zov_base_file.h"
#include "engine/zov_demuxer.h"
#include "tests/common/test_paths.h"
#include "ui/zov_file_info_probes.h"
#include "ui/zov_file_info_rows.h"

namespace {

// Labels are their keys in brackets, so every piece of a row is visible.
std::string Label(std::string_view key) { return "[" + std::string(key) + "]"; }

std::map<int, std::string> RowsById(const ZovMediaFacts& media, const ZovMachineFacts& machine = {}) {
  std::map<int, std::string> rows;
  for (const auto& row : ZovFileInfoRows(media, machine, Label)) {
    EXPECT_TRUE(rows.emplace(row.rectId, row.text).second) << "rectangle used twice: " << row.rectId;
  }
  return rows;
}

TEST(FileInfoRows, DurationIsHoursMinutesSecondsAfterABlank) {
  const struct {
    int seconds;
    const char* text;
  } cases[] = {{95, " 00:01:35"}, {0, " 00:00:00"}, {3661, " 01:01:01"}, {7199, " 01:59:59"}, {-5, " 00:00:00"}};
  for (const auto& c : cases) EXPECT_EQ(ZovInfoDuration(c.seconds), c.text) << c.seconds;
}

TEST(FileInfoRows, NoFileOpenShowsLabelsOnlyAndTheHardwareWord) {
  ZovMediaFacts media;  // nothing open; stale values must not leak into the rows
  media.path = "/stale.mp4";
  media.width = 640;
  media.gpsPoints = 7;
  media.audioCodec = "aac";
  const auto rows = RowsById(media);
  EXPECT_EQ(rows.size(), 16u);
  const std::map<int, std::string> expected = {
      {10330, "[filename]"},  {10331, "[filetime]"},   {10332, "[resolution]"},
      {10333, "[bitratio]"},  {10334, "[frameratio]"}, {10336, "[filetype] [normalfile]"},
      {10337, "[gpsinfo]"},   {10338, "[audioinfo]"},  {10335, "[pixelformat]"},
      {10339, "[videoinfo]"}, {10342, "[hwcodec]"},
  };
  for (const auto& [id, text] : expected) EXPECT_EQ(rows.at(id), text) << id;
}

TEST(FileInfoRows, OpenFileRowsCarryTheirValues) {
  ZovMediaFacts media;
  media.open = true;
  media.path = "/rec/a.mp4";
  media.durationSeconds = 95;
  media.width = 1920;
  media.height = 1080;
  media.bitRate = 1536;
  media.frameRate = 30;
  media.videoCodec = "h264";
  media.pixelFormat = "yuv420p";
  media.gpsPoints = 95;
  const auto rows = RowsById(media);
  EXPECT_EQ(rows.at(10330), "[filename] /rec/a.mp4");
  EXPECT_EQ(rows.at(10331), "[filetime] 00:01:35");
  EXPECT_EQ(rows.at(10332), "[resolution] 1920 \u00d7 1080");
  EXPECT_EQ(rows.at(10333), "[bitratio] 2 kb/s");
  EXPECT_EQ(rows.at(10334), "[frameratio] 30");
  EXPECT_EQ(rows.at(10337), "[gpsinfo] 95  [block]");
  EXPECT_EQ(rows.at(10338), "[audioinfo]");  // no audio codec: label alone
  EXPECT_EQ(rows.at(10335), "[pixelformat] yuv420p");
  EXPECT_EQ(rows.at(10339), "[videoinfo] h264");
  EXPECT_EQ(rows.at(10342), "[decoder] [softcodec]");

  media.gpsPoints = 0;
  media.hardware = true;
  const auto other = RowsById(media);
  EXPECT_EQ(other.at(10337), "[gpsinfo] [nohave]");
  EXPECT_EQ(other.at(10342), "[decoder] [hwcodec]");
}

// Values as a person reads them: kilobits of 1000 bits, rounded and grouped
// by three; an unknown value (a sound-only file has no picture size, some
// containers no rate) leaves the label alone.
TEST(FileInfoRows, RateAndSizeReadAsWrittenByHand) {
  const struct {
    int64_t bits;
    const char* text;
  } rates[] = {{2781592, " 2,782 kb/s"}, {2781499, " 2,781 kb/s"}, {999, " 999 b/s"}, {1000, " 1 kb/s"},
               {999500, " 1,000 kb/s"}, {1234567890123, " 1,234,567,890 kb/s"}, {0, ""}, {-8, ""}};
  for (const auto& c : rates) EXPECT_EQ(ZovInfoBitRate(c.bits), c.text) << c.bits;
  const struct {
    uint64_t value;
    const char* text;
  } groups[] = {{0, "0"}, {999, "999"}, {1000, "1,000"}, {100000, "100,000"},
                {18446744073709551615ull, "18,446,744,073,709,551,615"}};
  for (const auto& c : groups) EXPECT_EQ(ZovGroupThousands(c.value), c.text) << c.value;

  EXPECT_EQ(ZovInfoResolution(1280, 720), " 1280 \u00d7 720");
  EXPECT_EQ(ZovInfoResolution(0, 0), "");
  EXPECT_EQ(ZovInfoResolution(1280, -1), "");

  ZovMediaFacts sound;
  sound.open = true;
  sound.audioCodec = "mp3";
  const auto rows = RowsById(sound);
  EXPECT_EQ(rows.at(10332), "[resolution]");
  EXPECT_EQ(rows.at(10333), "[bitratio]");
}

TEST(FileInfoRows, MachineRowsUseLabelColonBlank) {
  ZovMachineFacts machine{"llvmpipe", "YES", "NO ACCEL", " HEVC:1080p", "Debian  2"};
  const auto rows = RowsById(ZovMediaFacts{}, machine);
  EXPECT_EQ(rows.at(10345), "[gpuname]: llvmpipe");
  EXPECT_EQ(rows.at(10343), "[dxdsupport]: YES");
  EXPECT_EQ(rows.at(10346), "[h264support]: NO ACCEL");
  EXPECT_EQ(rows.at(10344), "[h265support]:  HEVC:1080p");
  EXPECT_EQ(rows.at(10347), "[sysinfo]: Debian  2  ");
}

TEST(HwProfiles, SizeLabelTakesTheLargestFittingStep) {
  const struct {
    int w, h;
    bool nv12;
    const char* label;
  } cases[] = {
      {1920, 1080, true, "1080p"},        {2560, 1440, true, "1080p 2K"},
      {4096, 2304, true, "1080p 2k 4K"},  {8192, 8192, true, "1080p 2k 4K"},
      {1280, 720, true, ""},              {4096, 1080, true, "1080p"},
      {1919, 4096, true, ""},             {4096, 4096, false, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZovHwSizeLabel({"H264High", c.w, c.h, c.nv12}), c.label) << c.w << "x" << c.h;
}

TEST(HwProfiles, ListsSortByNameAndFallBackToNoAccel) {
  const auto lists = ZovBuildHwProfileLists({
      {"H264Main", 4096, 2160, true},
      {"HEVC", 1920, 1080, true},
      {"HEV10", 8192, 8192, false},
      {"H264High", 2560, 1440, true},
      {"VP9", 4096, 2160, true},  // neither list
  });
  EXPECT_EQ(lists.h264, " H264Main:1080p 2k 4K H264High:1080p 2K");
  EXPECT_EQ(lists.hevc, " HEVC:1080p HEV10:");

  const auto none = ZovBuildHwProfileLists({});
  EXPECT_EQ(none.h264, "NO ACCEL");
  EXPECT_EQ(none.hevc, "NO ACCEL");
  const auto onlyHevc = ZovBuildHwProfileLists({{"HEVC", 0, 0, false}});
  EXPECT_EQ(onlyHevc.h264, "NO ACCEL");
  EXPECT_EQ(onlyHevc.hevc, " HEVC:");
}

TEST(SystemText, PrettyNameFromOsRelease) {
  const struct {
    const char* text;
    const char* name;
  } cases[] = {
      {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
       "Debian GNU/Linux 12 (bookworm)"},
      {"PRETTY_NAME='Single quoted'", "Single quoted"},
      {"PRETTY_NAME=Plain\r\n", "Plain"},
      {"  PRETTY_NAME=\"Esc \\\"aped\\\" \\$x\"\n", "Esc \"aped\" $x"},
      {"# PRETTY_NAME=\"comment\"\nXPRETTY_NAME=no\nNAME=x\n", ""},
      {"PRETTY_NAME=\"unterminated", "unterminated"},
      {"PRETTY_NAME=", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ZovOsReleasePrettyName(c.text), c.name) << c.text;
}

TEST(SystemText, NameThenCountedProcessors) {
  EXPECT_EQ(ZovSystemText("Debian GNU/Linux 12 (bookworm)", 2), "Debian GNU/Linux 12 (bookworm), 2 processors");
  EXPECT_EQ(ZovSystemText("Debian", 1), "Debian, 1 processor");
  EXPECT_EQ(ZovSystemText("", 16), "16 processors");
}

// A real 95-second clip, opened by the engine's software decoder object.
TEST(FileInfoRows, NinetyFiveSecondClipShowsItsLength) {
  const std::string clip = zovtest::TempDir() + "/len95.mp4";
  const std::string command =
      "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=size=64x48:rate=2:duration=95 "
      "-c:v libx264 -preset ultrafast -pix_fmt yuv420p '" + clip + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  CZovBaseFile file;
  ASSERT_EQ(file.Open(clip.c_str()), 1);
  CZovDemuxer& demuxer = *file.GetDemuxer();
  const auto rows = RowsById(ZovMediaFactsOf(&demuxer, clip, 0));
  EXPECT_EQ(rows.at(10331), "[filetime] 00:01:35");
  EXPECT_EQ(rows.at(10332), "[resolution] 64 \u00d7 48");
  EXPECT_EQ(rows.at(10339), "[videoinfo] h264");
  EXPECT_EQ(rows.at(10330), "[filename] " + clip);
  EXPECT_EQ(rows.at(10335), "[pixelformat] yuv420p");
  EXPECT_EQ(rows.at(10342), "[decoder] [softcodec]");
  EXPECT_EQ(rows.at(10337), "[gpsinfo] [nohave]");
  file.Close();
  EXPECT_EQ(RowsById(ZovMediaFactsOf(&demuxer, clip, 0)).at(10331), "[filetime]");
}

// Containers whose video stream carries no bit rate (transport stream,
// Matroska, sound only) show the file's average rate, never 0k.
TEST(FileInfoRows, BitRateOfContainersWithoutOneIsTheFilesAverage) {
  const struct {
    const char* name;
    const char* codecs;
  } cases[] = {
      {"rate.ts", "-c:v libx264 -preset ultrafast -c:a mp2"},
      {"rate.mkv", "-c:v mpeg4 -c:a libvorbis"},
      {"rate.mp3", "-vn -c:a libmp3lame"},
  };
  for (const auto& c : cases) {
    const std::string clip = zovtest::TempDir() + "/" + c.name;
    const std::string command =
        "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc=size=320x240:rate=25:duration=6 "
        "-f lavfi -i sine=duration=6 " + std::string(c.codecs) + " '" + clip + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << c.name;
    CZovBaseFile file;
    ASSERT_EQ(file.Open(clip.c_str()), 1) << c.name;
    const ZovMediaFacts facts = ZovMediaFactsOf(file.GetDemuxer(), clip, 0);
    file.Close();
    const double expected = static_cast<double>(std::filesystem::file_size(clip)) * 8 / 6;  // six seconds long
    EXPECT_GT(facts.bitRate, 0.9 * expected) << c.name;
    EXPECT_LT(facts.bitRate, 1.1 * expected) << c.name;
  }
}

}  // namespace
