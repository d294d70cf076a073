#include "engine/zov_media_play.h"

#include <cstring>

#include "engine/zov_d3d11va_player.h"
#include "engine/zov_dxva_player.h"
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
  StopAll();
  channelCount = 0;
  if (!path0) return -1;
  const int mode = EffectiveMode(path0, decodeMode);
  players[0] = MakePlayer(mode);
  players[0]->sharedPlayhead = playhead;
  players[0]->CreateView(renderWindows[0]);
  const int result = players[0]->Open(path0, 0);
  players[0]->SetVolume(volume);
  players[0]->SetMute(muted != 0);
  channelCount = 1;
  for (const char* path : {path1, path2}) {
    if (!path) continue;
    auto player = MakePlayer(mode);
    player->sharedPlayhead = playhead;
    player->CreateView(renderWindows[channelCount]);
    player->Open(path, channelCount);  // a failed channel shows nothing
    players[channelCount] = std::move(player);
    ++channelCount;
  }
  return result == 0 ? 0 : -1;
}

void CZovMediaPlay::StartAll() {
  for (auto& player : players)
    if (player) player->Start();
  stopped = 0;
  if (startSettleMs > 0) SleepMs(startSettleMs);
}

void CZovMediaPlay::PauseAll() {
  for (auto& player : players)
    if (player) player->Pause();
}

void CZovMediaPlay::ResumeAll() {
  for (auto& player : players)
    if (player) player->Resume();
}

void CZovMediaPlay::SeekAll(int seconds) {
  for (auto& player : players)
    if (player) player->Seek(seconds);
}

void CZovMediaPlay::StopAll() {
  for (auto& player : players) {
    if (!player) continue;
    player->Shutdown();
    player.reset();
  }
  stopped = 1;
}

int CZovMediaPlay::GetState() {
  if (!players[0] || stopped) return 0;
  // The other channels' end checks run too, so that their last pictures
  // (fewer than the pre-buffer) are played out instead of waiting for data
  // that never comes; only channel 0 answers.
  for (int ch = 1; ch < kMaxChannels; ++ch)
    if (players[ch]) players[ch]->GetState();
  return players[0]->GetState();
}

int CZovMediaPlay::GetPositionSeconds() {
  return players[0] ? players[0]->GetPositionSeconds() : kNoChannelPosition;
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
