#pragma once
// Demuxer of the hardware presenting path (decode mode 2): besides the base
// open it creates the hardware device named for that mode in the platform
// table and opens the video decoder on it. Audio stays in software.
#include "engine/zov_demuxer.h"

extern "C" {
#include <libavutil/hwcontext.h>
}

class CZovHwDemuxer : public CZovDemuxer {
 public:
  CZovHwDemuxer();
  ~CZovHwDemuxer() override;

  bool Open(const char* path) override;
  void Close() override;

  // FFmpeg's device-specific context of the created device (AVHWDeviceContext
  // hwctx), or null.
  void* dxvaDeviceContext = nullptr;
  // Pixel format of the hardware surfaces, read by the format callback.
  std::atomic<int32_t> hwSurfaceFormat{-1};
};

// Looks up the FFmpeg device type named `name`. When FFmpeg has none, writes
// the names of every available type to standard error (" %s" each, then a
// newline) and returns AV_HWDEVICE_TYPE_NONE.
AVHWDeviceType ZovFindHwDeviceType(const char* name);
