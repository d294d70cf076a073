#include "ui/zov_warning.h"

#include <QMouseEvent>
#include <QPainter>

#include "shell/zov_settings.h"

namespace {

// Posted to itself by HideNotice from another thread.
constexpr UINT kMsgHideNotice = WM_USER + 1;

}  // namespace

QRect ZovNoticeRect(const QSize& size, const QRect& workArea) {
  if (size.width() > workArea.width() || size.height() > workArea.height()) return workArea;
  return ZovCentreIn(size, workArea);
}

CZovWarning::CZovWarning(QWidget* parent) : CZovWnd(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  CZovSettings* settings = CZovSettings::GetInstance();
  imageRect = settings->LoadRect(kImageRect);
  messageRect = settings->LoadRect(kMessageRect);
  windowRect = settings->LoadRect(kWindowRect);
  backgroundColor = settings->LoadColor(kBackground);
  messageColor = settings->LoadColor(kMessageColor);
  messageFont = settings->CreateNormalFont(kMessageFont);
  spinner = settings->LoadPng(kSpinnerPng);
  frameIndex_ = 0;
  Centre();
}

CZovWarning::~CZovWarning() = default;

void CZovWarning::Centre() {
  setGeometry(ZovNoticeRect(QSize(windowRect.Width(), windowRect.Height()), ZovWorkArea(this)));
}

void CZovWarning::ShowBusy(const QString& text) {
  text_ = text;
  frameIndex_ = 0;
  SetTimer(kSpinTimer, kSpinMs);
  Centre();
  repaint(imageRect.ToQRect());
  show();
  raise();
  update();
}

void CZovWarning::HideNotice() {
  if (!IsOwnThread()) {
    PostMessage(kMsgHideNotice);
    return;
  }
  HideHere();
}

void CZovWarning::HideHere() {
  text_.clear();
  KillTimer(kSpinTimer);
  frameIndex_ = 0;
  hide();
}

LRESULT CZovWarning::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kSpinTimer) OnSpin();
  else if (message == kMsgHideNotice) HideHere();
  return CZovWnd::WindowProc(message, wParam, lParam);
}

void CZovWarning::OnSpin() {
  frameIndex_ = frameIndex_ >= kFrames - 1 ? 0 : frameIndex_ + 1;
  update(imageRect.ToQRect());
}

void CZovWarning::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  dc.fillRect(rect(), ZovToQColor(backgroundColor));
  if (!text_.isEmpty()) {
    dc.setFont(messageFont);
    dc.setPen(ZovToQColor(messageColor));
    dc.drawText(messageRect.ToQRect(), Qt::AlignCenter | Qt::TextWordWrap, text_);
  }
  if (!spinner.isNull()) {
    const int frameWidth = spinner.width() / kFrames;
    const int sourceX = spinner.width() * frameIndex_ / kFrames;
    dc.drawImage(QPoint(imageRect.left, imageRect.top), spinner, QRect(sourceX, 0, frameWidth, spinner.height()));
  }
}

// Moved as if its caption had been pressed.
void CZovWarning::mousePressEvent(QMouseEvent* event) { drag_.Press(this, event); }

void CZovWarning::mouseMoveEvent(QMouseEvent* event) { drag_.Move(this, event); }

void CZovWarning::mouseReleaseEvent(QMouseEvent*) { drag_.Release(); }
