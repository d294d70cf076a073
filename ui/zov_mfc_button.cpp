#include "ui/zov_mfc_button.h"

#include <QDir>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "ui/zov_ui_base.h"

ZovColorRef ZovLightenColor(ZovColorRef color, int step) {
  const int c[3] = {int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF)};
  step = std::clamp(step, -255, 255);
  int amount = step;
  for (int v : c) {
    if (step > 0) amount = std::min(amount, 255 - v);
    else amount = std::max(amount, -v);
  }
  return ZovRgb(c[0] + amount, c[1] + amount, c[2] + amount);
}

namespace {

// A link as an address: one with a scheme as it stands, anything else as a
// local file or folder.
QUrl LinkUrl(const QString& link) {
  const QUrl url(link);
  if (url.isValid() && url.scheme().size() > 1) return url;
  return QUrl::fromLocalFile(QDir::fromNativeSeparators(link));
}

}  // namespace

CZovMfcButton::CZovMfcButton(QWidget* parent) : QPushButton(parent) {
  setMouseTracking(true);
  setFlat(true);
}

void CZovMfcButton::SetBitmap(const QImage& image) {
  if (image.isNull()) {
    bitmap = QImage();
  } else {
    bitmap = QImage(image.size(), QImage::Format_RGB32);
    bitmap.fill(Qt::white);
    QPainter p(&bitmap);
    p.drawImage(0, 0, image);
  }
  update();
}

void CZovMfcButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    if (!link.isEmpty()) CZovUiEnv::Get().OpenWithDesktop(LinkUrl(link));
    pressed_ = 1;
  }
  QPushButton::mousePressEvent(event);
}

void CZovMfcButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    pressed_ = 0;
    trackingNeeded_ = 1;
  }
  QPushButton::mouseReleaseEvent(event);
}

void CZovMfcButton::mouseMoveEvent(QMouseEvent* event) {
  if (trackingNeeded_) trackingNeeded_ = 0;  // Qt reports leave and hover by itself
  QPushButton::mouseMoveEvent(event);
}

void CZovMfcButton::leaveEvent(QEvent* event) {
  pressed_ = 0;
  trackingNeeded_ = 1;
  update();
  QPushButton::leaveEvent(event);
}

void CZovMfcButton::DrawFace(QPainter& dc, const QRect& item) {
  if (!bitmap.isNull()) {
    if (pressed_) {
      dc.drawImage(item, bitmap);
      return;
    }
    // Bitwise AND of the bitmap over the light face, made on an image
    // (raster operations need a raster target).
    QImage face(item.size(), QImage::Format_RGB32);
    face.fill(ZovToQColor(kBitmapFace));
    QPainter p(&face);
    p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    p.drawImage(QRect(QPoint(0, 0), item.size()), bitmap.convertToFormat(QImage::Format_RGB32));
    p.end();
    dc.drawImage(item.topLeft(), face);
    return;
  }
  dc.fillRect(item, ZovToQColor(CurrentFace()));
  // Pressed: the frame on the whole item; idle: inset by one pixel.
  const QRectF frame = pressed_ ? QRectF(item).adjusted(0.5, 0.5, -0.5, -0.5) : QRectF(item).adjusted(1.5, 1.5, -1.5, -1.5);
  dc.setRenderHint(QPainter::Antialiasing);
  dc.setPen(QPen(ZovToQColor(kFrameColor), 1));
  dc.setBrush(Qt::NoBrush);
  dc.drawRoundedRect(frame, kCornerSize / 2.0, kCornerSize / 2.0);
  dc.setRenderHint(QPainter::Antialiasing, false);
}

void CZovMfcButton::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  const QRect item = rect();
  DrawFace(dc, item);
  if (font_) dc.setFont(*font_);
  dc.setPen(ZovToQColor(textColor));
  dc.drawText(item.translated(kCaptionShift, kCaptionShift), Qt::AlignCenter, text());
}
