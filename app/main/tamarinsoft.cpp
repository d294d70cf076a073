// tamarinsoft: the player. Recordings named on the command line are opened
// as if dropped on the main window; a folder stands for its recordings.
#include <string>
#include <vector>

#include "app/zov_play_app.h"
#include "app/zov_play_dialog_transport.h"
#include "library/zov_file_list_store.h"

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);
  CZovPlayApp player(argc, argv);
  player.SetStartFiles(zov_play::ExpandCommandLine(files, CZovFileListStore::IsMediaExtension));
  return player.InitInstance();
}
