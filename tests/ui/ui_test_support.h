#pragma once
// Shared pieces of the control tests: one QApplication per program, a parent
// window that records the messages it gets, a clock the test drives, and
// pixel helpers.
#include <QApplication>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "platform/zov_wnd.h"

namespace uitest {

// The program's application object (made on first use, with the resource
// library of the build loaded into the settings).
QApplication* App();
// A first base class that makes sure of the application before any member.
struct WithApp {
  WithApp() { App(); }
};

struct Message {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// A parent window that keeps every message its WindowProc sees.
class Recorder : public CZovWnd {
 public:
  Recorder();
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Messages of one number, in arrival order.
  std::vector<Message> Of(UINT message) const;
  std::vector<Message> messages;
};

// Drives the controls' tick count while alive; starts far from zero.
class FakeClock {
 public:
  FakeClock();
  ~FakeClock();
  void Advance(uint64_t ms) { now_ += ms; }
  uint64_t now() const { return now_; }

 private:
  uint64_t now_ = 1'000'000;
};

// The widget as the screen would show it.
QImage Grab(QWidget* widget);
// Pixel as 0xRRGGBB.
uint32_t Rgb(const QImage& image, int x, int y);
// Share of pixels inside `area` whose colour is within `tolerance` of `rgb`.
double ShareOf(const QImage& image, const QRect& area, uint32_t rgb, int tolerance = 8);

}  // namespace uitest

namespace uitest {
// A move of the pointer to `pt` (widget coordinates) with `buttons` down,
// delivered at once (no window-system round trip).
void Move(QWidget* widget, const QPoint& pt, Qt::MouseButtons buttons = Qt::NoButton);
// The pointer leaves the widget.
void Leave(QWidget* widget);
}  // namespace uitest
