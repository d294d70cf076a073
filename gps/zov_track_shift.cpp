#include "gps/zov_track_shift.h"

#include <cmath>
#include <cstdint>

#include "gps/zov_track_outline.h"

namespace {

// Constants of the reference transform, as it writes them.
constexpr double kTwoPi = 6.28318530717959;       // reduction period of its sine
constexpr double kPi = 3.1415926535897932;        // its sine's half period and the series' pi
constexpr double kScalePi = 3.1415926;            // pi of the final scaling
constexpr double kDegToRad = 0.0174532925199433;
constexpr double kSemiMajor = 6378245.0;          // a, metres
constexpr double kMeridianFactor = 6335552.7273521;  // a(1 - e^2), metres
constexpr double kEccentricity2 = 0.00669342;     // e^2
constexpr double kSineGroupFactor = 0.6667;       // each group of sine terms (not 2/3)
constexpr double kRandomMultiplier = 314159269.0;
constexpr double kRandomIncrement = 453806245.0;
// Accepted region of the transform.
constexpr double kMinLongitude = 72.004, kMaxLongitude = 137.8347;
constexpr double kMinLatitude = 0.8293, kMaxLatitude = 55.8271;

// Longitude offset series in x = longitude - 105, y = latitude - 35.
double LongitudeSeries(double x, double y) {
  double t = 300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * std::sqrt(std::fabs(x));
  t += (20.0 * ZovGcjSine(6.0 * kPi * x) + 20.0 * ZovGcjSine(2.0 * kPi * x)) * kSineGroupFactor;
  t += (20.0 * ZovGcjSine(kPi * x) + 40.0 * ZovGcjSine(kPi / 3.0 * x)) * kSineGroupFactor;
  t += (150.0 * ZovGcjSine(kPi / 12.0 * x) + 300.0 * ZovGcjSine(kPi / 30.0 * x)) * kSineGroupFactor;
  return t;
}

// Latitude offset series.
double LatitudeSeries(double x, double y) {
  double t = -100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * std::sqrt(std::fabs(x));
  t += (20.0 * ZovGcjSine(6.0 * kPi * x) + 20.0 * ZovGcjSine(2.0 * kPi * x)) * kSineGroupFactor;
  t += (20.0 * ZovGcjSine(kPi * y) + 40.0 * ZovGcjSine(kPi / 3.0 * y)) * kSineGroupFactor;
  t += (160.0 * ZovGcjSine(kPi / 12.0 * y) + 320.0 * ZovGcjSine(kPi / 30.0 * y)) * kSineGroupFactor;
  return t;
}

// Series value (metres) -> degrees of latitude at `latitude`.
double LatitudeDegrees(double latitude, double offset) {
  const double s = ZovGcjSine(latitude * kDegToRad);
  const double n = std::sqrt(1.0 - kEccentricity2 * s * s);
  return (offset * 180.0) / (kMeridianFactor / (n * n * n) * kScalePi);
}

// Series value (metres) -> degrees of longitude at `latitude`.
double LongitudeDegrees(double latitude, double offset) {
  const double s = ZovGcjSine(latitude * kDegToRad);
  const double n = std::sqrt(1.0 - kEccentricity2 * s * s);
  return (offset * 180.0) / (kSemiMajor / n * std::cos(latitude * kDegToRad) * kScalePi);
}

// One step of the pseudo-random sequence: a value in [0, 1).
double NextRandom(double& seed) {
  const double m = seed * kRandomMultiplier + kRandomIncrement;
  seed = (m - 2.0 * std::floor(m / 2.0)) / 2.0;
  return seed;
}

}  // namespace

double ZovGcjSine(double x) {
  bool negative = false;
  if (x < 0) {
    x = -x;
    negative = true;
  }
  double t = x - std::floor(x / kTwoPi) * kTwoPi;
  if (t > kPi) {
    t -= kPi;
    negative = !negative;
  }
  // Taylor series up to x^11.
  const double t2 = t * t;
  double power = t;
  double sum = t;
  static constexpr double kCoefficients[] = {1.0 / 6.0, 1.0 / 120.0, 1.0 / 5040.0, 1.0 / 362880.0,
                                             1.0 / 39916800.0};
  double sign = -1.0;
  for (double c : kCoefficients) {
    power *= t2;
    sum += sign * c * power;
    sign = -sign;
  }
  return negative ? -sum : sum;
}

bool ZovGcjTransform(double latitude, double longitude, double& seed, double& outLatitude,
                     double& outLongitude) {
  outLatitude = latitude;
  outLongitude = longitude;
  // To fixed point and back: the transform sees whole units of 1/3,686,400 degree.
  const double lon = static_cast<double>(static_cast<int64_t>(longitude * kZovGcjUnitsPerDegree)) /
                     kZovGcjUnitsPerDegree;
  const double lat = static_cast<double>(static_cast<int64_t>(latitude * kZovGcjUnitsPerDegree)) /
                     kZovGcjUnitsPerDegree;
  if (lon < kMinLongitude || lon > kMaxLongitude || lat < kMinLatitude || lat > kMaxLatitude)
    return false;
  const double o = NextRandom(seed);
  const double t = NextRandom(seed);
  // Height, week time and time are 0, so their terms (height x 0.001 and the
  // sine of the week time) vanish.
  const double lonOffset = LongitudeSeries(lon - 105.0, lat - 35.0) + o;
  const double latOffset = LatitudeSeries(lon - 105.0, lat - 35.0) + t;
  const int64_t lonUnits =
      static_cast<int64_t>((lon + LongitudeDegrees(lat, lonOffset)) * kZovGcjUnitsPerDegree);
  const int64_t latUnits =
      static_cast<int64_t>((lat + LatitudeDegrees(lat, latOffset)) * kZovGcjUnitsPerDegree);
  outLongitude = static_cast<double>(lonUnits) / kZovGcjUnitsPerDegree;
  outLatitude = static_cast<double>(latUnits) / kZovGcjUnitsPerDegree;
  return true;
}

CZovGcjShift& CZovGcjShift::Instance() {
  static CZovGcjShift shift;
  return shift;
}

bool CZovGcjShift::Transform(double latitude, double longitude, double& outLatitude,
                             double& outLongitude) {
  std::lock_guard<std::mutex> hold(lock_);
  return ZovGcjTransform(latitude, longitude, seed_, outLatitude, outLongitude);
}

double CZovGcjShift::Seed() {
  std::lock_guard<std::mutex> hold(lock_);
  return seed_;
}

void CZovGcjShift::SetSeed(double seed) {
  std::lock_guard<std::mutex> hold(lock_);
  seed_ = seed;
}

void ZovApplyDatumShift(float& latitude, float& longitude, std::string_view mapName) {
  if (longitude >= kZovTaiwanMinLongitude && longitude <= kZovTaiwanMaxLongitude &&
      latitude >= kZovTaiwanMinLatitude && latitude <= kZovTaiwanMaxLatitude)
    return;
  if (mapName.find(kZovUnshiftedMapName) != std::string_view::npos) return;
  if (!ZovInsideMainland(latitude, longitude)) return;
  double lat = 0, lon = 0;
  if (CZovGcjShift::Instance().Transform(latitude, longitude, lat, lon)) {
    latitude = static_cast<float>(lat);
    longitude = static_cast<float>(lon);
  }
}
