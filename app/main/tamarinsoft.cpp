// tamarinsoft: the player. Recordings named on the command line are opened
// as if dropped on the main window; a folder (a card, its DCIM, a folder of
// cards) is read into the library, its drives and moments, as a dropped one.
// --help and --version answer without opening a window.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/zov_command_line.h"
#include "app/zov_play_app.h"
#include "app/zov_play_dialog_transport.h"
#include "library/zov_file_list_store.h"
#include "shell/zov_version.h"

int main(int argc, char** argv) {
  const zov_play::CommandLine line = zov_play::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  switch (line.action) {
    case zov_play::CommandAction::kHelp:
      std::fputs(zov_play::PlayerHelp().c_str(), stdout);
      return 0;
    case zov_play::CommandAction::kVersion: {
      const CZovVersion version;
      std::printf("tamarinsoft %s (built %s)\n", version.version.c_str(), version.buildDate.c_str());
      return 0;
    }
    case zov_play::CommandAction::kUsageError:
      std::fprintf(stderr, "tamarinsoft: unknown option %s\n%s", line.error.c_str(), zov_play::PlayerUsage().c_str());
      return zov_play::kExitBadUsage;
    case zov_play::CommandAction::kRun:
      break;
  }
  std::vector<std::string> paths;
  for (const std::string& arg : line.paths) {
    std::error_code error;
    const std::filesystem::path path(arg);
    if (std::filesystem::is_directory(path, error)) {
      paths.push_back(std::filesystem::absolute(path, error).lexically_normal().string());
    } else {
      const auto files = zov_play::ExpandCommandLine({arg}, CZovFileListStore::IsMediaExtension);
      paths.insert(paths.end(), files.begin(), files.end());
    }
  }
  // Qt sees only the program's name: the arguments are ours alone.
  int qtArgc = 1;
  CZovPlayApp player(qtArgc, argv);
  player.SetStartFiles(std::move(paths));
  return player.InitInstance();
}
