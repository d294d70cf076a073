#include "engine/zov_dxva_file.h"

#include "engine/zov_hw_demuxer.h"
#include "engine/zov_time.h"

CZovDxvaFile::CZovDxvaFile() = default;

CZovDxvaFile::~CZovDxvaFile() { demuxer.reset(); }

int CZovDxvaFile::Open(const char* path, int reserved) {
  demuxer.reset();
  ForgetFirstTime();
  ResetTimelines();
  openError.clear();
  auto d = std::make_unique<CZovHwDemuxer>();
  if (!d->Open(path)) {
    openError = d->openError;
    return 0;
  }
  demuxer = std::move(d);
  demuxer->RefreshMediaInfo();
  // The view keeps its own default picture-size hints on this path.
  return 1;
}

int CZovDxvaFile::Present(ZovMediaItem* item) {
  const int f = demuxer ? demuxer->frameRate : 0;
  int32_t started = 0;
  if (presentedCount <= f) started = NowMs();
  if (!item || !item->packet) return -1;
  if (item->type != kZovItemVideo) return 0;
  AVFrameUPtr frame = DecodeVideoAtPresentation(item->packet.get());
  if (!frame) {
    item->ReleasePacket();
    return -1;
  }
  const int n = presentedCount;
  auto render = [&]() { return renderView ? renderView->RenderFrame(frame.get()) : 0; };
  if (n < f) {
    // First second: measure what a picture costs.
    demuxer->decodeTimeSum += NowMs() - started;
    demuxer->renderTimeSum += render();
  } else if (n == f) {
    demuxer->decodeTimeSum /= kCostDivisor;
    demuxer->renderTimeSum /= kCostDivisor;
    skipLevel = static_cast<int32_t>(
        (static_cast<int64_t>(demuxer->decodeTimeSum) + demuxer->renderTimeSum) * f / 1000);
    render();
  } else if (skipLevel < kSkipThreshold || n % 3 == 1) {
    render();
  }
  presentedCount += 1;
  item->ReleasePacket();
  return 0;
}
