// The pure track helpers: the outline test, the GCJ-02 shift against the
// published series computed here independently, the load corrections, and
// the rule that picks the point of a playback second.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "gps/zov_track_outline.h"
#include "gps/zov_track_record.h"
#include "gps/zov_track_second.h"
#include "gps/zov_track_shift.h"

namespace {

// ---- Reference WGS-84 -> GCJ-02 offset, from the published series ---------
// (libm sine, 2/3 factors, the ellipsoid's own pi; no pseudo-random terms.)
struct Offset {
  double lat, lon;       // degrees
  double latPerUnit;     // degrees of latitude per unit of the series
  double lonPerUnit;
};

Offset ReferenceOffset(double lat, double lon) {
  const double pi = M_PI, a = 6378245.0, ee = 0.00669342162296594323;
  const double x = lon - 105.0, y = lat - 35.0;
  double dLat = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
  dLat += (20.0 * std::sin(6.0 * x * pi) + 20.0 * std::sin(2.0 * x * pi)) * 2.0 / 3.0;
  dLat += (20.0 * std::sin(y * pi) + 40.0 * std::sin(y / 3.0 * pi)) * 2.0 / 3.0;
  dLat += (160.0 * std::sin(y / 12.0 * pi) + 320.0 * std::sin(y * pi / 30.0)) * 2.0 / 3.0;
  double dLon = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
  dLon += (20.0 * std::sin(6.0 * x * pi) + 20.0 * std::sin(2.0 * x * pi)) * 2.0 / 3.0;
  dLon += (20.0 * std::sin(x * pi) + 40.0 * std::sin(x / 3.0 * pi)) * 2.0 / 3.0;
  dLon += (150.0 * std::sin(x / 12.0 * pi) + 300.0 * std::sin(x / 30.0 * pi)) * 2.0 / 3.0;
  const double radLat = lat / 180.0 * pi;
  const double magic = 1 - ee * std::sin(radLat) * std::sin(radLat);
  const double sqrtMagic = std::sqrt(magic);
  Offset o;
  o.latPerUnit = 180.0 / ((a * (1 - ee)) / (magic * sqrtMagic) * pi);
  o.lonPerUnit = 180.0 / (a / sqrtMagic * std::cos(radLat) * pi);
  o.lat = dLat * o.latPerUnit;
  o.lon = dLon * o.lonPerUnit;
  return o;
}

// One exchange-text point line at a position.
std::string PointLine(int index, const char* lat, const char* lon) {
  return std::to_string(index) + " 2023/01/05 12:34:56 " + lat + " " + lon +
         " 45.0 km/h x:0.01 y:-0.02 z:0.98 A:90.0 H:35.0 M:000000000000000 V:1 L:0.0 R:0.0;";
}

}  // namespace

TEST(TrackOutline, CitiesFallOnTheirSide) {
  struct Case {
    const char* name;
    float lat, lon;
    bool inside;
  };
  const Case cases[] = {
      {"Beijing", 39.9042f, 116.4074f, true},     {"Shanghai", 31.2304f, 121.4737f, true},
      {"Urumqi", 43.8256f, 87.6168f, true},       {"Guangzhou", 23.1291f, 113.2644f, true},
      {"Seoul", 37.5665f, 126.978f, false},       {"Hanoi", 21.0278f, 105.8342f, false},
      {"Ulaanbaatar", 47.8864f, 106.9057f, false}, {"Taipei", 25.033f, 121.5654f, false},
      {"Kaohsiung", 22.6273f, 120.3014f, false},  {"south of the box", 2.9f, 100.0f, false},
      {"Harbin", 45.75f, 126.65f, true},          {"Lhasa", 29.65f, 91.1f, true},
      {"Kunming", 25.04f, 102.71f, true},         {"Pyongyang", 39.03f, 125.75f, false},
      {"Kathmandu", 27.7f, 85.32f, false},        {"Almaty", 43.24f, 76.95f, false},
      {"north of the box", 56.0f, 120.0f, false}, {"London", 51.5f, -0.12f, false},
  };
  for (const Case& c : cases) EXPECT_EQ(ZovInsideMainland(c.lat, c.lon), c.inside) << c.name;
}

TEST(TrackOutline, TableIsClosedAndStartsAtTheFixedVertices) {
  const ZovOutlineVertex start[] = {{27.320829f, 88.916931f}, {27.542431f, 88.764641f},
                                    {28.008051f, 88.835747f}, {28.116800f, 88.624352f}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(kZovMainlandOutline[i].latitude, start[i].latitude) << i;
    EXPECT_EQ(kZovMainlandOutline[i].longitude, start[i].longitude) << i;
  }
  EXPECT_EQ(kZovMainlandOutline.back().latitude, start[0].latitude);
  EXPECT_EQ(kZovMainlandOutline.back().longitude, start[0].longitude);
}

TEST(TrackShift, OwnSineFollowsTheTaylorSeriesAfterReduction) {
  // Truncating after x^11 errs by up to pi^13/13! (4.7e-4) near pi, far less near 0.
  struct Case {
    double x, tolerance;
  };
  const Case cases[] = {{0.0, 1e-15},  {0.5, 1e-12},  {-0.5, 1e-12}, {2.0, 2e-6},
                        {3.1, 5e-4},   {3.3, 1e-6},   {-4.0, 1e-4},  {7.0, 1e-9},
                        {100.0, 5e-4}, {-250.3, 5e-4}};
  for (const Case& c : cases) EXPECT_NEAR(ZovGcjSine(c.x), std::sin(c.x), c.tolerance) << c.x;
}

TEST(TrackShift, TransformMatchesThePublishedSeriesPlusItsRandomTerms) {
  // GCJ-02 positions without the random terms, worked out separately in
  // double precision from the published series (libm sine, 2/3 factors).
  struct Case {
    const char* name;
    double lat, lon, gcjLat, gcjLon;
  };
  const Case cases[] = {
      {"Beijing", 39.9, 116.4, 39.9014035, 116.4062428},
      {"Shanghai", 31.2304, 121.4737, 31.2284577, 121.4782231},
      {"Urumqi", 43.8256, 87.6168, 43.8268054, 87.6196499},
      {"Guangzhou", 23.1291, 113.2644, 23.1264233, 113.2697296},
      {"Lhasa", 29.65, 91.1, 29.6473003, 91.1015683},
      {"Harbin", 45.75, 126.65, 45.7519656, 126.6559876},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Offset ref = ReferenceOffset(c.lat, c.lon);
    ASSERT_NEAR(c.lat + ref.lat, c.gcjLat, 1e-7);
    ASSERT_NEAR(c.lon + ref.lon, c.gcjLon, 1e-7);
    // From seed 0 the two pseudo-random terms are 0.5 (longitude) and 0.75
    // (latitude) series units, and the seed becomes 0.75.
    double seed = 0, outLat = 0, outLon = 0;
    ASSERT_TRUE(ZovGcjTransform(c.lat, c.lon, seed, outLat, outLon));
    EXPECT_EQ(seed, 0.75);
    // Fixed-point truncation, 0.6667 against 2/3 and the short sine stay below 1.5e-6 degrees.
    EXPECT_NEAR(outLat, c.gcjLat + 0.75 * ref.latPerUnit, 1.5e-6);
    EXPECT_NEAR(outLon, c.gcjLon + 0.5 * ref.lonPerUnit, 1.5e-6);
  }
  // The next call draws the next terms: 0.375 for the longitude, seed 0.4375.
  const Offset ref = ReferenceOffset(39.9, 116.4);
  double seed = 0.75, outLat = 0, outLon = 0;
  ASSERT_TRUE(ZovGcjTransform(39.9, 116.4, seed, outLat, outLon));
  EXPECT_EQ(seed, 0.4375);
  EXPECT_NEAR(outLon, 116.4062428 + 0.375 * ref.lonPerUnit, 1.5e-6);
}

// The fixed-point form gives whole units of 1/3,686,400 degree. These were
// worked out by a separate program following the same steps (own sine,
// 0.6667 factors, pi = 3.1415926 in the scaling, the seeded terms). Using
// 2/3 for 0.6667, a shorter sine series or other seeded terms moves at least
// one of them by a unit.
TEST(TrackShift, FixedPointResultsAreExactToTheUnit) {
  struct Case {
    const char* name;
    double lat, lon, seed;
    int64_t latUnits, lonUnits;
  };
  const Case cases[] = {
      {"Beijing", 39.9, 116.4, 0.0, 147092559, 429119994},
      {"Beijing, next seed", 39.9, 116.4, 0.75, 147092548, 429119989},
      {"Shanghai", 31.2304, 121.4737, 0.0, 115120610, 447817340},
      {"Urumqi", 43.8256, 87.6168, 0.0, 161563159, 323001099},
      {"Guangzhou", 23.1291, 113.2644, 0.75, 85253262, 417557544},
      {"Lhasa", 29.65, 91.1, 0.0, 109291832, 335836840},
      {"Harbin", 45.75, 126.65, 0.75, 168660060, 466904650},
  };
  for (const Case& c : cases) {
    double seed = c.seed, outLat = 0, outLon = 0;
    ASSERT_TRUE(ZovGcjTransform(c.lat, c.lon, seed, outLat, outLon)) << c.name;
    EXPECT_EQ(std::llround(outLat * kZovGcjUnitsPerDegree), c.latUnits) << c.name;
    EXPECT_EQ(std::llround(outLon * kZovGcjUnitsPerDegree), c.lonUnits) << c.name;
  }
}

TEST(TrackShift, PositionsOutsideTheAcceptedRegionAreRefusedUnchanged) {
  const double cases[][2] = {{0.8, 116.0}, {56.0, 116.0}, {39.9, 72.0}, {39.9, 138.0}};
  for (const auto& c : cases) {
    double seed = 0.25, outLat = 0, outLon = 0;
    EXPECT_FALSE(ZovGcjTransform(c[0], c[1], seed, outLat, outLon));
    EXPECT_EQ(outLat, c[0]);
    EXPECT_EQ(outLon, c[1]);
    EXPECT_EQ(seed, 0.25);
  }
}

TEST(TrackRecord, LoadCorrectionsFollowTheDatumRule) {
  struct Case {
    const char* name;
    const char* lat;
    const char* lon;
    const char* map;
    bool shifted;
  };
  const Case cases[] = {
      {"Taiwan box", "N:24.00000", "E:121.00000", "gaode", false},
      {"Openstreet map", "N:39.90000", "E:116.40000", "Openstreetmap", false},
      {"mainland", "N:39.90000", "E:116.40000", "gaode", true},
      {"Seoul", "N:37.56650", "E:126.97800", "gaode", false},
      {"southern, western", "S:33.90000", "W:18.40000", "gaode", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CZovGcjShift::Instance().SetSeed(0);
    FileTrack track;
    ZovReadTrackTexts(PointLine(1, c.lat, c.lon), "", c.map, track);
    ASSERT_EQ(track.points.size(), 1u);
    const GpsPoint& p = track.points[0];
    // As read (float32), then nudged.
    const float readLat = std::strtof(c.lat + 2, nullptr) * (c.lat[0] == 'S' ? -1 : 1);
    const float readLon = std::strtof(c.lon + 2, nullptr) * (c.lon[0] == 'W' ? -1 : 1);
    const double lat = static_cast<double>(readLat) + kZovLoadNudge;
    const double lon = static_cast<double>(readLon) + kZovLoadNudge;
    if (c.shifted) {
      const Offset ref = ReferenceOffset(lat, lon);
      // Within the random terms (below one series unit) and float32 rounding.
      EXPECT_NEAR(p.latitude, lat + ref.lat, ref.latPerUnit + 8e-6);
      EXPECT_NEAR(p.longitude, lon + ref.lon, ref.lonPerUnit + 8e-6);
      EXPECT_EQ(CZovGcjShift::Instance().Seed(), 0.75);
    } else {
      EXPECT_EQ(p.latitude, static_cast<float>(lat));
      EXPECT_EQ(p.longitude, static_cast<float>(lon));
      EXPECT_EQ(CZovGcjShift::Instance().Seed(), 0.0);
    }
    EXPECT_EQ(track.lastLatitude, p.latitude);
    EXPECT_EQ(track.lastLongitude, p.longitude);
  }
}

TEST(TrackRecord, PiecesMalformedLinesAndUnterminatedSensorText) {
  const std::string points = PointLine(7, "N:24.00000", "E:121.00000") + "garbage;;" +
                             "8 2023/01/05 12:34:57 N:24.00010 E:121.00010 10.0 km/h x:99 y:0 z:0 A:45.0 H:1.0";
  const std::string sensors =
      "3 2023/01/05 12:34:56 N:0.0 E:0.0 0.1 km/h x:0.10 y:0.20 z:0.30 0.0 100 M:0 3.0 L:0.0 R:0.0;"
      "4 2023/01/05 12:34:57 N:0.0 E:0.0 0.1 km/h x:0.40 y:0.50 z:0.60";
  FileTrack track;
  EXPECT_EQ(ZovReadTrackTexts(points, sensors, "", track), ZovTrackReadResult::kComplete);
  // Three points: the good line, the malformed one (zeros), the unterminated last one.
  ASSERT_EQ(track.points.size(), 3u);
  EXPECT_EQ(track.pointCount, 3);
  EXPECT_EQ(track.points[0].index, 7);
  EXPECT_EQ(track.points[0].latHemisphere, 'N');
  EXPECT_FLOAT_EQ(track.points[0].speed, 45.0f);
  EXPECT_FLOAT_EQ(track.points[0].heading, 90.0f);
  EXPECT_EQ(track.points[0].year, 2023);
  EXPECT_EQ(track.points[1].index, 0);
  EXPECT_EQ(track.points[1].year, 0);
  EXPECT_FLOAT_EQ(track.points[1].latitude, static_cast<float>(kZovLoadNudge));
  EXPECT_EQ(track.points[2].index, 8);
  EXPECT_EQ(track.points[2].accelX, 0.0f);  // out of range
  EXPECT_EQ(track.lastLatitude, track.points[2].latitude);
  // The sensor piece without its ';' ends the loop.
  ASSERT_EQ(track.samples.size(), 1u);
  EXPECT_EQ(track.sampleCount, 1);
  EXPECT_EQ(track.samples[0].index, 3u);
  EXPECT_FLOAT_EQ(track.samples[0].accelZ, 0.3f);
}

namespace {
std::vector<GpsPoint> PointsWithIndexes(std::vector<int32_t> indexes) {
  std::vector<GpsPoint> points;
  for (int32_t i : indexes) {
    GpsPoint p;
    p.index = i;
    p.latitude = static_cast<float>(i);
    points.push_back(p);
  }
  return points;
}
std::vector<int32_t> Range(int32_t first, int n) {
  std::vector<int32_t> v;
  for (int i = 0; i < n; ++i) v.push_back(first + i);
  return v;
}
}  // namespace

TEST(TrackSecond, PicksThePointByTheBaseRule) {
  struct Case {
    const char* name;
    std::vector<int32_t> indexes;
    int second, duration, expectedIndex;  // expectedIndex: the point's index, or -1 for none
  };
  const Case cases[] = {
      {"absolute counter: 5001 at second 0", Range(5000, 60), 0, 60, 5001},
      {"absolute counter: 5011 at second 10", Range(5000, 60), 10, 60, 5011},
      {"seconds from 0", Range(0, 60), 0, 60, 1},
      {"seconds from 1", Range(1, 60), 30, 60, 31},
      {"past the end keeps the last", Range(1, 60), 500, 60, 60},
      {"negative second is 0", Range(1, 60), -5, 60, 1},
      {"first index below the duration, too late", Range(59, 3), 0, 60, -1},
      {"no recording open (duration 100)", Range(100, 5), 2, kZovNoRecordingDuration, 103},
      {"walk stops at the first later point", {1, 2, 9, 3}, 4, 60, 2},
      {"empty track", {}, 0, 60, -1},
      {"extreme indexes do not overflow", {INT_MIN, INT_MAX}, 0, 60, INT_MIN},
      {"largest index as base", {INT_MAX}, 0, 60, INT_MAX},
  };
  for (const Case& c : cases) {
    const auto points = PointsWithIndexes(c.indexes);
    const int at = ZovPointIndexForSecond(points, c.second, c.duration);
    if (c.expectedIndex == -1) {
      EXPECT_EQ(at, -1) << c.name;
    } else {
      ASSERT_GE(at, 0) << c.name;
      EXPECT_EQ(points[at].index, c.expectedIndex) << c.name;
    }
  }
}

TEST(TrackSecond, PickerSkipsARepeatedSecondAndFillsTheTick) {
  auto points = PointsWithIndexes(Range(1, 10));
  points[2].latitude = -33.5f;
  points[2].longitude = 18.25f;
  points[2].speed = 12.5f;
  points[2].heading = 270.0f;
  points[2].latHemisphere = 'S';
  points[2].lonHemisphere = 'E';
  CZovSecondPicker picker;

  ZovSecondResult r = picker.Pick(points, 2, 1, 60);
  ASSERT_EQ(r.kind, ZovTickKind::kFound);
  EXPECT_EQ(r.tick.mode, 1.0f);
  EXPECT_EQ(r.tick.second, 2.0f);
  EXPECT_EQ(r.tick.latitude, -33.5f);
  EXPECT_EQ(r.tick.longitude, 18.25f);
  EXPECT_EQ(r.tick.speed, 12.5f);
  EXPECT_EQ(r.tick.heading, 270.0f);
  EXPECT_EQ(ZovFormatPositionLabel(r.latHemisphere, r.tick.latitude), "S:-33.500000");

  EXPECT_EQ(picker.Pick(points, 2, 1, 60).kind, ZovTickKind::kUnchanged);
  EXPECT_EQ(picker.Pick(points, 0, 0, 60).kind, ZovTickKind::kFound);
  EXPECT_EQ(picker.Pick(points, 0, 1, 60).kind, ZovTickKind::kFound);  // second 0 always
  picker.Pick(points, 3, 1, 60);
  picker.Reset();
  EXPECT_EQ(picker.Pick(points, 3, 1, 60).kind, ZovTickKind::kFound);

  const ZovSecondResult none = picker.Pick({}, 4, 1, 60);
  EXPECT_EQ(none.kind, ZovTickKind::kNone);
  EXPECT_EQ(none.tick.second, 4.0f);
  EXPECT_EQ(none.tick.latitude, 0.0f);
  EXPECT_EQ(none.tick.speed, 0.0f);

  ZovTickPayload back;
  EXPECT_TRUE(ZovReadTickPayload(&r.tick, sizeof r.tick, back));
  EXPECT_EQ(back.heading, 270.0f);
  EXPECT_FALSE(ZovReadTickPayload(&r.tick, 23, back));
}
