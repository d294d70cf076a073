#include "app/zov_left_tab.h"

#include <algorithm>
#include <array>

#include <QPainter>
#include <QPaintEvent>

#include "app/zov_panel_windows.h"
#include "app/zov_program_icon.h"
#include "engine/zov_media_play.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"

CZovLeftTab::CZovLeftTab(QWidget* parent) : CZovWnd(parent) {
  settings_ = CZovSettings::GetInstance();
  if (const auto& make = ZovPanelWindowMakers().makePlayWindow) {
    playWindow_ = make(this);
    if (playWindow_) playWindow_->show();
  }
  videoPanes_ = new CZovPlayerListView();
  videoPanes_->CreateEx(this, ZovRect{0, 0, width(), height()}, QString(), kZovPlayerListId);
  videoPanes_->show();
  // While nothing plays the video area shows the program's mark, dim and in
  // one colour, so an empty window does not look like a black recording.
  videoPanes_->idleLook = [mark = ZovProgramIconSilhouette(kZovIdleMarkSize, kZovIdleMarkColour)](
                              QPainter& painter, const QRect& area) {
    painter.drawImage(area.center() - QPoint(mark.width() / 2, mark.height() / 2), mark);
  };
  directory_ = CZovWndManager::GetInstance();
  directory_->Register(name_, this);
}

CZovLeftTab::~CZovLeftTab() {
  // The play window goes first (it stops what plays and unregisters itself).
  delete playWindow_;
  playWindow_ = nullptr;
  // The engine must not keep drawing into the panes' windows once they are gone.
  std::array<QWindow*, 4> ours{};
  videoPanes_->FillRenderWindows(ours);
  for (QWindow*& w : CZovMediaPlay::Instance()->renderWindows) {
    if (w && std::find(ours.begin(), ours.end(), w) != ours.end()) w = nullptr;
  }
  if (CZovWndManager* d = CZovWndManager::Peek()) d->Unregister(name_);
}

LRESULT CZovLeftTab::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYUP:
      if (wParam == VK_SPACE && playWindow_) playWindow_->SendMessage(WM_KEYUP, wParam, lParam);
      return 0;
    case WM_KEYDOWN:
      if (playWindow_) playWindow_->SendMessage(WM_KEYDOWN, wParam, lParam);
      return 0;
    case ZOVWM_RELABEL:
      if (playWindow_) playWindow_->PostMessage(ZOVWM_RELABEL, wParam, lParam);
      return 0;
    case ZOVWM_INFO_E:
      OnInfo(static_cast<int>(wParam), lParam);
      return 0;
    case ZOVWM_LISTSELECT:
      if (auto* parent = dynamic_cast<CZovWnd*>(parentWidget())) parent->SendMessage(message, wParam, lParam);
      return 0;
    case ZOVWM_SETCHANNELS:
      OnSetChannels(wParam, lParam);
      return 0;
    case ZOVWM_NEXTARRANGE:
      videoPanes_->NextArrangement();
      return 0;
    default:
      return CZovWnd::WindowProc(message, wParam, lParam);
  }
}

void CZovLeftTab::OnInfo(int code, LPARAM record) {
  auto data = ZovTakeMsgData(record);  // freed on return, whatever the code
  switch (code) {
    case ZOV_CODE_PLAYING:  // paused: the panes show the paused pictures
      videoPanes_->TakeStills();
      break;
    case ZOV_CODE_STOPPED:
      videoPanes_->HideStills();
      break;
    case ZOV_CODE_PANE_DBLCLICK:
      FlipVideoOnly();
      break;
    default:
      break;
  }
}

void CZovLeftTab::OnSetChannels(WPARAM a, LPARAM b) {
  videoPanes_->SetChannels(static_cast<int>(a), static_cast<int>(b));
  videoPanes_->FillRenderWindows(CZovMediaPlay::Instance()->renderWindows);
  if (playWindow_) playWindow_->SetVideoArea(videoPanes_);
}

void CZovLeftTab::FlipVideoOnly() {
  auto* main = dynamic_cast<CZovWnd*>(parentWidget());
  if (!videoOnly_) {
    videoOnly_ = 1;
    if (main) setGeometry(main->rect());
    raise();
    if (playWindow_) playWindow_->hide();
    Layout();
    if (main) main->SendMessage(ZOVWM_VIDEOONLY, 0, 0);
  } else {
    videoOnly_ = 0;
    if (main) main->SendMessage(ZOVWM_VIDEOONLY, 0, 1);
    if (playWindow_) playWindow_->show();
    Layout();
  }
}

void CZovLeftTab::Layout() {
  const int w = width();
  const int h = height();
  QRect area(0, 0, w, h);
  if (playWindow_) {
    const QRect design = playWindow_->DesignRect();
    const int y = h - design.height();
    playWindow_->setGeometry(design.left(), y, w - design.left(), design.height());
    playTop_ = y;
    playWidth_ = w;
    if (!videoOnly_) area = QRect(design.left(), 0, w - design.left(), y);
  }
  videoPanes_->setGeometry(area);
}

void CZovLeftTab::resizeEvent(QResizeEvent* event) {
  CZovWnd::resizeEvent(event);
  Layout();
}

void CZovLeftTab::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(event->rect(), Qt::black);
}
