#include "library/zov_file_list_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <system_error>

#include <QString>

#include "gps/zov_gps_extractor.h"
#include "library/zov_library_group.h"
#include "library/zov_library_index.h"
#include "library/zov_library_scan.h"
#include "library/zov_media_extensions.h"
#include "library/zov_recording_probe.h"
#include "shell/zov_settings.h"
#include "shell/zov_trace.h"

namespace {

// Length of a UTF-8 text in UTF-16 units.
size_t Utf16Units(std::string_view text) {
  size_t units = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++units;  // a character starts here
    if (c >= 0xF0) ++units;           // outside the basic plane: a surrogate pair
  }
  return units;
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return (c & 0x80) == 0; });
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Listing order of two names: compared with letters upper-cased (as a
// case-insensitive file system lists a folder, so a camera's card and a copy
// of it list alike), ties broken by the bytes.
bool ListsBefore(std::string_view a, std::string_view b) {
  int folded = 0;
  if (IsAscii(a) && IsAscii(b)) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n && folded == 0; ++i) {
      const unsigned char x = static_cast<unsigned char>(Upper(a[i]));
      const unsigned char y = static_cast<unsigned char>(Upper(b[i]));
      folded = (x > y) - (x < y);
    }
    if (folded == 0) folded = (a.size() > b.size()) - (a.size() < b.size());
  } else {
    const QString x = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size())).toUpper();
    const QString y = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())).toUpper();
    folded = x.compare(y);
  }
  if (folded != 0) return folded < 0;
  return a < b;
}

// Size of a readable file, or -1.
int64_t ReadableSize(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  const int64_t size = (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ? st.st_size : -1;
  ::close(fd);
  return size;
}

int DefaultExtract(const std::string& path, std::string* points, std::string* sensors,
                   const ZovScanStop& stop) {
  // The library's scan reads tracks too; the extractor is one per process.
  std::lock_guard<std::mutex> hold(ZovExtractorLock());
  uint32_t handle = 0;
  InitExtractor(&handle);
  return ExtractGps(&handle, path, points, sensors, stop);
}

std::string DefaultMapName() { return CZovSettings::GetInstance()->CurrentMapName(); }

// On standard error; the player replaces it with a message box at start-up.
void DefaultWarning(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

std::mutex g_storeLock;
CZovFileListStore* g_store = nullptr;

}  // namespace

// ---- Singleton ----------------------------------------------------------

CZovFileListStore* CZovFileListStore::GetInstance() {
  std::lock_guard<std::mutex> hold(g_storeLock);
  if (!g_store) g_store = new CZovFileListStore();
  return g_store;
}

CZovFileListStore* CZovFileListStore::Peek() {
  std::lock_guard<std::mutex> hold(g_storeLock);
  return g_store;
}

void CZovFileListStore::DeleteInstance() {
  CZovFileListStore* store = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_storeLock);
    store = g_store;
    g_store = nullptr;
  }
  // Outside the singleton's lock: the destructor waits for the loader.
  delete store;
}

CZovFileListStore::CZovFileListStore()
    : extractor_(DefaultExtract), mapNameSource_(DefaultMapName), warningSink_(DefaultWarning) {}

// The loader and the library's scan call back into the store: they end
// while it is whole.
CZovFileListStore::~CZovFileListStore() { EndLoads(); }

void CZovFileListStore::SetExtractor(ZovTrackExtractor extractor) {
  SetExtractor(ZovStoppableTrackExtractor(
      [extractor = std::move(extractor)](const std::string& path, std::string* points,
                                         std::string* sensors, const ZovScanStop&) {
        return extractor(path, points, sensors);
      }));
}

void CZovFileListStore::SetExtractor(ZovStoppableTrackExtractor extractor) {
  std::lock_guard<std::recursive_mutex> load(loadLock_);
  extractor_ = std::move(extractor);
}

void CZovFileListStore::SetMapNameSource(std::function<std::string()> source) {
  std::lock_guard<std::recursive_mutex> load(loadLock_);
  mapNameSource_ = std::move(source);
}

void CZovFileListStore::SetWarningSink(std::function<void(const std::string&)> sink) {
  std::lock_guard<std::recursive_mutex> load(loadLock_);
  warningSink_ = std::move(sink);
}

// ---- Extensions and listing --------------------------------------------

std::string CZovFileListStore::ExtensionOf(std::string_view path) { return ZovExtensionOf(path); }

bool CZovFileListStore::IsMediaExtension(std::string_view text) { return ZovIsMediaExtension(text); }

bool CZovFileListStore::IsVideoExtension(std::string_view text) { return ZovIsVideoExtension(text); }

namespace {

// The sorted listing of the folder listed last. Adding a folder of files
// lists it once instead of once per file: the listing is reused while the
// folder's identity and modification time stay the same, and only when that
// time lay before the listing started (on the same coarse clock the file
// system stamps with), so any later change shows as a new time.
struct ListingCache {
  std::mutex lock;
  bool valid = false;
  std::string folder;
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{};
  std::vector<std::string> names;  // sorted, without "." and ".."
};

ListingCache& Listing() {
  static ListingCache cache;
  return cache;
}

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
bool Before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// Lists `folder` into `names`, sorted; false when it cannot be read.
bool ListSorted(const std::string& folder, std::vector<std::string>& names) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  names.clear();
  while (const dirent* d = ::readdir(dir)) {
    const std::string_view n(d->d_name);
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), ListsBefore);
  return true;
}

}  // namespace

int CZovFileListStore::ListingPosition(const std::string& path) {
  const size_t sep = path.rfind('/');
  if (sep == std::string::npos) return -1;
  const std::string folder = sep == 0 ? std::string("/") : path.substr(0, sep);
  const std::string name = path.substr(sep + 1);
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return -1;
  // "." and ".." come first (positions 0 and 1), then the names in order.
  if (name == ".") return 0;
  if (name == "..") return 1;
  ListingCache& cache = Listing();
  std::lock_guard<std::mutex> hold(cache.lock);
  const bool fresh = cache.valid && cache.folder == folder && cache.device == st.st_dev &&
                     cache.inode == st.st_ino && SameTime(cache.modified, st.st_mtim);
  if (!fresh) {
    timespec started{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &started);
    cache.valid = false;
    if (!ListSorted(folder, cache.names)) return -1;
    cache.folder = folder;
    cache.device = st.st_dev;
    cache.inode = st.st_ino;
    cache.modified = st.st_mtim;
    cache.valid = Before(st.st_mtim, started);
  }
  const auto at = std::lower_bound(cache.names.begin(), cache.names.end(), name, ListsBefore);
  if (at == cache.names.end() || *at != name) return -1;
  return 2 + static_cast<int>(at - cache.names.begin());
}

// ---- The list -------------------------------------------------------------

int CZovFileListStore::AddFile(const std::string& path, int position, int marked) {
  const size_t sep = path.rfind('/');
  if (sep == std::string::npos) return kZovAddNotFirst;
  if (Utf16Units(path) > static_cast<size_t>(kZovListPathUnits)) return kZovAddNotFirst;
  if (IsVideoExtension(path) && ReadableSize(path) < kZovMinVideoBytes) return kZovAddNotFirst;

  auto entry = std::make_shared<FileEntry>();
  entry->path = path;
  entry->marked = marked;
  // The folder is listed outside the list lock.
  entry->listingPosition = position == -1 ? ListingPosition(path) : position;
  std::lock_guard<std::recursive_mutex> list(listLock_);
  return InsertEntry(std::move(entry), path.substr(0, sep));
}

namespace {

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

int CZovFileListStore::AddDropped(const std::vector<std::string>& dropped) {
  // Folders (a card, its DCIM, a folder of cards) go to the library, read in
  // the background; files are added one by one as always.
  std::vector<std::string> folders, files;
  for (const std::string& path : dropped) (IsFolder(path) ? folders : files).push_back(path);
  const bool folderFirst = !dropped.empty() && !folders.empty() && folders.front() == dropped.front();
  if (!folders.empty()) ScanFolders(folders, folderFirst);
  for (const std::string& path : files)
    if (IsMediaExtension(ExtensionOf(path))) AddFile(path);
  if (files.empty() || folderFirst) return -1;
  std::lock_guard<std::recursive_mutex> list(listLock_);
  const int index = FindIndex(files.front());
  if (index >= 0) SelectIndex(index);
  return index;
}

// ---- The library ------------------------------------------------------------

void CZovFileListStore::ScanFolders(const std::vector<std::string>& folders, bool playFirst) {
  std::vector<std::string> roots;
  CZovLibraryScanner* scanner = nullptr;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    for (const std::string& f : folders)
      if (std::find(libraryRoots_.begin(), libraryRoots_.end(), f) == libraryRoots_.end())
        libraryRoots_.push_back(f);
    roots = libraryRoots_;
    playPending_ = playFirst;
    scanner = Scanner();
  }
  // The scanner lives until the store goes; Start never waits.
  scanner->Start(std::move(roots));
}

CZovLibraryScanner* CZovFileListStore::Scanner() {
  if (!scanner_) {
    scanner_ = std::make_unique<CZovLibraryScanner>(
        [this](std::shared_ptr<const ZovLibrary> lib, bool) {
          KeepLibrary(lib);
          ReplaceLibraryRows(ZovLibraryListRows(*lib, CameraClock()));
        },
        [this] { NotifyLibrary(); }, libraryIndexPath_);
  }
  return scanner_.get();
}

int CZovFileListStore::DriveGap() const {
  std::string path;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    if (chosenDriveGap_ >= 0) return chosenDriveGap_;
    path = libraryIndexPath_;
  }
  return ZovDriveGapOfSetting(ZovPeekLibrarySetting(path, kZovDriveGapSetting));
}

void CZovFileListStore::KeepLibrary(std::shared_ptr<const ZovLibrary> library) {
  std::lock_guard<std::mutex> hold(libraryLock_);
  library_ = std::move(library);
}

ZovDrivePlan CZovFileListStore::DrivePlanOf(const std::string& path) const {
  std::shared_ptr<const ZovLibrary> library;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    library = library_;
  }
  return library ? ZovPlanDriveOfPath(*library, path) : ZovDrivePlan{};
}

std::shared_ptr<const ZovLibrary> CZovFileListStore::LibraryOfDrive(const std::string& path, size_t* drive) const {
  std::shared_ptr<const ZovLibrary> library;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    library = library_;
  }
  const int index = library ? ZovDriveIndexOfPath(*library, path) : -1;
  if (index < 0) return nullptr;
  if (drive) *drive = size_t(index);
  return library;
}

void CZovFileListStore::SetPlayingDrive(std::shared_ptr<const ZovDrivePlan> plan) {
  std::lock_guard<std::mutex> hold(libraryLock_);
  playingDrive_ = std::move(plan);
}

std::shared_ptr<const ZovDrivePlan> CZovFileListStore::PlayingDrive() const {
  std::lock_guard<std::mutex> hold(libraryLock_);
  return playingDrive_;
}

ZovCameraClock CZovFileListStore::CameraClock() const {
  std::string path;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    if (chosenClock_) return *chosenClock_;
    if (readClock_) return *readClock_;
    path = libraryIndexPath_;
  }
  // Read once: the windows ask on every tick and every drawing.
  const ZovCameraClock clock = ZovReadCameraClock(path);
  std::lock_guard<std::mutex> hold(libraryLock_);
  if (path == libraryIndexPath_) readClock_ = clock;
  return clock;
}

void CZovFileListStore::SetCameraClock(const ZovCameraClock& clock) {
  std::vector<std::string> roots;
  CZovLibraryScanner* scanner = nullptr;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    roots = libraryRoots_;
    scanner = Scanner();
    chosenClock_ = clock;
  }
  scanner->Start(std::move(roots), -1,
                 {{kZovCameraZoneSetting, clock.zone},
                  {kZovCameraOffsetSetting, std::to_string(std::clamp(clock.offsetSeconds, -kZovMaxCameraOffset, kZovMaxCameraOffset))},
                  {kZovGpsNudgeSetting, std::to_string(std::clamp(clock.gpsNudgeMs, -kZovMaxGpsNudgeMs, kZovMaxGpsNudgeMs))}});
}

void CZovFileListStore::SetDriveGap(int seconds) {
  std::vector<std::string> roots;
  CZovLibraryScanner* scanner = nullptr;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    roots = libraryRoots_;
    scanner = Scanner();
    chosenDriveGap_ = std::clamp(seconds, 0, kZovMaxDriveGap);
  }
  // With no folders the scan only stores the setting.
  scanner->Start(std::move(roots), std::clamp(seconds, 0, kZovMaxDriveGap));
}

void CZovFileListStore::CancelLibraryScan() {
  std::lock_guard<std::mutex> hold(libraryLock_);
  if (scanner_) scanner_->Cancel();
}

CZovLibraryScanner::Progress CZovFileListStore::LibraryProgress() const {
  std::lock_guard<std::mutex> hold(libraryLock_);
  return scanner_ ? scanner_->State() : CZovLibraryScanner::Progress{};
}

void CZovFileListStore::SetLibraryListener(std::function<void()> listener) {
  std::lock_guard<std::mutex> hold(libraryLock_);
  libraryListener_ = std::move(listener);
}

void CZovFileListStore::SetLibraryIndexPath(const std::string& path) {
  std::lock_guard<std::mutex> hold(libraryLock_);
  libraryIndexPath_ = path;
  chosenDriveGap_ = -1;  // another index keeps its own gap and clock
  chosenClock_.reset();
  readClock_.reset();
}

void CZovFileListStore::NotifyLibrary() {
  std::function<void()> listener;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    listener = libraryListener_;
  }
  if (listener) listener();
}

bool CZovFileListStore::TakePlayRequest() {
  std::lock_guard<std::mutex> hold(libraryLock_);
  const bool requested = playRequested_;
  playRequested_ = false;
  return requested;
}

int CZovFileListStore::FirstMomentIndex() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->kind == ZovRowKind::kMoment) return static_cast<int>(i);
  return -1;
}

void CZovFileListStore::ReplaceLibraryRows(const std::vector<ZovListRow>& rows) {
  // The entries are made before the list lock is taken: with a large card
  // that takes a while, and the list view reads the list while it paints.
  bool hasMoment = false;
  std::vector<EntryPtr> made;
  made.reserve(rows.size());
  for (const ZovListRow& row : rows) {
    auto e = std::make_shared<FileEntry>();
    e->kind = row.kind;
    e->path = row.path;
    e->text = row.text;
    e->badge = row.badge;
    e->source = row.source;
    hasMoment = hasMoment || row.kind == ZovRowKind::kMoment;
    made.push_back(std::move(e));
  }
  {
    std::lock_guard<std::recursive_mutex> list(listLock_);
    // The current library row is found again by what it plays.
    const bool currentIsRow = currentEntry_ && currentEntry_->kind != ZovRowKind::kFile;
    const std::string currentPath = currentIsRow ? currentEntry_->path : std::string();
    const ZovRowKind currentKind = currentIsRow ? currentEntry_->kind : ZovRowKind::kFile;
    std::vector<EntryPtr> kept;
    kept.reserve(entries_.size());
    for (EntryPtr& e : entries_)
      if (e->kind == ZovRowKind::kFile) kept.push_back(std::move(e));
    entries_ = std::move(kept);
    entries_.insert(entries_.end(), std::make_move_iterator(made.begin()),
                    std::make_move_iterator(made.end()));
    if (currentIsRow) {
      currentEntry_ = nullptr;
      currentFolder_ = nullptr;
      for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i]->kind == currentKind && entries_[i]->path == currentPath) {
          currentIndex_ = static_cast<int>(i);
          currentEntry_ = entries_[i].get();
        }
    } else if (currentEntry_) {
      currentIndex_ = IndexOfLocked(currentEntry_);
    }
  }
  std::lock_guard<std::mutex> hold(libraryLock_);
  if (playPending_ && hasMoment) {
    playPending_ = false;
    playRequested_ = true;
  }
}

int CZovFileListStore::InsertEntry(EntryPtr entry, const std::string& folderPath) {
  FolderRecord* folder = nullptr;
  for (auto& f : folders_)
    if (f->folderPath == folderPath) folder = f.get();
  const bool newFolder = folder == nullptr;
  if (folder) {
    for (const FileEntry* e : folder->entries)
      if (e->path == entry->path) return kZovAddDuplicate;
  } else {
    folders_.push_back(std::make_unique<FolderRecord>());
    folder = folders_.back().get();
    folder->folderPath = folderPath;
  }
  entry->folder = folder;
  // Within the folder: before the first entry listed at or after it.
  auto at = std::find_if(folder->entries.begin(), folder->entries.end(), [&](const FileEntry* e) {
    return e->listingPosition >= entry->listingPosition;
  });
  const FileEntry* successor = at == folder->entries.end() ? nullptr : *at;
  const FileEntry* predecessor = at == folder->entries.begin() ? nullptr : *(at - 1);
  folder->entries.insert(at, entry.get());

  if (entries_.empty()) {
    entries_.push_back(std::move(entry));
    return 0;
  }
  if (newFolder) {
    // Files come before the library's rows, which stay together at the end.
    const auto rows = std::find_if(entries_.begin(), entries_.end(),
                                   [](const EntryPtr& e) { return e->kind != ZovRowKind::kFile; });
    entries_.insert(rows, std::move(entry));
  } else if (successor) {
    entries_.insert(entries_.begin() + IndexOfLocked(successor), std::move(entry));
  } else {
    entries_.insert(entries_.begin() + IndexOfLocked(predecessor) + 1, std::move(entry));
  }
  return kZovAddNotFirst;
}

int CZovFileListStore::IndexOfLocked(const FileEntry* entry) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].get() == entry) return static_cast<int>(i);
  return -1;
}

int CZovFileListStore::FindIndex(const std::string& path) const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->path == path && entries_[i]->kind != ZovRowKind::kDrive) return static_cast<int>(i);
  return -1;
}

int CZovFileListStore::SelectIndex(int i) {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  const int count = static_cast<int>(entries_.size());
  if (i > count) i = 0;
  // A drive row stands for its first moment.
  if (i >= 0 && i + 1 < count && entries_[static_cast<size_t>(i)]->kind == ZovRowKind::kDrive) ++i;
  currentIndex_ = i;
  if (i >= 0 && i < count && Playable(*entries_[static_cast<size_t>(i)])) {
    currentEntry_ = entries_[static_cast<size_t>(i)].get();
    currentFolder_ = currentEntry_->folder;
    return 0;
  }
  currentEntry_ = nullptr;
  currentFolder_ = nullptr;
  return -1;
}

void CZovFileListStore::SelectIfNone(int i) {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  if (!currentEntry_) SelectIndex(i);
}

int CZovFileListStore::SelectNext() {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  // Drive rows and files that cannot play are stepped over.
  for (int i = currentIndex_ + 1; i < static_cast<int>(entries_.size()); ++i)
    if (Playable(*entries_[static_cast<size_t>(i)])) return SelectIndex(i);
  return -1;
}

int CZovFileListStore::SelectPrevious() {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  const int count = static_cast<int>(entries_.size());
  if (count == 1) return SelectIndex(0);
  int i = currentIndex_ - 1;
  if (i < 0 || i >= count) i = count - 1;
  // Drive rows and files that cannot play are stepped over, wrapping once.
  for (int n = 0; n < count && !Playable(*entries_[static_cast<size_t>(i)]); ++n)
    i = i > 0 ? i - 1 : count - 1;
  return SelectIndex(i);
}

std::string CZovFileListStore::GetCurrentPath() {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  SelectIndex(currentIndex_);
  return currentEntry_ ? currentEntry_->path : std::string();
}

int CZovFileListStore::GetCurrentIndex() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  return currentIndex_;
}

int CZovFileListStore::Count() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  return static_cast<int>(entries_.size());
}

void CZovFileListStore::RemoveAt(int i) {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  if (i < 0 || i >= static_cast<int>(entries_.size())) return;
  EntryPtr entry = entries_[static_cast<size_t>(i)];
  entries_.erase(entries_.begin() + i);
  {
    std::lock_guard<std::recursive_mutex> track(trackLock_);
    entry->track.Free();
  }
  FolderRecord* folder = entry->folder;
  entry->folder = nullptr;
  if (folder) {
    std::erase(folder->entries, entry.get());
    if (folder->entries.empty())
      std::erase_if(folders_, [folder](const auto& f) { return f.get() == folder; });
  }
  currentEntry_ = nullptr;
  currentFolder_ = nullptr;
}

int CZovFileListStore::CopyPlayingPaths(std::string* path) {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  if (!currentEntry_) return -1;
  if (path) *path = currentEntry_->path;
  return 1;
}

std::vector<std::string> CZovFileListStore::Paths() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  std::vector<std::string> paths;
  paths.reserve(entries_.size());
  for (const auto& e : entries_) paths.push_back(e->path);
  return paths;
}

std::vector<ZovListRow> CZovFileListStore::Rows() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  std::vector<ZovListRow> rows;
  rows.reserve(entries_.size());
  for (const auto& e : entries_)
    rows.push_back({e->kind, e->path, e->kind == ZovRowKind::kFile ? e->path : e->text, e->badge, e->source});
  return rows;
}

std::string CZovFileListStore::PathAt(int i) const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  if (i < 0 || i >= static_cast<int>(entries_.size())) return {};
  return entries_[static_cast<size_t>(i)]->path;
}

bool CZovFileListStore::IsMarked(int i) const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  if (i < 0 || i >= static_cast<int>(entries_.size())) return false;
  return entries_[static_cast<size_t>(i)]->marked != 0;
}

void CZovFileListStore::SetMarked(int i, bool marked) {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  if (i < 0 || i >= static_cast<int>(entries_.size())) return;
  entries_[static_cast<size_t>(i)]->marked = marked ? 1 : 0;
}

int CZovFileListStore::FirstMarked() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i]->marked) return static_cast<int>(i);
  return -1;
}

std::string CZovFileListStore::CurrentFolder() const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  return currentFolder_ ? currentFolder_->folderPath : std::string();
}

// ---- Tracks -----------------------------------------------------------

void CZovFileListStore::ExtractInto(const std::string& path, FileTrack& track, const ZovScanStop& stop) {
  // An extractor is always given a check it can call.
  static const ZovScanStop kNever = [] { return false; };
  std::string points, sensors;
  if (extractor_(path, &points, &sensors, stop ? stop : kNever) == 0) return;
  if (ZovReadTrackTexts(points, sensors, mapNameSource_(), track) ==
      ZovTrackReadResult::kOutOfMemory)
    DebugTrace("%s", kZovGpsErrorText);
}

bool CZovFileListStore::LoadTrack(const EntryPtr& entry, const ZovScanStop& stop) {
  {
    std::lock_guard<std::recursive_mutex> track(trackLock_);
    if (entry->track.extracted) return true;
    entry->track.extracted = 1;
    entry->track.pointCount = 0;
    entry->track.sampleCount = 0;
  }
  // The scan runs under the load lock only; readers of tracks do not wait for it.
  FileTrack loaded;
  bool failed = false;
  try {
    ExtractInto(entry->path, loaded, stop);
  } catch (...) {
    failed = true;  // keep what was read before the exception
  }
  if (stop && stop()) {
    // Cut short: a part of the track would pass for all of it.
    std::lock_guard<std::recursive_mutex> track(trackLock_);
    entry->track.extracted = 0;
    return false;
  }
  {
    std::lock_guard<std::recursive_mutex> track(trackLock_);
    FileTrack& t = entry->track;
    t.points.insert(t.points.end(), loaded.points.begin(), loaded.points.end());
    t.samples.insert(t.samples.end(), loaded.samples.begin(), loaded.samples.end());
    t.pointCount += loaded.pointCount;
    t.sampleCount += loaded.sampleCount;
    if (loaded.pointCount > 0) {
      t.lastLatitude = loaded.lastLatitude;
      t.lastLongitude = loaded.lastLongitude;
    }
  }
  if (failed) {
    DebugTraceW(L"%ls", L"GPS excpet ！！");
    warningSink_(kZovGpsExceptText);
  }
  return true;
}

void CZovFileListStore::LoadAllTracks() { LoadAllTracks(ZovScanStop()); }

bool CZovFileListStore::LoadAllTracks(const ZovScanStop& stop) {
  std::lock_guard<std::recursive_mutex> load(loadLock_);
  std::vector<EntryPtr> all;
  {
    std::lock_guard<std::recursive_mutex> list(listLock_);
    all = entries_;
  }
  for (const EntryPtr& e : all)
    if (!LoadTrack(e, stop)) return false;
  return true;
}

void CZovFileListStore::MakeCurrent(const std::string& path) { MakeCurrent(path, ZovScanStop()); }

bool CZovFileListStore::MakeCurrent(const std::string& path, const ZovScanStop& stop) {
  std::lock_guard<std::recursive_mutex> load(loadLock_);
  ClearCurrentTrack();
  EntryPtr entry;
  {
    std::lock_guard<std::recursive_mutex> list(listLock_);
    for (const EntryPtr& e : entries_)
      if (e->path == path) {
        entry = e;
        break;
      }
  }
  if (!entry) return true;
  if (!LoadTrack(entry, stop)) return false;
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  currentPoints_ = entry->track.points;
  currentSamples_ = entry->track.samples;
  currentPointCount_ = entry->track.pointCount;
  currentSampleCount_ = entry->track.sampleCount;
  return true;
}

// ---- The loader thread ---------------------------------------------------

void CZovFileListStore::LoadInBackground(std::string path, LoadDone done) {
  {
    std::lock_guard<std::mutex> hold(loaderLock_);
    if (!loaderEnding_) {
      ++loadSerial_;  // the load in progress stops at its next check
      pendingLoad_ = LoadRequest{std::move(path), std::move(done)};
      try {
        if (!loader_.joinable()) loader_ = std::thread(&CZovFileListStore::LoaderLoop, this);
        loaderWake_.notify_one();
        return;
      } catch (const std::system_error&) {
        // No thread to run it: refused like a request after the end.
        done = std::move(pendingLoad_->done);
        pendingLoad_.reset();
      }
    }
  }
  if (done) done(false);
}

void CZovFileListStore::CancelLoads() {
  std::lock_guard<std::mutex> hold(loaderLock_);
  ++loadSerial_;
  pendingLoad_.reset();
}

void CZovFileListStore::EndLoads() {
  std::thread loader;
  {
    std::lock_guard<std::mutex> hold(loaderLock_);
    loaderEnding_ = true;
    ++loadSerial_;
    pendingLoad_.reset();
    loader = std::move(loader_);
  }
  loaderWake_.notify_all();
  if (loader.joinable()) {
    if (loader.get_id() == std::this_thread::get_id())
      loader.detach();  // ended from its own done call: it returns right after
    else
      loader.join();
  }
  // The library's scan reads with the same extractor: it ends too.
  std::unique_ptr<CZovLibraryScanner> scanner;
  {
    std::lock_guard<std::mutex> hold(libraryLock_);
    scanner = std::move(scanner_);
  }
  scanner.reset();
}

bool CZovFileListStore::Loading() const {
  std::lock_guard<std::mutex> hold(loaderLock_);
  return loaderBusy_ || pendingLoad_.has_value();
}

void CZovFileListStore::LoaderLoop() {
  for (;;) {
    LoadRequest request;
    uint64_t serial = 0;
    {
      std::unique_lock<std::mutex> hold(loaderLock_);
      loaderBusy_ = false;
      loaderWake_.wait(hold, [this] { return loaderEnding_ || pendingLoad_.has_value(); });
      if (loaderEnding_) return;
      request = std::move(*pendingLoad_);
      pendingLoad_.reset();
      serial = loadSerial_;
      loaderBusy_ = true;
    }
    const ZovScanStop stop = [this, serial] { return loadSerial_.load() != serial; };
    bool loaded = !allTracks_ || LoadAllTracks(stop);
    loaded = loaded && MakeCurrent(request.path, stop) && !stop();
    {
      // The load is over before its caller hears so: Loading() must not
      // still report it from inside or after the done call.
      std::lock_guard<std::mutex> hold(loaderLock_);
      loaderBusy_ = false;
    }
    if (request.done) request.done(loaded);
  }
}

void CZovFileListStore::ClearCurrentTrack() {
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  ClearCurrentTrackLocked();
}

void CZovFileListStore::ClearCurrentTrackLocked() {
  currentPoints_.clear();
  currentPoints_.shrink_to_fit();
  currentSamples_.clear();
  currentSamples_.shrink_to_fit();
  currentPointCount_ = 0;
  currentSampleCount_ = 0;
  // A new track starts with no previous second, so its first tick is sent.
  picker_.Reset();
}

ZovSecondResult CZovFileListStore::PointForSecond(int second, int mode, int duration) {
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  return picker_.Pick(currentPoints_, second, mode, duration);
}

int CZovFileListStore::CurrentPointCount() const {
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  return currentPointCount_;
}

int CZovFileListStore::CurrentSampleCount() const {
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  return currentSampleCount_;
}

std::vector<GpsPoint> CZovFileListStore::CurrentPoints() const {
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  return currentPoints_;
}

std::vector<GsensorSample> CZovFileListStore::CurrentSamples() const {
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  return currentSamples_;
}

bool CZovFileListStore::CopyTrack(const std::string& path, FileTrack* out) const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  for (const EntryPtr& e : entries_) {
    if (e->path != path) continue;
    std::lock_guard<std::recursive_mutex> track(trackLock_);
    if (out) *out = e->track;
    return true;
  }
  return false;
}

CZovFileListStore::TrackEnds CZovFileListStore::VisitTracksToDraw(
    const std::function<void(int track, const std::vector<GpsPoint>& points)>& visit) const {
  std::lock_guard<std::recursive_mutex> list(listLock_);
  std::lock_guard<std::recursive_mutex> track(trackLock_);
  if (allTracks_ && currentFolder_) {
    int n = 0;
    for (const FileEntry* e : currentFolder_->entries) visit(n++, e->track.points);
  } else {
    visit(0, currentPoints_);
  }
  TrackEnds ends;
  if (!currentPoints_.empty()) {
    ends.hasPoints = true;
    ends.firstLatitude = currentPoints_.front().latitude;
    ends.firstLongitude = currentPoints_.front().longitude;
    ends.lastLatitude = currentPoints_.back().latitude;
    ends.lastLongitude = currentPoints_.back().longitude;
  }
  return ends;
}
