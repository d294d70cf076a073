#include "map/zov_cef_browers.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QUrl>
#include <QWebEngineView>

#include "gps/zov_track_second.h"
#include "map/zov_client_handler.h"
#include "map/zov_compass.h"
#include "map/zov_map_calls.h"
#include "shell/zov_settings.h"
#include "shell/zov_trace.h"
#include "shell/zov_wnd_manager.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_file_list_view.h"

CZovCefBrowers::CZovCefBrowers(QWidget* parent, CZovVersion* version)
    : CZovWnd(parent),
      settings_(CZovSettings::GetInstance()),
      store_(CZovFileListStore::GetInstance()),
      version_(version) {
  setAcceptDrops(true);
  setFocusPolicy(Qt::ClickFocus);
  browserRect_ = settings_->LoadRect(kBrowserRect);
  compassRect_ = settings_->LoadRect(kCompassRect);
  speedRect_ = settings_->LoadRect(kSpeedRect);
  panelColor_ = settings_->LoadQColor(kPanelColor);
  CreateDials();
  CZovWndManager::GetInstance()->Register(kZovMapPageName, this);
  CreateListView();
  // Files given on the command line start loading before timer 3 fires; the
  // tracks loaded for them depend on the all-tracks flag, so it is right from
  // the start (timer 3 sets it again).
  store_->SetAllTracks(settings_->TrackConnectIndex() != 0);
  SetTimer(kCreateTimer, kCreateTimerMs);
  SetTimer(kLayoutTimer, kTimerMs);
}

CZovCefBrowers::~CZovCefBrowers() {
  if (CZovWndManager* directory = CZovWndManager::Peek()) directory->Unregister(kZovMapPageName);
  if (client_) client_->ClearBrowser();
  client_.reset();
}

void CZovCefBrowers::CreateDials() {
  compass_ = new CZovCompass;
  compass_->backgroundColor = kDialBackground;
  compass_->CreateEx(this, compassRect_, QString(), kCompassId);
  compass_->LoadImages(kCompassId, kCompassNeedle, settings_->LoadRect(kCompassNeedleRect));
  compass_->SetCenter(compassRect_.Width() / 2, compassRect_.Height() / 2);

  speed_ = new CZovCompass;
  speed_->backgroundColor = kDialBackground;
  speed_->CreateEx(this, speedRect_, QString(), kSpeedId);
  speed_->LoadImages(kSpeedId, kSpeedNeedle, settings_->LoadRect(kSpeedNeedleRect));
  speed_->SetCenter(speedRect_.Width() / 2, speedRect_.Height() / 2);
  speed_->SetCaption(settings_->LoadRect(kSpeedCaptionRect), settings_->LoadColor(kSpeedCaptionColor),
                     kSpeedCaptionFont);
  speed_->SetAngle(kZovSpeedDialStartAngle);
}

void CZovCefBrowers::CreateListView() {
  listView_ = new CZovFileListView;
  const int top = browserRect_.bottom;
  listView_->Create(this, QRect(0, top, std::max(0, width()), std::max(0, height() - top)));
  listView_->show();
}

LRESULT CZovCefBrowers::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ZOVWM_INFO_E:
      OnInfo(static_cast<int>(wParam), lParam);
      return 0;
    case ZOVWM_LISTLAYOUT:
      if (listView_) listView_->SendMessage(ZOVWM_LISTLAYOUT, 0, 0);
      return 0;
    case ZOVWM_LISTSELECT:
      if (listView_) listView_->SendMessage(message, wParam, lParam);
      return 0;
    case ZOVWM_RELABEL:
      if (listView_) listView_->SendMessage(message, wParam, lParam);
      SendTexts();
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE) {
        if (auto* parent = dynamic_cast<CZovMsgTarget*>(parentWidget())) {
          parent->SendMessage(WM_KEYUP, wParam, lParam);
        }
      }
      return 0;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      return 0;
    default:
      return CZovWnd::WindowProc(message, wParam, lParam);
  }
}

void CZovCefBrowers::OnInfo(int code, LPARAM record) {
  switch (code) {
    case ZOV_CODE_CREATE_BROWSER:
      OnCreateBrowser();
      break;
    case ZOV_CODE_GPS_TICK:
      if (auto tick = ZovReadRecord<ZOV_CODE_GPS_TICK>(record)) OnTick(*tick);
      break;
    case ZOV_CODE_DRAW_TRACK:
      OnDrawTrack();
      break;
    case ZOV_CODE_STOPPED:
      OnStopped();
      break;
    case ZOV_CODE_ALL_TRACKS:
      store_->SetAllTracks(record != 0);
      break;
    case ZOV_CODE_MOVE_TWO:
      if (auto move = ZovReadRecord<ZOV_CODE_MOVE_TWO>(record)) OnMoveTwo(*move);
      break;
    case ZOV_CODE_DRIVE:
      OnDrive();
      break;
    case ZOV_CODE_DRIVE_POSITION:
      if (auto at = ZovReadRecord<ZOV_CODE_DRIVE_POSITION>(record)) OnDrivePosition(at->ms);
      break;
    default:
      break;  // not for this window
  }
}

void CZovCefBrowers::OnTimer(UINT id) {
  if (id == kCreateTimer) {
    KillTimer(kCreateTimer);
    CZovWndManager::GetInstance()->Send<ZOV_CODE_CREATE_BROWSER>(kZovMapPageName, kCreateDelayMs);
    store_->SetAllTracks(settings_->TrackConnectIndex() != 0);
  } else if (id == kLayoutTimer) {
    if (client_ && client_->GetBrowser()) {
      KillTimer(kLayoutTimer);
      return;
    }
    Layout(width(), height());
  }
}

QUrl CZovCefBrowers::PageUrl(const std::string& location) {
  const QString text = QString::fromStdString(location);
  if (text.isEmpty()) return QUrl(QStringLiteral("about:blank"));
  if (text.contains(QStringLiteral("://"))) return QUrl(text);
  return QUrl::fromLocalFile(text);
}

void CZovCefBrowers::OnCreateBrowser() {
  client_ = std::make_unique<ClientHandler>();
  // Until the page draws, the browser shows the panel's colour, not a white box.
  client_->SetBackground(panelColor_);
  connect(client_.get(), &ClientHandler::PageLoaded, this, [this](bool ok) { OnPageLoaded(ok); });
  connect(client_.get(), &ClientHandler::SeekNear, this,
          [this](double latitude, double longitude) { OnSeekNear(latitude, longitude); });
  QRect area = browserRect_.ToQRect();
  if (width() > 0) area.setWidth(width());
  pageLocation_ = settings_->CurrentMapLocation();
  if (!client_->CreateBrowser(this, area, PageUrl(pageLocation_))) {
    DebugTrace("%s", kCreateErrorText);
    return;
  }
  // The dials lie over the map's right edge.
  compass_->raise();
  speed_->raise();
  // A track drawn before the browser existed reaches the page once it loads.
  redrawOnLoad_ = drawn_ != 0;
}

void CZovCefBrowers::LoadPage(const std::string& location) {
  if (!client_ || !client_->GetBrowser()) return;
  pageLocation_ = location;
  client_->LoadUrl(PageUrl(location));
  redrawOnLoad_ = drawn_ != 0;
}

void CZovCefBrowers::TestPage() { Run(ZovCallTest()); }

bool CZovCefBrowers::Run(const QString& script) { return client_ && client_->ExecuteJavaScript(script); }

// A remote map page that did not load (no network, or one that hangs) gives
// way to the first map page shipped with the program, whose offline basemap
// still shows the track. The map chosen in the settings stays chosen.
bool CZovCefBrowers::ShowOfflinePage() {
  if (pageLocation_.find("://") == std::string::npos) return false;
  for (const ZovMapEntry& map : settings_->Maps()) {
    if (map.location.empty() || map.location.find("://") != std::string::npos) continue;
    DebugTrace("map page %s failed to load: %s shown\r\n", pageLocation_.c_str(), map.location.c_str());
    LoadPage(map.location);
    return true;
  }
  return false;
}

void CZovCefBrowers::OnPageLoaded(bool ok) {
  if (!ok && ShowOfflinePage()) return;
  if (ok) SendTexts();
  if (!ok || !redrawOnLoad_) return;
  redrawOnLoad_ = false;
  // The same track again, and the marker where the last tick put it: the
  // dials keep showing the current point.
  DrawTrack();
  RunMarkerCalls();
}

void CZovCefBrowers::OnTick(const ZovTickPayload& tick) {
  if (tick.mode != 1) return;
  // While a drive is shown, its positions (code 2041) place the marker on its track.
  const bool ownMarker = !DriveShown();
  if (ownMarker && ZovIsPosition(tick.latitude, tick.longitude)) {
    PlaceMarker(tick.longitude, tick.latitude, tick.heading);
  } else if (ownMarker) {
    DebugTrace("Cef ZOVWM_INFO_E: %f %f IS_DOUBLE_ZERO  \r\n", double(tick.latitude), double(tick.longitude));
  }
  ShowSpeed(tick.speed);
  // Only the dials change: the panel itself (and with it the browser and
  // the list under it) is not repainted for a tick.
  SetHeading(tick.heading);
}

void CZovCefBrowers::PlaceMarker(double longitude, double latitude, double heading) {
  QStringList calls = {ZovCallMove(longitude, latitude, ZovMarkerAngle(heading)),
                       ZovCallCenter(longitude, latitude)};
  // A vehicle standing still sends the same point every second: the page
  // (and the browser's compositing) is left alone then.
  if (calls == markerCalls_) return;
  markerCalls_ = std::move(calls);
  RunMarkerCalls();
}

// The marker's move and the view's centring go as one script: one message to
// the page and one frame of its drawing, not two.
void CZovCefBrowers::RunMarkerCalls() {
  if (!markerCalls_.isEmpty()) Run(markerCalls_.join(QLatin1Char(';')));
}

void CZovCefBrowers::SetHeading(double heading) {
  if (heading == heading_ && compass_->Angle() == heading) return;
  heading_ = heading;
  compass_->SetAngle(heading_);
  compass_->update();
}

void CZovCefBrowers::ShowSpeed(double knots) {
  const double value = ZovSpeedValue(knots, settings_->UnitScale());
  speedText_ = ZovSpeedCaption(value, settings_->UnitName());
  speed_->SetValue(speedText_, ZovSpeedNeedleAngle(value));
}

void CZovCefBrowers::ResetDials(bool compassToo) {
  speedText_ = ZovSpeedResetCaption(settings_->UnitName());
  speed_->SetValue(speedText_, 0);
  if (compassToo) {
    heading_ = 0;
    compass_->SetAngle(0);
    compass_->update();
  }
}

void CZovCefBrowers::OnDrawTrack() {
  // A moment of the playing drive: the drive's whole track stays drawn.
  if (DriveShown()) {
    drawn_ = 1;
    return;
  }
  drivePlan_.reset();
  driveTrack_.clear();
  markerCalls_.clear();
  DrawTrack();
  ResetDials(true);
}

void CZovCefBrowers::DrawTrack() {
  if (DriveShown()) {
    DrawDrive();
    return;
  }
  // Calls skipped for want of a page are made again when it has loaded.
  if (!Run(ZovCallClearLine())) redrawOnLoad_ = true;
  Run(ZovCallClear());
  const CZovFileListStore::TrackEnds ends =
      store_->VisitTracksToDraw([this](int track, const std::vector<GpsPoint>& points) {
        int number = 0;
        for (const GpsPoint& p : points) {
          if (ZovIsZeroPoint(p.latitude, p.longitude)) continue;  // uses no point number
          Run(ZovCallSetPoistion(track, number++, p.longitude, p.latitude));
        }
        Run(ZovCallLine(track));
      });
  if (ends.hasPoints) {
    Run(ZovCallCenter(ends.firstLongitude, ends.firstLatitude));
    Run(ZovCallSetStartPoistion(ends.firstLongitude, ends.firstLatitude));
    Run(ZovCallSetEndPoistion(ends.lastLongitude, ends.lastLatitude));
  }
  drawn_ = 1;
  DebugTrace("Cef Set GPS: end \r\n");
}

void CZovCefBrowers::OnStopped() {
  drawn_ = 0;
  markerCalls_.clear();
  ResetDials(false);
}

bool CZovCefBrowers::DriveShown() const { return drivePlan_ && store_->PlayingDrive() == drivePlan_; }

void CZovCefBrowers::OnDrive() {
  drivePlan_ = store_->PlayingDrive();
  driveTrack_ = drivePlan_ ? ZovDriveTrack(*drivePlan_) : std::vector<std::vector<ZovDrivePoint>>();
  if (!drivePlan_) return;  // nothing plays as a drive: code 2007 draws the file's track
  markerCalls_.clear();
  DrawDrive();
  ResetDials(true);
}

void CZovCefBrowers::DrawDrive() {
  // Calls skipped for want of a page are made again when it has loaded.
  if (!Run(ZovCallClearLine())) redrawOnLoad_ = true;
  Run(ZovCallClear());
  Run(ZovCallDriveTrack(driveTrack_));
  const ZovDrivePoint* first = nullptr;
  const ZovDrivePoint* last = nullptr;
  for (const auto& segment : driveTrack_)
    for (const ZovDrivePoint& p : segment) {
      if (ZovIsZeroPoint(p.latitude, p.longitude)) continue;
      if (!first) first = &p;
      last = &p;
    }
  if (first) {
    Run(ZovCallSetStartPoistion(first->longitude, first->latitude));
    Run(ZovCallSetEndPoistion(last->longitude, last->latitude));
  }
  drawn_ = 1;
}

void CZovCefBrowers::OnDrivePosition(int64_t ms) {
  if (!DriveShown()) return;
  // A nudged track: the fix shown with the picture at `ms` is the one
  // written the nudge before it.
  const ZovCameraClock clock = CZovFileListStore::GetInstance()->CameraClock();
  const ZovDriveSpot spot = ZovDriveSpotAt(driveTrack_, ZovTrackTimeAt(ms, clock));
  if (spot.found) PlaceMarker(spot.longitude, spot.latitude, spot.heading);
}

void CZovCefBrowers::OnSeekNear(double latitude, double longitude) {
  if (!DriveShown()) return;
  int64_t ms = ZovNearestDriveMs(driveTrack_, latitude, longitude);
  if (ms < 0) return;
  // The picture that goes with that fix (the nudge the other way).
  ms = std::max<int64_t>(0, ms + CZovFileListStore::GetInstance()->CameraClock().gpsNudgeMs);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_SEEK_DRIVE>(kZovPlayDialogName, ZovDriveTimeRecord{ms});
}

void CZovCefBrowers::SendTexts() { Run(ZovCallSetTexts(settings_->GetQText("mapfollow"))); }

void CZovCefBrowers::OnMoveTwo(const ZovMoveTwoRecord& move) {
  if (!ZovIsPosition(move.latitude1, move.longitude1) || !ZovIsPosition(move.latitude2, move.longitude2)) {
    return;
  }
  Run(ZovCallMoveTow(move.longitude1, move.latitude1, move.longitude2, move.latitude2));
  SetHeading(move.heading);
}

QRect CZovCefBrowers::BrowserArea() const {
  return QRect(0, 0, width(), std::min(height(), browserRect_.Height()));
}

void CZovCefBrowers::Layout(int width, int height) {
  // Dials keep their distance from the browser area's right edge.
  const int right = browserRect_.right;
  compass_->move(width - (right - compassRect_.left), compassRect_.top);
  speed_->move(width - (right - speedRect_.left), speedRect_.top);
  const int listTop = browserRect_.bottom;
  if (listView_) listView_->setGeometry(0, listTop, width, std::max(0, height - listTop));
  QWebEngineView* browser = client_ ? client_->GetBrowser() : nullptr;
  if (!browser) return;
  if (width <= 0 || height <= 0) {
    browser->hide();
    return;
  }
  const QRect area(0, 0, width, browserRect_.Height());
  browser->setGeometry(area);
  browser->show();
  Run(ZovCallSetMaxXY(area.width(), area.height()));
}

void CZovCefBrowers::resizeEvent(QResizeEvent*) { Layout(width(), height()); }

void CZovCefBrowers::showEvent(QShowEvent*) {
  if (listView_) listView_->show();
  if (!drawn_ && client_) client_->Reload();
}

void CZovCefBrowers::hideEvent(QHideEvent*) {
  if (listView_) listView_->hide();
}

void CZovCefBrowers::closeEvent(QCloseEvent* event) {
  if (client_ && !client_->IsClosing()) client_->CloseBrowser();
  CZovWnd::closeEvent(event);
}

void CZovCefBrowers::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), panelColor_);
}

void CZovCefBrowers::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) WindowProc(WM_KEYUP, VK_SPACE, 0);
}

void CZovCefBrowers::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CZovCefBrowers::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  if (paths.empty()) return;
  event->acceptProposedAction();
  DropFiles(paths);
}

void CZovCefBrowers::DropFiles(const std::vector<std::string>& paths) {
  const int index = store_->AddDropped(paths);
  if (auto* parent = dynamic_cast<CZovMsgTarget*>(parentWidget()))
    parent->SendMessage(ZOVWM_LISTSELECT, 0, std::max(index, 0));
  if (index >= 0) CZovWndManager::GetInstance()->Send<ZOV_CODE_PLAY_CURRENT>(kZovPlayDialogName);
}
