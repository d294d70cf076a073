// zovskin --sheet FILE.png [--library PATH]
// zovskin --controls FILE.png [--library PATH]
// --sheet writes one contact sheet of every PNG resource of the resource library,
// each drawn twice its size (large images once) on the panel colour, with
// its id, pixel size and frame count, so the whole skin can be judged at
// once. --controls writes the sheet of every owner-drawn control in each of
// its states (tools/zovskin/controls_sheet.cpp). The library defaults to
// libzovQuelnaResource.so beside this program.
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

#ifdef ZOV_SKIN_CONTROLS
#include "tools/zovskin/controls_sheet.h"
#endif

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
  std::fprintf(stderr, "usage: zovskin --sheet FILE.png | --controls FILE.png [--library PATH]\n");
  return 2;
}

// Reads a string resource as "a,b,c,d" numbers (blanks skipped).
std::vector<int> Numbers(FindFn find, int id) {
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  std::vector<int> out;
  if (find("STRING", id, &data, &size) != 1) return out;
  int value = 0;
  bool any = false;
  for (unsigned int i = 0; i < size && data[i]; ++i) {
    if (data[i] == ',') { out.push_back(value); value = 0; any = false; }
    else if (data[i] >= '0' && data[i] <= '9') { value = value * 10 + (data[i] - '0'); any = true; }
  }
  if (any || !out.empty()) out.push_back(value);
  return out;
}

QRect RectOf(FindFn find, int id) {
  const std::vector<int> v = Numbers(find, id);
  if (v.size() != 4) return QRect();
  return QRect(QPoint(v[0], v[1]), QPoint(v[2] - 1, v[3] - 1));
}

QColor ColorOf(FindFn find, int id) {
  const std::vector<int> v = Numbers(find, id);
  if (v.size() != 3) return QColor(Qt::magenta);
  return QColor(v[0] & 0xFF, v[1] & 0xFF, v[2] & 0xFF);
}

QImage PngOf(FindFn find, int id) {
  const unsigned char* data = nullptr;
  unsigned int size = 0;
  QImage image;
  if (find("PNG", id, &data, &size) == 1) image.loadFromData(data, int(size), "PNG");
  return image;
}

// The dials as the map panel draws them: face, then the needle turned by
// `angle` degrees about the dial's centre, then the caption.
QImage DialPreview(FindFn find, int face, int needle, int needleRect, double angle, const QString& caption,
                   int captionRect, int captionColour) {
  const QImage faceImage = PngOf(find, face);
  QImage out(faceImage.size().isEmpty() ? QSize(110, 110) : faceImage.size(), QImage::Format_ARGB32_Premultiplied);
  out.fill(QColor(0x32, 0x32, 0x32));
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(0, 0, faceImage);
  const QPointF c(out.width() / 2.0, out.height() / 2.0);
  p.translate(c);
  p.rotate(angle);
  p.translate(-c);
  p.drawImage(RectOf(find, needleRect).topLeft(), PngOf(find, needle));
  p.resetTransform();
  if (!caption.isEmpty()) {
    QFont font("Noto Sans CJK SC");
    font.setPixelSize(std::max(8, Numbers(find, 10228).empty() ? 12 : Numbers(find, 10228)[0]));
    p.setFont(font);
    p.setPen(ColorOf(find, captionColour));
    p.drawText(RectOf(find, captionRect), Qt::AlignCenter, caption);
  }
  return out;
}

// The play window at its designed layout: background, frame 0 of every
// button, the two sliders with their bands and thumbs, and sample texts.
QImage PlayWindowPreview(FindFn find) {
  QImage out(935, 74, QImage::Format_ARGB32_Premultiplied);
  out.fill(ColorOf(find, 10180));
  QPainter p(&out);
  p.setRenderHint(QPainter::Antialiasing);
  const int buttons[][3] = {{10164, 10151, 1}, {10166, 10153, 2}, {10165, 10152, 1}, {10167, 10154, 1},
                            {10168, 10155, 1}, {10169, 10156, 2}, {10170, 10157, 2}};
  for (const auto& b : buttons) {
    const QImage strip = PngOf(find, b[1]);
    const int w = strip.width() / (2 * b[2]);
    p.drawImage(RectOf(find, b[0]), strip, QRect(0, 0, w, strip.height()));
  }
  const int sliders[][5] = {{10176, 10174, 10185, 10184, 10162}, {10173, 10172, 10187, 10186, 10158}};
  for (const auto& s : sliders) {
    const QRect r = RectOf(find, s[0]);
    const QRect band = RectOf(find, s[1]).translated(r.topLeft());
    const QImage thumb = PngOf(find, s[4]);
    const int played = band.left() + band.width() * 2 / 5;
    p.fillRect(QRect(band.left(), band.top(), band.width(), band.height()), ColorOf(find, s[2]));
    p.fillRect(QRect(band.left(), band.top(), played - band.left(), band.height()), ColorOf(find, s[3]));
    p.drawImage(played - thumb.width() / 2, r.top(), thumb);
  }
  QFont font("Noto Sans CJK SC");
  font.setPixelSize(Numbers(find, 10188).empty() ? 16 : Numbers(find, 10188)[0]);
  p.setFont(font);
  p.setPen(QColor(250, 250, 250));
  p.drawText(RectOf(find, 10179), Qt::AlignVCenter | Qt::AlignLeft, "00:01:23/00:03:00");
  font.setPixelSize(Numbers(find, 10189).empty() ? 12 : Numbers(find, 10189)[0]);
  p.setFont(font);
  p.setPen(ColorOf(find, 10182));
  p.drawText(RectOf(find, 10177), Qt::AlignVCenter | Qt::AlignLeft, "N:22.543210");
  p.drawText(RectOf(find, 10178), Qt::AlignVCenter | Qt::AlignLeft, "E:114.057865");
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::string sheet;
  std::string controls;
  std::string library;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sheet") == 0 && i + 1 < argc) sheet = argv[++i];
    else if (std::strcmp(argv[i], "--controls") == 0 && i + 1 < argc) controls = argv[++i];
    else if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc) library = argv[++i];
    else return Usage();
  }
  if (!controls.empty()) {
#ifdef ZOV_SKIN_CONTROLS
    return RenderControlsSheet(controls, library);
#else
    std::fprintf(stderr, "zovskin: built without the controls (ui/)\n");
    return 1;
#endif
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
  // Previews, labelled with negative numbers: the dials at sample values and
  // the play window at its designed layout.
  const size_t imageCount = entries.size();
  entries.push_back({-1, DialPreview(find, 10201, 10202, 10210, 88 * 1.1818181, "88.0 KMH", 10227, 10229)});
  entries.push_back({-2, DialPreview(find, 10201, 10202, 10210, 220 * 1.1818181, "220.0 KMH", 10227, 10229)});
  entries.push_back({-3, DialPreview(find, 10203, 10204, 10209, 45, QString(), 0, 0)});
  entries.push_back({-4, PlayWindowPreview(find)});

  // Flow layout: cells left to right, wrapping at the sheet width.
  struct Cell { QRect rect; int scale; };
  std::vector<Cell> cells;
  int x = kMargin, y = kMargin + 30, rowHeight = 0;
  for (const Entry& e : entries) {
    const int scale = e.id < 0 || e.image.width() * 2 > 500 || e.image.height() > 80 ? 1 : 2;
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
             QString("%1: %2 images, then previews").arg(QFileInfo(QString::fromStdString(library)).fileName()).arg(imageCount));
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const Cell& c = cells[i];
    const QRect imageRect(c.rect.left(), c.rect.top(), e.image.width() * c.scale, e.image.height() * c.scale);
    p.fillRect(imageRect, QColor(40, 43, 50));
    p.drawImage(imageRect, e.image);
    p.setPen(QColor(214, 219, 227));
    const QString label = e.id >= 0 ? QString::number(e.id)
                                    : QString(e.id == -4 ? "play window" : e.id == -3 ? "compass at 45" : "speed dial");
    p.drawText(QRect(c.rect.left(), imageRect.bottom() + 2, c.rect.width(), kLabelHeight),
               Qt::AlignLeft | Qt::AlignTop,
               QString("%1\n%2x%3").arg(label).arg(e.image.width()).arg(e.image.height()));
  }
  p.end();
  if (!out.save(QString::fromStdString(sheet), "PNG")) {
    std::fprintf(stderr, "zovskin: cannot write %s\n", sheet.c_str());
    return 1;
  }
  std::printf("%zu images -> %s\n", imageCount, sheet.c_str());
  return 0;
}
