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

namespace {

// Payload of code 4057: float32 latitude 1, longitude 1, latitude 2,
// longitude 2, one value not used, heading.
struct ZovMoveTwoPayload {
  float latitude1, longitude1, latitude2, longitude2, unused, heading;
};
static_assert(sizeof(ZovMoveTwoPayload) == 24, "the two-position payload is six float32");

}  // namespace

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
  CZovWndManager::GetInstance()->Register(kDirectoryName, this);
  CreateListView();
  // Files given on the command line start loading before timer 3 fires; the
  // tracks loaded for them depend on the all-tracks flag, so it is right from
  // the start (timer 3 sets it again).
  store_->SetAllTracks(settings_->TrackConnectIndex() != 0);
  SetTimer(kCreateTimer, kTimerMs);
  SetTimer(kLayoutTimer, kTimerMs);
}

CZovCefBrowers::~CZovCefBrowers() {
  if (CZovWndManager* directory = CZovWndManager::Peek()) directory->Unregister(kDirectoryName);
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
      OnInfo(static_cast<int>(wParam), ZovTakeMsgData(lParam), lParam);
      return 0;
    case ZOVWM_LISTLAYOUT:
      if (listView_) listView_->SendMessage(ZOVWM_LISTLAYOUT, 0, 0);
      return 0;
    case ZOVWM_LISTSELECT:
    case ZOVWM_RELABEL:
      if (listView_) listView_->SendMessage(message, wParam, lParam);
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

void CZovCefBrowers::OnInfo(int code, std::unique_ptr<ZovMsgData> record, LPARAM lParam) {
  switch (code) {
    case ZOV_CODE_CREATE_BROWSER:
      OnCreateBrowser();
      break;
    case ZOV_CODE_GPS_TICK:
      OnTick(record.get());
      break;
    case ZOV_CODE_PLAYING:
      OnDrawTrack();
      break;
    case ZOV_CODE_STOPPED:
      OnStopped();
      break;
    case ZOV_CODE_ALL_TRACKS:
      store_->SetAllTracks(lParam != 0);
      break;
    case ZOV_CODE_MOVE_TWO:
      OnMoveTwo(record.get());
      break;
    default:
      break;  // not for this window; the record is freed all the same
  }
}

void CZovCefBrowers::OnTimer(UINT id) {
  if (id == kCreateTimer) {
    KillTimer(kCreateTimer);
    CZovWndManager::GetInstance()->SendData("ZovCefBrowers", ZOV_CODE_CREATE_BROWSER, 0, nullptr,
                                            kCreateDelayMs);
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
  if (!ok || !redrawOnLoad_) return;
  redrawOnLoad_ = false;
  // The same track again, and the marker where the last tick put it: the
  // dials keep showing the current point.
  DrawTrack();
  for (const QString& call : markerCalls_) Run(call);
}

void CZovCefBrowers::OnTick(const ZovMsgData* record) {
  ZovTickPayload tick;
  if (!record || !ZovReadTickPayload(record->payload.data(), int(record->payload.size()), tick)) return;
  if (tick.mode != 1) return;
  if (ZovIsPosition(tick.latitude, tick.longitude)) {
    markerCalls_ = {ZovCallMove(tick.longitude, tick.latitude, ZovMarkerAngle(tick.heading)),
                    ZovCallCenter(tick.longitude, tick.latitude)};
    for (const QString& call : markerCalls_) Run(call);
  } else {
    DebugTrace("Cef ZOVWM_INFO_E: %f %f IS_DOUBLE_ZERO  \r\n", double(tick.latitude), double(tick.longitude));
  }
  ShowSpeed(tick.speed);
  heading_ = tick.heading;
  compass_->SetAngle(heading_);
  compass_->update();
  update();
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
  markerCalls_.clear();
  DrawTrack();
  ResetDials(true);
}

void CZovCefBrowers::DrawTrack() {
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

void CZovCefBrowers::OnMoveTwo(const ZovMsgData* record) {
  ZovMoveTwoPayload move;
  if (!record || !record->Read(&move)) return;
  if (!ZovIsPosition(move.latitude1, move.longitude1) || !ZovIsPosition(move.latitude2, move.longitude2)) {
    return;
  }
  Run(ZovCallMoveTow(move.longitude1, move.latitude1, move.longitude2, move.latitude2));
  heading_ = move.heading;
  compass_->SetAngle(heading_);
  compass_->update();
  update();
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
  if (index >= 0) CZovWndManager::GetInstance()->SendData("CPlayDialog", ZOV_CODE_PLAY_CURRENT);
}
