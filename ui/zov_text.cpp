#include "ui/zov_text.h"

#include <QPainter>


QString CZovText::CreateFailText() const {
  return QStringLiteral("CZovText::CreateEx fiele ............... \r\n");
}

void CZovText::paintEvent(QPaintEvent*) {
  // The colour goes under the image too: an image smaller than the label
  // would otherwise leave the rest of it unpainted.
  PaintClient([this](QPainter& dc, const QRect& client) {
    if (!backgroundImage.isNull()) dc.drawImage(0, 0, backgroundImage);
    if (font) dc.setFont(*font);
    dc.setPen(ZovToQColor(textColor));
    dc.drawText(client, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  });
}
