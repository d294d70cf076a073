// Telemetry payload decoding: payloads built here, record by record.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_gpmf.h"
#include "tests/gps/gpmf_test_encode.h"

using namespace gpmftest;

namespace {

// 2019-11-18 23:45:14 UTC
constexpr int64_t kGpsuSeconds = 1574120714;

// A payload as a camera writes it: an accelerometer stream, then the GPS
// stream whose first sample has no position (0, 0).
Bytes CameraPayload(int fixType = 3) {
  return Nest("DEVC", {Ints("DVID", 'L', 4, 1, {1}), Text("DVNM", 'c', "Cam"),
                       AccelStream({4246, -356, -1547, 4271, -337, -1413}),
                       Gps5Stream(fixType, "191118234514.250",
                                  {0, 0, 0, 0, 0,  //
                                   331267700, -1173273436, -22959, 1046, 100,
                                   331267696, -1173273433, -22941, 1088, 105})});
}

bool Parse(const Bytes& b, ZovGpmfSecond& g) { return ZovParseGpmfPayload(b.data(), b.size(), g); }

}  // namespace

TEST(GpmfDecode, Gps5PayloadGivesFirstValidSampleAtGpsuSecond) {
  ZovGpmfSecond g;
  ASSERT_TRUE(Parse(CameraPayload(), g));
  ASSERT_TRUE(g.hasPosition);
  EXPECT_DOUBLE_EQ(g.latitude, 33.12677);
  EXPECT_DOUBLE_EQ(g.longitude, -117.3273436);
  EXPECT_DOUBLE_EQ(g.altitude, -22.959);
  EXPECT_DOUBLE_EQ(g.speed2d, 1.046);
  ASSERT_TRUE(g.hasTime);
  EXPECT_EQ(g.utcSeconds, kGpsuSeconds);  // .250 dropped: whole seconds
  ASSERT_TRUE(g.hasAccel);
  EXPECT_NEAR(g.accel[0], 4246 / 418.0, 1e-12);
  EXPECT_NEAR(g.accel[2], -1547 / 418.0, 1e-12);
}

TEST(GpmfDecode, PositionRulesPerStream) {
  struct Case {
    const char* name;
    Bytes payload;
    bool position;
    double latitude;
    int64_t time;
  };
  // GPS9: lat lon alt s2d s3d days secs dop fix, as '?' with a TYPE.
  auto gps9 = [](int64_t fixA, int64_t fixB) {
    return Nest("DEVC", {Nest("STRM", {Text("TYPE", 'c', "lllllllSS"),
                                        Ints("SCAL", 'l', 4, 1,
                                             {10000000, 10000000, 1000, 1000, 100, 1, 1000, 100, 1}),
                                        [&] {
                                          Bytes d;
                                          for (int64_t fix : {fixA, fixB}) {
                                            const int64_t lat = fix == fixA ? 481234567 : 481234999;
                                            for (int64_t v : {lat, int64_t(115678901), int64_t(500000),
                                                              int64_t(12000), int64_t(1300),
                                                              int64_t(8722), int64_t(3723500)})
                                              PutBe(d, uint64_t(v), 4);
                                            PutBe(d, 150, 2);
                                            PutBe(d, uint64_t(fix), 2);
                                          }
                                          return Klv("GPS9", '?', 32, 2, d);
                                        }()})});
  };
  // 8722 days after 2000-01-01 is 2023-11-18; 3723.5 s is 01:02:03.
  const int64_t gps9Time = 946684800 + 8722 * 86400 + 3723;
  // A drone position timed by its device's (system, UTC) pair, which follows it.
  const Bytes drone = Nest(
      "DEVC", {Nest("STRM", {Text("TYPE", 'c', "LllllsssS"),
                             Ints("SCAL", 'l', 4, 1, {1000, 10000000, 10000000, 1000, 1000, 100, 100, 100, 100}),
                             [] {
                               Bytes d;
                               for (int64_t v : {146071, 331253688, -1173310668, 15711, 2003}) PutBe(d, uint64_t(v), 4);
                               for (int64_t v : {300, -400, -8, 33156}) PutBe(d, uint64_t(v), 2);
                               return Klv("GLPI", '?', 28, 1, d);
                             }()}),
               Nest("STRM", {Text("TYPE", 'c', "JJ"), Ints("SCAL", 'l', 4, 1, {1000000, 1000}),
                             Ints("SYST", '?', 8, 2, {146544283, 1492457278000})})});
  // The same drone position with a UTC of 2^64 - 1 seconds: no time, no fix.
  Bytes farDrone = drone;
  const Bytes systTail = Ints("SYST", '?', 8, 2, {146544283, 1492457278000});
  const auto at = std::search(farDrone.begin(), farDrone.end(), systTail.begin(), systTail.end());
  std::fill(at + 16, at + 24, 0xFF);
  const Bytes scalTail = Ints("SCAL", 'l', 4, 1, {1000000, 1000});
  const auto scal = std::search(farDrone.begin(), farDrone.end(), scalTail.begin(), scalTail.end());
  *(scal + 12 + 2) = 0;  // second divisor 1000 -> 1 (0x03E8 -> 0x0001)
  *(scal + 12 + 3) = 1;
  const std::vector<Case> cases = {
      {"no fix (GPSF 0)", CameraPayload(0), false, 0, 0},
      {"GPSF beyond any fix type", CameraPayload(0x7FFFFFFF), false, 0, 0},
      {"drone time beyond any date", farDrone, false, 0, 0},
      {"2D fix", CameraPayload(2), true, 33.12677, kGpsuSeconds},
      {"GPS9 skips a sample without fix", gps9(0, 3), true, 48.1234999, gps9Time},
      {"GPS9 first sample fixed", gps9(3, 3), true, 48.1234567, gps9Time},
      {"GPS9 no fix at all", gps9(0, 1), false, 0, 0},
      // 1492457278.000 + (146.071 - 146.544283) = ...277.5267 -> 19:27:57
      {"drone position", drone, true, 33.1253688, 1492457277},
      {"zero divisor", Nest("DEVC", {Nest("STRM", {Ints("SCAL", 'l', 4, 1, {0}),
                                                   Ints("GPS5", 'l', 4, 5, {331267700, -1173273436, 0, 0, 0})})}),
       false, 0, 0},
      {"GPSU after the samples",
       Nest("DEVC", {Nest("STRM", {Ints("SCAL", 'l', 4, 1, {10000000}),
                                   Ints("GPS5", 'l', 4, 5, {331267700, -1173273436, 0, 0, 0}),
                                   Text("GPSU", 'U', "191118234514.000")})}),
       true, 33.12677, kGpsuSeconds},
  };
  for (const Case& c : cases) {
    ZovGpmfSecond g;
    ASSERT_TRUE(Parse(c.payload, g)) << c.name;
    EXPECT_EQ(g.hasPosition, c.position) << c.name;
    if (!c.position || !g.hasPosition) continue;
    EXPECT_NEAR(g.latitude, c.latitude, 1e-9) << c.name;
    EXPECT_TRUE(g.hasTime) << c.name;
    EXPECT_EQ(g.utcSeconds, c.time) << c.name;
  }
  ZovGpmfSecond d;
  ASSERT_TRUE(Parse(drone, d));
  EXPECT_NEAR(d.speed2d, 5.0, 1e-9);  // from vx 3, vy -4
}

// Every cut of a payload, records whose length runs past the end and deep
// nesting: no read outside the buffer (the sanitizer pass checks), no crash,
// and a cut payload never invents a position its bytes do not hold.
TEST(GpmfDecode, HostileBuffersStayInside) {
  const Bytes full = CameraPayload();
  for (size_t n = 0; n < full.size(); ++n) {
    const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    ZovGpmfSecond g;
    // The DEVC length no longer fits: not a payload at all.
    EXPECT_FALSE(ZovParseGpmfPayload(cut.data(), cut.size(), g)) << n;
  }
  Bytes lying = CameraPayload();
  lying[6] = 0xFF;  // DEVC repeat far past the end
  lying[7] = 0xFF;
  ZovGpmfSecond g;
  EXPECT_FALSE(Parse(lying, g));

  // 2000 nested containers, the position at the bottom: not reached.
  Bytes deep = Gps5Stream(3, "191118234514.000", {331267700, -1173273436, 0, 0, 0});
  for (int i = 0; i < 2000 && deep.size() + 8 < 65536; ++i) deep = Nest(i % 2 ? "DEVC" : "XXXX", {deep});
  deep = Nest("DEVC", {deep});
  ASSERT_TRUE(Parse(deep, g));
  EXPECT_FALSE(g.hasPosition);

  // A sample structure the TYPE does not describe is skipped.
  const Bytes badType = Nest("DEVC", {Nest("STRM", {Text("TYPE", 'c', "lll"),
                                                    Klv("GPS9", '?', 32, 1, Bytes(32, 1))})});
  ASSERT_TRUE(Parse(badType, g));
  EXPECT_FALSE(g.hasPosition);
}

// Through the block dispatch: one fix per payload, indexed by the payload's
// ordinal, speed in knots, hemisphere letters, accelerometer into x/y/z.
TEST(GpmfDecode, BlockDispatchAppendsOneFixPerPayload) {
  CZovGpsBlockState st;
  st.Reset();
  const Bytes a = CameraPayload();
  const Bytes none = CameraPayload(0);  // accelerometer only: a sensor fix
  EXPECT_EQ(ZovParseGpsBlock(st, a.data(), a.size()), 1);
  EXPECT_EQ(ZovParseGpsBlock(st, none.data(), none.size()), 1);
  ASSERT_EQ(st.fixes.size(), 2u);
  const GpsFix& f = st.fixes[0];
  EXPECT_EQ(f.index, 0u);
  EXPECT_EQ(f.latLetter, 'N');
  EXPECT_EQ(f.lonLetter, 'W');
  EXPECT_DOUBLE_EQ(f.longitude, -117.3273436);
  EXPECT_NEAR(f.speed * 1.852, 1.046 * 3.6, 1e-9);
  EXPECT_EQ(f.year * 10000 + f.month * 100 + f.day, 20191118u);
  EXPECT_EQ(f.hour * 10000 + f.minute * 100 + f.second, 234514u);
  EXPECT_NEAR(f.x, 4246 / 418.0, 1e-12);
  EXPECT_EQ(st.fixes[1].index, 1u);
  EXPECT_EQ(st.fixes[1].latitude, 0.0);
  EXPECT_NEAR(st.fixes[1].z, -1547 / 418.0, 1e-12);
  // Not a payload, and not any other block: rejected.
  Bytes junk(64, 'D');
  EXPECT_EQ(ZovParseGpsBlock(st, junk.data(), junk.size()), -1);
}
