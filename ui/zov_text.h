#pragma once
// CZovText: a label. Paints, through the common off-screen sequence, the
// background colour, its background image (when set) at (0,0) in the
// image's own size, then its text left-aligned and vertically centred on
// one line, in the text colour and (when set) its font. Sends nothing.
//
// Threads: user-interface thread only.
#include <optional>

#include <QFont>
#include <QImage>
#include <QString>

#include "ui/zov_ui_base.h"

class CZovText : public CZovUiBase {
 public:
  CZovText() = default;

  // Set by the owner, then repaint.
  QString text;
  ZovColorRef textColor = ZovRgb(250, 250, 250);
  std::optional<QFont> font;
  QImage backgroundImage;  // null: none

 protected:
  QString CreateFailText() const override;
  void paintEvent(QPaintEvent* event) override;
};
