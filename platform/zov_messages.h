#pragma once
// Message numbers of the program's own window messages and the codes carried
// by ZOVWM_INFO_E records. One line each: who sends it, what it carries.
// Every number is WM_USER (1024) plus an offset; ZOVWM_ names are the
// designed ones, the others name a number the design only describes.
#include <cstdint>

// Window-message parameter types of the message layer (platform/zov_wnd.h).
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_USER = 1024;
// Numbered timer of a window fired: wParam = timer id (SetTimer), lParam 0.
constexpr UINT WM_TIMER = 0x0113;
// Key released: wParam = virtual key code (below), lParam 0. Controls forward
// a released Space to their parent with it (ui/zov_ui_base.h).
constexpr UINT WM_KEYUP = 0x0101;
// Key pressed (repeats while held): wParam = virtual key code, lParam
// kKeyRepeatFlag for a repeat of a held key, else 0. The main window passes
// Left and Right on to the play window, which seeks, and the picture-step
// and speed keys (. , [ ]), which it steps and speeds with.
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr LPARAM kKeyRepeatFlag = LPARAM(1) << 30;
// Virtual key codes carried by WM_KEYUP and WM_KEYDOWN.
constexpr WPARAM VK_RETURN = 0x0D;
constexpr WPARAM VK_SPACE = 0x20;
constexpr WPARAM VK_LEFT = 0x25;
constexpr WPARAM VK_UP = 0x26;
constexpr WPARAM VK_RIGHT = 0x27;
constexpr WPARAM VK_DOWN = 0x28;
constexpr WPARAM VK_OEM_COMMA = 0xBC;
constexpr WPARAM VK_OEM_PERIOD = 0xBE;
constexpr WPARAM VK_OEM_4 = 0xDB;  // [
constexpr WPARAM VK_OEM_6 = 0xDD;  // ]
constexpr WPARAM VK_A = 0x41;      // the A mark of the playing drive
constexpr WPARAM VK_B = 0x42;      // the B mark

// --- Window messages ------------------------------------------------------
// Control clicked; sent by buttons, player views, the file list bar to the parent; wParam control id, lParam 0 (or 1/0 for 10102 page switch).
constexpr UINT ZOVWM_CLICK = WM_USER + 3001;        // 4025
// Scroll bar position changed; sent by the vertical scroll bar; wParam control id, lParam new position.
constexpr UINT ZOVWM_VSCROLLPOS = WM_USER + 3002;   // 4026
// Relabel after a language change; main window to the panels, panels on to pages and the play window; no parameters.
constexpr UINT ZOVWM_RELABEL = WM_USER + 3004;      // 4028
// Map choice: wParam kZovChoiceLoadMap = load the current map page (right panel); kZovChoiceAnswer =
// the main window's answer to the setup page, lParam kZovChoiceAccepted or kZovChoiceRefused.
constexpr UINT ZOVWM_MAPCHOICE = WM_USER + 3005;    // 4029
// Posted by the main window's Ctrl+T hot key to the left panel; no handler acts on it.
constexpr UINT ZOVWM_CTRLT = WM_USER + 3015;        // 4039
// Re-place the file list bar; posted by the main window on moves and resizes to the panels and the map page; no parameters.
constexpr UINT ZOVWM_LISTLAYOUT = WM_USER + 3017;   // 4041
// Show (wParam 0) or hide (other) the right panel; sent to the main window.
constexpr UINT ZOVWM_SHOWRIGHT = WM_USER + 3021;    // 4045
// Coded data: wParam = code (below), lParam = const ZovMsgData*, owned by the message (freed after the
// handler returns), or 0. Send with CZovWndManager::Send<CODE>(name, record), read with
// ZovMsgRecord(lParam)->Record<CODE>() (shell/zov_wnd_manager.h; record types in zov_message_records.h).
constexpr UINT ZOVWM_INFO_E = WM_USER + 3027;       // 4051
// Select a file in the list; sent by the drop handlers and the play window up to the panels; lParam = list index.
constexpr UINT ZOVWM_LISTSELECT = WM_USER + 3028;   // 4052
// Video pane channels; sent by the play window to "CZovLeftTab"; wParam / lParam as SetChannels(a, b).
constexpr UINT ZOVWM_SETCHANNELS = WM_USER + 3032;  // 4056
// Video-only mode; sent by the left panel to the main window; lParam 1 restore, 0 video only.
constexpr UINT ZOVWM_VIDEOONLY = WM_USER + 3034;    // 4058
// Next video pane arrangement; posted by the play window to "CZovLeftTab"; no parameters.
constexpr UINT ZOVWM_NEXTARRANGE = WM_USER + 3035;  // 4059
// Seek slider thumb back to the start; sent by owners to the slider; no parameters.
constexpr UINT ZOVWM_SEEKRESET = WM_USER + 3040;    // 4064
// Decode choice: wParam kZovChoiceAnswer, lParam kZovChoiceAccepted (remember the list's choice) or
// kZovChoiceRefused (put the setup list back); main window to the right panel, on to the setup page.
constexpr UINT ZOVWM_DECODECHOICE = WM_USER + 3042; // 4066
// Slider dragged; posted by the seek slider to its parent; wParam slider id, lParam slider value.
constexpr UINT ZOVWM_SEEKDRAG = WM_USER + 3043;     // 4067
// Slider released; posted by the seek slider to its parent; wParam slider id, lParam slider value.
constexpr UINT ZOVWM_SEEKDROP = WM_USER + 3044;     // 4068
// Show the export window of the playing drive (Ctrl+E); main window to "CPlayDialog"; no parameters.
constexpr UINT ZOVWM_EXPORT = WM_USER + 3045;       // 4069

// Sub-codes of ZOVWM_MAPCHOICE and ZOVWM_DECODECHOICE.
constexpr WPARAM kZovChoiceLoadMap = 0;   // wParam: load the current map page (map choice only)
constexpr WPARAM kZovChoiceAnswer = 1;    // wParam: the main window's answer to a choice, in lParam
constexpr LPARAM kZovChoiceAccepted = 0;  // lParam: the choice stands; the list remembers it
constexpr LPARAM kZovChoiceRefused = 1;   // lParam: refused (a recording plays); the list goes back

// --- Hot key ids of the main window (Ctrl + key) --------------------------
constexpr int ZOV_HOTKEY_CTRL_T = 4042;  // posts ZOVWM_CTRLT to the left panel
constexpr int ZOV_HOTKEY_CTRL_I = 4043;  // registered, no action
constexpr int ZOV_HOTKEY_CTRL_O = 4046;  // registered, no action
constexpr int ZOV_HOTKEY_CTRL_G = 4049;  // registered, no action
constexpr int ZOV_HOTKEY_CTRL_F = 4050;  // show or hide the file information window
constexpr int ZOV_HOTKEY_CTRL_E = 4051;  // export a range of the playing drive

// --- Codes of ZOVWM_INFO_E records (wParam = code; record types in zov_message_records.h)
// Language changed; setup dialog to "CZovPlayDlg"; no payload.
constexpr int ZOV_CODE_LANGUAGE = 2001;
// Map chosen; setup dialog to "CZovPlayDlg"; 4 bytes map index (first byte read).
constexpr int ZOV_CODE_MAP = 2002;
// Create the browser; map page bridge to "ZovCefBrowers" with delay 500; no payload.
constexpr int ZOV_CODE_CREATE_BROWSER = 2003;
// GPS tick of a new second; play window to "CZovCefBrowers" and "CZovPlayDlg"; 24-byte tick payload.
constexpr int ZOV_CODE_GPS_TICK = 2005;
// The current file's track is to be drawn anew; play window to "CZovCefBrowers"; no record.
constexpr int ZOV_CODE_DRAW_TRACK = 2007;
// A file opened: its path for the title; play window to "CZovPlayDlg"; ZovTextRecord.
constexpr int ZOV_CODE_PLAYING_TITLE = 2030;
// A file opened: its row in the list; play window to "CZovFileListView"; ZovIndexRecord.
constexpr int ZOV_CODE_PLAYING_INDEX = 2031;
// Playback paused: the panes show stills; play window to "CZovLeftTab"; no record.
constexpr int ZOV_CODE_PAUSED = 2032;
// Download progress; update client to "CZovPlayDlg"; 8 bytes: two uint32 counts (done, total).
constexpr int ZOV_CODE_DOWNLOAD = 2008;
// Update notice; setup dialog and update client to "CZovPlayDlg"; no payload.
constexpr int ZOV_CODE_UPDATE = 2009;
// To "CPlayDialog" from the file list: play the current file (none). From the play window to the
// panels, "CZovCefBrowers", "CZovFileListView", "CZovGsensorView": stopped (4 bytes 0) or an open
// failed (none).
constexpr int ZOV_CODE_STOPPED = 2010;
// Speed unit changed; setup dialog to "CZovCefBrowers"; no payload.
constexpr int ZOV_CODE_UNIT = 2012;
// Track option; to "CZovPlayDlg"; on/off in the first payload byte, written as key "track".
constexpr int ZOV_CODE_TRACK = 2015;
// Stop and play the current file; drop handlers, file list and play window to "CPlayDialog"; no payload.
constexpr int ZOV_CODE_PLAY_CURRENT = 2018;
// Screenshot folder chosen; play window to "CZovPlaySetup"; no payload.
constexpr int ZOV_CODE_SHOT_FOLDER = 2019;
// All-tracks flag; to "CZovCefBrowers"; flag 1 when the record (lParam) is not null.
constexpr int ZOV_CODE_ALL_TRACKS = 2022;
// Decode mode chosen; setup dialog to "CZovPlayDlg"; 4 bytes decode mode index (first byte read).
constexpr int ZOV_CODE_DECODE_MODE = 2023;
// Two-position move; to "CZovCefBrowers"; float32 lat1, lon1, lat2, lon2, ignored, heading.
constexpr int ZOV_CODE_MOVE_TWO = 4057;
// Video pane double click; video panes to "CZovLeftTab" with delay 0; 4 bytes clicked control id.
constexpr int ZOV_CODE_PANE_DBLCLICK = 4058;
// A drive started playing (the play list store's PlayingDrive() holds its plan); play window to
// "CZovCefBrowers" and "CZovGsensorView"; no record.
constexpr int ZOV_CODE_DRIVE = 2040;
// The playing position on the drive clock, each tick and after a seek; play window to
// "CZovCefBrowers" and "CZovGsensorView"; ZovDriveTimeRecord.
constexpr int ZOV_CODE_DRIVE_POSITION = 2041;
// Seek the playing drive to a drive time (a click on the track or the timeline); map page and
// G-sensor view to "CPlayDialog"; ZovDriveTimeRecord.
constexpr int ZOV_CODE_SEEK_DRIVE = 2042;
// The A-B marks of the playing drive (kZovNoMark for a mark not set), after each change and when a
// drive starts; play window to "CZovGsensorView"; ZovDriveMarksRecord.
constexpr int ZOV_CODE_DRIVE_MARKS = 2043;
// Set or clear a mark at a drive time (the timeline's menu); G-sensor view to "CPlayDialog";
// ZovDriveMarkRecord.
constexpr int ZOV_CODE_SET_MARK = 2044;
// Open the playing moment again with the channels the settings now prefer, at the position it
// had (the driver chose other cameras on the video panes); left panel to "CPlayDialog"; no record.
constexpr int ZOV_CODE_REPLAY_MOMENT = 2050;
// Close the file information window; file information view to "CZovPlayDlg"; no payload.
constexpr int ZOV_CODE_CLOSE_FILEINFO = 10101;
