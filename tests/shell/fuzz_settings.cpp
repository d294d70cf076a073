// Fuzz target of the settings load: any settings file must load without
// faults, and what is loaded must keep the store's limits.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "shell/zov_ini_file.h"
#include "shell/zov_settings.h"

namespace {

// Kept for the whole process (never destroyed), so the exit handler that
// removes the folder can still read it.
const std::string& Root() {
  static const std::string& root = *new std::string([] {
    char tmpl[] = "/tmp/zovfuzz-settings-XXXXXX";
    std::string r = mkdtemp(tmpl) ? tmpl : "/tmp";
    std::filesystem::create_directories(r + "/base/bin");
    std::filesystem::create_directories(r + "/base/setup");
    setenv("XDG_CONFIG_HOME", (r + "/config").c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(Root(), ec);
    });
    return r;
  }());
  return root;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "settings invariant broken: %s\n", what);
    std::abort();
  }
}

template <typename List>
void CheckIndex(int index, const List& list, const char* what) {
  Check(index == 0 || (index > 0 && static_cast<size_t>(index) < list.size()), what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& root = Root();
  FILE* f = std::fopen((root + "/base/setup/quelnasetup.ini").c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  CZovSettings s;
  s.Init(root + "/base/bin/tamarinsoft");
  Check(s.Languages().size() <= static_cast<size_t>(kZovMaxListEntries), "language list size");
  Check(s.Maps().size() <= static_cast<size_t>(kZovMaxListEntries), "map list size");
  CheckIndex(s.LanguageIndex(), s.Languages(), "language index");
  CheckIndex(s.UnitIndex(), s.Units(), "unit index");
  CheckIndex(s.MapIndex(), s.Maps(), "map index");
  CheckIndex(s.TrackConnectIndex(), s.TrackConnects(), "track connection index");
  CheckIndex(s.PlayModeIndex(), s.PlayModes(), "play mode index");
  for (const auto& l : s.Languages()) Check(ZovUtf16Length(l.name) <= kZovNameChars, "language name length");
  for (const auto& m : s.Maps()) {
    Check(ZovUtf16Length(m.name) <= kZovNameChars, "map name length");
    Check(ZovUtf16Length(m.location) <= kZovLocationChars, "map location length");
  }
  Check(ZovUtf16Length(s.UnitName()) <= kZovNameChars, "unit name length");
  s.GetText("play_tip");
  s.CurrentMapLocation();
  s.UnitScale();
  return 0;
}
