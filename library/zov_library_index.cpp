#include "library/zov_library_index.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/zov_paths.h"

namespace {

constexpr size_t kPointBytes = 24;

const char* kSchema =
    "CREATE TABLE recordings("
    " path BLOB PRIMARY KEY, size INTEGER NOT NULL, mtime_ns INTEGER NOT NULL,"
    " playable INTEGER NOT NULL, reason TEXT NOT NULL, seconds REAL NOT NULL,"
    " video_streams INTEGER NOT NULL, audio_streams INTEGER NOT NULL,"
    " width INTEGER NOT NULL, height INTEGER NOT NULL, codec TEXT NOT NULL,"
    " created INTEGER, gps_fixes INTEGER NOT NULL, kilometres REAL NOT NULL"
    ") WITHOUT ROWID;"
    "CREATE TABLE tracks(path BLOB PRIMARY KEY, points BLOB NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);";

void BindPath(sqlite3_stmt* s, int at, const std::string& path) {
  sqlite3_bind_blob(s, at, path.data(), static_cast<int>(path.size()), SQLITE_TRANSIENT);
}

std::string Text(sqlite3_stmt* s, int col) {
  const unsigned char* t = sqlite3_column_text(s, col);
  return t ? reinterpret_cast<const char*>(t) : "";
}

// Facts of a recordings row (columns from `playable` on, starting at `col`).
void ReadFacts(sqlite3_stmt* s, int col, ZovRecording* r) {
  r->facts.playable = sqlite3_column_int(s, col) != 0;
  r->facts.reason = Text(s, col + 1);
  r->facts.seconds = sqlite3_column_double(s, col + 2);
  r->facts.videoStreams = sqlite3_column_int(s, col + 3);
  r->facts.audioStreams = sqlite3_column_int(s, col + 4);
  r->facts.width = sqlite3_column_int(s, col + 5);
  r->facts.height = sqlite3_column_int(s, col + 6);
  r->facts.codec = Text(s, col + 7);
  r->facts.created =
      sqlite3_column_type(s, col + 8) == SQLITE_NULL ? kZovNoTime : sqlite3_column_int64(s, col + 8);
  r->gpsFixes = sqlite3_column_int(s, col + 9);
  r->kilometres = sqlite3_column_double(s, col + 10);
  r->fromIndex = true;
}

std::string Stamp() {
  char text[32];
  const time_t now = time(nullptr);
  struct tm t {};
  gmtime_r(&now, &t);
  std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &t);
  return text;
}

}  // namespace

CZovLibraryIndex::~CZovLibraryIndex() { Close(); }

std::string CZovLibraryIndex::DefaultPath() {
  return ZovCacheHome() + "/ZovGpsPlay/library.sqlite";
}

void CZovLibraryIndex::FinalizeAll() {
  for (sqlite3_stmt** s : {&lookup_, &track_, &store_, &storeTrack_, &dropTrack_}) {
    sqlite3_finalize(*s);
    *s = nullptr;
  }
}

void CZovLibraryIndex::Close() {
  FinalizeAll();
  if (db_) sqlite3_close(db_);
  db_ = nullptr;
}

bool CZovLibraryIndex::Exec(const char* sql) const {
  return db_ && sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Whether the open file is this program's index of this schema, whole.
bool CZovLibraryIndex::Trusted(std::string* why) {
  sqlite3_stmt* s = nullptr;
  int appId = -1, version = -1;
  if (sqlite3_prepare_v2(db_, "PRAGMA application_id", -1, &s, nullptr) != SQLITE_OK ||
      sqlite3_step(s) != SQLITE_ROW) {
    sqlite3_finalize(s);
    *why = std::string("damaged: ") + sqlite3_errmsg(db_);
    return false;
  }
  appId = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  s = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    version = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  s = nullptr;
  int tables = 0;
  if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    tables = sqlite3_column_int(s, 0);
  sqlite3_finalize(s);
  s = nullptr;
  if (appId == 0 && version == 0 && tables == 0) return true;  // new, empty file
  if (appId != kZovIndexApplicationId) {
    *why = "written by another program";
    return false;
  }
  if (version != kZovIndexSchema) {
    *why = "written by another version (schema " + std::to_string(version) + ")";
    return false;
  }
  std::string check;
  if (sqlite3_prepare_v2(db_, "PRAGMA quick_check", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    check = Text(s, 0);
  sqlite3_finalize(s);
  if (check != "ok") {
    *why = "damaged: " + (check.empty() ? std::string(sqlite3_errmsg(db_)) : check);
    return false;
  }
  return true;
}

bool CZovLibraryIndex::CreateSchema() {
  sqlite3_stmt* s = nullptr;
  bool empty = false;
  if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM sqlite_master", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    empty = sqlite3_column_int(s, 0) == 0;
  sqlite3_finalize(s);
  if (!empty) return true;
  const std::string sql = std::string("BEGIN;") + kSchema +
                          "PRAGMA application_id=" + std::to_string(kZovIndexApplicationId) +
                          ";PRAGMA user_version=" + std::to_string(kZovIndexSchema) + ";COMMIT;";
  if (Exec(sql.c_str())) return true;
  Exec("ROLLBACK");
  return false;
}

bool CZovLibraryIndex::Prepare() {
  auto prep = [&](const char* sql, sqlite3_stmt** out) {
    return sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, out, nullptr) == SQLITE_OK;
  };
  return prep("SELECT playable, reason, seconds, video_streams, audio_streams, width, height,"
              " codec, created, gps_fixes, kilometres FROM recordings"
              " WHERE path = ? AND size = ? AND mtime_ns = ?",
              &lookup_) &&
         prep("SELECT points FROM tracks WHERE path = ?", &track_) &&
         prep("INSERT OR REPLACE INTO recordings VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?)", &store_) &&
         prep("INSERT OR REPLACE INTO tracks VALUES (?,?)", &storeTrack_) &&
         prep("DELETE FROM tracks WHERE path = ?", &dropTrack_);
}

bool CZovLibraryIndex::Open(const std::string& path, std::string* message) {
  Close();
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    // Make the folders down to the database's own.
    for (size_t at = path.find('/', 1); at != std::string::npos && at <= slash;
         at = path.find('/', at + 1))
      ::mkdir(path.substr(0, at).c_str(), 0700);
  }
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::string why;
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
      why = std::string("cannot be opened: ") + (db_ ? sqlite3_errmsg(db_) : "out of memory");
      Close();
      if (message) *message = path + ": " + why;
      return false;
    }
    sqlite3_busy_timeout(db_, kZovIndexBusyMs);
    if (Trusted(&why) && Exec("PRAGMA journal_mode=WAL") && Exec("PRAGMA synchronous=NORMAL") &&
        CreateSchema() && Prepare())
      return true;
    if (why.empty()) why = std::string("unusable: ") + sqlite3_errmsg(db_);
    Close();
    if (attempt > 0) break;
    // Not to be trusted: keep it for a look, out of the way, and start anew.
    const std::string aside =
        path + (why.rfind("damaged", 0) == 0 ? ".damaged-" : ".other-") + Stamp();
    if (std::rename(path.c_str(), aside.c_str()) != 0) {
      if (message) *message = path + ": " + why + "; cannot be moved aside: " + std::strerror(errno);
      return false;
    }
    std::remove((path + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    if (message) *message = path + ": " + why + "; moved to " + aside + " and made anew";
  }
  return false;
}

bool CZovLibraryIndex::Lookup(const std::string& path, int64_t size, int64_t mtimeNs,
                              ZovRecording* out, bool withTrack) {
  if (!db_) return false;
  sqlite3_reset(lookup_);
  BindPath(lookup_, 1, path);
  sqlite3_bind_int64(lookup_, 2, size);
  sqlite3_bind_int64(lookup_, 3, mtimeNs);
  if (sqlite3_step(lookup_) != SQLITE_ROW) return false;
  ReadFacts(lookup_, 0, out);
  sqlite3_reset(lookup_);
  out->track.clear();
  if (withTrack && out->gpsFixes > 0) {
    sqlite3_reset(track_);
    BindPath(track_, 1, path);
    if (sqlite3_step(track_) == SQLITE_ROW) {
      const auto* p = static_cast<const uint8_t*>(sqlite3_column_blob(track_, 0));
      const size_t n = static_cast<size_t>(sqlite3_column_bytes(track_, 0)) / kPointBytes;
      out->track.resize(n);
      for (size_t i = 0; i < n; ++i, p += kPointBytes) {
        std::memcpy(&out->track[i].latitude, p, 8);
        std::memcpy(&out->track[i].longitude, p + 8, 8);
        std::memcpy(&out->track[i].speedKnots, p + 16, 4);
        std::memcpy(&out->track[i].time, p + 20, 4);
      }
    }
    sqlite3_reset(track_);
  }
  return true;
}

bool CZovLibraryIndex::Store(const ZovRecording& r) {
  if (!db_) return false;
  sqlite3_reset(store_);
  BindPath(store_, 1, r.path);
  sqlite3_bind_int64(store_, 2, r.size);
  sqlite3_bind_int64(store_, 3, r.mtimeNs);
  sqlite3_bind_int(store_, 4, r.facts.playable ? 1 : 0);
  sqlite3_bind_text(store_, 5, r.facts.reason.c_str(), -1, SQLITE_TRANSIENT);
  sqlite3_bind_double(store_, 6, r.facts.seconds);
  sqlite3_bind_int(store_, 7, r.facts.videoStreams);
  sqlite3_bind_int(store_, 8, r.facts.audioStreams);
  sqlite3_bind_int(store_, 9, r.facts.width);
  sqlite3_bind_int(store_, 10, r.facts.height);
  sqlite3_bind_text(store_, 11, r.facts.codec.c_str(), -1, SQLITE_TRANSIENT);
  if (r.facts.created == kZovNoTime)
    sqlite3_bind_null(store_, 12);
  else
    sqlite3_bind_int64(store_, 12, r.facts.created);
  sqlite3_bind_int(store_, 13, r.gpsFixes);
  sqlite3_bind_double(store_, 14, r.kilometres);
  bool ok = sqlite3_step(store_) == SQLITE_DONE;
  sqlite3_reset(store_);
  sqlite3_stmt* t = r.track.empty() ? dropTrack_ : storeTrack_;
  sqlite3_reset(t);
  BindPath(t, 1, r.path);
  if (!r.track.empty()) {
    std::string blob(r.track.size() * kPointBytes, '\0');
    char* p = blob.data();
    for (const ZovTrackPoint& pt : r.track) {
      std::memcpy(p, &pt.latitude, 8);
      std::memcpy(p + 8, &pt.longitude, 8);
      std::memcpy(p + 16, &pt.speedKnots, 4);
      std::memcpy(p + 20, &pt.time, 4);
      p += kPointBytes;
    }
    sqlite3_bind_blob(t, 2, blob.data(), static_cast<int>(blob.size()), SQLITE_TRANSIENT);
  }
  ok = sqlite3_step(t) == SQLITE_DONE && ok;
  sqlite3_reset(t);
  return ok;
}

bool CZovLibraryIndex::Begin() { return Exec("BEGIN IMMEDIATE"); }
bool CZovLibraryIndex::Commit() { return Exec("COMMIT"); }

void CZovLibraryIndex::VisitUnder(const std::string& folder,
                                  const std::function<void(ZovRecording&&)>& visit) {
  if (!db_) return;
  std::string low = folder;
  while (low.size() > 1 && low.back() == '/') low.pop_back();
  if (low != "/") low += '/';
  std::string high = low;
  high.back() = '/' + 1;  // just past every path that starts with the folder
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_,
                         "SELECT path, size, mtime_ns, playable, reason, seconds, video_streams,"
                         " audio_streams, width, height, codec, created, gps_fixes, kilometres"
                         " FROM recordings WHERE path >= ? AND path < ?",
                         -1, &s, nullptr) != SQLITE_OK)
    return;
  BindPath(s, 1, low);
  BindPath(s, 2, high);
  while (sqlite3_step(s) == SQLITE_ROW) {
    ZovRecording r;
    r.path.assign(static_cast<const char*>(sqlite3_column_blob(s, 0)),
                  static_cast<size_t>(sqlite3_column_bytes(s, 0)));
    r.size = sqlite3_column_int64(s, 1);
    r.mtimeNs = sqlite3_column_int64(s, 2);
    ReadFacts(s, 3, &r);
    visit(std::move(r));
  }
  sqlite3_finalize(s);
}

std::string CZovLibraryIndex::Setting(const std::string& key, const std::string& fallback) const {
  if (!db_) return fallback;
  sqlite3_stmt* s = nullptr;
  std::string value = fallback;
  if (sqlite3_prepare_v2(db_, "SELECT value FROM settings WHERE key = ?", -1, &s, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(s, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(s) == SQLITE_ROW) value = Text(s, 0);
  }
  sqlite3_finalize(s);
  return value;
}

bool CZovLibraryIndex::SetSetting(const std::string& key, const std::string& value) {
  if (!db_) return false;
  sqlite3_stmt* s = nullptr;
  bool ok = false;
  if (sqlite3_prepare_v2(db_, "INSERT OR REPLACE INTO settings VALUES (?, ?)", -1, &s, nullptr) ==
      SQLITE_OK) {
    sqlite3_bind_text(s, 1, key.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    ok = sqlite3_step(s) == SQLITE_DONE;
  }
  sqlite3_finalize(s);
  return ok;
}

std::string ZovPeekLibrarySetting(const std::string& path, const std::string& key,
                                  const std::string& fallback) {
  const std::string file = path.empty() ? CZovLibraryIndex::DefaultPath() : path;
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return fallback;
  sqlite3* db = nullptr;
  std::string value = fallback;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    // The scan thread may be closing or checkpointing the index right now.
    sqlite3_busy_timeout(db, kZovIndexBusyMs);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM settings WHERE key = ?", -1, &s, nullptr) == SQLITE_OK) {
      sqlite3_bind_text(s, 1, key.c_str(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(s) == SQLITE_ROW) value = Text(s, 0);
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
  return value;
}

int64_t CZovLibraryIndex::Count() const {
  if (!db_) return 0;
  sqlite3_stmt* s = nullptr;
  int64_t n = 0;
  if (sqlite3_prepare_v2(db_, "SELECT count(*) FROM recordings", -1, &s, nullptr) == SQLITE_OK &&
      sqlite3_step(s) == SQLITE_ROW)
    n = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  return n;
}
