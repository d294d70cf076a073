#include "ui/zov_camera_clock_dialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QLabel>
#include <QSpinBox>
#include <QTimeZone>
#include <algorithm>
#include <cmath>

#include "shell/zov_settings.h"

namespace {

// The correction moves in whole minutes with the arrows (a typed value may
// hold seconds): cameras are off by minutes or by an hour.
constexpr int kOffsetStep = 60;

QString Text(CZovSettings* settings, const char* key) { return settings->GetQText(key); }

// The correction as a signed clock reading ("+01:00:00", "-00:02:05"), and
// typed back in that form or as plain seconds.
class CZovOffsetBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QString textFromValue(int value) const override {
    const int a = std::abs(value);
    return QString::asprintf("%c%02d:%02d:%02d", value < 0 ? '-' : '+', a / 3600, a / 60 % 60, a % 60);
  }
  int valueFromText(const QString& text) const override {
    const QString t = text.trimmed();
    const int sign = t.startsWith('-') ? -1 : 1;
    const QStringList parts = t.mid(t.startsWith('-') || t.startsWith('+') ? 1 : 0).split(':');
    int seconds = 0;
    for (const QString& p : parts) seconds = seconds * 60 + p.toInt();
    return sign * seconds;
  }
  QValidator::State validate(QString& text, int&) const override {
    static const QRegularExpression form(QStringLiteral("^\\s*[+-]?\\d{0,5}(:\\d{0,2}){0,2}\\s*$"));
    return form.match(text).hasMatch() ? QValidator::Acceptable : QValidator::Invalid;
  }
};

}  // namespace

CZovCameraClockDialog::CZovCameraClockDialog(QWidget* parent, CZovSettings* settings,
                                             const ZovCameraClock& clock, const ZovDrivePlan& drive)
    : QDialog(parent), settings_(settings), driveStart_(drive.start), gpsStart_(0) {
  setWindowTitle(Text(settings, "cameraclock"));
  for (const ZovPlanMoment& m : drive.moments)
    if (!m.track.empty() && m.track.front().time > 0) {
      // The first fix of the first moment with one, taken back to that moment's start.
      gpsStart_ = m.track.front().time - (m.start != kZovNoTime && drive.start != kZovNoTime ? m.start - drive.start : 0);
      break;
    }

  zone_ = new QComboBox(this);
  zone_->addItem(Text(settings, "computerzone"), QString());
  QList<QByteArray> ids = QTimeZone::availableTimeZoneIds();
  std::sort(ids.begin(), ids.end());
  for (const QByteArray& id : ids) zone_->addItem(QString::fromLatin1(id), QString::fromLatin1(id));
  const int at = zone_->findData(QString::fromStdString(clock.zone));
  zone_->setCurrentIndex(at < 0 ? 0 : at);

  offset_ = new CZovOffsetBox(this);
  offset_->setRange(-kZovMaxCameraOffset, kZovMaxCameraOffset);
  offset_->setSingleStep(kOffsetStep);
  offset_->setKeyboardTracking(false);
  offset_->setValue(clock.offsetSeconds);
  fromGps_ = new QPushButton(Text(settings, "clockfromgps"), this);
  fromGps_->setEnabled(gpsStart_ > 0 && driveStart_ != kZovNoTime);
  connect(fromGps_, &QPushButton::clicked, this, [this] { TakeFromGps(); });
  auto* offsetRow = new QHBoxLayout;
  offsetRow->addWidget(offset_, 1);
  offsetRow->addWidget(fromGps_);

  nudge_ = new QDoubleSpinBox(this);
  nudge_->setRange(-kZovMaxGpsNudgeMs / 1000.0, kZovMaxGpsNudgeMs / 1000.0);
  nudge_->setDecimals(1);
  nudge_->setSingleStep(kZovGpsNudgeStepMs / 1000.0);
  nudge_->setSuffix(QStringLiteral(" s"));
  nudge_->setValue(clock.gpsNudgeMs / 1000.0);
  nudge_->setToolTip(Text(settings, "gpsnudge_tip"));

  preview_ = new QLabel(this);
  preview_->setTextFormat(Qt::PlainText);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(zone_, &QComboBox::currentIndexChanged, this, [this] { ShowPreview(); });
  connect(offset_, &QSpinBox::valueChanged, this, [this] { ShowPreview(); });

  auto* form = new QFormLayout(this);
  form->addRow(Text(settings, "timezone"), zone_);
  form->addRow(Text(settings, "clockcorrection"), offsetRow);
  form->addRow(Text(settings, "gpsnudge"), nudge_);
  form->addRow(preview_);
  form->addRow(buttons);
  ShowPreview();
}

ZovCameraClock CZovCameraClockDialog::Clock() const {
  const int nudgeMs = static_cast<int>(std::lround(nudge_->value() * 10)) * kZovGpsNudgeStepMs;
  return {zone_->currentData().toString().toStdString(), offset_->value(),
          std::clamp(nudgeMs, -kZovMaxGpsNudgeMs, kZovMaxGpsNudgeMs)};
}

void CZovCameraClockDialog::TakeFromGps() {
  ZovCameraClock clock = Clock();
  clock.offsetSeconds = 0;
  const int64_t off = gpsStart_ - ZovShownTimeToUtc(driveStart_, clock);
  offset_->setValue(static_cast<int>(std::clamp<int64_t>(off, -kZovMaxCameraOffset, kZovMaxCameraOffset)));
}

void CZovCameraClockDialog::ShowPreview() {
  if (driveStart_ == kZovNoTime) {
    preview_->clear();
    return;
  }
  const ZovCameraClock clock = Clock();
  const std::string written = ZovFormatCameraTime(driveStart_);
  const std::string shown = ZovClockText(ZovShownTime(driveStart_, clock), gpsStart_, clock);
  preview_->setText(Text(settings_, "drivestart") + QStringLiteral(" ") +
                    QString::fromStdString(written.substr(0, 10) + "  " + written.substr(11)) +
                    QStringLiteral("  \u2192  ") + QString::fromStdString(shown));
}
