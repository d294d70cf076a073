#pragma once
// The library as the play list shows it, and the background scan that
// fills it.
//
// Rows: a drive ("2024-05-17  08:00-08:36  5.4 km  6 moments"), then its
// moments ("08:00:00  F R" with the mode as a badge when it is not normal,
// and the card's folder name when moments of several cards meet in it),
// drive after drive; then the files that cannot be played, greyed, with
// their reasons. A moment row plays its front channel (or its first one).
//
// CZovLibraryScanner runs ZovScanLibrary on a thread of its own. Start()
// never waits: a scan still running is told to cancel and is joined later,
// once it has ended (or when the scanner is destroyed). What a scan learns
// reaches the owner through `apply` (on the scan thread, with a grouped
// copy, first as soon as the first moment is complete) and `notify` (after
// apply, and for progress at most every kZovScanNotifyMs); the owner posts
// from there to the user-interface thread and never waits for the scan.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library/zov_camera_clock.h"
#include "library/zov_library_types.h"

enum class ZovRowKind : int32_t { kFile, kDrive, kMoment, kUnplayable };

struct ZovListRow {
  ZovRowKind kind = ZovRowKind::kFile;
  std::string path;   // file and moment rows: what plays; unplayable: the file
  std::string text;   // what the row says (file rows: their path)
  std::string badge;  // moment rows: "EVENT", "LOCKED" ... ("" for normal)
  // Moment rows of a drive that holds moments of more than one card (or
  // camera folder) at the same time: the folder that tells them apart
  // ("" otherwise).
  std::string source;
};

// The rows of a library, drives in time order, unplayable files last; the
// times as the camera's clock corrected by `clock` shows them.
std::vector<ZovListRow> ZovLibraryListRows(const ZovLibrary& library, const ZovCameraClock& clock = {});
// "F R", the letters of a moment's channels (front, rear, interior, left,
// right, extra: F R I L G X).
std::string ZovChannelLetters(const ZovMoment& moment);

// Shortest time between two progress notifications.
inline constexpr int kZovScanNotifyMs = 100;

class CZovLibraryScanner {
 public:
  using Apply = std::function<void(std::shared_ptr<const ZovLibrary> library, bool final)>;
  using Notify = std::function<void()>;

  CZovLibraryScanner(Apply apply, Notify notify, std::string indexPath = {});
  ~CZovLibraryScanner();  // cancels the scans and joins them
  CZovLibraryScanner(const CZovLibraryScanner&) = delete;
  CZovLibraryScanner& operator=(const CZovLibraryScanner&) = delete;

  // Scans `paths` (replacing a scan that still runs). Never waits.
  // `storeDriveGap` zero or more: the scan first stores it as the index's
  // drive gap setting (see ZovScanOptions).
  // `storeSettings` are stored with the index the same way.
  void Start(std::vector<std::string> paths, int storeDriveGap = -1,
             std::vector<std::pair<std::string, std::string>> storeSettings = {});
  // Ends the running scan within about one file; what was read is kept.
  void Cancel();

  struct Progress {
    bool scanning = false;
    size_t done = 0;
    size_t total = 0;
  };
  Progress State() const;

 private:
  struct Run;
  void Body(const std::shared_ptr<Run>& run);
  void JoinEnded();  // caller holds lock_

  const Apply apply_;
  const Notify notify_;
  const std::string indexPath_;
  // ---- Guarded by lock_ (never held while a scan reports) ----
  mutable std::mutex lock_;
  std::shared_ptr<Run> current_;
  std::vector<std::pair<std::shared_ptr<Run>, std::thread>> runs_;
};
