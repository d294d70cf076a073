#pragma once
// The player's command line: -h/--help and --version answer and end, an
// unknown option is refused with the usage (exit 2), and every other
// argument names a recording or a folder that joins the play list.
// "--" ends the options, so a file whose name begins with "-" can be named.
#include <string>
#include <vector>

namespace zov_play {

enum class CommandAction { kRun, kHelp, kVersion, kUsageError };

struct CommandLine {
  CommandAction action = CommandAction::kRun;
  std::vector<std::string> paths;  // files and folders, in the order given
  std::string error;               // the refused option, for kUsageError
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The usage line and the help text printed by --help.
std::string PlayerUsage();
std::string PlayerHelp();

// Exit status of a refused command line.
inline constexpr int kExitBadUsage = 2;

}  // namespace zov_play
