// Side files of every public layout on a small card: each is attached to the
// recordings it describes (by name, a shared channel sidecar to every
// channel, day logs and GPX tracks in another folder by time), and
// recordings without GPS of their own take their track from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "library/zov_library_scan.h"
#include "tests/common/test_paths.h"

namespace fs = std::filesystem;

namespace {

struct SideFile {
  const char* layout;  // zovgpsfixture side LAYOUT
  const char* path;    // inside the card
};

struct Expect {
  const char* recording;  // inside the card, a copy of a 60 s clip without GPS
  int fixes;
  bool listsSide;  // the first side file is among its side files
};

struct Case {
  const char* name;
  int seconds;  // length of the fixture drive (2023-01-05 12:34:50 on)
  std::vector<SideFile> sides;
  std::vector<Expect> recordings;
};

// Recordings of 12:34:50 and 12:35:50 lie in the drive of a time-keyed log
// (150 s: the first minute, the second, and half a minute after); one of
// 13:00:00 does not.
const std::vector<Expect> kByTime = {{"Movie/2023_0105_123450_001F.MP4", 60, true},
                                     {"Movie/2023_0105_123550_002F.MP4", 60, true},
                                     {"Movie/2023_0105_130000_003F.MP4", 0, false}};

const Case kCases[] = {
    {"nmea", 60, {{"nmea", "Movie/2023_0105_123450_001F.nmea"}},
     {{"Movie/2023_0105_123450_001F.MP4", 60, true}, {"Movie/2023_0105_123550_002F.MP4", 0, false}}},
    {"nmea upper case", 60, {{"nmea", "Movie/2023_0105_123450_001F.NMEA"}},
     {{"Movie/2023_0105_123450_001F.MP4", 60, true}}},
    // Found by content: ".log" says nothing by itself.
    {"nmea log", 60, {{"nmea-awkward", "Movie/2023_0105_123450_001F.log"}},
     {{"Movie/2023_0105_123450_001F.MP4", 60, true}}},
    {"nmea txt", 60, {{"nmea", "Movie/2023_0105_123450_001F.txt"}},
     {{"Movie/2023_0105_123450_001F.MP4", 60, true}}},
    // One stamped sidecar and its accelerometer file serve both channels.
    {"stamped channels", 60,
     {{"stamped-nmea", "Record/20230105_123450_N.gps"}, {"3gf", "Record/20230105_123450_N.3gf"}},
     {{"Record/20230105_123450_NF.mp4", 60, true},
      {"Record/20230105_123450_NR.mp4", 60, true},
      {"Record/20230105_123550_NF.mp4", 0, false}}},
    // Two stamps without a fix before the drive's 60 give nothing; a sidecar
    // of one channel's name serves that channel only.
    {"stamped own name", 60, {{"stamped-awkward", "Record/20230105_123450_NF.gps"}},
     {{"Record/20230105_123450_NF.mp4", 60, true}, {"Record/20230105_123450_NR.mp4", 0, false}}},
    {"subtitles", 60, {{"srt-bracket", "DCIM/DJI_0001.srt"}}, {{"DCIM/DJI_0001.MP4", 60, true}}},
    {"subtitles upper case", 60, {{"srt-gps-spaced", "DCIM/DJI_0002.SRT"}},
     {{"DCIM/DJI_0002.MP4", 60, true}}},
    {"day log", 150, {{"daylog-nmea", "GPS/20230105.dat"}}, kByTime},
    {"day log in degrees", 150, {{"daylog-degrees", "GPS/20230105.dat"}}, kByTime},
    {"gpx", 150, {{"gpx", "Phone/drive.gpx"}}, kByTime},
    {"gpx with zone offsets", 150, {{"gpx-awkward", "Phone/drive.gpx"}}, kByTime},
};

TEST(LibrarySideFiles, EveryLayoutIsAttachedToTheRecordingsItDescribes) {
  const std::string clip = zovtest::FixtureDir() + "/cards/card-clips/plain60.mp4";
  ASSERT_TRUE(fs::exists(clip)) << "run ctest -R fixtures.cards";
  const std::string tool = zovtest::BinDir() + "/zovgpsfixture";
  int n = 0;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string card = zovtest::TempDir() + "/side" + std::to_string(n++);
    for (const Expect& e : c.recordings) {
      fs::create_directories(fs::path(card + "/" + e.recording).parent_path());
      fs::copy_file(clip, card + "/" + e.recording);
    }
    for (const SideFile& s : c.sides) {
      const std::string out = card + "/" + s.path;
      fs::create_directories(fs::path(out).parent_path());
      const std::string command = tool + " side " + s.layout + " '" + out + "' --seconds " +
                                  std::to_string(c.seconds) + " >/dev/null";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    ZovScanOptions o;
    o.useIndex = false;
    const ZovLibrary lib = ZovScanLibrary({card}, o);
    std::map<std::string, const ZovRecording*> byPath;
    for (const ZovRecording& r : lib.recordings) byPath[r.path] = &r;
    const std::string first = card + "/" + c.sides[0].path;
    for (const Expect& e : c.recordings) {
      SCOPED_TRACE(e.recording);
      const ZovRecording* r = byPath[card + "/" + e.recording];
      ASSERT_NE(r, nullptr);
      ASSERT_TRUE(r->facts.playable) << r->facts.reason;
      EXPECT_EQ(r->gpsFixes, e.fixes);
      EXPECT_EQ(r->track.size(), size_t(e.fixes));
      if (e.fixes > 0) {
        EXPECT_GT(r->kilometres, 0.5);
      }
      const bool lists = std::find(r->sideFiles.begin(), r->sideFiles.end(), first) != r->sideFiles.end();
      EXPECT_EQ(lists, e.listsSide);
      // Every side file of a stamped sidecar goes with it.
      if (e.listsSide) {
        EXPECT_EQ(r->sideFiles.size(), c.sides.size());
      }
    }
    // Every side file describes some recording: none is left over.
    EXPECT_TRUE(lib.sideFiles.empty()) << lib.sideFiles.front();
    // The moments count the fixes of their channels.
    int momentFixes = 0, recordingFixes = 0;
    for (const ZovDrive& d : lib.drives)
      for (const ZovMoment& m : d.moments) momentFixes += m.gpsFixes;
    for (const Expect& e : c.recordings) recordingFixes += e.fixes;
    EXPECT_GT(momentFixes, 0);
    EXPECT_LE(momentFixes, recordingFixes);
  }
}

// A track of a recording's own, or of a sidecar of its name, is kept when a
// day log also covers it; the log is still listed as one of its side files.
TEST(LibrarySideFiles, OwnSidecarWinsOverATimeLog) {
  const std::string clip = zovtest::FixtureDir() + "/cards/card-clips/plain60.mp4";
  ASSERT_TRUE(fs::exists(clip)) << "run ctest -R fixtures.cards";
  const std::string tool = zovtest::BinDir() + "/zovgpsfixture";
  const std::string card = zovtest::TempDir() + "/own";
  fs::create_directories(card + "/Movie");
  fs::create_directories(card + "/GPS");
  fs::copy_file(clip, card + "/Movie/2023_0105_123450_001F.MP4");
  // The sidecar holds 30 s, the day log 150 s: 30 fixes tell them apart.
  ASSERT_EQ(std::system((tool + " side nmea " + card + "/Movie/2023_0105_123450_001F.nmea --seconds 30").c_str()), 0);
  ASSERT_EQ(std::system((tool + " side daylog-nmea " + card + "/GPS/20230105.dat --seconds 150").c_str()), 0);
  ZovScanOptions o;
  o.useIndex = false;
  const ZovLibrary lib = ZovScanLibrary({card}, o);
  ASSERT_EQ(lib.recordings.size(), 1u);
  EXPECT_EQ(lib.recordings[0].gpsFixes, 30);
  EXPECT_EQ(lib.recordings[0].sideFiles,
            (std::vector<std::string>{card + "/Movie/2023_0105_123450_001F.nmea", card + "/GPS/20230105.dat"}));
  EXPECT_TRUE(lib.sideFiles.empty());
}

}  // namespace

namespace {

// A recording named on its own (its folder not walked) still takes the
// track of the side file beside it, or the cut of a day log in its folder.
TEST(LibrarySideFiles, ARecordingNamedAloneFindsTheSideFilesBesideIt) {
  const std::string clip = zovtest::FixtureDir() + "/cards/card-clips/plain60.mp4";
  ASSERT_TRUE(fs::exists(clip)) << "run ctest -R fixtures.cards";
  const std::string tool = zovtest::BinDir() + "/zovgpsfixture";
  const std::string dir = zovtest::TempDir() + "/alone";
  fs::create_directories(dir);
  const std::string byName = dir + "/2023_0105_123450_001F.MP4", byTime = dir + "/2023_0105_123550_002F.MP4";
  fs::copy_file(clip, byName);
  fs::copy_file(clip, byTime);
  ASSERT_EQ(std::system((tool + " side nmea " + dir + "/2023_0105_123450_001F.nmea --seconds 30 >/dev/null").c_str()), 0);
  ASSERT_EQ(std::system((tool + " side daylog-nmea " + dir + "/20230105.dat --seconds 150 >/dev/null").c_str()), 0);
  ZovScanOptions o;
  o.useIndex = false;
  const ZovLibrary lib = ZovScanLibrary({byName, byTime}, o);
  ASSERT_EQ(lib.recordings.size(), 2u);
  EXPECT_EQ(lib.recordings[0].gpsFixes, 30);
  EXPECT_EQ(lib.recordings[1].gpsFixes, 60);
}

}  // namespace
