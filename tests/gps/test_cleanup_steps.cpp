// Clean-up of the raw fix list: each step on its own, then the whole chain.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_cleanup.h"

using namespace zovcleanup;

namespace {

class UtcEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};
const auto* const kUtc = ::testing::AddGlobalTestEnvironment(new UtcEnvironment);

GpsFix Fix(uint32_t index, int h, int m, int s, double lat = 22.5, double lon = 114.0) {
  GpsFix f;
  f.index = index;
  f.year = 2023;
  f.month = 1;
  f.day = 5;
  f.hour = h;
  f.minute = m;
  f.second = s;
  f.latitude = lat;
  f.longitude = lon;
  f.latLetter = lat < 0 ? 'S' : 'N';
  f.lonLetter = lon < 0 ? 'W' : 'E';
  return f;
}

std::vector<uint32_t> Indexes(const GpsFixList& l) {
  std::vector<uint32_t> v;
  for (const GpsFix& f : l) v.push_back(f.index);
  return v;
}

using V = std::vector<uint32_t>;

}  // namespace

TEST(CleanupSensorList, AbsoluteCountersBecomeOrdinals) {
  GpsFixList fixes = {Fix(5000, 12, 0, 0), Fix(5001, 12, 0, 5), Fix(5002, 12, 0, 6)};
  fixes[1].x = 0.5;
  GpsFixList sensors = BuildSensorList(fixes);
  EXPECT_EQ(Indexes(sensors), (V{0, 1, 2}));
  EXPECT_EQ(Indexes(fixes), (V{0, 1, 2}));
  EXPECT_DOUBLE_EQ(sensors[1].x, 0.5);
  EXPECT_EQ(sensors[1].second, 5u);
  // Only the sensor fields are carried over.
  EXPECT_EQ(sensors[1].latitude, 0.0);

  // The fixes are then re-indexed by their time stamps.
  ReindexByTime(fixes);
  EXPECT_EQ(Indexes(fixes), (V{0, 5, 6}));
}

TEST(CleanupSensorList, SmallIndexesAreKeptAndRepeatedFirstIndexUsesOrdinal) {
  GpsFixList fixes = {Fix(3, 12, 0, 0), Fix(4, 12, 0, 1), Fix(9, 12, 0, 6)};
  GpsFixList sensors = BuildSensorList(fixes);
  // The first index is not above itself: its sensor index is its ordinal.
  EXPECT_EQ(Indexes(sensors), (V{0, 4, 9}));
  EXPECT_EQ(Indexes(fixes), (V{3, 4, 9}));

  GpsFixList same = {Fix(7, 12, 0, 0), Fix(7, 12, 0, 1), Fix(12, 12, 0, 2)};
  GpsFixList s2 = BuildSensorList(same);
  EXPECT_EQ(Indexes(s2), (V{0, 1, 2}));
  EXPECT_EQ(Indexes(same), (V{0, 1, 2}));
}

TEST(CleanupReindex, SameStampDroppedEarlierStampPullsBack) {
  GpsFixList fixes = {Fix(0, 12, 0, 0), Fix(1, 12, 0, 0), Fix(2, 12, 0, 2)};
  ReindexByTime(fixes);
  ASSERT_EQ(fixes.size(), 2u);
  EXPECT_EQ(Indexes(fixes), (V{0, 2}));

  GpsFixList back = {Fix(0, 12, 0, 10), Fix(1, 12, 0, 5), Fix(2, 12, 0, 11)};
  ReindexByTime(back);
  ASSERT_EQ(back.size(), 2u);
  // The kept fix's stamp became 12:00:04, so 12:00:11 lies 7 s after it.
  EXPECT_EQ(back[1].index, 7u);
  EXPECT_EQ(back[0].timeStamp + 7, back[1].timeStamp);
}

TEST(CleanupReindex, DropsFixesWithoutPositionOrMonthAndForcesYear) {
  GpsFixList fixes = {Fix(0, 12, 0, 0, 0.0, 114.0), Fix(1, 12, 0, 1), Fix(2, 12, 0, 2),
                      Fix(3, 12, 0, 3, 22.5, 5e-8)};
  fixes[2].month = 0;
  fixes[1].year = 1850;
  ReindexByTime(fixes);
  ASSERT_EQ(fixes.size(), 1u);
  EXPECT_EQ(fixes[0].year, 2020u);
  std::tm tm{};
  tm.tm_year = 120;
  tm.tm_mon = 0;
  tm.tm_mday = 5;
  tm.tm_hour = 12;
  tm.tm_sec = 1;
  EXPECT_EQ(fixes[0].timeStamp, int32_t(timegm(&tm)));
}

TEST(CleanupSensors, GapsClosedWithCopiesAndRepeatsDropped) {
  GpsFixList s = {Fix(0, 12, 0, 0), Fix(3, 12, 0, 3)};
  s[1].x = 1.5;
  TidySensors(s);
  EXPECT_EQ(Indexes(s), (V{0, 1, 2, 3}));
  EXPECT_DOUBLE_EQ(s[1].x, 1.5);  // copies of the second record
  EXPECT_DOUBLE_EQ(s[2].x, 1.5);
  EXPECT_DOUBLE_EQ(s[0].x, 0.0);

  GpsFixList d = {Fix(4, 12, 0, 0), Fix(4, 12, 0, 0), Fix(2, 12, 0, 1), Fix(6, 12, 0, 2)};
  TidySensors(d);
  // The repeat goes, index 2 moves up to 5, then 6 follows.
  EXPECT_EQ(Indexes(d), (V{4, 5, 6}));
}

TEST(CleanupSensors, BrokenCounterDoesNotExplode) {
  GpsFixList s = {Fix(0, 12, 0, 0), Fix(4000000000u, 12, 0, 1)};
  TidySensors(s);
  EXPECT_EQ(s.size(), 2u);
}

TEST(CleanupIndexes, IncreasingKeptLastBreakFollowsOtherwiseRebuilt) {
  GpsFixList inc = {Fix(0, 12, 0, 0), Fix(2, 12, 0, 2), Fix(5, 12, 0, 5)};
  MakeIndexesIncreasing(inc);
  EXPECT_EQ(Indexes(inc), (V{0, 2, 5}));

  GpsFixList last = {Fix(0, 12, 0, 0), Fix(2, 12, 0, 2), Fix(1, 12, 0, 9)};
  MakeIndexesIncreasing(last);
  EXPECT_EQ(Indexes(last), (V{0, 2, 3}));

  GpsFixList rebuilt = {Fix(130, 12, 0, 0), Fix(140, 12, 0, 2), Fix(100, 12, 0, 5),
                        Fix(101, 12, 10, 0), Fix(102, 12, 10, 1)};
  for (GpsFix& f : rebuilt) f.timeStamp = UtcTimeStamp(f);
  rebuilt[4].timeStamp = -1;
  MakeIndexesIncreasing(rebuilt);
  // Start above 120 -> 0; +2 s, +3 s, a step of 595 s counts 1, no stamp 1.
  EXPECT_EQ(Indexes(rebuilt), (V{0, 2, 5, 6, 7}));
}

TEST(CleanupJumps, SingleSpikeRemovedSteadyMoveKept) {
  GpsFixList spike = {Fix(0, 12, 0, 0, 22.5), Fix(1, 12, 0, 1, 22.6), Fix(2, 12, 0, 2, 22.50001)};
  FilterJumps(spike);
  ASSERT_EQ(spike.size(), 2u);
  EXPECT_EQ(Indexes(spike), (V{0, 2}));

  GpsFixList lon = {Fix(0, 12, 0, 0, 22.5, 114.0), Fix(1, 12, 0, 1, 22.5, 114.01),
                    Fix(2, 12, 0, 2, 22.5, 114.0001)};
  FilterJumps(lon);
  EXPECT_EQ(Indexes(lon), (V{0, 2}));

  // Fast but steady (both rates above the threshold): nothing removed.
  GpsFixList fast = {Fix(0, 12, 0, 0, 22.5), Fix(1, 12, 0, 1, 22.502), Fix(2, 12, 0, 2, 22.504)};
  FilterJumps(fast);
  EXPECT_EQ(fast.size(), 3u);

  // Gaps of 60 s or more are not judged.
  GpsFixList slow = {Fix(0, 12, 0, 0, 22.5), Fix(60, 12, 1, 0, 22.6), Fix(61, 12, 1, 1, 22.5)};
  FilterJumps(slow);
  EXPECT_EQ(slow.size(), 3u);
  EXPECT_NEAR(kJumpLatitudeRate, 0.00089932, 5e-9);
}

TEST(CleanupGaps, ThreeSecondGapGetsTwoInterpolatedFixes) {
  GpsFixList f = {Fix(4, 12, 0, 58, 22.0, 114.0), Fix(7, 12, 1, 1, 22.3, 114.6)};
  f[0].heading = 10;
  f[1].heading = 40;
  f[1].l = 2.5f;
  FillGaps(f);
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(Indexes(f), (V{4, 5, 6, 7}));
  EXPECT_NEAR(f[1].latitude, 22.1, 1e-12);
  EXPECT_NEAR(f[2].latitude, 22.2, 1e-12);
  EXPECT_NEAR(f[1].longitude, 114.2, 1e-12);
  EXPECT_NEAR(f[2].heading, 30.0, 1e-12);
  EXPECT_FLOAT_EQ(f[1].l, 2.5f);
  // The copies' seconds run on with the carry into the minute.
  EXPECT_EQ(f[1].minute, 0u);
  EXPECT_EQ(f[1].second, 59u);
  EXPECT_EQ(f[2].minute, 1u);
  EXPECT_EQ(f[2].second, 0u);
}

// A gap over the 180th meridian is filled the short way round, the copies'
// hemisphere letters following their side; the heading computed along the
// same latitude there points east.
TEST(CleanupGaps, GapOverLongitude180IsFilledTheShortWay) {
  GpsFixList f = {Fix(4, 12, 0, 0, -17.0, 179.9997), Fix(8, 12, 0, 4, -17.0, -179.9999)};
  f[0].lonLetter = 'E';
  f[1].lonLetter = 'W';
  f[0].heading = 350;  // the camera's heading turns through north
  f[1].heading = 10;
  FillGaps(f);
  ASSERT_EQ(f.size(), 5u);
  const double expected[] = {179.9997, 179.9998, 179.9999, 180.0, -179.9999};
  for (size_t i = 0; i < f.size(); ++i) EXPECT_NEAR(f[i].longitude, expected[i], 1e-9) << i;
  EXPECT_EQ(f[1].lonLetter, 'E');
  EXPECT_EQ(f[3].lonLetter, 'E');
  EXPECT_NEAR(f[1].heading, 355.0, 1e-9);
  EXPECT_NEAR(f[2].heading, 0.0, 1e-9);
  EXPECT_NEAR(f[3].heading, 5.0, 1e-9);
  f[3].headingFlag = kHeadingFlagNone;
  ComputeHeadings(f);
  EXPECT_DOUBLE_EQ(f[3].heading, 90.0) << "due east, clockwise as the cameras count";
}

TEST(CleanupGaps, OutOfOrderAndFarIndexesFollowPredecessor) {
  GpsFixList f = {Fix(10, 12, 0, 0), Fix(5, 12, 0, 1), Fix(500, 12, 0, 2)};
  FillGaps(f);
  EXPECT_EQ(Indexes(f), (V{10, 11, 12}));
}

TEST(CleanupGaps, AddSecondsCarriesIntoDayMonthYear) {
  GpsFix f = Fix(0, 23, 59, 59);
  f.year = 2023;
  f.month = 12;
  f.day = 31;
  AddSeconds(f, 2);
  EXPECT_EQ(f.year, 2024u);
  EXPECT_EQ(f.month, 1u);
  EXPECT_EQ(f.day, 1u);
  EXPECT_EQ(f.hour, 0u);
  EXPECT_EQ(f.minute, 0u);
  EXPECT_EQ(f.second, 1u);
  GpsFix leap = Fix(0, 23, 0, 0);
  leap.year = 2024;
  leap.month = 2;
  leap.day = 28;
  AddSeconds(leap, 3600);
  EXPECT_EQ(leap.month, 2u);
  EXPECT_EQ(leap.day, 29u);
}

// The one calendar every time conversion goes through: seconds since 1970
// to a date and back, before 1970 and across leap days included.
TEST(Calendar, SecondsAndDatesRoundTrip) {
  struct Case {
    int64_t seconds;
    ZovCivilTime want;
  };
  const Case cases[] = {
      {0, {1970, 1, 1, 0, 0, 0}},
      {-1, {1969, 12, 31, 23, 59, 59}},
      {951868799, {2000, 2, 29, 23, 59, 59}},
      {1574120714, {2019, 11, 18, 23, 45, 14}},
      {4107542400, {2100, 3, 1, 0, 0, 0}},  // 2100 is no leap year
  };
  for (const Case& c : cases) {
    const ZovCivilTime t = ZovCivilFromUtcSeconds(c.seconds);
    EXPECT_EQ((std::vector<int64_t>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
              (std::vector<int64_t>{c.want.year, c.want.month, c.want.day, c.want.hour, c.want.minute,
                                    c.want.second}))
        << c.seconds;
    EXPECT_EQ(ZovUtcSeconds(t.year, t.month, t.day, t.hour, t.minute, t.second), c.seconds);
  }
}

TEST(CleanupHeadings, CardinalDirectionsAndSpecialCases) {
  GpsFixList f = {Fix(0, 12, 0, 0, 22.5, 114.0), Fix(1, 12, 0, 1, 22.6, 114.0),
                  Fix(2, 12, 0, 2, 22.6, 114.1), Fix(3, 12, 0, 3, 22.5, 114.1),
                  Fix(4, 12, 0, 4, 22.5, 114.0), Fix(5, 12, 0, 5, 22.5, 114.0)};
  f[5].heading = 77;
  ComputeHeadings(f);
  EXPECT_DOUBLE_EQ(f[0].heading, 360.0);  // north (0 would mean no heading)
  EXPECT_DOUBLE_EQ(f[1].heading, 90.0);   // east, clockwise as the cameras count
  EXPECT_DOUBLE_EQ(f[2].heading, 180.0);  // south
  EXPECT_DOUBLE_EQ(f[3].heading, 270.0);  // west
  EXPECT_DOUBLE_EQ(f[4].heading, 360.0);  // standing still
  EXPECT_DOUBLE_EQ(f[5].heading, 77.0);   // the last fix has no successor

  GpsFixList g = {Fix(0, 12, 0, 0, 22.5, 114.0), Fix(1, 12, 0, 1, 22.6, 114.1),
                  Fix(2, 12, 0, 2, 22.7, 0.0), Fix(3, 12, 0, 3, 22.7, 114.2),
                  Fix(4, 12, 0, 4, 22.8, 114.3)};
  g[3].headingFlag = kHeadingFlagCamera;
  g[3].heading = 12;
  ComputeHeadings(g);
  const double beta = InitialBearing(22.5, 114.0, 22.6, 114.1);
  EXPECT_GT(beta, 0.0);
  EXPECT_LT(beta, 90.0);
  EXPECT_NEAR(g[0].heading, beta, 1e-9);
  EXPECT_NEAR(g[1].heading, beta, 1e-9);  // successor at 0: previous bearing
  EXPECT_DOUBLE_EQ(g[2].heading, 90.0);   // same latitude, east
  EXPECT_DOUBLE_EQ(g[3].heading, 12.0);           // the camera's heading stays
}

TEST(CleanupChain, PrintsOnlyUpperCaseHemispheresAndCountsBothLists) {
  GpsFixList f = {Fix(0, 12, 0, 0, 22.5, 114.0), Fix(1, 12, 0, 1, 22.5001, 114.0),
                  Fix(2, 12, 0, 2, 22.5002, 114.0), Fix(3, 12, 0, 3, 0.0, 0.0)};
  f[2].latLetter = 'n';
  std::string points, sensors;
  ZovCleanupCounts c = ZovCleanUpAndPrint(f, points, sensors);
  EXPECT_EQ(c.fixCount, 3);
  EXPECT_EQ(c.sensorCount, 4);  // the sensor list keeps the fix without position
  EXPECT_TRUE(f.empty());
  EXPECT_EQ(std::count(points.begin(), points.end(), ';'), 2);
  EXPECT_EQ(std::count(sensors.begin(), sensors.end(), ';'), 4);
  EXPECT_NE(points.find("M:000000000000000"), std::string::npos);
  EXPECT_EQ(points.rfind("0 2023/01/05 12:00:00 N:22.50000 E:114.00000", 0), 0u) << points;
  EXPECT_NE(points.find("A:360.0"), std::string::npos);
}

TEST(CleanupChain, DeviceTextCannotSplitARecord) {
  GpsFixList f = {Fix(0, 12, 0, 0), Fix(1, 12, 0, 1)};
  std::strcpy(f[0].device, "CAM;7\nX");
  std::string points, sensors;
  ZovCleanUpAndPrint(f, points, sensors);
  EXPECT_EQ(std::count(points.begin(), points.end(), ';'), 2);
  EXPECT_EQ(std::count(sensors.begin(), sensors.end(), ';'), 2);
  EXPECT_NE(points.find("M:CAM_7_X "), std::string::npos) << points;
}

// The same recording gives the same track in every zone: 02:00:00 on
// 2023-03-26 does not exist on a Berlin clock (spring forward), but the fix
// carries UTC and must keep its own time and position.
TEST(CleanupChain, TrackIsTheSameInEveryTimeZone) {
  auto run = [](const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
    GpsFixList fixes;
    const double lats[] = {50.0, 50.0001, 50.0004, 50.0005};
    for (int i = 0; i < 4; ++i) {
      GpsFix f = Fix(uint32_t(i), 1, 59, 58 + i, lats[i], 8.0);
      f.month = 3;
      f.day = 26;
      AddSeconds(f, 0);  // 01:59:60 -> 02:00:00
      fixes.push_back(f);
    }
    std::string points, sensors;
    ZovCleanUpAndPrint(fixes, points, sensors);
    return points;
  };
  const std::string berlin = run("Europe/Berlin");
  // The zone must really be in force (tzdata installed), or this would only
  // compare UTC with UTC: noon in Berlin in January is 11:00 UTC.
  std::tm noon{};
  noon.tm_year = 123, noon.tm_mon = 0, noon.tm_mday = 5, noon.tm_hour = 12, noon.tm_isdst = -1;
  std::tm copy = noon;
  ASSERT_EQ(timegm(&copy) - std::mktime(&noon), 3600) << "Europe/Berlin is not known here";
  const std::string utc = run("UTC");
  EXPECT_EQ(berlin, utc);
  // The fix at 02:00:00 is printed with its own latitude, not refilled
  // between its neighbours (which would give 50.00025).
  EXPECT_NE(utc.find("2023/03/26 02:00:00 N:50.00040"), std::string::npos) << utc;
}

// Fixes placed on the recording's seconds (telemetry payloads, subtitle
// cues, side files) keep their seconds through the whole chain: a GPS clock
// that jumps inserts nothing, a first fix late in the recording stays late,
// and gaps are filled in video time wherever they are, up to a bound.
TEST(CleanupChain, VideoTimedFixesKeepTheirSeconds) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int>> fixes;  // index, GPS second of 12:00:00 + s
    std::vector<uint32_t> want;                   // printed indexes
  };
  const uint32_t far = kMaxVideoGap + 310;
  const std::vector<Case> cases = {
      {"GPS clock jumps 2 s", {{0, 14}, {1, 16}, {2, 17}, {3, 18}}, {0, 1, 2, 3}},
      {"first fix 90 s in", {{90, 0}, {91, 1}}, {90, 91}},
      {"gap beyond 200 s filled", {{300, 0}, {303, 3}}, {300, 301, 302, 303}},
      {"a second twice", {{5, 0}, {5, 1}, {6, 2}}, {5, 6}},
      {"gap too long stays open", {{300, 0}, {far, 1}}, {300, far}},
  };
  for (const Case& c : cases) {
    GpsFixList fixes;
    for (const auto& [index, s] : c.fixes) {
      GpsFix f = Fix(index, 12, 0, 0, 22.5 + index * 1e-4, 114.0);
      AddSeconds(f, s);
      f.videoTimed = true;
      fixes.push_back(f);
    }
    std::string points, sensors;
    GpsFixList printed;
    ZovCleanUpAndPrint(fixes, points, sensors, &printed);
    std::vector<uint32_t> got;
    for (const GpsFix& f : printed) got.push_back(f.index);
    EXPECT_EQ(got, c.want) << c.name;
    // Each fix keeps its own position: the one of index k sits at k's.
    for (const GpsFix& f : printed)
      if (std::find(c.want.begin(), c.want.end(), f.index) != c.want.end()) {
        EXPECT_NEAR(f.latitude, 22.5 + f.index * 1e-4, 1e-9) << c.name << " index " << f.index;
      }
  }
}
