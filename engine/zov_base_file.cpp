#include "engine/zov_base_file.h"

#include <cstdio>

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

bool CZovBaseFile::OpenDecoders(bool video, bool audio) {
  if (!demuxer) return false;
  if (video) {
    AVCodecContext* v = demuxer->GetVideoCodecContext();
    if (v && !avcodec_is_open(v)) {
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
  firstTimeMs = -1;
  auto d = std::make_unique<CZovDemuxer>();
  if (!d->Open(path)) return 0;
  demuxer = std::move(d);
  if (!OpenDecoders(true, true)) {
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

uint8_t CZovBaseFile::Seek(int seconds) { return demuxer && demuxer->Seek(seconds) ? 1 : 0; }

int CZovBaseFile::ReadPacket(ZovMediaItem* item) {
  if (!item || !demuxer) return -1;
  AVPacketUPtr packet(av_packet_alloc());
  if (!packet) return -1;
  if (demuxer->ReadPacket(packet.get()) != 0) return demuxer->IsEof() ? -2 : -1;

  const int32_t time = static_cast<int32_t>(static_cast<uint32_t>(packet->dts));
  item->timeMs = time;
  item->type = kZovItemUnclassified;
  auto noteFirst = [&]() {
    if (firstTimeMs == -1) {
      firstTimeMs = time;
      demuxer->firstTimestampMs = time;
    }
  };
  if (packet->stream_index == demuxer->videoStreamIndex) {
    noteFirst();
    // Unsigned: a backward step is huge and never becomes the minimum.
    if (lastVideoTimeMs >= 0) {
      uint32_t gap = static_cast<uint32_t>(time) - static_cast<uint32_t>(lastVideoTimeMs);
      if (gap < minVideoIntervalMs) minVideoIntervalMs = gap;
    }
    lastVideoTimeMs = time;
    item->type = kZovItemVideo;
  } else if (packet->stream_index == demuxer->audioStreamIndex) {
    noteFirst();
    if (lastAudioTimeMs >= 0) {
      uint32_t gap = static_cast<uint32_t>(time) - static_cast<uint32_t>(lastAudioTimeMs);
      if (gap < static_cast<uint32_t>(minAudioIntervalMs)) minAudioIntervalMs = static_cast<int32_t>(gap);
    }
    lastAudioTimeMs = time;
    item->type = kZovItemAudio;
  } else {
    return 0;  // another stream: the packet is discarded
  }
  item->timeMs = static_cast<int32_t>(static_cast<uint32_t>(time - firstTimeMs));
  item->ReleasePacket();
  item->packet = packet.release();
  return 0;
}

AVFrame* CZovBaseFile::DecodeOne(AVCodecContext* codec, AVPacket* packet, bool download) {
  if (!codec || !packet || !avcodec_is_open(codec)) return nullptr;
  if (avcodec_send_packet(codec, packet) < 0) return nullptr;
  AVFrameUPtr frame(av_frame_alloc());
  if (!frame || avcodec_receive_frame(codec, frame.get()) < 0) return nullptr;
  if (download && frame->hw_frames_ctx) {
    // The view draws from system memory: copy the surface out (NV12).
    AVFrameUPtr soft(av_frame_alloc());
    if (!soft || av_hwframe_transfer_data(soft.get(), frame.get(), 0) < 0) return nullptr;
    av_frame_copy_props(soft.get(), frame.get());
    return soft.release();
  }
  return frame.release();
}

AVFrame* CZovBaseFile::DecodeVideoAtPresentation(AVPacket* packet) {
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
  AVFrame* frame = DecodeOne(codec, item->packet, false);
  item->ReleasePacket();
  if (!frame) return -1;
  item->ReleaseFrame();
  item->frame = frame;
  return 0;
}

int CZovBaseFile::Present(ZovMediaItem* item) {
  if (!item) return -1;
  if (item->frame && renderView) renderView->RenderFrame(item->frame);
  item->ReleaseFrame();
  return 0;
}
