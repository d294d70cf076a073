// CFileInfoView on a virtual X server: probes at creation, rows in the
// current language, the close button's request to the main window, dragging,
// and what the popup draws.
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include "engine/zov_base_file.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "ui/zov_button.h"
#include "ui/zov_file_info_view.h"
#include "library/zov_file_list_store.h"

namespace {

// Stands in for the main window: keeps the codes it is sent.
class FakeMainWindow : public CZovWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
    if (message == ZOVWM_INFO_E) {
      codes.push_back(static_cast<int>(wParam));
    }
    return 0;
  }
  std::vector<int> codes;
};

std::string Text(const CFileInfoView& view, int rectId) {
  for (const auto& row : view.Rows())
    if (row.rectId == rectId) return row.text;
  return "<no row>";
}

class FileInfoView : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = CZovSettings::GetInstance();
    ASSERT_TRUE(settings_->ChooseTextTable("english"));
    main_.resize(600, 600);
    CZovWndManager::GetInstance()->Register(kZovMainWindowName, &main_);
    ASSERT_TRUE(view_.Create(&main_));
  }
  void TearDown() override { CZovWndManager::GetInstance()->Unregister(kZovMainWindowName); }

  CZovSettings* settings_ = nullptr;
  FakeMainWindow main_;
  CFileInfoView view_;
};

TEST_F(FileInfoView, ProbesRunOnceAtCreationAndFillTheMachineRows) {
  const ZovMachineFacts& m = view_.MachineFacts();
  EXPECT_NE(m.adapter.find("llvmpipe"), std::string::npos) << m.adapter;
  EXPECT_EQ(m.shaderSupport, "YES");
  if (access("/dev/dri/renderD128", F_OK) != 0) {
    EXPECT_EQ(m.h264List, "NO ACCEL");
    EXPECT_EQ(m.hevcList, "NO ACCEL");
  }
  const long processors = sysconf(_SC_NPROCESSORS_ONLN);
  const std::string count = ", " + std::to_string(processors) + (processors == 1 ? " processor" : " processors");
  ASSERT_GE(m.systemText.size(), count.size());
  EXPECT_EQ(m.systemText.substr(m.systemText.size() - count.size()), count);
  EXPECT_EQ(Text(view_, 10343), settings_->GetText("dxdsupport") + ": YES");
  EXPECT_FALSE(view_.Create(&main_));  // created once
  EXPECT_NEAR(view_.windowOpacity(), 240 / 255.0, 0.01);
  EXPECT_TRUE(view_.isWindow());
}

TEST_F(FileInfoView, RowsFollowTheCurrentLanguage) {
  ZovMediaFacts media;
  media.open = true;
  media.durationSeconds = 95;
  media.gpsPoints = 12;
  view_.mediaSource = [&] { return media; };
  EXPECT_EQ(Text(view_, 10331), settings_->GetText("filetime") + " 00:01:35");
  const std::string english = Text(view_, 10337);
  ASSERT_TRUE(settings_->ChooseTextTable("Russia"));
  const std::string russian = Text(view_, 10337);
  EXPECT_NE(russian, english);
  EXPECT_EQ(russian, settings_->GetText("gpsinfo") + " 12  " + settings_->GetText("block"));

  view_.mediaSource = [] { return ZovMediaFacts{}; };
  EXPECT_EQ(Text(view_, 10342), settings_->GetText("hwcodec"));
  EXPECT_EQ(Text(view_, 10337), settings_->GetText("gpsinfo"));
}

TEST_F(FileInfoView, MediaRowsComeFromTheStoresOpenMedia) {
  const std::string clip = zovtest::Fixture("h264_aac44_30fps.mp4");
  CZovBaseFile file;
  ASSERT_EQ(file.Open(clip.c_str()), 1);
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetOpenMedia(file.GetDemuxer());
  EXPECT_EQ(Text(view_, 10332), settings_->GetText("resolution") + " 320 \u00d7 240");
  EXPECT_EQ(Text(view_, 10334), settings_->GetText("frameratio") + " 30");
  EXPECT_EQ(Text(view_, 10338), settings_->GetText("audioinfo") + " aac");
  EXPECT_EQ(Text(view_, 10342), settings_->GetText("decoder") + " " + settings_->GetText("softcodec"));
  EXPECT_EQ(Text(view_, 10337), settings_->GetText("gpsinfo") + " " + settings_->GetText("nohave"));
  store->SetOpenMedia(nullptr);
  EXPECT_EQ(Text(view_, 10332), settings_->GetText("resolution"));
}

TEST_F(FileInfoView, CloseButtonAsksTheMainWindowToCloseIt) {
  CZovButton* close = view_.CloseButton();
  ASSERT_NE(close, nullptr);
  view_.show();
  // Top-right corner, 5 pixels in, size of rectangle 10340.
  const ZovRect size = settings_->LoadRect(10340);
  EXPECT_EQ(close->geometry(), QRect(view_.width() - 5 - size.Width(), 5, size.Width(), size.Height()));
  QTest::mouseClick(close, Qt::LeftButton, {}, QPoint(5, 5));
  ASSERT_EQ(main_.codes.size(), 1u);
  EXPECT_EQ(main_.codes[0], 10101);
}

TEST_F(FileInfoView, DraggingAnyPointMovesTheWindow) {
  view_.move(100, 100);
  view_.show();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return view_.isVisible(); }));
  const QPoint start = view_.pos();
  const QPoint inside(200, 200);
  const QPoint global = view_.mapToGlobal(inside);
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(inside), QPointF(global), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&view_, &press);
  const QPoint to = global + QPoint(40, 25);
  QMouseEvent move(QEvent::MouseMove, QPointF(view_.mapFromGlobal(to)), QPointF(to), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&view_, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(view_.mapFromGlobal(to)), QPointF(to), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&view_, &release);
  EXPECT_TRUE(zovtest::WaitUntil([&] { return view_.pos() == start + QPoint(40, 25); }))
      << view_.pos().x() << "," << view_.pos().y();
}

// A view left open while recordings start and stop draws what is open now,
// without being hidden and shown again.
TEST_F(FileInfoView, OpenViewFollowsTheRecordingThatOpensAndStops) {
  ZovMediaFacts media;  // nothing open
  view_.mediaSource = [&] { return media; };
  view_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view_));
  const auto drawn = [&] { return zovtest::WaitUntil([&] { return view_.DrawnMedia() == media; }, 2000); };
  ASSERT_TRUE(drawn());

  media.open = true;
  media.width = 1280;
  media.height = 720;
  media.durationSeconds = 20;
  EXPECT_TRUE(drawn());
  media.gpsPoints = 20;  // the track arrives a little later
  EXPECT_TRUE(drawn());
  media = ZovMediaFacts{};
  EXPECT_TRUE(drawn());
}

TEST_F(FileInfoView, DrawsTitleStripAndEveryRow) {
  view_.resize(440, 456);
  const QImage image = view_.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QColor title = settings_->LoadQColor(10325);
  const QColor background = settings_->LoadQColor(10323);
  EXPECT_EQ(QColor(image.pixel(300, 2)), title);
  EXPECT_EQ(QColor(image.pixel(2, 440)), background);
  // Every row rectangle holds drawn text: pixels that are not background.
  for (const auto& row : view_.Rows()) {
    const QRect r = settings_->LoadRect(row.rectId).ToQRect().intersected(image.rect());
    int ink = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) ink += QColor(image.pixel(x, y)) != background;
    EXPECT_GT(ink, 20) << "row " << row.rectId << " \"" << row.text << "\" drew nothing";
  }
}

// A path longer than its row keeps its end, the recording's own name, in
// view: two long paths that differ only in the file name draw differently.
TEST_F(FileInfoView, LongPathRowShowsTheFileName) {
  view_.resize(440, 456);
  const std::string folder = "/media/card/DCIM/" + std::string(12, 'x') + "/行车记录仪 2026-12-10 前方摄像头/Überholmanöver/";
  const auto rowImage = [&](const std::string& name) {
    ZovMediaFacts media;
    media.open = true;
    media.path = folder + name;
    view_.mediaSource = [media] { return media; };
    const QRect row = settings_->LoadRect(10330).ToQRect();
    return view_.grab(row).toImage();
  };
  const QImage first = rowImage("FILE0001_20261210_083015.mp4");
  const QImage second = rowImage("FILE0002_20261210_083015.mp4");
  ASSERT_FALSE(first.isNull());
  EXPECT_NE(first, second) << "the file name at the end of a long path is cut off";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  CZovSettings::GetInstance()->LoadResourceLibrary(zovtest::BinDir() + "/libzovQuelnaResource.so");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
