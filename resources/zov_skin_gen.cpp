// Draws every skin image of the resource library with QPainter and writes
//   <out>/png/<id>.png          one file per image, for people to look at;
//   <out>/zov_skin_data.cpp     the same PNG bytes as arrays, compiled into
//                               libzovQuelnaResource.so.
// Run at build time: zov_skin_gen <out folder>.
//
// Strips: a button image holds 2 x state-count frames side by side, for each
// state its normal look then its pressed look; the busy spinner holds eight
// frames. Colours follow the dark palette of zov_resource_strings.cpp.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

// Palette (kept in step with the colour strings of the library).
const QColor kIcon(214, 219, 227);         // idle glyphs
const QColor kIconDim(150, 156, 166);      // secondary strokes
const QColor kAccent(0, 150, 255);         // the one highlight colour of the skin
const QColor kAccentDark(0, 108, 196);     // accent while pressed
const QColor kPressFill(255, 255, 255, 28);// soft plate behind a pressed glyph
const QColor kDanger(226, 62, 62);         // close button, red zone, north
const QColor kFace(24, 26, 31);            // dial faces
const QColor kFaceRim(64, 69, 78);

const char* kFontFace = "Noto Sans CJK SC";

using Painter = std::function<void(QPainter&, const QRectF& frame, bool pressed, int state)>;

// A button strip of `states` states, each frame w x h.
QImage ButtonStrip(int w, int h, int states, const Painter& draw) {
  QImage img(w * 2 * states, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  for (int s = 0; s < states; ++s) {
    for (int pressed = 0; pressed < 2; ++pressed) {
      const QRectF frame((2 * s + pressed) * w, 0, w, h);
      p.save();
      p.setClipRect(frame);
      if (pressed) {
        p.setPen(Qt::NoPen);
        p.setBrush(kPressFill);
        p.drawRoundedRect(frame.adjusted(1, 1, -1, -1), 6, 6);
      }
      draw(p, frame, pressed != 0, s);
      p.restore();
    }
  }
  return img;
}

QColor GlyphColor(bool pressed) { return pressed ? kAccent : kIcon; }

// Maps unit coordinates (0..1 of the frame's inner square) to pixels.
struct Grid {
  QRectF box;
  explicit Grid(const QRectF& frame, double inset) {
    const double side = std::min(frame.width(), frame.height()) - 2 * inset;
    box = QRectF(frame.center().x() - side / 2, frame.center().y() - side / 2, side, side);
  }
  QPointF at(double x, double y) const { return {box.left() + x * box.width(), box.top() + y * box.height()}; }
  double len(double v) const { return v * box.width(); }
};

void Triangle(QPainter& p, QPointF a, QPointF b, QPointF c, const QColor& col) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  path.lineTo(c);
  path.closeSubpath();
  p.fillPath(path, col);
}

void RoundBar(QPainter& p, const QRectF& r, const QColor& col) {
  p.setPen(Qt::NoPen);
  p.setBrush(col);
  p.drawRoundedRect(r, r.width() / 3, r.width() / 3);
}

// ---- transport glyphs ----

void DrawPrevious(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 9);
  const QColor c = GlyphColor(pressed);
  RoundBar(p, QRectF(g.at(0.12, 0.18), g.at(0.26, 0.82)), c);
  Triangle(p, g.at(0.30, 0.5), g.at(0.88, 0.16), g.at(0.88, 0.84), c);
}

void DrawNext(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 9);
  const QColor c = GlyphColor(pressed);
  RoundBar(p, QRectF(g.at(0.74, 0.18), g.at(0.88, 0.82)), c);
  Triangle(p, g.at(0.70, 0.5), g.at(0.12, 0.16), g.at(0.12, 0.84), c);
}

// One picture back / forward: a short triangle against a bar on its inner
// side, unlike previous / next whose bar stands at the outer edge.
void DrawStepBack(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 10);
  const QColor c = GlyphColor(pressed);
  Triangle(p, g.at(0.14, 0.5), g.at(0.62, 0.2), g.at(0.62, 0.8), c);
  RoundBar(p, QRectF(g.at(0.72, 0.2), g.at(0.86, 0.8)), c);
}

void DrawStepForward(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 10);
  const QColor c = GlyphColor(pressed);
  RoundBar(p, QRectF(g.at(0.14, 0.2), g.at(0.28, 0.8)), c);
  Triangle(p, g.at(0.86, 0.5), g.at(0.38, 0.2), g.at(0.38, 0.8), c);
}

void DrawStop(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 11);
  p.setPen(Qt::NoPen);
  p.setBrush(GlyphColor(pressed));
  p.drawRoundedRect(QRectF(g.at(0.1, 0.1), g.at(0.9, 0.9)), g.len(0.12), g.len(0.12));
}

// State 0: the play look; state 1: the pause look. A filled accent disc
// makes the main button stand out from the row.
void DrawPlayPause(QPainter& p, const QRectF& f, bool pressed, int state) {
  Grid g(f, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(pressed ? kAccentDark : kAccent);
  p.drawEllipse(g.box);
  const QColor white(255, 255, 255);
  if (state == 0) {
    Triangle(p, g.at(0.38, 0.27), g.at(0.38, 0.73), g.at(0.76, 0.5), white);
  } else {
    RoundBar(p, QRectF(g.at(0.33, 0.28), g.at(0.44, 0.72)), white);
    RoundBar(p, QRectF(g.at(0.56, 0.28), g.at(0.67, 0.72)), white);
  }
}

void DrawOpenFile(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 8);
  const QColor c = GlyphColor(pressed);
  QPainterPath back;
  back.moveTo(g.at(0.08, 0.22));
  back.lineTo(g.at(0.38, 0.22));
  back.lineTo(g.at(0.46, 0.32));
  back.lineTo(g.at(0.86, 0.32));
  back.lineTo(g.at(0.86, 0.80));
  back.lineTo(g.at(0.08, 0.80));
  back.closeSubpath();
  p.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  p.drawPath(back);
  QPainterPath lid;
  lid.moveTo(g.at(0.08, 0.80));
  lid.lineTo(g.at(0.22, 0.46));
  lid.lineTo(g.at(0.96, 0.46));
  lid.lineTo(g.at(0.86, 0.80));
  lid.closeSubpath();
  p.fillPath(lid, c);
}

void DrawScreenshot(QPainter& p, const QRectF& f, bool pressed, int state) {
  Grid g(f, 8);
  const QColor c = (pressed || state == 1) ? kAccent : kIcon;
  QPainterPath body;
  body.addRoundedRect(QRectF(g.at(0.06, 0.30), g.at(0.94, 0.84)), g.len(0.1), g.len(0.1));
  QPainterPath hump;
  hump.moveTo(g.at(0.30, 0.31));
  hump.lineTo(g.at(0.38, 0.18));
  hump.lineTo(g.at(0.62, 0.18));
  hump.lineTo(g.at(0.70, 0.31));
  hump.closeSubpath();
  QPainterPath lens;
  lens.addEllipse(g.at(0.5, 0.57), g.len(0.17), g.len(0.17));
  p.fillPath(body.united(hump).subtracted(lens), c);
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawEllipse(g.at(0.5, 0.57), g.len(0.09), g.len(0.09));
  if (state == 1) {
    // Second state: a flash spark beside the camera.
    QPainterPath spark;
    const QPointF s = g.at(0.86, 0.14);
    const double r = g.len(0.13), k = g.len(0.035);
    spark.moveTo(s + QPointF(0, -r));
    spark.lineTo(s + QPointF(k, -k));
    spark.lineTo(s + QPointF(r, 0));
    spark.lineTo(s + QPointF(k, k));
    spark.lineTo(s + QPointF(0, r));
    spark.lineTo(s + QPointF(-k, k));
    spark.lineTo(s + QPointF(-r, 0));
    spark.lineTo(s + QPointF(-k, -k));
    spark.closeSubpath();
    p.fillPath(spark, QColor(255, 220, 90));
  }
}

// State 0: sound on; state 1: muted.
void DrawSound(QPainter& p, const QRectF& f, bool pressed, int state) {
  Grid g(f, 8);
  const QColor c = GlyphColor(pressed);
  QPainterPath speaker;
  speaker.moveTo(g.at(0.08, 0.38));
  speaker.lineTo(g.at(0.26, 0.38));
  speaker.lineTo(g.at(0.50, 0.16));
  speaker.lineTo(g.at(0.50, 0.84));
  speaker.lineTo(g.at(0.26, 0.62));
  speaker.lineTo(g.at(0.08, 0.62));
  speaker.closeSubpath();
  p.fillPath(speaker, state == 1 ? kIconDim : c);
  if (state == 0) {
    p.setPen(QPen(c, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF centre = g.at(0.50, 0.5);
    for (double r : {0.18, 0.34}) {
      const double rr = g.len(r);
      p.drawArc(QRectF(centre.x() - rr, centre.y() - rr, 2 * rr, 2 * rr), -45 * 16, 90 * 16);
    }
  } else {
    p.setPen(QPen(pressed ? kAccent : kDanger, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(g.at(0.62, 0.36), g.at(0.90, 0.64));
    p.drawLine(g.at(0.90, 0.36), g.at(0.62, 0.64));
  }
}

// ---- title buttons ----

void DrawClose(QPainter& p, const QRectF& f, bool pressed, int) {
  if (pressed) {
    p.setPen(Qt::NoPen);
    p.setBrush(kDanger);
    p.drawRoundedRect(f.adjusted(1, 1, -1, -1), 6, 6);
  }
  Grid g(f, 9);
  p.setPen(QPen(pressed ? QColor(255, 255, 255) : kIcon, 2.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(g.at(0.1, 0.1), g.at(0.9, 0.9));
  p.drawLine(g.at(0.9, 0.1), g.at(0.1, 0.9));
}

// State 0: maximise (one square); state 1: restore (two squares).
void DrawMaximise(QPainter& p, const QRectF& f, bool pressed, int state) {
  Grid g(f, 9);
  p.setPen(QPen(GlyphColor(pressed), 1.8));
  p.setBrush(Qt::NoBrush);
  if (state == 0) {
    p.drawRoundedRect(QRectF(g.at(0.08, 0.08), g.at(0.92, 0.92)), 2, 2);
  } else {
    p.drawRoundedRect(QRectF(g.at(0.30, 0.06), g.at(0.94, 0.70)), 2, 2);
    p.setBrush(QColor(28, 30, 34));
    p.drawRoundedRect(QRectF(g.at(0.06, 0.30), g.at(0.70, 0.94)), 2, 2);
  }
}

void DrawMinimise(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 9);
  p.setPen(QPen(GlyphColor(pressed), 2.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(g.at(0.1, 0.62), g.at(0.9, 0.62));
}

// State 0 (the map shows): a gear that opens the settings page; state 1
// (the settings show): a map pin that goes back to the map.
void DrawPanelSwitch(QPainter& p, const QRectF& f, bool pressed, int state) {
  Grid g(f, 7);
  const QColor c = GlyphColor(pressed);
  if (state == 0) {
    QPainterPath gear;
    const QPointF centre = g.at(0.5, 0.5);
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
      const double a = M_PI * 2 * i / (teeth * 2);
      const double r = g.len(i % 2 == 0 ? 0.46 : 0.34);
      const double a2 = a + M_PI * 2 / (teeth * 2);
      const QPointF p1 = centre + QPointF(r * std::sin(a), -r * std::cos(a));
      const QPointF p2 = centre + QPointF(r * std::sin(a2), -r * std::cos(a2));
      if (i == 0) gear.moveTo(p1); else gear.lineTo(p1);
      gear.lineTo(p2);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(centre, g.len(0.15), g.len(0.15));
    p.fillPath(gear.subtracted(hole), c);
  } else {
    QPainterPath pin;
    const QPointF top = g.at(0.5, 0.36);
    const double r = g.len(0.30);
    pin.moveTo(g.at(0.5, 0.96));
    pin.arcTo(QRectF(top.x() - r, top.y() - r, 2 * r, 2 * r), 215, -250);
    pin.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(top, g.len(0.11), g.len(0.11));
    p.fillPath(pin.subtracted(hole), c);
  }
}

// ---- setup page ----

// Two states: off (grey pill, knob left) and on (accent pill, knob right).
void DrawToggle(QPainter& p, const QRectF& f, bool pressed, int state) {
  const QRectF pill = f.adjusted(3, f.height() * 0.2, -3, -f.height() * 0.2);
  p.setPen(Qt::NoPen);
  QColor track = state ? kAccent : QColor(78, 83, 93);
  if (pressed) track = track.darker(125);
  p.setBrush(track);
  p.drawRoundedRect(pill, pill.height() / 2, pill.height() / 2);
  const double r = pill.height() / 2 - 2;
  const QPointF knob(state ? pill.right() - r - 2 : pill.left() + r + 2, pill.center().y());
  p.setBrush(QColor(245, 247, 250));
  p.drawEllipse(knob, r, r);
}

void DrawFolder(QPainter& p, const QRectF& f, bool pressed, int) {
  Grid g(f, 4);
  const QColor c = pressed ? kAccent : QColor(236, 190, 80);
  QPainterPath folder;
  folder.moveTo(g.at(0.05, 0.20));
  folder.lineTo(g.at(0.40, 0.20));
  folder.lineTo(g.at(0.50, 0.32));
  folder.lineTo(g.at(0.95, 0.32));
  folder.lineTo(g.at(0.95, 0.82));
  folder.lineTo(g.at(0.05, 0.82));
  folder.closeSubpath();
  p.fillPath(folder, c);
  p.setPen(QPen(c.darker(140), 1.0));
  p.drawLine(g.at(0.05, 0.42), g.at(0.95, 0.42));
}

// ---- list, popups ----

void DrawArrow(QPainter& p, const QRectF& f, bool pressed, bool up) {
  Grid g(f, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(pressed ? kAccent : QColor(58, 62, 70));
  p.drawRoundedRect(g.box, 3, 3);
  const QColor c = pressed ? QColor(255, 255, 255) : kIcon;
  if (up) Triangle(p, g.at(0.5, 0.28), g.at(0.2, 0.68), g.at(0.8, 0.68), c);
  else Triangle(p, g.at(0.5, 0.72), g.at(0.2, 0.32), g.at(0.8, 0.32), c);
}

// ---- sliders ----

QImage Thumb(int w, int h, double radius) {
  QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(w / 2.0, h / 2.0);
  QRadialGradient glow(c, radius + 3);
  glow.setColorAt(0.6, QColor(0, 150, 255, 90));
  glow.setColorAt(1.0, QColor(0, 150, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(glow);
  p.drawEllipse(c, radius + 3, radius + 3);
  p.setBrush(QColor(245, 247, 250));
  p.drawEllipse(c, radius, radius);
  p.setBrush(kAccent);
  p.drawEllipse(c, radius * 0.45, radius * 0.45);
  return img;
}

// ---- dials ----

// Angle 0 of the speed needle is the "0" mark; 220 km/h is 260 degrees
// further clockwise, so the scale runs from -130 to +130 degrees around the
// top and leaves the bottom free for the caption.
constexpr double kSpeedStartDeg = -130.0;
constexpr double kSpeedSweepDeg = 260.0;
constexpr int kSpeedMax = 220;

QPointF Polar(const QPointF& c, double r, double degFromUp) {
  const double a = qDegreesToRadians(degFromUp);
  return c + QPointF(r * std::sin(a), -r * std::cos(a));
}

void DialDisc(QPainter& p, int size) {
  const QPointF c(size / 2.0, size / 2.0);
  QRadialGradient bg(c * 0.9, size / 2.0);
  bg.setColorAt(0.0, QColor(40, 43, 50));
  bg.setColorAt(1.0, kFace);
  p.setPen(QPen(kFaceRim, 2.0));
  p.setBrush(bg);
  p.drawEllipse(c, size / 2.0 - 2, size / 2.0 - 2);
}

QImage SpeedFace(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DialDisc(p, size);
  const QPointF c(size / 2.0, size / 2.0);
  const double rOuter = size / 2.0 - 8;
  // Coloured band: accent up to 120, amber to 160, red beyond.
  auto band = [&](int from, int to, const QColor& col) {
    const double a0 = kSpeedStartDeg + kSpeedSweepDeg * from / kSpeedMax;
    const double a1 = kSpeedStartDeg + kSpeedSweepDeg * to / kSpeedMax;
    p.setPen(QPen(col, 3.0, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const QRectF arc(c.x() - rOuter, c.y() - rOuter, 2 * rOuter, 2 * rOuter);
    // Qt angles: 0 = 3 o'clock, counter-clockwise positive, in 1/16 degree.
    p.drawArc(arc, int((90 - a0) * 16), int(-(a1 - a0) * 16));
  };
  band(0, 120, kAccent);
  band(120, 160, QColor(240, 180, 40));
  band(160, kSpeedMax, kDanger);
  QFont font(kFontFace);
  font.setPixelSize(std::max(8, size / 12));
  p.setFont(font);
  for (int v = 0; v <= kSpeedMax; v += 10) {
    const double a = kSpeedStartDeg + kSpeedSweepDeg * v / kSpeedMax;
    const bool major = v % 20 == 0;
    p.setPen(QPen(major ? QColor(235, 238, 242) : kIconDim, major ? 1.8 : 1.0));
    p.drawLine(Polar(c, rOuter - 3, a), Polar(c, rOuter - (major ? 11 : 7), a));
    if (v % 40 == 0) {
      const QPointF t = Polar(c, rOuter - 20, a);
      p.setPen(QColor(200, 205, 214));
      p.drawText(QRectF(t.x() - 14, t.y() - 8, 28, 16), Qt::AlignCenter, QString::number(v));
    }
  }
  return img;
}

QImage SpeedNeedle(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size / 2.0, size / 2.0);
  p.translate(c);
  p.rotate(kSpeedStartDeg);  // the needle rests on the "0" mark
  QPainterPath needle;
  needle.moveTo(-3.0, 8.0);
  needle.lineTo(0.0, -(size / 2.0 - 14));
  needle.lineTo(3.0, 8.0);
  needle.closeSubpath();
  p.fillPath(needle, QColor(255, 96, 48));
  p.resetTransform();
  p.setPen(QPen(QColor(20, 22, 26), 1.5));
  p.setBrush(QColor(210, 214, 222));
  p.drawEllipse(c, 5, 5);
  return img;
}

QImage CompassFace(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  DialDisc(p, size);
  const QPointF c(size / 2.0, size / 2.0);
  const double r = size / 2.0 - 7;
  for (int a = 0; a < 360; a += 15) {
    const bool major = a % 90 == 0;
    const bool mid = a % 45 == 0;
    p.setPen(QPen(major ? QColor(235, 238, 242) : kIconDim, major ? 2.0 : 1.0));
    p.drawLine(Polar(c, r, a), Polar(c, r - (major ? 8 : mid ? 6 : 4), a));
  }
  QFont font(kFontFace);
  font.setPixelSize(std::max(9, size / 9));
  font.setBold(true);
  p.setFont(font);
  const char* letters[4] = {"N", "E", "S", "W"};
  for (int i = 0; i < 4; ++i) {
    const QPointF t = Polar(c, r - 17, i * 90);
    p.setPen(i == 0 ? kDanger : QColor(220, 224, 230));
    p.drawText(QRectF(t.x() - 10, t.y() - 9, 20, 18), Qt::AlignCenter, letters[i]);
  }
  return img;
}

QImage CompassNeedle(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QPointF c(size / 2.0, size / 2.0);
  const double len = size / 2.0 - 28;
  QPainterPath north;
  north.moveTo(c + QPointF(-6, 0));
  north.lineTo(c + QPointF(0, -len));
  north.lineTo(c + QPointF(6, 0));
  north.closeSubpath();
  QPainterPath south;
  south.moveTo(c + QPointF(-6, 0));
  south.lineTo(c + QPointF(0, len));
  south.lineTo(c + QPointF(6, 0));
  south.closeSubpath();
  p.fillPath(north, kDanger);
  p.fillPath(south, QColor(225, 229, 235));
  p.setPen(QPen(QColor(20, 22, 26), 1.5));
  p.setBrush(QColor(60, 64, 72));
  p.drawEllipse(c, 4, 4);
  return img;
}

// Eight frames of a ring of dots; the bright dot moves one step per frame
// and leaves a fading tail.
QImage Spinner(int size) {
  constexpr int kFrames = 8;
  QImage img(size * kFrames, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  for (int f = 0; f < kFrames; ++f) {
    const QPointF c(f * size + size / 2.0, size / 2.0);
    for (int d = 0; d < kFrames; ++d) {
      const int age = (f - d + kFrames) % kFrames;  // 0 = the lit dot
      QColor col = kAccent;
      col.setAlpha(255 - age * 28);
      const double r = size * (age == 0 ? 0.085 : 0.07);
      p.setBrush(col);
      p.drawEllipse(Polar(c, size * 0.36, d * 45.0), r, r);
    }
  }
  return img;
}

struct SkinImage {
  int id;
  const char* name;
  QImage image;
};

std::vector<SkinImage> DrawSkin() {
  std::vector<SkinImage> out;
  auto strip = [&](int id, const char* name, int w, int h, int states, const Painter& draw) {
    out.push_back({id, name, ButtonStrip(w, h, states, draw)});
  };
  // Title strip (28 x 28 frames).
  strip(10101, "close", 28, 28, 1, DrawClose);
  strip(10102, "panel switch", 28, 28, 2, DrawPanelSwitch);
  strip(10103, "maximise / restore", 28, 28, 2, DrawMaximise);
  strip(10104, "minimise", 28, 28, 1, DrawMinimise);
  // Transport row (36 x 36 frames, play 40 x 40).
  strip(10151, "previous", 36, 36, 1, DrawPrevious);
  strip(10152, "next", 36, 36, 1, DrawNext);
  strip(10153, "play / pause", 40, 40, 2, DrawPlayPause);
  strip(10154, "stop", 36, 36, 1, DrawStop);
  strip(10155, "open file", 36, 36, 1, DrawOpenFile);
  strip(10156, "screenshot", 36, 36, 2, DrawScreenshot);
  strip(10157, "sound on / off", 36, 36, 2, DrawSound);
  strip(10159, "picture back", 36, 36, 1, DrawStepBack);
  strip(10160, "picture forward", 36, 36, 1, DrawStepForward);
  out.push_back({10158, "volume thumb", Thumb(14, 20, 5.5)});
  out.push_back({10162, "seek thumb", Thumb(16, 20, 6.5)});
  // Map panel dials (110 x 110; needles are full-size overlays).
  out.push_back({10201, "speedometer face", SpeedFace(110)});
  out.push_back({10202, "speedometer needle", SpeedNeedle(110)});
  out.push_back({10203, "compass face", CompassFace(110)});
  out.push_back({10204, "compass needle", CompassNeedle(110)});
  // Setup page.
  strip(10271, "track toggle", 44, 22, 2, DrawToggle);
  strip(10275, "folder", 25, 25, 1, DrawFolder);
  // File list scroll arrows (14 x 14 frames).
  strip(10281, "scroll up", 14, 14, 1, [](QPainter& p, const QRectF& f, bool pr, int) { DrawArrow(p, f, pr, true); });
  strip(10282, "scroll down", 14, 14, 1, [](QPainter& p, const QRectF& f, bool pr, int) { DrawArrow(p, f, pr, false); });
  // File information view close button.
  strip(10321, "info close", 24, 24, 1, DrawClose);
  // Busy notice spinner, eight 48 x 48 frames.
  out.push_back({1801, "spinner", Spinner(48)});
  return out;
}

QByteArray ToPng(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

bool WriteFile(const QString& path, const QByteArray& data) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  return file.write(data) == data.size();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: zov_skin_gen OUT_FOLDER\n");
    return 2;
  }
  // Text on the dials needs fonts, which need a GUI application; no display
  // is needed for drawing into images.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString outDir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(outDir + "/png");

  QByteArray cpp;
  cpp += "// Generated by zov_skin_gen from resources/zov_skin_gen.cpp; do not edit.\n";
  cpp += "#include \"resources/zov_resource_table.h\"\n\nnamespace {\n";
  QByteArray table = "}  // namespace\n\nextern const ZovBinaryResource kZovSkinPngs[] = {\n";
  int count = 0;
  for (const SkinImage& skin : DrawSkin()) {
    const QByteArray png = ToPng(skin.image);
    if (png.isEmpty() || !WriteFile(QString("%1/png/%2.png").arg(outDir).arg(skin.id), png)) {
      std::fprintf(stderr, "zov_skin_gen: cannot write image %d\n", skin.id);
      return 1;
    }
    cpp += QByteArray("// ") + skin.name + "\nconst unsigned char kPng" + QByteArray::number(skin.id) + "[] = {";
    for (int i = 0; i < png.size(); ++i) {
      if (i % 20 == 0) cpp += "\n ";
      cpp += " " + QByteArray::number(static_cast<unsigned char>(png[i])) + ",";
    }
    cpp += "\n};\n";
    table += "    {" + QByteArray::number(skin.id) + ", kPng" + QByteArray::number(skin.id) +
             ", sizeof(kPng" + QByteArray::number(skin.id) + ")},\n";
    ++count;
  }
  table += "};\nextern const int kZovSkinPngCount = " + QByteArray::number(count) + ";\n";
  if (!WriteFile(outDir + "/zov_skin_data.cpp", cpp + table)) {
    std::fprintf(stderr, "zov_skin_gen: cannot write the data source\n");
    return 1;
  }
  return 0;
}
