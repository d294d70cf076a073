#pragma once
// CZovButton: the skinned push button drawn from a PNG strip (transport
// buttons, close buttons of panels). The strip holds 2 x state-count frames
// of equal width in pairs: for state s, frame 2s is the normal look and
// frame 2s + 1 the pressed look. A press is accepted only when more than
// 500 ms have passed since the last accepted one; a release after an
// accepted press is a click, sent to the parent as ZOVWM_CLICK (wParam =
// control id, lParam 0) by SendMessage; leaving the button cancels the
// press. Paints straight into its paint device (no off-screen copy).
//
// Threads: user-interface thread only.
#include <cstdint>

#include <QImage>
#include <QString>

#include "ui/zov_ui_base.h"

class CZovButton : public CZovUiBase {
 public:
  // Presses closer together than this are ignored.
  static constexpr uint32_t kPressFilterMs = 500;

  CZovButton();

  // Loads the strip (PNG resource `pngId`); on any failure the button has no
  // image and paints background and text only.
  void LoadImage(int pngId);
  // Uses `strip` as the image (null: no image).
  void SetImage(const QImage& strip) { image_ = strip; }
  const QImage& Image() const { return image_; }
  // CreateEx of the base that also stores the state count (at least 1).
  bool CreateEx(QWidget* parent, const ZovRect& rect, const QString& text, int id, int stateCount = 1,
                UINT style = kZovWsChildVisible);

  // The strip's x of the frame shown now (0 without an image).
  int SourceX() const;
  bool IsPressed() const { return pressed_ != 0; }
  int ClickCount() const { return clickCount_; }
  int StateCount() const { return stateCount_; }

  // Set by the owner, then repaint.
  QString text;
  int fontHeight = 12;
  ZovColorRef textColor = ZovRgb(250, 250, 250);
  ZovColorRef altTextColor = ZovRgb(250, 250, 250);
  QString fontFace;  // the settings' face unless set
  int stateIndex = 0;
  uint8_t pressFrameEnabled = 1;

 protected:
  QString CreateFailText() const override;
  void OnLButtonDown(const QPoint& pt) override;
  void OnLButtonUp(const QPoint& pt) override;
  void OnMouseMove(const QPoint& pt) override;
  void OnMouseLeave() override;
  void paintEvent(QPaintEvent* event) override;

 private:
  uint8_t pressed_ = 0;
  uint8_t tracked_ = 0;
  int32_t clickCount_ = 0;
  QImage image_;
  int32_t stateCount_ = 1;
  uint64_t lastPress_ = 0;
};

// Text colour of a button whose frame starts at `sourceX` of a strip
// `stripWidth` wide: the normal colour for the strip's first frame and for
// the frame at (stripWidth / 4) * 3, else the alternate colour.
ZovColorRef ZovButtonTextColor(int sourceX, int stripWidth, ZovColorRef normal, ZovColorRef alternate);
