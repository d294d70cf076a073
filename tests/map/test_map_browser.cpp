// The browser host and the map panel in real Qt WebEngine views, on the
// recording test page (tests/map/recording.html), which keeps every call the
// program makes: the runtime configuration, the client's life span, when
// script calls run, the log file; then the panel's codes, dials, layout,
// keys and drops. The panel loads its page once for the whole program.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include <QKeyEvent>
#include <QPointer>

#include <QApplication>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QWidget>

#include "map/zov_cef_browers.h"
#include "map/zov_client_app.h"
#include "map/zov_client_handler.h"
#include "map/zov_compass.h"
#include "map/zov_map_calls.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_file_list_view.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tests/map/map_page_eval.h"

namespace {

std::shared_ptr<ClientApp> g_app;
std::string g_cacheFolder;
std::string g_logFile;
bool g_configuredInTime = false;

QVariant Evaluate(QWebEngineView* view, const QString& script) { return zovtest::Evaluate(view, script, 10000); }

QUrl RecordingPage() {
  return QUrl::fromLocalFile(QString::fromStdString(zovtest::SourceDir() + "/tests/map/recording.html"));
}

TEST(ClientAppFlags, MergeAddsEachSwitchOnce) {
  struct Case {
    const char* existing;
    const char* add;
    const char* expected;
  } cases[] = {
      {"", "--no-sandbox", "--no-sandbox"},
      {"--no-sandbox", "--no-sandbox --no-pings", "--no-sandbox --no-pings"},
      // A user's value of a switch wins over the added one.
      {"--log-level=1", "--log-level=3 --a", "--log-level=1 --a"},
      {"  --x   --y ", "", "--x --y"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClientApp::MergeFlags(c.existing, c.add), c.expected) << c.existing << " + " << c.add;
  }
}

TEST(ClientAppConfigure, AppliedBeforeTheApplicationAndOnlyOnce) {
  EXPECT_TRUE(g_configuredInTime);
  EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_ShareOpenGLContexts));
  const std::string flags = std::getenv(ClientApp::kFlagsVariable);
  EXPECT_NE(flags.find("--disable-background-networking"), std::string::npos) << flags;
  EXPECT_NE(flags.find(ClientApp::kLeanFlags), std::string::npos) << flags;
  EXPECT_EQ(flags.find("--no-sandbox") != std::string::npos, geteuid() == 0) << flags;
  EXPECT_EQ(flags.find("--disable-gpu") != std::string::npos, !ClientApp::HasGpuDevice()) << flags;
  ASSERT_NE(g_app->Profile(), nullptr);
  EXPECT_EQ(g_app->Profile()->cachePath().toStdString(), g_cacheFolder);
  EXPECT_FALSE(g_app->Profile()->isOffTheRecord());
  EXPECT_EQ(ClientApp::Current(), g_app);
  // A second configuration changes nothing.
  auto other = std::make_shared<ClientApp>(1);
  EXPECT_FALSE(other->Configure("/nonexistent/cache", "/nonexistent/cef.log"));
  EXPECT_EQ(ClientApp::Current(), g_app);
  EXPECT_EQ(other->ExecuteProcess(0, nullptr), -1);
}

TEST(ClientHandlerLife, CallsRunOnlyOnTheHeldBrowserInOrderAfterTheLoad) {
  QWidget panel;
  panel.resize(400, 300);
  panel.show();
  ClientHandler handler;
  EXPECT_FALSE(handler.ExecuteJavaScript("Test()")) << "no browser yet";
  EXPECT_FALSE(handler.CreateBrowser(nullptr, QRect(0, 0, 10, 10), RecordingPage()));
  ASSERT_TRUE(handler.CreateBrowser(&panel, QRect(0, 0, 400, 250), RecordingPage()));
  EXPECT_FALSE(handler.CreateBrowser(&panel, QRect(0, 0, 400, 250), RecordingPage()))
      << "one browser per client";
  // Created, but not yet announced: the call is skipped.
  EXPECT_EQ(handler.GetBrowser(), nullptr);
  EXPECT_FALSE(handler.ExecuteJavaScript("Center(9,9)"));

  bool loaded = false;
  QObject::connect(&handler, &ClientHandler::PageLoaded, [&](bool ok) { loaded = ok; });
  ASSERT_TRUE(zovtest::WaitUntil([&] { return handler.GetBrowser() != nullptr; }));
  QWebEngineView* view = handler.GetBrowser();
  EXPECT_EQ(view->parentWidget(), &panel);
  EXPECT_EQ(view->geometry(), QRect(0, 0, 400, 250));
  // Held while the page loads: calls wait and then run in order.
  if (handler.IsLoading()) {
    EXPECT_TRUE(handler.ExecuteJavaScript("Center(1.500000,2.000000)"));
    EXPECT_TRUE(handler.ExecuteJavaScript("Line(0)"));
    EXPECT_EQ(handler.WaitingCalls(), 2);
  }
  ASSERT_TRUE(zovtest::WaitUntil([&] { return loaded; }, 20000));
  EXPECT_EQ(handler.WaitingCalls(), 0);
  EXPECT_TRUE(handler.ExecuteJavaScript("Test()"));
  EXPECT_TRUE(handler.ExecuteJavaScript("console.log('zov probe ' + 6 * 7)"));
  const QStringList calls = Evaluate(view, "window.calls").toStringList();
  EXPECT_EQ(calls, (QStringList{"Center(1.5,2)", "Line(0)", "Test()"}));

  // The page's console goes to the log file.
  EXPECT_TRUE(zovtest::WaitUntil(
      [&] { return zovtest::Slurp(g_logFile).find("zov probe 42") != std::string::npos; }));
  EXPECT_NE(zovtest::Slurp(g_logFile).find(":INFO:CONSOLE("), std::string::npos);

  // No pop-up windows of its own.
  const int topLevels = QApplication::topLevelWidgets().size();
  Evaluate(view, "window.open('about:blank', '_blank'); 1");
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::topLevelWidgets().size(), topLevels);

  // A page that cannot load drops the calls made while it loaded, and the
  // failure is logged.
  loaded = true;
  bool failed = false;
  QObject::connect(&handler, &ClientHandler::PageLoaded, [&](bool ok) { failed = !ok; });
  handler.LoadUrl(QUrl::fromLocalFile(QString::fromStdString(g_cacheFolder + "/no-such-page.html")));
  EXPECT_TRUE(handler.ExecuteJavaScript("Test()"));
  EXPECT_EQ(handler.WaitingCalls(), 1);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return failed; }, 20000));
  EXPECT_EQ(handler.WaitingCalls(), 0);
  EXPECT_NE(zovtest::Slurp(g_logFile).find("failed to load"), std::string::npos);

  // Closing: closing is set at once, the browser released when it is gone,
  // and later calls do nothing.
  handler.CloseBrowser();
  EXPECT_TRUE(handler.IsClosing());
  EXPECT_FALSE(handler.ExecuteJavaScript("Test()"));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return handler.GetBrowser() == nullptr; }));
  EXPECT_TRUE(panel.findChildren<QWebEngineView*>().isEmpty());
}


// A server that takes connections (the kernel's backlog) and never answers:
// a remote map page on a network that hangs.
struct SilentServer {
  SilentServer() {
    socket_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (socket_ < 0 || bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(socket_, 16) != 0 || getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port = ntohs(address.sin_port);
  }
  ~SilentServer() {
    if (socket_ >= 0) close(socket_);
  }
  std::string Url(const char* page) const { return "http://127.0.0.1:" + std::to_string(port) + "/" + page; }
  int socket_ = -1;
  int port = 0;
};

TEST(ClientHandlerLife, ALoadThatNeverEndsIsStoppedAndItsCallsDropped) {
  SilentServer silent;
  ASSERT_NE(silent.port, 0);
  const QUrl url(QString::fromStdString(silent.Url("map.html")));

  QWidget panel;
  panel.resize(400, 300);
  panel.show();
  ClientHandler handler;
  handler.SetLoadTimeoutMs(600);
  int ends = 0;
  bool ok = true;
  QObject::connect(&handler, &ClientHandler::PageLoaded, [&](bool loaded) {
    ++ends;
    ok = loaded;
  });
  ASSERT_TRUE(handler.CreateBrowser(&panel, QRect(0, 0, 400, 250), url));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return handler.GetBrowser() != nullptr; }));
  EXPECT_TRUE(handler.ExecuteJavaScript("Line(0)"));
  EXPECT_EQ(handler.WaitingCalls(), 1);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return ends > 0; }, 15000)) << "the load was never stopped";
  EXPECT_FALSE(ok);
  EXPECT_FALSE(handler.IsLoading());
  EXPECT_EQ(handler.WaitingCalls(), 0);
  EXPECT_NE(zovtest::Slurp(g_logFile).find("no end of load after 600 ms"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Script call texts.

TEST(MapCalls, FormatAsThePagesExpect) {
  struct Case {
    QString call;
    const char* expected;
  } cases[] = {
      {ZovCallCenter(114.05432, 22.54321), "Center(114.054320,22.543210)"},
      {ZovCallMove(-0.5, -33.25, 270), "Move(-0.500000,-33.250000,270.000000)"},
      {ZovCallMoveTow(1, 2, 3, 4), "MoveTow(1.000000,2.000000,3.000000,4.000000)"},
      {ZovCallClearLine(), "ClearLine()"},
      {ZovCallClear(), "Clear()"},
      {ZovCallSetPoistion(2, 17, 113.2, 0.0000004), "SetPoistion(2,17,113.200000,0.000000)"},
      {ZovCallLine(3), "Line(3)"},
      {ZovCallSetStartPoistion(0.1234567, 1), "SetStartPoistion(0.123457,1.000000)"},
      {ZovCallSetEndPoistion(179.9999999, -90), "SetEndPoistion(180.000000,-90.000000)"},
      {ZovCallSetMaxXY(340, 420), "SetMaxXY(340,420)"},
      {ZovCallTest(), "Test()"},
      {ZovCallCenter(std::nan(""), 1e300 * 1e10), "Center(NaN,NaN)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call.toStdString(), c.expected);
}

TEST(MapCalls, MarkerAngleAndZeroRules) {
  const double headings[][2] = {{90, 270}, {0, 180}, {180, 360}, {180.5, 0.5}, {270, 90}, {450, 270}};
  for (const auto& h : headings) EXPECT_DOUBLE_EQ(ZovMarkerAngle(h[0]), h[1]) << h[0];
  EXPECT_FALSE(ZovIsPosition(0.0, 113.2));
  EXPECT_FALSE(ZovIsPosition(22.5, -0.0000009));
  EXPECT_TRUE(ZovIsPosition(-0.000001, 0.000001));
  EXPECT_TRUE(ZovIsZeroPoint(0.0000009, -0.0000009));
  EXPECT_FALSE(ZovIsZeroPoint(0.0, 113.2)) << "one part alone does not make a zero point";
}

// ---------------------------------------------------------------------------
// Dials.

TEST(SpeedDial, ValueNeedleAndCaption) {
  struct Case {
    double knots, scale, value, needle;
    const char* caption;
  } cases[] = {
      {0, 1, 0, 0, "0.0 KMH"},
      {150, 1, 277.8, 259.999982, "277.8 KMH"},       // past the scale's end: needle stops at 260
      {300 / 1.852, 1, 300, 259.999982, "300.0 KMH"},
      {10, 0.621371, 11.5078, 13.59993, "11.5 KMH"},  // another unit's scale
  };
  for (const Case& c : cases) {
    const double value = ZovSpeedValue(c.knots, c.scale);
    EXPECT_NEAR(value, c.value, 1e-3) << c.knots;
    EXPECT_NEAR(ZovSpeedNeedleAngle(value), c.needle, 1e-3) << c.knots;
    EXPECT_EQ(ZovSpeedCaption(value, "KMH").toStdString(), c.caption);
  }
  EXPECT_EQ(ZovSpeedResetCaption("MPH").toStdString(), "0.0 MPH");
}

// The red half of the compass needle (red pixels the face alone does not
// have): its centre of mass seen from the dial's centre, as a compass
// direction in degrees (0 up, 90 right).
double NeedleDirection(const QImage& image, const QImage& face) {
  double sx = 0, sy = 0;
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (image.pixel(x, y) != face.pixel(x, y) && c.red() > 180 && c.green() < 110 && c.blue() < 110) {
        sx += x;
        sy += y;
        ++n;
      }
    }
  }
  if (n < 10) return -1;
  const double dx = sx / n - image.width() / 2.0, dy = sy / n - image.height() / 2.0;
  return std::fmod(std::atan2(dx, -dy) * 180 / M_PI + 360, 360);
}

TEST(CompassDial, NeedleTurnsByTheAngleAndAMissingFaceLeavesTheBackground) {
  QWidget host;
  host.resize(300, 150);
  CZovCompass dial;
  dial.backgroundColor = CZovCefBrowers::kDialBackground;
  ASSERT_TRUE(dial.CreateEx(&host, ZovRect{0, 0, 110, 110}, QString(), CZovCefBrowers::kCompassId));
  ASSERT_TRUE(dial.LoadImages(CZovCefBrowers::kCompassId, CZovCefBrowers::kCompassNeedle,
                              ZovRect{0, 0, 110, 110}));
  dial.SetCenter(55, 55);
  CZovCompass faceOnly;
  faceOnly.backgroundColor = CZovCefBrowers::kDialBackground;
  ASSERT_TRUE(faceOnly.CreateEx(&host, ZovRect{0, 0, 110, 110}, QString(), 2));
  EXPECT_FALSE(faceOnly.LoadImages(CZovCefBrowers::kCompassId, 99999, ZovRect{0, 0, 110, 110}));
  EXPECT_TRUE(faceOnly.HasFace() && !faceOnly.HasNeedle());
  host.show();
  const QImage face = faceOnly.grab().toImage();
  const struct {
    double angle, direction;
  } turns[] = {{0, 0}, {90, 90}, {450, 90}, {-45, 315}, {200, 200}};
  QImage at90;
  for (const auto& t : turns) {
    dial.SetAngle(t.angle);
    const QImage shot = dial.grab().toImage();
    const double off = std::fmod(NeedleDirection(shot, face) - t.direction + 540, 360) - 180;
    EXPECT_NEAR(off, 0, 6) << "angle " << t.angle;
    if (t.angle == 90) at90 = shot;
    if (t.angle == 450) {
      EXPECT_EQ(shot, at90) << "450 degrees draws as 90";
    }
  }

  // The caption stays through later repaints (a repaint of the control, as
  // when it is uncovered, draws it again).
  CZovCompass speed;
  speed.backgroundColor = CZovCefBrowers::kDialBackground;
  ASSERT_TRUE(speed.CreateEx(&host, ZovRect{120, 0, 230, 110}, QString(), CZovCefBrowers::kSpeedId));
  speed.LoadImages(CZovCefBrowers::kSpeedId, CZovCefBrowers::kSpeedNeedle, ZovRect{0, 0, 110, 110});
  speed.SetCenter(55, 55);
  speed.SetCaption(ZovRect{0, 70, 110, 100}, ZovRgb(255, 255, 0), CZovCefBrowers::kSpeedCaptionFont);
  speed.SetValue(QStringLiteral("88.8 KMH"), 100);
  speed.SetAngle(120);
  speed.repaint();
  const QImage captioned = speed.grab().toImage().convertToFormat(QImage::Format_RGB32);
  int yellow = 0;
  for (int y = 70; y < 100; ++y)
    for (int x = 0; x < 110; ++x) yellow += (captioned.pixel(x, y) & 0xFFFFFF) == 0xFFFF00u;
  EXPECT_GT(yellow, 20) << "caption drawn after a repaint";
  EXPECT_EQ(speed.Caption().toStdString(), "88.8 KMH");

  CZovCompass bare;
  bare.backgroundColor = CZovCefBrowers::kDialBackground;
  ASSERT_TRUE(bare.CreateEx(&host, ZovRect{120, 0, 230, 110}, QString(), 1));
  EXPECT_FALSE(bare.LoadImages(99999, CZovCefBrowers::kCompassNeedle, ZovRect{0, 0, 110, 110}));
  EXPECT_FALSE(bare.HasFace());
  EXPECT_FALSE(bare.HasNeedle()) << "no needle without a face";
  bare.SetValue(QStringLiteral("12.0 KMH"), 30);
  const QImage plain = bare.grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < plain.height(); y += 7)
    for (int x = 0; x < plain.width(); x += 7)
      ASSERT_EQ(plain.pixel(x, y) & 0xFFFFFF, 0x323232u) << x << "," << y;
}

// ---------------------------------------------------------------------------
// The map panel on the recording page.

struct Message {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// A window that keeps what it is sent (the panel's parent, the play window).
class Recorder : public CZovWnd {
 public:
  using CZovWnd::CZovWnd;
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    messages.push_back({message, wParam, lParam});
    return 0;
  }
  std::vector<Message> messages;
};

Recorder* g_parent = nullptr;
Recorder* g_play = nullptr;
CZovCefBrowers* g_panel = nullptr;
std::string g_dataDir;

// One call as the recording page kept it: its name and numbers.
struct Call {
  std::string name;
  std::vector<double> args;
};
Call Parse(const QString& text) {
  Call call;
  const int open = text.indexOf('(');
  call.name = text.left(open).toStdString();
  const QString inner = text.mid(open + 1, text.size() - open - 2);
  if (!inner.isEmpty())
    for (const QString& a : inner.split(',')) call.args.push_back(a.toDouble());
  return call;
}

// The calls since the last Reset(), parsed.
std::vector<Call> Calls() {
  std::vector<Call> out;
  QWebEngineView* view = g_panel->Client()->GetBrowser();
  for (const QString& c : Evaluate(view, "window.calls").toStringList()) out.push_back(Parse(c));
  return out;
}
std::vector<std::string> Names(const std::vector<Call>& calls) {
  std::vector<std::string> out;
  for (const Call& c : calls) out.push_back(c.name);
  return out;
}
void ResetCalls() { Evaluate(g_panel->Client()->GetBrowser(), "Reset(); 0"); }

void Send(int code, const void* bytes = nullptr, int size = 0) {
  CZovWndManager::GetInstance()->SendData(kZovMapPageName, code, size, bytes);
}
void SendTick(float mode, float second, float lat, float lon, float knots, float heading) {
  const float tick[6] = {mode, second, lat, lon, knots, heading};
  Send(ZOV_CODE_GPS_TICK, tick, sizeof tick);
}

// Point lines of the exchange text; the loader adds 0.00001 to both parts,
// so "S:0.00001 W:0.00001" is read back as (0, 0).
std::string PointLine(int second, const char* lat, const char* lon) {
  return std::to_string(second) + " 2023/01/05 12:00:00 " + lat + " " + lon +
         " 20.0 km/h x:0.00 y:0.00 z:0.00 A:10.0 H:5.0 M:000000000000000 V:1 L:0.0 R:0.0;";
}

std::string MakeTrackFile(const std::string& name) {
  const std::string path = g_dataDir + "/" + name;
  zovtest::Spit(path, "track\n");
  return path;
}

// Waits once for the panel's own start-up to make the browser and load the page.
void WaitForPanelPage() {
  static bool ready = false;
  if (ready) return;
  ASSERT_TRUE(zovtest::WaitUntil([] {
    return g_panel->Client() && g_panel->Client()->GetBrowser() && !g_panel->Client()->IsLoading();
  }, 30000)) << "the panel made no browser";
  ready = true;
}

TEST(MapPanel, StartsWithDialsRegisteredAndMakesItsBrowser) {
  EXPECT_EQ(CZovWndManager::GetInstance()->Find(kZovMapPageName), g_panel);
  ASSERT_NE(g_panel->SpeedDial(), nullptr);
  EXPECT_DOUBLE_EQ(g_panel->SpeedDial()->Angle(), kZovSpeedDialStartAngle);
  EXPECT_DOUBLE_EQ(g_panel->Compass()->Angle(), 0);
  EXPECT_TRUE(g_panel->SpeedDial()->HasFace() && g_panel->Compass()->HasNeedle());
  WaitForPanelPage();
  EXPECT_FALSE(CZovFileListStore::GetInstance()->AllTracks()) << "trackconnect 0 means off";
  QWebEngineView* view = g_panel->Client()->GetBrowser();
  EXPECT_EQ(view->parentWidget(), g_panel);
  EXPECT_TRUE(view->url().toString().endsWith("map/recording.html")) << view->url().toString().toStdString();
}

TEST(MapPanel, TrackDrawSequenceSkipsZeroPointsWithoutUsingANumber) {
  WaitForPanelPage();
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  const std::string path = MakeTrackFile("drive.txt");
  store->SetExtractor([](const std::string&, std::string* points, std::string*) {
    *points = PointLine(1, "N:22.50000", "E:114.00000") + PointLine(2, "N:22.60000", "E:114.10000") +
              PointLine(3, "S:0.00001", "W:0.00001") + PointLine(4, "N:22.70000", "E:114.20000");
    return 4;
  });
  store->AddFile(path);
  store->SelectIndex(store->FindIndex(path));
  store->MakeCurrent(path);
  ASSERT_EQ(store->CurrentPointCount(), 4);
  ASSERT_TRUE(ZovIsZeroPoint(store->CurrentPoints()[2].latitude, store->CurrentPoints()[2].longitude));

  ResetCalls();
  SendTick(1, 1, 22.5f, 114.0f, 60, 30);  // the dials move away from their reset values
  ResetCalls();
  Send(ZOV_CODE_DRAW_TRACK);
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(Names(calls), (std::vector<std::string>{"ClearLine", "Clear", "SetPoistion", "SetPoistion",
                                                     "SetPoistion", "Line", "Center", "SetStartPoistion",
                                                     "SetEndPoistion"}));
  const double e = 1e-5;
  const double expected[][4] = {{0, 0, 114.00001, 22.50001}, {0, 1, 114.10001, 22.60001}, {0, 2, 114.20001, 22.70001}};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(calls[2 + i].args.size(), 4u);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(calls[2 + i].args[k], expected[i][k], e) << i << "," << k;
  }
  EXPECT_EQ(calls[5].args, std::vector<double>{0});
  EXPECT_NEAR(calls[6].args[0], 114.00001, e);
  EXPECT_NEAR(calls[6].args[1], 22.50001, e);
  EXPECT_NEAR(calls[7].args[0], 114.00001, e);
  EXPECT_NEAR(calls[8].args[0], 114.20001, e) << "the end mark is the last position";
  EXPECT_NEAR(calls[8].args[1], 22.70001, e);
  EXPECT_TRUE(g_panel->Drawn());
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "0.0 KMH");
  EXPECT_DOUBLE_EQ(g_panel->SpeedDial()->Angle(), 0);
  EXPECT_DOUBLE_EQ(g_panel->Compass()->Angle(), 0);

  Send(ZOV_CODE_STOPPED);
  EXPECT_FALSE(g_panel->Drawn());
}

TEST(MapPanel, TicksMoveTheMarkerThenCentreAndAlwaysSetTheSpeed) {
  WaitForPanelPage();
  ResetCalls();
  SendTick(1, 5, 22.5f, 114.25f, 10, 90);
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "18.5 KMH");
  EXPECT_DOUBLE_EQ(g_panel->Compass()->Angle(), 90);
  // No position: no Move or Center, the speed dial still follows.
  SendTick(1, 6, 0.0f, 113.2f, 150, 45);
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "277.8 KMH");
  EXPECT_NEAR(g_panel->SpeedDial()->Angle(), 260, 1e-4);
  EXPECT_DOUBLE_EQ(g_panel->Heading(), 45);
  // Only mode 1 counts, and a short record is refused.
  SendTick(0, 7, 23.0f, 115.0f, 20, 10);
  const float shortTick[3] = {1, 8, 23.0f};
  Send(ZOV_CODE_GPS_TICK, shortTick, sizeof shortTick);
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "277.8 KMH");
  SendTick(1, 9, -33.5f, -70.5f, 0, 200);
  // Standing still: the same point and heading call nothing on the page;
  // turning on the spot moves the marker again.
  SendTick(1, 10, -33.5f, -70.5f, 0, 200);
  SendTick(1, 11, -33.5f, -70.5f, 0, 210);
  EXPECT_DOUBLE_EQ(g_panel->Compass()->Angle(), 210);

  const std::vector<Call> calls = Calls();
  ASSERT_EQ(Names(calls), (std::vector<std::string>{"Move", "Center", "Move", "Center", "Move", "Center"}));
  EXPECT_EQ(calls[0].args, (std::vector<double>{114.25, 22.5, 270}));
  EXPECT_EQ(calls[1].args, (std::vector<double>{114.25, 22.5}));
  EXPECT_EQ(calls[2].args, (std::vector<double>{-70.5, -33.5, 20}));
  EXPECT_EQ(calls[4].args, (std::vector<double>{-70.5, -33.5, 30}));
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "0.0 KMH");
}

TEST(MapPanel, AllTracksFlagSendsEveryFileOfTheFolderThenTheCurrentFilesMarks) {
  WaitForPanelPage();
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetExtractor([](const std::string& path, std::string* points, std::string*) {
    const char* lat = path.find("a.txt") != std::string::npos   ? "N:10.00000"
                      : path.find("b.txt") != std::string::npos ? "N:20.00000"
                                                                : "N:30.00000";
    *points = PointLine(1, lat, "E:100.00000") + PointLine(2, lat, "E:100.50000");
    return 2;
  });
  std::vector<std::string> files;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    files.push_back(g_dataDir + "/folder/" + name);
  }
  std::filesystem::create_directories(g_dataDir + "/folder");
  for (const std::string& f : files) {
    zovtest::Spit(f, "track\n");
    store->AddFile(f);
  }
  const int current = store->FindIndex(files[1]);
  store->SelectIndex(current);
  store->MakeCurrent(files[1]);

  Send(ZOV_CODE_ALL_TRACKS, "\1", 1);  // a record: flag on
  ASSERT_TRUE(store->AllTracks());
  store->LoadAllTracks();
  ResetCalls();
  Send(ZOV_CODE_DRAW_TRACK);
  std::vector<Call> calls = Calls();
  std::vector<double> lines, latitudes;
  for (const Call& c : calls) {
    if (c.name == "Line") lines.push_back(c.args[0]);
    if (c.name == "SetPoistion") latitudes.push_back(c.args[3]);
  }
  EXPECT_EQ(lines, (std::vector<double>{0, 1, 2}));
  ASSERT_EQ(latitudes.size(), 6u);
  EXPECT_NEAR(latitudes[0], 10.00001, 1e-5);
  EXPECT_NEAR(latitudes[5], 30.00001, 1e-5);
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[calls.size() - 2].name, "SetStartPoistion");
  EXPECT_NEAR(calls[calls.size() - 2].args[1], 20.00001, 1e-5) << "marks of the current file";
  EXPECT_NEAR(calls.back().args[0], 100.50001, 1e-5);

  // A message without a record turns the flag off.
  g_panel->SendMessage(ZOVWM_INFO_E, ZOV_CODE_ALL_TRACKS, 0);
  EXPECT_FALSE(store->AllTracks());
}

TEST(MapPanel, TwoPositionMoveNeedsFourCoordinatesAndKeepsTheHeading) {
  WaitForPanelPage();
  ResetCalls();
  const float good[6] = {48.85f, 2.30f, 48.86f, 2.31f, 7, 135};
  Send(ZOV_CODE_MOVE_TWO, good, sizeof good);
  EXPECT_DOUBLE_EQ(g_panel->Heading(), 135);
  const float zero[6] = {48.85f, 0.0f, 48.86f, 2.31f, 7, 10};
  Send(ZOV_CODE_MOVE_TWO, zero, sizeof zero);
  Send(ZOV_CODE_MOVE_TWO, good, 20);  // short
  Send(ZOV_CODE_UNIT);                // not one of the panel's codes
  EXPECT_DOUBLE_EQ(g_panel->Heading(), 135);
  const std::vector<Call> calls = Calls();
  ASSERT_EQ(Names(calls), std::vector<std::string>{"MoveTow"});
  ASSERT_EQ(calls[0].args.size(), 4u);
  EXPECT_NEAR(calls[0].args[0], 2.30, 1e-5);
  EXPECT_NEAR(calls[0].args[1], 48.85, 1e-5);
  EXPECT_NEAR(calls[0].args[2], 2.31, 1e-5);
  EXPECT_NEAR(calls[0].args[3], 48.86, 1e-5);
  EXPECT_EQ(ZovMsgData::LiveCount().load(), 0) << "every record freed";
}

TEST(MapPanel, ResizePlacesBrowserAndDialsAndTellsThePage) {
  WaitForPanelPage();
  ResetCalls();
  g_panel->resize(500, 700);
  QWebEngineView* view = g_panel->Client()->GetBrowser();
  const ZovRect browser = CZovSettings::GetInstance()->LoadRect(CZovCefBrowers::kBrowserRect);
  const ZovRect compass = CZovSettings::GetInstance()->LoadRect(CZovCefBrowers::kCompassRect);
  EXPECT_EQ(view->geometry(), QRect(0, 0, 500, browser.Height()));
  EXPECT_EQ(g_panel->Compass()->pos(), QPoint(500 - (browser.right - compass.left), compass.top));
  EXPECT_EQ(g_panel->SpeedDial()->geometry().right(), g_panel->Compass()->geometry().right());
  ASSERT_NE(g_panel->ListView(), nullptr);
  EXPECT_EQ(g_panel->ListView()->geometry(), QRect(0, browser.bottom, 500, 700 - browser.bottom));
  const std::vector<Call> calls = Calls();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().name, "SetMaxXY");
  EXPECT_EQ(calls.back().args, (std::vector<double>{500, double(browser.Height())}));
  // The dials lie over the map: a grab of the panel shows the dial's face
  // where the page would be, and the page beside them (once the browser has
  // drawn the new size).
  const QPoint inDial = g_panel->Compass()->geometry().center() + QPoint(0, 30);
  QImage shot;
  EXPECT_TRUE(zovtest::WaitUntil([&] {
    shot = g_panel->grab().toImage();
    return (shot.pixel(20, 200) & 0xFFFFFF) == 0x203040u && (shot.pixel(350, 300) & 0xFFFFFF) == 0x203040u;
  }, 10000)) << "the page does not fill the browser area";
  EXPECT_NE(shot.pixel(inDial) & 0xFFFFFF, 0x203040u) << "the page's colour where the dial should be";

  g_panel->resize(0, 0);
  EXPECT_TRUE(view->isHidden());
  g_panel->resize(400, 700);
  EXPECT_FALSE(view->isHidden());
}

TEST(MapPanel, SpaceGoesToTheParentAndDropsGoToThePlayList) {
  WaitForPanelPage();
  g_parent->messages.clear();
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  QCoreApplication::sendEvent(g_panel, &release);
  ASSERT_EQ(g_parent->messages.size(), 1u);
  EXPECT_EQ(g_parent->messages[0].message, WM_KEYUP);
  EXPECT_EQ(g_parent->messages[0].wParam, VK_SPACE);

  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetExtractor([](const std::string&, std::string*, std::string*) { return 0; });
  const std::string dropped = MakeTrackFile("dropped.txt");
  const std::string notMedia = MakeTrackFile("notes.doc");
  auto drop = [](const std::vector<std::string>& paths) { g_panel->DropFiles(paths); };
  g_parent->messages.clear();
  g_play->messages.clear();
  drop({notMedia, dropped});
  const int index = store->FindIndex(dropped);
  ASSERT_GE(index, 0);
  EXPECT_EQ(store->FindIndex(notMedia), -1);
  ASSERT_EQ(g_parent->messages.size(), 1u);
  EXPECT_EQ(g_parent->messages[0].message, ZOVWM_LISTSELECT);
  EXPECT_EQ(g_parent->messages[0].lParam, 0) << "the first dropped file is not in the list";
  EXPECT_TRUE(g_play->messages.empty());

  g_parent->messages.clear();
  drop({dropped});
  EXPECT_EQ(store->GetCurrentIndex(), index);
  ASSERT_EQ(g_parent->messages.size(), 1u);
  EXPECT_EQ(g_parent->messages[0].lParam, index);
  ASSERT_EQ(g_play->messages.size(), 1u);
  EXPECT_EQ(g_play->messages[0].wParam, WPARAM(ZOV_CODE_PLAY_CURRENT));

  // The right panel's selection reaches the embedded play list.
  g_panel->SendMessage(ZOVWM_LISTSELECT, 0, index);
  EXPECT_EQ(g_panel->ListView()->SelectedIndex(), index);
  EXPECT_TRUE(store->IsMarked(index));
}

TEST(MapPanel, APageLoadedAfterATrackWasDrawnGetsTheTrackAgain) {
  WaitForPanelPage();
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetAllTracks(false);
  const std::string path = MakeTrackFile("again.txt");
  store->SetExtractor([](const std::string&, std::string* points, std::string*) {
    *points = PointLine(1, "N:1.00000", "E:2.00000") + PointLine(2, "N:1.50000", "E:2.50000");
    return 2;
  });
  store->AddFile(path);
  store->SelectIndex(store->FindIndex(path));
  store->MakeCurrent(path);
  Send(ZOV_CODE_DRAW_TRACK);
  SendTick(1, 1, 1.25f, 2.25f, 10, 90);
  // Another map page (here: the same page again) starts empty.
  bool loaded = false;
  auto connection = QObject::connect(g_panel->Client(), &ClientHandler::PageLoaded, [&](bool) { loaded = true; });
  g_panel->LoadPage(g_dataDir + "/setup/map/recording.html");
  ASSERT_TRUE(zovtest::WaitUntil([&] { return loaded; }, 20000));
  QObject::disconnect(connection);
  const std::vector<Call> calls = Calls();
  std::vector<std::string> names = Names(calls);
  // The page's texts, the track, then the marker where the last tick put it;
  // the dials are not reset.
  const std::vector<std::string> wholeTrack{"SetTexts", "ClearLine", "Clear", "SetPoistion", "SetPoistion", "Line",
                                            "Center", "SetStartPoistion", "SetEndPoistion", "Move", "Center"};
  EXPECT_EQ(names, wholeTrack);
  EXPECT_EQ(calls.back().args, (std::vector<double>{2.25, 1.25}));
  EXPECT_EQ(g_panel->SpeedText().toStdString(), "18.5 KMH");

  // A remote page that never loads is stopped, and the local page shows the track.
  SilentServer silent;
  ASSERT_NE(silent.port, 0);
  ClientHandler* client = g_panel->Client();
  client->SetLoadTimeoutMs(600);
  std::vector<bool> ends;
  connection = QObject::connect(client, &ClientHandler::PageLoaded, [&](bool ok) { ends.push_back(ok); });
  g_panel->LoadPage(silent.Url("google.html"));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return ends.size() >= 2; }, 20000));
  QObject::disconnect(connection);
  client->SetLoadTimeoutMs(ClientHandler::kLoadTimeoutMs);
  EXPECT_EQ(ends, (std::vector<bool>{false, true}));
  EXPECT_TRUE(client->GetBrowser()->url().isLocalFile());
  EXPECT_EQ(Names(Calls()), wholeTrack);
}

// Timer 3 takes the all-tracks flag from the "trackconnect" choice (any but
// the first turns it on) and asks for a browser again through the directory.
TEST(MapPanel, CreateTimerSetsTheAllTracksFlagFromTrackconnect) {
  WaitForPanelPage();
  CZovSettings* settings = CZovSettings::GetInstance();
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  for (int choice : {1, 0}) {
    settings->SetTrackConnect(choice);
    store->SetAllTracks(choice == 0);
    QPointer<QWebEngineView> before(g_panel->Client()->GetBrowser());
    g_panel->SendMessage(WM_TIMER, CZovCefBrowers::kCreateTimer, 0);
    EXPECT_EQ(store->AllTracks(), choice != 0) << "trackconnect " << choice;
    ASSERT_TRUE(zovtest::WaitUntil([&] {
      return before.isNull() && g_panel->Client()->GetBrowser() && !g_panel->Client()->IsLoading();
    }, 20000)) << "code 2003 made no new browser";
  }
}

// Files given on the command line start loading their tracks before timer 3
// fires: the flag is right from the panel's construction.
TEST(MapPanel, AllTracksFlagIsRightBeforeTheCreateTimer) {
  WaitForPanelPage();
  CZovSettings* settings = CZovSettings::GetInstance();
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  CZovWndManager* directory = CZovWndManager::GetInstance();
  directory->Unregister(kZovMapPageName);
  for (int choice : {1, 0}) {
    settings->SetTrackConnect(choice);
    store->SetAllTracks(choice == 0);
    auto* other = new CZovCefBrowers(g_parent);
    EXPECT_EQ(store->AllTracks(), choice != 0) << "trackconnect " << choice;
    delete other;
  }
  directory->Register(kZovMapPageName, g_panel);
}

TEST(MapPanel, ASecondCreateReplacesTheBrowser) {
  WaitForPanelPage();
  QWebEngineView* first = g_panel->Client()->GetBrowser();
  QPointer<QWebEngineView> watch(first);
  Send(ZOV_CODE_CREATE_BROWSER);
  ASSERT_TRUE(zovtest::WaitUntil([] {
    return g_panel->Client()->GetBrowser() && !g_panel->Client()->IsLoading();
  }, 20000));
  EXPECT_TRUE(watch.isNull()) << "the old browser is closed, not left under the new one";
  EXPECT_EQ(g_panel->findChildren<QWebEngineView*>().size(), 1);
}

TEST(MapPanel, ClosingClosesTheBrowserAndDestroyingUnregisters) {
  WaitForPanelPage();
  QCloseEvent close;
  QCoreApplication::sendEvent(g_panel, &close);
  EXPECT_TRUE(g_panel->Client()->IsClosing());
  EXPECT_FALSE(g_panel->Client()->ExecuteJavaScript("Test()"));
  ASSERT_TRUE(zovtest::WaitUntil([] { return g_panel->Client()->GetBrowser() == nullptr; }));
  delete g_panel;
  g_panel = nullptr;
  EXPECT_EQ(CZovWndManager::GetInstance()->Find(kZovMapPageName), nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::string root = zovtest::TempDir();
  g_cacheFolder = root + "/cache/ZovGpsPlay/Cache";
  g_logFile = root + "/config/ZovGpsPlay/cef.log";
  g_app = std::make_shared<ClientApp>(1);
  g_configuredInTime = g_app->Configure(g_cacheFolder, g_logFile);
  QApplication app(argc, argv);
  if (!g_app->Initialize()) {
    std::fprintf(stderr, "browser runtime not initialised\n");
    return 1;
  }
  // An installation whose only map is the recording page, and the resource
  // library of the build.
  g_dataDir = root + "/data";
  const std::string base = root + "/base";
  std::filesystem::create_directories(base + "/bin");
  std::filesystem::create_directories(base + "/setup/map");
  std::filesystem::create_directories(g_dataDir + "/setup/map");
  const std::string page = zovtest::Slurp(zovtest::SourceDir() + "/tests/map/recording.html");
  zovtest::Spit(base + "/setup/map/recording.html", page);
  zovtest::Spit(g_dataDir + "/setup/map/recording.html", page);
  zovtest::Spit(base + "/setup/quelnasetup.ini",
                "[unit]\ncount=1\nunit0=KMH\nunit0_scale=1\n"
                "[map]\ncount=1\nmap0=recording\nmap0_file=map/recording.html\n"
                "[trackconnect]\ncount=2\ntrackconnect0=off\ntrackconnect1=on\n"
                "[setup]\nmap=0\nunit=0\ntrackconnect=0\n");
  CZovSettings* settings = CZovSettings::GetInstance();
  settings->Init(base + "/bin/tamarinsoft");
  settings->LoadResourceLibrary(zovtest::BinDir() + "/libzovQuelnaResource.so");
  // A map drawn in WGS-84: the store shifts no point.
  CZovFileListStore::GetInstance()->SetMapNameSource([] { return std::string("Openstreet"); });
  CZovFileListStore::GetInstance()->SetWarningSink([](const std::string&) {});
  g_parent = new Recorder;
  g_parent->resize(400, 700);
  g_play = new Recorder;
  CZovWndManager::GetInstance()->Register(kZovPlayDialogName, g_play);
  g_panel = new CZovCefBrowers(g_parent);
  g_panel->resize(400, 700);
  g_parent->show();
  const int rc = RUN_ALL_TESTS();
  delete g_panel;
  delete g_parent;
  g_app.reset();
  return rc;
}
