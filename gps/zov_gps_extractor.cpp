#include "gps/zov_gps_extractor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

#include "gps/zov_gps_cleanup.h"
#include "gps/zov_gps_file.h"
#include "gps/zov_gps_side_file.h"
#include "gps/zov_gps_timeline.h"

CZovGpsExtractor& CZovGpsExtractor::Instance() {
  static CZovGpsExtractor extractor;
  return extractor;
}

void CZovGpsExtractor::InitExtractor(uint32_t* handle) const {
  if (handle) *handle = kZovExtractorMagic;
}

int CZovGpsExtractor::OnBlock(const uint8_t* data, size_t size) {
  return ZovParseGpsBlock(state_, data, size);
}

int CZovGpsExtractor::OnTimedBlock(const uint8_t* data, size_t size, int64_t second) {
  return ZovParseTimedGpsBlock(state_, data, size, second);
}

void CZovGpsExtractor::OnBinaryRecord(const uint8_t* record, uint32_t index) {
  ZovDecodeBinaryRecord(state_, record, kBinaryRecordSize, index);
}

void CZovGpsExtractor::OnAmbaRecord(const uint8_t* data, size_t size) {
  ZovDecodeAmbaRecord(state_, data, size);
}

int CZovGpsExtractor::ExtractGps(const uint32_t* handle, const std::string& path,
                                 std::string* pointText, std::string* sensorText,
                                 const ZovScanStop& stop) {
  return ExtractGpsAs(handle, path, ZovGpsSourceKindOf(path), pointText, sensorText, stop);
}

void CZovGpsExtractor::AcceptPlaced(const GpsFixList& placed) {
  for (const GpsFix& f : placed) {
    state_.blockState = kZovSideBlockState;
    ZovAcceptFix(state_, f.index, f, ZovAcceptMode::kNoExchange);
  }
}

// A side file of a public layout, placed from its own first fix (or stamp).
bool CZovGpsExtractor::TakeSideTrack(const std::string& path, ZovSideLayout layout) {
  ZovSideTrack track;
  const bool ok = ZovReadSideFile(path, track, layout);
  lastBadLines_ += track.badLines;
  if (!ok) return false;
  AcceptPlaced(ZovPlaceSideFixes(track, 0, track.fixes.size(), track.fixes.front().timeMs));
  if (state_.fixes.empty()) return false;
  lastUtc_ = track.utc;
  return true;
}

// A text file in the cameras' own block layout (KARUGPS, GPSINFO).
bool CZovGpsExtractor::TakeBlockText(const std::string& path) {
  CZovGpsFile file;
  if (!file.Open(path)) return false;
  CZovGpsScan(file, *this).ScanText();
  lastUtc_ = false;
  return !state_.fixes.empty();
}

bool CZovGpsExtractor::TakeSideFilesOf(const std::string& recording) {
  for (const std::string& side : ZovSideFilesOf(recording)) {
    const bool blockText = ZovGpsSourceKindOf(side) == ZovGpsSourceKind::kText;
    if ((blockText && TakeBlockText(side)) || TakeSideTrack(side, ZovSideLayout::kNone)) {
      lastSideFile_ = side;
      return true;
    }
    state_.Reset();
  }
  return false;
}

const ZovSideTrack* CZovGpsExtractor::TimeLog(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return nullptr;
  const int64_t modified = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  CachedLog& c = logCache_;
  if (c.path != path || c.size != uint64_t(st.st_size) || c.modifiedNs != modified) {
    c.path = path;
    c.size = uint64_t(st.st_size);
    c.modifiedNs = modified;
    c.ok = ZovReadSideFile(path, c.track);
    if (c.ok) ZovSortByTime(c.track);
  }
  return c.ok ? &c.track : nullptr;
}

// Day logs are in the camera's clock like the recording's name; GPX tracks
// in UTC like most movie headers: each log is cut by the start in its clock
// first, the other one second. A log whose name carries a date more than a
// day away from the recording's is not opened.
bool CZovGpsExtractor::TakeTimeLogsBeside(const std::string& recording) {
  const ZovRecordingTime t = ZovRecordingTimeOf(recording);
  if (!t.hasNameStart && !t.hasContainerStart) return false;
  constexpr int64_t kDayMs = 86400000;
  auto nearDay = [&t](int64_t day) {
    auto near = [day](int64_t ms) { return std::llabs((ms >= 0 ? ms : ms - kDayMs + 1) / kDayMs - day) <= 1; };
    return (t.hasNameStart && near(t.nameStartMs)) || (t.hasContainerStart && near(t.containerStartMs));
  };
  for (const std::string& log : ZovTimeLogsBeside(recording)) {
    int64_t day = 0;
    if (ZovDayFromName(log, day) && !nearDay(day)) continue;
    const ZovSideTrack* cached = TimeLog(log);
    if (!cached) continue;
    const ZovSideTrack& track = *cached;
    std::vector<int64_t> starts;
    const bool nameFirst = !track.utc;
    if (t.hasNameStart && nameFirst) starts.push_back(t.nameStartMs);
    if (t.hasContainerStart) starts.push_back(t.containerStartMs);
    if (t.hasNameStart && !nameFirst) starts.push_back(t.nameStartMs);
    for (int64_t start : starts) {
      const GpsFixList placed = ZovSideFixesForRecording(track, start, t.durationMs);
      if (placed.empty()) continue;
      AcceptPlaced(placed);
      lastUtc_ = track.utc;
      lastSideFile_ = log;
      lastBadLines_ = track.badLines;
      return true;
    }
  }
  return false;
}

int CZovGpsExtractor::ExtractGpsAs(const uint32_t* handle, const std::string& path,
                                   ZovGpsSourceKind kind, std::string* pointText,
                                   std::string* sensorText, const ZovScanStop& stop) {
  state_.Reset();
  lastFixes_ = lastSensors_ = 0;
  lastRaw_ = 0;
  lastUtc_ = kind != ZovGpsSourceKind::kText;
  lastSideFile_.clear();
  lastBadLines_ = 0;
  lastTrack_.clear();
  CZovGpsFile file;
  if (!file.Open(path)) return 0;
  if (kind == ZovGpsSourceKind::kSideText) {
    file.Close();
    TakeSideTrack(path, ZovSideLayout::kNone);
  } else {
    CZovGpsScan scan(file, *this, stop);
    scan.Run(kind);
    file.Close();
  }
  // A ".txt" log in a public layout (an NMEA log under that name).
  if (kind == ZovGpsSourceKind::kText && state_.fixes.empty()) TakeSideTrack(path, ZovSideLayout::kNone);
  const bool recording = kind == ZovGpsSourceKind::kMp4 || kind == ZovGpsSourceKind::kTransportStream ||
                         kind == ZovGpsSourceKind::kAvi;
  if (recording && state_.fixes.empty() && !TakeSideFilesOf(path)) TakeTimeLogsBeside(path);
  lastRaw_ = state_.fixes.size();
  // A stopped scan saw part of the file: its track would be cut short.
  if (!handle || *handle != kZovExtractorMagic || state_.fixes.empty() || (stop && stop())) {
    state_.Reset();
    return 0;
  }
  std::string points, sensors;
  ZovCleanupCounts counts = ZovCleanUpAndPrint(state_.fixes, points, sensors, &lastTrack_);
  state_.Reset();
  lastFixes_ = counts.fixCount;
  lastSensors_ = counts.sensorCount;
  if (pointText) *pointText = std::move(points);
  if (sensorText) *sensorText = std::move(sensors);
  return std::max(counts.fixCount, counts.sensorCount);
}

void InitExtractor(uint32_t* handle) { CZovGpsExtractor::Instance().InitExtractor(handle); }

int ExtractGps(const uint32_t* handle, const std::string& path, std::string* pointText,
               std::string* sensorText, const ZovScanStop& stop) {
  return CZovGpsExtractor::Instance().ExtractGps(handle, path, pointText, sensorText, stop);
}
