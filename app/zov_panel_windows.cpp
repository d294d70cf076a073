#include "app/zov_panel_windows.h"

#include "app/zov_play_setup.h"
#include "ui/zov_file_info_view.h"

ZovPanelWindows& ZovPanelWindowMakers() {
  static ZovPanelWindows makers;
  return makers;
}

void ZovInstallPanelWindows() {
  ZovPanelWindows& makers = ZovPanelWindowMakers();
  makers.makeSetupPage = [](QWidget* parent) { return new CZovPlaySetup(parent); };
  makers.makeFileInfo = [](QWidget* parent) -> CZovWnd* {
    auto* view = new CFileInfoView();
    view->Create(parent);
    return view;
  };
  // The play window and the map page with its two hooks are
  // added here by the changes that build them.
}
