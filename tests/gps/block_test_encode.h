#pragma once
// Encoders for the block tests: the inverse of every decoding step, so a test
// can write a record the way a camera would and check that decoding restores it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_format_constants.h"

namespace gpstest {

using Bytes = std::vector<uint8_t>;

inline void PutLe32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

// Inverse of a substitution: the byte whose first occurrence in the derived
// alphabet sits at position c - 0x30. Returns false when c cannot be written.
inline bool EncodeSubstitution(std::string& text, const char* alphabet, size_t size) {
  for (char& ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x30 || c > 0x5A) continue;
    size_t p = c - 0x30;
    if (p >= size) return false;
    char e = alphabet[p];
    for (size_t i = 0; i < p; ++i)
      if (alphabet[i] == e) return false;  // not a first occurrence
    ch = e;
  }
  return true;
}

// Inverse of the byte decoder. Groups of four with at most one blank use the
// 4- and 5-byte forms; the rest is written byte by byte. Control bits carry
// the bits their mask covers, the operand bytes only the others, so decoding
// must combine both.
inline Bytes EncodeBytes(const Bytes& plain) {
  Bytes out;
  auto op = [](uint8_t o, uint8_t mask) { return static_cast<uint8_t>((o & ~mask) ^ 0x20); };
  size_t i = 0;
  while (i < plain.size()) {
    if (plain.size() - i >= 4) {
      const uint8_t* o = &plain[i];
      int blanks = 0, at = -1;
      for (int k = 0; k < 4; ++k)
        if (o[k] == 0x20) ++blanks, at = k;
      if (blanks == 0) {
        out.push_back(0xC0 | (o[0] & 1) | (o[1] & 2) | (o[2] & 0xC) | (o[3] & 0x30));
        out.push_back(op(o[0], 1)), out.push_back(op(o[1], 2)), out.push_back(op(o[2], 0xC)),
            out.push_back(op(o[3], 0x30));
        i += 4;
        continue;
      }
      if (blanks == 1) {
        switch (at) {
          case 0:
            out.push_back(0x40 | (o[1] & 1) | (o[2] & 6) | (o[3] & 0x18));
            out.push_back(op(o[1], 1)), out.push_back(op(o[2], 6)), out.push_back(op(o[3], 0x18));
            break;
          case 1:
            out.push_back(0x60 | (o[0] & 3) | (o[2] & 4) | (o[3] & 0x18));
            out.push_back(op(o[0], 3)), out.push_back(op(o[2], 4)), out.push_back(op(o[3], 0x18));
            break;
          case 2:
            out.push_back(0x80 | (o[0] & 3) | (o[1] & 0xC) | (o[3] & 0x10));
            out.push_back(op(o[0], 3)), out.push_back(op(o[1], 0xC)), out.push_back(op(o[3], 0x10));
            break;
          default:
            out.push_back(0xA0 | (o[0] & 1) | (o[1] & 6) | (o[2] & 0x18));
            out.push_back(op(o[0], 1)), out.push_back(op(o[1], 6)), out.push_back(op(o[2], 0x18));
            break;
        }
        i += 4;
        continue;
      }
    }
    out.push_back(plain[i] & 0x13);
    out.push_back(plain[i] & ~0x13);
    ++i;
  }
  return out;
}

// t(x) and u(x) of the coordinate exchange.
inline double Tens(double x) { return std::floor(std::fabs(x) / 10.0) * 10.0; }
inline double Units(double x) { return std::fabs(x) - Tens(x); }
inline double Signed(double mag, double like) { return like < 0 ? -mag : mag; }

// Inverse of the exchange with factor F (block states up to 6).
inline void EncodeExchangeF(double lat, double lon, double f, double& latE, double& lonE) {
  latE = Signed(Tens(lat) + Units(lon) / f, lat);
  lonE = Signed(Tens(lon) + Units(lat) / f, lon);
}
// Inverse of the dated exchange (block states 11, 12, 15), factor k in (0, 1).
inline void EncodeExchangeDated(double lat, double lon, double k, double& latE, double& lonE) {
  latE = Signed(Tens(lat) + Units(lon) * k, lat);
  lonE = Signed(Tens(lon) + Units(lat) * k, lon);
}

// A KARUGPS block header: tag, padding, version at 15, record count at 16.
inline Bytes KaruHeader(int version, uint32_t count) {
  Bytes b(20, 0);
  std::memcpy(b.data(), "KARUGPS", 7);
  b[15] = static_cast<uint8_t>(version);
  PutLe32(b, 16, count);
  return b;
}

// One framed record: "####", 4 bytes of index/key, 124 bytes of text.
inline void AppendFramed(Bytes& b, const Bytes& indexKey, const std::string& text) {
  Append(b, "####");
  Bytes payload(128, 0);
  std::memcpy(payload.data(), indexKey.data(), 4);
  std::memcpy(payload.data() + 4, text.data(), std::min<size_t>(text.size(), 124));
  b.insert(b.end(), payload.begin(), payload.end());
}

// One byte-coded record: "####", coded length, coded bytes, padded to 132.
inline void AppendCoded(Bytes& b, uint32_t index, const std::string& text) {
  Bytes plain(4, 0);
  PutLe32(plain, 0, index);
  plain.insert(plain.end(), text.begin(), text.end());
  Bytes coded = EncodeBytes(plain);
  Bytes rec(132, 0);
  std::memcpy(rec.data(), "####", 4);
  PutLe32(rec, 4, static_cast<uint32_t>(coded.size()));
  std::memcpy(rec.data() + 8, coded.data(), std::min<size_t>(coded.size(), 124));
  b.insert(b.end(), rec.begin(), rec.end());
}

// A 44-byte binary record.
inline Bytes BinaryRecord(uint32_t h, uint32_t mi, uint32_t s, uint32_t y, uint32_t mo, uint32_t d,
                          char status, char ns, char ew, float lat, float lon, float speed,
                          float course) {
  Bytes b(44, 0);
  PutLe32(b, 0, h), PutLe32(b, 4, mi), PutLe32(b, 8, s);
  PutLe32(b, 12, y), PutLe32(b, 16, mo), PutLe32(b, 20, d);
  b[24] = static_cast<uint8_t>(status);
  b[25] = static_cast<uint8_t>(ns);
  b[26] = static_cast<uint8_t>(ew);
  float f[4] = {lat, lon, speed, course};
  std::memcpy(b.data() + 28, f, 16);
  return b;
}

}  // namespace gpstest
