// Binary records and fix acceptance: NMEA conversion, restoration by block
// state, restart and duplicate rules.
#include <gtest/gtest.h>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_format_constants.h"
#include "tests/gps/block_test_encode.h"

namespace {

using namespace gpstest;

// ---- Binary record ----------------------------------------------------------

TEST(BinaryRecord, FieldsAndLetters) {
  Bytes r = BinaryRecord(12, 34, 56, 23, 1, 5, 'A', 'N', 'E', 5130.5f, 7.5f, 24.5f, 181.0f);
  GpsFix f;
  ASSERT_TRUE(ZovParseBinaryRecord(r.data(), r.size(), f));
  EXPECT_EQ(f.hour, 12u); EXPECT_EQ(f.minute, 34u); EXPECT_EQ(f.second, 56u);
  EXPECT_EQ(f.year, 2023u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.day, 5u);
  EXPECT_EQ(f.status, 'A'); EXPECT_EQ(f.latLetter, 'N'); EXPECT_EQ(f.lonLetter, 'E');
  EXPECT_DOUBLE_EQ(f.latitude, 5130.5f);  // NMEA until accepted
  EXPECT_DOUBLE_EQ(f.longitude, 7.5f);
  EXPECT_DOUBLE_EQ(f.speed, 24.5);
  EXPECT_DOUBLE_EQ(f.course, 181.0);
}

TEST(BinaryRecord, StatusAndHemisphereRules) {
  struct Row { char status, ns, ew; float lat, lon; bool ok; double latOut, lonOut; };
  const Row rows[] = {
      {'A', 'N', 'E', 100.f, 200.f, true, 100.0, 200.0},
      {'a', 'n', 'e', 100.f, 200.f, true, 100.0, 200.0},
      {'V', 'N', 'E', 100.f, 200.f, false, 0, 0},
      {'v', 'N', 'E', 100.f, 200.f, false, 0, 0},
      {'A', 'X', 'E', 100.f, 200.f, false, 0, 0},
      {'A', 'N', 'Q', 100.f, 200.f, false, 0, 0},
      {'A', 0, 'E', 100.f, 200.f, false, 0, 0},
      {'A', 'S', 'W', 100.f, 200.f, true, -100.0, -200.0},
      {'A', 's', 'w', 100.f, 200.f, true, -100.0, -200.0},
      {'A', 'S', 'W', -100.f, -200.f, true, -100.0, -200.0},  // already negative: kept
      {'A', 'N', 'E', -100.f, -200.f, true, -100.0, -200.0},  // sign as written
  };
  for (const Row& row : rows) {
    Bytes r = BinaryRecord(1, 2, 3, 2024, 2, 3, row.status, row.ns, row.ew, row.lat, row.lon, 0, 0);
    GpsFix f;
    EXPECT_EQ(ZovParseBinaryRecord(r.data(), r.size(), f), row.ok) << row.status << row.ns << row.ew;
    if (!row.ok) continue;
    EXPECT_EQ(f.latLetter, row.ns);
    EXPECT_EQ(f.lonLetter, row.ew);
    EXPECT_DOUBLE_EQ(f.latitude, row.latOut);
    EXPECT_DOUBLE_EQ(f.longitude, row.lonOut);
    EXPECT_EQ(f.year, 2024u);
  }
}

TEST(BinaryRecord, ShortAndNonFinite) {
  Bytes r = BinaryRecord(1, 2, 3, 24, 2, 3, 'A', 'N', 'E', 100.f, 200.f, 0, 0);
  GpsFix f;
  EXPECT_FALSE(ZovParseBinaryRecord(r.data(), 43, f));
  Bytes nan = BinaryRecord(1, 2, 3, 24, 2, 3, 'A', 'N', 'E', std::nanf(""), 200.f, 0, 0);
  EXPECT_FALSE(ZovParseBinaryRecord(nan.data(), nan.size(), f));
  Bytes badSpeed = BinaryRecord(1, 2, 3, 24, 2, 3, 'A', 'N', 'E', 100.f, 200.f, INFINITY, 0);
  ASSERT_TRUE(ZovParseBinaryRecord(badSpeed.data(), badSpeed.size(), f));
  EXPECT_EQ(f.speed, 0.0);
}

TEST(BinaryRecord, AlwaysConvertedFromNmeaWithoutExchange) {
  // London: 51 deg 30.5' N, 0 deg 7.5' W. Both values lie inside +-90/+-180,
  // but binary records are NMEA by definition.
  CZovGpsBlockState st;
  Bytes r = BinaryRecord(12, 0, 0, 2023, 5, 6, 'A', 'N', 'W', 5130.5f, 7.5f, 10.f, 0.f);
  ASSERT_TRUE(ZovDecodeBinaryRecord(st, r.data(), r.size(), 4));
  ASSERT_EQ(st.fixes.size(), 1u);
  EXPECT_NEAR(st.fixes[0].latitude, 51.0 + 30.5 / 60.0, 1e-9);
  EXPECT_NEAR(st.fixes[0].longitude, -0.125, 1e-9);
  EXPECT_EQ(st.fixes[0].index, 4u);
  EXPECT_EQ(st.fixes[0].blockState, 5);
  // Half a degree south of the equator.
  Bytes eq = BinaryRecord(12, 0, 1, 2023, 5, 6, 'A', 'S', 'E', 30.0f, 3645.0f, 10.f, 0.f);
  ASSERT_TRUE(ZovDecodeBinaryRecord(st, eq.data(), eq.size(), 5));
  EXPECT_NEAR(st.fixes[1].latitude, -0.5, 1e-9);
  EXPECT_NEAR(st.fixes[1].longitude, 36.75, 1e-9);
  // A rejected record appends nothing.
  Bytes v = BinaryRecord(12, 0, 2, 2023, 5, 6, 'V', 'N', 'E', 30.0f, 30.0f, 10.f, 0.f);
  EXPECT_FALSE(ZovDecodeBinaryRecord(st, v.data(), v.size(), 6));
  EXPECT_EQ(st.fixes.size(), 2u);
}

TEST(AmbaRecord, AcceptedWithoutExchange) {
  CZovGpsBlockState st;
  st.blockState = 6;
  std::string chunk = "$G,2023-01-05 12:34:56-S2230.0000-W11403.0000-S037";
  chunk.resize(128, '\0');
  ASSERT_TRUE(ZovDecodeAmbaRecord(st, reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size()));
  ASSERT_EQ(st.fixes.size(), 1u);
  EXPECT_NEAR(st.fixes[0].latitude, -22.5, 1e-6);
  EXPECT_NEAR(st.fixes[0].longitude, -114.05, 1e-6);
  EXPECT_NEAR(st.fixes[0].speed, 37.0 / 1.852, 1e-9);
  EXPECT_EQ(st.fixes[0].index, 0u);
  EXPECT_EQ(st.blockState, 5);
}

// ---- Acceptance -------------------------------------------------------------

GpsFix At(uint32_t h, uint32_t m, uint32_t s, double lat = 22.5, double lon = 114.0) {
  GpsFix f;
  f.year = 2023, f.month = 1, f.day = 5;
  f.hour = h, f.minute = m, f.second = s;
  f.latitude = lat, f.longitude = lon;
  return f;
}

TEST(Accept, NmeaConversionOnlyOutsideRangeForBlocks) {
  CZovGpsBlockState st;
  st.blockState = 16;  // no restoration
  ZovAcceptFix(st, 0, At(1, 0, 0, 2230.0, 11403.0));
  ZovAcceptFix(st, 1, At(1, 0, 1, 22.5, 11403.0));   // longitude outside: both converted
  ZovAcceptFix(st, 2, At(1, 0, 2, -2230.0, -3.0));   // latitude outside, signed
  ZovAcceptFix(st, 3, At(1, 0, 3, 45.0, 90.0));      // inside: unchanged
  ASSERT_EQ(st.fixes.size(), 4u);
  EXPECT_NEAR(st.fixes[0].latitude, 22.5, 1e-9);
  EXPECT_NEAR(st.fixes[0].longitude, 114.05, 1e-9);
  EXPECT_NEAR(st.fixes[1].latitude, 0.375, 1e-9);
  EXPECT_NEAR(st.fixes[2].latitude, -22.5, 1e-9);
  EXPECT_NEAR(st.fixes[2].longitude, -0.05, 1e-9);
  EXPECT_DOUBLE_EQ(st.fixes[3].latitude, 45.0);
  EXPECT_DOUBLE_EQ(st.fixes[3].longitude, 90.0);
}

TEST(Accept, RestorationByBlockState) {
  const double lat = 37.7749, lon = -122.4194;
  struct Row { int state; int stateAfter; int kind; };  // kind 0 none, 1 F5, 2 F6, 3 dated
  const Row rows[] = {{0, 5, 1}, {1, 5, 1}, {2, 5, 1}, {5, 5, 1}, {6, 6, 2}, {11, 11, 3},
                      {12, 12, 3}, {15, 15, 3}, {10, 10, 0}, {16, 16, 0}, {17, 17, 0}, {18, 18, 0}};
  for (const Row& r : rows) {
    CZovGpsBlockState st;
    st.blockState = r.state;
    GpsFix f = At(12, 34, 56);
    double k = ZovDatedFactor(ZovFixEpochSeconds(f));
    double latE = lat, lonE = lon;
    if (r.kind == 1) EncodeExchangeF(lat, lon, kGpsRestoreF5, latE, lonE);
    if (r.kind == 2) EncodeExchangeF(lat, lon, kGpsRestoreF6, latE, lonE);
    if (r.kind == 3) EncodeExchangeDated(lat, lon, k, latE, lonE);
    f.latitude = latE, f.longitude = lonE;
    ZovAcceptFix(st, 0, f);
    ASSERT_EQ(st.fixes.size(), 1u);
    EXPECT_NEAR(st.fixes[0].latitude, lat, 1e-9) << "state " << r.state;
    EXPECT_NEAR(st.fixes[0].longitude, lon, 1e-9) << "state " << r.state;
    EXPECT_EQ(st.blockState, r.stateAfter);
    EXPECT_EQ(st.fixes[0].blockState, r.state);
  }
}

TEST(Accept, NoExchangeModesLeaveCoordinates) {
  CZovGpsBlockState st;
  st.blockState = 5;
  ZovAcceptFix(st, 0, At(1, 0, 0, 37.7749, -122.4194), ZovAcceptMode::kNoExchange);
  EXPECT_DOUBLE_EQ(st.fixes[0].latitude, 37.7749);
  EXPECT_DOUBLE_EQ(st.fixes[0].longitude, -122.4194);
}

TEST(Accept, DatedFactorAndEpoch) {
  GpsFix f = At(12, 34, 56);
  EXPECT_EQ(ZovFixEpochSeconds(f), 1672922096);
  // Day 19362 -> 19360 (step 8) -> 32 (mod 64) -> 0.5.
  EXPECT_DOUBLE_EQ(ZovDatedFactor(1672922096), 0.5);
  // Clamped below and above.
  EXPECT_DOUBLE_EQ(ZovDatedFactor(0), 20.0 / 64.0);
  EXPECT_DOUBLE_EQ(ZovDatedFactor(57 * 86400), 50.0 / 64.0);
  EXPECT_DOUBLE_EQ(ZovDatedFactor(49 * 86400), 48.0 / 64.0);
  // Day 64 + 19 wraps to 19 (step 8 -> 16), clamped up to 20.
  EXPECT_DOUBLE_EQ(ZovDatedFactor(83 * 86400), 20.0 / 64.0);
  // 2040 lies past 2^31 seconds: the time stamp wraps as in 32-bit arithmetic.
  GpsFix late = At(0, 0, 0);
  late.year = 2040, late.month = 1, late.day = 1;
  EXPECT_EQ(ZovFixEpochSeconds(late), static_cast<int32_t>(2208988800LL - 4294967296LL));
  GpsFix leap = At(0, 0, 0);
  leap.year = 2024, leap.month = 3, leap.day = 1;
  EXPECT_EQ(ZovFixEpochSeconds(leap), 1709251200);
}

TEST(Accept, DuplicateIndexAndTimeDropped) {
  CZovGpsBlockState st;
  st.blockState = 16;
  ZovAcceptFix(st, 7, At(1, 2, 3));
  ZovAcceptFix(st, 7, At(1, 2, 3));      // same index and time: dropped
  ZovAcceptFix(st, 7, At(1, 2, 4));      // same index, other time: kept
  ZovAcceptFix(st, 8, At(1, 2, 4));      // other index, same time: kept
  ZovAcceptFix(st, 7, At(1, 2, 3));      // duplicate of an earlier, not the last: kept
  ASSERT_EQ(st.fixes.size(), 4u);
  EXPECT_EQ(st.fixes[1].second, 4u);
  EXPECT_EQ(st.fixes[2].index, 8u);
}

TEST(Accept, SmallIndexRestartsTheList) {
  CZovGpsBlockState st;
  st.blockState = 16;
  ZovAcceptFix(st, 100, At(1, 0, 0));
  ZovAcceptFix(st, 101, At(1, 0, 1));
  ZovAcceptFix(st, 95, At(1, 0, 2));   // 95 + 5 is not below 100: appended
  ASSERT_EQ(st.fixes.size(), 3u);
  ZovAcceptFix(st, 2, At(1, 0, 3));    // 2 + 5 < 100: restart
  ASSERT_EQ(st.fixes.size(), 1u);
  EXPECT_EQ(st.fixes[0].index, 2u);
  ZovAcceptFix(st, 2, At(1, 0, 3));    // the restart node is the last node: duplicate
  EXPECT_EQ(st.fixes.size(), 1u);
  // Indexes near the top of the range do not wrap into a restart.
  CZovGpsBlockState top;
  ZovAcceptFix(top, 10, At(1, 0, 0));
  ZovAcceptFix(top, 0xFFFFFFFEu, At(1, 0, 1));
  EXPECT_EQ(top.fixes.size(), 2u);
}

TEST(Accept, ResetClearsEverything) {
  CZovGpsBlockState st;
  st.blockState = 12;
  st.record.altitude = 3;
  ZovAcceptFix(st, 1, At(1, 0, 0));
  st.Reset();
  EXPECT_TRUE(st.fixes.empty());
  EXPECT_EQ(st.blockState, 0);
  EXPECT_EQ(st.record.altitude, 0.0);
}

}  // namespace
