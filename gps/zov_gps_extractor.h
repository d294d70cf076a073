#pragma once
// The GPS extractor: one extraction of a recording or side file at a time.
//
//   ExtractGps(path) -> ResetFixState -> CZovGpsScan (container knowledge,
//   all file I/O) -> block decoder (zov_gps_block.h, appends fixes) ->
//   clean-up and output (zov_gps_cleanup.h) -> point text + sensor text
//
// State is process-wide and lives in one object (CZovGpsExtractor::Instance):
// the decoder state with its shared record area, the fix list and the block
// state carried between records. Callers serialise extractions (the track
// store holds its load lock across the call); the object is not locked.
//
// Life: created on first use and destroyed by the exit handlers. Every
// thread that extracts must have ended by then: the file list store's loader
// is ended by the store's owner before the process ends (see app/README.md).
// An extraction given a stop check ends early when it answers true and then
// yields nothing.
#include <cstdint>
#include <string>

#include "gps/zov_gps_block.h"
#include "gps/zov_gps_scan.h"

// The value InitExtractor stores in the caller's handle word.
constexpr uint32_t kZovExtractorMagic = 0x12345678;

class CZovGpsExtractor : private IZovGpsScanSink {
 public:
  // The process-wide extractor, created on first use.
  static CZovGpsExtractor& Instance();

  void InitExtractor(uint32_t* handle) const;

  // Runs one extraction. Returns the larger of the fix count and the sensor
  // count after clean-up, or 0 (file not readable, nothing found, or the
  // handle word without the magic, in which case no texts are written).
  int ExtractGps(const uint32_t* handle, const std::string& path, std::string* pointText,
                 std::string* sensorText, const ZovScanStop& stop = {});
  // The same with the kind of source given (tools that choose it by the
  // file's content); ExtractGps takes it from the file name's extension.
  int ExtractGpsAs(const uint32_t* handle, const std::string& path, ZovGpsSourceKind kind,
                   std::string* pointText, std::string* sensorText, const ZovScanStop& stop = {});

  // The fixes of the last extraction's point text, at full precision.
  const GpsFixList& LastTrack() const { return lastTrack_; }

  // Counts of the last extraction (after clean-up).
  int LastFixCount() const { return lastFixes_; }
  int LastSensorCount() const { return lastSensors_; }
  // Fixes accepted by the scan of the last extraction, before clean-up.
  size_t LastRawFixCount() const { return lastRaw_; }

 private:
  int OnBlock(const uint8_t* data, size_t size) override;
  void OnBinaryRecord(const uint8_t* record, uint32_t index) override;
  void OnAmbaRecord(const uint8_t* data, size_t size) override;
  size_t FixCount() const override { return state_.fixes.size(); }

  CZovGpsBlockState state_;
  int lastFixes_ = 0;
  int lastSensors_ = 0;
  size_t lastRaw_ = 0;
  GpsFixList lastTrack_;
};

// The extractor's entry points as the track store calls them.
void InitExtractor(uint32_t* handle);
int ExtractGps(const uint32_t* handle, const std::string& path, std::string* pointText,
               std::string* sensorText, const ZovScanStop& stop = {});
