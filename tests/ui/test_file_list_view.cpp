// The file list panel on a real X server: rows and selection colours read
// back from grabbed pixels, the one-press-per-second rule, double-click and
// drop requests to the play window, the wheel through the scroll bar, the
// playing row brought into view, adding with the "same file" box, deleting
// the playing file, and the add/delete bar with its auto-hide.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <QComboBox>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <functional>

#include <QMimeData>
#include <QLabel>
#include <QDoubleSpinBox>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>

#include "library/zov_media_extensions.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "tests/ui/ui_test_support.h"
#include "ui/zov_file_list_contrl.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_camera_clock_dialog.h"
#include "ui/zov_file_list_view.h"
#include "ui/zov_mfc_button.h"
#include "ui/zov_ui_base.h"
#include "ui/zov_vprocess.h"

namespace fs = std::filesystem;

namespace {

// Stands in for the play window: keeps the codes and clicks it gets.
class PlayWindow : public CZovWnd {
 public:
  PlayWindow() { CZovWndManager::GetInstance()->Register(kZovPlayDialogName, this); }
  ~PlayWindow() override { CZovWndManager::GetInstance()->Unregister(kZovPlayDialogName); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM) override {
    if (message == ZOVWM_INFO_E) {
      codes.push_back(static_cast<int>(wParam));
    } else if (message == ZOVWM_CLICK) {
      clicks.push_back(static_cast<int>(wParam));
    }
    return 0;
  }
  std::vector<int> codes, clicks;
};

std::string MakeFile(const std::string& path, off_t bytes) {
  fs::create_directories(fs::path(path).parent_path());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  EXPECT_EQ(::ftruncate(fd, bytes), 0);
  ::close(fd);
  return path;
}

uint32_t ColorOf(int id) { return CZovSettings::GetInstance()->LoadQColor(id).rgb() & 0xFFFFFF; }

class FileListViewTest : public ::testing::Test, private uitest::WithApp {
 protected:
  void SetUp() override {
    dir_ = zovtest::TempDir();  // short paths: the row's right part stays clear of text
    top_.resize(400, 500);
    top_.show();
    view_ = std::make_unique<CZovFileListView>();
    ASSERT_TRUE(view_->Create(&top_, QRect(0, 0, 340, 300)));
    view_->secondsClock = [this] { return now_; };
    CZovUiEnv::Get().messageBoxHook = [this](const QString& t) { boxes.push_back(t.toStdString()); };
    store_ = CZovFileListStore::GetInstance();
  }
  void TearDown() override {
    CZovUiEnv::Get().messageBoxHook = nullptr;
    view_.reset();
    CZovFileListStore::DeleteInstance();
  }
  // Adds n small side files (no size minimum) and shows them.
  void AddFiles(int n) {
    for (int i = 0; i < n; ++i) store_->AddFile(MakeFile(dir_ + "/" + Name(i), 1));
    view_->Rebuild(0);
  }
  static std::string Name(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "clip%03d.txt", i);
    return name;
  }
  // Centre of row i on screen (with the current scroll offset).
  QPoint RowPoint(int i) const {
    return {50, view_->TitleHeight() + i * view_->RowHeight() + view_->RowHeight() / 2 - view_->ScrollOffset()};
  }
  uint32_t PixelOfRow(int i) {
    // Past the end of the path text, left of the scroll bar.
    return uitest::Rgb(uitest::Grab(view_.get()), 250, RowPoint(i).y());
  }
  void Click(const QPoint& pt) {
    ++now_;
    QTest::mouseClick(view_.get(), Qt::LeftButton, {}, pt);
  }
  void Drop(const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const auto& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
    QMimeData mime;
    mime.setUrls(urls);
    // The window system enters before it drops; the drop goes to the window that accepted the enter.
    QDragEnterEvent enter(QPoint(50, 100), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view_.get(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 100), Qt::CopyAction, &mime, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view_.get(), &drop);
  }
  // Wheel notches toward the end of the list, over a row.
  void WheelDown(int notches) {
    QWheelEvent down(QPointF(50, 100), QPointF(view_->mapToGlobal(QPoint(50, 100))), QPoint(), QPoint(0, -120),
                     Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    for (int i = 0; i < notches; ++i) QCoreApplication::sendEvent(view_.get(), &down);
  }
  // A copy of a real clip under dir_; "" (test skipped) without the clips.
  std::string CopyClip(const std::string& rel) {
    const std::string clip = zovtest::Fixture("h264_aac44_30fps.mp4");
    if (clip.empty()) return {};
    const std::string path = dir_ + "/" + rel;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::filesystem::copy_file(clip, path);
    return path;
  }
  void Info(int code, int32_t index) {
    CZovWndManager::GetInstance()->SendData(kZovFileListViewName, code, sizeof index, &index);
  }

  QWidget top_;
  std::unique_ptr<CZovFileListView> view_;
  CZovFileListStore* store_ = nullptr;
  PlayWindow play_;
  std::string dir_;
  std::time_t now_ = 1000;
  std::vector<std::string> boxes;
};

TEST_F(FileListViewTest, RowsShowTheSelectionAndAClickPerSecond) {
  AddFiles(3);
  view_->Rebuild(1);
  EXPECT_EQ(store_->GetCurrentIndex(), 1);
  EXPECT_EQ(PixelOfRow(1), ColorOf(CZovFileListView::kSelectedFill));
  EXPECT_EQ(PixelOfRow(0), ColorOf(CZovFileListView::kListColor));
  EXPECT_TRUE(view_->ScrollBar()->isHidden());
  const QImage shot = uitest::Grab(view_.get());
  if (const char* out = std::getenv("ZOV_UI_SHOTS")) shot.save(QString(out) + "/file_list_rows.png");
  // Row text is drawn in the selected row's text colour.
  EXPECT_GT(uitest::ShareOf(shot, QRect(1, RowPoint(1).y() - 8, 200, 16), ColorOf(CZovFileListView::kSelectedText), 40),
            0.01);

  Click(RowPoint(2));
  EXPECT_EQ(view_->SelectedIndex(), 2);
  EXPECT_TRUE(store_->IsMarked(2));
  EXPECT_FALSE(store_->IsMarked(1));
  EXPECT_EQ(PixelOfRow(2), ColorOf(CZovFileListView::kSelectedFill));
  EXPECT_EQ(PixelOfRow(1), ColorOf(CZovFileListView::kListColor));
  EXPECT_EQ(store_->GetCurrentIndex(), 1);  // a click does not play or select
  // A second press within the same second is not handled; nor is one on the title.
  QTest::mouseClick(view_.get(), Qt::LeftButton, {}, RowPoint(0));
  EXPECT_EQ(view_->SelectedIndex(), 2);
  Click({50, view_->TitleHeight() / 2});
  EXPECT_EQ(view_->SelectedIndex(), 2);
  Click(RowPoint(0));
  EXPECT_EQ(view_->SelectedIndex(), 0);

  // Double-click plays the highlighted file when it is not the current one.
  QTest::mouseDClick(view_.get(), Qt::LeftButton, {}, RowPoint(0));
  EXPECT_EQ(store_->GetCurrentIndex(), 0);
  EXPECT_EQ(play_.codes, std::vector<int>{ZOV_CODE_STOPPED});
  QTest::mouseDClick(view_.get(), Qt::LeftButton, {}, RowPoint(0));
  EXPECT_EQ(play_.codes.size(), 1u);
  // A row double-clicked within the second of a click on another row: the
  // double-clicked one is highlighted and played, not the one clicked before.
  Click(RowPoint(1));
  QTest::mouseDClick(view_.get(), Qt::LeftButton, {}, RowPoint(2));
  EXPECT_EQ(view_->SelectedIndex(), 2);
  EXPECT_EQ(store_->GetCurrentIndex(), 2);
  EXPECT_EQ(PixelOfRow(2), ColorOf(CZovFileListView::kSelectedFill));
  EXPECT_EQ(PixelOfRow(1), ColorOf(CZovFileListView::kListColor));
  EXPECT_EQ(play_.codes.size(), 2u);
}

TEST_F(FileListViewTest, LongPathsKeepTheirFileNamesInView) {
  // Two recordings deep in one long folder: the rows must not look alike.
  const std::string folder = dir_ + "/Dashcam_Recordings_December_2026/Front_Camera_Card_Backup/Normal_Driving";
  for (const char* name : {"2026_1209_101010_0001F.txt", "2026_1209_101110_0002F.txt"})
    store_->AddFile(MakeFile(folder + "/" + name, 1));
  view_->Rebuild(0);
  Click(RowPoint(1));  // both rows unselected: same colours
  Click({50, view_->TitleHeight() + 5 * view_->RowHeight()});
  ASSERT_FALSE(store_->IsMarked(0) || store_->IsMarked(1));
  const QImage shot = uitest::Grab(view_.get());
  const int row = view_->RowHeight();
  const QImage first = shot.copy(0, RowPoint(0).y() - row / 2, shot.width(), row);
  const QImage second = shot.copy(0, RowPoint(1).y() - row / 2, shot.width(), row);
  EXPECT_TRUE(first != second) << "the file names at the end of the paths are not shown";
  // The text ends within the row: its last column is list colour.
  int inked = 0;
  for (int y = 0; y < row; ++y) inked += uitest::Rgb(first, first.width() - 1, y) != ColorOf(CZovFileListView::kListColor);
  EXPECT_EQ(inked, 0);
}

TEST_F(FileListViewTest, WheelScrollsOneRowAndThePlayingRowComesIntoView) {
  AddFiles(30);
  ASSERT_FALSE(view_->ScrollBar()->isHidden());
  const int row = view_->RowHeight();
  WheelDown(1);
  EXPECT_EQ(view_->ScrollOffset(), row);
  EXPECT_EQ(view_->ScrollBar()->Position(), row);
  // Row 0 is off the top: the first list line now shows row 1 (selected row 0 is gone).
  EXPECT_EQ(uitest::Rgb(uitest::Grab(view_.get()), 250, view_->TitleHeight() + 2), ColorOf(CZovFileListView::kListColor));

  Info(ZOV_CODE_PLAYING_INDEX, 25);
  EXPECT_TRUE(view_->Playing());
  EXPECT_EQ(view_->SelectedIndex(), 25);
  EXPECT_TRUE(store_->IsMarked(25));
  EXPECT_FALSE(store_->IsMarked(0));
  const int visible = view_->height() - 2 * view_->TitleHeight();
  EXPECT_EQ(view_->ScrollOffset(), 30 * row - visible);  // no space below the last row
  EXPECT_EQ(view_->ScrollBar()->Position(), view_->ScrollOffset());
  EXPECT_EQ(PixelOfRow(25), ColorOf(CZovFileListView::kSelectedFill));
  Info(ZOV_CODE_STOPPED, 0);
  EXPECT_FALSE(view_->Playing());
}

TEST(FileListViewLayout, PlayingOffsetRule) {
  struct Case {
    int offset, index, count, visible, expected;
  };
  // Rows of 10 pixels.
  const Case cases[] = {
      {0, 3, 50, 100, 0},      // in view: unchanged
      {0, 20, 50, 100, 200},   // below: its top
      {300, 5, 50, 100, 50},   // above: its top
      {0, 49, 50, 100, 400},   // last row: limited to no space below it
      {40, 2, 5, 100, 0},      // everything fits
  };
  for (const Case& c : cases)
    EXPECT_EQ(ZovPlayingScrollOffset(c.offset, c.index, 10, c.count, c.visible), c.expected)
        << c.offset << " " << c.index;
}

TEST(FileListViewLayout, OpenDialogFilter) {
  const std::string filter = ZovOpenFileFilter("Video files", "All files");
  EXPECT_EQ(filter,
            "Video files(*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.MKV;*.MP3;*.TXT;*.txt)|"
            "*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.mkv;*.mp3;*.TXT;*.txt|All files (*.*)|*.*||");
  const QStringList qt = ZovQtNameFilters(filter);
  ASSERT_EQ(qt.size(), 2);
  EXPECT_EQ(qt[0].toStdString(),
            "Video files(*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.MKV;*.MP3;*.TXT;*.txt) "
            "(*.mp4 *.mov *.MP4 *.MOV *.ts *.TS *.avi *.AVI *.mkv *.mp3 *.TXT *.txt *.MKV *.MP3)");
  EXPECT_EQ(qt[1].toStdString(), "All files (*.*) (*.*)");
}

TEST_F(FileListViewTest, DropsAddMediaAndPlayOnlyWhenTheFirstItemIsListed) {
  const std::string jpg = MakeFile(dir_ + "/a.jpg", 10);
  const std::string mp4 = MakeFile(dir_ + "/b.mp4", 1048576);
  const std::string mp4b = MakeFile(dir_ + "/c.mp4", 1048576);
  Drop({jpg, mp4});
  EXPECT_EQ(store_->Paths(), std::vector<std::string>{mp4});
  EXPECT_EQ(view_->SelectedIndex(), 0);
  EXPECT_TRUE(play_.codes.empty());
  Drop({mp4b, mp4});  // the duplicate adds nothing and shows nothing
  EXPECT_EQ(store_->Count(), 2);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(play_.codes, std::vector<int>{ZOV_CODE_PLAY_CURRENT});
  EXPECT_EQ(store_->GetCurrentIndex(), 1);
  EXPECT_EQ(view_->SelectedIndex(), 1);
  EXPECT_EQ(PixelOfRow(1), ColorOf(CZovFileListView::kSelectedFill));
  // A dropped folder (a card) is read in the background; its first moment
  // plays as soon as it is known.
  const std::string front = CopyClip("card/DCIM/Movie/2024_0517_080000_001F.MP4");
  if (front.empty()) return;
  CopyClip("card/DCIM/Movie/2024_0517_080001_001R.MP4");
  store_->SetLibraryIndexPath(dir_ + "/library.sqlite");
  Drop({dir_ + "/card"});
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play_.codes.size() == 2; }, 20000));
  EXPECT_EQ(play_.codes, (std::vector<int>{ZOV_CODE_PLAY_CURRENT, ZOV_CODE_PLAY_CURRENT}));
  EXPECT_EQ(store_->GetCurrentPath(), front);
  EXPECT_EQ(store_->Count(), 4);  // two files, the drive and its moment
  EXPECT_EQ(view_->SelectedIndex(), 3);
}

TEST_F(FileListViewTest, LibraryRowsShowDrivesModesAndWhyAFileDoesNotPlay) {
  if (CopyClip("card/DCIM/Movie/2024_0517_080000_001F.MP4").empty()) return;
  CopyClip("card/DCIM/Movie/2024_0517_080001_001R.MP4");
  CopyClip("card/DCIM/Movie/RO/2024_0517_080100_002EF.MP4");
  MakeFile(dir_ + "/card/DCIM/Movie/2024_0517_090000_003F.MP4", 0);
  store_->SetLibraryIndexPath(dir_ + "/library.sqlite");
  store_->ScanFolders({dir_ + "/card"}, false);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return view_->Rows().size() == 4 && !store_->LibraryProgress().scanning; }, 20000));
  EXPECT_TRUE(play_.codes.empty());  // added, not dropped: nothing starts
  const auto& rows = view_->Rows();
  EXPECT_EQ(rows[0].kind, ZovRowKind::kDrive);
  EXPECT_EQ(rows[1].text, "08:00:00  F R");
  EXPECT_EQ(rows[2].badge, "LOCKED");
  EXPECT_EQ(rows[3].text, "2024_0517_090000_003F.MP4: empty file");
  const QImage shot = uitest::Grab(view_.get());
  auto rowArea = [&](int i) { return QRect(1, RowPoint(i).y() - 6, 300, 12); };
  const uint32_t red = ZovBadgeColor("LOCKED").rgb() & 0xFFFFFF;
  EXPECT_GT(uitest::ShareOf(shot, rowArea(2), red, 10), 0.02);   // the badge
  EXPECT_EQ(uitest::ShareOf(shot, rowArea(1), red, 10), 0.0);    // a normal moment has none
  const uint32_t text = ColorOf(CZovFileListView::kRowTextColor);
  EXPECT_GT(uitest::ShareOf(shot, rowArea(1), text, 10), 0.0);
  EXPECT_EQ(uitest::ShareOf(shot, rowArea(3), text, 10), 0.0);   // greyed
  // A double-click on the file that cannot play plays nothing.
  ++now_;
  QTest::mouseDClick(view_.get(), Qt::LeftButton, {}, RowPoint(3));
  EXPECT_TRUE(play_.codes.empty());

  // A right click on a moment opens the library's menu, not the bar; its
  // camera clock shows the drive's start and moves every shown time.
  QTest::mouseClick(view_.get(), Qt::RightButton, {}, RowPoint(1));
  EXPECT_FALSE(view_->BarRequested());
  QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 1);
  menu->actions().front()->trigger();
  menu->close();
  CZovCameraClockDialog* clock = view_->ClockDialog();
  ASSERT_NE(clock, nullptr);
  EXPECT_TRUE(clock->Preview()->text().contains("2024-05-17  08:00:00")) << clock->Preview()->text().toStdString();
  EXPECT_FALSE(clock->FromGpsButton()->isEnabled());  // these clips have no GPS
  {
    // A drive whose first fix is in its second moment, a minute in: GPS
    // 06:31:50 UTC there puts the drive's start (05:00:00 on the camera) at
    // 06:30:50 UTC.
    ZovDrivePlan plan;
    plan.start = ZovCameraTime(2024, 5, 17, 5, 0, 0);
    plan.moments.resize(2);
    plan.moments[0].start = plan.start;
    plan.moments[1].start = plan.start + 60;
    plan.moments[1].track = {{50, 8, 0, int32_t(ZovCameraTime(2024, 5, 17, 6, 31, 50))}};
    CZovCameraClockDialog fromGps(view_.get(), CZovSettings::GetInstance(), {"UTC", 0, -1500}, plan);
    EXPECT_TRUE(fromGps.Preview()->text().contains("(GPS 06:30:50 UTC)")) << fromGps.Preview()->text().toStdString();
    fromGps.FromGpsButton()->click();
    EXPECT_EQ(fromGps.OffsetBox()->text(), "+01:30:50");
    EXPECT_EQ(fromGps.Clock().gpsNudgeMs, -1500);  // the clock's fields leave the GPS nudge alone
    EXPECT_FALSE(fromGps.Preview()->text().contains("GPS")) << fromGps.Preview()->text().toStdString();
  }
  clock->OffsetBox()->setValue(3600);
  EXPECT_EQ(clock->OffsetBox()->text(), "+01:00:00");
  EXPECT_TRUE(clock->Preview()->text().contains(QString::fromUtf8("\u2192  09:00:00")));
  // The GPS <-> video nudge: tenths of a second, at most 5 s either way.
  clock->NudgeBox()->setValue(7);
  EXPECT_EQ(clock->Clock().gpsNudgeMs, 5000);
  clock->NudgeBox()->setValue(-1.3);
  clock->accept();
  EXPECT_EQ(store_->CameraClock().offsetSeconds, 3600);
  EXPECT_EQ(store_->CameraClock().gpsNudgeMs, -1300);
  EXPECT_TRUE(zovtest::WaitUntil([&] { return view_->Rows().size() == 4 && view_->Rows()[1].text == "09:00:00  F R"; }, 20000));
  EXPECT_EQ(ZovReadCameraClock(dir_ + "/library.sqlite").offsetSeconds, 3600);
  EXPECT_EQ(ZovReadCameraClock(dir_ + "/library.sqlite").gpsNudgeMs, -1300);
}

TEST_F(FileListViewTest, AddingTheSameFileTwiceShowsOneBox) {
  const std::string a = MakeFile(dir_ + "/a.txt", 1), b = MakeFile(dir_ + "/b.txt", 1);
  int dialogs = 0;
  view_->chooseFiles = [&] {
    ++dialogs;
    return QStringList{QString::fromStdString(a), QString::fromStdString(a), QString::fromStdString(b),
                       QString::fromStdString(b)};
  };
  // Through the bar's left button, as the user does it.
  QTest::mouseClick(view_->Bar()->AddButton(), Qt::LeftButton);
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(store_->Paths(), (std::vector<std::string>{a, b}));
  EXPECT_EQ(boxes, std::vector<std::string>{CZovSettings::GetInstance()->GetText("same file")});
  EXPECT_TRUE(store_->IsMarked(0));
}

// The dialog the user sees: several files at once, and the filter texts shown
// whole in its file type list.
TEST_F(FileListViewTest, OpenDialogShowsTheFilterTextsWhole) {
  // With a file in hand the dialog opens on its folder, then stays where it was left.
  const std::string folder = dir_ + "/card";
  store_->AddFile(MakeFile(folder + "/drive.txt", 1));
  view_->Rebuild(0);
  QFileDialog* dialog = view_->OpenDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->directory().absolutePath().toStdString(), folder);
  dialog->setDirectory(QString::fromStdString(dir_));
  EXPECT_EQ(view_->OpenDialog(), dialog);  // made once and kept
  EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir_);
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
  auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
  ASSERT_NE(types, nullptr);
  CZovSettings* settings = CZovSettings::GetInstance();
  ASSERT_EQ(types->count(), 2);
  EXPECT_EQ(types->itemText(0).toStdString(),
            settings->GetText("video") + "(*.mp4;*.mov;*.MP4;*.MOV;*.ts;*.TS;*.avi;*.AVI;*.MKV;*.MP3;*.TXT;*.txt)");
  EXPECT_EQ(types->itemText(1).toStdString(), settings->GetText("allfile") + " (*.*)");
  if (const char* out = std::getenv("ZOV_UI_SHOTS")) {
    dialog->setDirectory(QString::fromStdString(dir_));
    dialog->show();
    uitest::Grab(dialog).save(QString(out) + "/file_list_open_dialog.png");
    dialog->hide();
  }
}

TEST_F(FileListViewTest, DeletingThePlayingFileStopsItFirst) {
  AddFiles(3);
  Info(ZOV_CODE_PLAYING_INDEX, 1);
  ASSERT_EQ(view_->PlayingPath(), dir_ + "/" + Name(0));  // CopyPlayingPaths: the store's current entry
  store_->SelectIndex(1);
  Info(ZOV_CODE_PLAYING_INDEX, 1);
  ASSERT_EQ(view_->PlayingPath(), dir_ + "/" + Name(1));
  QTest::mouseClick(view_->Bar()->DeleteButton(), Qt::LeftButton);
  const std::vector<int> stop{static_cast<int>(CZovFileListView::kStopButtonId)};
  EXPECT_TRUE(zovtest::WaitUntil([&] { return play_.clicks == stop; }));
  EXPECT_EQ(store_->Paths(), (std::vector<std::string>{dir_ + "/" + Name(0), dir_ + "/" + Name(2)}));
  // The next file takes the row, highlighted and current.
  EXPECT_TRUE(store_->IsMarked(1));
  EXPECT_EQ(store_->GetCurrentIndex(), 1);
  EXPECT_EQ(PixelOfRow(1), ColorOf(CZovFileListView::kSelectedFill));
  // Deleting a file that does not play sends no stop.
  QTest::mouseClick(view_->Bar()->DeleteButton(), Qt::LeftButton);
  QCoreApplication::processEvents();
  EXPECT_EQ(play_.clicks.size(), 1u);
  EXPECT_EQ(store_->Count(), 1);
}

TEST_F(FileListViewTest, ChangingTheListWhileAFilePlaysKeepsThePlayingFileCurrent) {
  // Row 3 plays. Another row is clicked, then the list changes: row 1
  // (before it) and row 4 (after it) are deleted, a file is added, the panel
  // grows. The clicked or following row is highlighted, no stop is sent, and
  // the playing file stays current, so "next" goes on from it.
  AddFiles(8);
  store_->SelectIndex(3);
  Info(ZOV_CODE_PLAYING_INDEX, 3);
  const std::string playing = dir_ + "/" + Name(3);
  ASSERT_EQ(view_->PlayingPath(), playing);
  const std::function<void()> deleteRow = [&] { QTest::mouseClick(view_->Bar()->DeleteButton(), Qt::LeftButton); };
  const struct {
    int clicked;
    std::function<void()> change;
    std::string highlighted;
  } steps[] = {
      {1, deleteRow, Name(2)},
      {3, deleteRow, Name(5)},
      {4, [&] {
         view_->chooseFiles = [&] { return QStringList{QString::fromStdString(MakeFile(dir_ + "/" + Name(9), 1))}; };
         view_->SendMessage(ZOVWM_CLICK, CZovFileListView::kBarAdd, 0);
       }, Name(6)},
      {5, [&] { view_->resize(340, 360); }, Name(7)},
  };
  for (const auto& step : steps) {
    Click(RowPoint(step.clicked));
    ASSERT_TRUE(store_->IsMarked(step.clicked)) << step.highlighted;
    step.change();
    EXPECT_EQ(store_->PathAt(view_->SelectedIndex()), dir_ + "/" + step.highlighted);
    EXPECT_EQ(store_->GetCurrentPath(), playing) << "after the change that highlights " << step.highlighted;
  }
  QCoreApplication::processEvents();
  EXPECT_TRUE(play_.clicks.empty());
  ASSERT_EQ(store_->SelectNext(), 0);
  EXPECT_EQ(store_->GetCurrentPath(), dir_ + "/" + Name(5));
}

// Scrolled down, then enough rows deleted that the rest fit: the scroll bar
// goes, so the rows must be back at the top rather than left scrolled away.
TEST_F(FileListViewTest, RowsThatFitAgainAreShownFromTheTop) {
  AddFiles(30);
  const int row = view_->RowHeight();
  WheelDown(3);
  ASSERT_EQ(view_->ScrollOffset(), 3 * row);
  // Rows 6..27 highlighted and deleted: eight rows remain and row 6 takes the selection.
  for (int i = 0; i < 30; ++i) store_->SetMarked(i, i >= 6 && i < 28);
  QTest::mouseClick(view_->Bar()->DeleteButton(), Qt::LeftButton);
  ASSERT_EQ(store_->Count(), 8);
  EXPECT_TRUE(view_->ScrollBar()->isHidden());
  EXPECT_EQ(view_->ScrollOffset(), 0);
  const QImage shot = uitest::Grab(view_.get());
  EXPECT_EQ(uitest::Rgb(shot, 250, view_->TitleHeight() + 6 * row + row / 2), ColorOf(CZovFileListView::kSelectedFill));
  EXPECT_EQ(uitest::Rgb(shot, 250, view_->TitleHeight() + 3 * row + row / 2), ColorOf(CZovFileListView::kListColor));
}

TEST_F(FileListViewTest, ListSelectStartsAtTheTopAndListLayoutPlacesTheBar) {
  AddFiles(30);
  const int row = view_->RowHeight();
  WheelDown(2);
  ASSERT_EQ(view_->ScrollOffset(), 2 * row);
  view_->SendMessage(ZOVWM_LISTSELECT, 0, 5);
  EXPECT_EQ(view_->ScrollOffset(), 0);
  EXPECT_EQ(view_->ScrollBar()->Position(), 0);
  EXPECT_EQ(view_->SelectedIndex(), 5);
  EXPECT_TRUE(store_->IsMarked(5));
  EXPECT_EQ(store_->GetCurrentIndex(), 5);
  EXPECT_EQ(PixelOfRow(5), ColorOf(CZovFileListView::kSelectedFill));
  view_->SendMessage(ZOVWM_LISTSELECT, 0, 30);  // names no row: row 0
  EXPECT_EQ(view_->SelectedIndex(), 0);
  EXPECT_TRUE(store_->IsMarked(0));
  EXPECT_FALSE(store_->IsMarked(5));

  // The main window moved: the panel itself does not move within it, so the
  // bar (a window of its own) is placed again only when told.
  const QPoint before = view_->mapToGlobal(QPoint(0, 0));
  top_.move(top_.pos() + QPoint(37, 23));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return view_->mapToGlobal(QPoint(0, 0)) != before; }));
  const QPoint inList = ZovListBarRect(view_->width(), view_->height(), view_->TitleHeight(), 0).topLeft();
  EXPECT_EQ(view_->Bar()->pos(), before + inList) << "the bar followed by itself; the message is not what moved it";
  view_->SendMessage(ZOVWM_LISTLAYOUT, 0, 0);
  EXPECT_EQ(view_->Bar()->pos(), view_->mapToGlobal(QPoint(0, 0)) + inList);
}

// The bar sits in the list's bottom strip with a margin at the sides and
// below, so the buttons' frames show whole at the window's bottom edge.
TEST(FileListBar, TakesTheBottomStripWithAMargin) {
  const int m = CZovFileListView::kBarInset;
  const struct {
    int width, height, bar, scroll;
    QRect place;
  } cases[] = {
      {340, 304, 28, 0, QRect(m, 276, 340 - 2 * m, 28 - m)},
      {340, 304, 28, 14, QRect(m, 276, 326 - 2 * m, 28 - m)},
      {340, 80, 28, 0, QRect(m, 52, 340 - 2 * m, 28 - m)},  // the window at its least height
      {6, 80, 28, 14, QRect(m, 52, 0, 28 - m)},              // never a negative width
  };
  for (const auto& c : cases)
    EXPECT_EQ(ZovListBarRect(c.width, c.height, c.bar, c.scroll), c.place) << c.width << "x" << c.height;
}

TEST_F(FileListViewTest, BarFollowsTheRightButtonAndHidesAfterElevenTicks) {
  AddFiles(30);  // with the scroll bar shown the bar leaves it free
  CZovFileListContrl* bar = view_->Bar();
  const QPoint origin = view_->mapToGlobal(QPoint(0, 0));
  EXPECT_EQ(bar->geometry(), ZovListBarRect(view_->width(), view_->height(), view_->TitleHeight(),
                                            view_->ScrollBar()->width())
                                 .translated(origin));
  // Inside the list, clear of the scroll bar and of the list's bottom edge.
  const QRect list(origin, view_->size());
  EXPECT_TRUE(list.contains(bar->geometry())) << "bar outside the list";
  EXPECT_LE(bar->geometry().right(), view_->ScrollBar()->mapToGlobal(QPoint(0, 0)).x() - 1);
  EXPECT_LT(bar->geometry().bottom(), list.bottom());
  EXPECT_EQ(bar->AddButton()->width() + bar->DeleteButton()->width(), bar->width());
  // A window of its own, it goes and comes with the panel's window.
  ASSERT_TRUE(bar->isVisible());
  top_.hide();
  EXPECT_FALSE(bar->isVisible());
  top_.show();
  EXPECT_TRUE(bar->isVisible());
  // On screen the bar lies over the panel's window, not beneath it.
  const auto barFaceOnScreen = [bar] {
    const QRect r = bar->geometry();
    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
    return uitest::ShareOf(screen, QRect(QPoint(0, 0), r.size()), ColorOf(CZovFileListContrl::kFaceColor), 8);
  };
  EXPECT_TRUE(zovtest::WaitUntil([&] { return barFaceOnScreen() > 0.5; }));

  QTest::mouseClick(view_.get(), Qt::RightButton, {}, RowPoint(1));
  EXPECT_TRUE(view_->BarRequested());
  EXPECT_TRUE(bar->isVisible());
  if (const char* out = std::getenv("ZOV_UI_SHOTS")) {
    uitest::Grab(view_.get()).save(QString(out) + "/file_list_scrolled.png");
    uitest::Grab(bar).save(QString(out) + "/file_list_bar.png");
  }
  for (int tick = 0; tick < CZovFileListView::kBarHideTicks; ++tick) view_->WindowProc(WM_TIMER, 1, 0);
  EXPECT_TRUE(bar->isVisible());
  view_->WindowProc(WM_TIMER, 1, 0);  // the tick with the counter at 11
  EXPECT_FALSE(bar->isVisible());
  EXPECT_TRUE(view_->BarRequested());
  EXPECT_EQ(view_->BarTicks(), 0);
  QTest::mouseClick(view_.get(), Qt::RightButton, {}, RowPoint(1));
  EXPECT_FALSE(view_->BarRequested());
  QTest::mouseClick(view_.get(), Qt::RightButton, {}, RowPoint(1));
  EXPECT_TRUE(bar->isVisible());
}

}  // namespace
