#include "app/zov_panel_windows.h"

ZovPanelWindows& ZovPanelWindowMakers() {
  static ZovPanelWindows makers;
  return makers;
}

void ZovInstallPanelWindows() {
  // Each window is added here by the change that builds it: the play window,
  // the setup page, the map page with its two hooks, the file information
  // window.
  ZovPanelWindows& makers = ZovPanelWindowMakers();
  (void)makers;
}
