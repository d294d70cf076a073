#include "engine/zov_report.h"

#include <algorithm>

#include "engine/zov_base_player.h"

ZovChannelFigures ZovFiguresOf(const CZovBasePlayer& p) {
  ZovChannelFigures f;
  f.seeks = p.seeks;
  if (const CZovBaseCheduler* s = p.scheduler.get()) {
    f.presented = s->presentedVideo;
    f.dropped = s->droppedVideo;
    f.late = s->lateVideo;
    f.yielded = s->yieldedVideo;
    f.held = s->HeldPictures();
    f.avOffsetCount = s->avOffsetCount;
    if (f.avOffsetCount > 0) f.avOffsetMeanMs = double(s->avOffsetSumMs.load()) / double(f.avOffsetCount);
    f.avOffsetMaxMs = s->avOffsetMaxMs;
  }
  if (const CZovReadThread* r = p.readThread.get()) {
    // Packets without a picture of their own whose picture came out at the
    // end of input were not lost.
    f.dropped += std::max<int64_t>(0, r->undecodedVideo - r->drainedVideo);
    f.skipped = r->skippedVideo;
    f.reached = r->videoPacketsRead - r->passedOverVideo;
  }
  if (const CZovBaseFile* file = p.file.get()) {
    f.retimed = file->retimedPictures;
    f.restored = file->restoredPictures;
    if (file->demuxer) f.estimatedDecodeTimes = file->demuxer->estimatedDecodeTimes;
  }
  if (p.queue) f.queued = p.queue->VideoCount();
  return f;
}

int64_t ZovVanished(int64_t total, const ZovChannelFigures& f) {
  return std::max<int64_t>(0, total - f.presented - f.dropped - f.skipped);
}

int64_t ZovVanishedSoFar(const ZovChannelFigures& f) {
  return ZovVanished(f.reached - f.queued - f.held, f);
}
