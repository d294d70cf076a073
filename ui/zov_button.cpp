#include "ui/zov_button.h"

#include <QPainter>

#include "shell/zov_settings.h"

ZovColorRef ZovButtonTextColor(int sourceX, int stripWidth, ZovColorRef normal, ZovColorRef alternate) {
  return sourceX == 0 || sourceX == (stripWidth / 4) * 3 ? normal : alternate;
}

CZovButton::CZovButton() { fontFace = settings()->FontFace(); }

QString CZovButton::CreateFailText() const {
  return QStringLiteral("CZovButton::CreateEx fiele ............... \r\n");
}

void CZovButton::LoadImage(int pngId) { image_ = settings()->LoadPng(pngId); }

bool CZovButton::CreateEx(QWidget* parent, const ZovRect& rect, const QString& windowText, int id, int stateCount,
                          UINT style) {
  if (!CZovUiBase::CreateEx(parent, rect, windowText, id, style)) return false;
  stateCount_ = stateCount > 0 ? stateCount : 1;
  return true;
}

int CZovButton::SourceX() const {
  if (image_.isNull()) return 0;
  const int w = image_.width() / (2 * stateCount_);
  return pressFrameEnabled && pressed_ ? w * (2 * stateIndex + 1) : w * 2 * stateIndex;
}

void CZovButton::OnMouseMove(const QPoint&) {
  if (!tracked_) {
    TrackMouseLeave();
    tracked_ = 1;
  }
}

void CZovButton::OnLButtonDown(const QPoint&) {
  const uint64_t now = CZovUiEnv::Get().TickMs();
  if (!ZovTicksApart(now, lastPress_, kPressFilterMs)) return;
  lastPress_ = now;
  pressed_ = 1;
  tracked_ = 0;  // the next move asks again for a leave notice
  update();
}

void CZovButton::OnLButtonUp(const QPoint&) {
  if (!pressed_) return;
  ++clickCount_;
  pressed_ = 0;
  SendToParent(ZOVWM_CLICK, static_cast<WPARAM>(ControlId()), 0);
  update();
}

void CZovButton::OnMouseLeave() {
  if (!pressed_) return;
  pressed_ = 0;
  tracked_ = 0;
  update();
}

void CZovButton::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  const QRect client = rect();
  dc.fillRect(client, ZovToQColor(backgroundColor));
  const int sourceX = SourceX();
  if (!image_.isNull()) {
    const int w = image_.width() / (2 * stateCount_);
    dc.setRenderHint(QPainter::SmoothPixmapTransform);
    dc.drawImage(QRectF(client), image_, QRectF(sourceX, 0, w, image_.height()));
  }
  if (!text.isEmpty()) {
    // The font is made for this paint only.
    dc.setFont(CZovResourceLibrary::CreateFontOfHeight(fontHeight, fontFace));
    dc.setPen(ZovToQColor(ZovButtonTextColor(sourceX, image_.width(), textColor, altTextColor)));
    dc.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, text);
  }
}
