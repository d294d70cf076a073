#pragma once
// CZovComboBox: a combo box that swallows the Enter key (Return and the
// keypad's Enter), pressed or released, on itself, its edit field and its
// drop-down list: Enter neither closes the dialog it sits in nor changes
// the selection. Everything else behaves as a QComboBox.
//
// Threads: user-interface thread only.
#include <QComboBox>

class CZovComboBox : public QComboBox {
 public:
  explicit CZovComboBox(QWidget* parent = nullptr);

  // True for the events the box swallows.
  static bool IsEnterKeyEvent(const QEvent* event);

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};
