// tamarinsoft: the player. Recordings named on the command line are opened
// as if dropped on the main window; a folder (a card, its DCIM, a folder of
// cards) is read into the library, its drives and moments, as a dropped one.
#include <filesystem>
#include <string>
#include <vector>

#include "app/zov_play_app.h"
#include "app/zov_play_dialog_transport.h"
#include "library/zov_file_list_store.h"

int main(int argc, char** argv) {
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg, error)) {
      paths.push_back(std::filesystem::absolute(arg, error).lexically_normal().string());
    } else {
      const auto files = zov_play::ExpandCommandLine({argv[i]}, CZovFileListStore::IsMediaExtension);
      paths.insert(paths.end(), files.begin(), files.end());
    }
  }
  CZovPlayApp player(argc, argv);
  player.SetStartFiles(std::move(paths));
  return player.InitInstance();
}
