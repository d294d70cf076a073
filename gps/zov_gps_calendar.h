#pragma once
// Calendar arithmetic of fix dates: proleptic Gregorian, no time zone. The
// cameras' clocks and the GPS receivers give UTC, so every conversion between
// a date-time and seconds since 1970 goes through these (never through the
// machine's local zone, which would make a track depend on where it is read).
#include <cstdint>

#include "gps/zov_gps_fix.h"

// Days since 1970-01-01 of year/month/day. A month outside 1-12 rolls over
// into the year and a day outside the month runs on, as a calendar sum would.
int64_t ZovDaysFromCivil(int64_t year, int64_t month, int64_t day);
// The date of a day number (inverse of ZovDaysFromCivil for valid dates).
void ZovCivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day);
// Seconds since 1970-01-01 00:00:00 UTC of a date and time (fields roll over).
int64_t ZovUtcSeconds(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                      int64_t second);

// The date and time of a second since 1970 (UTC); seconds before 1970 count
// back from it.
struct ZovCivilTime {
  int64_t year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
ZovCivilTime ZovCivilFromUtcSeconds(int64_t seconds);
// Copies the date and time fields (year, month, day, hour, minute, second)
// of one record into another of any kind that has them: a fix, a calendar
// time, the tools' export and fixture points.
template <class To, class From>
void ZovCopyFixDate(To& to, const From& from) {
  to.year = static_cast<decltype(to.year)>(from.year);
  to.month = static_cast<decltype(to.month)>(from.month);
  to.day = static_cast<decltype(to.day)>(from.day);
  to.hour = static_cast<decltype(to.hour)>(from.hour);
  to.minute = static_cast<decltype(to.minute)>(from.minute);
  to.second = static_cast<decltype(to.second)>(from.second);
}

// Sets a fix's date and time fields to the given second since 1970 (UTC).
void ZovSetFixTime(GpsFix& fix, int64_t utcSeconds);
