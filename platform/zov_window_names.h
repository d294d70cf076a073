#pragma once
// The names windows register under in the window directory
// (shell/zov_wnd_manager.h), and the only names a send may give as its
// target. The directory compares names whole, so a name must be written
// exactly as the window registered it; taking it from here makes a typo a
// compile error instead of a message that silently goes nowhere.
#include <array>

// A window's name in the directory. The constructor is explicit: a plain
// string does not become a name by accident. The program uses the constants
// below; tests name their own stand-in windows explicitly.
class ZovWndName {
 public:
  constexpr explicit ZovWndName(const char* text) : text_(text) {}
  constexpr const char* c_str() const { return text_; }

 private:
  const char* text_;
};

// The frameless main window (app/zov_play_dlg.h).
inline constexpr ZovWndName kZovMainWindowName{"CZovPlayDlg"};
// The left panel with the video panes and the play window (app/zov_left_tab.h).
inline constexpr ZovWndName kZovLeftTabName{"CZovLeftTab"};
// The play window: transport, seek bar, start-up of a file (app/zov_play_dialog.h).
inline constexpr ZovWndName kZovPlayDialogName{"CPlayDialog"};
// The setup page of the right panel (app/zov_play_setup.h).
inline constexpr ZovWndName kZovPlaySetupName{"CZovPlaySetup"};
// The map page of the right panel (map/zov_cef_browers.h).
inline constexpr ZovWndName kZovMapPageName{"CZovCefBrowers"};
// The play list panel (ui/zov_file_list_view.h).
inline constexpr ZovWndName kZovFileListViewName{"CZovFileListView"};
// The timeline under the video: speed and acceleration of the playing drive
// (ui/zov_gsensor_view.h).
inline constexpr ZovWndName kZovGsensorViewName{"CZovGsensorView"};

// Every name above: each is registered by one window of the main window's
// tree while that tree exists.
inline constexpr std::array<ZovWndName, 7> kZovWindowNames = {
    kZovMainWindowName, kZovLeftTabName,  kZovPlayDialogName,   kZovPlaySetupName,
    kZovMapPageName,    kZovFileListViewName, kZovGsensorViewName,
};
