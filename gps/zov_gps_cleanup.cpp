#include "gps/zov_gps_cleanup.h"

#include <cmath>
#include <cstring>
#include <cstdint>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_text.h"

namespace zovcleanup {

namespace {

bool NoPosition(const GpsFix& f) {
  return std::fabs(f.latitude) < kZeroPosition || std::fabs(f.longitude) < kZeroPosition;
}

bool SameDateTime(const GpsFix& a, const GpsFix& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second;
}

// A copy of the sensor fields of a fix (index set by the caller).
GpsFix SensorRecord(const GpsFix& f) {
  GpsFix s;
  s.year = f.year;
  s.month = f.month;
  s.day = f.day;
  s.hour = f.hour;
  s.minute = f.minute;
  s.second = f.second;
  s.x = f.x;
  s.y = f.y;
  s.z = f.z;
  s.l = f.l;
  s.r = f.r;
  std::memcpy(s.device, f.device, sizeof(s.device));
  s.device[sizeof(s.device) - 1] = 0;
  return s;
}

}  // namespace

int32_t UtcTimeStamp(GpsFix& fix) {
  if (fix.year < 1901 || fix.year > 2030) fix.year = 2020;
  const int64_t t = ZovUtcSeconds(fix.year, fix.month, fix.day, fix.hour, fix.minute, fix.second);
  if (t < INT32_MIN || t > INT32_MAX) return -1;
  return static_cast<int32_t>(t);
}

void AddSeconds(GpsFix& fix, int64_t seconds) {
  ZovSetFixTime(fix, ZovUtcSeconds(fix.year, fix.month, fix.day, fix.hour, fix.minute, fix.second) +
                         seconds);
}

// Step 1. Sensor indexes follow the fixes' indexes; a first index above 60 is
// an absolute counter and is subtracted; a second fix that does not move past
// the first switches both lists to ordinal numbering.
GpsFixList BuildSensorList(GpsFixList& fixes) {
  GpsFixList sensors;
  if (fixes.empty()) return sensors;
  sensors.reserve(fixes.size());
  const uint32_t a = fixes[0].index;
  // Fixes placed on the recording's seconds keep them: a first fix 90 s in
  // belongs to second 90, not 0.
  if (a > 60 && !fixes[0].videoTimed) {
    fixes[0].index = 0;
    for (size_t i = 1; i < fixes.size(); ++i) fixes[i].index -= a;
  }
  bool ordinal = false;
  const bool placed = fixes[0].videoTimed;
  for (size_t i = 0; i < fixes.size(); ++i) {
    GpsFix& f = fixes[i];
    uint32_t sensorIndex = f.index;
    if (placed) {
      // Seconds of the recording stay seconds (a repeat is dropped later).
    } else if (ordinal) {
      f.index = static_cast<uint32_t>(i);
      sensorIndex = f.index;
    } else if (f.index <= a) {
      sensorIndex = static_cast<uint32_t>(i);
      if (i == 1) {
        ordinal = true;
        fixes[0].index = 0;
        sensors[0].index = 0;
        f.index = 1;
        sensorIndex = 1;
      }
    }
    GpsFix s = SensorRecord(f);
    s.index = sensorIndex;
    sensors.push_back(s);
  }
  return sensors;
}

// Step 2. Fixes without a position or month are dropped; each fix gets its
// UTC time stamp; a fix with a real time stamp is re-indexed from the last
// kept fix by the seconds between them (same second: dropped; earlier: the
// kept fix's stamp is pulled back and the fix dropped). A fix placed by the
// recording's own timeline keeps its index whatever its GPS time says (a
// receiver's clock that jumps must not shift the track against the video);
// one that does not come after the last kept fix is dropped.
void ReindexByTime(GpsFixList& fixes) {
  GpsFixList kept;
  kept.reserve(fixes.size());
  for (GpsFix& f : fixes) {
    if (NoPosition(f) || f.month == 0) continue;
    f.timeStamp = UtcTimeStamp(f);
    if (f.videoTimed) {
      if (kept.empty() || f.index > kept.back().index) kept.push_back(f);
      continue;
    }
    if (kept.empty()) {
      kept.push_back(f);
      continue;
    }
    GpsFix& k = kept.back();
    if (f.timeStamp > kValidStamp) {
      if (k.timeStamp <= kEarlyStamp) {
        // kept unchanged
      } else if (f.timeStamp == k.timeStamp) {
        continue;
      } else if (f.timeStamp > k.timeStamp) {
        f.index = k.index + static_cast<uint32_t>(int64_t(f.timeStamp) - k.timeStamp);
      } else {
        k.timeStamp = f.timeStamp - 1;
        continue;
      }
    } else if (SameDateTime(f, k)) {
      continue;
    }
    kept.push_back(f);
  }
  fixes.swap(kept);
}

// Step 3. Repeated date-times are dropped, then the indexes are made
// consecutive: too small ones are moved up, gaps are closed with copies.
void TidySensors(GpsFixList& sensors) {
  GpsFixList unique;
  unique.reserve(sensors.size());
  for (const GpsFix& s : sensors)
    if (unique.empty() || !SameDateTime(s, unique.back())) unique.push_back(s);
  GpsFixList out;
  out.reserve(unique.size());
  for (GpsFix s : unique) {
    if (!out.empty()) {
      const int64_t c = out.back().index;
      const int64_t d = s.index;
      if (d < c + 1) {
        s.index = static_cast<uint32_t>(c + 1);
      } else if (d > c + 1 && d - c - 1 <= kMaxSensorGap) {
        for (int64_t i = c + 1; i < d; ++i) {
          GpsFix copy = s;
          copy.index = static_cast<uint32_t>(i);
          out.push_back(copy);
        }
      }
    }
    out.push_back(s);
  }
  sensors.swap(out);
}

// Step 4.
void DropZeroPositions(GpsFixList& fixes) {
  GpsFixList kept;
  kept.reserve(fixes.size());
  for (const GpsFix& f : fixes)
    if (!NoPosition(f)) kept.push_back(f);
  fixes.swap(kept);
}

// Step 5. Indexes that already increase stay (a last fix breaking the order
// follows its predecessor); otherwise every index is rebuilt from the time
// stamps, one second for a step that is missing, negative or too long.
void MakeIndexesIncreasing(GpsFixList& fixes) {
  const size_t n = fixes.size();
  if (n < 2) return;
  size_t firstBreak = n;
  for (size_t i = 1; i < n; ++i)
    if (fixes[i].index <= fixes[i - 1].index) {
      firstBreak = i;
      break;
    }
  if (firstBreak == n) return;
  if (firstBreak == n - 1) {
    fixes[n - 1].index = fixes[n - 2].index + 1;
    return;
  }
  uint32_t start = std::min(fixes[0].index, fixes[1].index);
  if (start > kMaxFirstIndex) start = 0;
  fixes[0].index = start;
  for (size_t i = 1; i < n; ++i) {
    GpsFix& prev = fixes[i - 1];
    GpsFix& f = fixes[i];
    // A predecessor that is not below this fix's own index while the list
    // started above 0 sends the numbering back to 0.
    if (prev.index >= f.index && start != 0) {
      prev.index = 0;
      start = 0;
    }
    int64_t step = 1;
    if (prev.timeStamp != -1 && f.timeStamp != -1) {
      const int64_t d = int64_t(f.timeStamp) - prev.timeStamp;
      if (d >= 0 && d <= kMaxStepSeconds) step = d;
    }
    f.index = static_cast<uint32_t>(prev.index + step);
  }
}

// Step 6. A single fix whose latitude (or else longitude) rate from its
// predecessor exceeds the threshold while the successor's does not is a spike.
void FilterJumps(GpsFixList& fixes) {
  if (fixes.size() < 3) return;
  GpsFixList out;
  out.reserve(fixes.size());
  out.push_back(fixes[0]);
  for (size_t i = 1; i < fixes.size(); ++i) {
    const GpsFix& b = fixes[i];
    if (i + 1 < fixes.size()) {
      const GpsFix& a = out.back();
      const GpsFix& c = fixes[i + 1];
      const int64_t gapB = int64_t(b.index) - a.index;
      const int64_t gapC = int64_t(c.index) - a.index;
      if (gapB >= 1 && gapB <= kJumpMaxGap && gapC >= 1 && gapC <= kJumpMaxGap) {
        const double latB = std::fabs(b.latitude - a.latitude) / double(gapB);
        const double latC = std::fabs(c.latitude - a.latitude) / double(gapC);
        const double lonB = std::fabs(b.longitude - a.longitude) / double(gapB);
        const double lonC = std::fabs(c.longitude - a.longitude) / double(gapC);
        const double t = kJumpLatitudeRate;
        if (latB > t && latC < t) continue;
        if (lonB > kJumpLongitudeRate && lonC < kJumpLongitudeRate) continue;
      }
    }
    out.push_back(b);
  }
  fixes.swap(out);
}

// Longitude (or angle) step from `from` to `to` the short way round (a drive
// over the 180th meridian steps from +180 to -180, not across the whole world).
double LongitudeStep(double from, double to) {
  double d = to - from;
  if (d > 180.0) d -= 360.0;
  if (d < -180.0) d += 360.0;
  return d;
}

// A longitude moved past +-180 brought back into the range, its hemisphere
// letter following its sign.
void WrapLongitude(GpsFix& fix) {
  const bool wasWest = fix.longitude < 0;
  if (fix.longitude > 180.0) fix.longitude -= 360.0;
  if (fix.longitude < -180.0) fix.longitude += 360.0;
  if ((fix.longitude < 0) == wasWest) return;
  if (fix.lonLetter == 'E' || fix.lonLetter == 'W') fix.lonLetter = fix.longitude < 0 ? 'W' : 'E';
  if (fix.lonLetter == 'e' || fix.lonLetter == 'w') fix.lonLetter = fix.longitude < 0 ? 'w' : 'e';
}

// Step 7. Indexes out of order or past the fill range follow their
// predecessor; each gap of n seconds is closed with n copies of the fix
// before it, moved along the way to the fix after it. Fixes placed on the
// recording's seconds keep their indexes at any second; their gaps are
// filled wherever they are, up to kMaxVideoGap seconds each (a longer one
// is a stretch without a fix, which interpolation would invent).
void FillGaps(GpsFixList& fixes) {
  if (fixes.empty()) return;
  const bool placed = fixes.front().videoTimed;
  for (size_t i = 1; i < fixes.size() && !placed; ++i) {
    const uint32_t p = fixes[i - 1].index;
    if (fixes[i].index < p || fixes[i].index > kMaxFillIndex) fixes[i].index = p + 1;
  }
  GpsFixList out;
  out.reserve(fixes.size());
  int gaps = 0;
  for (size_t i = 0; i < fixes.size(); ++i) {
    out.push_back(fixes[i]);
    if (i + 1 == fixes.size()) break;
    const GpsFix& a = fixes[i];
    const GpsFix& b = fixes[i + 1];
    if (b.index <= a.index + 1) continue;
    if (placed ? b.index - a.index - 1 > kMaxVideoGap : b.index > kMaxFillIndex) continue;
    if (gaps >= kMaxGaps) continue;
    ++gaps;
    const uint32_t n = b.index - a.index - 1;
    for (uint32_t k = 1; k <= n; ++k) {
      GpsFix c = a;
      const double t = double(k) / double(n + 1);
      c.index = a.index + k;
      AddSeconds(c, k);
      c.latitude = a.latitude + (b.latitude - a.latitude) * t;
      c.longitude = a.longitude + LongitudeStep(a.longitude, b.longitude) * t;
      WrapLongitude(c);
      // Headings turn the short way too (350 to 10 passes north, not south).
      c.heading = a.heading + LongitudeStep(a.heading, b.heading) * t;
      if (c.heading < 0) c.heading += 360.0;
      if (c.heading >= 360.0) c.heading -= 360.0;
      c.l = b.l;
      c.r = b.r;
      out.push_back(c);
    }
  }
  fixes.swap(out);
}

double InitialBearing(double latA, double lonA, double latB, double lonB) {
  constexpr double kRad = M_PI / 180.0;
  const double p1 = latA * kRad, p2 = latB * kRad, dl = (lonB - lonA) * kRad;
  const double y = std::sin(dl) * std::cos(p2);
  const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
  double b = std::atan2(y, x) / kRad;
  b = std::fmod(b + 360.0, 360.0);
  return b;
}

// Step 8. Fixes whose record carried no heading point to their successor.
// The value stored is the bearing, clockwise from north as the cameras write
// their own headings, so the compass and the exports read one convention;
// due north is stored as 360, since 0 marks a fix with no heading (the last).
void ComputeHeadings(GpsFixList& fixes) {
  double lastBeta = 0;
  for (size_t i = 0; i + 1 < fixes.size(); ++i) {
    GpsFix& a = fixes[i];
    const GpsFix& b = fixes[i + 1];
    if (a.headingFlag != kHeadingFlagNone) continue;
    double beta;
    const double dLat = b.latitude - a.latitude, dLon = LongitudeStep(a.longitude, b.longitude);
    if (std::fabs(b.latitude) < kHeadingEpsilon || std::fabs(b.longitude) < kHeadingEpsilon) {
      beta = lastBeta;
    } else if (std::fabs(dLat) < kHeadingEpsilon && std::fabs(dLon) < kHeadingEpsilon) {
      beta = 0;
    } else if (std::fabs(dLat) < kHeadingEpsilon) {
      beta = dLon > 0 ? 90 : 270;
    } else if (std::fabs(dLon) < kHeadingEpsilon) {
      beta = dLat < 0 ? 180 : 0;
    } else {
      beta = InitialBearing(a.latitude, a.longitude, b.latitude, b.longitude);
    }
    lastBeta = beta;
    a.heading = beta == 0 ? 360.0 : beta;
  }
}

void SanitizeDeviceText(GpsFix& fix) {
  for (char& c : fix.device) {
    if (c == 0) break;
    if (c == ';' || static_cast<unsigned char>(c) < 0x20) c = '_';
  }
}

}  // namespace zovcleanup

GpsFixList ZovCleanUpFixes(GpsFixList& fixes) {
  using namespace zovcleanup;
  GpsFixList sensors = BuildSensorList(fixes);
  ReindexByTime(fixes);
  TidySensors(sensors);
  DropZeroPositions(fixes);
  MakeIndexesIncreasing(fixes);
  FilterJumps(fixes);
  FillGaps(fixes);
  ComputeHeadings(fixes);
  return sensors;
}

ZovCleanupCounts ZovCleanUpAndPrint(GpsFixList& fixes, std::string& pointText,
                                    std::string& sensorText, GpsFixList* printed) {
  using namespace zovcleanup;
  GpsFixList sensors = ZovCleanUpFixes(fixes);

  ZovCleanupCounts counts;
  counts.fixCount = static_cast<int>(fixes.size());
  counts.sensorCount = static_cast<int>(sensors.size());
  pointText.clear();
  sensorText.clear();
  pointText.reserve(fixes.size() * 160);
  sensorText.reserve(sensors.size() * 160);
  int lines = 0;
  for (GpsFix& f : fixes) {
    if (lines >= counts.fixCount) break;
    if ((f.latLetter != 'N' && f.latLetter != 'S') || (f.lonLetter != 'E' && f.lonLetter != 'W'))
      continue;
    SanitizeDeviceText(f);
    ZovAppendPointLine(pointText, f);
    if (printed) printed->push_back(f);
    ++lines;
  }
  for (GpsFix& s : sensors) {
    SanitizeDeviceText(s);
    ZovAppendSensorLine(sensorText, s);
  }
  GpsFixList().swap(fixes);
  return counts;
}
