#include "ui/zov_process.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <cstdlib>

#include "shell/zov_settings.h"

QString CZovProcess::CreateFailText() const {
  return QStringLiteral("CZovProcess::CreateEx fiele ............... \r\n");
}

void CZovProcess::SetSkin(ZovColorRef trackColor, ZovColorRef playedColor, int thumbPngId, const ZovRect& trackRect) {
  SetSkinImage(trackColor, playedColor, settings()->LoadPng(thumbPngId), trackRect);
}

void CZovProcess::SetSkinImage(ZovColorRef trackColor, ZovColorRef playedColor, const QImage& thumb,
                               const ZovRect& trackRect) {
  thumb_ = thumb;
  trackColor_ = trackColor;
  playedColor_ = playedColor;
  trackRect_ = trackRect;
  thumbWidth_ = thumb_.width();
  thumbHeight_ = thumb_.height();
  thumbPos_ = thumbWidth_ / 2;
  update();
}

int CZovProcess::ThumbFromValue(int v) const {
  const int64_t span = int64_t(maximum) - minimum;
  if (span <= 0) return trackRect_.left;  // an empty range has one place
  const int64_t x = trackRect_.left + int64_t(trackRect_.right - trackRect_.left) * v / span;
  return static_cast<int>(std::clamp<int64_t>(x, trackRect_.left, std::max(trackRect_.left, trackRect_.right)));
}

int CZovProcess::ValueFromThumb() const {
  const int64_t width = int64_t(trackRect_.right) - trackRect_.left;
  if (width <= 0) return 0;
  return static_cast<int>((int64_t(maximum) - minimum) * (thumbPos_ - trackRect_.left) / width);
}

void CZovProcess::SyncValueFromThumb() {
  // A thumb still where the value put it keeps the value: the integer
  // round trip value -> thumb -> value may lose one.
  if (thumbPos_ != ThumbFromValue(value_)) value_ = ValueFromThumb();
}

int CZovProcess::ClampToTrack(int x) const {
  return x <= trackRect_.left ? trackRect_.left : std::min(x, trackRect_.right);
}

int CZovProcess::SetValue(int v) {
  if (dragging_) return thumbPos_;
  value_ = v;
  const int thumb = ThumbFromValue(v);
  if (thumb == thumbPos_) return thumbPos_;  // the tick moved it less than a pixel
  thumbPos_ = thumb;
  update();
  return thumbPos_;
}

LRESULT CZovProcess::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == ZOVWM_SEEKRESET) OnSeekReset();
  else if (message == WM_TIMER && wParam == kLeaveTimer) OnLeaveTimer();
  return CZovUiBase::WindowProc(message, wParam, lParam);
}

void CZovProcess::OnSeekReset() {
  thumbPos_ = trackRect_.left;
  update();
}

void CZovProcess::OnLButtonDown(const QPoint& pt) {
  // A timer left from an earlier leave must not end this new drag.
  KillTimer(kLeaveTimer);
  dragging_ = 1;
  tracked_ = 0;
  if (!enabled) return;
  thumbPos_ = ClampToTrack(pt.x());
  update();
}

void CZovProcess::OnMouseMove(const QPoint& pt) {
  if (!tracked_) {
    TrackMouseLeave();
    tracked_ = 1;
  }
  if (!enabled || !dragging_) return;
  if (!(CZovUiEnv::Get().MouseButtons() & Qt::LeftButton)) {
    // The release happened where this slider could not see it.
    KillTimer(kLeaveTimer);
    update();
    dragging_ = 0;
    return;
  }
  thumbPos_ = ClampToTrack(pt.x());
  SyncValueFromThumb();
  PostToParent(ZOVWM_SEEKDRAG, static_cast<WPARAM>(ControlId()), value_);
  update();
}

void CZovProcess::OnLButtonUp(const QPoint&) {
  update();
  dragging_ = 0;
  SyncValueFromThumb();
  PostToParent(ZOVWM_SEEKDROP, static_cast<WPARAM>(ControlId()), value_);
}

void CZovProcess::OnMouseLeave() {
  KillTimer(kLeaveTimer);
  SetTimer(kLeaveTimer, kLeaveTimerMs);
  dragging_ = 0;
  SyncValueFromThumb();
  PostToParent(ZOVWM_SEEKDRAG, static_cast<WPARAM>(ControlId()), value_);
}

void CZovProcess::OnLeaveTimer() {
  // One shot: a repeating timer would end a later drag.
  KillTimer(kLeaveTimer);
  if (!dragging_) return;
  update();
  dragging_ = 0;
}

void CZovProcess::resizeEvent(QResizeEvent* event) {
  const int cx = event->size().width();
  if (cx > thumbWidth_) trackRect_.right = cx - thumbWidth_ / 2;
  thumbPos_ = ThumbFromValue(value_);
  update();
}

void CZovProcess::paintEvent(QPaintEvent*) {
  PaintClient([this](QPainter& dc, const QRect& client) {
    const int bandLeft = thumbWidth_ / 2;
    const int bandRight = client.width() - thumbWidth_ / 2;
    const int bandHeight = trackRect_.bottom - trackRect_.top;
    dc.fillRect(QRect(bandLeft, trackRect_.top, bandRight - bandLeft, bandHeight), ZovToQColor(trackColor_));
    dc.fillRect(QRect(bandLeft, trackRect_.top, thumbPos_ - bandLeft, bandHeight), ZovToQColor(playedColor_));
    PaintMarks(dc, client);
    if (!thumb_.isNull()) dc.drawImage(thumbPos_ - thumbWidth_ / 2, 0, thumb_);
  });
}

void CZovProcess::SetMarks(int a, int b) {
  if (a == markA_ && b == markB_) return;
  markA_ = a;
  markB_ = b;
  update();
}

void CZovProcess::PaintMarks(QPainter& dc, const QRect& client) const {
  const QColor colour = QColor::fromRgb(kMarkColour);
  const int a = markA_ >= 0 ? ThumbFromValue(markA_) : -1;
  const int b = markB_ >= 0 ? ThumbFromValue(markB_) : -1;
  if (a >= 0 && b >= 0) {
    QColor band = colour;
    band.setAlpha(110);
    const int bandHeight = trackRect_.bottom - trackRect_.top;
    dc.fillRect(QRect(std::min(a, b), trackRect_.top - 1, std::max(1, std::abs(b - a)), bandHeight + 2), band);
  }
  for (const int x : {a, b})
    if (x >= 0) dc.fillRect(QRect(x - 1, 0, 2, client.height()), colour);
}
