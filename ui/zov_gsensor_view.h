#pragma once
// CZovGsensorView: the timeline under the video. While a drive plays it
// shows the whole drive: speed and acceleration as graphs over the drive
// clock, the moments' boundaries, event, locked and parking moments shaded,
// moments that could not be read marked with a notice, the marks of hard
// braking, hard acceleration and impacts with their peak in g, and the
// playing position as a line. A click or a drag seeks the drive.
//
// Registered as "CZovGsensorView". Codes it gets (ZOVWM_INFO_E):
//   ZOV_CODE_DRIVE            the play list store's PlayingDrive() is read;
//                             the graphs are drawn from the plan at once
//                             (acceleration from GPS speed), and the moments'
//                             G-sensor samples are read on a worker thread
//                             (CZovDriveMotionReader) and replace it when done
//   ZOV_CODE_DRIVE_POSITION   the playing line (ZovDriveTimeRecord)
//   ZOV_CODE_DRIVE_MARKS      the A-B marks of the export range, drawn as
//                             lines with the range between them shaded
//   ZOV_CODE_STOPPED          cleared and hidden
// It sends ZOV_CODE_SEEK_DRIVE (ZovDriveTimeRecord) to "CPlayDialog" on a
// press, at most one per kZovTimelineDragSendMs while dragging, and the
// last position on release (or when the pointer leaves while pressed).
// A right click offers a menu that sets A or B there or clears both
// (ZOV_CODE_SET_MARK to "CPlayDialog"). The legend line ends with the
// playing position's time on the corrected camera clock, the GPS time (UTC)
// beside it where the two disagree.
//
// Hidden while no drive plays; `onShownChanged` tells the owner so it can
// give the space back to the video. User-interface thread only; the reader's
// worker hands its result over with a queued call to this view, dropped when
// the view is gone (its destructor cancels and joins the worker first).
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QColor>
#include <QFont>
#include <QRect>

#include "library/zov_drive_motion.h"
#include "ui/zov_ui_base.h"

class CZovWndManager;

// The view's height in the owner's layout.
inline constexpr int kZovTimelineHeight = 80;
// While dragging, seeks go out at most this often.
inline constexpr uint32_t kZovTimelineDragSendMs = 100;
// Text keys of the view (settings GetText).
inline constexpr const char* kZovTextTimelineSpeed = "tlspeed";
inline constexpr const char* kZovTextTimelineAccel = "tlaccel";
inline constexpr const char* kZovTextTimelineFromGps = "tlfromgps";
inline constexpr const char* kZovTextTimelineBraking = "tlbraking";
inline constexpr const char* kZovTextTimelineAccelerating = "tlaccelerating";
inline constexpr const char* kZovTextTimelineImpact = "tlimpact";
inline constexpr const char* kZovTextTimelineBroken = "tlbroken";
inline constexpr const char* kZovTextMarkA = "markahere";
inline constexpr const char* kZovTextMarkB = "markbhere";
inline constexpr const char* kZovTextMarksClear = "marksclear";

// The graph's x of drive time `ms` in a graph spanning [left, left + width)
// for a drive of `lengthMs`, and back (clamped into the drive).
int ZovTimelineX(int64_t ms, int64_t lengthMs, int left, int width);
int64_t ZovTimelineMs(int x, int64_t lengthMs, int left, int width);

class CZovGsensorView : public CZovUiBase {
 public:
  CZovGsensorView();
  ~CZovGsensorView() override;

  // Makes the view a hidden child of `parent` and registers it.
  bool Create(QWidget* parent);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The graph's area in client coordinates (below the legend line).
  QRect GraphRect() const;
  int64_t PositionMs() const { return positionMs_; }
  int64_t MarkA() const { return markA_; }
  int64_t MarkB() const { return markB_; }
  // The legend line's clock text at the playing position ("" when unknown).
  QString ClockText() const;
  const ZovDriveMotion* Motion() const { return motion_.get(); }
  std::shared_ptr<const ZovDrivePlan> Plan() const { return plan_; }
  // Whether the samples' read has finished for the drive shown.
  bool SensorsRead() const { return sensorsRead_; }

  // Called after the view showed or hid itself.
  std::function<void(bool shown)> onShownChanged;
  // The legend's items in their order (speed, acceleration, the three marks)
  // from the texts `text` gives for the keys above; and the width they take
  // in `font` (items that do not fit the view are left out from the end).
  static std::vector<QString> LegendTexts(const std::function<QString(const char* key)>& text,
                                          const QString& unitName, bool anyDerived);
  static int LegendWidth(const QFont& font, const std::vector<QString>& texts);
  // The font the view draws with.
  QFont TextFont() const { return font_; }

  // Replaces the samples' reader (tests); takes effect at the next drive.
  void SetReadFunction(CZovDriveMotionReader::ReadFn read);

  // Colours of the graphs and shadings.
  static constexpr QRgb kSpeedColour = 0x4FA3E0;
  static constexpr QRgb kAccelColour = 0xE0A040;
  static constexpr QRgb kEventShade = 0x7A3A2A;
  static constexpr QRgb kLockedShade = 0x7A2A4A;
  static constexpr QRgb kParkingShade = 0x2A4A6A;
  static constexpr QRgb kBrokenShade = 0x5A1818;
  static constexpr QRgb kBoundaryColour = 0x707070;
  static constexpr QRgb kPositionColour = 0xFFFFFF;
  static constexpr QRgb kBrakingColour = 0xFF5050;
  static constexpr QRgb kAcceleratingColour = 0x60E060;
  static constexpr QRgb kImpactColour = 0xFFD000;
  static constexpr QRgb kRangeColour = 0xFFB020;  // the A-B marks, as on the seek bar

 protected:
  void paintEvent(QPaintEvent* event) override;
  void OnLButtonDown(const QPoint& pt) override;
  void OnLButtonUp(const QPoint& pt) override;
  void OnMouseMove(const QPoint& pt) override;
  void OnMouseLeave() override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void OnInfo(WPARAM code, LPARAM lParam);
  void OnDrive();
  void OnPosition(int64_t ms);
  void Clear();
  void ShowTimeline(bool shown);
  void OnMotionRead(std::shared_ptr<const ZovDriveMotion> motion, uint64_t generation);
  void SendSeek(int64_t ms);
  int64_t MsAt(int x) const;

  void Draw(QPainter& dc, const QRect& client);
  void DrawMoments(QPainter& dc, const QRect& graph);
  void DrawGraphs(QPainter& dc, const QRect& graph);
  void DrawMarks(QPainter& dc, const QRect& graph);
  void DrawLegend(QPainter& dc, const QRect& line);
  void DrawRange(QPainter& dc, const QRect& graph);
  void SendMark(int action, int64_t ms);

  CZovWndManager* directory_ = nullptr;
  std::unique_ptr<CZovDriveMotionReader> reader_;
  CZovDriveMotionReader::ReadFn read_;
  std::shared_ptr<const ZovDrivePlan> plan_;
  std::shared_ptr<const ZovDriveMotion> motion_;
  uint64_t generation_ = 0;
  bool sensorsRead_ = false;
  int64_t positionMs_ = -1;
  int64_t markA_ = -1;
  int64_t markB_ = -1;
  bool dragging_ = false;
  bool pendingSeek_ = false;
  int64_t pendingMs_ = 0;
  uint64_t lastSendTick_ = 0;
  QFont font_;
};
