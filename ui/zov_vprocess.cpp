#include "ui/zov_vprocess.h"

#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>

#include "shell/zov_settings.h"

QString CZovVProcess::CreateFailText() const {
  return QStringLiteral("CZovVProcess::CreateEx fiele ............... \r\n");
}

void CZovVProcess::SetSkin(int upPngId, int downPngId, ZovColorRef thumbColor) {
  SetSkinImages(settings()->LoadPng(upPngId), settings()->LoadPng(downPngId), thumbColor);
}

void CZovVProcess::SetSkinImages(const QImage& up, const QImage& down, ZovColorRef thumbColor) {
  up_ = up;
  down_ = down;
  thumbColor_ = thumbColor;
  trackRect_ = QRect(0, ArrowHeight(), width(), height() - ArrowHeight() - DownArrowHeight());
  update();
}

int CZovVProcess::MaxPosition() const { return std::max(0, extent_ - height()); }

int CZovVProcess::WheelStep(int delta, int step) {
  return static_cast<uint16_t>(delta) > kWheelNotch ? step : -step;
}

void CZovVProcess::Recompute(int clientHeight) {
  extent_ = total_ + page_;
  if (up_.isNull() || clientHeight <= 0) return;
  pageCount_ = (extent_ + clientHeight - 1) / clientHeight;
  thumbLength_ = std::max(kMinThumbLength, (clientHeight - 2 * ArrowHeight()) / pageCount_);
  trackSpan_ = static_cast<float>(clientHeight - 2 * ArrowHeight() - thumbLength_);
}

void CZovVProcess::SetRange(int total, int page) {
  if (!(total >= page && page > 0)) return;
  total_ = total;
  page_ = page;
  position_ = 0;
  thumbTop_ = 0;
  Recompute(height());
  if (!up_.isNull()) thumbTop_ = ArrowHeight();
  step_ = page;
  update();
}

void CZovVProcess::SetPosition(int p) {
  position_ = p;
  ClampAndPlace();
  update();
}

void CZovVProcess::ClampAndPlace() {
  position_ = std::clamp(position_, 0, MaxPosition());
  const int range = extent_ - height();
  // A range of 0 (the content fits) leaves the thumb where it is.
  if (up_.isNull() || range <= 0) return;
  thumbTop_ = static_cast<int>(static_cast<float>(position_) * trackSpan_ / static_cast<float>(range)) + ArrowHeight();
}

void CZovVProcess::PositionFromThumb() {
  if (trackSpan_ <= 0.0f) return;
  position_ = static_cast<int>(static_cast<float>(thumbTop_ - ArrowHeight()) * static_cast<float>(extent_ - height()) /
                               trackSpan_);
}

void CZovVProcess::Report() {
  if (ParentTarget() && trackSpan_ > 0.0f)
    SendToParent(ZOVWM_VSCROLLPOS, static_cast<WPARAM>(ControlId()), position_);
}

bool CZovVProcess::InTrackBand(int y) const { return y > ArrowHeight() && y < height() - DownArrowHeight(); }

int CZovVProcess::ThumbTopAt(int y) const {
  const int top = y - thumbLength_ / 2;
  const int lowest = height() - thumbLength_ - ArrowHeight();
  return std::max(ArrowHeight(), std::min(top, lowest));
}

void CZovVProcess::OnLButtonDown(const QPoint& pt) {
  const int y = pt.y();
  if (InTrackBand(y)) {
    thumbTop_ = ThumbTopAt(y);
    dragging_ = 1;
    tracked_ = 0;
    return;
  }
  if (y <= ArrowHeight()) upPressed_ = 1;
  if (y >= height() - ArrowHeight()) downPressed_ = 1;
  tracked_ = 0;
  update();
}

void CZovVProcess::OnMouseMove(const QPoint& pt) {
  if (!tracked_) {
    TrackMouseLeave();
    tracked_ = 1;
  }
  if (!dragging_ || !InTrackBand(pt.y())) return;
  thumbTop_ = ThumbTopAt(pt.y());
  PositionFromThumb();
  Report();
  update();
}

void CZovVProcess::OnLButtonUp(const QPoint& pt) {
  const int y = pt.y();
  if (dragging_) {
    dragging_ = 0;
    PositionFromThumb();
    update();
    Report();
  }
  if (upPressed_ && y <= ArrowHeight()) {
    position_ -= step_;
    ClampAndPlace();
    Report();
  }
  if (downPressed_ && y >= height() - DownArrowHeight()) {
    position_ += step_;
    ClampAndPlace();
    Report();
  }
  upPressed_ = 0;
  downPressed_ = 0;
  update();
}

void CZovVProcess::OnMouseLeave() {
  if (dragging_) {
    Report();
    dragging_ = 0;
    update();
  }
  upPressed_ = 0;
  downPressed_ = 0;
  tracked_ = 1;
}

void CZovVProcess::ScrollBy(int delta) {
  position_ += delta;
  ClampAndPlace();
  Report();
  update();
}

void CZovVProcess::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta != 0) ScrollBy(WheelStep(delta, step_));
  event->accept();
}

void CZovVProcess::OnKeyUp(QKeyEvent* event) {
  if (event->key() == Qt::Key_Up) ScrollBy(-step_);
  else if (event->key() == Qt::Key_Down) ScrollBy(step_);
}

void CZovVProcess::resizeEvent(QResizeEvent* event) {
  const int h = event->size().height();
  if (!up_.isNull() && total_ >= page_ && page_ > 0 && h > 0) {
    Recompute(h);
    thumbTop_ = static_cast<int>((int64_t(thumbLength_) + static_cast<int64_t>(trackSpan_)) * position_ / total_) +
                ArrowHeight();
  }
  trackRect_ = QRect(0, ArrowHeight(), event->size().width(), h - ArrowHeight() - DownArrowHeight());
  update();
}

void CZovVProcess::paintEvent(QPaintEvent*) {
  // The whole client gets the background, so the arrows' transparent parts
  // show it.
  PaintClient([this](QPainter& dc, const QRect& client) {
    auto arrow = [&](const QImage& strip, int y, bool pressed) {
      if (strip.isNull()) return;
      const int half = strip.width() / 2;
      dc.drawImage(QPoint((client.width() - half) / 2, y), strip, QRect(pressed ? half : 0, 0, half, strip.height()));
    };
    arrow(up_, 0, upPressed_);
    arrow(down_, client.height() - DownArrowHeight(), downPressed_);
    thumbTop_ = std::max(ArrowHeight(), std::min(thumbTop_, client.height() - ArrowHeight() - thumbLength_));
    if (!thumbImage_.isNull()) dc.drawImage((client.width() - thumbImage_.width()) / 2, thumbTop_, thumbImage_);
    else dc.fillRect(QRect(0, thumbTop_, client.width(), thumbLength_), ZovToQColor(thumbColor_));
  });
}
