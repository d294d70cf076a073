#pragma once
// CZovLeftTab: the video side of the main window. It holds the video panes
// (CZovPlayerListView, control id 694390) over the area above the play window
// and the play window (CPlayDialog, through CZovPlayWindowBase) along its
// bottom edge at the play window's designed height. A double click on the
// panes (code 4058) flips video-only mode: the panel then covers the whole
// main window, title strip included.
//
// Relays: space to the play window; 4028 posted to the play window; codes
// 2007 TakeStills and 2010 HideStills to the panes; 4052 to the main window;
// 4056 SetChannels, then panes 0..2 into CZovMediaPlay::renderWindows and the
// panes to the play window; 4059 NextArrangement.
//
// Registered as "CZovLeftTab". User-interface thread only.
#include <QRect>

#include "platform/zov_wnd.h"
#include "ui/zov_player_view.h"  // kZovLeftTabName, kZovPlayerListId

// The mark of the idle video area: the program icon's shape, this many
// pixels square, in a grey just above the black.
inline constexpr int kZovIdleMarkSize = 96;
inline constexpr unsigned kZovIdleMarkColour = 0x2C2F36;

class CZovPlayWindowBase;
class CZovSettings;
class CZovWndManager;

class CZovLeftTab : public CZovWnd {
 public:
  explicit CZovLeftTab(QWidget* parent);
  ~CZovLeftTab() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The play window, or null while none exists.
  CZovPlayWindowBase* PlayWindow() const { return playWindow_; }
  // The video panes.
  CZovPlayerListView* VideoPanes() const { return videoPanes_; }
  bool VideoOnly() const { return videoOnly_ != 0; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Layout();
  void OnInfo(int code, LPARAM record);
  void OnSetChannels(WPARAM a, LPARAM b);
  void FlipVideoOnly();

  char name_[32] = "CZovLeftTab";
  CZovSettings* settings_ = nullptr;
  CZovWndManager* directory_ = nullptr;
  CZovPlayWindowBase* playWindow_ = nullptr;  // child; made by the play window maker
  CZovPlayerListView* videoPanes_ = nullptr;  // child
  int videoOnly_ = 0;
  int playTop_ = 0;
  int playWidth_ = 0;
};
