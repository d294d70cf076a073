// Writes the program icon for the desktop theme:
//   <out>/scalable/apps/tamarinsoft.svg and <out>/<N>x<N>/apps/tamarinsoft.png
// Run at build time: zov_icon_gen <out folder>.
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstdio>

#include "app/zov_program_icon.h"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zov_icon_gen OUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString name = QString::fromLatin1(kZovIconName);
  for (int size : kZovIconSizes) {
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(out).arg(size);
    if (!QDir().mkpath(dir) || !ZovDrawProgramIcon(size).save(dir + "/" + name + ".png")) {
      std::fprintf(stderr, "zov_icon_gen: cannot write %s\n", qPrintable(dir));
      return 1;
    }
  }
  const QString dir = out + QStringLiteral("/scalable/apps");
  QFile svg(dir + "/" + name + ".svg");
  if (!QDir().mkpath(dir) || !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
      svg.write(ZovProgramIconSvg().toUtf8()) < 0) {
    std::fprintf(stderr, "zov_icon_gen: cannot write %s\n", qPrintable(svg.fileName()));
    return 1;
  }
  return 0;
}
