// Record grammars: one table row per case, each a record line, the grammar
// it is read with, the expected result and the fields to check.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "gps/zov_gps_text.h"

namespace {

using G = ZovGpsGrammar;

struct GrammarRow {
  const char* name;
  G grammar;
  std::string line;
  bool ok;
  std::function<void(const GpsFix&)> check;  // may be empty
};

// A G1 line with every field; pieces may be swapped per row.
const std::string kDate = "2023/01/05";
const std::string kTail = " x:0.01 y:-0.02 z:0.98 A:90.0 H:35.0 M:E12.5";
std::string Space(const std::string& date, const std::string& time, const std::string& rest) {
  return date + " " + time + " " + rest;
}
const std::string kFull = Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail);

void ExpectNear(double a, double b) { EXPECT_NEAR(a, b, 1e-9); }

class SpaceGrammarTest : public ::testing::TestWithParam<GrammarRow> {};

TEST_P(SpaceGrammarTest, Row) {
  const GrammarRow& row = GetParam();
  GpsFix fix;
  int r = ZovParseRecord(row.grammar, row.line.data(), row.line.size(), fix);
  EXPECT_EQ(r != 0, row.ok) << row.line;
  if (row.check) {
    row.check(fix);
  }
}

const GrammarRow kSpaceRows[] = {
    {"FullG1", G::kG1, kFull, true,
     [](const GpsFix& f) {
       EXPECT_EQ(f.year, 2023u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.day, 5u);
       EXPECT_EQ(f.hour, 12u); EXPECT_EQ(f.minute, 34u); EXPECT_EQ(f.second, 56u);
       ExpectNear(f.latitude, 22.5321); ExpectNear(f.longitude, 114.0583);
       EXPECT_EQ(f.latLetter, 'N'); EXPECT_EQ(f.lonLetter, 'E');
       ExpectNear(f.speed, 45.0);
       ExpectNear(f.x, 0.01); ExpectNear(f.y, -0.02); ExpectNear(f.z, 0.98);
       ExpectNear(f.heading, 90.0); EXPECT_EQ(f.headingFlag, 1);
       ExpectNear(f.altitude, 35.0); ExpectNear(f.mNumber, 12.5);
     }},
    {"G1ShortDateFails", G::kG1,
     Space("23/1/5", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), false, {}},
    {"G1UnpaddedFourDigitYearPasses", G::kG1,
     Space("2023/1/05", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.year, 2023u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.day, 5u); }},
    {"G3ShortDateAllowed", G::kG3,
     "7 0 " + Space("23/1/5", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.index, 7u); EXPECT_EQ(f.year, 2023u); EXPECT_EQ(f.day, 5u); }},
    {"YearTwo", G::kG1, Space("02/01/05", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.year, 2002u); }},
    {"YearSixty", G::kG1, Space("60/01/05", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.year, 2030u); }},
    {"YearHundred", G::kG1, Space("100/01/05", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.year, 2022u); }},
    {"Year1989Fails", G::kG1, Space("1989/01/05", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail),
     false, {}},
    {"Month13Fails", G::kG1, Space("2023/13/05", "12:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail),
     false, {}},
    {"HourAbove24FailsG1", G::kG1, Space(kDate, "25:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail),
     false, {}},
    {"MinuteAbove60Fails", G::kG1, Space(kDate, "12:61:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail),
     false, {}},
    {"G2WrapsHourAndForcesMonth", G::kG2,
     Space("2023/07/05", "25:34:56", "N:22.53210 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.hour, 1u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.day, 5u); }},
    {"CoordinatesEitherOrder", G::kG1,
     Space(kDate, "12:34:56", "W:0.12500 S:22.50000 45.0 km/h" + kTail), true,
     [](const GpsFix& f) {
       ExpectNear(f.latitude, -22.5); ExpectNear(f.longitude, -0.125);
       EXPECT_EQ(f.latLetter, 'S'); EXPECT_EQ(f.lonLetter, 'W');
     }},
    {"LowerCaseLettersKeptAsRead", G::kG1,
     Space(kDate, "12:34:56", "s:22.50000 e:10.00000 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { EXPECT_EQ(f.latLetter, 's'); ExpectNear(f.latitude, -22.5); EXPECT_EQ(f.lonLetter, 'e'); }},
    {"UnknownLetterEndsWithSuccess", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 Q:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) {
       ExpectNear(f.latitude, 22.5321); ExpectNear(f.longitude, 0.0); ExpectNear(f.speed, 0.0);
     }},
    {"CoordinateAbove18000EndsWithSuccess", G::kG1,
     Space(kDate, "12:34:56", "N:18000.5 E:114.05830 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { ExpectNear(f.latitude, 0.0); EXPECT_EQ(f.latLetter, 0); }},
    {"NmeaValueKept", G::kG1, Space(kDate, "12:34:56", "N:2232.12340 E:11403.49800 45.0 km/h" + kTail), true,
     [](const GpsFix& f) { ExpectNear(f.latitude, 2232.1234); ExpectNear(f.longitude, 11403.498); }},
    {"SpeedGluedKmThenXNextToken", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0km/h x:0.01 y:0.02 z:0.98 A:10.0"), true,
     [](const GpsFix& f) { ExpectNear(f.speed, 45.0); ExpectNear(f.x, 0.01); ExpectNear(f.heading, 10.0); }},
    {"SpeedGluedToX", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0x:0.10 y:0.02 z:0.98 A:10.0"), true,
     [](const GpsFix& f) { ExpectNear(f.speed, 45.0); ExpectNear(f.x, 0.10); ExpectNear(f.y, 0.02); }},
    {"SpeedAbove720StoredAsZero", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 721.0 km/h" + kTail), true,
     [](const GpsFix& f) { ExpectNear(f.speed, 0.0); ExpectNear(f.x, 0.01); }},
    {"NegativeSpeedWithinBoundG1", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 -45.0 km/h" + kTail), true,
     [](const GpsFix& f) { ExpectNear(f.speed, -45.0); }},
    {"G2SpeedByNumberParserHasNoSign", G::kG2,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 -45.0 km/h" + kTail), true,
     [](const GpsFix& f) { ExpectNear(f.speed, 45.0); }},
    {"SensorBounds", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:19.7 y:-19.6 z:20.5 A:721.0"), true,
     [](const GpsFix& f) {
       ExpectNear(f.x, 0.0); ExpectNear(f.y, -19.6); ExpectNear(f.z, 0.0);
       ExpectNear(f.heading, 0.0); EXPECT_EQ(f.headingFlag, 1);
     }},
    {"HeadingBelowMinus360StoredAsZero", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.1 y:0.2 z:19.9 A:-361"), true,
     [](const GpsFix& f) { ExpectNear(f.heading, 0.0); ExpectNear(f.z, 19.9); }},
    {"MissingYEndsWithSuccess", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.25"), true,
     [](const GpsFix& f) { ExpectNear(f.x, 0.25); ExpectNear(f.y, 0.0); }},
    {"EndsAfterUnitSucceeds", G::kG1, Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h"), true,
     [](const GpsFix& f) { ExpectNear(f.speed, 45.0); }},
    {"EndsAtSpeedFails", G::kG1, Space(kDate, "12:34:56", "N:22.5321000000 E:114.0583000000 45.0"), false, {}},
    {"EndsBeforeSpeedFails", G::kG1, Space(kDate, "12:34:56", "N:22.532100000000 E:114.058300000000"), false, {}},
    {"LineOf50CharactersFails", G::kG1, std::string("2023/01/05 12:34:56 N:22.5 E:14.0 4.0 km/h x:0.1 y"),
     false, {}},
    {"MWestNegated", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.01 y:0.02 z:0.98 A:1.0 M:W12.5"), true,
     [](const GpsFix& f) { ExpectNear(f.mNumber, -12.5); }},
    {"MEastKept", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.01 y:0.02 z:0.98 A:1.0 M:E12.5"), true,
     [](const GpsFix& f) { ExpectNear(f.mNumber, 12.5); }},
    {"AltitudeAfterM", G::kG1,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.01 y:0.02 z:0.98 A:1.0 M:e3 H:120.5"), true,
     [](const GpsFix& f) { ExpectNear(f.mNumber, 3.0); ExpectNear(f.altitude, 120.5); }},
    {"G2ZGluedToY", G::kG2,
     Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.01 y:0.02z:0.98 A:33.0"), true,
     [](const GpsFix& f) { ExpectNear(f.y, 0.02); ExpectNear(f.z, 0.98); ExpectNear(f.heading, 33.0); }},
    {"G4EndsAfterZ", G::kG4, kFull, true,
     [](const GpsFix& f) {
       ExpectNear(f.z, 0.98); ExpectNear(f.heading, 0.0); EXPECT_EQ(f.headingFlag, 0);
       ExpectNear(f.altitude, 0.0); ExpectNear(f.mNumber, 0.0);
     }},
    {"G3ReadsIndex", G::kG3, "42 xx " + kFull, true,
     [](const GpsFix& f) { EXPECT_EQ(f.index, 42u); ExpectNear(f.speed, 45.0); ExpectNear(f.altitude, 35.0); }},
    {"G3WithoutIndexFails", G::kG3, "ab xx " + kFull, false, {}},
    {"ConsecutiveBlanksCountAsOne", G::kG1,
     Space(kDate, " 12:34:56", "N:22.53210   E:114.05830 45.0  km/h" + kTail), true,
     [](const GpsFix& f) { ExpectNear(f.longitude, 114.0583); ExpectNear(f.x, 0.01); }},
};

INSTANTIATE_TEST_SUITE_P(Rows, SpaceGrammarTest, ::testing::ValuesIn(kSpaceRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SpaceGrammar, UnsetFieldsKeepPreviousValues) {
  GpsFix fix;
  fix.altitude = 77.0;
  fix.index = 9;
  std::string line = Space(kDate, "12:34:56", "N:22.53210 E:114.05830 45.0 km/h x:0.01 y:0.02 z:0.98");
  ASSERT_NE(ZovParseRecord(G::kG1, line.data(), line.size(), fix), 0);
  EXPECT_EQ(fix.altitude, 77.0);
  EXPECT_EQ(fix.index, 9u);
}

TEST(SpaceGrammar, StopsAtNulAndLength) {
  std::string line = kFull;
  // Cut inside the latitude: the rest must not be seen.
  std::string cut = line.substr(0, 28);
  GpsFix fix;
  EXPECT_EQ(ZovParseRecord(G::kG1, cut.data(), cut.size(), fix), 0);
  std::string withNul = line;
  withNul[40] = '\0';
  GpsFix fix2;
  EXPECT_EQ(ZovParseRecord(G::kG1, withNul.data(), withNul.size(), fix2), 0);
}

// ---- Comma grammars ---------------------------------------------------------

class CommaGrammarTest : public ::testing::TestWithParam<GrammarRow> {};
TEST_P(CommaGrammarTest, Row) {
  const GrammarRow& row = GetParam();
  GpsFix fix;
  int r = ZovParseRecord(row.grammar, row.line.data(), row.line.size(), fix);
  EXPECT_EQ(r != 0, row.ok) << row.line;
  if (r) {
    EXPECT_EQ(fix.headingFlag, 3);
  }
  if (row.check) {
    row.check(fix);
  }
}

const GrammarRow kCommaRows[] = {
    {"C2Full", G::kC2, "050123,123456,-22.532100,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98", true,
     [](const GpsFix& f) {
       EXPECT_EQ(f.day, 5u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.year, 2023u);
       EXPECT_EQ(f.hour, 12u); EXPECT_EQ(f.minute, 34u); EXPECT_EQ(f.second, 56u);
       ExpectNear(f.latitude, -22.5321); EXPECT_EQ(f.latLetter, 'S');
       ExpectNear(f.longitude, 114.0583); EXPECT_EQ(f.lonLetter, 'E');
       ExpectNear(f.speed, 45.5); ExpectNear(f.heading, 90.5); ExpectNear(f.altitude, 35.5);
       EXPECT_STREQ(f.device, "DEV01");
       ExpectNear(f.x, 0.01); ExpectNear(f.y, -0.02); ExpectNear(f.z, 0.98);
     }},
    {"C1DateIsYearFirst", G::kC1, "230105,123456,22.532100,-114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98",
     true,
     [](const GpsFix& f) {
       EXPECT_EQ(f.year, 2023u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.day, 5u);
       EXPECT_EQ(f.latLetter, 'N'); EXPECT_EQ(f.lonLetter, 'W'); ExpectNear(f.longitude, -114.0583);
     }},
    {"ConsecutiveCommas", G::kC2, "050123,,123456,22.532100,,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98",
     true, [](const GpsFix& f) { ExpectNear(f.longitude, 114.0583); EXPECT_STREQ(f.device, "DEV01"); }},
    {"ShortDateFails", G::kC2, "05012,123456,22.532100,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98,1", false,
     {}},
    {"TimeMustBeSixDigits", G::kC2, "050123,12345a,22.532100,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.9",
     false, {}},
    {"Hour25Fails", G::kC2, "050123,253456,22.532100,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98", false,
     {}},
    {"LatitudeTokenTooShortFails", G::kC2, "050123,123456,22.5,114.058300,45.5,90.5,35.5,DEVICE001,0.01,-0.02,0.98",
     false, {}},
    {"LatitudeTokenTooLongFails", G::kC2,
     "050123,123456,22.53210000000000000,114.058300,45.5,90.5,35.5,DEV,0.01,-0.02,0.98", false, {}},
    {"LatitudeAbove18000Fails", G::kC2, "050123,123456,18000.50,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98",
     false, {}},
    {"ZeroLongitudeIsWest", G::kC2, "050123,123456,22.532100,0.000000,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98",
     true, [](const GpsFix& f) { EXPECT_EQ(f.lonLetter, 'W'); }},
    {"Bounds", G::kC2, "050123,123456,22.532100,114.058300,721.0,-361.0,8001.0,DEV01,19.7,-19.6,20.5", true,
     [](const GpsFix& f) {
       ExpectNear(f.speed, 0.0); ExpectNear(f.heading, 0.0); ExpectNear(f.altitude, 0.0);
       ExpectNear(f.x, 0.0); ExpectNear(f.y, -19.6); ExpectNear(f.z, 0.0);
     }},
    {"AltitudeBelowMinus100Zero", G::kC2, "050123,123456,22.532100,114.058300,1.0,2.0,-100.5,DEVICE001,0.1,0.2,0.3",
     true, [](const GpsFix& f) { ExpectNear(f.altitude, 0.0); ExpectNear(f.z, 0.3); }},
    {"LongDeviceEndsWithSuccess", G::kC2,
     "050123,123456,22.532100,114.058300,45.5,90.5,35.5,ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456,0.01,0.02,0.98", true,
     [](const GpsFix& f) { EXPECT_STREQ(f.device, ""); ExpectNear(f.x, 0.0); }},
    {"Device32Kept", G::kC2,
     "050123,123456,22.532100,114.058300,45.5,90.5,35.5,ABCDEFGHIJKLMNOPQRSTUVWXYZ012345,0.01,0.02,0.98", true,
     [](const GpsFix& f) { EXPECT_STREQ(f.device, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"); ExpectNear(f.z, 0.98); }},
    {"SevenFieldsSucceed", G::kC2, "050123,123456,22.5321000000,114.0583000000,45.5,90.5,35.5\r\n", true,
     [](const GpsFix& f) { ExpectNear(f.altitude, 35.5); }},
    {"SixFieldsFail", G::kC2, "050123,123456,22.532100000000,114.058300000000000,45.5,90.5", false, {}},
    {"TwoDigitYear89IsUnsetClock", G::kC2, "050189,123456,22.532100,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98",
     true, [](const GpsFix& f) { EXPECT_EQ(f.year, 2022u); }},
    {"TwoDigitYear51Fails", G::kC2, "050151,123456,22.532100,114.058300,45.5,90.5,35.5,DEV01,0.01,-0.02,0.98",
     false, {}},
};

INSTANTIATE_TEST_SUITE_P(Rows, CommaGrammarTest, ::testing::ValuesIn(kCommaRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Year rule and number parser -------------------------------------------

TEST(YearRule, Table) {
  struct Row { int in; int month; bool ok; uint32_t out; };
  const Row rows[] = {
      {2, 1, true, 2002},   {51, 1, false, 0},   {0, 1, true, 2000},     {52, 1, true, 2022},
      {60, 1, true, 2030},  {71, 1, true, 2041}, {72, 1, true, 2022},    {100, 1, true, 2022},
      {1970, 1, true, 2022}, {1971, 1, false, 0}, {1989, 1, false, 0},   {1990, 12, true, 1990},
      {2050, 1, true, 2050}, {2051, 1, false, 0}, {100, 13, false, 0},  {2023, 13, false, 0},
  };
  for (const Row& r : rows) {
    uint32_t year = 0;
    EXPECT_EQ(ZovApplyYearRule(r.in, r.month, year), r.ok) << r.in << "/" << r.month;
    if (r.ok) {
      EXPECT_EQ(year, r.out) << r.in;
    }
  }
}

TEST(NumberParser, Table) {
  struct Row { const char* in; double out; size_t consumed; };
  const Row rows[] = {
      {"abc12.5e2x", 1250.0, 9}, {"", 0.0, 0},       {"none", 0.0, 4}, {"-3", 3.0, 2},
      {"1.5E-1", 0.15, 6},       {"7E", 7.0, 1},     {"7e+x", 7.0, 1}, {"12.", 12.0, 3},
      {"H:35.25", 35.25, 7},     {"0022.50000", 22.5, 10}, {"3.14.15", 3.14, 4},
  };
  for (const Row& r : rows) {
    size_t used = 99;
    EXPECT_DOUBLE_EQ(ZovParseNumber(r.in, &used), r.out) << r.in;
    EXPECT_EQ(used, r.consumed) << r.in;
  }
}

// ---- AMBA "$G" records ------------------------------------------------------

TEST(AmbaRecord, HeaderAndRecord) {
  std::string chunk = "$GS,1,-2,3$G,2023-01-05 12:34:56-N2232.1234-E11403.4980-S080";
  chunk.resize(128, '\0');
  GpsFix f;
  ASSERT_TRUE(ZovParseAmbaRecord(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), f));
  EXPECT_EQ(f.x, 1); EXPECT_EQ(f.y, -2); EXPECT_EQ(f.z, 3);
  EXPECT_EQ(f.year, 2023u); EXPECT_EQ(f.month, 1u); EXPECT_EQ(f.day, 5u);
  EXPECT_EQ(f.hour, 12u); EXPECT_EQ(f.minute, 34u); EXPECT_EQ(f.second, 56u);
  EXPECT_EQ(f.latLetter, 'N'); EXPECT_EQ(f.lonLetter, 'E');
  EXPECT_NEAR(f.latitude, 2232.1234, 1e-3);
  EXPECT_NEAR(f.longitude, 11403.498, 1e-3);
  EXPECT_NEAR(f.speed, 80.0 / 1.852, 1e-9);
}

TEST(AmbaRecord, TimeWithoutBlankAndSouthWest) {
  std::string chunk = "$GP2023-06-0701:02:03-S0130.0000-W00007.5000-S010";
  GpsFix f;
  ASSERT_TRUE(ZovParseAmbaRecord(reinterpret_cast<const uint8_t*>(chunk.data()), chunk.size(), f));
  EXPECT_EQ(f.hour, 1u); EXPECT_EQ(f.second, 3u);
  EXPECT_EQ(f.latLetter, 'S');
  EXPECT_NEAR(f.latitude, -130.0, 1e-4);
  EXPECT_NEAR(f.longitude, -7.5, 1e-4);
}

TEST(AmbaRecord, NoRecordYieldsNothing) {
  std::string only = "$GS,1,2,3$GS,4,5,6 nothing here";
  GpsFix f;
  EXPECT_FALSE(ZovParseAmbaRecord(reinterpret_cast<const uint8_t*>(only.data()), only.size(), f));
  std::string inf = "$G,2023-01-05 12:34:56-Ninf-E11403.4980-S080";
  EXPECT_FALSE(ZovParseAmbaRecord(reinterpret_cast<const uint8_t*>(inf.data()), inf.size(), f));
  std::string cut = "$G,2023-01-05 12:3";
  EXPECT_FALSE(ZovParseAmbaRecord(reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), f));
}

}  // namespace
