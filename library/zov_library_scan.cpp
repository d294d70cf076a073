#include "library/zov_library_scan.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

#include "gps/zov_gps_side.h"
#include "gps/zov_gps_side_file.h"
#include "gps/zov_gps_timeline.h"
#include "library/zov_camera_names.h"
#include "library/zov_library_index.h"
#include "library/zov_recording_probe.h"

namespace {

// Folder and base name without extension.
std::string Stem(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  return (dot == std::string::npos || (slash != std::string::npos && dot < slash)) ? path
                                                                                  : path.substr(0, dot);
}

std::string Folded(std::string key) {
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

// Letters folded: a side file describes the recording of the same folder
// and base name.
std::string StemKey(const std::string& path) { return Folded(Stem(path)); }

// STEM_<mode> of a channel's recording STEM_<mode><channel> (..._NF and
// ..._NR -> ..._N): the name of the stamped NMEA sidecar (.gps) and its
// accelerometer sidecar (.3gf) that one camera writes for all its channels.
// "" for other names.
std::string SharedSidecarKey(const std::string& path) {
  const std::string stem = Stem(path);
  const size_t n = stem.size();
  if (n < 3 || stem[n - 3] != '_' || !std::isalpha(static_cast<unsigned char>(stem[n - 2]))) return {};
  const char channel = stem[n - 1];
  if (channel != 'F' && channel != 'R' && channel != 'I' && channel != 'O') return {};
  return Folded(stem.substr(0, n - 1));
}

bool IsChannelSidecar(const std::string& path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string ext = Folded(path.substr(dot + 1));
  return ext == "gps" || ext == "3gf";
}

// Attaches side files to recordings of the same folder and base name (and a
// shared channel sidecar to every channel it serves); the others are left
// in `unattached`.
void AttachByName(ZovLibrary& lib, const std::vector<ZovWalkedFile>& sides,
                  std::vector<std::string>& unattached) {
  std::unordered_map<std::string, std::vector<size_t>> byStem, byShared;
  for (size_t i = 0; i < lib.recordings.size(); ++i) {
    byStem[StemKey(lib.recordings[i].path)].push_back(i);
    if (std::string shared = SharedSidecarKey(lib.recordings[i].path); !shared.empty())
      byShared[shared].push_back(i);
  }
  for (const ZovWalkedFile& side : sides) {
    const std::string key = StemKey(side.path);
    const std::vector<size_t>* owners = nullptr;
    if (const auto it = byStem.find(key); it != byStem.end()) {
      owners = &it->second;
    } else if (IsChannelSidecar(side.path)) {
      if (const auto shared = byShared.find(key); shared != byShared.end()) owners = &shared->second;
    }
    if (!owners) {
      unattached.push_back(side.path);
      continue;
    }
    for (size_t i : *owners) lib.recordings[i].sideFiles.push_back(side.path);
  }
}

// Opens recordings on a few threads. Each worker takes the next index of
// `todo`, fills that recording (no other thread touches it until it is
// marked done) and marks it done under the lock.
class CZovExamineWorkers {
 public:
  // `alone`: recordings named on their own, whose GPS side files the walk
  // has not looked for (the extractor looks beside them).
  CZovExamineWorkers(std::vector<ZovRecording>& recordings, std::vector<size_t> todo,
                     std::vector<char> alone, const std::atomic<bool>* cancel)
      : recordings_(recordings), todo_(std::move(todo)), alone_(std::move(alone)), cancel_(cancel),
        done_(recordings.size(), 0) {
    for (size_t i = 0; i < recordings.size(); ++i) done_[i] = 1;
    for (size_t i : todo_) done_[i] = 0;
    const unsigned cores = std::max(1u, std::min(kZovScanWorkers, std::thread::hardware_concurrency()));
    const size_t n = std::min<size_t>(cores, todo_.size());
    for (size_t w = 0; w < n; ++w) threads_.emplace_back([this] { Run(); });
  }
  ~CZovExamineWorkers() { Join(); }

  // Waits until recording i is examined; false when the scan was cancelled first.
  bool WaitFor(size_t i) {
    std::unique_lock<std::mutex> hold(lock_);
    wake_.wait(hold, [&] { return done_[i] != 0 || stopped_; });
    return done_[i] != 0;
  }

  void Join() {
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
  }

 private:
  void Run() {
    for (;;) {
      const size_t k = next_.fetch_add(1);
      if (k >= todo_.size() || (cancel_ && cancel_->load(std::memory_order_relaxed))) {
        std::lock_guard<std::mutex> hold(lock_);
        if (k < todo_.size()) stopped_ = true;
        wake_.notify_all();
        return;
      }
      ZovRecording& r = recordings_[todo_[k]];
      r.facts = ZovProbeRecording(r.path);
      if (r.facts.playable) {
        r.gpsFixes = ZovReadRecordingTrack(r.path, r.sideFiles, &r.track, alone_[todo_[k]] != 0);
        r.kilometres = ZovTrackKilometres(r.track);
      }
      std::lock_guard<std::mutex> hold(lock_);
      done_[todo_[k]] = 1;
      wake_.notify_all();
    }
  }

  std::vector<ZovRecording>& recordings_;
  const std::vector<size_t> todo_;
  const std::vector<char> alone_;
  const std::atomic<bool>* cancel_;
  std::atomic<size_t> next_{0};
  std::vector<std::thread> threads_;
  // ---- Guarded by lock_ ----
  std::mutex lock_;
  std::condition_variable wake_;
  std::vector<char> done_;
  bool stopped_ = false;
};

bool Cancelled(const ZovScanOptions& o) {
  return o.cancel && o.cancel->load(std::memory_order_relaxed);
}

void SendSnapshot(const ZovScanOptions& o, const ZovLibrary& lib, size_t examined) {
  if (!o.snapshot) return;
  auto copy = std::make_shared<ZovLibrary>();
  copy->messages = lib.messages;
  copy->recordings.assign(lib.recordings.begin(),
                          lib.recordings.begin() + static_cast<long>(examined));
  for (ZovRecording& r : copy->recordings) r.track.clear();  // the list needs no tracks
  ZovGroupLibrary(*copy, o.driveGapSeconds);
  o.snapshot(std::move(copy));
}

}  // namespace

void ZovAttachSideFilesByTime(ZovLibrary& library, std::vector<std::string>& unattached,
                              bool keepTracks) {
  std::vector<std::string> left;
  size_t opened = 0;
  for (std::string& path : unattached) {
    // Sidecars placed by their own first stamp or cue belong to one
    // recording by name; only logs keyed by the clock are cut by time.
    const ZovSideLayout byName = ZovSideLayoutOfName(path);
    const bool ownTimeline = byName == ZovSideLayout::kStampedNmea || byName == ZovSideLayout::kSubtitle;
    ZovSideTrack log;
    bool timeKeyed = false;
    if (!ownTimeline && !IsChannelSidecar(path) && opened < kZovMaxTimeLogs) {
      ++opened;
      timeKeyed = ZovReadSideFile(path, log) &&
                  (log.layout == ZovSideLayout::kDayLog || log.layout == ZovSideLayout::kGpx ||
                   log.layout == ZovSideLayout::kNmea);
    }
    if (!timeKeyed) {
      left.push_back(std::move(path));
      continue;
    }
    ZovSortByTime(log);
    bool attached = false;
    for (ZovRecording& r : library.recordings) {
      if (!r.facts.playable) continue;
      // The log's clock first: a day log keeps the camera's clock, as the
      // name does; GPX and NMEA keep UTC, as most movie headers do.
      const int64_t name = r.name.start, header = r.facts.created;
      const int64_t order[2] = {log.utc ? header : name, log.utc ? name : header};
      int64_t starts[2];
      size_t n = 0;
      for (int64_t t : order)
        if (t != kZovNoTime) starts[n++] = t * 1000;
      const int64_t durationMs = r.facts.seconds > 0 ? std::llround(r.facts.seconds * 1000) : -1;
      for (size_t k = 0; k < n; ++k) {
        GpsFixList fixes = ZovSideFixesForRecording(log, starts[k], durationMs);
        if (fixes.empty()) continue;
        attached = true;
        r.sideFiles.push_back(path);
        // A recording with a track of its own (or of a sidecar) keeps it.
        if (r.gpsFixes == 0) {
          std::vector<ZovTrackPoint> track;
          r.gpsFixes = ZovTrackOfPlacedFixes(std::move(fixes), &track);
          r.kilometres = ZovTrackKilometres(track);
          if (keepTracks) r.track = std::move(track);
        }
        break;
      }
    }
    if (!attached) left.push_back(std::move(path));
  }
  unattached = std::move(left);
}

int ZovDriveGapOfSetting(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && value >= 0 && value <= kZovMaxDriveGap ? static_cast<int>(value)
                                                                                : kZovDefaultDriveGap;
}

ZovLibrary ZovScanLibrary(const std::vector<std::string>& paths, const ZovScanOptions& given,
                          ZovScanStats* stats) {
  ZovLibrary lib;
  ZovScanStats local;
  ZovWalkResult walk = ZovWalkPaths(paths, given.maxDepth, given.cancel);
  lib.messages = std::move(walk.messages);

  lib.recordings.reserve(walk.recordings.size());
  std::unordered_set<std::string> alonePaths;
  for (ZovWalkedFile& f : walk.recordings) {
    if (f.named) alonePaths.insert(f.path);
    ZovRecording r;
    r.path = std::move(f.path);
    r.size = f.size;
    r.mtimeNs = f.mtimeNs;
    r.name = ZovReadName(r.path);
    lib.recordings.push_back(std::move(r));
  }
  std::vector<std::string> unattached;
  AttachByName(lib, walk.sideFiles, unattached);
  // Examine in the order of the camera's clock, so the first moments are
  // complete (and playable) first; unnamed files come last.
  std::stable_sort(lib.recordings.begin(), lib.recordings.end(),
                   [](const ZovRecording& a, const ZovRecording& b) {
                     const bool an = a.name.start != kZovNoTime, bn = b.name.start != kZovNoTime;
                     if (an != bn) return an;
                     return an && a.name.start != b.name.start ? a.name.start < b.name.start
                                                               : a.path < b.path;
                   });

  CZovLibraryIndex index;
  if (given.useIndex) {
    std::string message;
    if (!index.Open(given.indexPath.empty() ? CZovLibraryIndex::DefaultPath() : given.indexPath,
                    &message) ||
        !message.empty())
      lib.messages.push_back(message);
  }
  ZovScanOptions o = given;
  if (o.storeDriveGap >= 0 && index.IsOpen() &&
      !index.SetSetting(kZovDriveGapSetting, std::to_string(std::min(o.storeDriveGap, kZovMaxDriveGap))))
    lib.messages.push_back("the drive gap setting could not be stored");
  for (const auto& [key, value] : o.storeSettings)
    if (index.IsOpen() && !index.SetSetting(key, value)) lib.messages.push_back("the setting " + key + " could not be stored");
  if (o.driveGapSeconds < 0) o.driveGapSeconds = ZovDriveGapOfSetting(index.Setting(kZovDriveGapSetting));
  const bool batch = index.IsOpen() && index.Begin();

  // Facts the index holds are taken first (a lookup costs microseconds);
  // the other recordings are opened by a few workers, whose results are
  // taken up here in order: stored, counted, and sent on in snapshots.
  std::vector<size_t> misses;
  for (size_t i = 0; i < lib.recordings.size(); ++i) {
    ZovRecording& r = lib.recordings[i];
    if (index.IsOpen() && index.Lookup(r.path, r.size, r.mtimeNs, &r, o.keepTracks))
      ++local.fromIndex;
    else
      misses.push_back(i);
  }
  std::vector<char> alone(lib.recordings.size(), 0);
  if (!alonePaths.empty())
    for (size_t i = 0; i < lib.recordings.size(); ++i) alone[i] = alonePaths.count(lib.recordings[i].path) ? 1 : 0;
  CZovExamineWorkers workers(lib.recordings, misses, std::move(alone), o.cancel);

  ZovScanProgress progress{0, lib.recordings.size()};
  if (o.progress) o.progress(progress);
  size_t examined = 0;
  size_t nextSnapshot = kZovSnapshotEvery;
  bool sentFirst = false;
  for (size_t i = 0; i < lib.recordings.size(); ++i) {
    if (Cancelled(o) || !workers.WaitFor(i)) break;
    ZovRecording& r = lib.recordings[i];
    if (!r.fromIndex) {
      if (!r.facts.playable && r.facts.reason.rfind("cannot be read", 0) == 0 &&
          ::access(r.path.c_str(), F_OK) != 0 && errno == ENOENT) {
        // Gone since the walk (deleted, or the card was pulled out).
        lib.messages.push_back(r.path + ": vanished during the scan");
        r.size = -1;
      }
      ++local.probed;
      if (index.IsOpen() && r.size >= 0) index.Store(r);
      if (!o.keepTracks) std::vector<ZovTrackPoint>().swap(r.track);
    }
    ++examined;
    progress.done = examined;
    if (o.progress) o.progress(progress);
    // The first snapshot goes out once the first moment is complete (a
    // recording past its span is known), so the player can start playing.
    const bool firstReady =
        !sentFirst && r.Start() - lib.recordings.front().Start() > kZovMomentSpan;
    if (firstReady || (examined >= nextSnapshot && examined < lib.recordings.size())) {
      sentFirst = true;
      SendSnapshot(o, lib, examined);
      // Each snapshot copies what is known so far: spacing them by half of
      // that keeps the copying in proportion to the card (100,000 files).
      nextSnapshot = examined + std::max(kZovSnapshotEvery, examined / 2);
    }
  }
  workers.Join();
  if (batch) index.Commit();
  if (Cancelled(o) || walk.cancelled) {
    lib.recordings.resize(examined);
    lib.messages.push_back("scan cancelled: " + std::to_string(examined) + " of " +
                           std::to_string(progress.total) + " recordings read");
  }
  std::erase_if(lib.recordings, [](const ZovRecording& r) { return r.size < 0; });
  ZovAttachSideFilesByTime(lib, unattached, o.keepTracks);
  lib.sideFiles = std::move(unattached);
  ZovGroupLibrary(lib, o.driveGapSeconds);
  if (stats) *stats = local;
  return lib;
}
