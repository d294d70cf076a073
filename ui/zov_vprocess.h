#pragma once
// CZovVProcess: the vertical scroll bar of the file list. An up arrow at the
// top, a down arrow at the bottom (two-frame strips: normal left, pressed
// right) and a thumb between them, a filled bar in the thumb colour.
//
// SetRange(total, page) sets the content: extent = total + page, scrolling
// range 0 .. extent - client height, one step = page. Every change of the
// position made by the user (drag, arrows, wheel, Up/Down keys) is sent to
// the parent as ZOVWM_VSCROLLPOS (wParam = control id, lParam = position),
// when the thumb has room to move; SetPosition reports nothing. Without an
// up-arrow image the thumb never moves. Thumb place and position convert in
// single precision:
//   thumb top = position * span / (extent - height) + arrow height
//   position  = (thumb top - arrow height) * (extent - height) / span
// The wheel delta is read as an unsigned 16-bit number: above 120 scrolls
// down (toward the end), otherwise up.
//
// Threads: user-interface thread only.
#include <cstdint>

#include <QImage>

#include "ui/zov_ui_base.h"

class CZovVProcess : public CZovUiBase {
 public:
  static constexpr int kDefaultThumbLength = 10;
  static constexpr int kMinThumbLength = 12;
  static constexpr int kWheelNotch = 120;

  CZovVProcess() = default;

  // Arrow strips from the resource library; no thumb image.
  void SetSkin(int upPngId, int downPngId, ZovColorRef thumbColor);
  void SetSkinImages(const QImage& up, const QImage& down, ZovColorRef thumbColor);
  // Ignored unless total >= page > 0. Position back to 0.
  void SetRange(int total, int page);
  // Moves to `p` (limited to the range) without reporting it.
  void SetPosition(int p);

  int Position() const { return position_; }
  int ThumbTop() const { return thumbTop_; }
  int ThumbLength() const { return thumbLength_; }
  float TrackSpan() const { return trackSpan_; }
  int Extent() const { return extent_; }
  int Step() const { return step_; }
  // Largest position: extent - client height (0 when that is negative).
  int MaxPosition() const;

  // The wheel's direction rule: the step to add for one wheel message.
  static int WheelStep(int delta, int step);

 protected:
  QString CreateFailText() const override;
  void OnLButtonDown(const QPoint& pt) override;
  void OnLButtonUp(const QPoint& pt) override;
  void OnMouseMove(const QPoint& pt) override;
  void OnMouseLeave() override;
  void OnKeyUp(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int ArrowHeight() const { return up_.height(); }
  int DownArrowHeight() const { return down_.height(); }
  bool InTrackBand(int y) const;
  // Thumb top for a press or move at y, limited to the track.
  int ThumbTopAt(int y) const;
  // Limits the position to the range and places the thumb.
  void ClampAndPlace();
  void PositionFromThumb();
  void Report();
  void ScrollBy(int delta);
  void Recompute(int clientHeight);

  QRect trackRect_;
  QImage thumbImage_;
  QImage up_;
  QImage down_;
  int32_t thumbLength_ = kDefaultThumbLength;
  float trackSpan_ = 0.0f;
  int32_t step_ = 0;
  ZovColorRef thumbColor_ = ZovRgb(50, 50, 50);
  uint8_t dragging_ = 0;
  uint8_t upPressed_ = 0;
  uint8_t downPressed_ = 0;
  uint8_t tracked_ = 1;
  int32_t thumbTop_ = 0;
  int32_t extent_ = 0;
  int32_t total_ = 0;
  int32_t position_ = 0;
  int32_t pageCount_ = 0;
  int32_t page_ = 0;
};
