#pragma once
// CZovSpeedControl: the playback speed of the play window, shown as its
// factor ("1×", "0.25×") in a rounded frame. A left click asks for the next
// faster speed, a right click or the wheel turned down for the next slower
// one, the wheel turned up for the next faster: ZOVWM_CLICK to the parent
// with the control id and +1 or -1 in lParam. The owner decides the speed
// and sets `percent` back.
//
// Threads: user-interface thread only.
#include <QString>

#include "ui/zov_ui_base.h"

class CZovSpeedControl : public CZovUiBase {
 public:
  CZovSpeedControl() = default;

  // The factor shown for `percent` ("1×", "1.5×", "0.25×").
  static QString FactorText(int percent);
  // Shows `value` (percent of normal speed).
  void SetPercent(int value);
  int Percent() const { return percent_; }

  ZovColorRef textColor = ZovRgb(230, 230, 230);
  ZovColorRef frameColor = ZovRgb(120, 120, 120);
  // The frame and text while the speed is not 1 (the user should notice).
  ZovColorRef activeColor = ZovRgb(255, 170, 40);

 protected:
  QString CreateFailText() const override;
  void paintEvent(QPaintEvent* event) override;
  void OnLButtonUp(const QPoint& pt) override;
  void mousePressEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  int percent_ = 100;
};
