#include "app/zov_play_dialog.h"

#include "app/zov_export_window.h"

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

#include "engine/zov_engine.h"
#include "shell/zov_settings.h"
#include "shell/zov_trace.h"
#include "shell/zov_wnd_manager.h"
#include "ui/zov_button.h"
#include "library/zov_drive_plan.h"
#include "library/zov_file_list_store.h"
#include "library/zov_media_extensions.h"
#include "ui/zov_process.h"
#include "ui/zov_player_view.h"
#include "ui/zov_text.h"
#include "ui/zov_screenshot_view.h"
#include "ui/zov_speed_control.h"
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
    {kIdScreenshot, 10169, 2, "cut_tip"}, {kIdStepBack, 10193, 1, "stepback_tip"},
    {kIdStepForward, 10194, 1, "stepfwd_tip"},
};
// Bottom row, left to right.
constexpr int kBottomRow[] = {kIdSound, kIdVolume,   kIdPrevious, kIdStepBack,   kIdPlay, kIdStepForward,
                              kIdNext,  kIdStop,     kIdOpenFile, kIdScreenshot, kIdSpeed};

// The windows told that playback stopped.
constexpr ZovWndName kStopListeners[] = {kZovLeftTabName, kZovMapPageName, kZovFileListViewName,
                                         kZovMainWindowName, kZovGsensorViewName};

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
  engine_ = &CZovEngine::Get();
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
  if (engine_->IsStarted()) {
    engine_->Stop();
    SetPlayLook(false);
  }
}

QRect CPlayDialog::DesignRect() const { return kDesignRect; }

bool CPlayDialog::IsPlaying() const { return engine_->IsStarted(); }

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
  CreateSpeedControl();
}

void CPlayDialog::SetToolTips() {
  for (const ButtonSkin& skin : kButtons)
    if (CZovButton* button = Button(skin.id)) button->setToolTip(settings_->GetQText(skin.tipKey));
  if (speed_) speed_->setToolTip(settings_->GetQText("speed_tip"));
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
    QWidget* control = id == kIdVolume  ? static_cast<QWidget*>(volume_)
                       : id == kIdSpeed ? static_cast<QWidget*>(speed_)
                                        : Button(id);
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
      if (OnPictureCommand(static_cast<int>(wParam), static_cast<int>(lParam))) return 0;
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
      if (exportWindow_) exportWindow_->Relabel();
      return 0;
    case WM_KEYUP:
      if (wParam == VK_SPACE) OnSpace();
      return 0;
    case WM_KEYDOWN:
      if (wParam == VK_LEFT || wParam == VK_RIGHT)
        StepSeek(wParam == VK_LEFT ? -kStepSeekSeconds : kStepSeekSeconds, (lParam & kKeyRepeatFlag) != 0);
      else if (!OnPictureKey(PictureKeyOf(wParam)))
        OnMarkKey(PictureKeyOf(wParam));
      return 0;
    case ZOVWM_EXPORT:
      OnExportCommand();
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
    case kMsgMomentTrack:
      if (static_cast<uint64_t>(lParam) == startSerial_) directory_->Send<ZOV_CODE_DRAW_TRACK>(kZovMapPageName);
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
      switch (PlayCommand(static_cast<int>(engine_->State()), false)) {
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
  // A dialog the command opened waited on the user, not on the window: the
  // first click after it counts from the click that opened it.
  if (id != kIdOpenFile && id != kIdScreenshot) commandFilter_.Handled(NowMs());
}

void CPlayDialog::OnSpace() {
  const int state = static_cast<int>(engine_->State());
  const PlayAction action = PlayCommand(state, true);
  if (action == PlayAction::kPause) Pause();
  if (action == PlayAction::kResume) Resume();
}

void CPlayDialog::OnSlider(UINT message, int id, int value) {
  if (id == kIdVolume) {
    settings_->SetVolume(value);
    engine_->SetVolume(value);
    return;
  }
  // A paused recording stays paused and shows the new position's picture.
  if (id != kIdSeekBar || message != ZOVWM_SEEKDROP || !engine_->IsStarted()) return;
  Seek(value);
}

void CPlayDialog::OnInfo(int code, LPARAM record) {
  if (code == ZOV_CODE_STOPPED || code == ZOV_CODE_PLAY_CURRENT) Restart();
  if (code == ZOV_CODE_REPLAY_MOMENT) OnReplayMoment();
  if (code == ZOV_CODE_SET_MARK)
    if (auto mark = ZovReadRecord<ZOV_CODE_SET_MARK>(record)) SetMark(mark->action, mark->ms);
  // A click on the drive's track or on the timeline.
  if (code == ZOV_CODE_SEEK_DRIVE && drive_ && engine_->IsStarted() && !starting_)
    if (auto at = ZovReadRecord<ZOV_CODE_SEEK_DRIVE>(record)) {
      const int64_t length = engine_->LengthMs();
      const int64_t target = std::clamp<int64_t>(at->ms, 0, std::max<int64_t>(0, length - 1));
      seekTarget_.Forget();
      engine_->Seek(target);
      ++seekCount_;
      if (length > 0) seekBar_->SetValue(static_cast<int>(target * kSeekSteps / length));
      SendDrivePosition(target);
    }
}

void CPlayDialog::OnSoundCommand() {
  soundOff_ = !soundOff_;
  engine_->SetMute(soundOff_);
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
  directory_->Send<ZOV_CODE_DRAW_TRACK>(kZovMapPageName);
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

bool CPlayDialog::OpenDrive(const std::string& path) {
  auto plan = std::make_shared<ZovDrivePlan>(store_->DrivePlanOf(path));
  const size_t start = plan->MomentOfPath(path);
  if (start >= plan->moments.size()) return false;
  StartDrive(plan, start, 0);
  return true;
}

void CPlayDialog::OnReplayMoment() {
  // The driver chose other cameras: the drive opens again where it is, with them.
  if (!drive_ || !engine_->IsStarted() || starting_) return;
  int64_t within = 0;
  const size_t moment = drive_->MomentAt(std::max<int64_t>(0, engine_->PositionMs()), &within);
  StartDrive(drive_, moment, within);
}

void CPlayDialog::StartDrive(std::shared_ptr<const ZovDrivePlan> plan, size_t start, int64_t withinMs) {
  const std::vector<std::string> preferred = settings_->PreferredChannels();
  std::vector<ZovDriveMoment> moments;
  int paneCount = 1;
  for (const ZovPlanMoment& m : plan->moments) {
    ZovDriveMoment moment;
    moment.lengthMs = m.lengthMs;
    for (const ZovPlanChannel& c : ZovPlayedChannels(m, preferred)) moment.paths.push_back(c.path);
    if (moment.paths.empty()) moment.paths.push_back(m.lead);
    paneCount = std::max(paneCount, int(moment.paths.size()));
    moments.push_back(std::move(moment));
  }
  // The panes of the drive's channels are there before any moment opens, so
  // a moment that stands by finds its pane's window.
  directory_->SendTo(kZovLeftTabName, ZOVWM_SETCHANNELS, 0, paneCount);
  engine_->SetVolume(settings_->Volume());
  engine_->SetMute(soundOff_);
  if (!engine_->OpenDrive(moments, start, withinMs)) {
    OnOpenFailed(1);
    return;
  }
  drive_ = plan;
  driveMoment_ = engine_->DriveMoment();
  store_->SetPlayingDrive(plan);
  channelCount_ = paneCount;
  store_->SetOpenMedia(engine_->MainMedia());
  directory_->Send<ZOV_CODE_DRIVE>(kZovMapPageName);
  directory_->Send<ZOV_CODE_DRIVE>(kZovGsensorViewName);
  TakeMarksFor(plan->moments.empty() ? playingPath_ : plan->moments.front().lead);
  if (driveMoment_ != start) FollowMoment(driveMoment_);  // the first moments did not open
  SendGpsTick(0, 0);
  directory_->Send<ZOV_CODE_PLAYING_TITLE>(kZovMainWindowName, ZovTextRecord{Utf16(playingPath_)});
  directory_->Send<ZOV_CODE_PLAYING_INDEX>(kZovFileListViewName, ZovIndexRecord{int32_t(store_->GetCurrentIndex())});
  engine_->Play();
  SetTimer(kTickTimerId, kFirstTickMs);
  SetPlayLook(true);
  seekBar_->enabled = 1;
}

void CPlayDialog::FollowMoment(size_t moment) {
  if (!drive_ || moment >= drive_->moments.size()) return;
  driveMoment_ = moment;
  const std::string& lead = drive_->moments[moment].lead;
  playingPath_ = lead;
  store_->SetOpenMedia(engine_->MainMedia());
  const int index = store_->FindIndex(lead);
  if (index >= 0) store_->SelectIndex(index);
  directory_->Send<ZOV_CODE_PLAYING_TITLE>(kZovMainWindowName, ZovTextRecord{Utf16(lead)});
  directory_->Send<ZOV_CODE_PLAYING_INDEX>(kZovFileListViewName, ZovIndexRecord{int32_t(store_->GetCurrentIndex())});
  // The moment's track becomes current on the loader thread; the map draws
  // it once it is there. The GPS ticks start again from the moment's start.
  lastGpsSecond_ = -1;
  store_->LoadInBackground(lead, [ref = Ref(), serial = startSerial_](bool loaded) {
    if (loaded) ref.Post(kMsgMomentTrack, 0, static_cast<LPARAM>(serial));
  });
}

void CPlayDialog::SendDrivePosition(int64_t ms) {
  if (!drive_) return;
  const ZovDriveTimeRecord at{std::max<int64_t>(0, ms)};
  directory_->Send<ZOV_CODE_DRIVE_POSITION>(kZovMapPageName, at);
  directory_->Send<ZOV_CODE_DRIVE_POSITION>(kZovGsensorViewName, at);
}

int64_t CPlayDialog::MomentLengthMs() const {
  if (drive_ && driveMoment_ < drive_->moments.size()) return drive_->moments[driveMoment_].lengthMs;
  return engine_->LengthMs();
}

int CPlayDialog::GpsSecondOf(int64_t ms) const {
  if (drive_ && driveMoment_ < drive_->moments.size()) {
    ms -= drive_->moments[driveMoment_].offsetMs;
    // A nudged track: the fix shown with a picture is the one written the
    // nudge before it (the library's clock setting).
    ms = ZovTrackTimeAt(ms, store_->CameraClock());
  }
  return static_cast<int>(std::max<int64_t>(0, ms) / 1000);
}

void CPlayDialog::OpenCurrent(const std::string& path) {
  if (OpenDrive(path)) return;
  const int pathCount = 1;  // a file on its own plays on one channel
  directory_->SendTo(kZovLeftTabName, ZOVWM_SETCHANNELS, 0, pathCount);
  engine_->SetVolume(settings_->Volume());
  engine_->SetMute(soundOff_);
  if (!engine_->Open({path})) {
    OnOpenFailed(pathCount);
    return;
  }
  channelCount_ = pathCount;
  store_->SetOpenMedia(engine_->MainMedia());
  TakeMarksFor(path);
  SendGpsTick(0, 0);
  directory_->Send<ZOV_CODE_PLAYING_TITLE>(kZovMainWindowName, ZovTextRecord{Utf16(path)});
  directory_->Send<ZOV_CODE_PLAYING_INDEX>(kZovFileListViewName, ZovIndexRecord{int32_t(store_->GetCurrentIndex())});
  directory_->SendTo(kZovLeftTabName, ZOVWM_SETCHANNELS, 1, 0);
  engine_->Play();
  SetTimer(kTickTimerId, kFirstTickMs);
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
    directory_->Send<ZOV_CODE_STOPPED>(kZovLeftTabName);
    DebugTrace("m_pMediaPlay error   \r\n");
  } else {
    directory_->Send<ZOV_CODE_STOPPED>(kZovLeftTabName);
    engine_->Stop();
  }
  opening_ = false;
}

// --- Transport ------------------------------------------------------------

void CPlayDialog::Stop(bool resetSeekBar) {
  store_->SetOpenMedia(nullptr);
  store_->SetPlayingDrive(nullptr);
  drive_.reset();
  CancelStart();
  opening_ = false;
  KillTimer(kTickTimerId);
  seekBar_->enabled = 0;
  seekBar_->SetMarks(-1, -1);  // kept for the drive; shown again when it plays
  ClearPositionTexts();
  SetPlayLook(false);
  engine_->Stop();  // returns once every worker has ended
  for (ZovWndName name : kStopListeners) directory_->Send<ZOV_CODE_STOPPED>(name);
  store_->ClearCurrentTrack();
  SetTimeText(kZeroTimeText);
  if (resetSeekBar) seekBar_->SetValue(0);
}

void CPlayDialog::Pause() {
  seekBar_->enabled = 1;  // the bar can be dragged while paused
  engine_->Pause();
  directory_->Send<ZOV_CODE_PAUSED>(kZovLeftTabName);
  SetPlayLook(false);
}

void CPlayDialog::Resume() {
  engine_->Play();
  SetPlayLook(true);
  seekBar_->enabled = 1;
}

void CPlayDialog::StepSeek(int seconds, bool repeat) {
  if (starting_ || !engine_->IsStarted()) return;
  // A held arrow repeats faster than seeks are carried out; the repeats that
  // queued up meanwhile are dropped, so the window answers once the key is up.
  if (repeat && NowMs() - lastStepSeekMs_ < kStepRepeatGapMs) return;
  if (engine_->State() == ZovPlayState::kStopped) return;
  const int64_t length = engine_->LengthMs();
  const int64_t target = StepTargetMs(engine_->PositionMs(), seconds, length);
  seekTarget_.Forget();  // a later drop on the bar seeks even to its last second
  SendGpsTick(GpsSecondOf(target), 1);
  engine_->Seek(target);
  SendDrivePosition(target);
  ++seekCount_;
  if (length > 0) seekBar_->SetValue(static_cast<int>(target * kSeekSteps / length));
  lastStepSeekMs_ = NowMs();
}

void CPlayDialog::Seek(int value) {
  if (starting_) return;
  const int64_t target = SeekBarMs(value, engine_->LengthMs());
  if (!seekTarget_.Take(target)) return;
  SendGpsTick(GpsSecondOf(target), 1);
  engine_->Seek(target);
  SendDrivePosition(target);
  ++seekCount_;
}

void CPlayDialog::OnTick() {
  const ZovPlayState state = engine_->State();
  const bool ended = state == ZovPlayState::kStopped;
  const int64_t positionMs = engine_->PositionMs();
  const TickView view = ComputeTick(static_cast<int>(positionMs / 1000),
                                    static_cast<int>(engine_->LengthMs() / 1000), ended);
  if (view.durationGrew) engine_->GrowLength(int64_t(view.duration) * 1000);
  SetTimeText(view.timeText);
  seekBar_->SetValue(view.seekValue);
  if (drive_ && !ended) {
    if (engine_->DriveMoment() != driveMoment_) FollowMoment(engine_->DriveMoment());
    SendDrivePosition(positionMs);
  }
  if (!ended) {
    SendGpsTick(drive_ ? GpsSecondOf(positionMs) : view.position, 1);
    SetTimer(kTickTimerId, NextTickMs(positionMs, engine_->LengthMs(), engine_->Speed()));
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
      store_->PointForSecond(second, mode, static_cast<int>(MomentLengthMs() / 1000));
  if (result.kind == ZovTickKind::kUnchanged) return;
  directory_->Send<ZOV_CODE_GPS_TICK>(kZovMapPageName, result.tick);
  if (result.kind != ZovTickKind::kFound) return;
  directory_->Send<ZOV_CODE_GPS_TICK>(kZovMainWindowName, result.tick);
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
         QtFileFilters(ZovOpenFileFilter(settings_->GetText("video"), settings_->GetText("allfile"))))
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
  if (index >= 0) directory_->Send<ZOV_CODE_PLAY_CURRENT>(kZovPlayDialogName);
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
  if (engine_->State() == ZovPlayState::kPlaying) {
    seekBar_->enabled = 0;
    engine_->Pause();
    // The panes show the paused pictures, so the save dialog and the shot
    // view leave no trace on the video when they close.
    directory_->Send<ZOV_CODE_PAUSED>(kZovLeftTabName);
    SetPlayLook(false);
    pausedHere = true;
  }
  if (const auto path = TakeScreenshot()) ShowShot(*path);
  if (pausedHere && engine_->IsStarted()) {
    engine_->Play();
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
  const bool open = engine_->IsStarted();
  const int position = open ? static_cast<int>(std::max<int64_t>(engine_->PositionMs(), 0) / 1000) : 0;
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
      directory_->Send<ZOV_CODE_SHOT_FOLDER>(kZovPlaySetupName);
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
  directory_->Send<ZOV_CODE_SHOT_FOLDER>(kZovPlaySetupName);
  return path;
}

QImage CPlayDialog::VideoAreaPicture() const {
  if (!videoArea_) return {};
  std::vector<PanePicture> panes;
  const QList<CZovPlayerView*> views = videoArea_->findChildren<CZovPlayerView*>();
  for (int ch = 0; ch < engine_->ChannelCount() && ch < CZovEngine::kMaxChannels; ++ch) {
    QWindow* window = engine_->ChannelWindow(ch);
    if (!window) continue;
    // The pane that shows this channel, where the panes lay it out; the
    // picture at its display aspect inside it, as the screen shows it.
    for (CZovPlayerView* pane : views) {
      if (pane->RenderWindow() != window || !pane->isVisible()) continue;
      const ZovShownPicture shown = engine_->ShownPicture(ch, pane->width(), pane->height());
      if (shown.picture.isNull()) break;
      panes.push_back({QRect(pane->mapTo(videoArea_, shown.rect.topLeft()), shown.rect.size()), shown.picture});
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
  if (OnPictureKey(key)) return;
  if (!(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) && OnMarkKey(key)) return;
  CZovPlayWindowBase::keyPressEvent(event);
}

void CPlayDialog::keyReleaseEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
    OnSpace();
    return;
  }
  CZovPlayWindowBase::keyReleaseEvent(event);
}

// --- Picture steps and playback speed ---------------------------------------

void CPlayDialog::CreateSpeedControl() {
  speed_ = new CZovSpeedControl();
  speed_->backgroundColor = settings_->LoadColor(kSkinBackground);
  speed_->textColor = settings_->LoadColor(kSkinPositionColour);
  speed_->CreateEx(this, settings_->LoadRect(10195), "", kIdSpeed);
  speed_->SetPercent(engine_->Speed());
}

int CPlayDialog::PictureKeyOf(WPARAM vk) {
  switch (vk) {
    case VK_OEM_COMMA:
      return Qt::Key_Comma;
    case VK_OEM_PERIOD:
      return Qt::Key_Period;
    case VK_OEM_4:
      return Qt::Key_BracketLeft;
    case VK_OEM_6:
      return Qt::Key_BracketRight;
    case VK_A:
      return Qt::Key_A;
    case VK_B:
      return Qt::Key_B;
    default:
      return 0;
  }
}

bool CPlayDialog::OnPictureKey(int key) {
  switch (key) {
    case Qt::Key_Period:
      StepPicture(+1);
      return true;
    case Qt::Key_Comma:
      StepPicture(-1);
      return true;
    case Qt::Key_BracketLeft:
      ChangeSpeed(-1);
      return true;
    case Qt::Key_BracketRight:
      ChangeSpeed(+1);
      return true;
    default:
      return false;
  }
}

bool CPlayDialog::OnPictureCommand(int id, int direction) {
  // These act at once, apart from the transport commands' one-second filter:
  // the engine coalesces steps itself.
  if (id == kIdStepBack || id == kIdStepForward) {
    StepPicture(id == kIdStepForward ? +1 : -1);
    return true;
  }
  if (id == kIdSpeed) {
    ChangeSpeed(direction < 0 ? -1 : +1);
    return true;
  }
  return false;
}

void CPlayDialog::StepPicture(int direction) {
  if (!engine_->IsStarted() || starting_) return;
  // Stepping pauses first, as the play command does (the panes are told).
  if (engine_->State() == ZovPlayState::kPlaying) Pause();
  engine_->StepFrame(direction);
}

void CPlayDialog::ChangeSpeed(int steps) {
  engine_->SetSpeed(CZovEngine::NextSpeed(engine_->Speed(), steps));
  if (speed_) speed_->SetPercent(engine_->Speed());
}

// --- A-B marks and the export window ------------------------------------------

bool CPlayDialog::OnMarkKey(int key) {
  if (key != Qt::Key_A && key != Qt::Key_B) return false;
  SetMark(key == Qt::Key_A ? ZovMarkAction::kSetA : ZovMarkAction::kSetB, engine_->PositionMs());
  return true;
}

void CPlayDialog::SetMark(ZovMarkAction action, int64_t ms) {
  if (!engine_->IsStarted() || starting_) return;
  const int64_t at = std::clamp<int64_t>(ms, 0, std::max<int64_t>(0, engine_->LengthMs()));
  switch (action) {
    case ZovMarkAction::kSetA: marks_ = ZovSetMarkA(marks_, at); break;
    case ZovMarkAction::kSetB: marks_ = ZovSetMarkB(marks_, at); break;
    case ZovMarkAction::kClear: marks_ = {}; break;
  }
  ShowMarks();
}

void CPlayDialog::TakeMarksFor(const std::string& owner) {
  if (owner != marksOwner_) marks_ = {};
  marksOwner_ = owner;
  ShowMarks();
}

void CPlayDialog::ShowMarks() {
  const int64_t length = engine_->LengthMs();
  auto value = [length](int64_t ms) {
    return ms < 0 || length <= 0 ? -1 : static_cast<int>(std::clamp<int64_t>(ms * kSeekSteps / length, 0, kSeekSteps));
  };
  seekBar_->SetMarks(value(marks_.a), value(marks_.b));
  if (drive_) directory_->Send<ZOV_CODE_DRIVE_MARKS>(kZovGsensorViewName, ZovDriveMarksRecord{marks_.a, marks_.b});
}

void CPlayDialog::OnExportCommand() {
  if (exportWindow_ && exportWindow_->Running()) {
    exportWindow_->show();
    exportWindow_->raise();
    return;
  }
  ZovExportJob job;
  job.clock = store_->CameraClock();
  if (drive_ && engine_->IsStarted() && !drive_->moments.empty()) {
    const ZovExportRange range = ZovExportRangeOf(marks_, engine_->PositionMs(), engine_->LengthMs());
    const std::optional<double> from = ZovCameraSecondsAt(*drive_, range.begin);
    const std::optional<double> to = ZovCameraSecondsAt(*drive_, range.end);
    if (from && to) {
      job.library = store_->LibraryOfDrive(drive_->moments.front().lead, &job.drive);
      job.from = *from;
      job.to = *to;
      job.fromMarks = range.fromMarks;
    }
  }
  // A new window for each range: the one before is done.
  delete exportWindow_;
  exportWindow_ = new CZovExportWindow(this, settings_, std::move(job));
  exportWindow_->show();
}
