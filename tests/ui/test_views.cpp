// Video panes: arrangement arithmetic, channels, the letterbox read back
// from pixels, click and double-click limits, and stills taken from a real
// recording played by the engine into the panes' own windows.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <QWindow>

#include <cstdlib>
#include <string>

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_media_play.h"
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
  // W = 935, b = 929: b / 2 = 464, (b / 5) * 3 = 555, (b / 5) * 5 + 3 = 928.
  const Case cases[] = {
      {0, 935, 600, {QRect(0, 0, 935, 600), {}, {}}},
      {1, 935, 600, {QRect(1, 0, 463, 600), QRect(467, 0, 468, 600), {}}},
      {2, 935, 600, {QRect(0, 0, 935, 600), {}, {}}},
      {3, 935, 600, {{}, QRect(0, 0, 935, 600), {}}},
      {4, 935, 600, {QRect(0, 0, 555, 600), QRect(558, 0, 370, 300), QRect(558, 300, 370, 300)}},
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

TEST_F(ViewsTest, DoubleClicksAreReportedAtMostOncePerSecondProgramWide) {
  uitest::FakeClock clock;
  std::vector<int32_t> ids;
  struct LeftTab : Recorder {
    std::vector<int32_t>* ids;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
      if (message == ZOVWM_INFO_E && wParam == WPARAM(ZOV_CODE_PANE_DBLCLICK)) {
        auto record = ZovTakeMsgData(lParam);
        ids->push_back(record ? record->ValueOr<int32_t>(-1) : -1);
      }
      return 0;
    }
  } tab;
  tab.ids = &ids;
  CZovWndManager::GetInstance()->Register(kZovLeftTabName, &tab);
  panes_.SetChannels(0, 2);
  CZovPlayerView* pane = panes_.Pane(1);
  clock.Advance(1001);
  QTest::mouseDClick(&panes_, Qt::LeftButton, {}, {2, 2});
  clock.Advance(600);
  QTest::mouseDClick(pane, Qt::LeftButton);
  clock.Advance(401);
  QTest::mouseDClick(pane, Qt::LeftButton);
  CZovWndManager::GetInstance()->Unregister(kZovLeftTabName);
  EXPECT_EQ(ids, (std::vector<int32_t>{694390, 694391}));
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
  const std::string main = zovtest::Fixture("h264_aac48_30fps.mp4");
  // A second channel recorded at another size than the main one.
  const std::string second = zovtest::TempDir() + "/small.mp4";
  const std::string make = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=160x120:rate=30:duration=2 "
                           "-c:v libx264 -preset ultrafast -pix_fmt yuv420p " + second;
  ASSERT_EQ(std::system(make.c_str()), 0);

  panes_.SetChannels(0, 2);
  std::vector<uint8_t> marker(4 * 4 * 3, 7);
  panes_.Pane(1)->SetStill(marker.data(), 4, 4);
  CZovMediaPlay play;
  play.startSettleMs = 0;
  panes_.FillRenderWindows(play.renderWindows);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.renderWindows[0]->isExposed(); }));

  // One channel open: pane 1 keeps what it had.
  ASSERT_EQ(play.Open(main.c_str()), 0);
  play.StartAll();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play.players[0]->scheduler->presentedVideo >= 5; }, 10000));
  play.PauseAll();
  panes_.TakeStills(&play);
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
  panes_.TakeStills(&play);
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
  panes_.TakeStills(&play);
  EXPECT_TRUE(panes_.Pane(2)->IsStillShown());
  EXPECT_EQ(panes_.Pane(2)->PictureWidth(), 160);
  play.StopAll();
  panes_.HideStills();
}

}  // namespace
