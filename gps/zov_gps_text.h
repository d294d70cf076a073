#pragma once
// Text formats of GPS data.
//
// Record grammars: one decoded record line -> fields of a GpsFix.
//   G1  "2023/01/05 12:34:56 N:22.53210 E:114.05830 45.0 km/h x:0.01 y:-0.02 z:0.98 A:90.0 H:35.0 M:E12.5"
//   G2  as G1; month forced to 1, hour wrapped mod 24, z may be glued to y
//   G3  "17 0 2023/01/05 12:34:56 N:... E:... 45.0 km/h x:... y:... z:..."  (index first)
//   G4  as G1, ending after z
//   C1  "230105,123456,22.532100,114.058300,45.0,90.0,35.0,DEVICE,0.01,-0.02,0.98"  (yymmdd)
//   C2  as C1 with the date as ddmmyy
//   $G  "$GS,1,2,3$G,2023-01-05 12:34:56-N2232.1234-E11403.4980-S080"  (AMBA track chunk)
// A grammar returns 0 when the record fails and non-zero when the fix is to be
// used; fields a grammar never reaches keep the value the fix already held.
//
// Exchange texts: the cleaned track as the point text and the sensor text,
// one ';'-terminated line per record (writers and readers).
//
// Every function reads only inside the text it is given (up to its length or
// its first NUL, whichever comes first).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "gps/zov_gps_fix.h"

enum class ZovGpsGrammar { kG1, kG2, kG3, kG4, kC1, kC2 };

// Number parser of the camera texts: skips to the first digit, reads digits,
// an optional '.' and digits and an optional exponent; no sign; 0 without a
// digit. `consumed` (optional) receives the offset just past the number.
double ZovParseNumber(std::string_view text, size_t* consumed = nullptr);

// Year rule: maps a year as read and checks it with the month. False when the
// record fails; otherwise `year` holds the full year.
bool ZovApplyYearRule(int yearRead, int month, uint32_t& year);

// Runs one record grammar on text[0, length) (stopping at a NUL).
int ZovParseRecord(ZovGpsGrammar grammar, const char* text, size_t length, GpsFix& fix);

// AMBA "$G" record from a track chunk into `fix` (which the caller zeroes).
// True when a "$G" record with date, time and both coordinates was found.
// Coordinates are stored as read (NMEA) and signed by their letters.
bool ZovParseAmbaRecord(const uint8_t* bytes, size_t length, GpsFix& fix);

// ---- Exchange texts ---------------------------------------------------------

// Device text as printed: the fix's device text, or fifteen '0' when empty.
std::string ZovDeviceTextForOutput(const GpsFix& fix);
// Appends one point line (with its ';') to `out`.
void ZovAppendPointLine(std::string& out, const GpsFix& fix);
// Appends one sensor line (with its ';') to `out`.
void ZovAppendSensorLine(std::string& out, const GpsFix& fix);

// One point line as read back.
struct ZovPointLine {
  int32_t index = 0;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  char latLetter = 0;
  char lonLetter = 0;
  float latitude = 0;   // signed: negative for S / s
  float longitude = 0;  // signed: negative for W / w
  float speed = 0;      // knots
  float accelX = 0, accelY = 0, accelZ = 0;
  float heading = 0;
  float altitude = 0;
};

// One sensor line as read back.
struct ZovSensorLine {
  uint32_t index = 0;
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
  float accelX = 0, accelY = 0, accelZ = 0;
};

// Reads one piece of the point text (the text between two ';', without the
// ';'). False when the piece does not start with an index, a date and a time.
bool ZovReadPointLine(std::string_view piece, ZovPointLine& point);
// Reads one piece of the sensor text. False as above.
bool ZovReadSensorLine(std::string_view piece, ZovSensorLine& sample);
