#pragma once
// CZovExportWindow: writes a range of the playing drive into a folder, for
// an insurer, the police or a public post. It shows the range (the A-B marks,
// else half a minute either side of the position) on the corrected clock,
// lets the driver choose the kind (the recording as it is, or re-encoded
// with time, speed, place and heading drawn in), the channels of the drawn
// kind, whether the position is left out, and the folder; then runs the
// export on a worker thread with a progress bar and a cancel button, and
// lists the files written or says why it failed.
//
// A plain modeless Qt dialog, opened by the play window (Ctrl+E).
// Threads: the dialog lives on the user-interface thread. ZovRunExport runs
// on one worker thread the dialog owns; the worker reaches the dialog only
// through queued calls (dropped once the dialog is gone), and the dialog's
// destructor cancels the run and joins the worker before anything it reads
// goes away. The library snapshot the run reads is shared and never changes.
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <QDialog>

#include "export/zov_export.h"

class CZovSettings;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

// What the play window hands the export window.
struct ZovExportJob {
  std::shared_ptr<const ZovLibrary> library;  // null: the recording is no drive of the library
  size_t drive = 0;
  double from = 0, to = 0;  // camera clock seconds
  bool fromMarks = false;   // false: the span around the position
  ZovCameraClock clock;
};

class CZovExportWindow : public QDialog {
 public:
  CZovExportWindow(QWidget* parent, CZovSettings* settings, ZovExportJob job);
  ~CZovExportWindow() override;

  // Starts the export with the fields as they stand (the Export button).
  void StartExport();
  bool Running() const { return worker_.joinable() && !finished_; }
  const ZovExportResult& LastResult() const { return result_; }

  // The fields (tests drive the window through them).
  QRadioButton* LosslessChoice() const { return lossless_; }
  QRadioButton* OverlayChoice() const { return overlay_; }
  QComboBox* LayoutBox() const { return layout_; }
  QCheckBox* PrivacyBox() const { return privacy_; }
  QLineEdit* FolderField() const { return folder_; }
  QProgressBar* Progress() const { return progress_; }
  QLabel* Status() const { return status_; }
  QPushButton* ExportButton() const { return export_; }
  QPushButton* CancelButton() const { return cancel_; }

  // Sets every text again in the language now chosen (the play window's
  // relabel message).
  void Relabel();

  // The request the fields make (without the progress and cancel hooks).
  ZovExportRequest Request() const;
  // The range as shown: "2024-05-17 08:03:12 - 08:04:12 (1:00)" on the
  // corrected clock.
  static QString RangeText(double from, double to, const ZovCameraClock& clock);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  QString Text(const char* key) const;
  void BuildFields();
  void OnKindChanged();
  void OnChooseFolder();
  void OnCancelOrClose();
  void OnProgress(double fraction);
  void OnFinished(ZovExportResult result);
  void ShowResult();
  void SetRunning(bool running);
  // What the status line shows, so a relabel can say it again.
  enum class StatusShown { kNothing, kNoDrive, kRunning, kCancelling, kResult };
  void ShowStatus(StatusShown shown);
  void LabelFields();

  CZovSettings* settings_;
  ZovExportJob job_;
  QLabel* range_ = nullptr;
  QRadioButton* lossless_ = nullptr;
  QRadioButton* overlay_ = nullptr;
  QButtonGroup* kinds_ = nullptr;
  QComboBox* layout_ = nullptr;
  QCheckBox* privacy_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QPushButton* choose_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* export_ = nullptr;
  QPushButton* cancel_ = nullptr;
  std::array<QLabel*, 4> rowLabels_{};  // range, kind, channels, folder
  StatusShown statusShown_ = StatusShown::kNothing;

  std::thread worker_;
  std::atomic<bool> cancel_flag_{false};
  bool finished_ = true;
  bool closeAsked_ = false;  // closed while running: close when it stopped
  ZovExportResult result_;
};
