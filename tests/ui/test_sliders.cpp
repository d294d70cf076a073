// The seek slider and the scroll bar: drags, the disabled slider, leave,
// the integer and single-precision arithmetic, wheel and keys, and the
// painted bands read back from pixels.
#include <gtest/gtest.h>

#include <functional>

#include <QTest>
#include <QWheelEvent>

#include "tests/common/test_wait.h"
#include "tests/ui/ui_test_support.h"
#include "ui/zov_button.h"
#include "ui/zov_player_view.h"
#include "ui/zov_process.h"
#include "ui/zov_vprocess.h"

namespace {

using uitest::Recorder;

constexpr int kSeekId = 10176;
constexpr int kListBarId = 10301;

class SliderTest : public ::testing::Test, private uitest::WithApp {
 protected:
  void SetUp() override {
    parent_.show();
    // The button is down unless a test says otherwise.
    CZovUiEnv::Get().mouseButtonsHook = [this] { return buttons_; };
  }
  void TearDown() override { CZovUiEnv::Get().mouseButtonsHook = nullptr; }

  // A seek bar of 0..300 whose track runs from 8 to 907 (899 pixels: the
  // value -> thumb -> value round trip of 150 truncates to 149).
  void MakeSeekBar(CZovProcess& bar) {
    QImage thumb(16, 20, QImage::Format_ARGB32);
    thumb.fill(QColor(255, 255, 255));
    bar.SetSkinImage(ZovRgb(64, 69, 78), ZovRgb(0, 150, 255), thumb, {8, 8, 907, 12});
    ASSERT_TRUE(bar.CreateEx(&parent_, {0, 0, 915, 20}, "", kSeekId));
    bar.maximum = 300;
  }
  std::vector<uitest::Message> Posted(UINT message) {
    QCoreApplication::processEvents();
    return parent_.Of(message);
  }

  Recorder parent_;
  Qt::MouseButtons buttons_ = Qt::LeftButton;
};

TEST_F(SliderTest, PressOnADisabledSliderIsADragThatKeepsTheValue) {
  CZovProcess bar;
  MakeSeekBar(bar);
  ASSERT_EQ(bar.TrackRect().right, 907);
  bar.enabled = 0;
  const int thumb = bar.SetValue(150);
  QTest::mousePress(&bar, Qt::LeftButton, {}, {700, 10});
  EXPECT_EQ(bar.ThumbPosition(), thumb);
  EXPECT_TRUE(bar.IsDragging());
  EXPECT_EQ(bar.SetValue(20), thumb);  // ignored until the release
  uitest::Move(&bar, {600, 10}, Qt::LeftButton);
  EXPECT_EQ(bar.ThumbPosition(), thumb);
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, {700, 10});
  const auto drops = Posted(ZOVWM_SEEKDROP);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].wParam, WPARAM(kSeekId));
  EXPECT_EQ(drops[0].lParam, 150);
  EXPECT_TRUE(Posted(ZOVWM_SEEKDRAG).empty());
  EXPECT_NE(bar.SetValue(20), thumb);
}

TEST_F(SliderTest, DragFollowsThePointerPinsAtTheEndsAndIgnoresPlayback) {
  CZovProcess bar;
  MakeSeekBar(bar);
  bar.SetValue(30);
  QTest::mousePress(&bar, Qt::LeftButton, {}, {458, 10});
  EXPECT_EQ(bar.ThumbPosition(), 458);
  EXPECT_EQ(bar.SetValue(250), 458);
  struct Step {
    int x;
    int value;
  };
  for (const Step s : {Step{2, 0}, Step{912, 300}, Step{308, 100}}) {
    uitest::Move(&bar, {s.x, 10}, Qt::LeftButton);
    EXPECT_EQ(bar.Value(), s.value) << s.x;
  }
  const auto drags = Posted(ZOVWM_SEEKDRAG);
  ASSERT_EQ(drags.size(), 3u);
  EXPECT_EQ(drags[0].lParam, 0);
  EXPECT_EQ(drags[1].lParam, 300);
  EXPECT_EQ(drags[2].lParam, 100);
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, {308, 10});
  const auto drops = Posted(ZOVWM_SEEKDROP);
  ASSERT_EQ(drops.size(), 1u);
  EXPECT_EQ(drops[0].lParam, 100);
  EXPECT_FALSE(bar.IsDragging());
}

TEST_F(SliderTest, LeavingReportsAndEndsTheDragAndItsTimerCannotCutALaterOne) {
  CZovProcess bar;
  MakeSeekBar(bar);
  QTest::mousePress(&bar, Qt::LeftButton, {}, {308, 10});
  uitest::Move(&bar, {309, 10}, Qt::LeftButton);  // asks for the leave notice
  uitest::Move(&bar, {309, 60}, Qt::LeftButton);  // off the slider
  EXPECT_FALSE(bar.IsDragging());
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, {309, 60});
  const auto drags = Posted(ZOVWM_SEEKDRAG);
  ASSERT_EQ(drags.size(), 2u);
  EXPECT_EQ(drags[1].lParam, 100);
  EXPECT_TRUE(Posted(ZOVWM_SEEKDROP).empty());  // the release was not the slider's
  EXPECT_TRUE(bar.KillTimer(CZovProcess::kLeaveTimer));
  bar.SetTimer(CZovProcess::kLeaveTimer, CZovProcess::kLeaveTimerMs);
  QTest::mousePress(&bar, Qt::LeftButton, {}, {200, 10});
  EXPECT_FALSE(bar.KillTimer(CZovProcess::kLeaveTimer));
}

TEST_F(SliderTest, ButtonFoundUpEndsTheDragWithoutReport) {
  CZovProcess bar;
  MakeSeekBar(bar);
  QTest::mousePress(&bar, Qt::LeftButton, {}, {308, 10});
  buttons_ = Qt::NoButton;
  uitest::Move(&bar, {400, 10});
  EXPECT_FALSE(bar.IsDragging());
  EXPECT_EQ(bar.ThumbPosition(), 308);
  EXPECT_TRUE(Posted(ZOVWM_SEEKDRAG).empty());
}

TEST_F(SliderTest, ResetPutsTheThumbAtTheStartAndThePaintFollowsIt) {
  CZovProcess bar;
  MakeSeekBar(bar);
  bar.backgroundColor = ZovRgb(0, 0, 0);
  bar.SetValue(120);  // 40 %
  const int thumb = bar.ThumbPosition();
  ASSERT_EQ(thumb, 8 + 899 * 120 / 300);
  const QImage shot = uitest::Grab(&bar);
  EXPECT_EQ(uitest::Rgb(shot, thumb - 12, 10), 0x0096FFu);  // played
  EXPECT_EQ(uitest::Rgb(shot, thumb + 12, 10), 0x40454Eu);  // track
  EXPECT_EQ(uitest::Rgb(shot, thumb, 2), 0xFFFFFFu);        // thumb
  EXPECT_EQ(uitest::Rgb(shot, thumb + 12, 2), 0x000000u);   // background
  bar.SendMessage(ZOVWM_SEEKRESET);
  EXPECT_EQ(bar.ThumbPosition(), 8);
  EXPECT_EQ(bar.Value(), 120);
  const QImage reset = uitest::Grab(&bar);
  EXPECT_EQ(uitest::Rgb(reset, thumb - 12, 10), 0x40454Eu);
}

// The A-B marks: lines across the whole height at both values, the track
// between them tinted; a mark not set draws nothing.
TEST_F(SliderTest, MarksAreLinesWithTheRangeTinted) {
  CZovProcess bar;
  MakeSeekBar(bar);
  bar.backgroundColor = ZovRgb(0, 0, 0);
  bar.SetMarks(200, 100);  // the window keeps A before B; the bar draws what it is given
  const QImage shot = uitest::Grab(&bar);
  const int a = 8 + 899 * 100 / 300, b = 8 + 899 * 200 / 300;
  for (const int x : {a, b}) {
    EXPECT_EQ(uitest::Rgb(shot, x, 1), uint32_t(CZovProcess::kMarkColour)) << x;
    EXPECT_EQ(uitest::Rgb(shot, x, 18), uint32_t(CZovProcess::kMarkColour)) << x;
  }
  const QRgb tinted = uitest::Rgb(shot, (a + b) / 2, 10);
  EXPECT_NE(tinted, 0x40454Eu);
  EXPECT_GT(qRed(tinted), 0x60);
  EXPECT_EQ(uitest::Rgb(shot, b + 40, 10), 0x40454Eu);  // the track after the range
  bar.SetMarks(100, -1);
  const QImage one = uitest::Grab(&bar);
  EXPECT_EQ(uitest::Rgb(one, a, 1), uint32_t(CZovProcess::kMarkColour));
  EXPECT_EQ(uitest::Rgb(one, (a + b) / 2, 10), 0x40454Eu) << "no range without B";
  EXPECT_EQ(uitest::Rgb(one, b, 1), 0x000000u);
}

class ScrollBarTest : public SliderTest {
 protected:
  // 200 pixels high with the skin's 14-pixel arrows.
  void MakeBar(CZovVProcess& bar, int total, int page) {
    ASSERT_TRUE(bar.CreateEx(&parent_, {0, 0, 14, 200}, "", kListBarId));
    bar.SetSkin(10281, 10282, ZovRgb(84, 90, 102));
    bar.SetRange(total, page);
  }
  void Wheel(QWidget* w, int delta) {
    QWheelEvent e(QPointF(7, 100), QPointF(w->mapToGlobal(QPoint(7, 100))), QPoint(), QPoint(0, delta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
  }
  std::vector<LPARAM> Reports() {
    std::vector<LPARAM> out;
    for (const auto& m : parent_.Of(ZOVWM_VSCROLLPOS)) out.push_back(m.lParam);
    return out;
  }
};

TEST_F(ScrollBarTest, RangeSetsThumbAndSpanAndDegenerateRangesAreIgnored) {
  CZovVProcess bar;
  MakeBar(bar, 1000, 100);
  // extent 1100 over 200 pixels: 6 pages, thumb (200 - 28) / 6 = 28.
  EXPECT_EQ(bar.Extent(), 1100);
  EXPECT_EQ(bar.ThumbLength(), 28);
  EXPECT_FLOAT_EQ(bar.TrackSpan(), 200 - 28 - 28);
  EXPECT_EQ(bar.ThumbTop(), 14);
  bar.SetPosition(450);
  // 450 * 144 / 900 + 14
  EXPECT_EQ(bar.ThumbTop(), 86);
  for (auto [total, page] : {std::pair{50, 100}, std::pair{100, 0}, std::pair{100, -5}}) {
    bar.SetRange(total, page);
    EXPECT_EQ(bar.Extent(), 1100);
    EXPECT_EQ(bar.Position(), 450);
  }
  bar.SetRange(5000, 100);  // thumb never below 12 pixels
  EXPECT_EQ(bar.ThumbLength(), 12);
  EXPECT_TRUE(Reports().empty());  // only the user's changes are reported
}

TEST_F(ScrollBarTest, WheelArrowsAndKeysMoveByOneStep) {
  CZovVProcess bar;
  MakeBar(bar, 1000, 100);
  Wheel(&bar, -120);  // toward the user: down
  Wheel(&bar, -120);
  Wheel(&bar, 120);   // away: up
  QTest::mouseClick(&bar, Qt::LeftButton, {}, {7, 195});  // down arrow
  QTest::mouseClick(&bar, Qt::LeftButton, {}, {7, 5});    // up arrow
  QTest::mouseClick(&bar, Qt::LeftButton, {}, {7, 5});
  QTest::mouseClick(&bar, Qt::LeftButton, {}, {7, 5});    // already at 0
  bar.setFocus();
  QTest::keyRelease(&bar, Qt::Key_Down);
  QTest::keyRelease(&bar, Qt::Key_Up);
  EXPECT_EQ(Reports(), (std::vector<LPARAM>{100, 200, 100, 200, 100, 0, 0, 100, 0}));
  for (const auto& m : parent_.Of(ZOVWM_VSCROLLPOS)) EXPECT_EQ(m.wParam, WPARAM(kListBarId));
  EXPECT_EQ(CZovVProcess::WheelStep(240, 7), 7);  // the unsigned rule as it stands
}

TEST_F(ScrollBarTest, DragPlacesThePositionAndStopsAtTheEnds) {
  CZovVProcess bar;
  MakeBar(bar, 1000, 100);
  QTest::mousePress(&bar, Qt::LeftButton, {}, {7, 100});
  uitest::Move(&bar, {7, 101}, Qt::LeftButton);
  // thumb top 101 - 14 = 87; (87 - 14) * 900 / 144 = 456.25
  EXPECT_EQ(bar.Position(), 456);
  uitest::Move(&bar, {7, 185}, Qt::LeftButton);
  EXPECT_EQ(bar.Position(), 900);
  EXPECT_EQ(bar.ThumbTop(), 200 - 14 - 28);
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, {7, 185});
  EXPECT_EQ(Reports(), (std::vector<LPARAM>{456, 900, 900}));
  const QImage shot = uitest::Grab(&bar);
  EXPECT_EQ(uitest::Rgb(shot, 7, 170), 0x545A66u);  // thumb at the bottom
  EXPECT_NE(uitest::Rgb(shot, 7, 60), 0x545A66u);
}

TEST_F(ScrollBarTest, ContentThatFitsNeverMovesTheThumb) {
  CZovVProcess bar;
  MakeBar(bar, 150, 50);  // extent 200 = client height
  const int top = bar.ThumbTop();
  Wheel(&bar, -120);
  QTest::mouseClick(&bar, Qt::LeftButton, {}, {7, 195});
  QTest::mousePress(&bar, Qt::LeftButton, {}, {7, 100});
  uitest::Move(&bar, {7, 150}, Qt::LeftButton);
  QTest::mouseRelease(&bar, Qt::LeftButton, {}, {7, 150});
  EXPECT_EQ(bar.Position(), 0);
  EXPECT_EQ(bar.ThumbTop(), top);
  EXPECT_TRUE(Reports().empty());
}

// Clicks and scroll positions are sent: the parent has them when the input
// handler returns. The seek messages are posted: they arrive only from the
// parent's queue.
TEST_F(ScrollBarTest, SentNotificationsArriveAtOncePostedOnesThroughTheQueue) {
  uitest::FakeClock clock;
  CZovButton button;
  ASSERT_TRUE(button.CreateEx(&parent_, {0, 0, 30, 30}, "", 7));
  CZovPlayerView pane;
  ASSERT_TRUE(pane.CreateEx(&parent_, {40, 0, 160, 90}, "", 694391));
  pane.show();
  CZovVProcess list;
  MakeBar(list, 1000, 100);
  CZovProcess seek;
  MakeSeekBar(seek);
  auto button1 = [](QWidget* w, QEvent::Type type, const QPoint& pt) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent e(type, QPointF(pt), QPointF(w->mapToGlobal(pt)), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  struct Case {
    const char* what;
    UINT message;
    WPARAM id;
    bool sent;
    std::function<void()> input;
  };
  const Case cases[] = {
      {"button click", ZOVWM_CLICK, 7, true,
       [&] {
         button1(&button, QEvent::MouseButtonPress, {5, 5});
         button1(&button, QEvent::MouseButtonRelease, {5, 5});
       }},
      {"pane click", ZOVWM_CLICK, 694391, true,
       [&] {
         button1(&pane, QEvent::MouseButtonPress, {5, 5});
         button1(&pane, QEvent::MouseButtonRelease, {5, 5});
       }},
      {"wheel", ZOVWM_VSCROLLPOS, kListBarId, true, [&] { Wheel(&list, -120); }},
      {"seek drag", ZOVWM_SEEKDRAG, kSeekId, false,
       [&] {
         button1(&seek, QEvent::MouseButtonPress, {300, 10});
         uitest::Move(&seek, {320, 10}, Qt::LeftButton);
       }},
      {"seek drop", ZOVWM_SEEKDROP, kSeekId, false, [&] { button1(&seek, QEvent::MouseButtonRelease, {320, 10}); }},
  };
  for (const Case& c : cases) {
    QCoreApplication::processEvents();
    parent_.messages.clear();
    c.input();
    EXPECT_EQ(parent_.Of(c.message).size(), c.sent ? 1u : 0u) << c.what;
    QCoreApplication::processEvents();
    const auto got = parent_.Of(c.message);
    ASSERT_EQ(got.size(), 1u) << c.what;
    EXPECT_EQ(got[0].wParam, c.id) << c.what;
  }
}

}  // namespace
