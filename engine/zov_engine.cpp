#include "engine/zov_engine.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "engine/zov_d3d11_render_view.h"
#include "engine/zov_dxva_render_view.h"
#include "engine/zov_media_play.h"

namespace {

struct SwsDeleter {
  void operator()(SwsContext* c) const { sws_freeContext(c); }
};

CZovBasePlayer* PlayerOf(CZovMediaPlay* play, int channel) {
  if (!play || channel < 0 || channel >= CZovMediaPlay::kMaxChannels || play->channelCount < channel + 1)
    return nullptr;
  return play->players[channel].get();
}

// The OpenGL view that presents a channel's pictures (the surface view draws
// through one).
CZovD3D11RenderView* PresenterOf(CZovBasePlayer* player) {
  if (!player || !player->renderView) return nullptr;
  CZovRenderView* view = player->renderView.get();
  if (auto* surfaceView = dynamic_cast<CZovDxvaRenderView*>(view)) return surfaceView->Presenter();
  return dynamic_cast<CZovD3D11RenderView*>(view);
}

}  // namespace

CZovEngine& CZovEngine::Get() {
  static CZovEngine* engine = new CZovEngine(CZovMediaPlay::Instance());  // lives until the process ends
  return *engine;
}

CZovEngine::CZovEngine(CZovMediaPlay* play) : play_(play) {
  // The windows poll the state themselves: the start never sleeps.
  play_->startSettleMs = 0;
}

void CZovEngine::SetDecodeMode(int mode) { play_->SetDecodeMode(mode); }

int CZovEngine::DecodeMode() const { return play_->decodeMode; }

void CZovEngine::SetChannelWindows(const std::array<QWindow*, 4>& windows) { play_->renderWindows = windows; }

QWindow* CZovEngine::ChannelWindow(int channel) const {
  return channel >= 0 && channel < int(play_->renderWindows.size()) ? play_->renderWindows[channel] : nullptr;
}

void CZovEngine::ForgetWindows(const std::array<QWindow*, 4>& windows) {
  for (QWindow*& w : play_->renderWindows)
    for (QWindow* gone : windows)
      if (w && w == gone) w = nullptr;
}

void CZovEngine::SetVolume(int value) { play_->SetVolume(value); }

void CZovEngine::SetMute(bool flag) { play_->SetMute(flag); }

bool CZovEngine::Open(const std::vector<std::string>& paths) {
  if (paths.empty() || paths.size() > size_t(kMaxChannels)) {
    play_->StopAll();
    return false;
  }
  auto at = [&](size_t i) { return i < paths.size() ? paths[i].c_str() : nullptr; };
  if (play_->Open(at(0), at(1), at(2)) == 0) return true;
  play_->StopAll();
  return false;
}

bool CZovEngine::OpenDrive(const std::vector<ZovDriveMoment>& moments, size_t moment, int64_t withinMs) {
  std::vector<ZovDriveMoment> kept;
  for (const ZovDriveMoment& m : moments) {
    ZovDriveMoment k = m;
    if (k.paths.size() > size_t(kMaxChannels)) k.paths.resize(kMaxChannels);
    kept.push_back(std::move(k));
  }
  return play_->OpenDrive(std::move(kept), moment, withinMs) == 0;
}

bool CZovEngine::IsDrive() const { return play_->Driving(); }

size_t CZovEngine::DriveMoment() const { return play_->DriveMoment(); }

ZovDriveFigures CZovEngine::DriveFigures() const { return play_->DriveFigures(); }

void CZovEngine::Play() {
  if (!play_->players[0]) return;
  if (play_->stopped)
    play_->StartAll();
  else if (play_->GetState() == int(ZovPlayState::kPaused))
    play_->ResumeAll();
}

void CZovEngine::Pause() { play_->PauseAll(); }

void CZovEngine::Seek(int64_t ms) {
  if (play_->Driving())
    play_->SeekDrive(ms);
  else
    play_->SeekAll(ms);
}

void CZovEngine::Stop() { play_->StopAll(); }

bool CZovEngine::IsStarted() const { return play_->stopped == 0; }

void CZovEngine::StepFrame(int direction) { play_->StepFrame(direction); }

bool CZovEngine::Stepping() const { return play_->Stepping(); }

void CZovEngine::SetSpeed(int percent) { play_->SetSpeed(std::clamp(percent, kSpeeds.front(), kSpeeds.back())); }

int CZovEngine::Speed() const { return play_->speedPercent; }

int CZovEngine::NextSpeed(int percent, int steps) {
  // The offered speed nearest below or at `percent` is where the steps start.
  int at = 0;
  for (int i = 0; i < int(kSpeeds.size()); ++i)
    if (kSpeeds[size_t(i)] <= percent) at = i;
  return kSpeeds[size_t(std::clamp(at + steps, 0, int(kSpeeds.size()) - 1))];
}

ZovPlayState CZovEngine::State() {
  if (play_->stopped) return ZovPlayState::kStopped;
  play_->StepTick();
  return static_cast<ZovPlayState>(play_->GetState());
}

int CZovEngine::ChannelCount() const {
  int count = 0;
  while (count < kMaxChannels && PlayerOf(play_, count)) ++count;
  return count;
}

int64_t CZovEngine::PositionMs() const {
  if (play_->stopped || !play_->players[0]) return -1;
  return play_->Driving() ? play_->DrivePositionMs() : play_->GetPositionMs();
}

int64_t CZovEngine::LengthMs() const {
  if (play_->Driving()) return play_->DriveLengthMs();
  return int64_t(play_->GetDurationSeconds()) * 1000;
}

void CZovEngine::GrowLength(int64_t ms) {
  if (play_->Driving()) return;  // a drive's length is its moments'
  play_->SetDurationSeconds(static_cast<int>(ms / 1000)); }

bool CZovEngine::StillOf(int channel, ZovStill* still) const {
  CZovBasePlayer* player = PlayerOf(play_, channel);
  if (!still || !player || !player->queue) return false;
  // A new reference: the picture stays valid even if the scheduler releases
  // the queued item meanwhile.
  AVFrameUPtr frame(player->queue->CloneFrontVideoFrame());
  if (!frame) return false;
  const int width = frame->width;
  const int height = frame->height;
  const auto format = static_cast<AVPixelFormat>(frame->format);
  if (width <= 0 || height <= 0) return false;
  std::unique_ptr<SwsContext, SwsDeleter> scaler(
      sws_getContext(width, height, format, width, height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
  if (!scaler) return false;
  std::vector<uint8_t> bgr(size_t(width) * 3 * size_t(height));
  uint8_t* planes[4] = {bgr.data(), nullptr, nullptr, nullptr};
  int strides[4] = {width * 3, 0, 0, 0};
  if (sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, planes, strides) <= 0) return false;
  still->bgr = std::move(bgr);
  still->width = width;
  still->height = height;
  still->sarNum = frame->sample_aspect_ratio.num;
  still->sarDen = frame->sample_aspect_ratio.den;
  return true;
}

int64_t CZovEngine::PresentedCount(int channel) const {
  CZovBasePlayer* player = PlayerOf(play_, channel);
  return player && player->scheduler ? player->scheduler->presentedVideo.load() : 0;
}

ZovShownPicture CZovEngine::ShownPicture(int channel, int width, int height) const {
  ZovShownPicture shown;
  CZovD3D11RenderView* view = PresenterOf(PlayerOf(play_, channel));
  if (!view) return shown;
  const ZovPictureRect r = view->LastPictureRect(width, height);
  shown.rect = QRect(r.x, r.y, r.width, r.height);
  shown.picture = view->BackBufferImage();
  return shown;
}

ZovChannelState CZovEngine::ChannelState(int channel) {
  CZovBasePlayer* player = PlayerOf(play_, channel);
  if (!player) return ZovChannelState::kNone;
  if (!player->file || !player->file->demuxer) return ZovChannelState::kFailed;  // the open failed
  if (play_->stopped || player->GetState() != 0) return ZovChannelState::kPlaying;
  return PresentedCount(channel) > 0 ? ZovChannelState::kEnded : ZovChannelState::kFailed;
}

ZovChannelFigures CZovEngine::Counters(int channel) const {
  CZovBasePlayer* player = PlayerOf(play_, channel);
  return player ? ZovFiguresOf(*player) : ZovChannelFigures{};
}

QRect CZovEngine::PictureRect(int clientWidth, int clientHeight, int width, int height, int sarNum, int sarDen) {
  const ZovPictureRect r = CZovD3D11RenderView::PictureRect(clientWidth, clientHeight, width, height, sarNum, sarDen);
  return QRect(r.x, r.y, r.width, r.height);
}

CZovDemuxer* CZovEngine::MainMedia() const { return play_->GetMainDemuxer(); }

ZovMediaInfo CZovEngine::MediaInfoOf(CZovDemuxer* demuxer) {
  ZovMediaInfo info;
  if (demuxer == nullptr || !demuxer->IsOpened()) return info;
  info.open = true;
  info.durationSeconds = demuxer->durationSeconds.load();
  info.width = demuxer->width;
  info.height = demuxer->height;
  info.bitRate = demuxer->bitRate;
  info.frameRate = demuxer->frameRate;
  info.audioCodec.assign(demuxer->audioCodecName, strnlen(demuxer->audioCodecName, sizeof demuxer->audioCodecName));
  info.videoCodec.assign(demuxer->videoCodecName, strnlen(demuxer->videoCodecName, sizeof demuxer->videoCodecName));
  if (const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(demuxer->pixelFormat))) info.pixelFormat = name;
  info.hardware = demuxer->hardwareFlag != 0;
  return info;
}
