#pragma once
// Decoder object of decode mode 0: the video decoder runs on the hardware
// device named for mode 0 in the platform table (a Linux video acceleration
// device standing in for the Direct3D 11 decoder) and decodes at presentation
// time in the scheduler thread. Pictures are copied to NV12 system memory for
// the OpenGL view, which has no zero-copy path for them.
#include "engine/zov_base_file.h"

class CZovD3d11vaFile : public CZovBaseFile {
 public:
  // Hardware surfaces in the decoder's pool.
  static constexpr int kSurfacePoolSize = 10;

  CZovD3d11vaFile();
  ~CZovD3d11vaFile() override;

  int Open(const char* path, int reserved = 0) override;
  // No item: -1; not a video item: 0; else decodes the packet and renders the
  // picture: 0, or -1 when no picture came out.
  int Present(ZovMediaItem* item) override;

  // FFmpeg device type used by this path (AV_HWDEVICE_TYPE_NONE until Open
  // has looked it up).
  int deviceType = -1;
};
