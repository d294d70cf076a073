#pragma once
// CZovUiBase: the base of every owner-drawn child control (buttons, labels,
// sliders, scroll bar, video panes). A CZovWnd (QWidget with a window
// procedure) that
//  - is created as a child with CreateEx(parent, rectangle, text, id, style)
//    and keeps its control id, which travels as wParam in every
//    notification it sends to its parent;
//  - paints its whole client area itself (no background erase: the widget
//    is opaque to Qt), normally through a CZovMemDC (ui/zov_mem_dc.h);
//  - turns Qt's mouse events into the window-system input it was designed
//    on: OnLButtonDown/Up, OnMouseMove, OnMouseLeave (only after
//    TrackMouseLeave asked for it), OnLButtonDblClk. The pointer is not
//    captured by a press: a move outside the control is a leave and a
//    release outside it belongs to another window, so it is dropped;
//  - forwards a released Space key to its parent's WindowProc as
//    (WM_KEYUP, VK_SPACE, 0) before its own key handling, so the owning
//    window's play/pause handling works while a control has the focus.
//
// Notifications go to the parent only when the parent is a message target
// (a CZovWnd); a control without one sends nothing.
//
// CZovUiEnv is the one process-wide object behind the controls' clock, the
// mouse-button query, the no-caption message box and the desktop opener;
// tests replace its hooks to drive time and input without sleeping.
//
// Threads: user-interface thread only, as every QWidget.
#include <cstdint>
#include <functional>

#include <QPoint>
#include <QString>
#include <QUrl>

#include "platform/zov_wnd.h"
#include "shell/zov_resource_library.h"

class CZovSettings;
class QKeyEvent;
class QPainter;
class QMouseEvent;

// Window styles understood by CreateEx.
inline constexpr UINT kZovWsChild = 0x40000000;
inline constexpr UINT kZovWsVisible = 0x10000000;
inline constexpr UINT kZovWsClipChildren = 0x02000000;
// The style owners pass unless said otherwise.
inline constexpr UINT kZovWsChildVisible = kZovWsChild | kZovWsVisible;  // 0x50000000

// Title of a message box shown without a caption.
inline constexpr const char* kZovBoxNoCaptionTitle = "VOV EVIVAR WARNING.......";

// Process-wide environment of the controls.
class CZovUiEnv {
 public:
  static CZovUiEnv& Get();

  // Milliseconds of a monotonic clock that counts from system start (the
  // window system's tick count); controls compare them modulo 2^32.
  uint64_t TickMs() const;
  // Buttons of the pointing device that are down now.
  Qt::MouseButtons MouseButtons() const;
  // A modal message box with OK and no caption (kZovBoxNoCaptionTitle).
  void NoCaptionBox(const QString& text) const;
  // Opens a file, folder or address with the desktop's opener.
  void OpenWithDesktop(const QUrl& url) const;

  // Test hooks; an empty function restores the real behaviour.
  std::function<uint64_t()> tickHook;
  std::function<Qt::MouseButtons()> mouseButtonsHook;
  std::function<void(const QString&)> messageBoxHook;
  std::function<void(const QUrl&)> openHook;

  // Tick count of the last double click the video panes reported (one
  // limit for the whole program).
  uint64_t lastPaneDoubleClick = 0;
};

class CZovUiBase : public CZovWnd {
 public:
  // Default background colour of every control.
  static constexpr ZovColorRef kDefaultBackground = ZovRgb(50, 50, 50);

  CZovUiBase();
  ~CZovUiBase() override;

  // Makes the control a child of `parent` (a top-level window when null) at
  // `rect` (parent client coordinates), shown when the style has
  // kZovWsVisible. Stores id and rectangle. On failure (the control was
  // already created) shows the control's no-caption failure box and returns
  // false.
  bool CreateEx(QWidget* parent, const ZovRect& rect, const QString& text, int id,
                UINT style = kZovWsChildVisible);

  int ControlId() const { return controlId_; }
  const ZovRect& CreateRect() const { return createRect_; }
  bool IsCreated() const { return created_; }
  // The parent as a message target, or null (no parent, or a parent that is
  // not one of the program's windows).
  CZovMsgTarget* ParentTarget() const;

  // Set by the owner, then repaint.
  ZovColorRef backgroundColor = kDefaultBackground;

 protected:
  // Text of the failure box, exactly as the control shows it.
  virtual QString CreateFailText() const;

  // Window-system style input, in client coordinates.
  virtual void OnLButtonDown(const QPoint& pt) {}
  virtual void OnLButtonUp(const QPoint& pt) {}
  virtual void OnLButtonDblClk(const QPoint& pt) {}
  virtual void OnMouseMove(const QPoint& pt) {}
  virtual void OnMouseLeave() {}
  // A key released while the control has the focus (after the Space rule).
  virtual void OnKeyUp(QKeyEvent* event) {}

  // Asks for one OnMouseLeave when the pointer next leaves the control.
  void TrackMouseLeave() { leaveRequested_ = true; }

  // Notifications to the parent; nothing (0 / false) without a parent target.
  LRESULT SendToParent(UINT message, WPARAM wParam, LPARAM lParam);
  bool PostToParent(UINT message, WPARAM wParam, LPARAM lParam);

  CZovSettings* settings() const { return settings_; }

  // The common paint sequence: an off-screen copy of the client area, filled
  // with the background colour, is handed to `draw` (client coordinates) and
  // copied to the screen when `draw` returns.
  void PaintClient(const std::function<void(QPainter& dc, const QRect& client)>& draw);

  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;

 private:
  void DeliverLeave();

  CZovSettings* settings_ = nullptr;
  int controlId_ = 0;
  ZovRect createRect_;
  bool created_ = false;
  bool leaveRequested_ = false;
};

// True when more than `ms` milliseconds lie between two tick counts, compared
// as 32-bit counts (modulo 2^32), as the window system's tick count wraps.
inline bool ZovTicksApart(uint64_t now, uint64_t before, uint32_t ms) {
  return static_cast<uint32_t>(static_cast<uint32_t>(now) - static_cast<uint32_t>(before)) > ms;
}
