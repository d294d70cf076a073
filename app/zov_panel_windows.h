#pragma once
// Plug-in points of the side panels and the main window: the windows they
// hold but do not build themselves.
//
//   left panel  CZovLeftTab   -> the play window CPlayDialog (derives from
//                                CZovPlayWindowBase), along its bottom edge
//   right panel CZovRightTab  -> the map page CZovCefBrowers (a CZovWnd of
//                                map/, reached through the two map hooks) and
//                                the setup page CZovPlaySetup (derives from
//                                CZovSetupPageBase)
//   main window CZovPlayDlg   -> the file information window CFileInfoView
//                                (created on the first Ctrl+F)
//
// The start-up (ZovInstallPanelWindows, zov_play_app.h) fills the makers
// with the program's own classes; tests put in their own windows. Only the
// start-up knows the concrete classes; the panels know these bases.
// A maker left empty means "this window does not exist": the panel then
// holds nothing there and every relay to it does nothing.
//
// User-interface thread only.
#include <functional>
#include <string>

#include <QRect>

#include "platform/zov_wnd.h"

class CZovVersion;

// What the left panel and the main window need of the play window.
class CZovPlayWindowBase : public CZovWnd {
 public:
  using CZovWnd::CZovWnd;
  // The play window's designed rectangle (its skin rectangle): the left panel
  // keeps its left and its height and puts it along the panel's bottom.
  virtual QRect DesignRect() const = 0;
  // True while a recording plays (also while paused).
  virtual bool IsPlaying() const = 0;
  // Stops playback as the stop command does (the close command calls it).
  virtual void StopPlayback() = 0;
  // The window that shows the video panes (message 4056 hands it over);
  // screenshots are taken from it.
  virtual void SetVideoArea(QWidget* area) = 0;
};

// What the main window needs of the setup page.
class CZovSetupPageBase : public CZovWnd {
 public:
  using CZovWnd::CZovWnd;
  // True when the user pressed the setup page's update button (the update
  // box then shows; an automatic notice keeps it hidden).
  virtual bool UserAskedForUpdate() const = 0;
};

struct ZovPanelWindows {
  // CPlayDialog, child of the left panel.
  std::function<CZovPlayWindowBase*(QWidget* parent)> makePlayWindow;
  // CZovPlaySetup, child of the right panel, hidden at start.
  std::function<CZovSetupPageBase*(QWidget* parent)> makeSetupPage;
  // CZovCefBrowers, child of the right panel, shown at start; it receives
  // the version record.
  std::function<CZovWnd*(QWidget* parent, CZovVersion* version)> makeMapPage;
  // Gives the map page the page location to load (message 4029 with wParam 0).
  std::function<void(CZovWnd* mapPage, const std::string& location)> loadMapPage;
  // Has the map page call the page's "Test()" script.
  std::function<void(CZovWnd* mapPage)> testMapPage;
  // CFileInfoView, child of the main window, made on the first Ctrl+F.
  std::function<CZovWnd*(QWidget* parent)> makeFileInfo;
};

// The makers in use (process-wide; empty until something installs them).
ZovPanelWindows& ZovPanelWindowMakers();
