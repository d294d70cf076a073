#include "library/zov_library_model.h"

#include <chrono>
#include <cstdio>

#include "library/zov_library_group.h"
#include "library/zov_library_scan.h"

namespace {

char Letter(const std::string& key) {
  if (key.rfind("front", 0) == 0) return 'F';
  if (key.rfind("rear", 0) == 0) return 'R';
  if (key.rfind("interior", 0) == 0) return 'I';
  if (key.rfind("left", 0) == 0) return 'L';
  if (key.rfind("right", 0) == 0) return 'G';  // R is the rear's
  return 'X';
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return s;
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The folder of a path ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The sources of a drive's moments when two of them start within a
// moment's span (they come from different cards or camera folders, or the
// grouping would have joined them): for each moment, the first folder name
// of its lead recording below the folder all of the drive's moments share;
// the file name when they share the recording's own folder. All empty when
// no two moments meet.
std::vector<std::string> MomentSources(const ZovLibrary& lib, const ZovDrive& d) {
  bool meet = false;
  for (size_t i = 1; i < d.moments.size() && !meet; ++i)
    meet = d.moments[i].start - d.moments[i - 1].start <= kZovMomentSpan;
  std::vector<std::string> sources(d.moments.size());
  if (!meet) return sources;
  std::string shared = FolderOf(lib.recordings[d.moments.front().Lead()].path);
  for (const ZovMoment& m : d.moments) {
    const std::string& path = lib.recordings[m.Lead()].path;
    size_t n = 0;
    while (n < shared.size() && n < path.size() && shared[n] == path[n]) ++n;
    const size_t slash = n ? shared.rfind('/', n - 1) : std::string::npos;
    shared.resize(slash == std::string::npos ? 0 : slash + 1);
  }
  for (size_t i = 0; i < d.moments.size(); ++i) {
    const std::string& path = lib.recordings[d.moments[i].Lead()].path;
    const std::string rest = path.substr(std::min(shared.size(), path.size()));
    sources[i] = rest.substr(0, rest.find('/'));
  }
  return sources;
}

}  // namespace

std::string ZovChannelLetters(const ZovMoment& m) {
  std::string letters;
  for (const auto& [key, index] : m.channels) {
    if (!letters.empty()) letters += ' ';
    letters += Letter(key);
  }
  return letters;
}

std::vector<ZovListRow> ZovLibraryListRows(const ZovLibrary& lib, const ZovCameraClock& clock) {
  std::vector<ZovListRow> rows;
  for (const ZovDrive& d : lib.drives) {
    const std::string start = ZovFormatCameraTime(ZovShownTime(d.start, clock)),
                      end = ZovFormatCameraTime(ZovShownTime(d.end, clock));
    char text[160];
    std::snprintf(text, sizeof text, "%s  %s-%s  %.1f km  %zu moment%s", start.substr(0, 10).c_str(),
                  start.substr(11, 5).c_str(), end.substr(11, 5).c_str(), d.kilometres,
                  d.moments.size(), d.moments.size() == 1 ? "" : "s");
    rows.push_back({ZovRowKind::kDrive, {}, text, {}, {}});
    const std::vector<std::string> sources = MomentSources(lib, d);
    for (size_t k = 0; k < d.moments.size(); ++k) {
      const ZovMoment& m = d.moments[k];
      ZovListRow row;
      row.source = sources[k];
      row.kind = ZovRowKind::kMoment;
      row.path = lib.recordings[m.Lead()].path;
      row.text = ZovFormatCameraTime(ZovShownTime(m.start, clock)).substr(11) + "  " + ZovChannelLetters(m);
      if (m.mode != ZovMode::kNormal) row.badge = Upper(ZovModeName(m.mode));
      rows.push_back(std::move(row));
    }
  }
  for (size_t i : lib.unplayable) {
    const ZovRecording& r = lib.recordings[i];
    const size_t slash = r.path.rfind('/');
    rows.push_back({ZovRowKind::kUnplayable, r.path,
                    (slash == std::string::npos ? r.path : r.path.substr(slash + 1)) + ": " +
                        r.facts.reason,
                    {},
                    {}});
  }
  return rows;
}

struct CZovLibraryScanner::Run {
  std::vector<std::string> paths;
  int storeDriveGap = -1;
  std::vector<std::pair<std::string, std::string>> storeSettings;
  std::atomic<bool> cancel{false};
  std::atomic<bool> finished{false};  // the scan is over (progress shows no more)
  std::atomic<bool> ended{false};     // the body is about to return (it may be joined)
  std::atomic<size_t> done{0};
  std::atomic<size_t> total{0};
  int64_t lastNotifyMs = 0;  // scan thread only
};

CZovLibraryScanner::CZovLibraryScanner(Apply apply, Notify notify, std::string indexPath)
    : apply_(std::move(apply)), notify_(std::move(notify)), indexPath_(std::move(indexPath)) {}

CZovLibraryScanner::~CZovLibraryScanner() {
  std::vector<std::pair<std::shared_ptr<Run>, std::thread>> runs;
  {
    std::lock_guard<std::mutex> hold(lock_);
    runs.swap(runs_);
    current_.reset();
  }
  for (auto& [run, thread] : runs) run->cancel = true;
  for (auto& [run, thread] : runs)
    if (thread.joinable()) thread.join();
}

void CZovLibraryScanner::JoinEnded() {
  for (auto it = runs_.begin(); it != runs_.end();) {
    if (it->first->ended) {
      if (it->second.joinable()) it->second.join();  // its body has returned
      it = runs_.erase(it);
    } else {
      ++it;
    }
  }
}

void CZovLibraryScanner::Start(std::vector<std::string> paths, int storeDriveGap,
                               std::vector<std::pair<std::string, std::string>> storeSettings) {
  auto run = std::make_shared<Run>();
  run->paths = std::move(paths);
  run->storeDriveGap = storeDriveGap;
  run->storeSettings = std::move(storeSettings);
  std::lock_guard<std::mutex> hold(lock_);
  if (current_) current_->cancel = true;
  JoinEnded();
  current_ = run;
  runs_.emplace_back(run, std::thread([this, run] { Body(run); }));
}

void CZovLibraryScanner::Cancel() {
  std::lock_guard<std::mutex> hold(lock_);
  if (current_) current_->cancel = true;
}

CZovLibraryScanner::Progress CZovLibraryScanner::State() const {
  std::lock_guard<std::mutex> hold(lock_);
  Progress p;
  if (current_) {
    p.scanning = !current_->finished;
    p.done = current_->done;
    p.total = current_->total;
  }
  return p;
}

void CZovLibraryScanner::Body(const std::shared_ptr<Run>& run) {
  ZovScanOptions o;
  o.indexPath = indexPath_;
  // The playing drive's map track and timeline are drawn from the library's
  // tracks (about 1.5 KiB per one-minute recording).
  o.keepTracks = true;
  o.storeDriveGap = run->storeDriveGap;
  o.storeSettings = run->storeSettings;
  o.cancel = &run->cancel;
  // A scan replaced by a newer one reports nothing more.
  auto isCurrent = [&] {
    std::lock_guard<std::mutex> hold(lock_);
    return current_ == run;
  };
  o.progress = [&](const ZovScanProgress& p) {
    run->done = p.done;
    run->total = p.total;
    const int64_t now = NowMs();
    if (now - run->lastNotifyMs >= kZovScanNotifyMs && notify_ && isCurrent()) {
      run->lastNotifyMs = now;
      notify_();
    }
  };
  o.snapshot = [&](std::shared_ptr<const ZovLibrary> lib) {
    if (!isCurrent() || run->cancel) return;
    apply_(std::move(lib), false);
    if (notify_) notify_();
  };
  auto lib = std::make_shared<ZovLibrary>(ZovScanLibrary(run->paths, o));
  for (const std::string& m : lib->messages) std::fprintf(stderr, "library: %s\n", m.c_str());
  const bool current = isCurrent();
  // A cancelled scan keeps what it read; a replaced one gives way to its successor.
  if (current) apply_(std::move(lib), true);
  run->finished = true;
  if (current && notify_) notify_();
  run->ended = true;  // last: a joiner may hold the owner's locks
}
