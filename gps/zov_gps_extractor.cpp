#include "gps/zov_gps_extractor.h"

#include <algorithm>

#include "gps/zov_gps_cleanup.h"
#include "gps/zov_gps_file.h"

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

int CZovGpsExtractor::ExtractGpsAs(const uint32_t* handle, const std::string& path,
                                   ZovGpsSourceKind kind, std::string* pointText,
                                   std::string* sensorText, const ZovScanStop& stop) {
  state_.Reset();
  lastFixes_ = lastSensors_ = 0;
  lastRaw_ = 0;
  lastTrack_.clear();
  CZovGpsFile file;
  if (!file.Open(path)) return 0;
  CZovGpsScan scan(file, *this, stop);
  scan.Run(kind);
  file.Close();
  lastRaw_ = state_.fixes.size();
  // A stopped scan saw part of the file: its track would be cut short.
  if (!handle || *handle != kZovExtractorMagic || state_.fixes.empty() || scan.Stopped()) {
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
