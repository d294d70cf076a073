#include "engine/zov_hw_demuxer.h"

#include <cstdio>

#include "platform/zov_hw_device_types.h"

namespace {

// Decode mode whose device this demuxer opens.
constexpr int kHwDemuxerDecodeMode = 2;

// Offers the decoder the hardware surface format when it lists it.
AVPixelFormat ChooseHwSurfaceFormat(AVCodecContext* codec, const AVPixelFormat* formats) {
  auto* self = static_cast<CZovHwDemuxer*>(codec->opaque);
  const int wanted = self ? self->hwSurfaceFormat.load() : -1;
  for (const AVPixelFormat* f = formats; f && *f != AV_PIX_FMT_NONE; ++f)
    if (*f == wanted) return *f;
  std::fprintf(stderr, "Failed to get HW surface format.\n");
  return AV_PIX_FMT_NONE;
}

}  // namespace

AVHWDeviceType ZovFindHwDeviceType(const char* name) {
  AVHWDeviceType type = name ? av_hwdevice_find_type_by_name(name) : AV_HWDEVICE_TYPE_NONE;
  if (type == AV_HWDEVICE_TYPE_NONE) {
    for (AVHWDeviceType t = av_hwdevice_iterate_types(AV_HWDEVICE_TYPE_NONE); t != AV_HWDEVICE_TYPE_NONE;
         t = av_hwdevice_iterate_types(t))
      std::fprintf(stderr, " %s", av_hwdevice_get_type_name(t));
    std::fprintf(stderr, "\n");
  }
  return type;
}

CZovHwDemuxer::CZovHwDemuxer() { hardwareFlag = 1; }

CZovHwDemuxer::~CZovHwDemuxer() { CZovHwDemuxer::Close(); }

void CZovHwDemuxer::Close() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  CZovDemuxer::Close();
  dxvaDeviceContext = nullptr;
}

bool CZovHwDemuxer::Open(const char* path) {
  hardwareFlag = 1;
  if (!CZovDemuxer::Open(path)) return false;
  std::lock_guard<std::recursive_mutex> guard(lock);
  const char* typeName = ZovHwDeviceTypeName(kHwDemuxerDecodeMode);
  // The reason names the hardware, so a missing device is not taken for a
  // bad recording.
  auto fail = [this, typeName](const char* why = "the hardware decoder cannot decode it") {
    Close();
    openError = std::string(why) + " (" + typeName + ")";
    return false;
  };
  AVHWDeviceType type = ZovFindHwDeviceType(typeName);
  if (type == AV_HWDEVICE_TYPE_NONE) return fail("no hardware decoder device type");
  // The chosen video stream is kept (a fixed stream 0 would feed the video
  // decoder another stream's packets when the video is not the first stream).
  if (videoStreamIndex < 0) return fail("no picture for the hardware decoder");
  const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(videoCodecId));
  if (!decoder) return fail();
  const AVCodecHWConfig* config = nullptr;
  for (int i = 0;; ++i) {
    const AVCodecHWConfig* c = avcodec_get_hw_config(decoder, i);
    if (!c) break;
    if ((c->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) && c->device_type == type) {
      config = c;
      break;
    }
  }
  if (!config) return fail();
  pixelFormat = config->pix_fmt;
  hwSurfaceFormat = config->pix_fmt;

  AVCodecContextUPtr codec(avcodec_alloc_context3(decoder));
  if (!codec) return fail();
  codec->thread_count = 4;
  if (avcodec_parameters_to_context(codec.get(), formatContext->streams[videoStreamIndex]->codecpar) < 0)
    return fail();
  codec->opaque = this;
  codec->get_format = ChooseHwSurfaceFormat;
  AVBufferRef* device = nullptr;
  int rc = av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0);
  if (rc < 0) {
    std::fprintf(stderr, "Failed to create %s device: %s\n", typeName, ZovAvErrorText(rc).c_str());
    return fail("no hardware decoder device");
  }
  hwDeviceRef.reset(device);
  codec->hw_device_ctx = av_buffer_ref(device);
  if (!codec->hw_device_ctx) return fail();
  dxvaDeviceContext = reinterpret_cast<AVHWDeviceContext*>(device->data)->hwctx;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return fail();
  videoCodecContext = std::move(codec);

  if (audioCodecContext) {
    const AVCodec* audioDecoder = avcodec_find_decoder(static_cast<AVCodecID>(audioCodecId));
    if (!audioDecoder || avcodec_open2(audioCodecContext.get(), audioDecoder, nullptr) < 0) {
      // The recording still plays, without sound (and without audio packets,
      // which would otherwise time an empty audio list).
      std::printf("Open decoder(%d) failed.\n", audioCodecId);
      audioCodecContext.reset();
      audioStreamIndex = -1;
    }
  }
  RefreshMediaInfo();
  opened = 1;
  eof = 0;
  return true;
}
