// Point and sensor exchange texts: exact writer output and reading it back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gps/zov_gps_text.h"

namespace {

GpsFix SampleFix() {
  GpsFix f;
  f.index = 3;
  f.year = 2023; f.month = 1; f.day = 5;
  f.hour = 7; f.minute = 8; f.second = 9;
  f.latLetter = 'S'; f.latitude = -22.5;
  f.lonLetter = 'E'; f.longitude = 114.058304;
  f.speed = 24.3;
  f.x = 0.01; f.y = -0.02; f.z = 0.98;
  f.heading = 359.96;
  f.altitude = 35.04;
  f.headingFlag = 1;
  return f;
}

TEST(PointText, WriterFormat) {
  std::string out;
  ZovAppendPointLine(out, SampleFix());
  EXPECT_EQ(out,
            "3 2023/01/05 07:08:09 S:-22.50000 E:114.05830 24.3 km/h x:0.01 y:-0.02 z:0.98 A:360.0 H:35.0 "
            "M:000000000000000 V:1 L:0.0 R:0.0;");
}

TEST(PointText, DeviceTextPrintedWhenSet) {
  GpsFix f = SampleFix();
  std::strcpy(f.device, "CAM7");
  std::string out;
  ZovAppendPointLine(out, f);
  EXPECT_NE(out.find(" M:CAM7 V:1 "), std::string::npos) << out;
  EXPECT_EQ(ZovDeviceTextForOutput(GpsFix{}), "000000000000000");
}

TEST(PointText, ReadBackSouthernLatitude) {
  std::string out;
  ZovAppendPointLine(out, SampleFix());
  ASSERT_EQ(out.back(), ';');
  ZovPointLine p;
  ASSERT_TRUE(ZovReadPointLine(std::string_view(out).substr(0, out.size() - 1), p));
  EXPECT_EQ(p.index, 3);
  EXPECT_EQ(p.year, 2023); EXPECT_EQ(p.month, 1); EXPECT_EQ(p.day, 5);
  EXPECT_EQ(p.hour, 7); EXPECT_EQ(p.minute, 8); EXPECT_EQ(p.second, 9);
  EXPECT_EQ(p.latLetter, 'S');
  EXPECT_FLOAT_EQ(p.latitude, -22.5f);
  EXPECT_EQ(p.lonLetter, 'E');
  EXPECT_FLOAT_EQ(p.longitude, 114.0583f);
  EXPECT_FLOAT_EQ(p.speed, 24.3f);
  EXPECT_FLOAT_EQ(p.accelX, 0.01f);
  EXPECT_FLOAT_EQ(p.accelY, -0.02f);
  EXPECT_FLOAT_EQ(p.accelZ, 0.98f);
  EXPECT_FLOAT_EQ(p.heading, 360.0f);
  EXPECT_FLOAT_EQ(p.altitude, 35.0f);
}

TEST(PointText, ReaderSignsByLetterAndBounds) {
  // A west letter with a positive value still reads negative; a south letter
  // with a negative value stays negative; sensor values out of bounds read 0.
  ZovPointLine p;
  ASSERT_TRUE(ZovReadPointLine("0 2023/01/05 00:00:01 s:22.50000 W:0.12500 1.0 km/h x:19.7 y:-1.0 z:-20.5 "
                               "A:10.0 H:5.0",
                               p));
  EXPECT_FLOAT_EQ(p.latitude, -22.5f);
  EXPECT_FLOAT_EQ(p.longitude, -0.125f);
  EXPECT_FLOAT_EQ(p.accelX, 0.0f);
  EXPECT_FLOAT_EQ(p.accelY, -1.0f);
  EXPECT_FLOAT_EQ(p.accelZ, 0.0f);
  // A speed token with the unit glued: the next token is x.
  ZovPointLine q;
  ASSERT_TRUE(ZovReadPointLine("1 2023/01/05 00:00:02 N:1.00000 E:2.00000 3.5km/h x:0.5 y:0.25 z:0.75", q));
  EXPECT_FLOAT_EQ(q.speed, 3.5f);
  EXPECT_FLOAT_EQ(q.accelX, 0.5f);
  EXPECT_FLOAT_EQ(q.accelZ, 0.75f);
}

TEST(PointText, ReaderRejectsBrokenHead) {
  ZovPointLine p;
  EXPECT_FALSE(ZovReadPointLine("", p));
  EXPECT_FALSE(ZovReadPointLine("x 2023/01/05 00:00:01", p));
  EXPECT_FALSE(ZovReadPointLine("1 2023-01-05 00:00:01 N:1.0 E:1.0", p));
  EXPECT_FALSE(ZovReadPointLine("1 2023/01/05", p));
}

TEST(SensorText, WriterFormatAndReadBack) {
  GpsFix f = SampleFix();
  std::string out;
  ZovAppendSensorLine(out, f);
  EXPECT_EQ(out,
            "3 2023/01/05 07:08:09 N:0.0 E:0.0 0.1 km/h x:0.01 y:-0.02 z:0.98 0.0 100 M:000000000000000 3.0 "
            "L:0.0 R:0.0;");
  ZovSensorLine s;
  ASSERT_TRUE(ZovReadSensorLine(std::string_view(out).substr(0, out.size() - 1), s));
  EXPECT_EQ(s.index, 3u);
  EXPECT_EQ(s.day, 5);
  EXPECT_EQ(s.second, 9);
  EXPECT_FLOAT_EQ(s.accelX, 0.01f);
  EXPECT_FLOAT_EQ(s.accelY, -0.02f);
  EXPECT_FLOAT_EQ(s.accelZ, 0.98f);
}

TEST(SensorText, ZReadFromRestAndBounded) {
  ZovSensorLine s;
  ASSERT_TRUE(ZovReadSensorLine("4 2023/01/05 07:08:09 N:0.0 E:0.0 0.1 km/h x:-19.6 y:19.61   z:12.5 0.0", s));
  EXPECT_FLOAT_EQ(s.accelX, -19.6f);
  EXPECT_FLOAT_EQ(s.accelY, 0.0f);
  EXPECT_FLOAT_EQ(s.accelZ, 12.5f);
}

TEST(PointText, SeveralLinesConcatenate) {
  std::string out;
  GpsFix a = SampleFix();
  GpsFix b = SampleFix();
  b.index = 4;
  b.latLetter = 'N';
  b.latitude = 1.0;
  ZovAppendPointLine(out, a);
  ZovAppendPointLine(out, b);
  size_t cut = out.find(';');
  ASSERT_NE(cut, std::string::npos);
  ZovPointLine p;
  ASSERT_TRUE(ZovReadPointLine(std::string_view(out).substr(cut + 1, out.size() - cut - 2), p));
  EXPECT_EQ(p.index, 4);
  EXPECT_FLOAT_EQ(p.latitude, 1.0f);
}

}  // namespace
