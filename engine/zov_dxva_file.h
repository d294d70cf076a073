#pragma once
// Decoder object of decode mode 2: a CZovHwDemuxer opens the video decoder on
// the hardware device; pictures are decoded at presentation time. Over the
// first second of pictures it measures decode + render cost; when that cost
// exceeds the frame period it shows only one picture in three afterwards.
#include "engine/zov_base_file.h"

class CZovDxvaFile : public CZovBaseFile {
 public:
  // Divisor of the accumulated decode and render sums after the first second.
  static constexpr int kCostDivisor = 15;
  // skipLevel from which only every third picture is shown.
  static constexpr int kSkipThreshold = 2;

  CZovDxvaFile();
  ~CZovDxvaFile() override;

  int Open(const char* path, int reserved = 0) override;
  int Present(ZovMediaItem* item) override;
};
