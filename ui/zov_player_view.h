#pragma once
// Video panes of the left panel.
//
// CZovPlayerListView is the container (control id 694390): it lays out up to
// three CZovPlayerView panes (ids 694390..694392; a fourth, 694393, is made
// when four channels are asked for and never laid out) in one of eight
// arrangements, each pane fitted at 16:9 into its cell:
//
//   arrangement  what shows
//   0, 2, 5      pane 0 over the whole client
//   1            the large pane and the other one beside it (or below it
//                when that leaves the large one more room)
//   3, 6         pane 1 over the whole client
//   4            the large pane and the two others stacked beside it (or
//                side by side below it)
//   7            pane 2 over the whole client
//
// In arrangements 1 and 4 the large pane is pane 0 until a double click on
// a small pane makes that one the large one (the two trade places). Pane i
// always hosts channel i's window, so moving a pane moves where the engine
// draws that channel; nothing is reopened.
//
// Each pane hosts a native window (RenderWindow()) that the engine's OpenGL
// view draws into; the left panel copies panes 0..2 into
// the engine's channel windows (FillRenderWindows). When playback pauses the
// panel asks for stills (TakeStills): each pane converts the first queued
// picture of its channel to 24-bit BGR and shows it in place of the video
// window until the engine presents a new picture, so a resize or a new
// arrangement while paused shows the paused picture, drawn at its display
// aspect as the video window draws it.
//
// With an engine to watch (SetEngine), the container asks it every
// kChannelWatchMs for the state of channels 1 and 2: a channel that played
// out or cannot be played keeps its last picture (or black) in its pane,
// drawn here, under a label such as "Rear: ended"; the others play on. Each
// pane shows its channel's name in a small tag in its top left corner, and a
// right click on the panes offers the moment's channels with check marks (at
// most kZovMaxShownChannels), reported through chooseChannels.
//
// A released click on a pane sends ZOVWM_CLICK (wParam = pane id) to the
// container, at most once per 1000 ms per pane. A click also gives the pane
// the keyboard focus; the space key released there reaches the container,
// which passes it on to its parent (pause and resume). A double click on a
// small pane makes it the large one; one on the large pane, on a pane shown
// alone or on the container sends ZOVWM_INFO_E code 4058 through the window
// directory to "CZovLeftTab" with the clicked control's id (4 bytes). Either
// happens at most once per 1000 ms in the whole program.
//
// Threads: user-interface thread only (as every engine control call).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QRect>

#include "platform/zov_window_names.h"
#include "ui/zov_ui_base.h"

class QMenu;
class QPainter;
class QWindow;
class CZovEngine;
class CZovWndManager;

// Ids of the container and its panes.
inline constexpr int kZovPlayerListId = 694390;
inline constexpr int kZovPlayerViewIds[4] = {694390, 694391, 694392, 694393};

// Channels the panes show together at most.
inline constexpr size_t kZovMaxShownChannels = 3;

// The cells of panes 0..2 for `arrangement` over a W x H client (empty
// rectangle: the pane is hidden); in arrangements 1 and 4 pane 0 has the
// large cell.
std::array<QRect, 3> ZovPaneCells(int arrangement, int width, int height);
// The channels shown after the driver picked `key` in the panes' menu: a
// shown channel leaves (unless it is the last one), another one joins at the
// end, taking the last place when `most` already show.
std::vector<std::string> ZovToggleShownChannel(std::vector<std::string> shown, const std::string& key,
                                               size_t most = kZovMaxShownChannels);
// A channel's name as the panes show it, in the current language ("rear-2":
// the rear name and 2); the key itself for a kind without a text.
QString ZovChannelTitle(const std::string& key);

// What became of a pane's channel: it plays, or it stopped early.
enum class ZovPaneEnd { kNone = 0, kEnded = 1, kFailed = 2 };
// A pane's rectangle in `cell`, keeping 1280 x 720 proportions, centred.
QRect ZovFitPane(const QRect& cell);

class CZovPlayerView : public CZovUiBase {
 public:
  // Every pane keeps the proportions of this frame.
  static constexpr int kFrameWidth = 1280;
  static constexpr int kFrameHeight = 720;
  // Shortest time between two click reports of one pane.
  static constexpr uint32_t kClickIntervalMs = 1000;
  // Timer that watches for the engine's next picture while a still shows.
  static constexpr UINT kStillWatchTimer = 1;
  static constexpr UINT kStillWatchMs = 50;

  CZovPlayerView();
  ~CZovPlayerView() override;

  // Made hidden (child, clip children), whatever `style` says; `id` is kept.
  bool CreateEx(QWidget* parent, const ZovRect& rect, const QString& text, int id, int kind = 0);

  // The native window the engine's view draws into.
  QWindow* RenderWindow() const { return renderWindow_; }
  // Moves the pane to its fitted place in `cell` and marks its picture ready.
  void FitInto(const QRect& cell);
  // Converts the first queued picture of `channel` of `engine`; false (nothing
  // changed) when that channel is not open or has no decoded picture.
  bool TakeStill(CZovEngine* engine, int channel);
  // Uses a 24-bit BGR picture (stride width * 3, square samples) as the
  // still, shown until it is dropped.
  void SetStill(const uint8_t* bgr, int width, int height);
  // Frees the picture and gives the pane back to the video window.
  void DropPicture();
  void SetNoFill(bool flag) { noFill_ = flag ? 1 : 0; }
  bool NoFill() const { return noFill_ != 0; }

  // The channel's name, shown in the tag in the pane's corner (empty: no tag).
  void SetTitle(const QString& title);
  QString Title() const { return title_; }
  // The channel stopped early: the pane keeps `last` (the channel's last
  // picture as its window showed it; null: black) under a label saying so,
  // in place of the video window. kNone gives the pane back to the video.
  void SetEnd(ZovPaneEnd end, const QImage& last = QImage());
  ZovPaneEnd End() const { return end_; }
  // The label over a pane whose channel stopped early ("" while it plays).
  QString EndLabel() const;
  // The corner tag over the video window (null before a title was set); a
  // still or a stopped channel's pane draws the same tag itself.
  QWindow* Tag() const { return tag_; }
  // True when the pane is wide enough for its title's tag.
  bool TagShows() const;

  bool HasPicture() const { return !picture_.empty(); }
  int PictureWidth() const { return pictureWidth_; }
  int PictureHeight() const { return pictureHeight_; }
  // The picture as an image (null without one).
  QImage PictureImage() const;
  // True while the still is shown in place of the video window.
  bool IsStillShown() const { return stillShown_; }
  int ClickCount() const { return clickCount_; }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void OnLButtonDown(const QPoint& pt) override;
  void OnLButtonUp(const QPoint& pt) override;
  void OnLButtonDblClk(const QPoint& pt) override;
  void OnMouseMove(const QPoint& pt) override;
  void OnMouseLeave() override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void ShowStill(CZovEngine* engine, int channel);
  void OnStillWatch();
  void PlaceTag();
  void PaintTag(QPainter& dc);

  uint8_t pressed_ = 0;
  uint8_t tracked_ = 0;
  int32_t clickCount_ = 0;
  int32_t noFill_ = 0;
  uint64_t lastClickSent_ = 0;
  CZovWndManager* directory_ = nullptr;
  std::vector<uint8_t> picture_;  // 24-bit BGR rows
  int32_t pictureWidth_ = 0;
  int32_t pictureHeight_ = 0;
  int32_t pictureSarNum_ = 1;  // the still's sample aspect, as the video window draws it
  int32_t pictureSarDen_ = 1;
  int32_t pictureReady_ = 0;

  QWindow* renderWindow_ = nullptr;   // owned by the container widget
  QWidget* videoContainer_ = nullptr; // child widget
  QWindow* tag_ = nullptr;            // child window of the video window
  QString title_;
  ZovPaneEnd end_ = ZovPaneEnd::kNone;
  QImage lastLook_;                   // what the window showed when the channel stopped
  bool stillShown_ = false;
  // The engine channel the still came from and its picture count then.
  CZovEngine* stillEngine_ = nullptr;
  int stillChannel_ = -1;
  int64_t presentedAtStill_ = 0;
};

class CZovPlayerListView : public CZovUiBase {
 public:
  static constexpr int kMaxPanes = 4;
  // Timer that asks the engine how the channels fare.
  static constexpr UINT kChannelWatchTimer = 2;
  // A channel labelled "ended" has been over this long: a rear camera's clip
  // that ends a moment before the front's is followed by the next moment's
  // and never flashes a label at the change.
  static constexpr int64_t kEndedLabelDelayMs = 1500;
  static constexpr UINT kChannelWatchMs = 200;

  CZovPlayerListView();
  ~CZovPlayerListView() override;

  // Made hidden (child, clip children), whatever `style` says; `id` is kept.
  bool CreateEx(QWidget* parent, const ZovRect& rect, const QString& text, int id, int kind = 0);

  // a = 2: two channels, arrangement 2 (b = 0) or 3 (b = 1), other b keep it;
  // a = 0: b channels, arrangement 0 (1), 1 (2) or 4 (other); other a:
  // ignored. Then makes the panes, sets their no-fill flag, activates and
  // lays out.
  void SetChannels(int a, int b);
  // Two channels: 1 -> 2 -> 3 -> 1; three: 4 -> 5 -> 6 -> 7 -> 4.
  void NextArrangement();
  // Pane 0 takes a still of channel 0, pane 1 of channel 1 (not in
  // arrangement 0), pane 2 of channel 2 with three channels. Without an argument: the process's media-play manager.
  void TakeStills();
  void TakeStills(CZovEngine* engine);
  // Inactive; every pane hidden, pictures dropped, no-fill cleared.
  void HideStills();
  // Applies the current arrangement to the client area.
  void Layout();
  // Makes pane `pane` the large one of arrangements 1 and 4 (it trades
  // places with the large one); false when it is not a small pane there.
  bool MakeLarge(int pane);
  // The pane in the large place (0 unless a small one was made large).
  int LargePane() const { return large_; }
  // The engine whose channels the panes watch (null: none is watched).
  void SetEngine(CZovEngine* engine);
  // Asks the engine now how channels 1 and 2 fare (the watch timer's work).
  void WatchChannels();
  // The channels the panes show, by key in channel order, and every channel
  // of the playing moment (the menu's choices). Titles the panes.
  void SetChannelKeys(const std::vector<std::string>& shown, const std::vector<std::string>& all);
  const std::vector<std::string>& ShownKeys() const { return shownKeys_; }
  // The right-click menu: the moment's channels, the shown ones checked;
  // null when the moment has fewer than two.
  std::unique_ptr<QMenu> MakeChannelMenu();

  int ChannelCount() const { return channelCount_; }
  int Arrangement() const { return arrangement_; }
  bool IsActive() const { return active_ != 0; }
  CZovPlayerView* Pane(int i) const { return i >= 0 && i < kMaxPanes ? panes_[i].get() : nullptr; }
  // Panes 0..2's video windows into `windows`, each only where the pane exists.
  void FillRenderWindows(std::array<QWindow*, 4>& windows) const;

  // When set, arrangement changes do not move the panes.
  int32_t frozen = 0;
  // Draws the video area's look while no pane plays (at start and after a
  // stop) over its black; set by the owner. Without one the area stays black.
  std::function<void(QPainter&, const QRect&)> idleLook;
  // The channels the driver chose in the menu, in order (set by the owner).
  std::function<void(const std::vector<std::string>&)> chooseChannels;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void OnLButtonDblClk(const QPoint& pt) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void MakePanes();
  void TitlePanes();
  void ClearEnds();
  std::array<int64_t, 3> endedSince_{};  // when each channel was first seen ended; 0 not ended

  std::array<std::unique_ptr<CZovPlayerView>, kMaxPanes> panes_;
  int32_t channelCount_ = 0;
  int32_t arrangement_ = 0;
  int32_t active_ = 0;
  int32_t large_ = 0;
  CZovWndManager* directory_ = nullptr;
  CZovEngine* engine_ = nullptr;
  std::vector<std::string> shownKeys_;
  std::vector<std::string> allKeys_;
};

// Sends the double-click record of control `id` to "CZovLeftTab" unless one
// went less than 1000 ms ago (program-wide). True when sent.
bool ZovReportPaneDoubleClick(CZovWndManager* directory, int id);
// True, and counts it, when a double click on the panes is due (none went
// less than 1000 ms ago, program-wide).
bool ZovPaneDoubleClickDue();
