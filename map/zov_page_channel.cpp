#include "map/zov_page_channel.h"

#include <cmath>

#include <QFile>

void ZovPageChannel::seekNear(double latitude, double longitude) {
  if (!std::isfinite(latitude) || !std::isfinite(longitude)) return;
  emit SeekNear(latitude, longitude);
}

QString ZovPageChannelScript() {
  QFile library(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  if (!library.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(library.readAll()) +
         QStringLiteral(
             "\n;(function () {\n"
             "  if (typeof qt === 'undefined' || !qt.webChannelTransport) return;\n"
             "  new QWebChannel(qt.webChannelTransport, function (channel) {\n"
             "    window.zovPlayer = channel.objects.%1;\n"
             "  });\n"
             "})();\n")
             .arg(QLatin1String(kZovPageChannelName));
}
