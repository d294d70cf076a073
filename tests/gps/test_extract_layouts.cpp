// End to end: a known drive written into each layout comes back from
// ExtractGps as one fix per second with the same times and positions; the
// binary-record fixtures agree with ExifTool's reading of the same files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

#include "gps/zov_gps_extractor.h"
#include "tests/gps/test_scan_support.h"
#include "tools/zovgps/zov_gps_export.h"

using namespace zovgpstest;

namespace {

class UtcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};
const auto* const kUtc = ::testing::AddGlobalTestEnvironment(new UtcEnvironment);

struct Extracted {
  int result = 0;
  std::string points, sensors;
  std::vector<ZovExportPoint> fixes;
};

Extracted Extract(const std::string& path) {
  uint32_t handle = 0;
  InitExtractor(&handle);
  Extracted e;
  e.result = ExtractGps(&handle, path, &e.points, &e.sensors);
  e.fixes = ZovExportReadPoints(e.points);
  return e;
}

int SecondOfDay(int h, int m, int s) { return h * 3600 + m * 60 + s; }

// Every extracted fix matches the track point of its time; returns how many.
size_t ExpectMatchesTrack(const Extracted& e, const ZovFixtureTrack& track, double tolDeg,
                          double tolKnots) {
  std::map<int, const ZovFixturePoint*> byTime;
  for (const ZovFixturePoint& p : track) byTime[SecondOfDay(p.hour, p.minute, p.second)] = &p;
  size_t matched = 0;
  for (size_t i = 0; i < e.fixes.size(); ++i) {
    const ZovExportPoint& f = e.fixes[i];
    auto it = byTime.find(SecondOfDay(f.hour, f.minute, f.second));
    if (it == byTime.end()) {
      ADD_FAILURE() << "fix at an unknown time: " << f.hour << ":" << f.minute << ":" << f.second;
      continue;
    }
    const ZovFixturePoint& p = *it->second;
    EXPECT_EQ(f.year, p.year);
    EXPECT_EQ(f.day, p.day);
    EXPECT_NEAR(f.latitude, p.latitude, tolDeg) << "fix " << i;
    EXPECT_NEAR(f.longitude, p.longitude, tolDeg) << "fix " << i;
    EXPECT_NEAR(f.speedKnots, p.speedKnots, tolKnots) << "fix " << i;
    if (i > 0) {
      EXPECT_EQ(f.index, e.fixes[i - 1].index + 1) << "one fix per second";
    }
    ++matched;
  }
  return matched;
}

class ExtractLayout : public ::testing::TestWithParam<ZovFixtureLayout> {};

}  // namespace

TEST_P(ExtractLayout, DriveComesBackOneFixPerSecond) {
  const ZovFixtureLayout layout = GetParam();
  // Subtitle-track layouts carry one record per chunk the muxer writes, so
  // they hold as many records as the 2 s clip has chunks of its text track.
  const bool textTrack = layout == ZovFixtureLayout::kAmba || layout == ZovFixtureLayout::kTextTrack ||
                         layout == ZovFixtureLayout::kGpmdTrack;
  const bool sowt = layout == ZovFixtureLayout::kFreeGpsSowt;
  const ZovFixtureTrack track = ZovFixtureDrive(textTrack ? 2 : 8, -33.86785, 151.20732);
  const std::string path = WriteLayout(layout, track);
  const Extracted e = Extract(path);
  ASSERT_GT(e.result, 0) << path;
  const size_t expected = textTrack ? 2 : sowt ? 3 : track.size();
  EXPECT_GE(e.fixes.size(), expected);
  // Points print 5 decimals; AMBA records carry minutes with 4 decimals and
  // whole km/h; the point text carries knots with one decimal.
  const double tolDeg = 2e-5;
  const double tolKnots = layout == ZovFixtureLayout::kAmba ? 0.35 : 0.06;
  EXPECT_EQ(ExpectMatchesTrack(e, track, tolDeg, tolKnots), e.fixes.size());
  EXPECT_LT(e.fixes.front().latitude, 0.0);  // southern
  EXPECT_EQ(e.points.find("N:"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, ExtractLayout, ::testing::ValuesIn(ZovFixtureAllLayouts()),
                         [](const auto& info) {
                           std::string n = ZovFixtureLayoutName(info.param);
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

TEST(Extract, GridOfSignsAndNearZeroCoordinates) {
  // London (just west of the prime meridian) and a point just south of the
  // equator: binary-record coordinates are always NMEA.
  const std::pair<double, double> starts[] = {{51.50735, -0.12776}, {-0.5123, 36.8172}, {40.7128, -74.006}};
  int n = 0;
  for (const auto& [lat, lon] : starts) {
    const ZovFixtureTrack track = ZovFixtureDrive(5, lat, lon);
    const Extracted e = Extract(WriteLayout(ZovFixtureLayout::kGpsTable48, track, {}, std::to_string(n++)));
    ASSERT_EQ(e.fixes.size(), 5u);
    ExpectMatchesTrack(e, track, 2e-5, 0.06);
  }
}

TEST(Extract, Version10BlockInTailLetsTheBoxWalkRun) {
  const ZovFixtureTrack track = ZovFixtureDrive(6);
  const std::string path = WriteLayout(ZovFixtureLayout::kUdtaGps, track);
  std::string error;
  ASSERT_TRUE(ZovFixtureAppendTail(path, ZovFixtureKaruBlock(10, track), &error)) << error;
  {
    CZovGpsFile file;
    ASSERT_TRUE(file.Open(path));
    RecordingSink sink;
    CZovGpsScan scan(file, sink);
    scan.ScanTailIndex();
    ASSERT_EQ(sink.blocks.size(), 1u);  // the tail was found and handed over
  }
  const Extracted e = Extract(path);
  EXPECT_EQ(e.fixes.size(), 6u);
  ExpectMatchesTrack(e, track, 2e-5, 0.06);
}

TEST(Extract, UpperCaseTxtMissingFileAndHandleWithoutMagic) {
  const ZovFixtureTrack track = ZovFixtureDrive(4);
  const std::string txt = WriteLayout(ZovFixtureLayout::kTextG1, track);
  ASSERT_GT(Extract(txt).result, 0);
  const std::string upper = zovtest::TempDir() + "/side.TXT";
  WriteFile(upper, ReadFile(txt));
  EXPECT_EQ(Extract(upper).result, 0);
  EXPECT_EQ(Extract(zovtest::TempDir() + "/none.mp4").result, 0);

  uint32_t handle = 7;
  std::string points = "untouched", sensors = "untouched";
  EXPECT_EQ(ExtractGps(&handle, txt, &points, &sensors), 0);
  EXPECT_EQ(points, "untouched");
  EXPECT_EQ(CZovGpsExtractor::Instance().LastRawFixCount(), 4u);  // the scan still ran
}

TEST(Extract, ResultIsTheLargerOfFixAndSensorCounts) {
  // Six records, the middle two without a position: four fixes, six sensors.
  ZovFixtureTrack track = ZovFixtureDrive(6);
  track[2].latitude = track[3].latitude = 0.0;
  const Extracted e = Extract(WriteLayout(ZovFixtureLayout::kTextG3, track));
  EXPECT_EQ(std::count(e.sensors.begin(), e.sensors.end(), ';'), 6);
  EXPECT_EQ(e.result, std::max(CZovGpsExtractor::Instance().LastFixCount(),
                               CZovGpsExtractor::Instance().LastSensorCount()));
  EXPECT_EQ(e.result, 6);
  // The gap left by the two dropped fixes is filled again.
  EXPECT_EQ(e.fixes.size(), 6u);
}

TEST(Extract, RealRecordingsFinishQuicklyAndCleanly) {
  const std::string dir = SamplesDir() + "/";
  for (const char* f : {"gopro-karma/karma.mp4", "gopro-max-heromode/max-heromode.mp4"}) {
    CZovGpsFile probe;
    if (!probe.Open(dir + f)) GTEST_SKIP() << "sample missing";
    const auto t0 = std::chrono::steady_clock::now();
    const Extracted e = Extract(dir + f);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(e.result, 11) << f;  // one fix per telemetry payload, one a second of video
    EXPECT_LT(ms, 2000.0) << f;
  }
}

// ---- ExifTool as a peer --------------------------------------------------------

namespace {

struct PeerFix {
  double lat = NAN, lon = NAN, kmh = NAN;
  std::string dateTime;
};

bool RunExiftool(const std::string& path, std::map<int, PeerFix>& docs) {
  const std::string cmd = "exiftool -ee -n -G3 -s -gpslatitude -gpslongitude -gpsspeed "
                          "-gpsdatetime '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(cmd.c_str(), "r"), pclose);
  if (!p) return false;
  char line[512];
  bool any = false;
  while (std::fgets(line, sizeof line, p.get())) {
    int doc = 0;
    char tag[64] = {}, value[128] = {};
    if (std::sscanf(line, "[Doc%d] %63s : %127[^\n]", &doc, tag, value) != 3) continue;
    PeerFix& f = docs[doc];
    const std::string t = tag;
    if (t == "GPSLatitude") f.lat = std::atof(value);
    else if (t == "GPSLongitude") f.lon = std::atof(value);
    else if (t == "GPSSpeed") f.kmh = std::atof(value);
    else if (t == "GPSDateTime") f.dateTime = value;
    any = true;
  }
  return any;
}

}  // namespace

TEST(ExtractPeer, BinaryRecordsAgreeWithExifTool) {
  if (std::system("exiftool -ver >/dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool not installed";
  const std::pair<double, double> starts[] = {{22.54321, 114.05432}, {51.50735, -0.12776},
                                              {-33.86785, 151.20732}, {-0.2, -78.5}};
  int n = 0;
  for (const auto& [lat, lon] : starts) {
    const ZovFixtureTrack track = ZovFixtureDrive(20, lat, lon);
    const std::string path = WriteLayout(ZovFixtureLayout::kGpsTable48, track, {}, "peer" + std::to_string(n++));
    std::map<int, PeerFix> peer;
    ASSERT_TRUE(RunExiftool(path, peer)) << path;
    const Extracted e = Extract(path);
    ASSERT_EQ(e.fixes.size(), 20u);
    ASSERT_EQ(peer.size(), 20u);
    size_t i = 0;
    for (const auto& [doc, p] : peer) {
      const ZovExportPoint& f = e.fixes[i++];
      char dt[32];
      std::snprintf(dt, sizeof dt, "%04d:%02d:%02d %02d:%02d:%02dZ", f.year, f.month, f.day, f.hour,
                    f.minute, f.second);
      EXPECT_EQ(p.dateTime, dt) << "doc " << doc;
      EXPECT_NEAR(f.latitude, p.lat, 1e-5) << "doc " << doc;
      EXPECT_NEAR(f.longitude, p.lon, 1e-5) << "doc " << doc;
      EXPECT_NEAR(f.speedKnots * 1.852, p.kmh, 0.1) << "doc " << doc;
      if (i > 1) {
        EXPECT_EQ(f.index, e.fixes[i - 2].index + 1);
      }
    }
  }
}

// A text track's samples are placed by their own time in the video: a GPS
// clock that jumps 3 s between two one-second samples inserts no seconds.
TEST(Extract, TextTrackSamplesKeepTheirSecondOfVideoWhenTheGpsClockJumps) {
  ZovFixtureTrack track = ZovFixtureDrive(2, 22.5, 114.0);
  track[1].second += 3;  // 12:34:51 becomes 12:34:54
  const Extracted e = Extract(WriteLayout(ZovFixtureLayout::kTextTrack, track));
  ASSERT_EQ(e.fixes.size(), 2u) << e.points;
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(e.fixes[k].index, k);
    EXPECT_EQ(e.fixes[k].second, track[k].second);
    EXPECT_NEAR(e.fixes[k].latitude, track[k].latitude, 2e-5);
  }
}

// Transport-stream packets are placed by the presentation time of the PES
// packet that carries them, counted from the stream's first time: a GPS
// clock that jumps 2 s between two packets a second apart inserts no
// seconds, and every later fix stays on its own second of video.
TEST(Extract, TransportStreamBlocksKeepTheirSecondOfVideoWhenTheGpsClockJumps) {
  ZovFixtureTrack track = ZovFixtureDrive(8, 22.5, 114.0);  // 12:34:50 to 12:34:57
  for (size_t k = 4; k < track.size(); ++k) track[k].second += 2;  // 12:34:54 reads 12:34:56
  const Extracted e = Extract(WriteLayout(ZovFixtureLayout::kTransportStream, track, {}, "-jump"));
  ASSERT_EQ(e.fixes.size(), track.size()) << e.points;
  for (size_t k = 0; k < track.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(e.fixes[k].index, int(k));
    EXPECT_EQ(e.fixes[k].second, track[k].second);
    EXPECT_NEAR(e.fixes[k].latitude, track[k].latitude, 2e-5);
    EXPECT_NEAR(e.fixes[k].longitude, track[k].longitude, 2e-5);
  }
}
