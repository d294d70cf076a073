#pragma once
// CZovProcess: the horizontal slider, used as seek bar (range 0..300, made
// disabled) and volume slider (range 0..31) by the play window.
//
// A press starts a drag, also on a disabled slider (whose thumb then does
// not move): while dragging, SetValue from playback is ignored. Moves drag
// the thumb along the track and post ZOVWM_SEEKDRAG; the release posts
// ZOVWM_SEEKDROP; leaving the slider ends the drag with ZOVWM_SEEKDRAG and
// starts timer 0 (3000 ms). Both are posted (wParam = control id, lParam =
// value). ZOVWM_SEEKRESET puts the thumb back to the start of the track.
// Values and thumb positions are integers:
//   thumb = track left + (track right - track left) * value / (max - min)
//   value = (max - min) * (thumb - track left) / (track right - track left)
//
// Threads: user-interface thread only.
#include <cstdint>

#include <QImage>

class QPainter;

#include "ui/zov_ui_base.h"

class CZovProcess : public CZovUiBase {
 public:
  // Timer started when the pointer leaves the slider.
  static constexpr UINT kLeaveTimer = 0;
  static constexpr UINT kLeaveTimerMs = 3000;

  CZovProcess() = default;

  // Colours, thumb image (PNG resource) and track rectangle; the thumb
  // starts at half the thumb image's width.
  void SetSkin(ZovColorRef trackColor, ZovColorRef playedColor, int thumbPngId, const ZovRect& trackRect);
  // The same with an image instead of a resource id.
  void SetSkinImage(ZovColorRef trackColor, ZovColorRef playedColor, const QImage& thumb, const ZovRect& trackRect);
  // Moves the thumb to `v` and returns the thumb position; while dragging
  // nothing changes and the current position is returned.
  int SetValue(int v);

  // The A-B marks in slider values (-1: not set), drawn as ticks across the
  // track with the range between them shaded.
  void SetMarks(int a, int b);
  int MarkA() const { return markA_; }
  int MarkB() const { return markB_; }
  static constexpr QRgb kMarkColour = 0xFFB020;

  int ThumbPosition() const { return thumbPos_; }
  int Value() const { return value_; }
  bool IsDragging() const { return dragging_ != 0; }
  const ZovRect& TrackRect() const { return trackRect_; }
  // The value that belongs to the current thumb position.
  int ValueFromThumb() const;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Set by the owner.
  int minimum = 0;
  int maximum = 100;
  uint8_t enabled = 1;

 protected:
  QString CreateFailText() const override;
  void OnLButtonDown(const QPoint& pt) override;
  void OnLButtonUp(const QPoint& pt) override;
  void OnMouseMove(const QPoint& pt) override;
  void OnMouseLeave() override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnLeaveTimer();
  void OnSeekReset();
  // value := the value of the thumb position, unless the thumb is where
  // the value already puts it.
  void SyncValueFromThumb();
  // x limited to the track.
  int ClampToTrack(int x) const;
  // Thumb position of `v` (limited to the track).
  int ThumbFromValue(int v) const;

  void PaintMarks(QPainter& dc, const QRect& client) const;

  QImage thumb_;
  int32_t markA_ = -1;
  int32_t markB_ = -1;
  int32_t thumbPos_ = 0;
  uint8_t dragging_ = 0;
  uint8_t tracked_ = 1;
  ZovColorRef playedColor_ = ZovRgb(0, 150, 255);
  ZovColorRef trackColor_ = ZovRgb(64, 69, 78);
  int32_t value_ = 0;
  int32_t thumbWidth_ = 0;
  int32_t thumbHeight_ = 0;
  ZovRect trackRect_;
};
