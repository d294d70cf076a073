// Screenshot view and busy notice: the bitmap reader on good and hostile
// files, the window sizes on the work area, the picture's pixels, the
// spinner's frames.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>

#include <cstring>
#include <string>
#include <thread>

#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tests/ui/ui_test_support.h"
#include "ui/zov_screenshot_view.h"
#include "ui/zov_warning.h"

namespace {

struct BmpFields {
  int32_t width = 0, height = 0;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t infoSize = 40;
  uint32_t pixelOffset = 54;
  int64_t cut = 0;  // bytes removed from the end
};

void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}

// A file as the play window writes it; pixel (x, y) of the top-down picture
// has the colour `colour(x, y)` (0xRRGGBB).
template <class Colour>
std::string MakeBmp(const BmpFields& f, Colour colour) {
  const int h = f.height < 0 ? -f.height : f.height;
  const size_t stride = (size_t(f.width) * 3 + 3) & ~size_t(3);
  std::string s(f.pixelOffset + stride * h, '\0');
  s[0] = 'B';
  s[1] = 'M';
  Put32(s, 2, uint32_t(s.size()));
  Put32(s, 10, f.pixelOffset);
  Put32(s, 14, f.infoSize);
  Put32(s, 18, uint32_t(f.width));
  Put32(s, 22, uint32_t(f.height));
  s[26] = 1;
  s[28] = char(f.bits);
  Put32(s, 30, f.compression);
  for (int row = 0; row < h; ++row) {
    const int y = f.height > 0 ? h - 1 - row : row;  // bottom row first
    for (int x = 0; x < f.width; ++x) {
      const uint32_t c = colour(x, y);
      char* p = &s[f.pixelOffset + row * stride + x * 3];
      p[0] = char(c & 0xFF);
      p[1] = char((c >> 8) & 0xFF);
      p[2] = char((c >> 16) & 0xFF);
    }
  }
  s.resize(s.size() - size_t(f.cut));
  return s;
}

// Four quadrants of different colours.
uint32_t Quadrants(int x, int y, int w, int h) {
  static const uint32_t colours[4] = {0xE02020, 0x20E020, 0x2020E0, 0xE0E020};
  return colours[(x >= w / 2 ? 1 : 0) + (y >= h / 2 ? 2 : 0)];
}

TEST(BmpReaderTest, OddWidthsReadWithTheRealStride) {
  for (int width : {1366, 1367, 1, 5}) {
    SCOPED_TRACE(width);
    const int height = 7;
    const std::string file = MakeBmp(BmpFields{width, height}, [&](int x, int y) { return uint32_t(x * 7 + y * 1000); });
    ZovBmpPicture picture;
    ASSERT_TRUE(ZovReadBmp24(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &picture));
    EXPECT_EQ(picture.stride, (width * 3 + 3) & ~3);
    const QImage image = picture.ToImage();
    ASSERT_EQ(image.size(), QSize(width, height));
    for (int y = 0; y < height; ++y)
      for (int x : {0, width / 2, width - 1}) EXPECT_EQ(image.pixel(x, y) & 0xFFFFFF, uint32_t(x * 7 + y * 1000) & 0xFFFFFF);
  }
  // Top row first (negative height) reads the same picture.
  const std::string topDown = MakeBmp(BmpFields{3, -2}, [](int x, int y) { return uint32_t(0x10 * x + 0x1000 * y); });
  ZovBmpPicture picture;
  ASSERT_TRUE(ZovReadBmp24(reinterpret_cast<const uint8_t*>(topDown.data()), topDown.size(), &picture));
  EXPECT_EQ(picture.ToImage().pixel(2, 1) & 0xFFFFFF, 0x1020u);
}

TEST(BmpReaderTest, RefusesWhatIsNotA24BitFileOfItsOwnSize) {
  auto any = [](int, int) { return 0x123456u; };
  struct Case {
    const char* what;
    BmpFields fields;
  };
  const Case cases[] = {
      {"one byte short", {1366, 768, 24, 0, 40, 54, 1}},
      {"32 bits", {16, 16, 32, 0, 40, 54, 0}},
      {"8 bits", {16, 16, 8, 0, 40, 54, 0}},
      {"compressed", {16, 16, 24, 1, 40, 54, 0}},
      {"zero width", {0, 16, 24, 0, 40, 54, 0}},
      {"zero height", {16, 0, 24, 0, 40, 54, 0}},
      {"huge width", {1 << 30, 1, 24, 0, 40, 54, 0}},
      {"short info header", {16, 16, 24, 0, 12, 54, 0}},
      {"pixels inside the header", {16, 16, 24, 0, 40, 20, 0}},
      {"info header past the pixels", {16, 16, 24, 0, 400, 54, 0}},
  };
  for (const Case& c : cases) {
    BmpFields f = c.fields;
    // Build what can be built, then set the lying fields.
    BmpFields body = f;
    body.width = f.width > 0 && f.width < 4096 ? f.width : 1;
    body.height = f.height != 0 ? f.height : 1;
    body.pixelOffset = 54;
    std::string file = MakeBmp(body, any);
    Put32(file, 10, f.pixelOffset);
    Put32(file, 18, uint32_t(f.width));
    Put32(file, 22, uint32_t(f.height));
    ZovBmpPicture picture;
    EXPECT_FALSE(ZovReadBmp24(reinterpret_cast<const uint8_t*>(file.data()), file.size(), &picture)) << c.what;
    EXPECT_TRUE(picture.pixels.empty()) << c.what;
  }
  const std::string tiny = "BM";
  ZovBmpPicture picture;
  EXPECT_FALSE(ZovReadBmp24(reinterpret_cast<const uint8_t*>(tiny.data()), tiny.size(), &picture));
}

class PopupTest : public ::testing::Test, private uitest::WithApp {
 protected:
  QRect WorkArea() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
  std::string WriteShot(int w, int h) {
    const std::string path = zovtest::TempDir() + "/shot_" + std::to_string(w) + ".bmp";
    zovtest::Spit(path, MakeBmp(BmpFields{w, h}, [&](int x, int y) { return Quadrants(x, y, w, h); }));
    return path;
  }
};

TEST_F(PopupTest, ScreenshotOpensAtHalfSizeAndTogglesFullSizeOnTheCaption) {
  CZovScreenShotView view;
  const std::string path = WriteShot(1920, 1080);
  ASSERT_TRUE(view.LoadPicture(path));
  view.show();
  const QRect area = WorkArea();
  const QRect half(area.left() + (area.width() - 960) / 2, area.top() + (area.height() - 540) / 2, 960, 540);
  EXPECT_EQ(view.geometry(), half);
  EXPECT_EQ(view.windowTitle().toStdString(), path);
  QTest::mouseDClick(&view, Qt::LeftButton, {}, {300, 5});
  EXPECT_TRUE(view.IsFullSize());
  EXPECT_EQ(view.geometry().size(), QSize(1920, 1080));
  EXPECT_EQ(view.geometry().center(), QRect(area.topLeft(), QSize(1920, 1080)).translated((area.width() - 1920) / 2, (area.height() - 1080) / 2).center());
  QTest::mouseDClick(&view, Qt::LeftButton, {}, {300, 200});  // on the picture: nothing
  EXPECT_TRUE(view.IsFullSize());
  QTest::mouseDClick(&view, Qt::LeftButton, {}, {300, 5});
  EXPECT_EQ(view.geometry(), half);
}

TEST_F(PopupTest, OddWidthScreenshotShowsItsPixelsAndEdges) {
  CZovScreenShotView view;
  ASSERT_TRUE(view.LoadPicture(WriteShot(1366, 768)));
  view.show();
  ASSERT_EQ(view.size(), QSize(683, 384));
  const QImage shot = uitest::Grab(&view);
  const QRect area = view.PictureArea();
  // Quadrant centres of the stretched picture.
  for (int qy = 0; qy < 2; ++qy) {
    for (int qx = 0; qx < 2; ++qx) {
      const int x = area.left() + area.width() * (1 + 2 * qx) / 4;
      const int y = area.top() + area.height() * (1 + 2 * qy) / 4;
      EXPECT_EQ(uitest::Rgb(shot, x, y), Quadrants(qx ? 1366 : 0, qy ? 768 : 0, 1366, 768)) << qx << "," << qy;
    }
  }
  const int r = shot.width() - 1, b = shot.height() - 1;
  EXPECT_EQ(uitest::Rgb(shot, 0, b / 2), 0xFAFAFAu);
  EXPECT_EQ(uitest::Rgb(shot, r, b / 2), 0xFAFAFAu);
  EXPECT_EQ(uitest::Rgb(shot, r / 2, b), 0xFAFAFAu);
  EXPECT_NE(uitest::Rgb(shot, r / 2, CZovScreenShotView::kCaptionHeight), 0xFAFAFAu);  // no top line
}

TEST_F(PopupTest, UnreadableScreenshotOpensWithoutAPicture) {
  CZovScreenShotView view;
  EXPECT_FALSE(view.LoadPicture(zovtest::TempDir() + "/missing.bmp"));
  const std::string bad = zovtest::TempDir() + "/bad.bmp";
  zovtest::Spit(bad, MakeBmp(BmpFields{1366, 768, 24, 0, 40, 54, 3000}, [](int, int) { return 0u; }));
  EXPECT_FALSE(view.LoadPicture(bad));
  view.show();
  EXPECT_FALSE(view.HasPicture());
  view.ToggleFullSize();
  EXPECT_FALSE(view.IsFullSize());
}

TEST_F(PopupTest, SpinnerCyclesItsEightFrames) {
  CZovWarning notice;
  // Eight solid frames of distinct colours.
  QImage strip(8 * 6, 6, QImage::Format_RGB32);
  for (int k = 0; k < 8; ++k)
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) strip.setPixel(k * 6 + x, y, qRgb(30 * k, 255 - 30 * k, 100));
  notice.spinner = strip;
  notice.imageRect = {10, 10, 16, 16};
  notice.ShowBusy("getgpsinfo");
  EXPECT_TRUE(notice.isVisible());
  EXPECT_EQ(notice.size(), QSize(300, 124));  // layout 1802
  for (int step = 0; step <= 8; ++step) {
    EXPECT_EQ(notice.FrameIndex(), step % 8);
    const QImage shot = uitest::Grab(&notice);
    EXPECT_EQ(uitest::Rgb(shot, 12, 12), qRgb(30 * (step % 8), 255 - 30 * (step % 8), 100) & 0xFFFFFF) << step;
    notice.SendMessage(WM_TIMER, CZovWarning::kSpinTimer);
  }
  // The real timer runs too.
  const int before = notice.FrameIndex();
  EXPECT_TRUE(zovtest::WaitUntil([&] { return notice.FrameIndex() != before; }, 2000));
  // Hidden from a worker thread.
  std::thread worker([&] { notice.HideNotice(); });
  worker.join();
  EXPECT_TRUE(zovtest::WaitUntil([&] { return !notice.isVisible(); }, 2000));
  EXPECT_TRUE(notice.Text().isEmpty());
  EXPECT_FALSE(notice.KillTimer(CZovWarning::kSpinTimer));
}

TEST_F(PopupTest, NoticeLargerThanTheWorkAreaCoversIt) {
  EXPECT_EQ(ZovNoticeRect(QSize(300, 124), QRect(0, 0, 1000, 800)), QRect(350, 338, 300, 124));
  EXPECT_EQ(ZovNoticeRect(QSize(1200, 124), QRect(0, 20, 1000, 800)), QRect(0, 20, 1000, 800));
  CZovWarning notice;
  notice.windowRect = {0, 0, 5000, 3000};
  notice.Centre();
  EXPECT_EQ(notice.geometry(), WorkArea());
}

// Without a window manager to move them (the virtual X server of the tests
// has none), the popups follow the pointer themselves: the notice from any
// point, the screenshot view from its caption strip only.
TEST_F(PopupTest, APressMovesThePopupWithThePointer) {
  CZovWarning notice;
  notice.ShowBusy("getgpsinfo");
  CZovScreenShotView view;
  ASSERT_TRUE(view.LoadPicture(WriteShot(320, 180)));
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  auto send = [](QWidget* w, QEvent::Type type, const QPoint& local, const QPoint& global, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(local), QPointF(global), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  struct Case {
    QWidget* window;
    QPoint press;
    bool moves;
  };
  const Case cases[] = {{&notice, {150, 100}, true}, {&view, {40, 5}, true}, {&view, {40, 60}, false}};
  for (const Case& c : cases) {
    const QPoint before = c.window->pos();
    const QPoint global = c.window->mapToGlobal(c.press);
    send(c.window, QEvent::MouseButtonPress, c.press, global, Qt::LeftButton);
    send(c.window, QEvent::MouseMove, c.press + QPoint(37, 21), global + QPoint(37, 21), Qt::LeftButton);
    send(c.window, QEvent::MouseButtonRelease, c.press + QPoint(37, 21), global + QPoint(37, 21), Qt::NoButton);
    send(c.window, QEvent::MouseMove, c.press + QPoint(90, 90), global + QPoint(90, 90), Qt::NoButton);
    EXPECT_EQ(c.window->pos(), before + (c.moves ? QPoint(37, 21) : QPoint())) << c.press.x() << "," << c.press.y();
  }
}

}  // namespace
