#include "ui/zov_combo_box.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>

CZovComboBox::CZovComboBox(QWidget* parent) : QComboBox(parent) {
  view()->installEventFilter(this);
}

bool CZovComboBox::IsEnterKeyEvent(const QEvent* event) {
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease &&
      event->type() != QEvent::ShortcutOverride)
    return false;
  const int key = static_cast<const QKeyEvent*>(event)->key();
  return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool CZovComboBox::event(QEvent* event) {
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
    // An edit field made later (setEditable) is watched as well.
    if (QLineEdit* edit = lineEdit()) edit->installEventFilter(this);
  }
  if (IsEnterKeyEvent(event)) {
    event->accept();  // handled: it goes no further
    return true;
  }
  return QComboBox::event(event);
}

bool CZovComboBox::eventFilter(QObject* watched, QEvent* event) {
  if (IsEnterKeyEvent(event)) {
    event->accept();
    return true;
  }
  return QComboBox::eventFilter(watched, event);
}
