// The main window, its two panels and the update box, in one process under
// Xvfb: layout, the download bar read from pixels, the update notices, the
// panels' relays, video-only mode, the data codes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <QAction>
#include <QMenu>

#include "app/zov_frame_layout.h"
#include "library/zov_drive_plan.h"
#include "engine/zov_media_play.h"
#include "ui/zov_button.h"
#include "ui/zov_player_view.h"
#include "library/zov_file_list_store.h"
#include "app/zov_left_tab.h"
#include "app/zov_play_dlg.h"
#include "app/zov_program_icon.h"
#include "app/zov_right_tab.h"
#include "shell/zov_wnd_manager.h"
#include "tests/app/app_test_support.h"
#include "tests/common/test_wait.h"
#include "update/update_client.h"
#include "update/zov_update_dlg.h"

namespace {

using apptest::Received;

class FrameTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    exe_ = new std::string(apptest::MakeTestBase());
    CZovSettings::GetInstance()->Init(*exe_);
    // The update checks of these tests fetch into the temporary installation.
    UpdateClient::GetInstance()->SetBaseFolder(CZovSettings::GetInstance()->BaseFolder());
  }

  void SetUp() override {
    standIns_ = &apptest::InstallStandIns();
    window_ = std::make_unique<CZovPlayDlg>();
    window_->exitProcess = [this](int code) { exitCodes_.push_back(code); };
    window_->Create();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
  }

  void TearDown() override { window_.reset(); }
  // As the program's shutdown list does: an update check's thread is joined.
  static void TearDownTestSuite() { UpdateClient::DeleteInstance(); }

  void SendCode(ZovWndName name, int code, const void* bytes, int size) {
    CZovWndManager::GetInstance()->SendData(name, code, size, bytes);
  }

  // Resizes the main window and waits until the panels follow.
  void ResizeTo(int w, int h) {
    window_->resize(w, h);
    ASSERT_TRUE(zovtest::WaitUntil([&] { return window_->width() == w && window_->height() == h; }));
    QApplication::processEvents();
  }

  // Width of the green download bar in the strip's bottom row of a grab.
  int BarWidth() {
    const QImage shot = window_->grab().toImage();
    const int y = window_->StripHeight() - 1;
    int n = 0;
    for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y) == QColor(0, 200, 0);
    return n;
  }

  static std::string* exe_;
  apptest::StandIns* standIns_ = nullptr;
  std::unique_ptr<CZovPlayDlg> window_;
  std::vector<int> exitCodes_;
};
std::string* FrameTest::exe_ = nullptr;

TEST(FrameLayout, SplitAndPanelsFollowTheClientWidth) {
  struct Case {
    int width;
    int split;
  };
  const Case cases[] = {{1359, 1019}, {1360, 1020}, {1361, 1020}, {1363, 1022}, {1364, 1024}, {1280, 940}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    EXPECT_EQ(ZovSplitX(c.width), c.split);
    EXPECT_EQ(ZovRightPanelRect(c.width, 760, 36), QRect(c.split, 36, c.width - c.split, 724));
    EXPECT_EQ(ZovLeftPanelRect(c.width, 760, 36, true).right(), c.split - 5 - 1);
    EXPECT_EQ(ZovLeftPanelRect(c.width, 760, 36, false).width(), c.width);
  }
}

TEST(FrameLayout, PlacementCentresTheDesignedSizeOrTakesTheWorkArea) {
  EXPECT_EQ(ZovInitialPlacement(QRect(0, 0, 1920, 1080), 1280, 760), QRect(320, 160, 1280, 760));
  EXPECT_EQ(ZovInitialPlacement(QRect(0, 30, 1281, 800), 1280, 760), QRect(0, 50, 1280, 760));
  EXPECT_EQ(ZovInitialPlacement(QRect(0, 0, 1024, 768), 1280, 760), QRect(0, 0, 1024, 768));
  EXPECT_EQ(ZovInitialPlacement(QRect(0, 0, 1920, 700), 1280, 760), QRect(0, 0, 1920, 700));
}

TEST(FrameLayout, DownloadPercentNeverDividesByZero) {
  struct Case {
    uint32_t done, total;
    int percent;
  };
  const Case cases[] = {{50, 200, 25}, {3, 7, 42}, {0, 99, 0}, {98, 99, 98}, {5, 0, 100},
                        {0, 0, 100},   {7, 7, 100}, {0xFFFFFFFEu, 0xFFFFFFFFu, 99}, {9, 4, 100}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.done << "/" << c.total);
    EXPECT_EQ(ZovDownloadPercent(c.done, c.total), c.percent);
  }
}

TEST(FrameLayout, UpdateNoticeTextByState) {
  const struct {
    int state;
    const char* key;
  } cases[] = {{0, nullptr}, {1, "updating"}, {2, nullptr}, {3, "updating"}, {4, "updatingfinish"},
               {5, nullptr}, {32, nullptr}, {33, "newestversion"}, {34, "newestversion"},
               {36, "newestversion"}, {37, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    const char* key = ZovUpdateNoticeKey(c.state);
    EXPECT_EQ(key ? std::string(key) : "", c.key ? std::string(c.key) : "");
  }
}

TEST_F(FrameTest, PanelsTakeTheirPlacesAtEachWidth) {
  const int strip = window_->StripHeight();
  ASSERT_EQ(strip, 36);
  for (auto [width, split] : {std::pair{1361, 1020}, std::pair{1364, 1024}, std::pair{1500, 1160}}) {
    SCOPED_TRACE(width);
    ResizeTo(width, 800);
    EXPECT_EQ(window_->RightTab()->geometry(), QRect(split, strip, width - split, 800 - strip));
    EXPECT_EQ(window_->LeftTab()->geometry(), QRect(0, strip, split - 5, 800 - strip));
    // The play window sits along the left panel's bottom at its designed height.
    EXPECT_EQ(standIns_->play->geometry(),
              QRect(0, 800 - strip - apptest::TestPlayWindow::kHeight, split - 5, apptest::TestPlayWindow::kHeight));
    // Both pages cover the right panel.
    EXPECT_EQ(standIns_->map->geometry(), window_->RightTab()->rect());
  }
}

TEST_F(FrameTest, InitialPlacementIsTheDesignedSizeCentred) {
  const QRect work = window_->screen()->availableGeometry();
  EXPECT_EQ(window_->geometry(), ZovInitialPlacement(work, 1280, 760));
  // Maximise takes the work area, restore brings the designed size back.
  window_->SendMessage(ZOVWM_CLICK, kZovCmdMaximise, 0);
  EXPECT_TRUE(zovtest::WaitUntil([&] { return window_->geometry() == work; }));
  window_->SendMessage(ZOVWM_CLICK, kZovCmdMaximise, 0);
  EXPECT_TRUE(zovtest::WaitUntil([&] { return window_->size() == QSize(1280, 760); }));
  EXPECT_EQ(standIns_->tests, 2);
}

TEST_F(FrameTest, DownloadBarIsDrawnToThePercent) {
  ResizeTo(1280, 760);
  EXPECT_EQ(BarWidth(), 0);  // nothing before the first report
  const struct {
    uint32_t done, total;
    int width;
  } cases[] = {{50, 200, 320}, {3, 7, 1280 * 42 / 100}, {0, 0, 1280}, {1, 3, 1280 * 33 / 100}, {7, 7, 1280}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.done << "/" << c.total);
    const uint32_t counts[2] = {c.done, c.total};
    SendCode(kZovMainWindowName, ZOV_CODE_DOWNLOAD, counts, sizeof counts);
    EXPECT_EQ(BarWidth(), c.width);
  }
  // A short record is ignored, not read past its end.
  const uint32_t one = 1;
  SendCode(kZovMainWindowName, ZOV_CODE_DOWNLOAD, &one, sizeof one);
  EXPECT_EQ(window_->ProgressPercent(), 100);
}

TEST_F(FrameTest, TitleTextIsDrawnInTheStrip) {
  const QImage before = window_->grab().toImage();
  const std::u16string title = u"/media/drive/行车记录.MP4";
  SendCode(kZovMainWindowName, ZOV_CODE_PLAYING_TITLE, title.data(), static_cast<int>(title.size() * 2));
  EXPECT_EQ(window_->TitleText(), QString::fromStdU16String(title));
  const QImage after = window_->grab().toImage();
  const QColor text(214, 219, 227);
  int changed = 0;
  for (int y = 9; y < 30; ++y)
    for (int x = 14; x < 700; ++x) changed += before.pixelColor(x, y) != after.pixelColor(x, y);
  EXPECT_GT(changed, 100);
  // Outside the title rectangle the strip keeps its colour.
  EXPECT_EQ(after.pixelColor(800, 5), QColor(24, 26, 30));

  // Playback stopped (the stop button, or the end of the last recording):
  // the strip no longer names the file.
  int32_t zero = 0;
  SendCode(kZovMainWindowName, ZOV_CODE_STOPPED, &zero, 4);
  EXPECT_EQ(window_->TitleText(), QStringLiteral(" "));
  EXPECT_EQ(window_->grab().toImage().copy(0, 0, 700, 36), before.copy(0, 0, 700, 36));
}

// The window cannot be made smaller than the size at which the play
// window's bottom row still fits beside the right panel (time text 16..190,
// clearance 10, eleven controls 496 wide with 8-pixel gaps, margin 10: 786)
// and the file list still shows its title, one row and its Add/Delete bar
// below the 420-pixel map area.
TEST_F(FrameTest, WindowKeepsItsMinimumSize) {
  const QSize least(786 + 5 + 340, 36 + 420 + 28 + 24 + 28);
  EXPECT_EQ(window_->minimumSize(), least);
  window_->resize(600, 400);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return window_->size() == least; }));
  QApplication::processEvents();
  EXPECT_EQ(window_->LeftTab()->width(), 786);
  EXPECT_EQ(window_->RightTab()->geometry(), QRect(791, 36, 340, least.height() - 36));
}

// A long path uses the strip up to the buttons and keeps its end, the file
// name, in view: two paths that differ only there draw differently, and
// nothing is drawn where the buttons are.
TEST_F(FrameTest, LongTitleShowsTheFileNameAndStopsBeforeTheButtons) {
  ResizeTo(1500, 800);
  const auto shot = [&](const std::u16string& title) {
    SendCode(kZovMainWindowName, ZOV_CODE_PLAYING_TITLE, title.data(), static_cast<int>(title.size() * 2));
    return window_->grab().toImage();
  };
  const std::u16string folder =
      u"/media/card/行车记录仪 2026-12-10 一个很长的文件夹名称/Überholmanöver Ελλάδα/" + std::u16string(60, u'x') + u"/";
  const QImage first = shot(folder + u"FILE0001_20261210.MP4");
  const QImage second = shot(folder + u"FILE0002_20261210.MP4");
  const QImage none = shot(u"");
  const int buttons = window_->TitleButton(kZovCmdPanelSwitch)->geometry().left();
  int differ = 0;
  int underButtons = 0;
  for (int y = 0; y < window_->StripHeight(); ++y) {
    for (int x = 0; x < buttons; ++x) differ += first.pixelColor(x, y) != second.pixelColor(x, y);
    for (int x = buttons; x < first.width(); ++x) underButtons += first.pixelColor(x, y) != none.pixelColor(x, y);
  }
  EXPECT_GT(differ, 20) << "the file name at the end of the path is not drawn";
  EXPECT_EQ(underButtons, 0);
}

TEST_F(FrameTest, NoNetworkNoticeShowsTheBoxEvenWhenNotAsked) {
  setenv("ZOV_ONLINE", "0", 1);
  standIns_->setup->asked = false;
  QString title, text;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      title = box->windowTitle();
      text = box->text();
      box->accept();
    }
  });
  poll.start(20);
  SendCode(kZovMainWindowName, ZOV_CODE_UPDATE, nullptr, 0);
  EXPECT_EQ(text, CZovSettings::GetInstance()->GetQText("nonetwork"));
  EXPECT_EQ(title, CZovSettings::GetInstance()->GetQText("updateinfo"));
  EXPECT_FALSE(text.isEmpty());
  EXPECT_EQ(window_->UpdateWindow(), nullptr);
  EXPECT_EQ(UpdateClient::GetInstance()->GetState(), kUpdateNotStarted);
  unsetenv("ZOV_ONLINE");
}

TEST_F(FrameTest, OnlineNoticeStartsTheCheckAndPlacesTheBox) {
  setenv("ZOV_ONLINE", "1", 1);
  // Servers on a loopback port nobody listens on: the check fails at once.
  UpdateServers none;
  none.checkService = "http://127.0.0.1:9";
  none.fileServer = "http://127.0.0.1:9/";
  UpdateClient::GetInstance()->SetServers(none);
  standIns_->setup->asked = true;
  SendCode(kZovMainWindowName, ZOV_CODE_UPDATE, nullptr, 0);
  CUpdateDlg* box = window_->UpdateWindow();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  EXPECT_NE(UpdateClient::GetInstance()->GetState(), kUpdateNotStarted);
  EXPECT_EQ(box->geometry(), ZovUpdateBoxRect(window_->geometry().topLeft(), window_->width(), window_->height()));
  EXPECT_TRUE(zovtest::WaitUntil([] { return UpdateClient::GetInstance()->GetState() >= 33; }, 20000));
  // The failed check's notice; the same box is used again, now hidden when not asked.
  standIns_->setup->asked = false;
  SendCode(kZovMainWindowName, ZOV_CODE_UPDATE, nullptr, 0);
  EXPECT_EQ(window_->UpdateWindow(), box);
  EXPECT_FALSE(box->isVisible());
  EXPECT_EQ(box->Notice(), CZovSettings::GetInstance()->GetQText("newestversion"));
  unsetenv("ZOV_ONLINE");
}

TEST_F(FrameTest, RightPanelRelaysToItsPages) {
  CZovRightTab* right = window_->RightTab();
  auto* setup = standIns_->setup;
  auto* map = standIns_->map;
  struct Case {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool toSetup, toMap;
  };
  const Case cases[] = {
      {ZOVWM_RELABEL, 0, 0, true, true},     {ZOVWM_MAPCHOICE, 1, 0, true, false},
      {ZOVWM_MAPCHOICE, 1, 1, true, false},  {ZOVWM_LISTLAYOUT, 0, 0, false, true},
      {ZOVWM_LISTSELECT, 0, 3, false, true}, {ZOVWM_DECODECHOICE, 1, 1, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    QApplication::processEvents();  // earlier posts (moves of the window) first
    setup->got.clear();
    map->got.clear();
    right->SendMessage(c.message, c.wParam, c.lParam);
    QApplication::processEvents();  // posts reach the map page
    const Received r{c.message, c.wParam, c.lParam};
    EXPECT_EQ(setup->got, c.toSetup ? std::vector<Received>{r} : std::vector<Received>{});
    EXPECT_EQ(map->got, c.toMap ? std::vector<Received>{r} : std::vector<Received>{});
  }
  // wParam 0: the current map page location is loaded into the map page.
  standIns_->loaded.clear();
  right->SendMessage(ZOVWM_MAPCHOICE, kZovChoiceLoadMap, 0);
  ASSERT_EQ(standIns_->loaded.size(), 1u);
  EXPECT_EQ(standIns_->loaded[0], CZovSettings::GetInstance()->CurrentMapLocation());
  EXPECT_NE(standIns_->loaded[0].find("osm.html"), std::string::npos);
}

TEST_F(FrameTest, PanelSwitchShowsOnePageAtATime) {
  auto* setup = standIns_->setup;
  auto* map = standIns_->map;
  EXPECT_TRUE(map->isVisible());
  EXPECT_FALSE(setup->isVisible());
  window_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 0);
  EXPECT_TRUE(setup->isVisible());
  EXPECT_FALSE(map->isVisible());
  EXPECT_EQ(window_->PanelSwitchState(), 1);
  window_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 0);
  EXPECT_TRUE(map->isVisible());
  EXPECT_FALSE(setup->isVisible());
  // While the right panel is hidden the switch does nothing.
  window_->SendMessage(ZOVWM_SHOWRIGHT, 1, 0);
  EXPECT_FALSE(window_->RightTab()->isVisible());
  EXPECT_EQ(window_->LeftTab()->width(), window_->width());
  window_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 0);
  EXPECT_EQ(window_->PanelSwitchState(), 0);
  window_->SendMessage(ZOVWM_SHOWRIGHT, 0, 0);
  EXPECT_TRUE(window_->RightTab()->isVisible());
  EXPECT_TRUE(map->isVisible());
  EXPECT_EQ(window_->LeftTab()->geometry().right(), window_->SplitX() - 5 - 1);
}

TEST_F(FrameTest, VideoOnlyModeComesBackWithThePageThatShowed) {
  auto* setup = standIns_->setup;
  auto* map = standIns_->map;
  const QRect leftBefore = window_->LeftTab()->geometry();
  window_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 0);  // the setup page shows
  // Double clicks count at most once a second: a clock the test moves on.
  uint64_t now = 100000;
  CZovUiEnv::Get().tickHook = [&] { return now; };
  QWidget* panes = window_->LeftTab()->VideoPanes();
  auto doubleClick = [&] {
    now += 1500;
    QTest::mouseDClick(panes, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
  };
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    doubleClick();
    EXPECT_TRUE(window_->LeftTab()->VideoOnly());
    EXPECT_EQ(window_->LeftTab()->geometry(), window_->rect());
    EXPECT_FALSE(window_->RightTab()->isVisible());
    EXPECT_FALSE(setup->isVisible());
    EXPECT_FALSE(standIns_->play->isVisible());
    for (int id : {kZovCmdClose, kZovCmdPanelSwitch, kZovCmdMaximise, kZovCmdMinimise})
      EXPECT_FALSE(window_->TitleButton(id)->isVisible());
    // The panes cover the whole panel.
    EXPECT_EQ(panes->geometry(), window_->LeftTab()->rect());
    doubleClick();
    EXPECT_FALSE(window_->LeftTab()->VideoOnly());
    EXPECT_EQ(window_->LeftTab()->geometry(), leftBefore);
    EXPECT_TRUE(window_->RightTab()->isVisible());
    EXPECT_TRUE(setup->isVisible());
    EXPECT_FALSE(map->isVisible());
    EXPECT_TRUE(standIns_->play->isVisible());
    for (int id : {kZovCmdClose, kZovCmdPanelSwitch, kZovCmdMaximise, kZovCmdMinimise})
      EXPECT_TRUE(window_->TitleButton(id)->isVisible());
    EXPECT_EQ(panes->geometry().bottom() + 1, standIns_->play->geometry().top());
  }
  CZovUiEnv::Get().tickHook = nullptr;
}

// Nothing plays: the video area is black with the program's mark in its
// middle, in one flat colour (so the window's tests that count colours to see
// a picture are not fooled); a stop brings the same look back.
TEST_F(FrameTest, IdleVideoAreaShowsTheProgramMark) {
  CZovPlayerListView* panes = window_->LeftTab()->VideoPanes();
  ASSERT_FALSE(panes->IsActive());
  const QImage silhouette = ZovProgramIconSilhouette(kZovIdleMarkSize, kZovIdleMarkColour);
  int shapePixels = 0;
  for (int y = 0; y < silhouette.height(); ++y)
    for (int x = 0; x < silhouette.width(); ++x) shapePixels += qAlpha(silhouette.pixel(x, y)) != 0;
  ASSERT_GT(shapePixels, kZovIdleMarkSize * kZovIdleMarkSize / 4);

  const auto markPixels = [&](QRect* box) {
    const QImage shot = panes->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int n = 0;
    QRect found;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) {
        const QRgb c = shot.pixel(x, y) & 0xFFFFFF;
        if (c == kZovIdleMarkColour) {
          ++n;
          found |= QRect(x, y, 1, 1);
        } else {
          EXPECT_EQ(c, 0u) << "only black and the mark: " << x << "," << y;
          if (c != 0) return -1;
        }
      }
    if (box) *box = found;
    return n;
  };
  QRect box;
  EXPECT_EQ(markPixels(&box), shapePixels);
  EXPECT_LE((box.center() - panes->rect().center()).manhattanLength(), kZovIdleMarkSize / 2);

  int32_t zero = 0;
  SendCode(kZovLeftTabName, ZOV_CODE_STOPPED, &zero, 4);
  EXPECT_EQ(markPixels(nullptr), shapePixels);
}

TEST_F(FrameTest, LeftPanelHandsThePanesToTheEngineAndThePlayWindow) {
  CZovPlayerListView* panes = window_->LeftTab()->VideoPanes();
  CZovWndManager* directory = CZovWndManager::GetInstance();
  directory->SendTo(kZovLeftTabName, ZOVWM_SETCHANNELS, 0, 3);
  EXPECT_EQ(panes->ChannelCount(), 3);
  EXPECT_EQ(standIns_->play->videoArea, panes);
  const auto& windows = CZovMediaPlay::Instance()->renderWindows;
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(panes->Pane(i), nullptr);
    EXPECT_EQ(windows[i], panes->Pane(i)->RenderWindow());
  }
  const int before = panes->Arrangement();
  directory->SendTo(kZovLeftTabName, ZOVWM_NEXTARRANGE, 0, 0);
  EXPECT_NE(panes->Arrangement(), before);
  const int32_t zero = 0;
  SendCode(kZovLeftTabName, ZOV_CODE_STOPPED, &zero, 4);
  EXPECT_FALSE(panes->IsActive());
  // Once the panel is gone the engine holds none of its windows.
  window_.reset();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(windows[i], nullptr);
}

// The panes' names: the playing drive's moment as the play window opens it
// (the remembered cameras first), else the usual order.
TEST(PaneChannelsTest, NamesComeFromTheMomentTheDrivePlays) {
  ZovDrivePlan plan;
  ZovPlanMoment moment;
  moment.lead = "/d/a_front.mp4";
  for (const char* key : {"front", "rear", "left", "right"}) moment.channels.push_back({key, std::string("/d/a_") + key});
  moment.channels[0].path = moment.lead;
  plan.moments.push_back(moment);
  using Keys = std::vector<std::string>;
  struct Case {
    const ZovDrivePlan* plan;
    std::string path;
    Keys preferred;
    int count;
    Keys shown, all;
  };
  const Keys four = {"front", "rear", "left", "right"};
  const Case cases[] = {
      {&plan, moment.lead, {}, 3, {"front", "rear", "left"}, four},
      {&plan, moment.lead, {"right", "front"}, 2, {"right", "front"}, four},  // the choice is all that plays
      {&plan, moment.lead, {}, 2, {"front", "rear"}, {}},  // not what the plan would open
      {&plan, "/d/other.mp4", {}, 2, {"front", "rear"}, {}},
      {nullptr, "/d/x.mp4", {}, 1, {}, {}},
      {nullptr, "/d/x.mp4", {}, 3, {"front", "rear", "interior"}, {}},
  };
  for (const Case& c : cases) {
    const ZovPaneChannels keys = ZovPaneChannelsOf(c.plan, c.path, c.preferred, c.count);
    EXPECT_EQ(keys.shown, c.shown) << c.path << " " << c.count;
    EXPECT_EQ(keys.all, c.all) << c.path << " " << c.count;
  }
}

// Cameras picked on the panes are stored (and read back by a fresh load of
// the settings file) and the play window is asked to open the moment again.
TEST_F(FrameTest, CamerasChosenOnThePanesAreRememberedAndTheMomentOpenedAgain) {
  apptest::RecordingWnd player(nullptr);
  CZovWndManager::GetInstance()->Register(kZovPlayDialogName, &player);
  CZovPlayerListView* panes = window_->LeftTab()->VideoPanes();
  CZovWndManager::GetInstance()->SendTo(kZovLeftTabName, ZOVWM_SETCHANNELS, 0, 2);
  EXPECT_EQ(panes->Pane(1)->Title(), ZovChannelTitle("rear"));
  panes->SetChannelKeys({"front", "rear"}, {"front", "rear", "left", "right"});
  auto menu = panes->MakeChannelMenu();
  ASSERT_NE(menu, nullptr);
  for (QAction* a : menu->actions())
    if (a->data().toString() == "left") a->trigger();
  CZovWndManager::GetInstance()->Unregister(kZovPlayDialogName);
  EXPECT_EQ(player.got, (std::vector<Received>{{ZOVWM_INFO_E, WPARAM(ZOV_CODE_REPLAY_MOMENT), 0}}));
  CZovSettings reloaded;
  reloaded.Init(*exe_);
  EXPECT_EQ(reloaded.PreferredChannels(), (std::vector<std::string>{"front", "rear", "left"}));
  CZovSettings::GetInstance()->SetPreferredChannels({});
}

TEST_F(FrameTest, MapAndDecodeChoicesDependOnPlayback) {
  CZovSettings* settings = CZovSettings::GetInstance();
  auto* setup = standIns_->setup;
  const int map0 = settings->MapIndex();
  const int other = map0 == 1 ? 2 : 1;
  // While playing: nothing changes, the setup page puts its choice back.
  standIns_->play->playing = true;
  setup->got.clear();
  const int32_t choice = other;
  SendCode(kZovMainWindowName, ZOV_CODE_MAP, &choice, 4);
  SendCode(kZovMainWindowName, ZOV_CODE_DECODE_MODE, &choice, 4);
  EXPECT_EQ(settings->MapIndex(), map0);
  EXPECT_EQ(setup->got, (std::vector<Received>{{ZOVWM_MAPCHOICE, kZovChoiceAnswer, kZovChoiceRefused}, {ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceRefused}}));
  // Stopped: the map is set, its page loaded, the choice accepted.
  standIns_->play->playing = false;
  setup->got.clear();
  standIns_->loaded.clear();
  SendCode(kZovMainWindowName, ZOV_CODE_MAP, &choice, 4);
  SendCode(kZovMainWindowName, ZOV_CODE_DECODE_MODE, &choice, 4);
  EXPECT_EQ(settings->MapIndex(), other);
  EXPECT_EQ(settings->DecodeModeIndex(), other);
  EXPECT_EQ(standIns_->loaded, std::vector<std::string>{settings->CurrentMapLocation()});
  EXPECT_EQ(setup->got, (std::vector<Received>{{ZOVWM_MAPCHOICE, kZovChoiceAnswer, kZovChoiceAccepted}, {ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceAccepted}}));
  settings->SetMap(map0);
}

TEST_F(FrameTest, EveryRecordIsFreed) {
  const int live = ZovMsgData::LiveCount().load();
  const int32_t zero = 0;
  for (int code : {ZOV_CODE_LANGUAGE, ZOV_CODE_TRACK, ZOV_CODE_GPS_TICK, 9999, ZOV_CODE_CLOSE_FILEINFO}) {
    SendCode(kZovMainWindowName, code, &zero, 4);
    SendCode(kZovLeftTabName, code, &zero, 4);
  }
  SendCode(kZovMainWindowName, ZOV_CODE_MAP, nullptr, 0);  // no payload: ignored
  EXPECT_EQ(ZovMsgData::LiveCount().load(), live);
  // The codes that carry a payload the handlers read, each with the payload
  // its sender gives and with none: the record goes either way.
  CZovSettings* settings = CZovSettings::GetInstance();
  const int map0 = settings->MapIndex();
  const int decode0 = settings->DecodeModeIndex();
  const char16_t title[] = u"a.mp4";
  const uint32_t counts[] = {50, 200};
  struct Case {
    ZovWndName window;
    int code;
    const void* bytes;
    int size;
  };
  const Case cases[] = {
      {kZovMainWindowName, ZOV_CODE_MAP, &zero, 4},         {kZovMainWindowName, ZOV_CODE_PLAYING_TITLE, title, 10},
      {kZovMainWindowName, ZOV_CODE_DOWNLOAD, counts, 8},   {kZovMainWindowName, ZOV_CODE_DOWNLOAD, counts, 4},
      {kZovMainWindowName, ZOV_CODE_DECODE_MODE, &zero, 4}, {kZovMainWindowName, ZOV_CODE_PLAYING_TITLE, nullptr, 0},
      {kZovLeftTabName, ZOV_CODE_PAUSED, &zero, 4},      {kZovLeftTabName, ZOV_CODE_STOPPED, nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    SendCode(c.window, c.code, c.bytes, c.size);
    EXPECT_EQ(ZovMsgData::LiveCount().load(), live);
  }
  settings->SetMap(map0);
  settings->SetDecodeMode(decode0);
  // The language change reaches the play window (posted on by the left panel).
  EXPECT_TRUE(zovtest::WaitUntil([&] { return !standIns_->play->got.empty(); }));
}

TEST_F(FrameTest, SpaceFromTheSetupPageReachesThePlayWindow) {
  window_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 0);
  standIns_->play->got.clear();
  QTest::keyRelease(standIns_->setup, Qt::Key_Space);
  EXPECT_EQ(standIns_->play->got, (std::vector<Received>{{WM_KEYUP, VK_SPACE, 0}}));
  // The arrow keys on the main window reach it as key-downs (it seeks).
  standIns_->play->got.clear();
  QTest::keyPress(window_.get(), Qt::Key_Left);
  QTest::keyPress(window_.get(), Qt::Key_Right);
  EXPECT_EQ(standIns_->play->got, (std::vector<Received>{{WM_KEYDOWN, VK_LEFT, 0}, {WM_KEYDOWN, VK_RIGHT, 0}}));
}

TEST_F(FrameTest, CtrlFShowsAndHidesOneFileInformationWindow) {
  window_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  const int made = standIns_->fileInfoMade;
  QTest::keyClick(window_.get(), Qt::Key_F, Qt::ControlModifier);
  ASSERT_EQ(standIns_->fileInfoMade, made + 1);
  QWidget* info = standIns_->fileInfo;
  EXPECT_TRUE(info->isVisible());
  EXPECT_EQ(info->geometry().topLeft(), window_->mapToGlobal(QPoint(24, 52)));
  QTest::keyClick(window_.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_FALSE(info->isVisible());
  QTest::keyClick(window_.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_TRUE(info->isVisible());
  EXPECT_EQ(standIns_->fileInfoMade, made + 1);
  // Code 10101 closes and deletes it; the next Ctrl+F makes a new one.
  QPointer<QWidget> gone(info);
  SendCode(kZovMainWindowName, ZOV_CODE_CLOSE_FILEINFO, nullptr, 0);
  EXPECT_EQ(window_->FileInfoWindow(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());
  QTest::keyClick(window_.get(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(standIns_->fileInfoMade, made + 2);
}

TEST_F(FrameTest, NetworkTimerChecksFromTheSecondTickUntilOnline) {
  // Offline: the first tick only counts, the second checks and keeps the timer.
  setenv("ZOV_ONLINE", "0", 1);
  window_->SendMessage(WM_TIMER, kZovNetTimerId, 0);
  window_->SendMessage(WM_TIMER, kZovNetTimerId, 0);
  EXPECT_EQ(window_->NetTicks(), 2);
  EXPECT_TRUE(window_->KillTimer(kZovNetTimerId));  // it was still running
  // Online: the next tick starts the update check and ends the timer.
  UpdateServers none;
  none.checkService = "http://127.0.0.1:9";
  none.fileServer = "http://127.0.0.1:9/";
  UpdateClient::GetInstance()->SetServers(none);
  window_->SetTimer(kZovNetTimerId, kZovNetTimerMs);
  setenv("ZOV_ONLINE", "1", 1);
  window_->SendMessage(WM_TIMER, kZovNetTimerId, 0);
  EXPECT_FALSE(window_->KillTimer(kZovNetTimerId));
  EXPECT_NE(UpdateClient::GetInstance()->GetState(), kUpdateNotStarted);
  unsetenv("ZOV_ONLINE");
}

// --- The update box ----------------------------------------------------------

TEST(UpdateBox, ButtonStaysCentredAboveTheBottom) {
  CUpdateDlg box(nullptr);
  for (QSize size : {QSize(256, 152), QSize(400, 300), QSize(301, 99)}) {
    SCOPED_TRACE(size.width());
    box.resize(size);
    box.show();
    ASSERT_TRUE(zovtest::WaitUntil([&] { return box.size() == size; }));
    const QRect b = box.ConfirmButton()->geometry();
    EXPECT_EQ(b.size(), QSize(80, 25));
    EXPECT_EQ(b.left(), size.width() / 2 - 40);
    EXPECT_EQ(b.top(), size.height() - 45);
  }
  EXPECT_EQ(box.windowTitle(), CZovSettings::GetInstance()->GetQText("updateinfo"));
  QTest::mouseClick(box.ConfirmButton(), Qt::LeftButton);
  EXPECT_FALSE(box.isVisible());
}

TEST(UpdateBox, NoticeIsCentredAboveTheButton) {
  CUpdateDlg box(nullptr);
  box.resize(400, 200);
  box.SetNotice(QStringLiteral("Update finish! please reset APP"));
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  const QImage shot = box.grab().toImage();
  const QColor bg = shot.pixelColor(2, 2);
  int left = shot.width(), right = -1, top = shot.height(), bottom = -1;
  const QRect button = box.ConfirmButton()->geometry();
  for (int y = 0; y < button.top(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      if (shot.pixelColor(x, y) == bg) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  ASSERT_GE(right, left) << "no notice drawn";
  EXPECT_NEAR((left + right) / 2.0, 200, 4);
  EXPECT_NEAR((top + bottom) / 2.0, 0.78 * 200 / 2, 4);
  EXPECT_GT(right - left, 100);
}

TEST(UpdateBox, CaptionFollowsTheLanguageAtTheNextPaint) {
  CZovSettings* settings = CZovSettings::GetInstance();
  CUpdateDlg box(nullptr);
  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  const QString english = box.ConfirmButton()->text();
  ASSERT_TRUE(settings->ChooseTextTable("chineses"));
  const QString chinese = settings->GetQText("ensure");
  ASSERT_NE(chinese, english);
  box.repaint();
  EXPECT_EQ(box.ConfirmButton()->text(), chinese);
  settings->ChooseTextTable("english");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
