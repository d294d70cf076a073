#include "app/zov_left_tab.h"

#include <algorithm>
#include <array>

#include <QPainter>
#include <QPaintEvent>

#include "app/zov_panel_windows.h"
#include "app/zov_program_icon.h"
#include "engine/zov_engine.h"
#include "library/zov_drive_plan.h"
#include "library/zov_file_list_store.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_gsensor_view.h"

ZovPaneChannels ZovPaneChannelsOf(const ZovDrivePlan* plan, const std::string& path,
                                  const std::vector<std::string>& preferred, int count) {
  ZovPaneChannels keys;
  const size_t k = plan ? plan->MomentOfPath(path) : 0;
  if (plan && k < plan->moments.size()) {
    // The drive's moment: the channels the play window opens, as it chooses them.
    const ZovPlanMoment& moment = plan->moments[k];
    for (const ZovPlanChannel& c : moment.channels) keys.all.push_back(c.key);
    for (const ZovPlanChannel& c : ZovPlayedChannels(moment, preferred)) keys.shown.push_back(c.key);
    if (keys.shown.size() == size_t(count)) return keys;
  }
  // A plain file, or channels the plan does not explain: a lone recording
  // goes unnamed, several are named in the usual order.
  keys = {};
  static const char* const kUsual[] = {"front", "rear", "interior"};
  if (count >= 2)
    for (int i = 0; i < std::min(count, 3); ++i) keys.shown.push_back(kUsual[i]);
  return keys;
}

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
  timeline_ = new CZovGsensorView();
  timeline_->Create(this);
  timeline_->onShownChanged = [this](bool) { Layout(); };
  // Cameras chosen on the panes are remembered, and the moment is opened
  // again with them where it was.
  videoPanes_->chooseChannels = [this](const std::vector<std::string>& keys) {
    settings_->SetPreferredChannels(keys);
    directory_->Send<ZOV_CODE_REPLAY_MOMENT>(kZovPlayDialogName);
  };
  directory_ = CZovWndManager::GetInstance();
  directory_->Register(kZovLeftTabName, this);
}

CZovLeftTab::~CZovLeftTab() {
  timeline_->onShownChanged = nullptr;  // no layout while the children go
  // The play window goes first (it stops what plays and unregisters itself).
  delete playWindow_;
  playWindow_ = nullptr;
  // The engine must not keep drawing into the panes' windows once they are gone.
  std::array<QWindow*, 4> ours{};
  videoPanes_->FillRenderWindows(ours);
  CZovEngine::Get().ForgetWindows(ours);
  if (CZovWndManager* d = CZovWndManager::Peek()) d->Unregister(kZovLeftTabName);
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
      OnInfo(static_cast<int>(wParam));
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

void CZovLeftTab::OnInfo(int code) {
  switch (code) {
    case ZOV_CODE_PAUSED:  // the panes show the paused pictures
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
  if (a == 0) {
    const ZovPaneChannels keys = ZovPaneChannelsOf(CZovFileListStore::GetInstance()->PlayingDrive().get(),
                                                   CZovFileListStore::GetInstance()->GetCurrentPath(),
                                                   settings_->PreferredChannels(), videoPanes_->ChannelCount());
    videoPanes_->SetChannelKeys(keys.shown, keys.all);
    videoPanes_->SetEngine(&CZovEngine::Get());
  }
  std::array<QWindow*, 4> windows{};
  videoPanes_->FillRenderWindows(windows);
  CZovEngine::Get().SetChannelWindows(windows);
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
  // The timeline takes the bottom of the video area while a drive plays.
  if (!timeline_->isHidden() && !videoOnly_) {
    const int top = std::max(area.top(), area.bottom() + 1 - kZovTimelineHeight);
    timeline_->setGeometry(area.left(), top, area.width(), area.bottom() + 1 - top);
    area.setBottom(top - 1);
  } else if (videoOnly_) {
    timeline_->setGeometry(0, 0, 0, 0);  // video only: the panes take it all
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
