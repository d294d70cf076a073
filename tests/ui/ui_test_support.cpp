#include "tests/ui/ui_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "shell/zov_settings.h"
#include "tests/common/test_paths.h"
#include "ui/zov_ui_base.h"

namespace uitest {

QApplication* App() {
  static int argc = 1;
  static char name[] = "ui_test";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    auto* a = new QApplication(argc, argv);
    const std::string library = zovtest::BinDir() + "/libzovQuelnaResource.so";
    if (!CZovSettings::GetInstance()->LoadResourceLibrary(library))
      ADD_FAILURE() << "resource library not loaded: " << library;
    return a;
  }();
  return app;
}

Recorder::Recorder() { resize(800, 600); }

LRESULT Recorder::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  messages.push_back({message, wParam, lParam});
  return 0;
}

std::vector<Message> Recorder::Of(UINT message) const {
  std::vector<Message> out;
  for (const Message& m : messages)
    if (m.message == message) out.push_back(m);
  return out;
}

FakeClock::FakeClock() { CZovUiEnv::Get().tickHook = [this] { return now_; }; }
FakeClock::~FakeClock() { CZovUiEnv::Get().tickHook = nullptr; }

QImage Grab(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

uint32_t Rgb(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

double ShareOf(const QImage& image, const QRect& area, uint32_t rgb, int tolerance) {
  int match = 0, total = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const uint32_t p = Rgb(image, x, y);
      ++total;
      if (std::abs(int((p >> 16) & 0xFF) - int((rgb >> 16) & 0xFF)) <= tolerance &&
          std::abs(int((p >> 8) & 0xFF) - int((rgb >> 8) & 0xFF)) <= tolerance &&
          std::abs(int(p & 0xFF) - int(rgb & 0xFF)) <= tolerance)
        ++match;
    }
  }
  return total ? double(match) / total : 0.0;
}

}  // namespace uitest

#include <QMouseEvent>

namespace uitest {

void Move(QWidget* widget, const QPoint& pt, Qt::MouseButtons buttons) {
  QMouseEvent e(QEvent::MouseMove, QPointF(pt), QPointF(widget->mapToGlobal(pt)), Qt::NoButton, buttons,
                Qt::NoModifier);
  QApplication::sendEvent(widget, &e);
}

void Leave(QWidget* widget) {
  QEvent e(QEvent::Leave);
  QApplication::sendEvent(widget, &e);
}

}  // namespace uitest
