// A recording played into a real window: the pictures reach the screen from
// the scheduler thread, and the end of playback is detected.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSet>
#include <QWindow>
#include <chrono>
#include <thread>

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_media_play.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"

namespace {

TEST(PlayerWindowTest, PicturesReachTheWindowAndTheEndIsDetected) {
  setenv("ZOV_AUDIO_DEVICE", "null", 1);
  static int argc = 1;
  static char name[] = "test_player_window";
  static char* argv[] = {name, nullptr};
  // Kept to the end of the process, so its plugins stay loaded for the
  // leak check's stack traces.
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
  QWindow pane;
  pane.setSurfaceType(QSurface::OpenGLSurface);
  pane.resize(400, 300);
  pane.show();
  QElapsedTimer timer;
  timer.start();
  while (!pane.isExposed() && timer.elapsed() < 5000) QGuiApplication::processEvents();
  ASSERT_TRUE(pane.isExposed());

  CZovMediaPlay play;
  play.startSettleMs = 0;
  play.renderWindows[0] = &pane;
  const std::string clip = zovtest::Fixture("h264_aac48_30fps.mp4");
  ASSERT_EQ(play.Open(clip.c_str()), 0);
  auto* view = dynamic_cast<CZovD3D11RenderView*>(play.players[0]->renderView.get());
  ASSERT_NE(view, nullptr);
  ASSERT_TRUE(view->HasContext());
  play.StartAll();

  // Grab a presented picture about half way through.
  timer.restart();
  zovtest::WaitUntil([&] { return play.players[0]->scheduler->presentedVideo >= 20; }, 4000);
  view->CaptureNextFrame();
  QImage shot;
  zovtest::WaitUntil(
      [&] {
        shot = view->CapturedImage();
        return !shot.isNull();
      },
      4000);
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), QSize(400, 300) * pane.devicePixelRatio());
  // The test pattern: many colours, not a black or single-colour picture.
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 10)
    for (int x = 0; x < shot.width(); x += 10) colours.insert(shot.pixel(x, y) & 0xf0f0f0);
  EXPECT_GT(colours.size(), 12);
  EXPECT_EQ(view->currentFormat, 0);  // YUV420P through the planar pass
  EXPECT_EQ(view->widthHint, 320);

  EXPECT_TRUE(zovtest::WaitUntil([&] { return play.GetState() == 0; }, 6000));
  EXPECT_GE(play.players[0]->scheduler->presentedVideo, 45);
  play.StopAll();
}

}  // namespace
