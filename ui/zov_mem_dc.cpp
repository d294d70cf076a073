#include "ui/zov_mem_dc.h"

#include <QPaintDevice>
#include <QPixmap>

namespace {

// The target's clip box, or its whole area without a clip.
QRect TargetArea(QPainter* target) {
  if (target->hasClipping()) return target->clipBoundingRect().toAlignedRect();
  const QPaintDevice* device = target->device();
  const QRect whole(0, 0, device->width(), device->height());
  return target->transform().inverted().mapRect(whole);
}

}  // namespace

CZovMemDC::CZovMemDC(QPainter* target, const QRect& rect, bool copyBackground) : target_(target) {
  QPaintDevice* device = target->device();
  rect_ = rect.isNull() && rect.topLeft() == QPoint(0, 0) ? TargetArea(target) : rect;
  if (device->devType() == QInternal::Printer || rect_.isEmpty()) return;
  offScreen_ = true;
  const qreal ratio = device->devicePixelRatioF();
  image_ = QImage(rect_.size() * ratio, QImage::Format_ARGB32_Premultiplied);
  image_.setDevicePixelRatio(ratio);
  image_.fill(Qt::transparent);
  if (copyBackground) {
    // The rectangle in device pixels.
    const QRect source = target->transform().mapRect(QRectF(rect_)).toAlignedRect();
    const QRect pixels(source.topLeft() * ratio, source.size() * ratio);
    if (device->devType() == QInternal::Image) {
      image_ = static_cast<QImage*>(device)->copy(pixels).convertToFormat(QImage::Format_ARGB32_Premultiplied);
      image_.setDevicePixelRatio(ratio);
    } else if (device->devType() == QInternal::Pixmap) {
      image_ = static_cast<QPixmap*>(device)->copy(pixels).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
      image_.setDevicePixelRatio(ratio);
    } else {
      layOver_ = true;
    }
  }
  painter_ = std::make_unique<QPainter>(&image_);
  // Drawing uses the target's coordinates.
  painter_->translate(-rect_.left(), -rect_.top());
}

CZovMemDC::~CZovMemDC() {
  if (!offScreen_) return;
  painter_->end();
  target_->save();
  target_->setCompositionMode(layOver_ ? QPainter::CompositionMode_SourceOver : QPainter::CompositionMode_Source);
  target_->drawImage(rect_.topLeft(), image_);
  target_->restore();
}
