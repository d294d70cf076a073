#include "app/zov_export_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTimeZone>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "platform/zov_hand_over.h"
#include "shell/zov_settings.h"

namespace {

constexpr int kProgressSteps = 1000;

// The speed unit of the drawn strip: the player's own unit choice.
ZovSpeedUnit UnitOf(const CZovSettings& settings) {
  return QString::fromStdString(settings.UnitName()).contains(QStringLiteral("mph"), Qt::CaseInsensitive)
             ? ZovSpeedUnit::kMph
             : ZovSpeedUnit::kKmh;
}

// Where an export goes unless the driver chooses: where the last one went,
// else the videos folder when there is one, else the home folder.
QString DefaultFolder(const CZovSettings& settings) {
  const QString last = QString::fromStdString(settings.ExportFolder());
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
  if (!videos.isEmpty() && QFileInfo(videos).isDir()) return videos;
  return QDir::homePath();
}

QString ShownDateTime(int64_t seconds, const ZovCameraClock& clock, bool withDate) {
  // Camera times are wall-clock readings: shown as written, in UTC terms.
  const QDateTime at = QDateTime::fromSecsSinceEpoch(ZovShownTime(seconds, clock), QTimeZone::utc());
  return at.toString(withDate ? QStringLiteral("yyyy-MM-dd HH:mm:ss") : QStringLiteral("HH:mm:ss"));
}

}  // namespace

CZovExportWindow::CZovExportWindow(QWidget* parent, CZovSettings* settings, ZovExportJob job)
    : QDialog(parent), settings_(settings), job_(std::move(job)) {
  setAttribute(Qt::WA_DeleteOnClose, false);
  BuildFields();
  OnKindChanged();
}

CZovExportWindow::~CZovExportWindow() {
  cancel_flag_ = true;
  if (worker_.joinable()) worker_.join();
}

QString CZovExportWindow::Text(const char* key) const { return settings_->GetQText(key); }

QString CZovExportWindow::RangeText(double from, double to, const ZovCameraClock& clock) {
  const int64_t a = int64_t(std::floor(from));
  const int64_t b = int64_t(std::ceil(to));
  const int64_t length = std::max<int64_t>(0, b - a);
  return QStringLiteral("%1 - %2 (%3:%4)")
      .arg(ShownDateTime(a, clock, true), ShownDateTime(b, clock, false))
      .arg(length / 60)
      .arg(length % 60, 2, 10, QLatin1Char('0'));
}

void CZovExportWindow::BuildFields() {
  range_ = new QLabel(this);
  range_->setTextFormat(Qt::PlainText);

  lossless_ = new QRadioButton(this);
  overlay_ = new QRadioButton(this);
  kinds_ = new QButtonGroup(this);
  kinds_->addButton(lossless_);
  kinds_->addButton(overlay_);
  lossless_->setChecked(true);
  connect(kinds_, &QButtonGroup::buttonToggled, this, [this] { OnKindChanged(); });

  layout_ = new QComboBox(this);
  layout_->addItem(QString());
  layout_->addItem(QString());

  privacy_ = new QCheckBox(this);

  folder_ = new QLineEdit(DefaultFolder(*settings_), this);
  choose_ = new QPushButton(this);
  connect(choose_, &QPushButton::clicked, this, [this] { OnChooseFolder(); });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(choose_);

  progress_ = new QProgressBar(this);
  progress_->setRange(0, kProgressSteps);
  progress_->setValue(0);
  status_ = new QLabel(this);
  status_->setTextFormat(Qt::PlainText);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  export_ = new QPushButton(this);
  export_->setDefault(true);
  cancel_ = new QPushButton(this);
  connect(export_, &QPushButton::clicked, this, [this] { StartExport(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { OnCancelOrClose(); });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(export_);
  buttons->addWidget(cancel_);

  auto* kinds = new QVBoxLayout;
  kinds->addWidget(lossless_);
  kinds->addWidget(overlay_);

  for (QLabel*& label : rowLabels_) label = new QLabel(this);
  auto* form = new QFormLayout;
  form->addRow(rowLabels_[0], range_);
  form->addRow(rowLabels_[1], kinds);
  form->addRow(rowLabels_[2], layout_);
  form->addRow(QString(), privacy_);
  form->addRow(rowLabels_[3], folderRow);

  auto* all = new QVBoxLayout(this);
  all->addLayout(form);
  all->addWidget(progress_);
  all->addWidget(status_, 1);
  all->addLayout(buttons);
  setMinimumWidth(520);
  LabelFields();

  if (!job_.library) {
    // A file played on its own: the export works on the drives of a card.
    ShowStatus(StatusShown::kNoDrive);
    export_->setEnabled(false);
  }
}

void CZovExportWindow::LabelFields() {
  setWindowTitle(Text("exporttitle"));
  QString range = RangeText(job_.from, job_.to, job_.clock);
  if (!job_.fromMarks) range += QStringLiteral("\n") + Text("exportaround");
  range_->setText(range);
  lossless_->setText(Text("exportlossless"));
  overlay_->setText(Text("exportoverlay"));
  layout_->setItemText(0, Text("exportsidebyside"));
  layout_->setItemText(1, Text("exportfrontonly"));
  privacy_->setText(Text("exportprivacy"));
  choose_->setText(Text("exportchoose"));
  export_->setText(Text("exportstart"));
  cancel_->setText(Text(Running() ? "exportcancel" : "exportclose"));
  const char* rowKeys[] = {"exportrange", "exportkind", "exportchannels", "exportfolder"};
  for (size_t i = 0; i < rowLabels_.size(); ++i) rowLabels_[i]->setText(Text(rowKeys[i]));
}

void CZovExportWindow::Relabel() {
  LabelFields();
  ShowStatus(statusShown_);
}

void CZovExportWindow::ShowStatus(StatusShown shown) {
  statusShown_ = shown;
  switch (shown) {
    case StatusShown::kNothing: status_->clear(); break;
    case StatusShown::kNoDrive: status_->setText(Text("exportnodrive")); break;
    case StatusShown::kRunning: status_->setText(Text("exportrunning")); break;
    case StatusShown::kCancelling: status_->setText(Text("exportcancelling")); break;
    case StatusShown::kResult: ShowResult(); break;
  }
}

void CZovExportWindow::OnKindChanged() { layout_->setEnabled(overlay_->isChecked() && !Running()); }

void CZovExportWindow::OnChooseFolder() {
  const QString chosen = QFileDialog::getExistingDirectory(this, Text("exportfolder"), folder_->text());
  if (!chosen.isEmpty()) folder_->setText(chosen);
}

ZovExportRequest CZovExportWindow::Request() const {
  ZovExportRequest r;
  r.library = job_.library.get();
  r.drive = job_.drive;
  r.from = job_.from;
  r.to = job_.to;
  r.folder = folder_->text().toStdString();
  r.kind = overlay_->isChecked() ? ZovExportKind::kOverlay : ZovExportKind::kLossless;
  r.withPosition = !privacy_->isChecked();
  r.unit = UnitOf(*settings_);
  r.layout = layout_->currentIndex() == 1 ? ZovOverlayLayout::kFrontOnly : ZovOverlayLayout::kSideBySide;
  r.clock = job_.clock;
  return r;
}

void CZovExportWindow::StartExport() {
  if (Running() || !job_.library) return;
  if (worker_.joinable()) worker_.join();  // the run before, already finished
  ZovExportRequest request = Request();
  cancel_flag_ = false;
  request.cancel = &cancel_flag_;
  // At most one queued update per step of the bar: the run reports up to a
  // thousand times, and a call queued to a dialog that is gone is dropped.
  auto lastStep = std::make_shared<std::atomic<int>>(-1);
  request.progress = [this, lastStep](double fraction) {
    const int step = std::clamp(int(fraction * kProgressSteps), 0, kProgressSteps);
    if (lastStep->exchange(step) == step) return;
    ZovInvokeOn(this, [this, fraction] { OnProgress(fraction); });
  };
  result_ = {};
  closeAsked_ = false;
  progress_->setValue(0);
  ShowStatus(StatusShown::kRunning);
  SetRunning(true);
  // The library snapshot stays alive in job_ for the whole run.
  worker_ = std::thread([this, request] {
    ZovExportResult result = ZovRunExport(request);
    ZovInvokeOn(this, [this, result] { OnFinished(result); });
  });
}

void CZovExportWindow::SetRunning(bool running) {
  finished_ = !running;
  export_->setEnabled(!running && job_.library);
  cancel_->setText(Text(running ? "exportcancel" : "exportclose"));
  for (QWidget* w : {static_cast<QWidget*>(lossless_), static_cast<QWidget*>(overlay_),
                     static_cast<QWidget*>(privacy_), static_cast<QWidget*>(folder_),
                     static_cast<QWidget*>(choose_)})
    w->setEnabled(!running);
  OnKindChanged();
}

void CZovExportWindow::OnProgress(double fraction) {
  if (!finished_) progress_->setValue(std::clamp(int(fraction * kProgressSteps), 0, kProgressSteps));
}

void CZovExportWindow::OnFinished(ZovExportResult result) {
  result_ = std::move(result);
  if (worker_.joinable()) worker_.join();
  SetRunning(false);
  if (result_.ok) {
    progress_->setValue(kProgressSteps);
    settings_->SetExportFolder(folder_->text().toStdString());
  }
  ShowStatus(StatusShown::kResult);
  if (closeAsked_) {
    closeAsked_ = false;
    close();
  }
}

void CZovExportWindow::ShowResult() {
  QStringList lines;
  for (const std::string& n : result_.notices) lines << QString::fromStdString(n);
  if (result_.cancelled) {
    lines << Text("exportcancelled");
  } else if (!result_.ok) {
    lines << Text("exportfailed") + QStringLiteral(" ") + QString::fromStdString(result_.error);
  } else {
    lines << Text("exportdone") + QStringLiteral(" ") + folder_->text();
    for (const std::string& f : result_.files) lines << QStringLiteral("  ") + QFileInfo(QString::fromStdString(f)).fileName();
  }
  status_->setText(lines.join(QLatin1Char('\n')));
}

void CZovExportWindow::OnCancelOrClose() {
  if (Running()) {
    cancel_flag_ = true;
    ShowStatus(StatusShown::kCancelling);
    return;
  }
  close();
}

void CZovExportWindow::closeEvent(QCloseEvent* event) {
  // Closing while it runs cancels the run; the window closes once it stopped.
  if (Running()) {
    cancel_flag_ = true;
    closeAsked_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void CZovExportWindow::reject() {
  // Esc: as the close button.
  if (Running()) {
    cancel_flag_ = true;
    closeAsked_ = true;
    ShowStatus(StatusShown::kCancelling);
    return;
  }
  QDialog::reject();
}
