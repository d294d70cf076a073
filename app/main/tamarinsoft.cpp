// tamarinsoft: the player. Recordings named on the command line are opened
// as if dropped on the main window.
#include <string>
#include <vector>

#include "app/zov_play_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);
  CZovPlayApp player(argc, argv);
  player.SetStartFiles(std::move(files));
  return player.InitInstance();
}
