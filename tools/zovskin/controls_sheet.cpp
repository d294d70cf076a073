// zovskin --controls: every owner-drawn control made with the skin of the
// resource library, put into each of its states and grabbed onto one sheet,
// so a person judges the whole set at once.
#include "tools/zovskin/controls_sheet.h"

#include <QApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "shell/zov_settings.h"
#include "ui/zov_button.h"
#include "ui/zov_combo_box.h"
#include "ui/zov_mfc_button.h"
#include "ui/zov_player_view.h"
#include "ui/zov_process.h"
#include "ui/zov_screenshot_view.h"
#include "ui/zov_text.h"
#include "ui/zov_vprocess.h"
#include "ui/zov_warning.h"

namespace {

constexpr int kSheetWidth = 1400;
constexpr int kMargin = 16;
constexpr int kLabelHeight = 36;  // two lines of the 12-pixel label font
const QColor kSheetColour(32, 34, 40);
const QColor kLabelColour(214, 219, 227);

struct Cell {
  QString label;
  QImage image;
  int scale = 1;
};

// A parent window of the program's kind for the controls of the sheet.
class Host : public CZovWnd {
 public:
  Host() { resize(1000, 700); }
};

void Press(QWidget* w, const QPoint& pt) {
  QMouseEvent e(QEvent::MouseButtonPress, QPointF(pt), QPointF(w->mapToGlobal(pt)), Qt::LeftButton, Qt::LeftButton,
                Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

QImage Grab(QWidget* w) { return w->grab().toImage(); }

// A recognisable video still: colour bars with a gradient and a frame.
std::vector<uint8_t> StillPicture(int w, int h) {
  std::vector<uint8_t> bgr(size_t(w) * 3 * h);
  static const QRgb bars[7] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      QRgb c = y < h * 2 / 3 ? bars[x * 7 / w] : qRgb(x * 255 / w, x * 255 / w, x * 255 / w);
      if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2) c = 0xFFFFFF;
      uint8_t* p = &bgr[(size_t(y) * w + x) * 3];
      p[0] = qBlue(c);
      p[1] = qGreen(c);
      p[2] = qRed(c);
    }
  }
  return bgr;
}

void AddButtons(Host& host, std::vector<Cell>& cells) {
  CZovSettings* s = CZovSettings::GetInstance();
  struct Strip {
    int png, states, size;
    const char* name;
  };
  const Strip strips[] = {{10153, 2, 40, "play/pause"}, {10151, 1, 36, "previous"}, {10156, 2, 36, "screenshot"},
                          {10157, 2, 36, "sound"},      {10101, 1, 28, "close"},    {10102, 2, 28, "panel switch"}};
  for (const Strip& st : strips) {
    for (int state = 0; state < st.states; ++state) {
      for (int pressed = 0; pressed < 2; ++pressed) {
        CZovButton b;
        b.LoadImage(st.png);
        b.backgroundColor = s->LoadColor(10180);
        b.CreateEx(&host, {0, 0, st.size, st.size}, "", st.png, st.states);
        b.stateIndex = state;
        if (pressed) Press(&b, {st.size / 2, st.size / 2});
        cells.push_back({QString("%1 s%2 %3").arg(st.name).arg(state).arg(pressed ? "pressed" : "normal"), Grab(&b), 2});
      }
    }
  }
  // A text button without an image, normal and pressed.
  for (int pressed = 0; pressed < 2; ++pressed) {
    CZovButton b;
    b.backgroundColor = s->LoadColor(10297);
    b.textColor = s->LoadColor(10299);
    b.altTextColor = ZovRgb(0, 150, 255);
    b.fontHeight = s->LoadNumber(10300);
    b.text = "Add";
    b.CreateEx(&host, {0, 0, 80, 26}, "", 1);
    if (pressed) Press(&b, {10, 10});
    cells.push_back({pressed ? "text button pressed" : "text button", Grab(&b), 2});
  }
}

void AddTextControls(Host& host, std::vector<Cell>& cells) {
  CZovSettings* s = CZovSettings::GetInstance();
  CZovText label;
  label.backgroundColor = s->LoadColor(10180);
  label.textColor = ZovRgb(250, 250, 250);
  label.font = s->CreateNormalFont(10188);
  label.text = "00:01:23/00:03:00";
  label.CreateEx(&host, {0, 0, 170, 28}, "", 1);
  cells.push_back({"label", Grab(&label), 1});

  struct Look {
    const char* name;
    bool pressed, enabled, bitmap;
  };
  for (const Look& look : {Look{"mfc button", false, true, false}, Look{"mfc pressed", true, true, false},
                           Look{"mfc disabled", false, false, false}, Look{"mfc bitmap", false, true, true},
                           Look{"mfc bitmap pressed", true, true, true}}) {
    CZovMfcButton m(&host);
    m.setText("Check update");
    m.setGeometry(0, 0, 140, 30);
    m.setEnabled(look.enabled);
    if (look.bitmap) m.SetBitmap(s->LoadPng(10275).copy(0, 0, 25, 25).scaled(140, 30));
    if (look.pressed) Press(&m, {20, 10});
    cells.push_back({look.name, Grab(&m), 1});
  }
  CZovComboBox combo(&host);
  combo.addItems({"English", "Deutsch"});
  combo.setGeometry(0, 0, 160, 26);
  cells.push_back({"combo box", Grab(&combo), 1});
}

void AddSliders(Host& host, std::vector<Cell>& cells) {
  CZovSettings* s = CZovSettings::GetInstance();
  struct Pos {
    const char* name;
    int value;
    bool enabled;
  };
  for (const Pos& p : {Pos{"seek 0%", 0, true}, Pos{"seek 40%", 120, true}, Pos{"seek 100%", 300, true},
                       Pos{"seek disabled", 120, false}}) {
    CZovProcess bar;
    bar.backgroundColor = s->LoadColor(10180);
    const ZovRect r = s->LoadRect(10176);
    bar.SetSkin(s->LoadColor(10185), s->LoadColor(10184), 10162, s->LoadRect(10174));
    bar.CreateEx(&host, r, "", 10176);
    bar.maximum = 300;
    bar.enabled = p.enabled;
    bar.SetValue(p.value);
    cells.push_back({p.name, Grab(&bar), 1});
  }
  CZovProcess volume;
  volume.backgroundColor = s->LoadColor(10180);
  volume.SetSkin(s->LoadColor(10187), s->LoadColor(10186), 10158, s->LoadRect(10172));
  volume.CreateEx(&host, s->LoadRect(10173), "", 10173);
  volume.maximum = 31;
  volume.SetValue(20);
  cells.push_back({"volume 20/31", Grab(&volume), 2});

  struct Scroll {
    const char* name;
    int position;
    int pressY;
  };
  for (const Scroll& sc : {Scroll{"scroll top", 0, -1}, Scroll{"scroll middle", 400, -1},
                           Scroll{"scroll up pressed", 400, 3}, Scroll{"scroll end", 5000, -1}}) {
    CZovVProcess bar;
    bar.backgroundColor = s->LoadColor(10284);
    bar.CreateEx(&host, s->LoadRect(10301), "", 10301);
    bar.SetSkin(10281, 10282, s->LoadColor(10305));
    bar.SetRange(1200, 276);
    bar.SetPosition(sc.position);
    if (sc.pressY >= 0) Press(&bar, {7, sc.pressY});
    cells.push_back({sc.name, Grab(&bar), 2});
  }
}

void AddPopups(Host& host, std::vector<Cell>& cells) {
  CZovSettings* s = CZovSettings::GetInstance();
  QString busy = s->GetQText("getgpsinfo");
  if (busy.isEmpty()) busy = "getgpsinfo";
  for (int frame : {0, 3}) {
    CZovWarning notice;
    notice.ShowBusy(busy);
    for (int i = 0; i < frame; ++i) notice.SendMessage(WM_TIMER, CZovWarning::kSpinTimer);
    cells.push_back({QString("busy notice frame %1").arg(frame), Grab(&notice), 1});
    notice.HideNotice();
  }
  // A small screenshot, shown at half size.
  const std::vector<uint8_t> still = StillPicture(640, 360);
  QImage picture(still.data(), 640, 360, 640 * 3, QImage::Format_BGR888);
  QTemporaryDir folder;
  const std::string path = (folder.path() + "/shot_controls.bmp").toStdString();
  picture.save(QString::fromStdString(path), "BMP");
  CZovScreenShotView view;
  view.LoadPicture(path);
  view.show();
  cells.push_back({"screenshot view (640x360 shot)", Grab(&view), 1});
  view.hide();
}

void AddPanes(Host& host, std::vector<Cell>& cells) {
  const std::vector<uint8_t> still = StillPicture(320, 180);
  const std::vector<uint8_t> second = StillPicture(160, 120);
  struct Layout {
    const char* name;
    int a, b, arrangement;
  };
  for (const Layout& l : {Layout{"panes: one channel", 0, 1, 0}, Layout{"panes: two channels", 0, 2, 1},
                          Layout{"panes: three channels", 0, 3, 4}}) {
    CZovPlayerListView panes;
    panes.CreateEx(&host, {0, 0, 480, 300}, "", kZovPlayerListId);
    panes.show();
    panes.SetChannels(l.a, l.b);
    for (int i = 0; i < panes.ChannelCount() && i < 3; ++i) {
      if (i == 1) panes.Pane(i)->SetStill(second.data(), 160, 120);
      else panes.Pane(i)->SetStill(still.data(), 320, 180);
    }
    cells.push_back({QString("%1 (arr. %2)").arg(l.name).arg(panes.Arrangement()), Grab(&panes), 1});
  }
}

}  // namespace

int RenderControlsSheet(const std::string& sheet, const std::string& library) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "zovskin";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  CZovSettings* settings = CZovSettings::GetInstance();
  if (!library.empty() && !settings->LoadResourceLibrary(library)) {
    std::fprintf(stderr, "zovskin: cannot load %s\n", library.c_str());
    return 1;
  }
  if (!settings->Resources().IsLoaded()) {
    std::fprintf(stderr, "zovskin: no resource library beside the program\n");
    return 1;
  }
  Host host;
  std::vector<Cell> cells;
  AddButtons(host, cells);
  AddTextControls(host, cells);
  AddSliders(host, cells);
  AddPopups(host, cells);
  AddPanes(host, cells);

  // Flow layout, wrapping at the sheet width.
  std::vector<QRect> places;
  int x = kMargin, y = kMargin + 24, rowHeight = 0;
  for (const Cell& c : cells) {
    const int w = std::max(c.image.width() * c.scale, 110);
    const int h = c.image.height() * c.scale + kLabelHeight;
    if (x + w > kSheetWidth - kMargin && x > kMargin) {
      x = kMargin;
      y += rowHeight + kMargin;
      rowHeight = 0;
    }
    places.push_back(QRect(x, y, w, h));
    x += w + kMargin;
    rowHeight = std::max(rowHeight, h);
  }
  QImage out(kSheetWidth, y + rowHeight + kMargin, QImage::Format_ARGB32_Premultiplied);
  out.fill(kSheetColour);
  QPainter p(&out);
  QFont font(settings->FontFace());
  font.setPixelSize(12);
  p.setFont(font);
  p.setPen(kLabelColour);
  p.drawText(kMargin, kMargin + 12, QString("controls of %1, small ones twice their size")
                                         .arg(QFileInfo(QString::fromStdString(library.empty() ? "libzovQuelnaResource.so" : library)).fileName()));
  for (size_t i = 0; i < cells.size(); ++i) {
    const Cell& c = cells[i];
    const QRect& r = places[i];
    p.drawImage(QRect(r.topLeft(), c.image.size() * c.scale), c.image);
    p.drawText(QRect(r.left(), r.top() + c.image.height() * c.scale + 2, r.width(), kLabelHeight),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, c.label);
  }
  p.end();
  if (!out.save(QString::fromStdString(sheet), "PNG")) {
    std::fprintf(stderr, "zovskin: cannot write %s\n", sheet.c_str());
    return 1;
  }
  std::printf("%zu control states -> %s\n", cells.size(), sheet.c_str());
  return 0;
}
