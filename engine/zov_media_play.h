#pragma once
// The process-wide media-play manager: up to three channels of one recording,
// each on its own player, driven together. Channel 0 is the main channel: the
// only one with sound and the one that answers state, position and length.
// Created on first use (Instance) on the user-interface thread and never
// destroyed; every operation runs on that thread.
#include <array>
#include <cstdint>
#include <memory>

#include "engine/zov_base_player.h"

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
  void SeekAll(int seconds);
  void StopAll();
  int GetState();
  int GetPositionSeconds();
  int GetDurationSeconds();
  void SetDurationSeconds(int seconds);
  void SetMute(bool flag);
  void SetVolume(int value);
  void SetDecodeMode(int mode) { decodeMode = mode; }
  CZovDemuxer* GetMainDemuxer();

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
};
