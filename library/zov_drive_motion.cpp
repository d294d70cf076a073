#include "library/zov_drive_motion.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

#include "gps/zov_gps_extractor.h"
#include "library/zov_recording_probe.h"

namespace {

constexpr double kKnotsToKmh = 1.852;
// Points of one run further apart than this are two runs.
constexpr int64_t kRunGapMs = 2000;
// The speed trend of a sample compares the speed this long before and after.
constexpr int64_t kTrendHalfMs = 1000;

struct SpeedAt {
  int64_t ms;
  double kmh;
};

// The drive's fixes as one list sorted by time; a segment break becomes a
// gap wider than kZovMaxDeriveGapMs, so nothing is read across it.
std::vector<SpeedAt> Flatten(const std::vector<std::vector<ZovDrivePoint>>& segments) {
  std::vector<SpeedAt> out;
  for (const auto& segment : segments)
    for (const ZovDrivePoint& p : segment) out.push_back({p.ms, p.speedKnots * kKnotsToKmh});
  std::stable_sort(out.begin(), out.end(), [](const SpeedAt& a, const SpeedAt& b) { return a.ms < b.ms; });
  return out;
}

// The speed at `ms` between the fixes around it; NAN when no fix lies near.
double SpeedNear(const std::vector<SpeedAt>& speeds, int64_t ms) {
  auto after = std::lower_bound(speeds.begin(), speeds.end(), ms,
                                [](const SpeedAt& s, int64_t t) { return s.ms < t; });
  if (after != speeds.end() && after->ms == ms) return after->kmh;
  const bool hasAfter = after != speeds.end();
  const bool hasBefore = after != speeds.begin();
  if (hasAfter && hasBefore) {
    const SpeedAt& a = *(after - 1);
    const SpeedAt& b = *after;
    if (b.ms - a.ms <= kZovMaxDeriveGapMs)
      return a.kmh + (b.kmh - a.kmh) * double(ms - a.ms) / double(b.ms - a.ms);
  }
  if (hasAfter && after->ms - ms <= kTrendHalfMs) return after->kmh;
  if (hasBefore && ms - (after - 1)->ms <= kTrendHalfMs) return (after - 1)->kmh;
  return NAN;
}

int8_t TrendAt(const std::vector<SpeedAt>& speeds, int64_t ms) {
  const double before = SpeedNear(speeds, ms - kTrendHalfMs);
  const double later = SpeedNear(speeds, ms + kTrendHalfMs);
  if (std::isnan(before) || std::isnan(later) || std::fabs(later - before) < kZovSteadyKmh) return 0;
  return later > before ? 1 : -1;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  return values[mid];
}

// The kind a point asks for, or none.
bool KindOf(const ZovAccelPoint& p, ZovMarkKind* kind) {
  if (p.measured && p.g >= kZovImpactG) {
    *kind = ZovMarkKind::kImpact;
    return true;
  }
  if (!p.measured && p.g > kZovMaxTyreG) return false;
  if (p.trend < 0 && p.g >= kZovHardBrakingG) {
    *kind = ZovMarkKind::kHardBraking;
    return true;
  }
  if (p.trend > 0 && p.g >= kZovHardAccelerationG) {
    *kind = ZovMarkKind::kHardAcceleration;
    return true;
  }
  return false;
}

}  // namespace

std::vector<ZovMotionMark> ZovDetectMarks(const std::vector<ZovAccelPoint>& series) {
  std::vector<ZovMotionMark> marks;
  bool open = false;
  int64_t lastMs = 0;
  for (const ZovAccelPoint& p : series) {
    ZovMarkKind kind;
    if (!KindOf(p, &kind)) {
      open = false;
      continue;
    }
    if (open && marks.back().kind == kind && p.ms - lastMs <= kRunGapMs) {
      if (p.g > marks.back().peakG) marks.back().ms = p.ms, marks.back().peakG = p.g;
    } else {
      marks.push_back({kind, p.ms, p.g});
      open = true;
    }
    lastMs = p.ms;
  }
  return marks;
}

bool ZovHasSensorData(const std::vector<GsensorSample>& samples) {
  return std::any_of(samples.begin(), samples.end(), [](const GsensorSample& s) {
    return s.accelX != 0 || s.accelY != 0 || s.accelZ != 0;
  });
}

ZovDriveMotion ZovBuildDriveMotion(const ZovDrivePlan& plan,
                                   const std::vector<std::vector<GsensorSample>>& samples) {
  ZovDriveMotion motion;
  motion.lengthMs = plan.LengthMs();
  motion.speed = ZovDriveTrack(plan);
  const std::vector<SpeedAt> speeds = Flatten(motion.speed);
  motion.measured.assign(plan.moments.size(), false);

  for (size_t k = 0; k < plan.moments.size(); ++k) {
    if (k >= samples.size() || !ZovHasSensorData(samples[k])) continue;
    const ZovPlanMoment& m = plan.moments[k];
    const std::vector<GsensorSample>& series = samples[k];
    motion.measured[k] = true;
    // Each axis' median over the moment is gravity plus the mounting's tilt.
    std::vector<double> xs, ys, zs;
    for (const GsensorSample& s : series) xs.push_back(s.accelX), ys.push_back(s.accelY), zs.push_back(s.accelZ);
    const double mx = Median(xs), my = Median(ys), mz = Median(zs);
    for (const GsensorSample& s : series) {
      const int64_t within = int64_t(s.index) * 1000;
      if (within > m.lengthMs) continue;
      const double dx = s.accelX - mx, dy = s.accelY - my, dz = s.accelZ - mz;
      ZovAccelPoint p;
      p.ms = m.offsetMs + within;
      p.g = static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz) / kZovStandardGravity);
      p.trend = TrendAt(speeds, p.ms);
      p.measured = true;
      motion.accel.push_back(p);
    }
  }

  // The moment of a drive time by binary search over the moments' starts
  // (a drive of hundreds of moments stays linear in its fixes).
  std::vector<int64_t> starts;
  for (const ZovPlanMoment& m : plan.moments) starts.push_back(m.offsetMs);
  const auto momentOf = [&starts](int64_t ms) {
    const auto after = std::upper_bound(starts.begin(), starts.end(), ms);
    return after == starts.begin() ? size_t(0) : size_t(after - starts.begin() - 1);
  };
  // Moments without sensor data: the speed's change between fixes.
  for (size_t i = 1; i < speeds.size(); ++i) {
    const SpeedAt& a = speeds[i - 1];
    const SpeedAt& b = speeds[i];
    const int64_t dt = b.ms - a.ms;
    if (dt <= 0 || dt > kZovMaxDeriveGapMs) continue;
    const size_t k = momentOf(b.ms);
    // Across a boundary lies the pause the drive clock leaves out: the
    // speed's change there is no acceleration.
    if (momentOf(a.ms) != k) continue;
    if (k < motion.measured.size() && motion.measured[k]) continue;
    const double accel = (b.kmh - a.kmh) / 3.6 / (double(dt) / 1000.0) / kZovStandardGravity;
    ZovAccelPoint p;
    p.ms = b.ms;
    p.g = static_cast<float>(std::fabs(accel));
    p.trend = std::fabs(b.kmh - a.kmh) < kZovSteadyKmh ? 0 : (accel > 0 ? 1 : -1);
    motion.accel.push_back(p);
    motion.anyDerived = true;
  }
  std::stable_sort(motion.accel.begin(), motion.accel.end(),
                   [](const ZovAccelPoint& a, const ZovAccelPoint& b) { return a.ms < b.ms; });
  motion.marks = ZovDetectMarks(motion.accel);
  return motion;
}

// ---- Reader ------------------------------------------------------------------

CZovDriveMotionReader::CZovDriveMotionReader(ReadFn read)
    : read_(read ? std::move(read) : ReadFn(&CZovDriveMotionReader::ReadWithExtractor)) {}

CZovDriveMotionReader::~CZovDriveMotionReader() { Cancel(); }

void CZovDriveMotionReader::Cancel() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

void CZovDriveMotionReader::Start(std::shared_ptr<const ZovDrivePlan> plan, DoneFn done) {
  Cancel();
  if (!plan) return;
  stop_ = false;
  worker_ = std::thread([this, plan = std::move(plan), done = std::move(done)] {
    const std::function<bool()> stop = [this] { return stop_.load(); };
    std::vector<Samples> samples(plan->moments.size());
    for (size_t k = 0; k < plan->moments.size(); ++k) {
      if (stop()) return;
      const ZovPlanMoment& m = plan->moments[k];
      if (m.playable && !m.lead.empty()) samples[k] = read_(m.lead, stop);
    }
    if (stop()) return;
    auto motion = std::make_shared<const ZovDriveMotion>(ZovBuildDriveMotion(*plan, samples));
    if (!stop() && done) done(std::move(motion));
  });
}

CZovDriveMotionReader::Samples CZovDriveMotionReader::ReadWithExtractor(const std::string& path,
                                                                        const std::function<bool()>& stop) {
  // Another caller (the play list's loader, a scan) may hold the extractor
  // for a while: wait in short steps so a cancel is heard.
  std::unique_lock<std::mutex> lock(ZovExtractorLock(), std::defer_lock);
  while (!lock.try_lock()) {
    if (stop()) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  uint32_t handle = 0;
  InitExtractor(&handle);
  std::string points, sensors;
  const int found = ExtractGps(&handle, path, &points, &sensors, stop);
  lock.unlock();
  if (found <= 0 || stop()) return {};
  FileTrack track;
  ZovReadTrackTexts(std::string_view(), sensors, std::string_view(), track);
  return std::move(track.samples);
}
