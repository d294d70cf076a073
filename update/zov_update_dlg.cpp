#include "update/zov_update_dlg.h"

#include <QPainter>
#include <QPushButton>

#include "shell/zov_settings.h"

CUpdateDlg::CUpdateDlg(QWidget* parent) : QDialog(parent) {
  settings_ = CZovSettings::GetInstance();
  confirm_ = new QPushButton(this);
  confirm_->setObjectName(QStringLiteral("1015"));
  connect(confirm_, &QPushButton::clicked, this, [this] { OnConfirm(); });
  // Initialisation: title, caption, the button's place.
  setWindowTitle(settings_->GetQText("updateinfo"));
  confirm_->setText(settings_->GetQText("ensure"));
  confirm_->setGeometry(ButtonRect(width(), height()));
}

CUpdateDlg::~CUpdateDlg() = default;

QRect CUpdateDlg::ButtonRect(int width, int height) {
  return QRect(width / 2 - kZovUpdateButtonWidth / 2, height - kZovUpdateButtonLift, kZovUpdateButtonWidth,
               kZovUpdateButtonHeight);
}

QRect CUpdateDlg::NoticeRect(int width, int height) {
  return QRect(0, 0, width, static_cast<int>(kZovUpdateNoticeFraction * height));
}

void CUpdateDlg::SetNotice(const QString& text) {
  notice_ = text;
  update();
}

void CUpdateDlg::OnConfirm() { hide(); }

void CUpdateDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  confirm_->setGeometry(ButtonRect(width(), height()));
}

void CUpdateDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(NoticeRect(width(), height()), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, notice_);
  }
  // A language change shows at the next paint.
  const QString caption = settings_->GetQText("ensure");
  if (confirm_->text() != caption) confirm_->setText(caption);
}
