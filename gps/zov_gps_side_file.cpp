#include "gps/zov_gps_side_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "gps/zov_gps_file.h"
#include "gps/zov_gps_scan.h"
#include "gps/zov_gps_side_parse.h"

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<uint8_t> ReadWhole(const std::string& path) {
  CZovGpsFile file;
  if (!file.Open(path)) return {};
  return file.ReadVector(0, static_cast<size_t>(std::min(file.Size(), zovscan::kMaxTextFile)));
}

// DIR/BASE of DIR/BASE.EXT.
std::string Stem(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

// STEM_<mode> of a channel's STEM_<mode><channel> (..._NF -> ..._N), or "".
std::string WithoutChannel(const std::string& stem) {
  const size_t n = stem.size();
  if (n < 3 || stem[n - 3] != '_') return {};
  const char mode = stem[n - 2], channel = stem[n - 1];
  if (!std::isalpha(static_cast<unsigned char>(mode))) return {};
  if (channel != 'F' && channel != 'R' && channel != 'I' && channel != 'O') return {};
  return stem.substr(0, n - 1);
}

uint32_t Be32(const uint8_t* p) { return ZovBe32(p); }

}  // namespace

std::vector<std::string> ZovSideFilesOf(const std::string& recording) {
  const std::string stem = Stem(recording);
  std::vector<std::string> names = {stem + ".gps"};
  if (const std::string shared = WithoutChannel(stem); !shared.empty()) names.push_back(shared + ".gps");
  for (const char* ext : {".nmea", ".NMEA", ".log", ".txt", ".srt", ".SRT", ".gpx", ".GPX"})
    names.push_back(stem + ext);
  std::vector<std::string> found;
  for (const std::string& n : names)
    if (n != recording && IsRegularFile(n)) found.push_back(n);
  return found;
}

std::string ZovAccelSidecarOf(const std::string& stampedNmea) {
  const std::string stem = Stem(stampedNmea);
  for (const char* ext : {".3gf", ".3GF"})
    if (IsRegularFile(stem + ext)) return stem + ext;
  return {};
}

std::vector<std::string> ZovTimeLogsBeside(const std::string& recording) {
  namespace fs = std::filesystem;
  std::vector<std::string> logs;
  std::error_code ec;
  const fs::path dir = fs::path(recording).parent_path();
  fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end;
  size_t seen = 0;
  for (; !ec && it != end && seen < 100000; it.increment(ec), ++seen) {
    const std::string p = it->path().string();
    const ZovSideLayout l = ZovSideLayoutOfName(p);
    if ((l == ZovSideLayout::kDayLog || l == ZovSideLayout::kGpx) && IsRegularFile(p)) logs.push_back(p);
  }
  std::sort(logs.begin(), logs.end());
  if (logs.size() > zovsidefile::kMaxFolderLogs) logs.resize(zovsidefile::kMaxFolderLogs);
  return logs;
}

bool ZovReadSideFile(const std::string& path, ZovSideTrack& track, ZovSideLayout layout) {
  track = ZovSideTrack{};
  const std::vector<uint8_t> data = ReadWhole(path);
  if (data.empty()) return false;
  if (layout == ZovSideLayout::kNone) layout = ZovSideLayoutOfName(path);
  if (layout == ZovSideLayout::kNone) layout = ZovSideLayoutOfContent(data.data(), data.size());
  if (layout == ZovSideLayout::kNone) return false;
  const bool ok = ZovParseSideText(layout, data.data(), data.size(), track);
  if (ok && layout == ZovSideLayout::kStampedNmea) {
    if (const std::string accel = ZovAccelSidecarOf(path); !accel.empty()) {
      const std::vector<uint8_t> a = ReadWhole(accel);
      track.accel = ZovParseAccelSidecar(a.data(), a.size());
    }
  }
  return ok;
}

namespace {

// Calls take(digits) for each run of digits of the file name, single
// separators ('_', '-', '.', blank) between digits allowed, at most 14
// digits; stops when take returns true.
template <typename Fn>
bool ForEachDigitRun(const std::string& path, Fn&& take) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  auto isSep = [](char c) { return c == '_' || c == '-' || c == '.' || c == ' '; };
  for (size_t i = 0; i < name.size(); ++i) {
    if (!isDigit(name[i]) || (i > 0 && isDigit(name[i - 1]))) continue;
    std::string digits;
    for (size_t j = i; j < name.size() && digits.size() < 14; ++j) {
      if (isDigit(name[j])) digits += name[j];
      else if (!(isSep(name[j]) && j + 1 < name.size() && isDigit(name[j + 1]) && !isSep(name[j - 1]))) break;
    }
    if (take(std::string_view(digits))) return true;
  }
  return false;
}

}  // namespace

bool ZovDayFromName(const std::string& path, int64_t& day) {
  using zovside::Digits;
  return ForEachDigitRun(path, [&day](std::string_view d) {
    int64_t ms = 0;
    if (d.size() < 8 || !zovside::CivilMs(Digits(d, 0, 4), Digits(d, 4, 2), Digits(d, 6, 2), 0, 0, 0, 0, ms))
      return false;
    day = ms / 86400000;
    return true;
  });
}

bool ZovStartFromName(const std::string& path, int64_t& startMs) {
  return ForEachDigitRun(path, [&startMs](std::string_view d) {
    using zovside::Digits;
    int64_t ms = 0;
    if (d.size() == 14 && zovside::CivilMs(Digits(d, 0, 4), Digits(d, 4, 2), Digits(d, 6, 2), Digits(d, 8, 2),
                                           Digits(d, 10, 2), Digits(d, 12, 2), 0, ms)) {
      startMs = ms;
      return true;
    }
    if (d.size() >= 12 && zovside::CivilMs(2000 + Digits(d, 0, 2), Digits(d, 2, 2), Digits(d, 4, 2),
                                           Digits(d, 6, 2), Digits(d, 8, 2), Digits(d, 10, 2), 0, ms)) {
      startMs = ms;
      return true;
    }
    return false;
  });
}

ZovRecordingTime ZovRecordingTimeOf(const std::string& path) {
  using namespace zovsidefile;
  ZovRecordingTime t;
  t.hasNameStart = ZovStartFromName(path, t.nameStartMs);
  CZovGpsFile file;
  if (!file.Open(path)) return t;
  const uint64_t size = file.Size();
  // Top-level boxes up to moov, then moov's children up to mvhd.
  uint64_t pos = 0, end = size;
  bool inMoov = false;
  for (int n = 0; n < kMaxHeaderBoxes && pos + 8 <= end; ++n) {
    uint8_t h[16];
    if (!file.ReadExact(pos, h, 8)) break;
    uint64_t boxSize = Be32(h);
    uint64_t header = 8;
    if (boxSize == 1) {
      if (!file.ReadExact(pos + 8, h + 8, 8)) break;
      boxSize = ZovBe64(h + 8);
      header = 16;
    } else if (boxSize == 0) {
      boxSize = end - pos;
    }
    if (boxSize < header || boxSize > end - pos) break;
    if (!inMoov && std::memcmp(h + 4, "moov", 4) == 0) {
      inMoov = true;
      end = pos + boxSize;
      pos += header;
      n = 0;
      continue;
    }
    if (inMoov && std::memcmp(h + 4, "mvhd", 4) == 0) {
      uint8_t m[36];
      const size_t got = file.ReadAt(pos + header, m, sizeof m);
      int64_t created = 0, timescale = 0, duration = -1;
      if (got >= 20 && m[0] == 0) {
        created = Be32(m + 4);
        timescale = Be32(m + 12);
        duration = Be32(m + 16);
      } else if (got >= 32 && m[0] == 1) {
        created = int64_t(ZovBe64(m + 4) & 0x7FFFFFFFFFFFull);
        timescale = Be32(m + 20);
        duration = int64_t(ZovBe64(m + 24) & 0x7FFFFFFFFFFFull);
      }
      if (created > kMp4Epoch) {
        t.hasContainerStart = true;
        t.containerStartMs = (created - kMp4Epoch) * 1000;
      }
      if (duration == 0xFFFFFFFFll || duration == 0x7FFFFFFFFFFFll) duration = -1;  // "unknown"
      if (timescale > 0 && duration >= 0) t.durationMs = duration * 1000 / timescale;
      break;
    }
    pos += boxSize;
  }
  return t;
}
