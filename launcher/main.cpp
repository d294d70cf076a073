// tamarin: installs a pending update package, then starts the player.
// Its command line is ignored.
#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include "launcher/zov_launcher.h"

namespace {

bool HaveDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* w = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (w && *w);
}

// The player could not be found: say so in a message box when a display is
// there, and always on standard error, so that a run without a desktop ends
// at once instead of waiting for a click.
void ReportPlayerMissing(int argc, char** argv) {
  std::fprintf(stderr, "%s\n", kZovPlayerMissingText);
  if (!HaveDisplay()) return;
  QApplication app(argc, argv);
  QMessageBox::warning(nullptr, QString::fromUtf8(kZovNoCaptionTitle),
                       QString::fromUtf8(kZovPlayerMissingText), QMessageBox::Ok);
}

}  // namespace

int main(int argc, char** argv) {
  CZovLauncher launcher(CZovLauncher::OwnBase());
  ZovInstallPlan plan = launcher.Decide();
  if (plan.install) launcher.Install(plan);
  if (launcher.StartPlayer() > 0) return 0;
  ReportPlayerMissing(argc, argv);
  return 1;
}
