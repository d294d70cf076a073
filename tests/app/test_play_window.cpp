// The play window in the real left panel, playing real clips into real
// OpenGL panes under a virtual X server. The other windows it talks to are
// stand-ins registered under their directory names that record what they get.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <regex>
#include <thread>

#include "app/zov_left_tab.h"
#include "app/zov_panel_windows.h"
#include "app/zov_export_window.h"
#include "app/zov_play_dialog.h"
#include "engine/zov_base_player.h"
#include "engine/zov_engine.h"
#include "engine/zov_media_play.h"
#include "engine/zov_time.h"
#include "gps/zov_gps_extractor.h"
#include "shell/zov_ini_file.h"
#include "shell/zov_settings.h"
#include "shell/zov_wnd_manager.h"
#include "tests/common/test_paths.h"
#include "tests/common/test_wait.h"
#include "ui/zov_button.h"
#include "ui/zov_gsensor_view.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_player_view.h"
#include "ui/zov_process.h"

using namespace zov_play;

namespace {

// Records the codes (and payloads) sent to one directory name.
class Listener : public CZovWnd {
 public:
  explicit Listener(ZovWndName name) : name_(name) {
    CZovWndManager::GetInstance()->Register(name, this);
  }
  ~Listener() override { CZovWndManager::GetInstance()->Unregister(name_); }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == ZOVWM_INFO_E) {
      const ZovMsgData* record = ZovMsgRecord(lParam);
      codes.push_back(static_cast<int>(wParam));
      payloads.push_back(record ? record->payload : std::vector<unsigned char>());
    }
    return 0;
  }
  int Count(int code) const { return int(std::count(codes.begin(), codes.end(), code)); }
  std::vector<int> codes;
  std::vector<std::vector<unsigned char>> payloads;

 private:
  ZovWndName name_;
};

int RealExtract(const std::string& path, std::string* points, std::string* sensors) {
  uint32_t handle = 0;
  InitExtractor(&handle);
  return ExtractGps(&handle, path, points, sensors);
}

std::string Clip(const std::string& name) { return zovtest::Fixture("play/" + name); }

class PlayWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (app_) return;  // the window outlives a --gtest_repeat round
    static int argc = 1;
    static char arg0[] = "app_play_window_test";
    static char* argv[] = {arg0, nullptr};
    app_ = new QApplication(argc, argv);
    // The store outlives the tests, as in the player: its scan and load
    // threads are ended and joined at exit, as the player's exit does.
    std::atexit([] {
      if (CZovFileListStore* store = CZovFileListStore::Peek()) store->EndLoads();
    });
    // A private copy of the staged installation's settings, so the shot
    // folder and volume written here stay in the test's own folder.
    const std::string base = zovtest::TempDir() + "/base";
    std::filesystem::create_directories(base + "/bin");
    std::filesystem::copy(zovtest::BinDir() + "/../setup", base + "/setup",
                          std::filesystem::copy_options::recursive);
    settings_ = CZovSettings::GetInstance();
    settings_->LoadResourceLibrary(zovtest::BinDir() + "/libzovQuelnaResource.so");
    settings_->Init(base + "/bin/tamarinsoft");
    ZovPanelWindowMakers().makePlayWindow = [](QWidget* parent) { return new CPlayDialog(parent); };
    for (ZovWndName name : {kZovMapPageName, kZovMainWindowName, kZovFileListViewName, kZovPlaySetupName})
      listeners_[name.c_str()] = new Listener(name);
    panel_ = new CZovLeftTab(nullptr);
    panel_->resize(935, 560);
    panel_->show();
    ASSERT_TRUE(zovtest::WaitUntil([] { return panel_->isVisible(); }));
    dialog_ = dynamic_cast<CPlayDialog*>(panel_->PlayWindow());
    ASSERT_NE(dialog_, nullptr);
  }

  void SetUp() override {
    ASSERT_NE(dialog_, nullptr);
    for (auto& [name, listener] : listeners_) {
      listener->codes.clear();
      listener->payloads.clear();
    }
  }
  void TearDown() override {
    Click(kIdStop);
    ASSERT_TRUE(zovtest::WaitUntil([] { return !dialog_->IsPlaying(); }));
    CZovFileListStore* store = CZovFileListStore::GetInstance();
    while (store->Count() > 0) store->RemoveAt(0);
  }

  // Clicks a control as the user would, one second after the previous click
  // so that the command filter lets it through.
  static void Click(int id) {
    if (lastClick_ > 0) {
      ASSERT_TRUE(zovtest::WaitUntil([] { return NowMs() - lastClick_ >= kCommandGapMs + 10; }));
    }
    // WaitPlaying looks only at what the file list hears after this click.
    listeners_["CZovFileListView"]->codes.clear();
    listeners_["CZovFileListView"]->payloads.clear();
    dialog_->SendMessage(ZOVWM_CLICK, id, 0);
    lastClick_ = NowMs();  // the filter counts from the command's end
  }
  static void PlayFile(const std::string& path) {
    CZovFileListStore* store = CZovFileListStore::GetInstance();
    store->AddFile(path, -1, 0);
    ASSERT_EQ(store->SelectIndex(store->FindIndex(path)), 0) << path;
    Click(kIdPlay);
  }
  // Waits until the file at list index `index` plays (the file list is told).
  // On a time-out the result says what the window was doing instead.
  static testing::AssertionResult WaitPlaying(int index) {
    Listener* list = listeners_["CZovFileListView"];
    const bool playing = zovtest::WaitUntil([&] {
      for (size_t i = 0; i < list->codes.size(); ++i)
        if (list->codes[i] == ZOV_CODE_PLAYING_INDEX && list->payloads[i].size() == 4 &&
            *reinterpret_cast<const int32_t*>(list->payloads[i].data()) == index)
          return dialog_->IsPlaying();
      return false;
    }, 10000);
    if (playing) return testing::AssertionSuccess();
    testing::AssertionResult failure = testing::AssertionFailure();
    failure << "index " << index << " did not play; the list heard codes";
    for (size_t i = 0; i < list->codes.size(); ++i) {
      failure << " " << list->codes[i];
      if (list->codes[i] == ZOV_CODE_PLAYING_INDEX && list->payloads[i].size() == 4)
        failure << "(" << *reinterpret_cast<const int32_t*>(list->payloads[i].data()) << ")";
    }
    CZovFileListStore* store = CZovFileListStore::GetInstance();
    failure << "; playing " << dialog_->IsPlaying() << ", starting " << dialog_->IsStarting()
            << ", opening " << dialog_->IsOpening() << ", loader busy " << store->Loading()
            << ", current index " << store->GetCurrentIndex() << " of " << store->Count();
    return failure;
  }

  static inline QApplication* app_ = nullptr;
  static inline CZovSettings* settings_ = nullptr;
  static inline CZovLeftTab* panel_ = nullptr;
  static inline CPlayDialog* dialog_ = nullptr;
  static inline std::map<std::string, Listener*> listeners_;
  static inline int64_t lastClick_ = 0;
};

TEST_F(PlayWindowTest, NextAndPreviousFollowTheListAndQuickClicksAreDropped) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) store->AddFile(Clip("list/" + std::string(name)), -1, 0);
  ASSERT_EQ(store->Count(), 3);
  store->SelectIndex(0);
  Click(kIdPlay);
  ASSERT_TRUE(WaitPlaying(0));
  // A second "next" right after the first acts once.
  Click(kIdNext);
  dialog_->SendMessage(ZOVWM_CLICK, kIdNext, 0);
  lastClick_ = NowMs();  // the dropped click still moves the filter's time
  ASSERT_TRUE(WaitPlaying(1));
  EXPECT_EQ(store->GetCurrentIndex(), 1);
  // Previous twice: from b to a, then from the first to the last.
  Click(kIdPrevious);
  ASSERT_TRUE(WaitPlaying(0));
  Click(kIdPrevious);
  ASSERT_TRUE(WaitPlaying(2));
  EXPECT_EQ(store->GetCurrentIndex(), 2);
  // Next on the last file stops, and every listener hears it.
  for (auto& [name, listener] : listeners_) listener->codes.clear();
  Click(kIdNext);
  const int stopsHeard = listeners_["CZovCefBrowers"]->Count(ZOV_CODE_STOPPED);
  ASSERT_TRUE(zovtest::WaitUntil([] { return !dialog_->IsPlaying(); }));
  EXPECT_EQ(stopsHeard, 1);
  EXPECT_EQ(listeners_["CZovFileListView"]->Count(ZOV_CODE_STOPPED), 1);
  // The main window hears it too, and clears the title that named the file.
  EXPECT_EQ(listeners_["CZovPlayDlg"]->Count(ZOV_CODE_STOPPED), 1);
  EXPECT_EQ(dialog_->TimeText(), kZeroTimeText);

  // The list deletes the playing file right after a click (say the "next"
  // that started it): its stop is not dropped by the one-second rule.
  Click(kIdNext);  // from the last file: stopped, nothing to play
  store->SelectIndex(0);
  Click(kIdPlay);
  ASSERT_TRUE(WaitPlaying(0));
  Click(kIdNext);
  ASSERT_TRUE(WaitPlaying(1));
  // However long the start took, the stop comes right after a click.
  dialog_->SendMessage(ZOVWM_CLICK, kIdVolume, 0);  // no command, but a click
  CZovWndManager::GetInstance()->PostTo(kZovPlayDialogName, ZOVWM_CLICK, kIdStop, 0);
  EXPECT_TRUE(zovtest::WaitUntil([] { return !dialog_->IsPlaying(); }, 3000));
}

TEST_F(PlayWindowTest, AFileThatIsNoRecordingIsSkippedEvenWhenItFailsAtOnce) {
  // 1.mp4 and 3.mp4 play; 2.mp4 is 1.5 MB of noise that fails to open well
  // within a second of the "next" click that chose it.
  const std::string folder = zovtest::TempDir() + "/noise";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(Clip("list/a.mp4"), folder + "/1.mp4", std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(Clip("list/b.mp4"), folder + "/3.mp4", std::filesystem::copy_options::overwrite_existing);
  {
    std::FILE* noise = std::fopen((folder + "/2.mp4").c_str(), "wb");
    ASSERT_NE(noise, nullptr);
    uint32_t x = 12345;
    for (int i = 0; i < 1500000; ++i) std::fputc(static_cast<int>((x = x * 1103515245u + 12345u) >> 24), noise);
    std::fclose(noise);
  }
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  for (const char* name : {"3.mp4", "2.mp4", "1.mp4"}) store->AddFile(folder + "/" + name, -1, 0);
  ASSERT_EQ(store->Count(), 3);
  PlayFile(folder + "/1.mp4");
  ASSERT_TRUE(WaitPlaying(0));
  Click(kIdNext);
  ASSERT_TRUE(WaitPlaying(2)) << "playback stopped at the file that is no recording";
  EXPECT_EQ(store->GetCurrentIndex(), 2);
  lastClick_ = NowMs();  // the retried "next" moved the filter's time
}

TEST_F(PlayWindowTest, SeekingTwiceToOneSecondSeeksOnceAndTheLengthGrowsPastTheEnd) {
  PlayFile(Clip("pattern.mp4"));
  ASSERT_TRUE(WaitPlaying(0));
  CZovMediaPlay* play = CZovMediaPlay::Instance();
  const int seeksBefore = dialog_->SeekCount();
  dialog_->SendMessage(ZOVWM_SEEKDROP, kIdSeekBar, 150);
  dialog_->SendMessage(ZOVWM_SEEKDROP, kIdSeekBar, 150);
  EXPECT_EQ(dialog_->SeekCount(), seeksBefore + 1);
  EXPECT_EQ(play->players[0]->seeks.load(), 1);
  // The arrow keys, relayed by the left panel, step 10 s and stop at the start.
  panel_->SendMessage(WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_EQ(play->players[0]->seeks.load(), 2);
  EXPECT_NEAR(play->GetPositionSeconds(), 6, 2);
  panel_->SendMessage(WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_LE(play->GetPositionSeconds(), 1);
  panel_->SendMessage(WM_KEYDOWN, VK_RIGHT, 0);
  EXPECT_NEAR(play->GetPositionSeconds(), 10, 1);
  EXPECT_EQ(play->players[0]->seeks.load(), 4);
  // Repeats of a held key queued behind that seek are dropped; a new press is not.
  panel_->SendMessage(WM_KEYDOWN, VK_RIGHT, kKeyRepeatFlag);
  panel_->SendMessage(WM_KEYDOWN, VK_RIGHT, kKeyRepeatFlag);
  EXPECT_EQ(play->players[0]->seeks.load(), 4);
  panel_->SendMessage(WM_KEYDOWN, VK_LEFT, 0);
  EXPECT_EQ(play->players[0]->seeks.load(), 5);
  // The recording reports 5 s but plays on at second 20: the tick shows 35 s.
  // The length is shortened once the position is there, so the engine
  // reads the seek against the file's true length.
  play->SeekAll(20000);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play->GetPositionSeconds() >= 20; }, 3000));
  play->SetDurationSeconds(5);
  ASSERT_TRUE(zovtest::WaitUntil([] { return dialog_->TimeText().endsWith("/00:00:35"); }, 3000))
      << dialog_->TimeText().toStdString() << ", state " << play->GetState();
  EXPECT_EQ(play->GetDurationSeconds(), 35);
}

TEST_F(PlayWindowTest, TextLogShowsItsTrackAndPlaysNothingButATxtFolderPlays) {
  const std::string log = Clip("logs/drive.txt");
  PlayFile(log);
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  ASSERT_TRUE(zovtest::WaitUntil([] { return listeners_["CZovCefBrowers"]->Count(ZOV_CODE_DRAW_TRACK) == 1; }));
  EXPECT_GT(store->CurrentPointCount(), 0);
  EXPECT_FALSE(dialog_->IsPlaying());
  EXPECT_TRUE(dialog_->IsOpening());
  Click(kIdStop);
  // A recording in a folder whose name holds "txt" plays.
  PlayFile(Clip("txtclips/clip.mp4"));
  ASSERT_TRUE(WaitPlaying(store->FindIndex(Clip("txtclips/clip.mp4"))));
}

TEST_F(PlayWindowTest, UserInterfaceKeepsRunningWhileTheStartUpScansAndAStopWins) {
  // A scan that lasts until the test lets it end.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> scanning{false};
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetExtractor([&](const std::string& path, std::string* points, std::string* sensors) {
    scanning = true;
    released.wait();
    return RealExtract(path, points, sensors);
  });
  zovtest::Watchdog watchdog(60);
  PlayFile(Clip("list/a.mp4"));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return scanning.load(); }));
  EXPECT_TRUE(dialog_->IsStarting());
  // Ticks, stop, seek and space all return at once while the scan runs; the
  // stop, the last request, wins: the scan's file never plays.
  const int64_t before = NowMs();
  dialog_->SendMessage(WM_TIMER, kTickTimerId, 0);
  dialog_->SendMessage(ZOVWM_SEEKDROP, kIdSeekBar, 100);
  dialog_->SendMessage(WM_KEYUP, VK_SPACE, 0);
  lastClick_ = 0;
  Click(kIdStop);
  bool timerFired = false;
  QTimer::singleShot(20, [&] { timerFired = true; });
  EXPECT_TRUE(zovtest::WaitUntil([&] { return timerFired; }, 1000));
  EXPECT_LT(NowMs() - before, 1000);
  EXPECT_FALSE(dialog_->IsStarting());
  EXPECT_FALSE(dialog_->IsPlaying());
  release.set_value();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !store->Loading(); }));
  app_->processEvents();
  EXPECT_FALSE(dialog_->IsPlaying());
  EXPECT_EQ(listeners_["CZovFileListView"]->Count(ZOV_CODE_PLAYING_INDEX), 0);
  store->SetExtractor(RealExtract);
}

TEST_F(PlayWindowTest, ARowChosenWhileTheStartUpScansPlaysAndARemovedOneDoesNot) {
  // Each scan lasts until the test lets it end.
  std::promise<void> release[2];
  std::shared_future<void> released[2] = {release[0].get_future().share(), release[1].get_future().share()};
  std::atomic<int> scans{0};
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetExtractor([&](const std::string& path, std::string* points, std::string* sensors) {
    released[std::min(scans++, 1)].wait();
    return RealExtract(path, points, sensors);
  });
  zovtest::Watchdog watchdog(60);
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) store->AddFile(Clip("list/" + std::string(name)), -1, 0);
  Listener* list = listeners_["CZovFileListView"];
  // a starts; meanwhile c is double-clicked in the list (which makes it
  // current and asks for it to be played): the later request replaces a's.
  PlayFile(Clip("list/a.mp4"));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return scans.load() == 1; }));
  store->SelectIndex(2);
  CZovWndManager::GetInstance()->SendData(kZovPlayDialogName, ZOV_CODE_STOPPED);
  release[0].set_value();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return scans.load() == 2 && dialog_->IsStarting(); }));
  EXPECT_EQ(list->Count(ZOV_CODE_PLAYING_INDEX), 0);  // a's late result is dropped
  // c is deleted from the list before its scan ends: nothing plays.
  store->RemoveAt(store->FindIndex(Clip("list/c.mp4")));
  release[1].set_value();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !dialog_->IsStarting(); }));
  app_->processEvents();
  EXPECT_FALSE(dialog_->IsPlaying());
  EXPECT_EQ(list->Count(ZOV_CODE_PLAYING_INDEX), 0);
  // Chosen again, a plays and the list is told its row, the current one.
  store->SelectIndex(0);
  CZovWndManager::GetInstance()->SendData(kZovPlayDialogName, ZOV_CODE_STOPPED);
  ASSERT_TRUE(WaitPlaying(0));
  EXPECT_EQ(store->GetCurrentIndex(), 0);
  store->SetExtractor(RealExtract);
}

TEST_F(PlayWindowTest, ShotWithNoFolderAndNothingOpenOnlyAsksForAFolder) {
  settings_->SetScreenshotFolder("");
  const std::string chosen = zovtest::TempDir();
  bool asked = false;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      asked = box->fileMode() == QFileDialog::Directory;
      box->setDirectory(QString::fromStdString(chosen));
      static_cast<QDialog*>(box)->accept();  // QFileDialog hides it
    }
  });
  answer.start(50);
  EXPECT_FALSE(dialog_->TakeScreenshot().has_value());
  EXPECT_TRUE(asked);
  EXPECT_EQ(settings_->ScreenshotFolder(), chosen + "/");
  EXPECT_EQ(listeners_["CZovPlaySetup"]->Count(ZOV_CODE_SHOT_FOLDER), 1);
  EXPECT_TRUE(std::filesystem::is_empty(chosen));
}

TEST_F(PlayWindowTest, OpenFileStartsInTheFolderOfTheCurrentFile) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->AddFile(Clip("list/a.mp4"), -1, 0);
  ASSERT_EQ(store->SelectIndex(0), 0);
  std::string shown;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      shown = box->directory().absolutePath().toStdString();
      static_cast<QDialog*>(box)->reject();
    }
  });
  answer.start(50);
  Click(kIdOpenFile);
  EXPECT_EQ(shown, std::filesystem::path(Clip("list/a.mp4")).parent_path().string());
  EXPECT_FALSE(dialog_->IsStarting());
}

TEST_F(PlayWindowTest, ShotIsThePictureAsRenderedEvenUnderAnotherWindow) {
  if (!panel_->VideoPanes()) GTEST_SKIP() << "the left panel holds no video panes";
  const std::string folder = zovtest::TempDir();
  settings_->SetScreenshotFolder(folder);
  PlayFile(Clip("pattern.mp4"));
  ASSERT_TRUE(WaitPlaying(0));
  CZovMediaPlay* play = CZovMediaPlay::Instance();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play->players[0]->scheduler->presentedVideo > 10; }));
  // A green window over the whole video area.
  QWidget* area = panel_->VideoPanes();
  QWidget cover(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  cover.setStyleSheet("background: rgb(0,255,0)");
  cover.setAutoFillBackground(true);
  cover.setGeometry(QRect(area->mapToGlobal(QPoint(0, 0)), area->size()));
  cover.show();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return cover.isVisible(); }));
  // The screen shows the cover there: a copy from the screen would be green.
  const QPoint middle = area->mapToGlobal(QPoint(area->width() / 4, area->height() / 2));
  ASSERT_TRUE(zovtest::WaitUntil([&] {
    const QImage screen = QApplication::primaryScreen()->grabWindow(0, middle.x(), middle.y(), 1, 1).toImage();
    return screen.pixelColor(0, 0) == QColor(0, 255, 0);
  }));

  const auto path = dialog_->TakeScreenshot();
  ASSERT_TRUE(path.has_value());
  EXPECT_TRUE(std::regex_match(*path, std::regex(folder + "/shot_\\d{8}_\\d{6}_\\d+\\.bmp")));
  QImage shot(QString::fromStdString(*path), "BMP");
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), area->size());
  // The pane keeps 16:9 in the area; sample a quarter in from each side of
  // its middle row: red on the left, blue on the right, never the cover's green.
  const int y = shot.height() / 2;
  const QColor left = shot.pixelColor(shot.width() / 4, y);
  const QColor right = shot.pixelColor(shot.width() * 3 / 4, y);
  EXPECT_GT(left.red(), 200);
  EXPECT_LT(left.green(), 60);
  EXPECT_LT(left.blue(), 60);
  EXPECT_GT(right.blue(), 200);
  EXPECT_LT(right.green(), 60);
  EXPECT_LT(right.red(), 60);

  // A 4:3 recording is saved at its shape: black bars beside it, as on screen.
  Click(kIdStop);
  PlayFile(Clip("list/a.mp4"));
  ASSERT_TRUE(WaitPlaying(CZovFileListStore::GetInstance()->FindIndex(Clip("list/a.mp4"))));
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play->players[0]->scheduler->presentedVideo > 10; }));
  const auto narrowPath = dialog_->TakeScreenshot();
  ASSERT_TRUE(narrowPath.has_value());
  QImage narrow(QString::fromStdString(*narrowPath), "BMP");
  ASSERT_FALSE(narrow.isNull());
  const QRect pane = panel_->VideoPanes()->findChildren<CZovPlayerView*>().value(0)->geometry();
  const int barWidth = (pane.width() - pane.height() * 4 / 3) / 2;
  ASSERT_GT(barWidth, 20);
  EXPECT_EQ(narrow.pixelColor(pane.x() + barWidth / 2, pane.center().y()), QColor(Qt::black));
  int lit = 0;
  for (int x = pane.x() + barWidth + 4; x < pane.right() - barWidth - 4; ++x)
    lit += narrow.pixelColor(x, pane.center().y()) != QColor(Qt::black);
  EXPECT_GT(lit, (pane.width() - 2 * barWidth) / 2) << "the picture fills the space between the bars";
}

TEST_F(PlayWindowTest, DropsVolumeSpaceAndTooltipsActAtOnce) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  CZovMediaPlay* play = CZovMediaPlay::Instance();
  // A drop of a non-media file alone adds and plays nothing.
  dialog_->DropFiles({zovtest::TempDir() + "/notes.doc"});
  EXPECT_EQ(store->Count(), 0);
  EXPECT_FALSE(dialog_->IsStarting());
  // A drop adds the media files and plays the first dropped path.
  dialog_->DropFiles({Clip("list/b.mp4"), zovtest::TempDir() + "/notes.doc", Clip("list/a.mp4")});
  EXPECT_EQ(store->Count(), 2);
  ASSERT_TRUE(WaitPlaying(store->FindIndex(Clip("list/b.mp4"))));

  // The volume is stored and applied on drag and on drop alike.
  for (const auto& [message, value] : {std::pair<UINT, int>{ZOVWM_SEEKDRAG, 7}, {ZOVWM_SEEKDROP, 23}}) {
    dialog_->SendMessage(message, kIdVolume, value);
    CZovIniFile ini;
    ASSERT_TRUE(ini.SetFile(settings_->SettingsFile()));
    EXPECT_EQ(ini.ReadInt("setup", "volume", -1), value) << message;
    EXPECT_EQ(settings_->Volume(), value) << message;
    EXPECT_EQ(play->volume, value) << message;
  }

  // Space pauses and resumes; the play button shows what a click would do.
  const std::pair<int, int> steps[] = {{2, 0}, {1, 1}};  // state, play button look
  for (const auto& [state, look] : steps) {
    dialog_->SendMessage(WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ(play->GetState(), state);
    EXPECT_EQ(dialog_->Button(kIdPlay)->stateIndex, look);
  }
  // Stopped, space never starts playback.
  Click(kIdStop);
  ASSERT_FALSE(dialog_->IsPlaying());
  dialog_->SendMessage(WM_KEYUP, VK_SPACE, 0);
  EXPECT_FALSE(dialog_->IsStarting());
  EXPECT_FALSE(dialog_->IsPlaying());

  // A language change followed by the relabel message re-sets the tooltips.
  const int first = settings_->LanguageIndex();
  const QString before = dialog_->Button(kIdPlay)->toolTip();
  int other = -1;
  for (int i = 0; i < int(settings_->Languages().size()) && other < 0; ++i) {
    settings_->SetLanguage(i);
    if (settings_->GetQText("play_tip") != before) other = i;
  }
  ASSERT_GE(other, 0) << "no language with another play tooltip";
  EXPECT_EQ(dialog_->Button(kIdPlay)->toolTip(), before);
  dialog_->SendMessage(ZOVWM_RELABEL, 0, 0);
  for (int id : {kIdPrevious, kIdPlay, kIdNext, kIdStop, kIdOpenFile, kIdSound, kIdScreenshot})
    EXPECT_NE(dialog_->Button(id)->toolTip(), "") << id;
  EXPECT_EQ(dialog_->Button(kIdPlay)->toolTip(), settings_->GetQText("play_tip"));
  EXPECT_NE(dialog_->Button(kIdPlay)->toolTip(), before);
  settings_->SetLanguage(first);
  dialog_->SendMessage(ZOVWM_RELABEL, 0, 0);
}

// Requests made while a start reads its track replace it: a run of next and
// previous clicks (each let through by the one-second rule) ends with the
// file the last one chose playing, not with the file of the first. Then the
// burst of the report: thirty clicks on the buttons 100 ms apart end playing.
TEST_F(PlayWindowTest, TheLastOfQuickNextAndPreviousRequestsPlays) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  // Each track read takes 1.5 s unless its load is stopped.
  store->SetExtractor([](const std::string& path, std::string* points, std::string* sensors,
                         const ZovScanStop& stop) {
    for (int i = 0; i < 150 && !stop(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return RealExtract(path, points, sensors);
  });
  zovtest::Watchdog watchdog(60);
  for (const char* name : {"a.mp4", "b.mp4", "c.mp4"}) store->AddFile(Clip("list/" + std::string(name)), -1, 0);
  store->SelectIndex(0);
  Click(kIdPlay);
  ASSERT_TRUE(WaitPlaying(0));
  // next, previous, next, previous: from a to b, a, b and back to a; every
  // click comes while the start of the one before still reads its track.
  int expected = 0;
  for (int id : {kIdNext, kIdPrevious, kIdNext, kIdPrevious}) {
    Click(id);
    expected += id == kIdNext ? 1 : -1;
    EXPECT_TRUE(dialog_->IsStarting());
  }
  ASSERT_TRUE(WaitPlaying(expected));
  EXPECT_EQ(store->GetCurrentIndex(), expected);
  EXPECT_EQ(dialog_->Button(kIdPlay)->stateIndex, 1);  // the pause look

  // Thirty clicks on the real buttons, next and previous by turns.
  store->SetExtractor(RealExtract);
  Listener* list = listeners_["CZovFileListView"];
  list->codes.clear();
  list->payloads.clear();
  CZovButton* next = dialog_->Button(kIdNext);
  CZovButton* previous = dialog_->Button(kIdPrevious);
  ASSERT_TRUE(zovtest::WaitUntil([] { return NowMs() - lastClick_ >= kCommandGapMs + 10; }));
  for (int i = 0; i < 30; ++i) {
    QTest::mouseClick(i % 2 ? previous : next, Qt::LeftButton);
    bool due = false;
    QTimer::singleShot(100, [&] { due = true; });
    ASSERT_TRUE(zovtest::WaitUntil([&] { return due; }));
  }
  lastClick_ = NowMs();
  CZovMediaPlay* play = CZovMediaPlay::Instance();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !dialog_->IsStarting() && play->GetState() == 1; }, 10000));
  // The list was last told the row that plays, the current one.
  int told = -1;
  for (size_t i = 0; i < list->codes.size(); ++i)
    if (list->codes[i] == ZOV_CODE_PLAYING_INDEX && list->payloads[i].size() == 4)
      told = *reinterpret_cast<const int32_t*>(list->payloads[i].data());
  EXPECT_EQ(told, store->GetCurrentIndex());
  EXPECT_EQ(dialog_->Button(kIdPlay)->stateIndex, 1);
  const int64_t shown = play->players[0]->scheduler->presentedVideo;
  EXPECT_TRUE(zovtest::WaitUntil([&] { return play->players[0]->scheduler->presentedVideo > shown + 15; }, 3000))
      << "the file is not playing on";
}

// The end of a file goes on with the next one (continuous play) even while
// the user keeps clicking: the program's own "next" is no click, so the
// one-second rule does not drop it and leave the window stopped with the
// play command doing nothing.
TEST_F(PlayWindowTest, TheEndOfAFileGoesOnWhileTheUserKeepsClicking) {
  ASSERT_EQ(settings_->PlayModeIndex(), 0);  // continuous
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  for (const char* name : {"1.mp4", "2.mp4"}) store->AddFile(Clip("short/" + std::string(name)), -1, 0);
  store->SelectIndex(0);
  Click(kIdPlay);
  ASSERT_TRUE(WaitPlaying(0));
  // Clicks on the sound button every 300 ms across the end of the first file.
  const bool soundOff = dialog_->Button(kIdSound)->stateIndex != 0;
  bool next = false;
  for (const int64_t end = NowMs() + 8000; NowMs() < end && !next;) {
    dialog_->SendMessage(ZOVWM_CLICK, kIdSound, 0);
    bool due = false;
    QTimer::singleShot(300, [&] { due = true; });
    ASSERT_TRUE(zovtest::WaitUntil([&] { return due; }));
    next = store->GetCurrentIndex() == 1 && dialog_->IsPlaying() && !dialog_->IsStarting();
  }
  lastClick_ = NowMs();
  EXPECT_TRUE(next) << "stopped at the end of the first file, opening " << dialog_->IsOpening();
  if ((dialog_->Button(kIdSound)->stateIndex != 0) != soundOff) Click(kIdSound);
}

// Arrow presses 100 ms apart, as a user steps through a recording: each
// press returns at once (the seek is carried out by the engine's threads),
// and a press while paused shows the picture of the new position and stays
// paused.
TEST_F(PlayWindowTest, ArrowPressesNeverStallTheWindowAndAPausedSeekShowsItsPicture) {
  PlayFile(Clip("pattern.mp4"));
  ASSERT_TRUE(WaitPlaying(0));
  CZovMediaPlay* play = CZovMediaPlay::Instance();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play->players[0]->scheduler->presentedVideo > 5; }));
  std::vector<int64_t> pressMs;
  int64_t longestGap = 0, lastBeat = NowMs();
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] {
    longestGap = std::max<int64_t>(longestGap, NowMs() - lastBeat);
    lastBeat = NowMs();
  });
  heartbeat.start(5);
  for (int i = 0; i < 50; ++i) {
    const int64_t start = NowMs();
    panel_->SendMessage(WM_KEYDOWN, (i / 3) % 2 ? VK_LEFT : VK_RIGHT, 0);
    pressMs.push_back(NowMs() - start);
    bool due = false;
    QTimer::singleShot(100, [&] { due = true; });
    ASSERT_TRUE(zovtest::WaitUntil([&] { return due; }));
  }
  heartbeat.stop();
  std::sort(pressMs.begin(), pressMs.end());
  std::printf("50 arrow presses 100 ms apart: press median %lld ms, longest %lld ms; longest unanswered %lld ms\n",
              static_cast<long long>(pressMs[25]), static_cast<long long>(pressMs.back()),
              static_cast<long long>(longestGap));
  EXPECT_LT(pressMs.back(), 100);
  EXPECT_EQ(play->players[0]->seeks.load(), 50);

  // Paused: a press shows the new position's picture and stays paused.
  dialog_->SendMessage(WM_KEYUP, VK_SPACE, 0);
  ASSERT_EQ(play->GetState(), 2);
  CZovBaseCheduler* scheduler = play->players[0]->scheduler.get();
  // The last press may still be carried out when the pause comes; its
  // picture is shown first, paused.
  const int from = play->GetPositionSeconds();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return std::abs(scheduler->lastVideoMediaMs - from * 1000) <= 1100; }, 3000))
      << "paused at " << from << " s showing " << scheduler->lastVideoMediaMs << " ms";
  const int64_t shown = scheduler->presentedVideo;
  const int to = from + kStepSeekSeconds < play->GetDurationSeconds() ? from + kStepSeekSeconds : from - kStepSeekSeconds;
  panel_->SendMessage(WM_KEYDOWN, to > from ? VK_RIGHT : VK_LEFT, 0);
  EXPECT_EQ(play->GetPositionSeconds(), to);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return scheduler->presentedVideo > shown; }, 3000));
  EXPECT_NEAR(scheduler->lastVideoMediaMs, to * 1000, 1100);
  EXPECT_TRUE(zovtest::StaysFalse([&] { return scheduler->presentedVideo > shown + 1; }, 300));
  EXPECT_EQ(play->GetState(), 2);
  EXPECT_EQ(dialog_->Button(kIdPlay)->stateIndex, 0);  // still the play look
}

// A card of two consecutive 2 s moments from `hour` o'clock, each a front
// and a rear file, named as a camera names them, read into the library; the
// list index of its first moment row. (The library keeps the cards read
// before: each card's drive has an hour of its own.)
int ScanDriveCard(const std::string& name, const std::string& hour) {
  const std::string card = zovtest::TempDir() + "/" + name;
  const std::string movie = card + "/DCIM/Movie/2024_0517_" + hour;
  std::filesystem::create_directories(card + "/DCIM/Movie");
  const auto copy = std::filesystem::copy_options::overwrite_existing;
  std::filesystem::copy_file(Clip("short/1.mp4"), movie + "0000_001F.MP4", copy);
  std::filesystem::copy_file(Clip("short/2.mp4"), movie + "0000_001R.MP4", copy);
  std::filesystem::copy_file(Clip("short/2.mp4"), movie + "0002_002F.MP4", copy);
  std::filesystem::copy_file(Clip("short/1.mp4"), movie + "0002_002R.MP4", copy);
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->SetLibraryIndexPath(zovtest::TempDir() + "/drive-library.sqlite");
  store->ScanFolders({card}, false);
  const std::string firstLead = movie + "0000_001F.MP4";
  EXPECT_TRUE(zovtest::WaitUntil(
      [&] { return store->FindIndex(firstLead) >= 0 && !store->LibraryProgress().scanning; }, 20000));
  return store->FindIndex(firstLead);
}

TEST_F(PlayWindowTest, AMomentRowPlaysItsDriveWithBothChannelsAndTheSeekBarSpansTheDrive) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  const int first = ScanDriveCard("drivecard", "08");
  ASSERT_GE(first, 0);
  const std::string secondLead = store->PathAt(first + 1);
  ASSERT_NE(secondLead.find("002F"), std::string::npos) << secondLead;
  store->SelectIndex(first);
  Click(kIdPlay);
  ASSERT_TRUE(WaitPlaying(first));

  CZovEngine& engine = CZovEngine::Get();
  EXPECT_TRUE(engine.IsDrive());
  EXPECT_EQ(engine.ChannelCount(), 2) << "front and rear together";
  EXPECT_NEAR(double(engine.LengthMs()), 4000, 200) << "the bar spans both moments";
  EXPECT_EQ(listeners_["CZovCefBrowers"]->Count(ZOV_CODE_DRIVE), 1);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return engine.PresentedCount(0) > 3 && engine.PresentedCount(1) > 3; }, 5000));

  // The second moment plays on without a stop: its row becomes current and
  // the seek bar stands past the middle of the drive.
  const int stopsBefore = listeners_["CZovCefBrowers"]->Count(ZOV_CODE_STOPPED);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return store->GetCurrentIndex() == first + 1; }, 8000));
  EXPECT_EQ(engine.DriveMoment(), 1u);
  EXPECT_TRUE(dialog_->IsPlaying());
  EXPECT_EQ(listeners_["CZovCefBrowers"]->Count(ZOV_CODE_STOPPED), stopsBefore);
  EXPECT_GE(dialog_->SeekBar()->Value(), kSeekSteps / 2);
  EXPECT_GT(listeners_["CZovCefBrowers"]->Count(ZOV_CODE_DRIVE_POSITION), 0);

  // A seek from the map back into the first moment.
  CZovWndManager::GetInstance()->Send<ZOV_CODE_SEEK_DRIVE>(kZovPlayDialogName, ZovDriveTimeRecord{500});
  ASSERT_TRUE(zovtest::WaitUntil([&] { return engine.DriveMoment() == 0u; }, 3000));
  EXPECT_GE(engine.PositionMs(), 400);
  EXPECT_LT(engine.PositionMs(), 2000);

  // The driver keeps only the rear camera: the drive opens again where it
  // was, on that one channel, and plays on.
  CZovSettings::GetInstance()->SetPreferredChannels({"rear"});
  const int drivesBefore = listeners_["CZovCefBrowers"]->Count(ZOV_CODE_DRIVE);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_REPLAY_MOMENT>(kZovPlayDialogName);
  CZovSettings::GetInstance()->SetPreferredChannels({});
  EXPECT_EQ(listeners_["CZovCefBrowers"]->Count(ZOV_CODE_DRIVE), drivesBefore + 1);
  EXPECT_EQ(engine.DriveMoment(), 0u);
  EXPECT_EQ(engine.ChannelCount(), 1);
  EXPECT_GE(engine.PositionMs(), 400);
  EXPECT_TRUE(dialog_->IsPlaying());
}


// The A and B keys mark the drive where it plays (the seek bar and the
// timeline show the marks, the timeline's menu clears them); Ctrl+E's
// window exports the marked range, and says why when it cannot.
TEST_F(PlayWindowTest, MarksBoundTheRangeTheExportWindowWrites) {
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  const int first = ScanDriveCard("markcard", "09");
  ASSERT_GE(first, 0);
  store->SelectIndex(first);
  Click(kIdPlay);
  ASSERT_TRUE(WaitPlaying(first));
  CZovEngine& engine = CZovEngine::Get();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return engine.PositionMs() >= 300; }, 5000));
  Click(kIdPlay);  // pause: the marks are where the position stands
  ASSERT_TRUE(zovtest::WaitUntil([&] { return engine.State() == ZovPlayState::kPaused; }));
  const int64_t a = engine.PositionMs();
  dialog_->SendMessage(WM_KEYDOWN, VK_A, 0);
  CZovWndManager::GetInstance()->Send<ZOV_CODE_SEEK_DRIVE>(kZovPlayDialogName, ZovDriveTimeRecord{3000});
  ASSERT_TRUE(zovtest::WaitUntil([&] { return engine.PositionMs() >= 2900; }, 3000));
  const int64_t b = engine.PositionMs();
  dialog_->SendMessage(WM_KEYDOWN, VK_B, 0);
  EXPECT_EQ(dialog_->Marks(), (ZovAbMarks{a, b}));
  const int64_t length = engine.LengthMs();
  EXPECT_EQ(dialog_->SeekBar()->MarkA(), int(a * kSeekSteps / length));
  EXPECT_EQ(dialog_->SeekBar()->MarkB(), int(b * kSeekSteps / length));
  CZovGsensorView* timeline = panel_->Timeline();
  ASSERT_NE(timeline, nullptr);
  EXPECT_EQ(timeline->MarkA(), a);
  EXPECT_EQ(timeline->MarkB(), b);
  EXPECT_FALSE(timeline->ClockText().isEmpty());

  // Ctrl+E: the range of the marks, written into a folder.
  dialog_->SendMessage(ZOVWM_EXPORT, 0, 0);
  CZovExportWindow* window = dialog_->ExportWindow();
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(window->ExportButton()->isEnabled()) << window->Status()->text().toStdString();
  const ZovExportRequest request = window->Request();
  EXPECT_NEAR(request.to - request.from, (b - a) / 1000.0, 0.01);
  const std::string folder = zovtest::TempDir() + "/exported";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  window->FolderField()->setText(QString::fromStdString(folder));
  window->StartExport();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !window->Running(); }, 20000));
  ASSERT_TRUE(window->LastResult().ok) << window->LastResult().error;
  size_t videos = 0;
  for (const std::string& file : window->LastResult().files) {
    EXPECT_TRUE(std::filesystem::exists(file)) << file;
    if (file.ends_with(".mp4")) ++videos;
  }
  EXPECT_EQ(videos, 2u) << "front and rear";
  EXPECT_EQ(window->Progress()->value(), window->Progress()->maximum());

  // Into a path that is no folder: refused with the reason, nothing written.
  const std::string notFolder = folder + "/2024-05-17.txt";
  std::ofstream(notFolder) << "x";
  window->FolderField()->setText(QString::fromStdString(notFolder));
  window->StartExport();
  ASSERT_TRUE(zovtest::WaitUntil([&] { return !window->Running(); }, 20000));
  EXPECT_FALSE(window->LastResult().ok);
  EXPECT_FALSE(window->LastResult().error.empty());
  EXPECT_TRUE(window->Status()->text().contains(QString::fromStdString(window->LastResult().error)));
  // A language chosen while the window is open relabels it, the status too.
  const int language = settings_->LanguageIndex();
  const QString startText = window->ExportButton()->text();
  for (int i = 0; i < int(settings_->Languages().size()); ++i) {
    settings_->SetLanguage(i);
    if (settings_->GetQText("exportstart") != startText && settings_->GetQText("exportfailed") != "") break;
  }
  ASSERT_NE(settings_->GetQText("exportstart"), startText) << "no language with another export text";
  dialog_->SendMessage(ZOVWM_RELABEL, 0, 0);
  EXPECT_EQ(window->windowTitle(), settings_->GetQText("exporttitle"));
  EXPECT_EQ(window->ExportButton()->text(), settings_->GetQText("exportstart"));
  EXPECT_EQ(window->CancelButton()->text(), settings_->GetQText("exportclose"));
  EXPECT_EQ(window->LayoutBox()->itemText(1), settings_->GetQText("exportfrontonly"));
  EXPECT_TRUE(window->Status()->text().startsWith(settings_->GetQText("exportfailed")));
  EXPECT_TRUE(window->Status()->text().contains(QString::fromStdString(window->LastResult().error)));
  settings_->SetLanguage(language);
  dialog_->SendMessage(ZOVWM_RELABEL, 0, 0);
  EXPECT_EQ(window->ExportButton()->text(), startText);
  window->close();
  // The next export window offers the folder the last export went to.
  dialog_->SendMessage(ZOVWM_EXPORT, 0, 0);
  ASSERT_NE(dialog_->ExportWindow(), nullptr);
  EXPECT_EQ(dialog_->ExportWindow()->FolderField()->text().toStdString(), folder);
  dialog_->ExportWindow()->close();

  // The timeline's menu clears both marks; another drive starts without them.
  CZovWndManager::GetInstance()->Send<ZOV_CODE_SET_MARK>(kZovPlayDialogName,
                                                         ZovDriveMarkRecord{0, ZovMarkAction::kClear});
  EXPECT_EQ(dialog_->Marks(), ZovAbMarks{});
  EXPECT_EQ(dialog_->SeekBar()->MarkA(), -1);
  EXPECT_EQ(timeline->MarkA(), -1);
}

}  // namespace
