// The timeline in the main window: hidden while no drive plays, then placed
// between the video panes and the play window at its height, and gone again
// when playing stops. With ZOV_LOOK_CARD (a card folder) the drive is the
// card's first, scanned for real; with ZOV_LOOK_DIR the window is saved there
// as timeline.png for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include <QApplication>
#include <QTest>

#include "app/zov_left_tab.h"
#include "app/zov_panel_windows.h"
#include "app/zov_play_app.h"
#include "app/zov_play_dlg.h"
#include "library/zov_file_list_store.h"
#include "library/zov_library_scan.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "tests/app/app_test_support.h"
#include "tests/common/test_wait.h"
#include "ui/zov_gsensor_view.h"

namespace {

std::string g_exe;

// A drive of four one-minute moments: speed rising and falling with a hard
// stop in the second, the third an event, the fourth unreadable.
std::shared_ptr<ZovDrivePlan> MadeUpDrive() {
  auto plan = std::make_shared<ZovDrivePlan>();
  for (int k = 0; k < 4; ++k) {
    ZovPlanMoment m;
    m.offsetMs = 60000LL * k;
    m.lengthMs = 60000;
    m.mode = k == 2 ? ZovMode::kEvent : ZovMode::kNormal;
    m.playable = k != 3;
    m.lead = "/nowhere/" + std::to_string(k) + ".mp4";
    for (int s = 0; s < 60 && m.playable; ++s) {
      double kmh = 30 + 25 * std::sin((k * 60 + s) / 20.0);
      if (k == 1) kmh = s < 30 ? 50.0 : 50.0 - 20.0 * (s - 29);  // a hard stop at 0.57 g
      m.track.push_back({48.1 + 0.0002 * (k * 60 + s), 11.5, float(std::max(0.0, kmh) / 1.852),
                         int32_t(1715932800 + s)});
    }
    plan->moments.push_back(m);
  }
  return plan;
}

std::shared_ptr<ZovDrivePlan> CardDrive(const std::string& card) {
  ZovScanOptions options;
  options.useIndex = false;
  const ZovLibrary library = ZovScanLibrary({card}, options);
  if (library.drives.empty()) return nullptr;
  return std::make_shared<ZovDrivePlan>(ZovPlanDrive(library, library.drives.front()));
}

TEST(TimelinePlace, BetweenThePanesAndThePlayWindowWhileADrivePlays) {
  ZovInstallPanelWindows();
  CZovPlayDlg dlg;
  dlg.exitProcess = [](int) {};
  dlg.Create();
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  CZovLeftTab* left = dlg.LeftTab();
  CZovGsensorView* timeline = left->Timeline();
  ASSERT_NE(timeline, nullptr);
  QWidget* panes = left->VideoPanes();
  QWidget* play = left->PlayWindow();
  ASSERT_NE(play, nullptr);
  EXPECT_TRUE(timeline->isHidden());
  const int panesBottom = panes->geometry().bottom();
  EXPECT_EQ(panesBottom + 1, play->geometry().top());

  const char* card = std::getenv("ZOV_LOOK_CARD");
  std::shared_ptr<ZovDrivePlan> plan = card ? CardDrive(card) : MadeUpDrive();
  ASSERT_TRUE(plan && !plan->moments.empty());
  CZovFileListStore::GetInstance()->SetPlayingDrive(plan);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE>(kZovGsensorViewName);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE_POSITION>(kZovGsensorViewName,
                                                             ZovDriveTimeRecord{plan->LengthMs() * 2 / 5});
  EXPECT_TRUE(timeline->isVisible());
  EXPECT_EQ(timeline->height(), kZovTimelineHeight);
  EXPECT_EQ(timeline->geometry().bottom() + 1, play->geometry().top());
  EXPECT_EQ(panes->geometry().bottom() + 1, timeline->geometry().top());
  EXPECT_EQ(timeline->width(), panes->width());

  if (const char* look = std::getenv("ZOV_LOOK_DIR")) {
    ASSERT_TRUE(zovtest::WaitUntil([&] { return timeline->SensorsRead(); }, 60000));
    QApplication::processEvents();
    std::filesystem::create_directories(look);
    EXPECT_TRUE(dlg.grab().save(QString::fromStdString(std::string(look) + "/timeline.png")));
    EXPECT_TRUE(timeline->grab().save(QString::fromStdString(std::string(look) + "/timeline-only.png")));
  }

  CZovWndManager::GetInstance()->Send<ZOV_CODE_STOPPED>(kZovGsensorViewName);
  EXPECT_TRUE(timeline->isHidden());
  EXPECT_EQ(panes->geometry().bottom(), panesBottom);
  CZovFileListStore::GetInstance()->SetPlayingDrive(nullptr);
  ZovPanelWindowMakers() = ZovPanelWindows{};
}

}  // namespace

int main(int argc, char** argv) {
  g_exe = apptest::MakeTestBase();
  QApplication app(argc, argv);
  CZovSettings::GetInstance()->Init(g_exe);
  CZovSettings::GetInstance()->LoadResourceLibrary(zovtest::BinDir() + "/libzovQuelnaResource.so");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
