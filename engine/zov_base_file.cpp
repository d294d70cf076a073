#include "engine/zov_base_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

extern "C" {
#include <libavutil/hwcontext.h>
}

CZovBaseFile::CZovBaseFile() = default;

CZovBaseFile::~CZovBaseFile() {
  demuxer.reset();
  hwDeviceRef.reset();
}

bool CZovBaseFile::AudioMasterRule(uint32_t minVideo, int32_t minAudio) {
  if (minAudio == -1) return false;
  const int64_t v = minVideo;
  const int64_t a = minAudio;
  return (a < 30 && v > 25) || v > a + 20;
}

bool CZovBaseFile::IsAudioMaster() const { return AudioMasterRule(minVideoIntervalMs, minAudioIntervalMs); }

bool CZovBaseFile::HasVideo() const { return demuxer && demuxer->videoStreamIndex >= 0; }

bool CZovBaseFile::IsSoundOnly() const {
  return demuxer && demuxer->videoStreamIndex < 0 && demuxer->audioStreamIndex >= 0;
}

int64_t CZovBaseFile::DiscontinuityLimitMs() const {
  if (!demuxer) return kTsDiscontinuityMs;
  int64_t limit = int64_t(std::max<int32_t>(demuxer->durationSeconds, 1)) * 1000;
  const AVFormatContext* ctx = demuxer->formatContext.get();
  if (ctx && ctx->iformat && (ctx->iformat->flags & AVFMT_TS_DISCONT)) limit = std::min(limit, kTsDiscontinuityMs);
  return limit;
}

int64_t ZovStreamTimeline::Map(int64_t rawMs, int64_t nominalStepMs, int64_t limitMs) {
  int64_t t = rawMs + offsetMs;
  if (lastMs == kNone) {
    lastMs = t;
    return t;
  }
  const int64_t step = t - lastMs;
  const int64_t ownStep = stepMs > 0 ? stepMs : std::max<int64_t>(nominalStepMs, 1);
  if (step > limitMs || step < -limitMs) {
    // A jump: go on one step after the last time, and shift what follows.
    t = lastMs + ownStep;
    offsetMs = t - rawMs;
    ++repaired;
  } else if (step <= 0) {
    // Not advancing: paced by the stream's own step.
    t = lastMs + ownStep;
    ++repaired;
  } else {
    stepMs = step;
  }
  lastMs = t;
  return t;
}

void CZovBaseFile::ResetTimelines() {
  videoTimeline.Reset();
  audioTimeline.Reset();
  videoDrained = false;
}

int64_t CZovBaseFile::PictureTimeMs(const AVFrame& frame, int64_t packetTimeMs) const {
  // The decoder hands out pictures in display order and a few packets late
  // (B-frames, frame threads), so the packet that produced a picture is not
  // its own: its own time stamp is right, unless the stream's times had to be
  // mended (then the reader's continuous time stands).
  const int64_t pts = frame.best_effort_timestamp;
  if (pts == AV_NOPTS_VALUE || videoTimeline.repaired != 0 || !haveFirstTime) return packetTimeMs;
  const int64_t t = pts + videoTimeline.offsetMs - firstTimeMs;
  return std::llabs(t - packetTimeMs) <= DiscontinuityLimitMs() ? t : packetTimeMs;
}

int64_t CZovBaseFile::NominalStepMs(bool video, const AVPacket* packet) const {
  if (video) {
    const int32_t fps = demuxer ? demuxer->frameRate : 0;
    return (fps > 0 && fps <= 1000) ? 1000 / fps : kFallbackVideoStepMs;
  }
  return (packet && packet->duration > 0 && packet->duration < 1000) ? packet->duration : kFallbackAudioStepMs;
}

bool CZovBaseFile::OpenDecoders(bool video, bool audio) {
  if (!demuxer) return false;
  if (video) {
    AVCodecContext* v = demuxer->GetVideoCodecContext();
    if (v && !avcodec_is_open(v)) {
      // The other channels decode on their own (lower-priority) read thread:
      // decoder threads would be made here, on the opening thread, at the
      // main channel's priority.
      if (channelIndex != 0) v->thread_count = 1;
      // More frame threads than processors add no speed, only pictures in
      // flight (memory, and frames of delay after each seek): the main
      // channel takes at most one a processor.
      const int processors = static_cast<int>(std::thread::hardware_concurrency());
      if (channelIndex == 0 && processors > 0) v->thread_count = std::min(v->thread_count, processors);
      const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(demuxer->videoCodecId));
      int rc = decoder ? avcodec_open2(v, decoder, nullptr) : AVERROR_DECODER_NOT_FOUND;
      if (rc < 0) {
        std::printf("Open decoder(%d) failed.\n", demuxer->videoCodecId);
        return false;
      }
    }
  }
  if (audio) {
    AVCodecContext* a = demuxer->GetAudioCodecContext();
    if (a && !avcodec_is_open(a)) {
      const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(demuxer->audioCodecId));
      int rc = decoder ? avcodec_open2(a, decoder, nullptr) : AVERROR_DECODER_NOT_FOUND;
      if (rc < 0) {
        // The recording still plays, without sound. Its audio packets are
        // then no longer classified as sound either: their rhythm would make
        // an audio list that stays empty the scheduler's master clock.
        std::printf("Open decoder(%d) failed.\n", demuxer->audioCodecId);
        demuxer->audioCodecContext.reset();
        demuxer->audioStreamIndex = -1;
      }
    }
  }
  return true;
}

void CZovBaseFile::GiveViewPictureSize() {
  if (!renderView || !demuxer) return;
  renderView->widthHint = demuxer->width;
  renderView->heightHint = demuxer->height;
}

int CZovBaseFile::Open(const char* path, int reserved) {
  demuxer.reset();
  ForgetFirstTime();
  ResetTimelines();
  openError.clear();
  auto d = std::make_unique<CZovDemuxer>();
  if (!d->Open(path)) {
    openError = d->openError;
    return 0;
  }
  demuxer = std::move(d);
  if (!OpenDecoders(true, true)) {
    openError = "no decoder for its picture";
    demuxer.reset();
    return 0;
  }
  demuxer->RefreshMediaInfo();
  GiveViewPictureSize();
  return 1;
}

int CZovBaseFile::Close() {
  if (demuxer) demuxer->Close();
  return 0;
}

void CZovBaseFile::LearnFirstTime() {
  // Bounded: a recording whose first packets belong to other streams or fail
  // to read still seeks, as it did before.
  for (int i = 0; i < kFirstTimeProbePackets && !haveFirstTime && demuxer; ++i) {
    ZovMediaItem item;
    if (ReadPacket(&item) == -2) return;
  }
}

uint8_t CZovBaseFile::Seek(int64_t ms, bool keyBefore) {
  // Seek targets and item times count from the first packet's time. A seek
  // that comes before the reader has read anything (a quick click on the seek
  // bar while the machine is busy) would otherwise make the first packet
  // after it time zero, and every later seek would land that far too late.
  LearnFirstTime();
  ResetTimelines();
  return demuxer && demuxer->Seek(ms, keyBefore) ? 1 : 0;
}

int CZovBaseFile::ReadPacket(ZovMediaItem* item) {
  if (!item || !demuxer) return -1;
  AVPacketUPtr packet(av_packet_alloc());
  if (!packet) return -1;
  if (demuxer->ReadPacket(packet.get()) != 0) return demuxer->IsEof() ? -2 : -1;

  const bool isVideo = packet->stream_index == demuxer->videoStreamIndex;
  const bool isAudio = !isVideo && packet->stream_index == demuxer->audioStreamIndex;
  int64_t mapped = packet->dts;
  if (isVideo) {
    const int64_t repairedBefore = videoTimeline.repaired;
    mapped = videoTimeline.Map(packet->dts, NominalStepMs(true, packet.get()), DiscontinuityLimitMs());
    if (videoTimeline.repaired != repairedBefore) {
      ++retimedPictures;
      // An edit list measured against the damaged times puts the picture
      // outside the recording and marks it to be decoded but not shown; at
      // its mended time it is inside, so it is shown.
      if (packet->flags & AV_PKT_FLAG_DISCARD) {
        packet->flags &= ~AV_PKT_FLAG_DISCARD;
        ++restoredPictures;
      }
    }
  }
  if (isAudio) mapped = audioTimeline.Map(packet->dts, NominalStepMs(false, packet.get()), DiscontinuityLimitMs());
  const int32_t time = static_cast<int32_t>(static_cast<uint32_t>(mapped));
  item->timeMs = time;
  item->type = kZovItemUnclassified;
  auto noteFirst = [&]() {
    if (!haveFirstTime) {
      haveFirstTime = true;
      firstTimeMs = time;
      demuxer->firstTimestampMs = time;
    }
  };
  if (isVideo) {
    noteFirst();
    // Unsigned: a backward step is huge and never becomes the minimum.
    if (lastVideoTimeMs) {
      uint32_t gap = static_cast<uint32_t>(time) - static_cast<uint32_t>(*lastVideoTimeMs);
      if (gap < minVideoIntervalMs.load()) minVideoIntervalMs = gap;
    }
    lastVideoTimeMs = time;
    item->type = kZovItemVideo;
  } else if (isAudio) {
    noteFirst();
    if (lastAudioTimeMs) {
      uint32_t gap = static_cast<uint32_t>(time) - static_cast<uint32_t>(*lastAudioTimeMs);
      if (gap < static_cast<uint32_t>(minAudioIntervalMs.load())) minAudioIntervalMs = static_cast<int32_t>(gap);
    }
    lastAudioTimeMs = time;
    item->type = kZovItemAudio;
  } else {
    return 0;  // another stream: the packet is discarded
  }
  item->timeMs = static_cast<int32_t>(static_cast<uint32_t>(time - firstTimeMs));
  item->packet = std::move(packet);
  return 0;
}

AVFrameUPtr CZovBaseFile::DecodeOne(AVCodecContext* codec, AVPacket* packet, bool download) {
  if (!codec || !packet || !avcodec_is_open(codec)) return nullptr;
  if (avcodec_send_packet(codec, packet) < 0) return nullptr;
  AVFrameUPtr frame(av_frame_alloc());
  if (!frame || avcodec_receive_frame(codec, frame.get()) < 0) return nullptr;
  if (download && frame->hw_frames_ctx) {
    // The view draws from system memory: copy the surface out (NV12).
    AVFrameUPtr soft(av_frame_alloc());
    if (!soft || av_hwframe_transfer_data(soft.get(), frame.get(), 0) < 0) return nullptr;
    av_frame_copy_props(soft.get(), frame.get());
    return soft;
  }
  return frame;
}

AVFrameUPtr CZovBaseFile::DecodeVideoAtPresentation(AVPacket* packet) {
  if (!demuxer) return nullptr;
  std::lock_guard<std::recursive_mutex> guard(demuxer->lock);
  return DecodeOne(demuxer->GetVideoCodecContext(), packet, true);
}

int CZovBaseFile::Decode(ZovMediaItem* item) {
  if (!item || !demuxer) return -1;
  AVCodecContext* codec = nullptr;
  if (item->type == kZovItemVideo)
    codec = demuxer->GetVideoCodecContext();
  else if (item->type == kZovItemAudio)
    codec = demuxer->GetAudioCodecContext();
  else
    return -1;
  AVFrameUPtr frame = DecodeOne(codec, item->packet.get(), false);
  item->ReleasePacket();
  if (!frame) return -1;
  if (item->type == kZovItemVideo) item->timeMs = static_cast<int32_t>(PictureTimeMs(*frame, item->timeMs));
  item->frame = std::move(frame);
  return 0;
}

void CZovBaseFile::DrainVideo(std::vector<ZovMediaItemPtr>* out) {
  if (videoDrained || !demuxer || !out) return;
  videoDrained = true;
  AVCodecContext* codec = demuxer->GetVideoCodecContext();
  if (!codec || !avcodec_is_open(codec) || demuxer->hardwareFlag != 0) return;
  if (avcodec_send_packet(codec, nullptr) < 0) return;
  const int64_t step = videoTimeline.stepMs > 0 ? videoTimeline.stepMs : NominalStepMs(true, nullptr);
  int64_t time = lastVideoTimeMs && haveFirstTime ? int64_t(*lastVideoTimeMs) - firstTimeMs : 0;
  for (;;) {
    AVFrameUPtr frame(av_frame_alloc());
    if (!frame || avcodec_receive_frame(codec, frame.get()) < 0) break;
    time = PictureTimeMs(*frame, time + step);
    auto item = std::make_unique<ZovMediaItem>();
    item->type = kZovItemVideo;
    item->timeMs = static_cast<int32_t>(time);
    item->frame = std::move(frame);
    out->push_back(std::move(item));
  }
}

int CZovBaseFile::Present(ZovMediaItem* item) {
  if (!item) return -1;
  if (item->frame && renderView) renderView->RenderFrame(item->frame.get());
  item->ReleaseFrame();
  return 0;
}
