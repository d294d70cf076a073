#include "app/zov_command_line.h"

namespace zov_play {

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "-h" || arg == "--help")) {
      return {CommandAction::kHelp, {}, {}};
    } else if (options && arg == "--version") {
      return {CommandAction::kVersion, {}, {}};
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      return {CommandAction::kUsageError, {}, arg};
    } else {
      // A lone "-" is a file of that name, as for other programs.
      line.paths.push_back(arg);
    }
  }
  return line;
}

std::string PlayerUsage() { return "usage: tamarinsoft [--] [FILE|FOLDER]...\n"; }

std::string PlayerHelp() {
  return PlayerUsage() +
         "\n"
         "Plays dash-camera recordings with their GPS track on a map.\n"
         "The recordings named are added to the play list as if dropped on the\n"
         "window, and the first one plays; a folder adds the recordings in it.\n"
         "\n"
         "  -h, --help   this text\n"
         "  --version    the version\n"
         "  --           the arguments after it are files, also when they begin with -\n"
         "\n"
         "Environment: ZOV_AUDIO_DEVICE names the ALSA device (default \"default\"),\n"
         "ZOV_ONLINE=0 or 1 overrides the network check, ZOV_TRACE=1 prints trace\n"
         "messages on standard error.\n";
}

}  // namespace zov_play
