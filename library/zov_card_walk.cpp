#include "library/zov_card_walk.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string_view>
#include <utility>

#include "gps/zov_gps_file.h"
#include "gps/zov_gps_scan.h"

namespace {

bool EqualFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

bool OneOfFolded(std::string_view ext, std::initializer_list<std::string_view> list) {
  return std::any_of(list.begin(), list.end(), [&](std::string_view e) { return EqualFolded(ext, e); });
}

std::string_view ExtensionOf(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos || dot == 0 ? std::string_view() : name.substr(dot + 1);
}

// Folders that hold no recordings: what file systems and desktops keep on
// removable media (hidden folders, ".name", are skipped as well).
bool IsSystemFolder(std::string_view name) {
  return OneOfFolded(name, {"System Volume Information", "$RECYCLE.BIN", "RECYCLER", "lost+found",
                            "LOST.DIR", "FOUND.000", "Android", "MISC"});
}

// Files whose extension says they are neither recordings nor side files.
bool IsKnownOther(std::string_view ext) {
  return OneOfFolded(ext, {"jpg", "jpeg", "png", "bmp", "thm", "ini", "cfg", "xml", "json", "db",
                           "bin", "lrv", "mp3", "wav", "html", "sqlite", "lock", "tmp"});
}

std::string ErrorText(int error) { return std::strerror(error); }

int64_t MtimeNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

class Walker {
 public:
  Walker(int maxDepth, const std::atomic<bool>* cancel) : maxDepth_(maxDepth), cancel_(cancel) {}

  void Path(const std::string& given) {
    // Absolute, so the index knows the file whatever folder a tool ran in;
    // links are kept as named (a card mounted twice is two cards).
    std::error_code error;
    std::string path = std::filesystem::absolute(given, error).lexically_normal().string();
    if (error || path.empty()) path = given;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      Note(path, errno == ENOENT ? "not found" : "cannot be read: " + ErrorText(errno));
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      std::string folder = path;
      while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
      Folder(folder, st, 0);
    } else if (S_ISREG(st.st_mode)) {
      // A file named on its own is taken whatever its name says.
      File(path, st, true);
    }
  }

  ZovWalkResult Take() {
    // A file both named and found in a walked folder counts as found there.
    auto byPath = [](const ZovWalkedFile& a, const ZovWalkedFile& b) {
      return a.path != b.path ? a.path < b.path : a.named < b.named;
    };
    std::sort(result_.recordings.begin(), result_.recordings.end(), byPath);
    std::sort(result_.sideFiles.begin(), result_.sideFiles.end(), byPath);
    // A path given twice (a folder and a file in it) is one file.
    auto same = [](const ZovWalkedFile& a, const ZovWalkedFile& b) { return a.path == b.path; };
    result_.recordings.erase(std::unique(result_.recordings.begin(), result_.recordings.end(), same),
                             result_.recordings.end());
    result_.sideFiles.erase(std::unique(result_.sideFiles.begin(), result_.sideFiles.end(), same),
                            result_.sideFiles.end());
    return std::move(result_);
  }

 private:
  bool Cancelled() {
    if (cancel_ && cancel_->load(std::memory_order_relaxed)) result_.cancelled = true;
    return result_.cancelled;
  }

  void Note(const std::string& path, const std::string& what) {
    result_.messages.push_back(path + ": " + what);
  }

  void Folder(const std::string& folder, const struct stat& st, int depth) {
    const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
    if (std::find(open_.begin(), open_.end(), id) != open_.end()) {
      Note(folder, "a link back to a folder that holds it, not followed");
      return;
    }
    if (!seen_.insert(id).second) return;  // reached twice through links: walked once
    if (depth > maxDepth_) {
      Note(folder, "more than " + std::to_string(maxDepth_) + " folders deep, not read");
      return;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
      Note(folder, "cannot be read: " + ErrorText(errno));
      return;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
      const std::string_view n(d->d_name);
      if (n != "." && n != "..") names.emplace_back(n);
      errno = 0;
    }
    // A card pulled out while it is read ends the listing with an I/O error.
    if (errno != 0) Note(folder, "reading stopped: " + ErrorText(errno));
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    open_.push_back(id);
    const std::string prefix = folder == "/" ? folder : folder + "/";
    for (const std::string& name : names) {
      if (Cancelled()) break;
      if (name[0] == '.') continue;
      const std::string path = prefix + name;
      struct stat item {};
      if (::stat(path.c_str(), &item) != 0) {
        struct stat link {};
        if (errno == ENOENT && ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) continue;
        Note(path, errno == ENOENT ? "vanished during the scan" : "cannot be read: " + ErrorText(errno));
        continue;
      }
      if (S_ISDIR(item.st_mode)) {
        if (!IsSystemFolder(name)) Folder(path, item, depth + 1);
      } else if (S_ISREG(item.st_mode)) {
        File(path, item, false);
      }
    }
    open_.pop_back();
  }

  void File(const std::string& path, const struct stat& st, bool named) {
    const size_t slash = path.rfind('/');
    const std::string_view name =
        slash == std::string::npos ? std::string_view(path) : std::string_view(path).substr(slash + 1);
    const std::string_view ext = ExtensionOf(name);
    ZovWalkedFile file{path, static_cast<int64_t>(st.st_size), MtimeNs(st), named};
    if (ZovIsRecordingExtension(ext)) {
      result_.recordings.push_back(std::move(file));
    } else if (ZovIsSideExtension(ext)) {
      result_.sideFiles.push_back(std::move(file));
    } else if (st.st_size > 0 && (named || !IsKnownOther(ext))) {
      // The extension says nothing: the first bytes decide.
      CZovGpsFile f;
      if (!f.Open(path)) return;
      switch (ZovGpsSourceKindOfContent(f)) {
        case ZovGpsSourceKind::kMp4:
        case ZovGpsSourceKind::kAvi:
        case ZovGpsSourceKind::kTransportStream:
          result_.recordings.push_back(std::move(file));
          break;
        case ZovGpsSourceKind::kText:
        case ZovGpsSourceKind::kSideText:
          result_.sideFiles.push_back(std::move(file));
          break;
        case ZovGpsSourceKind::kNone:
          if (named) result_.recordings.push_back(std::move(file));  // says why it is not one
          break;
      }
    }
  }

  const int maxDepth_;
  const std::atomic<bool>* cancel_;
  std::vector<std::pair<dev_t, ino_t>> open_;  // folders being walked, outermost first
  std::set<std::pair<dev_t, ino_t>> seen_;
  ZovWalkResult result_;
};

}  // namespace

bool ZovIsRecordingExtension(std::string_view ext) {
  return OneOfFolded(ext, {"mp4", "mov", "ts", "avi", "mkv", "rmvb", "m4v", "mts"});
}

bool ZovIsSideExtension(std::string_view ext) {
  return OneOfFolded(ext, {"gps", "3gf", "nmea", "nma", "srt", "txt", "dat", "gpx"});
}

ZovWalkResult ZovWalkPaths(const std::vector<std::string>& paths, int maxDepth,
                           const std::atomic<bool>* cancel) {
  Walker walker(maxDepth, cancel);
  for (const std::string& path : paths) walker.Path(path);
  return walker.Take();
}
