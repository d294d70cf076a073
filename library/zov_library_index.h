#pragma once
// The library's index: an SQLite database under $XDG_CACHE_HOME/ZovGpsPlay/
// that remembers, per recording (keyed by path, size and modification time),
// what a scan learned: its facts and its GPS track. Re-opening a card reads
// only the recordings that are new or changed since.
//
// Schema (version kZovIndexSchema, in PRAGMA user_version; the file is
// marked as this program's by PRAGMA application_id):
//   recordings(path BLOB PRIMARY KEY, size, mtime_ns, playable, reason,
//              seconds, video_streams, audio_streams, width, height, codec,
//              created, gps_fixes, kilometres)
//   tracks(path BLOB PRIMARY KEY, points BLOB)   points: 24 bytes each,
//              latitude f64, longitude f64, speed f32 (knots), time i32
//   settings(key TEXT PRIMARY KEY, value TEXT)   camera zone and offset
// Paths are stored as bytes, so names that are not UTF-8 round-trip.
// What the name says (start, channel, mode) is not stored: it is read from
// the path again, so a better naming table applies without a rebuild.
//
// A file that is not an SQLite database, is damaged, belongs to another
// program or was written by another schema version is moved aside (to
// "<name>.damaged-<time>" or "<name>.other-<time>") and a new one is made;
// it is never trusted.
//
// Thread: one object per thread (the scan worker, a tool); SQLite's own
// locking lets a player and a tool share the file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "library/zov_library_types.h"

struct sqlite3;
struct sqlite3_stmt;

inline constexpr int kZovIndexSchema = 1;
// "ZOVL": marks the database as this program's library index.
inline constexpr int32_t kZovIndexApplicationId = 0x5A4F564C;
// How long a write waits for another process holding the database.
inline constexpr int kZovIndexBusyMs = 2000;

// One setting of the index at `path` ("" the default path), read without
// opening the index for writing or checking it: for the user-interface
// thread, which must not wait for a scan that holds the index. `fallback`
// when there is no such file, setting or readable database.
std::string ZovPeekLibrarySetting(const std::string& path, const std::string& key,
                                  const std::string& fallback = {});

class CZovLibraryIndex {
 public:
  CZovLibraryIndex() = default;
  ~CZovLibraryIndex();
  CZovLibraryIndex(const CZovLibraryIndex&) = delete;
  CZovLibraryIndex& operator=(const CZovLibraryIndex&) = delete;

  // <cache>/ZovGpsPlay/library.sqlite
  static std::string DefaultPath();

  // Opens (or makes) the database at `path`, creating its folder. A file
  // that cannot be trusted is moved aside and rebuilt; `message` then says
  // so. False only when no database can be had at all (read-only cache).
  bool Open(const std::string& path, std::string* message);
  bool IsOpen() const { return db_ != nullptr; }
  void Close();

  // The stored facts of `path` when its size and modification time are
  // still the same; fills facts, gpsFixes, kilometres and (when `withTrack`)
  // the track of `out`.
  bool Lookup(const std::string& path, int64_t size, int64_t mtimeNs, ZovRecording* out,
              bool withTrack = true);
  // Stores (or replaces) a recording's facts and track.
  bool Store(const ZovRecording& recording);
  // Groups writes into one transaction (much faster for many files).
  bool Begin();
  bool Commit();

  // Every recording stored under `folder` (a prefix of whole folder names),
  // without tracks: for listing a card that is not there.
  void VisitUnder(const std::string& folder, const std::function<void(ZovRecording&&)>& visit);

  std::string Setting(const std::string& key, const std::string& fallback = {}) const;
  bool SetSetting(const std::string& key, const std::string& value);

  // Number of recordings stored.
  int64_t Count() const;

 private:
  bool Exec(const char* sql) const;
  bool Prepare();
  bool Trusted(std::string* why);
  bool CreateSchema();
  void FinalizeAll();

  sqlite3* db_ = nullptr;
  sqlite3_stmt* lookup_ = nullptr;
  sqlite3_stmt* track_ = nullptr;
  sqlite3_stmt* store_ = nullptr;
  sqlite3_stmt* storeTrack_ = nullptr;
  sqlite3_stmt* dropTrack_ = nullptr;
};
