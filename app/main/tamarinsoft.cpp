// tamarinsoft: the player. Wires the application object to a QApplication;
// recordings named on the command line are opened as if dropped.
#include <QApplication>

#include <string>
#include <vector>

#include "app/zov_play_app.h"
#include "app/zov_program_icon.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("tamarinsoft"));
  QApplication::setDesktopFileName(QString::fromLatin1(kZovIconName));
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) files.emplace_back(argv[i]);

  CZovPlayApp player;
  player.SetStartFiles(std::move(files));
  return player.InitInstance();
}
