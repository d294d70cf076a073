#include "app/zov_program_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <vector>

namespace {

// Skin palette: dial face, rim, secondary strokes, accent, white.
const QColor kFace(24, 26, 31);
const QColor kFaceRim(64, 69, 78);
const QColor kRoad(150, 156, 166);
const QColor kAccent(0, 150, 255);
const QColor kMark(255, 255, 255);

// One shape in unit coordinates (0..1 of the icon's side).
struct Shape {
  enum Kind { kRoundRect, kPolygon, kCircle } kind;
  std::vector<QPointF> points;  // round rect: top-left, size; circle: centre, (radius, 0)
  double radius = 0;            // corner radius of a round rect
  QColor fill;
  QColor rim;                   // invalid: no outline
};

const std::vector<Shape>& Shapes() {
  static const std::vector<Shape> shapes = {
      {Shape::kRoundRect, {{0.03, 0.03}, {0.94, 0.94}}, 0.18, kFace, kFaceRim},
      {Shape::kPolygon, {{0.20, 0.93}, {0.80, 0.93}, {0.56, 0.62}, {0.44, 0.62}}, 0, kRoad, QColor()},
      {Shape::kPolygon, {{0.485, 0.91}, {0.515, 0.91}, {0.508, 0.80}, {0.492, 0.80}}, 0, kFace, QColor()},
      {Shape::kCircle, {{0.5, 0.40}, {0.26, 0}}, 0, kAccent, QColor()},
      {Shape::kPolygon, {{0.42, 0.27}, {0.42, 0.53}, {0.64, 0.40}}, 0, kMark, QColor()},
  };
  return shapes;
}

constexpr double kRimWidth = 0.02;
constexpr int kSvgSide = 256;

QString SvgColour(const QColor& c) { return c.name(QColor::HexRgb); }

}  // namespace

QImage ZovDrawProgramIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size, size);
  for (const Shape& s : Shapes()) {
    p.setPen(s.rim.isValid() ? QPen(s.rim, kRimWidth) : QPen(Qt::NoPen));
    p.setBrush(s.fill);
    switch (s.kind) {
      case Shape::kRoundRect:
        p.drawRoundedRect(QRectF(s.points[0], QSizeF(s.points[1].x(), s.points[1].y())), s.radius, s.radius);
        break;
      case Shape::kPolygon:
        p.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
        break;
      case Shape::kCircle:
        p.drawEllipse(s.points[0], s.points[1].x(), s.points[1].x());
        break;
    }
  }
  return image;
}

QString ZovProgramIconSvg() {
  const double k = kSvgSide;
  QString svg = QStringLiteral(
                    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n")
                    .arg(kSvgSide);
  for (const Shape& s : Shapes()) {
    QString paint = QStringLiteral("fill=\"%1\"").arg(SvgColour(s.fill));
    if (s.rim.isValid()) paint += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"").arg(SvgColour(s.rim)).arg(kRimWidth * k);
    switch (s.kind) {
      case Shape::kRoundRect:
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" rx=\"%5\" %6/>\n")
                   .arg(s.points[0].x() * k).arg(s.points[0].y() * k)
                   .arg(s.points[1].x() * k).arg(s.points[1].y() * k)
                   .arg(s.radius * k).arg(paint);
        break;
      case Shape::kPolygon: {
        QString pts;
        for (const QPointF& pt : s.points) pts += QStringLiteral("%1,%2 ").arg(pt.x() * k).arg(pt.y() * k);
        svg += QStringLiteral("  <polygon points=\"%1\" %2/>\n").arg(pts.trimmed(), paint);
        break;
      }
      case Shape::kCircle:
        svg += QStringLiteral("  <circle cx=\"%1\" cy=\"%2\" r=\"%3\" %4/>\n")
                   .arg(s.points[0].x() * k).arg(s.points[0].y() * k).arg(s.points[1].x() * k).arg(paint);
        break;
    }
  }
  svg += QStringLiteral("</svg>\n");
  return svg;
}

QIcon ZovProgramIcon() {
  QIcon icon;
  for (int size : kZovIconSizes) icon.addPixmap(QPixmap::fromImage(ZovDrawProgramIcon(size)));
  return icon;
}

// The lens and the road are mid-tones: they make the silhouette. The dark
// tile behind them and the white play mark and centre line are left out, so
// the mark reads as the icon's lens with its play mark cut out, over a road.
constexpr int kSilhouetteLeast = 64;
constexpr int kSilhouetteMost = 200;

QImage ZovProgramIconSilhouette(int size, QRgb colour) {
  QImage shape = ZovDrawProgramIcon(size).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < shape.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(shape.scanLine(y));
    for (int x = 0; x < shape.width(); ++x) {
      const int grey = qGray(line[x]);
      const bool drawn = qAlpha(line[x]) >= 128 && grey >= kSilhouetteLeast && grey < kSilhouetteMost;
      line[x] = drawn ? (colour | 0xFF000000u) : 0u;
    }
  }
  return shape;
}
