#include "shell/zov_settings.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/zov_paths.h"
#include "shell/zov_ini_file.h"

namespace {

// "rear,left" -> {"rear", "left"}; empty pieces are left out.
std::vector<std::string> SplitChannelKeys(const std::string& line) {
  std::vector<std::string> keys;
  size_t from = 0;
  while (from <= line.size()) {
    const size_t comma = std::min(line.find(',', from), line.size());
    if (comma > from) keys.push_back(line.substr(from, comma - from));
    from = comma + 1;
  }
  return keys;
}

CZovSettings* g_settings = nullptr;

std::string Key(const char* format, int i) {
  char buf[48];
  std::snprintf(buf, sizeof buf, format, i);
  return buf;
}

// The folder that holds `path`'s last component, without a trailing "/".
std::string ParentOf(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  size_t slash = p.rfind('/');
  if (slash == std::string::npos) return {};
  return p.substr(0, slash);
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// Reads "<prefix>count" style list counts: the entries load only for 1..199.
bool CountLoads(int count) { return count >= 1 && count <= kZovMaxListEntries; }

template <typename List>
bool Names(const List& list, int index) {
  return index >= 0 && static_cast<size_t>(index) < list.size();
}

}  // namespace

CZovSettings* CZovSettings::GetInstance() {
  if (!g_settings) g_settings = new CZovSettings();
  return g_settings;
}

CZovSettings* CZovSettings::Peek() { return g_settings; }

void CZovSettings::DeleteInstance() {
  delete g_settings;
  g_settings = nullptr;
}

CZovSettings::CZovSettings() : fontFace_(kZovDefaultFontFace), unitName_("KMH") {
  // A missing library is no error: every resource look-up then finds nothing.
  resources_.LoadBesideExecutable();
  userFolder_ = ZovUserFolder();
  cacheFolder_ = ZovCacheHome() + "/ZovGpsPlay/Cache";
}

CZovSettings::~CZovSettings() { resources_.Unload(); }

void CZovSettings::Init() { Init(ZovExecutablePath()); }

void CZovSettings::Init(const std::string& executablePath) {
  // Cut the file name, then the folder that holds the executable.
  baseFolder_ = ParentOf(ParentOf(executablePath));
  setupFolder_ = baseFolder_ + "/setup/";
  resFolder_ = baseFolder_ + "/res/";
  ChooseSettingsFile();
  Load(SettingsFile());
}

void CZovSettings::ChooseSettingsFile() {
  const std::string shipped = setupFolder_ + kZovSettingsFileName;
  CZovIniFile probe;
  if (probe.SetFile(shipped) && probe.WriteInt("setup", "setuptest", 1)) {
    settingsFolder_ = setupFolder_;
    return;
  }
  // The installation cannot be written: use the per-user copy.
  settingsFolder_ = userFolder_;
  std::error_code ec;
  std::filesystem::create_directories(userFolder_, ec);
  if (!std::filesystem::is_directory(userFolder_, ec)) {
    settingsFolder_ = setupFolder_;
    return;
  }
  const std::string copy = userFolder_ + kZovSettingsFileName;
  if (IsFile(copy)) return;  // made by an earlier start; never refreshed
  if (!std::filesystem::copy_file(shipped, copy, std::filesystem::copy_options::none, ec) || ec) {
    settingsFolder_ = setupFolder_;
    return;
  }
  // The copy takes the shipped file's mode, often read-only; the user's own
  // copy must take the user's choices.
  std::filesystem::permissions(copy, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, ec);
}

void CZovSettings::Load(const std::string& file) {
  CZovIniFile ini;
  ini.SetFile(file);

  languageCount_ = ini.ReadInt("language", "count", 0);
  languages_.clear();
  if (CountLoads(languageCount_)) {
    for (int i = 0; i < languageCount_; ++i) {
      ZovLanguageEntry e;
      e.name = ZovCutUtf16(ini.ReadString("language", Key("language%d", i), ""), kZovNameChars);
      e.file = ZovCutUtf16(ini.ReadString("language", Key("language%d_file", i), ""), kZovLocationChars);
      languages_.push_back(std::move(e));
    }
  }

  unitCount_ = ini.ReadInt("unit", "count", 0);
  units_.clear();
  if (CountLoads(unitCount_)) {
    for (int i = 0; i < unitCount_; ++i) {
      ZovUnitEntry e;
      e.name = ZovCutUtf16(ini.ReadString("unit", Key("unit%d", i), ""), kZovNameChars);
      e.scale = ini.ReadFloat("unit", Key("unit%d_scale", i), 0.0f);
      units_.push_back(std::move(e));
    }
  }

  mapCount_ = ini.ReadInt("map", "count", 0);
  maps_.clear();
  if (CountLoads(mapCount_)) {
    for (int i = 0; i < mapCount_; ++i) {
      ZovMapEntry e;
      e.name = ZovCutUtf16(ini.ReadString("map", Key("map%d", i), ""), kZovNameChars);
      std::string value = ini.ReadString("map", Key("map%d_file", i), "");
      bool cut = ini.LastReadWasCut();
      if (value.find("google") != std::string::npos) {
        e.location = kZovGoogleMapPage;
      } else if (!cut) {
        for (char& c : value) {
          if (c == '\\') c = '/';
        }
        std::string location = setupFolder_ + value;
        // A location that does not fit is refused rather than cut into
        // another path.
        if (ZovUtf16Length(location) <= kZovLocationChars) e.location = location;
      }
      maps_.push_back(std::move(e));
    }
  }

  auto loadNames = [&ini](const char* section, int* count, std::vector<std::string>* list) {
    *count = ini.ReadInt(section, "count", 0);
    list->clear();
    if (!CountLoads(*count)) return;
    for (int i = 0; i < *count; ++i) {
      list->push_back(ZovCutUtf16(ini.ReadString(section, std::string(section) + std::to_string(i), ""),
                                  kZovNameChars));
    }
  };
  loadNames("trackconnect", &trackConnectCount_, &trackConnects_);
  loadNames("playmode", &playModeCount_, &playModes_);
  loadNames("decodemode", &decodeModeCount_, &decodeModes_);

  int language = ini.ReadInt("setup", "language", 0);
  int map = ini.ReadInt("setup", "map", 0);
  int unit = ini.ReadInt("setup", "unit", 0);
  int trackConnect = ini.ReadInt("setup", "trackconnect", 0);
  int playMode = ini.ReadInt("setup", "playmode", 0);
  decodeModeIndex_ = ini.ReadInt("setup", "decodemode", 0);  // kept as read, also outside its list
  volume_ = ini.ReadInt("setup", "volume", 0);
  firstStart_ = ini.ReadInt("setup", "firststart", 0);
  std::string dirpath = ini.ReadString("setup", "dirpath", "");
  {
    std::lock_guard<std::mutex> g(stringLock_);
    // A folder longer than the read buffer would be cut into another path.
    screenshotFolder_ = ini.LastReadWasCut() ? std::string() : dirpath;
    preferredChannels_ = SplitChannelKeys(ini.ReadString("setup", "channels", ""));
    const std::string exportFolder = ini.ReadString("setup", "exportfolder", "");
    exportFolder_ = ini.LastReadWasCut() ? std::string() : exportFolder;
  }

  // Repair: an index that names no loaded entry becomes 0.
  languageIndex_ = Names(languages_, language) ? language : 0;
  unitIndex_ = Names(units_, unit) ? unit : 0;
  mapIndex_ = Names(maps_, map) ? map : 0;
  trackConnectIndex_ = Names(trackConnects_, trackConnect) ? trackConnect : 0;
  playModeIndex_ = Names(playModes_, playMode) ? playMode : 0;

  if (Names(units_, unitIndex_.load())) {
    std::lock_guard<std::mutex> g(stringLock_);
    unitName_ = units_[static_cast<size_t>(unitIndex_.load())].name;
  }
  if (Names(languages_, languageIndex_.load())) {
    texts_.ChooseTable(languages_[static_cast<size_t>(languageIndex_.load())].name);
  }
}

std::string CZovSettings::UnitName() const {
  std::lock_guard<std::mutex> g(stringLock_);
  return unitName_;
}

std::vector<std::string> CZovSettings::PreferredChannels() const {
  std::lock_guard<std::mutex> g(stringLock_);
  return preferredChannels_;
}

void CZovSettings::SetPreferredChannels(const std::vector<std::string>& keys) {
  std::string line;
  for (const std::string& key : keys) line += (line.empty() ? "" : ",") + key;
  CZovIniFile ini;
  if (ini.SetFile(SettingsFile())) ini.WriteString("setup", "channels", line);
  std::lock_guard<std::mutex> g(stringLock_);
  preferredChannels_ = SplitChannelKeys(line);
}

std::string CZovSettings::ScreenshotFolder() const {
  std::lock_guard<std::mutex> g(stringLock_);
  return screenshotFolder_;
}

std::string CZovSettings::CurrentMapLocation() const {
  int i = mapIndex_;
  return Names(maps_, i) ? maps_[static_cast<size_t>(i)].location : std::string();
}

std::string CZovSettings::CurrentMapName() const {
  int i = mapIndex_;
  return Names(maps_, i) ? maps_[static_cast<size_t>(i)].name : std::string();
}

float CZovSettings::UnitScale() const {
  int i = unitIndex_;
  return Names(units_, i) ? units_[static_cast<size_t>(i)].scale : 1.0f;
}

void CZovSettings::WriteSetupInt(const char* key, int value) const {
  CZovIniFile ini;
  if (ini.SetFile(SettingsFile())) ini.WriteInt("setup", key, value);
}

void CZovSettings::SetLanguage(int index) {
  WriteSetupInt("language", index);
  if (!Names(languages_, index)) return;
  languageIndex_ = index;
  texts_.ChooseTable(languages_[static_cast<size_t>(index)].name);
}

void CZovSettings::SetUnit(int index) {
  WriteSetupInt("unit", index);
  if (!Names(units_, index)) return;
  unitIndex_ = index;
  std::lock_guard<std::mutex> g(stringLock_);
  unitName_ = units_[static_cast<size_t>(index)].name;
}

void CZovSettings::SetMap(int index) {
  WriteSetupInt("map", index);
  if (Names(maps_, index)) mapIndex_ = index;
}

void CZovSettings::SetTrackConnect(int index) {
  WriteSetupInt("trackconnect", index);
  if (Names(trackConnects_, index)) trackConnectIndex_ = index;
}

void CZovSettings::SetPlayMode(int index) {
  WriteSetupInt("playmode", index);
  if (Names(playModes_, index)) playModeIndex_ = index;
}

void CZovSettings::SetDecodeMode(int index) {
  WriteSetupInt("decodemode", index);
  if (Names(decodeModes_, index)) decodeModeIndex_ = index;
}

void CZovSettings::SetVolume(int volume) {
  WriteSetupInt("volume", volume);
  volume_ = volume;
}

void CZovSettings::SetTrack(int value) { WriteSetupInt("track", value); }

std::string CZovSettings::ExportFolder() const {
  std::lock_guard<std::mutex> g(stringLock_);
  return exportFolder_;
}

void CZovSettings::SetExportFolder(const std::string& folder) {
  CZovIniFile ini;
  if (ini.SetFile(SettingsFile())) ini.WriteString("setup", "exportfolder", folder);
  std::lock_guard<std::mutex> g(stringLock_);
  exportFolder_ = folder;
}

void CZovSettings::SetScreenshotFolder(const std::string& folder) {
  CZovIniFile ini;
  if (ini.SetFile(SettingsFile())) ini.WriteString("setup", "dirpath", folder);
  std::lock_guard<std::mutex> g(stringLock_);
  screenshotFolder_ = folder;
}
