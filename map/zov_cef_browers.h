#pragma once
// CZovCefBrowers: the map panel of the right side panel. It holds the browser
// with the map page (through its ClientHandler), the compass and the speed
// dial over the map's right edge, and the play list view below the map. It
// drives the page only by the script calls of map/zov_map_calls.h.
//
// Messages (WindowProc dispatches each to one handler):
//   ZOVWM_INFO_E  2003 create the browser          2005 position tick (24-byte tick)
//                 2007 draw the current track      2010 forget the drawn track, reset the speed dial
//                 2022 all-tracks flag (lParam)    4057 two-position move
//                 2040 a drive started: its whole track drawn
//                 2041 drive position: the marker to that drive time
//                 other codes: ignored. Every record is freed.
//   ZOVWM_LISTLAYOUT  to the play list view with wParam = lParam = 0
//   ZOVWM_LISTSELECT  to the play list view as sent
//   ZOVWM_RELABEL     to the play list view; the page's texts anew
//   WM_KEYUP space    to the parent window
//   WM_TIMER 3 (once, 1 s after start): code 2003 to this window, the
//            all-tracks flag from the "trackconnect" choice
//   WM_TIMER 4 (every second until the browser exists): lay the panel out
// Qt events: showing and hiding show and hide the list view (showing
// reloads the page while no track is drawn); resizing lays out the panel and
// tells the page its size (SetMaxXY); dropped files go to the play list;
// closing asks the browser to close.
//
// A page that finishes loading after a track was drawn (the first page, when
// the track came before it, or the page of another map) gets the track drawn
// again, so the track is never lost to a page that was not there yet.
//
// A drive (code 2040, the store's PlayingDrive()) is shown while it is the
// store's playing drive: its whole track stays drawn through its moments
// (their own code 2007 draws nothing then), drive positions place the marker
// and ticks move only the dials. A click on its track sends code 2042 with
// the drive time nearest the click to "CPlayDialog".
//
// Registered in the window directory as "CZovCefBrowers".
// Threads: user-interface thread only (the directory delivers other threads'
// records here by a send).
#include <memory>
#include <string>
#include <vector>

#include <QRect>
#include <QString>
#include <QStringList>
#include <QUrl>

#include "library/zov_drive_plan.h"
#include "platform/zov_message_records.h"
#include "platform/zov_window_names.h"
#include "platform/zov_wnd.h"
#include "shell/zov_resource_library.h"

class ClientHandler;
class CZovCompass;
class CZovFileListStore;
class CZovFileListView;
class CZovSettings;
class CZovVersion;
struct ZovMsgData;

class CZovCefBrowers : public CZovWnd {
 public:
  static constexpr int kTemplateId = 108;
  // Layout and look (resource ids).
  static constexpr int kBrowserRect = 10205;
  static constexpr int kCompassRect = 10206;
  static constexpr int kSpeedRect = 10207;
  static constexpr int kCompassNeedleRect = 10209;
  static constexpr int kSpeedNeedleRect = 10210;
  static constexpr int kPanelColor = 10214;
  static constexpr int kSpeedCaptionRect = 10227;
  static constexpr int kSpeedCaptionFont = 10228;
  static constexpr int kSpeedCaptionColor = 10229;
  // Dials: control ids, which are also their face images; needles follow.
  static constexpr int kCompassId = 10203;
  static constexpr int kCompassNeedle = 10204;
  static constexpr int kSpeedId = 10201;
  static constexpr int kSpeedNeedle = 10202;
  static constexpr ZovColorRef kDialBackground = 0x323232;
  // Timers.
  static constexpr UINT kCreateTimer = 3;
  static constexpr UINT kLayoutTimer = 4;
  static constexpr UINT kTimerMs = 1000;
  // Timer 3 fires at the shortest timer period (10 ms): the browser starts
  // and loads its page while the recording opens, not a second later.
  static constexpr UINT kCreateTimerMs = 0;
  // Delay written into the code-2003 record (the directory delivers at once).
  static constexpr int kCreateDelayMs = 500;
  // Text traced when the browser cannot be made.
  static constexpr const char* kCreateErrorText = "CreateBrowser :error   \r\n";

  // Makes the panel as a child of `parent` and runs its start-up (dials,
  // registration, list view, timers). `version` is kept for the owner.
  CZovCefBrowers(QWidget* parent, CZovVersion* version = nullptr);
  ~CZovCefBrowers() override;

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Loads another page (the right panel's map choice); a location with a
  // scheme ("https://...") is an address, anything else a local file. An
  // address that fails to load gives way to the first local map page.
  void LoadPage(const std::string& location);
  // Calls the page's Test().
  void TestPage();
  // Dropped files (local paths, in drop order): the media files join the
  // play list; the first dropped path, when listed, becomes current and is
  // played (ZOVWM_LISTSELECT to the parent, code 2018 to "CPlayDialog").
  void DropFiles(const std::vector<std::string>& paths);

  // --- State, for the owner and for tests ----------------------------------
  ClientHandler* Client() const { return client_.get(); }
  CZovCompass* Compass() const { return compass_; }
  CZovCompass* SpeedDial() const { return speed_; }
  CZovFileListView* ListView() const { return listView_; }
  bool Drawn() const { return drawn_ != 0; }
  // True while a drive's track is drawn and that drive plays.
  bool DriveShown() const;
  double Heading() const { return heading_; }
  const QString& SpeedText() const { return speedText_; }
  // The browser's area in the panel, as the last layout placed it.
  QRect BrowserArea() const;
  // The page address a location stands for.
  static QUrl PageUrl(const std::string& location);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateDials();
  void CreateListView();
  void OnInfo(int code, LPARAM record);
  void OnTimer(UINT id);
  void OnCreateBrowser();
  void OnTick(const ZovTickPayload& tick);
  // The current track drawn anew, the dials reset.
  void OnDrawTrack();
  // The track calls alone (also for a page that loaded after they were made).
  void DrawTrack();
  void OnStopped();
  void OnDrive();
  void OnDrivePosition(int64_t ms);
  void DrawDrive();
  // The page asked to seek the drive near a position.
  void OnSeekNear(double latitude, double longitude);
  // Places the marker and centres on it; skipped when nothing changed.
  void PlaceMarker(double longitude, double latitude, double heading);
  void SendTexts();
  void OnMoveTwo(const ZovMoveTwoRecord& move);
  // Turns the compass to `heading`; redrawn only when it moved.
  void SetHeading(double heading);
  void OnPageLoaded(bool ok);
  bool ShowOfflinePage();
  void Layout(int width, int height);
  void ShowSpeed(double knots);
  void ResetDials(bool compassToo);
  bool Run(const QString& script);
  void RunMarkerCalls();

  CZovSettings* settings_;
  CZovFileListStore* store_;
  CZovVersion* version_;
  std::unique_ptr<ClientHandler> client_;
  CZovCompass* compass_ = nullptr;  // children, owned by the widget tree
  CZovCompass* speed_ = nullptr;
  CZovFileListView* listView_ = nullptr;
  ZovRect browserRect_;             // layout entry 10205
  ZovRect compassRect_, speedRect_;
  QColor panelColor_;
  QString speedText_;
  double heading_ = 0;
  int drawn_ = 0;
  bool redrawOnLoad_ = false;       // the drawn track has not reached the page
  std::string pageLocation_;        // the page asked for last
  QStringList markerCalls_;         // the last tick's marker calls, for a reloaded page
  std::shared_ptr<const ZovDrivePlan> drivePlan_;     // the drive drawn last (null: none)
  std::vector<std::vector<ZovDrivePoint>> driveTrack_;  // its track on the drive clock
};
