// Video panes: arrangement arithmetic, channels, the letterbox read back
// from pixels, click and double-click limits, and stills taken from a real
// recording played by the engine into the panes' own windows.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QWindow>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_engine.h"
#include "engine/zov_media_play.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tests/ui/ui_test_support.h"
#include "ui/zov_player_view.h"

namespace {

using uitest::Recorder;

// With ZOV_UI_SHOT_DIR set, the whole screen is saved there as NAME.png, so
// a person can look at what the test saw.
void SaveScreen(const char* name) {
  const QByteArray dir = qgetenv("ZOV_UI_SHOT_DIR");
  if (dir.isEmpty()) return;
  QCoreApplication::processEvents();
  QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromUtf8(dir) + "/" + name + ".png");
}

// A 16:9 recording of one colour, made now.
std::string ColourClip(const std::string& colour, int seconds) {
  const std::string path = zovtest::TempDir() + "/" + colour + ".mp4";
  const std::string make = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i color=c=" + colour +
                           ":size=320x180:rate=30:duration=" + std::to_string(seconds) +
                           " -c:v libx264 -preset ultrafast -pix_fmt yuv420p " + path;
  return std::system(make.c_str()) == 0 ? path : std::string();
}

// The colour the screen shows at a point of `widget`.
QColor ScreenColour(QWidget* widget, const QPoint& pt) {
  const QPoint at = widget->mapToGlobal(pt);
  return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixelColor(0, 0);
}
bool IsRed(const QColor& c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; }
bool IsBlue(const QColor& c) { return c.blue() > 180 && c.red() < 80 && c.green() < 80; }
// Points a fifth in from each corner of `area` (clear of the name tag), and its centre.
std::vector<QPoint> Probes(const QRect& area) {
  const int dx = area.width() / 5, dy = area.height() / 5;
  return {area.topLeft() + QPoint(dx, dy), area.topRight() + QPoint(-dx, dy), area.bottomLeft() + QPoint(dx, -dy),
          area.bottomRight() + QPoint(-dx, -dy), area.center()};
}

class ViewsTest : public ::testing::Test, private uitest::WithApp {
 protected:
  void SetUp() override {
    parent_.resize(1000, 700);
    parent_.show();
    ASSERT_TRUE(panes_.CreateEx(&parent_, {0, 0, 960, 600}, "", kZovPlayerListId));
    panes_.show();
  }
  Recorder parent_;
  CZovPlayerListView panes_;
};

TEST(PaneArithmeticTest, CellsAndFitting) {
  struct Case {
    int arrangement, w, h;
    QRect cells[3];
  };
  const Case cases[] = {
      {0, 935, 600, {QRect(0, 0, 935, 600), {}, {}}},
      {1, 1280, 620, {QRect(0, 71, 851, 478), QRect(854, 190, 426, 239), {}}},
      {2, 935, 600, {QRect(0, 0, 935, 600), {}, {}}},
      {3, 935, 600, {{}, QRect(0, 0, 935, 600), {}}},
      {4, 1280, 620, {QRect(2, 71, 851, 478), QRect(856, 71, 421, 236), QRect(856, 313, 421, 236)}},
      {6, 935, 600, {{}, QRect(0, 0, 935, 600), {}}},
      {7, 935, 600, {{}, {}, QRect(0, 0, 935, 600)}},
  };
  for (const Case& c : cases) {
    const auto cells = ZovPaneCells(c.arrangement, c.w, c.h);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(cells[i], c.cells[i]) << c.arrangement << " pane " << i;
  }
  // Wide cells are pillarboxed, tall ones letterboxed, both centred.
  EXPECT_EQ(ZovFitPane(QRect(0, 0, 960, 600)), QRect(0, 30, 960, 540));
  EXPECT_EQ(ZovFitPane(QRect(100, 0, 1600, 720)), QRect(260, 0, 1280, 720));
  EXPECT_EQ(ZovFitPane(QRect(558, 300, 370, 300)), QRect(558, 345, 370, 208));
}

// Two and three channels at every shape of the video area: the large pane
// and the others beside or below it, none overlapping, each 16:9, and black
// along one pair of opposite edges only (the group reaches the other two).
TEST(PaneArithmeticTest, LargePaneAndOthersUseTheAreaAtEveryShape) {
  const QSize shapes[] = {{1280, 620}, {935, 600}, {1920, 1080}, {642, 400}, {600, 900}, {2400, 600}, {400, 1200}};
  for (const int arrangement : {1, 4}) {
    const int count = arrangement == 1 ? 2 : 3;
    for (const QSize& shape : shapes) {
      SCOPED_TRACE(testing::Message() << arrangement << " at " << shape.width() << "x" << shape.height());
      const auto cells = ZovPaneCells(arrangement, shape.width(), shape.height());
      QRect group;
      for (int i = 0; i < 3; ++i) {
        if (i >= count) {
          EXPECT_TRUE(cells[i].isEmpty());
          continue;
        }
        const QRect pane = ZovFitPane(cells[i]);
        EXPECT_LE(std::abs(pane.width() - cells[i].width()) + std::abs(pane.height() - cells[i].height()), 2) << i;
        EXPECT_TRUE(QRect(QPoint(0, 0), shape).contains(cells[i])) << i;
        for (int j = 0; j < i; ++j) EXPECT_FALSE(cells[i].intersects(cells[j])) << i << " and " << j;
        // The large one is the largest; the others stay readable (a quarter of its width at least).
        EXPECT_GE(cells[0].width(), cells[i].width());
        EXPECT_GE(cells[i].width() * 4, cells[0].width()) << i;
        group |= cells[i];
      }
      EXPECT_EQ(cells[1].size(), count == 3 ? cells[2].size() : cells[1].size());
      // (Within a hundredth: the panes' 16:9 rounds to whole pixels.)
      const int slackX = shape.width() / 100, slackY = shape.height() / 100;
      const bool acrossWidth = group.left() <= slackX && group.right() >= shape.width() - 1 - slackX;
      const bool acrossHeight = group.top() <= slackY && group.bottom() >= shape.height() - 1 - slackY;
      EXPECT_TRUE(acrossWidth || acrossHeight) << group.x() << "," << group.y() << " " << group.width() << "x"
                                               << group.height();
      // More room for the main channel than the two equal halves of old.
      const QRect half = ZovFitPane(QRect(0, 0, shape.width() / 2, shape.height()));
      EXPECT_GE(cells[0].width(), half.width());
    }
  }
}

TEST(PaneArithmeticTest, ChoosingChannelsKeepsAtMostThree) {
  using Keys = std::vector<std::string>;
  struct Case {
    Keys shown;
    std::string picked;
    Keys after;
  };
  const Case cases[] = {
      {{"front", "rear"}, "left", {"front", "rear", "left"}},             // joins at the end
      {{"front", "rear", "interior"}, "left", {"front", "rear", "left"}},  // takes the last place
      {{"front", "rear", "interior"}, "rear", {"front", "interior"}},      // leaves
      {{"rear"}, "rear", {"rear"}},                                       // the last one stays
      {{}, "front", {"front"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ZovToggleShownChannel(c.shown, c.picked), c.after) << c.picked;
  EXPECT_EQ(ZovChannelTitle("rear-2"), ZovChannelTitle("rear") + " 2");
  EXPECT_NE(ZovChannelTitle("interior"), QString("interior"));
  EXPECT_EQ(ZovChannelTitle("bumper"), QString("bumper"));  // a kind without a text keeps its key
}

TEST_F(ViewsTest, OneChannelFillsTheClientWithALetterbox) {
  panes_.SetChannels(0, 1);
  ASSERT_NE(panes_.Pane(0), nullptr);
  EXPECT_EQ(panes_.Pane(1), nullptr);
  EXPECT_EQ(panes_.Arrangement(), 0);
  EXPECT_EQ(panes_.Pane(0)->geometry(), QRect(0, 30, 960, 540));
  EXPECT_EQ(panes_.Pane(0)->ControlId(), 694390);
  // A blue still (BGR bytes) makes the pane visible against the black bars.
  std::vector<uint8_t> blue(64 * 36 * 3, 0);
  for (size_t i = 0; i < blue.size(); i += 3) blue[i] = 255;
  panes_.Pane(0)->SetStill(blue.data(), 64, 36);
  panes_.TakeStills(nullptr);  // nothing playing: the still stays
  const QImage shot = uitest::Grab(&panes_);
  for (const auto& [y, rgb] : {std::pair{0, 0x000000u}, std::pair{29, 0x000000u}, std::pair{30, 0x0000FFu},
                               std::pair{569, 0x0000FFu}, std::pair{570, 0x000000u}, std::pair{599, 0x000000u}})
    EXPECT_EQ(uitest::Rgb(shot, 480, y), rgb) << y;
  // A 4:3 still keeps its shape in the 16:9 pane: bars left and right.
  std::vector<uint8_t> red(48 * 36 * 3, 0);
  for (size_t i = 2; i < red.size(); i += 3) red[i] = 255;
  panes_.Pane(0)->SetStill(red.data(), 48, 36);
  const QImage narrow = uitest::Grab(&panes_);
  for (const auto& [x, rgb] : {std::pair{115, 0x000000u}, std::pair{125, 0xFF0000u}, std::pair{480, 0xFF0000u},
                               std::pair{835, 0xFF0000u}, std::pair{845, 0x000000u}})
    EXPECT_EQ(uitest::Rgb(narrow, x, 300), rgb) << x;
}

TEST_F(ViewsTest, ChannelsAndArrangements) {
  panes_.SetChannels(0, 2);
  EXPECT_EQ(panes_.Arrangement(), 1);
  EXPECT_EQ(panes_.Pane(1)->ControlId(), 694391);
  EXPECT_TRUE(panes_.Pane(0)->NoFill());
  for (int i = 0; i < 3; ++i) panes_.NextArrangement();
  EXPECT_EQ(panes_.Arrangement(), 1);
  panes_.SetChannels(2, 1);
  EXPECT_EQ(panes_.Arrangement(), 3);
  EXPECT_TRUE(panes_.Pane(0)->isHidden());
  EXPECT_FALSE(panes_.Pane(1)->isHidden());
  panes_.SetChannels(2, 5);  // keeps the arrangement
  EXPECT_EQ(panes_.Arrangement(), 3);
  EXPECT_EQ(panes_.ChannelCount(), 2);
  panes_.SetChannels(3, 0);  // ignored
  EXPECT_EQ(panes_.ChannelCount(), 2);
  panes_.SetChannels(0, 3);
  const int expected[] = {5, 6, 7, 4};
  for (int e : expected) {
    panes_.NextArrangement();
    EXPECT_EQ(panes_.Arrangement(), e);
  }
  EXPECT_EQ(panes_.Pane(2)->geometry(), ZovFitPane(ZovPaneCells(4, 960, 600)[2]));
  panes_.SetChannels(0, 9);  // more channels than panes
  EXPECT_EQ(panes_.ChannelCount(), 4);
  EXPECT_TRUE(panes_.Pane(3)->isHidden());  // the fourth is never laid out
  panes_.HideStills();
  EXPECT_FALSE(panes_.IsActive());
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(panes_.Pane(i)->isHidden());
    EXPECT_FALSE(panes_.Pane(i)->NoFill());
  }
}

TEST_F(ViewsTest, FrozenPanesStayPutAndInactivePanesStayHidden) {
  panes_.SetChannels(0, 2);  // arrangement 1: side by side
  const QRect left = panes_.Pane(0)->geometry();
  panes_.frozen = 1;
  panes_.NextArrangement();  // 2 would give pane 0 the whole client
  EXPECT_EQ(panes_.Arrangement(), 2);
  EXPECT_EQ(panes_.Pane(0)->geometry(), left);
  EXPECT_FALSE(panes_.Pane(1)->isHidden());
  panes_.frozen = 0;
  panes_.HideStills();
  panes_.resize(800, 500);  // laid out while inactive: hidden, at the frame size
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(panes_.Pane(i)->isHidden()) << i;
    EXPECT_EQ(panes_.Pane(i)->geometry(), QRect(0, 0, 1280, 720)) << i;
  }
  panes_.SetChannels(0, 2);  // active again: the arrangement is applied
  EXPECT_EQ(panes_.Pane(0)->geometry(), ZovFitPane(ZovPaneCells(1, 800, 500)[0]));
  EXPECT_FALSE(panes_.Pane(1)->isHidden());
}

// A double click on a small pane makes it the large one; one on the large
// pane or on the container goes to the left panel. One limit for both.
TEST_F(ViewsTest, DoubleClicksSwapOrAreReportedAtMostOncePerSecondProgramWide) {
  uitest::FakeClock clock;
  std::vector<int32_t> ids;
  struct LeftTab : Recorder {
    std::vector<int32_t>* ids;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      if (message == ZOVWM_INFO_E && wParam == WPARAM(ZOV_CODE_PANE_DBLCLICK)) {
        const auto pane = ZovReadRecord<ZOV_CODE_PANE_DBLCLICK>(lParam);
        ids->push_back(pane ? pane->controlId : -1);
      }
      return 0;
    }
  } tab;
  tab.ids = &ids;
  CZovWndManager::GetInstance()->Register(kZovLeftTabName, &tab);
  panes_.SetChannels(0, 2);
  CZovPlayerView* pane = panes_.Pane(1);
  const QRect large = panes_.Pane(0)->geometry(), small = pane->geometry();
  ASSERT_GT(large.width(), small.width());
  clock.Advance(1001);
  QTest::mouseDClick(&panes_, Qt::LeftButton, {}, {2, 2});
  clock.Advance(600);
  QTest::mouseDClick(pane, Qt::LeftButton);  // too soon: nothing
  EXPECT_EQ(panes_.LargePane(), 0);
  clock.Advance(401);
  QTest::mouseDClick(pane, Qt::LeftButton);  // the small pane becomes the large one
  EXPECT_EQ(panes_.LargePane(), 1);
  EXPECT_EQ(pane->geometry(), large);
  EXPECT_EQ(panes_.Pane(0)->geometry(), small);
  panes_.resize(800, 450);  // it stays the large one through a new layout
  EXPECT_GT(pane->width(), panes_.Pane(0)->width());
  clock.Advance(1001);
  QTest::mouseDClick(pane, Qt::LeftButton);  // now the large one: reported
  panes_.NextArrangement();                  // pane 0 alone: a double click on it is reported too
  clock.Advance(1001);
  QTest::mouseDClick(panes_.Pane(0), Qt::LeftButton);
  EXPECT_EQ(panes_.LargePane(), 1);
  CZovWndManager::GetInstance()->Unregister(kZovLeftTabName);
  EXPECT_EQ(ids, (std::vector<int32_t>{694390, 694391, 694390}));
}

// A click gives a pane the focus; the space key released there pauses and
// resumes, so it must reach the panes' owner once, as from the container.
TEST_F(ViewsTest, SpaceOnAClickedPaneReachesThePanesOwnerOnce) {
  panes_.SetChannels(0, 2);
  for (CZovUiBase* target : {static_cast<CZovUiBase*>(panes_.Pane(1)), static_cast<CZovUiBase*>(&panes_)}) {
    parent_.messages.clear();
    QTest::mouseClick(target, Qt::LeftButton, {}, {2, 2});
    QTest::keyClick(target, Qt::Key_Space);
    const auto keys = parent_.Of(WM_KEYUP);
    ASSERT_EQ(keys.size(), 1u) << target->ControlId();
    EXPECT_EQ(keys[0].wParam, WPARAM(VK_SPACE));
  }
}

// The container reports pane clicks to itself; a recorder in its place
// shows the ids and the per-pane limit.
TEST(PaneClickTest, ReleasedClicksReportThePaneIdAtMostOncePerSecond) {
  uitest::App();
  uitest::FakeClock clock;
  Recorder parent;
  parent.show();
  CZovPlayerView pane;
  ASSERT_TRUE(pane.CreateEx(&parent, {0, 0, 160, 90}, "", 694391));
  pane.show();
  for (uint64_t gap : {0, 400, 700, 999, 1001}) {
    clock.Advance(gap);
    QTest::mouseClick(&pane, Qt::LeftButton);
  }
  // Sent at 0, 1100 (400 + 700) and 3100 (999 + 1001 after it).
  const auto clicks = parent.Of(ZOVWM_CLICK);
  ASSERT_EQ(clicks.size(), 3u);
  for (const auto& m : clicks) EXPECT_EQ(m.wParam, WPARAM(694391));
  EXPECT_EQ(pane.ClickCount(), 5);
}

// Pictures played by the engine into the panes' windows, paused, taken as
// stills; the still shows through a resize until playback goes on.
TEST_F(ViewsTest, StillsOfARealRecordingShowWhilePaused) {
  zovtest::Watchdog watchdog(90);
  // Stills are taken from the pictures still queued, so the recordings last
  // long enough that a slow machine pauses them before they run out.
  const std::string main = zovtest::TempDir() + "/main.mp4";
  const std::string makeMain = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=320x240:rate=30:duration=10 "
                               "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=10 "
                               "-c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest " + main;
  ASSERT_EQ(std::system(makeMain.c_str()), 0);
  // A second channel recorded at another size than the main one.
  const std::string second = zovtest::TempDir() + "/small.mp4";
  const std::string make = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=160x120:rate=30:duration=10 "
                           "-c:v libx264 -preset ultrafast -pix_fmt yuv420p " + second;
  ASSERT_EQ(std::system(make.c_str()), 0);

  panes_.SetChannels(0, 2);
  std::vector<uint8_t> marker(4 * 4 * 3, 7);
  panes_.Pane(1)->SetStill(marker.data(), 4, 4);
  CZovMediaPlay play;
  CZovEngine engine(&play);
  play.startSettleMs = 0;
  panes_.FillRenderWindows(play.renderWindows);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.renderWindows[0]->isExposed(); }));

  // One channel open: pane 1 keeps what it had.
  ASSERT_EQ(play.Open(main.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.players[0]->scheduler->presentedVideo >= 5; }, 10000));
  play.PauseAll();
  panes_.TakeStills(&engine);
  ASSERT_TRUE(panes_.Pane(0)->HasPicture());
  EXPECT_EQ(panes_.Pane(0)->PictureWidth(), 320);
  EXPECT_EQ(panes_.Pane(1)->PictureWidth(), 4);
  EXPECT_EQ(panes_.Pane(1)->PictureImage().pixel(0, 0) & 0xFFFFFF, 0x070707u);
  play.StopAll();
  panes_.HideStills();

  // Two channels of different sizes: each still has its own picture's size.
  panes_.SetChannels(0, 2);
  ASSERT_EQ(play.Open(main.c_str(), second.c_str()), 0);
  ASSERT_EQ(play.channelCount, 2);
  play.StartAll();
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    return play.players[0]->scheduler->presentedVideo >= 5 && play.players[1]->scheduler->presentedVideo >= 5;
  }, 10000));
  SaveScreen("panes_playing");
  play.PauseAll();
  panes_.TakeStills(&engine);
  CZovPlayerView* pane = panes_.Pane(0);
  EXPECT_EQ(panes_.Pane(1)->PictureWidth(), 160);
  EXPECT_EQ(panes_.Pane(1)->PictureHeight(), 120);
  ASSERT_TRUE(pane->IsStillShown());

  // A resize and a new arrangement while paused show the still, not black.
  panes_.resize(700, 500);
  panes_.NextArrangement();
  ASSERT_FALSE(pane->isHidden());
  QCoreApplication::processEvents();
  SaveScreen("panes_paused_resized");
  const QImage shot = uitest::Grab(pane);
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 6)
    for (int x = 0; x < shot.width(); x += 6) colours.insert(shot.pixel(x, y) & 0xF0F0F0);
  EXPECT_GT(colours.size(), 12);
  // The 4:3 still sits in the middle of the 16:9 pane, as the video window draws it.
  const ZovPictureRect r = CZovD3D11RenderView::PictureRect(shot.width(), shot.height(), 320, 240, 1, 1);
  ASSERT_LT(r.width, shot.width());
  EXPECT_EQ(uitest::Rgb(shot, r.x / 2, shot.height() / 2), 0x000000u);
  const QImage still = pane->PictureImage().scaled(r.width, r.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QPoint probe(r.width / 3, r.height / 2);
  const QColor a(shot.pixel(probe + QPoint(r.x, r.y))), b(still.convertToFormat(QImage::Format_RGB32).pixel(probe));
  EXPECT_NEAR(a.red(), b.red(), 24);
  EXPECT_NEAR(a.green(), b.green(), 24);
  EXPECT_NEAR(a.blue(), b.blue(), 24);

  // Playing again: the video window takes the pane back.
  play.ResumeAll();
  EXPECT_TRUE(zovtest::WaitUntil([&] { return !pane->IsStillShown(); }, 5000));
  SaveScreen("panes_resumed");
  play.StopAll();
  panes_.HideStills();
  EXPECT_FALSE(pane->HasPicture());

  // Three channels: the third pane takes its still too.
  panes_.SetChannels(0, 3);
  ASSERT_EQ(play.Open(main.c_str(), second.c_str(), second.c_str()), 0);
  ASSERT_EQ(play.channelCount, 3);
  play.StartAll();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.players[2]->scheduler->presentedVideo >= 5; }, 10000));
  play.PauseAll();
  panes_.TakeStills(&engine);
  EXPECT_TRUE(panes_.Pane(2)->IsStillShown());
  EXPECT_EQ(panes_.Pane(2)->PictureWidth(), 160);
  play.StopAll();
  panes_.HideStills();
}

// Channel 0 red, channel 1 blue: a double click on the small pane moves
// channel 1's window into the large place, and the engine draws it there
// over the whole place, with no new open.
TEST_F(ViewsTest, DoubleClickPutsChannelOneIntoTheLargePlace) {
  zovtest::Watchdog watchdog(90);
  const std::string red = ColourClip("red", 8), blue = ColourClip("blue", 8);
  ASSERT_FALSE(red.empty() || blue.empty());
  uitest::FakeClock clock;
  panes_.SetChannels(0, 2);
  panes_.SetChannelKeys({"front", "rear"}, {});  // the name tags sit over the video windows
  CZovMediaPlay play;
  CZovEngine engine(&play);
  play.startSettleMs = 0;
  std::array<QWindow*, 4> windows{};
  panes_.FillRenderWindows(windows);
  engine.SetChannelWindows(windows);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return windows[0]->isExposed() && windows[1]->isExposed(); }));
  ASSERT_TRUE(engine.Open({red, blue}));
  engine.Play();
  CZovPlayerView* first = panes_.Pane(0);
  CZovPlayerView* second = panes_.Pane(1);
  const QRect largePlace = first->geometry(), smallPlace = second->geometry();
  // Every probe of a place (container coordinates) shows `colour`.
  auto placeShows = [&](const QRect& place, bool (*colour)(const QColor&)) {
    for (const QPoint& p : Probes(place))
      if (!colour(ScreenColour(&panes_, p))) return false;
    return true;
  };
  ASSERT_TRUE(zovtest::WaitUntil([&] { return placeShows(largePlace, IsRed) && placeShows(smallPlace, IsBlue); }, 10000));
  SaveScreen("panes_two_channels");

  clock.Advance(1001);
  QTest::mouseDClick(second, Qt::LeftButton);
  ASSERT_EQ(panes_.LargePane(), 1);
  EXPECT_EQ(second->geometry(), largePlace);
  EXPECT_EQ(engine.ChannelWindow(1), second->RenderWindow());
  const int64_t presented = engine.PresentedCount(1);
  EXPECT_TRUE(zovtest::WaitUntil([&] { return placeShows(largePlace, IsBlue) && placeShows(smallPlace, IsRed); }, 5000));
  EXPECT_GT(engine.PresentedCount(1), presented);  // the same channel went on playing
  SaveScreen("panes_after_double_click");
  engine.Stop();
  panes_.HideStills();
}

// Three channels: the main plays on while the second runs out after a
// second and the third cannot be opened. Each of those keeps its pane with
// its last picture (or black) under a label the screen shows.
TEST_F(ViewsTest, AChannelThatEndsOrFailsKeepsALabelWhileTheMainPlaysOn) {
  zovtest::Watchdog watchdog(90);
  const std::string red = ColourClip("red", 8), blue = ColourClip("blue", 1);
  ASSERT_FALSE(red.empty() || blue.empty());
  const std::string broken = zovtest::TempDir() + "/broken.mp4";
  std::ofstream(broken) << "no pictures in here, only words";
  parent_.resize(1300, 700);
  panes_.resize(1280, 620);
  panes_.SetChannels(0, 3);
  panes_.SetChannelKeys({"front", "rear", "interior"}, {"front", "rear", "interior"});
  CZovMediaPlay play;
  CZovEngine engine(&play);
  play.startSettleMs = 0;
  panes_.SetEngine(&engine);
  std::array<QWindow*, 4> windows{};
  panes_.FillRenderWindows(windows);
  engine.SetChannelWindows(windows);
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    return windows[0]->isExposed() && windows[1]->isExposed() && windows[2]->isExposed();
  }));
  ASSERT_TRUE(engine.Open({red, blue, broken}));
  engine.Play();
  CZovPlayerView* ended = panes_.Pane(1);
  CZovPlayerView* failed = panes_.Pane(2);
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    return ended->End() == ZovPaneEnd::kEnded && failed->End() == ZovPaneEnd::kFailed;
  }, 10000));
  EXPECT_EQ(engine.ChannelState(1), ZovChannelState::kEnded);
  EXPECT_EQ(engine.ChannelState(2), ZovChannelState::kFailed);
  EXPECT_EQ(panes_.Pane(0)->End(), ZovPaneEnd::kNone);
  CZovSettings* settings = CZovSettings::GetInstance();
  EXPECT_EQ(ended->EndLabel(), settings->GetQText("chanended").arg(ZovChannelTitle("rear")));
  EXPECT_EQ(failed->EndLabel(), settings->GetQText("chanfailed").arg(ZovChannelTitle("interior")));
  // The main channel plays on.
  const int64_t at = engine.PresentedCount(0);
  EXPECT_TRUE(zovtest::WaitUntil([&] { return engine.PresentedCount(0) >= at + 10; }, 5000));
  EXPECT_EQ(engine.ChannelState(0), ZovChannelState::kPlaying);
  QCoreApplication::processEvents();
  SaveScreen("panes_channel_ended_and_failed");

  // On the screen: the ended pane keeps its blue picture around a label of
  // light text on a dark box; the failed one is black around its label.
  for (CZovPlayerView* pane : {ended, failed}) {
    SCOPED_TRACE(pane->ControlId());
    const QPoint at = pane->mapToGlobal(QPoint(0, 0));
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), pane->width(), pane->height()).toImage();
    const QColor corner = shot.pixelColor(shot.width() / 10, shot.height() - shot.height() / 10);
    EXPECT_TRUE(pane == ended ? IsBlue(corner) : corner == QColor(0, 0, 0)) << corner.name().toStdString();
    QRect middle(0, 0, shot.width() / 2, shot.height() / 8);
    middle.moveCenter(shot.rect().center());
    EXPECT_GT(uitest::ShareOf(shot, middle, 0xFFFFFF, 60), 0.04);
    EXPECT_GT(uitest::ShareOf(shot, middle, pane == ended ? 0x00003A : 0x000000, 40), 0.3);
  }
  // The main pane's name tag shows over its playing video.
  QWindow* tag = panes_.Pane(0)->Tag();
  ASSERT_NE(tag, nullptr);
  ASSERT_TRUE(tag->isVisible());
  EXPECT_FALSE(IsRed(ScreenColour(panes_.Pane(0), tag->geometry().topLeft() + QPoint(1, 1))));
  EXPECT_TRUE(IsRed(ScreenColour(panes_.Pane(0), tag->geometry().bottomRight() + QPoint(20, 20))));

  engine.Stop();
  panes_.HideStills();
  EXPECT_EQ(ended->End(), ZovPaneEnd::kNone);
}

TEST_F(ViewsTest, ChannelNamesAndTheCamerasMenu) {
  panes_.SetChannels(0, 3);
  panes_.SetChannelKeys({"front", "rear", "left"}, {"front", "rear", "interior", "left", "right"});
  EXPECT_EQ(panes_.Pane(2)->Title(), ZovChannelTitle("left"));
  ASSERT_NE(panes_.Pane(2)->Tag(), nullptr);
  EXPECT_TRUE(panes_.Pane(2)->TagShows());
  std::vector<std::vector<std::string>> chosen;
  panes_.chooseChannels = [&](const std::vector<std::string>& keys) { chosen.push_back(keys); };
  auto menu = panes_.MakeChannelMenu();
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> checked;
  std::map<std::string, QAction*> actions;
  for (QAction* a : menu->actions()) {
    if (!a->isCheckable()) continue;
    const std::string key = a->data().toString().toStdString();
    actions[key] = a;
    EXPECT_EQ(a->text(), ZovChannelTitle(key));
    if (a->isChecked()) checked.push_back(key);
  }
  EXPECT_EQ(actions.size(), 5u);
  EXPECT_EQ(checked, (std::vector<std::string>{"front", "rear", "left"}));
  actions["right"]->trigger();
  actions["front"]->trigger();
  using Keys = std::vector<std::string>;
  EXPECT_EQ(chosen, (std::vector<Keys>{{"front", "rear", "right"}, {"rear", "left"}}));
  // A moment of one camera offers no choice; a pane too narrow hides its tag.
  panes_.SetChannelKeys({"front", "rear", "left"}, {"front"});
  EXPECT_EQ(panes_.MakeChannelMenu(), nullptr);
  panes_.resize(300, 200);
  EXPECT_FALSE(panes_.Pane(2)->TagShows());
  EXPECT_TRUE(panes_.Pane(0)->TagShows());
}

}  // namespace
