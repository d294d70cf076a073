#include "engine/zov_read_thread.h"

#include <memory>

#include "engine/zov_base_file.h"
#include "engine/zov_media_queue.h"
#include "engine/zov_time.h"

extern "C" {
#include <libavcodec/packet.h>
}

CZovReadThread::CZovReadThread() = default;

CZovReadThread::~CZovReadThread() { Stop(); }

void CZovReadThread::Start() {
  state = kZovThreadRunning;
  StartThread(nullptr, this);
}

void CZovReadThread::Run() {
  std::lock_guard<std::recursive_mutex> body(runLock);
  state = kZovThreadRunning;
  if (!file || !queue) {
    state = kZovThreadStopped;
    return;
  }
  while (state != kZovThreadStopped) {
    if (!RunPass()) SleepMs(kIdleSleepMs);
  }
  queue->SetAccepting(1);
  state = kZovThreadStopped;
}

bool CZovReadThread::RunPass() {
  if (state != kZovThreadRunning || queue->VideoCount() >= kMaxQueuedVideo) return false;
  if (keyframeOnly && keyframeTaken) return false;

  // One unit of work: the packet is read, decoded and queued under stateLock
  // in one hold, so a SetState() from the user-interface thread waits for the
  // whole unit. The state is checked again inside: a unit that was waiting
  // for the lock while a pause was set must not start after SetState()
  // returned (a seek then flushes the queue and the video decoder).
  std::lock_guard<std::recursive_mutex> unit(stateLock);
  if (state != kZovThreadRunning) return false;
  std::unique_ptr<ZovMediaItem> item(new ZovMediaItem());
  const int rc = file->ReadPacket(item.get());
  if (rc == -1) return false;
  if (rc == -2) {
    queue->endState = kZovThreadStopped;  // the end of the recording; reads go on
    return false;
  }
  if (item->type == kZovItemVideo) {
    ++videoPacketsRead;
    if (keyframeOnly) {
      if (!item->packet || item->packet->flags != AV_PKT_FLAG_KEY) return true;
      keyframeTaken = 1;
    }
    if (file->demuxer && file->demuxer->hardwareFlag == 1) {
      queue->Push(item.release());  // decoded at presentation
    } else if (file->Decode(item.get()) == 0) {
      queue->Push(item.release());
    } else {
      ++undecodedVideo;
    }
    return true;
  }
  if (item->type == kZovItemAudio) {
    // Only the main channel has sound.
    if (file->channelIndex == 0 && file->Decode(item.get()) == 0) queue->Push(item.release());
    return true;
  }
  return false;  // a packet of another stream
}
