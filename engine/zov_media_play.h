#pragma once
// The process-wide media-play manager: up to three channels of one recording,
// each on its own player, driven together; or a drive of such moments, one
// after the other (OpenDrive), with the next moment standing by. Channel 0 is the main channel: the
// only one with sound and the one that answers state, position and length.
// Created on first use (Instance) on the user-interface thread and never
// destroyed; every operation runs on that thread.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/zov_base_player.h"
#include "engine/zov_drive_types.h"

class QWindow;
class CZovDemuxer;

class CZovMediaPlay {
 public:
  static constexpr int kMaxChannels = 3;
  // Decode modes: 0 hardware (mode-0 device), 1 software, other: mode-2 device.
  static constexpr int kDecodeHardware = 0;
  static constexpr int kDecodeSoftware = 1;
  // Answers without a channel 0.
  static constexpr int kNoChannelPosition = 10000;
  static constexpr int kNoChannelDuration = 100;
  // StartAll gives the workers this long to get going, so the readers have
  // queued the pre-buffer before the play window polls the first state.
  static constexpr int kStartSettleMs = 500;

  CZovMediaPlay();
  ~CZovMediaPlay();
  static CZovMediaPlay* Instance();

  // Opens path0 (required) and path1, path2 (optional, may be null) on new
  // players of the class the decode mode selects. 0, or -1 when channel 0
  // cannot be opened.
  int Open(const char* path0, const char* path1 = nullptr, const char* path2 = nullptr);
  void StartAll();
  void PauseAll();
  void ResumeAll();
  // Seeks every channel to `ms` from the start (no wait).
  void SeekAll(int64_t ms);
  void StopAll();
  int GetState();
  int GetPositionSeconds();
  int64_t GetPositionMs();
  int GetDurationSeconds();
  void SetDurationSeconds(int seconds);
  void SetMute(bool flag);
  void SetVolume(int value);
  void SetDecodeMode(int mode) { decodeMode = mode; }
  CZovDemuxer* GetMainDemuxer();

  // A drive: moments played one after the other on one clock. Opens
  // `moment` (or the first playable one after it) at `withinMs` into it and
  // starts it; moments whose main channel cannot be opened are stepped over.
  // 0, or -1 when no moment from `moment` on opens. Only the playing moment
  // and the next are ever open, so a long drive opens as fast as one moment.
  int OpenDrive(std::vector<ZovDriveMoment> moments, size_t moment, int64_t withinMs);
  bool Driving() const { return !drive_.empty(); }
  // The moment playing, and the drive's moments.
  size_t DriveMoment() const { return current_; }
  size_t DriveMomentCount() const { return drive_.size(); }
  // Position and length on the drive clock, in ms.
  int64_t DrivePositionMs();
  int64_t DriveLengthMs() const;
  // Seeks the drive: within the playing moment, or opens the moment that
  // holds `ms` at the right time (a paused drive stays paused).
  void SeekDrive(int64_t ms);
  // The moment that holds drive time `ms` (clamped into the drive) and the
  // time within it.
  size_t DriveMomentAt(int64_t ms, int64_t* withinMs) const;
  // Figures of the moments played so far and of the playing one.
  ZovDriveFigures DriveFigures();
  // Called by GetState: once the main channel's turn is over, the moment
  // standing by becomes the playing one; near the end of a moment the next
  // is opened and its first pictures decoded (it presents as soon as the
  // playing one is over, on the workers' own time); with none standing by,
  // the next moment opens once the playing one ended.
  void DriveTick();
  // A moment stands by once the playing one has this little left.
  static constexpr int64_t kPreloadLeadMs = 4000;
  // False: no moment stands by, the next opens only once the playing one
  // has ended (the comparison of the drive test).
  bool preloadNext = true;

  // Playback speed in percent (25 to 400) of every channel, now and of the
  // players opened later (a seek, the next moment of a drive).
  void SetSpeed(int32_t percent);
  int32_t speedPercent = 100;

  // One picture forward (direction > 0) or back, every channel together;
  // pauses first. The main channel's reader seeks to the key frame at or
  // before the picture wanted and decodes up to it; once it has, the other
  // channels show their picture at its time. Across the edge of a drive's
  // moment the step opens the moment after (its first picture) or before
  // (its last). A step asked while one is carried out waits in a slot of
  // one: the last one asked wins.
  void StepFrame(int direction);
  // Follows the step carried out (the engine's state poll).
  void StepTick();
  bool Stepping() const { return stepping_; }
  // The main channel's picture shown (its time in the playing moment), or
  // the target of a seek not carried out yet.
  int64_t ShownPictureMs() const;

  // The decode mode used for a recording: software for any path containing
  // ".ts", else `mode`.
  static int EffectiveMode(const char* path0, int mode);
  // A new player of the class for `mode`.
  static std::unique_ptr<CZovBasePlayer> MakePlayer(int mode);
  // Start StartAll's settle wait, 0 for none (tests and tools that poll).
  int startSettleMs = kStartSettleMs;

  int32_t channelCount = 0;
  int32_t decodeMode = kDecodeSoftware;
  std::array<std::unique_ptr<CZovBasePlayer>, 4> players;  // the fourth is never used
  int32_t stopped = 1;
  int32_t muted = 0;
  int32_t volume = 16;
  std::array<QWindow*, 4> renderWindows{};
  // Channel 0's clock, which the other channels start on and keep.
  std::shared_ptr<ZovPlayhead> playhead = std::make_shared<ZovPlayhead>();
  // The next moment of a drive, opened and started, presenting nothing until
  // the playing moment is over.
  std::array<std::unique_ptr<CZovBasePlayer>, 4> standby;

 private:
  // Open's work; the channels' schedulers take `turn` (null: no drive).
  int OpenChannels(const char* path0, const char* path1, const char* path2,
                   const std::shared_ptr<ZovMomentTurn>& turn);
  // StartAll without its settle wait (a drive going on to another moment),
  // from fromMs into the moment.
  void StartPlayers(int64_t fromMs = 0);
  // Opens moment k's channels as the playing set (after stopping the one
  // before); 0 or -1 as Open.
  int OpenMoment(size_t k);
  // Opens the first playable moment from k on as the set standing by.
  void Preload(size_t k);
  bool OpenStandby(size_t k);
  void DropStandby();
  // The standby set becomes the playing one; the old one's views pass over.
  void PromoteStandby();
  // Adds the playing set's counters to `into`; RetireFigures to the drive
  // figures, before the set goes.
  void AddChannelFigures(ZovDriveFigures& into) const;
  void RetireFigures();
  // Measures the change of moment once the new main channel has shown a picture.
  void NoteGap();
  void ClearDrive();

  void StartStep(int direction);
  // Asks every channel for the step `kind` from `ms` (a moment just opened).
  void StepAllTo(int64_t ms, ZovSeekKind kind);

  bool stepping_ = false;
  bool stepCrossed_ = false;  // the step opened another moment
  int stepDirection_ = 0;
  int stepPending_ = 0;       // a step asked during one (the last wins)
  uint32_t stepSerial_ = 0;   // the main channel's request being carried out
  std::vector<ZovDriveMoment> drive_;
  std::vector<int64_t> offsets_;  // each moment's start on the drive clock
  size_t current_ = 0;
  size_t standbyMoment_ = 0;
  int32_t standbyCount_ = 0;
  size_t preloadedFor_ = SIZE_MAX;  // the playing moment a preload was tried for
  std::shared_ptr<ZovMomentTurn> turn_;
  std::shared_ptr<ZovMomentTurn> standbyTurn_;
  std::shared_ptr<ZovPlayhead> standbyPlayhead_;
  ZovDriveFigures figures_;
  bool gapPending_ = false;
  int32_t gapFromWallMs_ = 0;
};
