#include "ui/zov_ui_base.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>

#include <chrono>

#include "shell/zov_settings.h"
#include "ui/zov_mem_dc.h"

CZovUiEnv& CZovUiEnv::Get() {
  static CZovUiEnv env;
  return env;
}

uint64_t CZovUiEnv::TickMs() const {
  if (tickHook) return tickHook();
  // steady_clock counts from system start on Linux, like the tick count.
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

Qt::MouseButtons CZovUiEnv::MouseButtons() const {
  if (mouseButtonsHook) return mouseButtonsHook();
  return QGuiApplication::mouseButtons();
}

void CZovUiEnv::NoCaptionBox(const QString& text) const {
  if (messageBoxHook) {
    messageBoxHook(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kZovBoxNoCaptionTitle), text, QMessageBox::Ok);
  box.exec();
}

void CZovUiEnv::OpenWithDesktop(const QUrl& url) const {
  if (openHook) {
    openHook(url);
    return;
  }
  QDesktopServices::openUrl(url);  // a failure is ignored
}

CZovUiBase::CZovUiBase() : settings_(CZovSettings::GetInstance()) {
  // The control paints every pixel itself: Qt neither erases nor paints the
  // parent beneath it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
}

CZovUiBase::~CZovUiBase() = default;

QString CZovUiBase::CreateFailText() const {
  return QStringLiteral("CZovButton::CreateEx fiele ............... \r\n");
}

bool CZovUiBase::CreateEx(QWidget* parent, const ZovRect& rect, const QString& text, int id, UINT style) {
  if (created_) {
    CZovUiEnv::Get().NoCaptionBox(CreateFailText());
    return false;
  }
  setParent(parent);
  setGeometry(rect.ToQRect());
  setWindowTitle(text);
  controlId_ = id;
  createRect_ = rect;
  created_ = true;
  setVisible((style & kZovWsVisible) != 0);
  return true;
}

void CZovUiBase::PaintClient(const std::function<void(QPainter& dc, const QRect& client)>& draw) {
  QPainter target(this);
  const QRect client = rect();
  CZovMemDC mem(&target, client, true);
  QPainter& dc = mem.Painter();
  dc.fillRect(client, ZovToQColor(backgroundColor));
  draw(dc, client);
}

CZovMsgTarget* CZovUiBase::ParentTarget() const {
  return dynamic_cast<CZovMsgTarget*>(parentWidget());
}

LRESULT CZovUiBase::SendToParent(UINT message, WPARAM wParam, LPARAM lParam) {
  CZovMsgTarget* parent = ParentTarget();
  return parent ? parent->SendMessage(message, wParam, lParam) : 0;
}

bool CZovUiBase::PostToParent(UINT message, WPARAM wParam, LPARAM lParam) {
  CZovMsgTarget* parent = ParentTarget();
  return parent ? parent->PostMessage(message, wParam, lParam) : false;
}

bool CZovUiBase::event(QEvent* event) {
  if (event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) SendToParent(WM_KEYUP, VK_SPACE, 0);
  }
  return CZovWnd::event(event);
}

void CZovUiBase::keyReleaseEvent(QKeyEvent* event) {
  OnKeyUp(event);
  event->accept();
}

void CZovUiBase::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) OnLButtonDown(event->position().toPoint());
}

void CZovUiBase::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint pt = event->position().toPoint();
  // Without a capture the release goes to the window under the pointer.
  if (rect().contains(pt)) OnLButtonUp(pt);
}

void CZovUiBase::mouseDoubleClickEvent(QMouseEvent* event) {
  // The class takes double clicks: the second press arrives as one, not as
  // another press.
  if (event->button() == Qt::LeftButton) OnLButtonDblClk(event->position().toPoint());
}

void CZovUiBase::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pt = event->position().toPoint();
  if (!rect().contains(pt)) {
    // Qt keeps sending moves to the pressed widget; here that means the
    // pointer has left it.
    DeliverLeave();
    return;
  }
  OnMouseMove(pt);
}

void CZovUiBase::leaveEvent(QEvent*) { DeliverLeave(); }

void CZovUiBase::DeliverLeave() {
  if (!leaveRequested_) return;
  leaveRequested_ = false;
  OnMouseLeave();
}
