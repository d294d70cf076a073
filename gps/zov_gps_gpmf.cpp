// GPMF payload decoding; see zov_gps_gpmf.h for the record layout.
#include "gps/zov_gps_gpmf.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "gps/zov_gps_calendar.h"

using namespace zovgpmf;

namespace {

constexpr size_t kHeaderSize = 8;
// More divisors or element types than this are not a real stream.
constexpr size_t kMaxElements = 64;
// Below this a coordinate counts as "no position" (as in the clean-up).
constexpr double kZeroPosition = 1e-7;

struct Record {
  const char* key;  // 4 characters, not NUL-terminated
  char type;
  size_t structSize;
  size_t repeat;
  const uint8_t* data;
  size_t dataSize;  // structSize x repeat
  bool Is(const char* k) const { return std::memcmp(key, k, 4) == 0; }
};

// Reads the record at p; false when its header or data runs past end. On
// success p moves past the record and its padding (the padding of the last
// record may be cut off by the end of the buffer).
bool NextRecord(const uint8_t*& p, const uint8_t* end, Record& r) {
  if (end - p < static_cast<ptrdiff_t>(kHeaderSize)) return false;
  r.key = reinterpret_cast<const char*>(p);
  r.type = static_cast<char>(p[4]);
  r.structSize = p[5];
  r.repeat = size_t(p[6]) << 8 | p[7];
  r.dataSize = r.structSize * r.repeat;
  r.data = p + kHeaderSize;
  const size_t left = static_cast<size_t>(end - r.data);
  if (r.dataSize > left) return false;
  const size_t padded = (r.dataSize + 3) & ~size_t(3);
  p = r.data + (padded < left ? padded : left);
  return true;
}

size_t TypeSize(char t) {
  switch (t) {
    case 'b': case 'B': case 'c': return 1;
    case 's': case 'S': return 2;
    case 'l': case 'L': case 'f': case 'q': case 'F': return 4;
    case 'd': case 'j': case 'J': case 'Q': return 8;
    default: return 0;
  }
}

uint64_t Be(const uint8_t* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

// One element of type t at p (TypeSize(t) bytes are there) as a number.
double Element(char t, const uint8_t* p) {
  switch (t) {
    case 'b': return int8_t(p[0]);
    case 'B': case 'c': return p[0];
    case 's': return int16_t(Be(p, 2));
    case 'S': return double(Be(p, 2));
    case 'l': return int32_t(Be(p, 4));
    case 'L': case 'F': return double(Be(p, 4));
    case 'q': return int32_t(Be(p, 4)) / 65536.0;
    case 'j': return double(int64_t(Be(p, 8)));
    case 'J': return double(Be(p, 8));
    case 'Q': return double(int64_t(Be(p, 8))) / 4294967296.0;
    case 'f': {
      const uint32_t u = uint32_t(Be(p, 4));
      float f;
      std::memcpy(&f, &u, 4);
      return f;
    }
    case 'd': {
      const uint64_t u = Be(p, 8);
      double d;
      std::memcpy(&d, &u, 8);
      return d;
    }
    default: return 0;
  }
}

// The state of one STRM: divisors and element types of the records after them.
struct Stream {
  std::vector<double> scal;
  std::string types;  // TYPE of '?' records
  bool hasGpsu = false;
  int64_t gpsu = 0;
  int fixType = -1;  // GPSF; -1 when the stream has none
  // A GPS5 position waiting for GPSU / GPSF (which may follow it).
  bool gps5 = false;
  double gps5Values[4] = {};
};

// The element types of one sample of record r, or empty when they are unknown.
std::string SampleTypes(const Record& r, const Stream& s) {
  if (r.type == '?') {
    size_t total = 0;
    for (char t : s.types) {
      const size_t n = TypeSize(t);
      if (n == 0) return {};
      total += n;
    }
    return total == r.structSize ? s.types : std::string();
  }
  const size_t n = TypeSize(r.type);
  if (n == 0 || r.structSize % n != 0 || r.structSize / n > kMaxElements) return {};
  return std::string(r.structSize / n, r.type);
}

// Sample k of r scaled by the stream's divisors; false on a zero divisor or a
// value that is not finite.
bool ScaledSample(const Record& r, const Stream& s, const std::string& types, size_t k,
                  std::vector<double>& out) {
  out.clear();
  const uint8_t* p = r.data + k * r.structSize;
  for (size_t i = 0; i < types.size(); ++i) {
    double v = Element(types[i], p);
    p += TypeSize(types[i]);
    const double d = s.scal.empty() ? 1.0 : s.scal.size() == 1 ? s.scal[0]
                                          : i < s.scal.size() ? s.scal[i] : 1.0;
    if (d == 0) return false;
    v /= d;
    if (!std::isfinite(v)) return false;
    out.push_back(v);
  }
  return true;
}

// Seconds since 1970 as a double -> whole UTC seconds; false when they are
// not finite or outside 1970-2096 (a crafted value must not reach the cast).
bool WholeUtcSeconds(double t, int64_t& utc) {
  if (!(t >= 0 && t < 4.0e9)) return false;
  utc = static_cast<int64_t>(std::floor(t));
  return true;
}

bool ValidPosition(double lat, double lon) {
  return std::fabs(lat) <= 90 && std::fabs(lon) <= 180 && std::fabs(lat) >= kZeroPosition &&
         std::fabs(lon) >= kZeroPosition;
}

// "yymmddhhmmss.sss" -> whole UTC seconds; false when it is not a valid time.
bool ParseGpsu(const Record& r, int64_t& utc) {
  if (r.dataSize < 12) return false;
  int v[6];
  for (int i = 0; i < 6; ++i) {
    const uint8_t a = r.data[2 * i], b = r.data[2 * i + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return false;
    v[i] = (a - '0') * 10 + (b - '0');
  }
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60)
    return false;
  utc = ZovUtcSeconds(2000 + v[0], v[1], v[2], v[3], v[4], v[5]);
  return true;
}

// A drone position waiting for its device's SYST pair.
struct PendingGlpi {
  bool set = false;
  double sysTime = 0;
  ZovGpmfSecond second;
};

class Decoder {
 public:
  explicit Decoder(ZovGpmfSecond& out) : out_(out) {}

  void Device(const uint8_t* p, const uint8_t* end, int depth) {
    hasSyst_ = false;
    glpi_ = PendingGlpi{};
    Container(p, end, depth);
    int64_t utc = 0;
    if (glpi_.set && hasSyst_ && !out_.hasPosition &&
        WholeUtcSeconds(systUtc_ + (glpi_.sysTime - systSys_), utc)) {
      out_ = Merge(glpi_.second);
      out_.hasTime = true;
      out_.utcSeconds = utc;
    }
  }

 private:
  // Records of a container; STRM and DEVC open their own state.
  void Container(const uint8_t* p, const uint8_t* end, int depth) {
    Record r;
    while (NextRecord(p, end, r)) {
      if (r.type != 0) continue;  // leaves outside a stream carry nothing we read
      if (depth + 1 > kMaxDepth) continue;
      if (r.Is("STRM")) {
        StreamRecords(r.data, r.data + r.dataSize, depth + 1);
      } else if (r.Is("DEVC")) {
        // A device nested in a device: its own SYST and drone position.
        Decoder inner(out_);
        inner.Device(r.data, r.data + r.dataSize, depth + 1);
      } else {
        Container(r.data, r.data + r.dataSize, depth + 1);
      }
    }
  }

  void StreamRecords(const uint8_t* p, const uint8_t* end, int depth) {
    Stream s;
    Record r;
    while (NextRecord(p, end, r)) {
      if (r.type == 0) {
        if (depth + 1 <= kMaxDepth) Container(r.data, r.data + r.dataSize, depth + 1);
        continue;
      }
      Leaf(r, s);
    }
    FinishGps5(s);
  }

  void Leaf(const Record& r, Stream& s) {
    if (r.Is("SCAL")) {
      s.scal.clear();
      const size_t n = TypeSize(r.type);
      if (n == 0 || r.structSize != n) return;
      for (size_t k = 0; k < r.repeat && k < kMaxElements; ++k)
        s.scal.push_back(Element(r.type, r.data + k * n));
    } else if (r.Is("TYPE")) {
      s.types.assign(reinterpret_cast<const char*>(r.data), r.dataSize);
      const size_t nul = s.types.find('\0');
      if (nul != std::string::npos) s.types.resize(nul);
      if (s.types.size() > kMaxElements) s.types.clear();
    } else if (r.Is("GPSU")) {
      s.hasGpsu = ParseGpsu(r, s.gpsu);
    } else if (r.Is("GPSF")) {
      // Fix types are small numbers (0 none, 2 2D, 3 3D); a value beyond a
      // byte, or not a number, counts as no fix.
      if (TypeSize(r.type) != 0 && r.dataSize >= TypeSize(r.type)) {
        const double f = Element(r.type, r.data);
        s.fixType = f >= 0 && f <= 255 ? static_cast<int>(f) : 0;
      }
    } else if (r.Is("GPS5")) {
      Gps5(r, s);
    } else if (r.Is("GPS9")) {
      Gps9(r, s);
    } else if (r.Is("GLPI")) {
      Glpi(r, s);
    } else if (r.Is("SYST")) {
      Syst(r, s);
    } else if (r.Is("ACCL")) {
      Accel(r, s);
    }
  }

  // The first valid sample; its time and fix come from the stream's GPSU and
  // GPSF, which are read when the stream ends.
  void Gps5(const Record& r, Stream& s) {
    const std::string types = SampleTypes(r, s);
    if (types.size() < 4 || s.gps5) return;
    std::vector<double> v;
    for (size_t k = 0; k < r.repeat; ++k) {
      if (!ScaledSample(r, s, types, k, v) || !ValidPosition(v[0], v[1])) continue;
      s.gps5 = true;
      std::memcpy(s.gps5Values, v.data(), sizeof s.gps5Values);
      return;
    }
  }

  void FinishGps5(const Stream& s) {
    // A second without a fix still has its time (for the sensor sample).
    if (s.hasGpsu && !out_.hasPosition && !out_.hasTime) {
      out_.hasTime = true;
      out_.utcSeconds = s.gpsu;
    }
    if (!s.gps5 || out_.hasPosition) return;
    if (s.fixType >= 0 && s.fixType < kMinFixType) return;
    ZovGpmfSecond g;
    g.hasPosition = true;
    g.latitude = s.gps5Values[0];
    g.longitude = s.gps5Values[1];
    g.altitude = s.gps5Values[2];
    g.speed2d = s.gps5Values[3];
    g.hasTime = s.hasGpsu;
    g.utcSeconds = s.gpsu;
    out_ = Merge(g);
  }

  // lat, lon, alt, 2D speed, 3D speed, days since 2000, seconds of the day,
  // DOP, fix type.
  void Gps9(const Record& r, const Stream& s) {
    if (out_.hasPosition) return;
    const std::string types = SampleTypes(r, s);
    if (types.size() < 9) return;
    std::vector<double> v;
    for (size_t k = 0; k < r.repeat; ++k) {
      if (!ScaledSample(r, s, types, k, v) || v[8] < kMinFixType || !ValidPosition(v[0], v[1]))
        continue;
      ZovGpmfSecond g;
      g.hasPosition = true;
      g.latitude = v[0];
      g.longitude = v[1];
      g.altitude = v[2];
      g.speed2d = v[3];
      g.hasTime = WholeUtcSeconds(kEpoch2000 + v[5] * 86400.0 + v[6], g.utcSeconds);
      out_ = Merge(g);
      return;
    }
  }

  // time (system seconds), lat, lon, alt, relative alt, vx, vy, vz, heading.
  void Glpi(const Record& r, const Stream& s) {
    if (glpi_.set) return;
    const std::string types = SampleTypes(r, s);
    if (types.size() < 7) return;
    std::vector<double> v;
    for (size_t k = 0; k < r.repeat; ++k) {
      if (!ScaledSample(r, s, types, k, v) || !ValidPosition(v[1], v[2])) continue;
      glpi_.set = true;
      glpi_.sysTime = v[0];
      glpi_.second.hasPosition = true;
      glpi_.second.latitude = v[1];
      glpi_.second.longitude = v[2];
      glpi_.second.altitude = v[3];
      glpi_.second.speed2d = std::hypot(v[5], v[6]);
      return;
    }
  }

  // (system time, UTC) in seconds after SCAL.
  void Syst(const Record& r, const Stream& s) {
    const std::string types = SampleTypes(r, s);
    std::vector<double> v;
    if (hasSyst_ || types.size() < 2 || r.repeat < 1 || !ScaledSample(r, s, types, 0, v)) return;
    hasSyst_ = true;
    systSys_ = v[0];
    systUtc_ = v[1];
  }

  void Accel(const Record& r, const Stream& s) {
    if (out_.hasAccel) return;
    const std::string types = SampleTypes(r, s);
    std::vector<double> v;
    if (types.size() < 3 || r.repeat < 1 || !ScaledSample(r, s, types, 0, v)) return;
    out_.hasAccel = true;
    for (int i = 0; i < 3; ++i) out_.accel[i] = v[i];
  }

  // A position found keeps the accelerometer sample already read.
  ZovGpmfSecond Merge(ZovGpmfSecond g) const {
    g.hasAccel = out_.hasAccel;
    std::memcpy(g.accel, out_.accel, sizeof g.accel);
    return g;
  }

  ZovGpmfSecond& out_;
  PendingGlpi glpi_;
  bool hasSyst_ = false;
  double systSys_ = 0;
  double systUtc_ = 0;
};

}  // namespace

bool ZovIsGpmfPayload(const uint8_t* data, size_t size) {
  if (!data) return false;
  const uint8_t* p = data;
  Record r;
  return NextRecord(p, data + size, r) && r.Is("DEVC") && r.type == 0;
}

bool ZovParseGpmfPayload(const uint8_t* data, size_t size, ZovGpmfSecond& second) {
  second = ZovGpmfSecond{};
  if (!ZovIsGpmfPayload(data, size)) return false;
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  Record r;
  while (NextRecord(p, end, r)) {
    if (r.type != 0 || !r.Is("DEVC")) continue;
    Decoder d(second);
    d.Device(r.data, r.data + r.dataSize, 1);
  }
  return true;
}
