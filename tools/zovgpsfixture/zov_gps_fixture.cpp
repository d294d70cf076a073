#include "tools/zovgpsfixture/zov_gps_fixture.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_calendar.h"
#include "gps/zov_gps_format_constants.h"

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;

bool Fail(std::string* error, const std::string& what) {
  if (error) *error = what;
  return false;
}

bool ReadAll(const std::string& path, Bytes& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteAll(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  return bool(out);
}

void PutBe32(Bytes& b, size_t at, uint32_t v) {
  b[at] = uint8_t(v >> 24);
  b[at + 1] = uint8_t(v >> 16);
  b[at + 2] = uint8_t(v >> 8);
  b[at + 3] = uint8_t(v);
}
void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void AppendBe32(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v >> 24));
  b.push_back(uint8_t(v >> 16));
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void AppendTag(Bytes& b, const char* tag) { b.insert(b.end(), tag, tag + 4); }
uint32_t Be32(const Bytes& b, size_t at) {
  return (uint32_t(b[at]) << 24) | (uint32_t(b[at + 1]) << 16) | (uint32_t(b[at + 2]) << 8) | b[at + 3];
}
uint64_t Be64(const Bytes& b, size_t at) { return (uint64_t(Be32(b, at)) << 32) | Be32(b, at + 4); }

Bytes MakeBox(const char* type, const Bytes& body) {
  Bytes b;
  AppendBe32(b, static_cast<uint32_t>(body.size() + 8));
  AppendTag(b, type);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

double Nmea(double degrees) {
  const double a = std::fabs(degrees);
  const double d = std::floor(a);
  return d * 100.0 + (a - d) * 60.0;
}

GpsFix DateOf(const ZovFixturePoint& p) {
  GpsFix f;
  ZovCopyFixDate(f, p);
  return f;
}

double Tens(double x) { return std::floor(std::fabs(x) / 10.0) * 10.0; }
double Units(double x) { return std::fabs(x) - Tens(x); }
double Signed(double magnitude, double like) { return like < 0 ? -magnitude : magnitude; }

// The cameras store some positions with the units of latitude and longitude
// swapped and scaled; these are the inverses of the decoder's restorations.
void ExchangeWithFactor(double& lat, double& lon, double f) {
  const double la = Signed(Tens(lat) + Units(lon) / f, lat);
  const double lo = Signed(Tens(lon) + Units(lat) / f, lon);
  lat = la;
  lon = lo;
}
void ExchangeDated(double& lat, double& lon, double f) {
  const double la = Signed(Tens(lat) + Units(lon) * f, lat);
  const double lo = Signed(Tens(lon) + Units(lat) * f, lon);
  lat = la;
  lon = lo;
}

// Substitution A encoding: plain character c becomes derived[c - '0'].
void EncodeSubstitutionA(uint8_t* text, size_t n, uint32_t key) {
  const std::array<char, 43> a = ZovSubstitutionAlphabetA(key);
  for (size_t i = 0; i < n; ++i)
    if (text[i] >= 0x30 && text[i] <= 0x5A) text[i] = static_cast<uint8_t>(a[text[i] - 0x30]);
}

bool RunCommand(const std::vector<std::string>& args, std::string* error) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
    return Fail(error, "cannot start " + args[0]);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return Fail(error, args[0] + " failed");
  return true;
}

// ---- MP4 structure -----------------------------------------------------------

struct Box {
  size_t offset = 0;
  size_t size = 0;
  size_t header = 8;
  std::string type;
};

std::vector<Box> Children(const Bytes& d, size_t begin, size_t end) {
  std::vector<Box> out;
  size_t pos = begin;
  while (pos + 8 <= end) {
    Box b;
    b.offset = pos;
    b.size = Be32(d, pos);
    b.type.assign(reinterpret_cast<const char*>(&d[pos + 4]), 4);
    if (b.size == 1 && pos + 16 <= end) {
      b.size = static_cast<size_t>(Be64(d, pos + 8));
      b.header = 16;
    } else if (b.size == 0) {
      b.size = end - pos;
    }
    if (b.size < b.header || b.size > end - pos) break;
    out.push_back(b);
    pos += b.size;
  }
  return out;
}

const Box* Find(const std::vector<Box>& boxes, const char* type) {
  for (const Box& b : boxes)
    if (b.type == type) return &b;
  return nullptr;
}

// Every stco/co64 box of every track in moov.
void ForEachChunkTable(const Bytes& d, const Box& moov, const auto& visit) {
  for (const Box& trak : Children(d, moov.offset + moov.header, moov.offset + moov.size)) {
    if (trak.type != "trak") continue;
    for (const Box& mdia : Children(d, trak.offset + 8, trak.offset + trak.size)) {
      if (mdia.type != "mdia") continue;
      for (const Box& minf : Children(d, mdia.offset + 8, mdia.offset + mdia.size)) {
        if (minf.type != "minf") continue;
        for (const Box& stbl : Children(d, minf.offset + 8, minf.offset + minf.size)) {
          if (stbl.type != "stbl") continue;
          for (const Box& t : Children(d, stbl.offset + 8, stbl.offset + stbl.size))
            if (t.type == "stco" || t.type == "co64" || t.type == "stsd") visit(trak, t);
        }
      }
    }
  }
}

// Inserts bytes into moov at `at` (an absolute offset inside it), growing moov
// and, when media data follow moov, moving every chunk offset along.
bool InsertIntoMoov(Bytes& d, size_t at, const Bytes& bytes, std::string* error) {
  std::vector<Box> top = Children(d, 0, d.size());
  const Box* moov = Find(top, "moov");
  if (!moov || moov->header != 8) return Fail(error, "no moov box");
  const size_t shift = bytes.size();
  const bool mediaAfter = std::any_of(top.begin(), top.end(), [&](const Box& b) {
    return b.offset > moov->offset && b.type == "mdat";
  });
  if (mediaAfter) {
    ForEachChunkTable(d, *moov, [&](const Box&, const Box& t) {
      if (t.type == "stsd") return;
      const size_t n = Be32(d, t.offset + 12);
      const size_t width = t.type == "co64" ? 8 : 4;
      for (size_t i = 0; i < n && t.offset + 16 + (i + 1) * width <= t.offset + t.size; ++i) {
        const size_t e = t.offset + 16 + i * width;
        if (width == 4) {
          const uint32_t v = Be32(d, e);
          if (v > moov->offset) PutBe32(d, e, static_cast<uint32_t>(v + shift));
        } else {
          const uint64_t v = Be64(d, e) + (Be64(d, e) > moov->offset ? shift : 0);
          PutBe32(d, e, uint32_t(v >> 32));
          PutBe32(d, e + 4, uint32_t(v));
        }
      }
    });
  }
  PutBe32(d, moov->offset, static_cast<uint32_t>(moov->size + shift));
  d.insert(d.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
  return true;
}

size_t MoovEnd(const Bytes& d) {
  const Box* moov = nullptr;
  std::vector<Box> top = Children(d, 0, d.size());
  moov = Find(top, "moov");
  return moov ? moov->offset + moov->size : 0;
}

size_t AfterMvhd(const Bytes& d) {
  std::vector<Box> top = Children(d, 0, d.size());
  const Box* moov = Find(top, "moov");
  if (!moov) return 0;
  std::vector<Box> kids = Children(d, moov->offset + 8, moov->offset + moov->size);
  const Box* mvhd = Find(kids, "mvhd");
  return mvhd ? mvhd->offset + mvhd->size : moov->offset + 8;
}

void AddSecond(ZovFixturePoint& p) {
  if (++p.second < 60) return;
  p.second = 0;
  if (++p.minute < 60) return;
  p.minute = 0;
  if (++p.hour < 24) return;
  p.hour = 0;
  ++p.day;  // the drives are short; a month end is not reached in fixtures
}

// The first presentation time of a transport stream (0 when none is found).
int64_t FirstPts(const Bytes& ts) {
  for (size_t i = 0; i + 188 <= ts.size(); i += 188) {
    const uint8_t* p = &ts[i];
    if (p[0] != 0x47 || !(p[1] & 0x40) || !(p[3] & 0x10)) continue;
    const size_t at = 4 + ((p[3] & 0x20) ? 1 + size_t(p[4]) : 0);
    if (at + 14 > 188) continue;
    const uint8_t* h = p + at;
    if (h[0] != 0 || h[1] != 0 || h[2] != 1 || (h[7] & 0x80) == 0) continue;
    const uint8_t* t = h + 9;
    return (int64_t((t[0] >> 1) & 7) << 30) | (int64_t(t[1]) << 22) | (int64_t(t[2] >> 1) << 15) |
           (int64_t(t[3]) << 7) | int64_t(t[4] >> 1);
  }
  return 0;
}

// A PES header of private stream 1 with a PTS, for `payload` bytes after it.
Bytes PesHeader(int64_t pts, size_t payload) {
  const size_t length = 3 + 5 + payload;
  return {0x00, 0x00, 0x01, 0xBD, uint8_t(length >> 8), uint8_t(length), 0x80, 0x80, 0x05,
          uint8_t(0x21 | ((pts >> 29) & 0x0E)), uint8_t(pts >> 22), uint8_t(0x01 | ((pts >> 14) & 0xFE)),
          uint8_t(pts >> 7), uint8_t(0x01 | ((pts << 1) & 0xFE))};
}

}  // namespace

ZovFixtureTrack ZovFixtureDrive(int seconds, double lat, double lon, double kmh, int hour,
                                int minute, int second) {
  ZovFixtureTrack track;
  ZovFixturePoint p;
  p.hour = hour;
  p.minute = minute;
  p.second = second;
  p.latitude = lat;
  p.longitude = lon;
  double course = 30.0;
  for (int i = 0; i < seconds; ++i) {
    p.speedKnots = (kmh + 6.0 * std::sin(i / 5.0)) / 1.852;
    p.heading = course;
    p.altitude = 35.0 + 0.5 * i;
    p.x = 0.01 * (i % 7);
    p.y = -0.02 * (i % 5);
    p.z = 0.98;
    track.push_back(p);
    const double metres = p.speedKnots * 1.852 / 3.6;
    constexpr double kRad = M_PI / 180.0;
    p.latitude += metres * std::cos(course * kRad) / 111320.0;
    p.longitude += metres * std::sin(course * kRad) / (111320.0 * std::cos(p.latitude * kRad));
    course = std::fmod(course + 4.0, 360.0);
    AddSecond(p);
  }
  return track;
}

// ---- Records ------------------------------------------------------------------

std::vector<uint8_t> ZovFixtureBinaryRecord(const ZovFixturePoint& p) {
  Bytes r(kBinaryRecordSize, 0);
  PutLe32(&r[0], uint32_t(p.hour));
  PutLe32(&r[4], uint32_t(p.minute));
  PutLe32(&r[8], uint32_t(p.second));
  PutLe32(&r[12], uint32_t(p.year >= 2000 ? p.year - 2000 : p.year));
  PutLe32(&r[16], uint32_t(p.month));
  PutLe32(&r[20], uint32_t(p.day));
  r[24] = 'A';
  r[25] = p.latitude < 0 ? 'S' : 'N';
  r[26] = p.longitude < 0 ? 'W' : 'E';
  const float f[4] = {float(Nmea(p.latitude)), float(Nmea(p.longitude)), float(p.speedKnots),
                      float(p.heading)};
  std::memcpy(&r[28], f, sizeof f);
  return r;
}

std::vector<uint8_t> ZovFixtureFreeGpsBlock(const ZovFixturePoint& p, bool at48, size_t size) {
  size = std::max<size_t>(size, 48 + kBinaryRecordSize);
  Bytes b(size, 0);
  PutBe32(b, 0, static_cast<uint32_t>(size));
  std::memcpy(&b[4], "freeGPS ", 8);
  PutLe32(&b[12], at48 ? 76 : 44);
  Bytes rec = ZovFixtureBinaryRecord(p);
  std::copy(rec.begin(), rec.end(), b.begin() + (at48 ? 48 : 16));
  return b;
}

std::string ZovFixtureRecordText(const std::string& grammar, const ZovFixturePoint& p,
                                 uint32_t index) {
  const char la = p.latitude < 0 ? 'S' : 'N';
  const char lo = p.longitude < 0 ? 'W' : 'E';
  if (grammar == "c1" || grammar == "c2") {
    const bool c1 = grammar == "c1";
    return ZovFixtureFormat("%02d%02d%02d,%02d%02d%02d,%.6f,%.6f,%.2f,%.1f,%.1f,ZOVCAM01,%.2f,%.2f,%.2f",
                  c1 ? p.year % 100 : p.day, p.month, c1 ? p.day : p.year % 100, p.hour, p.minute,
                  p.second, p.latitude, p.longitude, p.speedKnots, p.heading, p.altitude, p.x, p.y,
                  p.z);
  }
  std::string line = ZovFixtureFormat(
      "%04d/%02d/%02d %02d:%02d:%02d %c:%.5f %c:%.5f %.2f km/h x:%.2f y:%.2f z:%.2f A:%.1f H:%.1f M:E0.0",
      p.year, p.month, p.day, p.hour, p.minute, p.second, la, std::fabs(p.latitude), lo,
      std::fabs(p.longitude), p.speedKnots, p.x, p.y, p.z, p.heading, p.altitude);
  if (grammar == "3") return ZovFixtureFormat("%u 0 ", index) + line;
  return line;
}

std::string ZovFixtureAmbaText(const ZovFixturePoint& p) {
  return ZovFixtureFormat("$GS,%d,%d,%d$G,%04d-%02d-%02d %02d:%02d:%02d-%c%09.4f-%c%010.4f-S%03d",
                int(p.x * 100), int(p.y * 100), int(p.z * 100), p.year, p.month, p.day, p.hour,
                p.minute, p.second, p.latitude < 0 ? 'S' : 'N', Nmea(p.latitude),
                p.longitude < 0 ? 'W' : 'E', Nmea(p.longitude),
                int(std::lround(p.speedKnots * 1.852)));
}

// KARUGPS block: 20-byte header (tag, version at 15, record count at 16),
// then one "####" mark and 128-byte payload per record:
//   versions 11, 12:        uint32 index, C2 text
//   other framed versions:  uint16 index, uint16 key (k = key * 255), text
std::vector<uint8_t> ZovFixtureKaruBlock(int version, const ZovFixtureTrack& track,
                                         uint32_t firstIndex) {
  Bytes b(20, 0);
  std::memcpy(&b[0], "KARUGPS", 7);
  b[15] = static_cast<uint8_t>(version);
  PutLe32(&b[16], static_cast<uint32_t>(track.size()));
  for (size_t i = 0; i < track.size(); ++i) {
    ZovFixturePoint p = track[i];
    const uint32_t index = firstIndex + static_cast<uint32_t>(i);
    const uint16_t keyWord = static_cast<uint16_t>(1 + i % 7);
    std::string text;
    switch (version) {
      case 11:
      case 15: {
        const double f = ZovDatedFactor(ZovFixEpochSeconds(DateOf(p)));
        ExchangeDated(p.latitude, p.longitude, f);
        text = ZovFixtureRecordText("c2", p, index);
        break;
      }
      case 13:
      case 14:
        ExchangeWithFactor(p.latitude, p.longitude, version == 13 ? kGpsRestoreF5 : kGpsRestoreF6);
        text = ZovFixtureRecordText("2", p, index);
        break;
      case 17:
        text = ZovFixtureRecordText("c1", p, index);
        break;
      default:
        text = ZovFixtureRecordText("1", p, index);
        break;
    }
    uint8_t payload[128] = {};
    std::memcpy(payload + 4, text.data(), std::min<size_t>(text.size(), 123));
    if (version == 11) {
      PutLe32(payload, index);
    } else {
      PutLe16(payload, static_cast<uint16_t>(index));
      PutLe16(payload + 2, keyWord);
      EncodeSubstitutionA(payload + 4, 124, uint32_t(keyWord) * 255);
    }
    b.insert(b.end(), {'#', '#', '#', '#'});
    b.insert(b.end(), payload, payload + 128);
  }
  return b;
}

// GPSINFO: 20 bytes from the tag to the first record; GPSINFO: records
// right after the 8-byte tag. Records are 132-byte text slots every 136 bytes.
std::vector<uint8_t> ZovFixtureInfoBlock(bool colon, const ZovFixtureTrack& track) {
  Bytes b;
  const char* tag = colon ? "GPSINFO:" : "GPSINFO";
  b.insert(b.end(), tag, tag + std::strlen(tag));
  b.resize(colon ? 8 : 20, ' ');
  for (size_t i = 0; i < track.size(); ++i) {
    std::string text = ZovFixtureRecordText(colon ? "4" : "3", track[i], uint32_t(i));
    uint8_t slot[136] = {};
    std::memcpy(slot, text.data(), std::min<size_t>(text.size(), 131));
    b.insert(b.end(), slot, slot + 136);
  }
  return b;
}

bool ZovFixtureAppendTail(const std::string& path, const std::vector<uint8_t>& block,
                          std::string* error) {
  Bytes d;
  if (!ReadAll(path, d)) return Fail(error, "cannot read " + path);
  Bytes box = MakeBox("hgps", block);
  // The box must leave at least 140 bytes to the end of the file.
  while (box.size() < 140) box.push_back(0);
  PutBe32(box, 0, static_cast<uint32_t>(box.size()));
  d.insert(d.end(), box.begin(), box.end());
  const uint32_t l = static_cast<uint32_t>(box.size() + 8);
  d.insert(d.end(), {'&', '&', '&', '&'});
  AppendBe32(d, l);
  return WriteAll(path, d) || Fail(error, "cannot write " + path);
}

// ---- Layouts -------------------------------------------------------------------

namespace {

constexpr size_t kFreeGpsBlock = 256;

bool WriteGpsTable(const Bytes& clip, const ZovFixtureTrack& track, bool at48, bool zeroEntry,
                   Bytes& d, std::string* error) {
  d = clip;
  const size_t entries = track.size() + (zeroEntry ? 1 : 0);
  const size_t tableBox = 16 + entries * 8;
  // Blocks go at the end of the file, after the grown moov.
  const size_t blocksAt = d.size() + tableBox;
  Bytes body(8, 0);
  PutBe32(body, 4, static_cast<uint32_t>(entries));
  for (size_t i = 0; i < track.size(); ++i) {
    AppendBe32(body, static_cast<uint32_t>(blocksAt + i * kFreeGpsBlock));
    AppendBe32(body, static_cast<uint32_t>(kFreeGpsBlock));
    if (zeroEntry && i == 0) {  // an unused slot of the camera's table
      AppendBe32(body, static_cast<uint32_t>(blocksAt));
      AppendBe32(body, 0);
    }
  }
  Bytes gps = MakeBox("gps ", body);
  // Cameras write the table right after the movie header, before the tracks.
  if (MoovEnd(d) == 0) return Fail(error, "no moov box");
  if (!InsertIntoMoov(d, AfterMvhd(d), gps, error)) return false;
  for (const ZovFixturePoint& p : track) {
    Bytes block = ZovFixtureFreeGpsBlock(p, at48, kFreeGpsBlock);
    d.insert(d.end(), block.begin(), block.end());
  }
  return true;
}

// PCM chunks of the `sowt` track are moved into a `free` box, each followed
// 64 KiB after its start by a freeGPS block (the layout of cameras that write
// the GPS second behind each second of sound).
bool WriteFreeGpsSowt(const Bytes& clip, const ZovFixtureTrack& track, Bytes& d,
                      std::string* error) {
  d = clip;
  std::vector<Box> top = Children(d, 0, d.size());
  const Box* moov = Find(top, "moov");
  const Box* mdat = Find(top, "mdat");
  if (!moov || !mdat || moov->offset < mdat->offset)
    return Fail(error, "the clip needs its moov after mdat");
  // Collect all chunk offsets (to know where each chunk ends) and the sowt table.
  std::vector<uint64_t> all;
  Box sowtStco;
  bool sowt = false, inSowtTrack = false;
  size_t currentTrak = SIZE_MAX;
  ForEachChunkTable(d, *moov, [&](const Box& trak, const Box& t) {
    if (trak.offset != currentTrak) {
      currentTrak = trak.offset;
      inSowtTrack = false;
    }
    if (t.type == "stsd") {
      inSowtTrack = std::memcmp(&d[t.offset + 20], "sowt", 4) == 0;
      return;
    }
    if (t.type != "stco") return;
    const size_t n = Be32(d, t.offset + 12);
    for (size_t i = 0; i < n; ++i) all.push_back(Be32(d, t.offset + 16 + i * 4));
    if (inSowtTrack) {
      sowtStco = t;
      sowt = true;
    }
  });
  if (!sowt) return Fail(error, "the clip has no sowt track");
  std::sort(all.begin(), all.end());
  const size_t mdatEnd = mdat->offset + mdat->size;
  const size_t n = Be32(d, sowtStco.offset + 12);
  constexpr size_t kSlot = 0x10000;
  Bytes region;
  const size_t regionAt = mdatEnd;  // the free box is placed right after mdat
  for (size_t i = 0; i < n; ++i) {
    const uint64_t off = Be32(d, sowtStco.offset + 16 + i * 4);
    auto next = std::upper_bound(all.begin(), all.end(), off);
    const uint64_t end = next == all.end() ? mdatEnd : std::min<uint64_t>(*next, mdatEnd);
    if (end - off > kSlot) return Fail(error, "a sound chunk is larger than 64 KiB");
    const size_t at = 8 + region.size();
    region.resize(region.size() + kSlot, 0);
    std::memcpy(&region[at - 8], &d[off], end - off);
    PutBe32(d, sowtStco.offset + 16 + i * 4, static_cast<uint32_t>(regionAt + at));
    const ZovFixturePoint& p = track[std::min(i, track.size() - 1)];
    Bytes block = ZovFixtureFreeGpsBlock(p, /*at48=*/false, kFreeGpsBlock);
    if (i >= track.size()) block.assign(kFreeGpsBlock, 0);  // sound without a fix
    region.insert(region.end(), block.begin(), block.end());
  }
  Bytes box = MakeBox("free", region);
  d.insert(d.begin() + static_cast<std::ptrdiff_t>(regionAt), box.begin(), box.end());
  return true;
}

bool WriteWithCues(const std::string& clip, const std::string& out,
                   const std::vector<std::string>& cues, std::string* error) {
  const std::string srt = out + ".cues.srt";
  {
    std::ofstream s(srt);
    for (size_t i = 0; i < cues.size(); ++i)
      s << i + 1 << "\n"
        << ZovFixtureFormat("00:%02zu:%02zu,000 --> 00:%02zu:%02zu,000", i / 60, i % 60, (i + 1) / 60,
                  (i + 1) % 60)
        << "\n"
        << cues[i] << "\n\n";
  }
  const bool ok = RunCommand({"ffmpeg", "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
                              "-i", clip, "-i", srt, "-map", "0", "-map", "1", "-c", "copy",
                              "-c:s", "mov_text", out},
                             error);
  std::remove(srt.c_str());
  return ok;
}

}  // namespace

const char* ZovFixtureLayoutName(ZovFixtureLayout layout) {
  switch (layout) {
    case ZovFixtureLayout::kGpsTable48: return "gps-table-48";
    case ZovFixtureLayout::kGpsTable16: return "gps-table-16";
    case ZovFixtureLayout::kFreeGpsSowt: return "freegps-sowt";
    case ZovFixtureLayout::kUdtaGps: return "udta-gps";
    case ZovFixtureLayout::kSkipBox: return "skip-box";
    case ZovFixtureLayout::kTailIndex: return "tail-index";
    case ZovFixtureLayout::kAmba: return "amba";
    case ZovFixtureLayout::kTextTrack: return "text-track";
    case ZovFixtureLayout::kGpmdTrack: return "gpmd-track";
    case ZovFixtureLayout::kTransportStream: return "ts";
    case ZovFixtureLayout::kAviJunk: return "avi-junk";
    case ZovFixtureLayout::kTextG1: return "txt-g1";
    case ZovFixtureLayout::kTextG2: return "txt-g2";
    case ZovFixtureLayout::kTextG3: return "txt-g3";
    case ZovFixtureLayout::kTextG4: return "txt-g4";
    case ZovFixtureLayout::kTextC1: return "txt-c1";
    case ZovFixtureLayout::kTextC2: return "txt-c2";
  }
  return "?";
}

std::vector<ZovFixtureLayout> ZovFixtureAllLayouts() {
  std::vector<ZovFixtureLayout> all;
  for (int i = 0; i <= int(ZovFixtureLayout::kTextC2); ++i) all.push_back(ZovFixtureLayout(i));
  return all;
}

bool ZovFixtureLayoutFromName(const std::string& name, ZovFixtureLayout& layout) {
  for (ZovFixtureLayout l : ZovFixtureAllLayouts())
    if (name == ZovFixtureLayoutName(l)) {
      layout = l;
      return true;
    }
  return false;
}

bool ZovWriteFixture(ZovFixtureLayout layout, const std::string& clip, const std::string& out,
                     const ZovFixtureTrack& track, const ZovFixtureOptions& options,
                     std::string* error) {
  if (track.empty()) return Fail(error, "empty track");
  const int v = options.blockVersion;
  Bytes d;
  switch (layout) {
    case ZovFixtureLayout::kTextG1: d = ZovFixtureKaruBlock(16, track); break;
    case ZovFixtureLayout::kTextG2: d = ZovFixtureKaruBlock(13, track); break;
    case ZovFixtureLayout::kTextG3: d = ZovFixtureInfoBlock(false, track); break;
    case ZovFixtureLayout::kTextG4: d = ZovFixtureInfoBlock(true, track); break;
    case ZovFixtureLayout::kTextC1: d = ZovFixtureKaruBlock(17, track); break;
    case ZovFixtureLayout::kTextC2: d = ZovFixtureKaruBlock(11, track); break;
    case ZovFixtureLayout::kAmba:
    case ZovFixtureLayout::kGpmdTrack:
    case ZovFixtureLayout::kTextTrack: {
      std::vector<std::string> cues;
      for (size_t i = 0; i < track.size(); ++i)
        cues.push_back(layout == ZovFixtureLayout::kAmba
                           ? ZovFixtureAmbaText(track[i])
                           : "GPSINFO-------------" + ZovFixtureRecordText("3", track[i], uint32_t(i)));
      const std::string tmp = out + ".tmp" + (layout == ZovFixtureLayout::kTextTrack ? ".mov" : ".mp4");
      if (!WriteWithCues(clip, tmp, cues, error)) return false;
      if (!ReadAll(tmp, d)) return Fail(error, "cannot read " + tmp);
      std::remove(tmp.c_str());
      if (layout == ZovFixtureLayout::kGpmdTrack) {
        // The text track's sample entry becomes a `gpmd` telemetry entry.
        std::vector<Box> top = Children(d, 0, d.size());
        const Box* moov = Find(top, "moov");
        bool patched = false;
        if (moov)
          ForEachChunkTable(d, *moov, [&](const Box&, const Box& t) {
            if (t.type == "stsd" && std::memcmp(&d[t.offset + 20], "tx3g", 4) == 0) {
              std::memcpy(&d[t.offset + 20], "gpmd", 4);
              patched = true;
            }
          });
        if (!patched) return Fail(error, "no text track to turn into gpmd");
      }
      if (layout == ZovFixtureLayout::kAmba) {
        Bytes amba = MakeBox("AMBA", Bytes(8, 0));
        if (!InsertIntoMoov(d, AfterMvhd(d), MakeBox("udta", amba), error)) return false;
      }
      break;
    }
    default: {
      Bytes c;
      if (!ReadAll(clip, c)) return Fail(error, "cannot read " + clip);
      switch (layout) {
        case ZovFixtureLayout::kGpsTable48:
        case ZovFixtureLayout::kGpsTable16:
          if (!WriteGpsTable(c, track, layout == ZovFixtureLayout::kGpsTable48,
                             options.zeroLengthEntry, d, error))
            return false;
          break;
        case ZovFixtureLayout::kFreeGpsSowt:
          if (!WriteFreeGpsSowt(c, track, d, error)) return false;
          break;
        case ZovFixtureLayout::kUdtaGps: {
          d = c;
          Bytes udta = MakeBox("udta", MakeBox("GPS ", ZovFixtureKaruBlock(v, track)));
          if (!InsertIntoMoov(d, MoovEnd(d), udta, error)) return false;
          break;
        }
        case ZovFixtureLayout::kSkipBox: {
          d = c;
          Bytes skip = MakeBox("skip", ZovFixtureKaruBlock(v, track));
          d.insert(d.end(), skip.begin(), skip.end());
          break;
        }
        case ZovFixtureLayout::kTailIndex: {
          if (!WriteAll(out, c)) return Fail(error, "cannot write " + out);
          return ZovFixtureAppendTail(out, ZovFixtureKaruBlock(v, track), error);
        }
        case ZovFixtureLayout::kTransportStream: {
          if (c.size() < 188 || c[0] != 0x47) return Fail(error, "not a transport stream");
          const size_t packets = c.size() / 188;
          const int64_t first = FirstPts(c);
          size_t next = 0;
          for (size_t i = 0; i < packets; ++i) {
            d.insert(d.end(), c.begin() + i * 188, c.begin() + (i + 1) * 188);
            while (next < track.size() && next * packets / track.size() <= i) {
              Bytes pkt(188, 0xFF);
              pkt[0] = 0x47;
              pkt[1] = 0x43;  // payload unit start, PID 0x300
              pkt[2] = 0x00;
              pkt[3] = static_cast<uint8_t>(0x10 | (next & 0x0F));
              Bytes block = ZovFixtureKaruBlock(v, {track[next]}, uint32_t(next));
              // Point k is second k of the video: its PES packet's time is the
              // clip's first time plus k seconds (and a little, as a camera
              // writes the fix after the second's first frame).
              const Bytes pes = PesHeader((first + int64_t(next) * 90000 + 900) & ((int64_t(1) << 33) - 1),
                                          block.size());
              std::copy(pes.begin(), pes.end(), pkt.begin() + 4);
              std::copy(block.begin(), block.end(), pkt.begin() + 4 + long(pes.size()));
              d.insert(d.end(), pkt.begin(), pkt.end());
              ++next;
            }
          }
          break;
        }
        case ZovFixtureLayout::kAviJunk: {
          if (c.size() < 32 || std::memcmp(c.data(), "RIFF", 4) != 0)
            return Fail(error, "not an AVI file");
          d = c;
          if (d.size() & 1) d.push_back(0);
          for (size_t i = 0; i < track.size(); ++i) {
            Bytes chunk(8 + 34032, 0);
            std::memcpy(&chunk[0], "JUNK", 4);
            PutLe32(&chunk[4], 34032);
            Bytes block = ZovFixtureKaruBlock(v, {track[i]}, uint32_t(i));
            std::copy(block.begin(), block.end(), chunk.begin() + 33528);
            d.insert(d.end(), chunk.begin(), chunk.end());
          }
          PutLe32(&d[4], static_cast<uint32_t>(d.size() - 8));
          break;
        }
        default:
          return Fail(error, "unknown layout");
      }
    }
  }
  return WriteAll(out, d) || Fail(error, "cannot write " + out);
}
