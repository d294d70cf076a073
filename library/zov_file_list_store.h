#pragma once
// CZovFileListStore: the play list and the GPS tracks of its files.
//
// The process-wide store of the recordings the user has opened. It accepts
// paths (refusing unsuitable ones), keeps them grouped by folder and ordered
// by their place in the folder listing, keeps which file is current, owns one
// FileTrack per entry and a current track (copies of the points and samples
// of the file being played) with the rule that picks the point of a second.
//
// Who calls what
//   user-interface thread: the list operations (AddFile, FindIndex, Select*,
//     GetCurrentPath, RemoveAt, marks, Paths), PointForSecond (play window's
//     clock tick), VisitTracksToDraw (map panel, code 2007), ClearCurrentTrack,
//     the all-tracks flag, the open media pointer (play window sets it, the
//     file information view reads it).
//   the store's loader thread: the loads asked for with LoadInBackground
//     (the play window's start-up: LoadAllTracks and MakeCurrent, which run
//     the GPS extractor, seconds for a large file).
//   Any operation is safe from any thread; only the loaders ever wait for a
//   scan, so the user-interface thread never waits for one.
//
// The loader thread belongs to the store: a newer request stops the scan in
// progress at its next chunk (the last request wins), and the store's end
// (EndLoads, or the destructor) stops it and joins the thread before
// anything the scan uses goes.
//
// Locks (all recursive; a store operation may call another)
//   load lock  -> list lock -> track lock   (always taken in this order)
//   - load lock: held by LoadAllTracks / MakeCurrent for their whole run.
//     One extraction at a time (the extractor keeps process-wide state), and
//     a file is never copied to the current track while it is being loaded.
//     The extractor itself runs under the load lock only.
//   - list lock: the entries, folders, current index/entry/folder, marks.
//   - track lock: every FileTrack, the current lists and counts, the picker.
//     Held only for short copies, never across a scan or a send.
//   - loader lock: the loader's request slot and its end (innermost; the
//     loader never holds it while it loads).
//   Entries are shared: a loader keeps the entry it loads alive even when the
//   user removes it meanwhile (the result then goes with it).
//
// The library: a dropped folder (a card, its DCIM, a folder of cards) is
// read by a background scan (zov_library_model.h) into drives and moments;
// their rows follow the files added one by one. A drive row stands for its
// first moment; a moment row plays its front channel; an unplayable file's
// row says why and is never played (Select* step over it). Every snapshot
// of the scan replaces the library rows under the list lock; the listener
// (the list view) is told and posts itself a rebuild.
//
// Paths are UTF-8 with "/" as separator. An entry holds at most 255 UTF-16
// units of path; longer paths are refused, never cut.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "gps/zov_gps_scan.h"
#include "gps/zov_track_record.h"
#include "gps/zov_track_second.h"
#include "library/zov_drive_plan.h"
#include "library/zov_library_model.h"

class CZovDemuxer;
struct FolderRecord;

// Longest path an entry holds, in UTF-16 units (the field has room for 256
// with the terminator).
inline constexpr int kZovListPathUnits = 255;
// Video files below this size are refused (a camera's recording is larger;
// smaller ones are broken or still being written).
inline constexpr int64_t kZovMinVideoBytes = 1048576;
// Text shown (and traced) when loading a track raises an exception.
inline constexpr const char* kZovGpsExceptText = "GPS excpet ！！";
// Text traced when a point cannot be made.
inline constexpr const char* kZovGpsErrorText = "GPS error \r\n";

// Results of AddFile.
inline constexpr int kZovAddNotFirst = -1;   // accepted (not the first entry) or refused
inline constexpr int kZovAddDuplicate = -2;  // the same path is already in the list

// One file of the list.
struct FileEntry {
  std::string path;           // full path as passed to AddFile
  int32_t marked = 0;         // 1 for the row highlighted in the list view
  int32_t channel = -1;       // no multi-channel grouping: always -1
  int32_t group = -1;         // always -1
  int32_t listingPosition = -1;  // place in its folder's listing, or -1 when not found
  FileTrack track;            // guarded by the track lock
  FolderRecord* folder = nullptr;  // none for library rows
  ZovRowKind kind = ZovRowKind::kFile;
  std::string text;           // library rows: what the row says
  std::string badge;          // moment rows: the mode when not normal
  std::string source;         // moment rows: the card that tells it apart, or ""
};

// The files of one folder, in ascending listing position.
struct FolderRecord {
  std::string folderPath;     // the entry's path without the last "/" and what follows
  std::vector<FileEntry*> entries;
};

// Runs the GPS extractor on a path: fills the point and sensor texts and
// returns the record count (0: nothing found or not readable).
using ZovTrackExtractor =
    std::function<int(const std::string& path, std::string* pointText, std::string* sensorText)>;
// The same, given the load's stop check: an extractor that honours it ends
// early once it answers true (the GPS extractor does, between chunks).
using ZovStoppableTrackExtractor = std::function<int(const std::string& path, std::string* pointText,
                                                     std::string* sensorText, const ZovScanStop& stop)>;

class CZovFileListStore {
 public:
  // The store (get-or-create; first use on the user-interface thread).
  static CZovFileListStore* GetInstance();
  // The store or null; creates nothing.
  static CZovFileListStore* Peek();
  // Deletes the store (shutdown): its loader is stopped and joined first.
  static void DeleteInstance();

  CZovFileListStore();
  ~CZovFileListStore();
  CZovFileListStore(const CZovFileListStore&) = delete;
  CZovFileListStore& operator=(const CZovFileListStore&) = delete;

  // ---- Extensions: the list of zov_media_extensions.h ------------------
  // One of kZovMediaExtensions; `text` may be a path or just the extension.
  static bool IsMediaExtension(std::string_view text);
  // The same list without the text logs.
  static bool IsVideoExtension(std::string_view text);
  // The extension of a path as the drop handlers test it (ZovExtensionOf).
  static std::string ExtensionOf(std::string_view path);
  // Place of `path` in the listing of its folder ("." and ".." first, then
  // names compared case-insensitively), or -1 when the folder does not list
  // it.
  static int ListingPosition(const std::string& path);

  // ---- The list (list lock) --------------------------------------------
  // Adds a file: returns 0 when it became the very first entry, -2 when the
  // same path is already listed, otherwise -1 (added, or refused: no "/",
  // path too long, a video file below 1 MiB or unreadable). `position` -1
  // looks the listing position up. Files of one folder stay together in
  // listing order; folders appear in the order their first file came.
  int AddFile(const std::string& path, int position = -1, int marked = 0);
  // Files dropped on any window: adds those with a media extension, then,
  // when the first dropped path is listed, makes it current and returns its
  // index; -1 when it is not (then nothing is to be played). A dropped
  // folder counts as its media files in listing order.
  int AddDropped(const std::vector<std::string>& paths);
  // Index of the first entry whose path equals `path` exactly, or -1.
  int FindIndex(const std::string& path) const;
  // Makes entry i current; i greater than the count becomes 0. Returns 0
  // when an entry became current, -1 otherwise (the index is kept but no
  // entry is current).
  int SelectIndex(int i);
  // SelectIndex(i) only when no entry is current.
  void SelectIfNone(int i);
  // The next entry; -1 on the last one (no wrap).
  int SelectNext();
  // The previous entry; the first one wraps to the last.
  int SelectPrevious();
  // Re-selects the current index and returns the current entry's path
  // (empty when none).
  std::string GetCurrentPath();
  int GetCurrentIndex() const;
  int Count() const;
  // Removes entry i (nothing when out of range): frees its track, drops its
  // folder when that becomes empty; no entry is current afterwards.
  void RemoveAt(int i);
  // Copies the current entry's path into `path`: 1, or -1 when none is current.
  int CopyPlayingPaths(std::string* path);

  // Paths in display order, and the marks the list view keeps per row.
  std::vector<std::string> Paths() const;
  // What every row shows, in display order (file rows: kind kFile, their path).
  std::vector<ZovListRow> Rows() const;
  std::string PathAt(int i) const;
  bool IsMarked(int i) const;
  void SetMarked(int i, bool marked);
  // Index of the first marked entry, or -1.
  int FirstMarked() const;
  // Folder of the current entry ("" when none is current).
  std::string CurrentFolder() const;

  // The demuxer of the file being played, or null: set by the play window
  // (cleared before it destroys the demuxer), read by the file information
  // view, both on the user-interface thread.
  void SetOpenMedia(CZovDemuxer* media) { openMedia_ = media; }
  CZovDemuxer* OpenMedia() const { return openMedia_; }

  // ---- Tracks ------------------------------------------------------------
  // Loads the track of every entry not loaded yet (load lock).
  void LoadAllTracks();
  // Makes the track of the entry with exactly this path current, loading it
  // first when needed (load lock). No such entry: the current track is empty.
  void MakeCurrent(const std::string& path);
  // Empties the current track.
  void ClearCurrentTrack();

  // ---- Loading on the store's loader thread --------------------------------
  // Called on the loader thread when a background load ends: `loaded` is
  // false when it was stopped (a later request or the store's end) and its
  // track was not made current.
  using LoadDone = std::function<void(bool loaded)>;
  // Runs LoadAllTracks (when the all-tracks flag is set) and MakeCurrent(path)
  // on the loader thread, then `done` there. Returns at once. A request made
  // while another waits or runs replaces it: the running scan stops at its
  // next chunk and reports false, then the new one runs; one that had not
  // started yet is dropped without its `done`. After EndLoads the request is
  // refused and `done(false)` is called at once on this thread.
  void LoadInBackground(std::string path, LoadDone done);
  // Stops the load in progress, if any (it reports false); nothing waits.
  void CancelLoads();
  // Stops the loader for good and joins its thread, and ends the library's
  // scan: returns once no thread of the store is left (one chunk read at
  // most when a scan was running).
  // For whoever ends the process, before the objects a scan uses go.
  void EndLoads();
  // A background load waits or runs.
  bool Loading() const;
  // The point of playback second `second` (see gps/zov_track_second.h) of a
  // recording of `duration` seconds (kZovNoRecordingDuration when none is
  // open); `mode` goes into the tick (1 on ticks and seeks, 0 once after an
  // open). The caller sends the tick as the result says.
  ZovSecondResult PointForSecond(int second, int mode, int duration);
  int CurrentPointCount() const;
  int CurrentSampleCount() const;
  // Copies of the current lists.
  std::vector<GpsPoint> CurrentPoints() const;
  std::vector<GsensorSample> CurrentSamples() const;
  // A copy of the track of the entry with this path; false when none.
  bool CopyTrack(const std::string& path, FileTrack* track) const;

  // When set, opening a file loads every entry's track and the map draws
  // every file of the current folder.
  void SetAllTracks(bool on) { allTracks_ = on; }
  bool AllTracks() const { return allTracks_; }

  // What the map panel draws on code 2007, under the list and track locks:
  // `visit(n, points)` for track n = 0, 1, ... (every file of the current
  // folder in folder order when the all-tracks flag is set, otherwise the
  // current track alone). Returns the current entry's track ends for the
  // start and end markers; `hasPoints` false when the current track is empty.
  struct TrackEnds {
    bool hasPoints = false;
    float firstLatitude = 0, firstLongitude = 0;
    float lastLatitude = 0, lastLongitude = 0;
  };
  TrackEnds VisitTracksToDraw(
      const std::function<void(int track, const std::vector<GpsPoint>& points)>& visit) const;

  // ---- The library -------------------------------------------------------
  // Reads `folders` (with every folder dropped before) in the background.
  // With `playFirst`, the first moment is made current and the listener's
  // owner asked to play it (TakePlayRequest) as soon as it is known.
  void ScanFolders(const std::vector<std::string>& folders, bool playFirst);
  void CancelLibraryScan();
  CZovLibraryScanner::Progress LibraryProgress() const;
  // Replaces the library rows (the scan thread calls it with each snapshot).
  // The current entry, when it is a library row, stays current.
  void ReplaceLibraryRows(const std::vector<ZovListRow>& rows);
  // Index of the first moment row, or -1.
  int FirstMomentIndex() const;
  // True once: a scan started with playFirst has a playable moment now.
  bool TakePlayRequest();
  // Called (on the scan thread) after the library rows or the progress
  // changed; it must only post. Null: nobody is told.
  void SetLibraryListener(std::function<void()> listener);
  // The index file of the library (default: the cache folder's); tests.
  void SetLibraryIndexPath(const std::string& path);
  // The longest pause inside a drive, in seconds, as the index keeps it
  // (read without waiting for a scan). Setting it stores it in the index
  // from a scan of the library's folders, which groups them anew; never
  // waits either.
  int DriveGap() const;
  void SetDriveGap(int seconds);
  // The drive that holds the moment whose lead recording is `path`, from the
  // last library the scan delivered; an empty plan when `path` is no
  // moment's lead (a plain file of the list).
  ZovDrivePlan DrivePlanOf(const std::string& path) const;
  // The last library the scan delivered, and in `drive` the index of its
  // drive that holds the moment whose lead recording is `path` (an export
  // reads it on a worker: the snapshot never changes). Null when no drive
  // of it does.
  std::shared_ptr<const ZovLibrary> LibraryOfDrive(const std::string& path, size_t* drive) const;
  // The camera's clock of the library (zov_camera_clock.h), as the index
  // keeps it; setting it stores it from a scan of the library's folders,
  // whose rows then show the corrected times. Neither waits.
  ZovCameraClock CameraClock() const;
  void SetCameraClock(const ZovCameraClock& clock);
  // The drive that plays (null: none, or a plain file). The play window sets
  // it before it sends ZOV_CODE_DRIVE; the map page and the timeline read it.
  void SetPlayingDrive(std::shared_ptr<const ZovDrivePlan> plan);
  std::shared_ptr<const ZovDrivePlan> PlayingDrive() const;

  // ---- Hooks (tests, tools) ----------------------------------------------
  // Replaces the extractor (default: the GPS extractor of gps/). The first
  // form never sees the stop check: a load it runs is stopped only after it.
  void SetExtractor(ZovTrackExtractor extractor);
  void SetExtractor(ZovStoppableTrackExtractor extractor);
  // Replaces the source of the selected map's name (default: the settings).
  void SetMapNameSource(std::function<std::string()> source);
  // Replaces what shows "GPS excpet ！！" (default: a message box posted to
  // the user-interface thread).
  void SetWarningSink(std::function<void(const std::string&)> sink);

 private:
  using EntryPtr = std::shared_ptr<FileEntry>;

  // Loads one entry's track when its flag is 0. Caller holds the load lock.
  // False when `stop` ended it: nothing of it is kept and its flag goes back
  // to 0, so a later load reads the file again.
  bool LoadTrack(const EntryPtr& entry, const ZovScanStop& stop);
  // LoadAllTracks and MakeCurrent with a stop check; false when stopped.
  bool LoadAllTracks(const ZovScanStop& stop);
  bool MakeCurrent(const std::string& path, const ZovScanStop& stop);
  // Runs the extractor and reads its texts into `track`; may throw.
  void ExtractInto(const std::string& path, FileTrack& track, const ZovScanStop& stop);
  // The loader thread's body: one request at a time until the end.
  void LoaderLoop();
  // Places a new entry of an existing or new folder; caller holds the list lock.
  int InsertEntry(EntryPtr entry, const std::string& folderPath);
  int IndexOfLocked(const FileEntry* entry) const;
  static bool Playable(const FileEntry& entry) {
    return entry.kind == ZovRowKind::kFile || entry.kind == ZovRowKind::kMoment;
  }
  void NotifyLibrary();
  // Keeps the scan's snapshot for DrivePlanOf (scan thread).
  void KeepLibrary(std::shared_ptr<const ZovLibrary> library);
  // The scanner, made on first use; caller holds libraryLock_.
  CZovLibraryScanner* Scanner();
  void ClearCurrentTrackLocked();

  // Taken first by the loaders; serialises extractions.
  mutable std::recursive_mutex loadLock_;

  // ---- Guarded by listLock_ ----
  mutable std::recursive_mutex listLock_;
  std::vector<EntryPtr> entries_;                      // display order
  std::vector<std::unique_ptr<FolderRecord>> folders_;  // order of first appearance
  int currentIndex_ = -1;
  FileEntry* currentEntry_ = nullptr;
  FolderRecord* currentFolder_ = nullptr;

  // ---- Guarded by trackLock_ (taken after listLock_ when both are held) ----
  mutable std::recursive_mutex trackLock_;
  std::vector<GpsPoint> currentPoints_;
  std::vector<GsensorSample> currentSamples_;
  int currentPointCount_ = 0;
  int currentSampleCount_ = 0;
  CZovSecondPicker picker_;

  // ---- Guarded by loaderLock_ (innermost) ----
  struct LoadRequest {
    std::string path;
    LoadDone done;
  };
  mutable std::mutex loaderLock_;
  std::condition_variable loaderWake_;
  std::optional<LoadRequest> pendingLoad_;
  bool loaderBusy_ = false;    // the loader runs a request
  bool loaderEnding_ = false;  // EndLoads was called: no more requests
  std::thread loader_;         // started by the first request
  // Bumped (under loaderLock_) by every request, cancel and the end; a load
  // stops once it differs from the value it started with.
  std::atomic<uint64_t> loadSerial_{0};

  // Set once at start-up or by tests (before loads run).
  ZovStoppableTrackExtractor extractor_;
  std::function<std::string()> mapNameSource_;
  std::function<void(const std::string&)> warningSink_;

  // ---- Guarded by libraryLock_ (taken alone, never with the others) ----
  mutable std::mutex libraryLock_;
  std::vector<std::string> libraryRoots_;
  std::function<void()> libraryListener_;
  std::string libraryIndexPath_;
  std::shared_ptr<const ZovLibrary> library_;  // the scan's last snapshot
  std::shared_ptr<const ZovDrivePlan> playingDrive_;
  // The gap last chosen in this run, -1 before any: shown at once even
  // while the scan thread has not stored it yet.
  int chosenDriveGap_ = -1;
  std::optional<ZovCameraClock> chosenClock_;  // likewise for the clock
  mutable std::optional<ZovCameraClock> readClock_;  // as the index kept it, read once
  bool playRequested_ = false;
  bool playPending_ = false;
  // The scanner calls back into the store; it is destroyed (its scans
  // joined) first when the store goes.
  std::unique_ptr<CZovLibraryScanner> scanner_;

  std::atomic<bool> allTracks_{false};
  std::atomic<CZovDemuxer*> openMedia_{nullptr};
};
