#pragma once
// CZovRightTab: the side column of the main window. It shows one page over
// its whole area: the map page (CZovCefBrowers, shown at start) or the setup
// page (CZovPlaySetup); the main window's panel switch (4025 with wParam
// 10102, lParam 1 = map, 0 = setup) selects it. Both pages come from the
// makers of zov_panel_windows.h.
//
// Relays: 4028 sent to the setup page and posted to the map page; 4029 with
// wParam != 0 and 4066 sent to the setup page; 4029 with wParam 0 loads the
// current map page location into the map page; 4041 and 4052 posted to the
// map page; space sent to the main window.
//
// It does not accept dropped files itself: drops on its frame reach the main
// window. User-interface thread only.
#include <string>

#include "platform/zov_wnd.h"

class CZovSettings;
class CZovSetupPageBase;

// Command of the main window's panel switch button.
inline constexpr int kZovPanelSwitchId = 10102;

class CZovRightTab : public CZovWnd {
 public:
  explicit CZovRightTab(QWidget* parent);
  ~CZovRightTab() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Shows the panel with the requested page, or hides the panel and both
  // pages (the main window's video-only mode).
  void ShowPages(bool show);
  // Has the map page call its "Test()" script (nothing without a map page).
  void TestMapPage();

  CZovWnd* MapPage() const { return mapPage_; }
  CZovSetupPageBase* SetupPage() const { return setupPage_; }
  bool SetupRequested() const { return setupRequested_ != 0; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void ShowMap();
  void ShowSetup();
  void LoadCurrentMap();

  CZovSetupPageBase* setupPage_ = nullptr;  // child, hidden at start
  CZovWnd* mapPage_ = nullptr;              // child, shown at start
  int setupRequested_ = 0;
  CZovSettings* settings_ = nullptr;
};
