#include "engine/zov_media_play.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "engine/zov_d3d11va_player.h"
#include "engine/zov_dxva_player.h"
#include "engine/zov_report.h"
#include "engine/zov_time.h"

CZovMediaPlay::CZovMediaPlay() = default;

CZovMediaPlay::~CZovMediaPlay() { StopAll(); }

CZovMediaPlay* CZovMediaPlay::Instance() {
  static CZovMediaPlay* instance = new CZovMediaPlay();  // lives until the process ends
  return instance;
}

int CZovMediaPlay::EffectiveMode(const char* path0, int mode) {
  if (path0 && std::strstr(path0, ".ts")) return kDecodeSoftware;
  return mode;
}

std::unique_ptr<CZovBasePlayer> CZovMediaPlay::MakePlayer(int mode) {
  if (mode == kDecodeHardware) return std::make_unique<CZovD3d11vaPlayer>();
  if (mode == kDecodeSoftware) return std::make_unique<CZovBasePlayer>();
  return std::make_unique<CZovDxvaPlayer>();
}

int CZovMediaPlay::Open(const char* path0, const char* path1, const char* path2) {
  ClearDrive();
  return OpenChannels(path0, path1, path2, nullptr);
}

int CZovMediaPlay::OpenChannels(const char* path0, const char* path1, const char* path2,
                                const std::shared_ptr<ZovMomentTurn>& turn) {
  StopAll();
  playhead = std::make_shared<ZovPlayhead>();
  channelCount = 0;
  if (!path0) return -1;
  const int mode = EffectiveMode(path0, decodeMode);
  players[0] = MakePlayer(mode);
  players[0]->sharedPlayhead = playhead;
  players[0]->turn = turn;
  players[0]->speedPercent = speedPercent;
  players[0]->CreateView(renderWindows[0]);
  const int result = players[0]->Open(path0, 0);
  players[0]->SetVolume(volume);
  players[0]->SetMute(muted != 0);
  channelCount = 1;
  for (const char* path : {path1, path2}) {
    if (!path) continue;
    auto player = MakePlayer(mode);
    player->sharedPlayhead = playhead;
    player->turn = turn;
    player->speedPercent = speedPercent;
    player->CreateView(renderWindows[channelCount]);
    player->Open(path, channelCount);  // a failed channel shows nothing
    players[channelCount] = std::move(player);
    ++channelCount;
  }
  return result == 0 ? 0 : -1;
}

void CZovMediaPlay::StartAll() {
  if (!players[0]) return;
  StartPlayers();
  if (startSettleMs > 0) SleepMs(startSettleMs);
}

void CZovMediaPlay::StartPlayers(int64_t fromMs) {
  for (auto& player : players)
    if (player) player->Start(fromMs);
  stopped = 0;
}

void CZovMediaPlay::PauseAll() {
  for (auto* set : {&players, &standby})
    for (auto& player : *set)
      if (player) player->Pause();
}

void CZovMediaPlay::ResumeAll() {
  for (auto* set : {&players, &standby})
    for (auto& player : *set)
      if (player) player->Resume();
}

void CZovMediaPlay::SeekAll(int64_t ms) {
  for (auto& player : players)
    if (player) player->Seek(ms);
}

void CZovMediaPlay::StopAll() {
  DropStandby();
  for (auto& player : players) {
    if (!player) continue;
    player->Shutdown();
    player.reset();
  }
  stopped = 1;
}

int CZovMediaPlay::GetState() {
  if (!players[0] || stopped) return 0;
  if (Driving()) DriveTick();
  if (!players[0]) return 0;
  // The other channels' end checks run too, so that their last pictures
  // (fewer than the pre-buffer) are played out instead of waiting for data
  // that never comes; only channel 0 answers.
  for (int ch = 1; ch < kMaxChannels; ++ch)
    if (players[ch]) players[ch]->GetState();
  // With the next moment standing by, the main channel ends its turn itself.
  const int state = players[0]->GetState(!standby[0]);
  if (state != 0 || !Driving() || current_ + 1 >= drive_.size()) return state;
  // The moment just ended with nothing standing by: the drive goes on.
  DriveTick();
  return players[0] ? players[0]->GetState(!standby[0]) : 0;
}

int CZovMediaPlay::GetPositionSeconds() {
  return players[0] ? players[0]->GetPositionSeconds() : kNoChannelPosition;
}

int64_t CZovMediaPlay::GetPositionMs() {
  return players[0] ? players[0]->GetPositionMs() : int64_t(kNoChannelPosition) * 1000;
}

int CZovMediaPlay::GetDurationSeconds() {
  return players[0] ? players[0]->GetDurationSeconds() : kNoChannelDuration;
}

void CZovMediaPlay::SetDurationSeconds(int seconds) {
  if (players[0]) players[0]->SetDurationSeconds(seconds);
}

void CZovMediaPlay::SetMute(bool flag) {
  muted = flag ? 1 : 0;
  if (players[0]) players[0]->SetMute(flag);
}

void CZovMediaPlay::SetVolume(int value) {
  volume = value;
  if (players[0]) players[0]->SetVolume(value);
}

CZovDemuxer* CZovMediaPlay::GetMainDemuxer() {
  return players[0] && players[0]->file ? players[0]->file->demuxer.get() : nullptr;
}

// --- Drives ------------------------------------------------------------------

void CZovMediaPlay::ClearDrive() {
  DropStandby();
  drive_.clear();
  offsets_.clear();
  current_ = 0;
  preloadedFor_ = SIZE_MAX;
  turn_.reset();
  figures_ = ZovDriveFigures{};
  gapPending_ = false;
}

int CZovMediaPlay::OpenDrive(std::vector<ZovDriveMoment> moments, size_t moment, int64_t withinMs) {
  ClearDrive();
  StopAll();
  if (moments.empty()) return -1;
  drive_ = std::move(moments);
  int64_t at = 0;
  for (const ZovDriveMoment& m : drive_) {
    offsets_.push_back(at);
    at += std::max<int64_t>(0, m.lengthMs);
  }
  for (size_t k = std::min(moment, drive_.size() - 1); k < drive_.size(); ++k) {
    if (OpenMoment(k) != 0) {
      ++figures_.momentsSkipped;
      withinMs = 0;  // the moment after starts at its beginning
      continue;
    }
    StartPlayers(withinMs);
    if (startSettleMs > 0) SleepMs(startSettleMs);
    return 0;
  }
  StopAll();
  return -1;
}

int CZovMediaPlay::OpenMoment(size_t k) {
  const std::vector<std::string>& paths = drive_[k].paths;
  if (paths.empty()) return -1;
  auto at = [&](size_t i) { return i < paths.size() && i < size_t(kMaxChannels) ? paths[i].c_str() : nullptr; };
  turn_ = std::make_shared<ZovMomentTurn>();
  current_ = k;
  preloadedFor_ = SIZE_MAX;
  gapPending_ = false;
  if (OpenChannels(at(0), at(1), at(2), turn_) != 0) return -1;
  ++figures_.momentsPlayed;
  return 0;
}

int64_t CZovMediaPlay::DriveLengthMs() const {
  return drive_.empty() ? 0 : offsets_.back() + std::max<int64_t>(0, drive_.back().lengthMs);
}

size_t CZovMediaPlay::DriveMomentAt(int64_t ms, int64_t* withinMs) const {
  if (withinMs) *withinMs = 0;
  if (drive_.empty()) return 0;
  ms = std::clamp<int64_t>(ms, 0, std::max<int64_t>(0, DriveLengthMs() - 1));
  // The last moment whose start is at or before `ms`.
  const size_t k = size_t(std::upper_bound(offsets_.begin(), offsets_.end(), ms) - offsets_.begin()) - 1;
  if (withinMs) *withinMs = ms - offsets_[k];
  return k;
}

int64_t CZovMediaPlay::DrivePositionMs() {
  if (drive_.empty()) return GetPositionMs();
  const int64_t length = std::max<int64_t>(0, drive_[current_].lengthMs);
  int64_t within = 0;
  if (players[0] && players[0]->scheduler && players[0]->scheduler->state != kZovThreadStopped)
    within = std::clamp<int64_t>(players[0]->GetPositionMs(), 0, length);
  else if (players[0])
    within = length;  // the moment has played out
  return offsets_[current_] + within;
}

void CZovMediaPlay::SeekDrive(int64_t ms) {
  if (drive_.empty()) {
    SeekAll(ms);
    return;
  }
  DriveTick();
  int64_t within = 0;
  const size_t k = DriveMomentAt(ms, &within);
  if (k == current_ && players[0]) {
    SeekAll(within);
    return;
  }
  const bool paused = GetState() == 2;
  RetireFigures();
  for (size_t j = k; j < drive_.size(); ++j) {
    if (OpenMoment(j) != 0) {
      ++figures_.momentsSkipped;
      within = 0;
      continue;
    }
    StartPlayers(within);
    if (paused) PauseAll();
    return;
  }
  StopAll();
}

void CZovMediaPlay::DriveTick() {
  if (drive_.empty() || !players[0]) return;
  NoteGap();
  const bool over = turn_ && turn_->over;
  if (standby[0] && over) {
    PromoteStandby();
    NoteGap();
  }
  const bool more = current_ + 1 < drive_.size();
  if (!more) return;
  // Near the end of the moment, the next one is opened and stands by.
  CZovBaseCheduler* main = players[0]->scheduler.get();
  const bool ended = !main || main->state == kZovThreadStopped || (turn_ && turn_->over);
  if (preloadNext && !standby[0] && preloadedFor_ != current_ && !ended) {
    const int64_t left = drive_[current_].lengthMs - std::max<int64_t>(0, players[0]->GetPositionMs());
    if (left <= kPreloadLeadMs) {
      preloadedFor_ = current_;
      Preload(current_ + 1);
    }
  }
  if (standby[0] || !ended) return;
  // Nothing stood by (not asked for, or the moments after failed to open):
  // the next playable moment opens now.
  RetireFigures();
  const int32_t lastWall = main ? main->lastVideoWallMs.load() : 0;
  for (size_t j = current_ + 1; j < drive_.size(); ++j) {
    if (OpenMoment(j) != 0) {
      ++figures_.momentsSkipped;
      continue;
    }
    StartPlayers();
    gapPending_ = true;
    gapFromWallMs_ = lastWall;
    return;
  }
  // No moment after it plays: the drive ends with this one.
  drive_.resize(current_ + 1);
  offsets_.resize(current_ + 1);
}


void CZovMediaPlay::Preload(size_t k) {
  for (size_t j = k; j < drive_.size(); ++j) {
    if (OpenStandby(j)) return;
    ++figures_.momentsSkipped;
  }
  // No moment after this one plays: the drive ends with it.
  drive_.resize(current_ + 1);
  offsets_.resize(current_ + 1);
}

bool CZovMediaPlay::OpenStandby(size_t k) {
  const std::vector<std::string>& paths = drive_[k].paths;
  if (paths.empty()) return false;
  auto turn = std::make_shared<ZovMomentTurn>();
  turn->after = turn_;
  auto head = std::make_shared<ZovPlayhead>();
  const int mode = EffectiveMode(paths[0].c_str(), decodeMode);
  const size_t count = std::min(paths.size(), size_t(kMaxChannels));
  std::array<std::unique_ptr<CZovBasePlayer>, 4> set;
  for (size_t i = 0; i < count; ++i) {
    auto player = MakePlayer(mode);
    player->sharedPlayhead = head;
    player->turn = turn;
    player->speedPercent = speedPercent;
    // The pane's view passes from the playing channel to this one; where
    // the playing moment has no such channel, a view of its own.
    if (players[i] && players[i]->View())
      player->BorrowView(players[i]->View());
    else
      player->CreateView(renderWindows[i]);
    const int rc = player->Open(paths[i].c_str(), int(i));
    if (i == 0 && rc != 0) {
      player->Shutdown();
      for (auto& p : set)
        if (p) p->Shutdown();
      return false;
    }
    if (i == 0) {
      player->SetVolume(volume);
      player->SetMute(muted != 0);
    }
    set[i] = std::move(player);
  }
  // Started now: the readers decode the first pictures, the schedulers wait
  // for the playing moment's turn to end.
  for (auto& player : set)
    if (player) player->Start();
  if (!stopped && players[0] && players[0]->scheduler && players[0]->scheduler->state == kZovThreadPaused)
    for (auto& player : set)
      if (player) player->Pause();
  standby = std::move(set);
  standbyCount_ = int32_t(count);
  standbyMoment_ = k;
  standbyTurn_ = std::move(turn);
  standbyPlayhead_ = std::move(head);
  return true;
}

void CZovMediaPlay::DropStandby() {
  for (auto& player : standby) {
    if (!player) continue;
    player->Shutdown();  // a borrowed view stays with its owner
    player.reset();
  }
  standbyTurn_.reset();
  standbyPlayhead_.reset();
  standbyCount_ = 0;
}

void CZovMediaPlay::PromoteStandby() {
  RetireFigures();
  gapPending_ = true;
  gapFromWallMs_ = players[0] && players[0]->scheduler ? players[0]->scheduler->lastVideoWallMs.load() : 0;
  for (int i = 0; i < kMaxChannels; ++i) {
    std::unique_ptr<CZovRenderView> view;
    if (players[i]) {
      if (standby[i] && standby[i]->Borrows(players[i]->renderView.get())) view = std::move(players[i]->renderView);
      players[i]->Shutdown();
      players[i].reset();
    }
    players[i] = std::move(standby[i]);
    if (players[i] && view) players[i]->AdoptView(std::move(view));
  }
  channelCount = standbyCount_;
  playhead = std::move(standbyPlayhead_);
  turn_ = std::move(standbyTurn_);
  current_ = standbyMoment_;
  standbyCount_ = 0;
  ++figures_.momentsPlayed;
  preloadedFor_ = SIZE_MAX;
}

void CZovMediaPlay::AddChannelFigures(ZovDriveFigures& into) const {
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    CZovBasePlayer* p = players[ch].get();
    if (!p || !p->scheduler) continue;
    const ZovChannelFigures c = ZovFiguresOf(*p);
    into.channels[ch].presented += c.presented;
    into.channels[ch].dropped += c.dropped;
    into.channels[ch].skipped += c.skipped;
    into.largestOffsetMs = std::max<int64_t>(into.largestOffsetMs, p->scheduler->leaderOffsetMaxMs);
    into.offsetsMeasured += p->scheduler->leaderOffsetCount;
    into.offsetSumMs += p->scheduler->leaderOffsetSumMs;
  }
}

void CZovMediaPlay::RetireFigures() { AddChannelFigures(figures_); }

void CZovMediaPlay::NoteGap() {
  if (!gapPending_ || !players[0] || !players[0]->scheduler) return;
  const CZovBaseCheduler* main = players[0]->scheduler.get();
  if (main->presentedVideo == 0) return;
  gapPending_ = false;
  ++figures_.changes;
  figures_.largestGapMs = std::max<int64_t>(figures_.largestGapMs, int64_t(main->firstVideoWallMs) - gapFromWallMs_);
}

ZovDriveFigures CZovMediaPlay::DriveFigures() {
  NoteGap();
  ZovDriveFigures f = figures_;
  AddChannelFigures(f);
  return f;
}

void CZovMediaPlay::SetSpeed(int32_t percent) {
  speedPercent = percent;
  for (auto* set : {&players, &standby})
    for (auto& player : *set)
      if (player) player->SetSpeed(percent);
}

int64_t CZovMediaPlay::ShownPictureMs() const {
  const CZovBasePlayer* main = players[0].get();
  if (!main || !main->readThread || !main->scheduler) return 0;
  // A seek not carried out yet: its target stands for the picture.
  if (main->readThread->LastSeekSerial() != main->scheduler->AppliedSeekSerial())
    if (const std::optional<int64_t> target = main->readThread->LastSeekMs()) return *target;
  const int64_t shown = main->scheduler->lastVideoMediaMs;
  return shown >= 0 ? shown : std::max<int64_t>(main->scheduler->clockMs, 0);
}

void CZovMediaPlay::StepFrame(int direction) {
  if (!players[0] || stopped || direction == 0) return;
  direction = direction > 0 ? 1 : -1;
  if (GetState() == 1) PauseAll();
  StepTick();
  if (stepping_) {
    // The last press wins: each step starts from the picture the one before
    // showed, so presses during one leave one step to follow, not a backlog.
    stepPending_ = direction;
    return;
  }
  StartStep(direction);
}

void CZovMediaPlay::StartStep(int direction) {
  const int64_t shown = ShownPictureMs();
  stepSerial_ = players[0]->Step(shown, direction > 0 ? kZovStepAfter : kZovStepBefore);
  stepDirection_ = direction;
  stepCrossed_ = false;
  stepping_ = true;
}

void CZovMediaPlay::StepAllTo(int64_t ms, ZovSeekKind kind) {
  for (auto& player : players)
    if (player) player->Step(ms, kind);
  stepSerial_ = players[0] ? players[0]->readThread->LastSeekSerial() : 0;
  stepCrossed_ = true;
  stepping_ = players[0] != nullptr;
}

void CZovMediaPlay::StepTick() {
  if (!stepping_) return;
  if (!players[0] || !players[0]->readThread) {
    stepping_ = false;
    stepPending_ = 0;
    return;
  }
  int64_t pictureMs = 0;
  const ZovStepOutcome outcome = players[0]->readThread->StepOutcome(stepSerial_, &pictureMs);
  if (outcome == kZovStepPending) return;
  stepping_ = false;
  if (outcome == kZovStepFound && !stepCrossed_) {
    // The other channels show their picture at the main channel's new time:
    // the last one at or before it.
    for (int ch = 1; ch < kMaxChannels; ++ch)
      if (players[ch]) players[ch]->Step(pictureMs + 1, kZovStepBefore);
  } else if (outcome == kZovStepNone && !stepCrossed_ && Driving()) {
    // No picture on that side in this moment: the step goes on in the
    // moment after (its first picture) or before (its last one).
    if (stepDirection_ > 0 && current_ + 1 < drive_.size()) {
      SeekDrive(offsets_[current_ + 1]);
      StepAllTo(1, kZovStepBefore);
      return;
    }
    if (stepDirection_ < 0 && current_ > 0) {
      SeekDrive(offsets_[current_] - 1);
      StepAllTo(CZovReadThread::kMaxSeekMs, kZovStepBefore);
      return;
    }
  }
  if (stepPending_ != 0) {
    const int next = stepPending_;
    stepPending_ = 0;
    StartStep(next);
  }
}
