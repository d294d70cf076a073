#pragma once
// Placing and moving the program's popups (screenshot view, busy notice):
// the desktop work area, a size centred in it, and moving a window by a
// press on it as a press on a caption does.
//
// Threads: user-interface thread only.
#include <QPoint>
#include <QRect>
#include <QSize>

class QMouseEvent;
class QWidget;

// The work area (the desktop without panels) of the screen `widget` is on,
// or of the primary screen.
QRect ZovWorkArea(const QWidget* widget);

// A `size` rectangle centred in `area` (it may extend past it).
QRect ZovCentreIn(const QSize& size, const QRect& area);

// Moves a top-level window while the left button stays down after a press
// on it: the window system moves it where it can (startSystemMove);
// otherwise the window follows the pointer.
class CZovWindowDrag {
 public:
  // A press on `window`; only the left button starts a move.
  void Press(QWidget* window, QMouseEvent* event);
  void Move(QWidget* window, QMouseEvent* event);
  void Release() { following_ = false; }

 private:
  bool following_ = false;
  QPoint offset_;  // pointer minus the window's top-left
};
