#pragma once
// CZovWarning: the borderless busy notice of the play window ("getgpsinfo"
// while a file's GPS track loads). It shows a message in its message
// rectangle and an eight-frame spinner (PNG 1801) that advances every
// 100 ms; a press anywhere moves the window (by the window system where it
// supports it). Layout and colours come from the resource library: window
// 1802, background 1803, spinner place 1810, message 1812, message colour
// 1814, message font 1815.
//
// Threads: made and shown on the user-interface thread; HideNotice may be
// called from any thread (it is carried out on the window's thread).
#include <cstdint>

#include <QFont>
#include <QImage>
#include <QString>

#include "shell/zov_resource_library.h"
#include "platform/zov_wnd.h"
#include "ui/zov_popup_place.h"

// The window's place: `size` centred in `workArea`, or the whole work area
// when it does not fit.
QRect ZovNoticeRect(const QSize& size, const QRect& workArea);

class CZovWarning : public CZovWnd {
 public:
  static constexpr int kFrames = 8;
  static constexpr UINT kSpinTimer = 1;
  static constexpr UINT kSpinMs = 100;
  // Resource ids.
  static constexpr int kSpinnerPng = 1801;
  static constexpr int kWindowRect = 1802;
  static constexpr int kBackground = 1803;
  static constexpr int kImageRect = 1810;
  static constexpr int kMessageRect = 1812;
  static constexpr int kMessageColor = 1814;
  static constexpr int kMessageFont = 1815;

  // Made hidden, with the skin loaded and centred.
  explicit CZovWarning(QWidget* parent = nullptr);
  ~CZovWarning() override;

  void ShowBusy(const QString& text);
  // Any thread.
  void HideNotice();
  // Places the window by ZovNoticeRect in the current work area.
  void Centre();

  int FrameIndex() const { return frameIndex_; }
  const QString& Text() const { return text_; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Skin, loaded by the constructor (owners and tests may change it).
  ZovRect imageRect;
  ZovRect messageRect;
  ZovRect windowRect;
  ZovColorRef backgroundColor = ZovRgb(30, 32, 38);
  ZovColorRef messageColor = ZovRgb(230, 233, 238);
  QFont messageFont;
  QImage spinner;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void OnSpin();
  void HideHere();

  int32_t frameIndex_ = 0;
  QString text_;
  CZovWindowDrag drag_;  // a press anywhere moves the notice
};
