#pragma once
// CZovLeftTab: the video side of the main window. It holds the video panes
// (CZovPlayerListView, control id 694390) over the area above the play window
// and the play window (CPlayDialog, through CZovPlayWindowBase) along its
// bottom edge at the play window's designed height. A double click on the
// panes (code 4058) flips video-only mode: the panel then covers the whole
// main window, title strip included.
//
// Relays: space to the play window; 4028 posted to the play window; codes
// 2032 (paused) TakeStills and 2010 HideStills to the panes; 4052 to the main window;
// 4056 SetChannels, then panes 0..2 into the engine's channel windows and the
// panes to the play window; 4059 NextArrangement. With SetChannels it names the
// panes' channels (the playing drive's moment, else front, rear, interior)
// and has them watch the process's engine. Cameras chosen on the panes are
// stored as the preferred channels and code 2050 asks the play window to open
// the moment again with them.
//
// Registered as "CZovLeftTab". User-interface thread only.
#include <QRect>

#include <string>
#include <vector>

#include "platform/zov_window_names.h"
#include "platform/zov_wnd.h"
#include "ui/zov_player_view.h"  // kZovPlayerListId

// The mark of the idle video area: the program icon's shape, this many
// pixels square, in a grey just above the black.
inline constexpr int kZovIdleMarkSize = 96;
inline constexpr unsigned kZovIdleMarkColour = 0x2C2F36;

class CZovGsensorView;
struct ZovDrivePlan;
class CZovPlayWindowBase;
class CZovSettings;
class CZovWndManager;

// The channel keys of the panes: those shown, in channel order, and every
// channel of the moment (the panes' menu). From the moment of `plan` whose
// lead is `path` when the play window would open `count` channels of it
// with `preferred`; else unnamed for one channel, front, rear, interior for more.
struct ZovPaneChannels {
  std::vector<std::string> shown;
  std::vector<std::string> all;
};
ZovPaneChannels ZovPaneChannelsOf(const ZovDrivePlan* plan, const std::string& path,
                                  const std::vector<std::string>& preferred, int count);

class CZovLeftTab : public CZovWnd {
 public:
  explicit CZovLeftTab(QWidget* parent);
  ~CZovLeftTab() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The play window, or null while none exists.
  CZovPlayWindowBase* PlayWindow() const { return playWindow_; }
  // The video panes.
  CZovPlayerListView* VideoPanes() const { return videoPanes_; }
  // The timeline between the panes and the play window (hidden while no drive plays).
  CZovGsensorView* Timeline() const { return timeline_; }
  bool VideoOnly() const { return videoOnly_ != 0; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Layout();
  void OnInfo(int code);
  void OnSetChannels(WPARAM a, LPARAM b);
  void FlipVideoOnly();

  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;
  CZovPlayWindowBase* playWindow_ = nullptr;  // child; made by the play window maker
  CZovPlayerListView* videoPanes_ = nullptr;  // child
  CZovGsensorView* timeline_ = nullptr;       // child
  int videoOnly_ = 0;
  int playTop_ = 0;
  int playWidth_ = 0;
};
