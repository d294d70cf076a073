#include "ui/zov_text.h"

#include <QPainter>

#include "ui/zov_mem_dc.h"

QString CZovText::CreateFailText() const {
  return QStringLiteral("CZovText::CreateEx fiele ............... \r\n");
}

void CZovText::paintEvent(QPaintEvent*) {
  QPainter target(this);
  const QRect client = rect();
  CZovMemDC mem(&target, client, true);
  QPainter& dc = mem.Painter();
  // The colour goes under the image too: an image smaller than the label
  // would otherwise leave the rest of it unpainted.
  dc.fillRect(client, ZovToQColor(backgroundColor));
  if (!backgroundImage.isNull()) dc.drawImage(0, 0, backgroundImage);
  if (font) dc.setFont(*font);
  dc.setPen(ZovToQColor(textColor));
  dc.drawText(client, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
}
