#include "app/zov_play_dlg.h"

#include <algorithm>

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPaintEvent>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/zov_frame_layout.h"
#include "app/zov_qt_translations.h"
#include "app/zov_left_tab.h"
#include "app/zov_panel_windows.h"
#include "app/zov_play_app.h"
#include "app/zov_play_dialog_transport.h"
#include "app/zov_program_icon.h"
#include "app/zov_right_tab.h"
#include "platform/zov_network.h"
#include "shell/zov_settings.h"
#include "shell/zov_version.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_button.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_mem_dc.h"
#include "update/update_client.h"
#include "update/zov_update_dlg.h"

namespace {

// The shortcut message: wParam = shortcut id.
constexpr UINT kWmHotKey = 0x0312;

// Skin entries of the main window.
constexpr int kRectDesign = 10106;
constexpr int kRectStrip = 10111;
constexpr int kRectTitleText = 10115;
constexpr int kRectFileInfo = 10322;
constexpr int kColourStrip = 10114;
constexpr int kColourText = 10116;
constexpr int kFontTitle = 10117;
// Skin rectangles of the panels that set the window's least size: the play
// window's time text, latitude text and seek bar; the map area; the file
// list's title and one of its rows.
constexpr int kRectPlayTime = 10179;
constexpr int kRectPlayLatitude = 10177;
constexpr int kRectPlaySeekBar = 10176;
constexpr int kRectMapBrowser = 10205;
constexpr int kRectListTitle = 10285;
constexpr int kRectListRow = 10290;
// Room left between the end of the title text and the first title button.
constexpr int kTitleButtonGap = 12;
// The download bar's colour: green (0, 200, 0).
const QColor kProgressColour(0, 200, 0);

struct TitleButtonSpec {
  int id;          // command and PNG of the button
  int rect;        // its design rectangle
  int stateCount;  // two-state images follow the panel switch and maximise states
};
constexpr TitleButtonSpec kTitleButtons[] = {
    {kZovCmdClose, 10135, 1},
    {kZovCmdMaximise, 10137, 2},
    {kZovCmdMinimise, 10138, 1},
    {kZovCmdPanelSwitch, 10136, 2},
};

struct ShortcutKey {
  int id;
  Qt::Key key;
};
// Ctrl + key; Ctrl+T posts to the left panel, Ctrl+F shows the file
// information window, Ctrl+E the play window's export window, the others are
// registered without an action.
constexpr ShortcutKey kShortcuts[] = {
    {ZOV_HOTKEY_CTRL_T, Qt::Key_T}, {ZOV_HOTKEY_CTRL_I, Qt::Key_I}, {ZOV_HOTKEY_CTRL_O, Qt::Key_O},
    {ZOV_HOTKEY_CTRL_G, Qt::Key_G}, {ZOV_HOTKEY_CTRL_F, Qt::Key_F}, {ZOV_HOTKEY_CTRL_E, Qt::Key_E},
};

void EndProcess(int code) {
  ZovEndWorkersBeforeExit();
  std::fflush(stdout);
  std::fflush(stderr);
  std::exit(code);
}

}  // namespace

CZovPlayDlg::CZovPlayDlg() : CZovWnd(nullptr, Qt::Window | Qt::FramelessWindowHint), exitProcess(EndProcess) {
  setAcceptDrops(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  // The window itself holds the keyboard focus at start (Esc, Enter and space
  // act on it), not the first child that takes focus when the window is
  // activated, which would be the map page's browser.
  setFocusPolicy(Qt::StrongFocus);
  setWindowTitle(QStringLiteral("tamarinsoft"));
}

CZovPlayDlg::~CZovPlayDlg() {
  KillTimer(kZovNetTimerId);
  delete fileInfo_;
  fileInfo_ = nullptr;
  delete updateWindow_;
  updateWindow_ = nullptr;
  delete leftTab_;
  leftTab_ = nullptr;
  delete rightTab_;
  rightTab_ = nullptr;
  // A cancelled window is still in the directory; its entry must not
  // outlive it.
  if (!closing_) {
    if (CZovWndManager* d = CZovWndManager::Peek()) d->Unregister(kZovMainWindowName);
  }
}

void CZovPlayDlg::Create() {
  if (initialised_) return;
  setWindowIcon(ZovProgramIcon());
  // The map page's browser composes through OpenGL. Qt switches a window to
  // OpenGL composition when the first such child joins it, and does so by
  // destroying and re-creating the window's native windows, the video panes'
  // among them, under the engine that draws into them from its scheduler
  // thread. A child of that kind from the start makes the window OpenGL
  // composed when it is first created, so nothing is re-created later.
  auto* composeMark = new QOpenGLWidget(this);
  composeMark->setObjectName(QStringLiteral("compose with OpenGL"));
  composeMark->setGeometry(0, 0, 0, 0);
  composeMark->hide();
  settings_ = CZovSettings::GetInstance();
  leftTab_ = new CZovLeftTab(this);
  leftTab_->show();
  rightTab_ = new CZovRightTab(this);
  rightTab_->setVisible(rightShown_ != 0);
  CreateTitleButtons();
  titleText_ = QStringLiteral(" ");
  LoadSkin();
  version_ = CZovVersion::GetInstance();
  directory_ = CZovWndManager::GetInstance();
  directory_->Register(kZovMainWindowName, this);
  CreateShortcuts();
  initialised_ = 1;
  PlaceInitially();
  updateClient_ = UpdateClient::GetInstance();
  fileInfoShown_ = 0;
  SetTimer(kZovNetTimerId, kZovNetTimerMs);
}

void CZovPlayDlg::OpenStartFiles() {
  if (startFiles_.empty()) return;
  std::vector<std::string> files = std::move(startFiles_);
  startFiles_.clear();
  DropFiles(files);
}

void CZovPlayDlg::LoadSkin() {
  stripColour_ = settings_->LoadQColor(kColourStrip);
  textColour_ = settings_->LoadQColor(kColourText);
  progressColour_ = kProgressColour;
  design_ = settings_->LoadRect(kRectDesign).ToQRect();
  strip_ = settings_->LoadRect(kRectStrip).ToQRect();
  titleRect_ = settings_->LoadRect(kRectTitleText).ToQRect();
  titleFont_ = settings_->CreateNormalFont(kFontTitle);
  setMinimumSize(MinimumClientSize());
}

QSize CZovPlayDlg::MinimumClientSize() const {
  // The play window's bottom row beside the right panel, from the skin the
  // play window lays out.
  std::vector<int> row;
  for (int id : zov_play::kBottomRowRects) row.push_back(settings_->LoadRect(id).Width());
  const zov_play::StripMeasures strip{settings_->LoadRect(kRectPlayTime).right,
                                      settings_->LoadRect(kRectPlayLatitude).Width(),
                                      settings_->LoadRect(kRectPlaySeekBar).left};
  // The map area above the file list's title, one row and its Add/Delete bar
  // (as high as the title).
  const int listTitle = settings_->LoadRect(kRectListTitle).Height();
  const int rightHeight = settings_->LoadRect(kRectMapBrowser).Height() + 2 * listTitle +
                          settings_->LoadRect(kRectListRow).Height();
  return ZovMinimumClientSize(zov_play::BottomRowMinimumWidth(row, strip), strip_.height(), rightHeight);
}

void CZovPlayDlg::CreateTitleButtons() {
  for (size_t i = 0; i < titleButtons_.size(); ++i) {
    const TitleButtonSpec& b = kTitleButtons[i];
    auto button = std::make_unique<CZovButton>();
    button->LoadImage(b.id);
    button->CreateEx(this, settings_->LoadRect(b.rect), QString(), b.id, b.stateCount);
    titleButtons_[i] = std::move(button);
  }
}

CZovButton* CZovPlayDlg::TitleButton(int id) const {
  for (size_t i = 0; i < titleButtons_.size(); ++i) {
    if (kTitleButtons[i].id == id) return titleButtons_[i].get();
  }
  return nullptr;
}

void CZovPlayDlg::ShowTitleButtons(bool show) {
  for (const auto& button : titleButtons_) {
    if (button) button->setVisible(show);
  }
}

void CZovPlayDlg::CreateShortcuts() {
  for (const ShortcutKey& s : kShortcuts) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | s.key), this);
    shortcut->setContext(Qt::ApplicationShortcut);
    const int id = s.id;
    connect(shortcut, &QShortcut::activated, this, [this, id] { WindowProc(kWmHotKey, id, 0); });
    shortcuts_.emplace_back(id, shortcut);
  }
}

void CZovPlayDlg::PlaceInitially() {
  QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QRect work = screen ? screen->availableGeometry() : QRect(0, 0, design_.width(), design_.height());
  setGeometry(ZovInitialPlacement(work, design_.width(), design_.height()));
}

int CZovPlayDlg::DoModal() {
  Create();
  show();
  setFocus();
  // Recordings named on the command line open once the window and its video
  // panes are on the screen (the engine draws into the panes' windows).
  QTimer::singleShot(0, this, [this] { OpenStartFiles(); });
  QEventLoop loop;
  modalLoop_ = &loop;
  modalResult_ = kZovIdCancel;
  const int result = loop.exec();
  modalLoop_ = nullptr;
  hide();
  return result;
}

void CZovPlayDlg::EndModal(int result) {
  modalResult_ = result;
  if (modalLoop_) modalLoop_->exit(result);
}

// --- Window procedure -------------------------------------------------------

LRESULT CZovPlayDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYUP:
      if (wParam == VK_SPACE && leftTab_) leftTab_->SendMessage(message, wParam, lParam);
      return 0;
    case WM_KEYDOWN:
      if (leftTab_) leftTab_->SendMessage(message, wParam, lParam);
      return 0;
    case kWmHotKey:
      OnHotKey(static_cast<int>(wParam));
      return 0;
    case WM_TIMER:
      OnTimer(static_cast<UINT>(wParam));
      return 0;
    case ZOVWM_CLICK:
      OnCommand(static_cast<int>(wParam));
      return 0;
    case ZOVWM_SHOWRIGHT:
      OnShowRight(wParam == 0);
      return 0;
    case ZOVWM_INFO_E:
      OnInfo(static_cast<int>(wParam), lParam);
      return 0;
    case ZOVWM_LISTSELECT:
      if (rightTab_) rightTab_->SendMessage(message, wParam, lParam);
      return 0;
    case ZOVWM_VIDEOONLY:
      OnVideoOnly(lParam == 1);
      return 0;
    default:
      return CZovWnd::WindowProc(message, wParam, lParam);
  }
}

// --- Title button commands --------------------------------------------------

void CZovPlayDlg::OnCommand(int id) {
  switch (id) {
    case kZovCmdClose:
      OnClose();
      break;
    case kZovCmdPanelSwitch:
      OnPanelSwitch();
      break;
    case kZovCmdMaximise:
      OnMaximise();
      break;
    case kZovCmdMinimise:
      QTimer::singleShot(0, this, [this] { showMinimized(); });
      break;
    default:
      break;
  }
}

void CZovPlayDlg::OnClose() {
  closing_ = 1;
  if (directory_) directory_->Unregister(kZovMainWindowName);
  // Ctrl+T and Ctrl+I stop acting.
  for (const auto& [id, shortcut] : shortcuts_) {
    if (id == ZOV_HOTKEY_CTRL_T || id == ZOV_HOTKEY_CTRL_I) shortcut->setEnabled(false);
  }
  if (leftTab_ && leftTab_->PlayWindow()) leftTab_->PlayWindow()->StopPlayback();
  OnOK();
}

void CZovPlayDlg::OnPanelSwitch() {
  if (!rightShown_ || !rightTab_) return;
  if (panelSwitch_ == 1) {
    rightTab_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 1);
    panelSwitch_ = 0;
  } else {
    rightTab_->SendMessage(ZOVWM_CLICK, kZovCmdPanelSwitch, 0);
    panelSwitch_ = 1;
  }
  if (CZovButton* button = TitleButton(kZovCmdPanelSwitch)) {
    button->stateIndex = panelSwitch_;
    button->update();
  }
}

void CZovPlayDlg::OnMaximise() {
  if (maximised_) {
    PlaceInitially();
    maximised_ = 0;
  } else {
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (screen) setGeometry(screen->availableGeometry());
    maximised_ = 1;
  }
  if (CZovButton* button = TitleButton(kZovCmdMaximise)) {
    button->stateIndex = maximised_;
    button->update();
  }
  if (rightTab_) {
    rightTab_->TestMapPage();
    rightTab_->PostMessage(ZOVWM_LISTLAYOUT);
  }
}

void CZovPlayDlg::OnOK() {
  if (exitProcess) exitProcess(0);
}

void CZovPlayDlg::OnCancel() { EndModal(kZovIdCancel); }

// --- Panels -----------------------------------------------------------------

void CZovPlayDlg::OnShowRight(bool show) {
  rightShown_ = show ? 1 : 0;
  if (!rightTab_) return;
  rightTab_->setVisible(show);
  if (show) rightTab_->TestMapPage();
  if (panelSwitch_ == 0 && rightTab_->MapPage()) rightTab_->MapPage()->setVisible(show);
  PlaceRightPanel();
}

void CZovPlayDlg::PlaceRightPanel() {
  const int w = width();
  const int h = height();
  const int stripH = strip_.height();
  rightTab_->setGeometry(ZovRightPanelRect(w, h, stripH));
  if (leftTab_ && !leftTab_->VideoOnly()) leftTab_->setGeometry(ZovLeftPanelRect(w, h, stripH, rightShown_ != 0));
}

void CZovPlayDlg::OnVideoOnly(bool restore) {
  if (restore) {
    if (leftTab_) leftTab_->setGeometry(leftRect_);
    if (rightTab_) rightTab_->ShowPages(true);
  } else if (rightTab_) {
    rightTab_->ShowPages(false);
  }
  ShowTitleButtons(restore);
}

void CZovPlayDlg::Layout() {
  if (!initialised_) return;
  const int w = width();
  const int h = height();
  const int stripH = strip_.height();
  split_ = ZovSplitX(w);
  if (rightTab_) rightTab_->setGeometry(ZovRightPanelRect(w, h, stripH));
  leftRect_ = ZovLeftPanelRect(w, h, stripH, rightShown_ != 0);
  if (leftTab_) leftTab_->setGeometry(leftTab_->VideoOnly() ? rect() : leftRect_);
  for (size_t i = 0; i < titleButtons_.size(); ++i) {
    if (!titleButtons_[i]) continue;
    const QRect design = settings_->LoadRect(kTitleButtons[i].rect).ToQRect();
    titleButtons_[i]->setGeometry(ZovTitleButtonRect(design, w, design_.width()));
  }
  lastWidth_ = w;
}

void CZovPlayDlg::resizeEvent(QResizeEvent* event) {
  CZovWnd::resizeEvent(event);
  Layout();
}

void CZovPlayDlg::moveEvent(QMoveEvent* event) {
  CZovWnd::moveEvent(event);
  if (leftTab_) leftTab_->PostMessage(ZOVWM_LISTLAYOUT);
  if (rightTab_) rightTab_->PostMessage(ZOVWM_LISTLAYOUT);
}

// --- Data codes -------------------------------------------------------------

void CZovPlayDlg::OnInfo(int code, LPARAM record) {
  // Choices act on the low byte of their index.
  const auto lowByte = [](int32_t index) { return static_cast<int>(static_cast<uint8_t>(index)); };
  switch (code) {
    case ZOV_CODE_LANGUAGE:
      zov_play::ProcessQtTranslations().Apply(settings_->Texts().CurrentLanguageName());
      if (leftTab_) leftTab_->SendMessage(ZOVWM_RELABEL);
      if (rightTab_) rightTab_->SendMessage(ZOVWM_RELABEL);
      if (fileInfo_) fileInfo_->SendMessage(ZOVWM_RELABEL);
      break;
    case ZOV_CODE_MAP:
      if (auto choice = ZovReadRecord<ZOV_CODE_MAP>(record)) OnMapChoice(lowByte(choice->index));
      break;
    case ZOV_CODE_PLAYING_TITLE:
      if (auto title = ZovReadRecord<ZOV_CODE_PLAYING_TITLE>(record)) OnTitleText(title->text);
      break;
    case ZOV_CODE_STOPPED:  // nothing plays: the title no longer names a file
      OnTitleText(std::u16string());
      break;
    case ZOV_CODE_DOWNLOAD:
      if (auto progress = ZovReadRecord<ZOV_CODE_DOWNLOAD>(record)) OnProgress(progress->done, progress->total);
      break;
    case ZOV_CODE_UPDATE:
      OnUpdateNotice();
      break;
    case ZOV_CODE_TRACK:
      if (auto track = ZovReadRecord<ZOV_CODE_TRACK>(record)) settings_->SetTrack(track->on);
      break;
    case ZOV_CODE_DECODE_MODE:
      if (auto choice = ZovReadRecord<ZOV_CODE_DECODE_MODE>(record)) OnDecodeChoice(lowByte(choice->index));
      break;
    case ZOV_CODE_CLOSE_FILEINFO:
      CloseFileInfo();
      break;
    default:
      break;
  }
}

bool CZovPlayDlg::PlayWindowPlaying() const {
  return leftTab_ && leftTab_->PlayWindow() && leftTab_->PlayWindow()->IsPlaying();
}

void CZovPlayDlg::OnMapChoice(int index) {
  if (!rightTab_) return;
  if (PlayWindowPlaying()) {
    rightTab_->SendMessage(ZOVWM_MAPCHOICE, kZovChoiceAnswer, kZovChoiceRefused);
    return;
  }
  settings_->SetMap(index);
  rightTab_->SendMessage(ZOVWM_MAPCHOICE, kZovChoiceLoadMap, 0);
  rightTab_->SendMessage(ZOVWM_MAPCHOICE, kZovChoiceAnswer, kZovChoiceAccepted);
}

void CZovPlayDlg::OnDecodeChoice(int index) {
  if (!rightTab_) return;
  if (PlayWindowPlaying()) {
    rightTab_->SendMessage(ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceRefused);
    return;
  }
  settings_->SetDecodeMode(index);
  rightTab_->SendMessage(ZOVWM_DECODECHOICE, kZovChoiceAnswer, kZovChoiceAccepted);
}

void CZovPlayDlg::OnTitleText(const std::u16string& text) {
  titleText_ = text.empty() ? QStringLiteral(" ") : QString::fromStdU16String(text);
  update(TitleTextRect());
}

void CZovPlayDlg::OnProgress(uint32_t done, uint32_t total) {
  const int before = progressPercent_;
  if (done != total) progressShown_ = 1;
  progressPercent_ = ZovDownloadPercent(done, total);
  if (progressPercent_ != before) update(QRect(0, 0, width(), strip_.height()));
}

// --- Update notice and network check --------------------------------------

bool CZovPlayDlg::CheckNetwork() {
  if (!ZovIsOnline()) return false;
  if (updateClient_ && updateClient_->GetState() == kUpdateNotStarted && version_) {
    updateClient_->Start(version_->version);
  }
  return true;
}

void CZovPlayDlg::OnUpdateNotice() {
  bool connected = false;
  {
    std::lock_guard<std::mutex> g(timerLock_);
    connected = CheckNetwork();
    CZovSetupPageBase* setup = rightTab_ ? rightTab_->SetupPage() : nullptr;
    userAsked_ = setup && setup->UserAskedForUpdate() ? 1 : 0;
  }
  if (!connected) {
    QMessageBox box(QMessageBox::NoIcon, settings_->GetQText("updateinfo"), settings_->GetQText("nonetwork"),
                    QMessageBox::Ok, this);
    box.exec();
    return;
  }
  const int state = updateClient_ ? updateClient_->GetState() : kUpdateNotStarted;
  if (!updateWindow_) updateWindow_ = new CUpdateDlg(this);
  updateWindow_->setGeometry(ZovUpdateBoxRect(geometry().topLeft(), width(), height()));
  if (userAsked_) {
    updateWindow_->show();
    updateWindow_->raise();
    updateWindow_->activateWindow();
  } else {
    updateWindow_->hide();
  }
  if (const char* key = ZovUpdateNoticeKey(state)) updateWindow_->SetNotice(settings_->GetQText(key));
}

void CZovPlayDlg::OnTimer(UINT id) {
  if (closing_) {
    KillTimer(id);
    return;
  }
  if (id != kZovNetTimerId) return;
  // The first tick only counts.
  if (++netTicks_ == 1) return;
  std::lock_guard<std::mutex> g(timerLock_);
  if (CheckNetwork()) KillTimer(kZovNetTimerId);
}

// --- Shortcuts ----------------------------------------------------------------

void CZovPlayDlg::OnHotKey(int id) {
  if (id == ZOV_HOTKEY_CTRL_T) {
    if (leftTab_) leftTab_->PostMessage(ZOVWM_CTRLT);
  } else if (id == ZOV_HOTKEY_CTRL_F) {
    ToggleFileInfo();
  } else if (id == ZOV_HOTKEY_CTRL_E) {
    if (directory_) directory_->SendTo(kZovPlayDialogName, ZOVWM_EXPORT, 0, 0);
  }
}

void CZovPlayDlg::ToggleFileInfo() {
  if (!fileInfo_) {
    const auto& make = ZovPanelWindowMakers().makeFileInfo;
    if (!make) return;
    fileInfo_ = make(this);
    if (!fileInfo_) return;
  }
  if (fileInfoShown_) {
    fileInfo_->hide();
    fileInfoShown_ = 0;
    return;
  }
  const QRect place = settings_->LoadRect(kRectFileInfo).ToQRect();
  if (fileInfo_->isWindow()) {
    fileInfo_->setGeometry(place.translated(mapToGlobal(QPoint(0, 0))));
  } else {
    fileInfo_->setGeometry(place);
  }
  fileInfo_->show();
  fileInfo_->raise();
  fileInfoShown_ = 1;
}

void CZovPlayDlg::CloseFileInfo() {
  // Deleted later: the window may be the one whose handler sent the code.
  if (fileInfo_) fileInfo_->deleteLater();
  fileInfo_ = nullptr;
  fileInfoShown_ = 0;
}

// --- Dropped files ------------------------------------------------------------

void CZovPlayDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CZovPlayDlg::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CZovPlayDlg::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  event->acceptProposedAction();
  DropFiles(paths);
}

void CZovPlayDlg::DropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  const int index = CZovFileListStore::GetInstance()->AddDropped(paths);
  SendMessage(ZOVWM_LISTSELECT, 0, std::max(index, 0));
  if (index >= 0 && directory_) directory_->Send<ZOV_CODE_PLAY_CURRENT>(kZovPlayDialogName);
}

// --- Input ----------------------------------------------------------------------

void CZovPlayDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      OnCancel();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OnOK();
      return;
    case Qt::Key_Left:
    case Qt::Key_Right:
      // Seeking with the arrows, as in any player; held down, they repeat.
      WindowProc(WM_KEYDOWN, event->key() == Qt::Key_Left ? VK_LEFT : VK_RIGHT,
                 event->isAutoRepeat() ? kKeyRepeatFlag : 0);
      return;
    // One picture back or forward, slower or faster (the play window).
    case Qt::Key_Comma:
    case Qt::Key_Period:
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight: {
      const int key = event->key();
      const WPARAM vk = key == Qt::Key_Comma    ? VK_OEM_COMMA
                        : key == Qt::Key_Period ? VK_OEM_PERIOD
                        : key == Qt::Key_BracketLeft ? VK_OEM_4
                                                     : VK_OEM_6;
      WindowProc(WM_KEYDOWN, vk, event->isAutoRepeat() ? kKeyRepeatFlag : 0);
      return;
    }
    // The A and B marks of the range to export (not with Ctrl or Alt).
    case Qt::Key_A:
    case Qt::Key_B:
      if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        CZovWnd::keyPressEvent(event);
        return;
      }
      WindowProc(WM_KEYDOWN, event->key() == Qt::Key_A ? VK_A : VK_B, event->isAutoRepeat() ? kKeyRepeatFlag : 0);
      return;
    default:
      CZovWnd::keyPressEvent(event);
  }
}

void CZovPlayDlg::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    WindowProc(WM_KEYUP, VK_SPACE, 0);
    return;
  }
  CZovWnd::keyReleaseEvent(event);
}

void CZovPlayDlg::closeEvent(QCloseEvent* event) {
  // The window manager's close is the cancel action.
  event->ignore();
  OnCancel();
}

void CZovPlayDlg::mousePressEvent(QMouseEvent* event) {
  // The whole background drags the window.
  if (event->button() == Qt::LeftButton && windowHandle()) windowHandle()->startSystemMove();
  CZovWnd::mousePressEvent(event);
}

void CZovPlayDlg::mouseDoubleClickEvent(QMouseEvent* event) {
  PostMessage(ZOVWM_CLICK, kZovCmdCaptionDoubleClick, 0);
  CZovWnd::mouseDoubleClickEvent(event);
}

// --- Painting ---------------------------------------------------------------

void CZovPlayDlg::paintEvent(QPaintEvent* event) {
  const int w = width();
  const int stripH = strip_.height();
  QPainter target(this);
  CZovMemDC dc(&target, event->rect(), false);
  QPainter& p = dc.Painter();
  // The strip; below it the panels cover all but the gap between them,
  // which shows the background (the strip colour).
  p.fillRect(event->rect(), stripColour_);
  if (progressShown_) {
    p.fillRect(QRect(0, stripH - kZovProgressBarHeight, ZovProgressBarWidth(w, progressPercent_),
                     kZovProgressBarHeight),
               progressColour_);
  }
  if (!titleText_.isEmpty()) {
    p.setFont(titleFont_);
    p.setPen(textColour_);
    // A path too long for the strip loses its middle, not the file name at
    // its end.
    const QRect place = TitleTextRect();
    p.drawText(place, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
               p.fontMetrics().elidedText(titleText_, Qt::ElideMiddle, place.width()));
  }
}

QRect CZovPlayDlg::TitleTextRect() const {
  int right = width();
  for (const auto& button : titleButtons_)
    if (button && !button->isHidden()) right = std::min(right, button->geometry().left() - kTitleButtonGap);
  QRect place = titleRect_;
  place.setRight(std::max(place.left(), right) - 1);
  return place;
}
