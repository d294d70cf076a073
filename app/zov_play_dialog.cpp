#include "app/zov_play_dialog.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_dxva_render_view.h"
#include "engine/zov_media_play.h"
#include "engine/zov_time.h"
#include "shell/zov_settings.h"
#include "shell/zov_trace.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_button.h"
#include "library/zov_file_list_store.h"
#include "ui/zov_process.h"
#include "ui/zov_player_view.h"
#include "ui/zov_text.h"
#include "ui/zov_screenshot_view.h"
#include "ui/zov_warning.h"

using namespace zov_play;

namespace {

// Size of the play window as designed (its empty dialog template).
constexpr QRect kDesignRect(0, 0, 935, 74);

// One transport button: control id (= image id), skin rectangle, states,
// tooltip key.
struct ButtonSkin {
  int id;
  int rectId;
  int states;
  const char* tipKey;
};
constexpr ButtonSkin kButtons[] = {
    {kIdPrevious, 10164, 1, "pre_tip"},  {kIdPlay, 10166, 2, "play_tip"},
    {kIdNext, 10165, 1, "next_tip"},     {kIdStop, 10167, 1, "stop_tip"},
    {kIdOpenFile, 10168, 1, "file_tip"}, {kIdSound, 10170, 2, "sound_tip"},
    {kIdScreenshot, 10169, 2, "cut_tip"},
};
// Bottom row, left to right.
constexpr int kBottomRow[] = {kIdSound, kIdVolume, kIdPrevious, kIdPlay,
                              kIdNext,  kIdStop,   kIdOpenFile, kIdScreenshot};

// The windows told that playback stopped.
constexpr const char* kStopListeners[] = {"CZovLeftTab", "CZovGsensorView", "CZovCefBrowers",
                                          "CZovFileListView", "CZovPlayDlg"};

std::u16string Utf16(const std::string& text) {
  return QString::fromStdString(text).toStdU16String();
}

void SetLabel(CZovText* label, const std::string& text) {
  const QString value = QString::fromStdString(text);
  if (label->text == value) return;
  label->text = value;
  label->update();
}

std::tm LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace

CPlayDialog::CPlayDialog(QWidget* parent) : CZovPlayWindowBase(parent) {
  m_pMediaPlay = CZovMediaPlay::Instance();
  // The user-interface thread never sleeps: the first tick comes kTickMs
  // after StartAll, which gives the workers the time the settle wait gave.
  m_pMediaPlay->startSettleMs = 0;
  settings_ = CZovSettings::GetInstance();
  directory_ = CZovWndManager::GetInstance();
  store_ = CZovFileListStore::GetInstance();
  setAcceptDrops(true);
  setFocusPolicy(Qt::ClickFocus);
  setGeometry(kDesignRect);
  CreateControls();
  directory_->Register(kZovPlayDialogName, this);
  initialized_ = true;
  SetToolTips();
  Layout();
}

CPlayDialog::~CPlayDialog() {
  KillTimer(kTickTimerId);
  directory_->Unregister(kZovPlayDialogName);
  // A scan for this window's start is of no use any more; the store joins
  // its loader when it is deleted.
  if (starting_) store_->CancelLoads();
  if (!m_pMediaPlay->stopped) {
    m_pMediaPlay->StopAll();
    SetPlayLook(false);
  }
}

QRect CPlayDialog::DesignRect() const { return kDesignRect; }

bool CPlayDialog::IsPlaying() const { return !m_pMediaPlay->stopped; }

// --- Controls -----------------------------------------------------------

CZovButton* CPlayDialog::MakeButton(int id, int rectId, int states) {
  auto* button = new CZovButton();
  button->LoadImage(id);
  button->backgroundColor = settings_->LoadColor(kSkinBackground);
  button->CreateEx(this, settings_->LoadRect(rectId), "", id, states);
  buttons_.emplace_back(id, button);
  return button;
}

// A slider skinned by its track and played colours, thumb image `id` and
// track rectangle, placed on skin rectangle `rectId`, ranging 0..maximum.
CZovProcess* CPlayDialog::MakeSlider(int id, int trackColour, int playedColour, int trackRect,
                                     int rectId, int maximum) {
  auto* slider = new CZovProcess();
  slider->SetSkin(settings_->LoadColor(trackColour), settings_->LoadColor(playedColour), id,
                  settings_->LoadRect(trackRect));
  slider->backgroundColor = settings_->LoadColor(kSkinBackground);
  slider->CreateEx(this, settings_->LoadRect(rectId), "", id);
  slider->minimum = 0;
  slider->maximum = maximum;
  return slider;
}

void CPlayDialog::CreateControls() {
  for (const ButtonSkin& skin : kButtons) MakeButton(skin.id, skin.rectId, skin.states);
  const ZovColorRef background = settings_->LoadColor(kSkinBackground);

  seekBar_ = MakeSlider(kIdSeekBar, 10185, 10184, 10174, 10176, kSeekSteps);
  seekBar_->enabled = 0;
  seekBar_->SetValue(0);
  volume_ = MakeSlider(kIdVolume, 10187, 10186, 10172, 10173, kVolumeSteps);
  volume_->SetValue(settings_->Volume());

  auto makeText = [&](int id, int fontId, bool positionColour) {
    auto* text = new CZovText();
    text->backgroundColor = background;
    if (positionColour) text->textColor = settings_->LoadColor(kSkinPositionColour);
    text->font = settings_->CreateNormalFont(fontId);
    text->CreateEx(this, settings_->LoadRect(id), "", id);
    return text;
  };
  timeText_ = makeText(kIdTime, 10188, false);
  SetLabel(timeText_, kZeroTimeText);
  latitudeText_ = makeText(kIdLatitude, 10189, true);
  longitudeText_ = makeText(kIdLongitude, 10189, true);
}

void CPlayDialog::SetToolTips() {
  for (const ButtonSkin& skin : kButtons)
    if (CZovButton* button = Button(skin.id)) button->setToolTip(settings_->GetQText(skin.tipKey));
}

CZovButton* CPlayDialog::Button(int id) const {
  for (const auto& [buttonId, button] : buttons_)
    if (buttonId == id) return button;
  return nullptr;
}

QString CPlayDialog::TimeText() const { return timeText_ ? timeText_->text : QString(); }

void CPlayDialog::Layout() {
  if (!initialized_) return;
  const int clientWidth = width();
  std::vector<QWidget*> row;
  std::vector<int> widths;
  for (int id : kBottomRow) {
    QWidget* control = id == kIdVolume ? static_cast<QWidget*>(volume_) : Button(id);
    row.push_back(control);
    widths.push_back(control->width());
  }
  const ZovRect seekRect = settings_->LoadRect(10176);
  const int margin = seekRect.left;
  const StripMeasures strip{timeText_->x() + timeText_->width(), latitudeText_->width(), margin};
  const BottomRowPlace place = PlaceBottomRow(widths, clientWidth, strip);
  for (size_t i = 0; i < row.size(); ++i) row[i]->move(place.lefts[i], row[i]->y());

  seekBar_->setGeometry(margin, seekRect.top, std::max(clientWidth - 2 * margin, 1),
                        seekRect.Height());
  for (CZovText* text : {latitudeText_, longitudeText_}) {
    text->move(clientWidth - margin - text->width(), text->y());
    text->setVisible(place.positionsShown);
  }
}

// --- Window procedure -----------------------------------------------------

LRESULT CPlayDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case ZOVWM_CLICK:
      OnClick(static_cast<int>(wParam));
      return 0;
    case ZOVWM_SEEKDRAG:
    case ZOVWM_SEEKDROP:
      OnSlider(message, static_cast<int>(wParam), static_cast<int>(lParam));
      return 0;
    case ZOVWM_INFO_E:
      OnInfo(static_cast<int>(wParam), lParam);
      return 0;
    case ZOVWM_RELABEL:
      SetToolTips();
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE) OnSpace();
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_RIGHT)
        StepSeek(wParam == VK_LEFT ? -kStepSeekSeconds : kStepSeekSeconds, (lParam & kKeyRepeatFlag) != 0);
      return 0;
    case WM_TIMER:
      if (wParam == kTickTimerId) OnTick();
      return 0;
    case kMsgStartupDone:
      OnStartupDone(wParam != 0, static_cast<uint64_t>(lParam));
      return 0;
    case kMsgPlayNext:
      OnPlayNext(static_cast<uint64_t>(lParam));
      return 0;
    default:
      return CZovPlayWindowBase::WindowProc(message, wParam, lParam);
  }
}

void CPlayDialog::OnClick(int id) {
  // A stop always gets through: stopping twice does no harm, and the file
  // list stops the file it deletes this way, which must not go on playing
  // because the file was started by a click less than a second before.
  if (!commandFilter_.Accept(NowMs()) && id != kIdStop) return;
  // While a start loads its track, transport commands act: the last one wins.
  if (starting_ && !AllowedWhileStarting(id)) return;
  switch (id) {
    case kIdPrevious:
      if (store_->SelectPrevious() == 0) Restart();
      break;
    case kIdNext:
      OnPlayNext(startSerial_);
      break;
    case kIdPlay:
      switch (PlayCommand(m_pMediaPlay->stopped ? 0 : m_pMediaPlay->GetState(), false)) {
        case PlayAction::kPause: Pause(); break;
        case PlayAction::kResume: Resume(); break;
        case PlayAction::kStart: StartPlaying(); break;
        case PlayAction::kNone: break;
      }
      break;
    case kIdStop:
      Stop(true);
      break;
    case kIdOpenFile:
      OnOpenFileCommand();
      break;
    case kIdScreenshot:
      OnScreenshotCommand();
      break;
    case kIdSound:
      OnSoundCommand();
      break;
    default:
      break;
  }
}

void CPlayDialog::OnSpace() {
  const int state = m_pMediaPlay->stopped ? 0 : m_pMediaPlay->GetState();
  const PlayAction action = PlayCommand(state, true);
  if (action == PlayAction::kPause) Pause();
  if (action == PlayAction::kResume) Resume();
}

void CPlayDialog::OnSlider(UINT message, int id, int value) {
  if (id == kIdVolume) {
    settings_->SetVolume(value);
    m_pMediaPlay->SetVolume(value);
    return;
  }
  // A paused recording stays paused and shows the new position's picture.
  if (id != kIdSeekBar || message != ZOVWM_SEEKDROP || m_pMediaPlay->stopped) return;
  Seek(value);
}

void CPlayDialog::OnInfo(int code, LPARAM record) {
  const auto data = ZovTakeMsgData(record);  // every record is freed here
  if (code == ZOV_CODE_STOPPED || code == ZOV_CODE_PLAY_CURRENT) Restart();
}

void CPlayDialog::OnSoundCommand() {
  soundOff_ = !soundOff_;
  m_pMediaPlay->SetMute(soundOff_);
  if (CZovButton* button = Button(kIdSound)) {
    button->stateIndex = soundOff_ ? 1 : 0;
    button->update();
  }
}

// --- Starting -------------------------------------------------------------

void CPlayDialog::ShowBusy() {
  if (!busyPopup_) busyPopup_ = new CZovWarning(this);
  busyPopup_->ShowBusy(settings_->GetQText("getgpsinfo"));
}

void CPlayDialog::HideBusy() {
  if (busyPopup_) busyPopup_->HideNotice();
}

void CPlayDialog::StartPlaying() {
  // A text log on show keeps the play command inert until the next stop;
  // anything else that is open was stopped by the caller.
  if (opening_ && !starting_) return;
  std::string path;
  if (store_->CopyPlayingPaths(&path) < 0) {
    CancelStart();
    return;
  }
  // The same file asked for again while it loads goes on loading.
  if (starting_ && path == playingPath_) return;
  ShowBusy();
  const uint64_t serial = ++startSerial_;
  starting_ = true;
  opening_ = true;
  lastGpsSecond_ = -1;
  seekTarget_.Forget();
  ClearPositionTexts();
  playingPath_ = path;
  // The long part runs on the store's loader (a start still loading is
  // stopped there); its end comes back as a message.
  store_->LoadInBackground(path, [ref = Ref(), serial](bool loaded) {
    ref.Post(kMsgStartupDone, loaded ? 1 : 0, static_cast<LPARAM>(serial));
  });
}

void CPlayDialog::Restart() {
  Stop(false);
  StartPlaying();
}

void CPlayDialog::CancelStart() {
  ++startSerial_;
  if (!starting_) return;
  starting_ = false;
  opening_ = false;
  store_->CancelLoads();
  HideBusy();
}

void CPlayDialog::OnStartupDone(bool loaded, uint64_t serial) {
  // The result of a start that a later request replaced is dropped.
  if (serial != startSerial_ || !starting_) return;
  HideBusy();
  starting_ = false;
  if (!loaded) {
    opening_ = false;
    return;
  }
  // The list may have changed while the track was read: a file removed from
  // it meanwhile is not played, and the file being opened is made current
  // again, so the list shows and continues from the file that plays.
  const int index = store_->FindIndex(playingPath_);
  if (index < 0) {
    opening_ = false;
    store_->ClearCurrentTrack();
    return;
  }
  store_->SelectIndex(index);
  directory_->SendData("CZovCefBrowers", ZOV_CODE_PLAYING);
  // A GPS text log shows its track and plays nothing; `opening_` stays set
  // until the next stop, so the play command does nothing meanwhile.
  if (IsTextLog(playingPath_)) return;
  OpenCurrent(playingPath_);
}

void CPlayDialog::OnPlayNext(uint64_t serial) {
  // The end of a recording, or a failed open, that a later request replaced.
  if (serial != startSerial_) return;
  if (store_->SelectNext() == 0)
    Restart();
  else
    Stop(true);
}

void CPlayDialog::OpenCurrent(const std::string& path) {
  const int pathCount = 1;  // recordings are never grouped into channels
  directory_->SendTo("CZovLeftTab", ZOVWM_SETCHANNELS, 0, pathCount);
  m_pMediaPlay->SetVolume(settings_->Volume());
  m_pMediaPlay->SetMute(soundOff_);
  if (m_pMediaPlay->Open(path.c_str()) != 0) {
    OnOpenFailed(pathCount);
    return;
  }
  channelCount_ = pathCount;
  store_->SetOpenMedia(m_pMediaPlay->GetMainDemuxer());
  directory_->SendData("CZovGsensorView", ZOV_CODE_PLAYING);
  SendGpsTick(0, 0);
  directory_->SendText("CZovPlayDlg", ZOV_CODE_PLAYING, Utf16(path));
  directory_->SendValue("CZovFileListView", ZOV_CODE_PLAYING, int32_t(store_->GetCurrentIndex()));
  directory_->SendTo("CZovLeftTab", ZOVWM_SETCHANNELS, 1, 0);
  m_pMediaPlay->StartAll();
  SetTimer(kTickTimerId, kTickMs);
  SetPlayLook(true);
  seekBar_->enabled = 1;
}

void CPlayDialog::OnOpenFailed(int pathCount) {
  if (pathCount == 1) {
    // The next file is tried a little later, without holding this thread.
    // It is no click, so the command filter cannot drop it and end the play
    // list here; a command the user gives meanwhile replaces it.
    QTimer::singleShot(kOpenFailureRetryMs, Qt::PreciseTimer, Object(), [ref = Ref(), serial = startSerial_] {
      ref.Post(kMsgPlayNext, 0, static_cast<LPARAM>(serial));
    });
    directory_->SendData("CZovLeftTab", ZOV_CODE_STOPPED);
    DebugTrace("m_pMediaPlay error   \r\n");
  } else {
    directory_->SendData("CZovLeftTab", ZOV_CODE_STOPPED);
    m_pMediaPlay->StopAll();
  }
  opening_ = false;
}

// --- Transport ------------------------------------------------------------

void CPlayDialog::Stop(bool resetSeekBar) {
  store_->SetOpenMedia(nullptr);
  CancelStart();
  opening_ = false;
  KillTimer(kTickTimerId);
  seekBar_->enabled = 0;
  ClearPositionTexts();
  SetPlayLook(false);
  m_pMediaPlay->StopAll();  // returns once every worker has ended
  for (const char* name : kStopListeners) directory_->SendValue(name, ZOV_CODE_STOPPED, int32_t(0));
  store_->ClearCurrentTrack();
  SetTimeText(kZeroTimeText);
  if (resetSeekBar) seekBar_->SetValue(0);
}

void CPlayDialog::Pause() {
  seekBar_->enabled = 1;  // the bar can be dragged while paused
  m_pMediaPlay->PauseAll();
  directory_->SendValue("CZovLeftTab", ZOV_CODE_PLAYING, int32_t(0));
  SetPlayLook(false);
}

void CPlayDialog::Resume() {
  m_pMediaPlay->ResumeAll();
  SetPlayLook(true);
  seekBar_->enabled = 1;
}

void CPlayDialog::StepSeek(int seconds, bool repeat) {
  if (starting_ || m_pMediaPlay->stopped) return;
  // A held arrow repeats faster than seeks are carried out; the repeats that
  // queued up meanwhile are dropped, so the window answers once the key is up.
  if (repeat && NowMs() - lastStepSeekMs_ < kStepRepeatGapMs) return;
  const int state = m_pMediaPlay->GetState();
  if (state == 0) return;
  const int duration = m_pMediaPlay->GetDurationSeconds();
  const int target = std::clamp(m_pMediaPlay->GetPositionSeconds() + seconds, 0, std::max(duration - 1, 0));
  seekTarget_.Forget();  // a later drop on the bar seeks even to its last second
  SendGpsTick(target, 1);
  m_pMediaPlay->SeekAll(target);
  ++seekCount_;
  if (duration > 0) seekBar_->SetValue(static_cast<int>(int64_t(target) * kSeekSteps / duration));
  lastStepSeekMs_ = NowMs();
}

void CPlayDialog::Seek(int value) {
  if (starting_) return;
  const int second = SeekSecond(value, m_pMediaPlay->GetDurationSeconds());
  if (!seekTarget_.Take(second)) return;
  SendGpsTick(second, 1);
  m_pMediaPlay->SeekAll(second + 1);
  ++seekCount_;
}

void CPlayDialog::OnTick() {
  const int state = m_pMediaPlay->GetState();
  const TickView view =
      ComputeTick(m_pMediaPlay->GetPositionSeconds(), m_pMediaPlay->GetDurationSeconds(), state == 0);
  if (view.durationGrew) m_pMediaPlay->SetDurationSeconds(view.duration);
  SetTimeText(view.timeText);
  seekBar_->SetValue(view.seekValue);
  if (state != 0) {
    SendGpsTick(view.position, 1);
    return;
  }
  SetPlayLook(false);
  KillTimer(kTickTimerId);
  // The program's own "next" is no click: the command filter does not drop
  // it, and a request the user makes meanwhile replaces it.
  if (EndOfFileAction(settings_->PlayModeIndex()) == EndAction::kPlayNext)
    PostMessage(kMsgPlayNext, 0, static_cast<LPARAM>(startSerial_));
  else
    Stop(false);
}

void CPlayDialog::SendGpsTick(int second, int mode) {
  if (second == lastGpsSecond_ && second != 0) return;
  lastGpsSecond_ = second;
  const ZovSecondResult result =
      store_->PointForSecond(second, mode, m_pMediaPlay->GetDurationSeconds());
  if (result.kind == ZovTickKind::kUnchanged) return;
  directory_->SendValue("CZovCefBrowers", ZOV_CODE_GPS_TICK, result.tick);
  if (result.kind != ZovTickKind::kFound) return;
  directory_->SendValue("CZovPlayDlg", ZOV_CODE_GPS_TICK, result.tick);
  SetLabel(latitudeText_, PositionText(result.latHemisphere, result.tick.latitude));
  SetLabel(longitudeText_, PositionText(result.lonHemisphere, result.tick.longitude));
}

void CPlayDialog::SetPlayLook(bool pauseLook) {
  if (CZovButton* play = Button(kIdPlay)) {
    play->stateIndex = pauseLook ? 1 : 0;
    play->update();
  }
}

void CPlayDialog::SetTimeText(const std::string& text) { SetLabel(timeText_, text); }

void CPlayDialog::ClearPositionTexts() {
  SetLabel(latitudeText_, "");
  SetLabel(longitudeText_, "");
}

// --- Files ----------------------------------------------------------------

void CPlayDialog::OnOpenFileCommand() {
  const QStringList filters = [&] {
    QStringList list;
    for (const std::string& f :
         QtFileFilters(OpenFileFilter(settings_->GetText("video"), settings_->GetText("allfile"))))
      list << QString::fromStdString(f);
    return list;
  }();
  // The dialog opens on the folder of the file in hand, not wherever the
  // program was started.
  const QString folder = QString::fromStdString(store_->CurrentFolder());
  const QString path = QFileDialog::getOpenFileName(this, QString(), folder, filters.join(";;"));
  if (!path.isEmpty()) OpenChosenFile(path.toStdString());
}

void CPlayDialog::OpenChosenFile(const std::string& path) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  for (const std::string& file : MediaFilesOf(folder, CZovFileListStore::IsMediaExtension))
    store_->AddFile(file, -1, 0);
  const int index = store_->FindIndex(path);
  store_->SelectIndex(index);
  if (CZovMsgTarget* parent = dynamic_cast<CZovMsgTarget*>(parentWidget()))
    parent->SendMessage(ZOVWM_LISTSELECT, 0, index);
  Restart();
}

void CPlayDialog::DropFiles(const std::vector<std::string>& paths) {
  if (paths.empty()) return;
  // The store adds the media files and makes the first dropped path current.
  const int index = store_->AddDropped(paths);
  if (auto* parent = dynamic_cast<CZovMsgTarget*>(parentWidget()))
    parent->SendMessage(ZOVWM_LISTSELECT, 0, std::max(index, 0));
  if (index >= 0) directory_->SendData(kZovPlayDialogName, ZOV_CODE_PLAY_CURRENT);
}

void CPlayDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CPlayDialog::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  DropFiles(paths);
  event->acceptProposedAction();
}

// --- Screenshot -----------------------------------------------------------

void CPlayDialog::OnScreenshotCommand() {
  bool pausedHere = false;
  if (!m_pMediaPlay->stopped && m_pMediaPlay->GetState() == 1) {
    seekBar_->enabled = 0;
    m_pMediaPlay->PauseAll();
    // The panes show the paused pictures, so the save dialog and the shot
    // view leave no trace on the video when they close.
    directory_->SendValue("CZovLeftTab", ZOV_CODE_PLAYING, int32_t(0));
    SetPlayLook(false);
    pausedHere = true;
  }
  if (const auto path = TakeScreenshot()) ShowShot(*path);
  if (pausedHere && !m_pMediaPlay->stopped) {
    m_pMediaPlay->ResumeAll();
    SetPlayLook(true);
    seekBar_->enabled = 1;
  }
}

void CPlayDialog::ShowShot(const std::string& path) {
  CZovScreenShotView view(this);
  view.LoadPicture(path);
  view.exec();
}

std::optional<std::string> CPlayDialog::TakeScreenshot() {
  if (!m_pMediaPlay) return std::nullopt;
  const bool open = !m_pMediaPlay->stopped;
  const int position = open ? m_pMediaPlay->GetPositionSeconds() : 0;
  std::string path;
  const std::string folder = settings_->ScreenshotFolder();
  if (folder.size() > 1)
    path = WithTrailingSlash(folder) + ShotFileName(LocalNow(), position);
  else
    path = AskShotPlace(open, position);
  if (path.empty() || !open) return std::nullopt;
  if (!WriteShot(path)) {
    QMessageBox::warning(this, settings_->GetQText("show"), settings_->GetQText("createError"));
    return std::nullopt;
  }
  return path;
}

std::string CPlayDialog::AskShotPlace(bool recordingOpen, int positionSeconds) {
  if (!recordingOpen) {
    const QString folder =
        QFileDialog::getExistingDirectory(this, settings_->GetQText("setfilepath"), QDir::homePath());
    if (!folder.isEmpty()) {
      settings_->SetScreenshotFolder(WithTrailingSlash(folder.toStdString()));
      directory_->SendData("CZovPlaySetup", ZOV_CODE_SHOT_FOLDER);
    }
    return {};  // no file is written without a recording
  }
  const std::string start = SaveDialogFolder(store_->CurrentFolder(), QDir::homePath().toStdString());
  const std::string suggested = WithTrailingSlash(start) + ShotFileName(LocalNow(), positionSeconds);
  const QString chosen = QFileDialog::getSaveFileName(this, QString(), QString::fromStdString(suggested));
  if (chosen.isEmpty()) return {};
  const std::string path = chosen.toStdString();
  settings_->SetScreenshotFolder(
      WithTrailingSlash(std::filesystem::path(path).parent_path().string()));
  directory_->SendData("CZovPlaySetup", ZOV_CODE_SHOT_FOLDER);
  return path;
}

QImage CPlayDialog::VideoAreaPicture() const {
  if (!videoArea_) return {};
  std::vector<PanePicture> panes;
  const QList<CZovPlayerView*> views = videoArea_->findChildren<CZovPlayerView*>();
  for (int ch = 0; ch < m_pMediaPlay->channelCount && ch < CZovMediaPlay::kMaxChannels; ++ch) {
    CZovBasePlayer* player = m_pMediaPlay->players[ch].get();
    QWindow* window = m_pMediaPlay->renderWindows[ch];
    if (!player || !player->renderView || !window) continue;
    CZovRenderView* view = player->renderView.get();
    CZovD3D11RenderView* glView = dynamic_cast<CZovD3D11RenderView*>(view);
    if (auto* surfaceView = dynamic_cast<CZovDxvaRenderView*>(view)) glView = surfaceView->Presenter();
    if (!glView) continue;
    // The pane that shows this channel, where the panes lay it out; the
    // picture at its display aspect inside it, as the screen shows it.
    for (CZovPlayerView* pane : views) {
      if (pane->RenderWindow() != window || !pane->isVisible()) continue;
      const ZovPictureRect r = glView->LastPictureRect(pane->width(), pane->height());
      const QRect rect(pane->mapTo(videoArea_, QPoint(r.x, r.y)), QSize(r.width, r.height));
      panes.push_back({rect, glView->BackBufferImage()});
      break;
    }
  }
  return ComposeVideoArea(videoArea_->size(), panes);
}

bool CPlayDialog::WriteShot(const std::string& path) {
  const QImage picture = VideoAreaPicture();
  if (picture.isNull()) return false;
  const std::vector<uint8_t> bytes = EncodeBmp24(picture);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// --- Qt events ------------------------------------------------------------

void CPlayDialog::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), settings_->LoadQColor(kSkinBackground));
}

void CPlayDialog::resizeEvent(QResizeEvent*) { Layout(); }

void CPlayDialog::keyPressEvent(QKeyEvent* event) {
  // Escape and Enter are swallowed: they must not end the main window.
  const int key = event->key();
  if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
    event->accept();
    return;
  }
  if (key == Qt::Key_Left || key == Qt::Key_Right) {
    StepSeek(key == Qt::Key_Left ? -kStepSeekSeconds : kStepSeekSeconds, event->isAutoRepeat());
    return;
  }
  CZovPlayWindowBase::keyPressEvent(event);
}

void CPlayDialog::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    OnSpace();
    return;
  }
  CZovPlayWindowBase::keyReleaseEvent(event);
}
