#pragma once
// Datum shift of track points for the map pages: most map services of the
// mainland draw their tiles in the GCJ-02 datum, so WGS-84 fixes inside the
// mainland outline are moved by the GCJ-02 offset before they are shown.
//
// The offset is computed in the fixed-point form of its widely circulated
// reference implementation (coordinates in units of 1/3,686,400 degree, its
// own Taylor sine, the 0.6667 factors, pi = 3.1415926 in the final scaling)
// plus two small pseudo-random terms from a process-wide seed that every
// transform advances. The seed lives in CZovGcjShift::Instance().
#include <mutex>
#include <string_view>

// Units of the fixed-point coordinates: 1/3,686,400 degree.
inline constexpr double kZovGcjUnitsPerDegree = 3686400.0;

// Region of the Taiwan datum exception: positions inside stay unshifted.
inline constexpr double kZovTaiwanMinLongitude = 119.87;
inline constexpr double kZovTaiwanMaxLongitude = 122.15;
inline constexpr double kZovTaiwanMinLatitude = 21.8;
inline constexpr double kZovTaiwanMaxLatitude = 25.4;
// A selected map whose name contains this draws WGS-84: nothing is shifted.
inline constexpr const char* kZovUnshiftedMapName = "Openstreet";
// Nudge added to both coordinates of every point on load, in degrees.
inline constexpr double kZovLoadNudge = 0.00001;

// The transform's own sine: |x| reduced modulo 6.28318530717959, a reduced
// value above pi loses pi and flips the sign, then the Taylor series up to
// the x^11 term.
double ZovGcjSine(double x);

// One WGS-84 -> GCJ-02 transform with height, week and time 0. `seed` is the
// pseudo-random state (read and advanced). Coordinates in degrees. Returns
// false (outputs = inputs, seed untouched) when the position lies outside
// longitude 72.004..137.8347 or latitude 0.8293..55.8271.
bool ZovGcjTransform(double latitude, double longitude, double& seed, double& outLatitude,
                     double& outLongitude);

// The process-wide seed of the transform (0 at start).
class CZovGcjShift {
 public:
  static CZovGcjShift& Instance();
  // ZovGcjTransform with the process-wide seed; thread-safe.
  bool Transform(double latitude, double longitude, double& outLatitude, double& outLongitude);
  double Seed();
  void SetSeed(double seed);

 private:
  std::mutex lock_;
  double seed_ = 0;  // guarded by lock_
};

// The datum rule of one loaded point, in place: inside the Taiwan box or
// with an "Openstreet" map unchanged; otherwise, inside the mainland outline,
// replaced by its GCJ-02 position (with the process-wide seed).
void ZovApplyDatumShift(float& latitude, float& longitude, std::string_view mapName);
