#include "ui/zov_file_list_contrl.h"

#include <QPainter>

#include "shell/zov_settings.h"
#include "ui/zov_mfc_button.h"

CZovFileListContrl::CZovFileListContrl() : CZovWnd(nullptr) {}

CZovFileListContrl::~CZovFileListContrl() = default;

bool CZovFileListContrl::Create(CZovWnd* owner) {
  if (owner_) return false;
  owner_ = owner;
  settings_ = CZovSettings::GetInstance();
  // A frameless window of its own over the owner's window, never taking the focus.
  setParent(owner, Qt::Tool | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  font_ = settings_->CreateNormalFont(kFont);
  const ZovColorRef face = settings_->LoadColor(kFaceColor);
  const ZovColorRef text = settings_->LoadColor(kTextColor);
  add_ = std::make_unique<CZovMfcButton>(this);
  delete_ = std::make_unique<CZovMfcButton>(this);
  for (CZovMfcButton* b : {add_.get(), delete_.get()}) {
    b->SetFaceColor(face);
    b->SetTextColor(text);
    b->SetFont(&font_);
  }
  connect(add_.get(), &QAbstractButton::clicked, this, [this] { Report(1); });
  connect(delete_.get(), &QAbstractButton::clicked, this, [this] { Report(2); });
  PlaceButtons();
  return true;
}

void CZovFileListContrl::Report(WPARAM button) {
  if (owner_) owner_->SendMessage(ZOVWM_CLICK, button, 0);
}

void CZovFileListContrl::PlaceButtons() {
  if (!add_) return;
  const int half = width() / 2;
  add_->setGeometry(0, 0, half, height());
  delete_->setGeometry(half, 0, width() - half, height());
}

void CZovFileListContrl::resizeEvent(QResizeEvent* event) {
  CZovWnd::resizeEvent(event);
  PlaceButtons();
}

void CZovFileListContrl::paintEvent(QPaintEvent*) {
  if (!settings_) return;
  add_->setText(settings_->GetQText("add"));
  delete_->setText(settings_->GetQText("delete"));
  QPainter painter(this);
  painter.fillRect(rect(), settings_->LoadQColor(kFaceColor));
}
