#include "app/zov_panel_windows.h"

ZovPanelWindows& ZovPanelWindowMakers() {
  static ZovPanelWindows makers;
  return makers;
}
