#include "gps/zov_gps_calendar.h"

namespace {
// Floor division (the day arithmetic needs it for dates before 1970).
int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
}  // namespace

int64_t ZovDaysFromCivil(int64_t y, int64_t m, int64_t d) {
  // Months into 1-12 first, the surplus into the year.
  const int64_t m0 = m - 1;
  y += FloorDiv(m0, 12);
  m = m0 - FloorDiv(m0, 12) * 12 + 1;
  y -= m <= 2;
  const int64_t era = FloorDiv(y, 400);
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void ZovCivilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  const int64_t era = FloorDiv(z, 146097);
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

int64_t ZovUtcSeconds(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute,
                      int64_t second) {
  return ZovDaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

ZovCivilTime ZovCivilFromUtcSeconds(int64_t seconds) {
  ZovCivilTime c;
  const int64_t days = FloorDiv(seconds, 86400);
  const int64_t rest = seconds - days * 86400;
  ZovCivilFromDays(days, c.year, c.month, c.day);
  c.hour = rest / 3600;
  c.minute = rest / 60 % 60;
  c.second = rest % 60;
  return c;
}

void ZovSetFixTime(GpsFix& fix, int64_t utcSeconds) {
  ZovCopyFixDate(fix, ZovCivilFromUtcSeconds(utcSeconds));
}
