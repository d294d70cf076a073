// zovskin --sheet FILE.png [--library PATH]
// Writes one contact sheet of every PNG resource of the resource library,
// each drawn twice its size (large images once) on the panel colour, with
// its id, pixel size and frame count, so the whole skin can be judged at
// once. The library defaults to libzovQuelnaResource.so beside this program.
#include <dlfcn.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using FindFn = int (*)(const char*, int, const unsigned char**, unsigned int*);

// Every id the skin may use lies below this bound.
constexpr int kMaxResourceId = 65536;
constexpr int kSheetWidth = 1400;
constexpr int kMargin = 16;
constexpr int kLabelHeight = 34;

struct Entry {
  int id;
  QImage image;
};

int Usage() {
  std::fprintf(stderr, "usage: zovskin --sheet FILE.png [--library PATH]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sheet;
  std::string library;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc) sheet = argv[++i];
    else if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc) library = argv[++i];
    else return Usage();
  }
  if (sheet.empty()) return Usage();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (library.empty()) {
    library = (QCoreApplication::applicationDirPath() + "/libzovQuelnaResource.so").toStdString();
  }

  void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "zovskin: cannot load %s: %s\n", library.c_str(), dlerror());
    return 1;
  }
  auto find = reinterpret_cast<FindFn>(dlsym(module, "zov_find_resource"));
  if (find == nullptr) {
    std::fprintf(stderr, "zovskin: %s has no zov_find_resource\n", library.c_str());
    return 1;
  }

  std::vector<Entry> entries;
  for (int id = 0; id < kMaxResourceId; ++id) {
    const unsigned char* data = nullptr;
    unsigned int size = 0;
    if (find("PNG", id, &data, &size) != 1) continue;
    QImage image;
    if (!image.loadFromData(data, int(size), "PNG")) {
      std::fprintf(stderr, "zovskin: PNG %d does not decode\n", id);
      image = QImage(32, 32, QImage::Format_ARGB32);
      image.fill(Qt::magenta);
    }
    entries.push_back({id, image});
  }
  if (entries.empty()) {
    std::fprintf(stderr, "zovskin: the library holds no PNG\n");
    return 1;
  }

  // Flow layout: cells left to right, wrapping at the sheet width.
  struct Cell { QRect rect; int scale; };
  std::vector<Cell> cells;
  int x = kMargin, y = kMargin + 30, rowHeight = 0;
  for (const Entry& e : entries) {
    const int scale = e.image.width() * 2 > 500 || e.image.height() > 80 ? 1 : 2;
    const int w = std::max(e.image.width() * scale, 120);
    const int h = e.image.height() * scale + kLabelHeight;
    if (x + w > kSheetWidth - kMargin && x > kMargin) {
      x = kMargin;
      y += rowHeight + kMargin;
      rowHeight = 0;
    }
    cells.push_back({QRect(x, y, w, h), scale});
    x += w + kMargin;
    rowHeight = std::max(rowHeight, h);
  }
  const int height = y + rowHeight + kMargin;

  QImage out(kSheetWidth, height, QImage::Format_ARGB32_Premultiplied);
  out.fill(QColor(32, 34, 40));
  QPainter p(&out);
  p.setRenderHint(QPainter::TextAntialiasing);
  QFont font("Noto Sans CJK SC");
  font.setPixelSize(13);
  p.setFont(font);
  p.setPen(QColor(214, 219, 227));
  p.drawText(kMargin, kMargin + 14,
             QString("%1: %2 images").arg(QFileInfo(QString::fromStdString(library)).fileName()).arg(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const Cell& c = cells[i];
    const QRect imageRect(c.rect.left(), c.rect.top(), e.image.width() * c.scale, e.image.height() * c.scale);
    p.fillRect(imageRect, QColor(40, 43, 50));
    p.drawImage(imageRect, e.image);
    p.setPen(QColor(214, 219, 227));
    p.drawText(QRect(c.rect.left(), imageRect.bottom() + 2, c.rect.width(), kLabelHeight),
               Qt::AlignLeft | Qt::AlignTop,
               QString("%1\n%2x%3").arg(e.id).arg(e.image.width()).arg(e.image.height()));
  }
  p.end();
  if (!out.save(QString::fromStdString(sheet), "PNG")) {
    std::fprintf(stderr, "zovskin: cannot write %s\n", sheet.c_str());
    return 1;
  }
  std::printf("%zu images -> %s\n", entries.size(), sheet.c_str());
  return 0;
}
