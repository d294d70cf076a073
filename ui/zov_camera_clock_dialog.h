#pragma once
// CZovCameraClockDialog: sets the camera's clock of the library (its zone
// and the correction added to every time the camera wrote). It shows, for
// the drive it was opened on, the start as the camera wrote it, as it will
// be shown, and the GPS time of its first fix, so the driver can see by how
// much the camera is off. OK stores the clock through the play list store
// (which regroups the library in the background and relabels the rows).
// The "GPS <-> video" nudge (±5 s in tenths) moves the track against the
// pictures for a camera that writes its fixes early or late.
// "From GPS" sets the correction that makes the drive's start agree with
// the GPS time of its first fix (to the second the fix allows).
//
// A plain modal Qt dialog. User-interface thread only.
#include <QDialog>

#include "library/zov_camera_clock.h"
#include "library/zov_drive_plan.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class CZovSettings;

class CZovCameraClockDialog : public QDialog {
 public:
  CZovCameraClockDialog(QWidget* parent, CZovSettings* settings, const ZovCameraClock& clock,
                        const ZovDrivePlan& drive);

  // The clock as the dialog's fields say it.
  ZovCameraClock Clock() const;
  QComboBox* ZoneBox() const { return zone_; }
  QSpinBox* OffsetBox() const { return offset_; }
  QLabel* Preview() const { return preview_; }
  QPushButton* FromGpsButton() const { return fromGps_; }
  QDoubleSpinBox* NudgeBox() const { return nudge_; }

 private:
  void ShowPreview();
  // Sets the correction that makes the drive's start agree with its GPS time.
  void TakeFromGps();

  CZovSettings* settings_;
  int64_t driveStart_;  // camera clock; kZovNoTime when unknown
  int64_t gpsStart_;    // UTC of the drive's first fix; 0 when unknown
  QComboBox* zone_ = nullptr;
  QSpinBox* offset_ = nullptr;
  QLabel* preview_ = nullptr;
  QPushButton* fromGps_ = nullptr;
  QDoubleSpinBox* nudge_ = nullptr;  // seconds
};
