// CZovPlaySetup on a virtual X server: the start-up decode mode, language
// switching and its relabelling, the folder chooser, Enter and space, and the
// main window's refusal of a map or decode change while a recording plays.
#include <set>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QDropEvent>
#include <QPointer>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

#include "app/zov_left_tab.h"
#include "app/zov_play_app.h"
#include "app/zov_play_dialog.h"
#include "app/zov_play_dlg.h"
#include "app/zov_play_setup.h"
#include "app/zov_right_tab.h"
#include "engine/zov_media_play.h"
#include "library/zov_library_group.h"
#include "library/zov_library_index.h"
#include "map/zov_cef_browers.h"
#include "shell/zov_wnd_manager.h"
#include "tests/app/app_test_support.h"
#include "tests/common/test_wait.h"
#include "ui/zov_button.h"
#include "ui/zov_combo_box.h"
#include "ui/zov_file_info_view.h"
#include "ui/zov_file_list_view.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_mfc_button.h"
#include "ui/zov_text.h"

namespace {

using apptest::RecordingWnd;

std::string g_exe;

// The parent of the page: records what the page sends on, and counts the key
// events that travel up to it.
class Parent : public RecordingWnd {
 public:
  using RecordingWnd::RecordingWnd;
  int enterKeys = 0;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) ++enterKeys;
  }
};

// Stands in for the main window: keeps the codes sent to it and, for the
// update notice, whether the page had set its flag by then.
class FakeMain : public CZovWnd {
 public:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != ZOVWM_INFO_E) return 0;
    const ZovMsgData* record = ZovMsgRecord(lParam);
    codes.push_back(static_cast<int>(wParam));
    if (record) values.push_back(record->ValueOr<int32_t>(-1));
    if (wParam == ZOV_CODE_UPDATE && page) askedDuringNotice = page->UserAskedForUpdate();
    return 0;
  }
  std::vector<int> codes;
  std::vector<int32_t> values;
  CZovPlaySetup* page = nullptr;
  bool askedDuringNotice = false;
};

std::vector<QString> Items(QComboBox* box) {
  std::vector<QString> out;
  for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i));
  return out;
}

int LanguageIndexOf(CZovSettings* settings, const char* name) {
  const auto& languages = settings->Languages();
  for (size_t i = 0; i < languages.size(); ++i)
    if (languages[i].name == name) return static_cast<int>(i);
  return -1;
}

// Chooses entry `index` of a list as the user does.
void Choose(QComboBox* box, int index) {
  box->setCurrentIndex(index);
  emit box->activated(index);
}

class PlaySetup : public ::testing::Test {
 protected:
  void SetUp() override {
    settings_ = CZovSettings::GetInstance();
    settings_->SetLanguage(LanguageIndexOf(settings_, "english"));
    parent_.resize(340, 724);
    CZovWndManager::GetInstance()->Register(kZovMainWindowName, &main_);
    page_ = new CZovPlaySetup(&parent_);
    page_->resize(340, 724);
    main_.page = page_;
  }
  void TearDown() override {
    delete page_;
    CZovWndManager::GetInstance()->Unregister(kZovMainWindowName);
  }

  CZovSettings* settings_ = nullptr;
  Parent parent_;
  FakeMain main_;
  CZovPlaySetup* page_ = nullptr;
};

TEST_F(PlaySetup, StartSetsSoftwareDecodingInMemoryAndTheFileKeepsItsValue) {
  // The settings file of this program holds decode mode 0 (see main()).
  EXPECT_EQ(settings_->DecodeModeIndex(), 1);
  EXPECT_EQ(CZovMediaPlay::Instance()->decodeMode, 1);
  EXPECT_EQ(page_->DecodeList()->currentIndex(), 1);
  EXPECT_EQ(page_->RememberedDecode(), 1);
  const std::string file = zovtest::Slurp(settings_->SettingsFile());
  EXPECT_NE(file.find("decodemode=0"), std::string::npos);
}

TEST_F(PlaySetup, ShownAndHiddenControlsAndTheUnitNamesAsTheyStand) {
  parent_.show();
  page_->show();
  EXPECT_TRUE(page_->LanguageList()->isVisible());
  EXPECT_TRUE(page_->FolderEdit()->isVisible());
  EXPECT_TRUE(page_->FolderButton()->isVisible());
  for (QWidget* hidden : std::initializer_list<QWidget*>{page_->MapList(), page_->UnitList(), page_->DecodeList(),
                                                         page_->TrackConnectList(), page_->PlayModeList(),
                                                         page_->UpdateButton(), page_->TrackToggle()})
    EXPECT_FALSE(hidden->isVisible()) << hidden->objectName().toStdString();
  EXPECT_EQ(Items(page_->UnitList()), (std::vector<QString>{"KMH", "MPH", "NMH"}));
  EXPECT_EQ(page_->LanguageList()->count(), static_cast<int>(settings_->Languages().size()));
  EXPECT_EQ(page_->LanguageList()->currentIndex(), settings_->LanguageIndex());
  EXPECT_EQ(CZovWndManager::GetInstance()->Find(kZovPlaySetupName), page_);
}

TEST_F(PlaySetup, LanguageSwitchRelabelsAndRefillsEachListWithItsOwnChoice) {
  settings_->SetMap(2);
  settings_->SetTrackConnect(1);
  settings_->SetPlayMode(1);
  const int russian = LanguageIndexOf(settings_, "Russia");
  ASSERT_GE(russian, 0);
  Choose(page_->LanguageList(), russian);

  EXPECT_EQ(settings_->LanguageIndex(), russian);
  ASSERT_FALSE(main_.codes.empty());
  EXPECT_EQ(main_.codes.back(), ZOV_CODE_LANGUAGE);
  struct Expect {
    QComboBox* list;
    int index;
    const char* key;
  } lists[] = {
      {page_->MapList(), 2, "google"},
      {page_->TrackConnectList(), 1, "on"},
      {page_->PlayModeList(), 1, "single"},
      {page_->DecodeList(), 1, "decode_soft"},
  };
  for (const auto& e : lists) {
    EXPECT_EQ(e.list->currentIndex(), e.index) << e.key;
    EXPECT_EQ(e.list->currentText(), settings_->GetQText(e.key)) << e.key;
  }
  // The main window's relabel reaches the page through the panel (4028).
  page_->SendMessage(ZOVWM_RELABEL);
  EXPECT_EQ(page_->SectionTitle(0)->text, settings_->GetQText("basesetup"));
  EXPECT_EQ(page_->SectionTitle(2)->text, settings_->GetQText("softinfo"));
  EXPECT_EQ(page_->UpdateButton()->text(), settings_->GetQText("softup"));
  EXPECT_NE(page_->SectionTitle(0)->text, QString("Basic settings"));
}

TEST_F(PlaySetup, ChosenFolderGetsExactlyOneTrailingSlash) {
  const struct {
    const char* picked;
    const char* stored;
  } cases[] = {{"/home/u/shots", "/home/u/shots/"}, {"/home/u/shots/", "/home/u/shots/"}, {"/", "/"}};
  QString title;
  for (const auto& c : cases) {
    page_->chooseFolder = [&](const QString& t, const QString&) {
      title = t;
      return QString(c.picked);
    };
    page_->SendMessage(ZOVWM_CLICK, CZovPlaySetup::kFolderButton, 0);
    EXPECT_EQ(settings_->ScreenshotFolder(), c.stored);
    EXPECT_EQ(page_->FolderEdit()->text().toStdString(), c.stored);
    EXPECT_NE(zovtest::Slurp(settings_->SettingsFile()).find(std::string("dirpath=") + c.stored), std::string::npos);
  }
  EXPECT_EQ(title, settings_->GetQText("setfilepath"));
  // What the edit shows is what is stored: typing there cannot make a folder
  // appear chosen that the screenshots never go to.
  QTest::keyClicks(page_->FolderEdit(), "abc");
  EXPECT_EQ(page_->FolderEdit()->text().toStdString(), settings_->ScreenshotFolder());
  page_->chooseFolder = [](const QString&, const QString&) { return QString(); };  // cancelled
  page_->SendMessage(ZOVWM_CLICK, CZovPlaySetup::kFolderButton, 0);
  EXPECT_EQ(settings_->ScreenshotFolder(), "/");
  // Code 2019 shows the settings' folder again.
  page_->FolderEdit()->setText("typed");
  CZovWndManager::GetInstance()->SendData(kZovPlaySetupName, ZOV_CODE_SHOT_FOLDER);
  EXPECT_EQ(page_->FolderEdit()->text(), "/");
}

TEST_F(PlaySetup, EnterDoesNothingAndSpaceGoesToTheParent) {
  parent_.show();
  page_->show();
  QLineEdit* edit = page_->FolderEdit();
  edit->setFocus();
  edit->setText("/x/");
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Enter);
  EXPECT_EQ(parent_.enterKeys, 0);
  EXPECT_EQ(edit->text(), "/x/");
  QTest::keyClick(page_->LanguageList(), Qt::Key_Return);
  EXPECT_EQ(parent_.enterKeys, 0);

  parent_.got.clear();
  QTest::keyClick(edit, Qt::Key_Space);
  EXPECT_EQ(parent_.Count(WM_KEYUP), 1);
  EXPECT_EQ(edit->text(), "/x/");
}

TEST_F(PlaySetup, PutsItsListsBackWhenTheMainWindowRefuses) {
  Choose(page_->MapList(), 1);
  ASSERT_EQ(main_.codes.back(), ZOV_CODE_MAP);
  EXPECT_EQ(main_.values.back(), 1);
  page_->SendMessage(ZOVWM_MAPCHOICE, kZovChoiceAnswer, kZovChoiceRefused);  // refused
  EXPECT_EQ(page_->MapList()->currentIndex(), page_->RememberedMap());
  Choose(page_->MapList(), 2);
  page_->SendMessage(ZOVWM_MAPCHOICE, kZovChoiceAnswer, kZovChoiceAccepted);  // accepted
  EXPECT_EQ(page_->RememberedMap(), 2);

  Choose(page_->DecodeList(), 0);
  EXPECT_EQ(main_.codes.back(), ZOV_CODE_DECODE_MODE);
  page_->SendMessage(ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceRefused);
  EXPECT_EQ(page_->DecodeList()->currentIndex(), 1);
  EXPECT_EQ(CZovMediaPlay::Instance()->decodeMode, 1);
  Choose(page_->DecodeList(), 2);
  page_->SendMessage(ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceAccepted);
  EXPECT_EQ(CZovMediaPlay::Instance()->decodeMode, 2);
  page_->SendMessage(ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceRefused);  // back to mode 2, not to the start's 1
  EXPECT_EQ(page_->DecodeList()->currentIndex(), 2);
}

TEST_F(PlaySetup, UpdateButtonFlagIsSetWhenTheNoticeArrives) {
  page_->UpdateButton()->click();
  ASSERT_EQ(main_.codes.back(), ZOV_CODE_UPDATE);
  EXPECT_TRUE(main_.askedDuringNotice);
}

TEST_F(PlaySetup, DroppedFilesGoToTheStoreAndTheFirstOneIsPlayed) {
  apptest::RecordingWnd play;
  CZovWndManager::GetInstance()->Register(kZovPlayDialogName, &play);
  const std::string dir = zovtest::TempDir();
  zovtest::Spit(dir + "/route.txt", "not a recording");
  zovtest::Spit(dir + "/notes.doc", "not a recording");
  auto drop = [&](const std::vector<std::string>& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    mime.setUrls(urls);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the page: the application routes drops only during a real drag.
    static_cast<QObject*>(page_)->event(&event);
  };
  drop({dir + "/route.txt", dir + "/notes.doc"});
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  const int index = store->FindIndex(dir + "/route.txt");
  ASSERT_GE(index, 0);
  EXPECT_LT(store->FindIndex(dir + "/notes.doc"), 0);
  EXPECT_EQ(store->GetCurrentIndex(), index);
  ASSERT_EQ(parent_.Count(ZOVWM_LISTSELECT), 1);
  EXPECT_EQ(parent_.got.back(), (apptest::Received{ZOVWM_LISTSELECT, 0, index}));
  EXPECT_EQ(play.Count(ZOVWM_INFO_E), 1);

  drop({dir + "/notes.doc"});  // not taken: the list is told to select nothing
  EXPECT_EQ(parent_.got.back(), (apptest::Received{ZOVWM_LISTSELECT, 0, 0}));
  EXPECT_EQ(play.Count(ZOVWM_INFO_E), 1);
  CZovWndManager::GetInstance()->Unregister(kZovPlayDialogName);
}

TEST_F(PlaySetup, DriveGapBoxShowsAndStoresTheLibrarysSetting) {
  CZovFileListStore::DeleteInstance();  // a store of this test's own index
  const std::string db = zovtest::TempDir() + "/gap/library.sqlite";
  CZovFileListStore::GetInstance()->SetLibraryIndexPath(db);
  parent_.show();
  page_->show();
  QSpinBox* box = page_->DriveGapBox();
  EXPECT_TRUE(box->isVisible());
  EXPECT_EQ(box->suffix(), " s");
  box->setValue(600);
  // Stored by the store's scan thread; the page never waits for it.
  EXPECT_TRUE(zovtest::WaitUntil([&] { return ZovPeekLibrarySetting(db, kZovDriveGapSetting) == "600"; }, 20000));
  // A page made later, even by a store started afresh, shows the stored gap.
  delete page_;
  CZovFileListStore::DeleteInstance();
  CZovFileListStore::GetInstance()->SetLibraryIndexPath(db);
  page_ = new CZovPlaySetup(&parent_);
  main_.page = page_;
  EXPECT_EQ(page_->DriveGapBox()->value(), 600);
  CZovFileListStore::DeleteInstance();
}

TEST_F(PlaySetup, SectionTitlesFollowTheWidth) {
  parent_.show();
  page_->show();
  page_->resize(680, 724);
  EXPECT_EQ(page_->SectionTitle(1)->geometry(), QRect(QPoint(0, 300), QPoint(679, 367)));
  page_->resize(340, 724);
  EXPECT_EQ(page_->SectionTitle(1)->geometry(), settings_->LoadRect(10234).ToQRect());
}

TEST(SupportLines, VariantByTheFirstWordTheLanguageNameContains) {
  const struct {
    const char* name;
    ZovSupportVariant variant;
  } cases[] = {
      {"chineses", ZovSupportVariant::kChinese}, {"taiwan", ZovSupportVariant::kOther},
      {"Traditional", ZovSupportVariant::kChinese}, {"english", ZovSupportVariant::kOther},
      {"jap", ZovSupportVariant::kOther},        {"France", ZovSupportVariant::kEnglish},
      {"Deutsch", ZovSupportVariant::kEnglish},  {"korean", ZovSupportVariant::kEnglish},
      {"Russia", ZovSupportVariant::kOther},     {"english France", ZovSupportVariant::kOther},
      {"france", ZovSupportVariant::kOther},     {"Deutsch chineses", ZovSupportVariant::kChinese},
  };
  for (const auto& c : cases) EXPECT_EQ(ZovSupportVariantFor(c.name), c.variant) << c.name;
}

// The main window of the frame refuses a map change while the play window
// plays; the setup page puts its list back.
TEST(PlaySetupInFrame, MapAndDecodeChoicesRefusedWhilePlaying) {
  auto& makers = ZovPanelWindowMakers();
  apptest::TestPlayWindow* play = nullptr;
  makers.makePlayWindow = [&](QWidget* parent) { return play = new apptest::TestPlayWindow(parent); };
  makers.makeSetupPage = [](QWidget* parent) { return new CZovPlaySetup(parent); };
  CZovSettings* settings = CZovSettings::GetInstance();
  settings->SetMap(0);
  CZovPlayDlg dlg;
  dlg.exitProcess = [](int) {};
  dlg.Create();
  auto* page = dynamic_cast<CZovPlaySetup*>(dlg.RightTab()->SetupPage());
  ASSERT_NE(page, nullptr);
  ASSERT_NE(play, nullptr);
  EXPECT_EQ(page->RememberedMap(), 0);

  play->playing = true;
  Choose(page->MapList(), 2);
  EXPECT_EQ(settings->MapIndex(), 0);
  EXPECT_EQ(page->MapList()->currentIndex(), 0);
  Choose(page->DecodeList(), 0);
  EXPECT_EQ(page->DecodeList()->currentIndex(), 1);
  EXPECT_EQ(settings->DecodeModeIndex(), 1);

  play->playing = false;
  Choose(page->MapList(), 2);
  EXPECT_EQ(settings->MapIndex(), 2);
  EXPECT_EQ(page->RememberedMap(), 2);

  // A language change goes round the main window (2001) and comes back to
  // the page's section titles through the panel (4028).
  const QString before = page->SectionTitle(1)->text;
  Choose(page->LanguageList(), LanguageIndexOf(settings, "chineses"));
  EXPECT_EQ(page->SectionTitle(1)->text, settings->GetQText("softserver"));
  EXPECT_NE(page->SectionTitle(1)->text, before);
  Choose(page->LanguageList(), LanguageIndexOf(settings, "english"));
  makers = ZovPanelWindows{};
}

// The program's own setup page and file information view in the frame:
// Ctrl+F makes the view once, then shows and hides that same window; its
// close button has the main window delete it.
// The main window with the program's own panel windows, shown and active.
class OwnFrame {
 public:
  OwnFrame() {
    ZovInstallPanelWindows();
    dlg.exitProcess = [](int) {};
    dlg.Create();
    dlg.show();
    dlg.activateWindow();
  }
  ~OwnFrame() { ZovPanelWindowMakers() = ZovPanelWindows{}; }
  bool Active() { return QTest::qWaitForWindowActive(&dlg); }
  // Ctrl+F as the user presses it; the view it shows.
  CFileInfoView* ShowInfo() {
    QTest::keyClick(&dlg, Qt::Key_F, Qt::ControlModifier);
    return dynamic_cast<CFileInfoView*>(dlg.FileInfoWindow());
  }
  CPlayDialog* Play() const { return dynamic_cast<CPlayDialog*>(dlg.LeftTab()->PlayWindow()); }
  CZovPlayDlg dlg;
};

TEST(MainWindowHooks, CtrlFTogglesTheFileInformationView) {
  OwnFrame frame;
  ASSERT_TRUE(frame.Active());
  CZovPlayDlg& dlg = frame.dlg;
  EXPECT_NE(dynamic_cast<CZovPlaySetup*>(dlg.RightTab()->SetupPage()), nullptr);

  QTest::keyClick(&dlg, Qt::Key_F, Qt::ControlModifier);
  auto* view = dynamic_cast<CFileInfoView*>(dlg.FileInfoWindow());
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(view->isVisible());
  const QRect place = CZovSettings::GetInstance()->LoadRect(10322).ToQRect();
  EXPECT_EQ(view->geometry().topLeft(), dlg.mapToGlobal(place.topLeft()));
  EXPECT_EQ(view->MachineFacts().shaderSupport, "YES");
  QTest::keyClick(&dlg, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(dlg.FileInfoWindow(), view);
  EXPECT_FALSE(view->isVisible());
  QTest::keyClick(&dlg, Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(dlg.FileInfoWindow(), view);
  EXPECT_TRUE(view->isVisible());

  QPointer<QWidget> gone(view);
  QTest::mouseClick(view->CloseButton(), Qt::LeftButton, {}, QPoint(4, 4));
  EXPECT_EQ(dlg.FileInfoWindow(), nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(gone.isNull());
}

// Every name a send may give (platform/zov_window_names.h) is registered by
// its own window of the main window's tree while the tree exists, and by
// none once it is gone.
TEST(MainWindowHooks, EveryWindowNameIsRegisteredByTheMainWindowsTree) {
  CZovWndManager* directory = CZovWndManager::GetInstance();
  {
    OwnFrame frame;
    ASSERT_TRUE(frame.Active());
    std::set<QObject*> windows;
    for (ZovWndName name : kZovWindowNames) {
      CZovMsgTarget* target = directory->Find(name);
      ASSERT_NE(target, nullptr) << name.c_str();
      auto* widget = qobject_cast<QWidget*>(target->Object());
      ASSERT_NE(widget, nullptr) << name.c_str();
      EXPECT_TRUE(widget == &frame.dlg || frame.dlg.isAncestorOf(widget)) << name.c_str();
      windows.insert(widget);
    }
    EXPECT_EQ(windows.size(), kZovWindowNames.size());
  }
  for (ZovWndName name : kZovWindowNames) EXPECT_EQ(directory->Find(name), nullptr) << name.c_str();
}

// The title band of the file list as drawn now.
QImage FileListTitle(CZovFileListView* list) {
  return list->grab(QRect(0, 0, list->width(), 20)).toImage().convertToFormat(QImage::Format_RGB32);
}

// One language choice on the setup page relabels every window of the program
// in the same turn of the event queue: the page's own texts, the play
// window's button tips, the file list's title and the file information rows.
TEST(MainWindowHooks, LanguageChoiceRelabelsEveryWindow) {
  CZovSettings* settings = CZovSettings::GetInstance();
  settings->SetLanguage(LanguageIndexOf(settings, "english"));
  OwnFrame frame;
  ASSERT_TRUE(frame.Active());
  CFileInfoView* view = frame.ShowInfo();
  CPlayDialog* play = frame.Play();
  auto* page = dynamic_cast<CZovPlaySetup*>(frame.dlg.RightTab()->SetupPage());
  auto* map = dynamic_cast<CZovCefBrowers*>(frame.dlg.RightTab()->MapPage());
  ASSERT_TRUE(view && page && play && map && map->ListView());
  QCoreApplication::processEvents();  // nothing of the start-up left in the queue

  const struct {
    int id;
    const char* key;
  } tips[] = {{10151, "pre_tip"},  {10153, "play_tip"}, {10152, "next_tip"}, {10154, "stop_tip"},
              {10155, "file_tip"}, {10157, "sound_tip"}, {10156, "cut_tip"}};
  for (const char* language : {"chineses", "Russia", "english"}) {
    SCOPED_TRACE(language);
    const QString tipBefore = play->Button(10151)->toolTip();
    const QImage titleBefore = FileListTitle(map->ListView());
    Choose(page->LanguageList(), LanguageIndexOf(settings, language));
    ASSERT_EQ(settings->Texts().CurrentLanguageName(), language);
    // The panels post the relabel on to the play window and the map page:
    // one turn of the queue, before anything is painted again, and every
    // window shows the new language.
    QCoreApplication::sendPostedEvents();
    const char* titleKeys[] = {"basesetup", "softserver", "softinfo"};
    for (int i = 0; i < 3; ++i) EXPECT_EQ(page->SectionTitle(i)->text, settings->GetQText(titleKeys[i]));
    EXPECT_EQ(page->UpdateButton()->text(), settings->GetQText("softup"));
    for (const auto& tip : tips) {
      ASSERT_NE(play->Button(tip.id), nullptr) << tip.id;
      EXPECT_EQ(play->Button(tip.id)->toolTip(), settings->GetQText(tip.key)) << tip.key;
    }
    EXPECT_NE(play->Button(10151)->toolTip(), tipBefore);
    EXPECT_EQ(view->Rows().front().text, settings->GetText("filename"));
    EXPECT_NE(FileListTitle(map->ListView()), titleBefore) << "the file list title did not change";
  }
}

// The file information view reads the recording the play window plays: a
// 30 s, 640 x 360 clip without sound, decoded in software, no GPS track.
TEST(MainWindowHooks, FileInformationShowsTheRecordingBeingPlayed) {
  CZovSettings* settings = CZovSettings::GetInstance();
  settings->SetLanguage(LanguageIndexOf(settings, "english"));
  OwnFrame frame;
  ASSERT_TRUE(frame.Active());
  CFileInfoView* view = frame.ShowInfo();
  CPlayDialog* play = frame.Play();
  ASSERT_TRUE(view && play);
  const auto row = [view](int id) {
    for (const ZovInfoRow& r : view->Rows())
      if (r.rectId == id) return r.text;
    return std::string("<no row>");
  };
  EXPECT_EQ(row(10332), settings->GetText("resolution"));  // nothing open yet

  const std::string clip = zovtest::Fixture("play/pattern.mp4");
  CZovFileListStore* store = CZovFileListStore::GetInstance();
  store->AddFile(clip, -1, 0);
  ASSERT_EQ(store->SelectIndex(store->FindIndex(clip)), 0);
  play->SendMessage(ZOVWM_CLICK, 10153, 0);
  ASSERT_TRUE(zovtest::WaitUntil([&] { return play->IsPlaying() && store->OpenMedia() != nullptr; }, 10000));

  EXPECT_EQ(row(10330), settings->GetText("filename") + " " + clip);
  EXPECT_EQ(row(10331), settings->GetText("filetime") + " 00:00:30");
  EXPECT_EQ(row(10332), settings->GetText("resolution") + " 640 \u00d7 360");
  EXPECT_EQ(row(10334), settings->GetText("frameratio") + " 30");
  EXPECT_EQ(row(10335), settings->GetText("pixelformat") + " yuv420p");
  EXPECT_EQ(row(10339), settings->GetText("videoinfo") + " h264");
  EXPECT_EQ(row(10338), settings->GetText("audioinfo"));
  EXPECT_EQ(row(10342), settings->GetText("decoder") + " " + settings->GetText("softcodec"));
  EXPECT_EQ(row(10337), settings->GetText("gpsinfo") + " " + settings->GetText("nohave"));

  play->StopPlayback();
  EXPECT_EQ(row(10332), settings->GetText("resolution"));
  store->RemoveAt(store->FindIndex(clip));
}

}  // namespace

int main(int argc, char** argv) {
  g_exe = apptest::MakeTestBase();
  // The shipped file says software decoding; this one says mode 0.
  const std::string ini = std::filesystem::path(g_exe).parent_path().parent_path().string() + "/setup/quelnasetup.ini";
  std::string text = zovtest::Slurp(ini);
  const auto at = text.find("decodemode=1");
  if (at != std::string::npos) text.replace(at, 12, "decodemode=0");
  zovtest::Spit(ini, text);
  QApplication app(argc, argv);
  CZovSettings::GetInstance()->Init(g_exe);
  CZovSettings::GetInstance()->LoadResourceLibrary(zovtest::BinDir() + "/libzovQuelnaResource.so");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
