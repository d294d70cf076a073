// tamarinsoft: the player. Recordings named on the command line are opened
// as if dropped on the main window; a folder stands for its recordings.
// --help and --version answer without opening a window.
#include <cstdio>
#include <string>
#include <vector>

#include "app/zov_command_line.h"
#include "app/zov_play_app.h"
#include "app/zov_play_dialog_transport.h"
#include "shell/zov_version.h"
#include "ui/zov_file_list_store.h"

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
  // Qt sees only the program's name: the arguments are ours alone.
  int qtArgc = 1;
  CZovPlayApp player(qtArgc, argv);
  player.SetStartFiles(zov_play::ExpandCommandLine(line.paths, CZovFileListStore::IsMediaExtension));
  return player.InitInstance();
}
