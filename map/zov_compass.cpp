#include "map/zov_compass.h"

#include <algorithm>
#include <cstdio>

#include <QPainter>

#include "shell/zov_settings.h"
#include "ui/zov_mem_dc.h"

CZovCompass::CZovCompass() = default;

QString CZovCompass::CreateFailText() const {
  return QStringLiteral("CZovCompass::CreateEx fiele ............... \r\n");
}

bool CZovCompass::LoadImages(int faceId, int needleId, const ZovRect& needleRect) {
  face_ = settings()->LoadPng(faceId);
  if (face_.isNull()) {
    needle_ = QImage();
    return false;
  }
  needle_ = settings()->LoadPng(needleId);
  if (needle_.isNull()) return false;
  needlePos_ = QPoint(needleRect.left, needleRect.top);
  return true;
}

void CZovCompass::SetCaption(const ZovRect& rect, ZovColorRef colour, int fontId) {
  captionRect_ = rect;
  captionColor_ = ZovToQColor(colour);
  captionFont_ = settings()->CreateNormalFont(fontId);
}

void CZovCompass::SetValue(const QString& text, double angle) {
  if (angle == angle_ && text == caption_) return;  // nothing to draw anew
  angle_ = angle;
  caption_ = text;
  repaint();
}

void CZovCompass::paintEvent(QPaintEvent*) {
  QPainter target(this);
  const QRect client = rect();
  CZovMemDC mem(&target, client, false);
  QPainter& dc = mem.Painter();
  dc.setRenderHint(QPainter::SmoothPixmapTransform);
  dc.setRenderHint(QPainter::Antialiasing);
  dc.fillRect(client, ZovToQColor(backgroundColor));
  if (!face_.isNull()) dc.drawImage(0, 0, face_);
  if (!needle_.isNull()) {
    dc.save();
    dc.translate(center_);
    dc.rotate(angle_);
    dc.translate(-center_);
    dc.drawImage(needlePos_, needle_);
    dc.restore();
  }
  if (!caption_.isEmpty() && !captionRect_.IsNull()) {
    dc.setFont(captionFont_);
    dc.setPen(captionColor_);
    dc.drawText(captionRect_.ToQRect(), Qt::AlignCenter | Qt::TextSingleLine, caption_);
  }
}

double ZovSpeedValue(double knots, double unitScale) { return knots * kZovKnotsToKmh * unitScale; }

double ZovSpeedNeedleAngle(double value) {
  return std::min(value, kZovSpeedDialMax) * kZovSpeedDialDegreesPerUnit;
}

QString ZovSpeedCaption(double value, const std::string& unitName) {
  char text[96];
  std::snprintf(text, sizeof text, "%0.01f %s", value, unitName.c_str());
  return QString::fromUtf8(text);
}

QString ZovSpeedResetCaption(const std::string& unitName) {
  return QString::fromUtf8(("0.0 " + unitName).c_str());
}
