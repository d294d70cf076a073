// Side files found for a recording: by its name (one stamped sidecar with its
// accelerometer file for every channel; a namesake log only when the
// recording has no track of its own) and by time (a day log or GPX track of
// its folder); and a whole day's log cut to 1,440 recordings.
#include <gtest/gtest.h>

#include <time.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_extractor.h"
#include "gps/zov_gps_side_file.h"
#include "gps/zov_gps_timeline.h"
#include "tests/gps/test_scan_support.h"
#include "tools/zovgps/zov_gps_export.h"
#include "tools/zovgpsfixture/zov_gps_side_fixture.h"

namespace fs = std::filesystem;

namespace {

int64_t UtcMs(const ZovFixturePoint& p) {
  return ZovUtcSeconds(p.year, p.month, p.day, p.hour, p.minute, p.second) * 1000;
}

std::string NewFolder(const std::string& name) {
  const std::string dir = zovtest::TempDir() + "/" + name;
  fs::create_directories(dir);
  return dir;
}

// A playable clip without GPS of its own, copied under the given name.
std::string Recording(const std::string& path) {
  fs::copy_file(zovtest::Fixture("h264_aac48_30fps.mp4"), path, fs::copy_options::overwrite_existing);
  return path;
}

GpsFixList Extract(const std::string& path) {
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  ExtractGps(&handle, path, &points, &sensors);
  return CZovGpsExtractor::Instance().LastTrack();
}

double Lat(const GpsFix& f) { return f.latLetter == 'S' ? -std::fabs(f.latitude) : std::fabs(f.latitude); }

// Sets the movie header's creation time of an MP4 (version 0 header).
void SetCreationTime(const std::string& path, int64_t utcSeconds) {
  zovgpstest::Bytes b = zovgpstest::ReadFile(path);
  const std::string_view s(reinterpret_cast<const char*>(b.data()), b.size());
  const size_t at = s.find("mvhd");
  ASSERT_NE(at, std::string_view::npos);
  ASSERT_EQ(b[at + 4], 0);  // version 0
  const uint32_t v = uint32_t(utcSeconds + zovsidefile::kMp4Epoch);
  for (int i = 0; i < 4; ++i) b[at + 8 + i] = uint8_t(v >> (24 - 8 * i));
  zovgpstest::WriteFile(path, b);
}

}  // namespace

// One "..._N.gps" sidecar and its ".3gf" serve the front and the rear
// channel: both get the track and the accelerometer's G-sensor series.
TEST(SideFiles, StampedSidecarServesEveryChannelWithItsAccelerometer) {
  const std::string dir = NewFolder("channels");
  const ZovFixtureTrack drive = ZovFixtureDrive(6);
  zovtest::Spit(dir + "/20230105_123450_N.gps", ZovSideFixtureText(ZovSideFixture::kStampedNmea, drive));
  const std::vector<uint8_t> accel = ZovSideFixtureAccel(drive);
  zovtest::Spit(dir + "/20230105_123450_N.3gf", std::string(accel.begin(), accel.end()));
  for (const char* channel : {"NF", "NR"}) {
    const std::string rec = Recording(dir + "/20230105_123450_" + channel + ".mp4");
    const GpsFixList fixes = Extract(rec);
    ASSERT_EQ(fixes.size(), drive.size()) << channel;
    EXPECT_EQ(CZovGpsExtractor::Instance().LastSideFile(), dir + "/20230105_123450_N.gps");
    for (size_t i = 0; i < fixes.size(); ++i) {
      EXPECT_EQ(fixes[i].index, i);
      EXPECT_NEAR(Lat(fixes[i]), drive[i].latitude, 3e-7);
      // 1 g is 128 in the sidecar; the series is in m/s^2.
      EXPECT_NEAR(fixes[i].x, drive[i].x * 9.80665, 0.08) << i;
      EXPECT_NEAR(fixes[i].y, drive[i].y * 9.80665, 0.08) << i;
      EXPECT_NEAR(fixes[i].z, drive[i].z * 9.80665, 0.08) << i;
    }
  }
}

// A namesake log gives a recording without a track of its own its track; a
// recording with its own keeps it.
TEST(SideFiles, NamesakeLogOnlyForARecordingWithoutItsOwnTrack) {
  const std::string dir = NewFolder("namesake");
  const ZovFixtureTrack here = ZovFixtureDrive(4, 10.0, 20.0), there = ZovFixtureDrive(4, 30.0, 40.0);
  const std::string plain = Recording(dir + "/plain.mp4");
  zovtest::Spit(dir + "/plain.txt", ZovSideFixtureText(ZovSideFixture::kNmea, here));  // NMEA as .txt
  GpsFixList fixes = Extract(plain);
  ASSERT_EQ(fixes.size(), 4u);
  EXPECT_NEAR(Lat(fixes[0]), 10.0, 1e-6);
  EXPECT_EQ(CZovGpsExtractor::Instance().LastSideFile(), dir + "/plain.txt");

  const std::string own = dir + "/own.mp4";
  std::string error;
  ASSERT_TRUE(ZovWriteFixture(ZovFixtureLayout::kGpsTable48, zovtest::Fixture("h264_aac48_30fps.mp4"), own,
                              there, {}, &error))
      << error;
  zovtest::Spit(dir + "/own.nmea", ZovSideFixtureText(ZovSideFixture::kNmea, here));
  fixes = Extract(own);
  ASSERT_FALSE(fixes.empty());
  EXPECT_NEAR(Lat(fixes[0]), 30.0, 1e-4);
  EXPECT_EQ(CZovGpsExtractor::Instance().LastSideFile(), "");
}

// A day log (the camera's clock, like the recording's name) and a GPX track
// (UTC, like the movie header) in the folder are cut to the recording by
// its start; its first fix is the log's fix of that second.
TEST(SideFiles, DayLogAndGpxInTheFolderAttachByTime) {
  const ZovFixtureTrack drive = ZovFixtureDrive(300, 22.5, 114.0, 54.0, 12, 30, 0);
  const ZovRecordingTime clip = ZovRecordingTimeOf(zovtest::Fixture("h264_aac48_30fps.mp4"));
  ASSERT_GT(clip.durationMs, 1000);
  const size_t seconds = size_t((clip.durationMs + 999) / 1000);

  const std::string days = NewFolder("daylog");
  zovtest::Spit(days + "/2023_0105.dat", ZovSideFixtureText(ZovSideFixture::kDayLogNmea, drive));
  const GpsFixList byName = Extract(Recording(days + "/20230105_123140_F.mp4"));  // 100 s into the log
  ASSERT_EQ(byName.size(), seconds);
  EXPECT_EQ(CZovGpsExtractor::Instance().LastSideFile(), days + "/2023_0105.dat");
  for (size_t i = 0; i < byName.size(); ++i) EXPECT_NEAR(Lat(byName[i]), drive[100 + i].latitude, 3e-7) << i;

  const std::string phone = NewFolder("gpx");
  zovtest::Spit(phone + "/phone.gpx", ZovSideFixtureText(ZovSideFixture::kGpx, drive));
  const std::string rec = Recording(phone + "/MOVI0001.mp4");  // no time in the name
  SetCreationTime(rec, UtcMs(drive[200]) / 1000);
  const GpsFixList byHeader = Extract(rec);
  ASSERT_EQ(byHeader.size(), seconds);
  EXPECT_NEAR(Lat(byHeader[0]), drive[200].latitude, 1e-7);
  EXPECT_EQ(byHeader[0].index, 0u);

  // A recording outside the log's hours gets nothing from it.
  const std::string later = NewFolder("later");
  zovtest::Spit(later + "/2023_0105.dat", ZovSideFixtureText(ZovSideFixture::kDayLogDegrees, drive));
  EXPECT_TRUE(Extract(Recording(later + "/20230105_183000.mp4")).empty());
  // A log whose name says another day is not opened for the recording.
  const std::string other = NewFolder("otherday");
  zovtest::Spit(other + "/20230110.dat", ZovSideFixtureText(ZovSideFixture::kDayLogNmea, drive));
  EXPECT_TRUE(Extract(Recording(other + "/20230105_123140.mp4")).empty());
}

TEST(SideFiles, RecordingStartFromItsName) {
  const std::pair<const char*, const char*> rows[] = {
      {"/card/20240517_083000_NF.mp4", "2024-05-17T08:30:00Z"},
      {"2024_0517_083000_F.MP4", "2024-05-17T08:30:00Z"},
      {"/x/FILE240517-083000.MOV", "2024-05-17T08:30:00Z"},
      {"/x/20240517083000.ts", "2024-05-17T08:30:00Z"},
      {"/x/MOVI0001.avi", nullptr},
      {"/x/20241317_083000.mp4", nullptr},
  };
  for (const auto& [name, iso] : rows) {
    int64_t ms = 0;
    const bool found = ZovStartFromName(name, ms);
    EXPECT_EQ(found, iso != nullptr) << name;
    int64_t want = 0;
    if (iso && ZovSideIsoTimeMs(iso, std::strlen(iso), want)) {
      EXPECT_EQ(ms, want) << name;
    }
  }
  const std::pair<const char*, int64_t> days[] = {
      {"/card/GPS/20240517.dat", 19860}, {"2024_0517.gpx", 19860}, {"log-2024-05-17.gpx", 19860}, {"phone.gpx", -1}};
  for (const auto& [name, want] : days) {
    int64_t day = -1;
    EXPECT_EQ(ZovDayFromName(name, day), want >= 0) << name;
    EXPECT_EQ(day, want) << name;
  }
}

// A whole day of one line a second, read once and cut to the 1,440 minutes
// of the day: every recording gets its 60 fixes from its own start, and the
// whole takes well under a second of processor time.
TEST(Timeline, DayLogOf86400LinesCutTo1440Recordings) {
  const ZovFixtureTrack day = ZovFixtureDrive(86400, 22.5, 114.0, 54.0, 0, 0, 0);
  const std::string text = ZovSideFixtureText(ZovSideFixture::kDayLogDegrees, day);
  timespec t0{}, t1{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
  ZovSideTrack track;
  ASSERT_TRUE(ZovParseSideText(ZovSideLayout::kDayLog, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                               track));
  ZovSortByTime(track);
  const int64_t dayStart = UtcMs(day.front());
  size_t total = 0, misplaced = 0;
  for (int r = 0; r < 1440; ++r) {
    const GpsFixList fixes = ZovSideFixesForRecording(track, dayStart + r * 60000LL, 60000);
    total += fixes.size();
    for (size_t k = 0; k < fixes.size(); ++k)
      misplaced += fixes[k].index != k || std::fabs(fixes[k].latitude - day[r * 60 + k].latitude) > 6e-7;
  }
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
  const double seconds = double(t1.tv_sec - t0.tv_sec) + double(t1.tv_nsec - t0.tv_nsec) / 1e9;
  EXPECT_EQ(track.fixes.size(), 86400u);
  EXPECT_EQ(total, 86400u);
  EXPECT_EQ(misplaced, 0u);
  EXPECT_LT(seconds, 1.0);
  std::printf("day log: 86400 lines read and cut to 1440 recordings in %.3f s of processor time\n", seconds);
}

// Cutting at the edges: a recording that starts before the log, one that
// runs past its end, one of unknown length that stops at the camera's
// power-off (a gap) or a new power-on.
TEST(Timeline, SlicesStopAtTheLogsEdgesGapsAndPowerOns) {
  ZovSideTrack t;
  t.layout = ZovSideLayout::kDayLog;
  auto add = [&t](int64_t s, int segment) {
    ZovSideFix f;
    f.timeMs = s * 1000;
    f.latitude = 10 + s * 1e-4;
    f.longitude = 20;
    f.segment = segment;
    t.fixes.push_back(f);
  };
  for (int64_t s = 100; s < 110; ++s) add(s, 0);
  for (int64_t s = 130; s < 135; ++s) add(s, 0);  // after a 20 s gap
  for (int64_t s = 135; s < 140; ++s) add(s, 1);  // a new power-on, no gap
  ZovSortByTime(t);
  EXPECT_EQ(ZovSliceByTime(t, 95000, 10000).size(), 5u);
  EXPECT_EQ(ZovSliceByTime(t, 105000, 100000).size(), 15u);
  EXPECT_EQ(ZovSliceByTime(t, 200000, 60000).size(), 0u);
  EXPECT_EQ(ZovSliceFrom(t, 102000, zovtimeline::kMaxGapMs, zovtimeline::kMaxUnknownMs).size(), 8u);
  EXPECT_EQ(ZovSliceFrom(t, 130000, zovtimeline::kMaxGapMs, zovtimeline::kMaxUnknownMs).size(), 5u);
  EXPECT_EQ(ZovSliceFrom(t, 111000, zovtimeline::kMaxGapMs, zovtimeline::kMaxUnknownMs).size(), 0u);
  // Placed from a start before the log: the first fix lands on second 5.
  const GpsFixList early = ZovSideFixesForRecording(t, 95000, 10000);
  ASSERT_EQ(early.size(), 5u);
  EXPECT_EQ(early[0].index, 5u);
  EXPECT_TRUE(early[0].videoTimed);
}
