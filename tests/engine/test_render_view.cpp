// The OpenGL channel views drawn under a virtual X server with Mesa's software
// renderer: known frames in every input format are drawn and read back.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_dxva_render_view.h"
#include "tests/common/test_wait.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
}

#include "tests/common/test_wait.h"

namespace {

struct Rgb {
  int r, g, b;
};

// Reference conversion, written from the coefficient tables.
Rgb Convert(int y, int u, int v, bool secondSet) {
  const double Y = y / 255.0 - 0.0627451017;
  const double U = u / 255.0 - 0.501960814;
  const double V = v / 255.0 - 0.501960814;
  double r, g, b;
  if (!secondSet) {
    r = 1.1644 * Y + 1.5960 * V;
    g = 1.1644 * Y - 0.3918 * U - 0.8130 * V;
    b = 1.1644 * Y + 2.0172 * U;
  } else {
    r = 1.1644 * Y + 1.7927 * V;
    g = 1.1644 * Y - 0.2132 * U - 0.5329 * V;
    b = 1.1644 * Y + 2.1124 * U;
  }
  auto to8 = [](double c) { return int(std::lround(std::clamp(c, 0.0, 1.0) * 255.0)); };
  return {to8(r), to8(g), to8(b)};
}

::testing::AssertionResult Near(QRgb pixel, Rgb want, int tolerance = 3) {
  const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
  if (std::abs(r - want.r) <= tolerance && std::abs(g - want.g) <= tolerance &&
      std::abs(b - want.b) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "got (" << r << "," << g << "," << b << ") want ("
                                       << want.r << "," << want.g << "," << want.b << ")";
}

using FramePtr = std::unique_ptr<AVFrame, void (*)(AVFrame*)>;
FramePtr MakeFrame(int format, int w, int h) {
  AVFrame* f = av_frame_alloc();
  f->format = format;
  f->width = w;
  f->height = h;
  EXPECT_EQ(av_frame_get_buffer(f, 0), 0);
  return FramePtr(f, [](AVFrame* p) { av_frame_free(&p); });
}

// Planar YUV where each pixel's (Y, U, V) is given by fn(x, y) at luma
// resolution; chroma samples take the value at their top-left luma pixel.
template <typename Fn>
FramePtr PlanarFrame(int format, int w, int h, Fn fn) {
  FramePtr f = MakeFrame(format, w, h);
  const bool full = format == AV_PIX_FMT_YUV444P;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f->data[0][y * f->linesize[0] + x] = uint8_t(fn(x, y)[0]);
  const int cw = full ? w : (w + 1) / 2, ch = full ? h : (h + 1) / 2;
  for (int y = 0; y < ch; ++y)
    for (int x = 0; x < cw; ++x) {
      auto yuv = full ? fn(x, y) : fn(std::min(2 * x, w - 1), std::min(2 * y, h - 1));
      f->data[1][y * f->linesize[1] + x] = uint8_t(yuv[1]);
      f->data[2][y * f->linesize[2] + x] = uint8_t(yuv[2]);
    }
  return f;
}

template <typename Fn>
FramePtr Nv12Frame(int w, int h, Fn fn) {
  FramePtr f = MakeFrame(AV_PIX_FMT_NV12, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) f->data[0][y * f->linesize[0] + x] = uint8_t(fn(x, y)[0]);
  for (int y = 0; y < (h + 1) / 2; ++y)
    for (int x = 0; x < (w + 1) / 2; ++x) {
      auto yuv = fn(std::min(2 * x, w - 1), std::min(2 * y, h - 1));
      f->data[1][y * f->linesize[1] + 2 * x] = uint8_t(yuv[1]);
      f->data[1][y * f->linesize[1] + 2 * x + 1] = uint8_t(yuv[2]);
    }
  return f;
}

using Yuv = std::array<int, 3>;

// Eight vertical colour bars (studio-range YUV).
const Yuv kBars[8] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                      {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};

class RenderViewTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "test_render_view";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) app = new QGuiApplication(argc, argv);
  }

  void SetUp() override {
    window = std::make_unique<QWindow>();
    window->setSurfaceType(QSurface::OpenGLSurface);
    window->resize(320, 240);
    window->show();
    QElapsedTimer timer;
    timer.start();
    while (!window->isExposed() && timer.elapsed() < 5000) QGuiApplication::processEvents();
    ASSERT_TRUE(window->isExposed());
    view = std::make_unique<CZovD3D11RenderView>();
    ASSERT_TRUE(view->Attach(window.get()));
  }

  void TearDown() override {
    view.reset();
    window.reset();
  }

  // Draws the frame, returning the presented window picture.
  QImage Draw(AVFrame* frame) {
    view->CaptureNextFrame();
    EXPECT_GE(view->RenderFrame(frame), 0);
    return view->CapturedImage();
  }

  static QGuiApplication* app;
  std::unique_ptr<QWindow> window;
  std::unique_ptr<CZovD3D11RenderView> view;
};
QGuiApplication* RenderViewTest::app = nullptr;

TEST_F(RenderViewTest, BackBufferIsAtLeast1280AndWindowGetsItsOwnSize) {
  EXPECT_EQ(view->BackBufferWidth(), 1280);
  EXPECT_EQ(view->BackBufferHeight(), 1280);
  EXPECT_GE(view->featureLevel, 33);
  FramePtr f = PlanarFrame(AV_PIX_FMT_YUV420P, 64, 48, [](int, int) { return Yuv{81, 90, 240}; });
  QImage shown = Draw(f.get());
  ASSERT_FALSE(shown.isNull());
  EXPECT_EQ(shown.width(), int(window->width() * window->devicePixelRatio()));
  EXPECT_EQ(shown.height(), int(window->height() * window->devicePixelRatio()));
}

TEST_F(RenderViewTest, PlanarYuvUsesFirstSetForSolidColoursAndBars) {
  for (int format : {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV444P}) {
    SCOPED_TRACE(format);
    // Solid colour at an odd size.
    for (const Yuv& c : {kBars[1], kBars[5], kBars[6]}) {
      FramePtr f = PlanarFrame(format, 641, 361, [&](int, int) { return c; });
      QImage shown = Draw(f.get());
      ASSERT_FALSE(shown.isNull());
      EXPECT_TRUE(Near(shown.pixel(shown.width() / 2, shown.height() / 2),
                       Convert(c[0], c[1], c[2], false)));
      QImage back = view->BackBufferImage();
      EXPECT_TRUE(Near(back.pixel(640, 640), Convert(c[0], c[1], c[2], false)));
    }
    // Bars: sample the centre of each bar in the back buffer (the picture
    // fills all of it).
    FramePtr bars = PlanarFrame(format, 640, 360, [](int x, int) { return kBars[x / 80]; });
    Draw(bars.get());
    QImage back = view->BackBufferImage();
    for (int i = 0; i < 8; ++i) {
      const Yuv& c = kBars[i];
      EXPECT_TRUE(Near(back.pixel(i * 160 + 80, 640), Convert(c[0], c[1], c[2], false)))
          << "bar " << i;
    }
  }
}

TEST_F(RenderViewTest, Nv12UsesSecondSet) {
  // A colour whose two conversions are far apart, so the set is recognisable.
  const Yuv c{128, 128, 200};
  const Rgb first = Convert(c[0], c[1], c[2], false), second = Convert(c[0], c[1], c[2], true);
  ASSERT_GT(std::abs(first.r - second.r) + std::abs(first.g - second.g) + std::abs(first.b - second.b), 20);
  FramePtr f = Nv12Frame(641, 361, [&](int, int) { return c; });
  QImage shown = Draw(f.get());
  EXPECT_TRUE(Near(shown.pixel(shown.width() / 2, shown.height() / 2), second));
  EXPECT_FALSE(Near(shown.pixel(shown.width() / 2, shown.height() / 2), first));
  FramePtr bars = Nv12Frame(640, 360, [](int x, int) { return kBars[x / 80]; });
  Draw(bars.get());
  QImage back = view->BackBufferImage();
  for (int i = 0; i < 8; ++i) {
    const Yuv& b = kBars[i];
    EXPECT_TRUE(Near(back.pixel(i * 160 + 80, 640), Convert(b[0], b[1], b[2], true))) << i;
  }
  EXPECT_EQ(view->currentFormat, AV_PIX_FMT_NV12);
}

TEST_F(RenderViewTest, ArgbShowsItsColours) {
  FramePtr f = MakeFrame(AV_PIX_FMT_ARGB, 99, 77);
  for (int y = 0; y < 77; ++y)
    for (int x = 0; x < 99; ++x) {
      uint8_t* p = f->data[0] + y * f->linesize[0] + 4 * x;
      p[0] = 255;                 // A
      p[1] = x < 50 ? 200 : 10;   // R
      p[2] = 100;                 // G
      p[3] = x < 50 ? 30 : 220;   // B
    }
  Draw(f.get());
  QImage back = view->BackBufferImage();
  EXPECT_TRUE(Near(back.pixel(100, 640), {200, 100, 30}, 2));
  EXPECT_TRUE(Near(back.pixel(1180, 640), {10, 100, 220}, 2));
}

TEST_F(RenderViewTest, UnsupportedFormatShowsBlack) {
  FramePtr colour = PlanarFrame(AV_PIX_FMT_YUV420P, 64, 64, [](int, int) { return kBars[0]; });
  QImage white = Draw(colour.get());
  ASSERT_GT(qRed(white.pixel(160, 120)), 200);  // something visible before (a square picture: centre)
  FramePtr rgb = MakeFrame(AV_PIX_FMT_RGB24, 64, 64);
  memset(rgb->data[0], 0xff, rgb->linesize[0] * 64);
  QImage shown = Draw(rgb.get());
  for (QPoint p : {QPoint(5, 5), QPoint(160, 120), QPoint(300, 220)})
    EXPECT_TRUE(Near(shown.pixel(p), {0, 0, 0}, 0));
  EXPECT_EQ(view->currentFormat, AV_PIX_FMT_RGB24);
}

// Recordings decode to more YUV layouts than the passes read (4:2:2 from
// motion-JPEG cameras, 10-bit video): their pictures are drawn, not left black.
TEST_F(RenderViewTest, OtherYuvLayoutsAreConvertedAndDrawn) {
  const Yuv c = kBars[5];  // studio range
  // Full-range layouts hold the same colour at full-range values.
  auto fullRange = [](int v, bool luma) {
    const double full = luma ? (v - 16) * 255.0 / 219.0 : (v - 128) * 255.0 / 224.0 + 128;
    return int(std::lround(std::clamp(full, 0.0, 255.0)));
  };
  for (int format : {AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV422P10LE}) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
    SCOPED_TRACE(d->name);
    FramePtr f = MakeFrame(format, 641, 361);
    for (int plane = 0; plane < 3; ++plane) {
      const bool chroma = plane > 0;
      int value = format == AV_PIX_FMT_YUVJ422P ? fullRange(c[plane], !chroma) : c[plane];
      const bool wide = d->comp[plane].depth > 8;
      if (wide) value <<= d->comp[plane].depth - 8;
      const int pw = chroma ? AV_CEIL_RSHIFT(641, d->log2_chroma_w) : 641;
      const int ph = chroma ? AV_CEIL_RSHIFT(361, d->log2_chroma_h) : 361;
      for (int y = 0; y < ph; ++y) {
        uint8_t* row = f->data[plane] + y * f->linesize[plane];
        for (int x = 0; x < pw; ++x) {
          if (wide) {
            reinterpret_cast<uint16_t*>(row)[x] = uint16_t(value);
          } else {
            row[x] = uint8_t(value);
          }
        }
      }
    }
    QImage shown = Draw(f.get());
    ASSERT_FALSE(shown.isNull());
    EXPECT_TRUE(Near(shown.pixel(shown.width() / 2, shown.height() / 2), Convert(c[0], c[1], c[2], false), 4));
  }
}

TEST(PictureRectTest, DisplayAspectCentredWithBars) {
  struct Case {
    const char* what;
    int cw, ch, pw, ph, sarNum, sarDen;
    ZovPictureRect rect;
  } cases[] = {
      {"16:9 in 16:9 is unchanged", 1280, 720, 1920, 1080, 1, 1, {0, 0, 1280, 720}},
      {"4:3 in 16:9: bars left and right", 640, 360, 640, 480, 1, 1, {80, 0, 480, 360}},
      {"16:10 in 16:9", 1920, 1080, 1280, 800, 1, 1, {96, 0, 1728, 1080}},
      {"16:9 in 4:3: bars above and below", 320, 240, 640, 360, 1, 1, {0, 30, 320, 180}},
      {"anamorphic 720x480 at 32:27 is 16:9", 640, 360, 720, 480, 32, 27, {0, 0, 640, 360}},
      {"720x576 at 16:15 is 4:3", 640, 360, 720, 576, 16, 15, {80, 0, 480, 360}},
      {"unknown sample aspect counts as square", 640, 360, 640, 480, 0, 1, {80, 0, 480, 360}},
      {"no picture yet: the whole area", 640, 360, 0, 0, 1, 1, {0, 0, 640, 360}},
      {"less than a pixel off: the whole area", 1280, 720, 1366, 768, 1, 1, {0, 0, 1280, 720}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CZovD3D11RenderView::PictureRect(c.cw, c.ch, c.pw, c.ph, c.sarNum, c.sarDen), c.rect) << c.what;
  }
}

// A 4:3 picture in a 16:9 pane: black bars of 80 pixels each side, the picture
// between them; then a 16:9 anamorphic picture fills the same pane.
TEST_F(RenderViewTest, PictureKeepsItsShapeWithBlackBars) {
  // A pane of its own, 16:9 from the start.
  view.reset();
  window = std::make_unique<QWindow>();
  window->setSurfaceType(QSurface::OpenGLSurface);
  window->resize(640, 360);
  window->show();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return window->isExposed(); }, 5000));
  view = std::make_unique<CZovD3D11RenderView>();
  ASSERT_TRUE(view->Attach(window.get()));
  const qreal ratio = window->devicePixelRatio();
  FramePtr f = PlanarFrame(AV_PIX_FMT_YUV420P, 640, 480, [](int, int) { return kBars[0]; });
  QImage shown = Draw(f.get());
  ASSERT_EQ(shown.width(), int(640 * ratio));
  const Rgb black{0, 0, 0};
  const Rgb white = Convert(235, 128, 128, false);
  const int mid = shown.height() / 2;
  auto at = [&](int x) { return shown.pixel(int(x * ratio), mid); };
  EXPECT_TRUE(Near(at(2), black, 0));
  EXPECT_TRUE(Near(at(78), black, 0));
  EXPECT_TRUE(Near(at(82), white));
  EXPECT_TRUE(Near(at(320), white));
  EXPECT_TRUE(Near(at(558), white));
  EXPECT_TRUE(Near(at(562), black, 0));
  EXPECT_TRUE(Near(at(637), black, 0));
  FramePtr wide = PlanarFrame(AV_PIX_FMT_YUV420P, 720, 480, [](int, int) { return kBars[0]; });
  wide->sample_aspect_ratio = AVRational{32, 27};
  shown = Draw(wide.get());
  EXPECT_TRUE(Near(at(2), white));
  EXPECT_TRUE(Near(at(637), white));
}

// A playback view on the software renderer: the back buffer is the size the
// picture is shown at, not 1280 x 1280, the picture is drawn as before, and
// the back buffer follows the pane and the picture.
TEST_F(RenderViewTest, PlaybackViewOnSoftwareDrawsAtThePanesSize) {
  view = std::make_unique<CZovD3D11RenderView>();
  view->followClientOnSoftware = true;
  ASSERT_TRUE(view->Attach(window.get()));
  if (view->driverType != 4) GTEST_SKIP() << "not a software renderer";
  const qreal ratio = window->devicePixelRatio();
  EXPECT_EQ(view->BackBufferWidth(), int(320 * ratio));
  EXPECT_EQ(view->BackBufferHeight(), int(240 * ratio));
  FramePtr bars = PlanarFrame(AV_PIX_FMT_YUV420P, 640, 480, [](int x, int) { return kBars[x / 80]; });
  auto barsShown = [&](const QImage& shown) {
    for (int i = 0; i < 8; ++i) {
      const Yuv& c = kBars[i];
      EXPECT_TRUE(Near(shown.pixel(shown.width() * (2 * i + 1) / 16, shown.height() / 2),
                       Convert(c[0], c[1], c[2], false)))
          << "bar " << i << " in " << shown.width() << "x" << shown.height();
    }
  };
  barsShown(Draw(bars.get()));
  window->resize(480, 360);
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    QGuiApplication::processEvents();
    return window->isExposed() && view->ClientPixelSize() == window->size() * ratio;
  }));
  const QImage shown = Draw(bars.get());
  EXPECT_EQ(view->BackBufferWidth(), int(480 * ratio));
  EXPECT_EQ(view->BackBufferHeight(), int(360 * ratio));
  ASSERT_EQ(shown.size(), QSize(480, 360) * ratio);
  barsShown(shown);
  // A 16:9 picture in the 4:3 pane: the back buffer is its band.
  FramePtr wide = PlanarFrame(AV_PIX_FMT_YUV420P, 640, 360, [](int x, int) { return kBars[x / 80]; });
  const QImage band = Draw(wide.get());
  EXPECT_EQ(view->BackBufferWidth(), int(480 * ratio));
  EXPECT_EQ(view->BackBufferHeight(), int(270 * ratio));
  for (int i = 0; i < 8; ++i) {
    const Yuv& c = kBars[i];
    EXPECT_TRUE(Near(band.pixel(band.width() * (2 * i + 1) / 16, band.height() / 2), Convert(c[0], c[1], c[2], false)))
        << "bar " << i;
  }
  EXPECT_TRUE(Near(band.pixel(band.width() / 2, 5), Rgb{0, 0, 0}, 0)) << "black above the band";
  // Without the setting, the designed back buffer.
  view = std::make_unique<CZovD3D11RenderView>();
  ASSERT_TRUE(view->Attach(window.get()));
  EXPECT_EQ(view->BackBufferWidth(), CZovD3D11RenderView::kMinBackBufferSize);
}

TEST_F(RenderViewTest, PictureIsUpright) {
  FramePtr f = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240,
                           [](int, int y) { return y < 120 ? kBars[5] : kBars[6]; });
  QImage shown = Draw(f.get());
  EXPECT_TRUE(Near(shown.pixel(160, 10), Convert(81, 90, 240, false)));      // red on top
  EXPECT_TRUE(Near(shown.pixel(160, 230), Convert(41, 240, 110, false)));    // blue below
}

TEST_F(RenderViewTest, OddSizeChromaCoversTheLastColumnAndRow) {
  // The last luma column/row (640, 360) has its own chroma sample, only when
  // the chroma planes are ceil(w/2) x ceil(h/2).
  FramePtr f = PlanarFrame(AV_PIX_FMT_YUV420P, 641, 361, [](int x, int y) {
    return (x == 640 || y == 360) ? kBars[6] : kBars[0];
  });
  Draw(f.get());
  QImage back = view->BackBufferImage();
  EXPECT_TRUE(Near(back.pixel(1279, 400), Convert(41, 240, 110, false), 6));
  EXPECT_TRUE(Near(back.pixel(400, 1279), Convert(41, 240, 110, false), 6));
  EXPECT_TRUE(Near(back.pixel(400, 400), Convert(235, 128, 128, false)));
}

TEST_F(RenderViewTest, SizeOrFormatChangeRecreatesInputTextures) {
  FramePtr a = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240, [](int, int) { return kBars[1]; });
  FramePtr b = PlanarFrame(AV_PIX_FMT_YUV420P, 641, 361, [](int, int) { return kBars[5]; });
  FramePtr c = Nv12Frame(641, 361, [](int, int) { return kBars[5]; });
  Draw(a.get());
  const int first = view->InputTextureGeneration();
  Draw(a.get());
  EXPECT_EQ(view->InputTextureGeneration(), first);
  QImage shown = Draw(b.get());
  EXPECT_EQ(view->InputTextureGeneration(), first + 1);
  EXPECT_EQ(view->widthHint, 641);
  EXPECT_EQ(view->heightHint, 361);
  EXPECT_TRUE(Near(shown.pixel(160, 120), Convert(81, 90, 240, false)));
  Draw(c.get());
  EXPECT_EQ(view->InputTextureGeneration(), first + 2);
}

TEST_F(RenderViewTest, LostContextIsRebuiltAndTheNextFrameDraws) {
  FramePtr f = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240, [](int, int) { return kBars[5]; });
  Draw(f.get());
  const int inits = view->InitializeCount();
  view->SimulateContextLoss();
  view->RenderFrame(f.get());  // this frame is lost to the rebuild
  EXPECT_EQ(view->InitializeCount(), inits + 1);
  EXPECT_EQ(view->currentFormat, -1);
  QImage shown = Draw(f.get());
  ASSERT_FALSE(shown.isNull());
  EXPECT_TRUE(Near(shown.pixel(160, 120), Convert(81, 90, 240, false)));
}

TEST_F(RenderViewTest, DrawsFromAnotherThreadThenFromThisOne) {
  FramePtr red = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240, [](int, int) { return kBars[5]; });
  FramePtr blue = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240, [](int, int) { return kBars[6]; });
  QImage fromWorker;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) Draw(red.get());
    fromWorker = view->CapturedImage();
  });
  worker.join();
  ASSERT_FALSE(fromWorker.isNull());
  EXPECT_TRUE(Near(fromWorker.pixel(160, 120), Convert(81, 90, 240, false)));
  QImage here = Draw(blue.get());
  EXPECT_TRUE(Near(here.pixel(160, 120), Convert(41, 240, 110, false)));
}

// The scheduler thread presents while the interface thread resizes, hides,
// re-parents and destroys the window: the view takes the size the interface
// thread last saw, skips frames while the window has no surface and rebuilds
// on the new surface. Reading the window from the presenting thread crashed
// when the window had no screen for a moment.
TEST_F(RenderViewTest, PresentsAtTheSizeTheInterfaceThreadKeepsWhileTheWindowChanges) {
  FramePtr red = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240, [](int, int) { return kBars[5]; });
  std::atomic<bool> stop{false};
  std::atomic<int> frames{0};
  std::thread scheduler([&] {
    while (!stop) {
      view->RenderFrame(red.get());
      ++frames;
    }
  });
  auto settle = [&] {
    const int seen = frames;
    EXPECT_TRUE(zovtest::WaitUntil([&] {
      QGuiApplication::processEvents();
      return frames >= seen + 2;
    }));
  };
  QWindow parent;
  parent.resize(800, 600);
  parent.show();
  for (int round = 0; round < 3; ++round) {
    window->resize(400 + 40 * round, 300);
    settle();
    window->hide();
    settle();
    window->show();
    window->setParent(&parent);
    settle();
    window->setParent(nullptr);
    window->destroy();  // the surface goes while frames are being presented
    settle();
    EXPECT_EQ(view->RenderFrame(red.get()), 0);
    window->show();
    settle();
  }
  window->resize(360, 200);
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    QGuiApplication::processEvents();
    return window->isExposed() && view->ClientPixelSize() == window->size() * window->devicePixelRatio();
  }));
  stop = true;
  scheduler.join();

  QImage fromWorker;
  std::thread worker([&] {
    for (int i = 0; i < 2 && fromWorker.isNull(); ++i) fromWorker = Draw(red.get());  // the first may rebuild
  });
  worker.join();
  ASSERT_FALSE(fromWorker.isNull());
  EXPECT_EQ(fromWorker.size(), window->size() * window->devicePixelRatio());
  EXPECT_TRUE(Near(fromWorker.pixel(fromWorker.width() / 2, fromWorker.height() / 2), Convert(81, 90, 240, false)));
}

TEST_F(RenderViewTest, NothingToDrawReturnsZero) {
  EXPECT_EQ(view->RenderFrame(nullptr), 0);
  CZovD3D11RenderView unattached;
  FramePtr f = PlanarFrame(AV_PIX_FMT_YUV420P, 16, 16, [](int, int) { return kBars[0]; });
  EXPECT_EQ(unattached.RenderFrame(f.get()), 0);
  EXPECT_FALSE(unattached.Attach(nullptr));
}

TEST_F(RenderViewTest, DxvaViewShowsNv12SurfacesOnly) {
  view.reset();  // the window gets a new presenter
  CZovDxvaRenderView dxva;
  EXPECT_TRUE(dxva.Attach(window.get()));
  EXPECT_FALSE(dxva.Reinitialize());
  ASSERT_NE(dxva.Presenter(), nullptr);
  FramePtr nv12 = Nv12Frame(320, 240, [](int, int) { return kBars[5]; });
  dxva.Presenter()->CaptureNextFrame();
  EXPECT_GE(dxva.RenderFrame(nv12.get()), 0);
  QImage shown = dxva.Presenter()->CapturedImage();
  ASSERT_FALSE(shown.isNull());
  EXPECT_TRUE(Near(shown.pixel(160, 120), Convert(81, 90, 240, true)));
  // A planar software picture is not this view's kind: nothing is presented.
  FramePtr planar = PlanarFrame(AV_PIX_FMT_YUV420P, 320, 240, [](int, int) { return kBars[6]; });
  dxva.Presenter()->CaptureNextFrame();
  dxva.RenderFrame(planar.get());
  EXPECT_TRUE(dxva.Presenter()->CapturedImage().isNull());
  EXPECT_EQ(dxva.currentFormat, AV_PIX_FMT_NV12);
}

}  // namespace
