#include "export/zov_overlay_draw.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kKmhPerKnot = 1.852;
constexpr double kMphPerKnot = 1.150779;
// A fix older than this is not shown (the track has a gap there).
constexpr double kFixValidSeconds = 2.0;

std::string Format(const char* fmt, auto... args) {
  char buf[128];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

const char* CompassPoint(double degrees) {
  static const char* const kPoints[] = {"N", "NE", "E", "SE", "S", "SW", "W", "NW"};
  return kPoints[static_cast<int>(std::floor(std::fmod(degrees + 22.5, 360.0) / 45.0)) % 8];
}

}  // namespace

const ZovOverlayFix* ZovFixAt(const std::vector<ZovOverlayFix>& fixes, double cameraTime) {
  auto after = std::upper_bound(fixes.begin(), fixes.end(), cameraTime,
                                [](double t, const ZovOverlayFix& f) { return t < f.cameraTime; });
  if (after == fixes.begin()) return nullptr;
  const ZovOverlayFix& fix = *(after - 1);
  return cameraTime - fix.cameraTime <= kFixValidSeconds ? &fix : nullptr;
}

ZovOverlayText ZovOverlayTextOf(double shownTime, const ZovOverlayFix* fix, const std::string& channel,
                                ZovSpeedUnit unit, bool withPosition, const ZovCameraClock& clock) {
  ZovOverlayText text;
  const int64_t shown = static_cast<int64_t>(std::floor(shownTime));
  // The fix's GPS time carried forward to this instant (the fix may be up
  // to two seconds older than the picture).
  int64_t gpsUtc = 0;
  if (fix && fix->utc > 0)
    gpsUtc = fix->utc + std::llround(shownTime - clock.offsetSeconds - fix->cameraTime);
  const std::string date = ZovFormatCameraTime(shown).substr(0, 10);
  text.time = date + " " + ZovClockText(shown, gpsUtc, clock);
  for (char c : channel) text.channel += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (!fix) return text;
  text.speed = unit == ZovSpeedUnit::kMph ? Format("%.0f mph", fix->speedKnots * kMphPerKnot)
                                          : Format("%.0f km/h", fix->speedKnots * kKmhPerKnot);
  if (withPosition)
    text.position = Format("%c %.5f  %c %.5f", fix->latitude < 0 ? 'S' : 'N', std::fabs(fix->latitude),
                           fix->longitude < 0 ? 'W' : 'E', std::fabs(fix->longitude));
  if (fix->heading >= 0) {
    text.headingDegrees = std::fmod(fix->heading, 360.0);
    text.heading = Format("%s %.0f\xC2\xB0", CompassPoint(text.headingDegrees), text.headingDegrees);
  }
  return text;
}

int ZovOverlayStripHeight(int pictureHeight) { return std::max(16, pictureHeight / 14) & ~1; }

void ZovDrawOverlayStrip(QImage& strip, const ZovOverlayText& text) {
  QPainter painter(&strip);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const int h = strip.height(), w = strip.width();
  painter.fillRect(strip.rect(), QColor(0, 0, 0, 170));

  const QString left = QString::fromStdString(text.time + "   " + text.channel);
  QString right = QString::fromStdString(text.speed);
  if (!text.position.empty()) right += QStringLiteral("   ") + QString::fromStdString(text.position);
  if (!text.heading.empty()) right += QStringLiteral("   ") + QString::fromStdString(text.heading);
  const int compass = text.headingDegrees >= 0 ? h * 7 / 10 : 0;
  const int margin = h / 3;

  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  int pixels = std::max(6, h * 55 / 100);
  font.setPixelSize(pixels);
  // Shrink the text until both halves and the compass fit side by side.
  for (;;) {
    const QFontMetrics m(font);
    const int need = m.horizontalAdvance(left) + m.horizontalAdvance(right) + compass + 4 * margin;
    if (need <= w || pixels <= 6) break;
    pixels = std::max(6, pixels * w / need);
    font.setPixelSize(pixels);
  }
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(margin, 0, w - 2 * margin, h), Qt::AlignLeft | Qt::AlignVCenter, left);
  painter.drawText(QRect(margin, 0, w - 2 * margin - (compass ? compass + margin : 0), h),
                   Qt::AlignRight | Qt::AlignVCenter, right);
  if (compass) {
    // A ring with a needle pointing along the heading (north is up).
    const QPointF centre(w - margin - compass / 2.0, h / 2.0);
    const double r = compass / 2.0;
    painter.setPen(QPen(Qt::white, std::max(1.0, r / 6)));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, r, r);
    painter.translate(centre);
    painter.rotate(text.headingDegrees);
    QPainterPath needle;
    needle.moveTo(0, -r * 0.85);
    needle.lineTo(r * 0.35, r * 0.5);
    needle.lineTo(0, r * 0.25);
    needle.lineTo(-r * 0.35, r * 0.5);
    needle.closeSubpath();
    painter.fillPath(needle, QColor(255, 80, 60));
  }
}
