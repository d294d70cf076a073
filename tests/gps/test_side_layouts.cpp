// Side files of public layouts: every fixture variant comes back through the
// extractor as the drive it was written from, one fix a second; the awkward
// lines of each layout; the parsers' edge rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_extractor.h"
#include "gps/zov_gps_side.h"
#include "tests/gps/test_scan_support.h"
#include "tools/zovgps/zov_gps_export.h"
#include "tools/zovgpsfixture/zov_gps_side_fixture.h"

namespace {

int64_t Utc(const ZovFixturePoint& p) { return ZovUtcSeconds(p.year, p.month, p.day, p.hour, p.minute, p.second); }
int64_t Utc(const ZovExportPoint& p) { return ZovUtcSeconds(p.year, p.month, p.day, p.hour, p.minute, p.second); }

std::vector<ZovExportPoint> ExtractPoints(const std::string& path) {
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  ExtractGps(&handle, path, &points, &sensors);
  return ZovExportPointsFromFixes(CZovGpsExtractor::Instance().LastTrack());
}

ZovSideTrack Parse(ZovSideLayout layout, const std::string& text) {
  ZovSideTrack t;
  ZovParseSideText(layout, reinterpret_cast<const uint8_t*>(text.data()), text.size(), t);
  return t;
}

}  // namespace

// A drive in the southern and western hemispheres (negative coordinates)
// written as each variant, read back by the extractor from the file alone.
TEST(SideLayouts, EveryVariantGivesTheDriveOneFixASecond) {
  const ZovFixtureTrack drive = ZovFixtureDrive(12, -33.45694, -70.64827);
  using L = ZovSideFixture;
  struct Expect {
    L layout;
    double tolerance;  // degrees: the layout's printed precision
    double altitude;   // NAN: the drive's own; otherwise this fixed value
    bool speed;        // the layout carries the speed
    bool dated;        // the layout carries the date and time
    int firstSecond;   // the recording's second of the first fix
  };
  const Expect rows[] = {
      {L::kNmea, 3e-7, NAN, true, true, 0},
      {L::kNmeaAwkward, 3e-7, NAN, true, true, 0},
      {L::kStampedNmea, 3e-7, NAN, true, true, 0},
      {L::kStampedAwkward, 3e-7, NAN, true, true, 2},  // its recording starts 2 s before the fix
      {L::kDayLogNmea, 3e-7, NAN, true, true, 0},
      {L::kDayLogDegrees, 6e-7, NAN, true, true, 0},
      {L::kSrtBracket, 6e-7, NAN, false, true, 0},
      {L::kSrtMisspelt, 6e-7, NAN, false, true, 0},
      {L::kSrtGpsLatFirst, 6e-7, NAN, false, true, 0},
      {L::kSrtGpsLonFirst, 6e-7, 14.0, false, true, 0},
      {L::kSrtGpsSpaced, 6e-7, 14.0, true, false, 0},
      {L::kGpx, 6e-8, NAN, false, true, 0},
      {L::kGpxAwkward, 6e-8, NAN, false, true, 0},
  };
  ASSERT_EQ(std::size(rows), ZovSideFixtureAll().size());
  const std::string dir = zovtest::TempDir();
  for (const Expect& e : rows) {
    const std::string name = ZovSideFixtureName(e.layout);
    const std::string path = dir + "/" + name + ZovSideFixtureExtension(e.layout);
    zovtest::Spit(path, ZovSideFixtureText(e.layout, drive));
    const std::vector<ZovExportPoint> got = ExtractPoints(path);
    ASSERT_EQ(got.size(), drive.size()) << name;
    for (size_t i = 0; i < got.size(); ++i) {
      const ZovExportPoint& f = got[i];
      const ZovFixturePoint& p = drive[i];
      SCOPED_TRACE(name + " second " + std::to_string(i));
      EXPECT_EQ(f.index, e.firstSecond + int(i));
      EXPECT_NEAR(f.latitude, p.latitude, e.tolerance);
      EXPECT_NEAR(f.longitude, p.longitude, e.tolerance);
      EXPECT_EQ(Utc(f), e.dated ? Utc(p) : int64_t(i));
      EXPECT_NEAR(f.altitude, std::isnan(e.altitude) ? p.altitude : e.altitude, 1e-3);
      if (e.speed) {
        EXPECT_NEAR(f.speedKnots, p.speedKnots, 0.02);
      } else if (i + 1 < got.size()) {
        // Derived from the step to the next second, which the drive made at
        // this second's speed (within 1 %: the fixture steps on a flat map).
        EXPECT_NEAR(f.speedKnots, p.speedKnots, p.speedKnots * 0.01);
      }
    }
  }
}

// NMEA lines one by one: which give a fix and which are counted as damaged.
TEST(SideLayouts, NmeaKeepsOnlyCheckedFixesWithTheirAltitude) {
  auto rmc = [](const char* hms, const char* status) {
    return ZovNmeaSentence(std::string("GPRMC,") + hms + "," + status +
                           ",4125.48345,N,00214.04936,E,10.0,84.5,170524,,,A");
  };
  auto gga = [](const char* hms, int quality) {
    return ZovNmeaSentence(std::string("GNGGA,") + hms + ",4125.48345,N,00214.04936,E," +
                           std::to_string(quality) + ",08,0.9,117.2,M,46.9,M,,");
  };
  std::string damaged = rmc("083003.00", "A");
  damaged[damaged.size() - 1] = damaged.back() == '0' ? '1' : '0';
  const std::string text =
      rmc("083000.00", "A") + "\r\n" + gga("083000.00", 1) + "\r\n" +  // fix with altitude
      damaged + "\r\n" +                                               // bad checksum: counted
      rmc("083004.00", "V") + "\n" +                                   // no fix
      gga("083005.00", 0) + "\n" + rmc("083005.00", "A") + "\n" +      // GGA says no fix (before)
      rmc("083006.00", "A") + "\n" + gga("083006.00", 0) + "\n" +      // GGA says no fix (after)
      ZovNmeaSentence("GPGSV,3,1,11,03,03,111,00") + "\n" +            // ignored
      "$GPRMC,083007.00,A,4125.48345,N,00214.04936,E,10.0,,170524,,,A\n" +  // no checksum, no course
      "$GPRMC,083008.00,A,4175.00000,N,00214.04936,E,10.0,,170524,,,A\n";   // 75 minutes
  const ZovSideTrack t = Parse(ZovSideLayout::kNmea, text);
  EXPECT_EQ(t.badLines, 1u);
  ASSERT_EQ(t.fixes.size(), 2u);
  EXPECT_NEAR(t.fixes[0].latitude, 41.4247242, 1e-7);
  EXPECT_NEAR(t.fixes[0].longitude, 2.2341560, 1e-7);
  EXPECT_TRUE(t.fixes[0].hasAltitude);
  EXPECT_DOUBLE_EQ(t.fixes[0].altitude, 117.2);
  EXPECT_TRUE(t.fixes[0].hasCourse);
  EXPECT_DOUBLE_EQ(t.fixes[0].course, 84.5);
  EXPECT_EQ(t.fixes[1].timeMs - t.fixes[0].timeMs, 7000);
  EXPECT_FALSE(t.fixes[1].hasAltitude);
  EXPECT_FALSE(t.fixes[1].hasCourse);
}

// The same line shape with either coordinate form, told apart by the values.
TEST(SideLayouts, DayLogCoordinateFormsAreToldApartByTheirValues) {
  struct Row {
    const char* line;
    double lat, lon;
  };
  const Row rows[] = {
      {"20240517083000,4125.48345,N,00214.04936,E,10.0,117.0", 41.4247242, 2.2341560},  // lat above 90
      {"20240517083000,41.424724,N,2.234156,E,10.0,117.0", 41.424724, 2.234156},
      {"20240517083000,0012.34560,S,00030.00000,W,0.0,3.0", -0.2057600, -0.5},  // padded degrees
      {"20240517083000,0.205760,S,0.500000,W,0.0,3.0", -0.20576, -0.5},
      {"20240517083000,2225.12345,N,11403.54321,E,12.5,35.0", 22.4187242, 114.0590535},
  };
  for (const Row& r : rows) {
    const ZovSideTrack t = Parse(ZovSideLayout::kDayLog, std::string(r.line) + "\r\n");
    ASSERT_EQ(t.fixes.size(), 1u) << r.line;
    EXPECT_NEAR(t.fixes[0].latitude, r.lat, 1e-7) << r.line;
    EXPECT_NEAR(t.fixes[0].longitude, r.lon, 1e-7) << r.line;
    EXPECT_FALSE(t.utc);
  }
  // One line in the ddmm form makes the whole file that form; "#" starts a
  // new power-on run; a line that does not parse is counted.
  const ZovSideTrack t = Parse(ZovSideLayout::kDayLog,
                               "#\r\n20240517083000,0012.34560,N,00030.00000,E,0,0\r\n"
                               "20240517083001,2225.12345,N,11403.54321,E,0,0\r\n#\r\n"
                               "2024051708300X,2225.12345,N,11403.54321,E,0,0\r\n"
                               "20240517090000,2225.12345,N,11403.54321,E,0,0\r\n");
  ASSERT_EQ(t.fixes.size(), 3u);
  EXPECT_NEAR(t.fixes[0].latitude, 0.20576, 1e-7);
  EXPECT_EQ(t.fixes[0].segment, 1);
  EXPECT_EQ(t.fixes[2].segment, 2);
  EXPECT_EQ(t.badLines, 1u);
}

// Subtitle cues: the first cue with a position in each second; cues without
// one give nothing; a file without any is reported as having no track.
TEST(SideLayouts, SubtitleTakesTheFirstPositionOfEachSecond) {
  const std::string text =
      "1\n00:00:00,000 --> 00:00:00,033\nHOME(2.1,41.1) no fix yet\n\n"
      "2\n00:00:00,500 --> 00:00:00,533\nGPS(2.2,41.2,14)\n\n"
      "3\n00:00:00,900 --> 00:00:00,933\nGPS(2.3,41.3,14)\n\n"
      "4\n00:00:01,200 --> 00:00:01,233\n<font>[latitude: 0.000000] [longitude: 0.000000]</font>\n\n"
      "5\n00:00:01,400 --> 00:00:01,433\nGPS(41.5,2.5,117.2M)\n\n"
      "6\n00:00:03,000 --> 00:00:03,033\nGPS(2.6,41.6,14)\n\n";
  const std::string path = zovtest::TempDir() + "/cues.srt";
  zovtest::Spit(path, text);
  const std::vector<ZovExportPoint> got = ExtractPoints(path);
  // Seconds 0, 1 and 3; second 2 is filled between 1 and 3.
  ASSERT_EQ(got.size(), 4u);
  EXPECT_NEAR(got[0].latitude, 41.2, 1e-9);
  EXPECT_NEAR(got[1].latitude, 41.5, 1e-9);
  EXPECT_NEAR(got[1].altitude, 117.2, 1e-9);
  EXPECT_NEAR(got[2].latitude, (41.5 + 41.6) / 2, 1e-9);
  EXPECT_NEAR(got[3].longitude, 2.6, 1e-9);

  const std::string none = zovtest::TempDir() + "/nothing.SRT";
  zovtest::Spit(none, "\xEF\xBB\xBF" "1\r\n00:00:00,000 --> 00:00:01,000\r\n<font>ISO 100 EV 0</font>\r\n\r\n");
  std::string out, err;
  EXPECT_EQ(ZovGpsToolMain({none}, out, err), 1);
  EXPECT_NE(err.find("no GPS track found in " + none), std::string::npos) << err;
}

TEST(SideLayouts, BuildingBlocksRejectWhatIsNotTheirs) {
  double d = 0;
  EXPECT_TRUE(ZovSideNmeaDegrees(4807.038, d));
  EXPECT_NEAR(d, 48.1173, 1e-9);
  EXPECT_FALSE(ZovSideNmeaDegrees(4860.0, d));
  const std::pair<const char*, int64_t> cues[] = {
      {"00:01:02,345 --> x", 62345}, {"1:00:00.005", 3600005}, {"00:60:00,000", -1}, {"00:00:00", -1}, {"", -1}};
  for (const auto& [text, ms] : cues) EXPECT_EQ(ZovSideCueTimeMs(text, std::strlen(text)), ms) << text;
  struct Iso {
    const char* text;
    bool ok;
    int64_t ms;
  };
  const Iso isos[] = {{"2024-05-17T08:30:00Z", true, 1715934600000},
                      {"2024-05-17T10:30:00.250+02:00", true, 1715934600250},
                      {"2024-05-17T03:00:00-0530", true, 1715934600000},
                      {"2024-05-17 08:30:00", true, 1715934600000},
                      {"2024-13-17T08:30:00Z", false, 0},
                      {"2024-05-17T08:30:00Q", false, 0}};
  for (const Iso& i : isos) {
    int64_t ms = 0;
    EXPECT_EQ(ZovSideIsoTimeMs(i.text, std::strlen(i.text), ms), i.ok) << i.text;
    if (i.ok) {
      EXPECT_EQ(ms, i.ms) << i.text;
    }
  }
  // Layout by name and by content.
  EXPECT_EQ(ZovSideLayoutOfName("/a/b.NMEA"), ZovSideLayout::kNmea);
  EXPECT_EQ(ZovSideLayoutOfName("/a/b.Srt"), ZovSideLayout::kNone);
  EXPECT_EQ(ZovSideLayoutOfName("/a/b.dat"), ZovSideLayout::kDayLog);
  EXPECT_EQ(ZovSideLayoutOfName("/a.gpx/b"), ZovSideLayout::kNone);
  const std::pair<std::string, ZovSideLayout> heads[] = {
      {"[1715934600123]$GPRMC,083000", ZovSideLayout::kStampedNmea},
      {"\n$GNGGA,083000.00,4125.48345", ZovSideLayout::kNmea},
      {"\xEF\xBB\xBF" "1\r\n00:00:00,000 --> 00:00:00,033\r\n", ZovSideLayout::kSubtitle},
      {"20240517083000,41.424724,N,2.234156,E,10.0,117.0\r\n", ZovSideLayout::kDayLog},
      {"<?xml version=\"1.0\"?><gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/>", ZovSideLayout::kGpx},
      {"KARUGPS", ZovSideLayout::kNone}};
  for (const auto& [head, layout] : heads)
    EXPECT_EQ(ZovSideLayoutOfContent(reinterpret_cast<const uint8_t*>(head.data()), head.size()), layout) << head;
}
