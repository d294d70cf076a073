#include "app/zov_right_tab.h"

#include "app/zov_panel_windows.h"
#include "shell/zov_settings.h"
#include "shell/zov_version.h"

CZovRightTab::CZovRightTab(QWidget* parent) : CZovWnd(parent) {
  const ZovPanelWindows& makers = ZovPanelWindowMakers();
  if (makers.makeSetupPage) {
    setupPage_ = makers.makeSetupPage(this);
    if (setupPage_) setupPage_->hide();
  }
  if (makers.makeMapPage) {
    mapPage_ = makers.makeMapPage(this, CZovVersion::GetInstance());
    if (mapPage_) mapPage_->show();
  }
  settings_ = CZovSettings::GetInstance();
}

CZovRightTab::~CZovRightTab() {
  delete setupPage_;
  setupPage_ = nullptr;
  delete mapPage_;
  mapPage_ = nullptr;
}

LRESULT CZovRightTab::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYUP:
      if (wParam == VK_SPACE) {
        if (auto* main = dynamic_cast<CZovWnd*>(parentWidget())) main->SendMessage(message, wParam, lParam);
      }
      return 0;
    case ZOVWM_CLICK:
      if (static_cast<int>(wParam) == kZovPanelSwitchId) {
        if (lParam == 1) ShowMap();
        if (lParam == 0) ShowSetup();
      }
      return 0;
    case ZOVWM_RELABEL:
      if (setupPage_) setupPage_->SendMessage(message, wParam, lParam);
      if (mapPage_) mapPage_->PostMessage(message, wParam, lParam);
      return 0;
    case ZOVWM_MAPCHOICE:
      if (wParam == 0) {
        LoadCurrentMap();
      } else if (setupPage_) {
        setupPage_->SendMessage(message, wParam, lParam);
      }
      return 0;
    case ZOVWM_LISTLAYOUT:
    case ZOVWM_LISTSELECT:
      if (mapPage_) mapPage_->PostMessage(message, wParam, lParam);
      return 0;
    case ZOVWM_DECODECHOICE:
      if (setupPage_) setupPage_->SendMessage(message, wParam, lParam);
      return 0;
    default:
      return CZovWnd::WindowProc(message, wParam, lParam);
  }
}

void CZovRightTab::ShowMap() {
  if (mapPage_) mapPage_->show();
  if (setupPage_) setupPage_->hide();
  setupRequested_ = 0;
}

void CZovRightTab::ShowSetup() {
  setupRequested_ = 1;
  if (setupPage_) setupPage_->show();
  if (mapPage_) mapPage_->hide();
}

void CZovRightTab::LoadCurrentMap() {
  const auto& load = ZovPanelWindowMakers().loadMapPage;
  if (mapPage_ && load) load(mapPage_, settings_->CurrentMapLocation());
}

void CZovRightTab::TestMapPage() {
  const auto& test = ZovPanelWindowMakers().testMapPage;
  if (mapPage_ && test) test(mapPage_);
}

void CZovRightTab::ShowPages(bool show) {
  if (show) {
    this->show();
    if (setupRequested_) {
      if (setupPage_) setupPage_->show();
    } else if (mapPage_) {
      mapPage_->show();
    }
    return;
  }
  hide();
  if (mapPage_) mapPage_->hide();
  if (setupPage_) setupPage_->hide();
}

void CZovRightTab::resizeEvent(QResizeEvent* event) {
  CZovWnd::resizeEvent(event);
  if (setupPage_) setupPage_->setGeometry(rect());
  if (mapPage_) mapPage_->setGeometry(rect());
}
