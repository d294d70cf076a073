#pragma once
// Video panes of the left panel.
//
// CZovPlayerListView is the container (control id 694390): it lays out up to
// three CZovPlayerView panes (ids 694390..694392; a fourth, 694393, is made
// when four channels are asked for and never laid out) in one of eight
// arrangements, each pane fitted at 16:9 into its cell:
//
//   arrangement  pane 0                 pane 1                     pane 2
//   0, 2, 5      whole client           -                          -
//   1            x 1 .. b/2             x W/2 .. W                 -
//   3, 6         -                      whole client               -
//   4            x 0 .. (b/5)*3         x (b/5)*3+3 .. (b/5)*5+3,  same x,
//                                       upper half                 lower half
//   7            -                      -                          whole client
//   (W, H the client size, b = W - 6, integer divisions)
//
// Each pane hosts a native window (RenderWindow()) that the engine's OpenGL
// view draws into; the left panel copies panes 0..2 into
// CZovMediaPlay::renderWindows (FillRenderWindows). When playback pauses the
// panel asks for stills (TakeStills): each pane converts the first queued
// picture of its channel to 24-bit BGR and shows it in place of the video
// window until the engine presents a new picture, so a resize or a new
// arrangement while paused shows the paused picture, drawn at its display
// aspect as the video window draws it.
//
// A released click on a pane sends ZOVWM_CLICK (wParam = pane id) to the
// container, at most once per 1000 ms per pane. A click also gives the pane
// the keyboard focus; the space key released there reaches the container,
// which passes it on to its parent (pause and resume). A double click on a pane or
// on the container sends ZOVWM_INFO_E code 4058 through the window directory
// to "CZovLeftTab" with the clicked control's id (4 bytes), at most once per
// 1000 ms in the whole program.
//
// Threads: user-interface thread only (as every engine control call).
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include <QImage>
#include <QRect>

#include "ui/zov_ui_base.h"

class QPainter;
class QWindow;
class CZovMediaPlay;
class CZovWndManager;

// Ids of the container and its panes.
inline constexpr int kZovPlayerListId = 694390;
inline constexpr int kZovPlayerViewIds[4] = {694390, 694391, 694392, 694393};
// Window the double-click record goes to.
inline constexpr const char* kZovLeftTabName = "CZovLeftTab";

// The cells of panes 0..2 for `arrangement` over a W x H client (empty
// rectangle: the pane is hidden).
std::array<QRect, 3> ZovPaneCells(int arrangement, int width, int height);
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
  // Converts the first queued picture of `channel` of `play`; false (nothing
  // changed) when that channel is not open or has no decoded picture.
  bool TakeStill(CZovMediaPlay* play, int channel);
  // Uses a 24-bit BGR picture (stride width * 3, square samples) as the
  // still, shown until it is dropped.
  void SetStill(const uint8_t* bgr, int width, int height);
  // Frees the picture and gives the pane back to the video window.
  void DropPicture();
  void SetNoFill(bool flag) { noFill_ = flag ? 1 : 0; }
  bool NoFill() const { return noFill_ != 0; }

  bool HasPicture() const { return picture_ != nullptr; }
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
  struct AvFree {
    void operator()(uint8_t* p) const;
  };
  void ShowStill(CZovMediaPlay* play, int channel);
  void OnStillWatch();

  uint8_t pressed_ = 0;
  uint8_t tracked_ = 0;
  int32_t clickCount_ = 0;
  int32_t noFill_ = 0;
  uint64_t lastClickSent_ = 0;
  CZovWndManager* directory_ = nullptr;
  std::unique_ptr<uint8_t, AvFree> picture_;
  int32_t pictureWidth_ = 0;
  int32_t pictureHeight_ = 0;
  int32_t pictureSarNum_ = 1;  // the still's sample aspect, as the video window draws it
  int32_t pictureSarDen_ = 1;
  int32_t pictureReady_ = 0;

  QWindow* renderWindow_ = nullptr;   // owned by the container widget
  QWidget* videoContainer_ = nullptr; // child widget
  bool stillShown_ = false;
  // The engine channel the still came from and its picture count then.
  CZovMediaPlay* stillPlay_ = nullptr;
  int stillChannel_ = -1;
  int64_t presentedAtStill_ = 0;
};

class CZovPlayerListView : public CZovUiBase {
 public:
  static constexpr int kMaxPanes = 4;

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
  void TakeStills(CZovMediaPlay* play);
  // Inactive; every pane hidden, pictures dropped, no-fill cleared.
  void HideStills();
  // Applies the current arrangement to the client area.
  void Layout();

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

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  void OnLButtonDblClk(const QPoint& pt) override;
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void MakePanes();

  std::array<std::unique_ptr<CZovPlayerView>, kMaxPanes> panes_;
  int32_t channelCount_ = 0;
  int32_t arrangement_ = 0;
  int32_t active_ = 0;
  CZovWndManager* directory_ = nullptr;
};

// Sends the double-click record of control `id` to "CZovLeftTab" unless one
// went less than 1000 ms ago (program-wide). True when sent.
bool ZovReportPaneDoubleClick(CZovWndManager* directory, int id);
