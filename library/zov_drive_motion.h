#pragma once
// The motion of a drive as the timeline under the video shows it: speed and
// acceleration over the drive clock, and the marks where the acceleration
// says hard braking, hard acceleration or an impact.
//
// Acceleration comes from a moment's G-sensor samples when its lead
// recording has any (one a second, axes in m/s^2, gravity and the camera's
// mounting taken out by subtracting each axis' median over the moment), else
// from the change of its GPS speed between fixes of the moment (longitudinal
// only; never across two moments, whose pause the drive clock leaves out).
//
//   ZovBuildDriveMotion(plan, samples per moment)   pure, any thread
//   ZovDetectMarks(series)                          pure, any thread
//   CZovDriveMotionReader                            reads the samples on a
//                                                    worker thread it owns
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gps/zov_track_record.h"
#include "library/zov_drive_plan.h"

inline constexpr double kZovStandardGravity = 9.80665;  // m/s^2 in one g

// Hard braking: a deceleration of 0.45 g or more, the "hard stop" of the
// Naturalistic Teenage Driving Study's elevated g-force events
// (Simons-Morton et al., American Journal of Public Health 101(12), 2011).
inline constexpr double kZovHardBrakingG = 0.45;
// Hard acceleration: 0.35 g or more, the same study's "rapid start".
inline constexpr double kZovHardAccelerationG = 0.35;
// Impact: the event data recorder trigger of 49 CFR 563.5 (and UN Regulation
// No. 160): a change of velocity of 8 km/h within 150 ms, about 1.51 g.
inline constexpr double kZovImpactG = (8.0 / 3.6) / 0.150 / kZovStandardGravity;
// A longitudinal acceleration derived from GPS speed above this is a fix
// that jumped, not a manoeuvre: tyres on dry asphalt grip up to about 1 g.
inline constexpr double kZovMaxTyreG = 1.0;
// A speed change below this between the seconds around a sample (km/h) says
// neither braking nor accelerating.
inline constexpr double kZovSteadyKmh = 1.0;
// Two fixes further apart than this give no derived acceleration.
inline constexpr int64_t kZovMaxDeriveGapMs = 3000;

// One acceleration value on the drive clock.
struct ZovAccelPoint {
  int64_t ms = 0;
  float g = 0;         // magnitude beyond gravity (sensor) or |longitudinal| (GPS), in g
  int8_t trend = 0;    // -1 the speed falls, +1 it rises, 0 steady or unknown
  bool measured = false;  // from the G-sensor (false: derived from GPS speed)
};

enum class ZovMarkKind { kHardBraking, kHardAcceleration, kImpact };

struct ZovMotionMark {
  ZovMarkKind kind = ZovMarkKind::kImpact;
  int64_t ms = 0;      // the peak's drive time
  float peakG = 0;
  bool operator==(const ZovMotionMark&) const = default;
};

// The marks of a series sorted by time. A run of points over a kind's
// threshold is one mark at its peak. Impacts come from measured points at or
// over kZovImpactG (any direction); braking and acceleration need the speed
// trend (falling, rising). Derived points above kZovMaxTyreG are glitches
// and mark nothing.
std::vector<ZovMotionMark> ZovDetectMarks(const std::vector<ZovAccelPoint>& series);

struct ZovDriveMotion {
  int64_t lengthMs = 0;
  // Speed on the drive clock (ZovDriveTrack's segments: gaps stay gaps).
  std::vector<std::vector<ZovDrivePoint>> speed;
  std::vector<ZovAccelPoint> accel;   // sorted by ms
  std::vector<bool> measured;         // per moment: its acceleration is the G-sensor's
  std::vector<ZovMotionMark> marks;
  // True when some moment with a track has its acceleration from GPS speed.
  bool anyDerived = false;
};

// A moment's G-sensor samples hold data: some axis is not zero (records of
// cameras without a sensor carry zeros).
bool ZovHasSensorData(const std::vector<GsensorSample>& samples);

// The motion of `plan`; `samples[k]` are moment k's G-sensor samples (empty
// or missing: none, the GPS speed is used).
ZovDriveMotion ZovBuildDriveMotion(const ZovDrivePlan& plan,
                                   const std::vector<std::vector<GsensorSample>>& samples);

// Reads every moment's G-sensor samples from its lead recording on a worker
// thread and hands the finished motion to `done` (called on the worker).
// Start cancels and joins a read still running; so does the destructor. The
// extractor's lock is waited for with the stop request checked, so a cancel
// never waits for another caller's extraction to end.
class CZovDriveMotionReader {
 public:
  using Samples = std::vector<GsensorSample>;
  // Reads one recording's samples; `stop` answers true once cancelled.
  using ReadFn = std::function<Samples(const std::string& path, const std::function<bool()>& stop)>;
  using DoneFn = std::function<void(std::shared_ptr<const ZovDriveMotion>)>;

  // `read` empty: the GPS extractor under ZovExtractorLock().
  explicit CZovDriveMotionReader(ReadFn read = {});
  ~CZovDriveMotionReader();
  CZovDriveMotionReader(const CZovDriveMotionReader&) = delete;
  CZovDriveMotionReader& operator=(const CZovDriveMotionReader&) = delete;

  void Start(std::shared_ptr<const ZovDrivePlan> plan, DoneFn done);
  void Cancel();
  bool Running() const { return worker_.joinable(); }

  // The extractor's read of one recording (the default ReadFn).
  static Samples ReadWithExtractor(const std::string& path, const std::function<bool()>& stop);

 private:
  ReadFn read_;
  std::atomic<bool> stop_{false};
  std::thread worker_;
};
