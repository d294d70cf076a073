#include "library/zov_library_types.h"

#include <cstdio>
#include <ctime>

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days-from-civil), and its inverse.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* y, int* m, int* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (*m <= 2));
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// Camera clocks outside these years are unset or broken.
constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2099;

}  // namespace

const char* ZovChannelName(ZovChannel channel) {
  switch (channel) {
    case ZovChannel::kFront: return "front";
    case ZovChannel::kRear: return "rear";
    case ZovChannel::kInterior: return "interior";
    case ZovChannel::kLeft: return "left";
    case ZovChannel::kRight: return "right";
    case ZovChannel::kExtra: return "extra";
    case ZovChannel::kUnknown: break;
  }
  return "";
}

const char* ZovModeName(ZovMode mode) {
  switch (mode) {
    case ZovMode::kNormal: return "normal";
    case ZovMode::kEvent: return "event";
    case ZovMode::kParking: return "parking";
    case ZovMode::kManual: return "manual";
    case ZovMode::kLocked: return "locked";
    case ZovMode::kTimelapse: return "timelapse";
  }
  return "normal";
}

int ZovModeWeight(ZovMode mode) {
  switch (mode) {
    case ZovMode::kNormal: return 0;
    case ZovMode::kTimelapse: return 1;
    case ZovMode::kParking: return 2;
    case ZovMode::kManual: return 3;
    case ZovMode::kEvent: return 4;
    case ZovMode::kLocked: return 5;
  }
  return 0;
}

int64_t ZovCameraTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < kFirstYear || year > kLastYear || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59)
    return kZovNoTime;
  return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
         hour * 3600 + minute * 60 + second;
}

void ZovSplitCameraTime(int64_t t, int* year, int* month, int* day, int* hour, int* minute,
                        int* second) {
  int64_t days = t / 86400;
  int64_t rest = t % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  CivilFromDays(days, year, month, day);
  *hour = static_cast<int>(rest / 3600);
  *minute = static_cast<int>(rest / 60 % 60);
  *second = static_cast<int>(rest % 60);
}

std::string ZovFormatCameraTime(int64_t t) {
  if (t == kZovNoTime) return {};
  int y, mo, d, h, mi, s;
  ZovSplitCameraTime(t, &y, &mo, &d, &h, &mi, &s);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", y, mo, d, h, mi, s);
  return text;
}

int64_t ZovRecording::Start() const {
  if (name.start != kZovNoTime) return name.start;
  if (facts.created != kZovNoTime) return facts.created;
  const time_t t = static_cast<time_t>(mtimeNs / 1000000000);
  struct tm local {};
  if (!localtime_r(&t, &local)) return t;
  return static_cast<int64_t>(t) + local.tm_gmtoff;
}

size_t ZovMoment::Lead() const {
  for (const auto& [key, index] : channels)
    if (key == "front") return index;
  return channels.empty() ? 0 : channels.front().second;
}
