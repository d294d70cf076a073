#pragma once
// Process-wide settings and resource services.
//
// CZovSettings finds the program's folders, decides which copy of
// "quelnasetup.ini" is used (the shipped one in <base>/setup/ when it can be
// written, otherwise a per-user copy in <config>/ZovGpsPlay/ made once and
// never refreshed), loads every key once, keeps the values and writes each
// change back at once. It also holds the current UI text table (GetText) and
// the resource library (images, rectangles, colours, fonts by numeric id).
//
// Threads: created and changed on the user-interface thread only. Other
// threads (playback, browser bridge) read it without a lock: the current
// choices are atomics, the lists do not change after Init(), and the two
// strings that setters change are read through locked getters.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include "shell/zov_resource_library.h"
#include "shell/zov_text_tables.h"

// File name of the settings file.
inline constexpr const char* kZovSettingsFileName = "quelnasetup.ini";
// Remote page of the map provider whose "map%d_file" value contains "google".
// The host is a neutral placeholder, kept in this one constant.
inline constexpr const char* kZovGoogleMapPage = "https://maps.zovgpsplay.example.net/pc/pilmo/google.html";
// Largest number of entries a list loads; a count outside 1..kZovMaxListEntries loads none.
inline constexpr int kZovMaxListEntries = 199;
// Characters kept of a list entry's name and of a file value / page location.
inline constexpr int kZovNameChars = 32;
inline constexpr int kZovLocationChars = 256;

struct ZovLanguageEntry {
  std::string name;  // text table's language name
  std::string file;  // external text file (loaded, not used)
};

struct ZovUnitEntry {
  std::string name;
  float scale = 0.0f;
};

struct ZovMapEntry {
  std::string name;
  std::string location;  // local page path or the remote page address; empty when refused
};

class CZovSettings {
 public:
  // The singleton (created on first use, user-interface thread).
  static CZovSettings* GetInstance();
  // The singleton or null; creates nothing.
  static CZovSettings* Peek();
  static void DeleteInstance();

  // Sets the defaults and loads the resource library beside the executable.
  CZovSettings();
  ~CZovSettings();
  CZovSettings(const CZovSettings&) = delete;
  CZovSettings& operator=(const CZovSettings&) = delete;

  // Folders, choice of the settings file, load of all keys, text table.
  void Init();
  // The same for a given executable path (the base folder is two levels up).
  void Init(const std::string& executablePath);

  // --- Folders ---------------------------------------------------------
  const std::string& BaseFolder() const { return baseFolder_; }
  const std::string& SetupFolder() const { return setupFolder_; }      // ends with "/"
  const std::string& ResFolder() const { return resFolder_; }          // ends with "/"
  const std::string& SettingsFolder() const { return settingsFolder_; }  // ends with "/"
  const std::string& UserFolder() const { return userFolder_; }        // ends with "/"
  const std::string& CacheFolder() const { return cacheFolder_; }
  // Full path of the settings file in use.
  std::string SettingsFile() const { return settingsFolder_ + kZovSettingsFileName; }

  // --- Lists (fixed after Init) ---------------------------------------
  // Counts as read from the file; the vectors hold the entries actually
  // loaded (none when the count is outside 1..199).
  int LanguageCount() const { return languageCount_; }
  int UnitCount() const { return unitCount_; }
  int MapCount() const { return mapCount_; }
  int TrackConnectCount() const { return trackConnectCount_; }
  int PlayModeCount() const { return playModeCount_; }
  int DecodeModeCount() const { return decodeModeCount_; }
  const std::vector<ZovLanguageEntry>& Languages() const { return languages_; }
  const std::vector<ZovUnitEntry>& Units() const { return units_; }
  const std::vector<ZovMapEntry>& Maps() const { return maps_; }
  const std::vector<std::string>& TrackConnects() const { return trackConnects_; }
  const std::vector<std::string>& PlayModes() const { return playModes_; }
  const std::vector<std::string>& DecodeModes() const { return decodeModes_; }

  // --- Current choices ------------------------------------------------
  int LanguageIndex() const { return languageIndex_; }
  int UnitIndex() const { return unitIndex_; }
  int MapIndex() const { return mapIndex_; }
  int TrackConnectIndex() const { return trackConnectIndex_; }
  int PlayModeIndex() const { return playModeIndex_; }
  int DecodeModeIndex() const { return decodeModeIndex_; }
  int Volume() const { return volume_; }
  int FirstStart() const { return firstStart_; }
  int TrackFlag() const { return trackFlag_; }
  std::string UnitName() const;
  std::string ScreenshotFolder() const;
  // Page location of the current map; empty when that entry is missing.
  std::string CurrentMapLocation() const;
  // Name of the current map; empty when that entry is missing.
  std::string CurrentMapName() const;
  // Scale factor of the current unit; 1 when the unit list has no such entry.
  float UnitScale() const;

  // --- Setters: each writes its key in [setup] at once, then updates memory
  // (the index only when it names a loaded entry; write failures ignored).
  void SetLanguage(int index);
  void SetUnit(int index);
  void SetMap(int index);
  void SetTrackConnect(int index);
  void SetPlayMode(int index);
  void SetDecodeMode(int index);
  void SetVolume(int volume);
  // Writes key "track" only.
  void SetTrack(int value);
  void SetScreenshotFolder(const std::string& folder);
  // The folder the last export went to (key "exportfolder"); "" none yet.
  std::string ExportFolder() const;
  void SetExportFolder(const std::string& folder);
  // The channels the driver chose to see when a moment has more than the
  // panes show ("rear", "left" ...; key "channels", comma-separated), in
  // their order; empty: front, rear, interior.
  std::vector<std::string> PreferredChannels() const;
  void SetPreferredChannels(const std::vector<std::string>& keys);
  // In memory only: the setup dialog's start-up decode choice and its track
  // toggle (which then calls SetTrack).
  void OverrideDecodeMode(int index) { decodeModeIndex_ = index; }
  void SetTrackFlag(int value) { trackFlag_ = value; }

  // --- UI texts -------------------------------------------------------
  // Text of `key` in the current table; empty when absent.
  std::string GetText(std::string_view key) const { return texts_.GetText(key); }
  QString GetQText(std::string_view key) const { return QString::fromStdString(GetText(key)); }
  // Makes the table of `languageName` current; false (no change) when none matches.
  bool ChooseTextTable(std::string_view languageName) { return texts_.ChooseTable(languageName); }
  const CZovTextSelector& Texts() const { return texts_; }

  // --- Resource library -----------------------------------------------
  // Loads another resource library (a path or a bare name).
  bool LoadResourceLibrary(const std::string& path) { return resources_.Load(path); }
  const CZovResourceLibrary& Resources() const { return resources_; }
  int LoadNumber(int id) const { return resources_.LoadNumber(id); }
  ZovColorRef LoadColor(int id) const { return resources_.LoadColor(id); }
  QColor LoadQColor(int id) const { return resources_.LoadQColor(id); }
  ZovRect LoadRect(int id) const { return resources_.LoadRect(id); }
  QImage LoadPng(int id) const { return resources_.LoadPng(id); }
  QFont CreateBoldFont(int id) const { return resources_.CreateBoldFont(id, FontFace()); }
  QFont CreateNormalFont(int id) const { return resources_.CreateNormalFont(id, FontFace()); }
  QFont CreateFontOfHeight(int height) const {
    return CZovResourceLibrary::CreateFontOfHeight(height, FontFace());
  }
  // Face of every UI font.
  QString FontFace() const { return QString::fromStdString(fontFace_); }
  void SetFontFace(const std::string& face) { fontFace_ = face; }

 private:
  void ChooseSettingsFile();
  void Load(const std::string& file);
  // Writes one integer key of [setup] into the settings file.
  void WriteSetupInt(const char* key, int value) const;

  // Folders, fixed after Init.
  std::string baseFolder_;
  std::string resFolder_;
  std::string setupFolder_;
  std::string settingsFolder_;
  std::string cacheFolder_;
  std::string userFolder_;
  std::string fontFace_;
  std::vector<std::string> preferredChannels_;  // guarded by stringLock_
  std::string exportFolder_;                    // guarded by stringLock_

  // Lists, fixed after Init.
  int languageCount_ = 0, unitCount_ = 0, mapCount_ = 0;
  int trackConnectCount_ = 0, playModeCount_ = 0, decodeModeCount_ = 0;
  std::vector<ZovLanguageEntry> languages_;
  std::vector<ZovUnitEntry> units_;
  std::vector<ZovMapEntry> maps_;
  std::vector<std::string> trackConnects_, playModes_, decodeModes_;

  // Current choices: written on the user-interface thread, read anywhere.
  std::atomic<int> languageIndex_{0}, unitIndex_{0}, mapIndex_{0};
  std::atomic<int> trackConnectIndex_{0}, playModeIndex_{0}, decodeModeIndex_{0};
  std::atomic<int> volume_{10}, firstStart_{0}, trackFlag_{0};
  // Guarded by stringLock_.
  mutable std::mutex stringLock_;
  std::string unitName_;
  std::string screenshotFolder_;

  CZovTextSelector texts_;
  CZovResourceLibrary resources_;
};
