// The owner-drawn controls driven with QTest input on a real X server:
// clicks and their filter, frames and colours read back from grabbed pixels,
// the Space rule, creation failures, the off-screen surface, Enter in the
// combo box.
#include <gtest/gtest.h>

#include <functional>

#include <QDialog>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "tests/ui/ui_test_support.h"
#include "ui/zov_button.h"
#include "ui/zov_combo_box.h"
#include "ui/zov_mem_dc.h"
#include "ui/zov_mfc_button.h"
#include "ui/zov_player_view.h"
#include "ui/zov_process.h"
#include "ui/zov_vprocess.h"
#include "ui/zov_text.h"

namespace {

using uitest::Recorder;

class ControlsTest : public ::testing::Test, private uitest::WithApp {
 protected:
  void SetUp() override { parent_.show(); }
  Recorder parent_;
};

// A strip of `frames` solid frames 10 pixels wide, frame k in colours[k].
QImage SolidStrip(const std::vector<QRgb>& colours) {
  QImage strip(int(colours.size()) * 10, 10, QImage::Format_ARGB32);
  QPainter p(&strip);
  for (size_t k = 0; k < colours.size(); ++k) p.fillRect(int(k) * 10, 0, 10, 10, QColor(colours[k]));
  return strip;
}

const std::vector<QRgb> kFrameColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00};

TEST_F(ControlsTest, PressesCloserThanHalfASecondMakeOneClick) {
  struct Case {
    uint64_t gapMs;
    int clicks;
  };
  for (const Case c : {Case{300, 1}, Case{500, 1}, Case{501, 2}, Case{600, 2}}) {
    SCOPED_TRACE(c.gapMs);
    uitest::FakeClock clock;
    parent_.messages.clear();
    CZovButton button;
    ASSERT_TRUE(button.CreateEx(&parent_, {10, 10, 50, 50}, "", 77));
    QTest::mouseClick(&button, Qt::LeftButton);
    clock.Advance(c.gapMs);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(button.ClickCount(), c.clicks);
    const auto clicks = parent_.Of(ZOVWM_CLICK);
    ASSERT_EQ(int(clicks.size()), c.clicks);
    EXPECT_EQ(clicks[0].wParam, 77u);
    EXPECT_EQ(clicks[0].lParam, 0);
  }
}

TEST_F(ControlsTest, LeavingAPressedButtonCancelsTheClick) {
  uitest::FakeClock clock;
  CZovButton button;
  ASSERT_TRUE(button.CreateEx(&parent_, {10, 10, 50, 50}, "", 5));
  // Leave reported by the window system.
  uitest::Move(&button, {20, 20});
  QTest::mousePress(&button, Qt::LeftButton, {}, {20, 20});
  uitest::Move(&button, {21, 20}, Qt::LeftButton);  // asks again for the leave notice
  uitest::Leave(&button);
  QTest::mouseRelease(&button, Qt::LeftButton, {}, {20, 20});
  // Pointer dragged off the button while pressed, released outside.
  clock.Advance(1000);
  QTest::mousePress(&button, Qt::LeftButton, {}, {20, 20});
  uitest::Move(&button, {22, 22}, Qt::LeftButton);
  uitest::Move(&button, {80, 20}, Qt::LeftButton);
  EXPECT_FALSE(button.IsPressed());
  QTest::mouseRelease(&button, Qt::LeftButton, {}, {80, 20});
  EXPECT_EQ(button.ClickCount(), 0);
  EXPECT_TRUE(parent_.Of(ZOVWM_CLICK).empty());
}

TEST_F(ControlsTest, FrameAndTextColourFollowStateAndPress) {
  struct Case {
    int states, stateIndex;
    bool pressFrame, pressed;
    int frame;          // frame shown
    bool normalColour;  // text in the normal colour
  };
  const Case cases[] = {
      {1, 0, true, false, 0, true},  {1, 0, true, true, 1, false},
      {1, 0, false, true, 0, true},  {2, 1, true, false, 2, false},
      {2, 1, true, true, 3, true},   {2, 0, true, true, 1, false},
  };
  uitest::FakeClock clock;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.states << "/" << c.stateIndex << "/" << c.pressFrame << "/" << c.pressed);
    CZovButton button;
    button.SetImage(SolidStrip(std::vector<QRgb>(kFrameColours.begin(), kFrameColours.begin() + 2 * c.states)));
    ASSERT_TRUE(button.CreateEx(&parent_, {0, 0, 40, 40}, "", 1, c.states));
    button.stateIndex = c.stateIndex;
    button.pressFrameEnabled = c.pressFrame;
    clock.Advance(1000);
    if (c.pressed) QTest::mousePress(&button, Qt::LeftButton);
    const QImage shot = uitest::Grab(&button);
    EXPECT_EQ(uitest::Rgb(shot, 20, 20), kFrameColours[c.frame] & 0xFFFFFF);
    const ZovColorRef normal = ZovRgb(1, 2, 3), alternate = ZovRgb(4, 5, 6);
    EXPECT_EQ(ZovButtonTextColor(button.SourceX(), button.Image().width(), normal, alternate),
              c.normalColour ? normal : alternate);
  }
}

TEST_F(ControlsTest, TextIsDrawnInTheColourOfTheFrame) {
  uitest::FakeClock clock;
  CZovButton button;
  button.SetImage(SolidStrip({0x000000, 0x000000, 0x000000, 0x000000}));
  ASSERT_TRUE(button.CreateEx(&parent_, {0, 0, 120, 40}, "", 1, 2));
  button.text = "WWWW";
  button.fontHeight = 30;
  button.textColor = ZovRgb(255, 0, 0);
  button.altTextColor = ZovRgb(0, 255, 0);
  button.stateIndex = 1;  // frame 2: the alternate colour
  const QImage idle = uitest::Grab(&button);
  EXPECT_GT(uitest::ShareOf(idle, idle.rect(), 0x00FF00, 40), 0.02);
  EXPECT_EQ(uitest::ShareOf(idle, idle.rect(), 0xFF0000, 40), 0.0);
  QTest::mousePress(&button, Qt::LeftButton);  // frame 3: the normal colour
  const QImage pressed = uitest::Grab(&button);
  EXPECT_GT(uitest::ShareOf(pressed, pressed.rect(), 0xFF0000, 40), 0.02);
}

TEST_F(ControlsTest, MissingImagePaintsTheBackgroundOnly) {
  CZovButton button;
  button.LoadImage(987654);
  ASSERT_TRUE(button.Image().isNull());
  ASSERT_TRUE(button.CreateEx(&parent_, {0, 0, 30, 20}, "", 1));
  button.backgroundColor = ZovRgb(10, 200, 30);
  const QImage shot = uitest::Grab(&button);
  EXPECT_EQ(uitest::ShareOf(shot, shot.rect(), 0x0AC81E, 0), 1.0);

  CZovText label;
  ASSERT_TRUE(label.CreateEx(&parent_, {0, 0, 30, 20}, "", 2));
  label.backgroundColor = ZovRgb(90, 10, 10);
  const QImage text = uitest::Grab(&label);
  EXPECT_EQ(uitest::ShareOf(text, text.rect(), 0x5A0A0A, 0), 1.0);
}

TEST_F(ControlsTest, LabelDrawsItsImageInItsOwnSizeThenTheText) {
  CZovText label;
  ASSERT_TRUE(label.CreateEx(&parent_, {0, 0, 100, 30}, "", 2));
  QImage background(40, 30, QImage::Format_RGB32);
  background.fill(QColor(0, 0, 255));
  label.backgroundImage = background;
  label.text = "II";
  label.font = CZovResourceLibrary::CreateFontOfHeight(28);
  label.textColor = ZovRgb(255, 255, 0);
  const QImage shot = uitest::Grab(&label);
  EXPECT_EQ(uitest::Rgb(shot, 39, 0), 0x0000FFu);
  // Left-aligned text in the label's left part.
  EXPECT_GT(uitest::ShareOf(shot, QRect(0, 0, 30, 30), 0xFFFF00, 60), 0.03);
  // Beyond the image: the background colour, never stale pixels.
  EXPECT_EQ(uitest::ShareOf(shot, QRect(50, 0, 50, 30), 0x323232, 0), 1.0);
}

TEST_F(ControlsTest, SpaceReleasedOnAControlReachesTheParentFirst) {
  CZovButton button;
  ASSERT_TRUE(button.CreateEx(&parent_, {0, 0, 30, 20}, "", 1));
  button.setFocus();
  QTest::keyRelease(&button, Qt::Key_Space);
  QTest::keyRelease(&button, Qt::Key_A);
  const auto keys = parent_.Of(WM_KEYUP);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].wParam, VK_SPACE);
}

TEST_F(ControlsTest, AControlWithoutAMessageParentSendsNothing) {
  uitest::FakeClock clock;
  QWidget plain;
  CZovButton orphan, underPlain;
  ASSERT_TRUE(orphan.CreateEx(nullptr, {0, 0, 30, 20}, "", 1, 1, 0));
  ASSERT_TRUE(underPlain.CreateEx(&plain, {0, 0, 30, 20}, "", 2));
  QTest::mouseClick(&orphan, Qt::LeftButton);
  QTest::keyRelease(&orphan, Qt::Key_Space);
  QTest::mouseClick(&underPlain, Qt::LeftButton);
  EXPECT_EQ(orphan.ClickCount(), 1);
  EXPECT_EQ(underPlain.ClickCount(), 1);
  EXPECT_TRUE(parent_.messages.empty());
}

TEST_F(ControlsTest, SecondCreationShowsTheControlsFailureBox) {
  std::vector<QString> boxes;
  CZovUiEnv::Get().messageBoxHook = [&](const QString& text) { boxes.push_back(text); };
  CZovButton button;
  CZovText label;
  EXPECT_TRUE(button.CreateEx(&parent_, {0, 0, 10, 10}, "", 1));
  EXPECT_FALSE(button.CreateEx(&parent_, {0, 0, 10, 10}, "", 1));
  EXPECT_TRUE(label.CreateEx(&parent_, {0, 0, 10, 10}, "", 2));
  EXPECT_FALSE(label.CreateEx(&parent_, {0, 0, 10, 10}, "", 2));
  CZovUiEnv::Get().messageBoxHook = nullptr;
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "CZovButton::CreateEx fiele ............... \r\n");
  EXPECT_EQ(boxes[1], "CZovText::CreateEx fiele ............... \r\n");
}

TEST_F(ControlsTest, EachControlShowsItsOwnFailureText) {
  CZovProcess slider;
  CZovVProcess scrollBar;
  CZovPlayerView pane;
  CZovPlayerListView panes;
  const ZovRect r{0, 0, 10, 10};
  struct Case {
    std::function<bool()> create;
    const char* text;
  };
  // The video panes show the button's text.
  const Case cases[] = {
      {[&] { return slider.CreateEx(&parent_, r, "", 3); }, "CZovProcess::CreateEx fiele ............... \r\n"},
      {[&] { return scrollBar.CreateEx(&parent_, r, "", 3); }, "CZovVProcess::CreateEx fiele ............... \r\n"},
      {[&] { return pane.CreateEx(&parent_, r, "", 694391); }, "CZovButton::CreateEx fiele ............... \r\n"},
      {[&] { return panes.CreateEx(&parent_, r, "", 694390); }, "CZovButton::CreateEx fiele ............... \r\n"},
  };
  for (const Case& c : cases) {
    std::vector<QString> boxes;
    CZovUiEnv::Get().messageBoxHook = [&](const QString& text) { boxes.push_back(text); };
    EXPECT_TRUE(c.create());
    EXPECT_FALSE(c.create());
    CZovUiEnv::Get().messageBoxHook = nullptr;
    EXPECT_EQ(boxes, std::vector<QString>{QString::fromLatin1(c.text)}) << c.text;
  }
}

TEST(MemDCTest, ZeroRectangleCoversTheClipBoxAndCopiesBack) {
  QImage target(40, 40, QImage::Format_ARGB32_Premultiplied);
  target.fill(Qt::white);
  {
    QPainter painter(&target);
    painter.setClipRect(10, 5, 20, 15);
    CZovMemDC mem(&painter, QRect(), true);
    EXPECT_EQ(mem.Rect(), QRect(10, 5, 20, 15));
    // The background was copied: a half-transparent fill mixes with white.
    mem->fillRect(QRect(0, 0, 40, 40), QColor(255, 0, 0, 128));
    // Nothing reaches the target before the end.
    EXPECT_EQ(target.pixel(15, 10) & 0xFFFFFF, 0xFFFFFFu);
  }
  EXPECT_EQ(target.pixel(10, 5) & 0xFFFFFF, target.pixel(29, 19) & 0xFFFFFF);
  const QColor mixed(target.pixel(15, 10));
  EXPECT_EQ(mixed.red(), 255);
  EXPECT_NEAR(mixed.green(), 127, 2);
  EXPECT_EQ(target.pixel(9, 10) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(target.pixel(15, 20) & 0xFFFFFF, 0xFFFFFFu);
}

TEST(LightenTest, ChannelsMoveTogetherWithinTheirLimits) {
  struct Case {
    ZovColorRef colour;
    int step;
    ZovColorRef expected;
  };
  const Case cases[] = {
      {ZovRgb(216, 233, 216), 30, ZovRgb(238, 255, 238)},
      {ZovRgb(10, 20, 30), 40, ZovRgb(50, 60, 70)},
      {ZovRgb(10, 20, 30), -15, ZovRgb(0, 10, 20)},
      {ZovRgb(250, 0, 0), -10, ZovRgb(250, 0, 0)},
      {ZovRgb(0, 0, 0), 300, ZovRgb(255, 255, 255)},
  };
  for (const Case& c : cases) EXPECT_EQ(ZovLightenColor(c.colour, c.step), c.expected) << c.step;
}

TEST_F(ControlsTest, MfcButtonLightensWhilePressedAndOpensOnlyAGivenLink) {
  std::vector<QUrl> opened;
  CZovUiEnv::Get().openHook = [&](const QUrl& url) { opened.push_back(url); };
  CZovMfcButton button(&parent_);
  button.setGeometry(0, 0, 80, 30);
  button.show();
  const QImage idle = uitest::Grab(&button);
  EXPECT_EQ(uitest::Rgb(idle, 40, 20), 0xD8E9D8u);  // 216,233,216
  QTest::mousePress(&button, Qt::LeftButton);
  EXPECT_TRUE(opened.empty());
  const QImage pressed = uitest::Grab(&button);
  EXPECT_EQ(uitest::Rgb(pressed, 40, 20), 0xEEFFEEu);  // 238,255,238
  QTest::mouseRelease(&button, Qt::LeftButton);
  button.link = "https://example.org/help";
  QTest::mouseClick(&button, Qt::LeftButton);
  CZovUiEnv::Get().openHook = nullptr;
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].toString(), "https://example.org/help");
}

TEST_F(ControlsTest, MfcBitmapIsAndedOverTheFaceAndCopiedWhilePressed) {
  CZovMfcButton button(&parent_);
  button.setGeometry(0, 0, 40, 20);
  button.show();
  QImage bitmap(4, 2, QImage::Format_ARGB32);
  bitmap.fill(Qt::transparent);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) bitmap.setPixel(x, y, qRgb(255, 0, 0));  // left half red, right half clear
  button.SetBitmap(bitmap);
  const QImage idle = uitest::Grab(&button);
  EXPECT_EQ(uitest::Rgb(idle, 5, 10), 0xDC0000u);   // 220,220,220 AND red
  EXPECT_EQ(uitest::Rgb(idle, 35, 10), 0xDCDCDCu);  // clear: the face
  QTest::mousePress(&button, Qt::LeftButton, {}, {5, 5});
  const QImage pressed = uitest::Grab(&button);
  EXPECT_EQ(uitest::Rgb(pressed, 5, 10), 0xFF0000u);
  EXPECT_EQ(uitest::Rgb(pressed, 35, 10), 0xFFFFFFu);
}

TEST_F(ControlsTest, EnterInTheComboBoxNeitherClosesTheDialogNorChangesTheSelection) {
  auto run = [](QComboBox* combo) {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    combo->setParent(&dialog);
    combo->addItems({"one", "two", "three"});
    combo->setCurrentIndex(1);
    layout->addWidget(combo);
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(ok);
    dialog.show();
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Return);
    QTest::keyClick(combo, Qt::Key_Enter);
    return std::make_pair(dialog.result(), combo->currentIndex());
  };
  const auto [plainResult, plainIndex] = run(new QComboBox);
  EXPECT_EQ(plainResult, QDialog::Accepted);  // what the swallowing prevents
  const auto [result, index] = run(new CZovComboBox);
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(index, 1);
}

}  // namespace
