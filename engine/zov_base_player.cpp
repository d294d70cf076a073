#include "engine/zov_base_player.h"

#include "engine/zov_d3d11_render_view.h"

CZovBasePlayer::CZovBasePlayer() = default;

CZovBasePlayer::~CZovBasePlayer() { Shutdown(); }

std::unique_ptr<CZovBaseFile> CZovBasePlayer::MakeFile() { return std::make_unique<CZovBaseFile>(); }

std::unique_ptr<CZovRenderView> CZovBasePlayer::MakeView() {
  auto view = std::make_unique<CZovD3D11RenderView>();
  view->followClientOnSoftware = true;  // no back buffer larger than the pane on a software renderer
  return view;
}

bool CZovBasePlayer::CreateView(QWindow* window) {
  // The old view may still be drawn by a running scheduler: stop it first.
  StopWorkers();
  if (file) file->renderView = nullptr;
  renderView = MakeView();
  if (file) file->renderView = renderView.get();
  return renderView->Attach(window);
}

void CZovBasePlayer::AdoptView(std::unique_ptr<CZovRenderView> view) {
  if (!view || view.get() != borrowedView_) return;
  renderView = std::move(view);
  borrowedView_ = nullptr;
}

int CZovBasePlayer::Open(const char* path, int channelIndex) {
  StopWorkers();
  audioOutput.reset();
  file = MakeFile();
  file->renderView = renderView.get();
  channel = channelIndex;
  file->channelIndex = channelIndex;  // the decoder set-up depends on it
  const int opened = file->Open(path ? path : "");
  if (borrowedView_) file->renderView = borrowedView_;
  if (!opened) return -1;
  if (channelIndex == 0) {
    audioOutput = std::make_unique<CZovWavePlay>();
    audioOutput->Open(file.get());
  }
  return 0;
}

void CZovBasePlayer::StopWorkers() {
  if (readThread) readThread->SetState(kZovThreadStopped);
  if (scheduler) scheduler->SetState(kZovThreadStopped);
  readThread.reset();  // Stop joins
  scheduler.reset();
}

void CZovBasePlayer::Start(int64_t fromMs) {
  StopWorkers();
  if (queue) queue->Flush();
  queue = std::make_unique<CZovMediaQueue>();
  readThread = std::make_unique<CZovReadThread>();
  scheduler = std::make_unique<CZovBaseCheduler>();
  readThread->file = file.get();
  readThread->queue = queue.get();
  readThread->scheduler = scheduler.get();
  scheduler->file = file.get();
  scheduler->queue = queue.get();
  scheduler->audioOutput = audioOutput.get();
  scheduler->SetClock(schedulerClock);
  // The other channels never hold the main one back: they catch up by
  // leaving pictures out (see ZovCatchUp).
  scheduler->catchUp = readThread->catchUp = channel != 0;
  readThread->playheadMs = &scheduler->playheadMs;
  scheduler->leader = sharedPlayhead;
  scheduler->turn = turn;
  scheduler->SetSpeedPercent(speedPercent);
  if (channel == 0 && sharedPlayhead) sharedPlayhead->Publish(ZovPlayhead::kNone, 0);
  queue->SetSoundOnly(file->IsSoundOnly());
  queue->KeepSoundBeforePicture();
  if (fromMs > 0) {
    ++seeks;
    readThread->RequestSeek(fromMs);
  }
  readThread->Start();
  scheduler->Start();
  readThread->SetState(kZovThreadRunning);
  scheduler->SetState(kZovThreadRunning);
}

void CZovBasePlayer::Pause() {
  if (scheduler) scheduler->SetState(kZovThreadPaused);
  if (readThread) readThread->SetState(kZovThreadPaused);
}

void CZovBasePlayer::Resume() {
  if (readThread) readThread->SetState(kZovThreadRunning);
  if (scheduler) scheduler->SetState(kZovThreadRunning);
}

void CZovBasePlayer::Seek(int64_t ms) {
  if (!readThread || !scheduler || !queue || !file) return;
  ++seeks;
  readThread->RequestSeek(ms);
}

uint32_t CZovBasePlayer::Step(int64_t ms, ZovSeekKind kind) {
  if (!readThread || !scheduler || !queue || !file) return 0;
  ++seeks;
  readThread->RequestSeek(ms, kind);
  return readThread->LastSeekSerial();
}

void CZovBasePlayer::SetSpeed(int32_t percent) {
  speedPercent = percent;
  if (scheduler) scheduler->SetSpeedPercent(percent);
}

void CZovBasePlayer::Shutdown() {
  StopWorkers();
  audioOutput.reset();  // closes the device
  if (queue) queue->Flush();
  queue.reset();
  if (file) file->Close();
  file.reset();
  renderView.reset();
}

void CZovBasePlayer::CheckEnd(CZovMediaQueue* queue, CZovBaseCheduler* scheduler,
                              bool audioMaster) {
  if (!queue || !scheduler || queue->endState != kZovQueueAtEnd) return;
  queue->draining = 1;
  // Decided under the scheduler's unit lock: it pops an item and marks it
  // held in one unit, so the last picture is never seen as neither queued
  // nor held (and the recording ended one picture early).
  std::lock_guard<std::recursive_mutex> unit(scheduler->stateLock);
  // A master item the scheduler has taken and waits to present is not
  // over yet: its picture or sound would be lost.
  if (scheduler->HoldsMaster()) return;
  if (queue->TotalCount() <= 0) scheduler->SetState(kZovThreadStopped);
  if (audioMaster) {
    // The pictures lag the sound by a frame or a few: those whose time the
    // sound has already reached are shown before the end, so a recording's
    // last pictures are not cut when its sound runs out first.
    const int64_t frontPicture = queue->FrontVideoTimeMs();
    const bool pictureDue = frontPicture >= 0 && frontPicture <= scheduler->clockMs;
    if (queue->AudioCount() <= 0 && !pictureDue) scheduler->SetState(kZovThreadStopped);
  } else if (queue->VideoCount() <= 0) {
    scheduler->SetState(kZovThreadStopped);
  }
}

int CZovBasePlayer::GetState(bool checkEnd) {
  // The channels without sound time their pictures, so their end is the
  // video list running dry (as their scheduler's master choice says).
  // While a seek is asked for or held, the end the reader met belongs to the
  // old position and the queue is being refilled: no end is decided.
  const bool seeking = readThread && scheduler &&
                       (readThread->LastSeekSerial() != scheduler->AppliedSeekSerial() || scheduler->holdFlag);
  if (checkEnd && readThread && file && !seeking)
    CheckEnd(queue.get(), scheduler.get(), channel == 0 && file->TimedBySound());
  if (!scheduler || scheduler->state == kZovThreadStopped) return 0;
  if (scheduler->state == kZovThreadPaused) return 2;
  return 1;
}

int CZovBasePlayer::GetPositionSeconds() {
  if (channel != 0) return 0;
  if (!scheduler || scheduler->state == kZovThreadStopped) return kStoppedPosition;
  return static_cast<int>(GetPositionMs() / 1000);
}

int64_t CZovBasePlayer::GetPositionMs() {
  if (channel != 0) return 0;
  if (!scheduler || scheduler->state == kZovThreadStopped) return int64_t(kStoppedPosition) * 1000;
  // A seek asked for and not begun yet: a second arrow press counts from
  // its target, and the position does not jump back meanwhile.
  if (readThread && readThread->LastSeekSerial() != scheduler->AppliedSeekSerial())
    if (const std::optional<int64_t> target = readThread->LastSeekMs()) return *target;
  return scheduler->clockMs;
}

int CZovBasePlayer::GetDurationSeconds() {
  if (channel != 0 || !file || !file->demuxer) return 0;
  return file->demuxer->durationSeconds;
}

void CZovBasePlayer::SetDurationSeconds(int seconds) {
  if (channel == 0 && file && file->demuxer) file->demuxer->durationSeconds = seconds;
}

void CZovBasePlayer::SetMute(bool flag) {
  if (audioOutput) audioOutput->SetMute(flag);
}

void CZovBasePlayer::SetVolume(int value) {
  if (audioOutput) audioOutput->SetVolume(value);
}
