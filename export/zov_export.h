#pragma once
// Export of a range of a drive: the recorded pictures and sound copied
// without re-encoding (one file per channel, a GPX and a CSV of the track,
// a PNG of every channel at the range's start), or re-encoded with the time,
// speed, position, heading and channel name drawn into the pictures.
//
//   ZovPlanExport (pure) -> ZovRunExport: lossless copy | overlay encode
//
// Thread: the caller's (a worker of the windows, or the zovlib tool). The
// progress callback runs on that thread; the cancel flag is read before every
// packet and picture. The overlay draws text with QPainter, so a
// QGuiApplication must exist (any platform, "offscreen" included).
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/zov_camera_clock.h"
#include "library/zov_library_types.h"

enum class ZovExportKind { kLossless, kOverlay };
enum class ZovSpeedUnit { kKmh, kMph };
enum class ZovOverlayLayout { kSideBySide, kFrontOnly };

struct ZovExportRequest {
  // The drive's records: the library holds the recordings its moments index.
  // Its recordings' tracks are used when they were kept (ZovScanOptions
  // keepTracks).
  const ZovLibrary* library = nullptr;
  size_t drive = 0;  // index into library->drives
  // The range on the camera clock (seconds, fractions allowed); clipped to
  // the drive with a notice.
  double from = 0;
  double to = 0;
  std::string folder;  // must exist
  ZovExportKind kind = ZovExportKind::kLossless;
  // False: no GPX, no CSV, and no coordinates drawn (a clip to share).
  bool withPosition = true;
  ZovSpeedUnit unit = ZovSpeedUnit::kKmh;
  ZovOverlayLayout layout = ZovOverlayLayout::kSideBySide;
  // Overlay: widest picture written; the row of channels is scaled down to
  // it (0: no limit). One channel at its own size up to this width.
  int maxWidth = 1920;
  // The library's camera clock: the file names and the drawn time show the
  // corrected time (the range above stays on the camera clock as written).
  ZovCameraClock clock;
  const std::atomic<bool>* cancel = nullptr;
  std::function<void(double fraction)> progress;
};

struct ZovExportResult {
  bool ok = false;
  bool cancelled = false;
  std::string error;                // why not, when not ok
  std::vector<std::string> files;   // written (full paths); empty unless ok
  std::vector<std::string> notices; // e.g. the range clipped to the drive
  double from = 0, to = 0;          // the range exported (camera clock)
};

// One piece of a channel's recording inside the range.
struct ZovExportPiece {
  size_t recording = 0;   // index into ZovLibrary::recordings
  int64_t momentStart = 0; // camera clock of the recording's second 0
  double begin = 0;       // seconds into the recording
  double end = 0;
};

struct ZovExportChannel {
  std::string key;  // "front", "rear", "interior-2" ...
  std::vector<ZovExportPiece> pieces;
};

struct ZovExportPlan {
  std::string error;  // the range cannot be exported: why
  std::vector<std::string> notices;
  double from = 0, to = 0;  // clipped
  std::vector<ZovExportChannel> channels;  // front first, as the moments list them
  std::string stem;  // "2024-05-17_080312-080412", in the corrected time
  ZovCameraClock clock;
};

// Which pieces of which recordings the range covers. Refuses an empty range,
// a range outside the drive and a moment in the range that does not play.
ZovExportPlan ZovPlanExport(const ZovLibrary& library, size_t drive, double from, double to,
                            const ZovCameraClock& clock = {});

// The whole export; on failure or cancel every file it wrote is removed.
ZovExportResult ZovRunExport(const ZovExportRequest& request);

// "2024-05-17T08:03:12" (as the library prints camera times) to camera-clock
// seconds; false when the text is not such a time.
bool ZovParseCameraTime(const std::string& text, int64_t* seconds);
// Index of the drive that holds (or comes nearest to) [from, to] among the
// library's drives; -1 when the library has none overlapping the range.
int ZovDriveOfRange(const ZovLibrary& library, double from, double to);
