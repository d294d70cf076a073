#pragma once
// One playing channel: its render view, decoder object, sound output (main
// channel only), read thread, scheduler and queue, all owned here.
//
//   CZovBasePlayer     software decoding (CZovBaseFile) on the OpenGL view
//   CZovD3d11vaPlayer  decode mode 0 (CZovD3d11vaFile) on the OpenGL view
//   CZovDxvaPlayer     decode mode 2 (CZovDxvaFile) on the surface view
//
// Every operation runs on the user-interface thread. Lock order, for every
// path through the player: a worker's stateLock, then the queue's lock, then
// the demuxer's lock. A seek takes none of them here: it is a request the
// read thread carries out (see zov_read_thread.h), so Seek never waits.
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/zov_base_cheduler.h"
#include "engine/zov_base_file.h"
#include "engine/zov_media_queue.h"
#include "engine/zov_read_thread.h"
#include "engine/zov_render_view.h"
#include "engine/zov_wave_play.h"

class QWindow;

class CZovBasePlayer {
 public:
  // Position reported by a channel that is not playing.
  static constexpr int kStoppedPosition = 10000;

  CZovBasePlayer();
  virtual ~CZovBasePlayer();
  CZovBasePlayer(const CZovBasePlayer&) = delete;
  CZovBasePlayer& operator=(const CZovBasePlayer&) = delete;

  // Creates the decoder object, gives it the view, opens `path` (UTF-8) and,
  // for channel 0, opens the sound output on it. 0, or -1 when the open fails
  // (the decoder object is kept: the channel then shows nothing).
  virtual int Open(const char* path, int channel);
  // Draws into `view`, which another player owns (a drive moment standing by
  // on the pane of the playing one); set before Open. The view's picture size
  // hints are left alone: the other player's scheduler uses them.
  void BorrowView(CZovRenderView* view) { borrowedView_ = view; }
  bool Borrows(const CZovRenderView* view) const { return view && borrowedView_ == view; }
  // Takes over the view it borrowed (its owner is going).
  void AdoptView(std::unique_ptr<CZovRenderView> view);
  // The view this channel presents into (owned or borrowed).
  CZovRenderView* View() const { return renderView ? renderView.get() : borrowedView_; }
  // (Re)creates reader, scheduler and queue, wires and starts them. With
  // fromMs > 0 the reader seeks there before its first read, so no picture
  // of the recording's start is shown first.
  virtual void Start(int64_t fromMs = 0);
  // Replaces the view with a new one of this player's kind, attached to window.
  virtual bool CreateView(QWindow* window);

  void Pause();
  void Resume();
  // Asks the channel's workers to seek to `ms` from the start; returns at once. The
  // state stays as it is: a paused channel shows the new position's first
  // picture and stays paused. Seeks asked for before the last one was
  // carried out coalesce to the last.
  void Seek(int64_t ms);
  // A frame step from the picture at `ms` (see ZovSeekKind); returns the
  // request's serial (its outcome: readThread->StepOutcome).
  uint32_t Step(int64_t ms, ZovSeekKind kind);
  // Playback speed in percent (taken by Start, and now).
  void SetSpeed(int32_t percent);
  int32_t speedPercent = 100;
  void Shutdown();
  // 0 stopped, 1 playing, 2 paused. Detects the end of the recording: once
  // the reader met the end and the master list ran dry, the scheduler stops
  // (not with checkEnd false: a drive moment's main channel with the next
  // moment standing by ends its turn itself).
  int GetState(bool checkEnd = true);
  // The clock's second; while a seek has not begun its hold, its target.
  int GetPositionSeconds();
  // The same in ms.
  int64_t GetPositionMs();
  int GetDurationSeconds();
  void SetDurationSeconds(int seconds);
  void SetMute(bool flag);
  void SetVolume(int value);

  // The end rule of GetState, apart so tests can drive it.
  static void CheckEnd(CZovMediaQueue* queue, CZovBaseCheduler* scheduler, bool audioMaster);

  int channel = 0;
  std::atomic<int64_t> seeks{0};
  // Clock used by the scheduler made in Start (null: the real clock).
  ZovSchedulerClock* schedulerClock = nullptr;
  // The main channel's clock shared by the channels of one recording (set by
  // the media-play manager; null: this channel keeps its own clock).
  std::shared_ptr<ZovPlayhead> sharedPlayhead;
  // The drive moment this channel plays (null: a recording on its own); the
  // scheduler made in Start takes it.
  std::shared_ptr<ZovMomentTurn> turn;

  std::unique_ptr<CZovRenderView> renderView;
  std::unique_ptr<CZovBaseFile> file;
  std::unique_ptr<CZovWavePlay> audioOutput;
  std::unique_ptr<CZovReadThread> readThread;
  std::unique_ptr<CZovBaseCheduler> scheduler;
  std::unique_ptr<CZovMediaQueue> queue;

 protected:
  virtual std::unique_ptr<CZovBaseFile> MakeFile();
  virtual std::unique_ptr<CZovRenderView> MakeView();
  void StopWorkers();

 private:
  CZovRenderView* borrowedView_ = nullptr;
};
