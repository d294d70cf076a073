#include "engine/zov_d3d11va_file.h"

#include <algorithm>
#include <cstdio>

#include "engine/zov_hw_demuxer.h"
#include "platform/zov_hw_device_types.h"

extern "C" {
#include <libavutil/hwcontext.h>
}

namespace {

constexpr int kMode = 0;  // decode mode served by this decoder object

AVPixelFormat SurfaceFormatOf(AVHWDeviceType type) {
  switch (type) {
    case AV_HWDEVICE_TYPE_VAAPI: return AV_PIX_FMT_VAAPI;
    case AV_HWDEVICE_TYPE_VDPAU: return AV_PIX_FMT_VDPAU;
    case AV_HWDEVICE_TYPE_D3D11VA: return AV_PIX_FMT_D3D11;
    default: return AV_PIX_FMT_NONE;
  }
}

// Format callback: takes the device's surface format and builds the frames
// pool on the device kept in the codec context's opaque pointer.
AVPixelFormat ChooseSurfaceFormat(AVCodecContext* codec, const AVPixelFormat* formats) {
  auto* deviceRef = static_cast<AVBufferRef*>(codec->opaque);
  AVPixelFormat wanted = AV_PIX_FMT_NONE;
  if (deviceRef) wanted = SurfaceFormatOf(reinterpret_cast<AVHWDeviceContext*>(deviceRef->data)->type);
  bool offered = false;
  for (const AVPixelFormat* f = formats; f && *f != AV_PIX_FMT_NONE; ++f)
    if (*f == wanted) offered = true;
  if (!offered) {
    std::printf("Failed to get HW surface format.\n");
    return AV_PIX_FMT_NONE;
  }
  AVBufferRefUPtr frames(av_hwframe_ctx_alloc(deviceRef));
  if (!frames) return AV_PIX_FMT_NONE;
  auto* fc = reinterpret_cast<AVHWFramesContext*>(frames->data);
  fc->format = wanted;
  fc->sw_format = AV_PIX_FMT_NV12;
  fc->width = (codec->coded_width + 31) & ~31;
  fc->height = (codec->coded_height + 15) & ~15;
  // A fixed pool must still hold every reference picture the stream needs.
  int needed = CZovD3d11vaFile::kSurfacePoolSize;
  AVBufferRef* suggestedRaw = nullptr;
  if (avcodec_get_hw_frames_parameters(codec, deviceRef, wanted, &suggestedRaw) >= 0 && suggestedRaw) {
    AVBufferRefUPtr suggested(suggestedRaw);
    needed = std::max(needed, reinterpret_cast<AVHWFramesContext*>(suggested->data)->initial_pool_size);
  }
  fc->initial_pool_size = needed;
  // The codec context owns its frames pool; the one it had goes.
  AVBufferRefUPtr previous(codec->hw_frames_ctx);
  codec->hw_frames_ctx = frames.release();
  if (av_hwframe_ctx_init(codec->hw_frames_ctx) < 0) return AV_PIX_FMT_NONE;
  return wanted;
}

}  // namespace

CZovD3d11vaFile::CZovD3d11vaFile() = default;

CZovD3d11vaFile::~CZovD3d11vaFile() {
  demuxer.reset();  // frees the codec context before the device it uses
  hwDeviceRef.reset();
}

int CZovD3d11vaFile::Open(const char* path, int reserved) {
  demuxer.reset();
  hwDeviceRef.reset();
  ForgetFirstTime();
  ResetTimelines();
  openError.clear();
  auto d = std::make_unique<CZovDemuxer>();
  d->hardwareFlag = 1;
  if (!d->Open(path)) {
    openError = d->openError;
    return 0;
  }
  demuxer = std::move(d);
  if (!demuxer->formatContext) {
    std::printf("codec was opened.\n");
    return 0;
  }
  if (demuxer->videoStreamIndex < 0) {
    // Sound only: nothing for the hardware decoder to do.
    OpenDecoders(false, true);
    demuxer->RefreshMediaInfo();
    return 1;
  }
  const AVCodec* decoder = avcodec_find_decoder(static_cast<AVCodecID>(demuxer->videoCodecId));
  if (!decoder) {
    std::printf("decoder(%s) not found.\n", avcodec_get_name(static_cast<AVCodecID>(demuxer->videoCodecId)));
    return 0;
  }
  // The demuxer is closed as well, so that a player kept for a channel that
  // failed to open reads nothing from it.
  const char* typeName = ZovHwDeviceTypeName(kMode);
  // The reason names the hardware, so a missing device is not taken for a
  // bad recording.
  auto fail = [this, typeName](const char* why = "the hardware decoder cannot decode it") {
    demuxer->videoCodecContext.reset();
    demuxer->Close();
    hwDeviceRef.reset();
    ForgetFirstTime();
    openError = std::string(why) + " (" + typeName + ")";
    return 0;
  };
  std::lock_guard<std::recursive_mutex> guard(demuxer->lock);
  AVStream* stream = demuxer->formatContext->streams[demuxer->videoStreamIndex];
  AVCodecContextUPtr codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) {
    std::printf("avcodec_parameters_to_context() failed.\n");
    return fail();
  }
  AVHWDeviceType type = ZovFindHwDeviceType(typeName);
  deviceType = type;
  if (type == AV_HWDEVICE_TYPE_NONE) return fail("no hardware decoder device type");
  bool supported = false;
  for (int i = 0;; ++i) {
    const AVCodecHWConfig* c = avcodec_get_hw_config(decoder, i);
    if (!c) break;
    if ((c->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) && c->device_type == type) {
      supported = true;
      break;
    }
  }
  if (!supported) {
    std::printf("Decoder %s does not support device type %s.\n", decoder->name, av_hwdevice_get_type_name(type));
    return fail();
  }
  GiveViewPictureSize();
  // The OpenGL view has no device the decoder could share, so the decoder
  // always gets a device of its own; the view is told about it.
  AVBufferRef* device = nullptr;
  int rc = av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0);
  if (rc < 0) {
    std::printf("Failed to create %s device: %s\n", typeName, ZovAvErrorText(rc).c_str());
    return fail("no hardware decoder device");
  }
  hwDeviceRef.reset(device);
  if (renderView) {
    renderView->videoDevice = reinterpret_cast<AVHWDeviceContext*>(device->data)->hwctx;
    renderView->videoContext = nullptr;
  }
  codec->opaque = hwDeviceRef.get();
  codec->get_format = ChooseSurfaceFormat;
  codec->thread_count = 1;
  codec->pkt_timebase = stream->time_base;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
    std::printf("Open decoder(%d) failed.\n", demuxer->videoCodecId);
    return fail();
  }
  demuxer->videoCodecContext = std::move(codec);
  OpenDecoders(false, true);
  demuxer->RefreshMediaInfo();
  return 1;
}

int CZovD3d11vaFile::Present(ZovMediaItem* item) {
  if (!item) return -1;
  if (item->type != kZovItemVideo) return 0;
  AVFrameUPtr frame = DecodeVideoAtPresentation(item->packet.get());
  item->ReleasePacket();
  if (!frame) return -1;
  if (renderView) renderView->RenderFrame(frame.get());
  return 0;
}
