// Block decoding: tag dispatch, record framing, text decoding and fix
// acceptance. See zov_gps_block.h for the overall flow.
#include "gps/zov_gps_block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_format_constants.h"
#include "gps/zov_gps_gpmf.h"
#include "gps/zov_gps_text.h"

namespace {

// Block tags and marks.
constexpr std::string_view kTagKaru = "KARUGPS";
constexpr std::string_view kTagLcai = "LCAIGPS";
constexpr std::string_view kTagInfoColon = "GPSINFO:";
constexpr std::string_view kTagInfo = "GPSINFO";
constexpr std::string_view kRecordMark = "####";

// Positions n-21 and below are examined, so a tag always has its 20-byte
// header (or the following record) inside the buffer.
constexpr size_t kTagTail = 21;
// The KARUGPS tag must start within this many bytes.
constexpr size_t kKaruSearch = 4096;
// Header: tag at 0, version byte at 15, record count at 16..19.
constexpr size_t kKaruHeaderSize = 20;
constexpr size_t kKaruVersionOffset = 15;
constexpr size_t kKaruCountOffset = 16;

// Framed records: a "####" mark within the next 4096 bytes (and no closer
// than 80 bytes to the end), 128 payload bytes after it, next search 132 on.
constexpr size_t kMarkSearch = 4096;
constexpr size_t kMarkEndMargin = 80;
constexpr size_t kPayloadSize = 128;
constexpr size_t kRecordStride = 132;
constexpr size_t kFramedMinRemaining = 112;
// Payload: 4 bytes of index / key, 124 bytes of text, then 4 zero bytes.
constexpr size_t kPayloadTextOffset = 4;
constexpr size_t kTextSize = 128;

// Byte-coded records (versions 1, 2, 5, 6).
constexpr size_t kCodedMinRemaining = 100;
constexpr uint32_t kCodedMinLength = 4;
constexpr uint32_t kCodedMaxLength = 132;
constexpr int kCodedMinDecoded = 51;

// GPSINFO records: 132-byte slots, one every 136 bytes.
constexpr size_t kInfoRecordSize = 132;
constexpr size_t kInfoRecordStride = 136;
constexpr size_t kInfoMinRemaining = 112;
constexpr size_t kInfoPlainSkip = 20;  // "GPSINFO" records start 20 bytes after the tag
constexpr int kStateInfoColon = 18;
constexpr int kStateInfo = 10;

// Substitution A key multiplier and swap range.
constexpr uint32_t kKeyAMultiplier = 255;
constexpr int kKeyASwapBits = 21;
// Version 45 records with an index above this use substitution B.
constexpr uint32_t kV45MaxKeyedIndex = 256;

// Coordinate restoration.
constexpr int kStateBinary = 5;
constexpr int kStateF6 = 6;
// NMEA conversion applies outside these.
constexpr double kMaxLatitude = 90.0;
constexpr double kMaxLongitude = 180.0;
// A list whose first index exceeds the new index by more than this restarts.
constexpr int64_t kRestartSlack = 5;
// Telemetry payloads: their fixes are taken as read (no exchange, no NMEA).
constexpr int kStateGpmf = 30;
constexpr double kKnotsPerMetrePerSecond = 3600.0 / 1852.0;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// First position p in [from, lastStart] where tag starts (tag fully inside n).
size_t FindTag(const uint8_t* buf, size_t n, size_t from, size_t lastStart, std::string_view tag) {
  if (tag.size() > n) return SIZE_MAX;
  lastStart = std::min(lastStart, n - tag.size());
  if (from > lastStart) return SIZE_MAX;
  std::string_view hay(reinterpret_cast<const char*>(buf) + from, lastStart - from + tag.size());
  size_t p = hay.find(tag);
  return p == std::string_view::npos ? SIZE_MAX : from + p;
}

enum class Coding {
  kNothing,      // the block yields no fixes
  kPlain,        // text as stored
  kSubstB12,     // substitution B with kGpsKeyV12
  kSubstA,       // substitution A keyed per record
  kSubstAOrB45,  // version 45: A when keyed, else B with kGpsKeyV45
  kByteCoded,    // versions 1, 2, 5, 6
};

enum class IndexWidth { k16, k32 };

// KARUGPS versions: version -> block state, index width, text decoding, grammar.
struct VersionRow {
  int version;
  int blockState;
  IndexWidth index;
  Coding coding;
  ZovGpsGrammar grammar;
};

constexpr VersionRow kVersions[] = {
    {10, 0, IndexWidth::k32, Coding::kNothing, ZovGpsGrammar::kC2},
    {11, 11, IndexWidth::k32, Coding::kPlain, ZovGpsGrammar::kC2},
    {12, 12, IndexWidth::k32, Coding::kSubstB12, ZovGpsGrammar::kC2},
    {13, 5, IndexWidth::k16, Coding::kSubstA, ZovGpsGrammar::kG2},
    {14, 6, IndexWidth::k16, Coding::kSubstA, ZovGpsGrammar::kG2},
    {15, 15, IndexWidth::k16, Coding::kSubstA, ZovGpsGrammar::kC2},
    {16, 16, IndexWidth::k16, Coding::kSubstA, ZovGpsGrammar::kG1},
    {20, 20, IndexWidth::k16, Coding::kSubstA, ZovGpsGrammar::kG1},
    {17, 17, IndexWidth::k16, Coding::kSubstA, ZovGpsGrammar::kC1},
    {45, 10, IndexWidth::k16, Coding::kSubstAOrB45, ZovGpsGrammar::kC2},
    {1, 1, IndexWidth::k32, Coding::kByteCoded, ZovGpsGrammar::kG2},
    {2, 2, IndexWidth::k32, Coding::kByteCoded, ZovGpsGrammar::kG2},
    {5, 5, IndexWidth::k32, Coding::kByteCoded, ZovGpsGrammar::kG2},
    {6, 6, IndexWidth::k32, Coding::kByteCoded, ZovGpsGrammar::kG2},
};

const VersionRow* FindVersion(int v) {
  for (const VersionRow& r : kVersions)
    if (r.version == v) return &r;
  return nullptr;
}

const char* AlphabetB(CZovGpsBlockState& st, int64_t key) {
  if (st.alphabetBKey != key) {
    st.alphabetB = ZovSubstitutionAlphabetB(key);
    st.alphabetBKey = key;
  }
  return st.alphabetB.data();
}

// Parses a record text into the shared area and accepts it. Returns 1 when a
// fix went to acceptance.
int ParseAndAccept(CZovGpsBlockState& st, ZovGpsGrammar g, const uint8_t* text, size_t len,
                   uint32_t index) {
  // The record's index stays in the shared area for records that carry none.
  st.record.index = index;
  if (!ZovParseRecord(g, reinterpret_cast<const char*>(text), len, st.record)) return 0;
  ZovAcceptFix(st, index, st.record);
  return 1;
}

// Framed records of every version except 1, 2, 5, 6.
//   "####" iiii kkkk <124 bytes of coded text>     (ii = index, kk = key)
int DecodeFramed(CZovGpsBlockState& st, const VersionRow& row, const uint8_t* buf, size_t n,
                 size_t pos) {
  int accepted = 0;
  while (pos <= n && n - pos >= kFramedMinRemaining) {
    size_t window = std::min(kMarkSearch, n - pos - kMarkEndMargin);
    size_t mark = FindTag(buf, n, pos, pos + window - 1, kRecordMark);
    if (mark == SIZE_MAX) break;
    // The payload may run past a short buffer: the missing bytes read as 0.
    uint8_t payload[kPayloadSize] = {};
    size_t start = mark + kRecordMark.size();
    std::memcpy(payload, buf + start, std::min(kPayloadSize, n - start));
    uint8_t text[kTextSize] = {};
    std::memcpy(text, payload + kPayloadTextOffset, kPayloadSize - kPayloadTextOffset);

    uint32_t index = row.index == IndexWidth::k32 ? Le32(payload) : Le16(payload);
    uint32_t key = uint32_t(Le16(payload + 2)) * kKeyAMultiplier;
    Coding coding = row.coding;
    if (coding == Coding::kSubstAOrB45) {
      if (key != 0 && index <= kV45MaxKeyedIndex) {
        coding = Coding::kSubstA;
      } else {
        coding = Coding::kPlain;
        ZovSubstituteText(text, sizeof text, AlphabetB(st, kGpsKeyV45), kGpsAlphabetBSize);
        index = 0;
      }
    }
    if (coding == Coding::kSubstA) {
      std::array<char, 43> a = ZovSubstitutionAlphabetA(key);
      ZovSubstituteText(text, sizeof text, a.data(), a.size());
    } else if (coding == Coding::kSubstB12) {
      ZovSubstituteText(text, sizeof text, AlphabetB(st, kGpsKeyV12), kGpsAlphabetBSize);
    }
    accepted += ParseAndAccept(st, row.grammar, text, sizeof text, index);
    pos = mark + kRecordStride;
  }
  return accepted;
}

// Byte-coded records of versions 1, 2, 5, 6:
//   "####" llll <l coded bytes>  -> decoded: iiii <G2 text>
int DecodeByteCoded(CZovGpsBlockState& st, const VersionRow& row, const uint8_t* buf, size_t n,
                    size_t pos, uint32_t count) {
  int accepted = 0;
  uint32_t read = 0;
  while (read < count && pos <= n && n - pos >= kCodedMinRemaining) {
    size_t window = std::min(kMarkSearch, n - pos - kMarkEndMargin);
    size_t mark = FindTag(buf, n, pos, pos + window - 1, kRecordMark);
    if (mark == SIZE_MAX) break;
    ++read;
    uint32_t len = Le32(buf + mark + 4);  // inside: mark <= n - 80
    if (len >= kCodedMinLength && len <= kCodedMaxLength) {
      size_t start = mark + 8;
      size_t avail = std::min<size_t>(len, n - start);
      uint8_t out[kCodedMaxLength + 4];
      int outLen = ZovByteDecode(buf + start, avail, out, sizeof out);
      if (outLen >= kCodedMinDecoded) {
        accepted += ParseAndAccept(st, row.grammar, out + 4, static_cast<size_t>(outLen) - 4, Le32(out));
      }
    }
    pos = mark + kRecordStride;
  }
  return accepted;
}

int DecodeKaru(CZovGpsBlockState& st, const uint8_t* buf, size_t n, size_t tag) {
  st.record = GpsFix{};
  int version = buf[tag + kKaruVersionOffset];
  uint32_t count = Le32(buf + tag + kKaruCountOffset);
  const VersionRow* row = FindVersion(version);
  if (!row) return -1;
  if (row->coding == Coding::kNothing) return 0;
  st.blockState = row->blockState;
  size_t pos = tag + kKaruHeaderSize;
  if (row->coding == Coding::kByteCoded) {
    if (count == 0) return 0;
    return DecodeByteCoded(st, *row, buf, n, pos, count);
  }
  return DecodeFramed(st, *row, buf, n, pos);
}

// GPSINFO records: fixed slots of G4 (after "GPSINFO:") or G3 text.
int DecodeInfo(CZovGpsBlockState& st, const uint8_t* buf, size_t n, size_t start, bool colon) {
  st.blockState = colon ? kStateInfoColon : kStateInfo;
  int accepted = 0;
  for (size_t pos = start; pos < n && n - pos >= kInfoMinRemaining; pos += kInfoRecordStride) {
    uint8_t text[kInfoRecordSize + 1] = {};
    std::memcpy(text, buf + pos, std::min(kInfoRecordSize, n - pos));
    if (colon) {
      if (!ZovParseRecord(ZovGpsGrammar::kG4, reinterpret_cast<const char*>(text), kInfoRecordSize,
                          st.record))
        break;
      ZovAcceptFix(st, st.record.index, st.record);
      ++accepted;
    } else {
      // G3 reads the index from the line.
      if (ZovParseRecord(ZovGpsGrammar::kG3, reinterpret_cast<const char*>(text), kInfoRecordSize,
                         st.record)) {
        ZovAcceptFix(st, st.record.index, st.record);
        ++accepted;
      }
    }
  }
  return accepted;
}

}  // namespace

void CZovGpsBlockState::Reset() {
  fixes.clear();
  record = GpsFix{};
  blockState = 0;
  gpmfPayloads = 0;
}

namespace {

// Telemetry payloads: the position of the second with its UTC time, and the
// first accelerometer sample for the sensor series. The index is the
// payload's ordinal in the extraction: payloads are one per second of video,
// so the ordinal is the fix's second in the video. The clean-up keeps it
// (videoTimed): the receiver's clock may jump (14.0, 16.47, 17.46 ... over
// three payloads) without the video skipping a second.
int DecodeGpmf(CZovGpsBlockState& st, const uint8_t* buf, size_t n, size_t) {
  ZovGpmfSecond g;
  if (!ZovParseGpmfPayload(buf, n, g)) return -1;
  const uint32_t index = st.gpmfPayloads++;
  // Without a time the fix cannot be placed; without a position it still
  // carries the second's G-sensor sample.
  if (!g.hasTime || (!g.hasPosition && !g.hasAccel)) return 0;
  GpsFix f;
  ZovSetFixTime(f, g.utcSeconds);
  if (g.hasPosition) {
    f.latitude = g.latitude;
    f.longitude = g.longitude;
    f.latLetter = g.latitude < 0 ? 'S' : 'N';
    f.lonLetter = g.longitude < 0 ? 'W' : 'E';
    f.altitude = g.altitude;
    f.speed = g.speed2d * kKnotsPerMetrePerSecond;
  }
  if (g.hasAccel) {
    f.x = g.accel[0];
    f.y = g.accel[1];
    f.z = g.accel[2];
  }
  f.videoTimed = true;
  st.blockState = kStateGpmf;
  ZovAcceptFix(st, index, f, ZovAcceptMode::kNoExchange);
  return 1;
}

size_t FindGpmf(const uint8_t* buf, size_t n) { return ZovIsGpmfPayload(buf, n) ? 0 : SIZE_MAX; }
size_t FindKaru(const uint8_t* buf, size_t n) {
  return FindTag(buf, n, 0, std::min(n - kTagTail, kKaruSearch), kTagKaru);
}
size_t FindLcai(const uint8_t* buf, size_t n) { return FindTag(buf, n, 0, n - kTagTail, kTagLcai); }
size_t FindInfoColon(const uint8_t* buf, size_t n) {
  return FindTag(buf, n, 0, n - kTagTail, kTagInfoColon);
}
size_t FindInfo(const uint8_t* buf, size_t n) { return FindTag(buf, n, 0, n - kTagTail, kTagInfo); }

int Reject(CZovGpsBlockState&, const uint8_t*, size_t, size_t) { return -1; }
int DecodeInfoColon(CZovGpsBlockState& st, const uint8_t* buf, size_t n, size_t at) {
  return DecodeInfo(st, buf, n, at + kTagInfoColon.size(), true);
}
int DecodeInfoPlain(CZovGpsBlockState& st, const uint8_t* buf, size_t n, size_t at) {
  return DecodeInfo(st, buf, n, at + kInfoPlainSkip, false);
}

// The block formats, tried in order; the first whose mark is found decodes
// the buffer (or rejects it).
struct FormatRow {
  size_t (*find)(const uint8_t* buf, size_t n);  // SIZE_MAX: not this format
  int (*decode)(CZovGpsBlockState& st, const uint8_t* buf, size_t n, size_t at);
};

constexpr FormatRow kFormats[] = {
    {FindGpmf, DecodeGpmf},            // telemetry payload: DEVC at the start
    {FindKaru, DecodeKaru},            // KARUGPS within the first 4096 bytes
    {FindLcai, Reject},                // LCAIGPS blocks are not decoded
    {FindInfoColon, DecodeInfoColon},  // "GPSINFO:" records (G4)
    {FindInfo, DecodeInfoPlain},       // "GPSINFO" records (G3)
};

}  // namespace

int ZovParseGpsBlock(CZovGpsBlockState& st, const uint8_t* buf, size_t n) {
  if (!buf || n < kTagTail) return -1;
  for (const FormatRow& row : kFormats) {
    const size_t at = row.find(buf, n);
    if (at != SIZE_MAX) return row.decode(st, buf, n, at);
  }
  return -1;
}

int ZovParseTimedGpsBlock(CZovGpsBlockState& st, const uint8_t* buf, size_t n, int64_t second) {
  const size_t before = st.fixes.size();
  const int result = ZovParseGpsBlock(st, buf, n);
  // A list restarted by the block counts from its start.
  for (size_t i = st.fixes.size() < before ? 0 : before; i < st.fixes.size(); ++i) {
    st.fixes[i].index = static_cast<uint32_t>(second);
    st.fixes[i].videoTimed = true;
  }
  return result;
}

// ---- Substitutions and the byte decoder ------------------------------------

std::array<char, 43> ZovSubstitutionAlphabetA(uint32_t k) {
  std::array<char, 43> a{};
  const uint32_t rot = k % 43;
  for (uint32_t i = 0; i < 43; ++i) a[i] = kGpsAlphabetA[(rot + i) % 43];
  for (int i = 0; i < kKeyASwapBits; ++i)
    if (k & (1u << i)) std::swap(a[i], a[42 - i]);
  return a;
}

std::array<char, 48> ZovSubstitutionAlphabetB(int64_t k) {
  std::array<char, 48> b{};
  std::memcpy(b.data(), kGpsAlphabetB, 48);
  if (k <= 1) return b;
  // Smallest m with m! >= k; 21! exceeds every 63-bit key.
  int m = 21;
  int64_t fact = 1;
  for (int i = 1; i <= 20; ++i) {
    fact *= i;
    if (fact >= k) {
      m = i;
      break;
    }
  }
  // k-th permutation (1-based, lexicographic by position) of the last m characters.
  std::vector<char> pool(b.end() - m, b.end());
  int64_t r = k;
  for (int pos = 0; pos < m; ++pos) {
    int j = m - pos - 1;  // characters after this one
    int64_t jf = 1;
    for (int q = 2; q <= j; ++q) jf *= q;
    int64_t pick = (r - 1) / jf;
    r -= pick * jf;
    b[48 - m + pos] = pool[static_cast<size_t>(pick)];
    pool.erase(pool.begin() + pick);
  }
  return b;
}

void ZovSubstituteText(uint8_t* text, size_t length, const char* alphabet, size_t size) {
  // Position of the first occurrence of each character, -1 when absent.
  int first[43];
  std::fill(std::begin(first), std::end(first), -1);
  for (size_t i = size; i-- > 0;) {
    unsigned char c = static_cast<unsigned char>(alphabet[i]);
    if (c >= 0x30 && c <= 0x5A) first[c - 0x30] = static_cast<int>(i);
  }
  for (size_t i = 0; i < length; ++i) {
    uint8_t c = text[i];
    if (c < 0x30 || c > 0x5A) continue;
    int p = first[c - 0x30];
    text[i] = p < 0 ? 0 : static_cast<uint8_t>(0x30 + p);
  }
}

int ZovByteDecode(const uint8_t* in, size_t len, uint8_t* out, size_t cap) {
  std::memset(out, 0, cap);
  size_t i = 0, o = 0;
  auto emit = [&](int b) {
    if (o < cap) out[o++] = static_cast<uint8_t>(b);
  };
  while (i < len) {
    const int c = in[i];
    const size_t need = c < 0x20 ? 2 : c < 0xC0 ? 4 : 5;
    if (c >= 0x20 && c < 0x40) return -1;
    if (len - i < need) break;  // a group cut off by the coded length
    auto b = [&](int k) { return int(in[i + k]) ^ 0x20; };
    if (c < 0x20) {
      emit((c & 0x13) | in[i + 1]);
    } else if (c < 0x60) {
      emit(0x20), emit((c & 1) | b(1)), emit((c & 6) | b(2)), emit((c & 0x18) | b(3));
    } else if (c < 0x80) {
      emit((c & 3) | b(1)), emit(0x20), emit((c & 4) | b(2)), emit((c & 0x18) | b(3));
    } else if (c < 0xA0) {
      emit((c & 3) | b(1)), emit((c & 0xC) | b(2)), emit(0x20), emit((c & 0x10) | b(3));
    } else if (c < 0xC0) {
      emit((c & 1) | b(1)), emit((c & 6) | b(2)), emit((c & 0x18) | b(3)), emit(0x20);
    } else {
      emit((c & 1) | b(1)), emit((c & 2) | b(2)), emit((c & 0xC) | b(3)), emit((c & 0x30) | b(4));
    }
    i += need;
  }
  return static_cast<int>(o);
}

// ---- Binary records ---------------------------------------------------------

// 44-byte record, little-endian:
//   0 hour  4 minute  8 second  12 year  16 month  20 day   (uint32)
//   24 'A'  25 'N'/'S'  26 'E'/'W'  27 spare
//   28 lat (float32, ddmm.mmmm)  32 lon (dddmm.mmmm)  36 speed (knots)  40 course
bool ZovParseBinaryRecord(const uint8_t* p, size_t length, GpsFix& fix) {
  constexpr uint32_t kTwoDigitYearLimit = 50;
  fix = GpsFix{};
  if (!p || length < kBinaryRecordSize) return false;
  const char status = static_cast<char>(p[24]);
  const char ns = static_cast<char>(p[25]);
  const char ew = static_cast<char>(p[26]);
  if (status != 'A' && status != 'a') return false;
  if (!std::strchr("NSns", ns) || ns == 0) return false;
  if (!std::strchr("EWew", ew) || ew == 0) return false;
  float f[4];
  std::memcpy(f, p + 28, sizeof f);  // the host is little-endian
  if (!std::isfinite(f[0]) || !std::isfinite(f[1])) return false;
  fix.hour = Le32(p);
  fix.minute = Le32(p + 4);
  fix.second = Le32(p + 8);
  fix.year = Le32(p + 12);
  if (fix.year < kTwoDigitYearLimit) fix.year += 2000;
  fix.month = Le32(p + 16);
  fix.day = Le32(p + 20);
  fix.status = status;
  fix.latLetter = ns;
  fix.lonLetter = ew;
  fix.spare = static_cast<char>(p[27]);
  fix.latitude = f[0];
  fix.longitude = f[1];
  if ((ns == 'S' || ns == 's') && fix.latitude > 0) fix.latitude = -fix.latitude;
  if ((ew == 'W' || ew == 'w') && fix.longitude > 0) fix.longitude = -fix.longitude;
  fix.speed = std::isfinite(f[2]) ? f[2] : 0.0;
  fix.course = std::isfinite(f[3]) ? f[3] : 0.0;
  return true;
}

bool ZovDecodeBinaryRecord(CZovGpsBlockState& st, const uint8_t* bytes, size_t length, uint32_t index) {
  GpsFix fix;
  if (!ZovParseBinaryRecord(bytes, length, fix)) return false;
  st.blockState = kStateBinary;
  ZovAcceptFix(st, index, fix, ZovAcceptMode::kNmea);
  return true;
}

bool ZovDecodeAmbaRecord(CZovGpsBlockState& st, const uint8_t* bytes, size_t length) {
  GpsFix fix;
  if (!ZovParseAmbaRecord(bytes, length, fix)) return false;
  st.blockState = kStateBinary;
  ZovAcceptFix(st, 0, fix, ZovAcceptMode::kNoExchange);
  return true;
}

// ---- Fix acceptance ---------------------------------------------------------

double ZovNmeaToDegrees(double x) {
  double d = std::trunc(x / 100.0);
  return d + (x / 100.0 - d) * 100.0 / 60.0;
}

int32_t ZovFixEpochSeconds(const GpsFix& f) {
  const int64_t secs = ZovUtcSeconds(f.year, f.month, f.day, f.hour, f.minute, f.second);
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(secs)));
}

double ZovDatedFactor(int32_t ts) {
  int32_t day = ts / 86400;
  auto floorMod = [](int32_t a, int32_t b) { return ((a % b) + b) % b; };
  int32_t stepped = day - floorMod(day, kGpsDatedStepDays);
  int32_t v = floorMod(stepped, kGpsDatedModulus);
  v = std::clamp(v, kGpsDatedMin, kGpsDatedMax);
  return double(v) / kGpsDatedModulus;
}

namespace {

// t(x): |x| rounded down to a multiple of 10; u(x): the rest.
double Tens(double x) { return std::floor(std::fabs(x) / 10.0) * 10.0; }
double Units(double x) { return std::fabs(x) - Tens(x); }
double WithSign(double magnitude, double signOf) { return signOf < 0 ? -magnitude : magnitude; }

void RestoreCoordinates(CZovGpsBlockState& st, GpsFix& f) {
  const double lat = f.latitude, lon = f.longitude;
  const int s = st.blockState;
  if (s == 11 || s == 12 || s == 15) {
    const double k = ZovDatedFactor(ZovFixEpochSeconds(f));
    f.latitude = WithSign(Units(lon) / k + Tens(lat), lat);
    f.longitude = WithSign(Units(lat) / k + Tens(lon), lon);
  } else if (s <= kStateBinary || s == kStateF6) {
    const double k = s == kStateF6 ? kGpsRestoreF6 : kGpsRestoreF5;
    if (s != kStateF6) st.blockState = kStateBinary;
    f.longitude = WithSign(Units(lat) * k + Tens(lon), lon);
    f.latitude = WithSign(Units(lon) * k + Tens(lat), lat);
  }
}

}  // namespace

void ZovAcceptFix(CZovGpsBlockState& st, uint32_t index, const GpsFix& fix, ZovAcceptMode mode) {
  GpsFix f = fix;
  f.index = index;
  f.blockState = st.blockState;
  const bool outside = std::fabs(f.latitude) > kMaxLatitude || std::fabs(f.longitude) > kMaxLongitude;
  if (mode == ZovAcceptMode::kNmea || outside) {
    f.latitude = ZovNmeaToDegrees(f.latitude);
    f.longitude = ZovNmeaToDegrees(f.longitude);
  }
  if (mode == ZovAcceptMode::kBlock) RestoreCoordinates(st, f);

  GpsFixList& list = st.fixes;
  if (!list.empty() && int64_t(index) + kRestartSlack < int64_t(list.front().index)) {
    list.clear();
  } else if (!list.empty()) {
    const GpsFix& last = list.back();
    if (last.index == index && last.hour == f.hour && last.minute == f.minute && last.second == f.second)
      return;
  }
  list.push_back(f);
}
