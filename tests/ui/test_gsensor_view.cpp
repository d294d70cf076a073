// The timeline under the video on a real X server: shown for a drive and
// hidden on stop, the playing line and the shaded event moment read back from
// grabbed pixels, a click and a coalesced drag arriving as ZOV_CODE_SEEK_DRIVE
// at a stand-in play window, the A-B marks and the menu that sets them, the G-sensor read replacing the GPS-derived
// acceleration, and the view destroyed while its reader is busy.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>

#include "library/zov_file_list_store.h"
#include "shell/zov_text_tables.h"
#include "shell/zov_wnd_manager.h"
#include "tests/common/test_wait.h"
#include "tests/ui/ui_test_support.h"
#include "ui/zov_gsensor_view.h"

namespace {

// Stands in for the play window: keeps the drive times it is asked to seek to.
class PlayWindow : public CZovWnd {
 public:
  PlayWindow() { CZovWndManager::GetInstance()->Register(kZovPlayDialogName, this); }
  ~PlayWindow() override { CZovWndManager::GetInstance()->Unregister(kZovPlayDialogName); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == ZOVWM_INFO_E && wParam == static_cast<WPARAM>(ZOV_CODE_SEEK_DRIVE))
      if (auto at = ZovReadRecord<ZOV_CODE_SEEK_DRIVE>(lParam)) seeks.push_back(at->ms);
    if (message == ZOVWM_INFO_E && wParam == static_cast<WPARAM>(ZOV_CODE_SET_MARK))
      if (auto mark = ZovReadRecord<ZOV_CODE_SET_MARK>(lParam)) marks.push_back(*mark);
    return 0;
  }
  std::vector<int64_t> seeks;
  std::vector<ZovDriveMarkRecord> marks;
};

// Three moments of 20 s; the second an event; no tracks, so no graph covers
// the shading.
std::shared_ptr<ZovDrivePlan> ThreeMoments() {
  auto plan = std::make_shared<ZovDrivePlan>();
  for (int k = 0; k < 3; ++k) {
    ZovPlanMoment m;
    m.offsetMs = 20000 * k;
    m.lengthMs = 20000;
    m.mode = k == 1 ? ZovMode::kEvent : ZovMode::kNormal;
    m.lead = "/nowhere/" + std::to_string(k) + ".mp4";
    plan->moments.push_back(m);
  }
  return plan;
}

class GsensorViewTest : public ::testing::Test, public uitest::WithApp {
 protected:
  void SetUp() override {
    parent_.resize(800, 80);
    view_ = std::make_unique<CZovGsensorView>();
    view_->SetReadFunction([](const std::string&, const std::function<bool()>&) {
      return CZovDriveMotionReader::Samples{};
    });
    ASSERT_TRUE(view_->Create(&parent_));
    view_->setGeometry(0, 0, 800, kZovTimelineHeight);
    view_->onShownChanged = [this](bool shown) { shownCalls_.push_back(shown); };
    parent_.show();
  }
  void TearDown() override {
    view_.reset();
    CZovFileListStore::GetInstance()->SetPlayingDrive(nullptr);
  }
  void Play(std::shared_ptr<const ZovDrivePlan> plan) {
    CZovFileListStore::GetInstance()->SetPlayingDrive(std::move(plan));
    CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE>(kZovGsensorViewName);
  }
  void Position(int64_t ms) {
    CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE_POSITION>(kZovGsensorViewName, ZovDriveTimeRecord{ms});
  }
  int XOf(int64_t ms) const {
    const QRect g = view_->GraphRect();
    return ZovTimelineX(ms, 60000, g.left(), g.width());
  }

  QWidget parent_;
  std::unique_ptr<CZovGsensorView> view_;
  std::vector<bool> shownCalls_;
  PlayWindow play_;
};

TEST(TimelineMapping, XAndDriveTimeRoundTripWithinAPixel) {
  struct Case {
    int64_t lengthMs;
    int left, width;
  } cases[] = {{60000, 4, 792}, {3 * 3600 * 1000, 0, 1900}, {1500, 10, 300}};
  for (const Case& c : cases) {
    EXPECT_EQ(ZovTimelineX(0, c.lengthMs, c.left, c.width), c.left);
    EXPECT_EQ(ZovTimelineX(c.lengthMs, c.lengthMs, c.left, c.width), c.left + c.width - 1);
    EXPECT_EQ(ZovTimelineX(-5, c.lengthMs, c.left, c.width), c.left);  // clamped into the drive
    EXPECT_EQ(ZovTimelineMs(c.left + c.width + 50, c.lengthMs, c.left, c.width), c.lengthMs);
    const int64_t msPerPixel = c.lengthMs / (c.width - 1) + 1;
    for (int64_t ms = 0; ms <= c.lengthMs; ms += c.lengthMs / 37) {
      const int x = ZovTimelineX(ms, c.lengthMs, c.left, c.width);
      EXPECT_LE(std::llabs(ZovTimelineMs(x, c.lengthMs, c.left, c.width) - ms), msPerPixel / 2 + 1) << ms;
    }
  }
  EXPECT_EQ(ZovTimelineMs(100, 0, 0, 500), 0);  // no drive
}

// The legend of every language, with the longest unit name and the GPS note,
// fits the video area of the main window at its designed width (1280 px wide:
// 935 px of video, less the margins); every key has a text in every table.
TEST_F(GsensorViewTest, TheLegendFitsInEveryLanguage) {
  const char* keys[] = {kZovTextTimelineSpeed,   kZovTextTimelineAccel,        kZovTextTimelineFromGps,
                        kZovTextTimelineBraking, kZovTextTimelineAccelerating, kZovTextTimelineImpact,
                        kZovTextTimelineBroken};
  int widest = 0;
  for (int table = 0; table < kZovTextTableCount; ++table) {
    for (const char* key : keys) EXPECT_FALSE(ZovAddedTextOf(table, key).empty()) << table << " " << key;
    const auto text = [table](const char* key) { return QString::fromStdString(ZovAddedTextOf(table, key)); };
    const int width = CZovGsensorView::LegendWidth(view_->TextFont(),
                                                   CZovGsensorView::LegendTexts(text, QStringLiteral("MPH"), true));
    EXPECT_LE(width, 935 - 8) << "table " << table;
    widest = std::max(widest, width);
  }
  RecordProperty("widest_legend_px", widest);
}

TEST_F(GsensorViewTest, ShownForADriveHiddenOnStop) {
  EXPECT_TRUE(view_->isHidden());
  Play(ThreeMoments());
  EXPECT_FALSE(view_->isHidden());
  CZovWndManager::GetInstance()->Send<ZOV_CODE_STOPPED>(kZovGsensorViewName);
  EXPECT_TRUE(view_->isHidden());
  // A plain file plays: no drive, nothing to show.
  CZovFileListStore::GetInstance()->SetPlayingDrive(nullptr);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE>(kZovGsensorViewName);
  EXPECT_TRUE(view_->isHidden());
  // The owner heard each change once.
  EXPECT_EQ(shownCalls_, (std::vector<bool>{true, false}));
}

TEST_F(GsensorViewTest, DrawsThePlayingLineAndTheEventMomentShaded) {
  Play(ThreeMoments());
  Position(45000);
  const QImage image = uitest::Grab(view_.get());
  const QRect g = view_->GraphRect();
  const int x = XOf(45000);
  const int y = g.center().y();
  EXPECT_EQ(uitest::Rgb(image, x, y), 0xFFFFFFu);
  EXPECT_EQ(uitest::Rgb(image, x, g.bottom() - 1), 0xFFFFFFu);
  EXPECT_NE(uitest::Rgb(image, x - 4, y), 0xFFFFFFu);
  EXPECT_NE(uitest::Rgb(image, x + 4, y), 0xFFFFFFu);
  // The event moment (20-40 s) is shaded, the normal one before it is not.
  const QRect event(XOf(21000), g.top() + 8, XOf(39000) - XOf(21000), g.height() - 10);
  const QRect normal(XOf(1000), g.top() + 8, XOf(19000) - XOf(1000), g.height() - 10);
  EXPECT_GT(uitest::ShareOf(image, event, CZovGsensorView::kEventShade, 12), 0.95);
  EXPECT_LT(uitest::ShareOf(image, normal, CZovGsensorView::kEventShade, 12), 0.05);

  // The line follows the position.
  Position(10000);
  const QImage later = uitest::Grab(view_.get());
  EXPECT_EQ(uitest::Rgb(later, XOf(10000), y), 0xFFFFFFu);
  EXPECT_NE(uitest::Rgb(later, x, y), 0xFFFFFFu);
}

TEST_F(GsensorViewTest, ABrokenMomentIsHatched) {
  auto plan = ThreeMoments();
  plan->moments[2].playable = false;
  Play(plan);
  const QImage image = uitest::Grab(view_.get());
  const QRect g = view_->GraphRect();
  const QRect broken(XOf(41000), g.top() + 2, XOf(59000) - XOf(41000), g.height() - 4);
  EXPECT_GT(uitest::ShareOf(image, broken, CZovGsensorView::kBrokenShade, 12), 0.3);
  EXPECT_LT(uitest::ShareOf(image, broken, CZovGsensorView::kBrokenShade, 12), 0.95);  // hatch and notice on it
}

TEST_F(GsensorViewTest, AClickSeeksTheDriveToTheTimeUnderThePointer) {
  Play(ThreeMoments());
  const int x = XOf(33000);
  QTest::mouseClick(view_.get(), Qt::LeftButton, {}, QPoint(x, 40));
  ASSERT_FALSE(play_.seeks.empty());
  EXPECT_NEAR(double(play_.seeks.back()), 33000.0, 60000.0 / view_->GraphRect().width());
  EXPECT_EQ(play_.seeks.front(), play_.seeks.back());  // press and release at one place
}

TEST_F(GsensorViewTest, ADragSendsAtMostOneSeekPer100msAndTheLastOnRelease) {
  uitest::FakeClock clock;
  Play(ThreeMoments());
  QTest::mousePress(view_.get(), Qt::LeftButton, {}, QPoint(XOf(5000), 40));
  ASSERT_EQ(play_.seeks.size(), 1u);
  for (int step = 1; step <= 9; ++step) {  // 90 ms of moves: coalesced
    clock.Advance(10);
    uitest::Move(view_.get(), QPoint(XOf(5000 + step * 1000), 40), Qt::LeftButton);
  }
  EXPECT_EQ(play_.seeks.size(), 1u);
  clock.Advance(10);
  uitest::Move(view_.get(), QPoint(XOf(15000), 40), Qt::LeftButton);
  ASSERT_EQ(play_.seeks.size(), 2u);
  EXPECT_NEAR(double(play_.seeks[1]), 15000.0, 100.0);
  clock.Advance(20);
  uitest::Move(view_.get(), QPoint(XOf(25000), 40), Qt::LeftButton);
  EXPECT_EQ(play_.seeks.size(), 2u);
  QTest::mouseRelease(view_.get(), Qt::LeftButton, {}, QPoint(XOf(26000), 40));
  ASSERT_EQ(play_.seeks.size(), 3u);
  EXPECT_NEAR(double(play_.seeks[2]), 26000.0, 100.0);
  // Positions that arrive after the drag move the line again.
  Position(50000);
  EXPECT_EQ(view_->PositionMs(), 50000);
}

TEST_F(GsensorViewTest, LeavingWhilePressedSendsTheLastCoalescedPosition) {
  uitest::FakeClock clock;
  Play(ThreeMoments());
  QTest::mousePress(view_.get(), Qt::LeftButton, {}, QPoint(XOf(5000), 40));
  clock.Advance(10);
  uitest::Move(view_.get(), QPoint(XOf(8000), 40), Qt::LeftButton);
  ASSERT_EQ(play_.seeks.size(), 1u);
  uitest::Leave(view_.get());
  ASSERT_EQ(play_.seeks.size(), 2u);
  EXPECT_NEAR(double(play_.seeks[1]), 8000.0, 100.0);
}

TEST_F(GsensorViewTest, TheSensorReadReplacesTheDerivedAccelerationAndShowsItsMark) {
  view_->SetReadFunction([](const std::string& path, const std::function<bool()>&) {
    CZovDriveMotionReader::Samples samples;
    if (path != "/nowhere/1.mp4") return samples;
    for (uint32_t s = 0; s < 20; ++s) {
      GsensorSample g;
      g.index = s;
      g.accelZ = 9.8f;
      if (s == 10) g.accelX = 18.0f;  // a knock at 30 s of the drive
      samples.push_back(g);
    }
    return samples;
  });
  Play(ThreeMoments());
  // The same drive told again does not start its read over.
  const ZovDriveMotion* first = view_->Motion();
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE>(kZovGsensorViewName);
  if (!view_->SensorsRead()) {
    EXPECT_EQ(view_->Motion(), first);
  }
  ASSERT_TRUE(zovtest::WaitUntil([&] { return view_->SensorsRead(); }));
  ASSERT_EQ(view_->Motion()->marks.size(), 1u);
  EXPECT_EQ(view_->Motion()->marks[0].kind, ZovMarkKind::kImpact);
  EXPECT_EQ(view_->Motion()->marks[0].ms, 30000);
  const QImage image = uitest::Grab(view_.get());
  const QRect g = view_->GraphRect();
  EXPECT_GT(uitest::ShareOf(image, QRect(XOf(30000) - 3, g.top() + 1, 7, 6), CZovGsensorView::kImpactColour, 12),
            0.2);
}

TEST_F(GsensorViewTest, DestroyedWhileItsReaderIsBusy) {
  std::atomic<bool> reading{false};
  view_->SetReadFunction([&](const std::string&, const std::function<bool()>& stop) {
    reading = true;
    while (!stop()) std::this_thread::yield();
    return CZovDriveMotionReader::Samples{};
  });
  Play(ThreeMoments());
  ASSERT_TRUE(zovtest::WaitUntil([&] { return reading.load(); }));
  view_.reset();  // cancels and joins the worker; nothing arrives afterwards
  QCoreApplication::processEvents();
  EXPECT_EQ(CZovWndManager::GetInstance()->Find(kZovGsensorViewName), nullptr);
}


// The A-B marks: two lines and the range between them shaded; a right click
// offers to set A or B where it was made, and to clear them.
TEST_F(GsensorViewTest, MarksAreDrawnAndItsMenuSetsThem) {
  Play(ThreeMoments());
  CZovWndManager::GetInstance()->Send<ZOV_CODE_DRIVE_MARKS>(kZovGsensorViewName, ZovDriveMarksRecord{5000, 15000});
  const QImage image = uitest::Grab(view_.get());
  const QRect g = view_->GraphRect();
  const int y = g.top() + 5;
  EXPECT_EQ(uitest::Rgb(image, XOf(5000), y), uint32_t(CZovGsensorView::kRangeColour));
  EXPECT_EQ(uitest::Rgb(image, XOf(15000), y), uint32_t(CZovGsensorView::kRangeColour));
  EXPECT_GT(qRed(uitest::Rgb(image, XOf(10000), y)), qRed(uitest::Rgb(image, XOf(2000), y)) + 20)
      << "the range is shaded";

  const QPoint at(XOf(33000), g.center().y());
  for (const int item : {1, 2}) {  // "Set mark B here", then "Clear the A-B marks"
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view_->mapToGlobal(at));
    QApplication::sendEvent(view_.get(), &event);
    QMenu* menu = view_->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 3);
    EXPECT_TRUE(menu->actions()[2]->isEnabled()) << "marks are set: they can be cleared";
    menu->actions()[item]->trigger();
    delete menu;
  }
  ASSERT_EQ(play_.marks.size(), 2u);
  EXPECT_EQ(play_.marks[0].action, ZovMarkAction::kSetB);
  EXPECT_NEAR(double(play_.marks[0].ms), 33000.0, 60000.0 / g.width());
  EXPECT_EQ(play_.marks[1].action, ZovMarkAction::kClear);
  // Stopped: the marks go with the drive.
  CZovWndManager::GetInstance()->Send<ZOV_CODE_STOPPED>(kZovGsensorViewName);
  EXPECT_EQ(view_->MarkA(), -1);
}

}  // namespace
