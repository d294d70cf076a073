#include "app/zov_panel_windows.h"

#include "app/zov_play_dialog.h"
#include "app/zov_play_setup.h"
#include "map/zov_cef_browers.h"
#include "ui/zov_file_info_view.h"

ZovPanelWindows& ZovPanelWindowMakers() {
  static ZovPanelWindows makers;
  return makers;
}

void ZovInstallPanelWindows() {
  ZovPanelWindows& makers = ZovPanelWindowMakers();
  makers.makePlayWindow = [](QWidget* parent) { return new CPlayDialog(parent); };
  makers.makeSetupPage = [](QWidget* parent) { return new CZovPlaySetup(parent); };
  makers.makeFileInfo = [](QWidget* parent) -> CZovWnd* {
    auto* view = new CFileInfoView();
    view->Create(parent);
    return view;
  };
  makers.makeMapPage = [](QWidget* parent, CZovVersion* version) -> CZovWnd* {
    return new CZovCefBrowers(parent, version);
  };
  makers.loadMapPage = [](CZovWnd* page, const std::string& location) {
    if (auto* map = dynamic_cast<CZovCefBrowers*>(page)) map->LoadPage(location);
  };
  makers.testMapPage = [](CZovWnd* page) {
    if (auto* map = dynamic_cast<CZovCefBrowers*>(page)) map->TestPage();
  };
}
