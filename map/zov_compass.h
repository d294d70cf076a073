#pragma once
// CZovCompass: a dial. A face image with a needle image turned by an angle
// (degrees, clockwise on screen) around a centre, and an optional caption.
// The map panel makes two of them: the compass (angle = heading) and the
// speedometer (angle from the speed, caption "%0.01f %s"). The dial helpers
// below hold that arithmetic.
//
// Drawing (every paint): the background colour, the face at (0, 0) in its own
// size, then the needle at its position turned about the centre, then the
// caption centred on one line in its rectangle. SetValue stores the angle and
// the caption and repaints at once (nothing when both are as they were); setting the angle alone (SetAngle) and
// updating repaints with the caption last given.
//
// Threads: user-interface thread only.
#include <QFont>
#include <QImage>
#include <QPoint>
#include <QString>

#include "ui/zov_ui_base.h"

class CZovCompass : public CZovUiBase {
 public:
  CZovCompass();

  // Loads the face and the needle from the resource library's PNG resources;
  // the needle rectangle's left and top place the needle. A missing face
  // leaves both images unloaded (the dial then paints its background only);
  // a missing needle leaves the face alone. True when both were loaded.
  bool LoadImages(int faceId, int needleId, const ZovRect& needleRect);
  // Caption rectangle, colour and the font of the resource library's entry.
  void SetCaption(const ZovRect& rect, ZovColorRef colour, int fontId);
  // Centre of the needle's rotation (owners pass half the control's size).
  void SetCenter(int x, int y) { center_ = QPoint(x, y); }
  // Stores the angle and the caption text and repaints now.
  void SetValue(const QString& text, double angle);
  // Sets the angle alone; the owner updates (repaints) the control.
  void SetAngle(double angle) { angle_ = angle; }

  double Angle() const { return angle_; }
  const QString& Caption() const { return caption_; }
  bool HasFace() const { return !face_.isNull(); }
  bool HasNeedle() const { return !needle_.isNull(); }

 protected:
  QString CreateFailText() const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage face_;
  QImage needle_;
  double angle_ = 0;
  QPoint needlePos_;
  ZovRect captionRect_;
  QColor captionColor_;
  QFont captionFont_;
  QPoint center_;
  QString caption_;
};

// --- Dial arithmetic of the map panel --------------------------------------

// Speeds arrive in knots; the dial shows km/h times the unit's scale.
inline constexpr double kZovKnotsToKmh = 1.852;
// The speedometer's scale ends at 220 units, drawn 260 degrees from zero.
inline constexpr double kZovSpeedDialMax = 220.0;
inline constexpr double kZovSpeedDialDegreesPerUnit = 1.1818181;
// Where the speedometer's needle rests before its first value.
inline constexpr double kZovSpeedDialStartAngle = -53.0;

// Speed in the selected unit.
double ZovSpeedValue(double knots, double unitScale);
// Needle angle of the speedometer for a speed value.
double ZovSpeedNeedleAngle(double value);
// Caption of the speedometer: format("%0.01f %s", value, unit).
QString ZovSpeedCaption(double value, const std::string& unitName);
// Caption after a reset: format("0.0 %s", unit).
QString ZovSpeedResetCaption(const std::string& unitName);
