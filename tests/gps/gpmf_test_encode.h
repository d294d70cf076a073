#pragma once
// Builders of telemetry (GPMF) records for tests: key, type, structure size,
// repeat, big-endian data padded to 4 bytes.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace gpmftest {

using Bytes = std::vector<uint8_t>;

inline void PutBe(Bytes& b, uint64_t v, int n) {
  for (int s = (n - 1) * 8; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

// One record; data must be structSize x repeat bytes.
inline Bytes Klv(const char* key, char type, uint8_t structSize, uint16_t repeat, const Bytes& data) {
  Bytes b(key, key + 4);
  b.push_back(uint8_t(type));
  b.push_back(structSize);
  PutBe(b, repeat, 2);
  b.insert(b.end(), data.begin(), data.end());
  while (b.size() % 4) b.push_back(0);
  return b;
}

inline Bytes Nest(const char* key, std::initializer_list<Bytes> children) {
  Bytes body;
  for (const Bytes& c : children) body.insert(body.end(), c.begin(), c.end());
  Bytes b(key, key + 4);
  b.push_back(0);
  b.push_back(1);
  PutBe(b, uint16_t(body.size()), 2);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// Records of n-byte big-endian integers, `perSample` values per sample.
inline Bytes Ints(const char* key, char type, int n, size_t perSample,
                  std::initializer_list<int64_t> values) {
  Bytes data;
  for (int64_t v : values) PutBe(data, uint64_t(v), n);
  return Klv(key, type, uint8_t(n * perSample), uint16_t(values.size() / perSample), data);
}

inline Bytes Text(const char* key, char type, const std::string& s) {
  return Klv(key, type, uint8_t(s.size()), 1, Bytes(s.begin(), s.end()));
}

// A GPS5 stream: fix type, GPSU time, divisors and samples (lat, lon, alt,
// 2D speed, 3D speed as scaled integers).
inline Bytes Gps5Stream(int fixType, const std::string& gpsu, std::initializer_list<int64_t> samples) {
  return Nest("STRM", {Ints("GPSF", 'L', 4, 1, {fixType}), Text("GPSU", 'U', gpsu),
                       Ints("SCAL", 'l', 4, 1, {10000000, 10000000, 1000, 1000, 100}),
                       Ints("GPS5", 'l', 4, 5, samples)});
}

inline Bytes AccelStream(std::initializer_list<int64_t> samples) {
  return Nest("STRM", {Ints("SCAL", 's', 2, 1, {418}), Ints("ACCL", 's', 2, 3, samples)});
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace gpmftest
