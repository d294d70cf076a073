#pragma once
// CZovMfcButton: a push button drawn by hand: a rounded face in the face
// colour (lightened by the lighten step while pressed) with a grey one-pixel
// frame, or, when a bitmap is set, the bitmap (copied while pressed, laid
// with a bitwise AND over a light grey face otherwise); the caption is drawn
// centred, moved by (3,3). A non-empty link (file, folder or address) is
// opened with the desktop's opener when the button is pressed. It sends no
// notification of its own: owners use QAbstractButton::clicked.
//
// Threads: user-interface thread only.
#include <cstdint>
#include <optional>

#include <QImage>
#include <QPushButton>
#include <QString>

#include "shell/zov_resource_library.h"

// `color` with every channel moved by the same amount `step` (-255..255),
// limited so that no channel leaves 0..255 (the tightest limit wins).
ZovColorRef ZovLightenColor(ZovColorRef color, int step);

class CZovMfcButton : public QPushButton {
 public:
  // Face behind a bitmap that is not pressed, and the frame colour.
  static constexpr ZovColorRef kBitmapFace = ZovRgb(220, 220, 220);
  static constexpr ZovColorRef kFrameColor = ZovRgb(200, 200, 200);
  static constexpr int kCornerSize = 10;
  static constexpr int kCaptionShift = 3;

  explicit CZovMfcButton(QWidget* parent = nullptr);

  void SetFaceColor(ZovColorRef color) { faceColor = color; update(); }
  void SetTextColor(ZovColorRef color) { textColor = color; update(); }
  // Not owned; null: the widget's font.
  void SetFont(const QFont* f) { font_ = f; update(); }
  // The bitmap shown instead of the face (null image: none). A bitmap has no
  // transparency: transparent parts become white, which the bitwise AND of
  // the idle look leaves as the face colour.
  void SetBitmap(const QImage& image);
  bool IsPressed() const { return pressed_ != 0; }
  // The face colour drawn now.
  ZovColorRef CurrentFace() const { return pressed_ ? ZovLightenColor(faceColor, lightenStep) : faceColor; }

  ZovColorRef faceColor = ZovRgb(216, 233, 216);
  int lightenStep = 30;
  ZovColorRef textColor = ZovRgb(0, 0, 0);
  QString link;
  QImage bitmap;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void DrawFace(QPainter& dc, const QRect& item);

  int32_t pressed_ = 0;
  const QFont* font_ = nullptr;
  int32_t trackingNeeded_ = 1;
};
