// The bundled map pages in a real browser with the network shut off (every
// http and https request fails or hangs, as on a machine with no network): each
// page defines the functions the player calls, draws a track with its marks
// and turning marker on the offline basemap, fits it, and shows no broken
// tiles. Each page is loaded once.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include <QApplication>
#include <QTemporaryDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tests/map/map_page_eval.h"

namespace {

namespace fs = std::filesystem;

// A local port that takes connections and never answers (they wait in its
// backlog): a request sent there hangs, as on a network that drops packets.
int SilentPort() {
  static const int port = [] {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd, 64) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      return 0;
    }
    return int(ntohs(address.sin_port));
  }();
  return port;
}

// Keeps every request from leaving the machine: half of them fail at once,
// the other half hang on the silent port. The pages must finish loading all
// the same (the player's calls wait for the load).
class NoNetwork : public QWebEngineUrlRequestInterceptor {
 public:
  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    if (url.scheme() != "http" && url.scheme() != "https") return;
    if (url.host() == "127.0.0.1" && url.port() == SilentPort()) return;
    if (++blocked % 2 == 0 && SilentPort() != 0) {
      info.redirect(QUrl(QStringLiteral("http://127.0.0.1:%1/tile.png").arg(SilentPort())));
    } else {
      info.block(true);
    }
  }
  int blocked = 0;
};

NoNetwork* g_noNetwork = nullptr;
QWebEngineProfile* g_profile = nullptr;

QVariant Evaluate(QWebEngineView* view, const QString& script) { return zovtest::Evaluate(view, script, 15000); }

QJsonObject State(QWebEngineView* view) {
  return QJsonDocument::fromJson(Evaluate(view, "JSON.stringify(ZovMap.state())").toString().toUtf8())
      .object();
}

// A new view of a page, loaded (from the staged pages unless `folder` is given).
QWebEngineView* LoadPage(const std::string& name, const std::string& folder = "") {
  auto* view = new QWebEngineView;
  view->setPage(new QWebEnginePage(g_profile, view));
  view->resize(800, 600);
  view->show();
  bool loaded = false, ok = false;
  QObject::connect(view, &QWebEngineView::loadFinished, [&](bool r) {
    loaded = true;
    ok = r;
  });
  const std::string staged = (folder.empty() ? zovtest::BinDir() + "/../setup/map" : folder) + "/" + name;
  view->load(QUrl::fromLocalFile(QString::fromStdString(staged)));
  EXPECT_TRUE(zovtest::WaitUntil([&] { return loaded; }, 30000)) << staged;
  EXPECT_TRUE(ok) << staged;
  QObject::disconnect(view, &QWebEngineView::loadFinished, nullptr, nullptr);
  return view;
}

// One view per page, loaded once and kept for the program.
QWebEngineView* PageView(const std::string& name) {
  static std::map<std::string, QWebEngineView*> views;
  auto it = views.find(name);
  if (it != views.end()) return it->second;
  return views[name] = LoadPage(name);
}

// A short drive near a coast and a border, its third point lost (0, 0).
const char* kDrive = R"(
  ClearLine(); Clear();
  var pts = [[114.05432, 22.54321], [114.05472, 22.54301], [0, 0], [114.05552, 22.54261],
             [114.05592, 22.54231], [114.05632, 22.54196]];
  var n = 0;
  for (var i = 0; i < pts.length; i++) {
    if (pts[i][0] !== 0) SetPoistion(0, n++, pts[i][0], pts[i][1]);
  }
  Line(0);
  Center(pts[0][0], pts[0][1]);
  SetStartPoistion(pts[0][0], pts[0][1]);
  SetEndPoistion(pts[5][0], pts[5][1]);
  Move(114.05552, 22.54261, 270);
  Center(114.05552, 22.54261);
  SetMaxXY(800, 600);
  Test();
  "drawn")";

// Initial great-circle bearing from one position to another, degrees
// clockwise from north.
double Bearing(double lat1, double lon1, double lat2, double lon2) {
  const double r = M_PI / 180, dl = (lon2 - lon1) * r;
  const double y = std::sin(dl) * std::cos(lat2 * r);
  const double x = std::cos(lat1 * r) * std::sin(lat2 * r) - std::sin(lat1 * r) * std::cos(lat2 * r) * std::cos(dl);
  return std::fmod(std::atan2(y, x) / r + 360, 360);
}

class MapPages : public ::testing::TestWithParam<const char*> {};

TEST_P(MapPages, DefineEveryFunctionThePlayerCalls) {
  QWebEngineView* view = PageView(GetParam());
  const QStringList names = {"Center", "Move", "MoveTow", "ClearLine", "Clear", "SetPoistion",
                             "Line", "SetStartPoistion", "SetEndPoistion", "SetMaxXY", "Test"};
  for (const QString& name : names) {
    EXPECT_EQ(Evaluate(view, "typeof window." + name).toString(), "function")
        << GetParam() << ": " << name.toStdString();
  }
}

// The world view and its inset are drawn from Natural Earth's coarser
// scales; the finest is decoded only for a closer view.
TEST_P(MapPages, WideViewsDrawTheCoarseScalesOnly) {
  std::unique_ptr<QWebEngineView> view(LoadPage(GetParam()));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return State(view.get())["basemapTiles"].toInt() >= 4; }, 20000));
  const QVariantList scales = State(view.get())["basemapScales"].toVariant().toList();
  EXPECT_TRUE(scales.contains("110m")) << "the inset draws the world";
  EXPECT_TRUE(scales.contains("50m")) << "the opening view";
  EXPECT_FALSE(scales.contains("10m"));
  ASSERT_EQ(Evaluate(view.get(), kDrive).toString(), "drawn");
  EXPECT_TRUE(zovtest::WaitUntil([&] {
    return State(view.get())["basemapScales"].toVariant().toList().contains("10m");
  }, 20000)) << "a fitted track shows the finest coasts";
}

// An installation that lost the finest scale's script still draws a close
// view, from the next coarser scale.
TEST(MapPagesDamaged, CloseViewWithoutTheFinestScaleDrawsTheCoarser) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const fs::path copy = fs::path(dir.path().toStdString()) / "map";
  fs::copy(zovtest::BinDir() + "/../setup/map", copy, fs::copy_options::recursive);
  ASSERT_TRUE(fs::remove(copy / "lib" / "basemap-10m.js"));
  std::unique_ptr<QWebEngineView> view(LoadPage("osm.html", copy.string()));
  ASSERT_EQ(Evaluate(view.get(), kDrive).toString(), "drawn");
  QString drawnFrom;
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    QJsonObject s = State(view.get());
    drawnFrom = s["basemapScaleAt"].toObject()[QString::number(s["zoom"].toInt())].toString();
    return s["zoom"].toInt() >= 10 && !drawnFrom.isEmpty();
  }, 20000));
  EXPECT_EQ(drawnFrom, "50m");
  EXPECT_FALSE(State(view.get())["basemapScales"].toVariant().toList().contains("10m"));
}

TEST_P(MapPages, DrawTheTrackOnTheOfflineBasemap) {
  QWebEngineView* view = PageView(GetParam());
  ASSERT_EQ(Evaluate(view, kDrive).toString(), "drawn");
  // The basemap drew its tiles and the blocked raster tiles stay hidden.
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    QJsonObject s = State(view);
    return s["basemapTiles"].toInt() >= 4 && s["tileErrors"].toInt() >= 4;
  }, 20000));
  const QJsonObject s = State(view);
  EXPECT_GT(s["landRings"].toInt(), 1000) << "Natural Earth land not loaded";
  EXPECT_GT(s["borderLines"].toInt(), 100);
  EXPECT_EQ(s["tilesLoaded"].toInt(), 0);
  EXPECT_EQ(s["visibleBrokenTiles"].toInt(), 0);
  EXPECT_GT(g_noNetwork->blocked, 0);
  // Fitted to the track, but no further in than the basemap shows coasts.
  EXPECT_GE(s["zoom"].toInt(), 10);
  EXPECT_LE(s["zoom"].toInt(), 15);
  // Five drawable points in one line; the marks and the marker where sent.
  EXPECT_EQ(s["lines"].toVariant().toList(), (QVariantList{QVariantList{0, 5}}));
  const QVariantList start = s["start"].toVariant().toList(), end = s["end"].toVariant().toList();
  const QVariantList marker = s["marker"].toVariant().toList();
  ASSERT_EQ(start.size(), 2);
  ASSERT_EQ(end.size(), 2);
  ASSERT_EQ(marker.size(), 2);
  EXPECT_NEAR(start[0].toDouble(), 114.05432, 1e-9);
  EXPECT_NEAR(end[1].toDouble(), 22.54196, 1e-9);
  EXPECT_NEAR(marker[0].toDouble(), 114.05552, 1e-9);
  EXPECT_NEAR(marker[1].toDouble(), 22.54261, 1e-9);
  EXPECT_EQ(s["angle"].toDouble(), 270.0);
  // On the track the arrow points the way the track goes from there (to the
  // next point, east-south-east), whichever way the camera counts its heading.
  EXPECT_NEAR(s["arrowPointsTo"].toDouble(), Bearing(22.54261, 114.05552, 22.54231, 114.05592), 2.0);
  const QVariantList center = s["center"].toVariant().toList();
  EXPECT_NEAR(center[0].toDouble(), 114.05552, 1e-4);
  EXPECT_NEAR(center[1].toDouble(), 22.54261, 1e-4);

  // What a user sees: land, sea (the bay south of the drive), the track line,
  // the red marker, not a blank page.
  QImage shot;
  int land = 0, sea = 0, track = 0, red = 0;
  auto count = [&] {
    shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    land = sea = track = red = 0;
    for (int y = 0; y < shot.height(); ++y) {
      for (int x = 0; x < shot.width(); ++x) {
        const QColor c = shot.pixelColor(x, y);
        if (c == QColor("#f2efe9")) ++land;
        if (c == QColor("#aad3df")) ++sea;
        if (std::abs(c.red() - 0x15) < 40 && std::abs(c.green() - 0x65) < 40 && c.blue() > 0xa0) ++track;
        if (c.red() > 0xc0 && c.green() < 0x60 && c.blue() < 0x60) ++red;
      }
    }
    return land > 0 && sea > 0 && track > 0 && red > 0;
  };
  EXPECT_TRUE(zovtest::WaitUntil(count, 20000))
      << "land " << land << " sea " << sea << " track " << track << " red " << red;
  EXPECT_GT(land, shot.width() * shot.height() / 4);
  if (const char* out = std::getenv("ZOV_MAP_SHOT_DIR")) {
    shot.save(QString::fromUtf8(out) + "/" + GetParam() + ".png");
  }
}

TEST_P(MapPages, ClearAndRedrawReplaceTheOldTrack) {
  QWebEngineView* view = PageView(GetParam());
  Evaluate(view, kDrive);
  // A second drawing of two tracks: the first is gone, both new ones shown,
  // and a two-position move turns the marker along its way (due east).
  Evaluate(view, R"(ClearLine(); Clear();
    SetPoistion(0, 0, 2.35, 48.85); SetPoistion(0, 1, 2.36, 48.86); Line(0);
    SetPoistion(1, 0, 2.37, 48.85); SetPoistion(1, 1, 2.38, 48.85); SetPoistion(1, 2, 2.39, 48.85); Line(1);
    MoveTow(2.30, 48.85, 2.31, 48.85); 1)");
  QJsonObject s = State(view);
  EXPECT_EQ(s["lines"].toVariant().toList(), (QVariantList{QVariantList{0, 2}, QVariantList{1, 3}}));
  EXPECT_TRUE(s["start"].isNull());
  EXPECT_TRUE(s["end"].isNull());
  // The overview inset dropped the cleared marker's dot with it.
  Evaluate(view, "ClearLine(); Clear(); 1");
  EXPECT_FALSE(State(view)["insetDot"].toBool());
  Evaluate(view, R"(SetPoistion(0, 0, 2.35, 48.85); SetPoistion(0, 1, 2.36, 48.86); Line(0);
    SetPoistion(1, 0, 2.37, 48.85); SetPoistion(1, 1, 2.38, 48.85); SetPoistion(1, 2, 2.39, 48.85); Line(1);
    MoveTow(2.30, 48.85, 2.31, 48.85); 1)");
  s = State(view);
  EXPECT_TRUE(s["insetDot"].toBool());
  EXPECT_NEAR(s["arrowPointsTo"].toDouble(), 90.0, 2.0);
  EXPECT_NEAR(s["angle"].toDouble(), 270.0, 0.01) << "the angle the player would send for it";
  EXPECT_NEAR(s["marker"].toVariant().toList().value(0).toDouble(), 2.31, 1e-9);
}

// A 300 m drive over the 180th meridian (longitudes jump from +180 to -180):
// one short line, fitted close up, with its marks and the marker on the same
// copy of the world, not a line around the globe and a view of all of it.
TEST_P(MapPages, DriveAcrossLongitude180StaysOneShortLine) {
  QWebEngineView* view = PageView(GetParam());
  Evaluate(view, R"(ClearLine(); Clear();
    var pts = [];
    for (var i = 0; i < 20; i++) { var l = 179.999 + i * 0.0001; pts.push([l > 180 ? l - 360 : l, -17 + i * 0.0001]); }
    for (i = 0; i < pts.length; i++) SetPoistion(0, i, pts[i][0], pts[i][1]);
    Line(0);
    Center(pts[0][0], pts[0][1]);
    SetStartPoistion(pts[0][0], pts[0][1]);
    SetEndPoistion(pts[19][0], pts[19][1]);
    Move(pts[15][0], pts[15][1], 0);
    Center(pts[15][0], pts[15][1]);
    1)");
  const QJsonObject s = State(view);
  EXPECT_GE(s["zoom"].toInt(), 10) << "fitted to the drive, not to the whole world";
  const double startLng = s["start"].toVariant().toList().value(0).toDouble();
  EXPECT_NEAR(startLng, 179.999, 1e-6);
  EXPECT_NEAR(s["end"].toVariant().toList().value(0).toDouble() - startLng, 0.0019, 1e-5);
  EXPECT_NEAR(s["marker"].toVariant().toList().value(0).toDouble() - startLng, 0.0015, 1e-5);
  EXPECT_NEAR(s["center"].toVariant().toList().value(0).toDouble() - startLng, 0.0015, 1e-4);
  // The arrow goes along the track (north-east), not the way angle 0 says.
  EXPECT_NEAR(s["arrowPointsTo"].toDouble(), Bearing(-17, 179.999, -16.9999, 179.9991), 2.0);

  // Off every track the arrow follows the angle sent: heading 270 (west)
  // arrives as 90.
  Evaluate(view, "Move(100.5, 10.5, 90); 1");
  EXPECT_NEAR(State(view)["arrowPointsTo"].toDouble(), 270.0, 2.0);
}

// A text log shows its track and plays nothing: after the drawing sequence
// (fit, Center on the first point, marks) the whole 2 km track stays in view,
// clear of the dials at the right edge; the next tick's Center pans as ever.
TEST_P(MapPages, ADrawnTrackStaysInViewClearOfTheDials) {
  QWebEngineView* view = PageView(GetParam());
  Evaluate(view, R"(ClearLine(); Clear();
    for (var i = 0; i <= 30; i++) SetPoistion(0, i, 2.30 + i * 0.001, 48.85);
    Line(0);
    Center(2.30, 48.85);
    SetStartPoistion(2.30, 48.85);
    SetEndPoistion(2.33, 48.85);
    1)");
  QJsonObject s = State(view);
  const double width = s["size"].toArray().at(0).toDouble();
  const double startX = s["startPx"].toArray().at(0).toDouble(), endX = s["endPx"].toArray().at(0).toDouble();
  EXPECT_GE(startX, 0);
  EXPECT_LE(endX, width - 120) << "the end mark lies under the dials or outside the view";
  EXPECT_GT(endX - startX, width / 3) << "fitted close enough to see the drive";
  Evaluate(view, "Move(2.33, 48.85, 0); Center(2.33, 48.85); 1");
  s = State(view);
  EXPECT_NEAR(s["center"].toArray().at(0).toDouble(), 2.33, 1e-4);
}

// The degree labels along the top stay clear of the dials over the right
// edge, wherever the view is panned; those left of the dials still show.
TEST_P(MapPages, TopDegreeLabelsKeepClearOfTheDials) {
  QWebEngineView* view = PageView(GetParam());
  ASSERT_EQ(Evaluate(view, kDrive).toString(), "drawn");
  for (int i = 0; i < 8; ++i) {
    const QString centre = QString::number(114.05 + i * 0.0007, 'f', 5);
    const QJsonArray labels = QJsonDocument::fromJson(
        Evaluate(view, "Center(" + centre + ", 22.543); JSON.stringify(Array.from("
                       "document.querySelectorAll('.zov-grid-labels span')).filter(function (s) {"
                       "  return s.style.top === '2px'; }).map(function (s) {"
                       "  return [s.offsetLeft + s.offsetWidth, s.parentNode.offsetWidth]; }))")
            .toString().toUtf8()).array();
    SCOPED_TRACE(centre.toStdString());
    ASSERT_FALSE(labels.isEmpty());
    for (const QJsonValue& label : labels) {
      const QJsonArray a = label.toArray();
      EXPECT_LE(a.at(0).toDouble(), a.at(1).toDouble() - 120) << "a label under the dials";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, MapPages, ::testing::Values("osm.html", "gaode.html"),
                         [](const auto& info) {
                           return std::string(info.param).substr(0, std::string(info.param).find('.'));
                         });

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  g_profile = new QWebEngineProfile(&app);  // off the record: nothing written to disk
  // As the player's profile: local pages may ask for remote tiles.
  g_profile->settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  if (SilentPort() == 0) {
    std::fprintf(stderr, "no local port for the hanging requests\n");
    return 1;
  }
  g_noNetwork = new NoNetwork;
  g_profile->setUrlRequestInterceptor(g_noNetwork);
  const int rc = RUN_ALL_TESTS();
  return rc;
}
