#pragma once
// The GPS extractor: one extraction of a recording or side file at a time.
//
//   ExtractGps(path) -> ResetFixState -> CZovGpsScan (container knowledge,
//   all file I/O) -> block decoder (zov_gps_block.h, appends fixes) ->
//   clean-up and output (zov_gps_cleanup.h) -> point text + sensor text
//
// Side files: a file of a public side layout (NMEA, stamped NMEA, day log,
// subtitle, GPX; zov_gps_side.h) is parsed and placed on its seconds instead
// of scanned. A recording whose own scan finds nothing takes the track of
// its side files (zov_gps_side_file.h): one of the same name first, else a
// day log or GPX track of its folder cut to the recording by time.
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
#include "gps/zov_gps_side.h"

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
  // Whether the last track's times are UTC (false: a camera's clock, as in
  // the cameras' text side files, day logs and subtitles).
  bool LastTimesUtc() const { return lastUtc_; }
  // The side file the last track came from ("" when from the file itself).
  const std::string& LastSideFile() const { return lastSideFile_; }
  // Damaged lines (bad NMEA checksums, unreadable day-log lines) skipped.
  size_t LastBadLines() const { return lastBadLines_; }

 private:
  int OnBlock(const uint8_t* data, size_t size) override;
  int OnTimedBlock(const uint8_t* data, size_t size, int64_t second) override;
  void OnBinaryRecord(const uint8_t* record, uint32_t index) override;
  void OnAmbaRecord(const uint8_t* data, size_t size) override;
  size_t FixCount() const override { return state_.fixes.size(); }
  // Side files: each appends the fixes it places and returns true when any.
  bool TakeSideTrack(const std::string& path, ZovSideLayout layout);
  bool TakeBlockText(const std::string& path);
  bool TakeSideFilesOf(const std::string& recording);
  bool TakeTimeLogsBeside(const std::string& recording);
  void AcceptPlaced(const GpsFixList& placed);
  // The last day log or GPX track read for a folder look-up, sorted, kept for
  // the next recording of the same folder (same path, size and time).
  const ZovSideTrack* TimeLog(const std::string& path);

  CZovGpsBlockState state_;
  int lastFixes_ = 0;
  int lastSensors_ = 0;
  size_t lastRaw_ = 0;
  bool lastUtc_ = true;
  std::string lastSideFile_;
  size_t lastBadLines_ = 0;
  GpsFixList lastTrack_;
  struct CachedLog {
    std::string path;
    uint64_t size = 0;
    int64_t modifiedNs = 0;
    bool ok = false;
    ZovSideTrack track;
  } logCache_;
};

// The extractor's entry points as the track store calls them.
void InitExtractor(uint32_t* handle);
int ExtractGps(const uint32_t* handle, const std::string& path, std::string* pointText,
               std::string* sensorText, const ZovScanStop& stop = {});
