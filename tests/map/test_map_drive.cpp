// A playing drive on the map: the map panel on the bundled OpenStreetMap page
// (offline basemap, network shut off) in a real Qt WebEngine view. The drive
// is handed over as the play window will (the store's playing drive, then the
// drive codes through the window directory); the page is read back through
// runJavaScript and the user's clicks and drags are real mouse events on the
// browser. A stand-in "CPlayDialog" keeps the seeks the map sends.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMouseEvent>
#include <QTest>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "library/zov_drive_plan.h"
#include "library/zov_file_list_store.h"
#include "map/zov_cef_browers.h"
#include "map/zov_client_app.h"
#include "map/zov_client_handler.h"
#include "map/zov_map_calls.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tests/map/map_page_eval.h"

namespace {

// ---------------------------------------------------------------------------
// The marker's place on a drive's track, and the drawing call.

ZovDrivePoint At(int64_t ms, double lat, double lon) { return {ms, lat, lon, 0}; }

double AngleOff(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)); }

TEST(DriveSpot, InterpolatesInASegmentAndHoldsTheLastFixInAGap) {
  // East along 48.85 for 4 s, a gap, then north along 2.32; then a short
  // stretch over the 180th meridian and a stop before moving north.
  const std::vector<std::vector<ZovDrivePoint>> track = {
      {At(0, 48.85, 2.30), At(1000, 48.85, 2.302), At(2000, 48.85, 2.304)},
      {At(20000, 48.86, 2.32), At(21000, 48.862, 2.32), At(22000, 48.864, 2.32)},
      {At(30000, -17, 179.999), At(31000, -17, -179.999)},
      {At(40000, 10, 20), At(41000, 10, 20), At(42000, 10.001, 20)},
  };
  const struct {
    int64_t ms;
    double lat, lon, heading;
  } cases[] = {
      {-500, 48.85, 2.30, 90},      // before the drive: its first fix
      {0, 48.85, 2.30, 90},
      {1500, 48.85, 2.303, 90},     // half way between two fixes
      {2000, 48.85, 2.304, 90},     // the segment's last fix looks back for its way
      {9000, 48.85, 2.304, 90},     // in the gap: where the car was last seen
      {20500, 48.861, 2.32, 0},
      {30500, -17, 180, 90},        // half way over the meridian, not back round the world
      {40500, 10, 20, 0},           // standing still: the way it goes next
      {99000, 10.001, 20, 0},       // after the end: the last fix
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    const ZovDriveSpot spot = ZovDriveSpotAt(track, c.ms);
    ASSERT_TRUE(spot.found);
    EXPECT_NEAR(spot.latitude, c.lat, 1e-9);
    EXPECT_NEAR(std::remainder(spot.longitude - c.lon, 360.0), 0, 1e-9);
    EXPECT_LT(AngleOff(spot.heading, c.heading), 0.1) << spot.heading;
  }
  EXPECT_FALSE(ZovDriveSpotAt({}, 0).found);
  EXPECT_FALSE(ZovDriveSpotAt({{}}, 0).found);

  // The drawing call: one array per segment, no (0, 0) points, no empty segments.
  EXPECT_EQ(ZovCallDriveTrack({{At(0, 1, 2), At(1, 0, 0), At(2, 3, 4)}, {At(3, 0, 0)}, {At(4, -5, 6.5)}})
                .toStdString(),
            "DriveTrack([[2.000000,1.000000,4.000000,3.000000],[6.500000,-5.000000]])");
  EXPECT_EQ(ZovCallSetTexts(QString::fromUtf8("Fahr \"mit\"")).toStdString(),
            "SetTexts({\"follow\":\"Fahr \\\"mit\\\"\"})");
}

// ---------------------------------------------------------------------------
// The panel on the real page.

// Keeps the network shut: every http and https request is refused.
class NoNetwork : public QWebEngineUrlRequestInterceptor {
 public:
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QString scheme = info.requestUrl().scheme();
    if (scheme == "http" || scheme == "https") info.block(true);
  }
};

// The play window's stand-in: the drive times of the seeks it is sent.
class PlayWindow : public CZovWnd {
 public:
  using CZovWnd::CZovWnd;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == ZOVWM_INFO_E && int(wParam) == ZOV_CODE_SEEK_DRIVE) {
      auto at = ZovReadRecord<ZOV_CODE_SEEK_DRIVE>(lParam);
      seeks.push_back(at ? at->ms : -1);
    }
    return 0;
  }
  std::vector<int64_t> seeks;
};

std::shared_ptr<ClientApp> g_app;
CZovWnd* g_parent = nullptr;
PlayWindow* g_play = nullptr;
CZovCefBrowers* g_panel = nullptr;

QWebEngineView* View() { return g_panel->Client()->GetBrowser(); }
QJsonObject State() {
  const QVariant text = zovtest::Evaluate(View(), "JSON.stringify(ZovMap.state())");
  return QJsonDocument::fromJson(text.toString().toUtf8()).object();
}
QPoint Pixel(double lon, double lat) {
  const QVariantList p =
      zovtest::Evaluate(View(), QStringLiteral("ZovMap.pixel(%1,%2)").arg(lon, 0, 'f', 6).arg(lat, 0, 'f', 6))
          .toList();
  return QPoint(qRound(p.value(0).toDouble()), qRound(p.value(1).toDouble()));
}
double Lon(const QJsonValue& pair) { return pair.toArray().at(0).toDouble(); }
double Lat(const QJsonValue& pair) { return pair.toArray().at(1).toDouble(); }

void WaitForPage() {
  ASSERT_TRUE(zovtest::WaitUntil([] { return g_panel->Client() && View() && !g_panel->Client()->IsLoading(); },
                                 30000))
      << "the panel made no browser";
  ASSERT_TRUE(zovtest::WaitUntil([] { return zovtest::Evaluate(View(), "!!window.zovPlayer").toBool(); }, 20000))
      << "the page never reached the player's channel";
}

// A fix of moment `moment`: one a second, 0.002 degrees apart.
struct Fix {
  int64_t ms;
  double lat, lon;
};
// Three moments of 10 s: east along 48.85 from 2.30, one without fixes, then
// north along 2.32 from 48.86. The drive clock puts the fixes at 0..4 s and
// 20..24 s; the track has two segments.
std::vector<Fix> g_fixes;
std::shared_ptr<const ZovDrivePlan> MakeDrive() {
  auto plan = std::make_shared<ZovDrivePlan>();
  g_fixes.clear();
  for (int m = 0; m < 3; ++m) {
    ZovPlanMoment moment;
    moment.start = 1700000000 + m * 10;
    moment.offsetMs = m * 10000;
    moment.lengthMs = 10000;
    moment.lead = "/drive/" + std::to_string(m) + ".mp4";
    for (int i = 0; m != 1 && i < 5; ++i) {
      const double lat = m == 0 ? 48.85 : 48.86 + 0.002 * i;
      const double lon = m == 0 ? 2.30 + 0.002 * i : 2.32;
      moment.track.push_back({lat, lon, 20, int32_t(moment.start + i)});
      g_fixes.push_back({moment.offsetMs + i * 1000, lat, lon});
    }
    plan->moments.push_back(moment);
  }
  return plan;
}

// Plays the drive as the play window will: the store's playing drive, then code 2040.
void ShowDrive() {
  CZovFileListStore::GetInstance()->SetPlayingDrive(MakeDrive());
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE>(kZovMapPageName);
}
void SendPosition(int64_t ms) {
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE_POSITION>(kZovMapPageName, ZovDriveTimeRecord{ms});
}
void SendTick(float lat, float lon) {
  const ZovTickPayload tick{1, 1, lat, lon, 20, 90};
  CZovWndManager::GetInstance()->Send<ZOV_CODE_GPS_TICK>(kZovMapPageName, tick);
}

// A mouse event on the browser, as the window system delivers it.
void SendMouse(QEvent::Type type, const QPoint& at, Qt::MouseButton button, Qt::MouseButtons held) {
  QWidget* target = View()->focusProxy();
  QMouseEvent event(type, at, target->mapToGlobal(at), button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

// How many mouse events of a type the page has seen. Input reaches the page
// on its own way, not in order with the script calls: each step waits until
// the page has seen it.
int Seen(const char* type) {
  return zovtest::Evaluate(View(), QStringLiteral(R"((window.zovSeen = window.zovSeen || (function () {
      var n = {};
      ["mousedown", "mousemove", "mouseup", "click"].forEach(function (t) {
        document.addEventListener(t, function () { n[t] = (n[t] || 0) + 1; }, true);
      });
      return n;
    })())["%1"] || 0)").arg(QLatin1String(type))).toInt();
}
void SendSeen(const char* type, QEvent::Type event, const QPoint& at, Qt::MouseButton button,
              Qt::MouseButtons held) {
  const int before = Seen(type);
  SendMouse(event, at, button, held);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return Seen(type) > before; }, 10000)) << type;
}

void Click(const QPoint& at) {
  SendMouse(QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
  const int clicks = Seen("click");
  SendMouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  SendMouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return Seen("click") > clicks; }, 10000)) << "no click";
}

// The map glides on after a drag whose last moves are this recent.
constexpr int kStillMs = 120;

// A click on the middle of a control of the page.
void ClickControl(const char* selector) {
  const QVariantList at = zovtest::Evaluate(View(), QStringLiteral(R"(
      var r = document.querySelector("%1").getBoundingClientRect();
      [r.left + r.width / 2, r.top + r.height / 2])").arg(QLatin1String(selector))).toList();
  Click(QPoint(qRound(at.value(0).toDouble()), qRound(at.value(1).toDouble())));
}

// A drag of the map by the user: press, move in steps, hold still, release.
void Drag(const QPoint& from, const QPoint& by) {
  SendSeen("mousemove", QEvent::MouseMove, from, Qt::NoButton, Qt::NoButton);
  SendSeen("mousedown", QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  for (int step = 1; step <= 4; ++step)
    SendSeen("mousemove", QEvent::MouseMove, from + by * step / 4, Qt::NoButton, Qt::LeftButton);
  QTest::qWait(kStillMs);
  SendSeen("mouseup", QEvent::MouseButtonRelease, from + by, Qt::LeftButton, Qt::NoButton);
}

TEST(MapDrive, TheWholeTrackIsDrawnWithItsGapAndTheMarkerFollowsTheDriveTime) {
  WaitForPage();
  ShowDrive();
  QJsonObject s = State();
  EXPECT_TRUE(s["drive"].toBool());
  EXPECT_EQ(s["lines"].toVariant().toList(), (QVariantList{QVariantList{0, 5}, QVariantList{1, 5}}));
  EXPECT_EQ(s["drawnDriveLines"].toInt(), 2) << "the gap is not drawn as a gap";
  EXPECT_NEAR(Lon(s["start"]), 2.30, 1e-9);
  EXPECT_NEAR(Lat(s["end"]), 48.868, 1e-9);

  // Between two fixes, in the gap, on the second segment; the arrow along the track.
  const struct {
    int64_t ms;
    double lon, lat, pointsTo;
  } positions[] = {{1500, 2.303, 48.85, 90}, {9000, 2.308, 48.85, 90}, {22500, 2.32, 48.865, 0}};
  for (const auto& p : positions) {
    SCOPED_TRACE(p.ms);
    SendPosition(p.ms);
    s = State();
    EXPECT_NEAR(Lon(s["marker"]), p.lon, 1e-6);
    EXPECT_NEAR(Lat(s["marker"]), p.lat, 1e-6);
    EXPECT_LT(AngleOff(s["arrowPointsTo"].toDouble(), p.pointsTo), 3) << s["arrowPointsTo"].toDouble();
  }

  // While the drive plays, a moment's own tick moves only the dials and a
  // moment's track drawing leaves the drive's track.
  SendTick(10.0f, 10.0f);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRAW_TRACK>(kZovMapPageName);
  s = State();
  EXPECT_NEAR(Lat(s["marker"]), 48.865, 1e-6);
  EXPECT_EQ(s["drawnDriveLines"].toInt(), 2);
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "37.0 KMH");

  // A plain file plays: its drawing replaces the drive, its ticks move the marker.
  CZovFileListStore::GetInstance()->SetPlayingDrive(nullptr);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRAW_TRACK>(kZovMapPageName);
  SendTick(10.0f, 10.0f);
  s = State();
  EXPECT_FALSE(s["drive"].toBool());
  EXPECT_EQ(s["drawnDriveLines"].toInt(), 0);
  EXPECT_NEAR(Lat(s["marker"]), 10.0, 1e-6);
}

TEST(MapDrive, AClickOnTheTrackSeeksTheNearestDriveTime) {
  WaitForPage();
  ShowDrive();  // fitted to the whole drive; no position moves the view from it
  g_play->seeks.clear();
  auto seeked = [](size_t n) { return zovtest::WaitUntil([n] { return g_play->seeks.size() >= n; }, 10000); };
  // On a fix of the second segment, then beside another fix of it (the
  // segment runs north: 8 pixels east is still on the line).
  const Fix& a = g_fixes[8];
  const Fix& b = g_fixes[6];
  Click(Pixel(a.lon, a.lat));
  ASSERT_TRUE(seeked(1));
  Click(Pixel(b.lon, b.lat) + QPoint(8, 0));
  ASSERT_TRUE(seeked(2));
  // A click well away from both lines seeks nothing: the next seek is the
  // one of the click on the first segment after it.
  const Fix& c = g_fixes[1];
  Click(Pixel(c.lon, c.lat) + QPoint(0, 60));
  Click(Pixel(c.lon, c.lat));
  ASSERT_TRUE(seeked(3));
  EXPECT_EQ(g_play->seeks, (std::vector<int64_t>{a.ms, b.ms, c.ms}));
}

// The view follows the marker until the user pans or zooms; the button on
// the page, in the user's language, turns following back on. A size change
// of the page is no pan. Both for a plain file's ticks and for a drive's
// positions.
TEST(MapDrive, AUserPanOrZoomStopsFollowingAndTheButtonRestoresIt) {
  WaitForPage();
  CZovSettings* settings = CZovSettings::GetInstance();
  const struct {
    const char* gesture;
    bool drive;
  } cases[] = {{"drag", false}, {"zoom button", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gesture);
    CZovFileListStore::GetInstance()->SetPlayingDrive(nullptr);
    if (c.drive) ShowDrive();
    // Moves the marker to the n-th fix, by a tick or by a drive position.
    auto moveTo = [&](size_t n) {
      if (c.drive) {
        SendPosition(g_fixes[n].ms);
      } else {
        SendTick(float(g_fixes[n].lat), float(g_fixes[n].lon));
      }
      return State();
    };
    auto centredOnMarker = [](const QJsonObject& s) {
      return std::fabs(Lon(s["center"]) - Lon(s["marker"])) < 1e-4 &&
             std::fabs(Lat(s["center"]) - Lat(s["marker"])) < 1e-4;
    };
    QJsonObject s = moveTo(2);
    EXPECT_TRUE(s["follow"].toBool());
    EXPECT_TRUE(s["followButton"].isNull()) << "the button shows only while not following";
    EXPECT_TRUE(centredOnMarker(s));
    const int width = g_panel->width() + 40;
    g_panel->resize(width, g_panel->height());
    ASSERT_TRUE(zovtest::WaitUntil([&] { return State()["size"].toArray().at(0).toInt() == width; }, 10000))
        << "the map never took the new size";
    s = moveTo(3);
    EXPECT_TRUE(s["follow"].toBool()) << "a size change stopped following";
    EXPECT_TRUE(centredOnMarker(s));

    const QJsonObject before = State();
    if (std::string(c.gesture) == "drag") {
      Drag(QPoint(150, 150), QPoint(90, 40));
    } else {
      ClickControl(".leaflet-control-zoom-in");
    }
    // Stopped following, and the view moved.
    QJsonObject moved;
    ASSERT_TRUE(zovtest::WaitUntil([&] {
      moved = State();
      return !moved["follow"].toBool() &&
             (moved["zoom"] != before["zoom"] || Lon(moved["center"]) != Lon(before["center"]));
    }, 10000));
    const QJsonValue button = moved["followButton"];
    ASSERT_TRUE(button.isObject());
    // Its text in the language chosen, once the page is told (the right
    // panel relabels the map page when the language changes).
    EXPECT_EQ(button["text"].toString().toStdString(), "Follow");
    settings->SetLanguage(1);
    g_panel->SendMessage(ZOVWM_RELABEL, 0, 0);
    EXPECT_EQ(State()["followButton"].toObject()["text"].toString().toStdString(), "Folgen");
    settings->SetLanguage(0);
    g_panel->SendMessage(ZOVWM_RELABEL, 0, 0);

    // The marker goes on; the view stays where the user put it.
    s = moveTo(4);
    EXPECT_NEAR(Lon(s["marker"]), g_fixes[4].lon, 1e-5);
    EXPECT_NEAR(Lon(s["center"]), Lon(moved["center"]), 1e-9);
    EXPECT_NEAR(Lat(s["center"]), Lat(moved["center"]), 1e-9);

    // The button: following again, centred on the marker, the button gone.
    Click(QPoint(qRound(button["x"].toDouble()), qRound(button["y"].toDouble())));
    ASSERT_TRUE(zovtest::WaitUntil([] { return State()["follow"].toBool(); }, 10000));
    s = State();
    EXPECT_TRUE(centredOnMarker(s));
    EXPECT_TRUE(s["followButton"].isNull());
    s = moveTo(1);
    EXPECT_TRUE(centredOnMarker(s));
  }

  // What the user sees: both segments, the marker and the button (a look,
  // not a check: the browser composites on its own time).
  if (const char* out = std::getenv("ZOV_MAP_SHOT_DIR")) {
    g_panel->resize(g_parent->size());
    ShowDrive();
    SendPosition(1500);
    ClickControl(".leaflet-control-zoom-out");
    QTest::qWait(1000);
    g_parent->grab().save(QString::fromUtf8(out) + "/map-drive.png");
  }
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::string root = zovtest::TempDir();
  g_app = std::make_shared<ClientApp>(1);
  g_app->Configure(root + "/cache/ZovGpsPlay/Cache", root + "/config/ZovGpsPlay/cef.log");
  QApplication app(argc, argv);
  if (!g_app->Initialize()) {
    std::fprintf(stderr, "browser runtime not initialised\n");
    return 1;
  }
  auto* noNetwork = new NoNetwork;
  g_app->Profile()->setUrlRequestInterceptor(noNetwork);
  // An installation whose only map is the bundled OpenStreetMap page (staged
  // with its libraries by the build).
  const std::string base = root + "/base";
  std::filesystem::create_directories(base + "/bin");
  std::filesystem::create_directories(base + "/setup");
  std::filesystem::create_directory_symlink(
      std::filesystem::canonical(zovtest::BinDir() + "/../setup/map"), base + "/setup/map");
  zovtest::Spit(base + "/setup/quelnasetup.ini",
                "[unit]\ncount=1\nunit0=KMH\nunit0_scale=1\n"
                "[language]\ncount=2\nlanguage0=english\nlanguage1=Deutsch\n"
                "[map]\ncount=1\nmap0=Openstreet\nmap0_file=map/osm.html\n"
                "[trackconnect]\ncount=2\ntrackconnect0=off\ntrackconnect1=on\n"
                "[setup]\nlanguage=0\nmap=0\nunit=0\ntrackconnect=0\n");
  CZovSettings* settings = CZovSettings::GetInstance();
  settings->Init(base + "/bin/tamarinsoft");
  settings->LoadResourceLibrary(zovtest::BinDir() + "/libzovQuelnaResource.so");
  CZovFileListStore::GetInstance()->SetMapNameSource([] { return std::string("Openstreet"); });
  CZovFileListStore::GetInstance()->SetWarningSink([](const std::string&) {});
  g_parent = new CZovWnd;
  g_parent->resize(460, 760);
  g_play = new PlayWindow;
  CZovWndManager::GetInstance()->Register(kZovPlayDialogName, g_play);
  g_panel = new CZovCefBrowers(g_parent);
  g_panel->resize(460, 760);
  g_parent->show();
  const int rc = RUN_ALL_TESTS();
  CZovWndManager::GetInstance()->Unregister(kZovPlayDialogName);
  delete g_panel;
  delete g_parent;
  delete g_play;
  g_app.reset();
  delete noNetwork;
  return rc;
}
