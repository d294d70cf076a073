#include "ui/zov_popup_place.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// Where no screen is known at all.
constexpr QRect kNoScreenArea(0, 0, 1280, 720);

}  // namespace

QRect ZovWorkArea(const QWidget* widget) {
  QScreen* screen = widget && widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : kNoScreenArea;
}

QRect ZovCentreIn(const QSize& size, const QRect& area) {
  return QRect(area.left() + (area.width() - size.width()) / 2, area.top() + (area.height() - size.height()) / 2,
               size.width(), size.height());
}

void CZovWindowDrag::Press(QWidget* window, QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  QWindow* handle = window->windowHandle();
  if (handle && handle->startSystemMove()) return;
  following_ = true;
  offset_ = event->globalPosition().toPoint() - window->frameGeometry().topLeft();
}

void CZovWindowDrag::Move(QWidget* window, QMouseEvent* event) {
  if (following_ && (event->buttons() & Qt::LeftButton)) window->move(event->globalPosition().toPoint() - offset_);
}
