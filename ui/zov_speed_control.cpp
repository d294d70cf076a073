#include "ui/zov_speed_control.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

#include "platform/zov_messages.h"
#include "shell/zov_resource_library.h"

QString CZovSpeedControl::FactorText(int percent) {
  // Whole factors without decimals, the others with as many as they need.
  QString number = QString::number(percent / 100.0, 'f', percent % 100 == 0 ? 0 : (percent % 10 == 0 ? 1 : 2));
  return number + QChar(0x00D7);
}

void CZovSpeedControl::SetPercent(int value) {
  if (value == percent_) return;
  percent_ = value;
  update();
}

QString CZovSpeedControl::CreateFailText() const {
  return QStringLiteral("CZovSpeedControl::CreateEx fiele ............... \r\n");
}

void CZovSpeedControl::paintEvent(QPaintEvent*) {
  PaintClient([this](QPainter& dc, const QRect& client) {
    dc.setRenderHint(QPainter::Antialiasing);
    const QColor colour = ZovToQColor(percent_ == 100 ? frameColor : activeColor);
    dc.setPen(QPen(colour, 1.5));
    dc.setBrush(Qt::NoBrush);
    dc.drawRoundedRect(QRectF(client).adjusted(1, 1, -1, -1), 5, 5);
    QFont font = dc.font();
    font.setPixelSize(std::max(client.height() / 2, 9));
    font.setBold(true);
    dc.setFont(font);
    dc.setPen(ZovToQColor(percent_ == 100 ? textColor : activeColor));
    dc.drawText(client, Qt::AlignCenter | Qt::TextSingleLine, FactorText(percent_));
  });
}

void CZovSpeedControl::OnLButtonUp(const QPoint&) { SendToParent(ZOVWM_CLICK, WPARAM(ControlId()), 1); }

void CZovSpeedControl::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton) {
    SendToParent(ZOVWM_CLICK, WPARAM(ControlId()), -1);
    event->accept();
    return;
  }
  CZovUiBase::mousePressEvent(event);
}

void CZovSpeedControl::wheelEvent(QWheelEvent* event) {
  const int dy = event->angleDelta().y();
  if (dy != 0) SendToParent(ZOVWM_CLICK, WPARAM(ControlId()), dy > 0 ? 1 : -1);
  event->accept();
}
